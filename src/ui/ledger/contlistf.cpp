// The accounts list: its two modes, the rule that enables each button from the current
// row, and the add/stop/delete operations with their questions and messages (the data
// work is in ledger/accounts).

#include "ui/ledger/contlistf.h"
#include "ui/shell/screenfit.h"

#include "core/dates.h"
#include "core/session.h"
#include "ui/ledger/addcont.h"
#include "ui/shell/contor.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/seldata.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vestronia {

namespace {
QVector<GridColumn> accountColumns()
{
    const QString distribution = QStringLiteral("Distibutie dupa");
    const QString penalties = QStringLiteral("Penalitati");
    const QString active = QStringLiteral("Cont Activ");
    GridColumn monthly{QStringLiteral("Lunar"), QStringLiteral("ABONAMENT"), {}, {}, Qt::AlignCenter, {}};
    monthly.text = [](const ResultSet &r, int row) {
        return r.integer(row, QStringLiteral("PERLUNI")) >= 1 ? QStringLiteral("X") : QString();
    };
    GridColumn stopped{QStringLiteral("Oprit"), QStringLiteral("OPRIT"), {}, {}, Qt::AlignCenter, QColor(Qt::red)};
    stopped.text = [](const ResultSet &r, int row) {
        return r.integer(row, QStringLiteral("PERLUNI")) > 0 && r.integer(row, QStringLiteral("DATASTOP")) > 0
            ? QStringLiteral("X")
            : QString();
    };
    GridColumn from = GridColumn::day(QStringLiteral("De la data"), QStringLiteral("DATASTART"), active);
    GridColumn until = GridColumn::day(QStringLiteral("Pana la data"), QStringLiteral("DATASTOP"), active);
    GridColumn penalty = GridColumn::money(QStringLiteral("%"), QStringLiteral("PENAL"), penalties);
    return {monthly,
            stopped,
            GridColumn::plain(QStringLiteral("Denumire cont"), QStringLiteral("DENUM")),
            GridColumn::money(QStringLiteral("Suma (lei)"), QStringLiteral("RATA")),
            GridColumn::plain(QStringLiteral("Nr. pers."), QStringLiteral("PEPERS"), distribution),
            GridColumn::number(QStringLiteral("Minim"), QStringLiteral("MINPERS"), distribution),
            GridColumn::number(QStringLiteral("Maxim"), QStringLiteral("MAXPERS"), distribution),
            GridColumn::plain(QStringLiteral("Pret fix"), QStringLiteral("PRETFIX")),
            GridColumn::number(QStringLiteral("Ziua impunerii"), QStringLiteral("ZIUAIMP")),
            GridColumn::number(QStringLiteral("Perioada luni"), QStringLiteral("PERLUNI")),
            penalty,
            GridColumn::plain(QStringLiteral("Pe"), QStringLiteral("PENALPE"), penalties),
            GridColumn::plain(QStringLiteral("Incepand cu"), QStringLiteral("PENALDELAP"), penalties),
            GridColumn::number(QStringLiteral("Numarul"), QStringLiteral("PENALDELA"), penalties),
            GridColumn::plain(QStringLiteral("In limita soldului"), QStringLiteral("MAXSOLD"), penalties),
            from,
            until};
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

ContListF::ContListF(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("ContListF"));
    setWindowTitle(QStringLiteral("Conturi"));

    auto *heading = new QLabel(QStringLiteral("Lista conturilor utilizate"), this);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    heading->setFont(bold);

    m_model = new ResultGridModel(accountColumns(), this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("SMDBGrid1"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setAlternatingRowColors(true);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);

    m_add = button(this, QStringLiteral("AddContB"), QStringLiteral("Adauga Cont"));
    m_stop = button(this, QStringLiteral("OprContB"), QStringLiteral("Opreste Cont"));
    m_delete = button(this, QStringLiteral("DelContB"), QStringLiteral("Sterge Cont"));
    m_choice = button(this, QStringLiteral("AlesB"), QStringLiteral("&Am ales"));
    m_close = button(this, QStringLiteral("CloseBut"), QStringLiteral("&Inchide"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_delete);
    buttons->addStretch();
    buttons->addWidget(m_choice);
    buttons->addWidget(m_close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    resize(1400, 480);

    m_addCont = new AddCont(db, this);
    m_selData = new SelData(this);

    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &ContListF::updateButtons);
    connect(m_grid, &QTableView::doubleClicked, this, &ContListF::gridDoubleClicked);
    connect(m_add, &QPushButton::clicked, this, &ContListF::addAccountClicked);
    connect(m_stop, &QPushButton::clicked, this, &ContListF::stopAccountClicked);
    connect(m_delete, &QPushButton::clicked, this, &ContListF::deleteAccountClicked);
    connect(m_choice, &QPushButton::clicked, this, &ContListF::choiceClicked);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

ContListF::~ContListF() = default;

void ContListF::prepareAdministration()
{
    m_choosing = false;
    m_chosen = {};
    m_add->setVisible(true);
    m_stop->setVisible(true);
    m_delete->setVisible(true);
    m_choice->setVisible(false);
    reload(0);
}

void ContListF::runAdministration()
{
    prepareAdministration();
    fitToScreen(this);
    exec();
    m_model->clear();
}

void ContListF::prepareChoosing(int persons)
{
    m_choosing = true;
    m_persons = persons;
    m_chosen = {};
    m_add->setVisible(false);
    m_stop->setVisible(false);
    m_delete->setVisible(false);
    m_choice->setVisible(true);
    reload(0);
}

qint64 ContListF::choose(int persons)
{
    prepareChoosing(persons);
    fitToScreen(this);
    exec();
    m_model->clear();
    return m_chosen.id;
}

AccountRecord ContListF::currentAccount() const
{
    const int row = m_model->resultRow(m_grid->currentIndex().row());
    return row < 0 ? AccountRecord() : AccountRecord::fromRow(m_model->result(), row);
}

void ContListF::reload(qint64 positionOn)
{
    try {
        m_model->setResult(m_choosing ? listOneOffAccounts(m_db, m_persons) : listAccounts(m_db));
    } catch (const VestroniaError &e) {
        m_model->clear();
        showError(QStringLiteral("Conturi"), e.message());
    }
    int row = positionOn ? m_model->findRow(QStringLiteral("IDCON"), positionOn) : -1;
    if (row < 0 && m_model->rowCount() > 0)
        row = 0;
    if (row >= 0)
        m_grid->setCurrentIndex(m_model->index(row, 2));
    m_grid->resizeColumnsToContents();
    updateButtons();
}

void ContListF::updateButtons()
{
    const bool any = m_model->rowCount() > 0;
    const AccountRecord a = currentAccount();
    const bool writable = m_session.canModify();
    m_add->setEnabled(writable);
    m_stop->setEnabled(writable && any && canStopAccount(a));
    m_delete->setEnabled(writable && any && canDeleteAccount(a));
    m_choice->setEnabled(any);
}

void ContListF::showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}

void ContListF::addAccountClicked()
{
    if (!m_addCont->runNew())
        return;
    const AccountDraft draft = m_addCont->draft();
    AccountCreated created;
    try {
        created = addAccount(m_db, m_session, draft, Contor::instance());
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Adaugare Cont"), e.message());
        reload(0);
        return;
    }
    reload(created.id);
    if (created.distributedTo >= 0)
        mesaj(QStringLiteral("Distribuire cont"),
              QStringLiteral("\rAbonamentul ") + draft.name + QStringLiteral(" a fost distribuit la ")
                  + QString::number(created.distributedTo) + QStringLiteral(" abonati!"),
              MesajButtons::OK, MesajKind::Informatie);
}

void ContListF::stopAccountClicked()
{
    const AccountRecord a = currentAccount();
    if (a.id == 0 || !m_selData->run(a.name))
        return;
    try {
        const MaybeRefusal refusal = stopAccount(m_db, m_session, a.id, dayNumberOf(m_selData->date()));
        if (refusal) {
            showError(refusal->title, refusal->message);
            return;
        }
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Dezactivare Cont"), e.message());
        reload(a.id);
        return;
    }
    mesaj(QStringLiteral("Oprire Abonament"),
          QStringLiteral("\rAbonamentul ") + a.name + QStringLiteral(" a fost dezactivat la toti abonatii!"),
          MesajButtons::OK, MesajKind::Informatie);
    reload(a.id);
}

void ContListF::deleteAccountClicked()
{
    const AccountRecord a = currentAccount();
    if (a.id == 0)
        return;
    if (mesaj(QStringLiteral("Stergere Cont"), QStringLiteral("\rDoriti sa stergeti contul ") + a.name + QLatin1Char('?'),
              MesajButtons::DaNu, MesajKind::Confirmare)
        != MesajResult::Da)
        return;
    try {
        deleteAccount(m_db, m_session, a.id);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Stergere Cont"), e.message());
    }
    reload(0);
}

void ContListF::choiceClicked()
{
    if (m_model->rowCount() == 0) {
        showError(QStringLiteral("Alegere Cont"),
                  QStringLiteral("NU aveti definit niciun cont!\rDe la Administrare, adaugati mai intai Conturile!"));
        return;
    }
    m_chosen = currentAccount();
    accept();
}

void ContListF::gridDoubleClicked()
{
    if (m_stop->isVisibleTo(this) && m_stop->isEnabled())
        m_stop->click();
    if (m_choice->isVisibleTo(this) && m_choice->isEnabled())
        m_choice->click();
}

} // namespace vestronia
