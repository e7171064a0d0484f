#pragma once
// Bank statements into collections: the plan (each entry with what will happen to it and
// why) and the recording of a plan, one transaction per statement, through the same
// collection service as the collection dialog. Each recorded transfer keeps a key of its
// bank entry in the document's series (DOCSERIA of its "VIRAMENT BANCAR" row), so the
// entry is recognised in any later statement that repeats it, on any workstation and in
// any backup of the data folder, also when the bank gives the same day in the other format
// (with its references in camt.053, without them in MT940).

#include "bank/bankstatement.h"
#include "bank/transfermatch.h"
#include "core/progress.h"

#include <QString>
#include <vector>

namespace vestronia {

class Database;
struct Session;

enum class BankOutcome {
    ToRecord,        // matched; recorded when the plan is recorded
    Recorded,
    Parked,          // waits for the clerk: reason in note
    Ignored,         // not a transfer into the account in lei: reason in note
    AlreadyRecorded, // recorded before (or repeated earlier in this file)
    Dropped,         // set aside by the clerk
};
QString bankOutcomeText(BankOutcome outcome); // "de inregistrat", "inregistrat", "in asteptare", ...

struct BankLine
{
    int statement = 0;      // index into BankImport::statements
    int position = 0;       // entry number within its statement, from 1
    BankEntry entry;
    QString key;            // what identifies the entry (stored in DOCSERIA)
    // For an entry with a reference: the key the same transfer has in a format that gives
    // none (the same statement read as MT940 with NONREF). Empty for an entry without one.
    QString keyWithoutReference;
    // Day, amount, payer and text as the collection stores them, and how many entries of
    // this statement with the same signature came before it: a transfer without a
    // reference is recognised by it when it was recorded from a statement that gave one.
    QString signature;
    int signatureRepeat = 0;
    BankOutcome outcome = BankOutcome::Ignored;
    qint64 idab = 0;
    QString subscriber;     // the subscriber's name
    MatchReason reason = MatchReason::None; // None when assigned by the clerk
    QString note;           // why parked, ignored or already recorded
    qint64 idchit = 0;      // the document once recorded
};

struct BankImport
{
    std::vector<BankStatement> statements;
    std::vector<BankLine> lines; // every entry of every statement, in file order
    QStringList foreignAccounts; // statement accounts other than the service's IBAN (when one is set)
};

// The document type of every recorded transfer.
QString bankTransferDocType(); // "VIRAMENT BANCAR"

// Keys: "B" and 19 letters/digits of a hash over the account and the bank's reference, or,
// for an entry without one, over its day, amount, the letters and digits of its text and
// of the payer's name (blanks left out, the name cut where MT940 may cut it) and how many
// identical entries came before it that day in the same statement. Fits DOCSERIA (20).
QString bankEntryKey(const QString &account, const BankEntry &entry, int repeatWithinDay);

// Day, amount, payer and payment text as a recorded collection keeps them (its DOCDATA,
// INCASAT, NUMEPLAT and REPREZ), reduced to letters and digits so that the blanks a format
// puts where it cut the text into lines do not count, the payer's name cut as in the key.
QString transferSignature(int day, Money amount, const QString &payer, const QString &text);

// The service's own account (administration), kept in the shared settings file.
QString serviceIban(const Session &session);
void setServiceIban(const Session &session, const QString &iban);

// Reads nothing from disk but the data folder: matches every entry against the register,
// marks what was recorded before, what is ignored and what is parked (unknown or ambiguous
// subscriber, a date before the subscriber's latest collection, details that do not add up).
BankImport planBankImport(Database &db, const Session &session, std::vector<BankStatement> statements);

// The clerk's decisions on a plan. Assigning keeps the line's key; the line is checked
// against the subscriber's latest collection like any match.
void assignLine(Database &db, BankImport &import, int line, qint64 idab);
void dropLine(BankImport &import, int line);

struct BankRecordSummary
{
    int recorded = 0;
    Money sum;
    int parked = 0; // refused by the collection service or recorded meanwhile elsewhere
};

// Records every ToRecord line: per statement one transaction, the collections in booking
// order, and one change-log entry naming the statement with the count and sum. A refusal
// of the collection service parks the line with its message; anything thrown rolls the
// statement back whole (and is rethrown). Lines already recorded in the data folder when
// the transaction starts are marked so and skipped.
BankRecordSummary recordBankImport(Database &db, const Session &session, BankImport &import, Progress &progress);

} // namespace vestronia
