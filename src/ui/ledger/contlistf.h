#pragma once
// ContListF: the accounts list. In administration mode it shows every account and lets
// the administrator add, stop and delete them; in choosing mode it offers the one-off
// accounts that apply to a household and returns the one chosen.

#include "ledger/accounts.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableView;

namespace vestronia {

class AddCont;
class Database;
class ResultGridModel;
class SelData;
struct Session;

class ContListF : public QDialog
{
    Q_OBJECT

public:
    ContListF(Database &db, const Session &session, QWidget *parent = nullptr);
    ~ContListF() override;

    // Administration mode, modal.
    void runAdministration();
    void prepareAdministration();

    // Choosing mode for a household of the given size, modal. Returns the chosen
    // IDCON, 0 when the window closed without a choice; chosenAccount() then holds the
    // account's fields.
    qint64 choose(int persons);
    void prepareChoosing(int persons);
    const AccountRecord &chosenAccount() const { return m_chosen; }
    qint64 chosenId() const { return m_chosen.id; }

    // The account of the current row; id 0 on an empty list.
    AccountRecord currentAccount() const;
    AddCont *creationForm() const { return m_addCont; }
    SelData *stopDialog() const { return m_selData; }

private:
    void reload(qint64 positionOn);
    void updateButtons();
    void addAccountClicked();
    void stopAccountClicked();
    void deleteAccountClicked();
    void choiceClicked();
    void gridDoubleClicked();
    void showError(const QString &title, const QString &text);

    Database &m_db;
    const Session &m_session;
    bool m_choosing = false;
    int m_persons = 0;
    AccountRecord m_chosen;
    ResultGridModel *m_model;
    QTableView *m_grid;
    QPushButton *m_add;
    QPushButton *m_stop;
    QPushButton *m_delete;
    QPushButton *m_choice;
    QPushButton *m_close;
    AddCont *m_addCont;
    SelData *m_selData;
};

} // namespace vestronia
