// The subscriber list and the collection list filled from a known data folder and read
// back through LibreOffice: which rows appear, in which order, and the totals.

#include "reportfixture.h"

#include "reports/listreports.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestListReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void subscriberListKeepsThoseStillServed();
    void collectionListTakesThePeriodsValidDocuments();
    void emptyCollectionListHasNoPlaceholders();
};

void TestListReports::subscriberListKeepsThoseStillServed()
{
    ReportFixture f;
    const int today = Clock::todayDayNumber();
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"), 3);
    f.subscriber(2, QStringLiteral("ALBU ANA"), QStringLiteral("R2"), 2, today + 1);   // leaves tomorrow
    f.subscriber(3, QStringLiteral("ZAHARIA DAN"), QStringLiteral("R3"), 4, today);    // left today
    f.subscriber(4, QStringLiteral("BARBU GEO"), QStringLiteral("R4"), 1, today - 30); // left last month
    f.subscriber(5, QStringLiteral("CRISAN ELENA"), QStringLiteral("R5"), 5);
    // An exit field left blank by another dBase tool means "no exit date".
    f.db->exec(QStringLiteral("UPDATE Abonat SET DATAOUT=NULL WHERE IDAB=5"));

    const ReportOutcome out = subscriberListReport(*f.db, f.tempFolder, today);
    QVERIFY(out.ok());
    QVERIFY(QFileInfo(out.path).fileName().startsWith(QStringLiteral("XLSTmp")));
    // The template copy does not outlive the report.
    QCOMPARE(QDir(f.tempFolder).entryList({QStringLiteral("R1S*")}).size(), 0);

    const QList<QStringList> rows = f.csvOf(out.path);
    QVERIFY(rows.size() >= 10);
    QCOMPARE(rows[2].value(0), QStringLiteral("la data de 10.06.2024"));
    const QStringList names{rows[6].value(1), rows[7].value(1), rows[8].value(1)};
    QCOMPARE(names, (QStringList{QStringLiteral("ALBU ANA"), QStringLiteral("CRISAN ELENA"), QStringLiteral("POPESCU ION")}));
    QCOMPARE(rows[6].value(0), QStringLiteral("1"));
    QCOMPARE(rows[8].value(0), QStringLiteral("3"));
    QCOMPARE(rows[6].value(2), QStringLiteral("SATU MARE"));
    QCOMPARE(rows[6].value(4), QStringLiteral("2"));
    QCOMPARE(rows[9].value(5), QStringLiteral("TOTAL"));
    QCOMPARE(rows[9].value(6), QStringLiteral("10"));
}

void TestListReports::collectionListTakesThePeriodsValidDocuments()
{
    ReportFixture f;
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    f.subscriber(2, QStringLiteral("ALBU ANA"), QStringLiteral("R2"));
    const ReportPeriod period{day(2024, 3, 1), day(2024, 3, 31)};
    f.document(1, 1, QStringLiteral("CHITANTA"), 12, day(2024, 3, 31), "40.5");            // the end day
    f.document(2, 2, QStringLiteral("CHITANTA"), 11, day(2024, 3, 1), "20");               // the first day
    f.document(3, 1, QStringLiteral("CHITANTA"), 13, day(2024, 3, 15), "99", true);        // cancelled
    f.document(4, 1, QStringLiteral("BORDEROU SCADERE"), 1, day(2024, 3, 15), "15");       // deduction
    f.document(5, 0, QStringLiteral("CHITANTA"), 14, day(2024, 3, 15), "70");              // cash book, no subscriber
    f.document(6, 2, QStringLiteral("VIRAMENT BANCAR"), 7, day(2024, 3, 10), "30", false, {}, "30"); // nets to 0
    f.document(7, 2, QStringLiteral("CHITANTA"), 15, day(2024, 4, 1), "50");               // after the period

    const ReportOutcome out = collectionListReport(*f.db, f.tempFolder, QStringLiteral("PRIMARIA TESTENI"), period);
    QVERIFY(out.ok());
    const QList<QStringList> rows = f.csvOf(out.path);
    QVERIFY(rows.size() >= 10);
    QCOMPARE(rows[0].value(0), QStringLiteral("PRIMARIA TESTENI"));
    QCOMPARE(rows[2].value(0), QStringLiteral("in perioada 01.03.2024 - 31.03.2024"));
    // By type, then date: the two receipts, then the bank transfer.
    QCOMPARE(rows[6].value(2), QStringLiteral("CHITANTA"));
    QCOMPARE(rows[6].value(4), QStringLiteral("11"));
    QCOMPARE(rows[6].value(5), QStringLiteral("01.03.2024"));
    QCOMPARE(rows[7].value(4), QStringLiteral("12"));
    QCOMPARE(rows[7].value(5), QStringLiteral("31.03.2024"));
    QCOMPARE(rows[7].value(7), QStringLiteral("40.50"));
    QCOMPARE(rows[8].value(2), QStringLiteral("VIRAMENT BANCAR"));
    QCOMPARE(rows[8].value(0), QStringLiteral("3"));
    QCOMPARE(rows[8].value(7), QString()); // a net amount of 0 is an empty cell, the row still counts
    QCOMPARE(rows[9].value(6), QStringLiteral("TOTAL"));
    QCOMPARE(rows[9].value(7), QStringLiteral("60.50"));
}

void TestListReports::emptyCollectionListHasNoPlaceholders()
{
    ReportFixture f;
    const ReportOutcome out =
        collectionListReport(*f.db, f.tempFolder, QStringLiteral("PRIMARIA"), {day(2024, 1, 1), day(2024, 1, 31)});
    QVERIFY(out.ok());
    Workbook book;
    book.open(out.path);
    QCOMPARE(book.cellText(7, 7), QString());
    QCOMPARE(book.cellText(7, 1), QString());
    QCOMPARE(book.cellText(7, 9), QString());
}

QTEST_GUILESS_MAIN(TestListReports)
#include "tst_listreports.moc"
