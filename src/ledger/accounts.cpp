// Account creation with its form checks, stopping and deleting accounts. The statements
// of one operation run in the order the books need (the account before its
// subscriptions before its debits), so an error part-way leaves a consistent prefix.

#include "ledger/accounts.h"

#include "core/counters.h"
#include "core/text.h"
#include "ledger/subscriptions.h"
#include "store/changelog.h"
#include "store/database.h"

#include <climits>

namespace vestronia {

namespace {
const QString X = QStringLiteral("X");

QString flag(bool set, const QString &unset = QString())
{
    return set ? X : unset;
}
} // namespace

AccountRecord AccountRecord::fromRow(const ResultSet &rows, int row)
{
    AccountRecord a;
    a.id = rows.integer(row, QStringLiteral("IDCON"));
    a.name = rows.text(row, QStringLiteral("DENUM"));
    a.amount = rows.money(row, QStringLiteral("RATA"));
    a.fixedPrice = rows.text(row, QStringLiteral("PRETFIX")) == X;
    a.byPersons = rows.text(row, QStringLiteral("PEPERS")) == X;
    a.minPersons = int(rows.integer(row, QStringLiteral("MINPERS")));
    a.maxPersons = int(rows.integer(row, QStringLiteral("MAXPERS")));
    a.debitDay = int(rows.integer(row, QStringLiteral("ZIUAIMP")));
    a.periodMonths = int(rows.integer(row, QStringLiteral("PERLUNI")));
    a.penalty = rows.money(row, QStringLiteral("PENAL"));
    a.penaltyPer = rows.text(row, QStringLiteral("PENALPE"));
    a.penaltyFrom = int(rows.integer(row, QStringLiteral("PENALDELA")));
    a.penaltyFromUnit = rows.text(row, QStringLiteral("PENALDELAP"));
    a.cap = rows.text(row, QStringLiteral("MAXSOLD"));
    a.start = int(rows.integer(row, QStringLiteral("DATASTART")));
    a.stop = int(rows.integer(row, QStringLiteral("DATASTOP")));
    return a;
}

AccountRecord readAccount(Database &db, qint64 id)
{
    const ResultSet rows = db.select(QStringLiteral("SELECT * FROM DefCont WHERE IDCON=?"), {id});
    if (rows.isEmpty())
        throw VestroniaError(QStringLiteral("Contul %1 nu mai exista.").arg(id));
    return AccountRecord::fromRow(rows, 0);
}

MaybeRefusal checkAccountDraft(Database &db, AccountDraft &draft)
{
    draft.name = cleanText(draft.name);
    if (draft.name.isEmpty())
        return Refusal::atField(QStringLiteral("Denum"), QStringLiteral("Lipseste Denumirea Contului!"));
    if (draft.amount.isZero())
        return Refusal::atField(QStringLiteral("Rata"), QStringLiteral("Lipseste Suma!"));
    if (draft.byPersons && draft.maxPersons < draft.minPersons)
        return Refusal::atField(QStringLiteral("MaxPers"), QStringLiteral("Numar persoane incorect!"));
    if (draft.periodic) {
        if (draft.periodMonths < 1)
            return Refusal::atField(QStringLiteral("PerLuni"), QStringLiteral("Lipseste Perioada!"));
        if (draft.debitDay < 1)
            return Refusal::atField(QStringLiteral("ZiuaImp"), QStringLiteral("Lipseste Ziua debitarii!"));
    }
    // Penalties are whole percents: the fraction is cut off, not rounded.
    draft.penalty = Money::fromLei(draft.penalty.units() / Money::Scale);
    if (draft.penalty > Money() && draft.penaltyFrom < 1)
        return Refusal::atField(QStringLiteral("PenalDeLa"),
                                QStringLiteral("Lipseste ") + draft.penaltyFromUnit
                                    + QStringLiteral(" de la care incep Penalitatile!"));
    if (draft.periodic) {
        // Two active periodic accounts must never both apply to one household size,
        // or its subscribers would be charged twice. An account for every subscriber
        // overlaps every active periodic account.
        // A person range of 0-0 is how an account for every subscriber is stored.
        const bool forAll = !draft.byPersons || (draft.minPersons == 0 && draft.maxPersons == 0);
        const int lo = forAll ? INT_MIN : draft.minPersons;
        const int hi = forAll ? INT_MAX : draft.maxPersons;
        const ResultSet clash = db.select(
            QStringLiteral("SELECT * FROM DefCont WHERE IDCON<>0 AND PERLUNI>0 AND DATASTART>1000 AND DATASTOP<1000 "
                           "AND ((MINPERS=0 AND MAXPERS=0) OR ((MINPERS<=?) AND (MAXPERS>=?)))"),
            {hi, lo});
        if (!clash.isEmpty())
            return Refusal::asMessage(QStringLiteral("Verificare Cont"),
                                      QStringLiteral("\rContul tip abonament ") + clash.text(0, QStringLiteral("DENUM"))
                                          + QStringLiteral(" existent se dubleaza cu acesta la unele persoane!"));
    }
    return std::nullopt;
}

AccountCreated addAccount(Database &db, const Session &session, const AccountDraft &d, Progress &progress)
{
    requireWriteAccess(session);
    // The account and its distribution to the subscribers are one change.
    Transaction tx(db);
    AccountCreated created;
    created.id = Counters::take(session.sharedSettings(), QStringLiteral("IDCON"));
    const bool penalised = !d.penalty.isZero();
    db.exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PRETFIX, PEPERS, MINPERS, MAXPERS, PERLUNI, "
                           "ZIUAIMP, PENAL, PENALDELA, PENALPE, PENALDELAP, MAXSOLD, DATASTART, DATASTOP) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)"),
            {created.id, d.name, d.amount.toVariant(), flag(d.fixedPrice), flag(d.byPersons, QStringLiteral("-")),
             d.byPersons ? d.minPersons : 0, d.byPersons ? d.maxPersons : 0, d.periodic ? d.periodMonths : 0,
             d.periodic ? d.debitDay : 0, penalised ? d.penalty.toVariant() : QVariant(0),
             penalised ? d.penaltyFrom : 0, penalised ? d.penaltyPer : QStringLiteral("luna"),
             penalised ? d.penaltyFromUnit : QStringLiteral("ziua"), flag(penalised && d.penaltyCapped, QStringLiteral("-")),
             d.startDay});
    addLog(db, session, QStringLiteral("Adaugare Cont ") + d.name);
    if (d.periodic)
        created.distributedTo = distributeAccount(db, session, created.id, progress);
    tx.commit();
    return created;
}

