#pragma once
// Hands a file to the desktop's "open" action (the program associated with its type).
// When $VESTRONIA_OPENER is set, that command is run with the file instead, so tests
// and headless machines see what would have opened.

#include <QString>

namespace vestronia {

// False when the file does not exist or nothing could be started.
bool openWithShell(const QString &path);

} // namespace vestronia
