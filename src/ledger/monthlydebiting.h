#pragma once
// The two ways subscriptions become debits: the monthly run over every subscription at
// program start, and the catch-up of one subscription just created. The run works by
// months (the current month always, one-month steps); the catch-up by days (debit days
// before today, steps of the subscription's period).

#include "core/progress.h"

#include <QString>

namespace vestronia {

class Database;
class DebitBatch;
struct CatchUpSpan;
struct Session;
struct SubscriptionTerms;

struct DebitingResult
{
    int subscriptions = 0; // subscriptions that received debits
    int debits = 0;        // debits written
};

// Debits every due subscription up to and including the current month and moves its
// LUNAADD, as one transaction: another workstation's run waits for it and then finds
// nothing left to debit. Safe to run again at once (writes nothing) and safe to
// interrupt (nothing of it stays). Throws SqlError, DbfError or FileError.
DebitingResult runMonthlyDebiting(Database &db, const Session &session, Progress &progress);

// Writes the debits of one subscription from its start up to yesterday and moves its
// LUNAADD; returns the last IDDEB written, 0 when none.
qint64 catchUpSubscription(Database &db, const Session &session, qint64 idserv);

// Queues the catch-up debits of one subscription on an open batch (bulk creation of
// subscriptions writes all their catch-ups in one batch).
void queueCatchUp(DebitBatch &batch, const SubscriptionTerms &terms, const CatchUpSpan &span, int today);

} // namespace vestronia
