// The start day of a statement of account.

#include "ui/reports/fisasel.h"

#include "core/clock.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

namespace {
QDate &lastSince()
{
    static QDate since(Clock::today().year() - 1, 1, 1);
    return since;
}
} // namespace

FisaSel::FisaSel(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FisaSel"));
    setWindowTitle(QStringLiteral("Fisa abonatului"));
    auto *prompt = new QLabel(QStringLiteral("Debite si plati incepand cu data"), this);
    prompt->setObjectName(QStringLiteral("Descr"));
    prompt->setAlignment(Qt::AlignCenter);
    prompt->setWordWrap(true);
    QFont bold = prompt->font();
    bold.setBold(true);
    prompt->setFont(bold);
    m_date = new QDateEdit(lastSince(), this);
    m_date->setObjectName(QStringLiteral("DataFisa"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);

    const FormButtons row = makeFormButtons(this, QStringLiteral("&Am ales"));
    auto *dateRow = new QHBoxLayout;
    dateRow->addStretch();
    dateRow->addWidget(m_date);
    dateRow->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addSpacing(6);
    layout->addLayout(dateRow);
    layout->addSpacing(6);
    layout->addLayout(row.row);
    setMinimumWidth(320);
    installEnterNavigation(this);

    connect(row.memo, &QPushButton::clicked, this, [this] {
        lastSince() = m_date->date();
        accept();
    });
    connect(row.close, &QPushButton::clicked, this, &QDialog::reject);
}

bool FisaSel::run(const QString &subscriberName)
{
    findChild<QLabel *>(QStringLiteral("Descr"))
        ->setText(subscriberName + QStringLiteral("\nDebite si plati incepand cu data"));
    m_date->setDate(lastSince());
    setKeyboardFocus(m_date);
    return exec() == QDialog::Accepted;
}

QDate FisaSel::date() const
{
    return m_date->date();
}

void FisaSel::setDate(const QDate &date)
{
    m_date->setDate(date);
}

} // namespace vestronia
