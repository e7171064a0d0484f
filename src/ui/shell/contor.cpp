// The progress window. The bar's stepping rule keeps it moving smoothly for any total:
// short jobs advance once per step, long ones once per hundredth of the work.

#include "ui/shell/contor.h"

#include "core/session.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace vestronia {

Contor::Contor(QWidget *parent) : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Contor"));
    setWindowTitle(programTitle());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 16);
    layout->setSpacing(10);
    m_descr = new QLabel(this);
    m_descr->setObjectName(QStringLiteral("Descr"));
    QFont f = m_descr->font();
    f.setBold(true);
    m_descr->setFont(f);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("Bar"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    layout->addWidget(m_descr);
    layout->addWidget(m_bar);
    setFixedSize(380, 96);
}

Contor &Contor::instance()
{
    static QPointer<Contor> contor;
    if (!contor)
        contor = new Contor;
    return *contor;
}

void Contor::setText(const QString &text)
{
    m_descr->setText(text);
    if (isVisible())
        QCoreApplication::processEvents();
}

void Contor::setTotal(int total)
{
    m_total = qMax(0, total);
    m_bar->setMaximum(m_total < 100 ? m_total : 100);
}

void Contor::start()
{
    m_count = 0;
    m_bar->setValue(0);
    if (!isVisible()) {
        QWidget *active = QApplication::activeWindow();
        if (active && active != this) {
            m_disabled = active;
            m_hadCursor = active->testAttribute(Qt::WA_SetCursor);
            m_oldCursor = active->cursor();
            active->setEnabled(false);
            active->setCursor(Qt::WaitCursor);
        }
        if (QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        show();
        raise();
    }
    QCoreApplication::processEvents();
}

void Contor::step()
{
    ++m_count;
    if (m_total > 0) {
        const int target = qRound(double(m_count) / (double(m_total) / 100.0));
        if (m_bar->value() < target && m_bar->value() < m_bar->maximum())
            m_bar->setValue(m_bar->value() + 1);
    }
    QCoreApplication::processEvents();
}

void Contor::finish()
{
    hide();
    if (m_disabled) {
        m_disabled->setEnabled(true);
        if (m_hadCursor)
            m_disabled->setCursor(m_oldCursor);
        else
            m_disabled->unsetCursor();
        m_disabled->raise();
        m_disabled->activateWindow();
    }
    m_disabled = nullptr;
}

void Contor::setMaximum(int maximum)
{
    m_bar->setMaximum(maximum);
}

void Contor::setPosition(int position)
{
    m_bar->setValue(position);
}

int Contor::position() const
{
    return m_bar->value();
}

int Contor::maximum() const
{
    return m_bar->maximum();
}

QString Contor::text() const
{
    return m_descr->text();
}

} // namespace vestronia
