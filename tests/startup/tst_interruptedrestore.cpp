// A restore killed part-way, then the next start: the data folder is the old one or the
// archive byte for byte, never a mix of both, and nothing opens it before it is settled.
// The restoring process is a child of this test that dies (SIGKILL) at one of its file
// operations.

#include "backup/archive.h"
#include "backup/localbackup.h"
#include "backup/restoremark.h"
#include "core/progress.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "startup/datacheck.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "store/dbftable.h"
#include "store/fileops.h"
#include "store/folderlock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vestronia;

namespace {

Session sessionIn(const QString &home)
{
    Session s;
    s.programFolder = home;
    s.localDataFolder = home + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = home + QStringLiteral("/Temp");
    return s;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Every file of a folder but the lock file (the workstations', not the data's).
QMap<QString, QByteArray> filesOf(const QString &folder)
{
    QMap<QString, QByteArray> out;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : entries) {
        if (info.fileName() == QLatin1String(FolderLock::LockFileName))
            continue;
        QFile f(info.absoluteFilePath());
        out.insert(info.fileName(), f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>"));
    }
    return out;
}

void putFiles(const QString &folder, const QMap<QString, QByteArray> &files)
{
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        if (info.fileName() != QLatin1String(FolderLock::LockFileName))
            QFile::remove(info.absoluteFilePath());
    for (auto it = files.begin(); it != files.end(); ++it)
        writeFile(QDir(folder).filePath(it.key()), it.value());
}

void insertDebits(const QString &folder, int from, int to)
{
    Database db(folder);
    Transaction tx(db);
    Statement ins = db.prepare(
        QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, RATA, SOLD) VALUES (?, -1, 1, 0, 5, 5)"));
    for (int i = from; i <= to; ++i)
        ins.exec({i});
    tx.commit();
}

QString problemsOf(const DataCheckReport &report)
{
    QStringList out;
    for (const DataProblem &p : report.problems)
        out << p.table + QStringLiteral(": ") + p.text;
    return out.join(QLatin1Char('\n'));
}

int runWorker(const QStringList &args)
{
    // settle DATA [N]: 0 when settled, 3 when refused; dies at its N-th file operation.
    if (args.value(0) == QLatin1String("settle")) {
        if (args.size() > 2)
            fileops::injectFault(args.value(2).toULongLong(), fileops::Fault::Kill);
        try {
            settleInterruptedRestore(args.value(1));
        } catch (const BackupError &) {
            return 3;
        }
        return 0;
    }
    // restore HOME ARCHIVE N: the restore dies at its N-th file operation.
    if (args.value(0) != QLatin1String("restore"))
        return 4;
    const Session session = sessionIn(args.value(1));
    fileops::injectFault(args.value(3).toULongLong(), fileops::Fault::Kill);
    NullProgress none;
    try {
        restoreFromArchive(session, args.value(2), none);
    } catch (const VestroniaError &) {
        return 3;
    }
    return 0;
}

} // namespace

class TestInterruptedRestore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void restoreKilledAtEveryStepIsNeverLeftMixed();
    void markOfAnotherWorkstationKeepsTheFolderClosed();
    void moveAcrossFileSystemsNeverLeavesAPartialFile();
    void hostileMarkNeitherHangsNorMovesFilesOutsideTheFolders();
    void dataBakChangedAfterTheKillIsNeverTakenForTheOldData();
};

