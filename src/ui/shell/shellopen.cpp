// The desktop "open" action, or the command named by $VESTRONIA_OPENER.

#include "ui/shell/shellopen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace vestronia {

bool openWithShell(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    const QString opener = qEnvironmentVariable("VESTRONIA_OPENER");
    if (!opener.isEmpty())
        return QProcess::startDetached(opener, {path});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

} // namespace vestronia
