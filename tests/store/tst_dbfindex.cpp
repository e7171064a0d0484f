// The equality index of a dbf column against a full scan of the same records, in both of its
// forms (bisection over an ordered numeric column, hash otherwise), through random adds,
// key changes, deletions, appends in and out of order, duplicates, blanks, -0 and texts; and
// the same through SQL with a second connection appending to the file.

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbfcodec.h"
#include "store/dbfindex.h"
#include "store/dbftable.h"

#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <map>
#include <random>
#include <string>

using namespace vestronia;
using dbf::Field;
using dbfimpl::EqIndex;

namespace {

constexpr std::uint32_t RecLen = 12; // delete flag, 10 bytes of field, one byte of another

Field numberField()
{
    Field f;
    f.name = "ID";
    f.type = 'N';
    f.length = 10;
    f.offset = 1;
    return f;
}

Field textField()
{
    Field f = numberField();
    f.name = "NUME";
    f.type = 'C';
    return f;
}

// Records in memory the way a snapshot holds them; the index is kept in step the way the
// module keeps it (remove before a change of the field, add after; a deletion only sets
// the flag; rows appended by another connection are added only when live).
class Table
{
public:
    explicit Table(const Field &f) : m_field(f) {}

    std::uint32_t count() const { return std::uint32_t(m_bytes.size() / RecLen); }
    const char *data() const { return m_bytes.data(); }
    char *record(std::uint32_t row) { return m_bytes.data() + size_t(row - 1) * RecLen; }
    bool live(std::uint32_t row) const { return m_bytes[size_t(row - 1) * RecLen] != dbf::DeletedFlag; }

    void appendRaw(const std::string &text, bool deleted = false)
    {
        std::string rec(RecLen, ' ');
        rec[0] = deleted ? dbf::DeletedFlag : ' ';
        setField(rec.data(), text);
        m_bytes += rec;
    }
    void setField(char *rec, const std::string &text) const
    {
        std::memset(rec + m_field.offset, ' ', size_t(m_field.length));
        const size_t n = std::min(text.size(), size_t(m_field.length));
        // Numbers right-aligned as dBase writes them, texts left-aligned.
        if (m_field.type == 'C')
            std::memcpy(rec + m_field.offset, text.data(), n);
        else
            std::memcpy(rec + m_field.offset + m_field.length - n, text.data(), n);
    }

    // What the index should answer for each number: live records whose field equals it.
    std::map<double, std::vector<std::uint32_t>> scanNumbers() const
    {
        std::map<double, std::vector<std::uint32_t>> out;
        for (std::uint32_t r = 1; r <= count(); ++r) {
            dbf::Key k;
            if (live(r) && dbf::fieldKey(m_field, data() + size_t(r - 1) * RecLen, k, "T.dbf", r) && !k.isText)
                out[k.number].push_back(r);
        }
        return out;
    }
    std::vector<std::uint32_t> scanText(std::string_view bytes) const
    {
        std::vector<std::uint32_t> out;
        for (std::uint32_t r = 1; r <= count(); ++r) {
            dbf::Key k;
            if (live(r) && dbf::fieldKey(m_field, data() + size_t(r - 1) * RecLen, k, "T.dbf", r) && k.isText &&
                k.bytes == bytes)
                out.push_back(r);
        }
        return out;
    }

private:
    Field m_field;
    std::string m_bytes;
};

// The index's answer with deleted records dropped, as a reader sees it; fails when the raw
// answer is not strictly ascending (a record listed twice would be read twice).
std::vector<std::uint32_t> liveOnly(const Table &t, const std::vector<std::uint32_t> &raw, bool &ascending)
{
    std::vector<std::uint32_t> out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (i > 0 && raw[i] <= raw[i - 1])
            ascending = false;
        if (raw[i] >= 1 && raw[i] <= t.count() && t.live(raw[i]))
            out.push_back(raw[i]);
    }
    return out;
}

// How a number may be written in a record: several spellings of the same value.
std::string spelling(long long v, std::mt19937 &rng)
{
    switch (rng() % 8) {
    case 0:
        return std::to_string(v) + ".0";
    case 1:
        return v == 0 ? std::string("-0") : std::to_string(v);
    case 2:
        return v >= 0 ? "+" + std::to_string(v) : std::to_string(v);
    case 3:
        return std::to_string(v) + ".00";
    default:
        return std::to_string(v);
    }
}

QList<qint64> rowids(const ResultSet &rs)
{
    QList<qint64> out;
    for (int r = 0; r < rs.rowCount(); ++r)
        out << rs.value(r, 0).toLongLong();
    return out;
}

} // namespace

