// The roads around a commit: fresh processes opening the folder while others commit, a
// long report running while another connection commits, and readers arriving while a
// second writer holds the lock over a dead writer's journal. Each case is named after
// the fault it catches.

#include "core/counters.h"
#include "core/tablecatalogue.h"
#include "core/progress.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "store/dbfcodec.h"
#include "store/dbftable.h"
#include "store/fileops.h"
#include "store/folderlock.h"
#include "store/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vestronia;

namespace {

QString settingsOf(const QString &folder)
{
    return folder + QStringLiteral("/Vestrona.set");
}

void createFolder(const QString &folder, int debits)
{
    for (TableId t : {TableId::Abonat, TableId::Debite, TableId::Chitante, TableId::DetChit})
        createTable(folder + QLatin1Char('/') + QLatin1String(tableDef(t).fileName), tableDef(t).columns);
    Database db(folder);
    Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, NRPERS) VALUES (1, 'CONTOR', 0)"));
    Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, DENUM, RATA, SOLD) VALUES (?, 1, 'D', 10, 5)"));
    for (int i = 1; i <= debits; ++i)
        ins.exec({i});
    tx.commit();
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Leaves the state a writer killed half way through its write phase leaves: its complete
// journal, and Debite with half of its records changed (every SOLD raised by one).
void leaveDeadWritersJournal(const QString &folder)
{
    const QString debite = folder + QStringLiteral("/Debite.dbf");
    const QByteArray before = bytesOf(debite);
    {
        Database db(folder);
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
    }
    const QByteArray after = bytesOf(debite);
    QCOMPARE(after.size(), before.size());
    journal::FileImage img;
    img.name = "Debite.dbf";
    img.oldSize = std::uint64_t(before.size());
    img.chunks.push_back({0, std::string(before.constData(), size_t(before.size()))});
    QVERIFY(journal::writeJournal(QFile::encodeName(folder + QStringLiteral("/Vestronia.jrn")).toStdString(), {img}));
    writeBytes(debite, after.left(after.size() / 2) + before.mid(after.size() / 2));
}

// "min max count" of SOLD: the before state is "5 5 N".
QString soldState(Database &db)
{
    const ResultSet r = db.select(QStringLiteral("SELECT MIN(SOLD) AS A, MAX(SOLD) AS B, COUNT(*) AS N FROM Debite"));
    return QStringLiteral("%1 %2 %3").arg(r.integer(0, QStringLiteral("A"))).arg(r.integer(0, QStringLiteral("B"))).arg(
        r.integer(0, QStringLiteral("N")));
}

int runWorker(const QStringList &args)
{
    const QString kind = args.value(0);
    const QString folder = args.value(1);
    if (kind == QLatin1String("pack")) {
        // The weekly packing, killed at one of its file operations.
        fileops::injectFault(args.value(2).toULongLong(), fileops::Fault::Kill);
        NullProgress none;
        packDataTables(folder, none);
        return 0;
    }
    if (kind == QLatin1String("recover")) {
        // A second writer that dies at one step of playing back the dead writer's journal.
        fileops::injectFault(args.value(2).toULongLong(), fileops::Fault::Kill);
        FolderLock lock(folder);
        lock.lockWriter();
        return 0;
    }
    const qint64 ms = args.value(2).toLongLong();
    QFile out(args.value(3));
    if (!out.open(QIODevice::WriteOnly))
        return 3;
    qint64 done = 0;
    QStringList problems;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        try {
            if (kind == QLatin1String("append")) {
                Database db(folder);
                for (int i = 0; i < 20 && clock.elapsed() < ms; ++i) {
                    Transaction tx(db);
                    const qint64 first = Counters::takeBlock(settingsOf(folder), QStringLiteral("IDDCHIT"), 50);
                    Statement ins = db.prepare(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDAB) VALUES (?, 1)"));
                    for (int k = 0; k < 50; ++k)
                        ins.exec({first + k});
                    db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB) VALUES (?, 1)"), {first});
                    tx.commit();
                    ++done;
                }
            } else if (kind == QLatin1String("update")) {
                Database db(folder);
                for (int i = 0; i < 20 && clock.elapsed() < ms; ++i) {
                    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB<=30"));
                    ++done;
                }
            } else if (kind == QLatin1String("open")) {
                // A fresh connection each time: the headers are read while others commit.
                Database db(folder);
                const qint64 lines = db.scalar(QStringLiteral("SELECT COUNT(*) FROM DetChit")).toLongLong();
                if (lines % 50 != 0)
                    problems << QStringLiteral("torn DetChit: %1 rows").arg(lines);
                db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante"));
                db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite"));
                ++done;
            } else {
                return 4;
            }
        } catch (const VestroniaError &e) {
            problems << e.message();
        }
    }
    out.write(QByteArray::number(done) + '\n' + problems.join(QLatin1Char('\n')).toUtf8());
    return 0;
}

} // namespace

class TestFolderProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        setWriterWaitHandler({});
        setWriterWaitMilliseconds(30000);
        fileops::injectFault(0);
    }
    void tornHeaderNeverReportedAsDamagedTable();
    void longReportDoesNotMakeACommitElsewhereTimeOut();
    void readerWaitsForSecondWriterToPlayDeadJournal();
    void readerAfterEveryStepOfAnInterruptedRecoverySeesBeforeState();
    void workTableFailureNeverReportsAStoredChangeAsFailed();
    void packingOverDeadWritersJournalOrKilledLeavesTablesWhole();
    void newFilesFollowTheFolderGroupAndUmask();
    void addingColumnsGaveTheTableOurGroup();
    void foreignInPlaceEditAfterOurAppendIsNotOverwritten();
    void foreignEditDuringOurCommitIsNotHiddenByIt();
};

void TestFolderProtocol::foreignInPlaceEditAfterOurAppendIsNotOverwritten()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 10);
    Database clerk(folder); // a long-lived connection
    QCOMPARE(clerk.scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=1")).toLongLong(), 5);
    // Another workstation of ours appends (the change counters say: appends only).
    Database(folder).exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (11, 1, 5)"));
    // Another dBase tool then edits debit 1 in place: SOLD 5 -> 3, size unchanged, and the
    // file's time put back as it was, as a coarse clock would leave it.
    const QString path = folder + QStringLiteral("/Debite.dbf");
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray all = f.readAll();
    const dbf::Header h = dbf::parseHeader(reinterpret_cast<const unsigned char *>(all.constData()), size_t(all.size()),
                                           std::uint64_t(all.size()), "Debite.dbf");
    const int field = h.fieldIndex("SOLD");
    QVERIFY(field >= 0);
    const dbf::Field &sold = h.fields[size_t(field)];
    const qsizetype at = qsizetype(h.headerLength) + qsizetype(sold.offset);
    QByteArray value = QByteArray::number(3.0, 'f', sold.decimals);
    value = QByteArray(qsizetype(sold.length) - value.size(), ' ') + value;
    QVERIFY(f.seek(at));
    QCOMPARE(f.write(value), value.size());
    f.close();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);

    // The clerk's next change of that debit keeps the other tool's amount: at once, or
    // after a refusal that re-reads the table.
    const QString update = QStringLiteral("UPDATE Debite SET RATA=RATA+1 WHERE IDDEB=1");
    try {
        clerk.exec(update);
    } catch (const VestroniaError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("modificata de alt program")), qPrintable(e.message()));
        clerk.exec(update);
    }
    Database check(folder);
    QCOMPARE(check.scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=1")).toLongLong(), 3);
    QCOMPARE(check.scalar(QStringLiteral("SELECT RATA FROM Debite WHERE IDDEB=1")).toLongLong(), 11);
}