void TestInterruptedRestore::restoreKilledAtEveryStepIsNeverLeftMixed()
{
    QTemporaryDir dir;
    const Session session = sessionIn(dir.path());
    QVERIFY(QDir().mkpath(session.dataFolder));
    QVERIFY(QDir().mkpath(session.tempFolder));
    const QString data = session.dataFolder;
    createMissingTables(data);
    {
        Database db(data);
        db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (1, 'POPESCU')"));
    }
    // Debite over several copy blocks, so a kill lands inside a file's copy too.
    insertDebits(data, 1, 900);
    writeFile(data + QStringLiteral("/Model.rtf"), "{\\rtf1 model}");   // only in the archive
    writeFile(data + QStringLiteral("/Gol.txt"), "plin in salvare");     // empty in the folder later
    const QString archive = dir.filePath(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(session, archive, none);
    const QString unpackedFolder = dir.filePath(QStringLiteral("unpacked"));
    QVERIFY(QDir().mkpath(unpackedFolder));
    QVERIFY(readArchive(archive, unpackedFolder, none));
    const QMap<QString, QByteArray> archived = filesOf(unpackedFolder);

    // Later work: more debits, a file the archive does not have, one emptied.
    insertDebits(data, 901, 1000);
    QFile::remove(data + QStringLiteral("/Model.rtf"));
    writeFile(data + QStringLiteral("/Nou.txt"), "doar in datele vechi");
    writeFile(data + QStringLiteral("/Gol.txt"), QByteArray());
    const QMap<QString, QByteArray> before = filesOf(data);
    QVERIFY(before != archived);
    // A previous restore's old files: none of them may come back as "the old data".
    const QString bak = dir.filePath(QStringLiteral("DataBAK"));
    const QMap<QString, QByteArray> staleBak{{QStringLiteral("Debite.dbf"), QByteArray(300, 's')},
                                            {QStringLiteral("Nou.txt"), QByteArray("vechi de tot")}};

    int undone = 0, finished = 0;
    for (int n = 1; n <= 400; ++n) {
        QVERIFY(QDir().mkpath(bak));
        putFiles(bak, staleBak);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("restore"), dir.path(), archive, QString::number(n)});
        QVERIFY(child.waitForFinished(30000));
        const bool killed = child.exitStatus() == QProcess::CrashExit;
        QVERIFY2(killed || child.exitCode() == 0, qPrintable(QStringLiteral("step %1: exit %2").arg(n).arg(child.exitCode())));
        const bool marked = QFile::exists(restoremark::pathIn(data));

        // The next start, by one of the roads that open the folder.
        QString told;
        if (n % 3 == 0) {
            const DataCheckReport report = checkDataFolder(data, none);
            QVERIFY2(report.clean(), qPrintable(problemsOf(report)));
            told = report.notice;
        } else {
            if (marked) // nothing attaches to a mixed folder
                QVERIFY_THROWS_EXCEPTION(VestroniaError, Database{data});
            told = settleInterruptedRestore(data);
        }
        QCOMPARE(!told.isEmpty(), marked);
        QVERIFY(!QFile::exists(restoremark::pathIn(data)));
        const QMap<QString, QByteArray> now = filesOf(data);
        const bool old = now == before;
        QVERIFY2(old || now == archived,
                 qPrintable(QStringLiteral("killed at step %1: neither the old data nor the archive (%2)")
                                .arg(n)
                                .arg(QStringList(now.keys()).join(QLatin1Char(' ')))));
        if (old && marked)
            QVERIFY2(told.contains(QLatin1String("puse inapoi")) || told.contains(QLatin1String("inainte sa schimbe")),
                     qPrintable(told));
        const DataCheckReport report = checkDataFolder(data, none);
        QVERIFY2(report.clean(), qPrintable(problemsOf(report)));
        if (!killed) {
            QVERIFY(now == archived);
            qInfo("killed %d times: %d undone, %d finished", undone + finished, undone, finished);
            QVERIFY(undone >= 10);
            QVERIFY(finished >= 1);
            return;
        }
        old ? ++undone : ++finished;
        if (!old)
            putFiles(data, before);
    }
    QFAIL("the restore never ran to its end");
}

void TestInterruptedRestore::markOfAnotherWorkstationKeepsTheFolderClosed()
{
    QTemporaryDir dir;
    const Session session = sessionIn(dir.path());
    QVERIFY(QDir().mkpath(session.dataFolder));
    createMissingTables(session.dataFolder);
    const QMap<QString, QByteArray> files = filesOf(session.dataFolder);
    RestoreMark mark;
    mark.host = QStringLiteral("alt-calculator-") + restoremark::thisHost();
    mark.archive = QStringLiteral("/x/a.vrn");
    mark.backup = dir.filePath(QStringLiteral("DataBAK"));
    mark.oldNames = QStringList(files.keys());
    mark.newNames = mark.oldNames;
    QVERIFY(restoremark::write(session.dataFolder, mark).isEmpty());
    // DataBAK of this machine is not the other one's: nothing is moved, nothing opens.
    QVERIFY_THROWS_EXCEPTION(BackupError, settleInterruptedRestore(session.dataFolder));
    QVERIFY_THROWS_EXCEPTION(VestroniaError, Database{session.dataFolder});
    QVERIFY(QFile::exists(restoremark::pathIn(session.dataFolder)));
    QCOMPARE(filesOf(session.dataFolder).size(), files.size() + 1);

    // A mark cut before its end line: no file had moved, so it only goes away.
    QFile cut(restoremark::pathIn(session.dataFolder));
    QVERIFY(cut.open(QIODevice::ReadWrite));
    const QByteArray text = cut.readAll();
    QVERIFY(cut.resize(text.indexOf("\nend") + 1));
    cut.close();
    QVERIFY(settleInterruptedRestore(session.dataFolder).contains(QLatin1String("inainte sa schimbe")));
    QCOMPARE(filesOf(session.dataFolder), files);
    Database db(session.dataFolder);
}

