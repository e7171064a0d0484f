// Times the report writer: the subscriber list ("Rap1") filled with 10,000 records and
// saved, from a result held in memory and from a query on a data folder; and the yearly
// balance widened to ten year blocks and written cell by cell for 10,000 subscribers.
// Usage: bench_reports [records] [rounds].

#include "core/workfiles.h"
#include "reports/reportwriter.h"
#include "reports/templateresource.h"
#include "store/database.h"
#include "store/datafolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace vestronia;

namespace {

QTextStream out(stdout);

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

ResultSet subscribers(int count)
{
    ResultSet rs;
    rs.setColumns({QStringLiteral("NUME"), QStringLiteral("CNP"), QStringLiteral("NRPERS"), QStringLiteral("LOC"),
                   QStringLiteral("STRADA"), QStringLiteral("NR")},
                  {QStringLiteral("CHAR(68)"), QStringLiteral("CHAR(13)"), QStringLiteral("DECIMAL(6,0)"),
                   QStringLiteral("CHAR(32)"), QStringLiteral("CHAR(32)"), QStringLiteral("CHAR(32)")});
    for (int i = 0; i < count; ++i)
        rs.appendRow({QStringLiteral("ABONAT NUMARUL %1").arg(i), QStringLiteral("18%1").arg(i, 11, 10, QLatin1Char('0')),
                      qint64(i % 6), QStringLiteral("LOCALITATEA %1").arg(i % 12), QStringLiteral("STRADA %1").arg(i % 150),
                      QString::number(i % 97 + 1)});
    return rs;
}

struct Timing
{
    double fill = 0;
    double save = 0;
    double total = 0;
    qint64 bytes = 0;
};

Timing fillRap1(const QString &temp, const ResultSet &rs)
{
    Timing t;
    QElapsedTimer all;
    all.start();
    const QString copy = newWorkFile(temp, QStringLiteral("R1S"), QStringLiteral(".xls"));
    writeTemplateResource(QStringLiteral("Rap1"), copy);
    ReportWriter w(temp);
    w.openTemplate(copy);
    w.replaceKey(QStringLiteral("[DATA]"), QStringLiteral("la data de 29.11.2024"));
    QElapsedTimer step;
    step.start();
    w.fillRows(rs);
    t.fill = msSince(step);
    step.restart();
    const QString output = w.finish();
    t.save = msSince(step);
    t.total = msSince(all);
    t.bytes = QFileInfo(output).size();
    QFile::remove(output);
    QFile::remove(copy);
    return t;
}

void report(const QString &what, std::vector<Timing> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Timing &a, const Timing &b) { return a.total < b.total; });
    const Timing &best = runs.front();
    const Timing &median = runs[runs.size() / 2];
    out << what << '\n'
        << QStringLiteral("  best:   fill %1 ms, save %2 ms, total %3 ms (%4 KB)\n")
               .arg(best.fill, 0, 'f', 1)
               .arg(best.save, 0, 'f', 1)
               .arg(best.total, 0, 'f', 1)
               .arg(best.bytes / 1024)
        << QStringLiteral("  median: fill %1 ms, save %2 ms, total %3 ms\n")
               .arg(median.fill, 0, 'f', 1)
               .arg(median.save, 0, 'f', 1)
               .arg(median.total, 0, 'f', 1);
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int records = args.size() > 1 ? args[1].toInt() : 10000;
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : 5;
    QTemporaryDir dir;
    const QString temp = dir.filePath(QStringLiteral("Temp"));

    // 1. The writer alone: a result already in memory.
    const ResultSet rs = subscribers(records);
    std::vector<Timing> runs;
    for (int i = 0; i < rounds; ++i)
        runs.push_back(fillRap1(temp, rs));
    report(QStringLiteral("Rap1, %1 records from memory: fillRows + save").arg(records), runs);

    // 2. The whole report: the query on a data folder, then the writer.
    const QString data = dir.filePath(QStringLiteral("Data"));
    QDir().mkpath(data);
    createMissingTables(data);
    {
        Database db(data);
        Transaction tx(db);
        Statement insert = db.prepare(QStringLiteral(
            "INSERT INTO Abonat (IDAB, NUME, CNP, LOC, STRADA, NR, NRPERS, DATAOUT) VALUES (?, ?, ?, ?, ?, ?, ?, 0)"));
        for (int i = 0; i < records; ++i)
            insert.exec({i + 1, rs.value(i, 0), rs.value(i, 1), rs.value(i, 3), rs.value(i, 4), rs.value(i, 5),
                         rs.value(i, 2)});
        tx.commit();
    }
    Database db(data);
    runs.clear();
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer q;
        q.start();
        const ResultSet fromDb = db.select(QStringLiteral("SELECT NUME, CNP, NRPERS, LOC, STRADA, NR FROM Abonat "
                                                         "WHERE ((DATAOUT=0) OR (DATAOUT > ?)) ORDER BY NUME"),
                                          {45625});
        const double query = msSince(q);
        Timing t = fillRap1(temp, fromDb);
        t.total += query;
        runs.push_back(t);
    }
    report(QStringLiteral("Rap1, %1 records queried from Abonat.dbf: query + fillRows + save").arg(records), runs);

    // 3. The yearly balance: ten year blocks, one row per subscriber, cells written one by one.
    runs.clear();
    for (int i = 0; i < rounds; ++i) {
        Timing t;
        QElapsedTimer all;
        all.start();
        const QString copy = newWorkFile(temp, QStringLiteral("Bilant"), QStringLiteral(".xls"));
        writeTemplateResource(QStringLiteral("Bilant"), copy);
        ReportWriter w(temp);
        w.openTemplate(copy);
        Workbook &wb = w.workbook();
        wb.copyColumns(11, 16, 17, 8);
        wb.copyRows(7, 7, 7, records - 1);
        QElapsedTimer step;
        step.start();
        for (int r = 0; r < records; ++r) {
            const int row = 7 + r;
            wb.setCell(row, 1, r + 1);
            wb.setCell(row, 2, rs.value(r, 5));
            wb.setCell(row, 3, rs.value(r, 0));
            wb.setCell(row, 4, rs.value(r, 1));
            for (int k = 0; k < 10; ++k) {
                wb.setCell(row, 5 + 6 * k, 3);
                wb.setCell(row, 7 + 6 * k, 120.5);
                wb.setCell(row, 8 + 6 * k, 100.25);
            }
        }
        t.fill = msSince(step);
        step.restart();
        const QString output = w.finish();
        t.save = msSince(step);
        t.total = msSince(all);
        t.bytes = QFileInfo(output).size();
        QFile::remove(output);
        runs.push_back(t);
    }
    report(QStringLiteral("Bilant, %1 rows x 10 year blocks written cell by cell").arg(records), runs);
    return 0;
}
