// The start-up sequence on real folders: a first start, an older data folder brought
// up to date, the network folder check, weekly packing, backups given on the command
// line and the pending update.

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/profilefile.h"
#include "core/workfiles.h"
#include "backup/archive.h"
#include "startup/modelfiles.h"
#include "startup/startupsequence.h"
#include "backup/restoremark.h"
#include "store/changelog.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "store/dbftable.h"
#include "store/folderlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace vestronia;

namespace {

class RecordingHost final : public StartupHost
{
public:
    void setStatus(const QString &text) override { statuses << text; }
    void message(const QString &title, const QString &text, MessageKind kind) override
    {
        messages << title + QLatin1Char('|') + text;
        kinds << kind;
    }
    Progress &progress() override { return m_progress; }
    QStringList statuses;
    QStringList messages;
    QList<MessageKind> kinds;

private:
    NullProgress m_progress;
};

struct Installation
{
    QTemporaryDir dir;
    QString home() const { return dir.filePath(QStringLiteral("home")); }
    QString machine() const { return dir.filePath(QStringLiteral("machine")); }
    QString data() const { return home() + QStringLiteral("/Data"); }

    StartupOutcome start(Session &session, RecordingHost &host, const QString &backupFile = {},
                         std::unique_ptr<Database> *db = nullptr)
    {
        StartupOptions options;
        options.programFolder = home();
        options.machineFolder = machine();
        options.backupFile = backupFile;
        options.backupFolderCandidates = QStringList{dir.filePath(QStringLiteral("Salvari_Date"))};
        StartupSequence sequence(session, options, host);
        const StartupOutcome outcome = sequence.run();
        if (db && outcome == StartupOutcome::Ready)
            *db = sequence.takeDatabase();
        return outcome;
    }
};

std::vector<ColumnDef> catalogueWithout(TableId table, QStringList dropped)
{
    std::vector<ColumnDef> columns;
    for (const ColumnDef &c : tableDef(table).columns)
        if (!dropped.contains(QLatin1String(c.name)))
            columns.push_back(c);
    return columns;
}

QStringList columnNames(const QString &path)
{
    QStringList names;
    for (const DbfColumn &c : tableColumns(path))
        names << c.name;
    return names;
}

} // namespace

class TestStartupSequence : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { Clock::setNow(QDateTime(QDate(2025, 3, 5), QTime(10, 0))); }
    void cleanup() { Clock::reset(); }
    void firstStartCreatesEverything();
    void secondStartInSameWeekDoesNotPack();
    void packingAgainFromSaturday();
    void olderFolderIsUpgradedKeepingRows();
    void letterLevel37IsLeftAlone();
    void networkFolderIncompleteFallsBackToLocal();
    void networkFolderCompleteIsUsed();
    void backupFileOpensInRestoreFolder();
    void nonBackupFileIsIgnored();
    void damagedBackupFileAborts();
    void pendingUpdateTakesOver();
    void countersFollowTheTables();
    void deletedNewestIdentifierIsNotHandedOutAgain();
    void startupSettingsWriteWaitsForAWriterElsewhere();
    void logIsTrimmedAtStart();
    void settlementDebitsRedatedThenRemovedOnce();
    void shutdownRemovesWorkFolders();
    void backupWithOneDamagedEntryOpensWithTheRest();
    void keptRestoreFolderSurvivesCleanupAndTheNextOpen();
    void startAfterAKilledRestorePutsTheOldDataBackAndSaysSo();
};

