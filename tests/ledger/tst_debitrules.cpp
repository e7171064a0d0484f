// The date rules of debiting: the months of the monthly run (month steps, period only
// for the first month due, entry/exemption/start bounds), the days of the catch-up
// (period steps, only before today and the stop days), penalty starts and debit texts.

#include "core/dates.h"
#include "ledger/debitrules.h"

#include <QTest>

using namespace vestronia;

namespace {
int day(int y, int m, int d)
{
    return dayNumberOf(QDate(y, m, d));
}
} // namespace

class TestDebitRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void monthsDue_data();
    void monthsDue();
    void catchUpDays_data();
    void catchUpDays();
    void penaltyStart_data();
    void penaltyStart();
    void debitDayOfShortMonth();
    void debitTextIsCutToItsField();
};

void TestDebitRules::monthsDue_data()
{
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("exempt");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<int>>("months");

    QTest::newRow("debited this month: nothing") << 202406 << 1 << day(2020, 1, 1) << 0 << day(2020, 1, 1) << 202406
                                                 << QList<int>{};
    QTest::newRow("one month behind") << 202405 << 1 << day(2020, 1, 1) << 0 << 0 << 202406 << QList<int>{202406};
    QTest::newRow("across the year end") << 202411 << 1 << day(2020, 1, 1) << 0 << 0 << 202502
                                         << QList<int>{202412, 202501, 202502};
    QTest::newRow("period 3 from January, run in April") << 202401 << 3 << day(2020, 1, 1) << 0 << 0 << 202404
                                                         << QList<int>{202404};
    QTest::newRow("period 3 from January, run only in June: month steps") << 202401 << 3 << day(2020, 1, 1) << 0
                                                                          << 0 << 202406
                                                                          << QList<int>{202404, 202405, 202406};
    QTest::newRow("period 3, not yet due") << 202403 << 3 << day(2020, 1, 1) << 0 << 0 << 202405 << QList<int>{};
    QTest::newRow("new, entered 10 March, account older") << 0 << 1 << day(2024, 3, 10) << 0 << day(2024, 3, 10)
                                                          << 202405 << QList<int>{202403, 202404, 202405};
    QTest::newRow("exempted until 15 March, last January") << 202401 << 1 << day(2020, 1, 1) << day(2024, 3, 15) << 0
                                                           << 202404 << QList<int>{202404};
    QTest::newRow("exemption month already passed") << 202403 << 1 << day(2020, 1, 1) << day(2024, 2, 15) << 0
                                                    << 202404 << QList<int>{202404};
    QTest::newRow("start later than entry") << 0 << 1 << day(2020, 1, 1) << 0 << day(2024, 5, 20) << 202406
                                            << QList<int>{202405, 202406};
    QTest::newRow("entry 0, start set: from the start month") << 0 << 1 << 0 << 0 << day(2024, 5, 20) << 202406
                                                              << QList<int>{202405, 202406};
    QTest::newRow("no month and no dates: current month only") << 0 << 1 << 0 << 0 << 0 << 202406
                                                               << QList<int>{202406};
}

void TestDebitRules::monthsDue()
{
    QFETCH(int, last);
    QFETCH(int, period);
    QFETCH(int, entry);
    QFETCH(int, exempt);
    QFETCH(int, start);
    QFETCH(int, current);
    QFETCH(QList<int>, months);
    MonthlyDue due{last, period, entry, exempt, start};
    QCOMPARE(QList<int>(vestronia::monthsDue(due, current)), months);
}

