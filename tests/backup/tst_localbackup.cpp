// Local backup and restore of the data folder: what a save packs and cleans, the
// refusals, the automatic save names, the restore that replaces the data folder, and the
// guarantees that a bad archive or a failure part-way leaves the data folder as it was.

#include "backup/archive.h"
#include "backup/localbackup.h"
#include "backup/restoremark.h"
#include "core/clock.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "store/fileops.h"
#include "store/folderlock.h"
#include "store/journal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace vestronia;

namespace {

class RecordingProgress final : public Progress
{
public:
    void setText(const QString &text) override { texts << text; }
    void setTotal(int) override {}
    void start() override {}
    void step() override {}
    void finish() override { ++finishes; }
    QStringList texts;
    int finishes = 0;
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QMap<QString, QByteArray> filesOf(const QString &folder)
{
    QMap<QString, QByteArray> out;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : entries)
        if (info.fileName() != QLatin1String(FolderLock::LockFileName)) // the workstations', not the data's
            out.insert(info.fileName(), info.isDir() ? QByteArray("<dir>") : readFile(info.absoluteFilePath()));
    return out;
}

// A dBase-looking file: 32-byte header whose byte 28 (production index) is set.
QByteArray fakeTable(char fill)
{
    QByteArray t(200, fill);
    t[0] = 0x03;
    t[28] = 0x01;
    return t;
}

QByteArray int32le(qint32 v)
{
    QByteArray out(4, '\0');
    qToLittleEndian(v, out.data());
    return out;
}

QByteArray entry(const QByteArray &name, const QByteArray &data, qint32 size)
{
    uLongf length = compressBound(uLong(data.size()));
    QByteArray z(int(length), '\0');
    compress2(reinterpret_cast<Bytef *>(z.data()), &length, reinterpret_cast<const Bytef *>(data.constData()),
              uLong(data.size()), 9);
    z.resize(int(length));
    return int32le(qint32(name.size())) + name + int32le(size) + z;
}

struct Home
{
    QTemporaryDir dir;
    Session session;
    Home()
    {
        session.programFolder = dir.path();
        session.localDataFolder = dir.filePath(QStringLiteral("Data"));
        session.dataFolder = session.localDataFolder;
        session.tempFolder = dir.filePath(QStringLiteral("Temp"));
        QDir().mkpath(session.dataFolder);
        QDir().mkpath(session.tempFolder);
    }
    QString data(const QString &name) const { return QDir(session.dataFolder).filePath(name); }
    QString path(const QString &name) const { return dir.filePath(name); }
};

void fillData(const Home &home)
{
    writeFile(home.data(QStringLiteral("Debite.dbf")), fakeTable('d'));
    writeFile(home.data(QStringLiteral("ABONAT.DBF")), fakeTable('a'));
    writeFile(home.data(QStringLiteral("Abonat.mdx")), "index");
    writeFile(home.data(QStringLiteral("Vestrona.set")), "[INDEX]\r\nIDAB=5\r\n");
    writeFile(home.data(QStringLiteral("gol.txt")), QByteArray());
    QDir().mkpath(home.data(QStringLiteral("sub")));
    writeFile(home.data(QStringLiteral("sub/x.txt")), "inner");
}

// A data folder of real tables: one subscriber and `debits` debits of SOLD 5.
void fillTables(const Home &home, int debits)
{
    for (TableId t : {TableId::Abonat, TableId::Debite, TableId::Chitante})
        createTable(home.data(QLatin1String(tableDef(t).fileName)), tableDef(t).columns);
    Database db(home.session.dataFolder);
    Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (1, 'POPESCU')"));
    for (int i = 1; i <= debits; ++i)
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 1, 5)"), {i});
    tx.commit();
}

