// Cancellation of a collection in one transaction: each debit it touched gets back what
// its lines took, and only the advance it created, still untouched, is removed.

#include "collections/cancellation.h"

#include "core/dates.h"
#include "core/progress.h"
#include "core/session.h"
#include "store/changelog.h"
#include "core/money.h"
#include "store/database.h"

#include <vector>

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

// What a cancellation will write, decided before the first write so that a refusal
// leaves the books as they are.
struct Plan
{
    struct Restore
    {
        qint64 iddeb;
        qint64 idab;
        Money rest; // with this collection's part given back
    };
    std::vector<Restore> restore;
    std::vector<qint64> created; // advances of this collection, still untouched
    MaybeRefusal refusal;
};

Plan planOf(Database &db, qint64 idchit, qint64 idab)
{
    const ResultSet noted = db.select(QStringLiteral("SELECT IDDEB, IDAB, SOLD FROM DebiteArh WHERE IDCHIT=?"), {idchit});
    Plan plan;
    for (int i = 0; i < noted.rowCount(); ++i) {
        const qint64 iddeb = noted.integer(i, QStringLiteral("IDDEB"));
        const qint64 owner = noted.integer(i, QStringLiteral("IDAB"));
        const ResultSet debit = db.select(
            QStringLiteral("SELECT IDAB, IDCON, RATA, SOLD FROM Debite WHERE IDDEB=? AND IDAB=?"), {iddeb, owner != 0 ? owner : idab});
        if (owner != 0) {
            // What the lines took off this debit's rest (the penalty part never was on it);
            // it is what the noted rest was when nothing changed in between, and stays
            // right when the debit's amount was changed since.
            if (debit.isEmpty())
                continue;
            const QVariant paid = db.scalar(
                QStringLiteral("SELECT SUM(RESTANTA+CURENT) FROM DetChit WHERE IDCHIT=? AND IDDEB=?"), {idchit, iddeb});
            // Without a line (a folder written by an older program) the noted rest is all there is.
            const Money rest = paid.isValid() && !paid.isNull()
                                   ? debit.money(0, QStringLiteral("SOLD")) + Money::fromVariant(paid)
                                   : noted.money(i, QStringLiteral("SOLD"));
            plan.restore.push_back({iddeb, owner, rest});
            continue;
        }
        // An advance this collection created: it is removed only while it is this
        // subscriber's advance row and still holds exactly what the collection put in it.
        // A number given to someone else's debit since is not this advance.
        if (debit.isEmpty() || debit.integer(0, QStringLiteral("IDCON")) != -1)
            continue;
        const QVariant put = db.scalar(QStringLiteral("SELECT SUM(CURENT) FROM DetChit WHERE IDCHIT=? AND IDDEB=?"), {idchit, iddeb});
        const Money rata = debit.money(0, QStringLiteral("RATA"));
        const Money sold = debit.money(0, QStringLiteral("SOLD"));
        if (sold != rata || (put.isValid() && !put.isNull() && -Money::fromVariant(put) != sold)) {
            plan.refusal = Refusal::asMessage(Title, QStringLiteral("\rPLATA IN AVANS facuta de aceasta incasare a fost "
                                                                    "modificata sau folosita intre timp!\rIncasarea nu poate "
                                                                    "fi anulata."));
            return plan;
        }
        plan.created.push_back(iddeb);
    }
    return plan;
}

MaybeRefusal checkNewest(Database &db, qint64 idchit)
{
    const ResultSet doc = documentRow(db, idchit);
    if (doc.isEmpty())
        return Refusal::asMessage(Title, QStringLiteral("\rIncasarea nu mai exista!"));
    const qint64 idab = doc.integer(0, QStringLiteral("IDAB"));
    // Cash-desk lines belong to no subscriber; the cash book deletes them, and the clerk
    // is sent there rather than told that a newer collection stands in the way.
    if (idab <= 0)
        return Refusal::asMessage(Title, QStringLiteral("\rAcest document este o linie a Registrului de casa!\r"
                                                        "Se sterge din Registrul de casa."));
    const QVariant newest = db.scalar(QStringLiteral("SELECT IDCHIT FROM Chitante WHERE IDAB=? AND "
                                                     "(ANULAT IS NULL OR ANULAT<>'X') ORDER BY DOCDATA DESC, IDCHIT DESC LIMIT 1"),
                                      {idab});
    if (!newest.isValid() || newest.toLongLong() != idchit)
        return notMostRecent();
    return std::nullopt;
}

} // namespace

MaybeRefusal checkCancellation(Database &db, qint64 idchit)
{
    if (MaybeRefusal r = checkNewest(db, idchit))
        return r;
    return planOf(db, idchit, documentRow(db, idchit).integer(0, QStringLiteral("IDAB"))).refusal;
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
    if (MaybeRefusal r = checkNewest(db, idchit))
        return r;
    const ResultSet doc = documentRow(db, idchit);
    const QString docType = doc.text(0, QStringLiteral("DOCJUS"));
    const qint64 idab = doc.integer(0, QStringLiteral("IDAB"));
    const Plan plan = planOf(db, idchit, idab);
    if (plan.refusal)
        return plan.refusal;
    addLog(db, session,
           QStringLiteral("Anulare ") + docType + QStringLiteral(" nr.") + QString::number(doc.integer(0, QStringLiteral("DOCNR"))) +
               QStringLiteral("/") + dayText(int(doc.integer(0, QStringLiteral("DOCDATA")))) + QStringLiteral(" - ") +
               doc.text(0, QStringLiteral("NUME")));
    ProgressScope scope(progress, QStringLiteral("Anulare ") + docType + QStringLiteral("..."), 3);
    db.exec(QStringLiteral("UPDATE Chitante SET ANULAT='X' WHERE IDCHIT=?"), {idchit});
    progress.step();
    for (const Plan::Restore &r : plan.restore)
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=? WHERE IDDEB=? AND IDAB=?"), {QVariant::fromValue(r.rest), r.iddeb, r.idab});
    for (qint64 iddeb : plan.created)
        db.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=? AND IDAB=? AND IDCON=-1"), {iddeb, idab});
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