class TestDbfIndex : public QObject
{
    Q_OBJECT

    // Every value in [lo, hi], plus -0 and a value between integers, through the index and
    // by a scan.
    static void compareNumbers(const Table &t, const EqIndex &idx, long long lo, long long hi, const char *when)
    {
        std::vector<double> values{-0.0, 0.5};
        for (long long v = lo; v <= hi; ++v)
            values.push_back(double(v));
        const std::map<double, std::vector<std::uint32_t>> scan = t.scanNumbers();
        for (double v : values) {
            std::vector<std::uint32_t> raw;
            idx.findNumber(v, t.data(), RecLen, raw);
            bool ascending = true;
            const std::vector<std::uint32_t> got = liveOnly(t, raw, ascending);
            const auto it = scan.find(v);
            const std::vector<std::uint32_t> want = it == scan.end() ? std::vector<std::uint32_t>{} : it->second;
            QVERIFY2(ascending, qPrintable(QStringLiteral("%1: value %2 listed out of order").arg(QLatin1String(when)).arg(v)));
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(got == want, qPrintable(QStringLiteral("%1: value %2: %3 records, scan %4")
                                                 .arg(QLatin1String(when))
                                                 .arg(v)
                                                 .arg(got.size())
                                                 .arg(want.size())));
        }
    }

    // Random work on an index built over `t`: appends (mostly next in order, some out of
    // order, duplicates, blanks, deleted), key changes, deletions, appends by another
    // connection. Compares with a scan after every batch.
    static void churn(Table &t, EqIndex &idx, std::mt19937 &rng, long long &top, int steps, int outOfOrderPercent)
    {
        const Field f = numberField();
        for (int step = 0; step < steps; ++step) {
            const unsigned op = rng() % 100;
            if (op < 35) { // our own append
                long long v = ++top;
                if (int(rng() % 100) < outOfOrderPercent)
                    v = (long long)(rng() % std::uint64_t(top + 1)) - 2;
                else if (rng() % 10 == 0)
                    v = --top; // a duplicate of the last one
                if (rng() % 40 == 0)
                    t.appendRaw(std::string());
                else
                    t.appendRaw(spelling(v, rng));
                idx.add(t.data(), RecLen, t.count());
            } else if (op < 45) { // another connection appends a run; deleted ones are not added
                const int n = 1 + int(rng() % 6);
                const std::uint32_t first = t.count() + 1;
                for (int i = 0; i < n; ++i) {
                    if (rng() % 4 == 0) // deleted there, maybe out of order: placed, never added
                        t.appendRaw(rng() % 2 ? std::to_string(rng() % 5) : std::string(), true);
                    else
                        t.appendRaw(spelling(++top, rng));
                }
                for (std::uint32_t r = first; r <= t.count(); ++r)
                    if (t.live(r))
                        idx.add(t.data(), RecLen, r);
            } else if (op < 75 && t.count() > 0) { // a key changes
                const std::uint32_t row = 1 + std::uint32_t(rng() % t.count());
                if (!t.live(row))
                    continue;
                const long long v = rng() % 3 == 0 ? top - 1 + (long long)(rng() % 3) : (long long)(rng() % std::uint64_t(top + 3)) - 2;
                idx.remove(t.data(), RecLen, row);
                t.setField(t.record(row), rng() % 30 == 0 ? std::string() : spelling(v, rng));
                idx.add(t.data(), RecLen, row);
            } else if (op < 85 && t.count() > 0) { // a change that goes back to the old value
                const std::uint32_t row = 1 + std::uint32_t(rng() % t.count());
                if (!t.live(row))
                    continue;
                const std::string old(t.record(row) + f.offset, size_t(f.length));
                idx.remove(t.data(), RecLen, row);
                t.setField(t.record(row), std::to_string(rng() % 7));
                idx.add(t.data(), RecLen, row);
                idx.remove(t.data(), RecLen, row);
                std::memcpy(t.record(row) + f.offset, old.data(), old.size());
                idx.add(t.data(), RecLen, row);
            } else if (t.count() > 0) { // a deletion: only the flag
                *t.record(1 + std::uint32_t(rng() % t.count())) = dbf::DeletedFlag;
            }
            if (step % 50 == 49)
                compareNumbers(t, idx, -3, top + 3, "churn");
            if (QTest::currentTestFailed())
                return;
        }
        compareNumbers(t, idx, -3, top + 3, "end of churn");
    }

private Q_SLOTS:
    void orderedColumnIsBisectedAndStaysExact()
    {
        for (unsigned seed : {1u, 2u, 3u, 4u}) {
            std::mt19937 rng(seed);
            Table t(numberField());
            long long top = 0;
            // Identifiers in record order, with a few out of order, duplicates, blanks,
            // -0, other spellings of the same number and deleted records among them.
            for (int i = 0; i < 3000; ++i) {
                const unsigned r = rng() % 200;
                if (r == 0)
                    t.appendRaw(std::string());
                else if (r == 1)
                    t.appendRaw(std::to_string(rng() % 50));
                else if (r == 2)
                    t.appendRaw(std::to_string(top)); // duplicate
                else
                    t.appendRaw(spelling(++top, rng), rng() % 25 == 0);
            }
            EqIndex idx(numberField(), "T.dbf");
            idx.build(t.data(), RecLen, t.count());
            QVERIFY(idx.ordered());
            compareNumbers(t, idx, -3, top + 3, "built");
            churn(t, idx, rng, top, 1500, 3);
        }
    }

