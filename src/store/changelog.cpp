// Change-log entries and their trimming at start.

#include "store/changelog.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/session.h"
#include "store/database.h"

namespace vestronia {

void addLog(Database &db, const Session &session, const QString &text)
{
    const QDateTime now = Clock::now();
    const qint64 id = Counters::take(session.sharedSettings(), QStringLiteral("IDLOG"));
    db.exec(QStringLiteral("INSERT INTO Log (IDLOG, DATAL, ORA, ACTIUNE, UTILIZATOR) VALUES (?, ?, ?, ?, ?)"),
            {id, dayNumberOf(now.date()), now.time().toString(QStringLiteral("HH:mm:ss")), text.left(120),
             session.userLabel.left(16)});
}

void trimLog(Database &db)
{
    // Rows in file order; the newest entry is the last one written.
    const ResultSet last =
        db.select(QStringLiteral("SELECT COUNT(*) AS N, (SELECT IDLOG FROM Log ORDER BY rowid DESC LIMIT 1) AS LASTID FROM Log"));
    if (last.isEmpty() || last.integer(0, QStringLiteral("N")) < LogRetention)
        return;
    const qint64 newest = last.integer(0, QStringLiteral("LASTID"));
    db.exec(QStringLiteral("DELETE FROM Log WHERE IDLOG<?"), {newest - LogRetention});
}

} // namespace vestronia
