// The subscriber's balance and the one penalty rule, in exact integer arithmetic (money
// in ten-thousandths, the product carried in 128 bits so no rate or rest overflows).

#include "ledger/balancetotals.h"

#include "core/dates.h"
#include "store/database.h"

#include <cstdlib>

namespace vestronia {

Money latePenalty(const QString &unit, const QString &cap, int penaltyStart, Money percent, Money rest, int day)
{
    if (rest <= Money() || percent.isZero() || !isDateSet(penaltyStart) || penaltyStart >= day)
        return {};
    const qint64 elapsed = std::llabs(qint64(day) - penaltyStart);
    // A month is 30.4375 days; the started month counts.
    const qint64 periods = unit == QLatin1String("luna") ? elapsed * 10000 / 304375 + 1 : elapsed + 1;
    // rest and percent carry four decimals each, percent is per hundred: the product is
    // in units of 1e-10 lei.
    __int128 p = __int128(periods) * rest.units() * percent.units();
    const __int128 restScaled = __int128(rest.units()) * 1000000;
    if (cap == QLatin1String("X") && p > restScaled)
        p = restScaled;
    const __int128 unitLei = 10000000000LL;
    // Half up, as whole lei (truncating p + 0.5 towards zero).
    const __int128 shifted = p + unitLei / 2;
    const qint64 lei = qint64(shifted / unitLei);
    return Money::fromLei(lei);
}

BalanceTotals computeBalanceTotals(const ResultSet &debits, int today)
{
    BalanceTotals t;
    Money pool;
    for (int i = 0; i < debits.rowCount(); ++i) {
        const Money rest = debits.money(i, QStringLiteral("SOLD"));
        if (rest.isNegative()) {
            pool -= rest;
            continue;
        }
        if (pool >= rest) {
            pool -= rest;
            continue;
        }
        const Money uncovered = rest - pool;
        pool = Money();
        t.rest += uncovered;
        t.penalties += latePenalty(debits.text(i, QStringLiteral("PENALPE")), debits.text(i, QStringLiteral("MAXSOLD")),
                                   int(debits.integer(i, QStringLiteral("PENALDATA"))),
                                   debits.money(i, QStringLiteral("PENAL")), uncovered, today);
    }
    t.advance = pool;
    t.total = t.penalties + t.rest - t.advance;
    return t;
}

} // namespace vestronia
