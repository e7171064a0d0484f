// The batch of notices: the choices, the run through enforcement/actbatch with the
// progress window, the outcome line, and the letter file handed to the shell.

#include "ui/enforcement/actbatchwindow.h"

#include "core/clock.h"
#include "core/session.h"
#include "enforcement/actbatch.h"
#include "enforcement/acts.h"
#include "enforcement/letters.h"
#include "ledger/subscribers.h"
#include "startup/adminsettings.h"
#include "ui/shell/contor.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/shellopen.h"

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

namespace {

const QString AnyLocality = QStringLiteral("* indiferent *");

} // namespace

ActBatchWindow::ActBatchWindow(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("UrmaririMasa"));
    setWindowTitle(QStringLiteral("Urmariri in masa"));

    auto *title = new QLabel(QStringLiteral("Acte pentru toti abonatii cu datorii"), this);
    title->setAlignment(Qt::AlignCenter);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    title->setFont(bold);

    m_type = new QComboBox(this);
    m_type->setObjectName(QStringLiteral("TipAct"));
    m_type->addItems(actTypes());
    m_date = new QDateEdit(Clock::today(), this);
    m_date->setObjectName(QStringLiteral("UData"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);
    m_minTotal = new QLineEdit(QStringLiteral("0"), this);
    m_minTotal->setObjectName(QStringLiteral("MinTotal"));
    m_minTotal->setAlignment(Qt::AlignRight);
    m_minTotal->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,8}([.,]\\d{0,2})?$")), m_minTotal));
    m_locality = new QComboBox(this);
    m_locality->setObjectName(QStringLiteral("LocC"));
    m_next = new QLabel(this);
    m_next->setObjectName(QStringLiteral("NrUrmL"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("RezultatL"));
    m_result->setWordWrap(true);
    m_result->setMinimumHeight(m_result->fontMetrics().height() * 3);

    m_generate = new QPushButton(QStringLiteral("&Genereaza"), this);
    m_generate->setObjectName(QStringLiteral("GenBut"));
    m_generate->setAutoDefault(false);
    m_close = new QPushButton(QStringLiteral("&Inchide"), this);
    m_close->setObjectName(QStringLiteral("CloseBut"));
    m_close->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Tipul actului"), m_type);
    form->addRow(QStringLiteral("Primul numar"), m_next);
    form->addRow(QStringLiteral("Din data"), m_date);
    form->addRow(QStringLiteral("Datorie totala de cel putin -lei-"), m_minTotal);
    form->addRow(QStringLiteral("Localitatea"), m_locality);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_generate);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(m_result);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    connect(m_type, &QComboBox::currentIndexChanged, this, &ActBatchWindow::showNextNumber);
    connect(m_generate, &QPushButton::clicked, this, &ActBatchWindow::generate);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    installEnterNavigation(this);
}

void ActBatchWindow::prepare()
{
    const QString keep = m_locality->currentText();
    m_locality->clear();
    m_locality->addItem(AnyLocality);
    try {
        m_locality->addItems(distinctSubscriberValues(m_db, QStringLiteral("LOC")));
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Urmariri in masa"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    const int index = m_locality->findText(keep);
    m_locality->setCurrentIndex(index >= 0 ? index : 0);
    m_generate->setEnabled(m_session.canModify());
    showNextNumber();
}

void ActBatchWindow::showNextNumber()
{
    m_next->setText(QString::number(proposedActNumber(m_session, m_type->currentText())));
}

void ActBatchWindow::generate()
{
    ActBatchRequest request;
    request.type = m_type->currentText();
    request.date = m_date->date();
    request.minTotal = Money::parse(m_minTotal->text()).value_or(Money());
    request.locality = m_locality->currentIndex() > 0 ? m_locality->currentText() : QString();
    const AdminSettings &s = adminSettings();
    const LetterUnit unit{countyNames().value(s.county), s.unitName, s.locality};
    ActBatchOutcome outcome;
    m_result->clear();
    try {
        outcome = runActBatch(m_db, m_session, request, unit, m_progress ? *m_progress : Contor::instance());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Urmariri in masa"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    showNextNumber();
    if (outcome.refusal) {
        mesaj(outcome.refusal->title, outcome.refusal->message, MesajButtons::OK, MesajKind::Informatie);
        return;
    }
    m_lastLetter = outcome.letterPath;
    m_result->setText(QStringLiteral("Au fost emise %1 acte \"%2\", numerele %3 - %4, in total %5 lei.")
                          .arg(outcome.acts)
                          .arg(request.type)
                          .arg(outcome.firstNumber)
                          .arg(outcome.lastNumber)
                          .arg(outcome.total.toFixed(2)));
    if (!openWithShell(outcome.letterPath))
        mesaj(QStringLiteral("Urmariri in masa"),
              QStringLiteral("\rScrisorile au fost scrise in\r%1\rdar nu am putut deschide fisierul.").arg(outcome.letterPath),
              MesajButtons::OK, MesajKind::Atentie);
}

} // namespace vestronia
