#pragma once
// Subscriptions (AbOm): one periodic account attached to one subscriber. They are made
// in bulk when a periodic account is created, per subscriber when one is added or its
// household changes, and only their amount is ever edited by hand.

#include "core/money.h"
#include "core/progress.h"

#include <QList>
#include <QString>

namespace vestronia {

class Database;
struct AccountRecord;
struct Session;

// The amount of a new subscription: the account's price for a fixed-price account,
// otherwise its price times the persons.
Money creationAmount(const AccountRecord &account, int persons);
// The amount an existing subscription is reset to when a subscriber's subscriptions are
// synchronised: price times persons for a range account, the plain price otherwise.
Money updateAmount(const AccountRecord &account, int persons);

// Attaches a new periodic account to every subscriber still on record after its start
// (within its person range), writing each one's catch-up debits. Returns the number of
// subscribers selected; does nothing (returns 0) for a one-off account.
int distributeAccount(Database &db, const Session &session, qint64 idcon, Progress &progress);

// Gives the subscriber a subscription to every periodic account running after day that
// applies to persons, and resets the amount of the ones it already has (running or
// stopped). Returns the IDSERV of the subscriptions it created, in creation order. It
// neither stops subscriptions nor writes debits.
QList<qint64> syncSubscriptions(Database &db, const Session &session, qint64 idab, int persons, int day);

// "Modifica suma": the new amount of one subscription, with its change-log entry. Debits
// already written keep their amounts.
void changeSubscriptionAmount(Database &db, const Session &session, qint64 idserv, Money amount);

} // namespace vestronia
