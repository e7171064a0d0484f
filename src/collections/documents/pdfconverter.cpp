// LibreOffice headless conversion run as a child process that the caller's event loop
// keeps watching; the profile folder is reused, and a stale lock a crashed run left in
// it is removed before the next run.

#include "collections/documents/pdfconverter.h"

#include "core/progress.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace vestronia {

QString libreOfficeProgram()
{
    QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        soffice = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    return soffice;
}

PdfConversion convertToPdf(const QString &workbookPath, const QString &profileFolder, Progress &progress, int timeoutMs)
{
    PdfConversion out;
    QElapsedTimer timer;
    timer.start();
    const QString soffice = libreOfficeProgram();
    if (soffice.isEmpty()) {
        out.libreOfficeMissing = true;
        out.error = QStringLiteral("LibreOffice nu este instalat: documentul se deschide ca foaie de calcul.");
        return out;
    }
    const QFileInfo info(workbookPath);
    if (!info.isFile()) {
        out.error = QStringLiteral("Documentul ") + QDir::toNativeSeparators(workbookPath) + QStringLiteral(" nu exista.");
        return out;
    }
    const QString pdf = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".pdf");
    QFile::remove(pdf);
    QDir().mkpath(profileFolder);
    // Only this program uses the profile, one conversion at a time; a lock left by a
    // killed run would make LibreOffice refuse it.
    QFile::remove(profileFolder + QStringLiteral("/.lock"));

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nolockcheck"),
                      QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(QFileInfo(profileFolder).absoluteFilePath()).toString(),
                      QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"), info.absolutePath(),
                      info.absoluteFilePath()});
    if (!p.waitForStarted(10000)) {
        out.error = QStringLiteral("LibreOffice nu a putut fi pornit.");
        out.elapsedMs = timer.elapsed();
        return out;
    }
    {
        ProgressScope scope(progress, QStringLiteral("Creez documentul PDF..."), timeoutMs / 250 + 1);
        while (p.state() != QProcess::NotRunning) {
            if (p.waitForFinished(50))
                break;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            progress.step();
            if (timer.elapsed() > timeoutMs) {
                p.kill();
                p.waitForFinished(5000);
                out.error = QStringLiteral("LibreOffice nu a terminat documentul PDF in %1 secunde.").arg(timeoutMs / 1000);
                out.elapsedMs = timer.elapsed();
                return out;
            }
        }
        // Drain what it said, so a full pipe never stalls it.
        p.readAll();
    }
    out.elapsedMs = timer.elapsed();
    if (QFileInfo(pdf).isFile() && QFileInfo(pdf).size() > 0)
        out.pdfPath = pdf;
    else
        out.error = QStringLiteral("LibreOffice nu a putut crea documentul PDF.");
    return out;
}

} // namespace vestronia
