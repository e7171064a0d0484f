// The period picker: Enter moves from the first date to the second, and Enter on the second
// presses "&Am ales", which refuses an end before the start.

#include "ui/shell/perselect.h"

#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

PerSelect::PerSelect(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PerSelect"));
    auto *header = new QLabel(QStringLiteral("Perioada"), this);
    header->setObjectName(QStringLiteral("Label2"));
    header->setAlignment(Qt::AlignCenter);
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    auto *prompt = new QLabel(QStringLiteral("Alegeti perioada dorita"), this);
    prompt->setObjectName(QStringLiteral("Label3"));
    prompt->setAlignment(Qt::AlignCenter);
    auto makeDate = [this](const QString &name) {
        auto *d = new QDateEdit(this);
        d->setObjectName(name);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setCalendarPopup(true);
        return d;
    };
    m_from = makeDate(QStringLiteral("Data0"));
    m_to = makeDate(QStringLiteral("Data1"));
    const FormButtons row = makeFormButtons(this, QStringLiteral("&Am ales"));
    m_choose = row.memo;
    auto *fromLabel = new QLabel(QStringLiteral("de la"), this);
    fromLabel->setBuddy(m_from);
    auto *toLabel = new QLabel(QStringLiteral("pana la"), this);
    toLabel->setBuddy(m_to);
    auto *g = new QGridLayout;
    g->addWidget(fromLabel, 0, 0);
    g->addWidget(m_from, 0, 1);
    g->addWidget(toLabel, 0, 2);
    g->addWidget(m_to, 0, 3);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addWidget(prompt);
    layout->addLayout(g);
    layout->addLayout(row.row);
    setTabChain({m_from, m_to, m_choose, row.close});
    installEnterNavigation(this);
    connect(m_choose, &QPushButton::clicked, this, &PerSelect::chosen);
    connect(row.close, &QPushButton::clicked, this, &QDialog::reject);
}

void PerSelect::prepare(const QString &title, const QDate &from, const QDate &to)
{
    setWindowTitle(title);
    m_from->setDate(from);
    m_to->setDate(to);
    setKeyboardFocus(m_from);
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
