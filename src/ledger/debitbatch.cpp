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
const QByteArray JournalHeader = QByteArrayLiteral("VESTRONIA DEBITARE 1");
// A plan of ten years of a large commune stays far below this.
constexpr qint64 MaxJournalSize = 512LL * 1024 * 1024;

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

VestroniaError journalError(const QString &path, const QString &why)
{
    return VestroniaError(QStringLiteral("Jurnalul debitarii %1 este deteriorat (%2). Debitele nu au fost completate; "
                                         "mutati fisierul si porniti din nou programul.")
                              .arg(path, why));
}

QByteArray encodeText(const QString &text)
{
    return text.toUtf8().toPercentEncoding();
}

QString decodeText(const QByteArray &field)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

struct Journal
{
    std::vector<DebitRow> rows;
    std::vector<std::pair<qint64, int>> lastMonths;
    qint64 nextFree = 0; // counter value once the plan is written
};

// D <iddeb> <idserv> <idab> <idcon> <day> <month> <rata units> <penal units> <penaltyDay> <penalpe> <maxsold> <denum>
// L <idserv> <lunaadd>
QByteArray encodeJournal(const Journal &j)
{
    QByteArray out;
    out.reserve(qsizetype(j.rows.size()) * 96 + qsizetype(j.lastMonths.size()) * 24 + 64);
    out += JournalHeader + '\n';
    out += "N\t" + QByteArray::number(j.nextFree) + '\n';
    for (const DebitRow &r : j.rows) {
        out += "D\t";
        out += QByteArray::number(r.iddeb) + '\t' + QByteArray::number(r.idserv) + '\t' + QByteArray::number(r.idab) + '\t'
            + QByteArray::number(r.idcon) + '\t' + QByteArray::number(r.day) + '\t' + QByteArray::number(r.month) + '\t'
            + QByteArray::number(r.amount.units()) + '\t' + QByteArray::number(r.penalty.units()) + '\t'
            + QByteArray::number(r.penaltyDay) + '\t' + encodeText(r.penaltyPer) + '\t' + encodeText(r.cap) + '\t'
            + encodeText(r.text) + '\n';
    }
    for (const auto &[idserv, month] : j.lastMonths)
        out += "L\t" + QByteArray::number(idserv) + '\t' + QByteArray::number(month) + '\n';
    out += "END\n";
    return out;
}

Journal decodeJournal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Jurnalul debitarii %1 nu poate fi citit: %2").arg(path, file.errorString()));
    if (file.size() > MaxJournalSize)
        throw journalError(path, QStringLiteral("prea mare"));
    const QByteArray data = file.readAll();
    const QList<QByteArray> lines = data.split('\n');
    if (lines.isEmpty() || lines.first() != JournalHeader)
        throw journalError(path, QStringLiteral("antet necunoscut"));

    Journal j;
    bool ended = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        if (ended)
            throw journalError(path, QStringLiteral("date dupa sfarsit"));
        const QList<QByteArray> f = line.split('\t');
        bool ok = true;
        auto num = [&ok](const QByteArray &s) {
            bool good = false;
            const qint64 v = s.toLongLong(&good);
            ok = ok && good;
            return v;
        };
        auto small = [&ok, &num](const QByteArray &s) {
            const qint64 v = num(s);
            ok = ok && v >= INT_MIN && v <= INT_MAX;
            return int(v);
        };
        if (f[0] == "END" && f.size() == 1) {
            ended = true;
        } else if (f[0] == "N" && f.size() == 2) {
            j.nextFree = num(f[1]);
        } else if (f[0] == "D" && f.size() == 13) {
            DebitRow r;
            r.iddeb = num(f[1]);
            r.idserv = num(f[2]);
            r.idab = num(f[3]);
            r.idcon = num(f[4]);
            r.day = small(f[5]);
            r.month = small(f[6]);
            r.amount = Money::fromUnits(num(f[7]));
            r.penalty = Money::fromUnits(num(f[8]));
            r.penaltyDay = small(f[9]);
            r.penaltyPer = decodeText(f[10]);
            r.cap = decodeText(f[11]);
            r.text = decodeText(f[12]);
            j.rows.push_back(std::move(r));
        } else if (f[0] == "L" && f.size() == 3) {
            j.lastMonths.emplace_back(num(f[1]), small(f[2]));
        } else {
            ok = false;
        }
        if (!ok)
            throw journalError(path, QStringLiteral("linia %1").arg(i + 1));
    }
    // Without its last line the file was never completely written, so the batch it
    // describes never started appending.
    if (!ended)
        throw journalError(path, QStringLiteral("incomplet"));
    return j;
}

void writeJournal(const QString &path, const Journal &j)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeJournal(j)) < 0 || !file.commit())
        throw FileError(QStringLiteral("Jurnalul debitarii %1 nu poate fi scris: %2").arg(path, file.errorString()));
}

void removeJournal(const QString &path)
{
    if (QFile::exists(path) && !QFile::remove(path))
        throw FileError(QStringLiteral("Jurnalul debitarii %1 nu poate fi sters.").arg(path));
}

// Counts one more step towards an armed fault and throws when it is reached.
void maybeFail(int &fault)
{
    if (fault < 0)
        return;
    if (fault-- == 0)
        throw VestroniaError(QStringLiteral("Intrerupere simulata a debitarii."));
}

