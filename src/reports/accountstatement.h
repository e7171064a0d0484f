#pragma once
// The statement of account ("Fisa abonatului"): what a clerk hands a subscriber who asks
// what he owes and why. His identity and address, every debit since a chosen day with
// what was paid on it and by which documents, every movement with a running balance, and
// today's open rest by age with the penalties, the advance and the total that the
// collections panel shows.

#include "collections/balance.h"
#include "reports/reportoutcome.h"

#include <QList>
#include <QString>

namespace vestronia {

class Database;

struct StatementDebit
{
    qint64 iddeb = 0;
    int date = 0;        // day number
    int month = 0;       // month index
    QString text;
    Money amount;
    Money paid;          // arrears and current parts of the collections on it
    QString documents;   // the collections that paid it, "SERIA NR/dd.MM.yyyy; ..."
    Money rest;          // SOLD
};

// A debit or a collection document, in date order, with the balance after it.
struct StatementMovement
{
    int date = 0;
    QString document;    // "CHITANTA AB 12" for a document, empty for a debit
    QString text;        // the debit's text, or the payer for a document
    Money debit;
    Money collected;     // the document's amount net of what it paid out
    Money penalties;     // the part of it that paid penalties
    Money balance;       // debits minus what went to the debits, after this line
};

// Open rest by days past the penalty start (the start day itself counts as day 1).
struct RestByAge
{
    Money notDue;
    Money upTo30;
    Money upTo90;
    Money upTo365;
    Money over365;
};

struct AccountStatement
{
    qint64 idab = 0;
    QString name, rol, cnp, address;
    int since = 0;
    int today = 0;
    QList<StatementDebit> debits;
    Money openingBalance;          // the balance before `since`
    QList<StatementMovement> movements;
    RestByAge ages;
    BalanceTotals totals;          // as the collections panel shows them today
};

// Reads the statement; an unknown subscriber gives nullopt-like empty idab (0).
// Throws SqlError.
AccountStatement readAccountStatement(Database &db, qint64 idab, int since, int today);

// "Fisa abonatului" from the template "Fisa". An unknown subscriber gives the refusal
// "\rAbonatul nu exista!".
ReportOutcome accountStatementReport(Database &db, const QString &tempFolder, const QString &unitName, qint64 idab,
                                     int since, int today);

} // namespace vestronia
