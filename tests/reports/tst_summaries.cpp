// The follow-up summary and the collections per debit year from a known data folder,
// read back through LibreOffice.

#include "reportfixture.h"

#include "core/progress.h"
#include "reports/summaries.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestSummaries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followUpSummaryListsTheActsOfThePeriod();
    void followUpSummaryWithoutActsIsRefused();
    void collectionsOfAYearSplitOverTheirDebitYears();
    void yearsOfferedComeFromPaidDebits();
};

void TestSummaries::followUpSummaryListsTheActsOfThePeriod()
{
    ReportFixture f;
    const QString notice = QStringLiteral("Instiintare de plata");
    const QString summons = QStringLiteral("Somatie/Titlu executoriu");
    f.act(1, 1, notice, QStringLiteral("12"), day(2024, 3, 31), "150.25"); // the last day
    f.act(2, 2, notice, QStringLiteral("11"), day(2024, 3, 2), "80");
    f.act(3, 3, summons, QStringLiteral("5"), day(2024, 3, 10), "400");   // the other type
    f.act(4, 4, notice, QStringLiteral("13"), day(2024, 4, 1), "60");     // after the period
    const ReportPeriod period{day(2024, 3, 1), day(2024, 3, 31)};

    const ReportOutcome out = followUpSummaryReport(*f.db, f.tempFolder, QStringLiteral("PRIMARIA TESTENI"),
                                                    FollowUpKind::Notices, period);
    QVERIFY(out.ok());
    const QList<QStringList> rows = f.csvOf(out.path);
    QVERIFY(rows.size() >= 9);
    QCOMPARE(rows[0].value(0), QStringLiteral("PRIMARIA TESTENI"));
    QCOMPARE(rows[1].value(0), QStringLiteral("Centralizator Instiintari"));
    QCOMPARE(rows[2].value(0), QStringLiteral("eliberate in perioada 01.03.2024 - 31.03.2024"));
    QCOMPARE(rows[6].value(1), QStringLiteral("11"));
    QCOMPARE(rows[6].value(2), QStringLiteral("02.03.2024"));
    QCOMPARE(rows[7].value(1), QStringLiteral("12"));
    QCOMPARE(rows[7].value(3), QStringLiteral("ABONAT 1"));
    QCOMPARE(rows[7].value(9), QStringLiteral("150.25"));
    QCOMPARE(rows[8].value(7), QStringLiteral("TOTAL"));
    QCOMPARE(rows[8].value(9), QStringLiteral("230.25"));

    const ReportOutcome other = followUpSummaryReport(*f.db, f.tempFolder, QStringLiteral("P"), FollowUpKind::Summons, period);
    QVERIFY(other.ok());
    const QList<QStringList> summonsRows = f.csvOf(other.path);
    QCOMPARE(summonsRows[1].value(0), QStringLiteral("Centralizator Somatii/Titluri"));
    QCOMPARE(summonsRows[6].value(9), QStringLiteral("400.00"));
    QCOMPARE(summonsRows[7].value(7), QStringLiteral("TOTAL"));
}

void TestSummaries::followUpSummaryWithoutActsIsRefused()
{
    ReportFixture f;
    f.act(1, 1, QStringLiteral("Instiintare de plata"), QStringLiteral("1"), day(2024, 2, 28), "10");
    const ReportOutcome out = followUpSummaryReport(*f.db, f.tempFolder, QStringLiteral("P"), FollowUpKind::Notices,
                                                    {day(2024, 3, 1), day(2024, 3, 31)});
    QVERIFY(!out.ok());
    QCOMPARE(out.title, QStringLiteral("Centralizator Instiintari"));
    QCOMPARE(out.refusal, QStringLiteral("\rNu exista niciun act in perioada selectata!"));
    QCOMPARE(QDir(f.tempFolder).entryList(QDir::Files).size(), 0);
}

