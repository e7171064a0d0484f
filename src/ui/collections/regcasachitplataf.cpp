// The cash-desk entry dialog: the list of document types offered comes from the lines
// already entered, the subscriber-only types left out; Enter on the last field adds.

#include "ui/collections/regcasachitplataf.h"

#include "collections/cashbook.h"
#include "core/dates.h"
#include "core/error.h"
#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"
#include "ui/shell/mesaj.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace vestronia {

RegCasaChitPlataF::RegCasaChitPlataF(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("RegCasaChitPlataF"));
    m_docJus = new QComboBox(this);
    m_docJus->setObjectName(QStringLiteral("DocJus"));
    m_docJus->setEditable(true);
    m_docJus->setInsertPolicy(QComboBox::NoInsert);
    m_docJus->lineEdit()->setMaxLength(16);
    QLineEdit *typed = m_docJus->lineEdit();
    connect(typed, &QLineEdit::textEdited, typed, [typed](const QString &t) {
        if (t != t.toUpper()) {
            const int pos = typed->cursorPosition();
            typed->setText(t.toUpper());
            typed->setCursorPosition(pos);
        }
    });
    m_series = new QLineEdit(this);
    m_series->setObjectName(QStringLiteral("DocSeria"));
    m_series->setMaxLength(20);
    connect(m_series, &QLineEdit::textEdited, m_series, [this](const QString &t) {
        if (t != t.toUpper())
            m_series->setText(t.toUpper());
    });
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("DocNr"));
    m_number->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,10}$")), m_number));
    m_amount = new QLineEdit(this);
    m_amount->setObjectName(QStringLiteral("Suma"));
    m_amount->setAlignment(Qt::AlignRight);
    m_amount->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,8}([.,]\\d{0,2})?$")), m_amount));
    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("DocData"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);
    m_purpose = new QLineEdit(this);
    m_purpose->setObjectName(QStringLiteral("Reprez"));
    m_purpose->setMaxLength(120);
    const FormButtons row = makeFormButtons(this, QStringLiteral("&Adauga"));
    m_memo = row.memo;
    m_close = row.close;

    auto *amountRow = new QHBoxLayout;
    amountRow->addWidget(m_amount);
    amountRow->addWidget(new QLabel(QStringLiteral("lei."), this));
    amountRow->addWidget(new QLabel(QStringLiteral("din data"), this));
    amountRow->addWidget(m_date);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Document justif."), m_docJus);
    form->addRow(QStringLiteral("Seria"), m_series);
    form->addRow(QStringLiteral("Numarul"), m_number);
    form->addRow(QStringLiteral("Suma de"), amountRow);
    form->addRow(QStringLiteral("Reprezentand"), m_purpose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(row.row);
    setMinimumWidth(460);

    const QList<QWidget *> chain = {m_docJus, m_series, m_number, m_amount, m_date, m_purpose, m_memo};
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    installEnterNavigation(this, {m_purpose});
    connect(m_purpose, &QLineEdit::returnPressed, m_memo, &QPushButton::click);
    connect(m_memo, &QPushButton::clicked, this, &RegCasaChitPlataF::add);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

void RegCasaChitPlataF::prepare(bool payment, const QDate &day)
{
    m_payment = payment;
    m_recorded = 0;
    setWindowTitle(payment ? QStringLiteral("Adaugare plata") : QStringLiteral("Adaugare Incasare"));
    m_date->setDate(day);
    m_docJus->clear();
    try {
        m_docJus->addItems(cashDocumentTypes(m_db, payment));
    } catch (const VestroniaError &) {
    }
    m_docJus->setCurrentText(QString());
    m_series->clear();
    m_purpose->clear();
    m_number->setText(QStringLiteral("0"));
    m_amount->setText(QStringLiteral("0"));
    m_docJus->setFocus();
}

bool RegCasaChitPlataF::run(bool payment, const QDate &day)
{
    prepare(payment, day);
    return exec() == QDialog::Accepted;
}

void RegCasaChitPlataF::add()
{
    CashEntry e;
    e.payment = m_payment;
    e.docType = m_docJus->currentText();
    e.series = m_series->text();
    e.number = m_number->text().toLongLong();
    e.amount = Money::parse(m_amount->text()).value_or(Money());
    e.day = dayNumberOf(m_date->date());
    e.purpose = m_purpose->text();
    try {
        const CashOutcome o = addCashEntry(m_db, m_session, e);
        if (o.refusal) {
            QWidget *at = findChild<QWidget *>(o.refusal->field);
            showProblem(at ? at : m_amount, o.refusal->message);
            return;
        }
        m_recorded = o.idchit;
    } catch (const VestroniaError &err) {
        mesaj(QStringLiteral("Registru de casa"), err.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    accept();
}

} // namespace vestronia
