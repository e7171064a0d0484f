#pragma once
// The DEBITE panel of the register screen: the selected subscriber's open debits, the
// manual debit ("Adauga Debit"), its deletion ("Sterge Debit") and the amount changes of
// the popup menu ("Modifica suma", "Modifica suma in jos").

#include "ledger/accounts.h"
#include "ledger/subscribers.h"

#include <QGroupBox>

#include <functional>
#include <optional>

class QAction;
class QHBoxLayout;
class QMenu;
class QPushButton;
class QTableView;

namespace vestronia {

class Database;
class ResultGridModel;
class SetDebit;
struct Session;

class DebitsPanel : public QGroupBox
{
    Q_OBJECT

public:
    // The screen that holds the panel gives it the amount dialog it shares with its
    // other panels, and tells it which subscriber is selected (setSubscriber).
    DebitsPanel(Database &db, const Session &session, SetDebit *setDebit, QWidget *parent);

    ResultGridModel *model() const { return m_model; }
    QTableView *grid() const { return m_grid; }
    QHBoxLayout *buttonRow() const { return m_buttons; }
    // The selected subscriber; none when the list is empty.
    void setSubscriber(std::optional<SubscriberRecord> subscriber);
    // "Adauga Debit" asks the holder for the account of the new debit, for a household
    // of the given size; no account means the clerk chose none. The button does
    // nothing while no chooser is set.
    using AccountChooser = std::function<std::optional<AccountRecord>(int persons)>;
    void setAccountChooser(AccountChooser chooser) { m_chooseAccount = std::move(chooser); }

    // Enabled states after the panel or the subscriber changed.
    void updateButtons();

    void addDebit();
    void deleteDebit();
    void changeAmount(bool downward);

Q_SIGNALS:
    // A debit was added, deleted or changed: the screen re-reads the panel, keeping
    // the row of the given IDDEB (0: none).
    void debitsChanged(qint64 positionOnIddeb);

private:
    qint64 currentDebitId() const;

    Database &m_db;
    const Session &m_session;
    SetDebit *m_setDebit;
    std::optional<SubscriberRecord> m_subscriber;
    AccountChooser m_chooseAccount;
    ResultGridModel *m_model;
    QTableView *m_grid;
    QHBoxLayout *m_buttons;
    QPushButton *m_add;
    QPushButton *m_delete;
    QMenu *m_menu;
    QAction *m_change;
    QAction *m_changeDown;
};

} // namespace vestronia
