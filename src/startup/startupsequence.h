#pragma once
// The start-up sequence: folders, working mode (local, network folder, or a backup file
// opened from the command line), table creation, log trimming, model files, schema
// upgrade, weekly packing and counter re-synchronisation. And the clean-up at the end.

#include "core/session.h"
#include "startup/startuphost.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace vestronia {

class Database;

struct StartupOptions
{
    QString programFolder;  // the installation home
    QString machineFolder;  // holds the machine settings file
    QString backupFile;     // first command-line argument, if any
    QString programPath;    // full path of the running program (handed to an update)
    bool registerFileType = false; // the desktop program registers the backup file type
    // Where a missing automatic-backup folder may go; the user's folders when not given.
    std::optional<QStringList> backupFolderCandidates;
};

enum class StartupOutcome {
    Ready,            // the data folder is ready; open the main window
    HandedToUpdate,   // a pending update was started; end at once without clean-up
    Abort,            // the host was told why; end after the clean-up
};

class StartupSequence
{
public:
    StartupSequence(Session &session, StartupOptions options, StartupHost &host);
    ~StartupSequence();

    // Runs every step up to the working mode. Errors of the data layer propagate as
    // VestroniaError after the host has been told where the start stopped.
    StartupOutcome run();
    // The connection to the data folder, open after run() returned Ready.
    Database &database();
    std::unique_ptr<Database> takeDatabase();

private:
    void settleFolders();
    bool handOverToPendingUpdate();
    StartupOutcome openBackupFromCommandLine();
    bool chooseNetworkFolder(); // false: stop (the host was told why)
    bool settleUnfinishedRestore(const QString &dataFolder);
    void weeklyPacking();

    Session &m_session;
    StartupOptions m_options;
    StartupHost &m_host;
    std::unique_ptr<Database> m_db;
};

// Deletes the TEMP and TEMPORAR folders, and the restore folder of an opened backup
// unless keepRestoreFolder() marked it.
void shutdownCleanup(const Session &session);

// Marks the restore folder of an opened backup as holding changes that could not be
// saved back, so neither the clean-up at the end nor a later start that opens a backup
// deletes it; a text file in it says what it is. Returns the folder (empty outside
// backup mode).
QString keepRestoreFolder(const Session &session);
// Whether a folder was marked by keepRestoreFolder().
bool isKeptRestoreFolder(const QString &folder);

} // namespace vestronia
