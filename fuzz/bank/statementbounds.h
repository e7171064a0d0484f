// What both bank readers promise of any file they accept: at least one statement, entries
// within the reader's bounds (positive day, amount not negative, texts cut). The fuzzers
// abort when a reader breaks it.

#pragma once

#include "bank/bankstatement.h"

#include <cstdlib>
#include <vector>

inline void checkStatementBounds(const std::vector<vestronia::BankStatement> &statements)
{
    using namespace vestronia;
    if (statements.empty())
        std::abort();
    for (const BankStatement &s : statements) {
        if (s.entries.size() > size_t(MaxStatementEntries))
            std::abort();
        for (const BankEntry &e : s.entries) {
            if (e.bookingDay <= 0 || e.amount.isNegative() || e.text.size() > MaxStatementTextLength
                || e.payer.size() > MaxStatementTextLength || e.reference.size() > MaxStatementTextLength)
                std::abort();
        }
    }
}
