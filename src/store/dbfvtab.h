#pragma once
// The SQLite virtual-table module "dbf": one .DBF file as one SQL table.
//   CREATE VIRTUAL TABLE temp.Debite USING dbf('/path/to/Debite.dbf');
// See dbfvtab.cpp for the whole contract (types, snapshots, indexes, locking).

#include <string>
#include <vector>

struct sqlite3;

namespace vestronia {

class FolderLock;

// State shared by every dbf table of one connection; owned by the connection.
struct DbfModule;

// Registers the module "dbf" on the connection. Returns its state, or nullptr when
// SQLite refused (then sqlite3_errmsg says why). Never throws.
DbfModule *dbfvtabRegister(sqlite3 *db);
// Makes every table of the connection re-read its file at the next statement.
void dbfvtabInvalidate(DbfModule *module);
// Tables attached from `dataFolder` are shared with other workstations: their commits go
// through the folder's lock file and journal. Call before attaching them.
void dbfvtabSetFolder(DbfModule *module, FolderLock *folder, const std::string &dataFolder);

// Writes the pending changes of the connection's private tables (work tables outside the
// data folder). A commit calls it before its commit point, so a work table that cannot be
// written fails the change instead of failing after the change was stored. Throws DbfError.
void dbfvtabSyncPrivate(DbfModule *module);

// Called as each statement starts. With `refresh` (a reader outside a transaction), every
// shared table already read is brought up to date under one hold of the folder's read
// range, so the statement sees one state of the folder; the range is not held while the
// statement runs. Tables read for the first time load when the statement opens them.
// Throws DbfError.
void dbfvtabStatementStart(DbfModule *module, bool refresh);

// The new whole content of a settings file of the data folder, committed with the tables.
struct StagedFile
{
    std::string path;
    std::string content;
};

// Writes the pending changes of every shared table of the connection, and the staged
// files, as one durable unit: the before-images go to the folder's journal and are synced,
// then the files are written and synced while readers are kept out, then the change
// counters move and the journal is removed. The caller holds the folder's writer lock.
// Throws DbfError; after a failure every file is as it was (or, when even that failed, the
// journal stays and the next connection that writes restores them).
void dbfvtabCommitFolder(DbfModule *module, const std::vector<StagedFile> &staged);

} // namespace vestronia
