// The months the run debits, stepped by arithmetic, against stepping by calendar over
// random subscriptions: last months valid and not (13th month, month 0, before 1900),
// periods of 0 to 40 months, entry, exemption and start days anywhere (none, mid-month,
// on month ends, 29 February), and run months across year ends. The texts of the debits
// follow the month and the service's name whatever months came before.

#include "core/dates.h"
#include "ledger/debitrules.h"

#include <QDate>
#include <QTest>

#include <random>

using namespace vestronia;

namespace {

// The month list as it was built by calendar: each next month asked of QDate.
QVector<int> monthsByCalendar(int first, int currentMonth)
{
    QVector<int> months;
    for (int m = first; m <= currentMonth; m = nextMonthIndex(m)) {
        months.append(m);
        if (months.size() > 100000)
            break;
    }
    return months;
}

int dayOf(int y, int m, int d)
{
    return dayNumberOf(QDate(y, m, d));
}

} // namespace

class TestMonthsDue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void arithmeticStepsAsTheCalendar()
    {
        std::mt19937 random(11);
        const auto pick = [&](int n) { return int(random() % unsigned(n)); };
        const int lastMonths[] = {0, 190001, 199912, 202312, 202313, 202400, 202402, 202411, 202412, 202501, 9912, -5};
        const int specialDays[] = {0, dayOf(2024, 2, 29), dayOf(2023, 12, 31), dayOf(2024, 1, 1), dayOf(2023, 2, 28),
                                   dayOf(2025, 1, 31), dayOf(1950, 6, 15)};
        int compared = 0;
        for (int i = 0; i < 20000; ++i) {
            MonthlyDue d;
            d.lastMonth = pick(3) ? lastMonths[pick(12)] : 200001 + pick(30) * 100 + pick(12);
            d.periodMonths = pick(41);
            const auto anyDay = [&] { return pick(3) ? specialDays[pick(7)] : dayOf(2018, 1, 1) + pick(3000); };
            d.entryDay = anyDay();
            d.exemptDay = pick(2) ? 0 : anyDay();
            d.startDay = anyDay();
            const int current = pick(8) ? 201801 + pick(9) * 100 + pick(12) : lastMonths[pick(12)];
            const QVector<int> got = monthsDue(d, current);
            if (got.isEmpty())
                continue;
            // Every answer is a run of consecutive calendar months ending at the run's month.
            QCOMPARE(got, monthsByCalendar(got.first(), current));
            ++compared;
        }
        QVERIFY2(compared > 2000, qPrintable(QString::number(compared)));
    }

    void yearEndAndFebruary()
    {
        MonthlyDue d;
        d.lastMonth = 202311;
        d.entryDay = dayOf(2020, 1, 1);
        QCOMPARE(monthsDue(d, 202403), (QVector<int>{202312, 202401, 202402, 202403}));
        d.periodMonths = 3;
        QCOMPARE(monthsDue(d, 202403), (QVector<int>{202402, 202403}));
        // Started mid-month in February of a leap year, last debited never.
        MonthlyDue s;
        s.startDay = dayOf(2024, 2, 29);
        QCOMPARE(monthsDue(s, 202501), (QVector<int>{202402, 202403, 202404, 202405, 202406, 202407, 202408, 202409,
                                                     202410, 202411, 202412, 202501}));
    }

    void debitTextsFollowMonthAndName()
    {
        // Months that share a slot of the kept texts, in turn, with two services' names.
        const int months[] = {202312, 202401, 202412, 202501, 202312, 202001, 203601, 202401, 0};
        for (int round = 0; round < 2; ++round) {
            for (const int m : months) {
                const QString expected = m ? QStringLiteral("%1.%2").arg(m % 100, 2, 10, QLatin1Char('0')).arg(m / 100)
                                           : QStringLiteral("-");
                QCOMPARE(debitText(QStringLiteral("GUNOI"), m), QStringLiteral("GUNOI - ") + expected);
                QCOMPARE(debitText(QStringLiteral("APA"), m), QStringLiteral("APA - ") + expected);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestMonthsDue)
#include "tst_monthsdue.moc"
