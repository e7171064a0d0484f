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
// Names (folder/<name><n>, no extension) documents of this run have used. At most one
// per document made, so it stays small.
QSet<QString> &documentStems()
{
    static QSet<QString> stems;
    return stems;
}

QString normalised(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

QString stemOf(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
}

bool stemUsed(const QString &stem)
{
    QMutexLocker lock(&handedMutex);
    return documentStems().contains(stem);
}

// Whether a document may still be open in a program: with the lock file LibreOffice
// keeps beside a document it has open.
bool lockedByLibreOffice(const QFileInfo &info)
{
    return QFileInfo::exists(info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#'));
}

QString workFile(const QString &tempFolder, const QString &name, const QString &extension, bool document)
{
    if (!QDir().mkpath(tempFolder))
        return {};
    const QString folder = QFileInfo(tempFolder).absoluteFilePath();
    for (int n = 0; n <= 9999; ++n) {
        const QString stem = folder + QLatin1Char('/') + name + QString::number(n);
        if (stemUsed(stem))
            continue;
        const QString candidate = stem + extension;
        const QFileInfo info(candidate);
        // Deleting a document a viewer still shows succeeds on Linux, and the viewer would
        // then show the next payer's receipt under the old one's window: skip such names.
        if (lockedByLibreOffice(info))
            continue;
        if ((!info.exists() && !info.isSymLink()) || (info.isFile() && QFile::remove(candidate))) {
            if (document) {
                QMutexLocker lock(&handedMutex);
                documentStems().insert(stem);
            }
            return candidate;
        }
    }
    return {};
}

} // namespace

void noteHandedToShell(const QString &path)
{
    QMutexLocker lock(&handedMutex);
    handedToShell().insert(normalised(path));
    documentStems().insert(stemOf(path));
}

bool wasHandedToShell(const QString &path)
{
    QMutexLocker lock(&handedMutex);
    return handedToShell().contains(normalised(path));
}

QString newWorkFile(const QString &tempFolder, const QString &name, const QString &extension)
{
    return workFile(tempFolder, name, extension, false);
}

QString newDocumentFile(const QString &tempFolder, const QString &name, const QString &extension)
{
    return workFile(tempFolder, name, extension, true);
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
