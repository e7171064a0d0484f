#pragma once
// The cash register book: the day view (balance carried, what came in and went out, the
// final balance), the cash-desk lines entered directly (IDAB -1) and their deletion.
// Subscribers' receipts ("CHITANTA") are part of the book; cancelled documents never.

#include "core/money.h"
#include "ledger/refusal.h"

#include <QString>
#include <QStringList>

namespace vestronia {

class Database;
class ResultSet;
struct Session;

struct CashDay
{
    Money previous; // "Sold precedent"
    Money in;       // "Total incasat"
    Money out;      // "Total platit"
    Money final() const { return previous + in - out; }
};

// The rows of the book on one day, in entry order (the window's list).
ResultSet cashDayRows(Database &db, int day);
// The figures of one day. The carried balance counts every row of the book of earlier
// days (subscribers' receipts, cash-desk receipts and payments), as the printed book.
CashDay cashDay(Database &db, int day);

// The document types offered for a payment (payment) or a receipt, without the
// subscriber-only types.
QStringList cashDocumentTypes(Database &db, bool payment);

struct CashEntry
{
    bool payment = false; // "Adauga Plata"; otherwise "Adauga Incasare"
    QString docType;
    QString series;
    qint64 number = 0;
    Money amount;
    int day = 0;
    QString purpose;
};
// The dialog's refusals: amount not above 0 ("Suma"), no document type ("DocJus"), no
// date or one after today ("DocData").
// Cleans the texts.
MaybeRefusal checkCashEntry(CashEntry &entry);
struct CashOutcome
{
    MaybeRefusal refusal;
    qint64 idchit = 0;
};
CashOutcome addCashEntry(Database &db, const Session &session, CashEntry entry);

// Only cash-desk lines may be deleted here; a subscriber's receipt is cancelled in the
// register screen.
MaybeRefusal checkCashDeletion(Database &db, qint64 idchit);
QString cashDeletionQuestion(Database &db, qint64 idchit); // "\rDoriti sa stergeti DOCJUS?"
MaybeRefusal deleteCashEntry(Database &db, const Session &session, qint64 idchit);

// The condition of the book's rows, for the printed book and its tests.
QString cashBookCondition();

} // namespace vestronia
