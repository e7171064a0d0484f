#pragma once
// Maintenance of whole .DBF files for the layers above: creating a table from a column
// list, adding columns to a table that has rows, packing (dropping deleted records),
// clearing the production-index byte, and reading a file's column list. Every function
// throws DbfError with a Romanian message naming the file when it cannot do its work;
// none of them leaves a half-written table behind.

#include "core/tablecatalogue.h"
#include "store/dbferror.h"

#include <QList>
#include <QString>
#include <vector>

namespace vestronia {

// One column of a file as it really is (ColumnDef, with a name it owns).
struct DbfColumn
{
    QString name;
    char type = 'C';  // C N F D L (level 7 files also I + O @)
    int length = 0;
    int decimals = 0;
    // The column as CREATE TABLE writes it: "SOLD DECIMAL(10,2)", "NUME CHAR(68)", "UDATA DATE".
    QString sqlType() const;
    bool operator==(const DbfColumn &) const = default;
};
DbfColumn toDbfColumn(const ColumnDef &column);

// Creates an empty dBase IV table (version 0x03, code page 1250) with these columns in
// this order. Returns false, touching nothing, when a file of that name exists already
// (in any case of letters).
bool createTable(const QString &path, const std::vector<ColumnDef> &columns);
bool createTable(const QString &path, const QList<DbfColumn> &columns);

// Adds columns at the end of a table, keeping every record (deleted ones too) with the
// new fields blank. Columns the file already has with the same type are skipped (so a
// schema upgrade that was interrupted can run again); a name present with another type
// throws. Needs the file alone: throws when another workstation holds a lock on it. The
// file is rewritten to a temporary file and renamed over the old one.
void addColumns(const QString &path, const std::vector<ColumnDef> &columns);
void addColumns(const QString &path, const QList<DbfColumn> &columns);

// Drops the deleted records; returns how many were dropped. Needs the file alone
// (the whole-file lock): when another workstation or descriptor holds any lock on it,
// throws DbfError "Tabela X este folosita de alt calculator si nu poate fi compactata
// acum." and changes nothing. The file keeps its identity (rewritten in place, after a
// safety copy beside it that is removed at the end).
qint64 packTable(const QString &path);

// Sets byte 28 (production .MDX flag) to 0, so that dBase tools do not look for an
// index file that does not travel with the table.
void clearProductionIndexFlag(const QString &path);

// The columns of a file in file order.
QList<DbfColumn> tableColumns(const QString &path);

} // namespace vestronia
