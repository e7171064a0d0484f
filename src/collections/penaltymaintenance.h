#pragma once
// The two operator tools on penalties: the freeze turns natural persons' penalties up to
// 31.12.2023 into one "Penalitati 2023" debit each and restarts on 1.1.2024 the penalty
// clock of their old debits that ran before it (a later start stays); "Refa" recomputes
// every debit's penalty start as one month after its date. Each runs as one transaction.

#include <QString>

namespace vestronia {

class Database;
class Progress;
struct Session;

struct FreezeOutcome
{
    qint64 accountId = 0;     // the settlement account
    int settlementDebits = 0; // subscribers who got a settlement debit
    QString listPath;         // the Pen2 work table: NUME, IDAB, PEN2023 per subscriber
};
FreezeOutcome freezePenalties(Database &db, const Session &session, Progress &progress);

// Returns the number of debits rewritten.
qint64 redatePenaltyStarts(Database &db, const Session &session, Progress &progress);

} // namespace vestronia
