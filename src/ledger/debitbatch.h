#pragma once
// Bulk writing of periodic debits: a batch collects the debits of many subscriptions,
// then takes a block of IDDEB numbers, appends the debits and moves LUNAADD of their
// subscriptions as one transaction (a part of the caller's, when one is open), so an
// interruption anywhere leaves either all of it or none of it.

#include "core/money.h"
#include "core/progress.h"

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

namespace vestronia {

class Database;
class ResultSet;
struct Session;

// Where the AbOm columns are in a result: looked up once, then read for many rows.
struct SubscriptionColumns
{
    explicit SubscriptionColumns(const ResultSet &rows);
    int idserv, idab, idcon, name, amount, debitDay, periodMonths, penalty, penaltyPer, penaltyFrom,
        penaltyFromUnit, cap, start, stop, lastMonth;
};

// What the debits of one subscription copy from it (AbOm fields).
struct SubscriptionTerms
{
    qint64 idserv = 0;
    qint64 idab = 0;
    qint64 idcon = 0;
    QString name;          // DENUM
    Money amount;          // RATA
    int debitDay = 1;      // ZIUAIMP
    int periodMonths = 1;  // PERLUNI, never below 1 here
    Money penalty;         // PENAL
    QString penaltyPer;    // PENALPE
    int penaltyFrom = 0;   // PENALDELA
    QString penaltyFromUnit; // PENALDELAP
    QString cap;           // MAXSOLD
    int start = 0;         // DATASTART
    int stop = 0;          // DATASTOP
    int lastMonth = 0;     // LUNAADD

    // Reads the AbOm columns of a row (extra columns are ignored).
    static SubscriptionTerms fromRow(const ResultSet &rows, int row);
    static SubscriptionTerms fromRow(const ResultSet &rows, int row, const SubscriptionColumns &columns);
};

// One row of Debite.
struct DebitRow
{
    qint64 iddeb = 0;
    qint64 idserv = 0;
    qint64 idab = 0;
    qint64 idcon = 0;
    int day = 0;        // DATADEB
    int month = 0;      // LUNADEB
    QString text;       // DENUM
    Money amount;       // RATA and SOLD
    Money penalty;      // PENAL
    QString penaltyPer; // PENALPE
    int penaltyDay = 0; // PENALDATA
    QString cap;        // MAXSOLD
};

// The debit of a subscription dated on the given day of the given month (IDDEB 0).
DebitRow makeDebitRow(const SubscriptionTerms &terms, int day, int month);

class DebitBatch
{
public:
    // Callers write a batch whenever it holds this many debits (200,000), so that years
    // of debits for a whole commune never sit in memory (and in one journal) at once.
    static qsizetype flushSize();

    DebitBatch(Database &db, const Session &session);
    ~DebitBatch();
    DebitBatch(const DebitBatch &) = delete;
    DebitBatch &operator=(const DebitBatch &) = delete;

    // Queues one debit; the subscription's LUNAADD becomes the month of the last debit
    // queued for it.
    void add(const SubscriptionTerms &terms, int day, int month);
    qsizetype size() const { return qsizetype(m_rows.size()); }
    int subscriptionCount() const { return int(m_lastMonth.size()); }

    // Writes everything queued as one transaction and empties the batch, which can then
    // take more. Steps the progress once per subscription. Returns the last IDDEB
    // written, 0 when nothing was queued.
    qint64 write(Progress &progress);

private:
    Database &m_db;
    const Session &m_session;
    std::vector<DebitRow> m_rows;
    // IDSERV -> new LUNAADD, in the order the subscriptions were first queued.
    std::vector<std::pair<qint64, int>> m_lastMonth;
    QHash<qint64, qsizetype> m_lastMonthIndex;
};

// Test hooks. armFault imitates a failure part-way: writing throws once that
// many more debits have been appended (appends >= 0) or that many more LUNAADD moves
// made (updates >= 0), counted across writes; negative values switch it off, and each
// fault fires once. setFlushSize changes the batch size callers flush at (0 restores it).
namespace DebitBatchTesting {
void armFault(int appends, int updates);
void setFlushSize(qsizetype size);
}

} // namespace vestronia
