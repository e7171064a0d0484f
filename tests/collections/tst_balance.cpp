// The INCASARI totals: the penalty rule (start day, per day or month, cap, rounding) and
// the walk over the open debits where an advance covers only what comes after it.

#include "collections/balance.h"

#include "core/dates.h"
#include "store/database.h"

#include <QTest>

using namespace vestronia;

namespace {
Money lei(const char *text)
{
    return *Money::parse(QString::fromLatin1(text));
}

// Open debits as the panel holds them: rest, percent, unit, start, cap.
ResultSet debits(const QList<std::tuple<const char *, int, const char *, int, const char *>> &rows)
{
    ResultSet r;
    r.setColumns({QStringLiteral("SOLD"), QStringLiteral("PENAL"), QStringLiteral("PENALPE"), QStringLiteral("PENALDATA"),
                  QStringLiteral("MAXSOLD")},
                 {});
    for (const auto &[rest, percent, unit, start, cap] : rows)
        r.appendRow({lei(rest).toDouble(), percent, QString::fromLatin1(unit), start, QString::fromLatin1(cap)});
    return r;
}
} // namespace

class TestBalance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void penalty_data();
    void penalty();
    void totalsWithAdvanceCoveringLaterDebits();
    void noPenaltyStartMeansNeverOverdue();
    void onlyAnAdvance();
};

void TestBalance::penalty_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("cap");
    QTest::addColumn<int>("daysBefore");
    QTest::addColumn<QString>("percent");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("expected");
    QTest::newRow("day, 10 days") << QStringLiteral("zi") << QString() << 10 << QStringLiteral("2") << QStringLiteral("100")
                                  << QStringLiteral("22");
    QTest::newRow("month, 45 days") << QStringLiteral("luna") << QString() << 45 << QStringLiteral("2")
                                    << QStringLiteral("100") << QStringLiteral("4");
    QTest::newRow("month, 30 days") << QStringLiteral("luna") << QString() << 30 << QStringLiteral("1")
                                    << QStringLiteral("100") << QStringLiteral("1");
    QTest::newRow("month, 31 days") << QStringLiteral("luna") << QString() << 31 << QStringLiteral("1")
                                    << QStringLiteral("100") << QStringLiteral("2");
    QTest::newRow("capped") << QStringLiteral("zi") << QStringLiteral("X") << 60 << QStringLiteral("2")
                            << QStringLiteral("100") << QStringLiteral("100");
    QTest::newRow("other cap text does not cap") << QStringLiteral("zi") << QStringLiteral("-") << 74 << QStringLiteral("2")
                                                 << QStringLiteral("100") << QStringLiteral("150");
    QTest::newRow("on the start day: none") << QStringLiteral("zi") << QString() << 0 << QStringLiteral("2")
                                            << QStringLiteral("100") << QStringLiteral("0");
    QTest::newRow("day after the start: two days") << QStringLiteral("zi") << QString() << 1 << QStringLiteral("1")
                                                   << QStringLiteral("100") << QStringLiteral("2");
    QTest::newRow("2.5 rounds up") << QStringLiteral("zi") << QString() << 4 << QStringLiteral("1") << QStringLiteral("50")
                                   << QStringLiteral("3");
    QTest::newRow("2.49 rounds down") << QStringLiteral("zi") << QString() << 2 << QStringLiteral("1")
                                      << QStringLiteral("83") << QStringLiteral("2");
    QTest::newRow("rest 0") << QStringLiteral("zi") << QString() << 10 << QStringLiteral("2") << QStringLiteral("0")
                            << QStringLiteral("0");
    QTest::newRow("percent 0") << QStringLiteral("zi") << QString() << 10 << QStringLiteral("0") << QStringLiteral("100")
                               << QStringLiteral("0");
    QTest::newRow("negative percent is no credit") << QStringLiteral("zi") << QString() << 10 << QStringLiteral("-2")
                                                   << QStringLiteral("100") << QStringLiteral("0");
    QTest::newRow("huge rest and rate do not overflow") << QStringLiteral("zi") << QString() << 3650
                                                        << QStringLiteral("9999.99") << QStringLiteral("99999999.99")
                                                        << QStringLiteral("36509963486349");
}

void TestBalance::penalty()
{
    QFETCH(QString, unit);
    QFETCH(QString, cap);
    QFETCH(int, daysBefore);
    QFETCH(QString, percent);
    QFETCH(QString, rest);
    QFETCH(QString, expected);
    const int today = dayNumberOf(QDate(2024, 6, 10));
    QCOMPARE(computePenalty(unit, cap, today - daysBefore, *Money::parse(percent), *Money::parse(rest), today).toString(),
             expected);
}

void TestBalance::totalsWithAdvanceCoveringLaterDebits()
{
    const int today = dayNumberOf(QDate(2024, 6, 10));
    // A debit before the advance draws a penalty; the advance covers the next one fully
    // and half of the last.
    const BalanceTotals t = computeBalanceTotals(debits({{"100", 1, "zi", today - 9, ""},
                                                         {"-60", 0, "luna", 0, "-"},
                                                         {"40", 1, "zi", today - 9, ""},
                                                         {"40", 1, "zi", today - 9, ""}}),
                                                 today);
    QCOMPARE(t.rest, Money::fromLei(120));
    QCOMPARE(t.penalties, Money::fromLei(10 + 2));
    QCOMPARE(t.advance, Money());
    QCOMPARE(t.total, Money::fromLei(132));
}

void TestBalance::noPenaltyStartMeansNeverOverdue()
{
    // PENALDATA 0 is "no penalty": counting from day 0 would charge a century of interest.
    const int today = dayNumberOf(QDate(2024, 6, 10));
    QCOMPARE(computePenalty(QStringLiteral("zi"), QString(), 0, Money::fromLei(1), Money::fromLei(100), today), Money());
    const BalanceTotals t = computeBalanceTotals(debits({{"100", 1, "zi", 0, ""}}), today);
    QCOMPARE(t.penalties, Money());
    QCOMPARE(t.total, Money::fromLei(100));
}

void TestBalance::onlyAnAdvance()
{
    const BalanceTotals t = computeBalanceTotals(debits({{"-30", 0, "luna", 0, "-"}}), 45000);
    QCOMPARE(t.advance, Money::fromLei(30));
    QCOMPARE(t.rest, Money());
    QCOMPARE(t.penalties, Money());
    QCOMPARE(t.total, Money::fromLei(-30));
}

QTEST_GUILESS_MAIN(TestBalance)
#include "tst_balance.moc"
