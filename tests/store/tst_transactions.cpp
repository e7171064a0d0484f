// Transactions over a shared data folder, proved the hard way: every file operation of a
// commit failed in turn (each failure must leave the files as they were), the process
// killed at every point of a commit (recovery must give exactly the before or the after
// state, readable by an outside dBase reader), and several processes writing and
// reading at once (every change reported as done counted exactly once, no reader ever
// seeing a half-written change).

#include "core/counters.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "store/fileops.h"
#include "store/folderlock.h"
#include "store/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <map>

using namespace vestronia;

namespace {

QString settingsOf(const QString &folder)
{
    return folder + QStringLiteral("/Vestrona.set");
}

void createFolder(const QString &folder, int debits)
{
    for (TableId t : {TableId::Abonat, TableId::Debite, TableId::Chitante, TableId::DetChit, TableId::DebiteArh})
        createTable(folder + QLatin1Char('/') + QLatin1String(tableDef(t).fileName), tableDef(t).columns);
    Database db(folder);
    Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, NRPERS) VALUES (1, 'CONTOR', 0)"));
    Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, DENUM, RATA, SOLD) VALUES (?, ?, ?, 10, 0)"));
    for (int i = 1; i <= debits; ++i)
        ins.exec({i, 1 + i % 50, QStringLiteral("DEBIT %1").arg(i)});
    tx.commit();
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

std::map<QString, QByteArray> folderBytes(const QString &folder)
{
    std::map<QString, QByteArray> out;
    for (const QString &name : {QStringLiteral("Abonat.dbf"), QStringLiteral("Debite.dbf"), QStringLiteral("Chitante.dbf"),
                                QStringLiteral("DetChit.dbf"), QStringLiteral("DebiteArh.dbf"), QStringLiteral("Vestrona.set")})
        out[name] = bytesOf(folder + QLatin1Char('/') + name);
    return out;
}

// A collection: ten debits paid, one document, its ten lines, ten previous rests, a number.
void recordCollection(Database &db, const QString &folder, int round)
{
    Transaction tx(db);
    const qint64 idchit = Counters::take(settingsOf(folder), QStringLiteral("IDCHIT"));
    db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, INCASAT) VALUES (?, 1, 'CHITANTA', 100)"), {idchit});
    for (int i = 0; i < 10; ++i) {
        const int iddeb = 1 + (round * 10 + i) % 200;
        db.exec(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) SELECT ?, IDDEB, IDAB, SOLD FROM Debite "
                               "WHERE IDDEB=?"),
                {idchit, iddeb});
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+10 WHERE IDDEB=?"), {iddeb});
        db.exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, CURENT) VALUES (?, ?, ?, 10)"),
                {idchit * 100 + i, idchit, iddeb});
    }
    tx.commit();
}

// ---- The crash worker: one large transaction over two tables and the settings file ----

constexpr int CrashDebits = 3000;
constexpr int CrashLines = 500;

void bigChange(const QString &folder)
{
    Database db(folder);
    Transaction tx(db);
    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
    const qint64 first = Counters::takeBlock(settingsOf(folder), QStringLiteral("IDDCHIT"), CrashLines);
    Statement ins = db.prepare(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT) VALUES (?, ?)"));
    for (int i = 0; i < CrashLines; ++i)
        ins.exec({first + i, first});
    tx.commit();
}

// A large commit of scattered changes: hundreds of runs of updated debits (past the one
// span lock), more than a megabyte of appends to two tables, a counter block.
void scatteredChange(const QString &folder)
{
    Database db(folder);
    Transaction tx(db);
    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDDEB % 7 = 3 OR IDDEB BETWEEN 1000 AND 1400"));
    const qint64 first = Counters::takeBlock(settingsOf(folder), QStringLiteral("IDDCHIT"), 9000);
    Statement deb = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 1, 5)"));
    Statement arh = db.prepare(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, SOLD) VALUES (?, ?, 7)"));
    for (int i = 0; i < 9000; ++i) {
        deb.exec({CrashDebits + 1 + i});
        arh.exec({first + i, i + 1});
    }
    tx.commit();
}

