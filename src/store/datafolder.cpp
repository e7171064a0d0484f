// Table creation, presence check, counter re-synchronisation and packing over the
// nine tables of a data folder.

#include "store/datafolder.h"

#include "core/counters.h"
#include "core/error.h"
#include "core/workfiles.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QFileInfo>

namespace vestronia {

QStringList createMissingTables(const QString &dataFolder)
{
    QStringList created;
    for (TableId id : tableCreationOrder()) {
        const TableDef &def = tableDef(id);
        const QString fileName = QLatin1String(def.fileName);
        if (fileExistsNoCase(dataFolder, fileName))
            continue;
        if (createTable(dataFolder + QLatin1Char('/') + fileName, def.columns))
            created << fileName;
    }
    return created;
}

QStringList missingTables(const QString &folder)
{
    QStringList missing;
    for (const QString &name : tableFileNames())
        if (!fileExistsNoCase(folder, name))
            missing << name;
    return missing;
}

void syncCountersFromTables(Database &db, const QString &sharedSettingsPath)
{
    static const struct
    {
        const char *key;
        const char *table;
    } counters[] = {{"IDCON", "DefCont"},   {"IDAB", "Abonat"},    {"IDSERV", "AbOm"},
                    {"IDDEB", "Debite"},    {"IDCHIT", "Chitante"}, {"IDDCHIT", "DetChit"}};
    // Under the writer lock the largest identifiers and the counters are read and set
    // together: another workstation's numbers are committed with its rows or not at all.
    // A counter only rises: after the newest row was deleted its number may still be
    // named by other tables (a debit by DetChit and DebiteArh), so it is never given again.
    Transaction tx(db);
    for (const auto &c : counters) {
        const QString key = QLatin1String(c.key);
        const QString table = QLatin1String(c.table);
        if (!db.isAttached(table))
            continue;
        // Names come from the fixed list above, never from outside.
        const QVariant max = db.scalar(QStringLiteral("SELECT MAX(%1) FROM %2").arg(key, table));
        const qint64 next = (max.isValid() ? max.toLongLong() : 0) + 1;
        if (Counters::peek(sharedSettingsPath, key) < next)
            Counters::set(sharedSettingsPath, key, next);
    }
    tx.commit();
}

QStringList distinctValues(Database &db, const QString &table, const QString &column, const QString &condition,
                           const QVariantList &params)
{
    QString sql = QStringLiteral("SELECT DISTINCT %1 FROM %2").arg(column, table);
    if (!condition.trimmed().isEmpty())
        sql += QStringLiteral(" WHERE ") + condition;
    sql += QStringLiteral(" ORDER BY %1").arg(column);
    const ResultSet rows = db.select(sql, params);
    QStringList values;
    for (int r = 0; r < rows.rowCount(); ++r) {
        const QVariant v = rows.value(r, 0);
        if (v.isValid() && !v.toString().trimmed().isEmpty())
            values << v.toString();
    }
    return values;
}

void packDataTables(const QString &dataFolder, Progress &progress)
{
    // The caller's status text stays; only the bar counts the tables.
    progress.setTotal(int(tableCatalogue().size()));
    progress.start();
    QString firstError;
    for (const QString &name : tableFileNames()) {
        const QString path = findFileNoCase(dataFolder, name);
        if (QFileInfo::exists(path)) {
            try {
                packTable(path);
            } catch (const VestroniaError &e) {
                if (firstError.isEmpty())
                    firstError = e.message();
            }
        }
        progress.step();
    }
    progress.finish();
    if (!firstError.isEmpty())
        throw FileError(firstError);
}

} // namespace vestronia
