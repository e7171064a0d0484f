// Manual debits and changes of debit amounts, each one transaction with its log entry.

#include "collections/debits.h"

#include "collections/identifiers.h"
#include "core/dates.h"
#include "core/session.h"
#include "ledger/accounts.h"
#include "ledger/debitrules.h"
#include "ledger/subscriberpanels.h"
#include "ledger/subscribers.h"
#include "store/changelog.h"
#include "store/database.h"

namespace vestronia {

namespace {

const QString DeleteTitle = QStringLiteral("Stergere Debit");
// A DECIMAL(10,2) field holds up to 8 integer digits, as the dialog's field.
const Money MaxDebit = Money::fromUnits(999999999900LL);

// An amount debited is never negative: money received is an advance, made only by a
// collection, and a negative debit would read as one that the next collection spends.
bool fits(Money m)
{
    return m >= Money() && m <= MaxDebit;
}

bool personRangeAdmits(const AccountRecord &a, int persons)
{
    return (a.minPersons == 0 && a.maxPersons == 0) || (a.minPersons <= persons && a.maxPersons >= persons);
}

ResultSet debitRow(Database &db, qint64 iddeb)
{
    return db.select(QStringLiteral("SELECT * FROM Debite WHERE IDDEB=?"), {iddeb});
}

bool isAdvance(const ResultSet &debit)
{
    return debit.money(0, QStringLiteral("SOLD")) < Money() || debit.money(0, QStringLiteral("RATA")) < Money();
}

QString subscriberName(Database &db, qint64 idab)
{
    return db.scalar(QStringLiteral("SELECT NUME FROM Abonat WHERE IDAB=?"), {idab}).toString().trimmed();
}

} // namespace

ResultSet manualDebitAccounts(Database &db, int persons)
{
    return db.select(QStringLiteral("SELECT * FROM DefCont WHERE (PERLUNI=0) AND ((MINPERS=0 AND MAXPERS=0) OR "
                                    "(MINPERS<=? AND MAXPERS>=?)) ORDER BY DENUM"),
                     {persons, persons});
}

Money proposedDebitAmount(const AccountRecord &account, int persons)
{
    return account.byPersons ? account.amount * persons : account.amount;
}

DebitOutcome addManualDebit(Database &db, const Session &session, qint64 idab, qint64 idcon, int day, Money amount)
{
    requireWriteAccess(session);
    DebitOutcome out;
    Transaction tx(db);
    const SubscriberRecord s = readSubscriber(db, idab);
    if (s.leaveDay != 0) {
        out.refusal = Refusal::asMessage(QStringLiteral("Adaugare debit"), QStringLiteral("\rAbonatul a iesit din evidenta!"));
        return out;
    }
    const ResultSet acc = db.select(QStringLiteral("SELECT * FROM DefCont WHERE IDCON=?"), {idcon});
    if (acc.isEmpty() || acc.integer(0, QStringLiteral("PERLUNI")) != 0) {
        out.refusal = Refusal::asMessage(QStringLiteral("Alegere Cont"), QStringLiteral("\rContul nu este un cont de debit ocazional!"));
        return out;
    }
    amount = amount.roundedToCents();
    if (!fits(amount)) {
        out.refusal = Refusal::atField(QStringLiteral("Rata"), QStringLiteral("Suma incorecta!"));
        return out;
    }
    if (!isDateSet(day)) {
        out.refusal = Refusal::atField(QStringLiteral("DataDeb"), QStringLiteral("Data incorecta!"));
        return out;
    }
    const AccountRecord a = AccountRecord::fromRow(acc, 0);
    if (!personRangeAdmits(a, s.persons)) {
        out.refusal = Refusal::asMessage(QStringLiteral("Alegere Cont"),
                                         QStringLiteral("\rContul ") + a.name + QStringLiteral(" nu se aplica unei gospodarii de ") +
                                             QString::number(s.persons) + QStringLiteral(" persoane!"));
        return out;
    }
    const bool penalised = !a.penalty.isZero();
    out.iddeb = takeFreeId(db, session.sharedSettings(), QStringLiteral("IDDEB"), QStringLiteral("Debite"), QStringLiteral("IDDEB"));
    db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                           "PENALPE, PENALDATA, MAXSOLD) VALUES (?, -1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {out.iddeb, idab, idcon, day, monthIndexOfDay(day), a.name, QVariant::fromValue(amount), QVariant::fromValue(amount),
             QVariant::fromValue(a.penalty), penalised ? a.penaltyPer : QString(),
             penalised ? penaltyStartDay(day, a.penaltyFromUnit, a.penaltyFrom) : 0, penalised ? a.cap : QString()});
    addLog(db, session, QStringLiteral("Adaugare debit: ") + s.name + QStringLiteral(" - ") + a.name);
    tx.commit();
    return out;
}

