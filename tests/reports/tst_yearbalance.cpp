// The yearly balance from a known data folder: each year block's persons, debit,
// collections, deductions, carried-over and final balances as LibreOffice computes them
// from the template's formulas, against what the tables hold.

#include "reportfixture.h"

#include "core/progress.h"
#include "reports/yearbalance.h"

using namespace vestronia;
using namespace vestronia::testing;

namespace {

// Column (0-based in the CSV) of a field of year block k: 0 persons, 1 carried over,
// 2 debit, 3 collections, 4 deductions, 5 final balance.
int col(int block, int field)
{
    return 4 + 6 * block + field;
}

} // namespace

class TestYearBalance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fiveYearsCarryTheirBalances();
    void personsComeFromTheFirstDebitDateOfTheYear();
    void oneYearKeepsOneBlock();
    void workTablesAreRemoved();
};

void TestYearBalance::fiveYearsCarryTheirBalances()
{
    ReportFixture f;
    f.account(1, "10");
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    f.subscriber(2, QStringLiteral("ALBU ANA"), QStringLiteral("R2"));
    f.subscriber(3, QStringLiteral("FARA DEBITE"), QStringLiteral("R3"));
    qint64 iddeb = 1;
    // POPESCU: two persons (20 a month) in 2020..2024.
    for (int y = 2020; y <= 2024; ++y)
        for (int m = 1; m <= 12; ++m)
            f.debit(iddeb++, 1, 1, day(y, m, 5), "20");
    // ALBU: one person, only in 2023 and 2024.
    for (int y = 2023; y <= 2024; ++y)
        for (int m = 1; m <= 12; ++m)
            f.debit(iddeb++, 2, 1, day(y, m, 5), "10");
    // An advance debit and a debit without an account are not debits of the balance.
    f.debit(iddeb++, 1, -1, day(2022, 3, 1), "-15");
    f.debit(iddeb++, 1, 0, day(2022, 3, 1), "7");

    f.document(1, 1, QStringLiteral("CHITANTA"), 1, day(2020, 6, 1), "100");
    f.document(2, 1, QStringLiteral("CHITANTA"), 2, day(2021, 12, 31), "50");   // 31 December stays in 2021
    f.document(3, 1, QStringLiteral("VIRAMENT BANCAR"), 3, day(2022, 1, 1), "60");
    f.document(4, 1, QStringLiteral("BORDEROU SCADERE"), 4, day(2022, 5, 5), "25");
    f.document(5, 1, QStringLiteral("PLATA CU CARD"), 5, day(2022, 5, 6), "33"); // neither column
    f.document(6, 1, QStringLiteral("CHITANTA"), 6, day(2023, 2, 2), "80", true); // cancelled
    f.document(7, 1, QStringLiteral("CHITANTA"), 7, day(2024, 12, 31), "40");
    f.document(8, 2, QStringLiteral("CHITANTA"), 8, day(2023, 7, 1), "30");
    f.document(9, 2, QStringLiteral("CHITANTA"), 9, day(2025, 1, 3), "15");     // a year without debits
    f.document(10, 3, QStringLiteral("CHITANTA"), 10, day(2024, 1, 3), "99");   // never debited

    NullProgress progress;
    const ReportOutcome out = yearBalanceReport(*f.db, f.tempFolder, QStringLiteral("PRIMARIA TESTENI"), progress);
    QVERIFY(out.ok());
    const QList<QStringList> rows = f.csvOf(out.path);
    QVERIFY(rows.size() >= 9);
    QCOMPARE(rows[0].value(0), QStringLiteral("PRIMARIA TESTENI"));
    // Six blocks: 2020..2025, the last one for the payment made after the debits ended.
    const QStringList years{QStringLiteral("2020"), QStringLiteral("2021"), QStringLiteral("2022"),
                            QStringLiteral("2023"), QStringLiteral("2024"), QStringLiteral("2025")};
    for (int k = 0; k < years.size(); ++k)
        QCOMPARE(rows[4].value(col(k, 0)), years[k]);
    QCOMPARE(rows[4].value(col(6, 0)), QString());

    // Rows by name: ALBU, then POPESCU; the subscriber without debits is not listed.
    QCOMPARE(rows[6].value(2), QStringLiteral("ALBU ANA"));
    QCOMPARE(rows[7].value(2), QStringLiteral("POPESCU ION"));
    QCOMPARE(rows[7].value(0), QStringLiteral("2"));
    QCOMPARE(rows[8].value(3), QStringLiteral("TOTAL"));

    struct Expected
    {
        const char *persons, *carried, *debit, *collected, *deducted, *final;
    };
    const Expected popescu[] = {
        {"2", "0", "240", "100", "0", "140"},  {"2", "140", "240", "50", "0", "330"},
        {"2", "330", "240", "60", "25", "485"}, {"2", "485", "240", "0", "0", "725"},
        {"2", "725", "240", "40", "0", "925"},  {"0", "925", "0", "0", "0", "925"},
    };
    const Expected albu[] = {
        {"0", "0", "0", "0", "0", "0"},       {"0", "0", "0", "0", "0", "0"},         {"0", "0", "0", "0", "0", "0"},
        {"1", "0", "120", "30", "0", "90"},   {"1", "90", "120", "0", "0", "210"},    {"0", "210", "0", "15", "0", "195"},
    };
    const auto number = [](const QString &csv) { return QString::number(csv.toDouble()); };
    for (int k = 0; k < 6; ++k) {
        const QStringList &p = rows[7];
        QCOMPARE(number(p.value(col(k, 1))), QString::fromLatin1(popescu[k].carried));
        QCOMPARE(number(p.value(col(k, 2))), QString::fromLatin1(popescu[k].debit));
        QCOMPARE(number(p.value(col(k, 3))), QString::fromLatin1(popescu[k].collected));
        QCOMPARE(number(p.value(col(k, 4))), QString::fromLatin1(popescu[k].deducted));
        QCOMPARE(number(p.value(col(k, 5))), QString::fromLatin1(popescu[k].final));
        QCOMPARE(number(p.value(col(k, 0))), QString::fromLatin1(popescu[k].persons));
        const QStringList &a = rows[6];
        QCOMPARE(number(a.value(col(k, 0))), QString::fromLatin1(albu[k].persons));
        QCOMPARE(number(a.value(col(k, 1))), QString::fromLatin1(albu[k].carried));
        QCOMPARE(number(a.value(col(k, 2))), QString::fromLatin1(albu[k].debit));
        QCOMPARE(number(a.value(col(k, 3))), QString::fromLatin1(albu[k].collected));
        QCOMPARE(number(a.value(col(k, 5))), QString::fromLatin1(albu[k].final));
    }
    // The totals row adds both subscribers; the final balance of the last block is what
    // the tables hold: debits minus collections minus deductions.
    const QVariant owed = f.db->scalar(QStringLiteral("SELECT SUM(RATA) FROM Debite WHERE IDCON>0 AND RATA>0 AND IDAB IN (1, 2)"));
    const QVariant paid = f.db->scalar(QStringLiteral("SELECT SUM(INCASAT) FROM Chitante WHERE IDAB IN (1, 2) AND "
                                                      "(ANULAT IS NULL) AND DOCJUS IN ('CHITANTA', 'VIRAMENT BANCAR', "
                                                      "'BORDEROU SCADERE')"));
    QCOMPARE(number(rows[8].value(col(5, 5))), QString::number(owed.toDouble() - paid.toDouble()));
    QCOMPARE(number(rows[8].value(col(4, 2))), QStringLiteral("360"));
}