// What a writer killed half way through its write phase leaves: a complete journal and
// half of Debite changed.
void leaveDeadWritersJournal(const Home &home)
{
    const QString debite = home.data(QStringLiteral("Debite.dbf"));
    const QByteArray before = readFile(debite);
    {
        Database db(home.session.dataFolder);
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
    }
    const QByteArray after = readFile(debite);
    journal::FileImage img;
    img.name = "Debite.dbf";
    img.oldSize = std::uint64_t(before.size());
    img.chunks.push_back({0, std::string(before.constData(), size_t(before.size()))});
    QVERIFY(journal::writeJournal(QFile::encodeName(home.data(QStringLiteral("Vestronia.jrn"))).toStdString(), {img}));
    writeFile(debite, after.left(after.size() / 2) + before.mid(after.size() / 2));
}

QMap<QString, QByteArray> unpacked(const Home &home, const QString &archive)
{
    const QString to = home.path(QStringLiteral("unpacked"));
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    NullProgress none;
    if (!readArchive(archive, to, none))
        return {};
    return filesOf(to);
}

} // namespace

class TestLocalBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Clock::setToday(QDate(2025, 3, 5)); }
    void cleanup() { Clock::reset(); }

    void packCleansTheCopyNotTheData();
    void packRefusesAnEmptyDataFolder();
    void packReplacesAnExistingArchive();
    void dataFolderPaths_data();
    void dataFolderPaths();
    void restoreReplacesTheDataFolder();
    void restoreRefuses_data();
    void restoreRefuses();
    void restoreRollsBackWhenCopyingFails();
    void automaticSaveNames();
    void automaticSaveInBackupModeWritesTheOpenedFile();
    void automaticSaveFailureHasItsMessage();
    void openBackupUnpacksIntoTheFolder();
    void automaticSaveKeepsADamagedOpenedBackupUntouched();
    void packReportsTheNamesItHadToChange();
    void restoreRefusedWhileAnotherWorkstationIsAttached();
    void restoreOverHotJournalGivesExactlyTheArchive();
    void backupOverDeadWritersJournalHoldsTheBeforeState();
    void restoredFilesKeptTheRestoringUsersGroupAndMode();
    void restoreReportedFailedAfterReplacingTheFiles();
};

// Whatever file operation of a restore fails, the clerk is told the truth: a restore
// reported failed leaves the data folder as it was, one reported done leaves the archive.
void TestLocalBackup::restoreReportedFailedAfterReplacingTheFiles()
{
    Home home;
    fillTables(home, 3);
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(home.session, archive, none);
    const QMap<QString, QByteArray> archived = unpacked(home, archive);
    {
        Database db(home.session.dataFolder);
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (9, 1, 7)"));
    }
    const QMap<QString, QByteArray> before = filesOf(home.session.dataFolder);
    QVERIFY(before != archived);
    for (std::uint64_t n = 1; n < 200; ++n) {
        fileops::injectFault(n, fileops::Fault::Error);
        bool failed = false;
        try {
            restoreFromArchive(home.session, archive, none);
        } catch (const BackupError &) {
            failed = true;
        }
        const bool fired = fileops::faultFired();
        fileops::injectFault(0);
        // The next start settles whatever the restore left (a mark it could not remove).
        settleInterruptedRestore(home.session.dataFolder);
        const QMap<QString, QByteArray> now = filesOf(home.session.dataFolder);
        if (failed)
            QVERIFY2(now == before, qPrintable(QStringLiteral("failure at call %1 reported, but the folder was replaced").arg(n)));
        else
            QVERIFY2(now == archived, qPrintable(QStringLiteral("success at call %1 reported, folder not the archive").arg(n)));
        if (!fired)
            return;
        if (!failed) {
            // Put the later state back for the next step.
            restoreFromArchive(home.session, archive, none);
            QDir(home.session.dataFolder).removeRecursively();
            QDir().mkpath(home.session.dataFolder);
            for (auto it = before.begin(); it != before.end(); ++it)
                writeFile(home.data(it.key()), it.value());
        }
    }
    QFAIL("the restore never ran without a fault");
}