void writeFolderBytes(const QString &folder, const std::map<QString, QByteArray> &files)
{
    for (const auto &[name, bytes] : files) {
        QFile f(folder + QLatin1Char('/') + name);
        if (bytes == "<missing>") {
            f.remove();
            continue;
        }
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), qint64(bytes.size()));
    }
}

// The generation the folder is at; fails the test when it is not one whole state.
int checkWhole(const QString &folder)
{
    Database db(folder);
    const ResultSet s = db.select(QStringLiteral("SELECT MIN(SOLD), MAX(SOLD), COUNT(*) FROM Debite"));
    const int g = int(s.integer(0, QStringLiteral("MIN(SOLD)")));
    if (s.integer(0, QStringLiteral("MAX(SOLD)")) != g || s.integer(0, QStringLiteral("COUNT(*)")) != CrashDebits)
        return -1;
    const ResultSet d = db.select(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT IDDCHIT), MAX(IDDCHIT) FROM DetChit"));
    if (d.integer(0, QStringLiteral("COUNT(*)")) != qint64(g) * CrashLines ||
        d.integer(0, QStringLiteral("COUNT(DISTINCT IDDCHIT)")) != qint64(g) * CrashLines ||
        (g > 0 && d.integer(0, QStringLiteral("MAX(IDDCHIT)")) != qint64(g) * CrashLines))
        return -2;
    if (Counters::peek(settingsOf(folder), QStringLiteral("IDDCHIT")) != qint64(g) * CrashLines + 1)
        return -3;
    return g;
}

// ---- The stress workers -----------------------------------------------------------------

int runWorker(const QStringList &args)
{
    const QString kind = args.value(0);
    const QString folder = args.value(1);
    if (kind == QLatin1String("crash")) {
        fileops::injectFault(args.value(2).toULongLong(), fileops::Fault::Kill);
        bigChange(folder);
        return 0;
    }
    if (kind == QLatin1String("crashscattered")) {
        fileops::injectFault(args.value(2).toULongLong(), fileops::Fault::Kill);
        scatteredChange(folder);
        return 0;
    }
    const qint64 ms = args.value(2).toLongLong();
    QFile out(args.value(3));
    if (!out.open(QIODevice::WriteOnly))
        return 3;
    const int me = args.value(4).toInt();
    qint64 done = 0;
    QStringList problems;
    QElapsedTimer clock;
    clock.start();
    try {
        Database db(folder);
        while (clock.elapsed() < ms) {
            try {
                if (kind == QLatin1String("incr")) {
                    db.exec(QStringLiteral("UPDATE Abonat SET NRPERS=NRPERS+1 WHERE IDAB=1"));
                } else if (kind == QLatin1String("insert")) {
                    // The key is read from the table: only isolation keeps it unique.
                    Transaction tx(db);
                    const qint64 next = db.scalar(QStringLiteral("SELECT MAX(IDCHIT) FROM Chitante")).toLongLong() + 1;
                    db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB) VALUES (?, ?)"), {next, me});
                    tx.commit();
                } else if (kind == QLatin1String("bulk")) {
                    Transaction tx(db);
                    const qint64 first = Counters::takeBlock(settingsOf(folder), QStringLiteral("IDDCHIT"), 200);
                    Statement ins = db.prepare(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDAB) VALUES (?, ?)"));
                    for (int i = 0; i < 200; ++i)
                        ins.exec({first + i, me});
                    tx.commit();
                } else if (kind == QLatin1String("read")) {
                    const ResultSet r = db.select(
                        QStringLiteral("SELECT COUNT(*) AS N, COUNT(DISTINCT IDDCHIT) AS D FROM DetChit"));
                    const qint64 n = r.integer(0, QStringLiteral("N"));
                    if (n % 200 != 0 || r.integer(0, QStringLiteral("D")) != n)
                        problems << QStringLiteral("torn DetChit: %1 rows, %2 distinct").arg(n).arg(r.integer(0, QStringLiteral("D")));
                    db.scalar(QStringLiteral("SELECT SUM(NRPERS) FROM Abonat"));
                    db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante"));
                } else {
                    return 4;
                }
                ++done;
            } catch (const VestroniaError &e) {
                problems << e.message();
            }
        }
    } catch (const VestroniaError &e) {
        problems << e.message();
    }
    out.write(QByteArray::number(done) + '\n' + problems.join(QLatin1Char('\n')).toUtf8());
    return 0;
}

} // namespace

