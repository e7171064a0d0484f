#pragma once
// The one spreadsheet-to-PDF converter of the program, LibreOffice headless behind it.
// When the python3 UNO bridge is there, one LibreOffice instance is kept running in the
// background for the whole run (its own profile, spoken to through a private pipe by a
// small helper), so every PDF after the first costs a document load and an export only.
// Without the bridge each conversion starts LibreOffice once (soffice --convert-to).
// Either way: one time limit, one profile folder, events keep running while it works,
// and a conversion that hangs is stopped. Used from the GUI thread only.

#include <QString>

#include <memory>

namespace vestronia {

class Progress;
struct Session;

struct PdfConversion
{
    QString pdfPath;   // empty when no PDF was made
    QString error;     // the reason, for the user, when no PDF was made
    qint64 elapsedMs = 0;
    bool libreOfficeMissing = false;
    bool warm = false; // made by the instance kept running
};

// The LibreOffice program found on the PATH (soffice or libreoffice); empty when none.
QString libreOfficeProgram();

// The LibreOffice profile of an installation: kept between runs in the installation home
// so only the first conversion ever pays for creating it (the TEMP folder without one).
QString documentProfileFolder(const Session &session);

class DocumentConverter
{
public:
    // The longest a conversion, starting LibreOffice included, may take.
    static constexpr int TimeoutMs = 120000;

    static DocumentConverter &instance();

    // Starts the background instance now without waiting for it, so that the first PDF
    // of the run finds it ready. Does nothing when it runs or cannot run.
    void warmUp(const QString &profileFolder);
    // Converts workbookPath to a PDF beside it (same base name). Never throws.
    PdfConversion toPdf(const QString &workbookPath, const QString &profileFolder, Progress &progress,
                        int timeoutMs = TimeoutMs);
    // Ends the background instance (also done when the application object goes).
    void stop();
    bool isRunning() const;

    ~DocumentConverter();
    DocumentConverter(const DocumentConverter &) = delete;
    DocumentConverter &operator=(const DocumentConverter &) = delete;

private:
    DocumentConverter();
    struct Warm;
    std::unique_ptr<Warm> m_warm;
    bool m_busy = false;
    bool m_warmUnavailable = false;
};

} // namespace vestronia
