// Settings files keep Windows profile-file behaviour, which other workstations and
// older versions share; and counters hand out each number once.

#include "core/counters.h"
#include "core/profilefile.h"
#include "core/workfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>
#include <thread>

using namespace vestronia;

class TestProfileFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsCaseInsensitiveFirstMatch();
    void writeKeepsOtherLinesAndUsesCrlf();
    void writeCreatesSectionAndFile();
    void keysWithBlanksAndCp1250();
    void numbersReadLikeWindows();
    void refusesHugeFile();
    void countersStartAtOneAndTake();
    void countersTakenConcurrentlyAreUnique();
    void newWorkFileSkipsFilesInUse();
    void newWorkFolderRecreatesEmpty();
    void findFileIgnoresCase();

private:
    QString write(const QByteArray &content);
    QTemporaryDir m_dir;
};

QString TestProfileFile::write(const QByteArray &content)
{
    const QString path = m_dir.filePath(QStringLiteral("Vestrona.set"));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
    return path;
}

void TestProfileFile::readsCaseInsensitiveFirstMatch()
{
    const QString path = write("[index]\r\nidCon = 17 \r\nIDCON=99\r\n[INDEX]\r\nIDAB=5\r\n[CONST]\r\nUNITATE=\"Primaria X\"\r\n");
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("INDEX"), QStringLiteral("IDCON")), QStringLiteral("17"));
    // Only the first section of a name is read, as Windows does.
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("INDEX"), QStringLiteral("IDAB")), QString());
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("const"), QStringLiteral("unitate")), QStringLiteral("Primaria X"));
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("NONE"), QStringLiteral("X")), QString());
    QCOMPARE(ProfileFile::readText(m_dir.filePath(QStringLiteral("missing.set")), QStringLiteral("A"), QStringLiteral("B")),
             QString());
}

void TestProfileFile::writeKeepsOtherLinesAndUsesCrlf()
{
    const QString path = write("; comentariu\r\n[INDEX]\r\nIDAB=5\r\n\r\n[CONST]\r\nX=1\r\n");
    ProfileFile::writeText(path, QStringLiteral("index"), QStringLiteral("idab"), QStringLiteral("6"));
    ProfileFile::writeText(path, QStringLiteral("INDEX"), QStringLiteral("IDDEB"), QStringLiteral("100"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("; comentariu\r\n[INDEX]\r\nidab=6\r\nIDDEB=100\r\n\r\n[CONST]\r\nX=1\r\n"));
}

void TestProfileFile::writeCreatesSectionAndFile()
{
    const QString path = m_dir.filePath(QStringLiteral("Local.set"));
    ProfileFile::writeText(path, QStringLiteral("CONST"), QStringLiteral("SERVER"), QString());
    ProfileFile::writeText(path, QStringLiteral("88"), QStringLiteral("VER"), QStringLiteral("1.0049"));
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("88"), QStringLiteral("VER")), QStringLiteral("1.0049"));
    QFile f(m_dir.filePath(QStringLiteral("Local.set")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("[CONST]\r\nSERVER=\r\n\r\n[88]\r\nVER=1.0049\r\n"));
}

void TestProfileFile::keysWithBlanksAndCp1250()
{
    const QString path = write("");
    ProfileFile::writeNumber(path, QStringLiteral("INDEX"), QStringLiteral("Instiintare de plata"), 12);
    ProfileFile::writeText(path, QStringLiteral("CONST"), QStringLiteral("LOCALIT"), QStringLiteral("Răşinari"));
    QCOMPARE(ProfileFile::readNumber(path, QStringLiteral("INDEX"), QStringLiteral("instiintare de plata")), 12);
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("CONST"), QStringLiteral("LOCALIT")), QStringLiteral("Răşinari"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("R\xe3\xbainari"));
}

void TestProfileFile::numbersReadLikeWindows()
{
    const QString path = write("[INDEX]\r\nA=12abc\r\nB=abc\r\nC=\r\nD=-4\r\nE=1.0049\r\n");
    QCOMPARE(ProfileFile::readNumber(path, QStringLiteral("INDEX"), QStringLiteral("A")), 12);
    QCOMPARE(ProfileFile::readNumber(path, QStringLiteral("INDEX"), QStringLiteral("B")), 0);
    QCOMPARE(ProfileFile::readNumber(path, QStringLiteral("INDEX"), QStringLiteral("C")), 0);
    QCOMPARE(ProfileFile::readNumber(path, QStringLiteral("INDEX"), QStringLiteral("D")), -4);
    QCOMPARE(ProfileFile::readReal(path, QStringLiteral("INDEX"), QStringLiteral("E")), 1.0049);
    // Counters treat a non-number like an absent key.
    QCOMPARE(Counters::peek(path, QStringLiteral("B")), 1);
}

