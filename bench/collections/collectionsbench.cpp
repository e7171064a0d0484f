// Times collections on the large commune (10,000 subscribers, 120 open debits each, 1.2
// million debits): recording a collection with its balance refresh, the cash book day
// view on a day of 500 receipts, printing a month of 10,000 receipts over 22 days (the
// workbook saved, before LibreOffice), and a PDF receipt after the first.
// Usage: bench_collections [--subscribers N] [--keep DIR] [--pdf]   (build in Release)

#include "commune.h"

#include "collections/balance.h"
#include "collections/cashbook.h"
#include "collections/collection.h"
#include "documents/cashbookprint.h"
#include "documents/receipt.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

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
    std::printf("%-56s n=%-5zu mean %8.2f ms   p95 %8.2f ms   max %8.2f ms\n", what, samples.size(),
                sum / double(samples.size()), p95, samples.back());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::CommuneOptions o;
    o.leaversPerThousand = 0;
    o.exemptedPerThousand = 0;
    QString keep;
    bool pdf = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--subscribers"))
            o.subscribers = args.value(++i).toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args.value(++i);
        else if (args[i] == QLatin1String("--pdf"))
            pdf = true;
    }
    QTemporaryDir temp;
    const QString home = keep.isEmpty() ? temp.path() : keep;
    try {
        TerminalProgress progress;
        QElapsedTimer t;
        t.start();
        const bench::CommuneStats s = bench::generateCommune(home, o, progress);
        std::printf("commune: %d subscribers, %lld debits written in %.1f s\n", s.subscribers, s.debits, ms(t) / 1000.0);
        const Session session = bench::communeSession(home);
        Database db(session.dataFolder);
        const int today = Clock::todayDayNumber();
        const ResultSet ids = db.select(QStringLiteral("SELECT IDAB FROM Abonat ORDER BY IDAB"));
        const qint64 open = db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=? AND SOLD<>0"),
                                      {ids.integer(0, QStringLiteral("IDAB"))})
                                .toLongLong();
        std::printf("first subscriber has %lld open debits\n", open);

        // 500 receipts today, each for another subscriber, each with its balance refresh.
        std::vector<double> record;
        Money totalOwed;
        const int n = std::min(500, ids.rowCount());
        for (int i = 0; i < n; ++i) {
            const qint64 idab = ids.integer(i, QStringLiteral("IDAB"));
            CollectionDraft d;
            d.idab = idab;
            d.amount = Money::fromLei(75);
            d.day = today;
            QElapsedTimer m;
            m.start();
            const CollectionOutcome out = recordCollection(db, session, d);
            const BalanceTotals b = balanceOf(db, idab, today);
            record.push_back(ms(m));
            if (out.refusal)
                throw VestroniaError(QStringLiteral("collection refused: ") + out.refusal->message);
            totalOwed += b.total;
        }
        report("record a collection (120 open debits) + balance", record);
        std::printf("still owed by those subscribers: %s lei\n", qPrintable(totalOwed.toFixed(2)));

        std::vector<double> day;
        for (int i = 0; i < 50; ++i) {
            QElapsedTimer m;
            m.start();
            const CashDay c = cashDay(db, today);
            const ResultSet rows = cashDayRows(db, today);
            day.push_back(ms(m));
            if (rows.rowCount() != n || c.in != Money::fromLei(75) * n)
                throw VestroniaError(QStringLiteral("cash day mismatch"));
        }
        report("cash book day view, 500 receipts", day);

        // A month of 10,000 receipts over 22 working days, written directly.
        const int first = dayNumberOf(QDate(2024, 10, 1));
        {
            Transaction tx(db);
            Statement ins = db.prepare(QStringLiteral(
                "INSERT INTO Chitante (IDCHIT, IDAB, ANULAT, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, INCASAT, PLATIT, REPREZ) "
                "VALUES (?, ?, '', 'CHITANTA', 'VST', ?, ?, 'ABONAT', ?, 0, 'incasare debite')"));
            for (int i = 0; i < 10000; ++i)
                ins.exec({qint64(5000000 + i), ids.integer(i % ids.rowCount(), QStringLiteral("IDAB")), qint64(900000 + i),
                          first + (i % 22) + (i % 22) / 5 * 2, QVariant::fromValue(Money::fromLei(50 + i % 7))});
            tx.commit();
        }
        NullProgress quiet;
        t.restart();
        const QString book = printCashBook(db, session, first, dayNumberOf(QDate(2024, 10, 31)), quiet);
        std::printf("%-56s %.0f ms (%s)\n", "cash book of a month, 10,000 receipts, 22 days", ms(t), qPrintable(book));

        if (pdf) {
            const qint64 idchit = db.scalar(QStringLiteral("SELECT MIN(IDCHIT) FROM Chitante")).toLongLong();
            for (int i = 0; i < 3; ++i) {
                const ReceiptOutcome r = printReceipt(db, session, idchit, ReceiptFormat::Pdf, quiet);
                std::printf("%-56s %lld ms %s\n", i == 0 ? "PDF receipt, first conversion" : "PDF receipt, next conversion",
                            static_cast<long long>(r.pdfMs), r.pdfPath.isEmpty() ? qPrintable(r.notice) : "");
            }
        }
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