// A folder shared by two OS users through its group: the restored tables must stay
// writable by the other user, as every file the program creates there does.
void TestLocalBackup::restoredFilesKeptTheRestoringUsersGroupAndMode()
{
    Home home;
    fillTables(home, 3);
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(home.session, archive, none);

    const QByteArray folder = QFile::encodeName(home.session.dataFolder);
    QVERIFY(::chmod(folder.constData(), 0770) == 0);
    // Root may give the folder any group; another user only one of its own.
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
    QVERIFY(::chown(folder.constData(), uid_t(-1), shared) == 0);

    restoreFromArchive(home.session, archive, none);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t expected = (0666 & ~mask) | 0060;
    for (const QString &name : {QStringLiteral("Debite.dbf"), QStringLiteral("Abonat.dbf"), QStringLiteral("Chitante.dbf")}) {
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(home.data(name)).constData(), &st) == 0);
        QVERIFY2(st.st_gid == shared, qPrintable(QStringLiteral("%1: group %2 instead of %3").arg(name).arg(st.st_gid).arg(shared)));
        QVERIFY2((st.st_mode & 0777) == expected,
                 qPrintable(QStringLiteral("%1: %2 instead of %3").arg(name).arg(st.st_mode & 0777, 0, 8).arg(expected, 0, 8)));
    }
}

void TestLocalBackup::restoreRefusedWhileAnotherWorkstationIsAttached()
{
    Home home;
    fillTables(home, 3);
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(home.session, archive, none);

    // This program's own connection steps aside; another workstation's does not.
    Database clerk(home.session.dataFolder);
    auto other = std::make_unique<FolderLock>(home.session.dataFolder);
    other->attach();
    try {
        restoreFromArchive(home.session, archive, none);
        QFAIL("the restore went through while another workstation was attached");
    } catch (const BackupError &e) {
        QCOMPARE(e.title(), QStringLiteral("Restaurare date"));
        QVERIFY2(e.message().contains(QStringLiteral("folosite si pe alt calculator")), qPrintable(e.message()));
    }
    // A collection committed right after the refusal is in the data folder, not in DataBAK.
    clerk.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, INCASAT) VALUES (1, 1, 50)"));
    QCOMPARE(clerk.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), 1);
    QCOMPARE(Database(home.session.dataFolder).scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), 1);
    QVERIFY(!QFileInfo::exists(home.path(QStringLiteral("DataBAK/Chitante.dbf"))));

    // Once the other workstation is gone the restore goes through, and the program's own
    // connection reads the restored files.
    other.reset();
    restoreFromArchive(home.session, archive, none);
    QCOMPARE(clerk.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), 0);
    QCOMPARE(clerk.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong(), 3);
    clerk.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, INCASAT) VALUES (2, 1, 60)"));
    QCOMPARE(Database(home.session.dataFolder).scalar(QStringLiteral("SELECT SUM(INCASAT) FROM Chitante")).toLongLong(), 60);
}

void TestLocalBackup::restoreOverHotJournalGivesExactlyTheArchive()
{
    Home home;
    fillTables(home, 300);
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(home.session, archive, none);
    const QMap<QString, QByteArray> archived = unpacked(home, archive);
    QVERIFY(archived.contains(QStringLiteral("Debite.dbf")));

    // Later work, then a writer dies half way through a commit.
    {
        Database db(home.session.dataFolder);
        for (int i = 301; i <= 400; ++i)
            db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, 1, 7)"), {i});
    }
    leaveDeadWritersJournal(home);
    QVERIFY(QFileInfo::exists(home.data(QStringLiteral("Vestronia.jrn"))));

    restoreFromArchive(home.session, archive, none);
    // Byte for byte the archive, and no journal left to play into it.
    QCOMPARE(filesOf(home.session.dataFolder), archived);
    Database db(home.session.dataFolder);
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong(), 300);
    QCOMPARE(filesOf(home.session.dataFolder), archived);
    // The old files went to DataBAK as one state: the journal was played on them.
    QVERIFY(!QFileInfo::exists(home.path(QStringLiteral("DataBAK/Vestronia.jrn"))));
    Database old(home.path(QStringLiteral("DataBAK")));
    const ResultSet r = old.select(QStringLiteral("SELECT COUNT(*) AS N, MIN(SOLD) AS A, MAX(SOLD) AS B FROM Debite"));
    QCOMPARE(r.integer(0, QStringLiteral("N")), 400);
    QCOMPARE(r.integer(0, QStringLiteral("A")), 5);
    QCOMPARE(r.integer(0, QStringLiteral("B")), 7);
}

