#pragma once
// What the selected subscriber owes today, as the INCASARI panel shows it: the unpaid
// rest of his debits, their late-payment penalties, the advance he has paid and the
// total. The debits are taken in the panel's order (date, then identifier), and an
// advance covers only the debits that come after it.

#include "core/money.h"

#include <QString>

namespace vestronia {

class ResultSet;

struct BalanceTotals
{
    Money rest;      // "- debit"
    Money penalties; // "- penalitati"
    Money advance;   // "- avans"
    Money total;     // "TOTAL:" = rest + penalties - advance
};

// The late-payment penalty of a rest at a reference day, in whole lei: nothing until the
// day after the penalty start; then per day ("zi") or per started month of 30.4375 days
// ("luna"); at most the rest when cap is "X"; rounded half up.
Money latePenalty(const QString &unit, const QString &cap, int penaltyStart, Money percent, Money rest, int day);

// The totals over open debits (columns SOLD, PENAL, PENALPE, PENALDATA, MAXSOLD) in
// panel order.
BalanceTotals computeBalanceTotals(const ResultSet &openDebits, int today);

} // namespace vestronia
