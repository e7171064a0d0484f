// Bulk debit writing with a redo journal (see debitbatch.h). The journal is a text file
// of the data folder, one line per planned debit and per LUNAADD move; a journal that
// is damaged or too large is refused with a message, never guessed at.

#include "ledger/debitbatch.h"

#include "core/counters.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "ledger/debitrules.h"
#include "store/database.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace vestronia {

namespace {

const QString CounterKey = QStringLiteral("IDDEB");
int g_faultAppends = -1;
int g_faultUpdates = -1;
constexpr qsizetype DefaultFlushSize = 200000;
qsizetype g_flushSize = DefaultFlushSize;

const QString InsertDebit = QStringLiteral(
    "INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
    "PENALDATA, MAXSOLD) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString UpdateLastMonth = QStringLiteral("UPDATE AbOm SET LUNAADD=? WHERE IDSERV=?");

QVariantList debitValues(const DebitRow &r)
{
    return {r.iddeb, r.idserv, r.idab, r.idcon, r.day, r.month, r.text, r.amount.toVariant(), r.amount.toVariant(),
            r.penalty.toVariant(), r.penaltyPer, r.penaltyDay, r.cap};
}

// Counts one more step towards an armed fault and throws when it is reached.
void maybeFail(int &fault)
{
    if (fault < 0)
        return;
    if (fault-- == 0)
        throw VestroniaError(QStringLiteral("Intrerupere simulata a debitarii."));
}

// Appends the rows and moves LUNAADD; the caller's transaction makes it one change.
void applyPlan(Database &db, const std::vector<DebitRow> &rows, const std::vector<std::pair<qint64, int>> &lastMonths,
               Progress *progress)
{
    if (!rows.empty()) {
        Statement insert = db.prepare(InsertDebit);
        qint64 previous = rows.front().idserv;
        for (const DebitRow &r : rows) {
            maybeFail(g_faultAppends);
            if (progress && r.idserv != previous) {
                progress->step();
                previous = r.idserv;
            }
            insert.exec(debitValues(r));
        }
        if (progress)
            progress->step();
    }
    if (!lastMonths.empty()) {
        Statement update = db.prepare(UpdateLastMonth);
        for (const auto &[idserv, month] : lastMonths) {
            maybeFail(g_faultUpdates);
            update.exec({month, idserv});
        }
    }
}

} // namespace

SubscriptionTerms SubscriptionTerms::fromRow(const ResultSet &rows, int row)
{
    SubscriptionTerms t;
    t.idserv = rows.integer(row, QStringLiteral("IDSERV"));
    t.idab = rows.integer(row, QStringLiteral("IDAB"));
    t.idcon = rows.integer(row, QStringLiteral("IDCON"));
    t.name = rows.text(row, QStringLiteral("DENUM"));
    t.amount = rows.money(row, QStringLiteral("RATA"));
    t.debitDay = int(rows.integer(row, QStringLiteral("ZIUAIMP")));
    t.periodMonths = std::max(1, int(rows.integer(row, QStringLiteral("PERLUNI"))));
    t.penalty = rows.money(row, QStringLiteral("PENAL"));
    t.penaltyPer = rows.text(row, QStringLiteral("PENALPE"));
    t.penaltyFrom = int(rows.integer(row, QStringLiteral("PENALDELA")));
    t.penaltyFromUnit = rows.text(row, QStringLiteral("PENALDELAP"));
    t.cap = rows.text(row, QStringLiteral("MAXSOLD"));
    t.start = int(rows.integer(row, QStringLiteral("DATASTART")));
    t.stop = int(rows.integer(row, QStringLiteral("DATASTOP")));
    t.lastMonth = int(rows.integer(row, QStringLiteral("LUNAADD")));
    return t;
}

DebitRow makeDebitRow(const SubscriptionTerms &terms, int day, int month)
{
    DebitRow r;
    r.idserv = terms.idserv;
    r.idab = terms.idab;
    r.idcon = terms.idcon;
    r.day = day;
    r.month = month;
    r.text = debitText(terms.name, month);
    r.amount = terms.amount;
    r.penalty = terms.penalty;
    r.penaltyPer = terms.penaltyPer;
    r.penaltyDay = penaltyStartDay(day, terms.penaltyFromUnit, terms.penaltyFrom);
    r.cap = terms.cap;
    return r;
}

DebitBatch::DebitBatch(Database &db, const Session &session) : m_db(db), m_session(session) {}

DebitBatch::~DebitBatch() = default;

void DebitBatch::add(const SubscriptionTerms &terms, int day, int month)
{
    m_rows.push_back(makeDebitRow(terms, day, month));
    const auto it = m_lastMonthIndex.constFind(terms.idserv);
    if (it == m_lastMonthIndex.constEnd()) {
        m_lastMonthIndex.insert(terms.idserv, qsizetype(m_lastMonth.size()));
        m_lastMonth.emplace_back(terms.idserv, month);
    } else {
        m_lastMonth[size_t(*it)].second = month;
    }
}

qint64 DebitBatch::write(Progress &progress)
{
    if (m_rows.empty())
        return 0;

    // Debits of one subscription stay together so progress can step per subscription.
    // The monthly run adds them so already; checking is cheaper than sorting.
    const auto bySubscription = [this](const DebitRow &a, const DebitRow &b) {
        return a.idserv != b.idserv && m_lastMonthIndex.value(a.idserv) < m_lastMonthIndex.value(b.idserv);
    };
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), bySubscription))
        std::stable_sort(m_rows.begin(), m_rows.end(), bySubscription);
    // The numbers, the debits and the new LUNAADD commit together or not at all; inside a
    // caller's transaction this is a part of it.
    Transaction tx(m_db);
    qint64 next = Counters::takeBlock(m_session.sharedSettings(), CounterKey, qint64(m_rows.size()));
    for (DebitRow &r : m_rows)
        r.iddeb = next++;
    applyPlan(m_db, m_rows, m_lastMonth, &progress);
    tx.commit();

    const qint64 last = m_rows.back().iddeb;
    m_rows.clear();
    m_lastMonth.clear();
    m_lastMonthIndex.clear();
    return last;
}

qsizetype DebitBatch::flushSize()
{
    return g_flushSize;
}

namespace DebitBatchTesting {
void armFault(int appends, int updates)
{
    g_faultAppends = appends;
    g_faultUpdates = updates;
}

void setFlushSize(qsizetype size)
{
    g_flushSize = size > 0 ? size : DefaultFlushSize;
}
} // namespace DebitBatchTesting

} // namespace vestronia
