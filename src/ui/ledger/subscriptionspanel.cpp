// The subscriptions panel: lists the selected subscriber's subscriptions and changes the
// amount of one through the shared amount dialog; a refusal or a read error is shown and
// the panel re-read, so it never shows a state that was not stored.

#include "ui/ledger/subscriptionspanel.h"

#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "ledger/subscriberpanels.h"
#include "ledger/subscriptions.h"
#include "store/database.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/setdebit.h"

#include <QAction>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

namespace vestronia {

namespace {

QVector<GridColumn> subscriptionColumns()
{
    const QString active = QStringLiteral("Activ in perioada");
    const QString penalties = QStringLiteral("Penalitati");
    const QString from = QStringLiteral("incepand cu");
    const QString automatic = QStringLiteral("Debitare automata");
    return {GridColumn::plain(QStringLiteral("Denumire"), QStringLiteral("DENUM")),
            flagColumn(QStringLiteral("Oprit"), QStringLiteral("OPRIT"),
                       [](const ResultSet &r, int row) { return r.integer(row, QStringLiteral("DATASTOP")) != 0; }),
            twinDay(QStringLiteral("De la"), QStringLiteral("DATASTART"), active),
            twinDay(QStringLiteral("Pana la"), QStringLiteral("DATASTOP"), active),
            GridColumn::money(QStringLiteral("Suma -lei-"), QStringLiteral("RATA")),
            GridColumn::money(QStringLiteral("%"), QStringLiteral("PENAL"), penalties),
            GridColumn::plain(QStringLiteral("pe"), QStringLiteral("PENALPE"), penalties),
            GridColumn::plain(QStringLiteral("in. lim. soldului"), QStringLiteral("MAXSOLD"), penalties),
            GridColumn::plain(QStringLiteral("-"), QStringLiteral("PENALDELAP"), from),
            GridColumn::number(QStringLiteral("-"), QStringLiteral("PENALDELA"), from),
            GridColumn::month(QStringLiteral("Ultima luna debitata"), QStringLiteral("LUNAADD")),
            GridColumn::number(QStringLiteral("In ziua de"), QStringLiteral("ZIUAIMP"), automatic),
            GridColumn::number(QStringLiteral("Perioada -luni-"), QStringLiteral("PERLUNI"), automatic)};
}

void showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}

} // namespace

SubscriptionsPanel::SubscriptionsPanel(Database &db, const Session &session, SetDebit *setDebit, QWidget *parent)
    : QGroupBox(QStringLiteral("ABONAMENTE"), parent), m_db(db), m_session(session), m_setDebit(setDebit)
{
    setObjectName(QStringLiteral("AbonamentePanel"));
    m_model = new ResultGridModel(subscriptionColumns(), this);
    m_grid = vestronia::grid(this, QStringLiteral("SMDBGrid3"), m_model, {30, 3, 10, 10, 7, 4, 3, 3, 3, 3, 7, 3, 3});
    m_grid->setContextMenuPolicy(Qt::CustomContextMenu);
    m_menu = new QMenu(m_grid);
    m_menu->setObjectName(QStringLiteral("PopB"));
    m_changeAmount = m_menu->addAction(QStringLiteral("Modifica suma"));
    m_changeAmount->setObjectName(QStringLiteral("ModificaSuma"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grid);

    connect(m_grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(m_grid->viewport()->mapToGlobal(pos)); });
    connect(m_changeAmount, &QAction::triggered, this, &SubscriptionsPanel::changeAmount);
}

void SubscriptionsPanel::reload(qint64 positionOnIdserv)
{
    try {
        m_model->setResult(m_idab >= 0 ? subscriptionsOf(m_db, m_idab) : ResultSet());
    } catch (const VestroniaError &e) {
        m_model->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    positionGrid(m_grid, m_model, QStringLiteral("IDSERV"), positionOnIdserv);
    m_changeAmount->setEnabled(m_session.canModify() && m_model->rowCount() > 0);
}

void SubscriptionsPanel::changeAmount()
{
    if (!m_session.canModify())
        return;
    const int row = m_model->resultRow(m_grid->currentIndex().row());
    if (row < 0)
        return;
    const qint64 idserv = m_model->result().integer(row, QStringLiteral("IDSERV"));
    m_setDebit->setDate(dateOfDayNumber(int(m_model->result().integer(row, QStringLiteral("DATASTART")))));
    if (!m_setDebit->run(QStringLiteral("Modificare Abonament"), false))
        return;
    try {
        vestronia::changeSubscriptionAmount(m_db, m_session, idserv, m_setDebit->amount());
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Modificare Abonament"), e.message());
    }
    Q_EMIT subscriptionChanged(idserv);
}

} // namespace vestronia
