// The batch of acts: the open debits of the whole folder read in one statement and
// grouped per subscriber, the totals computed as the subscriber screen computes them,
// one prepared insert per act, one letter file for all.

#include "enforcement/actbatch.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/progress.h"
#include "core/session.h"
#include "core/text.h"
#include "core/workfiles.h"
#include "enforcement/acts.h"
#include "enforcement/letters.h"
#include "collections/balance.h"
#include "store/changelog.h"
#include "store/database.h"

#include <QFile>
#include <QHash>

#include <vector>

namespace vestronia {

namespace {

struct Debtor
{
    int row;            // row in the subscriber result
    ActAmounts amounts;
};

// Row ranges of each subscriber's open debits in a result ordered by IDAB.
QHash<qint64, std::pair<int, int>> rangesByIdab(const ResultSet &debits)
{
    QHash<qint64, std::pair<int, int>> ranges;
    const int idabColumn = debits.columnIndex(QStringLiteral("IDAB"));
    int start = 0;
    for (int i = 1; i <= debits.rowCount(); ++i) {
        const qint64 startId = debits.value(start, idabColumn).toLongLong();
        if (i == debits.rowCount() || debits.value(i, idabColumn).toLongLong() != startId) {
            ranges.insert(startId, {start, i});
            start = i;
        }
    }
    return ranges;
}

} // namespace

ActBatchOutcome runActBatch(Database &db, const Session &session, const ActBatchRequest &request,
                            const LetterUnit &unit, Progress &progress, const QString &outPath)
{
    requireWriteAccess(session);
    ActBatchOutcome outcome;
    ActDraft draft{request.type, QString(), request.date};
    if (MaybeRefusal r = checkActDraft(draft)) {
        outcome.refusal = r;
        return outcome;
    }

    Transaction tx(db);
    const QString locality = cleanText(request.locality);
    const ResultSet subscribers = locality.isEmpty()
        ? db.select(QStringLiteral("SELECT * FROM Abonat WHERE DATAOUT IS NULL OR DATAOUT<? ORDER BY NUME, IDAB"),
                    {FirstRealDayNumber})
        : db.select(QStringLiteral("SELECT * FROM Abonat WHERE (DATAOUT IS NULL OR DATAOUT<?) AND UPPER(LOC)=UPPER(?) "
                                   "ORDER BY NUME, IDAB"),
                    {FirstRealDayNumber, locality});
    const ResultSet debits = db.select(QStringLiteral("SELECT IDAB, SOLD, PENAL, PENALPE, PENALDATA, MAXSOLD FROM Debite "
                                                      "WHERE SOLD<>0 ORDER BY IDAB, DATADEB, IDDEB"));
    const QHash<qint64, std::pair<int, int>> ranges = rangesByIdab(debits);

    const int today = Clock::todayDayNumber();
    const Money threshold = Money::max(request.minTotal, Money());
    std::vector<Debtor> debtors;
    {
        ProgressScope scope(progress, QStringLiteral("Caut abonatii cu datorii..."), subscribers.rowCount());
        for (int i = 0; i < subscribers.rowCount(); ++i) {
            progress.step();
            const auto it = ranges.constFind(subscribers.integer(i, QStringLiteral("IDAB")));
            if (it == ranges.constEnd())
                continue;
            ResultSet own;
            own.setColumns(debits.columns(), debits.declaredTypes());
            for (int d = it->first; d < it->second; ++d)
                own.appendRow(debits.rows()[size_t(d)]);
            const ActAmounts amounts = ActAmounts::fromTotals(computeBalanceTotals(own, today));
            if (checkActAllowed(amounts.total) || amounts.total < threshold)
                continue;
            debtors.push_back({i, amounts});
        }
    }
    if (debtors.empty()) {
        outcome.refusal = Refusal::asMessage(QStringLiteral("Urmariri in masa"),
                                             QStringLiteral("\rNici un abonat nu are datorii de cel putin %1 lei!")
                                                 .arg(Money::max(threshold, Money::fromUnits(1)).toString()));
        return outcome;
    }

    const qint64 count = qint64(debtors.size());
    const qint64 firstId = Counters::takeBlock(session.sharedSettings(), QStringLiteral("IDURM"), count);
    outcome.firstNumber = proposedActNumber(session, request.type);
    outcome.lastNumber = outcome.firstNumber + count - 1;
    Statement insert = db.prepare(QStringLiteral(
        "INSERT INTO Urmarire (IDURM, IDAB, TIPACT, UNR, UDATA, NUME, LOC, STRADA, NR, ROL, CNP, NRCON, DATACON, DEBIT, "
        "PENAL, TOTAL) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    auto text = [&](int row, const char *field) { return subscribers.text(row, QLatin1String(field)); };
    for (qint64 k = 0; k < count; ++k) {
        const Debtor &d = debtors[size_t(k)];
        insert.exec({firstId + k, subscribers.integer(d.row, QStringLiteral("IDAB")), request.type,
                     QString::number(outcome.firstNumber + k), request.date, text(d.row, "NUME"), text(d.row, "LOC"),
                     text(d.row, "STRADA"), text(d.row, "NR"), text(d.row, "ROL"), text(d.row, "CNP"),
                     text(d.row, "NRCON"), subscribers.integer(d.row, QStringLiteral("DATACON")),
                     d.amounts.debit.roundedToCents().toVariant(), d.amounts.penalties.roundedToCents().toVariant(),
                     d.amounts.total.roundedToCents().toVariant()});
        outcome.total += d.amounts.total.roundedToCents();
    }
    const ResultSet acts = db.select(QStringLiteral("SELECT * FROM Urmarire WHERE IDURM>=? AND IDURM<=? ORDER BY IDURM"),
                                     {firstId, firstId + count - 1});
    std::vector<int> rows(size_t(acts.rowCount()));
    for (int i = 0; i < acts.rowCount(); ++i)
        rows[size_t(i)] = i;
    outcome.letterPath = outPath.isEmpty() ? newWorkFile(session.tempFolder, QStringLiteral("Executare"), QStringLiteral(".rtf"))
                                           : outPath;
    try {
        writeLetters(letterTemplatePath(session, request.type), outcome.letterPath, acts, rows, unit);
        // The numbering moves only once the letters exist.
        Counters::set(session.sharedSettings(), request.type, outcome.lastNumber + 1);
        outcome.acts = int(count);
        addLog(db, session,
               QStringLiteral("Urmariri in masa ") + request.type + QStringLiteral(": %1 acte, nr. %2-%3, total %4 lei.")
                   .arg(count)
                   .arg(outcome.firstNumber)
                   .arg(outcome.lastNumber)
                   .arg(outcome.total.toString()));
        tx.commit();
    } catch (...) {
        if (!outcome.letterPath.isEmpty())
            QFile::remove(outcome.letterPath);
        throw;
    }
    return outcome;
}

} // namespace vestronia
