#pragma once
// Enforcement acts (Urmarire): a payment notice or a summons recorded against a
// subscriber as a snapshot of his identity and debt on the day of issue. Adding, changing
// number/date/type and deleting, each with its change-log entry and in one transaction;
// the act numbers proposed per type from the counter named by the type.

#include "core/money.h"
#include "ledger/refusal.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace vestronia {

class Database;
class ResultSet;
struct BalanceTotals;
struct Session;

// The two act types, as stored in TIPACT and as the counter keys of their numbers.
inline QString actNoticeType() { return QStringLiteral("Instiintare de plata"); }
inline QString actSummonsType() { return QStringLiteral("Somatie/Titlu executoriu"); }
QStringList actTypes();

// Width of UNR.
constexpr int ActNumberLength = 16;

// What the entry window holds when "&Memoreaza" is pressed.
struct ActDraft
{
    QString type;   // one of actTypes()
    QString number; // as typed; saving cleans it, upper-cases it and keeps 16 characters
    QDate date;
};

// The amounts an act copies: as the subscriber screen shows them (a rest or penalty
// below zero shows as 0; the total already has the advance subtracted).
struct ActAmounts
{
    Money debit;
    Money penalties;
    Money total;
    static ActAmounts fromTotals(const BalanceTotals &totals);
};

// The number the entry window proposes for a type: the type's counter, 1 when missing.
qint64 proposedActNumber(const Session &session, const QString &type);

// The number as it is saved: cleaned, upper case, at most 16 characters.
QString cleanActNumber(const QString &typed);

// "Adaugare Act" / "\rAcest Abonat NU are datorii!" when the total is not above zero.
MaybeRefusal checkActAllowed(Money total);

// Refusals of a draft that the window cannot produce but the command line can: a type
// other than the two, a date that is not valid.
MaybeRefusal checkActDraft(const ActDraft &draft);

struct ActAdded
{
    MaybeRefusal refusal; // set when nothing was written
    qint64 idurm = 0;
};

// Adds an act for subscriber idab with the amounts shown for him: the row (identity
// copied from Abonat now), the type's counter set from the saved number (number + 1, or
// 0 when the number does not read as one), the change-log entry. One transaction.
// Throws VestroniaError when the subscriber does not exist or a statement fails.
ActAdded addAct(Database &db, const Session &session, qint64 idab, ActDraft draft, const ActAmounts &amounts);

// Changes number, date and type of act idurm; the snapshot stays and the numbering is
// not touched. One transaction with its change-log entry. Refuses an unknown act.
MaybeRefusal changeAct(Database &db, const Session &session, qint64 idurm, ActDraft draft);

// Deletes act idurm, writing its change-log entry first. One transaction.
MaybeRefusal deleteAct(Database &db, const Session &session, qint64 idurm);

// The acts of a subscriber as the list shows them: by date, then number as text.
ResultSet actsOf(Database &db, qint64 idab);
// One act row (empty when it does not exist).
ResultSet actRecord(Database &db, qint64 idurm);

} // namespace vestronia
