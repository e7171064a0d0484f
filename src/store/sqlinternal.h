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

// A value as SQLite takes it, whether bound as a parameter or returned by a function
// defined on the connection: one rule for both (an amount as a double when that is exact,
// otherwise its text; a date as its day number; a text with Romanian letters folded as
// they are stored).
struct SqlValue
{
    enum Kind { Null, Integer, Real, Text, Blob } kind = Null;
    sqlite3_int64 integer = 0;
    double real = 0;
    QByteArray bytes; // UTF-8 text or blob
};
SqlValue sqlValueOf(const QVariant &v);
SqlValue moneyValue(const Money &m);
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