void TestProfileFile::refusesHugeFile()
{
    const QString path = write(QByteArray("[INDEX]\r\nIDAB=5\r\n") + QByteArray(ProfileFile::MaxFileSize, ';'));
    QCOMPARE(ProfileFile::readText(path, QStringLiteral("INDEX"), QStringLiteral("IDAB")), QString());
}

void TestProfileFile::countersStartAtOneAndTake()
{
    const QString path = m_dir.filePath(QStringLiteral("counters.set"));
    QCOMPARE(Counters::peek(path, QStringLiteral("IDAB")), 1);
    QCOMPARE(Counters::take(path, QStringLiteral("IDAB")), 1);
    QCOMPARE(Counters::take(path, QStringLiteral("idab")), 2);
    QCOMPARE(Counters::peek(path, QStringLiteral("IDAB")), 3);
    Counters::set(path, QStringLiteral("IDAB"), 0);
    QCOMPARE(Counters::take(path, QStringLiteral("IDAB")), 1);
    QCOMPARE(Counters::takeBlock(path, QStringLiteral("IDAB"), 500), 2);
    QCOMPARE(Counters::take(path, QStringLiteral("IDAB")), 502);
    QVERIFY(!QFile::exists(path + QStringLiteral(".lck")));
}

void TestProfileFile::countersTakenConcurrentlyAreUnique()
{
    const QString path = m_dir.filePath(QStringLiteral("race.set"));
    QSet<qint64> all;
    std::mutex guard;
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                const qint64 v = Counters::take(path, QStringLiteral("IDLOG"));
                std::lock_guard<std::mutex> lock(guard);
                all.insert(v);
            }
        });
    for (auto &t : workers)
        t.join();
    QCOMPARE(all.size(), 100);
    QCOMPARE(Counters::peek(path, QStringLiteral("IDLOG")), 101);
}

void TestProfileFile::newWorkFileSkipsFilesInUse()
{
    const QString temp = m_dir.filePath(QStringLiteral("Temp"));
    const QString first = newWorkFile(temp, QStringLiteral("R1S"), QStringLiteral(".xls"));
    QCOMPARE(first, temp + QStringLiteral("/R1S0.xls"));
    // A file that cannot be deleted (its folder is read-only here, as a file held open
    // by a spreadsheet program is on Windows) is skipped.
    const QString locked = m_dir.filePath(QStringLiteral("Locked"));
    QDir().mkpath(locked);
    QFile f(locked + QStringLiteral("/R1S0.xls"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    const QString next = newWorkFile(locked, QStringLiteral("R1S"), QStringLiteral(".xls"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (QFile::exists(locked + QStringLiteral("/R1S0.xls")))
        QCOMPARE(next, locked + QStringLiteral("/R1S1.xls"));
    // An existing file that can be deleted is reused.
    QFile g(first);
    QVERIFY(g.open(QIODevice::WriteOnly));
    g.close();
    QCOMPARE(newWorkFile(temp, QStringLiteral("R1S"), QStringLiteral(".xls")), first);
    QVERIFY(!QFile::exists(first));
}

void TestProfileFile::newWorkFolderRecreatesEmpty()
{
    const QString temp = m_dir.filePath(QStringLiteral("Temp2"));
    const QString folder = newWorkFolder(temp, QStringLiteral("GMT"));
    QCOMPARE(folder, temp + QStringLiteral("/GMT0"));
    QFile f(folder + QStringLiteral("/old.dbf"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(newWorkFolder(temp, QStringLiteral("GMT")), folder);
    QVERIFY(QDir(folder).isEmpty());
}

void TestProfileFile::findFileIgnoresCase()
{
    QFile f(m_dir.filePath(QStringLiteral("LOG.DBF")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(findFileNoCase(m_dir.path(), QStringLiteral("Log.dbf")), m_dir.filePath(QStringLiteral("LOG.DBF")));
    QVERIFY(fileExistsNoCase(m_dir.path(), QStringLiteral("log.dbf")));
    QVERIFY(!fileExistsNoCase(m_dir.path(), QStringLiteral("Debite.dbf")));
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
