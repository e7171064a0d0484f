// The "dbf" SQLite module: equality indexes against full scans, snapshots noticing
// changes made behind their back, statement rollback inside a transaction, locks of
// other descriptors, damaged and foreign files reached through SQL.

#include "core/tablecatalogue.h"
#include "core/text.h"
#include "store/database.h"
#include "store/dbflock.h"
#include "store/dbftable.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace vestronia;

namespace {

QList<qint64> column(const ResultSet &rs, int c = 0)
{
    QList<qint64> out;
    for (int r = 0; r < rs.rowCount(); ++r)
        out << rs.value(r, c).toLongLong();
    return out;
}

void patchFile(const QString &path, qint64 at, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QList<DbfColumn> &workColumns()
{
    static const QList<DbfColumn> cols = {{QStringLiteral("IDAB"), 'N', 10, 0},
                                          {QStringLiteral("NUME"), 'C', 20, 0},
                                          {QStringLiteral("SOLD"), 'N', 10, 2}};
    return cols;
}

} // namespace

class TestDbfVtab : public QObject
{
    Q_OBJECT

    // Rows whose column equals the value, once through the index and once by a scan (a
    // comparison inside a function is not offered to the module, but keeps the column's
    // affinity).
    void compareIndexWithScan(Database &db, const QString &col, const QVariant &value)
    {
        const QList<qint64> indexed =
            column(db.select(QStringLiteral("SELECT rowid FROM W WHERE %1=? ORDER BY rowid").arg(col), {value}));
        const QList<qint64> scanned =
            column(db.select(QStringLiteral("SELECT rowid FROM W WHERE coalesce(%1=?, 0) ORDER BY rowid").arg(col), {value}));
        QCOMPARE(indexed, scanned);
    }

private Q_SLOTS:
    void init() { dbflock::setWaitMilliseconds(150); }

