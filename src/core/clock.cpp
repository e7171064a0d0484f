// The program clock: the system clock unless a test or --today fixed it.

#include "core/clock.h"

#include "core/dates.h"

namespace vestronia::Clock {

namespace {
QDate g_fixedDate;
QDateTime g_fixedMoment;
} // namespace

QDate today()
{
    return now().date();
}

QDateTime now()
{
    if (g_fixedMoment.isValid())
        return g_fixedMoment;
    const QDateTime real = QDateTime::currentDateTime();
    if (g_fixedDate.isValid())
        return QDateTime(g_fixedDate, real.time());
    return real;
}

int todayDayNumber()
{
    return dayNumberOf(today());
}

void setToday(const QDate &date)
{
    g_fixedMoment = QDateTime();
    g_fixedDate = date;
}

void setNow(const QDateTime &moment)
{
    g_fixedDate = QDate();
    g_fixedMoment = moment;
}

void reset()
{
    g_fixedDate = QDate();
    g_fixedMoment = QDateTime();
}

} // namespace vestronia::Clock