MaybeRefusal checkDebitDeletion(Database &db, qint64 iddeb)
{
    const ResultSet d = debitRow(db, iddeb);
    if (d.isEmpty())
        return Refusal::asMessage(DeleteTitle, QStringLiteral("\rDebitul nu mai exista!"));
    if (d.integer(0, QStringLiteral("IDSERV")) != -1)
        return Refusal::asMessage(
            DeleteTitle, QStringLiteral("Acest debit este de la un Abonament!\rCa sa-l stergeti, trebuie sa Modificati/Opriti abonamentul!"));
    // An advance is money received: deleting it would make the money vanish from the
    // subscriber's account. Only cancelling the collection that made it takes it away.
    if (isAdvance(d))
        return Refusal::asMessage(
            DeleteTitle, QStringLiteral("Acest debit este o plata in avans!\rCa sa-l stergeti, trebuie sa anulati incasarea care l-a creat!"));
    if (d.money(0, QStringLiteral("SOLD")) != d.money(0, QStringLiteral("RATA")))
        return Refusal::asMessage(
            DeleteTitle, QStringLiteral("La acest Debit s-au operat Chitante!\rCa sa-l stergeti, trebuie sa anulati incasarea!"));
    if (d.text(0, QStringLiteral("DENUM")) == QLatin1String("Penalitati 2023"))
        return Refusal::asMessage(DeleteTitle,
                                  QStringLiteral("Acest debit nu poate fi sters!\rVa disparea automat incepand cu 30.11.2024."));
    return std::nullopt;
}

QString debitDeletionQuestion(Database &db, qint64 iddeb)
{
    const ResultSet d = debitRow(db, iddeb);
    return QStringLiteral("\rDoriti sa stergeti debitul ") + (d.isEmpty() ? QString() : d.text(0, QStringLiteral("DENUM"))) +
           QStringLiteral(" ?");
}

MaybeRefusal deleteDebit(Database &db, const Session &session, qint64 iddeb)
{
    requireWriteAccess(session);
    Transaction tx(db);
    if (MaybeRefusal r = checkDebitDeletion(db, iddeb))
        return r;
    const ResultSet d = debitRow(db, iddeb);
    addLog(db, session,
           QStringLiteral("Stergere debit: ") + subscriberName(db, d.integer(0, QStringLiteral("IDAB"))) + QStringLiteral(" - ") +
               d.text(0, QStringLiteral("DENUM")) + QStringLiteral("=") + d.money(0, QStringLiteral("SOLD")).toString());
    db.exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=?"), {iddeb});
    tx.commit();
    return std::nullopt;
}

ChangeOutcome changeDebitAmount(Database &db, const Session &session, qint64 iddeb, Money amount, bool downward)
{
    requireWriteAccess(session);
    ChangeOutcome out;
    amount = amount.roundedToCents();
    Transaction tx(db);
    const ResultSet d = debitRow(db, iddeb);
    if (d.isEmpty() || d.money(0, QStringLiteral("SOLD")).isZero()) {
        out.refusal = Refusal::asMessage(QStringLiteral("Modificare debite"), QStringLiteral("\rDebitul nu este in lista!"));
        return out;
    }
    if (isAdvance(d)) {
        out.refusal = Refusal::asMessage(QStringLiteral("Modificare debite"),
                                         QStringLiteral("Aceasta este o plata in avans!\rCa sa o modificati, trebuie sa anulati "
                                                        "incasarea care a creat-o!"));
        return out;
    }
    if (!fits(amount)) {
        out.refusal = Refusal::atField(QStringLiteral("Rata"), QStringLiteral("Suma incorecta!"));
        return out;
    }
    const qint64 idab = d.integer(0, QStringLiteral("IDAB"));
    const qint64 idcon = d.integer(0, QStringLiteral("IDCON"));
    const QString name = subscriberName(db, idab);
    addLog(db, session,
           (downward ? QStringLiteral("Modificare debite: ") : QStringLiteral("Modificare debit: ")) + name +
               QStringLiteral(" - ") + d.text(0, QStringLiteral("DENUM")) + QStringLiteral(" de la ") +
               d.money(0, QStringLiteral("RATA")).toString() + QStringLiteral(" la ") + amount.toString() +
               QStringLiteral(" lei."));
    // The panel's rows from the selected debit on, in its order.
    const ResultSet panel = openDebitsOf(db, idab);
    int first = -1;
    for (int i = 0; i < panel.rowCount(); ++i)
        if (panel.integer(i, QStringLiteral("IDDEB")) == iddeb)
            first = i;
    for (int i = first; i >= 0 && i < panel.rowCount(); ++i) {
        if (panel.integer(i, QStringLiteral("IDCON")) != idcon)
            break;
        const Money paid = panel.money(i, QStringLiteral("RATA")) - panel.money(i, QStringLiteral("SOLD"));
        const Money rest = amount - paid;
        // Below what was already paid the rest would turn into a hidden advance. In a run
        // the debit that stops it may be a later one: it is named, with its date.
        if (!fits(rest)) {
            out.refusal = Refusal::atField(
                QStringLiteral("Rata"), QStringLiteral("Pe debitul ") + panel.text(i, QStringLiteral("DENUM")) + QStringLiteral(" din ") +
                                            dayText(int(panel.integer(i, QStringLiteral("DATADEB")))) + QStringLiteral(" s-au incasat deja ") +
                                            paid.toFixed(2) + QStringLiteral(" lei!\rSuma nu poate fi mai mica."));
            out.changed.clear();
            return out;
        }
        const qint64 id = panel.integer(i, QStringLiteral("IDDEB"));
        db.exec(QStringLiteral("UPDATE Debite SET RATA=?, SOLD=? WHERE IDDEB=?"),
                {QVariant::fromValue(amount), QVariant::fromValue(rest), id});
        out.changed << id;
        if (!downward)
            break;
    }
    tx.commit();
    return out;
}

} // namespace vestronia
