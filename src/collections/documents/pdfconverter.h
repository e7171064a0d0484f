#pragma once
// Spreadsheet to PDF with LibreOffice headless, without freezing the caller: events keep
// running while it converts, the progress moves, and a time limit ends a conversion that
// hangs. One LibreOffice profile lives in the installation home, so only the first
// conversion of an installation pays for creating it.

#include <QString>

namespace vestronia {

class Progress;

struct PdfConversion
{
    QString pdfPath;   // empty when no PDF was made
    QString error;     // the reason, for the user, when no PDF was made
    qint64 elapsedMs = 0;
    bool libreOfficeMissing = false;
};

// The LibreOffice program found on the PATH (soffice or libreoffice); empty when none.
QString libreOfficeProgram();

// Converts workbookPath to a PDF beside it (same base name). profileFolder holds the
// LibreOffice profile kept between conversions. Never throws.
PdfConversion convertToPdf(const QString &workbookPath, const QString &profileFolder, Progress &progress,
                           int timeoutMs = 120000);

} // namespace vestronia
