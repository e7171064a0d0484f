#pragma once
// Helpers shared by the parts of Database (database.cpp, sqlstatement.cpp, sqltransaction.cpp,
// sharedfilebackend.cpp): compiling, binding and running SQLite statements. Internal.

#include "store/database.h"

#include <QString>
#include <QVariantList>
#include <sqlite3.h>

namespace vestronia::sqlimpl {

QString sqliteMessage(sqlite3 *db);
[[noreturn]] void throwSql(sqlite3 *db, const QString &context = QString());
void bindAll(sqlite3 *db, sqlite3_stmt *stmt, const QVariantList &params);
// Steps a bound statement to its end; collects rows when `out` is given.
qint64 run(sqlite3 *db, sqlite3_stmt *stmt, ResultSet *out);
sqlite3_stmt *compile(sqlite3 *db, const QString &sql);

// Finalizes a statement when the scope ends, also on an exception.
struct Finalizer
{
    sqlite3_stmt *stmt;
    ~Finalizer() { sqlite3_finalize(stmt); }
};

} // namespace vestronia::sqlimpl
