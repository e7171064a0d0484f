// The per-subscriber queries of the register screen's lower panels.

#include "ledger/subscriberpanels.h"

#include "store/database.h"

namespace vestronia {

ResultSet subscriptionsOf(Database &db, qint64 idab)
{
    return db.select(QStringLiteral("SELECT * FROM AbOm WHERE IDAB=? ORDER BY DATASTOP, DENUM, IDSERV"), {idab});
}

ResultSet openDebitsOf(Database &db, qint64 idab)
{
    return db.select(QStringLiteral("SELECT * FROM Debite WHERE IDAB=? AND SOLD<>0 ORDER BY DATADEB, IDDEB"), {idab});
}

ResultSet collectionsOf(Database &db, qint64 idab)
{
    return db.select(QStringLiteral("SELECT * FROM Chitante WHERE IDAB=? ORDER BY DOCDATA DESC, IDCHIT DESC"), {idab});
}

} // namespace vestronia
