// Adding, changing and deleting enforcement acts, each one transaction with its change-log
// entry; act numbers proposed from, and after an addition stored in, the type's counter.

#include "enforcement/acts.h"

#include "core/counters.h"
#include "core/text.h"
#include "collections/balance.h"
#include "ledger/subscribers.h"
#include "store/changelog.h"
#include "store/database.h"

namespace vestronia {

QStringList actTypes()
{
    return {actNoticeType(), actSummonsType()};
}

ActAmounts ActAmounts::fromTotals(const BalanceTotals &totals)
{
    return {Money::max(totals.rest, Money()), Money::max(totals.penalties, Money()), totals.total};
}

qint64 proposedActNumber(const Session &session, const QString &type)
{
    return Counters::peek(session.sharedSettings(), type);
}

QString cleanActNumber(const QString &typed)
{
    return cleanText(typed).toUpper().left(ActNumberLength).trimmed();
}

MaybeRefusal checkActAllowed(Money total)
{
    if (total > Money())
        return std::nullopt;
    return Refusal::asMessage(QStringLiteral("Adaugare Act"), QStringLiteral("\rAcest Abonat NU are datorii!"));
}

MaybeRefusal checkActDraft(const ActDraft &draft)
{
    if (!actTypes().contains(draft.type))
        return Refusal::atField(QStringLiteral("TipAct"),
                                QStringLiteral("Tipul actului este \"Instiintare de plata\" sau \"Somatie/Titlu executoriu\"!"));
    if (!draft.date.isValid())
        return Refusal::atField(QStringLiteral("UData"), QStringLiteral("Data actului nu este valida!"));
    return std::nullopt;
}

namespace {

// The number as a whole number; anything that is not one counts as 0.
qint64 numberValue(const QString &number)
{
    bool ok = false;
    const qint64 n = number.toLongLong(&ok);
    return ok ? n : 0;
}

QString logLine(const QString &verb, const QString &type, const QString &name, const QString &total)
{
    return verb + QLatin1Char(' ') + type + QStringLiteral(": ") + name + QLatin1Char('=') + total + QStringLiteral(" lei.");
}

} // namespace

ActAdded addAct(Database &db, const Session &session, qint64 idab, ActDraft draft, const ActAmounts &amounts)
{
    requireWriteAccess(session);
    if (MaybeRefusal r = checkActAllowed(amounts.total))
        return {r, 0};
    if (MaybeRefusal r = checkActDraft(draft))
        return {r, 0};
    draft.number = cleanActNumber(draft.number);

    Transaction tx(db);
    const SubscriberRecord s = readSubscriber(db, idab);
    const qint64 idurm = Counters::take(session.sharedSettings(), QStringLiteral("IDURM"));
    db.exec(QStringLiteral("INSERT INTO Urmarire (IDURM, IDAB, TIPACT, UNR, UDATA, NUME, LOC, STRADA, NR, ROL, CNP, "
                           "NRCON, DATACON, DEBIT, PENAL, TOTAL) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {idurm, idab, draft.type, draft.number, draft.date, s.name, s.locality, s.street, s.number, s.rol, s.code,
             s.contractNumber, s.contractDay, amounts.debit.roundedToCents().toVariant(),
             amounts.penalties.roundedToCents().toVariant(), amounts.total.roundedToCents().toVariant()});
    // The number typed decides the next proposal; one that is not a number restarts at 1.
    const qint64 typed = numberValue(draft.number);
    Counters::set(session.sharedSettings(), draft.type, typed != 0 ? typed + 1 : 0);
    addLog(db, session, logLine(QStringLiteral("Adaugare"), draft.type, s.name, amounts.total.toString()));
    tx.commit();
    return {std::nullopt, idurm};
}

ResultSet actRecord(Database &db, qint64 idurm)
{
    return db.select(QStringLiteral("SELECT * FROM Urmarire WHERE IDURM=?"), {idurm});
}

namespace {

Refusal unknownAct(qint64 idurm)
{
    return Refusal::asMessage(QStringLiteral("Urmariri"), QStringLiteral("\rActul %1 nu mai exista!").arg(idurm));
}

} // namespace

MaybeRefusal changeAct(Database &db, const Session &session, qint64 idurm, ActDraft draft)
{
    requireWriteAccess(session);
    if (MaybeRefusal r = checkActDraft(draft))
        return r;
    draft.number = cleanActNumber(draft.number);

    Transaction tx(db);
    const ResultSet act = actRecord(db, idurm);
    if (act.isEmpty())
        return unknownAct(idurm);
    db.exec(QStringLiteral("UPDATE Urmarire SET UNR=?, UDATA=?, TIPACT=? WHERE IDURM=?"),
            {draft.number, draft.date, draft.type, idurm});
    // The entry window shows the stored total with two decimals, and the entry says it so.
    addLog(db, session,
           logLine(QStringLiteral("Modificare"), draft.type, act.text(0, QStringLiteral("NUME")),
                   act.money(0, QStringLiteral("TOTAL")).toFixed(2)));
    tx.commit();
    return std::nullopt;
}

MaybeRefusal deleteAct(Database &db, const Session &session, qint64 idurm)
{
    requireWriteAccess(session);
    Transaction tx(db);
    const ResultSet act = actRecord(db, idurm);
    if (act.isEmpty())
        return unknownAct(idurm);
    addLog(db, session,
           logLine(QStringLiteral("Stergere"), act.text(0, QStringLiteral("TIPACT")), act.text(0, QStringLiteral("NUME")),
                   act.money(0, QStringLiteral("TOTAL")).toString()));
    db.exec(QStringLiteral("DELETE FROM Urmarire WHERE IDURM=?"), {idurm});
    tx.commit();
    return std::nullopt;
}

ResultSet actsOf(Database &db, qint64 idab)
{
    // UNR is text, so 10 sorts before 9, as the clerks have always seen the list.
    return db.select(QStringLiteral("SELECT * FROM Urmarire WHERE IDAB=? ORDER BY UDATA, UNR"), {idab});
}

} // namespace vestronia