void TestStartupSequence::firstStartCreatesEverything()
{
    Installation inst;
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    for (const QString &folder : {QStringLiteral("Data"), QStringLiteral("Temp"), QStringLiteral("TEMPORAR")})
        QVERIFY2(QFileInfo(inst.home() + QLatin1Char('/') + folder).isDir(), qPrintable(folder));
    QVERIFY(missingTables(inst.data()).isEmpty());
    for (const TableDef &t : tableCatalogue()) {
        const auto columns = tableColumns(inst.data() + QLatin1Char('/') + QLatin1String(t.fileName));
        QCOMPARE(size_t(columns.size()), t.columns.size());
        for (qsizetype i = 0; i < columns.size(); ++i) {
            QCOMPARE(columns[i].name, QLatin1String(t.columns[i].name));
            QCOMPARE(columns[i].type, t.columns[i].type);
            QCOMPARE(columns[i].length, t.columns[i].length);
            QCOMPARE(columns[i].decimals, t.columns[i].decimals);
        }
    }
    for (const QString &model : {QStringLiteral("Instiintare.rtf"), QStringLiteral("SomTit.rtf")})
        QVERIFY(QFile::exists(inst.data() + QLatin1Char('/') + model));
    QVERIFY(QFile::exists(inst.home() + QStringLiteral("/ico1.ico")));
    // An absent level counts as 1, so the letters just written are refreshed at once.
    QVERIFY(QFile::exists(inst.data() + QStringLiteral("/InstiintareOld.rtf")));
    QVERIFY(QFile::exists(inst.data() + QStringLiteral("/SomTitOld.rtf")));
    const QString shared = inst.data() + QStringLiteral("/Vestrona.set");
    QCOMPARE(ProfileFile::readNumber(shared, QStringLiteral("INDEX"), QStringLiteral("VERSIUNE")), 49);
    QCOMPARE(ProfileFile::readNumber(shared, QStringLiteral("CONST"), QStringLiteral("LASTPACK")),
             weekNumberOf(Clock::now()));
    QCOMPARE(ProfileFile::readText(inst.machine() + QStringLiteral("/GMT.dII"), QStringLiteral("88"), QStringLiteral("VER")),
             QStringLiteral("1.0049"));
    QCOMPARE(session.workingModeText(), QStringLiteral("Lucru local."));
    QVERIFY(host.messages.isEmpty());
    for (const char *key : {"IDCON", "IDAB", "IDSERV", "IDDEB", "IDCHIT", "IDDCHIT"})
        QCOMPARE(Counters::peek(shared, QLatin1String(key)), 1);
}

// Starts once, leaves a deleted row in the log, then starts again at the given moment;
// returns the log file's size before and after the second start.
static std::pair<qint64, qint64> restartWithDeletedLogRow(Installation &inst, const QDateTime &secondStart)
{
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    if (inst.start(session, host, {}, &db) != StartupOutcome::Ready)
        return {-1, -1};
    addLog(*db, session, QStringLiteral("de sters"));
    db->exec(QStringLiteral("DELETE FROM Log"));
    db.reset();
    const QString log = inst.data() + QStringLiteral("/Log.dbf");
    const qint64 before = QFileInfo(log).size();
    Clock::setNow(secondStart);
    if (inst.start(session, host) != StartupOutcome::Ready)
        return {before, -1};
    return {before, QFileInfo(log).size()};
}

void TestStartupSequence::secondStartInSameWeekDoesNotPack()
{
    Installation inst;
    const auto [before, after] = restartWithDeletedLogRow(inst, QDateTime(QDate(2025, 3, 7), QTime(18, 0))); // Friday
    QVERIFY(before > 0);
    QCOMPARE(after, before);
}

void TestStartupSequence::packingAgainFromSaturday()
{
    Installation inst;
    const auto [before, after] = restartWithDeletedLogRow(inst, QDateTime(QDate(2025, 3, 8), QTime(0, 30))); // Saturday
    QVERIFY(after > 0);
    QVERIFY(after < before);
    QCOMPARE(ProfileFile::readNumber(inst.data() + QStringLiteral("/Vestrona.set"), QStringLiteral("CONST"),
                                     QStringLiteral("LASTPACK")),
             weekNumberOf(Clock::now()));
}

