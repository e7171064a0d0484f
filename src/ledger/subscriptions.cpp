// Creating subscriptions from accounts (in bulk or per subscriber) and changing their
// amount. Bulk creation numbers its rows from a reserved block of IDSERV and writes the
// catch-up debits through one DebitBatch.

#include "ledger/subscriptions.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/error.h"
#include "ledger/accounts.h"
#include "ledger/debitbatch.h"
#include "ledger/debitrules.h"
#include "ledger/monthlydebiting.h"
#include "ledger/refusal.h"
#include "store/changelog.h"
#include "store/database.h"

#include <QHash>

#include <vector>

namespace vestronia {

namespace {

const QString InsertSubscription = QStringLiteral(
    "INSERT INTO AbOm (IDSERV, IDAB, IDCON, DENUM, RATA, ZIUAIMP, PERLUNI, PENAL, PENALPE, PENALDELA, "
    "PENALDELAP, MAXSOLD, DATASTART, DATASTOP, LUNAADD) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");

// The subscription a new row describes; its penalty terms are blank when the account
// has no penalty.
SubscriptionTerms newTerms(const AccountRecord &a, qint64 idserv, qint64 idab, Money amount, int start, int stop)
{
    SubscriptionTerms t;
    t.idserv = idserv;
    t.idab = idab;
    t.idcon = a.id;
    t.name = a.name;
    t.amount = amount;
    t.debitDay = a.debitDay;
    t.periodMonths = std::max(1, a.periodMonths);
    t.penalty = a.penalty;
    const bool penalised = !a.penalty.isZero();
    t.penaltyPer = penalised ? a.penaltyPer : QString();
    t.penaltyFrom = penalised ? a.penaltyFrom : 0;
    t.penaltyFromUnit = penalised ? a.penaltyFromUnit : QString();
    t.cap = a.cap;
    t.start = start;
    t.stop = stop;
    return t;
}

QVariantList subscriptionValues(const SubscriptionTerms &t, int periodMonths)
{
    return {t.idserv, t.idab, t.idcon, t.name, t.amount.toVariant(), t.debitDay, periodMonths, t.penalty.toVariant(),
            t.penaltyPer, t.penaltyFrom, t.penaltyFromUnit, t.cap, t.start, t.stop};
}

// A stop day below 1000 means "running", whatever number an old row holds there.
int stopDayOf(const AccountRecord &a)
{
    return isDateSet(a.stop) ? a.stop : 0;
}

} // namespace

Money creationAmount(const AccountRecord &account, int persons)
{
    return account.fixedPrice ? account.amount : account.amount * persons;
}

Money updateAmount(const AccountRecord &account, int persons)
{
    return account.byPersons ? account.amount * persons : account.amount;
}

int distributeAccount(Database &db, const Session &session, qint64 idcon, Progress &progress)
{
    requireWriteAccess(session);
    // The subscriptions, their numbers and their catch-up debits are one change.
    Transaction whole(db);
    const AccountRecord account = readAccount(db, idcon);
    if (!account.isPeriodic())
        return 0;

    QString sql = QStringLiteral("SELECT * FROM Abonat WHERE ((DATAOUT=0) OR (DATAOUT>?))");
    QVariantList params{account.start};
    if (account.byPersons) {
        sql += QStringLiteral(" AND NRPERS>=? AND NRPERS<=?");
        params << account.minPersons << account.maxPersons;
    }
    const ResultSet subscribers = db.select(sql, params);
    const int count = subscribers.rowCount();
    if (count == 0)
        return 0;

    ProgressScope scope(progress, QStringLiteral("Adaugare Cont la Abonati..."), std::max(1, count / 100));
    DebitBatch batch(db, session);

    // A block of identifiers for the whole distribution, stored before any row uses it.
    const QString settings = session.sharedSettings();
    qint64 next = Counters::takeBlock(settings, QStringLiteral("IDSERV"), count);

    const int today = Clock::todayDayNumber();
    std::vector<std::pair<SubscriptionTerms, CatchUpSpan>> queued;
    queued.reserve(size_t(count));
    {
        Transaction tx(db);
        Statement insert = db.prepare(InsertSubscription);
        for (int i = 0; i < count; ++i) {
            const int persons = int(subscribers.integer(i, QStringLiteral("NRPERS")));
            CatchUpSpan span;
            span.entryDay = int(subscribers.integer(i, QStringLiteral("DATAIN")));
            span.leaveDay = int(subscribers.integer(i, QStringLiteral("DATAOUT")));
            span.exemptDay = int(subscribers.integer(i, QStringLiteral("DATASCUT")));
            const int start = std::max(span.entryDay, account.start);
            const SubscriptionTerms terms = newTerms(account, next++, subscribers.integer(i, QStringLiteral("IDAB")),
                                                     creationAmount(account, persons), start, stopDayOf(account));
            insert.exec(subscriptionValues(terms, account.periodMonths));
            span.startDay = terms.start;
            span.stopDay = terms.stop;
            span.debitDay = terms.debitDay;
            span.periodMonths = terms.periodMonths;
            queued.push_back({terms, span});
        }
        tx.commit();
    }
    // The subscriptions are in place; now their debits, a bounded part at a time.
    NullProgress quiet;
    for (size_t i = 0; i < queued.size(); ++i) {
        queueCatchUp(batch, queued[i].first, queued[i].second, today);
        if (batch.size() >= DebitBatch::flushSize())
            batch.write(quiet);
        if ((i + 1) % 100 == 0)
            progress.step();
    }
    batch.write(quiet);
    whole.commit();
    return count;
}

QList<qint64> syncSubscriptions(Database &db, const Session &session, qint64 idab, int persons, int day)
{
    requireWriteAccess(session);
    Transaction tx(db);
    QHash<qint64, QList<qint64>> existing; // IDCON -> the subscriber's IDSERVs
    const ResultSet mine = db.select(QStringLiteral("SELECT IDCON, IDSERV FROM AbOm WHERE IDAB=?"), {idab});
    for (int i = 0; i < mine.rowCount(); ++i)
        existing[mine.integer(i, QStringLiteral("IDCON"))].append(mine.integer(i, QStringLiteral("IDSERV")));

    const ResultSet accounts = db.select(
        QStringLiteral("SELECT * FROM DefCont WHERE PERLUNI>0 AND (DATASTOP=0 OR DATASTOP>?) "
                       "AND (((MINPERS=0) AND (MAXPERS=0)) OR (PEPERS='X' AND MINPERS<=? AND MAXPERS>=?))"),
        {day, persons, persons});
    QList<qint64> created;
    for (int i = 0; i < accounts.rowCount(); ++i) {
        const AccountRecord account = AccountRecord::fromRow(accounts, i);
        const QList<qint64> have = existing.value(account.id);
        if (!have.isEmpty()) {
            for (const qint64 idserv : have)
                db.exec(QStringLiteral("UPDATE AbOm SET RATA=? WHERE IDSERV=?"),
                        {updateAmount(account, persons).toVariant(), idserv});
            continue;
        }
        const qint64 idserv = Counters::take(session.sharedSettings(), QStringLiteral("IDSERV"));
        const SubscriptionTerms terms = newTerms(account, idserv, idab, creationAmount(account, persons),
                                                 std::max(day, account.start), stopDayOf(account));
        db.exec(InsertSubscription, subscriptionValues(terms, account.periodMonths));
        created.append(idserv);
    }
    tx.commit();
    return created;
}

void changeSubscriptionAmount(Database &db, const Session &session, qint64 idserv, Money amount)
{
    requireWriteAccess(session);
    Transaction tx(db);
    const ResultSet row = db.select(
        QStringLiteral("SELECT A.RATA, A.DENUM, B.NUME FROM AbOm A LEFT JOIN Abonat B ON A.IDAB=B.IDAB WHERE A.IDSERV=?"),
        {idserv});
    if (row.isEmpty())
        throw VestroniaError(QStringLiteral("Abonamentul %1 nu mai exista.").arg(idserv));
    addLog(db, session,
           QStringLiteral("Modificare suma abonament: ") + row.text(0, QStringLiteral("NUME")) + QStringLiteral(" - ")
               + row.text(0, QStringLiteral("DENUM")) + QStringLiteral(" de la ")
               + row.money(0, QStringLiteral("RATA")).toString() + QStringLiteral(" la ") + amount.toString()
               + QStringLiteral(" lei."));
    db.exec(QStringLiteral("UPDATE AbOm SET RATA=? WHERE IDSERV=?"), {amount.toVariant(), idserv});
    tx.commit();
}

} // namespace vestronia
