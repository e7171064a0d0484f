// Installation folders and the data folder of an existing installation.

#include "startup/installation.h"

#include "core/profilefile.h"
#include "store/datafolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vestronia {

QString installationHome(const QString &commandLineHome)
{
    if (!commandLineHome.isEmpty())
        return QDir::cleanPath(QDir(commandLineHome).absolutePath());
    const QString env = qEnvironmentVariable("VESTRONIA_HOME");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Vestronia");
}

QString machineFolder()
{
    const QString env = qEnvironmentVariable("VESTRONIA_MACHINE_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Vestronia");
}

Session sessionForInstallation(const QString &home, const QString &machine)
{
    Session s;
    s.programFolder = home;
    s.machineFolder = machine;
    s.localDataFolder = home + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = home + QStringLiteral("/Temp");
    s.userLabel = workstationUserLabel();
    const QString folder = configuredNetworkFolder(home);
    if (!folder.isEmpty() && QFileInfo(folder).isDir() && missingTables(folder).isEmpty())
        s.dataFolder = folder;
    return s;
}

QString configuredNetworkFolder(const QString &home)
{
    Session s;
    s.programFolder = home;
    const QString server = ProfileFile::readText(s.localSettings(), QStringLiteral("CONST"), QStringLiteral("SERVER"));
    return server.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(server));
}

} // namespace vestronia