void TestLocalBackup::backupOverDeadWritersJournalHoldsTheBeforeState()
{
    Home home;
    fillTables(home, 300);
    const QByteArray before = readFile(home.data(QStringLiteral("Debite.dbf")));
    leaveDeadWritersJournal(home);
    // A second writer holds the lock and has not played the journal back yet; the save
    // waits for it and copies what it leaves.
    FolderLock second(home.session.dataFolder);
    QVERIFY(second.tryLockWriter());
    int waits = 0;
    setWriterWaitHandler([&](bool waiting, int) {
        if (!waiting || !second.holdsWriter())
            return;
        ++waits;
        second.lockRead(true);
        second.recoverJournal();
        second.unlockRead();
        second.unlockWriter();
    });
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(home.session, archive, none);
    setWriterWaitHandler({});
    QCOMPARE(waits, 1);
    QByteArray expected = before;
    expected[28] = 0;
    QCOMPARE(unpacked(home, archive).value(QStringLiteral("Debite.dbf")), expected);

    // A dead writer's journal with nobody holding the lock: the save plays it first.
    leaveDeadWritersJournal(home);
    packDataFolder(home.session, archive, none);
    QCOMPARE(unpacked(home, archive).value(QStringLiteral("Debite.dbf")), expected);

    // A journal a writer was killed while writing, under its temporary name, is not data:
    // restored into a folder it would only be noise.
    writeFile(home.data(QStringLiteral("Vestronia.jrn.tmp")), "VSTRJRN2 half written");
    packDataFolder(home.session, archive, none);
    const auto saved = unpacked(home, archive);
    QVERIFY(!saved.contains(QStringLiteral("Vestronia.jrn.tmp")));
    QCOMPARE(saved.value(QStringLiteral("Debite.dbf")), expected);
}

