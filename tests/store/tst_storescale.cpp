// The store at scale: a transaction of many single-row changes costs what it touches. The
// file operations of a commit are counted (not timed): changed records that follow each
// other are read, journalled, locked and written as one run, and scattered ones do not take
// a lock each (the kernel walks a file's lock list at every new lock, which made a change of
// many scattered records cost the square of their number). Record locks still keep other
// programs off every changed record.

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbflock.h"
#include "store/dbftable.h"
#include "store/dbfundo.h"
#include "store/fileops.h"
#include "store/journal.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>

using namespace vestronia;

namespace {

constexpr int Rows = 4000;

// A Debite.dbf of debits 1..rows, each with the balance `sold`.
void fillDebite(const QString &folder, int rows = Rows, int sold = 10)
{
    QVERIFY(createTable(folder + QStringLiteral("/Debite.dbf"), tableDef(TableId::Debite).columns));
    Database db(folder);
    Transaction tx(db);
    Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD, PENALDATA) VALUES (?, ?, ?, 40000)"));
    for (int i = 1; i <= rows; ++i)
        ins.exec({i, i % 50 + 1, sold});
    tx.commit();
}

// The counted file operations (writes, syncs, locks, renames, removals) of committing one
// transaction that runs `UPDATE ... WHERE IDDEB=?` for each of `ids`.
quint64 commitCalls(Database &db, const QList<int> &ids)
{
    Transaction tx(db);
    Statement upd = db.prepare(QStringLiteral("UPDATE Debite SET PENALDATA=?, PENALPE='luna' WHERE IDDEB=?"));
    for (int id : ids)
        upd.exec({41000 + id, id});
    fileops::injectFault(std::numeric_limits<std::uint64_t>::max()); // counts, never fails
    tx.commit();
    const quint64 calls = fileops::countedCalls();
    fileops::injectFault(0);
    return calls;
}


// The bytes of a file, or a mark that it is missing.
QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Where record `row` of a DBF file starts (header and record lengths read from the file).
qint64 recordAt(const QByteArray &file, int row)
{
    const auto u16 = [&](int at) { return int(quint8(file[at])) | int(quint8(file[at + 1])) << 8; };
    return qint64(u16(8)) + qint64(row - 1) * u16(10);
}

// One large commit over two tables: scattered updates (hundreds of runs, past the span
// lock), a long run, and more than a megabyte of appends to each table.
void largeCommit(Database &db)
{
    Transaction tx(db);
    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB % 7 = 3 OR IDDEB BETWEEN 1000 AND 1800"));
    Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 1, 5)"));
    for (int i = 1; i <= 9000; ++i)
        ins.exec({Rows + i});
    Statement arh = db.prepare(QStringLiteral("INSERT INTO DebiteArh (IDDEB, IDAB, SOLD) VALUES (?, 2, 7)"));
    for (int i = 1; i <= 9000; ++i)
        arh.exec({i});
    db.exec(QStringLiteral("UPDATE DebiteArh SET SOLD=8 WHERE IDDEB % 11 = 0"));
    tx.commit();
}

// Makes the undo log's unnamed temporary file fail every read from now on, as a failing
// TEMP disk would: its descriptor is pointed at a write-only /dev/null.
bool breakUndoFile()
{
    bool found = false;
    for (int fd = 3; fd < 4096; ++fd) {
        char target[512];
        const ssize_t n = ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        const QByteArray t(target, int(n));
        if (!t.startsWith("/tmp/") || !t.endsWith(" (deleted)"))
            continue;
        const int sink = ::open("/dev/null", O_WRONLY);
        found = (sink >= 0 && ::dup2(sink, fd) >= 0) || found;
        ::close(sink);
    }
    return found;
}

constexpr int LargeRows = 200000; // 30 MB of Debite records

long peakKb()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// In a child process: loads the table, then changes every record in one statement.
// Prints the peak memory (KB) before and after the change.
int largeUpdateWorker(const QString &folder)
{
    dbfimpl::UndoLog::setMemoryBlocks(1);
    Database db(folder);
    if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toInt() != LargeRows)
        return 3;
    const long before = peakKb();
    if (db.exec(QStringLiteral("UPDATE Debite SET PENALDATA=PENALDATA+1, SOLD=SOLD+1")) != LargeRows)
        return 4;
    std::printf("%ld %ld\n", before, peakKb());
    return 0;
}

} // namespace