// DataBAK on another file system than the data folder: a move is a copy, and a copy cut
// part-way must never stand at the target's name, where it would be taken for the old file.
void TestInterruptedRestore::moveAcrossFileSystemsNeverLeavesAPartialFile()
{
    QTemporaryDir dir;
    QTemporaryDir other(QStringLiteral("/dev/shm/vestronia-XXXXXX"));
    struct stat a, b;
    if (!other.isValid() || ::stat(QFile::encodeName(dir.path()).constData(), &a) != 0 ||
        ::stat(QFile::encodeName(other.path()).constData(), &b) != 0 || a.st_dev == b.st_dev)
        QSKIP("no second file system at hand");
    const QByteArray content(200 * 1024, 'd');
    const QString from = other.filePath(QStringLiteral("Debite.dbf"));
    const QString to = dir.filePath(QStringLiteral("Debite.dbf"));
    for (std::uint64_t n = 1; n < 100; ++n) {
        QFile::remove(to);
        writeFile(from, content);
        fileops::injectFault(n, fileops::Fault::Error);
        const QString why = restoremark::moveFile(from, to);
        const bool fired = fileops::faultFired();
        fileops::injectFault(0);
        QFile target(to), source(from);
        QVERIFY(!QFile::exists(to + QStringLiteral("~rst")));
        if (target.open(QIODevice::ReadOnly))
            QVERIFY2(target.readAll() == content, qPrintable(QStringLiteral("step %1: a partial file at the target").arg(n)));
        if (!why.isEmpty()) {
            QVERIFY(fired);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QCOMPARE(source.readAll(), content);
        } else {
            QVERIFY(!QFile::exists(from));
            QVERIFY(target.isOpen());
            if (!fired)
                return;
        }
    }
    QFAIL("the move never ran without a fault");
}

// A mark that is not one this program wrote: a pipe, a link to an endless device, a folder
// of old files that is no DataBAK, names of the lock file. Each is refused at once with a
// message, nothing outside the data folder is touched, and no mark is written through a link.
void TestInterruptedRestore::hostileMarkNeitherHangsNorMovesFilesOutsideTheFolders()
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("Data"));
    QVERIFY(QDir().mkpath(data));
    createMissingTables(data);
    const QString markPath = restoremark::pathIn(data);
    // Refused (exit 3) by a child within seconds; a child that hangs or reads without end is killed.
    auto refusedInChild = [&]() {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--worker"), QStringLiteral("settle"), data});
        if (!child.waitForFinished(10000)) {
            child.kill();
            child.waitForFinished(5000);
            return false;
        }
        return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 3;
    };

    QVERIFY(::mkfifo(QFile::encodeName(markPath).constData(), 0600) == 0);
    QVERIFY2(refusedInChild(), "a pipe at the mark's name");
    QVERIFY(QFile::remove(markPath));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), markPath));
    QVERIFY2(refusedInChild(), "a link to an endless device at the mark's name");
    QVERIFY(QFile::remove(markPath));

    const QString victim = dir.filePath(QStringLiteral("victim"));
    QVERIFY(QDir().mkpath(victim));
    writeFile(victim + QStringLiteral("/secret.txt"), "not the program's");
    {
        Database db(data); // the lock file is there
    }
    const QString lockPath = QDir(data).filePath(QLatin1String(FolderLock::LockFileName));
    QVERIFY(QFile::exists(lockPath));
    RestoreMark mark;
    mark.host = restoremark::thisHost();
    mark.archive = QStringLiteral("/x/a.vrn");
    mark.backup = victim;
    mark.oldNames = QStringList{QStringLiteral("secret.txt")};
    QVERIFY(restoremark::write(data, mark).isEmpty());
    QVERIFY_THROWS_EXCEPTION(BackupError, settleInterruptedRestore(data));
    mark.backup = dir.filePath(QStringLiteral("x/../victim/DataBAK"));
    QVERIFY(restoremark::write(data, mark).isEmpty());
    QVERIFY_THROWS_EXCEPTION(BackupError, settleInterruptedRestore(data));
    QVERIFY(QFile::exists(victim + QStringLiteral("/secret.txt")));
    QVERIFY(!QFile::exists(data + QStringLiteral("/secret.txt")));

    mark.backup = dir.filePath(QStringLiteral("DataBAK"));
    mark.oldNames.clear();
    mark.newNames = QStringList{QStringLiteral("Vestronia.LCK")};
    QVERIFY(restoremark::write(data, mark).isEmpty());
    QVERIFY_THROWS_EXCEPTION(BackupError, settleInterruptedRestore(data));
    QVERIFY(QFile::exists(lockPath));
    QVERIFY(QFile::remove(markPath));

    // Tens of thousands of names, none of them anywhere: answered in seconds, in a message
    // of a few lines.
    mark.oldNames.clear();
    mark.newNames.clear();
    for (int i = 0; i < 40000; ++i) {
        mark.oldNames << QStringLiteral("vechi%1.dbf").arg(i);
        mark.newNames << QStringLiteral("nou%1.dbf").arg(i);
    }
    mark.archive = dir.filePath(QStringLiteral("nu-exista.vrn"));
    QVERIFY(QDir().mkpath(mark.backup));
    QVERIFY(restoremark::write(data, mark).isEmpty());
    {
        QFile m(restoremark::pathIn(data));
        QVERIFY(m.open(QIODevice::Append));
        QVERIFY(m.write("\ncopying\n") > 0);
    }
    QElapsedTimer took;
    took.start();
    try {
        settleInterruptedRestore(data);
        QFAIL("a mark whose old files are nowhere was settled");
    } catch (const BackupError &e) {
        QVERIFY2(e.detail().size() < 4000, qPrintable(QString::number(e.detail().size())));
    }
    QVERIFY2(took.elapsed() < 20000, qPrintable(QString::number(took.elapsed())));
    QVERIFY(QFile::remove(markPath));
    mark.oldNames.clear();
    mark.newNames.clear();

    const QString outside = dir.filePath(QStringLiteral("outside.txt"));
    writeFile(outside, "outside");
    QVERIFY(QFile::link(outside, markPath));
    mark.newNames.clear();
    QVERIFY(!restoremark::write(data, mark).isEmpty());
    QFile o(outside);
    QVERIFY(o.open(QIODevice::ReadOnly));
    QCOMPARE(o.readAll(), QByteArray("outside"));
}

