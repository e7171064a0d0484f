// The single-date picker. Its date starts at today when the form is made and keeps the
// last date shown while the form lives.

#include "ui/shell/seldatas.h"

#include "core/clock.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

SelDataS::SelDataS(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelDataS"));

    auto *prompt = new QLabel(QStringLiteral("Alegeti data adaugarii"), this);
    prompt->setAlignment(Qt::AlignCenter);
    QFont bold = prompt->font();
    bold.setBold(true);
    prompt->setFont(bold);

    m_date = new QDateEdit(Clock::today(), this);
    m_date->setObjectName(QStringLiteral("LaData"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);
    prompt->setBuddy(m_date);

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
    setMinimumWidth(300);
    installEnterNavigation(this);

    connect(row.memo, &QPushButton::clicked, this, &QDialog::accept);
    connect(row.close, &QPushButton::clicked, this, &QDialog::reject);
}

bool SelDataS::run(const QString &caption)
{
    setWindowTitle(caption);
    setKeyboardFocus(m_date);
    return exec() == QDialog::Accepted;
}

QDate SelDataS::date() const
{
    return m_date->date();
}

void SelDataS::setDate(const QDate &date)
{
    m_date->setDate(date);
}

} // namespace vestronia
