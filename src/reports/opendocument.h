#pragma once
// Hands a generated document to the desktop's "open" action, so the user's spreadsheet
// program, word processor or PDF viewer shows it.

#include <QString>

namespace vestronia {

// Opens the file for the user. When the environment variable VESTRONIA_OPENER is set,
// that program is run with the file as its one argument instead and waited for (tests
// record what would open; a site may name a launcher that returns at once, as xdg-open
// does). Returns whether the hand-over worked.
bool openDocument(const QString &path);

// What the user reads when the hand-over failed: the document was written, and where.
QString cannotOpenMessage(const QString &path);

} // namespace vestronia
