#pragma once
// Bulk writing of periodic debits, safe against being cut short.
//
// A batch collects the debits of many subscriptions, then:
//   1. writes its whole plan (every debit row with its IDDEB, every new LUNAADD) to a
//      journal file in the data folder, replaced atomically;
//   2. moves the counter IDDEB past the numbers it uses;
//   3. appends the debits, then moves LUNAADD of the subscriptions;
//   4. deletes the journal.
// When the program stops anywhere in 3 (an error, a power cut), the journal is still
// there and the next batch on that data folder first completes it: it appends exactly
// the planned debits that are missing and moves LUNAADD. So no debit is written twice,
// none is lost, and no IDDEB is handed out twice. A lock file in the data folder keeps
// two workstations from writing batches at the same time.

#include "core/money.h"
#include "core/progress.h"

#include <QHash>
#include <QLockFile>
#include <QString>

#include <memory>
#include <vector>

namespace vestronia {

class Database;
class ResultSet;
struct Session;

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

    // Takes the data folder's debiting lock, waiting up to timeoutMs, and completes a
    // batch that an earlier run left unfinished. False when another workstation holds
    // the lock. Throws SqlError/FileError/VestroniaError when the completion fails.
    bool open(int timeoutMs);
    // Debits of an unfinished earlier batch that open() appended.
    int completedOnOpen() const { return m_completed; }

    // Queues one debit; the subscription's LUNAADD becomes the month of the last debit
    // queued for it.
    void add(const SubscriptionTerms &terms, int day, int month);
    qsizetype size() const { return qsizetype(m_rows.size()); }
    int subscriptionCount() const { return int(m_lastMonth.size()); }

    // Writes everything queued (see the file comment) and empties the batch, which can
    // then take more. Steps the progress once per subscription. Returns the last IDDEB
    // written, 0 when nothing was queued.
    qint64 write(Progress &progress);

private:
    Database &m_db;
    const Session &m_session;
    std::unique_ptr<QLockFile> m_lock;
    int m_completed = 0;
    std::vector<DebitRow> m_rows;
    // IDSERV -> new LUNAADD, in the order the subscriptions were first queued.
    std::vector<std::pair<qint64, int>> m_lastMonth;
    QHash<qint64, qsizetype> m_lastMonthIndex;
};

// The journal of an unfinished batch and the lock file, in the data folder.
QString debitJournalPath(const Session &session);
QString debitLockPath(const Session &session);

// Completes an unfinished batch when its journal exists; returns the number of debits it
// had to append. The caller holds the debiting lock.
int completeInterruptedDebiting(Database &db, const Session &session);

// Test hooks. armFault imitates a program stopping part-way: writing throws once that
// many more debits have been appended (appends >= 0) or that many more LUNAADD moves
// made (updates >= 0), counted across writes; negative values switch it off, and each
// fault fires once. setFlushSize changes the batch size callers flush at (0 restores it).
namespace DebitBatchTesting {
void armFault(int appends, int updates);
void setFlushSize(qsizetype size);
}

} // namespace vestronia
