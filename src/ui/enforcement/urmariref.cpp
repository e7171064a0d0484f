// The follow-up list of one subscriber: acts by date and number, added with the no-debt
// refusal, changed through the entry window, deleted after a question, printed as a
// letter that the shell opens. The data work is in enforcement/acts and letters.

#include "ui/enforcement/urmariref.h"

#include "collections/balance.h"
#include "core/clock.h"
#include "core/session.h"
#include "enforcement/letters.h"
#include "ledger/subscribers.h"
#include "startup/adminsettings.h"
#include "store/database.h"
#include "ui/enforcement/addexecf.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/shellopen.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vestronia {

namespace {

LetterUnit currentUnit()
{
    const AdminSettings &s = adminSettings();
    return {countyNames().value(s.county), s.unitName, s.locality};
}

} // namespace

UrmarireF::UrmarireF(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session), m_entry(new AddExecF(session, this))
{
    setObjectName(QStringLiteral("UrmarireF"));
    setWindowTitle(QStringLiteral("Urmariri"));

    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("NumeL"));
    QFont bold = m_name->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 1);
    m_name->setFont(bold);

    m_model = new ResultGridModel({GridColumn::plain(QStringLiteral("Tipul Actului"), QStringLiteral("TIPACT")),
                                   GridColumn::plain(QStringLiteral("Numar"), QStringLiteral("UNR")),
                                   GridColumn::day(QStringLiteral("Din data"), QStringLiteral("UDATA")),
                                   GridColumn::money(QStringLiteral("Debit"), QStringLiteral("DEBIT")),
                                   GridColumn::money(QStringLiteral("Penalitati"), QStringLiteral("PENAL")),
                                   GridColumn::money(QStringLiteral("Total"), QStringLiteral("TOTAL"))},
                                  this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("Grid1"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setColumnWidth(0, 200);
    for (int c = 1; c < 6; ++c)
        m_grid->setColumnWidth(c, 95);

    auto button = [this](const char *name, const char *text) {
        auto *b = new QPushButton(QLatin1String(text), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    m_add = button("AddBut", "&Adauga Act");
    m_edit = button("EditBut", "&Modifica Act");
    m_delete = button("DelBut", "&Sterge Act");
    m_list = button("ListBut", "&Listeaza Act");
    m_close = button("CloseBut", "&Inchide");

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_add, m_edit, m_delete, m_list})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);
    resize(760, 360);

    connect(m_add, &QPushButton::clicked, this, &UrmarireF::addClicked);
    connect(m_edit, &QPushButton::clicked, this, &UrmarireF::editClicked);
    connect(m_delete, &QPushButton::clicked, this, &UrmarireF::deleteClicked);
    connect(m_list, &QPushButton::clicked, this, &UrmarireF::listClicked);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_grid, &QTableView::doubleClicked, this, [this] {
        if (m_edit->isEnabled())
            editClicked();
    });
}

void UrmarireF::prepare(qint64 idab, const QString &name, const ActAmounts &amounts)
{
    m_idab = idab;
    m_amounts = amounts;
    m_name->setText(name);
    reload(0);
    m_grid->setFocus();
}

void UrmarireF::run(qint64 idab, const QString &name, const ActAmounts &amounts)
{
    prepare(idab, name, amounts);
    exec();
    m_model->clear();
}

qint64 UrmarireF::currentAct() const
{
    const int row = m_model->resultRow(m_grid->currentIndex().row());
    return row < 0 ? 0 : m_model->result().integer(row, QStringLiteral("IDURM"));
}

int UrmarireF::actCount() const
{
    return m_model->rowCount();
}

void UrmarireF::reload(qint64 positionOn, bool last)
{
    // The buttons wait while the list is read again, so a second click cannot act on a
    // list that is being replaced.
    for (QPushButton *b : {m_add, m_edit, m_delete, m_list})
        b->setEnabled(false);
    try {
        m_model->setResult(actsOf(m_db, m_idab));
    } catch (const VestroniaError &e) {
        m_model->clear();
        showError(QStringLiteral("Urmariri"), e.message());
    }
    int row = positionOn ? m_model->findRow(QStringLiteral("IDURM"), positionOn) : -1;
    if (row < 0)
        row = last ? m_model->rowCount() - 1 : 0;
    if (m_model->rowCount() > 0)
        m_grid->setCurrentIndex(m_model->index(row, 0));
    updateButtons();
}

void UrmarireF::updateButtons()
{
    const bool any = m_model->rowCount() > 0;
    const bool canChange = m_session.canModify();
    m_add->setEnabled(canChange);
    m_edit->setEnabled(any && canChange);
    m_delete->setEnabled(any && canChange);
    m_list->setEnabled(any);
}

void UrmarireF::showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}

void UrmarireF::addClicked()
{
    if (MaybeRefusal r = checkActAllowed(m_amounts.total)) {
        showError(r->title, r->message);
        return;
    }
    m_entry->prepareAdd(m_name->text(), m_amounts);
    if (!m_entry->run())
        return;
    try {
        const ActAdded added = addAct(m_db, m_session, m_idab, m_entry->draft(), m_amounts);
        if (added.refusal) {
            showError(added.refusal->title.isEmpty() ? QStringLiteral("Adaugare Act") : added.refusal->title,
                      added.refusal->message);
            return;
        }
        reload(added.idurm);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Adaugare Act"), e.message());
        reload(0);
    }
}

void UrmarireF::editClicked()
{
    const int row = m_model->resultRow(m_grid->currentIndex().row());
    if (row < 0)
        return;
    const qint64 idurm = currentAct();
    m_entry->prepareChange(m_model->result(), row);
    if (!m_entry->run())
        return;
    try {
        if (MaybeRefusal r = changeAct(m_db, m_session, idurm, m_entry->draft()))
            showError(r->title.isEmpty() ? QStringLiteral("Modificare Act") : r->title, r->message);
        reload(idurm);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Modificare Act"), e.message());
    }
}

void UrmarireF::deleteClicked()
{
    const qint64 idurm = currentAct();
    if (!idurm)
        return;
    if (mesaj(QStringLiteral("Stergere Act"), QStringLiteral("\rDoriti sa stergeti Actul selectat?"), MesajButtons::DaNu,
              MesajKind::Atentie)
        != MesajResult::Da)
        return;
    try {
        if (MaybeRefusal r = deleteAct(m_db, m_session, idurm))
            showError(r->title, r->message);
        reload(0, true);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Stergere Act"), e.message());
    }
}

void UrmarireF::listClicked()
{
    const qint64 idurm = currentAct();
    if (!idurm)
        return;
    try {
        m_lastLetter = writeActLetter(m_db, m_session, idurm, currentUnit());
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Listeaza Act"), e.message());
        return;
    }
    if (!openWithShell(m_lastLetter))
        showError(QStringLiteral("Listeaza Act"),
                  QStringLiteral("\rScrisoarea a fost scrisa in\r%1\rdar nu am putut-o deschide.").arg(m_lastLetter));
}

void showUrmarire(QWidget *parent, Database &db, const Session &session, qint64 idab)
{
    try {
        const SubscriberRecord s = readSubscriber(db, idab);
        const ActAmounts owed = ActAmounts::fromTotals(balanceOf(db, idab, Clock::todayDayNumber()));
        UrmarireF window(db, session, parent);
        window.run(idab, s.name, owed);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Urmariri"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

} // namespace vestronia
