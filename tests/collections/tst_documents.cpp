// The printed collection documents read back as a clerk sees them: PDF receipts made
// one after another keep their own files and contents.

#include "collections/collection.h"
#include "collections/documents/receipt.h"
#include "core/progress.h"
#include "core/workfiles.h"

#include "collectionsfixture.h"
#include "xls/xlstesttools.h"

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
    const ReceiptOutcome a = printReceipt(*f.db, f.session, first, ReceiptFormat::Pdf, true, quiet);
    QVERIFY2(!a.pdfPath.isEmpty(), qPrintable(a.notice));
    const ReceiptOutcome b = printReceipt(*f.db, f.session, second, ReceiptFormat::Pdf, true, quiet);
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
}

QTEST_GUILESS_MAIN(TestDocuments)
#include "tst_documents.moc"
