#pragma once
// UrmarireF: the follow-up list of one subscriber ("Urmariri"): his acts, and the
// buttons that add, change, delete and print them. Opened from the subscriber screen's
// "Executare silita" with the subscriber and what the screen shows that he owes.

#include "enforcement/acts.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableView;

namespace vestronia {

class AddExecF;
class Database;
class ResultGridModel;
struct Session;

class UrmarireF : public QDialog
{
    Q_OBJECT

public:
    UrmarireF(Database &db, const Session &session, QWidget *parent = nullptr);

    // Loads the list of subscriber idab; name and amounts are what the subscriber screen
    // shows for him (the acts copy them).
    void prepare(qint64 idab, const QString &name, const ActAmounts &amounts);
    // prepare, then the window modally.
    void run(qint64 idab, const QString &name, const ActAmounts &amounts);

    AddExecF *entryWindow() const { return m_entry; }
    // IDURM of the selected act; 0 when the list is empty.
    qint64 currentAct() const;
    int actCount() const;
    // The letter file of the last print (tests).
    const QString &lastLetter() const { return m_lastLetter; }

private:
    void reload(qint64 positionOn, bool last = false);
    void updateButtons();
    void addClicked();
    void editClicked();
    void deleteClicked();
    void listClicked();
    void showError(const QString &title, const QString &text);

    Database &m_db;
    const Session &m_session;
    qint64 m_idab = 0;
    ActAmounts m_amounts;
    QString m_lastLetter;
    AddExecF *m_entry;
    ResultGridModel *m_model;
    QLabel *m_name;
    QTableView *m_grid;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_delete;
    QPushButton *m_list;
    QPushButton *m_close;
};

// The entry point of the subscriber screen's "Executare silita": the list of subscriber
// idab, with what he owes today as the subscriber screen computes it.
void showUrmarire(QWidget *parent, Database &db, const Session &session, qint64 idab);

} // namespace vestronia
