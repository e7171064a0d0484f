// Cancellation of a collection from the rests noted in DebiteArh, in one transaction.

#include "collections/cancellation.h"

#include "core/dates.h"
#include "core/progress.h"
#include "core/session.h"
#include "store/changelog.h"
#include "store/database.h"

namespace vestronia {

namespace {

const QString Title = QStringLiteral("Anulare incasare");

ResultSet documentRow(Database &db, qint64 idchit)
{
    return db.select(QStringLiteral("SELECT * FROM Chitante WHERE IDCHIT=?"), {idchit});
}

Refusal notMostRecent()
{
    return Refusal::asMessage(
        Title, QStringLiteral("\rNu puteti anula decat cea mai recenta incasare efectuata, respectiv prima din tabelul cu Incasari!"));
}

} // namespace

MaybeRefusal checkCancellation(Database &db, qint64 idchit)
{
    const ResultSet doc = documentRow(db, idchit);
    if (doc.isEmpty())
        return Refusal::asMessage(Title, QStringLiteral("\rIncasarea nu mai exista!"));
    const qint64 idab = doc.integer(0, QStringLiteral("IDAB"));
    // Cash-desk lines belong to no subscriber; the cash book deletes them.
    if (idab <= 0)
        return notMostRecent();
    const QVariant newest = db.scalar(QStringLiteral("SELECT IDCHIT FROM Chitante WHERE IDAB=? AND "
                                                     "(ANULAT IS NULL OR ANULAT<>'X') ORDER BY DOCDATA DESC, IDCHIT DESC LIMIT 1"),
                                      {idab});
    if (!newest.isValid() || newest.toLongLong() != idchit)
        return notMostRecent();
    return std::nullopt;
}

QString cancellationQuestion(Database &db, qint64 idchit)
{
    const ResultSet doc = documentRow(db, idchit);
    if (doc.isEmpty())
        return {};
    return QStringLiteral("\rDoriti sa anulati ") + doc.text(0, QStringLiteral("DOCJUS")) + QStringLiteral(" nr.") +
           QString::number(doc.integer(0, QStringLiteral("DOCNR"))) + QStringLiteral(" / ") +
           dayText(int(doc.integer(0, QStringLiteral("DOCDATA")))) + QStringLiteral(" ?");
}

MaybeRefusal cancelCollection(Database &db, const Session &session, qint64 idchit, Progress &progress)
{
    requireWriteAccess(session);
    Transaction tx(db);
    if (MaybeRefusal r = checkCancellation(db, idchit))
        return r;
    const ResultSet doc = documentRow(db, idchit);
    const QString docType = doc.text(0, QStringLiteral("DOCJUS"));
    addLog(db, session,
           QStringLiteral("Anulare ") + docType + QStringLiteral(" nr.") + QString::number(doc.integer(0, QStringLiteral("DOCNR"))) +
               QStringLiteral("/") + dayText(int(doc.integer(0, QStringLiteral("DOCDATA")))) + QStringLiteral(" - ") +
               doc.text(0, QStringLiteral("NUME")));
    ProgressScope scope(progress, QStringLiteral("Anulare ") + docType + QStringLiteral("..."), 3);
    db.exec(QStringLiteral("UPDATE Chitante SET ANULAT='X' WHERE IDCHIT=?"), {idchit});
    progress.step();
    const ResultSet noted = db.select(QStringLiteral("SELECT IDDEB, IDAB, SOLD FROM DebiteArh WHERE IDCHIT=?"), {idchit});
    for (int i = 0; i < noted.rowCount(); ++i) {
        const qint64 iddeb = noted.integer(i, QStringLiteral("IDDEB"));
        if (noted.integer(i, QStringLiteral("IDAB")) != 0)
            db.exec(QStringLiteral("UPDATE Debite SET SOLD=? WHERE IDDEB=?"),
                    {QVariant::fromValue(noted.money(i, QStringLiteral("SOLD"))), iddeb});
        else
            db.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=?"), {iddeb});
    }
    progress.step();
    db.exec(QStringLiteral("DELETE FROM DebiteArh WHERE IDCHIT=?"), {idchit});
    progress.step();
    if (docType != QLatin1String("CHITANTA")) {
        db.exec(QStringLiteral("DELETE FROM Chitante WHERE IDCHIT=?"), {idchit});
        db.exec(QStringLiteral("DELETE FROM DetChit WHERE IDCHIT=?"), {idchit});
    }
    tx.commit();
    return std::nullopt;
}

} // namespace vestronia