MaybeRefusal stopAccount(Database &db, const Session &session, qint64 id, int stopDay)
{
    requireWriteAccess(session);
    Transaction tx(db);
    const AccountRecord account = readAccount(db, id);
    if (stopDay < account.start)
        return Refusal::asMessage(QStringLiteral("Dezactivare Cont"),
                                  QStringLiteral("\rData de dezactivare aleasa este anterioara activarii contului!"));
    db.exec(QStringLiteral("UPDATE DefCont SET DATASTOP=? WHERE IDCON=?"), {stopDay, id});
    db.exec(QStringLiteral("UPDATE AbOm SET DATASTOP=? WHERE IDCON=?"), {stopDay, id});
    db.exec(QStringLiteral("DELETE FROM Debite WHERE IDCON=? AND DATADEB>=? AND SOLD=RATA"), {id, stopDay});
    addLog(db, session, QStringLiteral("Oprire cont ") + account.name);
    tx.commit();
    return std::nullopt;
}

void deleteAccount(Database &db, const Session &session, qint64 id)
{
    requireWriteAccess(session);
    Transaction tx(db);
    const AccountRecord account = readAccount(db, id);
    addLog(db, session, QStringLiteral("Stergere Cont: ") + account.name);
    db.exec(QStringLiteral("DELETE FROM DefCont WHERE IDCON=?"), {id});
    db.exec(QStringLiteral("DELETE FROM AbOm WHERE IDCON=?"), {id});
    db.exec(QStringLiteral("UPDATE Debite SET IDSERV=-1 WHERE IDCON=?"), {id});
    tx.commit();
}

ResultSet listAccounts(Database &db)
{
    return db.select(QStringLiteral("SELECT * FROM DefCont ORDER BY DENUM"));
}

ResultSet listOneOffAccounts(Database &db, int persons)
{
    return db.select(QStringLiteral("SELECT * FROM DefCont WHERE (PERLUNI=0) AND ((MINPERS=0 AND MAXPERS=0) OR "
                                    "(MINPERS<=? AND MAXPERS>=?)) ORDER BY DENUM"),
                     {persons, persons});
}

} // namespace vestronia
