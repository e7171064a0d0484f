// The subscriber edit form: its fields (upper case where the register keeps upper case),
// the enabling of the leaving and exemption dates, and the checks on "&Memoreaza".

#include "ui/ledger/addabon.h"
#include "ui/shell/screenfit.h"

#include "core/clock.h"
#include "core/dates.h"
#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vestronia {

namespace {
// Keeps a line edit's text in upper case as it is typed, without moving the cursor.
void keepUpperCase(QLineEdit *edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString &text) {
        const QString upper = text.toUpper();
        if (upper != text) {
            const int pos = edit->cursorPosition();
            edit->setText(upper);
            edit->setCursorPosition(pos);
        }
    });
}

QLineEdit *lineField(QWidget *parent, const QString &name, int maxLength, bool upper)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(maxLength);
    if (upper)
        keepUpperCase(edit);
    return edit;
}

QComboBox *listField(QWidget *parent, const QString &name)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->lineEdit()->setMaxLength(32);
    keepUpperCase(combo->lineEdit());
    return combo;
}

QDateEdit *dateField(QWidget *parent, const QString &name)
{
    auto *date = new QDateEdit(parent);
    date->setObjectName(name);
    date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    date->setCalendarPopup(true);
    date->setMinimumDate(QDate(1899, 12, 30));
    return date;
}

void fillList(QComboBox *combo, const QStringList &values, const QString &text)
{
    combo->clear();
    combo->addItems(values);
    combo->setEditText(text);
}

constexpr int RemarkLength = 400;
} // namespace

