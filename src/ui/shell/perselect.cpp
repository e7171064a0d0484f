// The period picker: Enter moves from the first date to the second and on to the button.

#include "ui/shell/perselect.h"

#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

PerSelect::PerSelect(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PerSelect"));
    auto *heading = new QLabel(QStringLiteral("Alegeti perioada dorita"), this);
    heading->setAlignment(Qt::AlignCenter);
    auto makeDate = [this](const QString &name) {
        auto *d = new QDateEdit(this);
        d->setObjectName(name);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setCalendarPopup(true);
        return d;
    };
    m_from = makeDate(QStringLiteral("Data0"));
    m_to = makeDate(QStringLiteral("Data1"));
    m_choose = new QPushButton(QStringLiteral("&Am ales"), this);
    m_choose->setObjectName(QStringLiteral("AlesB"));
    m_choose->setAutoDefault(false);
    auto *g = new QGridLayout;
    g->addWidget(new QLabel(QStringLiteral("Perioada"), this), 0, 0);
    g->addWidget(m_from, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("-"), this), 0, 2);
    g->addWidget(m_to, 0, 3);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(g);
    layout->addWidget(m_choose, 0, Qt::AlignHCenter);
    QWidget::setTabOrder(m_from, m_to);
    QWidget::setTabOrder(m_to, m_choose);
    installEnterNavigation(this);
    connect(m_choose, &QPushButton::clicked, this, &PerSelect::chosen);
}

void PerSelect::prepare(const QString &title, const QDate &from, const QDate &to)
{
    setWindowTitle(title);
    m_from->setDate(from);
    m_to->setDate(to);
    m_from->setFocus();
}

bool PerSelect::run(const QString &title, const QDate &from, const QDate &to)
{
    prepare(title, from, to);
    return exec() == QDialog::Accepted;
}

QDate PerSelect::from() const
{
    return m_from->date();
}

QDate PerSelect::to() const
{
    return m_to->date();
}

void PerSelect::chosen()
{
    if (m_to->date() < m_from->date()) {
        showProblem(m_to, QStringLiteral("Perioada incorecta!"));
        return;
    }
    accept();
}

} // namespace vestronia