void TestStartupSequence::olderFolderIsUpgradedKeepingRows()
{
    Installation inst;
    QDir().mkpath(inst.data());
    const QString data = inst.data();
    QVERIFY(createTable(data + QStringLiteral("/DefCont.dbf"), catalogueWithout(TableId::DefCont, {QStringLiteral("PRETFIX")})));
    QVERIFY(createTable(data + QStringLiteral("/Abonat.dbf"),
                        catalogueWithout(TableId::Abonat, {QStringLiteral("TIPPF"), QStringLiteral("NRCON"),
                                                           QStringLiteral("DATACON"), QStringLiteral("OBS2")})));
    {
        Database db(data);
        db.exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PEPERS) VALUES (1, 'Gunoi', 12.5, '-')"));
        for (int i = 1; i <= 3; ++i)
            db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, NRPERS, OBS) VALUES (?, ?, ?, ?)"),
                    {i, QStringLiteral("Abonat %1").arg(i), i + 1, QStringLiteral("obs %1").arg(i)});
    }
    ProfileFile::writeNumber(data + QStringLiteral("/Vestrona.set"), QStringLiteral("INDEX"), QStringLiteral("VERSIUNE"), 36);
    QFile old(data + QStringLiteral("/Instiintare.rtf"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("{\\rtf1 model vechi}");
    old.close();

    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    QVERIFY(columnNames(data + QStringLiteral("/DefCont.dbf")).contains(QStringLiteral("PRETFIX")));
    const QStringList abonat = columnNames(data + QStringLiteral("/Abonat.dbf"));
    for (const char *c : {"TIPPF", "NRCON", "DATACON", "OBS2"})
        QVERIFY2(abonat.contains(QLatin1String(c)), c);
    const ResultSet rows = db->select(QStringLiteral("SELECT IDAB, NUME, NRPERS, OBS, TIPPF, DATACON FROM Abonat ORDER BY IDAB"));
    QCOMPARE(rows.rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        QCOMPARE(rows.text(r, QStringLiteral("NUME")), QStringLiteral("Abonat %1").arg(r + 1));
        QCOMPARE(rows.integer(r, QStringLiteral("NRPERS")), r + 2);
        QCOMPARE(rows.text(r, QStringLiteral("OBS")), QStringLiteral("obs %1").arg(r + 1));
        QCOMPARE(rows.text(r, QStringLiteral("TIPPF")), QStringLiteral("F"));
        QCOMPARE(rows.integer(r, QStringLiteral("DATACON")), 0);
    }
    QCOMPARE(db->select(QStringLiteral("SELECT DENUM, RATA FROM DefCont")).money(0, QStringLiteral("RATA")).toString(),
             QStringLiteral("12.5"));
    // The old letter is kept aside and a fresh model takes its place.
    QFile moved(data + QStringLiteral("/InstiintareOld.rtf"));
    QVERIFY(moved.open(QIODevice::ReadOnly));
    QCOMPARE(moved.readAll(), QByteArray("{\\rtf1 model vechi}"));
    QFile fresh(data + QStringLiteral("/Instiintare.rtf"));
    QVERIFY(fresh.open(QIODevice::ReadOnly));
    QVERIFY(fresh.readAll().contains("[UNITATE]"));
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("VERSIUNE")), 49);
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDAB")), 4);
}

void TestStartupSequence::letterLevel37IsLeftAlone()
{
    Installation inst;
    QDir().mkpath(inst.data());
    ProfileFile::writeNumber(inst.data() + QStringLiteral("/Vestrona.set"), QStringLiteral("INDEX"),
                             QStringLiteral("VERSIUNE"), 37);
    QFile mine(inst.data() + QStringLiteral("/SomTit.rtf"));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("{\\rtf1 modelul meu}");
    mine.close();
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    QVERIFY(!QFile::exists(inst.data() + QStringLiteral("/SomTitOld.rtf")));
    QVERIFY(mine.open(QIODevice::ReadOnly));
    QCOMPARE(mine.readAll(), QByteArray("{\\rtf1 modelul meu}"));
}

