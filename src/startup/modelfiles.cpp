// Model files written from the resources compiled into the program.

#include "startup/modelfiles.h"

#include "core/error.h"
#include "core/session.h"
#include "core/workfiles.h"
#include "reports/templateresource.h"
#include "store/fileops.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

static void initLetterResources()
{
    // Resources of a static library stay out of the program unless referenced.
    Q_INIT_RESOURCE(letters);
}

namespace vestronia {

namespace {

struct Model
{
    const char *fileName;
    const char *resource;
    bool inDataFolder;
};

const Model Models[] = {
    {"ico1.ico", ":/MODEL/ico1.ico", false},
    {"ModelChitanta.xls", ":/MODEL/ModelChitanta.xls", true},
    {"Instiintare.rtf", ":/MODEL/Instiintare", true},
    {"SomTit.rtf", ":/MODEL/SomTit", true},
};

void writeResource(const QString &resource, const QString &target)
{
    // The spreadsheet templates belong to the report writer, which knows how to load them.
    if (resource.endsWith(QLatin1String(".xls"))) {
        writeTemplateResource(QFileInfo(resource).completeBaseName(), target);
        fileops::adoptFolderAccess(std::string(QFile::encodeName(target).constData()));
        return;
    }
    QFile source(resource);
    if (!source.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Modelul %1 lipseste din program.").arg(QFileInfo(target).fileName()));
    QSaveFile out(target);
    out.setDirectWriteFallback(true);
    // A model in the shared data folder is the other users' too: the folder's group and mode.
    if (out.open(QIODevice::WriteOnly))
        fileops::adoptFolderAccess(out.handle(), std::string(QFile::encodeName(QFileInfo(target).absolutePath()).constData()));
    if (!out.isOpen() || out.write(source.readAll()) < 0 || !out.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(target, out.errorString()));
}

QString targetOf(const Session &session, const Model &m)
{
    return (m.inDataFolder ? session.dataFolder : session.programFolder) + QLatin1Char('/') + QLatin1String(m.fileName);
}

} // namespace

QStringList writeModelFiles(const Session &session)
{
    initLetterResources();
    QStringList written;
    for (const Model &m : Models) {
        const QString folder = m.inDataFolder ? session.dataFolder : session.programFolder;
        if (fileExistsNoCase(folder, QLatin1String(m.fileName)))
            continue;
        const QString target = targetOf(session, m);
        writeResource(QLatin1String(m.resource), target);
        written << target;
    }
    return written;
}

void restoreModelFile(const Session &session, const QString &fileName)
{
    initLetterResources();
    for (const Model &m : Models) {
        if (fileName.compare(QLatin1String(m.fileName), Qt::CaseInsensitive) != 0)
            continue;
        const QString folder = m.inDataFolder ? session.dataFolder : session.programFolder;
        writeResource(QLatin1String(m.resource), findFileNoCase(folder, QLatin1String(m.fileName)));
        return;
    }
    throw FileError(QStringLiteral("Modelul %1 nu exista.").arg(fileName));
}

} // namespace vestronia
