// Numbers written into N and F fields: the short ways encodeField takes for integers and
// for doubles that are exact amounts must write byte for byte what the general way (the
// value's exact decimal text, rounded half away from zero) writes, and refuse the same
// values with the same message, over a wide set of values and field sizes.

#include "store/dbfcodec.h"

#include <QtTest>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace vestronia;
using dbf::Field;
using dbf::Value;

namespace {

Field numberField(char type, int length, int decimals)
{
    Field f;
    f.name = "SUMA";
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    f.offset = 1;
    return f;
}

// The field's bytes, or "!" and the refusal's message.
std::string outcome(const Field &f, const Value &v, bool general)
{
    std::string rec(size_t(f.length + 1), '#');
    try {
        if (general)
            dbf::encodeNumberByText(f, v, rec.data(), "Debite.dbf");
        else
            dbf::encodeField(f, v, rec.data(), "Debite.dbf");
    } catch (const DbfError &e) {
        if (rec != std::string(size_t(f.length + 1), '#'))
            return "! record touched";
        return "! " + e.message().toStdString();
    }
    return rec.substr(1);
}

std::vector<Field> fields()
{
    return {numberField('N', 10, 2), numberField('N', 12, 2), numberField('N', 6, 2), numberField('N', 4, 2),
            numberField('N', 5, 0), numberField('N', 10, 0), numberField('N', 20, 0), numberField('N', 8, 3),
            numberField('N', 20, 4), numberField('N', 20, 6), numberField('F', 19, 5), numberField('N', 3, 1),
            numberField('N', 18, 4), numberField('N', 1, 0)};
}

} // namespace

class TestNumberEncoding : public QObject
{
    Q_OBJECT

    int m_compared = 0;

    void compare(const Value &v)
    {
        for (const Field &f : fields()) {
            const std::string general = outcome(f, v, true);
            const std::string fast = outcome(f, v, false);
            if (general != fast) {
                const std::string shown = v.kind == Value::Kind::Integer ? std::to_string(v.integer) : [&] {
                    char buf[64];
                    std::snprintf(buf, sizeof buf, "%.17g", v.real);
                    return std::string(buf);
                }();
                QFAIL(qPrintable(QStringLiteral("%1 in %2 %3,%4: general '%5', fast '%6'")
                                     .arg(QString::fromStdString(shown))
                                     .arg(QChar::fromLatin1(f.type))
                                     .arg(f.length)
                                     .arg(f.decimals)
                                     .arg(QString::fromStdString(general), QString::fromStdString(fast))));
            }
            ++m_compared;
        }
    }

private Q_SLOTS:
    void halvesAndEdgesMatchTheGeneralWay()
    {
        const double edges[] = {0.0, -0.0, 0.005, -0.005, 1.005, -1.005, 2.675, -2.675, 0.015, 0.125, 0.375,
                                1.115, 10.005, 1234.565, 0.01, -0.01, 0.1, 0.2, 0.3, 0.7, 1.1, 2.2, 3.3,
                                0.045, 0.0005, 0.00005, 1e-7, -1e-7, 5e-324, 2.2250738585072014e-308,
                                9999999.99, 9999999.995, -9999999.99, 10000000.0, 99999.99, 999.99,
                                99.995, 9.995, -9.995, 1e10, 99999999999.99, 1e11, -1e11, 1e11 - 0.01,
                                123456789012.34, 1e15, 1e16, 1e20, 1e300, -1e300,
                                9007199254740992.0, 9007199254740993.0, 4503599627370495.5,
                                std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(), 0.1 + 0.2, 1.0 / 3.0, -2.0 / 3.0,
                                12.5, 150.0, 75.25, 33.333, 0.999, 0.9999, 0.99999, 99.9999, 99.99999};
        for (const double d : edges)
            compare(Value::ofReal(d));
        const std::int64_t integers[] = {0, 1, -1, 9, 10, -10, 99999, 100000, -99999, 9999999999LL,
                                         std::numeric_limits<std::int64_t>::max(),
                                         std::numeric_limits<std::int64_t>::min()};
        for (const std::int64_t i : integers)
            compare(Value::ofInteger(i));
        QVERIFY(m_compared > 0);
    }