class TestTransactions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void journalRoundTripAndRefusals();
    void everyFailedFileOperationLeavesTheBeforeState_data();
    void everyFailedFileOperationLeavesTheBeforeState();
    void killedAtEveryPointOfACommitRecoversWhole();
    void killedInALargeScatteredCommitLeavesBeforeOrAfterBytes();
    void processesWritingAndReadingAtOnce();
    void anotherConnectionSeesAppendsWithoutReadingAgain();
    void localOnlyLocksAreDetected();
};

void TestTransactions::journalRoundTripAndRefusals()
{
    std::vector<journal::FileImage> files(2);
    files[0].name = "Debite.dbf";
    files[0].oldSize = 4242;
    files[0].chunks = {{0, std::string("\x03\x7c\x0b", 3)}, {1000, std::string(150, 'x')}};
    files[1].name = "Vestrona.set";
    files[1].existed = false;
    const std::string bytes = journal::encode(files);
    const auto back = journal::decode(bytes);
    QVERIFY(back);
    QCOMPARE(back->size(), size_t(2));
    QCOMPARE((*back)[0].chunks[1].offset, std::uint64_t(1000));
    QCOMPARE((*back)[0].chunks[1].bytes, std::string(150, 'x'));
    QCOMPARE((*back)[0].oldSize, std::uint64_t(4242));
    QVERIFY(!(*back)[1].existed);
    // An unfinished journal (any prefix) or a flipped byte is never taken for a complete one.
    for (size_t cut = 0; cut < bytes.size(); cut += 7)
        QVERIFY(!journal::decode(std::string_view(bytes).substr(0, cut)));
    std::string flipped = bytes;
    flipped[30] ^= 1;
    QVERIFY(!journal::decode(flipped));
    // A name that leaves the folder is refused even with a valid checksum.
    files[0].name = "../outside";
    QVERIFY(!journal::decode(journal::encode(files)));
    QVERIFY(!journal::isPlainFileName("a/b") && !journal::isPlainFileName("..") && journal::isPlainFileName("Log.dbf"));
}

void TestTransactions::everyFailedFileOperationLeavesTheBeforeState_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("I/O error") << int(fileops::Fault::Error);
    QTest::newRow("short write") << int(fileops::Fault::ShortWrite);
}

void TestTransactions::everyFailedFileOperationLeavesTheBeforeState()
{
    QFETCH(int, fault);
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 200);
    Counters::set(settingsOf(folder), QStringLiteral("IDCHIT"), 1);

    // How many counted operations one collection makes.
    {
        Database db(folder);
        fileops::injectFault(~0ULL);
        recordCollection(db, folder, 0);
    }
    const std::uint64_t calls = fileops::countedCalls();
    fileops::injectFault(0);
    QVERIFY(calls > 20);

    int failed = 0;
    for (std::uint64_t n = 1; n <= calls + 2; ++n) {
        const auto before = folderBytes(folder);
        const qint64 docsBefore = Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong();
        bool threw = false;
        {
            Database db(folder);
            fileops::injectFault(n, fileops::Fault(fault));
            try {
                recordCollection(db, folder, int(n));
            } catch (const VestroniaError &) {
                threw = true;
            }
            fileops::injectFault(0);
        }
        Database check(folder);
        const qint64 docs = check.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong();
        if (threw) {
            ++failed;
            const auto after = folderBytes(folder);
            for (const auto &[name, bytes] : before)
                QVERIFY2(after.at(name) == bytes,
                         qPrintable(QStringLiteral("operation %1 of %2 left a change in %3").arg(n).arg(calls).arg(name)));
            QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
        } else {
            QCOMPARE(docs, docsBefore + 1);
        }
        // Lines, previous rests and the counter always agree with the documents.
        QCOMPARE(check.scalar(QStringLiteral("SELECT COUNT(*) FROM DetChit")).toLongLong(), docs * 10);
        QCOMPARE(check.scalar(QStringLiteral("SELECT COUNT(*) FROM DebiteArh")).toLongLong(), docs * 10);
        QCOMPARE(Counters::peek(settingsOf(folder), QStringLiteral("IDCHIT")), docs + 1);
        QCOMPARE(check.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), docs * 100);
    }
    // Refused locks are waited out and short writes completed, so not every injected
    // fault fails the collection; the writes, syncs, renames and removals do.
    QVERIFY2(failed >= 8, qPrintable(QStringLiteral("only %1 of %2 failures reached the caller").arg(failed).arg(calls)));
}

