// The subscriber screen composes its four panels: when the selected subscriber moves it
// tells the lower panels and re-reads them for him alone; their signals of a change make
// it re-read what the change touched. It also sizes itself and its splitters.

#include "ui/register/evidenta.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/session.h"
#include "ledger/subscriberpanels.h"
#include "store/database.h"
#include "ui/collections/collectionspanel.h"
#include "ui/collections/debitspanel.h"
#include "ui/ledger/addabon.h"
#include "ui/ledger/contlistf.h"
#include "ui/ledger/subscriberspanel.h"
#include "ui/ledger/subscriptionspanel.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/setdebit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace vestronia {

namespace {

std::function<void(Evidenta &)> &emptyRegisterHandler()
{
    static std::function<void(Evidenta &)> handler;
    return handler;
}

} // namespace

Evidenta::Evidenta(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("Evidenta"));
    setWindowTitle(QStringLiteral("Evidenta"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto *heading = new QLabel(QStringLiteral("Evidenta Abonati - Debite - Incasari"), this);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    heading->setFont(bold);


    // ABONATI, ABONAMENTE, DEBITE and INCASARI, one class each
    m_subscribersPanel = new SubscribersPanel(db, session, this);
    QWidget *subscribersBox = m_subscribersPanel;
    connect(m_subscribersPanel, &SubscribersPanel::subscriberMoved, this, &Evidenta::subscriberMoved);
    m_setDebit = new SetDebit(this);
    m_subscriptionsPanel = new SubscriptionsPanel(db, session, m_setDebit, this);
    m_subscriptions = m_subscriptionsPanel->model();
    m_subscriptionGrid = m_subscriptionsPanel->grid();
    m_changeAmount = m_subscriptionsPanel->changeAmountAction();
    QWidget *subscriptionsBox = m_subscriptionsPanel;
    connect(m_subscriptionsPanel, &SubscriptionsPanel::subscriptionChanged, this, [this](qint64 idserv) {
        reloadSubscriptions(idserv);
        reloadDebits();
    });
    m_debitsPanel = new DebitsPanel(db, session, m_setDebit, this);
    m_debitsPanel->setAccountChooser([this](int persons) -> std::optional<AccountRecord> {
        if (!m_accountChooser)
            m_accountChooser = new ContListF(m_db, m_session, this);
        if (!m_accountChooser->choose(persons))
            return std::nullopt;
        return m_accountChooser->chosenAccount();
    });
    m_debits = m_debitsPanel->model();
    m_debitGrid = m_debitsPanel->grid();
    m_debitButtons = m_debitsPanel->buttonRow();
    m_collectionsPanel = new CollectionsPanel(db, session, this);
    m_collections = m_collectionsPanel->model();
    m_collectionGrid = m_collectionsPanel->grid();
    m_collectionButtons = m_collectionsPanel->buttonRow();
    connect(m_debitsPanel, &DebitsPanel::debitsChanged, this, [this](qint64 iddeb) { reloadDebits(iddeb); });
    connect(m_collectionsPanel, &CollectionsPanel::debitsChanged, this, [this](qint64 iddeb) { reloadDebits(iddeb); });
    connect(m_collectionsPanel, &CollectionsPanel::collectionsChanged, this,
            [this](qint64 idchit) { reloadCollections(idchit); });
    QWidget *debitsBox = m_debitsPanel;
    QWidget *collectionsBox = m_collectionsPanel;

    auto *lower = new QSplitter(Qt::Horizontal, this);
    m_lower = lower;
    lower->addWidget(debitsBox);
    lower->addWidget(collectionsBox);
    lower->setStretchFactor(0, 2);
    lower->setStretchFactor(1, 3);
    lower->setSizes({560, 780});
    auto *vertical = new QSplitter(Qt::Vertical, this);
    m_vertical = vertical;
    vertical->addWidget(subscribersBox);
    vertical->addWidget(subscriptionsBox);
    vertical->addWidget(lower);
    vertical->setStretchFactor(0, 5);
    vertical->setStretchFactor(1, 2);
    vertical->setStretchFactor(2, 3);
    vertical->setChildrenCollapsible(false);
    vertical->setSizes({460, 140, 260});

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(vertical, 1);
    resize(1280, 700);



    // Keyboard roads: Enter on a focused button presses it, Enter in a filter moves on,
    // and Tab walks filters, grid, buttons and the panels below in reading order.
    installEnterNavigation(this);
}

Evidenta::~Evidenta() = default;

void Evidenta::setEmptyRegisterHandler(std::function<void(Evidenta &)> handler)
{
    emptyRegisterHandler() = std::move(handler);
}

void Evidenta::showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}




