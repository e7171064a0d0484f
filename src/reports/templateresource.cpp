// Template resources: looking them up by name (case-insensitively, as the resource
// names of the original program were) and writing them to files.

#include "reports/templateresource.h"

#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

static void initTemplateResources()
{
    // A static library's resources reach the program only when something refers to them.
    Q_INIT_RESOURCE(templates);
}

namespace vestronia {

QString templateResourcePath(const QString &name, const QString &type)
{
    initTemplateResources();
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return QString();
    const QStringList types = QDir(QStringLiteral(":/")).entryList(QDir::Dirs);
    for (const QString &t : types) {
        if (t.compare(type, Qt::CaseInsensitive) != 0)
            continue;
        const QDir dir(QStringLiteral(":/") + t);
        for (const QString &entry : dir.entryList(QDir::Files)) {
            if (entry.compare(name, Qt::CaseInsensitive) == 0
                || entry.compare(name + QStringLiteral(".xls"), Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
        }
    }
    return QString();
}

QStringList templateResourceNames()
{
    initTemplateResources();
    QStringList names;
    for (const QString &entry : QDir(QStringLiteral(":/MODEL")).entryList({QStringLiteral("*.xls")}, QDir::Files))
        names << QFileInfo(entry).completeBaseName();
    return names;
}

bool writeTemplateResource(const QString &name, const QString &path, const QString &type)
{
    const QString resource = templateResourcePath(name, type);
    QFile source(resource);
    if (resource.isEmpty() || !source.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Modelul %1 lipseste din program.").arg(name));
    const QByteArray bytes = source.readAll();
    QSaveFile out(path);
    out.setDirectWriteFallback(true);
    if (path.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2")
                            .arg(QDir::toNativeSeparators(path), path.isEmpty() ? QStringLiteral("nu exista un nume liber in dosarul TEMP") : out.errorString()));
    return true;
}

} // namespace vestronia
