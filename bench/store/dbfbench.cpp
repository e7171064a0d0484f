// Times the dBase store on a large Debite.dbf (1,000,000 debits of 10,000 subscribers by
// default) against the same data in a native SQLite table: full scan, equality lookup,
// single appends and one transaction of 120,000 appends. Usage: bench_store [rows].

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <sqlite3.h>

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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
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

    const QString insert = QStringLiteral(
        "INSERT INTO %1 (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
        "PENALDATA, MAXSOLD) VALUES (?, ?, ?, 1, ?, ?, ?, ?, ?, 0.5, 'luna', ?, 'X')");
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
        QElapsedTimer t;
        t.start();
        db.exec(upd.arg(QStringLiteral("Debite")), {77});
        const double d = msSince(t);
        t.restart();
        db.exec(upd.arg(QStringLiteral("native.Debite")), {77});
        row(QStringLiteral("UPDATE ... WHERE IDAB=? (112 rows)"), d, msSince(t));
    }
    return 0;
}
