#pragma once
// Identifier counters: keys of section INDEX of the shared settings file. The value is
// the next number to hand out; absent, empty, 0 or not a number all count as 1.

#include <QString>

namespace vestronia::Counters {

// Reads v, stores v + 1 and returns v, as one read-modify-write of the settings file that
// no other workstation can interleave with (see core/sharedfile.h); inside a write
// transaction of the data folder it is part of that transaction. Throws FileError when
// the file cannot be read or written, or the lock not taken in time.
qint64 take(const QString &sharedSettingsPath, const QString &key);
// Reserves count consecutive numbers in the same way and returns the first; the
// counter then holds the first number after the block. Bulk writers use it so a number
// taken meanwhile by another workstation never falls inside their block.
qint64 takeBlock(const QString &sharedSettingsPath, const QString &key, qint64 count);
qint64 peek(const QString &sharedSettingsPath, const QString &key);
void set(const QString &sharedSettingsPath, const QString &key, qint64 value);

} // namespace vestronia::Counters
