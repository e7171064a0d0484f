#pragma once
// Undoing a subscriber's most recent collection: each debit it touched gets back what the
// collection's lines took off its rest, the advance it created goes (found by subscriber
// and advance row, never by number alone), and the document is marked cancelled
// (receipts) or deleted with its lines (every other type). Newest first only.

#include "ledger/refusal.h"

#include <QString>

namespace vestronia {

class Database;
class Progress;
struct Session;

// The refusal when idchit is not the subscriber's most recent active document (a
// cancelled one at the top does not count), is no subscriber's collection, or created an
// advance that was changed or spent since.
MaybeRefusal checkCancellation(Database &db, qint64 idchit);
// "\rDoriti sa anulati CHITANTA nr.12 / 05.06.2024 ?"
QString cancellationQuestion(Database &db, qint64 idchit);
// Checks, then cancels in one transaction with the three progress steps. Refuses, and
// changes nothing, when the advance the collection created was changed or spent since.
MaybeRefusal cancelCollection(Database &db, const Session &session, qint64 idchit, Progress &progress);

} // namespace vestronia
