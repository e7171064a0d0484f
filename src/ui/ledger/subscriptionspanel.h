#pragma once
// The ABONAMENTE panel of the register screen: the selected subscriber's subscriptions
// (running first) and the amount change of the popup menu ("Modifica suma").

#include <QGroupBox>

class QAction;
class QMenu;
class QTableView;

namespace vestronia {

class Database;
class ResultGridModel;
class SetDebit;
struct Session;

class SubscriptionsPanel : public QGroupBox
{
    Q_OBJECT

public:
    // The screen that holds the panel gives it the amount dialog it shares with its
    // other panels, and tells it which subscriber is selected (setSubscriber).
    SubscriptionsPanel(Database &db, const Session &session, SetDebit *setDebit, QWidget *parent);

    ResultGridModel *model() const { return m_model; }
    QTableView *grid() const { return m_grid; }
    QAction *changeAmountAction() const { return m_changeAmount; }

    // IDAB of the selected subscriber; -1 when the list is empty.
    void setSubscriber(qint64 idab) { m_idab = idab; }
    // Re-reads the subscriber's subscriptions, keeping the row of the given IDSERV (0: none).
    void reload(qint64 positionOnIdserv = 0);
    void changeAmount();

Q_SIGNALS:
    // A subscription's amount changed: the screen re-reads the panel, keeping the row
    // of the given IDSERV, and the debits that follow from it.
    void subscriptionChanged(qint64 positionOnIdserv);

private:
    Database &m_db;
    const Session &m_session;
    SetDebit *m_setDebit;
    qint64 m_idab = -1;
    ResultGridModel *m_model;
    QTableView *m_grid;
    QMenu *m_menu;
    QAction *m_changeAmount;
};

} // namespace vestronia
