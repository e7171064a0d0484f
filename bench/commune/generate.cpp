// Writes a large commune into a folder for benchmarks and trials.
// Usage: commune_generate HOME [--subscribers N] [--years Y] [--undebited M] [--today dd.MM.yyyy]
// The program can then open it with: vestronia --home HOME

#include "commune.h"

#include "core/dates.h"
#include "core/error.h"
#include "core/terminalprogress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

using namespace vestronia;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bench::CommuneOptions o;
    QString home;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const QString value = args.value(i + 1);
        if (a == QLatin1String("--subscribers")) {
            o.subscribers = value.toInt();
            ++i;
        } else if (a == QLatin1String("--years")) {
            o.years = value.toInt();
            ++i;
        } else if (a == QLatin1String("--undebited")) {
            o.undebitedMonths = value.toInt();
            ++i;
        } else if (a == QLatin1String("--today")) {
            const auto d = parseDateText(value);
            if (!d) {
                std::fprintf(stderr, "Data incorecta: %s\n", qPrintable(value));
                return 2;
            }
            o.today = *d;
            ++i;
        } else {
            home = a;
        }
    }
    if (home.isEmpty() || o.subscribers < 1 || o.years < 1) {
        std::fprintf(stderr, "Folosire: commune_generate HOME [--subscribers N] [--years Y] [--undebited M] "
                             "[--today dd.MM.yyyy]\n");
        return 2;
    }
    try {
        TerminalProgress progress;
        QElapsedTimer t;
        t.start();
        const bench::CommuneStats s = bench::generateCommune(home, o, progress);
        std::printf("%d abonati, %d localitati, %d strazi, %d conturi, %d abonamente, %lld debite, %d plecati, "
                    "%d scutiti in %.1f s\n",
                    s.subscribers, s.localities, s.streets, s.accounts, s.subscriptions, s.debits, s.leavers, s.exempted,
                    double(t.elapsed()) / 1000.0);
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