void Evidenta::run()
{
    prepare();
    if (QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        fitTo(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    exec();
    m_subscribersPanel->clear();
    m_subscriptions->clear();
    m_debits->clear();
    m_collections->clear();
}

void Evidenta::fitTo(const QRect &area)
{
    // Maximized on the screen's available area (less a title bar), the splitters sharing
    // its height so that a 1366x768 laptop shows a dozen subscribers and, below, the
    // subscriptions, debits, collections and totals.
    setGeometry(area);
    const int h = std::max(300, area.height() - 80);
    m_vertical->setSizes({h * 60 / 100, h * 12 / 100, h * 28 / 100});
    // The collections, with their totals beside them, take the larger part of the width.
    const int w = area.width();
    m_lower->setSizes({w * 37 / 100, w * 63 / 100});
}










void Evidenta::prepare()
{
    m_subscribersPanel->prepare([this] {
        if (emptyRegisterHandler())
            emptyRegisterHandler()(*this);
    });
}

void Evidenta::subscriberMoved(qint64 idab)
{
    reloadSubscriptions();
    reloadDebits();
    reloadCollections();
    Q_EMIT subscriberChanged(idab);
}

qint64 Evidenta::currentSubscriberId() const
{
    return m_subscribersPanel->currentSubscriberId();
}

SubscriberRecord Evidenta::currentSubscriber() const
{
    return m_subscribersPanel->currentSubscriber();
}

int Evidenta::shownSubscriberCount() const
{
    return m_subscribersPanel->shownSubscriberCount();
}

bool Evidenta::selectSubscriber(qint64 idab)
{
    return m_subscribersPanel->selectSubscriber(idab);
}

void Evidenta::reloadSubscribers(qint64 positionOn)
{
    m_subscribersPanel->reloadSubscribers(positionOn);
}

void Evidenta::setOnExecutare(std::function<void(qint64)> handler)
{
    m_subscribersPanel->setOnExecutare(std::move(handler));
}

int Evidenta::filterPasses() const
{
    return m_subscribersPanel->filterPasses();
}

void Evidenta::setFilterPassHook(std::function<void()> hook)
{
    m_subscribersPanel->setFilterPassHook(std::move(hook));
}

QHBoxLayout *Evidenta::subscriberButtonRow() const
{
    return m_subscribersPanel->buttonRow();
}

AddAbon *Evidenta::subscriberForm() const
{
    return m_subscribersPanel->subscriberForm();
}

void Evidenta::reloadSubscriptions(qint64 positionOnIdserv)
{
    m_subscriptionsPanel->setSubscriber(currentSubscriberId());
    m_subscriptionsPanel->reload(positionOnIdserv);
}

void Evidenta::reloadDebits(qint64 positionOnIddeb)
{
    const qint64 id = currentSubscriberId();
    m_debitsPanel->setSubscriber(id >= 0 ? std::optional<SubscriberRecord>(currentSubscriber()) : std::nullopt);
    try {
        m_debits->setResult(id >= 0 ? openDebitsOf(m_db, id) : ResultSet());
    } catch (const VestroniaError &e) {
        m_debits->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    positionGrid(m_debitGrid, m_debits, QStringLiteral("IDDEB"), positionOnIddeb);
    refreshTotals();
}

void Evidenta::reloadCollections(qint64 positionOnIdchit)
{
    const qint64 id = currentSubscriberId();
    m_collectionsPanel->setSubscriber(id);
    try {
        m_collections->setResult(id >= 0 ? collectionsOf(m_db, id) : ResultSet());
    } catch (const VestroniaError &e) {
        m_collections->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    positionGrid(m_collectionGrid, m_collections, QStringLiteral("IDCHIT"), positionOnIdchit);
    m_subscribersPanel->setHasDocuments(m_collections->rowCount() > 0);
    m_collectionsPanel->updateButtons();
}

void Evidenta::refreshTotals()
{
    m_collectionsPanel->refreshTotals(m_debits->result());
    m_debitsPanel->updateButtons();
}

const BalanceTotals &Evidenta::totals() const
{
    return m_collectionsPanel->totals();
}


void Evidenta::setOnFisa(std::function<void(qint64)> handler)
{
    m_collectionsPanel->setStatementHandler(std::move(handler));
}






} // namespace vestronia
