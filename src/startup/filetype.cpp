// The freedesktop registration of the backup file type: a shared-mime-info package and
// a desktop entry in the user's data folder, written once; left to the package when one
// installed them system-wide.

#include "startup/filetype.h"

#include "core/session.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace vestronia {

namespace {
bool writeIfMissing(const QString &path, const QByteArray &content)
{
    if (QFile::exists(path))
        return false;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(content) == content.size();
}
// True when a package installed the file in a system data folder: a copy in the user's
// folder would hide the packaged one and outlive the package's removal.
bool installedSystemWide(const QString &data, const QString &relative)
{
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &dir : dirs) {
        if (QDir(dir) != QDir(data) && QFileInfo::exists(dir + QLatin1Char('/') + relative))
            return true;
    }
    return false;
}
} // namespace

void registerBackupFileType(const Session &session)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return;
    if (installedSystemWide(data, QStringLiteral("applications/vestronia.desktop")))
        return;
    const QByteArray mime = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                            "  <mime-type type=\"application/x-vestronia-backup\">\n"
                            "    <comment>Salvare Vestronia</comment>\n"
                            "    <glob pattern=\"*.vrn\"/>\n"
                            "    <glob pattern=\"*.VRN\"/>\n"
                            "  </mime-type>\n"
                            "</mime-info>\n";
    const bool newMime = writeIfMissing(data + QStringLiteral("/mime/packages/vestronia-backup.xml"), mime);
    const QString program = QCoreApplication::applicationFilePath();
    const QByteArray desktop = "[Desktop Entry]\nType=Application\nName=Vestronia\n"
                               "Comment=Evidenta serviciului de salubrizare\n"
                               "Exec=\"" + program.toUtf8() + "\" %f\n"
                               "Icon=" + (session.programFolder + QStringLiteral("/ico1.ico")).toUtf8() + "\n"
                               "MimeType=application/x-vestronia-backup;\nTerminal=false\nCategories=Office;Finance;\n";
    const bool newEntry = writeIfMissing(data + QStringLiteral("/applications/vestronia.desktop"), desktop);
    // Refresh the desktop's caches only when something new was written.
    if (newMime && !QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
        QProcess::startDetached(QStringLiteral("update-mime-database"), {data + QStringLiteral("/mime")});
    if (newEntry && !QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty())
        QProcess::startDetached(QStringLiteral("update-desktop-database"), {data + QStringLiteral("/applications")});
}

} // namespace vestronia
