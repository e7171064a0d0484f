#pragma once
// The SQLite virtual-table module "dbf": one .DBF file as one SQL table.
//   CREATE VIRTUAL TABLE temp.Debite USING dbf('/path/to/Debite.dbf');
// See dbfvtab.cpp for the whole contract (types, snapshots, indexes, locking).

struct sqlite3;

namespace vestronia {

// State shared by every dbf table of one connection; owned by the connection.
struct DbfModule;

// Registers the module "dbf" on the connection. Returns its state, or nullptr when
// SQLite refused (then sqlite3_errmsg says why). Never throws.
DbfModule *dbfvtabRegister(sqlite3 *db);
// Makes every table of the connection re-read its file at the next statement.
void dbfvtabInvalidate(DbfModule *module);

} // namespace vestronia