void TestStartupSequence::networkFolderIncompleteFallsBackToLocal()
{
    Installation inst;
    const QString server = inst.dir.filePath(QStringLiteral("server"));
    QDir().mkpath(server);
    createMissingTables(server);
    QFile::remove(server + QStringLiteral("/Urmarire.dbf"));
    ProfileFile::writeText(inst.machine() + QStringLiteral("/GMT.dII"), QStringLiteral("88"), QStringLiteral("SERVER"), server);
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    // The machine default was copied into the new workstation settings file.
    QCOMPARE(ProfileFile::readText(inst.home() + QStringLiteral("/Local.set"), QStringLiteral("CONST"), QStringLiteral("SERVER")),
             server);
    QCOMPARE(host.messages.size(), 1);
    QCOMPARE(host.messages.first(), QStringLiteral("Conectare server|Baza de date ") + server +
                                        QStringLiteral("\nNU este accesibila sau este incompleta!\n"
                                                       "Verificati conexiunea si baza si reporniti programul!"));
    QCOMPARE(host.kinds.first(), MessageError);
    QCOMPARE(session.dataFolder, inst.data());
    QCOMPARE(session.workingModeText(), QStringLiteral("Lucru local."));
}

void TestStartupSequence::networkFolderCompleteIsUsed()
{
    Installation inst;
    const QString server = inst.dir.filePath(QStringLiteral("server"));
    QDir().mkpath(server);
    createMissingTables(server);
    QDir().mkpath(inst.home());
    ProfileFile::writeText(inst.home() + QStringLiteral("/Local.set"), QStringLiteral("CONST"), QStringLiteral("SERVER"), server);
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    QVERIFY(host.messages.isEmpty());
    QCOMPARE(session.dataFolder, server);
    QVERIFY(session.isNetworkMode());
    QCOMPARE(session.workingModeText(), QStringLiteral("Lucru in retea: ") + server);
    QCOMPARE(ProfileFile::readNumber(server + QStringLiteral("/Vestrona.set"), QStringLiteral("INDEX"), QStringLiteral("VERSIUNE")), 49);
}

void TestStartupSequence::backupFileOpensInRestoreFolder()
{
    Installation inst;
    // A backup made of a data folder with one subscriber.
    const QString source = inst.dir.filePath(QStringLiteral("source"));
    QDir().mkpath(source);
    createMissingTables(source);
    {
        Database db(source);
        db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (7, 'Popescu Ion')"));
    }
    const QString archive = inst.dir.filePath(QStringLiteral("Copie.VRN"));
    NullProgress quiet;
    QVERIFY(writeArchive(source, archive, quiet) > 0);
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, archive, &db), StartupOutcome::Ready);
    QCOMPARE(session.programFolder, inst.home() + QStringLiteral("/SAV0"));
    QCOMPARE(session.dataFolder, inst.home() + QStringLiteral("/SAV0/Data"));
    QVERIFY(session.isBackupMode());
    QCOMPARE(session.workingModeText(), QStringLiteral("Lucru in salvarea: COPIE.VRN."));
    QCOMPARE(db->scalar(QStringLiteral("SELECT NUME FROM Abonat WHERE IDAB=7")).toString(), QStringLiteral("Popescu Ion"));
    db.reset();
    shutdownCleanup(session);
    QVERIFY(!QFileInfo::exists(inst.home() + QStringLiteral("/SAV0")));
    QVERIFY(QFileInfo(inst.data()).isDir());
}

void TestStartupSequence::nonBackupFileIsIgnored()
{
    Installation inst;
    const QString text = inst.dir.filePath(QStringLiteral("note.txt"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("nimic");
    f.close();
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host, text), StartupOutcome::Ready);
    QVERIFY(!session.isBackupMode());
    QCOMPARE(session.dataFolder, inst.data());
    QVERIFY(!QFileInfo::exists(inst.home() + QStringLiteral("/SAV0")));
}

void TestStartupSequence::damagedBackupFileAborts()
{
    Installation inst;
    const QString archive = inst.dir.filePath(QStringLiteral("stricat.vrn"));
    QFile f(archive);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\x02\x00\x00\x00garbage", 11));
    f.close();
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host, archive), StartupOutcome::Abort);
    QCOMPARE(host.messages.size(), 1);
    QVERIFY(host.messages.first().startsWith(QStringLiteral("Deschidere Salvare|")));
}

