#pragma once
// Registers the backup file type (".vrn") with the desktop for the current user, so
// opening a backup file starts the program with it.

namespace vestronia {

struct Session;

// Writes the MIME type and the desktop entry when they are missing. Failures are
// ignored: the program works without the association.
void registerBackupFileType(const Session &session);

} // namespace vestronia
