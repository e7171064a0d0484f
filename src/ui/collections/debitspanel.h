#pragma once
// The DEBITE panel of the register screen: the selected subscriber's open debits, the
// manual debit ("Adauga Debit"), its deletion ("Sterge Debit") and the amount changes of
// the popup menu ("Modifica suma", "Modifica suma in jos").

#include <QGroupBox>

class QAction;
class QHBoxLayout;
class QMenu;
class QPushButton;
class QTableView;

namespace vestronia {

class ContListF;
class Database;
class Evidenta;
class ResultGridModel;
class SetDebit;
struct Session;

class DebitsPanel : public QGroupBox
{
    Q_OBJECT

public:
    DebitsPanel(Database &db, const Session &session, Evidenta &screen, SetDebit *setDebit);

    ResultGridModel *model() const { return m_model; }
    QTableView *grid() const { return m_grid; }
    QHBoxLayout *buttonRow() const { return m_buttons; }
    // The accounts list in choosing mode (created on first use).
    ContListF *accountChooser();

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
    Evidenta &m_screen;
    SetDebit *m_setDebit;
    ContListF *m_chooser = nullptr;
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
