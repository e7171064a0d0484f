// The amount dialog: "&Memoreaza" rewrites the amount as its number and asks before
// accepting zero; the amount field is never reset, so a run of equal changes needs one
// typing.

#include "ui/shell/setdebit.h"

#include "core/clock.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"
#include "ui/shell/mesaj.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vestronia {

SetDebit::SetDebit(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SetDebit"));
    setWindowTitle(QStringLiteral("Debite"));

    m_descr = new QLabel(this);
    m_descr->setObjectName(QStringLiteral("Descr"));
    m_descr->setAlignment(Qt::AlignCenter);
    m_descr->setWordWrap(true);
    QFont bold = m_descr->font();
    bold.setBold(true);
    m_descr->setFont(bold);

    m_date = new QDateEdit(Clock::today(), this);
    m_date->setObjectName(QStringLiteral("DataDeb"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);

    m_amount = new QLineEdit(QStringLiteral("0"), this);
    m_amount->setObjectName(QStringLiteral("Rata"));
    m_amount->setAlignment(Qt::AlignRight);
    m_amount->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,8}([.,]\\d{0,2})?$")), m_amount));

    const FormButtons row = makeFormButtons(this);
    m_memo = row.memo;
    m_close = row.close;

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Data debitarii"), m_date);
    form->addRow(QStringLiteral("Suma debitata -lei-"), m_amount);
    QHBoxLayout *buttons = row.row;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_descr);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(m_memo, &QPushButton::clicked, this, &SetDebit::memoreaza);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    installEnterNavigation(this);
}

void SetDebit::prepare(const QString &title, bool dateEditable)
{
    m_descr->setText(title);
    m_date->setEnabled(dateEditable);
    if (dateEditable)
        setKeyboardFocus(m_date);
    else
        setKeyboardFocus(m_amount);
}

bool SetDebit::run(const QString &title, bool dateEditable)
{
    prepare(title, dateEditable);
    return exec() == QDialog::Accepted;
}

void SetDebit::setDate(const QDate &date)
{
    m_date->setDate(date);
}

QDate SetDebit::date() const
{
    return m_date->date();
}

void SetDebit::setAmount(Money amount)
{
    m_amount->setText(amount.toString());
}

Money SetDebit::amount() const
{
    return Money::parse(m_amount->text()).value_or(Money());
}

void SetDebit::memoreaza()
{
    const Money value = amount();
    m_amount->setText(value.toString());
    if (value.isZero()
        && mesaj(QStringLiteral("Modificare debite"), QStringLiteral("\rSuma este zero!\rContinuam asa?"), MesajButtons::DaNu,
                 MesajKind::Atentie)
               != MesajResult::Da)
        return;
    accept();
}

} // namespace vestronia
