#pragma once
// The date rules of periodic debiting, as pure functions of day numbers and month
// indexes: which months the monthly run debits, which days the catch-up of a new
// subscription debits, the date and text of a debit and the day its penalty starts.

#include <QString>
#include <QVector>

namespace vestronia {

// Day number of the given debit day of a month index. A debit day past the month's end
// is taken as the month's last day, one below 1 as the 1st.
int debitDayNumber(int monthIndex, int debitDay);

// The day number moved by whole calendar months, keeping the day of the month or
// taking the last day of a shorter month.
int addMonthsToDay(int dayNumber, int months);

// The day penalties start for a debit dated on debitDay: "luna" counts months, any
// other unit ("ziua", empty) counts days.
int penaltyStartDay(int debitDay, const QString &unit, int count);

// Text of a periodic debit: the subscription's name, " - " and "MM.yyyy", cut to the
// 60 characters of the field.
QString debitText(const QString &subscriptionName, int monthIndex);

// What the monthly run needs to know about one subscription and its subscriber.
struct MonthlyDue
{
    int lastMonth = 0;    // LUNAADD
    int periodMonths = 1; // PERLUNI
    int entryDay = 0;     // subscriber's DATAIN
    int exemptDay = 0;    // subscriber's DATASCUT
    int startDay = 0;     // subscription's DATASTART
};

// The months the monthly run debits for one subscription up to and including
// currentMonth: from the first month due (one period after LUNAADD, not before the
// entry month, the month after an exemption's month, or the start month) in steps of
// ONE month. A subscription that has neither a last month, an entry day nor a start
// day is debited for the current month only.
QVector<int> monthsDue(const MonthlyDue &due, int currentMonth);

// What the catch-up of a newly created subscription needs.
struct CatchUpSpan
{
    int entryDay = 0;     // subscriber's DATAIN; no date = no debits
    int exemptDay = 0;    // subscriber's DATASCUT
    int leaveDay = 0;     // subscriber's DATAOUT
    int startDay = 0;     // subscription's DATASTART
    int stopDay = 0;      // subscription's DATASTOP
    int debitDay = 1;     // ZIUAIMP
    int periodMonths = 1; // PERLUNI
};

// The debit days the catch-up writes: from the debit day of the month the subscription
// starts in (the later of entry and start, the day after an exemption), in steps of
// PERLUNI months, every day strictly before today, its stop day and the subscriber's
// leaving day.
QVector<int> catchUpDays(const CatchUpSpan &span, int today);

} // namespace vestronia
