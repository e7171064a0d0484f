#pragma once
// The one source of "today" and "now". Tests and the command-line tool fix the date;
// the time of day keeps running so log entries still have a real time.

#include <QDate>
#include <QDateTime>

namespace vestronia::Clock {

QDate today();
QDateTime now();
int todayDayNumber();
// Makes every later today() return this date (now() keeps the real time of day).
void setToday(const QDate &date);
// Fixes date and time exactly (tests).
void setNow(const QDateTime &moment);
// Back to the system clock.
void reset();

} // namespace vestronia::Clock
