// Money arithmetic and its text forms.

#include "core/money.h"

#include <cmath>

namespace vestronia {

Money Money::fromDouble(double value)
{
    const double scaled = value * double(Scale);
    return fromUnits(std::int64_t(scaled < 0 ? scaled - 0.5 : scaled + 0.5));
}

std::optional<Money> Money::parse(const QString &input)
{
    QString text = input.trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    int i = 0;
    if (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+')) {
        negative = text[0] == QLatin1Char('-');
        ++i;
    }
    std::int64_t whole = 0;
    std::int64_t frac = 0;
    int fracDigits = 0;
    bool anyDigit = false;
    bool seenPoint = false;
    int roundDigit = -1;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('.')) {
            if (seenPoint)
                return std::nullopt;
            seenPoint = true;
            continue;
        }
        if (!c.isDigit() || c.unicode() > 127)
            return std::nullopt;
        anyDigit = true;
        const int d = c.unicode() - '0';
        if (!seenPoint) {
            if (whole > 99'999'999'999'999LL)   // beyond any amount the tables can hold
                return std::nullopt;
            whole = whole * 10 + d;
        } else if (fracDigits < 4) {
            frac = frac * 10 + d;
            ++fracDigits;
        } else if (roundDigit < 0) {
            roundDigit = d;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    while (fracDigits < 4) {
        frac *= 10;
        ++fracDigits;
    }
    std::int64_t units = whole * Scale + frac;
    if (roundDigit >= 5)
        ++units;
    return fromUnits(negative ? -units : units);
}

Money Money::fromVariant(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (value.metaType() == QMetaType::fromType<Money>())
        return value.value<Money>();
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return fromLei(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble());
    default:
        return parse(value.toString()).value_or(Money());
    }
}

Money Money::roundedToCents() const
{
    const std::int64_t step = Scale / 100;
    const std::int64_t r = m_units % step;
    std::int64_t base = m_units - r;
    if (r >= step / 2)
        base += step;
    else if (r <= -step / 2)
        base -= step;
    return fromUnits(base);
}

Money Money::times(double factor) const
{
    return fromDouble(toDouble() * factor);
}

QString Money::toString() const
{
    QString text = toFixed(4);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString Money::toFixed(int decimals) const
{
    if (decimals < 0)
        decimals = 0;
    if (decimals > 4)
        decimals = 4;
    std::int64_t divisor = 1;
    for (int i = decimals; i < 4; ++i)
        divisor *= 10;
    // Round half away from zero to the requested decimals.
    std::int64_t magnitude = m_units < 0 ? -m_units : m_units;
    magnitude = (magnitude + divisor / 2) / divisor;
    std::int64_t pow = 1;
    for (int i = 0; i < decimals; ++i)
        pow *= 10;
    const std::int64_t whole = magnitude / pow;
    const std::int64_t frac = magnitude % pow;
    QString text;
    if (m_units < 0 && magnitude != 0)
        text += QLatin1Char('-');
    text += QString::number(whole);
    if (decimals > 0)
        text += QLatin1Char('.') + QString::number(frac).rightJustified(decimals, QLatin1Char('0'));
    return text;
}

} // namespace vestronia
