// Day numbers, month indexes, money and text clean-up: the value rules every table
// and screen relies on.

#include "core/clock.h"
#include "core/dates.h"
#include "core/money.h"
#include "core/text.h"

#include <QTest>

using namespace vestronia;

class TestValues : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dayNumbers_data();
    void dayNumbers();
    void dayTextShowsDashBelow1000_data();
    void dayTextShowsDashBelow1000();
    void monthIndexes();
    void dayNumberOfMonthClipsAndRefuses();
    void weekNumberStartsOnSaturday();
    void parseDate_data();
    void parseDate();
    void moneyParse_data();
    void moneyParse();
    void moneyFormatsAndRounding();
    void moneyFromVariant();
    void cleanText_data();
    void cleanText();
    void cp1250RoundTrip();
    void remarksSplitAndJoin();
    void clockCanBeFixed();
};

void TestValues::dayNumbers_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("day");
    QTest::newRow("epoch+1") << QDate(1899, 12, 31) << 1;
    QTest::newRow("1900") << QDate(1900, 1, 1) << 2;
    QTest::newRow("29.11.2024") << QDate(2024, 11, 29) << 45625;
    QTest::newRow("leap day") << QDate(2024, 2, 29) << 45351;
    QTest::newRow("01.01.2024") << QDate(2024, 1, 1) << 45292;
}

void TestValues::dayNumbers()
{
    QFETCH(QDate, date);
    QFETCH(int, day);
    QCOMPARE(dayNumberOf(date), day);
    QCOMPARE(dateOfDayNumber(day), date);
}

void TestValues::dayTextShowsDashBelow1000_data()
{
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QStringLiteral("-");
    QTest::newRow("500") << 500 << QStringLiteral("-");
    QTest::newRow("999") << 999 << QStringLiteral("-");
    QTest::newRow("1000") << 1000 << QStringLiteral("26.09.1902");
    QTest::newRow("45625") << 45625 << QStringLiteral("29.11.2024");
}

void TestValues::dayTextShowsDashBelow1000()
{
    QFETCH(int, day);
    QFETCH(QString, text);
    QCOMPARE(dayText(day), text);
}

void TestValues::monthIndexes()
{
    QCOMPARE(monthIndexOf(QDate(2024, 12, 15)), 202412);
    QCOMPARE(nextMonthIndex(202412), 202501);
    QCOMPARE(nextMonthIndex(202401), 202402);
    QCOMPARE(monthText(202411), QStringLiteral("11.2024"));
    QCOMPARE(monthText(99999), QStringLiteral("-"));
    QCOMPARE(monthText(0), QStringLiteral("-"));
    QCOMPARE(monthIndexOfDay(45625), 202411);
    QCOMPARE(monthIndexOfDay(0), 0);
}

void TestValues::dayNumberOfMonthClipsAndRefuses()
{
    QCOMPARE(dayNumberOf(202411, 29), 45625);
    QCOMPARE(dayNumberOf(99999, 5), 0);
    QCOMPARE(dayNumberOf(202411, 0), 0);
    // A day the month lacks falls on its last day instead of an invalid date.
    QCOMPARE(dateOfDayNumber(dayNumberOf(202402, 31)), QDate(2024, 2, 29));
    QCOMPARE(dayNumberOf(202413, 1), 0);
}

void TestValues::weekNumberStartsOnSaturday()
{
    // Day 0 (30.12.1899) was a Saturday: a new week begins every Saturday at midnight.
    const QDateTime friday(QDate(2024, 11, 29), QTime(23, 59));
    const QDateTime saturday(QDate(2024, 11, 30), QTime(0, 1));
    QCOMPARE(weekNumberOf(saturday), weekNumberOf(friday) + 1);
    QCOMPARE(weekNumberOf(QDateTime(QDate(2024, 12, 6), QTime(12, 0))), weekNumberOf(saturday));
    QCOMPARE(weekNumberOf(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0);
}

void TestValues::parseDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("full") << QStringLiteral("05.03.2025") << QDate(2025, 3, 5);
    QTest::newRow("short parts") << QStringLiteral("5.3.2025") << QDate(2025, 3, 5);
    QTest::newRow("blanks") << QStringLiteral(" 05.03.2025 ") << QDate(2025, 3, 5);
    QTest::newRow("31 Feb") << QStringLiteral("31.02.2025") << QDate();
    QTest::newRow("two-digit year") << QStringLiteral("05.03.25") << QDate();
    QTest::newRow("slashes") << QStringLiteral("05/03/2025") << QDate();
    QTest::newRow("empty") << QString() << QDate();
}

void TestValues::parseDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, date);
    const auto parsed = parseDateText(text);
    QCOMPARE(parsed.value_or(QDate()), date);
}

void TestValues::moneyParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qlonglong>("units");
    QTest::newRow("integer") << QStringLiteral("12") << true << 120000LL;
    QTest::newRow("one decimal") << QStringLiteral("12.5") << true << 125000LL;
    QTest::newRow("comma") << QStringLiteral(" 1,25 ") << true << 12500LL;
    QTest::newRow("negative") << QStringLiteral("-3.25") << true << -32500LL;
    QTest::newRow("rounds fifth decimal") << QStringLiteral("0.00005") << true << 1LL;
    QTest::newRow("point only") << QStringLiteral(".") << false << 0LL;
    QTest::newRow("two points") << QStringLiteral("1.2.3") << false << 0LL;
    QTest::newRow("letters") << QStringLiteral("12a") << false << 0LL;
    QTest::newRow("empty") << QString() << false << 0LL;
    QTest::newRow("absurdly long") << QStringLiteral("99999999999999999999999") << false << 0LL;
}