// Appends the rows and moves LUNAADD, each group in its own transaction: the debits are
// in the table before any LUNAADD says they are.
void applyPlan(Database &db, const std::vector<DebitRow> &rows, const std::vector<std::pair<qint64, int>> &lastMonths,
               Progress *progress)
{
    if (!rows.empty()) {
        Transaction tx(db);
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
        tx.commit();
    }
    if (!lastMonths.empty()) {
        Transaction tx(db);
        Statement update = db.prepare(UpdateLastMonth);
        for (const auto &[idserv, month] : lastMonths) {
            maybeFail(g_faultUpdates);
            update.exec({month, idserv});
        }
        tx.commit();
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

QString debitJournalPath(const Session &session)
{
    return session.dataFolder + QStringLiteral("/Debitare.jrn");
}

QString debitLockPath(const Session &session)
{
    return session.dataFolder + QStringLiteral("/Debitare.lck");
}

int completeInterruptedDebiting(Database &db, const Session &session)
{
    const QString path = debitJournalPath(session);
    if (!QFile::exists(path))
        return 0;
    Journal j = decodeJournal(path);

    // Which planned debits are already in the table: same IDDEB, same subscription and
    // month. A number that meanwhile went to another debit gets the planned row a new one.
    QSet<qint64> written;
    QSet<qint64> takenByOthers;
    if (!j.rows.empty()) {
        qint64 lo = j.rows.front().iddeb, hi = lo;
        for (const DebitRow &r : j.rows) {
            lo = std::min(lo, r.iddeb);
            hi = std::max(hi, r.iddeb);
        }
        QHash<qint64, const DebitRow *> planned;
        planned.reserve(qsizetype(j.rows.size()));
        for (const DebitRow &r : j.rows)
            planned.insert(r.iddeb, &r);
        const ResultSet existing = db.select(
            QStringLiteral("SELECT IDDEB, IDSERV, LUNADEB FROM Debite WHERE IDDEB>=? AND IDDEB<=?"), {lo, hi});
        for (int i = 0; i < existing.rowCount(); ++i) {
            const qint64 id = existing.integer(i, QStringLiteral("IDDEB"));
            const DebitRow *p = planned.value(id);
            if (!p)
                continue;
            if (p->idserv == existing.integer(i, QStringLiteral("IDSERV"))
                && p->month == existing.integer(i, QStringLiteral("LUNADEB")))
                written.insert(id);
            else
                takenByOthers.insert(id);
        }
    }

    const qint64 maxInTable = db.scalar(QStringLiteral("SELECT MAX(IDDEB) FROM Debite")).toLongLong();
    qint64 next = std::max({Counters::peek(session.sharedSettings(), CounterKey), j.nextFree, maxInTable + 1});
    // A subscription deleted since (with its subscriber or account) gets no debits back.
    QSet<qint64> subscriptions;
    const ResultSet existingSubscriptions = db.select(QStringLiteral("SELECT IDSERV FROM AbOm"));
    for (int i = 0; i < existingSubscriptions.rowCount(); ++i)
        subscriptions.insert(existingSubscriptions.value(i, 0).toLongLong());
    std::vector<DebitRow> missing;
    for (DebitRow &r : j.rows) {
        if (written.contains(r.iddeb) || !subscriptions.contains(r.idserv))
            continue;
        if (takenByOthers.contains(r.iddeb))
            r.iddeb = next++;
        missing.push_back(r);
    }
    Counters::set(session.sharedSettings(), CounterKey, next);

    // LUNAADD only ever moves forward here: a later batch may already have moved it.
    std::vector<std::pair<qint64, int>> moves;
    for (const auto &[idserv, month] : j.lastMonths) {
        const ResultSet cur = db.select(QStringLiteral("SELECT LUNAADD FROM AbOm WHERE IDSERV=?"), {idserv});
        if (!cur.isEmpty() && cur.integer(0, QStringLiteral("LUNAADD")) < month)
            moves.emplace_back(idserv, month);
    }
    applyPlan(db, missing, moves, nullptr);
    removeJournal(path);
    return int(missing.size());
}

DebitBatch::DebitBatch(Database &db, const Session &session) : m_db(db), m_session(session) {}

DebitBatch::~DebitBatch() = default;

bool DebitBatch::open(int timeoutMs)
{
    m_lock = std::make_unique<QLockFile>(debitLockPath(m_session));
    // A long batch on a slow network folder must not be taken for a dead one.
    m_lock->setStaleLockTime(15 * 60 * 1000);
    if (!m_lock->tryLock(timeoutMs)) {
        m_lock.reset();
        return false;
    }
    m_completed = completeInterruptedDebiting(m_db, m_session);
    return true;
}

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
    if (!m_lock)
        throw VestroniaError(QStringLiteral("Debitarea a inceput fara blocarea folderului de date."));
    if (m_rows.empty())
        return 0;

    // Debits of one subscription stay together so progress can step per subscription.
    std::stable_sort(m_rows.begin(), m_rows.end(), [this](const DebitRow &a, const DebitRow &b) {
        return m_lastMonthIndex.value(a.idserv) < m_lastMonthIndex.value(b.idserv);
    });
    Journal j;
    // The block is reserved first: a crash before the plan is written only leaves a gap.
    qint64 next = Counters::takeBlock(m_session.sharedSettings(), CounterKey, qint64(m_rows.size()));
    for (DebitRow &r : m_rows)
        r.iddeb = next++;
    j.nextFree = next;
    j.rows = m_rows;
    j.lastMonths = m_lastMonth;

    const QString path = debitJournalPath(m_session);
    writeJournal(path, j);
    applyPlan(m_db, m_rows, m_lastMonth, &progress);
    removeJournal(path);

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
