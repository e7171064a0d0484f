#pragma once
// Exact money: a count of ten-thousandths of a leu in an int64. Money never passes
// through a double between two steps; doubles appear only at the SQL boundary, where a
// DECIMAL(10,2) value is rounded back to four decimals at once.

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <compare>
#include <cstdint>
#include <optional>

namespace vestronia {

class Money
{
public:
    static constexpr std::int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(std::int64_t tenThousandths) { Money m; m.m_units = tenThousandths; return m; }
    static constexpr Money fromLei(std::int64_t lei) { return fromUnits(lei * Scale); }
    // Rounds half away from zero to four decimals.
    static Money fromDouble(double value);
    // Reads "12", "12.5", "-3.25", " 1,5 " (comma taken as the decimal point). More than
    // four decimals are rounded. Returns nothing for text that is not a number.
    static std::optional<Money> parse(const QString &text);
    // NULL and non-numbers read as zero; numbers, and numeric text, are converted exactly.
    static Money fromVariant(const QVariant &value);

    constexpr std::int64_t units() const { return m_units; }
    double toDouble() const { return double(m_units) / double(Scale); }
    // The value for a bound SQL parameter.
    QVariant toVariant() const { return QVariant(toDouble()); }

    // Rounded to two decimals (half away from zero), as a DECIMAL(10,2) field holds it.
    Money roundedToCents() const;
    // Shortest text: "12.5", "12", "-0.25" (decimal point, no thousands separator).
    QString toString() const;
    // Fixed text with the given number of decimals: "12.50".
    QString toFixed(int decimals = 2) const;

    constexpr bool isZero() const { return m_units == 0; }
    constexpr bool isNegative() const { return m_units < 0; }

    constexpr Money operator-() const { return fromUnits(-m_units); }
    constexpr Money &operator+=(Money o) { m_units += o.m_units; return *this; }
    constexpr Money &operator-=(Money o) { m_units -= o.m_units; return *this; }
    friend constexpr Money operator+(Money a, Money b) { return fromUnits(a.m_units + b.m_units); }
    friend constexpr Money operator-(Money a, Money b) { return fromUnits(a.m_units - b.m_units); }
    // Multiplies by a whole count (persons, months).
    friend constexpr Money operator*(Money a, std::int64_t n) { return fromUnits(a.m_units * n); }
    // Multiplies by a factor and rounds the result half away from zero to four decimals.
    Money times(double factor) const;

    friend constexpr auto operator<=>(Money, Money) = default;
    friend constexpr bool operator==(Money, Money) = default;

    static constexpr Money min(Money a, Money b) { return a < b ? a : b; }
    static constexpr Money max(Money a, Money b) { return a < b ? b : a; }

private:
    std::int64_t m_units = 0;
};

} // namespace vestronia

Q_DECLARE_METATYPE(vestronia::Money)
