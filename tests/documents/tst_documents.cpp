// The printed collection documents read back as a clerk sees them: PDF receipts made
// one after another keep their own files and contents.

#include "collections/collection.h"
#include "documents/cashbookprint.h"
#include "documents/receipt.h"
#include "core/progress.h"
#include "core/workfiles.h"
#include "reports/documentconverter.h"

#include "collections/collectionsfixture.h"
#include "xls/xlstesttools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestDocuments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoPdfReceiptsAreTwoFiles();
    void laterPdfReceiptsUseTheWarmInstance();
    void withoutLibreOfficeTheSpreadsheetOpens();
    void hungLibreOfficeIsStoppedInTime();
    void receiptAndCashBookPrintTheLongestValuesWhole();

private:
    static qint64 collect(CollectionsFixture &f, const QString &name, const char *amount)
    {
        const qint64 idab = f.insertSubscriber(name, 2, day(2020, 1, 1));
        CollectionDraft d;
        d.idab = idab;
        d.docType = QStringLiteral("CHITANTA");
        d.amount = lei(amount);
        d.day = f.today();
        d.payer = name;
        d.purpose = QStringLiteral("incasare debite");
        const CollectionOutcome o = recordCollection(*f.db, f.session, d);
        if (o.refusal)
            return 0;
        return o.recorded.idchit;
    }
};

// The text LibreOffice printed into a PDF, or a null string.
static QString pdfText(const QString &pdf)
{
    QString out;
    QString error;
    if (!xlstest::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}, &out, &error))
        return QString();
    return out;
}

void TestDocuments::twoPdfReceiptsAreTwoFiles()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    CollectionsFixture f;
    const qint64 first = collect(f, QStringLiteral("POPESCU ION"), "10");
    const qint64 second = collect(f, QStringLiteral("IONESCU MARIA"), "20");
    QVERIFY(first > 0 && second > 0);
    NullProgress quiet;
    const ReceiptOutcome a = printReceipt(*f.db, f.session, first, ReceiptFormat::Pdf, quiet);
    QVERIFY2(!a.pdfPath.isEmpty(), qPrintable(a.notice));
    const ReceiptOutcome b = printReceipt(*f.db, f.session, second, ReceiptFormat::Pdf, quiet);
    QVERIFY2(!b.pdfPath.isEmpty(), qPrintable(b.notice));
    QVERIFY(a.pdfPath != b.pdfPath);
    QVERIFY(QFileInfo(a.workbookPath).completeBaseName() != QFileInfo(b.workbookPath).completeBaseName());
    const QString textA = pdfText(a.pdfPath);
    const QString textB = pdfText(b.pdfPath);
    QVERIFY(textA.contains(QStringLiteral("POPESCU ION")));
    QVERIFY(!textA.contains(QStringLiteral("IONESCU MARIA")));
    QVERIFY(textB.contains(QStringLiteral("IONESCU MARIA")));
    QVERIFY(!textB.contains(QStringLiteral("POPESCU ION")));
    // A third work file of any kind in the same folder takes neither name.
    const QString next = newWorkFile(f.session.tempFolder, QStringLiteral("XLSTmp"), QStringLiteral(".pdf"));
    QVERIFY(next != a.pdfPath && next != b.pdfPath);
    QVERIFY(QFileInfo::exists(a.pdfPath) && QFileInfo::exists(b.pdfPath));
    DocumentConverter::instance().stop();
}

// The first PDF receipt of a run may start LibreOffice; the next five are made by the
// instance kept running. The figures are printed for the benchmark notes.
void TestDocuments::laterPdfReceiptsUseTheWarmInstance()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    DocumentConverter::instance().stop();
    CollectionsFixture f;
    NullProgress quiet;
    QStringList figures;
    QStringList pdfs;
    for (int i = 0; i < 6; ++i) {
        const qint64 id = collect(f, QStringLiteral("ABONAT %1").arg(i), "5");
        QVERIFY(id > 0);
        const ReceiptOutcome o = printReceipt(*f.db, f.session, id, ReceiptFormat::Pdf, quiet);
        QVERIFY2(!o.pdfPath.isEmpty(), qPrintable(o.notice));
        QVERIFY(!pdfs.contains(o.pdfPath));
        pdfs << o.pdfPath;
        figures << QString::number(o.pdfMs);
    }
    qInfo("PDF receipts (ms): %s", qPrintable(figures.join(QLatin1Char(' '))));
    if (!DocumentConverter::instance().isRunning())
        QSKIP("the python3 UNO bridge (python3-uno) is not installed: every PDF starts LibreOffice");
    QVERIFY(pdfText(pdfs.last()).contains(QStringLiteral("ABONAT 5")));
    DocumentConverter::instance().stop();
    QVERIFY(!DocumentConverter::instance().isRunning());
}

