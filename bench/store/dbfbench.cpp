// Times the dBase store on a large Debite.dbf (1,000,000 debits of 10,000 subscribers by
// default) against the same data in a native SQLite table: full scan, equality lookup,
// single appends and one transaction of 120,000 appends. Usage: bench_store [rows].
// (bench_store --other-workstation DIR FIRSTID is the other workstation of one step: a
// process of its own that appends 100 debits to DIR/Debite.dbf.)

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <sqlite3.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <vector>

extern char **environ;

using namespace vestronia;

namespace {

QTextStream out(stdout);

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void row(const QString &what, double dbfMs, double nativeMs)
{
    out << what.leftJustified(46) << QString::number(dbfMs, 'f', 3).rightJustified(12) << " ms"
        << QString::number(nativeMs, 'f', 3).rightJustified(12) << " ms\n";
    out.flush();
}

// Runs the same statement on the dbf table and on the native one.
struct Pair
{
    Database &db;
    QString dbfTable;
    QString nativeTable;

    double time(const QString &sqlTemplate, const QVariantList &params, int repeat = 1)
    {
        QElapsedTimer t;
        const QString sql = sqlTemplate.arg(dbfTable);
        t.start();
        for (int i = 0; i < repeat; ++i)
            db.select(sql, params);
        return msSince(t) / repeat;
    }
};

const QString InsertDebit = QStringLiteral(
    "INSERT INTO %1 (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
    "PENALDATA, MAXSOLD) VALUES (?, ?, ?, 1, ?, ?, ?, ?, ?, 0.5, 'luna', ?, 'X')");

// The other workstation: its own process, its own connection to the folder.
int otherWorkstation(const QString &folder, qint64 firstId)
{
    Database other(folder);
    Transaction tx(other);
    Statement st = other.prepare(InsertDebit.arg(QStringLiteral("Debite")));
    for (int i = 0; i < 100; ++i)
        st.exec({firstId + i, 1, 1234, 45000, 202501, QStringLiteral("x"), 1.0, 1.0, 45030});
    tx.commit();
    return 0;
}

// Runs this program as the other workstation and waits for it.
bool appendFromAnotherProcess(const QString &folder, qint64 firstId)
{
    QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    QByteArray flag("--other-workstation");
    QByteArray dir = QFile::encodeName(folder);
    QByteArray id = QByteArray::number(firstId);
    char *args[] = {self.data(), flag.data(), dir.data(), id.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.constData(), nullptr, nullptr, args, environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--other-workstation")
        return otherWorkstation(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int subscribers = 10000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
    createTable(path, tableDef(TableId::Debite).columns);
    Database db(dir.path());
    db.exec(QStringLiteral("ATTACH DATABASE ? AS native"), {dir.filePath(QStringLiteral("native.sqlite"))});
    QStringList cols;
    for (const ColumnDef &c : tableDef(TableId::Debite).columns)
        cols << QLatin1String(c.name) + QLatin1Char(' ') + c.sqlType();
    db.exec(QStringLiteral("CREATE TABLE native.Debite (%1)").arg(cols.join(QStringLiteral(", "))));
    db.exec(QStringLiteral("CREATE INDEX native.DebiteIdab ON Debite (IDAB)"));

    out << "Debite.dbf with " << rows << " rows, " << subscribers << " subscribers\n";
    out << QStringLiteral("operation").leftJustified(46) << QStringLiteral("dbf").rightJustified(15)
        << QStringLiteral("native SQLite").rightJustified(15) << "\n";

    const QString &insert = InsertDebit;
    auto fill = [&](const QString &table, int from, int count) {
        QElapsedTimer t;
        t.start();
        Transaction tx(db);
        Statement st = db.prepare(insert.arg(table));
        for (int i = from; i < from + count; ++i) {
            const int day = 40000 + i % 3650;
            st.exec({i, i % 30000 + 1, i % subscribers + 1, day, 202401 + (i % 12), QStringLiteral("Salubritate - 01.2024"),
                     12.5 + (i % 7), double(i % 100) / 4, day + 30});
        }
        tx.commit();
        return msSince(t);
    };
    const double fillDbf = fill(QStringLiteral("Debite"), 1, rows);
    const double fillNative = fill(QStringLiteral("native.Debite"), 1, rows);
    row(QStringLiteral("fill %1 rows in one transaction").arg(rows), fillDbf, fillNative);

    Pair dbfp{db, QStringLiteral("Debite"), {}};
    Pair nat{db, QStringLiteral("native.Debite"), {}};
    db.refresh(); // the first read below loads the file as another start of the program would
    const QString scan = QStringLiteral("SELECT COUNT(*), SUM(SOLD) FROM %1");
    row(QStringLiteral("full scan COUNT(*), SUM(SOLD) (first)"), dbfp.time(scan, {}), nat.time(scan, {}));
    row(QStringLiteral("full scan COUNT(*), SUM(SOLD) (repeated)"), dbfp.time(scan, {}, 5), nat.time(scan, {}, 5));
    const QString lookup = QStringLiteral("SELECT * FROM %1 WHERE IDAB=?");
    row(QStringLiteral("SELECT * WHERE IDAB=? (first)"), dbfp.time(lookup, {1234}), nat.time(lookup, {1234}));
    {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1000; ++i)
            db.select(lookup.arg(QStringLiteral("Debite")), {(i * 7919) % subscribers + 1});
        const double d = msSince(t) / 1000;
        t.restart();
        for (int i = 0; i < 1000; ++i)
            db.select(lookup.arg(QStringLiteral("native.Debite")), {(i * 7919) % subscribers + 1});
        row(QStringLiteral("SELECT * WHERE IDAB=? (repeated, 100 rows)"), d, msSince(t) / 1000);
    }
    const QString byId = QStringLiteral("SELECT SOLD FROM %1 WHERE IDDEB=?");
    row(QStringLiteral("SELECT SOLD WHERE IDDEB=? (first, unique key)"), dbfp.time(byId, {777777}), nat.time(byId, {777777}));
    {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1000; ++i)
            db.select(byId.arg(QStringLiteral("Debite")), {(i * 7919) % rows + 1});
        const double d = msSince(t) / 1000;
        t.restart();
        for (int i = 0; i < 1000; ++i)
            db.select(byId.arg(QStringLiteral("native.Debite")), {(i * 7919) % rows + 1});
        row(QStringLiteral("SELECT SOLD WHERE IDDEB=? (repeated)"), d, msSince(t) / 1000);
    }
    {
        const QString one = insert;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100; ++i)
            db.exec(one.arg(QStringLiteral("Debite")), {rows + 1 + i, 1, 1, 45000, 202501, QStringLiteral("x"), 1.0, 1.0, 45030});
        const double d = msSince(t) / 100;
        t.restart();
        for (int i = 0; i < 100; ++i)
            db.exec(one.arg(QStringLiteral("native.Debite")), {rows + 1 + i, 1, 1, 45000, 202501, QStringLiteral("x"), 1.0, 1.0, 45030});
        row(QStringLiteral("single-row INSERT (autocommit)"), d, msSince(t) / 100);
    }
    const double monthDbf = fill(QStringLiteral("Debite"), rows + 1000, 120000);
    const double monthNative = fill(QStringLiteral("native.Debite"), rows + 1000, 120000);
    row(QStringLiteral("120,000 INSERTs in one transaction"), monthDbf, monthNative);
    row(QStringLiteral("SELECT * WHERE IDAB=? (after the appends)"), dbfp.time(lookup, {1234}), nat.time(lookup, {1234}));
    const QString upd = QStringLiteral("UPDATE %1 SET SOLD=SOLD+1 WHERE IDAB=?");
    {
        // One durable commit is mostly the disk's time, so one sample says little: the
        // median of nine subscribers, each side in turn.
        std::vector<double> dbfMs, nativeMs;
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer t;
            t.start();
            db.exec(upd.arg(QStringLiteral("Debite")), {77 + i});
            dbfMs.push_back(msSince(t));
            t.restart();
            db.exec(upd.arg(QStringLiteral("native.Debite")), {77 + i});
            nativeMs.push_back(msSince(t));
        }
        std::sort(dbfMs.begin(), dbfMs.end());
        std::sort(nativeMs.begin(), nativeMs.end());
        row(QStringLiteral("UPDATE ... WHERE IDAB=? (112 rows, median of 9)"), dbfMs[4], nativeMs[4]);
    }
    {
        // Another workstation (another process, as in the office) appends 100 debits; this
        // one then looks a subscriber up. Only the new records are read and added to the index.
        if (!appendFromAnotherProcess(dir.path(), rows + 200000)) {
            out << "the other workstation failed to append\n";
            return 1;
        }
        QElapsedTimer t;
        t.start();
        const qint64 seen = db.select(lookup.arg(QStringLiteral("Debite")), {1234}).rowCount();
        const double d = msSince(t);
        db.exec(QStringLiteral("INSERT INTO native.Debite SELECT * FROM native.Debite WHERE IDDEB<=100"));
        t.restart();
        db.select(lookup.arg(QStringLiteral("native.Debite")), {1234});
        row(QStringLiteral("IDAB=? after another process appended 100 (%1 rows)").arg(seen), d, msSince(t));
    }
    {
        // A collection: ten debits paid, a document, its ten lines and ten previous rests,
        // durable, against native SQLite with a rollback journal and full syncs.
        QTemporaryDir folder;
        for (TableId tid : {TableId::Debite, TableId::Chitante, TableId::DetChit, TableId::DebiteArh})
            createTable(folder.filePath(QLatin1String(tableDef(tid).fileName)), tableDef(tid).columns);
        Database desk(folder.path());
        desk.exec(QStringLiteral("ATTACH DATABASE ? AS native"), {folder.filePath(QStringLiteral("native.sqlite"))});
        desk.exec(QStringLiteral("PRAGMA native.journal_mode=DELETE"));
        desk.exec(QStringLiteral("PRAGMA native.synchronous=FULL"));
        for (TableId tid : {TableId::Debite, TableId::Chitante, TableId::DetChit, TableId::DebiteArh}) {
            QStringList c;
            for (const ColumnDef &col : tableDef(tid).columns)
                c << QLatin1String(col.name) + QLatin1Char(' ') + col.sqlType();
            desk.exec(QStringLiteral("CREATE TABLE native.%1 (%2)").arg(QLatin1String(tableDef(tid).name), c.join(QStringLiteral(", "))));
        }
        desk.exec(QStringLiteral("CREATE INDEX native.DebIdDeb ON Debite (IDDEB)"));
        for (const QString &schema : {QString(), QStringLiteral("native.")}) {
            Transaction tx(desk);
            Statement st = desk.prepare(QStringLiteral("INSERT INTO %1Debite (IDDEB, IDAB, SOLD) VALUES (?, ?, 10)").arg(schema));
            for (int i = 1; i <= 20000; ++i)
                st.exec({i, i % 500 + 1});
            tx.commit();
        }
        auto collection = [&](const QString &schema, int round) {
            Transaction tx(desk);
            const qint64 doc = round + 1;
            desk.exec(QStringLiteral("INSERT INTO %1Chitante (IDCHIT, IDAB, DOCJUS, INCASAT) VALUES (?, 1, 'CHITANTA', 100)").arg(schema),
                      {doc});
            for (int i = 0; i < 10; ++i) {
                const int iddeb = 1 + (round * 10 + i) % 20000;
                desk.exec(QStringLiteral("INSERT INTO %1DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (?, ?, 1, 10)").arg(schema),
                          {doc, iddeb});
                desk.exec(QStringLiteral("UPDATE %1Debite SET SOLD=0 WHERE IDDEB=?").arg(schema), {iddeb});
                desk.exec(QStringLiteral("INSERT INTO %1DetChit (IDDCHIT, IDCHIT, IDDEB, CURENT) VALUES (?, ?, ?, 10)").arg(schema),
                          {doc * 100 + i, doc, iddeb});
            }
            tx.commit();
        };
        constexpr int rounds = 50;
        QElapsedTimer t;
        t.start();
        for (int r = 0; r < rounds; ++r)
            collection(QString(), r);
        const double d = msSince(t) / rounds;
        t.restart();
        for (int r = 0; r < rounds; ++r)
            collection(QStringLiteral("native."), r);
        row(QStringLiteral("collection: 10 updates + 21 appends, 4 tables, durable"), d, msSince(t) / rounds);
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    out << "peak memory: " << usage.ru_maxrss / 1024 << " MB\n";
    return 0;
}