// Another dBase tool edits a debit in place while our transaction runs; our commit then
// appends to the same file. The time and size our commit leaves must not be taken as
// "the file as we know it": the other tool's amount must be read afterwards.
void TestFolderProtocol::foreignEditDuringOurCommitIsNotHiddenByIt()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 10);
    Database clerk(folder);
    QCOMPARE(clerk.scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=2")).toLongLong(), 5);
    Transaction tx(clerk);
    clerk.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (11, 1, 5)"));
    const QString path = folder + QStringLiteral("/Debite.dbf");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray all = f.readAll();
    const dbf::Header h = dbf::parseHeader(reinterpret_cast<const unsigned char *>(all.constData()), size_t(all.size()),
                                           std::uint64_t(all.size()), "Debite.dbf");
    const dbf::Field &sold = h.fields[size_t(h.fieldIndex("SOLD"))];
    QByteArray value = QByteArray::number(3.0, 'f', sold.decimals);
    value = QByteArray(qsizetype(sold.length) - value.size(), ' ') + value;
    QVERIFY(f.seek(qsizetype(h.headerLength) + qsizetype(h.recordLength) + qsizetype(sold.offset))); // record 2
    QCOMPARE(f.write(value), value.size());
    f.close();
    tx.commit();
    QCOMPARE(clerk.scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=2")).toLongLong(), 3);
    QCOMPARE(Database(folder).scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=2")).toLongLong(), 3);
}

void TestFolderProtocol::newFilesFollowTheFolderGroupAndUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const bool groupWritable : {true, false}) {
        QTemporaryDir dir;
        const QString folder = dir.path();
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), groupWritable ? 0770 : 0755) == 0);
        createFolder(folder, 5);
        Counters::take(settingsOf(folder), QStringLiteral("IDAB")); // a settings write on its own
        {
            Database db(folder);
            Transaction tx(db); // and one journalled with a change
            const qint64 id = Counters::take(settingsOf(folder), QStringLiteral("IDCHIT"));
            db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB) VALUES (?, 1)"), {id});
            tx.commit();
            db.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=1"));
        }
        NullProgress none;
        packDataTables(folder, none); // Debite is written anew
        const mode_t expected = (0666 & ~mask) | (groupWritable ? 0060 : 0);
        for (const QString &name : {QStringLiteral("Vestronia.lck"), QStringLiteral("Vestrona.set"),
                                    QStringLiteral("Debite.dbf"), QStringLiteral("Chitante.dbf")}) {
            struct stat st;
            QVERIFY(::stat(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), &st) == 0);
            QVERIFY2((st.st_mode & 0777) == expected,
                     qPrintable(QStringLiteral("%1: %2 instead of %3").arg(name).arg(st.st_mode & 0777, 0, 8).arg(expected, 0, 8)));
        }
    }
}

// A table rewritten to add columns is a new file: it must keep the folder's group, or a
// second OS user sharing the folder through that group can no longer write it.
void TestFolderProtocol::addingColumnsGaveTheTableOurGroup()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QByteArray f = QFile::encodeName(folder);
    QVERIFY(::chmod(f.constData(), 0770) == 0);
    gid_t shared = ::getegid();
    if (::geteuid() == 0) {
        shared = ::getegid() + 4242;
    } else {
        gid_t groups[64];
        const int n = ::getgroups(64, groups);
        for (int i = 0; i < n; ++i)
            if (groups[i] != ::getegid())
                shared = groups[i];
    }
    if (shared == ::getegid())
        QSKIP("no second group to give the data folder");
    QVERIFY(::chown(f.constData(), uid_t(-1), shared) == 0);
    createFolder(folder, 3);
    const QString path = folder + QStringLiteral("/Debite.dbf");
    addColumns(path, QList<DbfColumn>{{QStringLiteral("OBS"), 'C', 20, 0}});

    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
    QCOMPARE(st.st_gid, shared);
    QCOMPARE(st.st_mode & 0777, (0666 & ~mask) | 0060);
    QCOMPARE(Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong(), 3);
}

namespace {
// Deleted records for the packing to drop.
void addDeletedRecords(const QString &folder)
{
    Database db(folder);
    Transaction tx(db);
    for (int i = 0; i < 30; ++i)
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 1, 9)"), {5000 + i});
    tx.commit();
    db.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB>=5000"));
}

QString packedState(const QString &folder)
{
    Database db(folder);
    return soldState(db) + QLatin1Char(' ') + db.scalar(QStringLiteral("SELECT COUNT(DISTINCT IDDEB) FROM Debite")).toString();
}
} // namespace

void TestFolderProtocol::packingOverDeadWritersJournalOrKilledLeavesTablesWhole()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 300);
    const QString whole = QStringLiteral("5 5 300 300");

    // Packing started over a dead writer's journal plays it back first.
    addDeletedRecords(folder);
    leaveDeadWritersJournal(folder);
    NullProgress none;
    packDataTables(folder, none);
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
    QCOMPARE(packedState(folder), whole);

    // Packing killed at each of its steps, then the next start: every table whole.
    int died = 0;
    for (int n = 1; n <= 60; ++n) {
        addDeletedRecords(folder);
        leaveDeadWritersJournal(folder);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("pack"), folder, QString::number(n)});
        QVERIFY(child.waitForFinished(30000));
        const bool killed = child.exitStatus() == QProcess::CrashExit;
        QVERIFY2(packedState(folder) == whole,
                 qPrintable(QStringLiteral("killed at step %1: %2").arg(n).arg(packedState(folder))));
        if (!killed) {
            QCOMPARE(Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong(), 300);
            break;
        }
        ++died;
    }
    QVERIFY(died >= 5);
}