void TestValues::moneyParse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qlonglong, units);
    const auto m = Money::parse(text);
    QCOMPARE(m.has_value(), valid);
    if (valid)
        QCOMPARE(m->units(), units);
}

void TestValues::moneyFormatsAndRounding()
{
    QCOMPARE(Money::parse(QStringLiteral("12.50"))->toString(), QStringLiteral("12.5"));
    QCOMPARE(Money::parse(QStringLiteral("80"))->toString(), QStringLiteral("80"));
    QCOMPARE(Money::parse(QStringLiteral("-0.25"))->toString(), QStringLiteral("-0.25"));
    QCOMPARE(Money::parse(QStringLiteral("12.5"))->toFixed(2), QStringLiteral("12.50"));
    QCOMPARE(Money::parse(QStringLiteral("0.005"))->toFixed(2), QStringLiteral("0.01"));
    QCOMPARE(Money::parse(QStringLiteral("-0.005"))->toFixed(2), QStringLiteral("-0.01"));
    QCOMPARE(Money::parse(QStringLiteral("-0.004"))->toFixed(2), QStringLiteral("0.00"));
    QCOMPARE(Money::parse(QStringLiteral("2.345"))->roundedToCents(), *Money::parse(QStringLiteral("2.35")));
    QCOMPARE(Money::parse(QStringLiteral("-2.345"))->roundedToCents(), *Money::parse(QStringLiteral("-2.35")));
    // Sums of many cents stay exact where doubles would drift.
    Money sum;
    for (int i = 0; i < 1000; ++i)
        sum += *Money::parse(QStringLiteral("0.1"));
    QCOMPARE(sum, Money::fromLei(100));
    QCOMPARE((Money::fromLei(3) * 4).toString(), QStringLiteral("12"));
    QCOMPARE(Money::parse(QStringLiteral("10"))->times(0.015).toString(), QStringLiteral("0.15"));
}

void TestValues::moneyFromVariant()
{
    QCOMPARE(Money::fromVariant(QVariant()), Money());
    QCOMPARE(Money::fromVariant(QVariant(qint64(7))), Money::fromLei(7));
    QCOMPARE(Money::fromVariant(QVariant(19.99)).toString(), QStringLiteral("19.99"));
    QCOMPARE(Money::fromVariant(QVariant(QStringLiteral("4.5"))).toString(), QStringLiteral("4.5"));
    QCOMPARE(Money::fromVariant(QVariant(QStringLiteral("abc"))), Money());
    QCOMPARE(Money::fromVariant(QVariant::fromValue(Money::fromLei(2))), Money::fromLei(2));
}

void TestValues::cleanText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("trim, quotes, runs") << QStringLiteral("  Ion \"Vasile\"   Pop  ") << QStringLiteral("Ion Vasile Pop");
    QTest::newRow("quote at the edges") << QStringLiteral("\"Ion\"") << QStringLiteral("Ion");
    QTest::newRow("only blanks") << QStringLiteral("    ") << QString();
    QTest::newRow("inner quotes pair") << QStringLiteral("a\"\"b") << QStringLiteral("a b");
    QTest::newRow("untouched") << QStringLiteral("Str. Mare nr. 5") << QStringLiteral("Str. Mare nr. 5");
}

void TestValues::cleanText()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(vestronia::cleanText(input), output);
}

void TestValues::cp1250RoundTrip()
{
    const QString romanian = QStringLiteral("Ştefan Ţăranu, Râşnov, Înşir ăâîşţ ŞŢ");
    QVERIFY(fitsCp1250(romanian));
    QCOMPARE(fromCp1250(toCp1250(romanian)), romanian);
    QCOMPARE(uchar(toCp1250(QStringLiteral("Ş")).at(0)), uchar(0xAA));
    QCOMPARE(uchar(toCp1250(QStringLiteral("Ţ")).at(0)), uchar(0xDE));
    // Comma-below letters are not in the code page: they are refused, not mangled silently.
    QVERIFY(!fitsCp1250(QStringLiteral("ș")));
    QCOMPARE(toCp1250(QStringLiteral("aș")), QByteArray("a?"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString decoded = fromCp1250(all);
    QCOMPARE(decoded.size(), 256);
    QCOMPARE(decoded.at(0x80), QChar(0x20AC));
}

void TestValues::remarksSplitAndJoin()
{
    const QString remark = QString(200, QLatin1Char('a')) + QString(50, QLatin1Char('b'));
    const auto [obs, obs2] = splitRemarks(remark);
    QCOMPARE(obs.size(), 200);
    QCOMPARE(obs2, QString(50, QLatin1Char('b')));
    QCOMPARE(joinRemarks(obs, obs2), remark);
    // The table returns OBS without its trailing blanks: they come back on joining.
    const QString spaced = QStringLiteral("abc") + QString(197, QLatin1Char(' ')) + QStringLiteral("xyz");
    const auto [o1, o2] = splitRemarks(spaced);
    QCOMPARE(joinRemarks(o1.trimmed(), o2), spaced);
    QCOMPARE(joinRemarks(QStringLiteral("scurt"), QString()), QStringLiteral("scurt"));
    QCOMPARE(splitRemarks(QString(450, QLatin1Char('c'))).second.size(), 200);
}

void TestValues::clockCanBeFixed()
{
    Clock::setToday(QDate(2024, 11, 29));
    QCOMPARE(Clock::today(), QDate(2024, 11, 29));
    QCOMPARE(Clock::todayDayNumber(), 45625);
    Clock::setNow(QDateTime(QDate(2025, 3, 5), QTime(14, 5, 33)));
    QCOMPARE(Clock::now().time(), QTime(14, 5, 33));
    Clock::reset();
    QCOMPARE(Clock::today(), QDate::currentDate());
}

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
