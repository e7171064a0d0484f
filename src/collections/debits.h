#pragma once
// Debits added and changed by hand: the accounts a manual debit may use, its proposed
// amount, the insertion, the deletion with its three refusals, and the change of the
// amount of one debit or of a run of debits of one account.

#include "core/money.h"
#include "ledger/refusal.h"

#include <QList>
#include <QString>

namespace vestronia {

class Database;
class ResultSet;
struct AccountRecord;
struct Session;

// The one-off accounts whose person range admits a household of persons (or that have
// none), by name.
ResultSet manualDebitAccounts(Database &db, int persons);
// Amount proposed for a manual debit: the account's rate, times persons when the account
// is per person.
Money proposedDebitAmount(const AccountRecord &account, int persons);

// Adds a manual debit of the account to the subscriber, dated day, with the account's
// penalty terms; logs it. Refuses a subscriber who left, an unknown account, a periodic
// one or one whose person range does not admit the household, and a negative amount or
// one the field cannot hold. Returns the new IDDEB.
struct DebitOutcome
{
    MaybeRefusal refusal;
    qint64 iddeb = 0;
};
DebitOutcome addManualDebit(Database &db, const Session &session, qint64 idab, qint64 idcon, int day, Money amount);

// The refusals of "Sterge Debit", in their order (subscription, advance, paid,
// settlement). An advance is removed only by cancelling the collection that made it.
MaybeRefusal checkDebitDeletion(Database &db, qint64 iddeb);
// "\rDoriti sa stergeti debitul DENUM ?"
QString debitDeletionQuestion(Database &db, qint64 iddeb);
MaybeRefusal deleteDebit(Database &db, const Session &session, qint64 iddeb);

// Sets the amount of a debit, its rest becoming the new amount less what was paid on it.
// With downward, the same amount goes to every later open debit of the subscriber (panel
// order) while they belong to the same account. Returns the changed IDDEBs, first the
// given one; a refusal when the debit is not open or is an advance, or the amount is
// negative, below what was paid on a debit, or does not fit.
struct ChangeOutcome
{
    MaybeRefusal refusal;
    QList<qint64> changed;
};
ChangeOutcome changeDebitAmount(Database &db, const Session &session, qint64 iddeb, Money amount, bool downward);

} // namespace vestronia
