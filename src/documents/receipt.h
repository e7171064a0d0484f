#pragma once
// The receipt of a collection document: the data folder's receipt model filled with the
// document's header and its allocation lines (both copies of the sheet), saved in the
// TEMP folder, and as a PDF when the administration asks for PDF receipts.

#include <QString>

namespace vestronia {

class Database;
class Progress;
struct Session;

enum class ReceiptFormat
{
    AsConfigured, // PDF when "Listeaza Chitanta in format PDF" is set
    Workbook,
    Pdf,
};

struct ReceiptOutcome
{
    QString workbookPath;
    QString pdfPath;  // empty when no PDF was asked for or none could be made
    QString notice;   // for the user when the PDF was asked for but not made
    qint64 pdfMs = 0; // time of the PDF conversion

    // What the user should see: the PDF when one was made, else the workbook.
    QString shownPath() const { return pdfPath.isEmpty() ? workbookPath : pdfPath; }
};

// With PDF receipts asked for, starts the document converter's LibreOffice in the
// background now, so the first receipt of the run does not wait for it.
void prepareReceiptPdf(const Session &session);

// The address line of a receipt: "loc.L str.S nr.N"; "loc.L " without street and number.
QString receiptAddress(const QString &locality, const QString &street, const QString &number);

// Fills and saves the receipt of document idchit; the caller opens shownPath() when
// the user is to see it. The model is written from the program's resource when the data
// folder has none. Throws VestroniaError for an unknown document
// and XlsError/FileError when the model cannot be read or the result saved.
ReceiptOutcome printReceipt(Database &db, const Session &session, qint64 idchit, ReceiptFormat format,
                            Progress &progress);

} // namespace vestronia
