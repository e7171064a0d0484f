#pragma once
// A fresh data folder with the nine empty tables in a temporary home, a session on it
// and a fixed "today", plus short ways to put accounts, subscribers and subscriptions
// into it for the ledger tests.

#include "core/clock.h"
#include "core/dates.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "ledger/accounts.h"
#include "ledger/subscribers.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vestronia::testing {

inline int day(int y, int m, int d)
{
    return dayNumberOf(QDate(y, m, d));
}

class LedgerFixture
{
public:
    explicit LedgerFixture(const QDate &today = QDate(2024, 6, 10))
    {
        QStandardPaths::setTestModeEnabled(true);
        Clock::setToday(today);
        session.programFolder = dir.path();
        session.localDataFolder = dir.path() + QStringLiteral("/Data");
        session.dataFolder = session.localDataFolder;
        session.tempFolder = dir.path() + QStringLiteral("/Temp");
        session.machineFolder = dir.path() + QStringLiteral("/Machine");
        session.userLabel = QStringLiteral("TEST - tester");
        QDir().mkpath(session.dataFolder);
        QDir().mkpath(session.tempFolder);
        for (const TableDef &t : tableCatalogue())
            createTable(session.dataFolder + QLatin1Char('/') + QLatin1String(t.fileName), t.columns);
        db = std::make_unique<Database>(session.dataFolder);
    }
    ~LedgerFixture() { Clock::reset(); }

    // A new connection, as a program started again would have.
    void reopen()
    {
        db.reset();
        db = std::make_unique<Database>(session.dataFolder);
    }

    static AccountDraft periodic(const QString &name, const QString &amount, int minPersons = 0, int maxPersons = 0)
    {
        AccountDraft d;
        d.name = name;
        d.amount = *Money::parse(amount);
        d.byPersons = minPersons > 0 || maxPersons > 0;
        d.minPersons = minPersons;
        d.maxPersons = maxPersons;
        d.periodic = true;
        d.periodMonths = 1;
        d.debitDay = 5;
        d.startDay = day(2020, 1, 1);
        return d;
    }

    // Writes an account row directly (no checks, no distribution).
    qint64 insertAccount(const AccountDraft &d, int stopDay = 0)
    {
        const qint64 id = nextAccountId++;
        db->exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PRETFIX, PEPERS, MINPERS, MAXPERS, PERLUNI, "
                                "ZIUAIMP, PENAL, PENALDELA, PENALPE, PENALDELAP, MAXSOLD, DATASTART, DATASTOP) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {id, d.name, d.amount.toVariant(), d.fixedPrice ? QStringLiteral("X") : QString(),
                  d.byPersons ? QStringLiteral("X") : QStringLiteral("-"), d.minPersons, d.maxPersons,
                  d.periodic ? d.periodMonths : 0, d.periodic ? d.debitDay : 0, d.penalty.toVariant(), d.penaltyFrom,
                  d.penaltyPer, d.penaltyFromUnit, d.penaltyCapped ? QStringLiteral("X") : QStringLiteral("-"),
                  d.startDay, stopDay});
        return id;
    }

    static SubscriberDraft person(const QString &name, int persons, int entryDay)
    {
        SubscriberDraft d;
        d.name = name;
        d.locality = QStringLiteral("VESTRONIA");
        d.street = QStringLiteral("PRINCIPALA");
        d.number = QStringLiteral("1");
        d.persons = persons;
        d.entryDay = entryDay;
        return d;
    }

    // Writes a subscriber row directly (no subscriptions).
    qint64 insertSubscriber(const QString &name, int persons, int entryDay, int leaveDay = 0, int exemptDay = 0)
    {
        const qint64 id = nextSubscriberId++;
        db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, TIPPF, LOC, STRADA, NR, DATAIN, DATAOUT, DATASCUT, NRPERS) "
                                "VALUES (?, ?, 'F', 'VESTRONIA', 'PRINCIPALA', '1', ?, ?, ?, ?)"),
                 {id, name, entryDay, leaveDay, exemptDay, persons});
        return id;
    }

    // Writes a subscription row directly.
    qint64 insertSubscription(qint64 idab, qint64 idcon, const QString &name, const QString &amount, int debitDay,
                              int periodMonths, int startDay, int lastMonth = 0, int stopDay = 0,
                              const QString &penaltyFromUnit = QString(), int penaltyFrom = 0)
    {
        const qint64 id = nextSubscriptionId++;
        db->exec(QStringLiteral("INSERT INTO AbOm (IDSERV, IDAB, IDCON, DENUM, RATA, ZIUAIMP, PERLUNI, PENAL, PENALPE, "
                                "PENALDELA, PENALDELAP, MAXSOLD, DATASTART, DATASTOP, LUNAADD) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, 1, 'zi', ?, ?, '-', ?, ?, ?)"),
                 {id, idab, idcon, name, Money::parse(amount)->toVariant(), debitDay, periodMonths, penaltyFrom,
                  penaltyFromUnit, startDay, stopDay, lastMonth});
        return id;
    }

    qint64 count(const QString &sql, const QVariantList &params = {})
    {
        return db->scalar(sql, params).toLongLong();
    }

    // LUNADEB of every debit of a subscription, in date order.
    QList<int> debitMonths(qint64 idserv)
    {
        QList<int> out;
        const ResultSet r = db->select(QStringLiteral("SELECT LUNADEB FROM Debite WHERE IDSERV=? ORDER BY DATADEB"), {idserv});
        for (int i = 0; i < r.rowCount(); ++i)
            out << int(r.integer(i, QStringLiteral("LUNADEB")));
        return out;
    }

    QStringList logTexts()
    {
        QStringList out;
        const ResultSet r = db->select(QStringLiteral("SELECT ACTIUNE FROM Log ORDER BY IDLOG"));
        for (int i = 0; i < r.rowCount(); ++i)
            out << r.text(i, QStringLiteral("ACTIUNE"));
        return out;
    }

    QTemporaryDir dir;
    Session session;
    std::unique_ptr<Database> db;
    qint64 nextAccountId = 100;
    qint64 nextSubscriberId = 100;
    qint64 nextSubscriptionId = 100;
};

} // namespace vestronia::testing
