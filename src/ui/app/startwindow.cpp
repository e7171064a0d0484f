// The start-up window. It lets pending events run at each step so it keeps painting
// while tables are created, upgraded or packed.

#include "ui/app/startwindow.h"

#include "core/session.h"
#include "ui/shell/mesaj.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace vestronia {

StartWindow::StartWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Start..."));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 22, 28, 22);
    layout->setSpacing(8);

    auto *title = new QLabel(QStringLiteral("VESTRONIA"), this);
    QFont big = title->font();
    big.setPointSize(26);
    big.setBold(true);
    big.setLetterSpacing(QFont::PercentageSpacing, 115);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("color: #2e7d32;"));

    auto *version = new QLabel(QStringLiteral("ver. ") + programVersionText(), this);
    version->setObjectName(QStringLiteral("VerL"));
    version->setAlignment(Qt::AlignCenter);

    m_status = new QLabel(QStringLiteral("Incarcare date"), this);
    m_status->setObjectName(QStringLiteral("StatusL"));
    m_status->setAlignment(Qt::AlignCenter);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("Bar"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);

    layout->addWidget(title);
    layout->addWidget(version);
    layout->addSpacing(6);
    layout->addWidget(m_status);
    layout->addWidget(m_bar);
    setFixedWidth(380);
}

void StartWindow::setStatus(const QString &text)
{
    m_status->setText(text);
    QApplication::processEvents();
}

void StartWindow::message(const QString &title, const QString &text, MessageKind kind)
{
    mesaj(title, text, MesajButtons::OK, int(kind));
}

void StartWindow::setText(const QString &text)
{
    setStatus(text);
}

void StartWindow::setTotal(int total)
{
    m_bar->setRange(0, qMax(1, total));
}

void StartWindow::start()
{
    m_bar->setValue(0);
    QApplication::processEvents();
}

void StartWindow::step()
{
    m_bar->setValue(qMin(m_bar->maximum(), m_bar->value() + 1));
    QApplication::processEvents();
}

void StartWindow::finish()
{
    m_bar->setValue(m_bar->maximum());
    QApplication::processEvents();
}

} // namespace vestronia
