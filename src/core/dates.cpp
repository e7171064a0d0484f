// Conversions between dates, day numbers and month indexes.

#include "core/dates.h"

#include <QStringList>

namespace vestronia {

namespace {
const QDate &epoch()
{
    static const QDate d(1899, 12, 30);
    return d;
}
} // namespace

int dayNumberOf(const QDate &date)
{
    return date.isValid() ? int(epoch().daysTo(date)) : 0;
}

QDate dateOfDayNumber(int dayNumber)
{
    return epoch().addDays(dayNumber);
}

int monthIndexOf(const QDate &date)
{
    return date.isValid() ? date.year() * 100 + date.month() : 0;
}

int monthIndexOfDay(int dayNumber)
{
    return isDateSet(dayNumber) ? monthIndexOf(dateOfDayNumber(dayNumber)) : 0;
}

int nextMonthIndex(int monthIndex)
{
    const QDate first(monthIndex / 100, monthIndex % 100, 1);
    return first.isValid() ? monthIndexOf(first.addMonths(1)) : 0;
}

int dayNumberOf(int monthIndex, int day)
{
    if (monthIndex < 100000 || day < 1)
        return 0;
    const QDate first(monthIndex / 100, monthIndex % 100, 1);
    if (!first.isValid())
        return 0;
    return dayNumberOf(QDate(first.year(), first.month(), qMin(day, first.daysInMonth())));
}

QString monthText(int monthIndex)
{
    if (monthIndex < 100000)
        return QStringLiteral("-");
    return QStringLiteral("%1.%2").arg(monthIndex % 100, 2, 10, QLatin1Char('0')).arg(monthIndex / 100);
}

QString dayText(int dayNumber)
{
    return isDateSet(dayNumber) ? dateText(dateOfDayNumber(dayNumber)) : QStringLiteral("-");
}

QString dateText(const QDate &date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

std::optional<QDate> parseDateText(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    bool okD = false, okM = false, okY = false;
    const int d = parts[0].toInt(&okD), m = parts[1].toInt(&okM), y = parts[2].toInt(&okY);
    if (!okD || !okM || !okY || parts[2].size() != 4)
        return std::nullopt;
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

int weekNumberOf(const QDateTime &moment)
{
    const qint64 days = epoch().daysTo(moment.date());
    const double fraction = moment.time().msecsSinceStartOfDay() / 86400000.0;
    return int((double(days) + fraction) / 7.0);
}

} // namespace vestronia