void TestDebitRules::catchUpDays_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("exempt");
    QTest::addColumn<int>("leave");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("debitDay");
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("today");
    QTest::addColumn<QList<int>>("days");

    QTest::newRow("starts the 20th, debit day 5: first month counts") << day(2024, 3, 20) << 0 << 0 << day(2024, 1, 1)
                                                                      << 0 << 5 << 1 << day(2024, 5, 10)
                                                                      << QList<int>{day(2024, 3, 5), day(2024, 4, 5),
                                                                                    day(2024, 5, 5)};
    QTest::newRow("debit day not come yet today") << day(2024, 5, 1) << 0 << 0 << day(2024, 5, 1) << 0 << 20 << 1
                                                  << day(2024, 5, 2) << QList<int>{};
    QTest::newRow("debit day is today: not written") << day(2024, 5, 1) << 0 << 0 << day(2024, 5, 1) << 0 << 10 << 1
                                                     << day(2024, 5, 10) << QList<int>{};
    QTest::newRow("period 3 steps three months") << day(2024, 1, 1) << 0 << 0 << day(2024, 1, 1) << 0 << 5 << 3
                                                 << day(2024, 10, 1)
                                                 << QList<int>{day(2024, 1, 5), day(2024, 4, 5), day(2024, 7, 5)};
    QTest::newRow("no entry date: nothing") << 0 << 0 << 0 << day(2024, 1, 1) << 0 << 5 << 1 << day(2024, 5, 10)
                                            << QList<int>{};
    QTest::newRow("exemption moves the start past it") << day(2024, 1, 1) << day(2024, 3, 31) << 0 << day(2024, 1, 1)
                                                       << 0 << 5 << 1 << day(2024, 6, 1)
                                                       << QList<int>{day(2024, 4, 5), day(2024, 5, 5)};
    QTest::newRow("stop day ends it") << day(2024, 1, 1) << 0 << 0 << day(2024, 1, 1) << day(2024, 3, 5) << 5 << 1
                                      << day(2024, 6, 1) << QList<int>{day(2024, 1, 5), day(2024, 2, 5)};
    QTest::newRow("leaving day ends it") << day(2024, 1, 1) << 0 << day(2024, 2, 10) << day(2024, 1, 1) << 0 << 5 << 1
                                         << day(2024, 6, 1) << QList<int>{day(2024, 1, 5), day(2024, 2, 5)};
}

void TestDebitRules::catchUpDays()
{
    QFETCH(int, entry);
    QFETCH(int, exempt);
    QFETCH(int, leave);
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, debitDay);
    QFETCH(int, period);
    QFETCH(int, today);
    QFETCH(QList<int>, days);
    CatchUpSpan span{entry, exempt, leave, start, stop, debitDay, period};
    QCOMPARE(QList<int>(vestronia::catchUpDays(span, today)), days);
}

void TestDebitRules::penaltyStart_data()
{
    QTest::addColumn<int>("debit");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("start");
    QTest::newRow("15 days") << day(2024, 3, 5) << QStringLiteral("ziua") << 15 << day(2024, 3, 20);
    QTest::newRow("1 month") << day(2024, 3, 5) << QStringLiteral("luna") << 1 << day(2024, 4, 5);
    QTest::newRow("1 month from 31 January: end of February") << day(2024, 1, 31) << QStringLiteral("luna") << 1
                                                              << day(2024, 2, 29);
    QTest::newRow("empty unit counts days") << day(2024, 3, 5) << QString() << 0 << day(2024, 3, 5);
}

void TestDebitRules::penaltyStart()
{
    QFETCH(int, debit);
    QFETCH(QString, unit);
    QFETCH(int, count);
    QFETCH(int, start);
    QCOMPARE(penaltyStartDay(debit, unit, count), start);
}

void TestDebitRules::debitDayOfShortMonth()
{
    QCOMPARE(debitDayNumber(202402, 31), day(2024, 2, 29));
    QCOMPARE(debitDayNumber(202402, 0), day(2024, 2, 1));
    QCOMPARE(debitDayNumber(202412, 28), day(2024, 12, 28));
}

void TestDebitRules::debitTextIsCutToItsField()
{
    QCOMPARE(debitText(QStringLiteral("SALUBRIZARE"), 202403), QStringLiteral("SALUBRIZARE - 03.2024"));
    const QString longName(60, QLatin1Char('A'));
    QCOMPARE(debitText(longName, 202403), longName);
    QCOMPARE(debitText(QString(55, QLatin1Char('B')), 202403).size(), 60);
}

QTEST_GUILESS_MAIN(TestDebitRules)
#include "tst_debitrules.moc"