class TestStoreScale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { dbflock::setWaitMilliseconds(150); }
    void cleanup()
    {
        fileops::injectFault(0);
        dbfimpl::UndoLog::setMemoryBlocks(32);
        journal::Writer::setMaxBytes(journal::MaxJournalBytes);
    }

    // A change of every record costs memory for what is kept of it in memory (one block of
    // the undo log, the journal's write buffer), not for the table: before-images stream to
    // the journal and older undo blocks to their file. Holding either whole would add the
    // table's 30 MB at least once.
    void largeUpdateMemoryIsBounded()
    {
        QTemporaryDir dir;
        fillDebite(dir.path(), LargeRows);
        const QByteArray before = fileBytes(dir.filePath(QStringLiteral("Debite.dbf")));
        QProcess child;
        // The address sanitizer holds freed memory back for a while; the child would measure
        // that, not the store.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QStringLiteral("quarantine_size_mb=0"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--large-update"), dir.path()});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QStringList kb = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
        QCOMPARE(kb.size(), 2);
        const qint64 grown = kb[1].trimmed().toLongLong() - kb[0].toLongLong();
        const qint64 tableKb = qint64(before.size()) / 1024;
        QVERIFY2(grown < tableKb / 2, qPrintable(QStringLiteral("the change grew by %1 KB over a %2 KB table").arg(grown).arg(tableKb)));
        // And it did change every record.
        Database db(dir.path());
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALDATA=40001 AND SOLD=11")).toInt(), LargeRows);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Vestronia.jrn"))));
    }

    void consecutiveChangesAreWrittenAsOneRun()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        Database db(dir.path());
        QList<int> ids;
        for (int i = 1; i <= Rows; ++i)
            ids << i;
        // Journal (write, sync, folder), one lock, one write, sync, counter, removal: a
        // handful, whatever the number of rows.
        QVERIFY2(commitCalls(db, ids) < 40, "a run of changed records costs a call per record");
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALDATA=41000+IDDEB AND PENALPE='luna'"))
                     .toLongLong(),
                 qint64(Rows));
    }

    void scatteredChangesTakeNoLockEach()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        Database db(dir.path());
        QList<int> ids;
        for (int i = 1; i <= Rows; i += 2)
            ids << i;
        // One write per scattered record is unavoidable; a lock per record (and the
        // kernel's walk of the lock list it brings) is not.
        const quint64 calls = commitCalls(db, ids);
        QVERIFY2(calls < quint64(ids.size()) + 40, qPrintable(QStringLiteral("%1 calls for %2 records").arg(calls).arg(ids.size())));
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE='luna'")).toLongLong(), qint64(ids.size()));
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALDATA=41000+IDDEB")).toLongLong(),
                 qint64(ids.size()));
    }

    // Another dBase program holds a record the change does not touch, between scattered
    // changed ones: the commit goes through (locking the changed runs one by one). When it
    // holds a changed record, the commit is refused naming that record, and nothing is written.
    void recordsHeldByAnotherProgram()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        Database db(dir.path());
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        QVERIFY(fd >= 0);
        QVERIFY(dbflock::tryLock(fd, dbflock::recordOffset(500), 1, true));
        QList<int> ids;
        for (int i = 1; i <= 999; i += 3) // 1, 4, ..., 499, 502, ...: record 500 is not among them
            ids << i;
        commitCalls(db, ids);
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE='luna'")).toLongLong(), qint64(ids.size()));

        ids.clear();
        for (int i = 2; i <= 999; i += 3) // 2, 5, ..., 500, ...
            ids << i;
        try {
            commitCalls(db, ids);
            QFAIL("wrote a record held by another program");
        } catch (const SqlError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Inregistrarea 500 din tabela Debite.dbf este blocata de alt calculator. Incercati din nou."));
        }
        ::close(fd);
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE='luna'")).toLongLong(), qint64(333));
    }

    // Before-images past the log's memory go to its temporary file: a rollback to a
    // savepoint inside a block that went there, changes after it, a commit and a whole
    // rollback all come out exactly.
    void undoLogUsesItsFileAndStillUndoes()
    {
        dbfimpl::UndoLog::setMemoryBlocks(1); // about 7,000 Debite records per block
        QTemporaryDir dir;
        const int rows = 20000;
        fillDebite(dir.path(), rows, 1);
        Database db(dir.path());
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB<=9000")); // past the first block
            {
                Transaction inner(db);
                db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+10")); // every record again
                // not committed: back to 9,000 changes, inside the block now in the file
            }
            QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(rows + 9000));
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+100 WHERE IDDEB>15000"));
            tx.commit();
        }
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(rows + 9000 + 100 * 5000));
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE SOLD=2")).toLongLong(), qint64(9000));
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=0"));
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=7 WHERE IDDEB<100"));
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(rows + 9000 + 100 * 5000));
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE SOLD=2")).toLongLong(), qint64(9000));
    }

    // A record changed and then rolled back to a savepoint is no change: the commit must
    // not write the transaction's copy of it over what another dBase program wrote since.
    void recordRolledBackToASavepointIsNotWritten()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        Database db(dir.path());
        {
            Transaction tx(db);
            {
                Transaction inner(db);
                db.exec(QStringLiteral("UPDATE Debite SET PENALPE='an' WHERE IDDEB=5"));
                // not committed: record 5 is as it was
            }
            db.exec(QStringLiteral("UPDATE Debite SET PENALPE='luna' WHERE IDDEB=6"));
            // Another program deletes record 5 in place meanwhile.
            const QByteArray file = fileBytes(path);
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
            QVERIFY(fd >= 0);
            QCOMPARE(::pwrite(fd, "*", 1, off_t(recordAt(file, 5))), ssize_t(1));
            ::close(fd);
            tx.commit();
        }
        const QByteArray after = fileBytes(path);
        QCOMPARE(after[int(recordAt(after, 5))], '*');
        QCOMPARE(Database(dir.path()).scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE='luna'")).toLongLong(),
                 qint64(1));
    }

    // Every counted file operation of a large commit (streamed journal pieces, the seal and
    // its sync, span and run locks, data writes, syncs, the removal) failed in turn: the
    // tables come out byte for byte as before, or whole as after.
    void everyFailureOfALargeCommitLeavesBeforeOrAfter()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        QVERIFY(createTable(dir.filePath(QStringLiteral("DebiteArh.dbf")), tableDef(TableId::DebiteArh).columns));
        const QString deb = dir.filePath(QStringLiteral("Debite.dbf"));
        const QString arh = dir.filePath(QStringLiteral("DebiteArh.dbf"));
        const QByteArray debBefore = fileBytes(deb);
        const QByteArray arhBefore = fileBytes(arh);
        QByteArray debAfter, arhAfter;
        std::uint64_t calls = 0;
        {
            QTemporaryDir probe;
            QVERIFY(QFile::copy(deb, probe.filePath(QStringLiteral("Debite.dbf"))));
            QVERIFY(QFile::copy(arh, probe.filePath(QStringLiteral("DebiteArh.dbf"))));
            Database db(probe.path());
            fileops::injectFault(std::numeric_limits<std::uint64_t>::max());
            largeCommit(db);
            calls = fileops::countedCalls();
            fileops::injectFault(0);
            debAfter = fileBytes(probe.filePath(QStringLiteral("Debite.dbf")));
            arhAfter = fileBytes(probe.filePath(QStringLiteral("DebiteArh.dbf")));
        }
        QVERIFY(debAfter.size() > debBefore.size() + (1 << 20));
        // The first and last operations one by one, the hundreds of record writes between
        // them sampled.
        std::vector<std::uint64_t> points;
        for (std::uint64_t n = 1; n <= calls; n += (n < 40 || n + 20 > calls) ? 1 : std::max<std::uint64_t>(1, calls / 30))
            points.push_back(n);
        for (std::uint64_t n : points) {
            bool threw = false;
            {
                Database db(dir.path());
                fileops::injectFault(n);
                try {
                    largeCommit(db);
                } catch (const VestroniaError &) {
                    threw = true;
                }
                fileops::injectFault(0);
            }
            const QByteArray d = fileBytes(deb);
            const QByteArray a = fileBytes(arh);
            if (threw) {
                QVERIFY2(d == debBefore && a == arhBefore, qPrintable(QStringLiteral("failure %1 of %2 left a change").arg(n).arg(calls)));
                QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Vestronia.jrn"))));
                continue;
            }
            QVERIFY2(d == debAfter && a == arhAfter, qPrintable(QStringLiteral("failure %1 of %2 half-stored").arg(n).arg(calls)));
            // Back to the before state for the next failure.
            for (const auto &[p, bytes] : {std::pair{deb, debBefore}, std::pair{arh, arhBefore}}) {
                QFile f(p);
                QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
                f.write(bytes);
            }
        }
    }

    // Bytes past the records the header counts (left by a program that died before writing
    // its count) are overwritten by appends; a commit that fails after writing them must put
    // every one of them back, however far they reach.
    void bytesPastTheCountedRecordsComeBackWhole()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::Append));
            QByteArray junk(3 << 20, 'Z');
            for (int i = 0; i < junk.size(); i += 997)
                junk[i] = char('a' + i % 26);
            f.write(junk);
        }
        const QByteArray before = fileBytes(path);
        const auto append = [](Database &db) {
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, SOLD) VALUES (?, 3)"));
            for (int i = 1; i <= 30000; ++i) // more than the junk
                ins.exec({Rows + i});
            tx.commit();
        };
        std::uint64_t calls = 0;
        {
            QTemporaryDir probe;
            QVERIFY(QFile::copy(path, probe.filePath(QStringLiteral("Debite.dbf"))));
            Database db(probe.path());
            fileops::injectFault(std::numeric_limits<std::uint64_t>::max());
            append(db);
            calls = fileops::countedCalls();
            fileops::injectFault(0);
        }
        int failed = 0;
        for (std::uint64_t n = calls > 8 ? calls - 8 : 1; n <= calls; ++n) {
            {
                Database db(dir.path());
                fileops::injectFault(n);
                try {
                    append(db);
                } catch (const VestroniaError &) {
                    ++failed;
                    fileops::injectFault(0);
                    QVERIFY2(fileBytes(path) == before, qPrintable(QStringLiteral("failure %1 of %2 left a change").arg(n).arg(calls)));
                    continue;
                }
                fileops::injectFault(0);
            }
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(before);
        }
        QVERIFY(failed > 0);
    }

    // The temporary file of the undo log cannot take more (TEMP full): the statement that
    // needed it fails with a clear message and leaves nothing of itself; the transaction's
    // earlier changes stay and commit exactly.
    void undoLogThatCannotSpillFailsOnlyItsStatement()
    {
        dbfimpl::UndoLog::setMemoryBlocks(1); // about 7,000 Debite records per block
        QTemporaryDir dir;
        const int rows = 20000;
        fillDebite(dir.path(), rows, 10);
        Database db(dir.path());
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=11 WHERE IDDEB<=10"));
            for (int round = 0; round < 3; ++round) { // past the block in memory each round
                fileops::injectFault(1); // the first write the statement makes is the spill
                try {
                    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+100, PENALPE='x'"));
                    QFAIL("the undo log spilled past a failed write");
                } catch (const SqlError &e) {
                    QVERIFY2(e.message().contains(QStringLiteral("Fisierul temporar al modificarilor nu poate fi folosit")),
                             qPrintable(e.message()));
                }
                fileops::injectFault(0);
                QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(10 * (rows - 10) + 110));
            }
            tx.commit();
        }
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(10 * (rows - 10) + 110));
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE IS NOT NULL")).toLongLong(), qint64(0));
    }

    // A change whose journal would outgrow what playback reads is refused before any data
    // byte is written: a journal nobody can play back would leave the folder unusable.
    void journalPastItsLimitIsRefusedBeforeWriting()
    {
        QTemporaryDir dir;
        fillDebite(dir.path());
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        const QByteArray before = fileBytes(path);
        Database db(dir.path());
        journal::Writer::setMaxBytes(before.size() / 2);
        try {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
            tx.commit();
            QFAIL("a journal past its limit was written");
        } catch (const SqlError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("prea mare pentru jurnalul")), qPrintable(e.message()));
        }
        journal::Writer::setMaxBytes(journal::MaxJournalBytes);
        QCOMPARE(fileBytes(path), before);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Vestronia.jrn"))));
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
        QCOMPARE(Database(dir.path()).scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(11 * Rows));
    }

    // The undo log's file fails while a transaction is rolled back: the changes it could not
    // give back must not stay in what the connection reads (nothing reached the table file).
    void rollbackWhoseUndoFileFailsReadsTheTableAgain()
    {
        dbfimpl::UndoLog::setMemoryBlocks(1);
        QTemporaryDir dir;
        const int rows = 20000;
        fillDebite(dir.path(), rows, 1);
        Database db(dir.path());
        const QByteArray before = fileBytes(dir.filePath(QStringLiteral("Debite.dbf")));
        {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1")); // the oldest blocks go to the file
            QVERIFY(breakUndoFile());
            // not committed
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(rows));
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("Debite.dbf"))), before);
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+2 WHERE IDDEB<=10"));
        QCOMPARE(Database(dir.path()).scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(rows + 20));
    }

    // The same failure in a rollback to a savepoint: the transaction cannot be put back to
    // the savepoint, so it must not commit what is left of it.
    void savepointRollbackWhoseUndoFileFailsNeverCommits()
    {
        dbfimpl::UndoLog::setMemoryBlocks(1);
        QTemporaryDir dir;
        const int rows = 20000;
        fillDebite(dir.path(), rows, 1);
        Database db(dir.path());
        const QByteArray before = fileBytes(dir.filePath(QStringLiteral("Debite.dbf")));
        bool refused = false;
        try {
            Transaction tx(db);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB<=10"));
            {
                Transaction inner(db);
                db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+100")); // the oldest blocks go to the file
                QVERIFY(breakUndoFile());
                // not committed
            }
            tx.commit();
        } catch (const VestroniaError &) {
            refused = true;
        }
        QVERIFY2(refused, "a transaction whose savepoint could not be restored was committed");
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("Debite.dbf"))), before);
        QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), qint64(rows));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args[1] == QLatin1String("--large-update"))
        return largeUpdateWorker(args[2]);
    TestStoreScale t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_storescale.moc"
