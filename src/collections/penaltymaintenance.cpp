// Penalty freeze and penalty-start recomputation. The per-subscriber totals are gathered
// in memory and written to the Pen2 work table the operator is shown.

#include "collections/penaltymaintenance.h"

#include "collections/balance.h"
#include "collections/identifiers.h"
#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/progress.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "core/workfiles.h"
#include "ledger/debitrules.h"
#include "ledger/refusal.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QFile>
#include <functional>
#include <vector>

namespace vestronia {

namespace {

const QString Settlement = QStringLiteral("Penalitati 2023");

qint64 settlementAccount(Database &db, const Session &session)
{
    const QVariant id = db.scalar(QStringLiteral("SELECT IDCON FROM DefCont WHERE DENUM=? LIMIT 1"), {Settlement});
    if (id.isValid())
        return id.toLongLong();
    const qint64 idcon = Counters::take(session.sharedSettings(), QStringLiteral("IDCON"));
    db.exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PRETFIX, PEPERS, ZIUAIMP, PERLUNI, MINPERS, MAXPERS, "
                           "PENAL, PENALPE, PENALDELA, PENALDELAP, MAXSOLD, DATASTART, DATASTOP) "
                           "VALUES (?, ?, 1, 'X', '-', 0, 0, 0, 0, 0, 'luna', 0, 'ziua', '-', ?, 0)"),
            {idcon, Settlement, Clock::todayDayNumber()});
    return idcon;
}

// An SQL function defined for one statement: it captures the caller's locals, so it is
// removed when the scope ends, also on an exception.
class ScopedFunction
{
public:
    ScopedFunction(Database &db, const QString &name, int arguments, std::function<QVariant(const QVariantList &)> fn)
        : m_db(db), m_name(name), m_arguments(arguments)
    {
        m_db.defineFunction(m_name, m_arguments, std::move(fn));
    }
    ~ScopedFunction()
    {
        try {
            m_db.defineFunction(m_name, m_arguments, {});
        } catch (...) {
        }
    }
    ScopedFunction(const ScopedFunction &) = delete;
    ScopedFunction &operator=(const ScopedFunction &) = delete;

private:
    Database &m_db;
    QString m_name;
    int m_arguments;
};

struct Frozen
{
    QString name;
    qint64 idab = 0;
    Money total;
};

} // namespace

