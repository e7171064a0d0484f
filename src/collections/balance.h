#pragma once
// What a subscriber owes today, as the INCASARI panel shows it: the unpaid rest of his
// open debits, their late-payment penalties, the advance he has paid and the total; and
// the one penalty rule every figure of the program uses. The debits are taken in the
// panel's order (date, then identifier), and an advance covers only the debits that
// come after it.

#include "core/money.h"

#include <QList>
#include <QString>

namespace vestronia {

class Database;
class ResultSet;

struct BalanceTotals
{
    Money rest;      // "- debit"
    Money penalties; // "- penalitati"
    Money advance;   // "- avans"
    Money total;     // "TOTAL:" = rest + penalties - advance
};

// The late-payment penalty of a rest at a reference day, in whole lei. Nothing while the
// rest or the percent is not positive, when there is no penalty start, or until the day
// after the start; then per day (any unit but "luna") or per started month of 30.4375
// days ("luna"); at most the rest when cap is exactly "X"; rounded half up. Exact: the
// product is carried in 128-bit integers, never in a double.
Money computePenalty(const QString &unit, const QString &cap, int penaltyStart, Money percent, Money rest, int day);

// The advance rule, the one walk every figure of an open balance uses: in panel order,
// an advance (a negative rest) goes into a pool that covers the rests of the debits
// after it, the oldest first. uncovered[i] is what row i still owes once the advances
// are taken into account (zero for an advance and for a covered debit); advance is what
// is left in the pool after the last row.
struct AdvanceCoverage
{
    QList<Money> uncovered;
    Money advance;
};
AdvanceCoverage coverWithAdvances(const ResultSet &openDebits);

// The totals over open debits (a result with the columns SOLD, PENAL, PENALPE,
// PENALDATA, MAXSOLD) in panel order, at the given day.
BalanceTotals computeBalanceTotals(const ResultSet &openDebits, int today);

// The INCASARI figures of one subscriber at the given day (usually
// Clock::todayDayNumber()): reads his open debits from Debite. A subscriber without
// debits owes nothing.
BalanceTotals balanceOf(Database &db, qint64 idab, int today);

// A figure as the panel shows it: shortest decimal form, "0" for nothing.
QString balanceText(Money value);

} // namespace vestronia
