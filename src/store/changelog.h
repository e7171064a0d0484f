#pragma once
// The change log: one sentence per change that matters, with date, time and the
// workstation's user label, kept to about the last thousand entries.

#include <QString>

namespace vestronia {

class Database;
struct Session;

// Entries kept by trimLog beyond the newest one.
constexpr int LogRetention = 1000;

// Appends one entry. The text and the user label are cut to their field widths (120
// and 16) so a long subscriber name never makes the log refuse the change it records.
void addLog(Database &db, const Session &session, const QString &text);
// Deletes the entries older than the newest identifier minus 1000, when the log holds
// at least 1000 rows.
void trimLog(Database &db);

} // namespace vestronia