namespace {
// A collection with its private work table, as the collection entry records one: the
// debits copied into DebNew (TEMP folder), a document, the debits paid.
void collectionWithWorkTable(const QString &folder, const QString &workTable, qint64 id)
{
    QFile::remove(workTable);
    QVERIFY(createTable(workTable, tableDef(TableId::Debite).columns));
    Database db(folder);
    db.attach(QStringLiteral("DebNew"), workTable);
    Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO DebNew (IDDEB, IDAB, SOLD) SELECT IDDEB, IDAB, SOLD FROM Debite WHERE IDDEB<=20"));
    db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, INCASAT) VALUES (?, 1, 20)"), {id});
    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD-1 WHERE IDDEB<=20"));
    db.exec(QStringLiteral("UPDATE DebNew SET SOLD=SOLD-1"));
    tx.commit();
}
} // namespace

void TestFolderProtocol::workTableFailureNeverReportsAStoredChangeAsFailed()
{
    QTemporaryDir dir, temp;
    const QString folder = dir.path();
    createFolder(folder, 50);
    const QString work = temp.filePath(QStringLiteral("DebNew0.dbf"));
    fileops::injectFault(~0ULL);
    collectionWithWorkTable(folder, work, 1);
    const std::uint64_t calls = fileops::countedCalls();
    fileops::injectFault(0);

    auto stored = [&] {
        return Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong();
    };
    qint64 documents = stored();
    QCOMPARE(documents, 1);
    int failed = 0;
    // Every counted operation fails once in turn: the work table's writes (a full TEMP
    // folder) among them.
    for (std::uint64_t n = 1; n <= calls + 1; ++n) {
        bool threw = false;
        fileops::injectFault(n, fileops::Fault::Error);
        try {
            collectionWithWorkTable(folder, work, 100 + qint64(n));
        } catch (const VestroniaError &) {
            threw = true;
        }
        fileops::injectFault(0);
        const qint64 now = stored();
        QVERIFY2(now == documents + (threw ? 0 : 1),
                 qPrintable(QStringLiteral("operation %1: reported %2, stored %3").arg(n).arg(threw ? QStringLiteral("failed") : QStringLiteral("done")).arg(now - documents)));
        failed += threw ? 1 : 0;
        documents = now;
        // The clerk tries again: stored once.
        if (threw) {
            collectionWithWorkTable(folder, work, 1000 + qint64(n));
            QCOMPARE(stored(), documents + 1);
            documents += 1;
        }
    }
    QVERIFY(failed >= 3);
    Database db(folder);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(DISTINCT IDCHIT) FROM Chitante")).toLongLong(), documents);
    QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite WHERE IDDEB<=20")).toLongLong(), 20 * (5 - documents));
}

void TestFolderProtocol::tornHeaderNeverReportedAsDamagedTable()
{
    // In memory when the machine has it: syncs cost nothing there, so many more commits
    // (and chances to catch a header half way) fit into the few seconds.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir dir(QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm + QStringLiteral("/vestronia-XXXXXX")
                                                                             : QDir::tempPath() + QStringLiteral("/vestronia-XXXXXX"));
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    createFolder(folder, 100);
    const QStringList kinds = {QStringLiteral("append"), QStringLiteral("append"), QStringLiteral("update"),
                               QStringLiteral("open"), QStringLiteral("open")};
    std::vector<std::unique_ptr<QProcess>> workers;
    for (int i = 0; i < kinds.size(); ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--worker"), kinds[i], folder, QStringLiteral("3000"),
                  dir.filePath(QStringLiteral("out%1").arg(i))});
        workers.push_back(std::move(p));
    }
    std::map<QString, qint64> done;
    for (int i = 0; i < kinds.size(); ++i) {
        QVERIFY(workers[size_t(i)]->waitForFinished(60000));
        QCOMPARE(workers[size_t(i)]->exitCode(), 0);
        const QList<QByteArray> lines = bytesOf(dir.filePath(QStringLiteral("out%1").arg(i))).split('\n');
        // Not one error of any kind: a torn view is neither damage nor a reason to refuse.
        QVERIFY2(lines.size() == 1 || lines.value(1).isEmpty(),
                 qPrintable(kinds[i] + QStringLiteral(": ") + QString::fromUtf8(lines.mid(1).join('\n'))));
        done[kinds[i]] += lines.value(0).toLongLong();
    }
    qInfo("%lld commits of appends, %lld of updates, %lld fresh opens", done[QStringLiteral("append")],
          done[QStringLiteral("update")], done[QStringLiteral("open")]);
    QVERIFY(done[QStringLiteral("append")] > 0 && done[QStringLiteral("update")] > 0 && done[QStringLiteral("open")] > 20);
    Database db(folder);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), done[QStringLiteral("append")]);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM DetChit")).toLongLong(), done[QStringLiteral("append")] * 50);
}

