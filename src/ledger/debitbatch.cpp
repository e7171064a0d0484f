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
#include <optional>
#include <span>

namespace vestronia {

namespace {

const QString CounterKey = QStringLiteral("IDDEB");
int g_faultAppends = -1;
int g_faultUpdates = -1;
constexpr qsizetype DefaultFlushSize = 200000;
qsizetype g_flushSize = DefaultFlushSize;

const QString UpdateLastMonth = QStringLiteral("UPDATE AbOm SET LUNAADD=? WHERE IDSERV=?");
constexpr int DebitColumns = 13;
// Debits go in by statements of this many rows: a statement per row would pay SQLite's
// work per statement (its start, its savepoint, its end) once for every debit.
constexpr size_t RowsPerInsert = 64;

QString insertDebits(size_t rows)
{
    QString sql = QStringLiteral(
        "INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
        "PENALDATA, MAXSOLD) VALUES ");
    for (size_t i = 0; i < rows; ++i)
        sql += i ? QStringLiteral(", (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                 : QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    return sql;
}

// The parameters of one debit, in the order of insertDebits; texts refer to the row.
void appendParams(std::vector<SqlParam> &params, const DebitRow &r)
{
    params.insert(params.end(), {r.iddeb, r.idserv, r.idab, r.idcon, r.day, r.month, SqlParam(r.text), r.amount,
                                 r.amount, r.penalty, SqlParam(r.penaltyPer), r.penaltyDay, SqlParam(r.cap)});
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
        Statement one = db.prepare(insertDebits(1));
        std::optional<Statement> many;
        if (rows.size() >= RowsPerInsert)
            many.emplace(db.prepare(insertDebits(RowsPerInsert)));
        std::vector<SqlParam> params;
        params.reserve(RowsPerInsert * DebitColumns);
        // Rows gathered for a statement of many are appended one by one when the batch
        // ends short of a whole statement, or when an armed fault fires: the fault comes
        // after exactly the debits it was armed for.
        const auto appendPending = [&] {
            for (size_t at = 0; at < params.size(); at += DebitColumns)
                one.execTyped(std::span<const SqlParam>(params.data() + at, DebitColumns));
            params.clear();
        };
        qint64 previous = rows.front().idserv;
        for (const DebitRow &r : rows) {
            try {
                maybeFail(g_faultAppends);
            } catch (...) {
                appendPending();
                throw;
            }
            if (progress && r.idserv != previous) {
                progress->step();
                previous = r.idserv;
            }
            appendParams(params, r);
            if (many && params.size() == RowsPerInsert * DebitColumns) {
                many->execTyped(params);
                params.clear();
            }
        }
        appendPending();
        if (progress)
            progress->step();
    }
    if (!lastMonths.empty()) {
        Statement update = db.prepare(UpdateLastMonth);
        for (const auto &[idserv, month] : lastMonths) {
            maybeFail(g_faultUpdates);
            update.execTyped({month, idserv});
        }
    }
}

} // namespace

SubscriptionColumns::SubscriptionColumns(const ResultSet &rows)
    : idserv(rows.columnIndex(QStringLiteral("IDSERV"))), idab(rows.columnIndex(QStringLiteral("IDAB"))),
      idcon(rows.columnIndex(QStringLiteral("IDCON"))), name(rows.columnIndex(QStringLiteral("DENUM"))),
      amount(rows.columnIndex(QStringLiteral("RATA"))), debitDay(rows.columnIndex(QStringLiteral("ZIUAIMP"))),
      periodMonths(rows.columnIndex(QStringLiteral("PERLUNI"))), penalty(rows.columnIndex(QStringLiteral("PENAL"))),
      penaltyPer(rows.columnIndex(QStringLiteral("PENALPE"))),
      penaltyFrom(rows.columnIndex(QStringLiteral("PENALDELA"))),
      penaltyFromUnit(rows.columnIndex(QStringLiteral("PENALDELAP"))),
      cap(rows.columnIndex(QStringLiteral("MAXSOLD"))), start(rows.columnIndex(QStringLiteral("DATASTART"))),
      stop(rows.columnIndex(QStringLiteral("DATASTOP"))), lastMonth(rows.columnIndex(QStringLiteral("LUNAADD")))
{
}

SubscriptionTerms SubscriptionTerms::fromRow(const ResultSet &rows, int row)
{
    return fromRow(rows, row, SubscriptionColumns(rows));
}

SubscriptionTerms SubscriptionTerms::fromRow(const ResultSet &rows, int row, const SubscriptionColumns &c)
{
    SubscriptionTerms t;
    t.idserv = rows.integer(row, c.idserv);
    t.idab = rows.integer(row, c.idab);
    t.idcon = rows.integer(row, c.idcon);
    t.name = rows.text(row, c.name);
    t.amount = rows.money(row, c.amount);
    t.debitDay = int(rows.integer(row, c.debitDay));
    t.periodMonths = std::max(1, int(rows.integer(row, c.periodMonths)));
    t.penalty = rows.money(row, c.penalty);
    t.penaltyPer = rows.text(row, c.penaltyPer);
    t.penaltyFrom = int(rows.integer(row, c.penaltyFrom));
    t.penaltyFromUnit = rows.text(row, c.penaltyFromUnit);
    t.cap = rows.text(row, c.cap);
    t.start = int(rows.integer(row, c.start));
    t.stop = int(rows.integer(row, c.stop));
    t.lastMonth = int(rows.integer(row, c.lastMonth));
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