    void unorderedColumnUsesTheHash()
    {
        std::mt19937 rng(5);
        Table t(numberField());
        long long top = 400;
        for (int i = 0; i < 3000; ++i)
            t.appendRaw(spelling((long long)(rng() % 400) - 5, rng), rng() % 20 == 0);
        EqIndex idx(numberField(), "T.dbf");
        idx.build(t.data(), RecLen, t.count());
        QVERIFY(!idx.ordered());
        compareNumbers(t, idx, -6, top + 3, "built");
        churn(t, idx, rng, top, 1500, 30);
    }

    void orderedIndexTurnsToHashWhenAppendsComeAtRandom()
    {
        std::mt19937 rng(6);
        Table t(numberField());
        EqIndex idx(numberField(), "T.dbf");
        idx.build(t.data(), RecLen, 0); // an empty work table is ordered
        QVERIFY(idx.ordered());
        long long top = 0;
        for (int i = 0; i < 12000; ++i) {
            t.appendRaw(std::to_string(rng() % 3000));
            idx.add(t.data(), RecLen, t.count());
        }
        top = 3000;
        QVERIFY(!idx.ordered());
        compareNumbers(t, idx, -1, top, "after random appends");
        churn(t, idx, rng, top, 600, 50);
    }

    void emptyAndBlankColumns()
    {
        Table t(numberField());
        for (int i = 0; i < 100; ++i)
            t.appendRaw(std::string());
        t.appendRaw("7");
        EqIndex idx(numberField(), "T.dbf");
        idx.build(t.data(), RecLen, t.count());
        compareNumbers(t, idx, -1, 8, "blanks");
        std::mt19937 rng(8);
        long long top = 7;
        churn(t, idx, rng, top, 400, 5);
    }

    void textColumnMatchesByBytes()
    {
        std::mt19937 rng(9);
        const Field f = textField();
        Table t(f);
        for (int i = 0; i < 2000; ++i)
            t.appendRaw(rng() % 30 == 0 ? std::string() : "T" + std::to_string(i / 3), rng() % 15 == 0);
        EqIndex idx(f, "T.dbf");
        idx.build(t.data(), RecLen, t.count());
        QVERIFY(!idx.ordered());
        auto compare = [&] {
            for (int k = 0; k < 700; k += 3) {
                const std::string key = "T" + std::to_string(k);
                std::vector<std::uint32_t> raw;
                idx.findText(key, t.data(), RecLen, raw);
                bool ascending = true;
                QVERIFY(liveOnly(t, raw, ascending) == t.scanText(key));
                QVERIFY(ascending);
            }
        };
        compare();
        for (int i = 0; i < 800; ++i) {
            const std::uint32_t row = 1 + std::uint32_t(rng() % t.count());
            idx.remove(t.data(), RecLen, row);
            t.setField(t.record(row), "T" + std::to_string(rng() % 700));
            idx.add(t.data(), RecLen, row);
        }
        compare();
    }

