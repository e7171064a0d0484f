#pragma once
// Day numbers (days since 30.12.1899; below 1000 = no date), month indexes
// (year*100+month; below 100000 = no month) and their display forms.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace vestronia {

// Day numbers below this value mean "no date".
constexpr int FirstRealDayNumber = 1000;

int dayNumberOf(const QDate &date);
QDate dateOfDayNumber(int dayNumber);
inline bool isDateSet(int dayNumber) { return dayNumber >= FirstRealDayNumber; }

int monthIndexOf(const QDate &date);
int monthIndexOfDay(int dayNumber);
// The month after the given one, found through the first day of the month.
int nextMonthIndex(int monthIndex);
// The day number of the given day of a month index; 0 when the index is below 100000
// or the day below 1. Days past the month's end are clipped to its last day.
int dayNumberOf(int monthIndex, int day);
// "MM.yyyy", or "-" below 100000.
QString monthText(int monthIndex);
// Display twin of a day-number field: "dd.MM.yyyy", or "-" for no date.
QString dayText(int dayNumber);
// "dd.MM.yyyy" of a date.
QString dateText(const QDate &date);
// Reads "dd.MM.yyyy" (also d.M.yyyy); nothing for anything else.
std::optional<QDate> parseDateText(const QString &text);
// Whole weeks since day 0 of the day-number scale, counting the time of day.
int weekNumberOf(const QDateTime &moment);

} // namespace vestronia
