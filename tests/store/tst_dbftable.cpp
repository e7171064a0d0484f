// Whole-file maintenance: creating tables, adding columns to a table with rows, packing
// (and its refusal while another descriptor holds a lock), the production-index byte.

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbflock.h"
#include "store/dbftable.h"
#include "store/fileops.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vestronia;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Another descriptor of the file holding a lock, as another workstation would.
class ForeignLock
{
public:
    ForeignLock(const QString &path, off_t start, off_t length)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
        m_ok = m_fd >= 0 && dbflock::tryLock(m_fd, start, length, true);
    }
    ~ForeignLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

} // namespace

class TestDbfTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createsTheCatalogueLayout()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Debite).columns));
        const QByteArray bytes = readFile(path);
        const int fields = int(tableDef(TableId::Debite).columns.size());
        QCOMPARE(bytes.size(), 32 + 32 * fields + 1 + 1);
        QCOMPARE(quint8(bytes[0]), quint8(0x03));
        QCOMPARE(quint8(bytes[29]), quint8(0xC8));
        QCOMPARE(bytes[32 + 32 * fields], char(0x0D));
        QCOMPARE(bytes.back(), char(0x1A));
        const QList<DbfColumn> cols = tableColumns(path);
        QCOMPARE(cols.size(), fields);
        for (int i = 0; i < fields; ++i)
            QCOMPARE(cols[i], toDbfColumn(tableDef(TableId::Debite).columns[size_t(i)]));
        QCOMPARE(cols[8].sqlType(), QStringLiteral("SOLD DECIMAL(10,2)"));
    }

    void refusesBadColumns()
    {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(DbfError, createTable(dir.filePath(QStringLiteral("a.dbf")),
                                                       QList<DbfColumn>{{QStringLiteral("X"), 'C', 300, 0}}));
        QVERIFY_THROWS_EXCEPTION(DbfError, createTable(dir.filePath(QStringLiteral("b.dbf")),
                                                       QList<DbfColumn>{{QStringLiteral("NUMETARELUNG"), 'C', 3, 0}}));
        QVERIFY_THROWS_EXCEPTION(DbfError, createTable(dir.filePath(QStringLiteral("c.dbf")),
                                                       QList<DbfColumn>{{QStringLiteral("A"), 'N', 5, 0},
                                                                        {QStringLiteral("a"), 'N', 5, 0}}));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.dbf"))));
    }

    void addColumnsKeepsEveryRow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Abonat.dbf"));
        const QList<DbfColumn> start = {{QStringLiteral("IDAB"), 'N', 10, 0}, {QStringLiteral("NUME"), 'C', 20, 0}};
        QVERIFY(createTable(path, start));
        {
            Database db(dir.path());
            Statement ins = db.prepare(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (?, ?)"));
            for (int i = 1; i <= 50; ++i)
                ins.exec({i, QStringLiteral("Nume %1").arg(i)});
            db.exec(QStringLiteral("DELETE FROM Abonat WHERE IDAB=7"));
        }
        addColumns(path, QList<DbfColumn>{{QStringLiteral("OBS"), 'C', 200, 0}, {QStringLiteral("DATACON"), 'N', 6, 0}});
        // Running the same upgrade again changes nothing.
        const QByteArray once = readFile(path);
        addColumns(path, QList<DbfColumn>{{QStringLiteral("OBS"), 'C', 200, 0}});
        QCOMPARE(readFile(path), once);
        QCOMPARE(tableColumns(path).size(), 4);

        {
            Database db(dir.path());
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Abonat")).toInt(), 49);
            QCOMPARE(db.scalar(QStringLiteral("SELECT NUME FROM Abonat WHERE IDAB=50")).toString(), QStringLiteral("Nume 50"));
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Abonat WHERE OBS IS NULL AND DATACON IS NULL")).toInt(), 49);
            db.exec(QStringLiteral("UPDATE Abonat SET DATACON=45000, OBS=? WHERE IDAB=3"), {QStringLiteral("nou")});
            QCOMPARE(db.scalar(QStringLiteral("SELECT OBS FROM Abonat WHERE DATACON=45000")).toString(), QStringLiteral("nou"));
            // While a connection is attached the file must not change under it.
            QVERIFY_THROWS_EXCEPTION(DbfError, packTable(path));
            QVERIFY_THROWS_EXCEPTION(DbfError, addColumns(path, QList<DbfColumn>{{QStringLiteral("X"), 'C', 2, 0}}));
            // Through the connection itself the folder is held alone and the change seen.
            db.runExclusive([&] { addColumns(path, QList<DbfColumn>{{QStringLiteral("Y"), 'C', 2, 0}}); });
            db.attach(QStringLiteral("Abonat"), path);
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Abonat WHERE Y IS NULL")).toInt(), 49);
        }
        // The deleted record travelled along (packing drops it, not a schema change).
        QCOMPARE(packTable(path), 1);
    }

    void addColumnsRefusesAConflictingType()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.dbf"));
        QVERIFY(createTable(path, QList<DbfColumn>{{QStringLiteral("A"), 'N', 10, 0}}));
        try {
            addColumns(path, QList<DbfColumn>{{QStringLiteral("A"), 'C', 10, 0}});
            QFAIL("conflict accepted");
        } catch (const DbfError &e) {
            QCOMPARE(e.message(), QStringLiteral("Tabela t.dbf are deja coloana A, de alt tip (N 10,0)."));
        }
    }

    void packDropsDeletedRecords()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Debite).columns));
        Database db(dir.path());
        Statement ins = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, ?, ?)"));
        for (int i = 1; i <= 10; ++i)
            ins.exec({i, i % 3, i * 1.5});
        db.exec(QStringLiteral("DELETE FROM Debite WHERE IDAB=1"));
        const qint64 sizeBefore = QFileInfo(path).size();
        // Another workstation attached to the folder keeps its record numbers: no packing.
        {
            Database other(dir.path());
            QVERIFY_THROWS_EXCEPTION(DbfError, db.runExclusive([&] { packTable(path); }));
        }
        QCOMPARE(QFileInfo(path).size(), sizeBefore);
        qint64 dropped = 0;
        db.runExclusive([&] { dropped = packTable(path); });
        QCOMPARE(dropped, 4);
        QCOMPARE(QFileInfo(path).size(), sizeBefore - 4 * 150);
        QVERIFY(!QFile::exists(path + QStringLiteral(".pak")));
        // The open connection notices the new file and reads it again.
        QCOMPARE(db.scalar(QStringLiteral("SELECT GROUP_CONCAT(IDDEB) FROM Debite")).toString(),
                 QStringLiteral("2,3,5,6,8,9"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT MAX(rowid) FROM Debite")).toInt(), 6);
        db.runExclusive([&] { dropped = packTable(path); });
        QCOMPARE(dropped, 0);
        const QByteArray bytes = readFile(path);
        QCOMPARE(quint8(bytes[4]), quint8(6));
        QCOMPARE(bytes.back(), char(0x1A));
    }

    void packRefusedWhileAnotherDescriptorHoldsALock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Chitante.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Chitante).columns));
        {
            Database db(dir.path());
            db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT) VALUES (1), (2)"));
            db.exec(QStringLiteral("DELETE FROM Chitante WHERE IDCHIT=1"));
        }
        const QByteArray before = readFile(path);
        {
            ForeignLock record(path, dbflock::recordOffset(2), 1);
            QVERIFY(record.ok());
            try {
                packTable(path);
                QFAIL("packed a table in use");
            } catch (const DbfError &e) {
                QCOMPARE(e.message(),
                         QStringLiteral("Tabela Chitante.dbf este folosita de alt calculator si nu poate fi compactata acum."));
            }
            QVERIFY_THROWS_EXCEPTION(DbfError, addColumns(path, QList<DbfColumn>{{QStringLiteral("X"), 'C', 1, 0}}));
        }
        QCOMPARE(readFile(path), before);
        {
            // A descriptor that packs itself (the whole range) excludes this one as well.
            ForeignLock whole(path, dbflock::WholeStart, dbflock::WholeLength);
            QVERIFY(whole.ok());
            QVERIFY_THROWS_EXCEPTION(DbfError, packTable(path));
        }
        QCOMPARE(packTable(path), 1);
    }

    void packRefusedWhileAnotherProcessHoldsARecordLock()
    {
        // A classic POSIX record lock of another program conflicts with ours as well.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("DetChit.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::DetChit).columns));
        QProcess holder;
        holder.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import fcntl, os, sys, time\n"
                                     "fd = os.open(sys.argv[1], os.O_RDWR)\n"
                                     "fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB, 1, 0xEFFFFFFE - 1)\n"
                                     "print('locked', flush=True)\n"
                                     "time.sleep(60)\n"),
                      path});
        if (!holder.waitForStarted(10000))
            QSKIP("/usr/bin/python3 cannot be started");
        QVERIFY(holder.waitForReadyRead(20000));
        QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("locked"));
        QVERIFY_THROWS_EXCEPTION(DbfError, packTable(path));
        holder.kill();
        holder.waitForFinished(10000);
        QCOMPARE(packTable(path), 0);
    }

    // The flag write went around the file operations, so a failing disk was never seen
    // by the fault tests; and a packing whose folder could not be flushed was reported done.
    void flagWriteAndPackingFolderFlushFailuresAreReported()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Log.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Log).columns));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(28);
            f.write("\x01", 1);
        }
        fileops::injectFault(1, fileops::Fault::Error);
        QVERIFY_THROWS_EXCEPTION(DbfError, clearProductionIndexFlag(path));
        QVERIFY(fileops::faultFired());
        fileops::injectFault(0);
        QCOMPARE(readFile(path).at(28), '\x01');

        // Packing: the flush of the folder is its last counted step.
        auto withDeleted = [&] {
            Database db(dir.path());
            db.attach(QStringLiteral("L"), path);
            db.exec(QStringLiteral("INSERT INTO L (IDLOG) VALUES (1)"));
            db.exec(QStringLiteral("INSERT INTO L (IDLOG) VALUES (2)"));
            db.exec(QStringLiteral("DELETE FROM L WHERE IDLOG=1"));
        };
        withDeleted();
        fileops::injectFault(~0ULL);
        QCOMPARE(packTable(path), 1);
        const std::uint64_t calls = fileops::countedCalls();
        fileops::injectFault(0);
        withDeleted();
        fileops::injectFault(calls, fileops::Fault::Error);
        QVERIFY_THROWS_EXCEPTION(DbfError, packTable(path));
        QVERIFY(fileops::faultFired());
        fileops::injectFault(0);
        Database db(dir.path());
        db.attach(QStringLiteral("L"), path);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM L")).toLongLong(), 2); // the packed table, whole
    }

    // Reading the umask used to set it to 0 for a moment (another thread's file then got
    // mode 0666), and kept the first value read for good.
    void umaskIsReadWithoutChangingIt()
    {
        QCOMPARE(fileops::umaskFromStatus("Name:\tx\nUmask:\t0027\nState:\tR\n"), std::optional<mode_t>(027));
        QCOMPARE(fileops::umaskFromStatus("Umask:\t0002\n"), std::optional<mode_t>(02));
        QVERIFY(!fileops::umaskFromStatus("Name:\tx\nState:\tR\n"));
        QVERIFY(!fileops::umaskFromStatus("Umask:\t9\n"));
        const mode_t old = ::umask(027);
        QCOMPARE(fileops::processUmask(), mode_t(027));
        ::umask(022);
        QCOMPARE(fileops::processUmask(), mode_t(022));
        ::umask(old);
    }

    void clearsTheProductionIndexFlag()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Log.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Log).columns));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(28);
            f.write("\x01", 1);
        }
        QCOMPARE(quint8(readFile(path)[28]), quint8(1));
        clearProductionIndexFlag(path);
        QCOMPARE(quint8(readFile(path)[28]), quint8(0));
        QVERIFY_THROWS_EXCEPTION(DbfError, clearProductionIndexFlag(dir.filePath(QStringLiteral("missing.dbf"))));
    }
};

QTEST_GUILESS_MAIN(TestDbfTable)
#include "tst_dbftable.moc"