void TestLocalBackup::packCleansTheCopyNotTheData()
{
    Home home;
    fillData(home);
    const auto before = filesOf(home.session.dataFolder);
    RecordingProgress progress;
    const QString archive = home.path(QStringLiteral("copie.vrn"));
    packDataFolder(home.session, archive, progress);
    QCOMPARE(progress.texts, (QStringList{QStringLiteral("Pregatesc datele..."), QStringLiteral("Salvez datele...")}));
    QVERIFY(progress.finishes >= 1);
    QCOMPARE(filesOf(home.session.dataFolder), before);
    // No working folder or file is left behind.
    QCOMPARE(QDir(home.session.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    const QString out = home.path(QStringLiteral("out"));
    NullProgress none;
    QVERIFY(readArchive(archive, out, none));
    const auto got = filesOf(out);
    QCOMPARE(got.keys(), (QStringList{QStringLiteral("ABONAT.DBF"), QStringLiteral("Debite.dbf"), QStringLiteral("Vestrona.set")}));
    QByteArray expectedTable = fakeTable('a');
    expectedTable[28] = 0;
    QCOMPARE(got.value(QStringLiteral("ABONAT.DBF")), expectedTable);
    QCOMPARE(got.value(QStringLiteral("Debite.dbf")).at(28), '\0');
    QCOMPARE(got.value(QStringLiteral("Vestrona.set")), QByteArray("[INDEX]\r\nIDAB=5\r\n"));
}

void TestLocalBackup::packRefusesAnEmptyDataFolder()
{
    Home home;
    writeFile(home.data(QStringLiteral("gol.dbf")), QByteArray());
    RecordingProgress progress;
    const QString archive = home.path(QStringLiteral("copie.vrn"));
    try {
        packDataFolder(home.session, archive, progress);
        QFAIL("an empty data folder was packed");
    } catch (const BackupError &e) {
        QCOMPARE(e.title(), QStringLiteral("Salvare"));
        QCOMPARE(e.message(), QStringLiteral("\rNu pot scrie pe harddisk!!"));
    }
    QVERIFY(!QFile::exists(archive));
    QCOMPARE(progress.finishes, 1);
}

void TestLocalBackup::packReplacesAnExistingArchive()
{
    Home home;
    fillData(home);
    const QString archive = home.path(QStringLiteral("copie.vrn"));
    writeFile(archive, "old");
    NullProgress progress;
    packDataFolder(home.session, archive, progress);
    QVERIFY(readFile(archive) != QByteArray("old"));
    QVERIFY(readArchive(archive, home.path(QStringLiteral("out")), progress));
}

void TestLocalBackup::dataFolderPaths_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("refused");
    QTest::newRow("data folder") << QStringLiteral("Data") << true;
    QTest::newRow("other case") << QStringLiteral("DATA") << true;
    QTest::newRow("trailing slash") << QStringLiteral("Data/") << true;
    QTest::newRow("link to it") << QStringLiteral("link") << true;
    QTest::newRow("network folder") << QStringLiteral("net") << true;
    QTest::newRow("elsewhere") << QStringLiteral("Salvari") << false;
}

void TestLocalBackup::dataFolderPaths()
{
    QFETCH(QString, relative);
    QFETCH(bool, refused);
    Home home;
    QDir().mkpath(home.path(QStringLiteral("net")));
    QDir().mkpath(home.path(QStringLiteral("Salvari")));
    QFile::link(home.session.localDataFolder, home.path(QStringLiteral("link")));
    home.session.dataFolder = home.path(QStringLiteral("net"));
    QCOMPARE(isDataFolderPath(home.session, home.path(relative)), refused);
}

void TestLocalBackup::restoreReplacesTheDataFolder()
{
    Home home;
    // The archive holds another data folder.
    const QString other = home.path(QStringLiteral("other"));
    QDir().mkpath(other);
    writeFile(other + QStringLiteral("/Debite.dbf"), fakeTable('N'));
    writeFile(other + QStringLiteral("/Vestrona.set"), "[INDEX]\r\nIDAB=99\r\n");
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    QCOMPARE(writeArchive(other, archive, none), 2);

    fillData(home);
    const QString bak = home.path(QStringLiteral("DataBAK"));
    QDir().mkpath(bak + QStringLiteral("/keep"));
    writeFile(bak + QStringLiteral("/older.dbf"), "from the restore before");

    RecordingProgress progress;
    restoreFromArchive(home.session, archive, progress);
    QCOMPARE(progress.texts, QStringList{QStringLiteral("Desfac baza de date...")});
    QCOMPARE(progress.finishes, 1);

    QMap<QString, QByteArray> expectedData;
    expectedData.insert(QStringLiteral("Debite.dbf"), fakeTable('N'));
    expectedData.insert(QStringLiteral("Vestrona.set"), "[INDEX]\r\nIDAB=99\r\n");
    expectedData.insert(QStringLiteral("gol.txt"), QByteArray()); // empty files are not moved
    expectedData.insert(QStringLiteral("sub"), "<dir>");
    QCOMPARE(filesOf(home.session.dataFolder), expectedData);

    QMap<QString, QByteArray> expectedBak;
    expectedBak.insert(QStringLiteral("ABONAT.DBF"), fakeTable('a'));
    expectedBak.insert(QStringLiteral("Abonat.mdx"), "index");
    expectedBak.insert(QStringLiteral("Debite.dbf"), fakeTable('d'));
    expectedBak.insert(QStringLiteral("Vestrona.set"), "[INDEX]\r\nIDAB=5\r\n");
    expectedBak.insert(QStringLiteral("keep"), "<dir>"); // subfolders stay
    QCOMPARE(filesOf(bak), expectedBak);
    QCOMPARE(QDir(home.session.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestLocalBackup::restoreRefuses_data()
{
    QTest::addColumn<QByteArray>("archive");
    const QByteArray good = entry("Debite.dbf", "new debits", 10);
    QTest::newRow("no entries") << int32le(0);
    QTest::newRow("only an empty file") << int32le(1) + entry("Debite.dbf", QByteArray(), 0);
    QTest::newRow("path in a name") << int32le(2) + good + entry("../Data/Abonat.mdx", "evil", 4);
    QTest::newRow("absolute name") << int32le(1) + entry("/tmp/x", "evil", 4);
    QTest::newRow("size says less") << int32le(2) + good + entry("Abonat.dbf", "0123456789", 4);
    QTest::newRow("size says more") << int32le(2) + good + entry("Abonat.dbf", "0123456789", 400);
    QTest::newRow("negative size") << int32le(1) + entry("Abonat.dbf", "0123456789", -10);
    QTest::newRow("cut off") << QByteArray(int32le(1) + good).chopped(5);
    QTest::newRow("not an archive") << QByteArray("PK\x03\x04 hello");
}

void TestLocalBackup::restoreRefuses()
{
    QFETCH(QByteArray, archive);
    Home home;
    fillData(home);
    const QString bak = home.path(QStringLiteral("DataBAK"));
    QDir().mkpath(bak);
    writeFile(bak + QStringLiteral("/older.dbf"), "kept");
    const auto dataBefore = filesOf(home.session.dataFolder);
    const auto bakBefore = filesOf(bak);
    const QString path = home.path(QStringLiteral("forged.vrn"));
    writeFile(path, archive);

    RecordingProgress progress;
    try {
        restoreFromArchive(home.session, path, progress);
        QFAIL("a bad archive was restored");
    } catch (const BackupError &e) {
        QCOMPARE(e.title(), QStringLiteral("Restaurare date"));
        QCOMPARE(e.message(), QStringLiteral("Restaurare esuata!"));
    }
    QCOMPARE(filesOf(home.session.dataFolder), dataBefore);
    QCOMPARE(filesOf(bak), bakBefore);
    QCOMPARE(progress.finishes, 1);
    QCOMPARE(QDir(home.session.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!QFile::exists(home.path(QStringLiteral("x"))));
}

void TestLocalBackup::restoreRollsBackWhenCopyingFails()
{
    Home home;
    fillData(home);
    // A folder in the data folder with the name of an archive file: the copy of that file
    // fails after the files before it were already copied in.
    QDir().mkpath(home.data(QStringLiteral("Zeta.dbf")));
    const auto dataBefore = filesOf(home.session.dataFolder);
    const QString archive = home.path(QStringLiteral("a.vrn"));
    writeFile(archive, int32le(3) + entry("ABONAT.DBF", "new abonat", 10) + entry("Debite.dbf", "new debite", 10)
                           + entry("Zeta.dbf", "new zeta", 8));
    NullProgress progress;
    try {
        restoreFromArchive(home.session, archive, progress);
        QFAIL("the restore reported success");
    } catch (const BackupError &e) {
        QCOMPARE(e.message(), QStringLiteral("Restaurare esuata!"));
        QVERIFY2(e.detail().contains(QStringLiteral("Zeta.dbf")), qPrintable(e.detail()));
    }
    QCOMPARE(filesOf(home.session.dataFolder), dataBefore);
}

void TestLocalBackup::automaticSaveNames()
{
    Home home;
    fillData(home);
    const QString folder = home.path(QStringLiteral("Salvari_Date"));
    NullProgress progress;
    QCOMPARE(automaticSave(home.session, folder, progress), folder + QStringLiteral("/20250305_0.vrn"));
    QCOMPARE(automaticSave(home.session, folder, progress), folder + QStringLiteral("/20250305_1.vrn"));
    writeFile(folder + QStringLiteral("/20250305_2.vrn"), "taken");
    QCOMPARE(automaticSaveName(folder, QDate(2025, 3, 5)), folder + QStringLiteral("/20250305_3.vrn"));
    QCOMPARE(automaticSaveName(folder, QDate(2025, 3, 6)), folder + QStringLiteral("/20250306_0.vrn"));
    QVERIFY(readArchive(folder + QStringLiteral("/20250305_1.vrn"), home.path(QStringLiteral("out")), progress));
}

void TestLocalBackup::automaticSaveInBackupModeWritesTheOpenedFile()
{
    Home home;
    const QString opened = home.path(QStringLiteral("adusa de acasa.vrn"));
    writeFile(opened, int32le(1) + entry("Debite.dbf", "as opened", 9));
    home.session.openedBackup = opened;
    home.session.programFolder = home.path(QStringLiteral("SAV0"));
    home.session.dataFolder = home.path(QStringLiteral("SAV0/Data"));
    QDir().mkpath(home.session.dataFolder);
    writeFile(home.data(QStringLiteral("Debite.dbf")), fakeTable('c'));
    QVERIFY(home.session.isBackupMode());
    NullProgress progress;
    QCOMPARE(automaticSave(home.session, home.path(QStringLiteral("unused")), progress), opened);
    QVERIFY(!QFileInfo::exists(home.path(QStringLiteral("unused"))));
    const QString out = home.path(QStringLiteral("out"));
    QVERIFY(readArchive(opened, out, progress));
    QByteArray expected = fakeTable('c');
    expected[28] = 0;
    QCOMPARE(readFile(out + QStringLiteral("/Debite.dbf")), expected);
}

void TestLocalBackup::automaticSaveFailureHasItsMessage()
{
    Home home;
    fillData(home);
    // The backup "folder" is a file: neither it nor anything in it can be created.
    const QString notAFolder = home.path(QStringLiteral("file"));
    writeFile(notAFolder, "x");
    NullProgress progress;
    try {
        automaticSave(home.session, notAFolder, progress);
        QFAIL("the save reported success");
    } catch (const BackupError &e) {
        QCOMPARE(e.title(), QStringLiteral("Salvare date"));
        QCOMPARE(e.message(), QStringLiteral("\rEroare la salvare! Nu am putut salva."));
    }
}

void TestLocalBackup::openBackupUnpacksIntoTheFolder()
{
    Home home;
    fillData(home);
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress none;
    packDataFolder(home.session, archive, none);
    RecordingProgress progress;
    const QString target = home.path(QStringLiteral("SAV0/Data"));
    QVERIFY(openBackupInto(archive, target, progress));
    QCOMPARE(progress.texts, QStringList{QStringLiteral("Deschid baza de date...")});
    QCOMPARE(progress.finishes, 1);
    QCOMPARE(filesOf(target).size(), 3);
    writeFile(archive, int32le(1) + entry("../x", "evil", 4));
    QString error;
    QVERIFY(!openBackupInto(archive, target, progress, &error));
    QVERIFY(!error.isEmpty());
}

void TestLocalBackup::automaticSaveKeepsADamagedOpenedBackupUntouched()
{
    Home home;
    const QString opened = home.path(QStringLiteral("veche.vrn"));
    const QByteArray damaged = int32le(2) + entry("Debite.dbf", fakeTable('c'), 9999) + entry("Abonat.dbf", "a", 1);
    writeFile(opened, damaged);
    home.session.openedBackup = opened;
    home.session.programFolder = home.path(QStringLiteral("SAV0"));
    home.session.dataFolder = home.path(QStringLiteral("SAV0/Data"));
    QDir().mkpath(home.session.dataFolder);
    writeFile(home.data(QStringLiteral("Abonat.dbf")), fakeTable('a'));
    NullProgress progress;
    const QString written = automaticSave(home.session, home.path(QStringLiteral("unused")), progress);
    QCOMPARE(written, home.path(QStringLiteral("veche_1.vrn")));
    QCOMPARE(readFile(opened), damaged);
    QVERIFY(archiveReadsWhole(written));
}

void TestLocalBackup::packReportsTheNamesItHadToChange()
{
    Home home;
    fillData(home);
    writeFile(home.data(QStringLiteral("Situa\u021Bie.xls")), "raport");
    const QString archive = home.path(QStringLiteral("a.vrn"));
    NullProgress progress;
    QStringList renamed;
    packDataFolder(home.session, archive, progress, &renamed);
    QCOMPARE(renamed, QStringList{QStringLiteral("Situa\u021Bie.xls -> Situa\u0163ie.xls")});
    const QString out = home.path(QStringLiteral("out"));
    QVERIFY(readArchive(archive, out, progress));
    QCOMPARE(readFile(out + QStringLiteral("/Situa\u0163ie.xls")), QByteArray("raport"));
}

QTEST_GUILESS_MAIN(TestLocalBackup)
#include "tst_localbackup.moc"
