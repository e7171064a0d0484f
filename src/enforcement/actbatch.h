#pragma once
// Notices for every debtor in one run ("Urmariri in masa"): one act of the chosen type
// for every subscriber without a leaving date who owes at least a threshold today, with
// consecutive numbers from the type's counter, all in one transaction, and one letter
// file holding every letter, each on its own page.

#include "core/money.h"
#include "ledger/refusal.h"

#include <QDate>
#include <QString>

namespace vestronia {

class Database;
class Progress;
struct LetterUnit;
struct Session;

struct ActBatchRequest
{
    QString type;     // one of actTypes()
    QDate date;       // date of every act
    Money minTotal;   // least total owed; a subscriber who owes nothing never gets an act
    QString locality; // only this locality (LOC, any case); empty for all
};

struct ActBatchOutcome
{
    MaybeRefusal refusal; // nothing was written
    int acts = 0;
    qint64 firstNumber = 0;
    qint64 lastNumber = 0;
    Money total;          // sum of the acts' totals
    QString letterPath;   // the letter file written
};

// Runs the batch; progress counts the subscribers examined. The letters go to outPath,
// or to a new work file "Executare" of the TEMP folder when it is empty. Throws
// LetterError or VestroniaError; then nothing is recorded and no letter file remains.
ActBatchOutcome runActBatch(Database &db, const Session &session, const ActBatchRequest &request,
                            const LetterUnit &unit, Progress &progress, const QString &outPath = {});

} // namespace vestronia
