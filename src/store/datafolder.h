#pragma once
// Operations on the data folder as a whole: creating the tables that are missing,
// checking that a folder holds all nine, re-synchronising the identifier counters and
// the weekly packing.

#include "core/progress.h"
#include "core/tablecatalogue.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace vestronia {

class Database;

// Creates, in creation order, every catalogue table whose file is missing; returns the
// file names it created.
QStringList createMissingTables(const QString &dataFolder);
// The table-list file names missing from a folder (empty when all nine are there).
QStringList missingTables(const QString &folder);
// Raises IDCON, IDAB, IDSERV, IDDEB, IDCHIT and IDDCHIT to the largest identifier of their
// table plus one (1 for an empty table) when they lag behind it; never lowers one, so a
// deleted identifier is not handed out again. One write transaction.
void syncCountersFromTables(Database &db, const QString &sharedSettingsPath);
// The distinct values of a column that are not blank after trimming, in order: the
// lists of localities and streets the filters offer. Table and column names come from
// the program; the condition is SQL of the program with its values as parameters.
QStringList distinctValues(Database &db, const QString &table, const QString &column, const QString &condition = {},
                           const QVariantList &params = {});
// Packs every table of the table list, one progress step per table. Throws the first
// error (a table that another workstation holds open) after trying every table.
void packDataTables(const QString &dataFolder, Progress &progress);

} // namespace vestronia