FreezeOutcome freezePenalties(Database &db, const Session &session, Progress &progress)
{
    requireWriteAccess(session);
    FreezeOutcome out;
    const int firstOf2024 = dayNumberOf(QDate(2024, 1, 1));
    const int lastOf2023 = dayNumberOf(QDate(2023, 12, 31));
    const int today = Clock::todayDayNumber();
    Transaction tx(db);
    out.accountId = settlementAccount(db, session);

    // Each debit's penalty is computed as the rows stream past and summed per subscriber
    // (in ten-thousandths, exactly) by the statement: only the totals come back, not every
    // debit of the register.
    const QString penaltyOf = QStringLiteral("vestronia_frozen_penalty");
    const QString from = QStringLiteral("FROM Debite D JOIN Abonat A ON D.IDAB=A.IDAB WHERE A.TIPPF='F' AND D.SOLD>0 "
                                        "AND D.DATADEB<?");
    std::vector<Frozen> totals;
    {
        const qint64 rows = db.scalar(QStringLiteral("SELECT COUNT(*) ") + from, {firstOf2024}).toLongLong();
        ProgressScope scope(progress, QStringLiteral("Calculez..."), int(rows / 200 + 1));
        qint64 seen = 0;
        const ScopedFunction penalty(db, penaltyOf, 4, [&](const QVariantList &a) {
            if (++seen % 200 == 0)
                progress.step();
            return QVariant(qint64(computePenalty(a[0].toString(), QStringLiteral("X"), int(a[1].toLongLong()),
                                                  Money::fromVariant(a[2]), Money::fromVariant(a[3]), lastOf2023)
                                       .units()));
        });
        const ResultSet sums = db.select(QStringLiteral("SELECT A.NUME AS NUME, D.IDAB AS IDAB, "
                                                        "SUM(%1(D.PENALPE, D.PENALDATA, D.PENAL, D.SOLD)) AS UNITS ")
                                                 .arg(penaltyOf)
                                             + from + QStringLiteral(" GROUP BY D.IDAB, A.NUME ORDER BY D.IDAB, A.NUME"),
                                         {firstOf2024});
        totals.reserve(size_t(sums.rowCount()));
        for (int i = 0; i < sums.rowCount(); ++i)
            totals.push_back({sums.text(i, QStringLiteral("NUME")), sums.integer(i, QStringLiteral("IDAB")),
                              Money::fromUnits(sums.integer(i, QStringLiteral("UNITS")))});
    }
    std::erase_if(totals, [](const Frozen &f) { return f.total < Money::fromLei(1); });

    out.listPath = newWorkFile(session.tempFolder, QStringLiteral("Pen2"), QStringLiteral(".dbf"));
    if (out.listPath.isEmpty() || !createTable(out.listPath, penaltyWorkColumns()))
        throw FileError(QStringLiteral("Nu pot crea tabela de lucru Pen2 in ") + session.tempFolder);
    db.attach(QStringLiteral("Pen2"), out.listPath);
    try {
        Statement line = db.prepare(QStringLiteral("INSERT INTO Pen2 (NUME, IDAB, PEN2023) VALUES (?, ?, ?)"));
        for (const Frozen &f : totals)
            line.exec({f.name, f.idab, QVariant::fromValue(f.total)});
    } catch (...) {
        db.detach(QStringLiteral("Pen2"));
        throw;
    }
    db.detach(QStringLiteral("Pen2"));

    {
        ProgressScope scope(progress, QStringLiteral("Adaug Penalitatile..."), int(totals.size()) / 10 + 1);
        qint64 iddeb = totals.empty() ? 0
                                      : takeFreeIdBlock(db, session.sharedSettings(), QStringLiteral("IDDEB"),
                                                        QStringLiteral("Debite"), QStringLiteral("IDDEB"), qint64(totals.size()));
        Statement insert = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, "
                                                     "RATA, SOLD, PENAL, PENALPE, PENALDATA, MAXSOLD) "
                                                     "VALUES (?, -1, ?, ?, ?, 202401, ?, ?, ?, 0, '', 0, '-')"));
        for (size_t i = 0; i < totals.size(); ++i) {
            insert.exec({iddeb++, totals[i].idab, out.accountId, today, Settlement, QVariant::fromValue(totals[i].total),
                         QVariant::fromValue(totals[i].total)});
            if (i % 10 == 9)
                progress.step();
        }
    }
    {
        ProgressScope scope(progress, QStringLiteral("Sterg Penalitatile 2023..."), int(totals.size()) / 10 + 1);
        // The clock restarts only where it ran before 2024: a debit overdue from a later day
        // had nothing frozen and keeps its own start, and one without a start gets none.
        Statement restart = db.prepare(QStringLiteral("UPDATE Debite SET PENALDATA=? WHERE SOLD>0 AND DATADEB<=? AND PENAL>0 "
                                                      "AND PENALDATA>=? AND PENALDATA<? AND IDAB=?"));
        for (size_t i = 0; i < totals.size(); ++i) {
            restart.exec({firstOf2024, lastOf2023, FirstRealDayNumber, firstOf2024, totals[i].idab});
            if (i % 10 == 9)
                progress.step();
        }
    }
    tx.commit();
    out.settlementDebits = int(totals.size());
    return out;
}

qint64 redatePenaltyStarts(Database &db, const Session &session, Progress &progress)
{
    requireWriteAccess(session);
    Transaction tx(db);
    // One statement over every debit: a loop of single-row updates would first hold all
    // the rows' keys and dates in memory and then pay a statement per row.
    const qint64 total = db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDCON>0")).toLongLong();
    ProgressScope scope(progress, QStringLiteral("Refac..."), int(total / 500 + 1));
    qint64 done = 0;
    const QString function = QStringLiteral("vestronia_penalty_start");
    const ScopedFunction startOf(db, function, 1, [&](const QVariantList &args) {
        if (++done % 500 == 0)
            progress.step();
        return QVariant(qint64(addMonthsToDay(int(args[0].toLongLong()), 1)));
    });
    const qint64 changed =
        db.exec(QStringLiteral("UPDATE Debite SET PENALDATA=%1(DATADEB), PENALPE='luna' WHERE IDCON>0").arg(function));
    tx.commit();
    return changed;
}

} // namespace vestronia
