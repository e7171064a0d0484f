// Hard cases of the store's commit path, undo log and equality index: a full or unreadable
// scratch folder under a large change and a rollback to a savepoint, a link under the
// journal's temporary name, a journal removal answered twice, and indexed lookups against
// a scan under random key changes, deletions, appends, packs and savepoint rollbacks.

#include "core/error.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "store/dbfundo.h"
#include "store/fileops.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace vestronia;

namespace {

QList<qint64> rowids(const ResultSet &rs)
{
    QList<qint64> out;
    for (int r = 0; r < rs.rowCount(); ++r)
        out << rs.value(r, 0).toLongLong();
    return out;
}

void fillDebite(const QString &folder, int rows)
{
    createTable(folder + QStringLiteral("/Debite.dbf"), tableDef(TableId::Debite).columns);
    Database db(folder);
    Transaction tx(db);
    Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, ?, 10)"));
    for (int i = 1; i <= rows; ++i)
        ins.exec({i, i % 53});
    tx.commit();
}

} // namespace

class TestStoreReview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every case leaves the store's process-wide settings as it found them, also when it fails.
    void cleanup()
    {
        fileops::injectFault(0);
        fileops::failScratchReads(false);
        fileops::setScratchFolder(std::string());
        dbfimpl::UndoLog::setMemoryBlocks(32);
    }

    // The scratch folder fills up while a large change spills its undo log: the statement
    // fails with a clear message and is undone whole; the transaction's earlier work stays
    // and both its rollback and its commit leave the table consistent.
    void fullScratchFolderFailsOnlyTheStatement()
    {
        QTemporaryDir dir, scratch;
        const QString folder = dir.path();
        fillDebite(folder, 30000);
        fileops::setScratchFolder(QFile::encodeName(scratch.path()).toStdString());
        dbfimpl::UndoLog::setMemoryBlocks(1);
        // How many counted operations the second statement makes (its spills).
        std::uint64_t calls = 0;
        {
            Database db(folder);
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
            fileops::injectFault(~0ULL);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+2 WHERE IDDEB > 100"));
            calls = fileops::countedCalls();
            fileops::injectFault(0);
        }
        QVERIFY2(calls >= 3, qPrintable(QStringLiteral("%1 counted operations").arg(calls)));
        for (const bool commit : {false, true}) {
            Database db(folder);
            {
                Transaction tx(db);
                db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
                fileops::injectFault(calls / 2 + 1, fileops::Fault::Error);
                bool threw = false;
                try {
                    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+2 WHERE IDDEB > 100"));
                } catch (const VestroniaError &e) {
                    threw = true;
                    QVERIFY2(e.message().contains(QStringLiteral("Fisierul temporar")), qPrintable(e.message()));
                }
                QVERIFY(fileops::faultFired());
                fileops::injectFault(0);
                QVERIFY(threw);
                QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), 330000LL);
                QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE SOLD <> 11")).toLongLong(), 0LL);
                // Still usable: a later statement of the same transaction spills and works.
                db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB <= 10"));
                if (commit)
                    tx.commit();
            }
            const qint64 want = commit ? 330010 : 300000;
            QCOMPARE(Database(folder).scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), want);
        }
    }

    // Lookups through the index against the same lookup with the index disabled, after
    // random interleavings of key changes, deletions, our appends in and out of order,
    // another connection's appends, and rollbacks to savepoints.
    void indexedLookupsMatchAScanUnderRandomWork()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        fillDebite(folder, 3000);
        Database db(folder);
        Database other(folder);
        std::mt19937 rng(2207);
        int top = 3000;
        auto compare = [&](const QString &when) {
            for (int probe = 0; probe < 60; ++probe) {
                const int k = probe < 10 ? probe - 2 : int(rng() % std::uint32_t(top + 6)) - 2;
                const QList<qint64> indexed =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=? ORDER BY rowid"), {k}));
                const QList<qint64> scanned =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE +IDDEB=? ORDER BY rowid"), {k}));
                QVERIFY2(indexed == scanned, qPrintable(when + QStringLiteral(": IDDEB %1").arg(k)));
            }
            // A column not in record order: the hash form.
            for (int k : {0, 1, 2, 17, 52, 53, 54}) {
                const QList<qint64> indexed =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE IDAB=? ORDER BY rowid"), {k}));
                const QList<qint64> scanned =
                    rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE +IDAB=? ORDER BY rowid"), {k}));
                QVERIFY2(indexed == scanned, qPrintable(when + QStringLiteral(": IDAB %1").arg(k)));
            }
        };
        auto randomStep = [&](Database &on) {
            const int k = int(rng() % std::uint32_t(top)) + 1;
            switch (rng() % 6) {
            case 0:
                on.exec(QStringLiteral("UPDATE Debite SET IDDEB=? WHERE IDDEB=?"), {int(rng() % std::uint32_t(top + 3)), k});
                break;
            case 1:
                on.exec(QStringLiteral("UPDATE Debite SET IDDEB=IDDEB+1 WHERE IDDEB BETWEEN ? AND ?"), {k, k + 20});
                break;
            case 2:
                on.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=?"), {k});
                break;
            case 3:
                on.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB) VALUES (?, 1)"), {++top});
                break;
            case 4:
                on.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB) VALUES (?, 1)"), {k});
                break;
            default:
                on.exec(QStringLiteral("UPDATE Debite SET IDAB=IDAB+1 WHERE IDDEB=?"), {k});
                break;
            }
        };
        compare(QStringLiteral("built"));
        for (int round = 0; round < 12 && !QTest::currentTestFailed(); ++round) {
            {
                Transaction tx(db);
                for (int i = 0; i < 8; ++i)
                    randomStep(db);
                compare(QStringLiteral("round %1, in a transaction").arg(round));
                db.exec(QStringLiteral("SAVEPOINT s"));
                for (int i = 0; i < 8; ++i)
                    randomStep(db);
                compare(QStringLiteral("round %1, after a savepoint").arg(round));
                db.exec(QStringLiteral("ROLLBACK TO s"));
                compare(QStringLiteral("round %1, rolled back to the savepoint").arg(round));
                for (int i = 0; i < 4; ++i)
                    randomStep(db);
                db.exec(QStringLiteral("RELEASE s"));
                if (round % 3 == 2)
                    continue; // rolled back whole
                tx.commit();
            }
            compare(QStringLiteral("round %1, after the transaction").arg(round));
            for (int i = 0; i < 5; ++i)
                randomStep(other);
            compare(QStringLiteral("round %1, after another connection").arg(round));
        }
    }

    // A lookup of the identifier by a value of another type (a text, a fraction, a large
    // or negative number) answers what the comparison answers without the index.
    void indexedLookupsByOtherTypesMatchAScan()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        fillDebite(folder, 500);
        Database db(folder);
        db.exec(QStringLiteral("UPDATE Debite SET IDDEB=-7 WHERE IDDEB=3"));
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB) VALUES (2, 1)"));
        const QVariantList values{QStringLiteral("5"), QStringLiteral(" 5"), QStringLiteral("5.0"), QStringLiteral("abc"),
                                  5.0, 5.5, -7, QStringLiteral("-7"), 2, 0, -0.0, qint64(1) << 40, 1e300, QVariant()};
        for (const QVariant &v : values) {
            const QList<qint64> indexed =
                rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=? ORDER BY rowid"), {v}));
            const QList<qint64> scanned =
                rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE coalesce(IDDEB=?, 0) ORDER BY rowid"), {v}));
            QVERIFY2(indexed == scanned, qPrintable(QStringLiteral("IDDEB=%1: %2 vs %3 records")
                                                         .arg(v.toString())
                                                         .arg(indexed.size())
                                                         .arg(scanned.size())));
        }
    }

    // The undo log under random pushes and truncations (rollbacks to savepoints) across
    // blocks kept in memory and blocks in the scratch file, with the file failing now and
    // then: every entry kept reads back what was pushed, and a failed push changes nothing.
    void undoLogMatchesAModelUnderRandomWork()
    {
        QTemporaryDir scratch;
        fileops::setScratchFolder(QFile::encodeName(scratch.path()).toStdString());
        constexpr std::uint32_t Length = 300000; // three entries a block
        std::mt19937 rng(31);
        for (const size_t memoryBlocks : {size_t(1), size_t(2)}) {
            dbfimpl::UndoLog::setMemoryBlocks(memoryBlocks);
            dbfimpl::UndoLog log;
            struct Entry
            {
                std::uint32_t row;
                char fill;
                std::uint32_t at; // the one byte that differs
            };
            std::vector<Entry> model;
            std::string record(Length, '\0'), out(Length, '\0');
            int failures = 0;
            for (int step = 0; step < 400; ++step) {
                if (rng() % 5 == 0 && !model.empty()) {
                    const size_t n = rng() % (model.size() + 1);
                    log.truncate(n);
                    model.resize(n);
                } else {
                    const std::uint32_t row = 1 + rng() % 1000;
                    const char fill = char('a' + rng() % 26);
                    record.assign(Length, fill);
                    const std::uint32_t at = rng() % Length;
                    record[at] = char(row & 0x7F);
                    const bool fault = rng() % 15 == 0;
                    if (fault)
                        fileops::injectFault(1, fileops::Fault::Error);
                    bool threw = false;
                    try {
                        log.push(row, record.data(), Length);
                    } catch (const VestroniaError &) {
                        threw = true;
                    }
                    const bool fired = fileops::faultFired();
                    fileops::injectFault(0);
                    QVERIFY(threw == (fault && fired));
                    if (threw) {
                        ++failures;
                    } else {
                        model.push_back({row, fill, at});
                        log.read(model.size() - 1, out.data());
                        QVERIFY(out == record);
                    }
                }
                QCOMPARE(log.size(), model.size());
                for (size_t i = 0; i < model.size(); ++i) {
                    QCOMPARE(log.row(i), model[i].row);
                    record.assign(Length, model[i].fill);
                    record[model[i].at] = char(model[i].row & 0x7F);
                    log.read(i, out.data());
                    QVERIFY2(out == record, qPrintable(QStringLiteral("step %1, entry %2").arg(step).arg(i)));
                }
            }
            QVERIFY(failures > 0);
        }
    }

    // A pack by the same connection renumbers the records under a built index: the next
    // lookups answer the packed file, as a fresh connection does.
    void indexFollowsAPackOfTheSameConnection()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        fillDebite(folder, 2000);
        const QString path = folder + QStringLiteral("/Debite.dbf");
        Database db(folder);
        QCOMPARE(rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=1500"))), QList<qint64>{1500});
        db.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB % 3 = 0"));
        db.exec(QStringLiteral("UPDATE Debite SET IDDEB=5 WHERE IDDEB=1501"));
        QCOMPARE(rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=5 ORDER BY rowid"))),
                 (QList<qint64>{5, 1501}));
        db.runExclusive([&] { packTable(path); });
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB) VALUES (7, 1)"));
        Database fresh(folder);
        for (int k : {1, 2, 4, 5, 7, 1499, 1500, 1501, 1502, 1999, 2000}) {
            const QString sql = QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=? ORDER BY rowid");
            const QList<qint64> mine = rowids(db.select(sql, {k}));
            QCOMPARE(mine, rowids(fresh.select(sql, {k})));
            QCOMPARE(mine, rowids(db.select(QStringLiteral("SELECT rowid FROM Debite WHERE +IDDEB=? ORDER BY rowid"), {k})));
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB=5")).toInt(), 2);
    }

    // The scratch file stops reading while a rollback to a savepoint puts records back from
    // it: the rollback fails, and the transaction, holding records neither as they were at
    // the savepoint nor as they were changed since, must not be committed; rolled back
    // whole, the table is as before the transaction.
    void failedRollbackToASavepointCannotBeCommitted()
    {
        QTemporaryDir dir, scratch;
        const QString folder = dir.path();
        fillDebite(folder, 20000);
        const QByteArray before = [&] {
            QFile f(folder + QStringLiteral("/Debite.dbf"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        fileops::setScratchFolder(QFile::encodeName(scratch.path()).toStdString());
        dbfimpl::UndoLog::setMemoryBlocks(1);
        Database db(folder);
        // A work table outside the data folder, written in the same transaction.
        QTemporaryDir work;
        const QString workPath = work.filePath(QStringLiteral("w.dbf"));
        QVERIFY(createTable(workPath, QList<DbfColumn>{{QStringLiteral("N"), 'N', 10, 0}}));
        db.attach(QStringLiteral("W"), workPath);
        QCOMPARE(db.scalar(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=777")).toLongLong(), 777LL);
        bool rollbackFailed = false, commitFailed = false;
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
            db.exec(QStringLiteral("INSERT INTO W VALUES (1)"));
            db.exec(QStringLiteral("SAVEPOINT s"));
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+2, IDDEB=IDDEB+100000"));
            fileops::failScratchReads(true);
            try {
                db.exec(QStringLiteral("ROLLBACK TO s"));
            } catch (const VestroniaError &) {
                rollbackFailed = true;
            }
            fileops::failScratchReads(false);
            try {
                tx.commit();
            } catch (const VestroniaError &e) {
                commitFailed = true;
                QVERIFY2(e.message().contains(QStringLiteral("Anularea")), qPrintable(e.message()));
            }
        }
        QVERIFY(rollbackFailed);
        const qint64 sum = Database(folder).scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong();
        const qint64 moved =
            Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB > 100000")).toLongLong();
        QVERIFY2(commitFailed, qPrintable(QStringLiteral("committed: sum %1, %2 identifiers moved").arg(sum).arg(moved)));
        QFile f(folder + QStringLiteral("/Debite.dbf"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll() == before);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM W")).toLongLong(), 0LL);
        {
            Database check(QString{});
            check.attach(QStringLiteral("W"), workPath);
            QCOMPARE(check.scalar(QStringLiteral("SELECT COUNT(*) FROM W")).toLongLong(), 0LL);
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB=777")).toLongLong(), 1LL);
        QCOMPARE(db.scalar(QStringLiteral("SELECT rowid FROM Debite WHERE IDDEB=777")).toLongLong(), 777LL);
    }

    // A shared data folder may hold anything under the journal's temporary name: a link
    // left there to a file elsewhere is replaced, never followed, and the commit goes on.
    void linkUnderTheJournalsTemporaryNameIsNotFollowed()
    {
        QTemporaryDir dir, elsewhere;
        const QString folder = dir.path();
        fillDebite(folder, 10);
        const QString victim = elsewhere.filePath(QStringLiteral("keep.txt"));
        {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        const QString temp = folder + QStringLiteral("/Vestronia.jrn.tmp");
        QVERIFY(QFile::link(victim, temp));
        {
            Database db(folder);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=11 WHERE IDDEB=3"));
        }
        QFile f(victim);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious"));
        QCOMPARE(Database(folder).scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=3")).toInt(), 11);
        QVERIFY(!QFileInfo(temp).isSymLink());
    }

    // A network file system may answer a repeated removal of the journal "no such file"
    // although the first one removed it: the change is stored, so the commit is not
    // reported failed (the clerk would do it twice); any other failure leaves the table
    // as it was.
    void removalOfTheJournalAnsweredTwiceIsNotAFailure()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        fillDebite(folder, 50);
        const QString path = folder + QStringLiteral("/Debite.dbf");
        auto bytes = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        fileops::injectFault(~0ULL);
        {
            Database db(folder);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB=7"));
        }
        const std::uint64_t calls = fileops::countedCalls();
        fileops::injectFault(0);
        QVERIFY(calls > 3);
        int stored = 0;
        for (std::uint64_t n = 1; n <= calls; ++n) {
            const QByteArray before = bytes();
            const int sold = Database(folder).scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=7")).toInt();
            bool threw = false;
            {
                Database db(folder);
                fileops::injectFault(n, fileops::Fault::Replayed);
                try {
                    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB=7"));
                } catch (const VestroniaError &) {
                    threw = true;
                }
                fileops::injectFault(0);
            }
            const int now = Database(folder).scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=7")).toInt();
            if (threw) {
                QVERIFY2(bytes() == before && now == sold,
                         qPrintable(QStringLiteral("operation %1 of %2: reported failed, yet stored").arg(n).arg(calls)));
            } else {
                QCOMPARE(now, sold + 1);
                ++stored;
            }
            QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
        }
        QVERIFY(stored > 0);
    }
};

QTEST_GUILESS_MAIN(TestStoreReview)

#include "tst_storereview.moc"
