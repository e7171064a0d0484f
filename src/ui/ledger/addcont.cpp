// The account creation form: its controls, which of them are enabled for the chosen
// distribution and debiting modes, and "&Memoreaza" running the account checks.

#include "ui/ledger/addcont.h"
#include "ui/shell/screenfit.h"

#include "core/clock.h"
#include "core/dates.h"
#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"
#include "ui/shell/mesaj.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vestronia {

namespace {
QLineEdit *numberField(QWidget *parent, const QString &name, const QString &pattern, int width)
{
    auto *edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setObjectName(name);
    edit->setAlignment(Qt::AlignRight);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    edit->setFixedWidth(width);
    return edit;
}

QRadioButton *radio(QWidget *parent, const QString &name, const QString &text)
{
    auto *r = new QRadioButton(text, parent);
    r->setObjectName(name);
    return r;
}

int wholeNumber(const QLineEdit *edit)
{
    return edit->text().trimmed().toInt();
}
} // namespace

AddCont::AddCont(Database &db, QWidget *parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("AddCont"));
    setWindowTitle(QStringLiteral("Conturi"));

    auto *heading = new QLabel(QStringLiteral("Adaugare Cont"), this);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    heading->setFont(bold);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("Denum"));
    m_name->setMaxLength(60);
    m_amount = numberField(this, QStringLiteral("Rata"), QStringLiteral("^\\d{0,8}([.,]\\d{0,2})?$"), 110);
    auto *top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Denumire Cont"), this), 0, 0);
    top->addWidget(m_name, 0, 1, 1, 3);
    top->addWidget(new QLabel(QStringLiteral("Suma (lei)"), this), 1, 0);
    top->addWidget(m_amount, 1, 1);
    top->setColumnStretch(3, 1);

    auto *distribution = new QGroupBox(QStringLiteral("Mod de distribuire debit"), this);
    m_forAll = radio(distribution, QStringLiteral("NoPePers"), QStringLiteral("La toti abonatii"));
    m_byPersons = radio(distribution, QStringLiteral("PePers"), QStringLiteral("La abonati cu numar de persoane de minim"));
    m_min = numberField(distribution, QStringLiteral("MinPers"), QStringLiteral("^\\d{0,3}$"), 50);
    m_max = numberField(distribution, QStringLiteral("MaxPers"), QStringLiteral("^\\d{0,4}$"), 60);
    auto *dl = new QGridLayout(distribution);
    dl->addWidget(m_forAll, 0, 0, 1, 4);
    dl->addWidget(m_byPersons, 1, 0);
    dl->addWidget(m_min, 1, 1);
    dl->addWidget(new QLabel(QStringLiteral("si maxim"), distribution), 1, 2);
    dl->addWidget(m_max, 1, 3);
    dl->setColumnStretch(4, 1);
    auto *distributionGroup = new QButtonGroup(this);
    distributionGroup->addButton(m_forAll);
    distributionGroup->addButton(m_byPersons);

    auto *calculation = new QGroupBox(QStringLiteral("Mod de calcul"), this);
    m_fixed = radio(calculation, QStringLiteral("PretFix"), QStringLiteral("Pret fix"));
    m_perPerson = radio(calculation, QStringLiteral("PretPerPers"), QStringLiteral("Pret per persoana"));
    auto *cl = new QHBoxLayout(calculation);
    cl->addWidget(m_fixed);
    cl->addWidget(m_perPerson);
    cl->addStretch();
    auto *calculationGroup = new QButtonGroup(this);
    calculationGroup->addButton(m_fixed);
    calculationGroup->addButton(m_perPerson);

    auto *debiting = new QGroupBox(QStringLiteral("Mod de debitare"), this);
    m_manual = radio(debiting, QStringLiteral("NoPerLuniCheck"), QStringLiteral("Adaugata manual"));
    m_periodic = radio(debiting, QStringLiteral("PerLuniCheck"), QStringLiteral("Adaugata automat periodic la"));
    m_period = numberField(debiting, QStringLiteral("PerLuni"), QStringLiteral("^\\d{0,2}$"), 40);
    m_day = new QSpinBox(debiting);
    m_day->setObjectName(QStringLiteral("ZiuaImp"));
    m_day->setRange(1, 28);
    m_startPanel = new QWidget(debiting);
    m_startPanel->setObjectName(QStringLiteral("DataStartP"));
    m_start = new QDateEdit(m_startPanel);
    m_start->setObjectName(QStringLiteral("DataStartD"));
    m_start->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_start->setCalendarPopup(true);
    auto *sl = new QHBoxLayout(m_startPanel);
    sl->setContentsMargins(0, 0, 0, 0);
    sl->addWidget(new QLabel(QStringLiteral("Cont activ de la data de"), m_startPanel));
    sl->addWidget(m_start);
    sl->addStretch();
    auto *bl = new QGridLayout(debiting);
    bl->addWidget(m_manual, 0, 0, 1, 5);
    bl->addWidget(m_periodic, 1, 0);
    bl->addWidget(m_period, 1, 1);
    bl->addWidget(new QLabel(QStringLiteral("luni, in ziua de"), debiting), 1, 2);
    bl->addWidget(m_day, 1, 3);
    bl->setColumnStretch(4, 1);
    bl->addWidget(m_startPanel, 2, 0, 1, 5);
    auto *debitingGroup = new QButtonGroup(this);
    debitingGroup->addButton(m_manual);
    debitingGroup->addButton(m_periodic);

    auto *penalties = new QGroupBox(QStringLiteral("Penalitati"), this);
    m_penalty = numberField(penalties, QStringLiteral("Penal"), QStringLiteral("^\\d{0,2}([.,]\\d{0,2})?$"), 60);
    m_penaltyPer = new QComboBox(penalties);
    m_penaltyPer->setObjectName(QStringLiteral("PenalPe"));
    m_penaltyPer->addItems({QStringLiteral("luna"), QStringLiteral("zi")});
    m_penaltyFromUnit = new QComboBox(penalties);
    m_penaltyFromUnit->setObjectName(QStringLiteral("PenalDeLaP"));
    m_penaltyFromUnit->addItems({QStringLiteral("ziua"), QStringLiteral("luna")});
    m_penaltyFrom = numberField(penalties, QStringLiteral("PenalDeLa"), QStringLiteral("^\\d{0,3}$"), 50);
    m_cap = new QCheckBox(QStringLiteral("Valoarea penalitatii nu va depasi Debitul la care se calculeaza"), penalties);
    m_cap->setObjectName(QStringLiteral("MaxSold"));
    auto *pl = new QGridLayout(penalties);
    pl->addWidget(new QLabel(QStringLiteral("Valoare %"), penalties), 0, 0);
    pl->addWidget(m_penalty, 0, 1);
    pl->addWidget(new QLabel(QStringLiteral("per"), penalties), 0, 2);
    pl->addWidget(m_penaltyPer, 0, 3);
    pl->addWidget(new QLabel(QStringLiteral("Incepand cu"), penalties), 1, 0);
    pl->addWidget(m_penaltyFromUnit, 1, 1);
    pl->addWidget(new QLabel(QStringLiteral("nr."), penalties), 1, 2);
    pl->addWidget(m_penaltyFrom, 1, 3);
    pl->addWidget(m_cap, 2, 0, 1, 5);
    pl->setColumnStretch(4, 1);

    const FormButtons row = makeFormButtons(this);
    QPushButton *memo = row.memo;
    QPushButton *close = row.close;
    QHBoxLayout *buttons = row.row;

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(top);
    layout->addWidget(distribution);
    layout->addWidget(calculation);
    layout->addWidget(debiting);
    layout->addWidget(penalties);
    layout->addLayout(buttons);

    // What the controls hold the first time; afterwards they keep the last values.
    m_perPerson->setChecked(true);
    m_day->setValue(1);
    m_forAll->setChecked(true);
    m_manual->setChecked(true);

    connect(m_byPersons, &QRadioButton::toggled, this, &AddCont::updateEnabling);
    connect(m_periodic, &QRadioButton::toggled, this, &AddCont::updateEnabling);
    connect(memo, &QPushButton::clicked, this, &AddCont::memoreaza);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    setTabChain({m_name, m_amount, m_forAll, m_byPersons, m_min, m_max, m_fixed, m_perPerson, m_manual, m_periodic,
                 m_period, m_day, m_start, m_penalty, m_penaltyPer, m_penaltyFromUnit, m_penaltyFrom, m_cap, memo, close});
    installEnterNavigation(this);
    updateEnabling();
}

