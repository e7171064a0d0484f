#pragma once
// Brings a data folder written by an older version up to the current tables: missing
// columns are added with every row kept, the letters are refreshed below level 37, and
// the maintenance of the 2023 penalty settlement runs when its account exists.

#include <QtGlobal>

namespace vestronia {

class Database;
struct Session;

// The letter models are refreshed when the stored schema level is below this.
constexpr int LetterRefreshLevel = 37;

void upgradeSchema(Database &db, const Session &session);

// Keeps the open "Penalitati 2023" settlement debits dated today until 29.11.2024, then
// removes (once per data folder) those that received no money.
void maintainPenaltySettlement(Database &db, const Session &session, qint64 settlementAccount);

} // namespace vestronia
