// The statement of account from a known data folder: the debits since the chosen day
// with what paid them, the running balance, the rest by age and the totals, which must be
// the figures of the collections panel.

#include "reportfixture.h"

#include "collections/balance.h"
#include "ledger/subscriberpanels.h"
#include "reports/accountstatement.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestAccountStatement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void figuresAgreeWithTheTables();
    void documentFollowsTheFigures();
    void unknownSubscriberIsRefused();
    void subscriberWithoutMovementsGetsAnEmptyStatement();
    void advancesCoverTheOldestDebitsInBothFigures();

private:
    void fill(ReportFixture &f);
};

// Today is 10.06.2024. Debits of 20 from December 2022 to June 2024, one receipt that
// paid the first two in part with a penalty, a cancelled receipt and an advance.
void TestAccountStatement::fill(ReportFixture &f)
{
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"), 2, 0, QStringLiteral("1800101123456"));
    f.subscriber(2, QStringLiteral("ALBU ANA"), QStringLiteral("R2"));
    f.debit(10, 1, 1, day(2022, 12, 5), "20", "20", day(2023, 1, 5));
    f.debit(11, 1, 1, day(2024, 1, 5), "20", "0", day(2024, 2, 5));
    f.debit(12, 1, 1, day(2024, 2, 5), "20", "8", day(2024, 3, 5));
    f.debit(13, 1, 1, day(2024, 3, 5), "20", "20", day(2024, 4, 5));
    f.debit(14, 1, 1, day(2024, 5, 5), "20", "20", day(2024, 5, 20), "1");
    f.debit(15, 1, 1, day(2024, 6, 5), "20", "20", day(2024, 7, 5));
    f.debit(16, 1, -1, day(2024, 6, 6), "-5", "-5");
    f.debit(20, 2, 1, day(2024, 6, 5), "30");
    f.document(1, 1, QStringLiteral("CHITANTA"), 101, day(2024, 3, 5), "37");
    f.line(1, 1, 11, 1, "20", "5", "0");
    f.line(2, 1, 12, 1, "0", "0", "12");
    f.document(2, 1, QStringLiteral("CHITANTA"), 102, day(2024, 4, 1), "20", true);
    f.line(3, 2, 13, 1, "0", "0", "20");
    f.document(3, 1, QStringLiteral("CHITANTA"), 103, day(2024, 6, 6), "5");
    f.document(4, 2, QStringLiteral("CHITANTA"), 104, day(2024, 6, 6), "30");
}