AddAbon::AddAbon(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AddAbon"));
    setWindowTitle(QStringLiteral("Abonati"));

    m_heading = new QLabel(QStringLiteral("Adaugare Abonat"), this);
    m_heading->setObjectName(QStringLiteral("Titlu"));
    m_heading->setAlignment(Qt::AlignCenter);
    QFont bold = m_heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    m_heading->setFont(bold);

    m_name = lineField(this, QStringLiteral("Nume"), 68, true);
    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("TipPFC"));
    m_type->addItems({QStringLiteral("FIZICA"), QStringLiteral("JURIDICA")});
    m_code = lineField(this, QStringLiteral("CNPCUI"), 13, true);
    m_rol = lineField(this, QStringLiteral("ROL"), 9, true);
    m_locality = listField(this, QStringLiteral("Loc"));
    m_street = listField(this, QStringLiteral("Strada"));
    m_number = lineField(this, QStringLiteral("Nr"), 32, true);
    m_persons = lineField(this, QStringLiteral("NrPers"), 3, false);
    m_persons->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,3}$")), m_persons));
    m_persons->setAlignment(Qt::AlignRight);
    m_persons->setFixedWidth(60);
    m_entry = dateField(this, QStringLiteral("DataInD"));
    m_leavingCheck = new QCheckBox(QStringLiteral("Scos din evidenta la data de"), this);
    m_leavingCheck->setObjectName(QStringLiteral("DataOutCheck"));
    m_leaving = dateField(this, QStringLiteral("DataOut"));
    m_exemptCheck = new QCheckBox(QStringLiteral("Scutit pana la data de"), this);
    m_exemptCheck->setObjectName(QStringLiteral("DataScutCheck"));
    m_exempt = dateField(this, QStringLiteral("DataScut"));
    m_contractNumber = lineField(this, QStringLiteral("NrConE"), 16, true);
    m_contractDate = dateField(this, QStringLiteral("DataConE"));
    m_remarks = new QPlainTextEdit(this);
    m_remarks->setObjectName(QStringLiteral("Obs"));
    m_remarks->setTabChangesFocus(true);
    m_remarks->setFixedHeight(m_remarks->fontMetrics().height() * 4 + 12);

    auto *identity = new QGridLayout;
    int r = 0;
    identity->addWidget(new QLabel(QStringLiteral("Nume si prenume"), this), r, 0);
    identity->addWidget(m_name, r++, 1, 1, 3);
    identity->addWidget(new QLabel(QStringLiteral("Tip Persoana"), this), r, 0);
    identity->addWidget(m_type, r, 1);
    identity->addWidget(new QLabel(QStringLiteral("C.N.P./CUI"), this), r, 2, Qt::AlignRight);
    identity->addWidget(m_code, r++, 3);
    identity->addWidget(new QLabel(QStringLiteral("ROL unic"), this), r, 0);
    identity->addWidget(m_rol, r, 1);
    identity->addWidget(new QLabel(QStringLiteral("Numar de persoane"), this), r, 2, Qt::AlignRight);
    identity->addWidget(m_persons, r++, 3, Qt::AlignLeft);
    identity->addWidget(new QLabel(QStringLiteral("Localitatea"), this), r, 0);
    identity->addWidget(m_locality, r++, 1, 1, 3);
    identity->addWidget(new QLabel(QStringLiteral("Strada"), this), r, 0);
    identity->addWidget(m_street, r, 1);
    identity->addWidget(new QLabel(QStringLiteral("Numarul"), this), r, 2, Qt::AlignRight);
    identity->addWidget(m_number, r++, 3);
    identity->setColumnStretch(1, 1);
    identity->setColumnStretch(3, 1);

    auto *record = new QGroupBox(QStringLiteral("Evidenta"), this);
    auto *rl = new QGridLayout(record);
    rl->addWidget(new QLabel(QStringLiteral("Luat in evidenta de la data"), record), 0, 0);
    rl->addWidget(m_entry, 0, 1);
    rl->addWidget(m_leavingCheck, 1, 0);
    rl->addWidget(m_leaving, 1, 1);
    rl->addWidget(m_exemptCheck, 2, 0);
    rl->addWidget(m_exempt, 2, 1);
    rl->setColumnStretch(2, 1);

    auto *contract = new QGroupBox(QStringLiteral("Contract"), this);
    auto *kl = new QHBoxLayout(contract);
    kl->addWidget(new QLabel(QStringLiteral("Numar"), contract));
    kl->addWidget(m_contractNumber);
    kl->addWidget(new QLabel(QStringLiteral(" / "), contract));
    kl->addWidget(m_contractDate);
    kl->addStretch();

    const FormButtons row = makeFormButtons(this);
    QPushButton *memo = row.memo;
    QPushButton *close = row.close;
    QHBoxLayout *buttons = row.row;

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addLayout(identity);
    layout->addWidget(record);
    layout->addWidget(contract);
    layout->addWidget(new QLabel(QStringLiteral("Observatii"), this));
    layout->addWidget(m_remarks);
    layout->addLayout(buttons);
    setMinimumWidth(620);

    connect(m_leavingCheck, &QCheckBox::toggled, this, &AddAbon::updateEnabling);
    connect(m_exemptCheck, &QCheckBox::toggled, this, &AddAbon::updateEnabling);
    connect(m_remarks, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_remarks->toPlainText();
        if (text.size() > RemarkLength) {
            m_remarks->setPlainText(text.left(RemarkLength));
            m_remarks->moveCursor(QTextCursor::End);
        }
    });
    connect(memo, &QPushButton::clicked, this, &AddAbon::memoreaza);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    // Reading order, row by row: the persons stand beside the register number.
    setTabChain({m_name, m_type, m_code, m_rol, m_persons, m_locality, m_street, m_number, m_entry, m_leavingCheck,
                 m_leaving, m_exemptCheck, m_exempt, m_contractNumber, m_contractDate, m_remarks, memo, close});
    installEnterNavigation(this);
}

void AddAbon::reset(const QStringList &localities, const QStringList &streets)
{
    const QDate today = Clock::today();
    m_name->clear();
    m_type->setCurrentIndex(0);
    m_code->clear();
    m_rol->clear();
    fillList(m_locality, localities, QString());
    fillList(m_street, streets, QString());
    m_number->clear();
    m_persons->setText(QStringLiteral("0"));
    m_contractNumber->clear();
    m_remarks->clear();
    for (QDateEdit *d : {m_entry, m_leaving, m_exempt, m_contractDate})
        d->setDate(today);
    m_leavingCheck->setChecked(false);
    m_exemptCheck->setChecked(false);
}

