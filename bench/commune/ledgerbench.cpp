// Times the ledger on a generated commune of 10,000 subscribers: the monthly run that
// writes twelve months at once, a second run on the same day, opening the subscriber
// screen over 1.2 million debits, moving from one subscriber to the next (four panels
// and the totals) and typing in the name filter.
// Usage: bench_ledger [--subscribers N] [--keep DIR]   (build in Release to measure)

#include "commune.h"

#include "core/clock.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "ledger/monthlydebiting.h"
#include "store/database.h"
#include "ui/ledger/evidenta.h"

#include <QApplication>
#include <cstdio>
#include <sys/resource.h>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vestronia;

namespace {

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void report(const char *what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    const double p95 = samples[std::min(samples.size() - 1, size_t(double(samples.size()) * 0.95))];
    std::printf("%-52s n=%-5zu mean %8.2f ms   p95 %8.2f ms   max %8.2f ms\n", what, samples.size(),
                sum / double(samples.size()), p95, samples.back());
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
        const DebitingResult run = runMonthlyDebiting(db, session, quiet);
        std::printf("%-52s %d debits for %d subscriptions in %.0f ms\n", "monthly run, twelve months due", run.debits,
                    run.subscriptions, ms(t));
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
        for (int i = 0; i < 400; ++i) {
            const int row = (i * 97) % rows;
            QElapsedTimer m;
            m.start();
            grid->setCurrentIndex(grid->model()->index(row, 1));
            QApplication::processEvents();
            moves.push_back(ms(m));
        }
        report("move to another subscriber (4 panels + totals)", moves);
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
