// Receipt printing over the report writer. The lines keep the order they were written
// in (advances first, then the debits by date); amounts print with two decimals so the
// lines add up to the printed total.

#include "documents/receipt.h"

#include "core/dates.h"
#include "core/error.h"
#include "core/profilefile.h"
#include "core/session.h"
#include "core/workfiles.h"
#include "reports/documentconverter.h"
#include "reports/reportwriter.h"
#include "reports/templateresource.h"
#include "startup/adminsettings.h"
#include "store/database.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace vestronia {

namespace {

// JUDET stores the position in the administration's county list.
QString countyName(const QString &stored)
{
    bool ok = false;
    const int i = stored.toInt(&ok);
    if (ok && i >= 0 && i < countyNames().size())
        return countyNames()[i];
    return stored;
}

bool pdfWanted(const Session &session, ReceiptFormat format)
{
    if (format == ReceiptFormat::Pdf)
        return true;
    if (format == ReceiptFormat::Workbook)
        return false;
    return ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("CHITPDF"))
               .compare(QLatin1String("DA"), Qt::CaseInsensitive) == 0;
}

// "LibreOffice is missing" is said once per run; the spreadsheet opens every time.
bool missingToldOnce = false;

} // namespace

void prepareReceiptPdf(const Session &session)
{
    if (pdfWanted(session, ReceiptFormat::AsConfigured))
        DocumentConverter::instance().warmUp(documentProfileFolder(session));
}

QString receiptAddress(const QString &locality, const QString &street, const QString &number)
{
    QString s = street.trimmed();
    if (!s.isEmpty())
        s = QStringLiteral("str.") + s;
    if (!number.trimmed().isEmpty())
        s += QStringLiteral(" nr.") + number.trimmed();
    return QStringLiteral("loc.") + locality.trimmed() + QLatin1Char(' ') + s;
}

ReceiptOutcome printReceipt(Database &db, const Session &session, qint64 idchit, ReceiptFormat format,
                            Progress &progress)
{
    const ResultSet doc = db.select(QStringLiteral("SELECT C.*, A.LOC AS ABLOC FROM Chitante C LEFT JOIN Abonat A ON "
                                                   "A.IDAB=C.IDAB WHERE C.IDCHIT=?"),
                                    {idchit});
    if (doc.isEmpty())
        throw VestroniaError(QStringLiteral("Documentul %1 nu exista.").arg(idchit));
    const QString model = findFileNoCase(session.dataFolder, QStringLiteral("ModelChitanta.xls"));
    if (!QFileInfo::exists(model))
        writeTemplateResource(QStringLiteral("ModelChitanta"), model);

    ReportWriter w(session.tempFolder);
    if (!w.openTemplate(model))
        throw FileError(QStringLiteral("Nu pot deschide modelul de chitanta ") + QDir::toNativeSeparators(model));
    const QString settings = session.sharedSettings();
    const QString c = QStringLiteral("CONST");
    auto text = [&](const char *f) { return doc.text(0, QLatin1String(f)).trimmed(); };
    w.replaceKey(QStringLiteral("#UNITATE"), ProfileFile::readText(settings, c, QStringLiteral("UNITATE")));
    w.replaceKey(QStringLiteral("#LOCALIT"), ProfileFile::readText(settings, c, QStringLiteral("LOCALIT")));
    w.replaceKey(QStringLiteral("#JUDET"), countyName(ProfileFile::readText(settings, c, QStringLiteral("JUDET"))));
    w.replaceKey(QStringLiteral("[DOCJUS]"), text("DOCJUS"));
    w.replaceKey(QStringLiteral("#DOCSERIA"), text("DOCSERIA"));
    w.replaceKey(QStringLiteral("#DOCNR"), QString::number(doc.integer(0, QStringLiteral("DOCNR"))));
    w.replaceKey(QStringLiteral("#DOCDATA"), dayText(int(doc.integer(0, QStringLiteral("DOCDATA")))));
    w.replaceKey(QStringLiteral("#NUME"), text("NUME"));
    w.replaceKey(QStringLiteral("#CNP"), text("CNP"));
    w.replaceKey(QStringLiteral("[ROL]"), text("ROL"));
    w.replaceKey(QStringLiteral("[REPREZ]"), text("REPREZ"));
    w.replaceKey(QStringLiteral("#ADRESA"), receiptAddress(text("ABLOC"), text("STRADA"), text("NR")));
    w.replaceKey(QStringLiteral("#PLATITOR"), text("NUMEPLAT"));
    w.replaceKey(QStringLiteral("[A]"), text("ANULAT") == QLatin1String("X") ? QStringLiteral("ANULAT") : QStringLiteral(" "));

    const ResultSet lines = db.select(
        QStringLiteral("SELECT DENUM, RESTANTA, PENAL, CURENT FROM DetChit WHERE IDCHIT=? ORDER BY IDDCHIT"), {idchit});
    w.fillRows(lines);
    w.fillRows(lines);

    ReceiptOutcome out;
    const bool pdf = pdfWanted(session, format);
    out.workbookPath = w.finish();
    if (pdf) {
        const PdfConversion conv = DocumentConverter::instance().toPdf(out.workbookPath, documentProfileFolder(session), progress);
        out.pdfPath = conv.pdfPath;
        out.pdfMs = conv.elapsedMs;
        if (out.pdfPath.isEmpty() && (!conv.libreOfficeMissing || !missingToldOnce))
            out.notice = conv.error;
        if (conv.libreOfficeMissing)
            missingToldOnce = true;
    }
    return out;
}

} // namespace vestronia