// DataBAK removed or short of a file after the restore died, and the undo itself killed at
// each of its steps: the folder comes back as the old data, or (the old data lost) as the
// archive; it is never a mix reported as the old data, and never closed for good.
void TestInterruptedRestore::dataBakChangedAfterTheKillIsNeverTakenForTheOldData()
{
    QTemporaryDir dir;
    const Session session = sessionIn(dir.path());
    QVERIFY(QDir().mkpath(session.dataFolder));
    QVERIFY(QDir().mkpath(session.tempFolder));
    const QString data = session.dataFolder;
    const QString bak = dir.filePath(QStringLiteral("DataBAK"));
    createMissingTables(data);
    insertDebits(data, 1, 50);
    const QString archive = dir.filePath(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(session, archive, none);
    insertDebits(data, 51, 60);
    const QMap<QString, QByteArray> before = filesOf(data);
    const QString debite = QStringLiteral("Debite.dbf");

    // Kill the restore at each step until it is killed right after its mark is written
    // (nothing moved yet) and, later, once a new file is in place.
    QMap<QString, QByteArray> markedData, markedBak, copyingData, copyingBak;
    for (int n = 1; n <= 400 && copyingData.isEmpty(); ++n) {
        putFiles(data, before);
        QVERIFY(QDir(bak).removeRecursively());
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("restore"), dir.path(), archive, QString::number(n)});
        QVERIFY(child.waitForFinished(30000));
        if (child.exitStatus() != QProcess::CrashExit)
            break;
        if (!QFile::exists(restoremark::pathIn(data)))
            continue;
        const QMap<QString, QByteArray> nowData = filesOf(data);
        const QMap<QString, QByteArray> nowBak = filesOf(bak);
        if (markedData.isEmpty() && nowBak.isEmpty() && nowData.value(QLatin1String(restoremark::FileName)).contains("\nend\n"))
            markedData = nowData;
        if (nowBak.value(debite) == before.value(debite) && nowData.contains(debite)) {
            copyingData = nowData;
            copyingBak = nowBak;
        }
    }
    QVERIFY(!markedData.isEmpty());
    QVERIFY(!copyingData.isEmpty());

    // Killed before the first move, DataBAK then deleted: the old files never left.
    putFiles(data, markedData);
    QVERIFY(QDir(bak).removeRecursively());
    QVERIFY(settleInterruptedRestore(data).contains(QLatin1String("puse inapoi")));
    QCOMPARE(filesOf(data), before);

    // A new table in place, its old one taken out of DataBAK: never "put back" as a mix.
    // While the archive cannot be read the clerk is told; with it, the restore is finished.
    const QString unpackedFolder = dir.filePath(QStringLiteral("unpacked"));
    QVERIFY(QDir().mkpath(unpackedFolder));
    QVERIFY(readArchive(archive, unpackedFolder, none));
    const QMap<QString, QByteArray> archived = filesOf(unpackedFolder);
    putFiles(data, copyingData);
    QVERIFY(QDir().mkpath(bak));
    putFiles(bak, copyingBak);
    QVERIFY(QFile::remove(QDir(bak).filePath(debite)));
    const QString aside = archive + QStringLiteral(".aside");
    QVERIFY(QFile::rename(archive, aside));
    QVERIFY_THROWS_EXCEPTION(BackupError, settleInterruptedRestore(data));
    QVERIFY(QFile::exists(restoremark::pathIn(data)));
    QVERIFY(filesOf(data) != before);
    QVERIFY(QFile::rename(aside, archive));
    QVERIFY(settleInterruptedRestore(data).contains(QLatin1String("am terminat restaurarea")));
    QCOMPARE(filesOf(data), archived);
    Database{data};

    // The restore itself failing (a full disk) at its steps (every one through the mark and
    // the first moves, then every third, to stay within seconds): it undoes itself, or the
    // next start does; the folder is the old data or the archive, never a mix.
    for (std::uint64_t n = 1; n <= 400; n += n < 12 ? 1 : 3) {
        putFiles(data, before);
        QVERIFY(QDir(bak).removeRecursively());
        fileops::injectFault(n, fileops::Fault::Error);
        bool failed = false;
        try {
            restoreFromArchive(session, archive, none);
        } catch (const VestroniaError &) {
            failed = true;
        }
        const bool fired = fileops::faultFired();
        fileops::injectFault(0);
        try {
            settleInterruptedRestore(data);
        } catch (const BackupError &e) {
            QFAIL(qPrintable(QStringLiteral("restore failed at step %1, then: %2 %3").arg(n).arg(e.message(), e.detail())));
        }
        const QMap<QString, QByteArray> now = filesOf(data);
        QVERIFY2(now == before || (now == archived && !failed),
                 qPrintable(QStringLiteral("restore failed at step %1: %2").arg(n).arg(failed ? QStringLiteral("reported failed") : QStringLiteral("reported done"))));
        if (!fired)
            break;
        QVERIFY(n < 400);
    }

    // The undo killed at each of its steps, then the next start.
    for (int n = 1; n <= 400; ++n) {
        putFiles(data, copyingData);
        putFiles(bak, copyingBak);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--worker"), QStringLiteral("settle"), data, QString::number(n)});
        QVERIFY(child.waitForFinished(30000));
        const bool killed = child.exitStatus() == QProcess::CrashExit;
        QVERIFY2(killed || child.exitCode() == 0, qPrintable(QStringLiteral("undo step %1: exit %2").arg(n).arg(child.exitCode())));
        try {
            settleInterruptedRestore(data);
        } catch (const BackupError &e) {
            QFAIL(qPrintable(QStringLiteral("undo killed at step %1, then: %2 %3").arg(n).arg(e.message(), e.detail())));
        }
        QVERIFY2(filesOf(data) == before, qPrintable(QStringLiteral("undo killed at step %1").arg(n)));
        if (!killed)
            break;
        QVERIFY(n < 400);
    }

    // A full disk (a failing write, flush, rename or removal) at each step of the undo: the
    // clerk is told, and the next start puts the old data back.
    for (std::uint64_t n = 1; n <= 400; ++n) {
        putFiles(data, copyingData);
        putFiles(bak, copyingBak);
        fileops::injectFault(n, fileops::Fault::Error);
        bool refused = false;
        try {
            settleInterruptedRestore(data);
        } catch (const BackupError &) {
            refused = true;
        }
        const bool fired = fileops::faultFired();
        fileops::injectFault(0);
        // Refused with the mark gone: only its removal was not flushed; the data is back.
        if (refused && !QFile::exists(restoremark::pathIn(data)))
            QCOMPARE(filesOf(data), before);
        try {
            settleInterruptedRestore(data);
        } catch (const BackupError &e) {
            QFAIL(qPrintable(QStringLiteral("undo failed at step %1, then: %2 %3").arg(n).arg(e.message(), e.detail())));
        }
        QVERIFY2(filesOf(data) == before, qPrintable(QStringLiteral("undo failed at step %1").arg(n)));
        if (!fired)
            return;
    }
    QFAIL("the undo never ran to its end");
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == QLatin1String("--worker"))
        return runWorker(args.mid(2));
    TestInterruptedRestore t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_interruptedrestore.moc"