void TestStartupSequence::pendingUpdateTakesOver()
{
    Installation inst;
    QDir().mkpath(inst.home());
    const QString marker = inst.dir.filePath(QStringLiteral("update-ran"));
    const QString update = inst.home() + QStringLiteral("/UpVestrona");
    QFile f(update);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\necho \"$1\" > '%1'\n").arg(marker).toUtf8());
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::HandedToUpdate);
    QTRY_VERIFY(QFile::exists(marker));
    // Nothing was created: the update runs before the data folder is touched.
    QVERIFY(!QFile::exists(inst.data() + QStringLiteral("/Abonat.dbf")));
}

void TestStartupSequence::countersFollowTheTables()
{
    Installation inst;
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (1, 'A'), (2, 'B'), (3, 'C')"));
    db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB) VALUES (41, 1), (42, 2)"));
    Counters::set(session.sharedSettings(), QStringLiteral("IDAB"), 99);
    db.reset();
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    // Lagging counters rise to their table; a higher one stays.
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDAB")), 99);
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDDEB")), 43);
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDCHIT")), 1);
}

void TestStartupSequence::deletedNewestIdentifierIsNotHandedOutAgain()
{
    Installation inst;
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    // Debit 42 was paid by collection 7 (its detail and previous rest name it), then deleted.
    db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (41, 1, 80), (42, 1, 0)"));
    db->exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, CURENT) VALUES (1, 7, 42, 80)"));
    db->exec(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (7, 42, 1, 80)"));
    db.reset();
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDDEB")), 43);
    db->exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=42"));
    db.reset();
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    QCOMPARE(Counters::take(session.sharedSettings(), QStringLiteral("IDDEB")), 43);
}

void TestStartupSequence::startupSettingsWriteWaitsForAWriterElsewhere()
{
    Installation inst;
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDCHIT")), 1);
    const QString section = QString::number(ProductNumber);
    ProfileFile::writeText(session.sharedSettings(), section, QStringLiteral("VER"), QStringLiteral("0"));

    // A collection here holds the writer lock and has taken its number, not yet committed.
    Transaction tx(*db);
    const qint64 id = Counters::take(session.sharedSettings(), QStringLiteral("IDCHIT"));
    db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB) VALUES (?, 1)"), {id});

    // Another workstation starts meanwhile, in a process with no connection yet: its first
    // write of the shared settings file waits for the collection.
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--start"), inst.home(), inst.machine(), inst.dir.filePath(QStringLiteral("Salvari_Date"))});
    QVERIFY(other.waitForStarted(10000));
    QElapsedTimer waited;
    waited.start();
    while (!other.readAllStandardOutput().contains("waiting") && other.state() == QProcess::Running &&
           waited.elapsed() < 20000)
        other.waitForReadyRead(200);
    QVERIFY2(other.state() == QProcess::Running, "the start-up did not wait for the writer");
    // Nothing of the other start-up reached the settings file around the writer lock.
    QCOMPARE(ProfileFile::readText(session.sharedSettings(), section, QStringLiteral("VER")), QStringLiteral("0"));
    tx.commit();
    QVERIFY(other.waitForFinished(60000));
    QCOMPARE(other.exitCode(), 0);
    // The number taken by the collection stays taken.
    QCOMPARE(Counters::peek(session.sharedSettings(), QStringLiteral("IDCHIT")), 2);
    QCOMPARE(db->scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), 1);
    QCOMPARE(ProfileFile::readText(session.sharedSettings(), section, QStringLiteral("VER")), programVersionText());
}

void TestStartupSequence::logIsTrimmedAtStart()
{
    Installation inst;
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    {
        Transaction t(*db);
        Statement insert = db->prepare(QStringLiteral("INSERT INTO Log (IDLOG, ACTIUNE) VALUES (?, 'x')"));
        for (int id = 1; id <= 1500; ++id)
            insert.exec({id});
        t.commit();
    }
    trimLog(*db);
    QCOMPARE(db->scalar(QStringLiteral("SELECT COUNT(*) FROM Log")).toInt(), 1001);
    QCOMPARE(db->scalar(QStringLiteral("SELECT MIN(IDLOG) FROM Log")).toInt(), 500);
    db->exec(QStringLiteral("DELETE FROM Log WHERE IDLOG>999"));
    trimLog(*db); // 500 rows: nothing to trim
    QCOMPARE(db->scalar(QStringLiteral("SELECT COUNT(*) FROM Log")).toInt(), 500);
}