void TestTransactions::killedAtEveryPointOfACommitRecoversWhole()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, CrashDebits);
    Counters::set(settingsOf(folder), QStringLiteral("IDDCHIT"), 1);
    fileops::injectFault(~0ULL);
    bigChange(folder);
    const std::uint64_t calls = fileops::countedCalls();
    fileops::injectFault(0);
    QCOMPARE(checkWhole(folder), 1);

    int generation = 1;
    int died = 0;
    const std::uint64_t step = std::max<std::uint64_t>(1, calls / 60);
    for (std::uint64_t n = 1; n <= calls + 1; n += step) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("crash"), folder, QString::number(n)});
        QVERIFY(child.waitForFinished(60000));
        const bool killed = child.exitStatus() == QProcess::CrashExit;
        died += killed ? 1 : 0;
        // The next connection finds the journal, if any, and puts the files back.
        const int g = checkWhole(folder);
        QVERIFY2(g == generation || g == generation + 1,
                 qPrintable(QStringLiteral("killed at operation %1: state %2 after %3").arg(n).arg(g).arg(generation)));
        if (!killed)
            QCOMPARE(g, generation + 1);
        generation = g;
    }
    QVERIFY(died > 10);
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));

    // An outside dBase reader reads both tables whole.
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import sys, dbfread\n"
                             "a = list(dbfread.DBF(sys.argv[1] + '/Debite.dbf', encoding='cp1250'))\n"
                             "b = list(dbfread.DBF(sys.argv[1] + '/DetChit.dbf', encoding='cp1250'))\n"
                             "print(len(a), len(b), len(set(float(r['SOLD']) for r in a)))\n"),
              folder});
    QVERIFY(py.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(py.readAllStandardOutput()).trimmed(),
             QStringLiteral("%1 %2 1").arg(CrashDebits).arg(generation * CrashLines));
}

// Killed at every step of a large scattered commit over two tables and the settings file
// (the journal streamed in pieces, the seal, the span lock, hundreds of record writes): the
// next connection finds every file byte for byte as before, or as after.
void TestTransactions::killedInALargeScatteredCommitLeavesBeforeOrAfterBytes()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, CrashDebits);
    Counters::set(settingsOf(folder), QStringLiteral("IDDCHIT"), 1);
    const auto before = folderBytes(folder);
    fileops::injectFault(~0ULL);
    scatteredChange(folder);
    const std::uint64_t calls = fileops::countedCalls();
    fileops::injectFault(0);
    const auto after = folderBytes(folder);
    QVERIFY(after.at(QStringLiteral("Debite.dbf")).size() > before.at(QStringLiteral("Debite.dbf")).size() + (1 << 20));

    int died = 0;
    const std::uint64_t step = std::max<std::uint64_t>(1, calls / 40);
    for (std::uint64_t n = 1; n <= calls + 1; n += (n < 30 || n + 15 > calls) ? 1 : step) {
        writeFolderBytes(folder, before);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("crashscattered"), folder, QString::number(n)});
        QVERIFY(child.waitForFinished(60000));
        died += child.exitStatus() == QProcess::CrashExit ? 1 : 0;
        Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM DebiteArh")); // plays any journal
        const auto now = folderBytes(folder);
        QVERIFY2(now == before || now == after,
                 qPrintable(QStringLiteral("killed at operation %1 of %2: neither before nor after").arg(n).arg(calls)));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
    }
    QVERIFY(died > 30);
}

