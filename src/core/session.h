#pragma once
// Program-wide state settled by the start-up sequence and read by every service and
// window: the folders, the working mode, the user label and the access rights.

#include "core/tablecatalogue.h"

#include <QString>

namespace vestronia {

// The program's version as shown ("1.0049") and its schema level.
constexpr int ProgramVersionTenThousandths = 10049;
constexpr int SchemaLevel = 49;
constexpr int ProductNumber = 88;
QString programVersionText(); // "1.0049"
QString programTitle();       // "Vestronia"

struct Session
{
    QString programFolder;    // the installation home; the restore folder in backup mode
    QString localDataFolder;  // program folder + "/Data", fixed at start
    QString dataFolder;       // local data folder, network folder or restored backup
    QString tempFolder;       // program folder + "/Temp", fixed at start
    QString machineFolder;    // holds the machine settings file
    QString openedBackup;     // backup file given on the command line; empty otherwise
    QString userLabel;        // computer name + " - " + user name
    bool administratorUnlocked = false;
    // A session opened without the administrator password: nothing may change data.
    bool readOnly = false;

    QString sharedSettings() const { return dataFolder + QStringLiteral("/Vestrona.set"); }
    QString localSettings() const { return programFolder + QStringLiteral("/Local.set"); }
    QString machineSettings() const { return machineFolder + QStringLiteral("/GMT.dII"); }
    QString temporarFolder() const { return programFolder + QStringLiteral("/TEMPORAR"); }
    // Full path of a table's file in the data folder, whatever case the file has on disk.
    QString tablePath(TableId table) const;

    bool isNetworkMode() const { return dataFolder != localDataFolder && openedBackup.isEmpty(); }
    bool isBackupMode() const { return dataFolder != localDataFolder && !openedBackup.isEmpty(); }
    // "Lucru local.", "Lucru in retea: <folder>" or "Lucru in salvarea: <FILE>.".
    QString workingModeText() const;
    // Whether the current session may change data.
    bool canModify() const { return !readOnly; }
};

// The session of this run. Services take what they need from it; tests set it up.
Session &currentSession();

// User label of this workstation: computer name (at most 15 characters) + " - " + user.
QString workstationUserLabel();

} // namespace vestronia