    void indexReturnsWhatAScanReturns()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        std::mt19937 rng(7);
        {
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO W VALUES (?, ?, ?)"));
            for (int i = 0; i < 3000; ++i)
                ins.exec({int(rng() % 200), QStringLiteral("N%1").arg(rng() % 50), double(rng() % 40) / 4});
            tx.commit();
        }
        const QString plan =
            db.select(QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM W WHERE IDAB=?"), {1}).text(0, QStringLiteral("detail"));
        QVERIFY2(!plan.contains(QStringLiteral("INDEX 0:")), qPrintable(plan));

        auto compareAll = [&] {
            for (int k : {0, 1, 17, 199, 500})
                compareIndexWithScan(db, QStringLiteral("IDAB"), k);
            compareIndexWithScan(db, QStringLiteral("IDAB"), QStringLiteral("17"));
            compareIndexWithScan(db, QStringLiteral("IDAB"), 17.0);
            compareIndexWithScan(db, QStringLiteral("NUME"), QStringLiteral("N3"));
            compareIndexWithScan(db, QStringLiteral("NUME"), QStringLiteral("N3 "));
            compareIndexWithScan(db, QStringLiteral("SOLD"), 2.5);
            compareIndexWithScan(db, QStringLiteral("SOLD"), 0);
            const QList<qint64> in = column(db.select(
                QStringLiteral("SELECT rowid FROM W WHERE IDAB IN (3, 5, 8) ORDER BY rowid")));
            const QList<qint64> inScan = column(db.select(
                QStringLiteral("SELECT rowid FROM W WHERE coalesce(IDAB IN (3, 5, 8), 0) ORDER BY rowid")));
            QCOMPARE(in, inScan);
            QVERIFY(!in.isEmpty());
        };
        compareAll();
        // Our own appends, updates and deletes keep the built indexes right.
        db.exec(QStringLiteral("INSERT INTO W VALUES (17, 'N3', 2.5)"));
        db.exec(QStringLiteral("UPDATE W SET IDAB=1, NUME='N3' WHERE IDAB=0"));
        db.exec(QStringLiteral("UPDATE W SET SOLD=0 WHERE rowid IN (5, 6, 7)"));
        db.exec(QStringLiteral("DELETE FROM W WHERE IDAB=199"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDAB=0")).toInt(), 0);
        compareAll();
        // So does a rolled-back transaction.
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE W SET IDAB=17 WHERE IDAB=5"));
            db.exec(QStringLiteral("INSERT INTO W VALUES (5, 'x', 1)"));
        }
        compareAll();
        // And a change by another connection.
        Database other(QString{});
        other.attach(QStringLiteral("W"), path);
        other.exec(QStringLiteral("UPDATE W SET IDAB=17 WHERE IDAB=8"));
        compareAll();
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDAB=8")).toInt(), 0);
    }

    void indexSurvivesValuesMovingAround()
    {
        // Rows move between many values, emptying and refilling slots of the hash table.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        std::mt19937 rng(11);
        {
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO W VALUES (?, ?, 0)"));
            for (int i = 0; i < 400; ++i)
                ins.exec({int(rng() % 1000), QStringLiteral("T%1").arg(rng() % 300)});
            tx.commit();
        }
        db.select(QStringLiteral("SELECT 1 FROM W WHERE IDAB=1"));
        db.select(QStringLiteral("SELECT 1 FROM W WHERE NUME='T1'"));
        Statement moveId = db.prepare(QStringLiteral("UPDATE W SET IDAB=? WHERE rowid=?"));
        Statement moveName = db.prepare(QStringLiteral("UPDATE W SET NUME=? WHERE rowid=?"));
        for (int step = 0; step < 600; ++step) {
            moveId.exec({int(rng() % 1000), int(rng() % 400) + 1});
            moveName.exec({QStringLiteral("T%1").arg(rng() % 300), int(rng() % 400) + 1});
            if (step % 100 == 99) {
                for (int k = 0; k < 1000; k += 7)
                    compareIndexWithScan(db, QStringLiteral("IDAB"), k);
                for (int k = 0; k < 300; k += 5)
                    compareIndexWithScan(db, QStringLiteral("NUME"), QStringLiteral("T%1").arg(k));
            }
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDAB IN (SELECT IDAB FROM W)")).toInt(), 400);
    }

    void rowidIsTheRecordNumber()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        db.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (10), (20), (30)"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT IDAB FROM W WHERE rowid=?"), {2}).toInt(), 20);
        db.exec(QStringLiteral("DELETE FROM W WHERE rowid=2"));
        QVERIFY(!db.scalar(QStringLiteral("SELECT IDAB FROM W WHERE rowid=2")).isValid());
        QCOMPARE(db.exec(QStringLiteral("UPDATE W SET IDAB=5 WHERE rowid=2")), 0);
        QVERIFY_THROWS_EXCEPTION(SqlError, db.exec(QStringLiteral("UPDATE W SET rowid=9 WHERE rowid=1")));
        // The record stays on disk with its delete flag until packing.
        const QByteArray bytes = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        QCOMPARE(bytes[32 + 3 * 32 + 1 + 41], '*');
    }

    void changesBehindTheSnapshotAreSeen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        db.exec(QStringLiteral("INSERT INTO W (IDAB, NUME) VALUES (1, 'a'), (2, 'b'), (3, 'c')"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDAB=2")).toInt(), 1);
        // Another program marks record 2 deleted: same size, same count. Only the time of
        // the change tells, and a network share may keep whole seconds only.
        patchFile(path, 32 + 3 * 32 + 1 + 41, "*");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W")).toInt(), 2);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE IDAB=2")).toInt(), 0);
        // Another program replaces the file by a copy with other values (new identity).
        const QString copy = dir.filePath(QStringLiteral("copy.dbf"));
        QVERIFY(QFile::copy(path, copy));
        patchFile(copy, 32 + 3 * 32 + 1 + 1, "         9");
        QVERIFY(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) == 0);
        QCOMPARE(db.scalar(QStringLiteral("SELECT IDAB FROM W WHERE rowid=1")).toInt(), 9);
        // refresh() drops what was read, also when nothing could tell.
        db.refresh();
        QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(IDAB) FROM W")).toInt(), 12);
    }

    void commaBelowLettersAreStoredAndFoundAsCodePageLetters()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        // What a keyboard types today (comma below) and what code page 1250 has (cedilla).
        const QString typed = QString::fromUtf8("\u0218tefan \u021Au\u021Bu \u0219i");
        const QString stored = QString::fromUtf8("\u015Etefan \u0162u\u0163u \u015Fi");
        db.exec(QStringLiteral("INSERT INTO W (IDAB, NUME) VALUES (1, ?)"), {typed});
        QCOMPARE(db.scalar(QStringLiteral("SELECT NUME FROM W")).toString(), stored);
        QCOMPARE(db.scalar(QStringLiteral("SELECT IDAB FROM W WHERE NUME=?"), {typed}).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT IDAB FROM W WHERE NUME=?"), {stored}).toInt(), 1);
        QCOMPARE(cleanText(typed), stored);
        QCOMPARE(quint8(readFileBytes(path).at(32 + 3 * 32 + 1 + 1 + 10)), quint8(0xAA));
    }

    void indexOnlyWhereBytesAreCompared()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        db.exec(QStringLiteral("INSERT INTO W (IDAB, NUME) VALUES (1, 'Popescu'), (2, 'POPESCU'), (3, '5')"));
        // Built once by a byte comparison, the index must not answer other comparisons.
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE NUME='Popescu'")).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE NUME='popescu' COLLATE NOCASE")).toInt(), 2);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE NUME=?"), {5}).toInt(), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W WHERE NUME=5")).toInt(), 1);
    }

    void dayNumbersBelowOneThousandAreBlankDates()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Log.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Log).columns));
        Database db(QString{});
        db.attach(QStringLiteral("L"), path);
        db.exec(QStringLiteral("INSERT INTO L (IDLOG, DATAL) VALUES (1, 0), (2, 999), (3, 45625)"));
        const ResultSet rs = db.select(QStringLiteral("SELECT DATAL FROM L ORDER BY IDLOG"));
        QVERIFY(!rs.value(0, 0).isValid());
        QVERIFY(!rs.value(1, 0).isValid());
        QCOMPARE(rs.value(2, 0).toInt(), 45625);
        // On disk a blank field, as every dBase tool writes "no date".
        const int header = 32 + 5 * 32 + 1;
        const int record = 1 + 10 + 8 + 12 + 120 + 16;
        for (int r = 0; r < 2; ++r)
            QCOMPARE(readFileBytes(path).mid(header + r * record + 1 + 10, 8), QByteArray(8, ' '));
    }

    void failedStatementInsideATransactionLeavesNoHalf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database db(QString{});
        db.attach(QStringLiteral("W"), path);
        Transaction tx(db);
        db.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (1)"));
        db.exec(QStringLiteral("UPDATE W SET SOLD=5 WHERE IDAB=1"));
        try {
            db.exec(QStringLiteral("INSERT INTO W (IDAB, SOLD) VALUES (2, 1), (3, 123456789)"));
            QFAIL("value that does not fit accepted");
        } catch (const SqlError &e) {
            QCOMPARE(e.message(), QStringLiteral("Valoarea 123456789 nu incape in campul SOLD (N 10,2) al tabelei w.dbf"));
        }
        db.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (4)"));
        try {
            db.exec(QStringLiteral("UPDATE W SET SOLD=CASE WHEN IDAB=1 THEN 7 ELSE 1e20 END"));
            QFAIL("value that does not fit accepted");
        } catch (const SqlError &) {
        }
        tx.commit();
        Database other(QString{});
        other.attach(QStringLiteral("W"), path);
        const ResultSet rs = other.select(QStringLiteral("SELECT IDAB, SOLD FROM W"));
        QCOMPARE(rs.rowCount(), 2);
        QCOMPARE(rs.value(0, 1).toDouble(), 5.0);
        QCOMPARE(rs.value(1, 0).toInt(), 4);
        QVERIFY(!rs.value(1, 1).isValid());
    }

    void appendsWaitForTheHeaderLock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        Database a(QString{});
        Database b(QString{});
        a.attach(QStringLiteral("W"), path);
        b.attach(QStringLiteral("W"), path);
        {
            Transaction tx(a);
            a.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (1)"));
            try {
                b.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (2)"));
                QFAIL("two appends at once");
            } catch (const SqlError &e) {
                QCOMPARE(e.message(), QStringLiteral("Tabela w.dbf este blocata de alt calculator. Incercati din nou."));
            }
            tx.commit();
        }
        b.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (2)"));
        a.exec(QStringLiteral("INSERT INTO W (IDAB) VALUES (3)"));
        QCOMPARE(column(a.select(QStringLiteral("SELECT IDAB FROM W ORDER BY rowid"))), (QList<qint64>{1, 2, 3}));
        QCOMPARE(column(b.select(QStringLiteral("SELECT rowid FROM W WHERE IDAB=3"))), (QList<qint64>{3}));
    }

    void updateOfALockedRecordFailsCleanly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(path, workColumns()));
        // A table of the data folder: its commits are journalled and all or nothing.
        Database db(dir.path());
        db.attach(QStringLiteral("W"), path);
        db.exec(QStringLiteral("INSERT INTO W (IDAB, SOLD) VALUES (1, 1), (2, 2)"));
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        QVERIFY(fd >= 0);
        QVERIFY(dbflock::tryLock(fd, dbflock::recordOffset(2), 1, true));
        try {
            db.exec(QStringLiteral("UPDATE W SET SOLD=9"));
            QFAIL("wrote a locked record");
        } catch (const SqlError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Inregistrarea 2 din tabela w.dbf este blocata de alt calculator. Incercati din nou."));
        }
        ::close(fd);
        // Nothing reached the file, record 1 included, and the connection says the same.
        Database other(dir.path());
        other.attach(QStringLiteral("W"), path);
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM W")).toDouble(), 3.0);
        QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM W")).toDouble(), 3.0);
        db.exec(QStringLiteral("UPDATE W SET SOLD=9"));
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM W")).toDouble(), 18.0);
    }

    void damagedFilesGiveClearErrors()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Debite).columns));
        {
            Database db(dir.path());
            db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, SOLD) VALUES (1, 2.5), (2, 3)"));
        }
        // A value that is not a number: the statement fails, naming record and field.
        const qint64 record2 = 32 + 13 * 32 + 1 + 150;
        patchFile(path, record2 + 1 + 10 + 10 + 10 + 10 + 6 + 6 + 60 + 10, "  12,50 xx");
        {
            Database db(dir.path());
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toInt(), 2);
            try {
                db.select(QStringLiteral("SELECT SUM(SOLD) FROM Debite"));
                QFAIL("garbage summed");
            } catch (const SqlError &e) {
                QCOMPARE(e.message(), QStringLiteral("Fisierul Debite.dbf este deteriorat: inregistrarea 2, campul SOLD: "
                                                     "\"12,50 xx\" nu este un numar."));
            }
            // The same through the equality index, which reads every record of the column.
            try {
                db.select(QStringLiteral("SELECT IDDEB FROM Debite WHERE SOLD=?"), {2.5});
                QFAIL("garbage indexed");
            } catch (const SqlError &e) {
                QVERIFY2(e.message().contains(QStringLiteral("inregistrarea 2, campul SOLD")), qPrintable(e.message()));
            }
        }
        // A file cut in the middle of its last record cannot be attached.
        QFile::resize(path, record2 + 100);
        try {
            Database db(dir.path());
            QFAIL("truncated table attached");
        } catch (const SqlError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Fisierul Debite.dbf nu este o tabela dBase valida: ultima inregistrare (2) este incompleta."));
        }
        // An empty file.
        QFile::resize(path, 0);
        QVERIFY_THROWS_EXCEPTION(SqlError, Database(dir.path()));
    }

    void level7FilesAreReadOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("l7.dbf"));
        QByteArray h(68 + 2 * 48 + 1, '\0');
        h[0] = 0x04;
        h[4] = 2;
        h[8] = char(h.size());
        h[10] = 13;
        std::memcpy(h.data() + 68, "ID", 2);
        h[68 + 32] = 'I';
        h[68 + 33] = 4;
        std::memcpy(h.data() + 68 + 48, "SUMA", 4);
        h[68 + 48 + 32] = 'O';
        h[68 + 48 + 33] = 8;
        h[h.size() - 1] = 0x0D;
        h += QByteArray(" \x80\x00\x00\x01\xBF\xF8\x00\x00\x00\x00\x00\x00", 13);
        h += QByteArray(" \x80\x00\x00\x02\x40\x07\xFF\xFF\xFF\xFF\xFF\xFF", 13);
        h += char(0x1A);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(h);
        }
        Database db(QString{});
        db.attach(QStringLiteral("L"), path);
        const ResultSet rs = db.select(QStringLiteral("SELECT ID, SUMA FROM L ORDER BY ID"));
        QCOMPARE(rs.rowCount(), 2);
        QCOMPARE(rs.value(1, 0).toLongLong(), 2);
        QCOMPARE(rs.value(1, 1).toDouble(), -1.5);
        QCOMPARE(rs.declaredTypes(), (QStringList{QStringLiteral("INTEGER"), QStringLiteral("DOUBLE")}));
        QVERIFY_THROWS_EXCEPTION(SqlError, db.exec(QStringLiteral("DELETE FROM L")));
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM L")).toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDbfVtab)
#include "tst_dbfvtab.moc"
