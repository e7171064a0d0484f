// Times the ledger on a generated commune of 10,000 subscribers: the monthly run that
// writes twelve months at once beside its twin (native SQLite inserting the same rows in
// one durable transaction), a second run on the same day, opening the subscriber screen
// over 1.2 million debits, moving from one subscriber to the next (four panels and the
// totals) and typing in the name filter.
// Usage: bench_ledger [--subscribers N] [--keep DIR]   (build in Release to measure)

#include "commune.h"

#include "core/clock.h"
#include "core/error.h"
#include "core/tablecatalogue.h"
#include "core/terminalprogress.h"
#include "ledger/monthlydebiting.h"
#include "store/database.h"
#include "ui/register/evidenta.h"

#include "benchclock.h"

#include <QApplication>
#include <cstdio>
#include <sys/resource.h>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vestronia;

using vestronia::bench::cpuMs;

namespace {

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// CPU time of this process: on a machine shared with other work, the wall clock says
// as much about the neighbours as about us.

void report(const char *what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, size_t(double(samples.size()) * q))]; };
    std::printf("%-52s n=%-5zu mean %8.2f ms   p50 %8.2f ms   p95 %8.2f ms   max %8.2f ms\n", what, samples.size(),
                sum / double(samples.size()), at(0.5), at(0.95), samples.back());
}