void TestYearBalance::personsComeFromTheFirstDebitDateOfTheYear()
{
    ReportFixture f;
    f.account(1, "10");
    f.account(2, "0"); // a defined rate of 0 counts as 10000
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    f.debit(1, 1, 1, day(2024, 1, 5), "30");  // three persons at the first date
    f.debit(2, 1, 1, day(2024, 1, 5), "20");
    f.debit(3, 1, 1, day(2024, 2, 5), "50");  // five later in the year: not the year's figure
    f.debit(4, 1, 2, day(2024, 1, 5), "25");
    f.debit(5, 1, 2, day(2023, 12, 5), "25"); // only the rate-0 account in 2023
    // An account missing from DefCont takes its smallest debit as the rate.
    f.debit(6, 1, 9, day(2022, 4, 5), "12");
    f.debit(7, 1, 9, day(2022, 4, 5), "36");

    NullProgress progress;
    const QList<BalanceYearFigures> figures = computeYearBalance(*f.db, progress);
    QCOMPARE(figures.size(), 3);
    QCOMPARE(figures[0].year, 2022);
    QCOMPARE(figures[0].persons, 3); // 36 / 12
    QCOMPARE(figures[0].debit, *Money::parse(QStringLiteral("48")));
    QCOMPARE(figures[1].year, 2023);
    QCOMPARE(figures[1].persons, 0); // 25 / 10000
    QCOMPARE(figures[2].year, 2024);
    QCOMPARE(figures[2].persons, 3);
    QCOMPARE(figures[2].debit, *Money::parse(QStringLiteral("125")));
    QCOMPARE(figures[2].name, QStringLiteral("POPESCU ION"));
}

void TestYearBalance::oneYearKeepsOneBlock()
{
    ReportFixture f;
    f.account(1, "10");
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    f.debit(1, 1, 1, day(2024, 1, 5), "10");
    f.document(1, 1, QStringLiteral("CHITANTA"), 1, day(2024, 3, 1), "4");
    NullProgress progress;
    const ReportOutcome out = yearBalanceReport(*f.db, f.tempFolder, QStringLiteral("U"), progress);
    QVERIFY(out.ok());
    Workbook book;
    book.open(out.path);
    QCOMPARE(book.cellText(5, 5), QStringLiteral("2024"));
    QCOMPARE(book.cellText(6, 11), QString()); // the second block is gone
    QCOMPARE(book.formulaText(7, 10), QStringLiteral("F7+G7-H7-I7"));
    QCOMPARE(book.cellValue(7, 8).toDouble(), 4.0);
}

void TestYearBalance::workTablesAreRemoved()
{
    ReportFixture f;
    f.account(1, "10");
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    f.debit(1, 1, 1, day(2024, 1, 5), "10");
    NullProgress progress;
    QVERIFY(yearBalanceReport(*f.db, f.tempFolder, QStringLiteral("U"), progress).ok());
    const QStringList left = QDir(f.tempFolder).entryList({QStringLiteral("*.dbf"), QStringLiteral("Bilant*")}, QDir::Files);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    QVERIFY(!f.db->isAttached(QStringLiteral("BorFin0")));
}

QTEST_GUILESS_MAIN(TestYearBalance)
#include "tst_yearbalance.moc"