void TestStartupSequence::settlementDebitsRedatedThenRemovedOnce()
{
    Installation inst;
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    Clock::setNow(QDateTime(QDate(2024, 11, 29), QTime(9, 0)));
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    db->exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA) VALUES (9, 'Penalitati 2023', 1)"));
    db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD) VALUES "
                            "(1, -1, 1, 9, 45000, 202401, 'Penalitati 2023', 12, 12),"
                            "(2, -1, 2, 9, 45000, 202401, 'Penalitati 2023', 20, 5),"
                            "(3, -1, 3, 9, 45000, 202401, 'Penalitati 2023', 7, 0)"));
    db.reset();
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    const int today = dayNumberOf(QDate(2024, 11, 29));
    QCOMPARE(db->scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE DATADEB=?"), {today}).toInt(), 2);
    db.reset();

    Clock::setNow(QDateTime(QDate(2024, 11, 30), QTime(9, 0)));
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    // The untouched one goes, the partly paid and the settled ones stay.
    QCOMPARE(db->select(QStringLiteral("SELECT IDDEB FROM Debite ORDER BY IDDEB")).rowCount(), 2);
    QCOMPARE(ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("FaraPen2023")),
             QStringLiteral("X"));
    db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDCON, RATA, SOLD) VALUES (4, 9, 3, 3)"));
    db.reset();
    QCOMPARE(inst.start(session, host, {}, &db), StartupOutcome::Ready);
    QCOMPARE(db->scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toInt(), 3);
}

