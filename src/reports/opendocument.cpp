// The shell "open" of generated documents: QDesktopServices in the windowed program,
// xdg-open from the command line (where no GUI application exists), or the program
// named by VESTRONIA_OPENER.

#include "reports/opendocument.h"

#include "core/workfiles.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

namespace vestronia {

bool openDocument(const QString &path)
{
    // A viewer may keep the file open: newWorkFile must not hand its name out again.
    noteHandedToShell(path);
    const QString opener = qEnvironmentVariable("VESTRONIA_OPENER");
    if (!opener.isEmpty()) {
        QProcess p;
        p.start(opener, {path});
        if (!p.waitForStarted(10000))
            return false;
        // The opener hands the file over and returns, as xdg-open does.
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished(1000);
            return false;
        }
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

QString cannotOpenMessage(const QString &path)
{
    return QStringLiteral("\rDocumentul %1 a fost scris, dar nu poate fi deschis.\r"
                          "Verificati ca aveti un program pentru foi de calcul si documente PDF.")
        .arg(QDir::toNativeSeparators(path));
}

} // namespace vestronia
