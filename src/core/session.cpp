// The run's shared state and the working-mode texts.

#include "core/session.h"

#include "core/workfiles.h"

#include <QFileInfo>
#include <QSysInfo>

namespace vestronia {

QString programVersionText()
{
    return QStringLiteral("%1.%2").arg(ProgramVersionTenThousandths / 10000).arg(ProgramVersionTenThousandths % 10000, 4, 10, QLatin1Char('0'));
}

QString programTitle()
{
    return QStringLiteral("Vestronia");
}

QString Session::tablePath(TableId table) const
{
    return findFileNoCase(dataFolder, QLatin1String(tableDef(table).fileName));
}

QString Session::workingModeText() const
{
    if (dataFolder != localDataFolder) {
        if (!openedBackup.isEmpty())
            return QStringLiteral("Lucru in salvarea: ") + QFileInfo(openedBackup).fileName().toUpper() + QLatin1Char('.');
        return QStringLiteral("Lucru in retea: ") + dataFolder;
    }
    return QStringLiteral("Lucru local.");
}

Session &currentSession()
{
    static Session session;
    return session;
}

QString workstationUserLabel()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty())
        user = QStringLiteral("Unknown");
    return QSysInfo::machineHostName().left(15) + QStringLiteral(" - ") + user;
}

} // namespace vestronia
