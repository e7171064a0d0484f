// Times the first full scan of a Debite.dbf of N rows (the snapshot loaded from the file, as
// at the program's start), then a repeated one, with CPU time beside wall time, against the
// same rows in a native SQLite table. Usage: bench_store_scan [rows] [repeats]

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"

#include "benchclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace vestronia;

using vestronia::bench::cpuMs;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int repeats = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 5;
    QTemporaryDir dir;
    createTable(dir.filePath(QStringLiteral("Debite.dbf")), tableDef(TableId::Debite).columns);
    Database db(dir.path());
    db.exec(QStringLiteral("ATTACH DATABASE ? AS native"), {dir.filePath(QStringLiteral("native.sqlite"))});
    QStringList cols;
    for (const ColumnDef &c : tableDef(TableId::Debite).columns)
        cols << QLatin1String(c.name) + QLatin1Char(' ') + c.sqlType();
    db.exec(QStringLiteral("CREATE TABLE native.Debite (%1)").arg(cols.join(QStringLiteral(", "))));
    for (const QString &table : {QStringLiteral("Debite"), QStringLiteral("native.Debite")}) {
        Transaction tx(db);
        Statement st = db.prepare(QStringLiteral("INSERT INTO %1 (IDDEB, IDAB, IDCON, DATADEB, DENUM, SOLD) "
                                                 "VALUES (?, ?, 1, ?, 'Salubritate - 01.2024', ?)")
                                      .arg(table));
        for (int i = 1; i <= rows; ++i)
            st.exec({i, i % 10000 + 1, 40000 + i % 3650, double(i % 100) / 4});
        tx.commit();
    }
    QTextStream out(stdout);
    const QString scan = QStringLiteral("SELECT COUNT(*), SUM(SOLD) FROM %1");
    // Best of the repeats: the machine is shared, the least disturbed run is the cost.
    auto best = [&](const QString &table, bool cold) {
        double wall = 1e18, cpu = 1e18;
        for (int r = 0; r < repeats; ++r) {
            if (cold)
                db.refresh();
            QElapsedTimer t;
            t.start();
            const double c0 = cpuMs();
            db.select(scan.arg(table));
            wall = std::min(wall, double(t.nsecsElapsed()) / 1e6);
            cpu = std::min(cpu, cpuMs() - c0);
        }
        return QStringLiteral("%1 ms wall %2 ms CPU").arg(wall, 9, 'f', 1).arg(cpu, 9, 'f', 1);
    };
    out << "first scan, dbf:    " << best(QStringLiteral("Debite"), true) << "\n";
    out << "repeated scan, dbf: " << best(QStringLiteral("Debite"), false) << "\n";
    out << "scan, native:       " << best(QStringLiteral("native.Debite"), false) << "\n";
    return 0;
}
