// Counters in the shared settings file. Taking numbers is one read-modify-write of the
// file, so two workstations never get the same number; inside a write transaction of
// the data folder it commits or rolls back with the rows that use the numbers.

#include "core/counters.h"

#include "core/profilefile.h"
#include "core/sharedfile.h"

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
    qint64 first = 1;
    SharedFile::backend().update(sharedSettingsPath, [&](const std::optional<QByteArray> &current) {
        const qint64 v = current ? ProfileFile::numberIn(*current, Section, key) : 0;
        first = v == 0 ? 1 : v;
        return std::optional<QByteArray>(
            ProfileFile::withText(current, Section, key, QString::number(first + qMax<qint64>(count, 0))));
    });
    return first;
}

} // namespace vestronia::Counters