namespace {
Database *g_elsewhere = nullptr;
void commitElsewhere(sqlite3_context *ctx, int, sqlite3_value **)
{
    try {
        g_elsewhere->exec(QStringLiteral("UPDATE Abonat SET NRPERS=NRPERS+1 WHERE IDAB=1"));
        sqlite3_result_int(ctx, 1);
    } catch (const VestroniaError &e) {
        const QByteArray m = e.message().toUtf8();
        sqlite3_result_error(ctx, m.constData(), int(m.size()));
    }
}
} // namespace

void TestFolderProtocol::longReportDoesNotMakeACommitElsewhereTimeOut()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 50);
    // Commits wait a short while only: a reader holding the read range for its whole
    // statement would make every one of them fail.
    setWriterWaitMilliseconds(300);
    Database report(folder);
    Database clerk(folder);
    g_elsewhere = &clerk;
    QCOMPARE(sqlite3_create_function(report.handle(), "commit_elsewhere", 0, SQLITE_UTF8, nullptr, commitElsewhere,
                                     nullptr, nullptr),
             SQLITE_OK);
    // Every row of the report waits for a whole commit of another connection.
    const ResultSet rows =
        report.select(QStringLiteral("SELECT IDDEB, commit_elsewhere() AS C FROM Debite WHERE IDDEB<=5 ORDER BY IDDEB"));
    QCOMPARE(rows.rowCount(), 5);
    QCOMPARE(report.scalar(QStringLiteral("SELECT NRPERS FROM Abonat WHERE IDAB=1")).toLongLong(), 5);
    g_elsewhere = nullptr;
}

void TestFolderProtocol::readerWaitsForSecondWriterToPlayDeadJournal()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 400);
    const QByteArray before = bytesOf(folder + QStringLiteral("/Debite.dbf"));
    leaveDeadWritersJournal(folder);

    // A second writer has the lock but has not played the journal back yet.
    FolderLock second(folder);
    QVERIFY(second.tryLockWriter());
    int waits = 0;
    setWriterWaitMilliseconds(5000);
    setWriterWaitHandler([&](bool waiting, int) {
        if (!waiting || !second.holdsWriter())
            return;
        ++waits;
        // While the reader waits, the second writer does what it does first.
        second.lockRead(true);
        QVERIFY(second.recoverJournal());
        second.unlockRead();
        second.unlockWriter();
    });
    Database reader(folder);
    QCOMPARE(soldState(reader), QStringLiteral("5 5 400"));
    QCOMPARE(waits, 1);
    QCOMPARE(bytesOf(folder + QStringLiteral("/Debite.dbf")), before);
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));

    // A connection already open, refreshing at its next statement, waits the same way.
    leaveDeadWritersJournal(folder);
    QVERIFY(second.tryLockWriter());
    QCOMPARE(soldState(reader), QStringLiteral("5 5 400"));
    QCOMPARE(waits, 2);
}

void TestFolderProtocol::readerAfterEveryStepOfAnInterruptedRecoverySeesBeforeState()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 400);
    const QByteArray before = bytesOf(folder + QStringLiteral("/Debite.dbf"));
    int died = 0;
    for (int n = 1; n <= 40; ++n) {
        leaveDeadWritersJournal(folder);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("recover"), folder, QString::number(n)});
        QVERIFY(child.waitForFinished(30000));
        const bool killed = child.exitStatus() == QProcess::CrashExit;
        Database reader(folder);
        QVERIFY2(soldState(reader) == QStringLiteral("5 5 400"), qPrintable(QStringLiteral("killed at step %1").arg(n)));
        QCOMPARE(bytesOf(folder + QStringLiteral("/Debite.dbf")), before);
        if (!killed)
            break;
        ++died;
    }
    QVERIFY(died >= 3);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == QLatin1String("--worker"))
        return runWorker(args.mid(2));
    TestFolderProtocol t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_folderprotocol.moc"
