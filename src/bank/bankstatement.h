#pragma once
// What the statement readers hand on: the statements of one file, each with its account
// and its entries, whatever the format. Readers refuse a damaged file whole by throwing
// BankFileError with a message a clerk can act on; nothing here touches the data folder.

#include "core/error.h"
#include "core/money.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace vestronia {

class BankFileError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

// One movement on the account. A camt.053 entry that holds several transactions gives one
// BankEntry per transaction; an MT940 statement line gives one.
struct BankEntry
{
    int bookingDay = 0;   // day number of the booking date (the value date when there is none)
    Money amount;         // always positive; the direction is in credit
    bool credit = false;  // money into the account
    bool booked = true;   // camt "BOOK"; pending and information entries are not
    bool reversal = false; // a reversal of an earlier entry (MT940 "RC"/"RD", camt RvslInd)
    QString currency;     // ISO 4217, upper case
    QString reference;    // the bank's reference of the entry (or transaction); empty when none
    QString payer;        // the ordering party's name
    QString text;         // the payment text (remittance information)
    // Set by a reader when an entry's details do not add up (transactions whose amounts
    // differ from the entry's); such an entry is never matched automatically.
    QString problem;
};

struct BankStatement
{
    QString format;       // "camt.053" or "MT940"
    QString id;           // statement identifier (camt Stmt/Id, MT940 :20:)
    QString sequence;     // sequence number (camt ElctrncSeqNb/LglSeqNb, MT940 :28C:)
    QString account;      // IBAN (or the account identifier the bank gives), no blanks, upper case
    QString currency;     // the account's currency when the file says it
    std::vector<BankEntry> entries;

    // "<id> / <sequence>" as the change log names the statement.
    QString label() const;
};

// Bounds for every reader: a statement file is a few megabytes at most.
constexpr qsizetype MaxStatementFileBytes = 32 * 1024 * 1024;
constexpr int MaxStatementEntries = 200000;
constexpr int MaxStatementsPerFile = 10000; // a statement a day for years, for several accounts
constexpr int MaxStatementTextLength = 2000; // payment text, payer, references: longer is cut

// Reads camt.053 (versions .001.02 to .001.08). Throws BankFileError.
std::vector<BankStatement> readCamt053(const QByteArray &bytes);
// Reads SWIFT MT940 (with or without the block envelope). Throws BankFileError.
std::vector<BankStatement> readMt940(const QByteArray &bytes);
// Tells the format from the first bytes and reads it. Throws BankFileError.
std::vector<BankStatement> readStatementBytes(const QByteArray &bytes);
// Reads a file from disk (bounded in size). Throws BankFileError.
std::vector<BankStatement> readStatementFile(const QString &path);

// An account identifier as compared: blanks removed, upper case.
QString normalizedAccount(const QString &account);
// Whether an IBAN's check digits are right (ISO 13616 mod 97).
bool isValidIban(const QString &iban);

} // namespace vestronia