void TestTransactions::processesWritingAndReadingAtOnce()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 10);
    const QStringList kinds = {QStringLiteral("incr"), QStringLiteral("incr"), QStringLiteral("insert"),
                               QStringLiteral("insert"), QStringLiteral("bulk"), QStringLiteral("read")};
    std::vector<std::unique_ptr<QProcess>> workers;
    for (int i = 0; i < kinds.size(); ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--worker"), kinds[i], folder, QStringLiteral("3000"),
                  dir.filePath(QStringLiteral("out%1").arg(i)), QString::number(i + 1)});
        workers.push_back(std::move(p));
    }
    std::map<QString, qint64> done;
    for (int i = 0; i < kinds.size(); ++i) {
        QVERIFY(workers[size_t(i)]->waitForFinished(90000));
        QCOMPARE(workers[size_t(i)]->exitCode(), 0);
        const QList<QByteArray> lines = bytesOf(dir.filePath(QStringLiteral("out%1").arg(i))).split('\n');
        QVERIFY2(lines.size() == 1 || lines.value(1).isEmpty(),
                 qPrintable(kinds[i] + QStringLiteral(": ") + QString::fromUtf8(lines.mid(1).join('\n'))));
        done[kinds[i]] += lines.value(0).toLongLong();
    }
    QVERIFY(done[QStringLiteral("incr")] > 0 && done[QStringLiteral("insert")] > 0 && done[QStringLiteral("bulk")] > 0);
    QVERIFY(done[QStringLiteral("read")] > 0);

    Database db(folder);
    QCOMPARE(db.scalar(QStringLiteral("SELECT NRPERS FROM Abonat WHERE IDAB=1")).toLongLong(), done[QStringLiteral("incr")]);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), done[QStringLiteral("insert")]);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(DISTINCT IDCHIT) FROM Chitante")).toLongLong(), done[QStringLiteral("insert")]);
    const qint64 lines = done[QStringLiteral("bulk")] * 200;
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(DISTINCT IDDCHIT) FROM DetChit")).toLongLong(), lines);
    QCOMPARE(Counters::peek(settingsOf(folder), QStringLiteral("IDDCHIT")), lines + 1);
}

void TestTransactions::anotherConnectionSeesAppendsWithoutReadingAgain()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    createFolder(folder, 2000);
    Database reader(folder);
    Database writer(folder);
    QCOMPARE(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toLongLong(), 40);
    {
        Transaction tx(writer);
        for (int i = 0; i < 100; ++i)
            writer.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 7, 1)"), {5000 + i});
        tx.commit();
    }
    // The appended records reach the reader's index; records changed in place reach it too.
    QCOMPARE(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toLongLong(), 140);
    writer.exec(QStringLiteral("UPDATE Debite SET IDAB=8 WHERE IDDEB=5000"));
    QCOMPARE(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toLongLong(), 139);
    writer.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=5001"));
    QCOMPARE(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toLongLong(), 138);
    // A rolled-back change reaches nobody.
    writer.begin();
    writer.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (9999, 7, 1)"));
    writer.rollback();
    QCOMPARE(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toLongLong(), 138);
    QCOMPARE(writer.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toLongLong(), 138);
}

void TestTransactions::localOnlyLocksAreDetected()
{
    const QString info = QStringLiteral(
        "22 1 0:21 / / rw,relatime - ext4 /dev/vda rw\n"
        "40 22 0:40 / /mnt/nfs rw,relatime - nfs4 srv:/export rw,vers=4.2,local_lock=none\n"
        "41 22 0:41 / /mnt/old rw,relatime - nfs srv:/old rw,vers=3,nolock\n"
        "42 22 0:42 / /mnt/smb rw,relatime - cifs //srv/date rw,vers=3.0,nobrl\n"
        "43 22 0:43 / /mnt/smb2 rw,relatime - cifs //srv/bune rw,vers=3.0\n");
    QVERIFY(!locksAreLocalOnly(QStringLiteral("/home/x/Data"), info));
    QVERIFY(!locksAreLocalOnly(QStringLiteral("/mnt/nfs/Data"), info));
    QVERIFY(locksAreLocalOnly(QStringLiteral("/mnt/old/Data"), info));
    QVERIFY(locksAreLocalOnly(QStringLiteral("/mnt/smb/Data"), info));
    QVERIFY(!locksAreLocalOnly(QStringLiteral("/mnt/smb2/Data"), info));
    QVERIFY(!locksAreLocalOnly(QStringLiteral("/mnt/smbother"), info));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == QLatin1String("--worker"))
        return runWorker(args.mid(2));
    TestTransactions t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_transactions.moc"