void AddCont::prepareNew()
{
    m_name->clear();
    m_amount->setText(QStringLiteral("0"));
    m_forAll->setChecked(true);
    m_manual->setChecked(true);
    m_penalty->setText(QStringLiteral("0"));
    m_penaltyFrom->setText(QStringLiteral("0"));
    m_start->setDate(Clock::today());
    updateEnabling();
    setKeyboardFocus(m_name);
}

bool AddCont::runNew()
{
    fitToScreen(this);
    prepareNew();
    return exec() == QDialog::Accepted;
}

void AddCont::updateEnabling()
{
    const bool range = m_byPersons->isChecked();
    m_min->setEnabled(range);
    m_max->setEnabled(range);
    const bool periodic = m_periodic->isChecked();
    m_period->setEnabled(periodic);
    m_day->setEnabled(periodic);
    m_startPanel->setVisible(periodic);
}

AccountDraft AddCont::readForm() const
{
    AccountDraft d;
    d.name = m_name->text();
    d.amount = Money::parse(m_amount->text()).value_or(Money());
    d.byPersons = m_byPersons->isChecked();
    d.minPersons = wholeNumber(m_min);
    d.maxPersons = wholeNumber(m_max);
    d.fixedPrice = m_fixed->isChecked();
    d.periodic = m_periodic->isChecked();
    d.periodMonths = wholeNumber(m_period);
    d.debitDay = m_day->value();
    d.penalty = Money::parse(m_penalty->text()).value_or(Money());
    d.penaltyPer = m_penaltyPer->currentText();
    d.penaltyFromUnit = m_penaltyFromUnit->currentText();
    d.penaltyFrom = wholeNumber(m_penaltyFrom);
    d.penaltyCapped = m_cap->isChecked();
    d.startDay = dayNumberOf(m_start->date());
    return d;
}

void AddCont::memoreaza()
{
    AccountDraft d = readForm();
    const Money typedPenalty = d.penalty;
    MaybeRefusal refusal;
    try {
        refusal = checkAccountDraft(m_db, d);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Eroare"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_name->setText(d.name);
    if (d.penalty != typedPenalty)
        m_penalty->setText(d.penalty.toString());
    if (refusal) {
        if (!refusal->field.isEmpty())
            showProblem(findChild<QWidget *>(refusal->field), refusal->message);
        else
            mesaj(refusal->title, refusal->message, MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_draft = d;
    accept();
}

} // namespace vestronia
