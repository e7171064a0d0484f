// The reports as a user prints them (LibreOffice to PDF, then text): an empty report
// shows its headings and zero totals and never a placeholder; the longest values the
// fields allow print whole; the yearly balance stays readable over many years.

#include "reportfixture.h"
#include "pdfreadback.h"

#include "core/progress.h"
#include "reports/accountstatement.h"
#include "reports/listreports.h"
#include "reports/summaries.h"
#include "reports/yearbalance.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestPrintedDocuments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyReportsPrintNoPlaceholder();
};

void TestPrintedDocuments::emptyReportsPrintNoPlaceholder()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    ReportFixture f;
    // A subscriber without any debit or document, for the statement.
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    const QString unit = QStringLiteral("PRIMARIA TESTENI");
    NullProgress quiet;
    const ReportPeriod period{day(2024, 1, 1), day(2024, 1, 31)};
    f.db->exec(QStringLiteral("DELETE FROM Abonat WHERE IDAB=1"));
    const ReportOutcome list = subscriberListReport(*f.db, f.tempFolder, day(2024, 6, 10));
    f.subscriber(1, QStringLiteral("POPESCU ION"), QStringLiteral("R1"));
    const ReportOutcome collections = collectionListReport(*f.db, f.tempFolder, unit, period);
    const ReportOutcome balance = yearBalanceReport(*f.db, f.tempFolder, unit, quiet);
    const ReportOutcome byYear = collectionsByYearReport(*f.db, f.tempFolder, 2024, quiet);
    const ReportOutcome statement = accountStatementReport(*f.db, f.tempFolder, unit, 1, day(2024, 1, 1), day(2024, 6, 10));
    const QList<ReportOutcome> all{list, collections, balance, byYear, statement};
    QStringList paths;
    for (const ReportOutcome &o : all) {
        QVERIFY2(o.ok(), qPrintable(o.refusal));
        paths << o.path;
    }
    const auto printed = printDocuments(paths, f.dir.path() + QStringLiteral("/pdf"));
    for (const QString &path : paths) {
        const PrintedDocument doc = printed.value(path);
        QVERIFY2(doc.ok, qPrintable(path));
        QVERIFY2(placeholdersIn(doc.text).isEmpty(),
                 qPrintable(QFileInfo(path).fileName() + QStringLiteral(": ") + placeholdersIn(doc.text).join(QLatin1Char(' '))));
        QVERIFY2(doc.text.contains(QStringLiteral("Nr")), qPrintable(doc.text));
    }
    // The headings and a zero total are printed.
    QVERIFY(printed.value(list.path).text.contains(QStringLiteral("TOTAL")));
    QVERIFY(printed.value(collections.path).text.contains(QStringLiteral("TOTAL")));
    QVERIFY(printed.value(byYear.path).text.contains(QStringLiteral("in anul 2024")));
    QVERIFY(printed.value(statement.path).text.contains(QStringLiteral("POPESCU ION")));
}

QTEST_GUILESS_MAIN(TestPrintedDocuments)
#include "tst_printeddocuments.moc"
