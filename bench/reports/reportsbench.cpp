// Times the reports on the large commune: the subscriber list, the yearly balance (its
// chain of work tables, then the sheet) and the collections of one year spread over the
// debit years, with the peak memory of the process after each.
// Usage: bench_reports_commune HOME [--collections N]. HOME is made by commune_generate;
// collections are added once (N in the last full year, two a year in the others).

#include "commune.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/progress.h"
#include "core/terminalprogress.h"
#include "reports/listreports.h"
#include "reports/summaries.h"
#include "reports/yearbalance.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QTextStream>

#include <sys/resource.h>

using namespace vestronia;

namespace {

QTextStream out(stdout);

long peakMegabytes()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// Collections over the commune's debits: `perYear` documents in `busyYear` per
// subscriber share, two a year otherwise; each pays up to three debits of its
// subscriber from that year and the two before it.
qint64 addCollections(Database &db, int busyYear, int busyCount)
{
    const ResultSet debits = db.select(QStringLiteral("SELECT IDDEB, IDAB, LUNADEB, RATA FROM Debite WHERE RATA>0 ORDER BY IDAB, DATADEB"));
    QHash<qint64, QList<int>> byAbonat;
    for (int i = 0; i < debits.rowCount(); ++i)
        byAbonat[debits.value(i, 1).toLongLong()].append(i);
    const ResultSet subs = db.select(QStringLiteral("SELECT IDAB, NUME, CNP, ROL, STRADA, NR FROM Abonat ORDER BY IDAB"));
    Statement doc = db.prepare(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, CNP, ROL, "
                                              "STRADA, NR, INCASAT, PLATIT) VALUES (?, ?, 'CHITANTA', 'VS', ?, ?, ?, ?, ?, ?, ?, ?, 0)"));
    Statement line = db.prepare(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, IDSERV, IDAB, DENUM, RESTANTA, PENAL, CURENT) "
                                               "VALUES (?, ?, ?, 1, ?, 'SALUBRIZARE', ?, 0, ?)"));
    QRandomGenerator random(7);
    qint64 idchit = 0, iddchit = 0;
    const int firstYear = int(debits.value(0, 2).toLongLong() / 100);
    Transaction tx(db);
    const int perSubscriberBusy = qMax(1, busyCount / qMax(1, subs.rowCount()));
    for (int s = 0; s < subs.rowCount(); ++s) {
        const qint64 idab = subs.value(s, 0).toLongLong();
        const QList<int> mine = byAbonat.value(idab);
        if (mine.isEmpty())
            continue;
        for (int year = firstYear; year <= busyYear; ++year) {
            const int count = year == busyYear ? perSubscriberBusy : 2;
            for (int k = 0; k < count; ++k) {
                const int date = dayNumberOf(QDate(year, 1 + int(random.bounded(12)), 1 + int(random.bounded(28))));
                Money total;
                QList<QVariantList> lines;
                for (int l = 0; l < 3; ++l) {
                    const int pick = mine[int(random.bounded(int(mine.size())))];
                    const int debitYear = int(debits.value(pick, 2).toLongLong() / 100);
                    if (debitYear > year || debitYear < year - 2)
                        continue;
                    const Money part = Money::fromVariant(debits.value(pick, 3));
                    total += part;
                    lines.append({++iddchit, idchit + 1, debits.value(pick, 0), idab, debitYear < year ? QVariant::fromValue(part) : QVariant(0),
                                  debitYear < year ? QVariant(0) : QVariant::fromValue(part)});
                }
                if (lines.isEmpty())
                    total = Money::fromLei(10);
                ++idchit;
                doc.exec({idchit, idab, idchit, date, subs.value(s, 1), subs.value(s, 2), subs.value(s, 3), subs.value(s, 4),
                          subs.value(s, 5), QVariant::fromValue(total)});
                for (const QVariantList &l : lines)
                    line.exec(l);
            }
        }
    }
    tx.commit();
    return idchit;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "Folosire: bench_reports_commune HOME [--collections N]\n");
        return 2;
    }
    const QString home = args.first();
    const int busy = args.indexOf(QStringLiteral("--collections")) >= 0
        ? args.value(int(args.indexOf(QStringLiteral("--collections"))) + 1).toInt()
        : 100000;
    const Session session = bench::communeSession(home);
    Clock::setToday(bench::CommuneOptions{}.today);
    const int busyYear = Clock::today().year() - 1;
    Database db(session.dataFolder);
    out << "commune: " << db.scalar(QStringLiteral("SELECT COUNT(*) FROM Abonat")).toLongLong() << " subscribers, "
        << db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong() << " debits\n";
    if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong() == 0) {
        QElapsedTimer t;
        t.start();
        const qint64 n = addCollections(db, busyYear, busy);
        out << "added " << n << " collections in " << t.elapsed() << " ms\n";
    }
    out << "collections in " << busyYear << ": "
        << db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE DOCDATA>=? AND DOCDATA<?"),
                     {dayNumberOf(QDate(busyYear, 1, 1)), dayNumberOf(QDate(busyYear + 1, 1, 1))})
               .toLongLong()
        << ", all " << db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong() << ", lines "
        << db.scalar(QStringLiteral("SELECT COUNT(*) FROM DetChit")).toLongLong() << "\n";
    out << "peak memory after loading: " << peakMegabytes() << " MB\n";
    out.flush();

    NullProgress progress;
    QElapsedTimer t;
    t.start();
    ReportOutcome r = subscriberListReport(db, session.tempFolder, Clock::todayDayNumber());
    out << "subscriber list: " << t.elapsed() << " ms, peak " << peakMegabytes() << " MB\n";
    QFile::remove(r.path);
    out.flush();

    t.restart();
    const QList<BalanceYearFigures> figures = computeYearBalance(db, progress);
    const qint64 chain = t.elapsed();
    out << "balance figures: " << chain << " ms (" << figures.size() << " figure lines), peak " << peakMegabytes() << " MB\n";
    t.restart();
    r = yearBalanceReport(db, session.tempFolder, QStringLiteral("COMUNA"), progress);
    out << "balance report (chain + sheet): " << t.elapsed() << " ms, peak " << peakMegabytes() << " MB, "
        << QFile(r.path).size() / 1024 << " KB\n";
    QFile::remove(r.path);
    out.flush();

    // Twice: the first run builds the debit-identifier index the join needs, which the
    // desktop program then keeps for the session.
    for (const char *run : {"first", "again"}) {
        t.restart();
        r = collectionsByYearReport(db, session.tempFolder, busyYear, progress);
        out << "collections per years " << busyYear << " (" << run << "): " << t.elapsed() << " ms, peak " << peakMegabytes()
            << " MB\n";
        QFile::remove(r.path);
    }
    return 0;
}
