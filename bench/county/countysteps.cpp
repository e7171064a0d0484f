// The steps of the county benchmark that no command of vestronia-cli covers, each run
// in a child process of its own: opening Evidenta and moving between subscribers (the
// screen itself, offscreen, so every panel and the totals reload as a clerk sees them),
// and the monthly run of a new month. Each prints "# " lines the driver reports.

#include "countysteps.h"

#include "core/clock.h"
#include "core/error.h"
#include "core/progress.h"
#include "ledger/monthlydebiting.h"
#include "startup/installation.h"
#include "store/database.h"
#include "ui/register/evidenta.h"

#include "benchclock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>


#include <algorithm>
#include <cstdio>
#include <vector>

namespace vestronia::bench {

namespace {

double quantile(const std::vector<double> &sorted, double q)
{
    return sorted[std::min(sorted.size() - 1, size_t(double(sorted.size()) * q))];
}

Session sessionOf(const QString &home)
{
    return sessionForInstallation(home, home + QStringLiteral("/Machine"));
}

// Opens the subscriber screen and moves the current subscriber over rows spread across
// the whole list, so that no move finds its subscriber's rows still at hand.
int evidentaStep(int argc, char **argv, const QString &home, int moves)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Session session = sessionOf(home);
    Database db(session.dataFolder);
    Evidenta screen(db, session);
    QElapsedTimer t;
    t.start();
    const double cpuBefore = cpuMs();
    screen.prepare();
    screen.show();
    QApplication::processEvents();
    const double openMs = double(t.nsecsElapsed()) / 1e6;
    const double openCpu = cpuMs() - cpuBefore;

    auto *grid = screen.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
    const int rows = grid ? grid->model()->rowCount() : 0;
    if (rows < 2) {
        std::fprintf(stderr, "Evidenta shows %d subscribers: nothing to move between\n", rows);
        return 1;
    }
    std::vector<double> samples;
    const double cpuMoves = cpuMs();
    for (int i = 1; i <= moves; ++i) {
        // A prime stride visits rows all over the list, never the same one twice in a row.
        const int row = int((qint64(i) * 7919) % rows);
        QElapsedTimer m;
        m.start();
        grid->setCurrentIndex(grid->model()->index(row, 1));
        QApplication::processEvents();
        samples.push_back(double(m.nsecsElapsed()) / 1e6);
    }
    const double movesCpu = cpuMs() - cpuMoves;
    std::sort(samples.begin(), samples.end());
    std::printf("# open Evidenta over %d subscribers: wall %.0f ms, CPU %.0f ms\n", rows, openMs, openCpu);
    std::printf("# %d moves: p50 %.2f ms, p95 %.2f ms, max %.2f ms, CPU %.2f ms per move\n", moves,
                quantile(samples, 0.5), quantile(samples, 0.95), samples.back(), movesCpu / double(moves));
    return 0;
}

int monthlyStep(int argc, char **argv, const QString &home, const QDate &today)
{
    QCoreApplication app(argc, argv);
    Clock::setToday(today);
    const Session session = sessionOf(home);
    Database db(session.dataFolder);
    NullProgress quiet;
    const DebitingResult run = runMonthlyDebiting(db, session, quiet);
    std::printf("# monthly run on %s: %d debits for %d subscriptions\n",
                qPrintable(today.toString(QStringLiteral("dd.MM.yyyy"))), run.debits, run.subscriptions);
    return 0;
}

} // namespace

int runStep(int argc, char **argv)
{
    // bench_county --step evidenta HOME MOVES | --step monthly HOME dd.MM.yyyy
    if (argc != 5)
        return 2;
    const QString step = QString::fromLocal8Bit(argv[2]);
    const QString home = QString::fromLocal8Bit(argv[3]);
    const QString arg = QString::fromLocal8Bit(argv[4]);
    try {
        if (step == QLatin1String("evidenta"))
            return evidentaStep(argc, argv, home, std::max(1, arg.toInt()));
        if (step == QLatin1String("monthly")) {
            const QDate today = QDate::fromString(arg, QStringLiteral("dd.MM.yyyy"));
            return today.isValid() ? monthlyStep(argc, argv, home, today) : 2;
        }
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 2;
}

} // namespace vestronia::bench
