#pragma once
// Evidenta: the subscriber screen, the centre of the program. The ABONATI panel lists,
// filters and sorts the subscribers; the three lower panels (ABONAMENTE, DEBITE,
// INCASARI) follow the selected one, and INCASARI shows what he owes today.
//
// Other windows add their buttons to the rows this screen exposes (debit and collection
// operations, enforcement) and call the reload functions after their changes.

#include "collections/balance.h"
#include "ledger/subscribers.h"

#include <QDialog>
#include <QRect>

#include <functional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QSplitter;
class QTableView;

namespace vestronia {

class AddAbon;
class CollectionsPanel;
class ContListF;
class DebitsPanel;
class Database;
class ResultGridModel;
class SetDebit;
class SubscribersPanel;
class SubscriptionsPanel;
struct Session;

class Evidenta : public QDialog
{
    Q_OBJECT

public:
    Evidenta(Database &db, const Session &session, QWidget *parent = nullptr);
    ~Evidenta() override;

    // The opening steps, then the screen modally.
    void run();
    // The opening steps without the loop: lists, the four panels, the filter.
    void prepare();
    // Sizes the screen and its panels for a screen area (run() uses the available one).
    void fitTo(const QRect &area);

    // What runs when the register is empty at opening (the import of households); the
    // screen re-reads its lists afterwards. None by default.
    static void setEmptyRegisterHandler(std::function<void(Evidenta &)> handler);

    // IDAB of the selected subscriber; -1 when the list is empty.
    qint64 currentSubscriberId() const;
    SubscriberRecord currentSubscriber() const;
    int shownSubscriberCount() const;
    const BalanceTotals &totals() const;
    // Selects the subscriber when he is in the list; false otherwise.
    bool selectSubscriber(qint64 idab);
    // Re-reads the subscriber list (keeping order and filter) and selects idab, or the
    // first row.
    void reloadSubscribers(qint64 positionOn);

    // Re-reading of the lower panels after a change, keeping a row when given.
    void reloadSubscriptions(qint64 positionOnIdserv = 0);
    void reloadDebits(qint64 positionOnIddeb = 0);
    void reloadCollections(qint64 positionOnIdchit = 0);
    // Recomputes the INCASARI totals from the debits panel.
    void refreshTotals();

    // Where other windows put their buttons.
    QHBoxLayout *subscriberButtonRow() const;
    QHBoxLayout *debitButtonRow() const { return m_debitButtons; }
    QHBoxLayout *collectionButtonRow() const { return m_collectionButtons; }
    QTableView *subscriptionGrid() const { return m_subscriptionGrid; }
    QTableView *debitGrid() const { return m_debitGrid; }
    QTableView *collectionGrid() const { return m_collectionGrid; }
    ResultGridModel *debitModel() const { return m_debits; }
    ResultGridModel *collectionModel() const { return m_collections; }
    SetDebit *setDebitDialog() const { return m_setDebit; }
    AddAbon *subscriberForm() const;
    QAction *changeAmountAction() const { return m_changeAmount; }
    DebitsPanel *debitsPanel() const { return m_debitsPanel; }
    CollectionsPanel *collectionsPanel() const { return m_collectionsPanel; }

    // Hooks of the other subsystems, taking the selected IDAB: "Executare silita" (ExecutareB,
    // enforcement) and "Fisa abonatului" (FisaB, the statement of account). Their buttons
    // stay disabled while no hook is set.
    void setOnExecutare(std::function<void(qint64)> handler);
    void setOnFisa(std::function<void(qint64)> handler);

    // Number of filter passes run so far, and a hook run at the start of each pass (tests
    // use both to check that a change during a pass causes exactly one more pass).
    int filterPasses() const;
    void setFilterPassHook(std::function<void()> hook);

Q_SIGNALS:
    void subscriberChanged(qint64 idab);

private:
    void subscriberMoved(qint64 idab);
    void showError(const QString &title, const QString &text);

    Database &m_db;
    const Session &m_session;
    QHBoxLayout *m_debitButtons;
    QHBoxLayout *m_collectionButtons;

    ResultGridModel *m_subscriptions;
    ResultGridModel *m_debits;
    ResultGridModel *m_collections;
    QTableView *m_subscriptionGrid;
    QTableView *m_debitGrid;
    QTableView *m_collectionGrid;
    QAction *m_changeAmount;
    QSplitter *m_vertical = nullptr;
    QSplitter *m_lower = nullptr;
    SubscribersPanel *m_subscribersPanel;
    SubscriptionsPanel *m_subscriptionsPanel;
    DebitsPanel *m_debitsPanel;
    CollectionsPanel *m_collectionsPanel;

    SetDebit *m_setDebit;
    // The accounts list in choosing mode for "Adauga Debit" (created on first use).
    ContListF *m_accountChooser = nullptr;
};

} // namespace vestronia