    // The same through SQL: an identifier column in record order, its index built, then
    // another connection appending (in and out of order), our updates, deletions and a
    // rolled-back transaction.
    void sqlLookupsMatchAScan()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, QList<DbfColumn>{{QStringLiteral("IDDEB"), 'N', 10, 0},
                                                   {QStringLiteral("IDAB"), 'N', 10, 0},
                                                   {QStringLiteral("SOLD"), 'N', 10, 2}}));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        Database other(QString{});
        other.attach(QStringLiteral("W"), path);
        std::mt19937 rng(12);
        {
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO W VALUES (?, ?, 1)"));
            for (int i = 1; i <= 4000; ++i)
                ins.exec({i, int(rng() % 300)});
            tx.commit();
        }
        int top = 4000;
        auto compare = [&](const char *when) {
            for (int k = -1; k <= top + 2; k += (k < 50 || k > top - 50) ? 1 : 37) {
                const QList<qint64> indexed =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM W WHERE IDDEB=? ORDER BY rowid"), {k}));
                const QList<qint64> scanned =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM W WHERE coalesce(IDDEB=?, 0) ORDER BY rowid"), {k}));
                QVERIFY2(indexed == scanned, qPrintable(QStringLiteral("%1: IDDEB %2").arg(QLatin1String(when)).arg(k)));
            }
        };
        compare("built");
        other.exec(QStringLiteral("INSERT INTO W VALUES (?, 1, 0), (?, 1, 0), (5, 1, 0), (?, 1, 0)"), {top + 1, top + 2, top + 2});
        other.exec(QStringLiteral("DELETE FROM W WHERE IDDEB=?"), {top + 1});
        top += 2;
        compare("after another connection appended");
        db.exec(QStringLiteral("UPDATE W SET IDDEB=? WHERE IDDEB=10"), {top + 5});
        db.exec(QStringLiteral("UPDATE W SET IDDEB=11 WHERE IDDEB=12"));
        db.exec(QStringLiteral("UPDATE W SET IDDEB=-0.0 WHERE IDDEB=13"));
        db.exec(QStringLiteral("DELETE FROM W WHERE IDDEB IN (20, 21, 22)"));
        db.exec(QStringLiteral("INSERT INTO W VALUES (?, 2, 0), (3, 2, 0)"), {top + 1});
        top += 5;
        compare("after our changes");
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE W SET IDDEB=IDDEB+1 WHERE IDDEB BETWEEN 30 AND 60"));
            db.exec(QStringLiteral("INSERT INTO W VALUES (1, 3, 0)"));
            compare("inside a transaction");
        }
        compare("after a rollback");
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDDEB=0")).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDDEB=11")).toInt(), 2);
    }

    // In a shared data folder another workstation's commits reach a built index as appended
    // records (listed one by one, deleted ones skipped) or as rewritten ones.
    void sqlLookupsFollowAnotherWorkstation()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        const TableDef &debite = tableDef(TableId::Debite);
        QVERIFY(createTable(folder + QLatin1Char('/') + QLatin1String(debite.fileName), debite.columns));
        Database db(folder);
        Database other(folder);
        {
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, DENUM, RATA, SOLD) VALUES (?, ?, 'D', 10, 5)"));
            for (int i = 1; i <= 3000; ++i)
                ins.exec({i, i % 97});
            tx.commit();
        }
        int top = 3000;
        auto compare = [&](const char *when) {
            for (int k = -1; k <= top + 2; k += (k < 30 || k > top - 60) ? 1 : 29) {
                const QList<qint64> indexed =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=? ORDER BY rowid"), {k}));
                const QList<qint64> scanned = rowids(
                    db.select(QStringLiteral("SELECT rowid FROM Debite WHERE coalesce(IDDEB=?, 0) ORDER BY rowid"), {k}));
                QVERIFY2(indexed == scanned, qPrintable(QStringLiteral("%1: IDDEB %2").arg(QLatin1String(when)).arg(k)));
            }
        };
        compare("built");
        std::mt19937 rng(14);
        for (int round = 0; round < 6; ++round) {
            {
                Transaction tx(other);
                Statement ins =
                    other.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, DENUM, RATA, SOLD) VALUES (?, 1, 'D', 10, 5)"));
                for (int i = 0; i < 40; ++i)
                    ins.exec({rng() % 8 == 0 ? int(rng() % 50) : ++top});
                other.exec(QStringLiteral("DELETE FROM Debite WHERE rowid=?"), {3000 + round * 40 + 1 + int(rng() % 40)});
                tx.commit();
            }
            compare("after appends elsewhere");
            other.exec(QStringLiteral("UPDATE Debite SET IDDEB=? WHERE IDDEB=?"), {int(rng() % 60), 100 + round});
            compare("after a change elsewhere");
            db.exec(QStringLiteral("UPDATE Debite SET IDDEB=? WHERE IDDEB=?"), {top + 1, 200 + round});
            ++top;
            compare("after our change");
        }
    }
};

QTEST_GUILESS_MAIN(TestDbfIndex)
#include "tst_dbfindex.moc"
