// Counters in the shared settings file, with a lock file beside it for take().

#include "core/counters.h"

#include "core/error.h"
#include "core/profilefile.h"

#include <QLockFile>

namespace vestronia::Counters {

namespace {
const QString Section = QStringLiteral("INDEX");
}

qint64 peek(const QString &sharedSettingsPath, const QString &key)
{
    const qint64 v = ProfileFile::readNumber(sharedSettingsPath, Section, key);
    return v == 0 ? 1 : v;
}

void set(const QString &sharedSettingsPath, const QString &key, qint64 value)
{
    ProfileFile::writeNumber(sharedSettingsPath, Section, key, value);
}

qint64 take(const QString &sharedSettingsPath, const QString &key)
{
    return takeBlock(sharedSettingsPath, key, 1);
}

qint64 takeBlock(const QString &sharedSettingsPath, const QString &key, qint64 count)
{
    QLockFile lock(sharedSettingsPath + QStringLiteral(".lck"));
    // A workstation that died holding the lock must not block the others for long.
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(15000))
        throw FileError(QStringLiteral("Numaratorul %1 este blocat de alt calculator. Incercati din nou.").arg(key));
    const qint64 v = peek(sharedSettingsPath, key);
    set(sharedSettingsPath, key, v + qMax<qint64>(count, 0));
    return v;
}

} // namespace vestronia::Counters