    void manyAmountsMatchTheGeneralWay()
    {
        std::mt19937_64 random(20241129);
        // Every cent from -20.00 to 20.00 and its halves, the amounts money is made of.
        for (int c = -2000; c <= 2000; ++c) {
            compare(Value::ofReal(c / 100.0));
            compare(Value::ofReal(c / 100.0 + 0.005));
            compare(Value::ofReal(c / 1000.0));
        }
        std::uniform_int_distribution<std::int64_t> cents(-99999999999LL, 99999999999LL);
        std::uniform_int_distribution<int> digits(0, 6);
        std::uniform_real_distribution<double> exponent(-9, 16);
        for (int i = 0; i < 12000; ++i) {
            // Amounts with 0..6 decimals of every size a field may hold, and past it.
            const std::int64_t n = cents(random) >> (random() % 40);
            compare(Value::ofReal(double(n) / std::pow(10.0, digits(random))));
            // Arbitrary doubles of any magnitude.
            compare(Value::ofReal((random() % 2 ? -1 : 1) * std::pow(10.0, exponent(random))));
            // Integers, also as doubles.
            const std::int64_t k = std::int64_t(random()) >> (random() % 63);
            compare(Value::ofInteger(k));
            compare(Value::ofReal(double(k)));
        }
        QVERIFY(m_compared > 12000 * 4 * int(fields().size()));
    }

    void neighboursOfExactAmountsMatchTheGeneralWay()
    {
        // An exact amount and the doubles just beside it (what arithmetic such as
        // 0.1 + 0.2 or a sum of cents leaves), at every size up to the short way's limit
        // and past it, with the halves of the field's last decimal.
        std::mt19937_64 random(7);
        const double limits[] = {1e3, 1e6, 1e9, 1e10, 1e11, 1.5e11};
        for (int i = 0; i < 8000; ++i) {
            const int decimals = int(random() % 6);
            const double scale = std::pow(10.0, decimals);
            const double limit = limits[random() % 6];
            const auto top = std::int64_t(limit * scale);
            const std::int64_t n = std::int64_t(random() % std::uint64_t(top)) * (random() % 2 ? 1 : -1);
            const double exact = double(n) / scale;
            compare(Value::ofReal(exact));
            compare(Value::ofReal(std::nextafter(exact, HUGE_VAL)));
            compare(Value::ofReal(std::nextafter(exact, -HUGE_VAL)));
            compare(Value::ofReal((double(n) + 0.5) / scale));
        }
        double sum = 0;
        for (int i = 0; i < 1000; ++i) {
            sum += 0.1;
            compare(Value::ofReal(sum));
            compare(Value::ofReal(1e10 - 0.005 * i));
        }
        QVERIFY(m_compared > 30000);
    }

    void amountsAreWrittenAsMoneyReadsThem()
    {
        // The short way on its own, against bytes known by heart.
        std::string rec(11, '#');
        dbf::encodeField(numberField('N', 10, 2), Value::ofReal(-0.05), rec.data(), "Debite.dbf");
        QCOMPARE(QByteArray::fromStdString(rec.substr(1)), QByteArray("     -0.05"));
        dbf::encodeField(numberField('N', 10, 2), Value::ofReal(1234567.8), rec.data(), "Debite.dbf");
        QCOMPARE(QByteArray::fromStdString(rec.substr(1)), QByteArray("1234567.80"));
        dbf::encodeField(numberField('N', 10, 2), Value::ofReal(-0.0), rec.data(), "Debite.dbf");
        QCOMPARE(QByteArray::fromStdString(rec.substr(1)), QByteArray("      0.00"));
        dbf::encodeField(numberField('N', 10, 2), Value::ofReal(1.005), rec.data(), "Debite.dbf");
        QCOMPARE(QByteArray::fromStdString(rec.substr(1)), QByteArray("      1.01"));
        dbf::encodeField(numberField('N', 10, 2), Value::ofReal(2.675), rec.data(), "Debite.dbf");
        QCOMPARE(QByteArray::fromStdString(rec.substr(1)), QByteArray("      2.68"));
        // One digit too many for the field: refused, the record left as it was.
        const std::string before = rec;
        QVERIFY_THROWS_EXCEPTION(DbfError, dbf::encodeField(numberField('N', 10, 2), Value::ofReal(-1234567.8),
                                                            rec.data(), "Debite.dbf"));
        QCOMPARE(rec, before);
    }
};

QTEST_GUILESS_MAIN(TestNumberEncoding)
#include "tst_numberencoding.moc"