void check(sqlite3 *db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw VestroniaError(QStringLiteral("SQLite: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
}

// The twin of the monthly run: the same rows inserted into a native SQLite table with
// Debite's columns, in one transaction, with a rollback journal on disk and full syncs
// (what the monthly run promises: the whole batch or nothing, durable at its end).
// Returns the milliseconds from BEGIN to the end of COMMIT.
double nativeTwin(const QString &path, const ResultSet &rows, bool indexed, double &cpu)
{
    QFile::remove(path);
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw VestroniaError(QStringLiteral("SQLite: cannot open %1").arg(path));
    }
    QStringList columns;
    QStringList marks;
    for (const ColumnDef &c : tableDef(TableId::Debite).columns) {
        columns << QLatin1String(c.name) + QLatin1Char(' ') + c.sqlType();
        marks << QStringLiteral("?");
    }
    auto exec = [&](const QString &sql) {
        check(db, sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr));
    };
    exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    exec(QStringLiteral("PRAGMA synchronous=FULL"));
    exec(QStringLiteral("CREATE TABLE Debite (%1)").arg(columns.join(QStringLiteral(", "))));
    if (indexed)
        exec(QStringLiteral("CREATE INDEX DebiteIdab ON Debite (IDAB)"));
    QElapsedTimer t;
    t.start();
    const double cpuBefore = cpuMs();
    exec(QStringLiteral("BEGIN"));
    sqlite3_stmt *insert = nullptr;
    const QByteArray sql = QStringLiteral("INSERT INTO Debite VALUES (%1)").arg(marks.join(QLatin1Char(','))).toUtf8();
    check(db, sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr));
    for (const QVariantList &row : rows.rows()) {
        for (int c = 0; c < int(row.size()); ++c) {
            const QVariant &v = row[c];
            if (v.isNull())
                sqlite3_bind_null(insert, c + 1);
            else if (v.typeId() == QMetaType::Double)
                sqlite3_bind_double(insert, c + 1, v.toDouble());
            else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                sqlite3_bind_int64(insert, c + 1, v.toLongLong());
            else
                sqlite3_bind_text(insert, c + 1, v.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
        }
        check(db, sqlite3_step(insert));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(QStringLiteral("COMMIT"));
    const double elapsed = ms(t);
    cpu = cpuMs() - cpuBefore;
    sqlite3_close(db);
    QFile::remove(path);
    return elapsed;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::CommuneOptions o;
    o.undebitedMonths = 12;
    // Every household active, so the run writes exactly twelve debits each.
    o.leaversPerThousand = 0;
    o.exemptedPerThousand = 0;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--subscribers"))
            o.subscribers = args.value(++i).toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args.value(++i);
    }
    QTemporaryDir temp;
    const QString home = keep.isEmpty() ? temp.path() : keep;

    try {
        TerminalProgress progress;
        QElapsedTimer t;
        t.start();
        const bench::CommuneStats s = bench::generateCommune(home, o, progress);
        std::printf("commune: %d subscribers, %d subscriptions, %lld debits written in %.1f s\n", s.subscribers,
                    s.subscriptions, s.debits, ms(t) / 1000.0);

        const Session session = bench::communeSession(home);
        Database db(session.dataFolder);
        NullProgress quiet;
        t.restart();
        const double cpuBefore = cpuMs();
        const DebitingResult run = runMonthlyDebiting(db, session, quiet);
        const double runMs = ms(t);
        const double runCpu = cpuMs() - cpuBefore;
        std::printf("%-52s %d debits for %d subscriptions in %.0f ms (CPU %.0f ms)\n", "monthly run, twelve months due",
                    run.debits, run.subscriptions, runMs, runCpu);
        // Identifiers only rise, so the run's debits are the newest ones.
        const ResultSet written =
            db.select(QStringLiteral("SELECT * FROM Debite ORDER BY IDDEB DESC LIMIT ?"), {run.debits});
        const QString twin = home + QStringLiteral("/native-twin.sqlite");
        for (const bool indexed : {false, true}) {
            double twinCpu = 0;
            const double twinMs = nativeTwin(twin, written, indexed, twinCpu);
            std::printf("%-52s %d rows in %.0f ms (CPU %.0f ms); run / twin: wall %.2f, CPU %.2f\n",
                        indexed ? "  twin with an index on IDAB" : "  twin: native SQLite, one FULL-sync transaction",
                        written.rowCount(), twinMs, twinCpu, runMs / twinMs, runCpu / twinCpu);
        }
        t.restart();
        const DebitingResult again = runMonthlyDebiting(db, session, quiet);
        std::printf("%-52s %d debits in %.0f ms\n", "second run on the same day", again.debits, ms(t));
        const qint64 total = db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong();
        std::printf("Debite now holds %lld rows\n", total);

        Evidenta screen(db, session);
        t.restart();
        screen.prepare();
        screen.show();
        QApplication::processEvents();
        std::printf("%-52s %.0f ms\n", "opening Evidenta (list, lists, first subscriber)", ms(t));

        auto *grid = screen.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
        const int rows = grid->model()->rowCount();
        std::vector<double> moves;
        const double movesCpu = cpuMs();
        for (int i = 0; i < 400; ++i) {
            const int row = (i * 97) % rows;
            QElapsedTimer m;
            m.start();
            grid->setCurrentIndex(grid->model()->index(row, 1));
            QApplication::processEvents();
            moves.push_back(ms(m));
        }
        report("move to another subscriber (4 panels + totals)", moves);
        std::printf("%-52s %.2f ms per move\n", "  CPU", (cpuMs() - movesCpu) / double(moves.size()));
        std::vector<double> next;
        grid->setCurrentIndex(grid->model()->index(0, 1));
        for (int i = 0; i < 200; ++i) {
            QElapsedTimer m;
            m.start();
            QTest::keyClick(grid, Qt::Key_Down);
            QApplication::processEvents();
            next.push_back(ms(m));
        }
        report("arrow down to the next subscriber", next);

        auto *name = screen.findChild<QLineEdit *>(QStringLiteral("NumeP"));
        name->setFocus();
        std::vector<double> keys;
        for (int round = 0; round < 20; ++round) {
            for (const char c : {'P', 'O', 'P', 'E'}) {
                QElapsedTimer m;
                m.start();
                QTest::keyClick(name, c);
                QApplication::processEvents();
                keys.push_back(ms(m));
            }
            for (int k = 0; k < 4; ++k) {
                QElapsedTimer m;
                m.start();
                QTest::keyClick(name, Qt::Key_Backspace);
                QApplication::processEvents();
                keys.push_back(ms(m));
            }
        }
        report("keystroke in the name filter", keys);
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %ld MB\n", usage.ru_maxrss / 1024);
    return 0;
}
