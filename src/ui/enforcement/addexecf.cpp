// The act entry window: type, number (upper case, 16 characters) and date of an act,
// with the subscriber and the amounts it copies shown read-only. The last type and date
// shown are kept for the whole run, as the window has always been created once.

#include "ui/enforcement/addexecf.h"

#include "core/clock.h"
#include "core/dates.h"
#include "store/database.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

namespace {

// What the window showed when it was last closed.
QString &lastType()
{
    static QString type = actNoticeType();
    return type;
}

QDate &lastDate()
{
    static QDate date;
    return date;
}

QLabel *amountLabel(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setFrameShape(QFrame::StyledPanel);
    l->setMinimumWidth(110);
    return l;
}

} // namespace

AddExecF::AddExecF(const Session &session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("AddExecF"));
    setWindowTitle(QStringLiteral("Urmariri"));

    m_title = new QLabel(QStringLiteral("Adaugare Urmarire"), this);
    m_title->setObjectName(QStringLiteral("Label2"));
    m_title->setAlignment(Qt::AlignCenter);
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_title->setFont(bold);

    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("NumeL"));
    m_name->setAlignment(Qt::AlignCenter);
    QFont nameFont = m_name->font();
    nameFont.setBold(true);
    m_name->setFont(nameFont);

    m_debit = amountLabel("DebitL", this);
    m_penalties = amountLabel("penalL", this);
    m_total = amountLabel("TotalL", this);

    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("TipAct"));
    m_type->addItems(actTypes());
    m_type->setCurrentText(lastType());

    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("UNr"));
    m_number->setMaxLength(ActNumberLength);
    connect(m_number, &QLineEdit::textEdited, this, [this](const QString &t) {
        const int cursor = m_number->cursorPosition();
        m_number->setText(t.toUpper());
        m_number->setCursorPosition(cursor);
    });

    if (!lastDate().isValid())
        lastDate() = Clock::today();
    m_date = new QDateEdit(lastDate(), this);
    m_date->setObjectName(QStringLiteral("UData"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);

    const FormButtons row = makeFormButtons(this);
    m_memo = row.memo;
    m_close = row.close;

    auto *amounts = new QHBoxLayout;
    for (const auto &[caption, label] : {std::pair{"Debit", m_debit}, std::pair{"Penalitati", m_penalties},
                                         std::pair{"Total", m_total}}) {
        auto *box = new QVBoxLayout;
        auto *c = new QLabel(QLatin1String(caption), this);
        c->setAlignment(Qt::AlignCenter);
        box->addWidget(c);
        box->addWidget(label);
        amounts->addLayout(box);
    }
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Tipul actului"), m_type);
    form->addRow(QStringLiteral("Numar act"), m_number);
    form->addRow(QStringLiteral("Din data"), m_date);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_name);
    layout->addLayout(amounts);
    layout->addLayout(form);
    layout->addLayout(row.row);
    setMinimumWidth(420);

    connect(m_type, &QComboBox::currentIndexChanged, this, &AddExecF::typeChanged);
    connect(m_memo, &QPushButton::clicked, this, &AddExecF::memoreaza);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, [this] {
        lastType() = m_type->currentText();
        lastDate() = m_date->date();
    });
    installEnterNavigation(this);
}

void AddExecF::prepareAdd(const QString &name, const ActAmounts &amounts)
{
    m_title->setText(QStringLiteral("Adaugare Urmarire"));
    m_name->setText(name);
    m_debit->setText(amounts.debit.toString());
    m_penalties->setText(amounts.penalties.toString());
    m_total->setText(amounts.total.toString());
    m_filling = false;
    typeChanged();
    setKeyboardFocus(m_number);
}

void AddExecF::prepareChange(const ResultSet &acts, int row)
{
    m_filling = true;
    m_title->setText(QStringLiteral("Modificare Urmarire"));
    const int index = m_type->findText(acts.text(row, QStringLiteral("TIPACT")));
    if (index >= 0)
        m_type->setCurrentIndex(index);
    m_name->setText(acts.text(row, QStringLiteral("NUME")));
    m_debit->setText(acts.money(row, QStringLiteral("DEBIT")).toFixed(2));
    m_penalties->setText(acts.money(row, QStringLiteral("PENAL")).toFixed(2));
    m_total->setText(acts.money(row, QStringLiteral("TOTAL")).toFixed(2));
    m_number->setText(acts.text(row, QStringLiteral("UNR")));
    const QVariant day = acts.value(row, QStringLiteral("UDATA"));
    if (day.isValid() && isDateSet(day.toInt()))
        m_date->setDate(dateOfDayNumber(day.toInt()));
    m_filling = false;
    setKeyboardFocus(m_number);
}

bool AddExecF::run()
{
    return exec() == QDialog::Accepted;
}

ActDraft AddExecF::draft() const
{
    return {m_type->currentText(), m_number->text(), m_date->date()};
}

void AddExecF::typeChanged()
{
    // Filling the window from a stored act shows its own number; only a type the user
    // picks brings that type's proposal.
    if (m_filling)
        return;
    m_number->setText(QString::number(proposedActNumber(m_session, m_type->currentText())));
}

void AddExecF::memoreaza()
{
    m_number->setText(cleanActNumber(m_number->text()));
    accept();
}

} // namespace vestronia