void TestSummaries::collectionsOfAYearSplitOverTheirDebitYears()
{
    ReportFixture f;
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    f.subscriber(2, QStringLiteral("ALBU ANA"), QStringLiteral("R2"));
    f.debit(1, 1, 1, day(2022, 5, 5), "20", "0");
    f.debit(2, 1, 1, day(2023, 5, 5), "20", "0");
    f.debit(3, 1, 1, day(2024, 5, 5), "20", "5");
    f.debit(4, 2, 1, day(2024, 2, 5), "10", "0");
    // One collection of 2024 paying debits of 2022, 2023 and 2024, with a penalty part.
    f.document(1, 1, QStringLiteral("CHITANTA"), 1, day(2024, 6, 1), "58");
    f.line(1, 1, 1, 1, "20", "3", "0");
    f.line(2, 1, 2, 1, "20", "0", "0");
    f.line(3, 1, 3, 1, "0", "0", "15");
    // ALBU paid twice, her name written two ways: two rows.
    f.document(2, 2, QStringLiteral("CHITANTA"), 2, day(2024, 2, 10), "4", false, QStringLiteral("ALBU ANA"));
    f.line(4, 2, 4, 2, "0", "0", "4");
    f.document(3, 2, QStringLiteral("CHITANTA"), 3, day(2024, 3, 10), "6", false, QStringLiteral("ALBU ANA MARIA"));
    f.line(5, 3, 4, 2, "0", "0", "6");
    // Not of 2024, or cancelled: left out.
    f.document(4, 1, QStringLiteral("CHITANTA"), 4, day(2023, 12, 31), "99");
    f.line(6, 4, 2, 1, "99", "0", "0");
    f.document(5, 1, QStringLiteral("CHITANTA"), 5, day(2024, 7, 1), "77", true);
    f.line(7, 5, 3, 1, "0", "0", "77");

    NullProgress progress;
    const ReportOutcome out = collectionsByYearReport(*f.db, f.tempFolder, 2024, progress);
    QVERIFY(out.ok());
    QCOMPARE(QDir(f.tempFolder).entryList({QStringLiteral("DbfCen*"), QStringLiteral("Cen*")}, QDir::Files).size(), 0);
    const QList<QStringList> rows = f.csvOf(out.path);
    QVERIFY(rows.size() >= 10);
    QCOMPARE(rows[2].value(1), QStringLiteral("in anul 2024"));
    QCOMPARE(rows[4].value(6), QStringLiteral("2022"));
    QCOMPARE(rows[4].value(7), QStringLiteral("2023"));
    QCOMPARE(rows[4].value(8), QStringLiteral("2024"));
    QCOMPARE(rows[6].value(2), QStringLiteral("ABONAT 1"));
    QCOMPARE(rows[6].value(6), QStringLiteral("23.00"));
    QCOMPARE(rows[6].value(7), QStringLiteral("20.00"));
    QCOMPARE(rows[6].value(8), QStringLiteral("15.00"));
    QCOMPARE(rows[7].value(2), QStringLiteral("ALBU ANA"));
    QCOMPARE(rows[7].value(6), QString()); // nothing on 2022 debits: an empty cell
    QCOMPARE(rows[7].value(8), QStringLiteral("4.00"));
    QCOMPARE(rows[8].value(2), QStringLiteral("ALBU ANA MARIA"));
    QCOMPARE(rows[8].value(8), QStringLiteral("6.00"));
    QCOMPARE(rows[9].value(5), QStringLiteral("TOTAL"));
    QCOMPARE(rows[9].value(6), QStringLiteral("23.00"));
    QCOMPARE(rows[9].value(8), QStringLiteral("25.00"));
}

void TestSummaries::yearsOfferedComeFromPaidDebits()
{
    ReportFixture f;
    f.debit(1, 1, 1, day(2021, 5, 5), "20", "0");  // paid
    f.debit(2, 1, 1, day(2022, 5, 5), "20");       // unpaid: not offered
    f.debit(3, 1, 1, day(2023, 5, 5), "20", "10"); // paid in part
    f.debit(4, 1, 1, day(2023, 7, 5), "20", "0");
    QCOMPARE(collectionYearsOffered(*f.db), (QStringList{QStringLiteral("2023"), QStringLiteral("2021")}));
}

QTEST_GUILESS_MAIN(TestSummaries)
#include "tst_summaries.moc"
