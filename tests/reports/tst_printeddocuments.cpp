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

#include <QSet>

using namespace vestronia;
using namespace vestronia::testing;

class TestPrintedDocuments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyReportsPrintNoPlaceholder();
    void longestValuesPrintWhole();
    void yearBalanceStaysReadableOverTenYears();
};

namespace {

// Text of exactly `size` characters made of the words given, repeated.
QString longText(const QString &words, int size)
{
    QString out = words;
    while (out.size() < size)
        out += QLatin1Char(' ') + words;
    out = out.left(size);
    // A last word cut to one letter would read as a cut; end on a letter anyway.
    return out.trimmed().size() == size ? out : out.left(size - 1) + QLatin1Char('Z');
}

} // namespace

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

// The longest values the fields allow, each printed whole: names and addresses may wrap
// inside their cell, codes (C.N.P., role, act number) stand on one line.
void TestPrintedDocuments::longestValuesPrintWhole()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    ReportFixture f;
    const QString name = longText(QStringLiteral("POPESCU IONESCU MARIA MAGDALENA"), 68);
    const QString cnp = QStringLiteral("2991231123456");
    const QString rol = QStringLiteral("123456789");
    const QString loc = longText(QStringLiteral("SANCRAIU DE MURES"), 32);
    const QString street = longText(QStringLiteral("MIHAIL KOGALNICEANU"), 32);
    const QString number = QStringLiteral("12 BL.A2 AP.5");
    const QString act = QStringLiteral("2024000012345678");
    f.account(1, "10");
    f.subscriber(1, name, rol, 3, 0, cnp);
    f.db->exec(QStringLiteral("UPDATE Abonat SET LOC=?, STRADA=?, NR=?"), {loc, street, number});
    qint64 iddeb = 1;
    for (int y = 2023; y <= 2024; ++y)
        f.debit(iddeb++, 1, 1, day(y, 2, 5), "30");
    f.document(1, 1, QStringLiteral("VIRAMENT BANCAR"), 1234567890, day(2024, 3, 4), "60", false, name);
    f.document(2, 1, QStringLiteral("CHITANTA"), 1234567891, day(2024, 3, 5), "10", false, name);
    f.line(1, 1, 1, 1, "30", "0", "0");
    f.line(2, 1, 2, 1, "0", "0", "30");
    f.db->exec(QStringLiteral("UPDATE Chitante SET CNP=?, ROL=?, STRADA=?, NR=?"), {cnp, rol, street, number});
    f.act(1, 1, QStringLiteral("Instiintare de plata"), act, day(2024, 3, 6), "60");
    f.db->exec(QStringLiteral("UPDATE Urmarire SET NUME=?, CNP=?, ROL=?, LOC=?, STRADA=?, NR=?"),
               {name, cnp, rol, loc, street, number});

    const QString unit = QStringLiteral("PRIMARIA TESTENI");
    NullProgress quiet;
    const ReportPeriod period{day(2024, 1, 1), day(2024, 12, 31)};
    struct Case
    {
        const char *what;
        ReportOutcome outcome;
        QStringList values;
    };
    const QList<Case> cases{
        {"Rap1", subscriberListReport(*f.db, f.tempFolder, day(2024, 6, 10)), {name, loc, street, number, cnp}},
        {"BordInc", collectionListReport(*f.db, f.tempFolder, unit, period),
         {QStringLiteral("VIRAMENT BANCAR"), name, rol, QStringLiteral("1234567890")}},
        {"Bilant", yearBalanceReport(*f.db, f.tempFolder, unit, quiet), {rol, name, cnp}},
        {"CenIns", followUpSummaryReport(*f.db, f.tempFolder, unit, FollowUpKind::Notices, period),
         {act, name, rol, cnp, loc, street, number}},
        {"ChitAn", collectionsByYearReport(*f.db, f.tempFolder, 2024, quiet), {rol, name, cnp, street, number}},
        {"Fisa", accountStatementReport(*f.db, f.tempFolder, unit, 1, day(2023, 1, 1), day(2024, 6, 10)), {name, cnp}},
    };
    QStringList paths;
    for (const Case &c : cases) {
        QVERIFY2(c.outcome.ok(), c.what);
        paths << c.outcome.path;
    }
    const auto printed = printDocuments(paths, f.dir.path() + QStringLiteral("/pdf"));
    QStringList failures;
    for (const Case &c : cases) {
        const PrintedDocument doc = printed.value(c.outcome.path);
        QVERIFY2(doc.ok, c.what);
        const QStringList cut = cutValues(doc, c.values);
        if (!cut.isEmpty())
            failures << QString::fromLatin1(c.what) + QStringLiteral(": ") + cut.join(QStringLiteral(" | "));
        if (smallestText(doc) < 7)
            failures << QString::fromLatin1(c.what) + QStringLiteral(": text %1 points high").arg(smallestText(doc));
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
}

