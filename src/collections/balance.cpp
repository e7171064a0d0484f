// The subscriber's balance and the one penalty rule, in exact integer arithmetic (money
// in ten-thousandths, the product carried in 128 bits so no rate or rest overflows).

#include "collections/balance.h"

#include "core/dates.h"
#include "ledger/subscriberpanels.h"
#include "store/database.h"

#include <cstdlib>

namespace vestronia {

Money computePenalty(const QString &unit, const QString &cap, int penaltyStart, Money percent, Money rest, int day)
{
    // A start of 0 means "never overdue"; without this guard it would count from 1899.
    // A negative percent is no penalty rather than a credit.
    if (rest <= Money() || percent <= Money() || !isDateSet(penaltyStart) || penaltyStart >= day)
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
    return Money::fromLei(qint64(shifted / unitLei));
}

AdvanceCoverage coverWithAdvances(const ResultSet &debits)
{
    AdvanceCoverage c;
    const int cSold = debits.columnIndex(QStringLiteral("SOLD"));
    if (cSold < 0)
        return c;
    c.uncovered.reserve(debits.rowCount());
    Money pool;
    for (int i = 0; i < debits.rowCount(); ++i) {
        const Money rest = Money::fromVariant(debits.value(i, cSold));
        if (rest.isNegative()) {
            pool -= rest;
            c.uncovered.append(Money());
        } else if (pool >= rest) {
            pool -= rest;
            c.uncovered.append(Money());
        } else {
            c.uncovered.append(rest - pool);
            pool = Money();
        }
    }
    c.advance = pool;
    return c;
}

BalanceTotals computeBalanceTotals(const ResultSet &debits, int today)
{
    BalanceTotals t;
    const AdvanceCoverage cover = coverWithAdvances(debits);
    const int cPenal = debits.columnIndex(QStringLiteral("PENAL"));
    const int cUnit = debits.columnIndex(QStringLiteral("PENALPE"));
    const int cStart = debits.columnIndex(QStringLiteral("PENALDATA"));
    const int cCap = debits.columnIndex(QStringLiteral("MAXSOLD"));
    auto text = [&](int row, int col) { return col < 0 ? QString() : debits.value(row, col).toString().trimmed(); };
    for (int i = 0; i < cover.uncovered.size(); ++i) {
        const Money uncovered = cover.uncovered[i];
        if (uncovered <= Money())
            continue;
        t.rest += uncovered;
        t.penalties += computePenalty(text(i, cUnit), text(i, cCap),
                                      cStart < 0 ? 0 : int(debits.value(i, cStart).toLongLong()),
                                      cPenal < 0 ? Money() : Money::fromVariant(debits.value(i, cPenal)), uncovered, today);
    }
    t.advance = cover.advance;
    t.total = t.penalties + t.rest - t.advance;
    return t;
}

BalanceTotals balanceOf(Database &db, qint64 idab, int today)
{
    return computeBalanceTotals(openDebitsOf(db, idab), today);
}

QString balanceText(Money value)
{
    return value.toString();
}

} // namespace vestronia
