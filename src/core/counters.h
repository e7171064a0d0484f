#pragma once
// Identifier counters: keys of section INDEX of the shared settings file. The value is
// the next number to hand out; absent, empty, 0 or not a number all count as 1.

#include <QString>

namespace vestronia::Counters {

// Reads v, stores v + 1 and returns v, holding a lock on the data folder's counter lock
// file around the pair so two workstations never take the same number. Throws
// FileError when the settings file cannot be written or the lock not taken in time.
qint64 take(const QString &sharedSettingsPath, const QString &key);
// Reserves count consecutive numbers under the same lock and returns the first; the
// counter then holds the first number after the block. Bulk writers use it so a number
// taken meanwhile by another workstation never falls inside their block.
qint64 takeBlock(const QString &sharedSettingsPath, const QString &key, qint64 count);
qint64 peek(const QString &sharedSettingsPath, const QString &key);
void set(const QString &sharedSettingsPath, const QString &key, qint64 value);

} // namespace vestronia::Counters