// Ten years of debits: the balance continues its year blocks on further pages, each
// repeating the subscriber columns, instead of shrinking to one page wide.
void TestPrintedDocuments::yearBalanceStaysReadableOverTenYears()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    ReportFixture f;
    f.account(1, "10");
    const QString name = QStringLiteral("POPESCU ION");
    const QString cnp = QStringLiteral("1800101123456");
    f.subscriber(1, name, QStringLiteral("R1"), 1, 0, cnp);
    for (int y = 2015; y <= 2024; ++y)
        f.debit(y, 1, 1, day(y, 3, 5), "10");
    NullProgress quiet;
    const ReportOutcome out = yearBalanceReport(*f.db, f.tempFolder, QStringLiteral("PRIMARIA TESTENI"), quiet);
    QVERIFY(out.ok());
    const auto printed = printDocuments({out.path}, f.dir.path() + QStringLiteral("/pdf"));
    const PrintedDocument doc = printed.value(out.path);
    QVERIFY(doc.ok);
    QVERIFY2(smallestText(doc) >= 7, qPrintable(QString::number(smallestText(doc))));
    QVERIFY(doc.pages > 1);
    // Every year is printed, and the subscriber's name stands on every page.
    for (int y = 2015; y <= 2024; ++y)
        QVERIFY2(doc.flow.contains(QString::number(y)), qPrintable(QString::number(y)));
    int pagesWithName = 0;
    QSet<int> seen;
    for (const PrintedWord &w : doc.words)
        if (w.text == QLatin1String("POPESCU") && !seen.contains(w.page)) {
            seen.insert(w.page);
            ++pagesWithName;
        }
    QCOMPARE(pagesWithName, doc.pages);
    QVERIFY(doc.flow.contains(cnp));

    // No year block is split across two pages: each year heads exactly one page, and a
    // page holds as many of each block column heading as it holds years.
    QMap<int, QStringList> yearsOnPage;
    QMap<int, QMap<QString, int>> headingsOnPage;
    const QStringList headings{QStringLiteral("pers."), QStringLiteral("L.R."), QStringLiteral("Debit"),
                               QStringLiteral("Incasari"), QStringLiteral("Scaderi"), QStringLiteral("final")};
    for (const PrintedWord &w : doc.words) {
        bool isNumber = false;
        const int y = w.text.toInt(&isNumber);
        if (isNumber && y >= 2015 && y <= 2024)
            yearsOnPage[w.page] << w.text;
        if (headings.contains(w.text))
            ++headingsOnPage[w.page][w.text];
    }
    QStringList everyYear;
    for (int page = 1; page <= doc.pages; ++page) {
        const int blocks = int(yearsOnPage.value(page).size());
        everyYear << yearsOnPage.value(page);
        for (const QString &h : headings)
            QVERIFY2(headingsOnPage.value(page).value(h) == blocks,
                     qPrintable(QStringLiteral("page %1: %2 years, %3 \"%4\"")
                                    .arg(page)
                                    .arg(blocks)
                                    .arg(headingsOnPage.value(page).value(h))
                                    .arg(h)));
    }
    everyYear.sort();
    QCOMPARE(everyYear.size(), 10);
    QCOMPARE(QSet<QString>(everyYear.begin(), everyYear.end()).size(), 10);
}

QTEST_GUILESS_MAIN(TestPrintedDocuments)
#include "tst_printeddocuments.moc"
