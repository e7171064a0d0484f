#pragma once
// The INCASARI panel of the register screen: the selected subscriber's documents (most
// recent first), what he owes today ("Rest de incasat"), and the collection, the
// cancellation, the printing of a document and the statement of account.

#include "collections/balance.h"

#include <QGroupBox>

#include <functional>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

namespace vestronia {

class AddChit;
class Database;
class ResultGridModel;
class ResultSet;
struct Session;

class CollectionsPanel : public QGroupBox
{
    Q_OBJECT

public:
    // The screen that holds the panel tells it which subscriber is selected.
    CollectionsPanel(Database &db, const Session &session, QWidget *parent);

    ResultGridModel *model() const { return m_model; }
    QTableView *grid() const { return m_grid; }
    QHBoxLayout *buttonRow() const { return m_buttons; }
    AddChit *collectionDialog() const { return m_addChit; }
    const BalanceTotals &totals() const { return m_totals; }

    // Recomputes the totals from the debits panel. A request that arrives while a pass
    // runs (the pass lets events run) causes exactly one more pass afterwards.
    void refreshTotals(const ResultSet &openDebits);
    int totalsPasses() const { return m_passes; }
    void setTotalsPassHook(std::function<void()> hook) { m_passHook = std::move(hook); }

    // IDAB of the selected subscriber; -1 when the list is empty.
    void setSubscriber(qint64 idab) { m_idab = idab; }
    // Enabled states after the panel or the subscriber changed.
    void updateButtons();
    // "Fisa abonatului": what runs for the selected IDAB; the button stays disabled
    // while none is set.
    void setStatementHandler(std::function<void(qint64)> handler);

    void addCollection();
    void cancelCollection();
    void printDocument(qint64 idchit);

Q_SIGNALS:
    // A collection was recorded or cancelled: the screen re-reads the debits (their
    // rests changed) and the collections, keeping the given rows (0: none).
    void debitsChanged(qint64 positionOnIddeb);
    void collectionsChanged(qint64 positionOnIdchit);

private:
    void runTotalsPass(const ResultSet &openDebits);
    qint64 currentDocumentId() const;

    Database &m_db;
    const Session &m_session;
    qint64 m_idab = -1;
    BalanceTotals m_totals;
    bool m_refreshing = false;
    int m_requests = 0;
    int m_passes = 0;
    std::function<void()> m_passHook;
    std::function<void(qint64)> m_statement;

    ResultGridModel *m_model;
    QTableView *m_grid;
    QHBoxLayout *m_buttons;
    QLabel *m_restL;
    QLabel *m_penalL;
    QLabel *m_avansL;
    QLabel *m_totalL;
    QPushButton *m_add;
    QPushButton *m_cancel;
    QPushButton *m_list;
    QPushButton *m_fisa;
    AddChit *m_addChit;
};

} // namespace vestronia
