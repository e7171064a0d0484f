#pragma once
// Identifiers from the counters that never repeat one already in the table. A counter
// can lag behind its table (rows written by another dBase tool or restored from an older
// copy); handing out a used number would tie two debits to one snapshot, and a later
// cancellation would delete or rewrite both.

#include <QString>

namespace vestronia {

class Database;

// The next number of counter key, unused in table.column; when the counter lags, it is
// moved past the largest number in the table first.
qint64 takeFreeId(Database &db, const QString &settingsPath, const QString &key, const QString &table,
                  const QString &column);
// count consecutive unused numbers; returns the first.
qint64 takeFreeIdBlock(Database &db, const QString &settingsPath, const QString &key, const QString &table,
                       const QString &column, qint64 count);

} // namespace vestronia
