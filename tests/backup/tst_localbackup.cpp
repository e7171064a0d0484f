// Local backup and restore of the data folder: what a save packs and cleans, the
// refusals, the automatic save names, the restore that replaces the data folder, and the
// guarantees that a bad archive or a failure part-way leaves the data folder as it was.

#include "backup/archive.h"
#include "backup/localbackup.h"
#include "core/clock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

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
};

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
