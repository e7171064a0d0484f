#pragma once
// Where this installation lives: the home folder (program folder) and the machine
// folder, from the command line, the environment or the user's standard locations.

#include "core/session.h"

#include <QString>

namespace vestronia {

// --home, else $VESTRONIA_HOME, else the user's data location.
QString installationHome(const QString &commandLineHome = {});
// $VESTRONIA_MACHINE_DIR, else the user's config location.
QString machineFolder();
// The folders of an installation and its data folder (the network folder when the
// workstation settings name a complete one), without writing anything. For tools that
// work on the data of an installation that has already started once.
Session sessionForInstallation(const QString &home, const QString &machine);
// The network data folder the workstation settings of an installation name, empty when none.
QString configuredNetworkFolder(const QString &home);

} // namespace vestronia
