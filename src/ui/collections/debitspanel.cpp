// The debits panel: its operations call the debit services and re-read the panel, which
// recomputes the INCASARI totals.

#include "ui/collections/debitspanel.h"

#include "collections/debits.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "store/database.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/setdebit.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vestronia {

namespace {

QVector<GridColumn> debitColumns()
{
    return {twinDay(QStringLiteral("Data"), QStringLiteral("DATADEB")),
            GridColumn::plain(QStringLiteral("Denumire"), QStringLiteral("DENUM")),
            GridColumn::money(QStringLiteral("Suma"), QStringLiteral("RATA")),
            GridColumn::money(QStringLiteral("Rest"), QStringLiteral("SOLD"))};
}

void showRefusal(const Refusal &r)
{
    mesaj(r.title, r.message, MesajButtons::OK, MesajKind::Eroare);
}

} // namespace

DebitsPanel::DebitsPanel(Database &db, const Session &session, SetDebit *setDebit, QWidget *parent)
    : QGroupBox(QStringLiteral("DEBITE"), parent), m_db(db), m_session(session), m_setDebit(setDebit)
{
    setObjectName(QStringLiteral("DebitePanel"));
    m_model = new ResultGridModel(debitColumns(), this);
    m_grid = vestronia::grid(this, QStringLiteral("SMDBGrid2"), m_model, {10, 24, 8, 8});
    m_add = new QPushButton(QStringLiteral("Adauga &Debit"), this);
    m_add->setObjectName(QStringLiteral("AddDebB"));
    m_delete = new QPushButton(QStringLiteral("Sterge D&ebit"), this);
    m_delete->setObjectName(QStringLiteral("DelDebB"));
    for (QPushButton *b : {m_add, m_delete})
        b->setAutoDefault(false);
    m_buttons = new QHBoxLayout;
    m_buttons->addWidget(m_add);
    m_buttons->addWidget(m_delete);
    m_buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(m_buttons);

    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    m_menu = new QMenu(m_grid);
    m_menu->setObjectName(QStringLiteral("PopC"));
    m_change = m_menu->addAction(QStringLiteral("Modifica suma"));
    m_change->setObjectName(QStringLiteral("Modifica2"));
    m_changeDown = m_menu->addAction(QStringLiteral("Modifica suma in jos"));
    m_changeDown->setObjectName(QStringLiteral("ModificaJos"));

    connect(m_add, &QPushButton::clicked, this, &DebitsPanel::addDebit);
    connect(m_delete, &QPushButton::clicked, this, &DebitsPanel::deleteDebit);
    connect(m_change, &QAction::triggered, this, [this] { changeAmount(false); });
    connect(m_changeDown, &QAction::triggered, this, [this] { changeAmount(true); });
    connect(m_grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(m_grid->viewport()->mapToGlobal(pos)); });
    updateButtons();
}

void DebitsPanel::setSubscriber(std::optional<SubscriberRecord> subscriber)
{
    m_subscriber = std::move(subscriber);
}

void DebitsPanel::updateButtons()
{
    const bool can = m_session.canModify();
    const bool present = m_subscriber && m_subscriber->leaveDay == 0;
    m_add->setEnabled(can && present);
    m_delete->setEnabled(can && m_model->rowCount() > 0);
    m_change->setEnabled(can && m_model->rowCount() > 0);
    m_changeDown->setEnabled(can);
}

qint64 DebitsPanel::currentDebitId() const
{
    const int row = m_grid->currentIndex().row();
    if (row < 0 || row >= m_model->rowCount())
        return 0;
    return m_model->result().integer(row, QStringLiteral("IDDEB"));
}

void DebitsPanel::addDebit()
{
    if (!m_subscriber || !m_chooseAccount)
        return;
    const SubscriberRecord s = *m_subscriber;
    const qint64 idab = s.id;
    try {
        const std::optional<AccountRecord> chosen = m_chooseAccount(s.persons);
        if (!chosen)
            return;
        const AccountRecord a = *chosen;
        m_setDebit->setDate(Clock::today());
        m_setDebit->setAmount(proposedDebitAmount(a, s.persons));
        if (!m_setDebit->run(a.name, true))
            return;
        const DebitOutcome o = addManualDebit(m_db, m_session, idab, a.id, dayNumberOf(m_setDebit->date()), m_setDebit->amount());
        if (o.refusal) {
            showRefusal(*o.refusal);
            return;
        }
        Q_EMIT debitsChanged(o.iddeb);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Adaugare debit"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void DebitsPanel::deleteDebit()
{
    const qint64 iddeb = currentDebitId();
    if (!iddeb)
        return;
    try {
        if (MaybeRefusal r = checkDebitDeletion(m_db, iddeb)) {
            showRefusal(*r);
            return;
        }
        if (mesaj(QStringLiteral("Stergere debit"), debitDeletionQuestion(m_db, iddeb), MesajButtons::DaNu,
                  MesajKind::Confirmare) != MesajResult::Da)
            return;
        if (MaybeRefusal r = vestronia::deleteDebit(m_db, m_session, iddeb)) {
            showRefusal(*r);
            return;
        }
        Q_EMIT debitsChanged(0);
        if (m_model->rowCount() > 0)
            m_grid->setCurrentIndex(m_model->index(m_model->rowCount() - 1, 0));
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Stergere debit"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void DebitsPanel::changeAmount(bool downward)
{
    const qint64 iddeb = currentDebitId();
    if (!iddeb)
        return;
    const int row = m_grid->currentIndex().row();
    m_setDebit->setDate(dateOfDayNumber(int(m_model->result().integer(row, QStringLiteral("DATADEB")))));
    if (!m_setDebit->run(downward ? QStringLiteral("Modificare Debite in jos") : QStringLiteral("Modificare Debit"), false))
        return;
    try {
        const ChangeOutcome o = changeDebitAmount(m_db, m_session, iddeb, m_setDebit->amount(), downward);
        if (o.refusal) {
            showRefusal(*o.refusal);
            return;
        }
        Q_EMIT debitsChanged(iddeb);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Modificare debite"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

} // namespace vestronia
