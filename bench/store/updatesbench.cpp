// Times one transaction of N single-row UPDATEs (as the penalty re-dating runs them) of
// every other record of a Debite.dbf of 2N rows, for each N given, with the CPU time: a statement should cost the
// rows it touches, so time per row stays flat as N grows. Usage: bench_store_updates [N...].

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"

#include "benchclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace vestronia;

using vestronia::bench::cpuMs;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {10000, 20000, 40000};
    QTextStream out(stdout);
    for (int n : sizes) {
        QTemporaryDir dir;
        createTable(dir.filePath(QStringLiteral("Debite.dbf")), tableDef(TableId::Debite).columns);
        Database db(dir.path());
        {
            Transaction tx(db);
            Statement st = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, IDCON, DATADEB, SOLD, PENAL, PENALDATA) "
                                                     "VALUES (?, ?, 1, ?, 10, 0.5, ?)"));
            for (int i = 1; i <= 2 * n; ++i)
                st.exec({i, i % 1000 + 1, 40000 + i % 3650, 40030 + i % 3650});
            tx.commit();
        }
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuMs();
        {
            Transaction tx(db);
            Statement st = db.prepare(QStringLiteral("UPDATE Debite SET PENALDATA=?, PENALPE='luna' WHERE IDDEB=?"));
            for (int i = 1; i <= n; ++i)
                st.exec({40060 + i % 3650, 2 * i - 1});
            tx.commit();
        }
        const double wall = double(t.nsecsElapsed()) / 1e6;
        const double cpu = cpuMs() - cpu0;
        out << n << " single-row UPDATEs in one transaction: " << QString::number(wall, 'f', 1) << " ms wall, "
            << QString::number(cpu, 'f', 1) << " ms CPU, " << QString::number(cpu * 1000 / n, 'f', 2)
            << " us CPU per row\n";
        out.flush();
    }
    return 0;
}
