#pragma once
// The three lower panels of the register screen for one subscriber: subscriptions
// (running first), open debits (by date) and collections (newest first). Each reads only
// the subscriber's rows through the tables' IDAB index.

#include <QtGlobal>

namespace vestronia {

class Database;
class ResultSet;

ResultSet subscriptionsOf(Database &db, qint64 idab);
ResultSet openDebitsOf(Database &db, qint64 idab);
ResultSet collectionsOf(Database &db, qint64 idab);

} // namespace vestronia