void TestDocuments::withoutLibreOfficeTheSpreadsheetOpens()
{
    DocumentConverter::instance().stop();
    CollectionsFixture f;
    const qint64 id = collect(f, QStringLiteral("POPESCU ION"), "10");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(f.dir.path() + QStringLiteral("/empty-bin")));
    NullProgress quiet;
    const ReceiptOutcome o = printReceipt(*f.db, f.session, id, ReceiptFormat::Pdf, quiet);
    qputenv("PATH", path);
    QVERIFY(o.pdfPath.isEmpty());
    QVERIFY(QFileInfo(o.workbookPath).size() > 0);
    QVERIFY(o.notice.contains(QStringLiteral("LibreOffice nu este instalat")));
}

void TestDocuments::hungLibreOfficeIsStoppedInTime()
{
    DocumentConverter::instance().stop();
    CollectionsFixture f;
    // A LibreOffice that never answers.
    const QString bin = f.dir.path() + QStringLiteral("/bin");
    QDir().mkpath(bin);
    QFile fake(bin + QStringLiteral("/soffice"));
    QVERIFY(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\nexec sleep 60\n");
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString xls = f.dir.path() + QStringLiteral("/a.xls");
    QFile doc(xls);
    QVERIFY(doc.open(QIODevice::WriteOnly));
    doc.write("x");
    doc.close();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ":/usr/bin:/bin");
    NullProgress quiet;
    QElapsedTimer timer;
    timer.start();
    const PdfConversion c = DocumentConverter::instance().toPdf(xls, f.dir.path() + QStringLiteral("/LOProfil"), quiet, 1500);
    qputenv("PATH", path);
    QVERIFY(c.pdfPath.isEmpty());
    QVERIFY2(c.error.contains(QStringLiteral("nu a terminat")), qPrintable(c.error));
    QVERIFY(timer.elapsed() < 15000);
    QVERIFY(!DocumentConverter::instance().isRunning());
}

// Every receipt line and code printed whole, read back from the PDF: the month a line
// pays, a 60-character debit name, the 13-digit personal code; and the cash book's
// longest document reference.
void TestDocuments::receiptAndCashBookPrintTheLongestValuesWhole()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const QString cnp = QStringLiteral("2991231123456");
    f.db->exec(QStringLiteral("UPDATE Abonat SET CNP=? WHERE IDAB=?"), {cnp, idab});
    const QString month = QStringLiteral("Salubrizare menajera - 07.2024");
    const QString longest = QStringLiteral("SALUBRIZARE MENAJERA SI COLECTARE SELECTIVA DESEURIX 07.2024");
    QCOMPARE(longest.size(), 60);
    f.insertDebit(idab, "40", day(2024, 5, 5), 0, "0", QStringLiteral("zi"), QString(), 1, -1, nullptr, month);
    f.insertDebit(idab, "35", day(2024, 6, 5), 0, "0", QStringLiteral("zi"), QString(), 1, -1, nullptr, longest);
    CollectionDraft d;
    d.idab = idab;
    d.docType = QStringLiteral("CHITANTA");
    d.amount = lei("75");
    d.day = f.today();
    d.payer = QStringLiteral("POPESCU ION");
    d.purpose = QStringLiteral("incasare debite");
    const CollectionOutcome o = recordCollection(*f.db, f.session, d);
    QVERIFY(!o.refusal);
    // A cash-desk operation with the longest reference the book prints.
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, ANULAT, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, CNP, ROL, "
                              "STRADA, NR, NUMEPLAT, INCASAT, PLATIT, REPREZ) VALUES (900, -1, '', ?, ?, ?, ?, '', '', '', '', "
                              "'', '', 0, 12.5, ?)"),
               {QStringLiteral("DISPOZITIE PLATA"), QStringLiteral("SERIA ABCDEFGHIJKLMN"), 1234567890, f.today(),
                QStringLiteral("DEPUNERE NUMERAR LA BANCA TRANSILVANIA SUCURSALA SATU MARE")});
    NullProgress quiet;
    const ReceiptOutcome r = printReceipt(*f.db, f.session, o.recorded.idchit, ReceiptFormat::Pdf, quiet);
    QVERIFY2(!r.pdfPath.isEmpty(), qPrintable(r.notice));
    const QString book = printCashBook(*f.db, f.session, f.today(), f.today(), quiet);
    const PdfConversion c = DocumentConverter::instance().toPdf(book, documentProfileFolder(f.session), quiet);
    QVERIFY2(!c.pdfPath.isEmpty(), qPrintable(c.error));
    DocumentConverter::instance().stop();

    const auto flow = [](const QString &pdf) {
        QString out;
        xlstest::run(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")}, &out);
        return out.simplified();
    };
    const QString receipt = flow(r.pdfPath);
    // Both copies of the receipt carry every line whole.
    QCOMPARE(receipt.count(month), 2);
    QCOMPARE(receipt.count(longest), 2);
    QCOMPARE(receipt.count(cnp), 2);
    const QString cash = flow(c.pdfPath);
    QVERIFY2(cash.contains(QStringLiteral("DISPOZITIE PLATA SERIA ABCDEFGHIJKLMN nr.1234567890")), qPrintable(cash));
    QVERIFY2(cash.contains(QStringLiteral("DEPUNERE NUMERAR LA BANCA TRANSILVANIA SUCURSALA SATU MARE")), qPrintable(cash));
}

QTEST_GUILESS_MAIN(TestDocuments)
#include "tst_documents.moc"