void TestStartupSequence::shutdownRemovesWorkFolders()
{
    Installation inst;
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    QFile f(newWorkFile(session.tempFolder, QStringLiteral("R1S"), QStringLiteral(".xls")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    shutdownCleanup(session);
    QVERIFY(!QFileInfo::exists(inst.home() + QStringLiteral("/Temp")));
    QVERIFY(!QFileInfo::exists(inst.home() + QStringLiteral("/TEMPORAR")));
    QVERIFY(QFile::exists(inst.data() + QStringLiteral("/Abonat.dbf")));
}

void TestStartupSequence::backupWithOneDamagedEntryOpensWithTheRest()
{
    Installation inst;
    const QString source = inst.dir.filePath(QStringLiteral("source"));
    QDir().mkpath(source);
    createMissingTables(source);
    {
        Database db(source);
        db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (7, 'Popescu Ion')"));
    }
    QFile extra(source + QStringLiteral("/zz.txt"));
    QVERIFY(extra.open(QIODevice::WriteOnly));
    extra.write(QByteArray(4000, 'z'));
    extra.close();
    const QString archive = inst.dir.filePath(QStringLiteral("copie.vrn"));
    NullProgress quiet;
    QVERIFY(writeArchive(source, archive, quiet) > 0);
    // Damage the last entry (zz.txt, the last by name): cut its stream short.
    QFile f(archive);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray before = f.readAll();
    QVERIFY(f.resize(f.size() - 6));
    f.close();
    Session session;
    RecordingHost host;
    std::unique_ptr<Database> db;
    QCOMPARE(inst.start(session, host, archive, &db), StartupOutcome::Ready);
    QCOMPARE(host.messages.size(), 1);
    QVERIFY(host.messages.first().startsWith(QStringLiteral("Deschidere Salvare|")));
    QVERIFY(host.messages.first().contains(QLatin1String("zz.txt")));
    QCOMPARE(host.kinds.first(), MessageWarning);
    QCOMPARE(db->scalar(QStringLiteral("SELECT NUME FROM Abonat WHERE IDAB=7")).toString(), QStringLiteral("Popescu Ion"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before.left(before.size() - 6));
}

void TestStartupSequence::keptRestoreFolderSurvivesCleanupAndTheNextOpen()
{
    Installation inst;
    const QString source = inst.dir.filePath(QStringLiteral("source"));
    QDir().mkpath(source);
    createMissingTables(source);
    const QString archive = inst.dir.filePath(QStringLiteral("copie.vrn"));
    NullProgress quiet;
    QVERIFY(writeArchive(source, archive, quiet) > 0);
    Session first;
    RecordingHost host;
    QCOMPARE(inst.start(first, host, archive), StartupOutcome::Ready);
    QCOMPARE(keepRestoreFolder(first), inst.home() + QStringLiteral("/SAV0"));
    shutdownCleanup(first);
    QVERIFY(QFile::exists(inst.home() + QStringLiteral("/SAV0/Data/Abonat.dbf")));
    Session second;
    QCOMPARE(inst.start(second, host, archive), StartupOutcome::Ready);
    QCOMPARE(second.programFolder, inst.home() + QStringLiteral("/SAV1"));
    QVERIFY(QFile::exists(inst.home() + QStringLiteral("/SAV0/Data/Abonat.dbf")));
    shutdownCleanup(second);
    QVERIFY(!QFileInfo::exists(inst.home() + QStringLiteral("/SAV1")));
    Session local;
    QVERIFY(keepRestoreFolder(local).isEmpty());
}

// A start-up in its own process (another workstation): says "waiting" while it waits
// for the folder's writer lock.
int runStart(const QStringList &args)
{
    setWriterWaitHandler([](bool waiting, int) {
        if (waiting) {
            std::fputs("waiting\n", stdout);
            std::fflush(stdout);
        }
    });
    Clock::setNow(QDateTime(QDate(2025, 3, 5), QTime(10, 0)));
    Session session;
    RecordingHost host;
    StartupOptions options;
    options.programFolder = args.value(0);
    options.machineFolder = args.value(1);
    options.backupFolderCandidates = QStringList{args.value(2)};
    StartupSequence sequence(session, options, host);
    return sequence.run() == StartupOutcome::Ready ? 0 : 1;
}

// A restore killed after moving Abonat.dbf to DataBAK and writing half of the new one:
// the next start used to open the mixed folder without a word.
void TestStartupSequence::startAfterAKilledRestorePutsTheOldDataBackAndSaysSo()
{
    Installation inst;
    {
        Session session;
        RecordingHost host;
        QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    }
    const QString abonat = inst.data() + QStringLiteral("/Abonat.dbf");
    QFile f(abonat);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray old = f.readAll();
    f.close();
    const QString bak = inst.home() + QStringLiteral("/DataBAK");
    QVERIFY(QDir().mkpath(bak));
    QVERIFY(QFile::rename(abonat, bak + QStringLiteral("/Abonat.dbf")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("jumatate de tabela");
    f.close();
    RestoreMark mark;
    mark.host = restoremark::thisHost();
    mark.archive = QStringLiteral("/salvari/20250305_0.vrn");
    mark.backup = bak;
    mark.oldNames = QStringList{QStringLiteral("Abonat.dbf")};
    mark.newNames = mark.oldNames;

    // Another workstation's restore cannot be undone here: the start stops and says where.
    RestoreMark foreign = mark;
    foreign.host = QStringLiteral("casierie2-") + mark.host;
    QVERIFY(restoremark::write(inst.data(), foreign).isEmpty());
    {
        Session session;
        RecordingHost host;
        QCOMPARE(inst.start(session, host), StartupOutcome::Abort);
        QVERIFY2(host.messages.join(QLatin1Char('\n')).contains(QLatin1String("casierie2-")),
                 qPrintable(host.messages.join(QLatin1Char('\n'))));
    }
    QVERIFY(restoremark::write(inst.data(), mark).isEmpty());
    Session session;
    RecordingHost host;
    QCOMPARE(inst.start(session, host), StartupOutcome::Ready);
    QVERIFY2(host.messages.contains(QStringLiteral("Restaurare date|Restaurarea din /salvari/20250305_0.vrn nu s-a terminat; "
                                                   "datele au fost puse inapoi cum erau inainte.")),
             qPrintable(host.messages.join(QLatin1Char('\n'))));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), old);
    QVERIFY(!QFile::exists(restoremark::pathIn(inst.data())));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == QLatin1String("--start"))
        return runStart(args.mid(2));
    TestStartupSequence t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_startupsequence.moc"
