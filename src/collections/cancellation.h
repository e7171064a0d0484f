#pragma once
// Undoing a subscriber's most recent collection: the debits get back the rests noted
// when it was recorded, an advance it created goes, and the document is marked cancelled
// (receipts) or deleted with its lines (every other type). Newest first only, so the
// noted rests always match the debits' state.

#include "ledger/refusal.h"

#include <QString>

namespace vestronia {

class Database;
class Progress;
struct Session;

// The refusal when idchit is not the subscriber's most recent active document (a
// cancelled one at the top does not count), or is no subscriber's collection.
MaybeRefusal checkCancellation(Database &db, qint64 idchit);
// "\rDoriti sa anulati CHITANTA nr.12 / 05.06.2024 ?"
QString cancellationQuestion(Database &db, qint64 idchit);
// Checks, then cancels in one transaction with the three progress steps. A refusal
// changes nothing.
MaybeRefusal cancelCollection(Database &db, const Session &session, qint64 idchit, Progress &progress);

} // namespace vestronia