void AddAbon::prepareAdd(const QStringList &localities, const QStringList &streets)
{
    m_changeMode = false;
    reset(localities, streets);
    m_heading->setText(QStringLiteral("Adaugare Abonat"));
    m_entry->setReadOnly(false);
    updateEnabling();
    setKeyboardFocus(m_name);
}

bool AddAbon::runAdd(const QStringList &localities, const QStringList &streets)
{
    fitToScreen(this);
    prepareAdd(localities, streets);
    return exec() == QDialog::Accepted;
}

void AddAbon::prepareChange(const SubscriberRecord &s, const QStringList &localities, const QStringList &streets)
{
    m_changeMode = true;
    reset(localities, streets);
    m_heading->setText(QStringLiteral("Modificare Abonat"));
    const SubscriberDraft d = SubscriberDraft::fromRecord(s);
    m_name->setText(d.name);
    m_type->setCurrentIndex(d.legalPerson ? 1 : 0);
    m_code->setText(d.code);
    m_rol->setText(d.rol);
    m_locality->setEditText(d.locality);
    m_street->setEditText(d.street);
    m_number->setText(d.number);
    m_entry->setDate(dateOfDayNumber(d.entryDay));
    m_exemptCheck->setChecked(d.exempt);
    if (d.exempt)
        m_exempt->setDate(dateOfDayNumber(d.exemptDay));
    m_leavingCheck->setChecked(d.leaving);
    if (d.leaving)
        m_leaving->setDate(dateOfDayNumber(d.leaveDay));
    m_persons->setText(QString::number(d.persons));
    m_contractNumber->setText(d.contractNumber);
    m_contractDate->setDate(dateOfDayNumber(d.contractDay));
    m_remarks->setPlainText(d.remarks);
    m_entry->setReadOnly(true);
    updateEnabling();
    setKeyboardFocus(m_name);
}

bool AddAbon::runChange(const SubscriberRecord &s, const QStringList &localities, const QStringList &streets)
{
    fitToScreen(this);
    prepareChange(s, localities, streets);
    return exec() == QDialog::Accepted;
}

void AddAbon::updateEnabling()
{
    const bool leaving = m_leavingCheck->isChecked();
    m_leavingCheck->setEnabled(m_changeMode);
    m_exemptCheck->setEnabled(m_changeMode && !leaving);
    m_leaving->setEnabled(m_changeMode && leaving);
    m_exempt->setEnabled(m_changeMode && !leaving && m_exemptCheck->isChecked());
}

SubscriberDraft AddAbon::readForm() const
{
    SubscriberDraft d;
    d.name = m_name->text();
    d.legalPerson = m_type->currentIndex() == 1;
    d.code = m_code->text();
    d.rol = m_rol->text();
    d.locality = m_locality->currentText();
    d.street = m_street->currentText();
    d.number = m_number->text();
    d.persons = m_persons->text().trimmed().toInt();
    d.entryDay = dayNumberOf(m_entry->date());
    d.leaving = m_leavingCheck->isChecked();
    d.leaveDay = dayNumberOf(m_leaving->date());
    d.exempt = m_exemptCheck->isChecked();
    d.exemptDay = dayNumberOf(m_exempt->date());
    d.contractNumber = m_contractNumber->text();
    d.contractDay = dayNumberOf(m_contractDate->date());
    d.remarks = m_remarks->toPlainText();
    return d;
}

void AddAbon::writeBack(const SubscriberDraft &d)
{
    m_rol->setText(d.rol);
    m_name->setText(d.name);
    m_contractNumber->setText(d.contractNumber);
    m_code->setText(d.code);
    m_locality->setEditText(d.locality);
    m_street->setEditText(d.street);
    m_number->setText(d.number);
    m_persons->setText(QString::number(d.persons));
}

void AddAbon::memoreaza()
{
    SubscriberDraft d = readForm();
    const MaybeRefusal refusal = checkSubscriberDraft(d);
    writeBack(d);
    if (refusal) {
        showProblem(findChild<QWidget *>(refusal->field), refusal->message);
        return;
    }
    m_draft = d;
    accept();
}

} // namespace vestronia
