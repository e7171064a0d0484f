// The monthly debiting run and the catch-up of a new subscription. Both plan their
// debits in memory and hand them to a DebitBatch; each is one transaction, so an
// interruption never duplicates or loses a debit.

#include "ledger/monthlydebiting.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "ledger/debitbatch.h"
#include "ledger/debitrules.h"
#include "store/database.h"

namespace vestronia {

DebitingResult runMonthlyDebiting(Database &db, const Session &session, Progress &progress)
{
    DebitingResult result;
    DebitBatch batch(db, session);
    // The subscriptions are read under the writer lock: a workstation that ran meanwhile
    // has moved their LUNAADD, and this run then finds nothing left to debit.
    Transaction tx(db);
    const int today = Clock::todayDayNumber();
    const int month = monthIndexOf(Clock::today());
    const ResultSet due = db.select(QStringLiteral(
        "SELECT A.DATAIN, A.DATAOUT, A.DATASCUT, B.* FROM Abonat A JOIN AbOm B ON A.IDAB=B.IDAB "
        "WHERE A.DATAOUT=0 AND (A.DATASCUT=0 OR A.DATASCUT<?) AND (B.DATASTOP=0 OR B.DATASTOP>?) "
        "AND (B.LUNAADD=0 OR B.LUNAADD<?)"),
        {today, today, month});
    if (due.isEmpty())
        return result;

    ProgressScope scope(progress, QStringLiteral("Adaug debite pe luna curenta..."), due.rowCount());
    auto flush = [&] {
        result.subscriptions += batch.subscriptionCount();
        result.debits += int(batch.size());
        batch.write(progress);
    };
    const SubscriptionColumns columns(due);
    const int entryColumn = due.columnIndex(QStringLiteral("DATAIN"));
    const int exemptColumn = due.columnIndex(QStringLiteral("DATASCUT"));
    for (int i = 0; i < due.rowCount(); ++i) {
        const SubscriptionTerms terms = SubscriptionTerms::fromRow(due, i, columns);
        MonthlyDue d;
        d.lastMonth = terms.lastMonth;
        d.periodMonths = terms.periodMonths;
        d.entryDay = int(due.integer(i, entryColumn));
        d.exemptDay = int(due.integer(i, exemptColumn));
        d.startDay = terms.start;
        for (const int m : monthsDue(d, month))
            batch.add(terms, debitDayNumber(m, terms.debitDay), m);
        if (batch.size() >= DebitBatch::flushSize())
            flush();
    }
    flush();
    tx.commit();
    return result;
}

qint64 catchUpSubscription(Database &db, const Session &session, qint64 idserv)
{
    const ResultSet rows = db.select(QStringLiteral(
        "SELECT A.*, B.DATAIN, B.DATAOUT, B.DATASCUT FROM AbOm A JOIN Abonat B ON A.IDAB=B.IDAB WHERE A.IDSERV=?"),
        {idserv});
    if (rows.isEmpty())
        return 0;
    const SubscriptionTerms terms = SubscriptionTerms::fromRow(rows, 0);
    // Once debited, a subscription belongs to the monthly run; catching it up again
    // would write its months twice.
    if (terms.lastMonth != 0)
        return 0;
    CatchUpSpan span;
    span.entryDay = int(rows.integer(0, QStringLiteral("DATAIN")));
    span.exemptDay = int(rows.integer(0, QStringLiteral("DATASCUT")));
    span.leaveDay = int(rows.integer(0, QStringLiteral("DATAOUT")));
    span.startDay = terms.start;
    span.stopDay = terms.stop;
    span.debitDay = terms.debitDay;
    span.periodMonths = terms.periodMonths;
    if (catchUpDays(span, Clock::todayDayNumber()).isEmpty())
        return 0;

    DebitBatch batch(db, session);
    queueCatchUp(batch, terms, span, Clock::todayDayNumber());
    NullProgress quiet;
    return batch.write(quiet);
}

void queueCatchUp(DebitBatch &batch, const SubscriptionTerms &terms, const CatchUpSpan &span, int today)
{
    for (const int day : catchUpDays(span, today))
        batch.add(terms, day, monthIndexOfDay(day));
}

} // namespace vestronia
