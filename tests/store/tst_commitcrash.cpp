// A small commit over three files (records changed in place, records appended, a counter in
// the settings file), the process killed at every one of its counted file operations in
// turn: journal pieces, its sync, its rename, the folder sync, the data writes and syncs,
// the removal. The next connection must find every file byte for byte as before or as after.
// And the playback of a large journal: memory bounded (measured in a child process), and a
// journal damaged near its end refused before any byte is written back.

#include "core/counters.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "store/dbfundo.h"
#include "store/fileops.h"
#include "store/journal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <map>
#include <sys/resource.h>

using namespace vestronia;

namespace {

const QStringList Files = {QStringLiteral("Debite.dbf"), QStringLiteral("Chitante.dbf"), QStringLiteral("Vestrona.set")};

QString settingsOf(const QString &folder)
{
    return folder + QStringLiteral("/Vestrona.set");
}

std::map<QString, QByteArray> folderBytes(const QString &folder)
{
    std::map<QString, QByteArray> out;
    for (const QString &name : Files) {
        QFile f(folder + QLatin1Char('/') + name);
        out[name] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    return out;
}

void writeFolderBytes(const QString &folder, const std::map<QString, QByteArray> &files)
{
    for (const auto &[name, bytes] : files) {
        QFile f(folder + QLatin1Char('/') + name);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
}

void change(const QString &folder)
{
    Database db(folder);
    Transaction tx(db);
    db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+3 WHERE IDDEB IN (2, 90, 91, 250)"));
    const qint64 doc = Counters::take(settingsOf(folder), QStringLiteral("IDCHIT"));
    for (int i = 0; i < 3; ++i)
        db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, INCASAT) VALUES (?, 1, 10)"), {doc * 10 + i});
    tx.commit();
}

constexpr qint64 BigBytes = 48 << 20;

// A journal of BigBytes of before-images (1 MB chunks of 'o') over Big.dat, which holds 'n'
// and grew by a megabyte, and of New.dat, which the commit created.
void writeBigJournal(const QString &folder)
{
    QFile big(folder + QStringLiteral("/Big.dat"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    const QByteArray mb(1 << 20, 'n');
    for (qint64 i = 0; i < BigBytes / mb.size() + 1; ++i)
        big.write(mb);
    big.close();
    QFile fresh(folder + QStringLiteral("/New.dat"));
    QVERIFY(fresh.open(QIODevice::WriteOnly));
    fresh.write("new");
    fresh.close();
    journal::Writer w;
    QVERIFY(w.open(QFile::encodeName(folder + QStringLiteral("/Vestronia.jrn")).toStdString()));
    const std::uint32_t chunks = std::uint32_t(BigBytes >> 20);
    QVERIFY(w.beginFile("Big.dat", true, std::uint64_t(BigBytes), chunks));
    const std::string before(1 << 20, 'o');
    for (std::uint32_t c = 0; c < chunks; ++c)
        QVERIFY(w.addChunk(std::uint64_t(c) << 20, before));
    QVERIFY(w.beginFile("New.dat", false, 0, 0));
    QVERIFY(w.finish());
}

// Plays the folder's journal back; prints the peak resident memory before and after, in KB.
int playBackWorker(const QString &folder)
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const long before = usage.ru_maxrss;
    try {
        journal::playBack(QFile::encodeName(folder).toStdString(),
                          QFile::encodeName(folder + QStringLiteral("/Vestronia.jrn")).toStdString());
    } catch (const journal::DamagedJournal &) {
        return 5;
    }
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld %ld\n", before, long(usage.ru_maxrss));
    return 0;
}

} // namespace

class TestCommitCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedAtEveryOperationOfACommit()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        for (TableId t : {TableId::Debite, TableId::Chitante})
            createTable(folder + QLatin1Char('/') + QLatin1String(tableDef(t).fileName), tableDef(t).columns);
        {
            Database db(folder);
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 1, 10)"));
            for (int i = 1; i <= 300; ++i)
                ins.exec({i});
            db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB) VALUES (1, 1)"));
            tx.commit();
        }
        Counters::set(settingsOf(folder), QStringLiteral("IDCHIT"), 5);
        const auto before = folderBytes(folder);
        fileops::injectFault(~0ULL);
        change(folder);
        const std::uint64_t calls = fileops::countedCalls();
        fileops::injectFault(0);
        const auto after = folderBytes(folder);
        QVERIFY(after != before);
        QVERIFY(calls > 10 && calls < 500);

        int died = 0, asBefore = 0, asAfter = 0;
        for (std::uint64_t n = 1; n <= calls + 1; ++n) {
            writeFolderBytes(folder, before);
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--worker"), folder, QString::number(n)});
            QVERIFY(child.waitForFinished(30000));
            const bool killed = child.exitStatus() == QProcess::CrashExit;
            died += killed ? 1 : 0;
            if (!killed)
                QCOMPARE(child.exitCode(), 0);
            Database(folder).scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")); // plays any journal
            const auto now = folderBytes(folder);
            QVERIFY2(now == before || now == after,
                     qPrintable(QStringLiteral("killed at operation %1 of %2: neither before nor after").arg(n).arg(calls)));
            asBefore += now == before ? 1 : 0;
            asAfter += now == after ? 1 : 0;
            if (!killed)
                QVERIFY(now == after);
            QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
        }
        // Killed at every operation but past the last, and both outcomes were reached.
        QCOMPARE(died, int(calls));
        QVERIFY(asBefore > 0 && asAfter > 0);
    }

    // A journal left under its temporary name by a writer killed before the rename is
    // never played: the files stay as they are, and the next commit writes over it.
    void partialJournalUnderItsTemporaryNameIsIgnored()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        createTable(folder + QStringLiteral("/Debite.dbf"), tableDef(TableId::Debite).columns);
        {
            Database db(folder);
            db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, SOLD) VALUES (1, 10)"));
        }
        const QByteArray table = folderBytes(folder).at(QStringLiteral("Debite.dbf"));
        std::vector<journal::FileImage> files(1);
        files[0].name = "Debite.dbf";
        files[0].oldSize = 10;
        files[0].chunks = {{0, std::string(10, 'z')}};
        const std::string jrn = QFile::encodeName(folder + QStringLiteral("/Vestronia.jrn")).toStdString();
        const std::string whole = journal::encode(files);
        QFile temp(QFile::decodeName(QByteArray::fromStdString(journal::Writer::tempPath(jrn))));
        QVERIFY(temp.open(QIODevice::WriteOnly));
        temp.write(whole.data(), qint64(whole.size()));
        temp.close();
        {
            Database db(folder);
            QCOMPARE(db.scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=1")).toInt(), 10);
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=11 WHERE IDDEB=1"));
        }
        QVERIFY(folderBytes(folder).at(QStringLiteral("Debite.dbf")) != table);
        QCOMPARE(Database(folder).scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=1")).toInt(), 11);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
        QVERIFY(!temp.exists());
    }

    void largeJournalPlaysBackInBoundedMemory()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        writeBigJournal(folder);
        QVERIFY(QFileInfo(folder + QStringLiteral("/Vestronia.jrn")).size() > BigBytes);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--playback"), folder});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QStringList kb = QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '));
        QCOMPARE(kb.size(), 2);
        const qint64 grown = kb[1].trimmed().toLongLong() - kb[0].toLongLong();
        // Reading it whole would need the journal's size at least once more.
        QVERIFY2(grown < 16 * 1024, qPrintable(QStringLiteral("playback grew by %1 KB").arg(grown)));
        QFile big(folder + QStringLiteral("/Big.dat"));
        QVERIFY(big.open(QIODevice::ReadOnly));
        QCOMPARE(big.size(), BigBytes);
        QVERIFY(big.readAll() == QByteArray(int(BigBytes), 'o'));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/New.dat")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
    }

    // The checksum covers the whole journal and is checked before the first byte goes back:
    // a sealed journal damaged in its last megabyte leaves every file as it is, and stays.
    void journalDamagedNearItsEndTouchesNothing()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        writeBigJournal(folder);
        QFile jrn(folder + QStringLiteral("/Vestronia.jrn"));
        QVERIFY(jrn.open(QIODevice::ReadWrite));
        QVERIFY(jrn.seek(jrn.size() - 1000));
        QVERIFY(jrn.write("X", 1) == 1);
        jrn.close();
        const QByteArray bigBefore = [&] {
            QFile f(folder + QStringLiteral("/Big.dat"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--playback"), folder});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 5);
        QFile big(folder + QStringLiteral("/Big.dat"));
        QVERIFY(big.open(QIODevice::ReadOnly));
        QVERIFY(big.readAll() == bigBefore);
        QVERIFY(QFile::exists(folder + QStringLiteral("/New.dat")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
    }

    // The undo log of a large change spills to an unnamed file of the scratch folder given
    // (the program's TEMP folder), and still undoes; with no usable folder it falls back to
    // the system's temporary folder.
    void undoLogSpillsToTheScratchFolder()
    {
        QTemporaryDir dir, scratch;
        const QString folder = dir.path();
        createTable(folder + QStringLiteral("/Debite.dbf"), tableDef(TableId::Debite).columns);
        {
            Database db(folder);
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, SOLD) VALUES (?, 10)"));
            for (int i = 1; i <= 30000; ++i)
                ins.exec({i});
            tx.commit();
        }
        const QString canonical = QFileInfo(scratch.path()).canonicalFilePath();
        auto openInScratch = [&] {
            int n = 0;
            for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System))
                n += fd.symLinkTarget().startsWith(canonical + QLatin1Char('/')) ? 1 : 0;
            return n;
        };
        dbfimpl::UndoLog::setMemoryBlocks(1);
        for (const QString &given : QStringList{canonical, folder + QStringLiteral("/missing")}) {
            fileops::setScratchFolder(QFile::encodeName(given).toStdString());
            Database db(folder);
            {
                Transaction tx(db);
                db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
                db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
                QCOMPARE(openInScratch(), given == canonical ? 1 : 0);
            } // rolled back from the log
            QCOMPARE(openInScratch(), 0);
            QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toLongLong(), 300000LL);
            QCOMPARE(QDir(canonical).entryList(QDir::Files | QDir::Hidden).size(), 0);
        }
        fileops::setScratchFolder(std::string());
        dbfimpl::UndoLog::setMemoryBlocks(32);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == QLatin1String("--worker")) {
        fileops::injectFault(args.value(3).toULongLong(), fileops::Fault::Kill);
        change(args.value(2));
        return 0;
    }
    if (args.size() > 2 && args[1] == QLatin1String("--playback"))
        return playBackWorker(args[2]);
    TestCommitCrash t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_commitcrash.moc"