void TestAccountStatement::figuresAgreeWithTheTables()
{
    ReportFixture f;
    fill(f);
    const int today = Clock::todayDayNumber();
    const AccountStatement st = readAccountStatement(*f.db, 1, day(2024, 1, 1), today);
    QCOMPARE(st.idab, 1);
    QCOMPARE(st.name, QStringLiteral("POPESCU ION"));
    QCOMPARE(st.address, QStringLiteral("SATU MARE, str. PRINCIPALA, nr. 1"));

    // Debits since the chosen day, advances left out; paid + rest = amount.
    QCOMPARE(st.debits.size(), 5);
    QCOMPARE(st.debits[0].iddeb, 11);
    QCOMPARE(st.debits[0].paid, Money::fromLei(20));
    QCOMPARE(st.debits[0].documents, QStringLiteral("AB 101/05.03.2024"));
    QCOMPARE(st.debits[1].paid, Money::fromLei(12));
    QCOMPARE(st.debits[1].rest, Money::fromLei(8));
    QCOMPARE(st.debits[2].paid, Money()); // only the cancelled receipt paid it
    QCOMPARE(st.debits[2].documents, QString());
    for (const StatementDebit &d : st.debits)
        QCOMPARE(d.paid + d.rest, d.amount);

    // The running balance starts with what was owed before and ends at the open rests.
    QCOMPARE(st.openingBalance, Money::fromLei(20));
    QCOMPARE(st.movements.size(), 7);
    QCOMPARE(st.movements[2].debit, Money::fromLei(20)); // the debit of 05.03 before the receipt of that day
    QCOMPARE(st.movements[3].document, QStringLiteral("CHITANTA AB 101"));
    QCOMPARE(st.movements[3].collected, Money::fromLei(37));
    QCOMPARE(st.movements[3].penalties, Money::fromLei(5));
    QCOMPARE(st.movements[3].balance, Money::fromLei(48));
    const Money sumOfRests = Money::fromVariant(f.db->scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite WHERE IDAB=1")));
    QCOMPARE(st.movements.last().balance, sumOfRests);

    // Age groups: days past the penalty start, the start day counting as day 1.
    QCOMPARE(st.ages.over365, Money::fromLei(20));
    QCOMPARE(st.ages.upTo365, Money::fromLei(8));
    QCOMPARE(st.ages.upTo90, Money::fromLei(20));
    QCOMPARE(st.ages.upTo30, Money::fromLei(20));
    QCOMPARE(st.ages.notDue, Money::fromLei(20));
    QCOMPARE(st.ages.notDue + st.ages.upTo30 + st.ages.upTo90 + st.ages.upTo365 + st.ages.over365, st.totals.rest);

    // The panel's figures.
    const BalanceTotals panel = balanceOf(*f.db, 1, today);
    QCOMPARE(st.totals.rest, panel.rest);
    QCOMPARE(st.totals.penalties, panel.penalties);
    QCOMPARE(st.totals.advance, panel.advance);
    QCOMPARE(st.totals.total, panel.total);
    QCOMPARE(st.totals.penalties, Money::fromLei(4)); // 22 days of 1% on 20
    QCOMPARE(st.totals.advance, Money::fromLei(5));
    QCOMPARE(st.totals.total, Money::fromLei(87));
}

void TestAccountStatement::documentFollowsTheFigures()
{
    ReportFixture f;
    fill(f);
    const ReportOutcome out =
        accountStatementReport(*f.db, f.tempFolder, QStringLiteral("PRIMARIA TESTENI"), 1, day(2024, 1, 1), Clock::todayDayNumber());
    QVERIFY(out.ok());
    QCOMPARE(QDir(f.tempFolder).entryList({QStringLiteral("Fisa*")}).size(), 0);
    const QList<QStringList> rows = f.csvOf(out.path);
    QVERIFY(rows.size() > 30);
    QCOMPARE(rows[0].value(0), QStringLiteral("PRIMARIA TESTENI"));
    QCOMPARE(rows[2].value(0), QStringLiteral("la data de 10.06.2024"));
    QCOMPARE(rows[3].value(2), QStringLiteral("POPESCU ION"));
    QCOMPARE(rows[4].value(6), QStringLiteral("1800101123456"));
    QCOMPARE(rows[5].value(0), QStringLiteral("Debite si plati incepand cu 01.01.2024"));

    // Five debit rows, then their totals.
    QCOMPARE(rows[8].value(0), QStringLiteral("1"));
    QCOMPARE(rows[8].value(1), QStringLiteral("05.01.2024"));
    QCOMPARE(rows[8].value(2), QStringLiteral("01.2024"));
    QCOMPARE(rows[8].value(6), QStringLiteral("AB 101/05.03.2024"));
    QCOMPARE(rows[8].value(7), QString()); // rest 0 is an empty cell
    QCOMPARE(rows[9].value(7), QStringLiteral("8.00"));
    const int total = ReportFixture::rowWith(rows, 3, QStringLiteral("TOTAL"));
    QCOMPARE(total, 13);
    QCOMPARE(rows[total].value(4), QStringLiteral("100.00"));
    QCOMPARE(rows[total].value(5), QStringLiteral("32.00"));
    QCOMPARE(rows[total].value(7), QStringLiteral("68.00"));

    const int opening = ReportFixture::rowWith(rows, 3, QStringLiteral("Sold anterior"));
    QVERIFY(opening > total);
    QCOMPARE(rows[opening].value(7), QStringLiteral("20.00"));
    QCOMPARE(rows[opening + 4].value(2), QStringLiteral("CHITANTA AB 101"));
    QCOMPARE(rows[opening + 4].value(7), QStringLiteral("48.00"));
    QCOMPARE(rows[opening + 7].value(7), QStringLiteral("83.00"));

    const auto figure = [&](const QString &label) {
        const int r = ReportFixture::rowWith(rows, 1, label);
        return r < 0 ? QStringLiteral("?") : rows[r].value(4);
    };
    QCOMPARE(figure(QStringLiteral("Rest nescadent")), QStringLiteral("20.00"));
    QCOMPARE(figure(QStringLiteral("Rest restant 91 - 365 zile")), QStringLiteral("8.00"));
    QCOMPARE(figure(QStringLiteral("- debit")), QStringLiteral("88.00"));
    QCOMPARE(figure(QStringLiteral("- penalitati")), QStringLiteral("4.00"));
    QCOMPARE(figure(QStringLiteral("- avans")), QStringLiteral("5.00"));
    QCOMPARE(figure(QStringLiteral("TOTAL:")), QStringLiteral("87.00"));
}

// Two advances ahead of several debits: the first advance (30) pays the oldest debit whole
// and half the next; the second (5) comes after those two and takes 5 off the last one.
// The statement's age groups and the panel's figures must agree debit by debit.
void TestAccountStatement::advancesCoverTheOldestDebitsInBothFigures()
{
    ReportFixture f;
    f.subscriber(3, QStringLiteral("MARIN DAN"), QStringLiteral("R3"));
    f.debit(30, 3, -1, day(2023, 12, 1), "-30", "-30");
    f.debit(31, 3, 1, day(2024, 1, 5), "20", "20", day(2024, 2, 5), "1");
    f.debit(32, 3, 1, day(2024, 2, 5), "20", "20", day(2024, 3, 5), "1");
    f.debit(33, 3, -1, day(2024, 3, 1), "-5", "-5");
    f.debit(34, 3, 1, day(2024, 5, 5), "20", "20", day(2024, 6, 20), "1");
    const int today = day(2024, 6, 10);

    const AdvanceCoverage cover = coverWithAdvances(openDebitsOf(*f.db, 3));
    QCOMPARE(cover.uncovered, (QList<Money>{Money(), Money(), Money::fromLei(10), Money(), Money::fromLei(15)}));
    QCOMPARE(cover.advance, Money());

    const AccountStatement st = readAccountStatement(*f.db, 3, day(2023, 1, 1), today);
    // The covered debit is in no age group; 10 left of the one due since 05.03 (98 days),
    // 15 of the one not due yet.
    QCOMPARE(st.ages.over365, Money());
    QCOMPARE(st.ages.upTo30, Money());
    QCOMPARE(st.ages.upTo90, Money());
    QCOMPARE(st.ages.upTo365, Money::fromLei(10));
    QCOMPARE(st.ages.notDue, Money::fromLei(15));

    const BalanceTotals panel = balanceOf(*f.db, 3, today);
    QCOMPARE(panel.rest, Money::fromLei(25));
    QCOMPARE(panel.advance, Money());
    QCOMPARE(panel.penalties, Money::fromLei(10)); // 98 days of 1% on the uncovered 10
    QCOMPARE(st.totals.rest, panel.rest);
    QCOMPARE(st.totals.penalties, panel.penalties);
    QCOMPARE(st.totals.advance, panel.advance);
    QCOMPARE(st.totals.total, panel.total);
    QCOMPARE(st.ages.notDue + st.ages.upTo30 + st.ages.upTo90 + st.ages.upTo365 + st.ages.over365, panel.rest);
}

void TestAccountStatement::unknownSubscriberIsRefused()
{
    ReportFixture f;
    fill(f);
    const ReportOutcome out = accountStatementReport(*f.db, f.tempFolder, QStringLiteral("P"), 99, 0, Clock::todayDayNumber());
    QVERIFY(!out.ok());
    QCOMPARE(out.title, QStringLiteral("Fisa abonatului"));
    QCOMPARE(out.refusal, QStringLiteral("\rAbonatul nu exista!"));
}

void TestAccountStatement::subscriberWithoutMovementsGetsAnEmptyStatement()
{
    ReportFixture f;
    f.subscriber(5, QStringLiteral("NOU VENIT"), QStringLiteral("R5"));
    const ReportOutcome out = accountStatementReport(*f.db, f.tempFolder, QStringLiteral("P"), 5, 0, Clock::todayDayNumber());
    QVERIFY(out.ok());
    Workbook book;
    book.open(out.path);
    // No placeholder is left for the subscriber to read.
    for (int r = 1; r <= book.lastRow(); ++r)
        for (int c = 1; c <= book.lastColumn(); ++c) {
            const QString text = book.cellText(r, c);
            QVERIFY2(!text.startsWith(QLatin1Char('#')) && !text.startsWith(QLatin1Char('%')) && !text.startsWith(QLatin1Char('[')),
                     qPrintable(text));
        }
}

QTEST_GUILESS_MAIN(TestAccountStatement)
#include "tst_accountstatement.moc"
