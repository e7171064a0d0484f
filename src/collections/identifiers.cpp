// Counter numbers checked against their table; the table and column names come from the
// program, never from the user.

#include "collections/identifiers.h"

#include "core/counters.h"
#include "store/database.h"

namespace vestronia {

namespace {

bool isUsed(Database &db, const QString &table, const QString &column, qint64 id)
{
    return db.scalar(QStringLiteral("SELECT 1 FROM ") + table + QStringLiteral(" WHERE ") + column + QStringLiteral("=? LIMIT 1"),
                     {id})
        .isValid();
}

qint64 largest(Database &db, const QString &table, const QString &column)
{
    return db.scalar(QStringLiteral("SELECT MAX(") + column + QStringLiteral(") FROM ") + table).toLongLong();
}

} // namespace

qint64 takeFreeIdBlock(Database &db, const QString &settingsPath, const QString &key, const QString &table,
                       const QString &column, qint64 count)
{
    qint64 first = Counters::takeBlock(settingsPath, key, count);
    // Both ends checked through the column's index; only a lagging counter pays for the
    // scan that finds the largest number.
    if (isUsed(db, table, column, first) || isUsed(db, table, column, first + count - 1)) {
        Counters::set(settingsPath, key, largest(db, table, column) + 1);
        first = Counters::takeBlock(settingsPath, key, count);
    }
    return first;
}

qint64 takeFreeId(Database &db, const QString &settingsPath, const QString &key, const QString &table, const QString &column)
{
    const qint64 id = Counters::take(settingsPath, key);
    if (!isUsed(db, table, column, id))
        return id;
    return takeFreeIdBlock(db, settingsPath, key, table, column, 1);
}

} // namespace vestronia
