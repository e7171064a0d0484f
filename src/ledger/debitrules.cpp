// Date arithmetic of periodic debits. Months always move through a date (the first of
// the month) so that December is followed by January of the next year.

#include "ledger/debitrules.h"

#include "core/dates.h"

#include <QDate>

#include <algorithm>
#include <array>
#include <utility>

namespace vestronia {

namespace {
// The first day of a month index, invalid for a malformed index.
QDate firstDayOf(int monthIndex)
{
    return QDate(monthIndex / 100, monthIndex % 100, 1);
}

bool isMonthIndex(int monthIndex)
{
    return monthIndex >= 100000 && firstDayOf(monthIndex).isValid();
}
} // namespace

int debitDayNumber(int monthIndex, int debitDay)
{
    return dayNumberOf(monthIndex, std::max(1, debitDay));
}

int addMonthsToDay(int dayNumber, int months)
{
    return dayNumberOf(dateOfDayNumber(dayNumber).addMonths(months));
}

int penaltyStartDay(int debitDay, const QString &unit, int count)
{
    if (unit == QLatin1String("luna"))
        return addMonthsToDay(debitDay, count);
    return debitDay + count;
}

QString debitText(const QString &subscriptionName, int monthIndex)
{
    // A run writes the same few months for every subscription: their texts are kept
    // rather than formatted again for each debit.
    thread_local std::array<std::pair<int, QString>, 16> recent;
    auto &[month, text] = recent[size_t(unsigned(monthIndex / 100 * 12 + monthIndex % 100) % recent.size())];
    if (month != monthIndex || text.isNull()) {
        month = monthIndex;
        text = monthText(monthIndex);
    }
    const QString full = subscriptionName + QStringLiteral(" - ") + text;
    return full.left(60);
}

QVector<int> monthsDue(const MonthlyDue &due, int currentMonth)
{
    QVector<int> months;
    if (!isMonthIndex(currentMonth))
        return months;
    const int period = std::max(1, due.periodMonths);
    const bool neverDebited = !isMonthIndex(due.lastMonth);
    const int last = neverDebited ? 190001 : due.lastMonth;
    int first = monthIndexOf(firstDayOf(last).addMonths(period));

    const int entryMonth = monthIndexOfDay(due.entryDay);
    if (first < entryMonth)
        first = entryMonth;
    const int exemptMonth = monthIndexOfDay(due.exemptDay);
    if (first < exemptMonth)
        first = nextMonthIndex(exemptMonth);
    const int startMonth = monthIndexOfDay(due.startDay);
    if (first < startMonth)
        first = startMonth;
    // Nothing says when such a subscription began; debiting it from 1900 on would bury
    // the subscriber under a century of debits.
    if (neverDebited && !isDateSet(due.entryDay) && !isDateSet(due.startDay))
        first = std::max(first, currentMonth);

    // Both ends are month indexes of real dates here: the next month is plain arithmetic.
    if (first <= currentMonth)
        months.reserve((currentMonth / 100 - first / 100) * 12 + currentMonth % 100 - first % 100 + 1);
    for (int m = first; m <= currentMonth; m = m % 100 == 12 ? (m / 100 + 1) * 100 + 1 : m + 1)
        months.append(m);
    return months;
}

QVector<int> catchUpDays(const CatchUpSpan &span, int today)
{
    QVector<int> days;
    if (!isDateSet(span.entryDay))
        return days;
    int from = std::max(span.entryDay, span.startDay);
    if (from < span.exemptDay)
        from = span.exemptDay + 1;
    int until = today;
    if (isDateSet(span.stopDay) && span.stopDay < until)
        until = span.stopDay;
    if (isDateSet(span.leaveDay) && span.leaveDay < until)
        until = span.leaveDay;

    const int period = std::max(1, span.periodMonths);
    const QDate firstMonth = dateOfDayNumber(from);
    for (int k = 0;; k += period) {
        const int month = monthIndexOf(QDate(firstMonth.year(), firstMonth.month(), 1).addMonths(k));
        const int day = debitDayNumber(month, span.debitDay);
        if (day >= until)
            break;
        days.append(day);
    }
    return days;
}

} // namespace vestronia
