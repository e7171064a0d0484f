// Working names in the TEMP folder and case-insensitive file lookup.

#include "core/workfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

namespace vestronia {

namespace {

QMutex handedMutex;
QSet<QString> &handedToShell()
{
    static QSet<QString> paths;
    return paths;
}

QString normalised(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

// Whether a document may still be open in a program: handed to the shell in this run,
// or with the lock file LibreOffice keeps beside a document it has open.
bool mayBeOpen(const QFileInfo &info)
{
    if (wasHandedToShell(info.absoluteFilePath()))
        return true;
    return QFileInfo::exists(info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#'));
}

} // namespace

void noteHandedToShell(const QString &path)
{
    QMutexLocker lock(&handedMutex);
    handedToShell().insert(normalised(path));
}

bool wasHandedToShell(const QString &path)
{
    QMutexLocker lock(&handedMutex);
    return handedToShell().contains(normalised(path));
}

QString newWorkFile(const QString &tempFolder, const QString &name, const QString &extension)
{
    if (!QDir().mkpath(tempFolder))
        return {};
    for (int n = 0; n <= 999; ++n) {
        const QString candidate = tempFolder + QLatin1Char('/') + name + QString::number(n) + extension;
        const QFileInfo info(candidate);
        // Deleting a document a viewer still shows succeeds on Linux, and the viewer would
        // then show the next payer's receipt under the old one's window: skip such names.
        if (mayBeOpen(info))
            continue;
        if (!info.exists() && !info.isSymLink())
            return candidate;
        if (info.isFile() && QFile::remove(candidate))
            return candidate;
    }
    return {};
}

QString newWorkFolder(const QString &tempFolder, const QString &name)
{
    if (!QDir().mkpath(tempFolder))
        return {};
    for (int n = 0; n <= 49; ++n) {
        const QString candidate = tempFolder + QLatin1Char('/') + name + QString::number(n);
        if (QFileInfo::exists(candidate) && !deleteFolder(candidate))
            continue;
        if (QDir().mkpath(candidate))
            return candidate;
    }
    return {};
}

bool deleteFolder(const QString &path)
{
    QDir dir(path);
    if (!dir.exists())
        return true;
    return dir.removeRecursively();
}

QString findFileNoCase(const QString &folder, const QString &name)
{
    const QString exact = folder + QLatin1Char('/') + name;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder + QLatin1Char('/') + entry;
    return exact;
}

bool fileExistsNoCase(const QString &folder, const QString &name)
{
    return QFileInfo(findFileNoCase(folder, name)).isFile();
}

} // namespace vestronia
