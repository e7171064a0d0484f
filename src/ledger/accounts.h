#pragma once
// Accounts (DefCont): the charge types. Creating one (with its checks and, for a
// periodic account, its distribution to the subscribers), stopping and deleting one,
// and the two lists the accounts window shows.

#include "core/money.h"
#include "core/progress.h"
#include "ledger/refusal.h"

#include <QString>

namespace vestronia {

class Database;
class ResultSet;
struct Session;

// One DefCont row as the services use it.
struct AccountRecord
{
    qint64 id = 0;
    QString name;
    Money amount;
    bool fixedPrice = false; // PRETFIX "X"
    bool byPersons = false;  // PEPERS "X"
    int minPersons = 0;
    int maxPersons = 0;
    int debitDay = 0;        // ZIUAIMP
    int periodMonths = 0;    // PERLUNI; 0 = one-off
    Money penalty;
    QString penaltyPer;      // PENALPE
    int penaltyFrom = 0;     // PENALDELA
    QString penaltyFromUnit; // PENALDELAP
    QString cap;             // MAXSOLD
    int start = 0;           // DATASTART
    int stop = 0;            // DATASTOP

    bool isPeriodic() const { return periodMonths > 0; }
    static AccountRecord fromRow(const ResultSet &rows, int row);
};

// What the creation form holds when "&Memoreaza" is pressed.
struct AccountDraft
{
    QString name;
    Money amount;
    bool byPersons = false;        // "La abonati cu numar de persoane de minim"
    int minPersons = 0;            // as typed, also when the fields are disabled
    int maxPersons = 0;
    bool fixedPrice = false;       // "Pret fix"
    bool periodic = false;         // "Adaugata automat periodic la"
    int periodMonths = 0;
    int debitDay = 1;
    Money penalty;                 // percent
    QString penaltyPer = QStringLiteral("luna");
    QString penaltyFromUnit = QStringLiteral("ziua");
    int penaltyFrom = 0;
    bool penaltyCapped = false;
    int startDay = 0;              // day number of "Cont activ de la data de"
};

// The checks of the creation form, in order, stopping at the first failure. Writes the
// cleaned name and the penalty's whole part back into the draft (the form shows them
// whatever the outcome). field is the objectName of the control at fault.
MaybeRefusal checkAccountDraft(Database &db, AccountDraft &draft);

struct AccountCreated
{
    qint64 id = 0;
    // Subscribers the periodic account was distributed to; -1 for a one-off account.
    int distributedTo = -1;
};

// Saves a checked draft: new IDCON, the DefCont row, the change-log entry and, for a
// periodic account, its distribution to the subscribers with their catch-up debits.
AccountCreated addAccount(Database &db, const Session &session, const AccountDraft &draft, Progress &progress);

// Whether the list's buttons apply to an account.
inline bool canStopAccount(const AccountRecord &a) { return a.periodMonths > 0 && a.stop == 0; }
inline bool canDeleteAccount(const AccountRecord &a) { return !canStopAccount(a); }

// Stops an active periodic account on the given day: the account, every subscription
// to it, and its unpaid debits dated from that day. Refuses a day before the start.
MaybeRefusal stopAccount(Database &db, const Session &session, qint64 id, int stopDay);

// Deletes an account and its subscriptions; its debits stay, detached (IDSERV -1).
void deleteAccount(Database &db, const Session &session, qint64 id);

// Every account, by name (administration), and the one-off accounts that apply to a
// household of the given size (choosing a manual debit).
ResultSet listAccounts(Database &db);
ResultSet listOneOffAccounts(Database &db, int persons);

AccountRecord readAccount(Database &db, qint64 id);

} // namespace vestronia
