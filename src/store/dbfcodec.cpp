// The dBase byte layer: header parsing with every count checked against the bytes that
// are really there, field decoding and encoding, code page 1250 <-> UTF-8. Memo fields
// (M) and FoxPro files are refused as unknown; level 7 files are read, never written.

#include "store/dbfcodec.h"

#include "core/codepage1250.h"

#include <QString>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace vestronia::dbf {

namespace {

[[noreturn]] void fail(const std::string &message)
{
    throw DbfError(QString::fromUtf8(message.data(), qsizetype(message.size())));
}

std::string headerProblem(std::string_view fileName, const std::string &what)
{
    return "Fisierul " + std::string(fileName) + " nu este o tabela dBase valida: " + what + ".";
}

std::string recordProblem(std::string_view fileName, std::uint32_t recordNumber, const Field &field,
                          const std::string &what)
{
    return "Fisierul " + std::string(fileName) + " este deteriorat: inregistrarea " +
           std::to_string(recordNumber) + ", campul " + field.name + ": " + what + ".";
}

// The high halves (bytes 0x80-0xFF) of the code pages a language driver byte can name,
// as Unicode. A byte a page leaves undefined reads as the C1 control of the same number,
// as Windows reads it, so every byte survives a read and a write unchanged. Page 1250's
// table is the program's own, in core.
constexpr std::array<char16_t, 128> HighCp1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
constexpr std::array<char16_t, 128> HighCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr std::array<char16_t, 128> HighCp852 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7,
    0x0142, 0x00EB, 0x0150, 0x0151, 0x00EE, 0x0179, 0x00C4, 0x0106,
    0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A,
    0x015B, 0x00D6, 0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0104, 0x0105, 0x017D, 0x017E,
    0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x011A,
    0x015E, 0x2563, 0x2551, 0x2557, 0x255D, 0x017B, 0x017C, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x0111, 0x0110, 0x010E, 0x00CB, 0x010F, 0x0147, 0x00CD, 0x00CE,
    0x011B, 0x2518, 0x250C, 0x2588, 0x2584, 0x0162, 0x016E, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161,
    0x0154, 0x00DA, 0x0155, 0x0170, 0x00FD, 0x00DD, 0x0163, 0x00B4,
    0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0,
};

// One code page as UTF-8 per byte, and the way back, built once.
struct PageTable
{
    std::array<std::string, 128> utf8;                         // bytes 0x80-0xFF
    std::vector<std::pair<char32_t, unsigned char>> reverse; // code point -> byte, sorted
    explicit PageTable(const std::array<char16_t, 128> &high)
    {
        for (size_t i = 0; i < 128; ++i) {
            const char32_t cp = high[i];
            std::string &u = utf8[i];
            if (cp < 0x800) {
                u += char(0xC0 | (cp >> 6));
                u += char(0x80 | (cp & 0x3F));
            } else {
                u += char(0xE0 | (cp >> 12));
                u += char(0x80 | ((cp >> 6) & 0x3F));
                u += char(0x80 | (cp & 0x3F));
            }
            reverse.emplace_back(cp, static_cast<unsigned char>(0x80 + i));
        }
        std::sort(reverse.begin(), reverse.end());
    }
    // The byte of a code point above 0x7F, 0 when the page has none.
    unsigned char byteOf(char32_t cp) const
    {
        const auto it = std::lower_bound(reverse.begin(), reverse.end(), std::make_pair(cp, static_cast<unsigned char>(0)));
        return it != reverse.end() && it->first == cp ? it->second : 0;
    }
};

const PageTable &pageTable(CodePage page)
{
    static const PageTable cp1250(Cp1250HighHalf), cp1252(HighCp1252), cp437(HighCp437), cp852(HighCp852);
    switch (page) {
    case CodePage::Cp1252:
        return cp1252;
    case CodePage::Cp437:
        return cp437;
    case CodePage::Cp852:
        return cp852;
    case CodePage::Cp1250:
        break;
    }
    return cp1250;
}

// The comma-below letters are written, searched and compared as their cedilla twins.
char32_t cedillaTwin(char32_t cp)
{
    switch (cp) {
    case 0x0218:
        return 0x015E;
    case 0x0219:
        return 0x015F;
    case 0x021A:
        return 0x0162;
    case 0x021B:
        return 0x0163;
    default:
        return cp;
    }
}

bool isBlank(const char *p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\0')
            return false;
    return true;
}

// The field's bytes without leading and trailing blanks (and NULs, which some writers use).
std::string_view trimmed(const char *p, int n)
{
    int b = 0, e = n;
    while (b < e && (p[b] == ' ' || p[b] == '\0'))
        ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\0'))
        --e;
    return std::string_view(p + b, size_t(e - b));
}

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string printable(std::string_view raw)
{
    std::string out;
    appendUtf8FromCp1250(raw.data(), raw.size(), out);
    return out;
}

// Reads the text of an N or F field. Integer when the field has no decimals and the
// text no point or exponent (and the value fits an int64).
bool parseNumber(std::string_view s, bool wantInteger, Value &out)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    if (wantInteger && s.find_first_of(".eE") == std::string_view::npos) {
        std::int64_t v = 0;
        auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (r.ec == std::errc() && r.ptr == s.data() + s.size()) {
            out = Value::ofInteger(v);
            return true;
        }
    }
    double d = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), d);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(d))
        return false;
    if (wantInteger && d == std::floor(d) && std::fabs(d) < 9007199254740992.0)
        out = Value::ofInteger(std::int64_t(d));
    else
        out = Value::ofReal(d);
    return true;
}

std::uint64_t loadBigEndian(const char *p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

// dBase 7 O and @: an 8-byte big-endian double made order-preserving (positive: sign
// bit flipped; negative: every bit inverted).
double orderedDouble(const char *p)
{
    std::uint64_t u = loadBigEndian(p, 8);
    if (u & 0x8000000000000000ULL)
        u ^= 0x8000000000000000ULL;
    else
        u = ~u;
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// Days between 01.01.0001 (day 1 of the BDE time stamp) and 30.12.1899.
constexpr double TimeStampDayOffset = 693594.0;
constexpr double MillisecondsPerDay = 86400000.0;

bool parseDate(std::string_view s, std::int64_t &dayNumber)
{
    if (s.size() != 8 || !allDigits(s))
        return false;
    const int y = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    const int m = (s[4] - '0') * 10 + (s[5] - '0');
    const int d = (s[6] - '0') * 10 + (s[7] - '0');
    if (y < 1 || m < 1 || m > 12 || d < 1)
        return false;
    static constexpr int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > monthDays[m - 1] || (m == 2 && d == 29 && !leap))
        return false;
    dayNumber = dayNumberFromDate(y, m, d);
    return true;
}

// A number as exact decimal digits: sign, integer digits, fraction digits.
struct Decimal
{
    bool negative = false;
    std::string whole;
    std::string fraction;
};

// Reads [+-]digits[.digits][e[+-]digits]; false for anything else.
bool parseDecimal(std::string_view s, Decimal &d)
{
    d = {};
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        d.negative = s[i++] == '-';
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        d.whole += s[i++];
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            d.fraction += s[i++];
    }
    if (d.whole.empty() && d.fraction.empty())
        return false;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negExp = s[i++] == '-';
        if (i >= s.size())
            return false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            // Past a few hundred the value is zero or wider than any field anyway.
            if (exponent < 100000)
                exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (negExp)
            exponent = -exponent;
    }
    if (i != s.size())
        return false;
    exponent = std::clamp(exponent, -400L, 400L);
    if (exponent > 0) {
        const size_t take = std::min(d.fraction.size(), size_t(exponent));
        d.whole += d.fraction.substr(0, take);
        d.fraction.erase(0, take);
        d.whole.append(size_t(exponent) - take, '0');
    } else if (exponent < 0) {
        const size_t move = size_t(-exponent);
        if (d.whole.size() < move)
            d.whole.insert(0, move - d.whole.size(), '0');
        d.fraction.insert(0, d.whole.substr(d.whole.size() - move));
        d.whole.erase(d.whole.size() - move);
    }
    return true;
}

// Rounds half away from zero to `decimals` digits after the point.
void roundDecimal(Decimal &d, int decimals)
{
    const size_t keep = size_t(decimals);
    if (d.fraction.size() > keep) {
        const bool up = d.fraction[keep] >= '5';
        d.fraction.resize(keep);
        if (up) {
            std::string digits = d.whole + d.fraction;
            int i = int(digits.size()) - 1;
            while (i >= 0 && digits[size_t(i)] == '9')
                digits[size_t(i--)] = '0';
            if (i < 0)
                digits.insert(0, 1, '1');
            else
                ++digits[size_t(i)];
            d.whole = digits.substr(0, digits.size() - keep);
            d.fraction = digits.substr(digits.size() - keep);
        }
    } else {
        d.fraction.append(keep - d.fraction.size(), '0');
    }
    const size_t nonZero = d.whole.find_first_not_of('0');
    d.whole = nonZero == std::string::npos ? std::string("0") : d.whole.substr(nonZero);
    if (d.whole == "0" && d.fraction.find_first_not_of('0') == std::string::npos)
        d.negative = false; // no "-0.00"
}

std::string shortestText(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string displayText(const Value &v)
{
    switch (v.kind) {
    case Value::Kind::Integer:
        return std::to_string(v.integer);
    case Value::Kind::Real:
        return shortestText(v.real);
    case Value::Kind::Text:
        return std::string(v.text);
    case Value::Kind::Null:
        break;
    }
    return "NULL";
}

std::string fieldWhere(const Field &f, std::string_view tableName)
{
    return "campul " + f.name + " (" + fieldTypeText(f) + ") al tabelei " + std::string(tableName);
}

[[noreturn]] void failFit(const Field &f, const Value &v, std::string_view tableName)
{
    fail("Valoarea " + displayText(v) + " nu incape in " + fieldWhere(f, tableName));
}

[[noreturn]] void failKind(const Field &f, const Value &v, std::string_view tableName, const char *what)
{
    fail("Valoarea " + displayText(v) + " nu este " + what + " si nu se poate scrie in " + fieldWhere(f, tableName));
}

void putRight(char *dst, int width, const std::string &text)
{
    std::memset(dst, ' ', size_t(width));
    std::memcpy(dst + (width - int(text.size())), text.data(), text.size());
}

// An integer written straight as its digits and the field's zero decimals: the commonest
// value of a bulk append (numbers, months, days), spared the text round trip below.
void encodeInteger(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    char buf[48];
    char *p = buf;
    const bool negative = v.integer < 0;
    if (negative)
        *p++ = '-';
    const std::uint64_t magnitude =
        negative ? std::uint64_t(0) - std::uint64_t(v.integer) : std::uint64_t(v.integer);
    p = std::to_chars(p, buf + 24, magnitude).ptr;
    const size_t digits = size_t(p - buf);
    const size_t width = digits + (f.decimals > 0 ? 1 + size_t(f.decimals) : 0);
    if (width > size_t(f.length))
        failFit(f, v, tableName);
    char *out = dst + (size_t(f.length) - width);
    std::memset(dst, ' ', size_t(f.length) - width);
    std::memcpy(out, buf, digits);
    if (f.decimals > 0) {
        out[digits] = '.';
        std::memset(out + digits + 1, '0', size_t(f.decimals));
    }
}

// The general way for any number: its exact decimal text (a double's shortest text),
// rounded half away from zero to the field's decimals.
void encodeNumberText(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    Decimal d;
    switch (v.kind) {
    case Value::Kind::Integer:
        parseDecimal(std::to_string(v.integer), d);
        break;
    case Value::Kind::Real:
        if (!std::isfinite(v.real))
            failKind(f, v, tableName, "un numar");
        parseDecimal(shortestText(v.real), d);
        break;
    case Value::Kind::Text: {
        const std::string_view t = trimmed(v.text.data(), int(v.text.size()));
        if (t.empty()) {
            std::memset(dst, ' ', size_t(f.length));
            return;
        }
        if (!parseDecimal(t, d))
            failKind(f, v, tableName, "un numar");
        break;
    }
    case Value::Kind::Null:
        std::memset(dst, ' ', size_t(f.length));
        return;
    }
    roundDecimal(d, f.decimals);
    std::string text = d.negative ? "-" : "";
    text += d.whole;
    if (f.decimals > 0)
        text += "." + d.fraction;
    if (int(text.size()) > f.length)
        failFit(f, v, tableName);
    putRight(dst, f.length, text);
}

// A double that is an exact amount of the field's decimals (money: 12.5, 1234.56, -3),
// written from its scaled integer without the text round trip. Below 1e11 two numbers of
// at most four decimals lie further apart than the gap between neighbouring doubles, so
// when n / 10^decimals gives back the very double, the double's shortest text is that
// number and the general way would write the same digits. Returns false for every
// other value (more decimals, larger, a value that does not fit: the general way decides
// and words the refusal).
bool encodeExactReal(const Field &f, double v, char *dst)
{
    static constexpr double Scale[] = {1, 10, 100, 1000, 10000};
    if (f.decimals < 0 || f.decimals > 4 || !(std::fabs(v) < 1e11))
        return false;
    const double scale = Scale[f.decimals];
    const std::int64_t n = std::llround(v * scale);
    if (double(n) / scale != v)
        return false;
    char digits[24];
    const std::uint64_t magnitude = n < 0 ? std::uint64_t(0) - std::uint64_t(n) : std::uint64_t(n);
    char *end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const int count = int(end - digits);
    // The whole part keeps at least one digit: 0.05, not .05.
    const int wholeDigits = std::max(1, count - f.decimals);
    const int width = (n < 0 ? 1 : 0) + wholeDigits + (f.decimals > 0 ? 1 + f.decimals : 0);
    if (width > f.length)
        return false;
    // The digits left-padded with zeros to whole + decimals places, then split by the point.
    const int total = wholeDigits + f.decimals;
    char padded[32];
    std::memset(padded, '0', size_t(total - count));
    std::memcpy(padded + (total - count), digits, size_t(count));
    char text[40];
    char *p = text;
    if (n < 0)
        *p++ = '-';
    std::memcpy(p, padded, size_t(wholeDigits));
    p += wholeDigits;
    if (f.decimals > 0) {
        *p++ = '.';
        std::memcpy(p, padded + wholeDigits, size_t(f.decimals));
    }
    std::memset(dst, ' ', size_t(f.length - width));
    std::memcpy(dst + (f.length - width), text, size_t(width));
    return true;
}

void encodeNumber(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    if (v.kind == Value::Kind::Integer) {
        encodeInteger(f, v, dst, tableName);
        return;
    }
    if (v.kind == Value::Kind::Real && encodeExactReal(f, v.real, dst))
        return;
    encodeNumberText(f, v, dst, tableName);
}

void encodeDate(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    std::int64_t day = 0;
    switch (v.kind) {
    case Value::Kind::Null:
        std::memset(dst, ' ', 8);
        return;
    case Value::Kind::Integer:
        day = v.integer;
        break;
    case Value::Kind::Real:
        if (!std::isfinite(v.real) || std::fabs(v.real) > 1e7)
            failKind(f, v, tableName, "o data");
        day = std::int64_t(std::floor(v.real));
        break;
    case Value::Kind::Text: {
        const std::string_view t = trimmed(v.text.data(), int(v.text.size()));
        if (t.empty()) {
            std::memset(dst, ' ', 8);
            return;
        }
        // dd.MM.yyyy (the program's date text), yyyy-MM-dd, yyyyMMdd, or a day number.
        std::string compact;
        if (t.size() == 10 && t[2] == '.' && t[5] == '.')
            compact = std::string(t.substr(6, 4)) + std::string(t.substr(3, 2)) + std::string(t.substr(0, 2));
        else if (t.size() == 10 && t[4] == '-' && t[7] == '-')
            compact = std::string(t.substr(0, 4)) + std::string(t.substr(5, 2)) + std::string(t.substr(8, 2));
        else if (t.size() == 8)
            compact = std::string(t);
        if (!compact.empty()) {
            if (!parseDate(compact, day))
                failKind(f, v, tableName, "o data");
        } else if (allDigits(t) && t.size() <= 7) {
            day = 0;
            for (char c : t)
                day = day * 10 + (c - '0');
        } else {
            failKind(f, v, tableName, "o data");
        }
        break;
    }
    }
    // Below 1000 a day number means "no date" (0 is how the program writes it): a blank
    // field, not a day of January 1900 that every reader would take for a real date.
    if (day < 1000) {
        std::memset(dst, ' ', 8);
        return;
    }
    int y = 0, m = 0, d = 0;
    dateFromDayNumber(day, y, m, d);
    if (y < 1 || y > 9999)
        failKind(f, v, tableName, "o data");
    char buf[9];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    std::memcpy(dst, buf, 8);
}

void encodeLogical(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    switch (v.kind) {
    case Value::Kind::Null:
        *dst = ' ';
        return;
    case Value::Kind::Integer:
        *dst = v.integer ? 'T' : 'F';
        return;
    case Value::Kind::Real:
        *dst = v.real != 0 ? 'T' : 'F';
        return;
    case Value::Kind::Text: {
        const std::string_view t = trimmed(v.text.data(), int(v.text.size()));
        if (t.empty()) {
            *dst = ' ';
            return;
        }
        if (t.size() == 1 && std::strchr("TtYy1", t[0])) {
            *dst = 'T';
            return;
        }
        if (t.size() == 1 && std::strchr("FfNn0", t[0])) {
            *dst = 'F';
            return;
        }
        failKind(f, v, tableName, "o valoare logica");
    }
    }
}

void encodeText(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    std::string owned;
    std::string_view utf8;
    switch (v.kind) {
    case Value::Kind::Null:
        std::memset(dst, ' ', size_t(f.length));
        return;
    case Value::Kind::Integer:
    case Value::Kind::Real:
        owned = displayText(v);
        utf8 = owned;
        break;
    case Value::Kind::Text: {
        utf8 = v.text;
        // ASCII is the same byte in every code page: copied as it is, without a buffer.
        size_t n = utf8.size();
        while (n > 0 && utf8[n - 1] == ' ')
            --n;
        if (n <= size_t(f.length) &&
            std::all_of(utf8.begin(), utf8.begin() + std::ptrdiff_t(n),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            std::memset(dst, ' ', size_t(f.length));
            std::memcpy(dst, utf8.data(), n);
            return;
        }
        break;
    }
    }
    std::string bytes;
    std::string bad;
    if (!encodeText(utf8, f.codePage, bytes, &bad))
        fail("Valoarea " + std::string(utf8) + " nu se poate scrie in " + fieldWhere(f, tableName) +
             ": caracterul " + bad + " nu exista in codul " + std::to_string(codePageNumber(f.codePage)));
    // Trailing blanks are not kept (a read drops them), so they never make a text too long.
    while (!bytes.empty() && bytes.back() == ' ')
        bytes.pop_back();
    if (int(bytes.size()) > f.length)
        failFit(f, v, tableName);
    std::memset(dst, ' ', size_t(f.length));
    std::memcpy(dst, bytes.data(), bytes.size());
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

std::uint32_t loadU32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t loadU16(const unsigned char *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

void storeRecordCount(unsigned char *header, std::uint32_t count)
{
    for (int i = 0; i < 4; ++i)
        header[offset::RecordCount + size_t(i)] = static_cast<unsigned char>(count >> (8 * i));
}

void storeDate(unsigned char *header, int year, int month, int day)
{
    header[offset::Date] = static_cast<unsigned char>(std::clamp(year - 1900, 0, 255));
    header[offset::Date + 1] = static_cast<unsigned char>(month);
    header[offset::Date + 2] = static_cast<unsigned char>(day);
}

std::int64_t dayNumberFromDate(int year, int month, int day)
{
    // Days from civil (H. Hinnant), shifted so that 30.12.1899 is 0.
    const std::int64_t y = std::int64_t(year) - (month <= 2);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t unixDays = era * 146097 + doe - 719468;
    return unixDays + 25569; // 01.01.1970 is day 25569
}

void dateFromDayNumber(std::int64_t dayNumber, int &year, int &month, int &day)
{
    const std::int64_t z = dayNumber - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (month <= 2);
    year = int(std::clamp<std::int64_t>(y, -1000000, 1000000));
}

std::string fieldTypeText(const Field &f)
{
    switch (f.type) {
    case 'N':
    case 'F':
        return std::string(1, f.type) + " " + std::to_string(f.length) + "," + std::to_string(f.decimals);
    case 'C':
        return "C " + std::to_string(f.length);
    default:
        return std::string(1, f.type);
    }
}

bool Header::writable() const
{
    if (level != 3)
        return false;
    // Asked before every write: a switch, not a search of a type list per field.
    return std::all_of(fields.begin(), fields.end(), [](const Field &f) {
        switch (f.type) {
        case 'C':
        case 'N':
        case 'F':
        case 'D':
        case 'L':
            return true;
        default:
            return false;
        }
    });
}

int Header::fieldIndex(std::string_view name) const
{
    for (size_t i = 0; i < fields.size(); ++i)
        if (sameName(fields[i].name, name))
            return int(i);
    return -1;
}

Header parseHeader(const unsigned char *data, std::size_t available, std::uint64_t fileSize,
                   std::string_view fileName)
{
    const std::uint64_t have = std::min<std::uint64_t>(available, fileSize);
    if (have < MainHeaderSize)
        fail(headerProblem(fileName, "antetul are doar " + std::to_string(have) + " octeti"));
    Header h;
    h.version = data[offset::Version];
    switch (h.version & 0x07) {
    case 3:
        h.level = 3;
        break;
    case 4:
        h.level = 7;
        break;
    default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", h.version);
        fail(headerProblem(fileName, std::string("versiunea ") + buf + " nu este cunoscuta"));
    }
    }
    // FoxPro and other relatives share the low bits with unrelated meanings.
    if ((h.version & 0x70) != 0 && h.version != 0x43 && h.version != 0x63) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", h.version);
        fail(headerProblem(fileName, std::string("versiunea ") + buf + " nu este cunoscuta"));
    }
    h.recordCount = loadU32(data + offset::RecordCount);
    h.headerLength = loadU16(data + offset::HeaderLength);
    h.recordLength = loadU16(data + offset::RecordLength);
    h.productionIndex = data[offset::ProductionIndex];
    h.languageDriver = data[offset::LanguageDriver];
    h.codePage = codePageOfLanguageDriver(h.languageDriver);

    const size_t start = h.level == 7 ? Level7HeaderSize : MainHeaderSize;
    const size_t descSize = h.level == 7 ? Level7FieldDescriptorSize : FieldDescriptorSize;
    const size_t nameSize = h.level == 7 ? 32 : FieldNameSize;
    if (h.headerLength < start + 1)
        fail(headerProblem(fileName, "lungimea antetului (" + std::to_string(h.headerLength) + ") este prea mica"));
    if (h.headerLength > fileSize)
        fail(headerProblem(fileName, "lungimea antetului (" + std::to_string(h.headerLength) +
                                         ") depaseste marimea fisierului (" + std::to_string(fileSize) + ")"));
    if (h.headerLength > have)
        fail(headerProblem(fileName, "antetul nu a putut fi citit complet"));

    size_t pos = start;
    bool terminated = false;
    std::uint32_t sum = 1;
    while (pos < h.headerLength) {
        if (data[pos] == static_cast<unsigned char>(HeaderTerminator)) {
            terminated = true;
            break;
        }
        if (pos + descSize > h.headerLength)
            fail(headerProblem(fileName, "descrierea campului " + std::to_string(h.fields.size() + 1) +
                                             " depaseste antetul"));
        const unsigned char *d = data + pos;
        Field f;
        size_t nameLen = 0;
        while (nameLen < nameSize && d[nameLen] != 0)
            ++nameLen;
        std::string_view rawName(reinterpret_cast<const char *>(d), nameLen);
        while (!rawName.empty() && rawName.back() == ' ')
            rawName.remove_suffix(1);
        appendUtf8FromCp1250(rawName.data(), rawName.size(), f.name);
        if (f.name.empty())
            fail(headerProblem(fileName, "campul " + std::to_string(h.fields.size() + 1) + " nu are nume"));
        f.type = char(std::toupper(d[h.level == 7 ? 32 : 11]));
        f.length = d[h.level == 7 ? 33 : 16];
        f.decimals = d[h.level == 7 ? 34 : 17];
        f.offset = int(sum);
        auto bad = [&](const std::string &what) {
            fail(headerProblem(fileName, "campul " + f.name + " " + what));
        };
        switch (f.type) {
        case 'C':
            f.decimals = 0;
            if (f.length < 1)
                bad("are lungimea 0");
            break;
        case 'N':
        case 'F':
            if (f.length < 1 || f.decimals >= f.length)
                bad("are lungimea " + std::to_string(f.length) + "," + std::to_string(f.decimals) + " imposibila");
            break;
        case 'D':
            if (f.length != 8)
                bad("de tip D are lungimea " + std::to_string(f.length) + " in loc de 8");
            f.decimals = 0;
            break;
        case 'L':
            if (f.length != 1)
                bad("de tip L are lungimea " + std::to_string(f.length) + " in loc de 1");
            f.decimals = 0;
            break;
        case 'I':
        case '+':
        case 'O':
        case '@':
            if (h.level == 7) {
                const int want = (f.type == 'I' || f.type == '+') ? 4 : 8;
                if (f.length != want)
                    bad(std::string("de tip ") + f.type + " are lungimea " + std::to_string(f.length) +
                        " in loc de " + std::to_string(want));
                f.decimals = 0;
                break;
            }
            [[fallthrough]];
        default: {
            std::string shown;
            if (f.type >= 0x20 && f.type < 0x7F)
                shown = std::string("'") + f.type + "'";
            else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(f.type));
                shown = buf;
            }
            bad("are tipul necunoscut " + shown);
        }
        }
        if (h.fieldIndex(f.name) >= 0)
            fail(headerProblem(fileName, "campul " + f.name + " apare de doua ori"));
        sum += std::uint32_t(f.length);
        f.codePage = h.codePage;
        h.fields.push_back(std::move(f));
        pos += descSize;
    }
    (void)terminated; // a header that ends exactly after its last descriptor is accepted
    if (h.fields.empty())
        fail(headerProblem(fileName, "nu are niciun camp"));
    if (sum != h.recordLength)
        fail(headerProblem(fileName, "lungimea inregistrarii (" + std::to_string(h.recordLength) +
                                         ") nu se potriveste cu campurile (" + std::to_string(sum) + ")"));
    const std::uint64_t needed = std::uint64_t(h.headerLength) + std::uint64_t(h.recordCount) * h.recordLength;
    if (needed > fileSize) {
        if (h.recordCount > 0 && needed - fileSize < h.recordLength)
            fail(headerProblem(fileName, "ultima inregistrare (" + std::to_string(h.recordCount) +
                                             ") este incompleta"));
        fail(headerProblem(fileName, "numarul de inregistrari (" + std::to_string(h.recordCount) +
                                         ") nu se potriveste cu marimea fisierului (" + std::to_string(fileSize) +
                                         " octeti)"));
    }
    return h;
}

Value decodeField(const Field &f, const char *record, std::string &scratch, std::string_view fileName,
                  std::uint32_t recordNumber)
{
    const char *p = record + f.offset;
    switch (f.type) {
    case 'C': {
        int n = f.length;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
            --n;
        if (n == 0)
            return Value::null();
        bool ascii = true;
        for (int i = 0; i < n; ++i)
            if (static_cast<unsigned char>(p[i]) >= 0x80) {
                ascii = false;
                break;
            }
        if (ascii)
            return Value::ofText(std::string_view(p, size_t(n)));
        scratch.clear();
        appendUtf8(p, size_t(n), f.codePage, scratch);
        return Value::ofText(scratch);
    }
    case 'N':
    case 'F': {
        const std::string_view t = trimmed(p, f.length);
        if (t.empty())
            return Value::null();
        Value v;
        if (!parseNumber(t, f.decimals == 0, v))
            fail(recordProblem(fileName, recordNumber, f, "\"" + printable(t) + "\" nu este un numar"));
        return v;
    }
    case 'D': {
        const std::string_view t = trimmed(p, 8);
        if (t.empty() || t == "00000000")
            return Value::null();
        std::int64_t day = 0;
        if (!parseDate(t, day))
            fail(recordProblem(fileName, recordNumber, f, "\"" + printable(t) + "\" nu este o data"));
        return Value::ofInteger(day);
    }
    case 'L':
        switch (*p) {
        case 'T': case 't': case 'Y': case 'y':
            return Value::ofInteger(1);
        case 'F': case 'f': case 'N': case 'n':
            return Value::ofInteger(0);
        case ' ': case '?': case '\0':
            return Value::null();
        default:
            fail(recordProblem(fileName, recordNumber, f, "\"" + printable(std::string_view(p, 1)) +
                                                             "\" nu este o valoare logica"));
        }
    case 'I':
    case '+': {
        const std::uint64_t u = loadBigEndian(p, 4);
        if (u == 0)
            return Value::null();
        return Value::ofInteger(std::int32_t(std::uint32_t(u) ^ 0x80000000U));
    }
    case 'O':
        if (isBlank(p, 8))
            return Value::null();
        return Value::ofReal(orderedDouble(p));
    case '@': {
        if (isBlank(p, 8))
            return Value::null();
        const double ms = orderedDouble(p);
        if (!std::isfinite(ms))
            fail(recordProblem(fileName, recordNumber, f, "marca de timp nu este valida"));
        return Value::ofReal(ms / MillisecondsPerDay - TimeStampDayOffset);
    }
    default:
        break;
    }
    return Value::null();
}

bool fieldKey(const Field &f, const char *record, Key &key, std::string_view fileName, std::uint32_t recordNumber)
{
    if (f.type == 'C') {
        const char *p = record + f.offset;
        int n = f.length;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
            --n;
        if (n == 0)
            return false;
        key.isText = true;
        key.bytes = std::string_view(p, size_t(n));
        return true;
    }
    if (f.type == 'N' || f.type == 'F') {
        // The common case without building a Value; anything unusual goes the long way.
        std::string_view t = trimmed(record + f.offset, f.length);
        if (t.empty())
            return false;
        if (t.front() == '+')
            t.remove_prefix(1);
        double d = 0;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), d);
        if (r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(d)) {
            key.isText = false;
            key.number = d == 0 ? 0.0 : d;
            return true;
        }
    }
    std::string scratch;
    const Value v = decodeField(f, record, scratch, fileName, recordNumber);
    key.isText = false;
    switch (v.kind) {
    case Value::Kind::Integer:
        key.number = double(v.integer);
        return true;
    case Value::Kind::Real:
        key.number = v.real == 0 ? 0.0 : v.real;
        return true;
    default:
        return false;
    }
}

void encodeField(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    char *p = dst + f.offset;
    switch (f.type) {
    case 'C':
        encodeText(f, v, p, tableName);
        return;
    case 'N':
    case 'F':
        encodeNumber(f, v, p, tableName);
        return;
    case 'D':
        encodeDate(f, v, p, tableName);
        return;
    case 'L':
        encodeLogical(f, v, p, tableName);
        return;
    default:
        fail("Campul " + f.name + " al tabelei " + std::string(tableName) + " nu poate fi scris (tipul " +
             std::string(1, f.type) + ")");
    }
}

void encodeNumberByText(const Field &f, const Value &v, char *dst, std::string_view tableName)
{
    encodeNumberText(f, v, dst + f.offset, tableName);
}

void blankRecord(const Header &header, char *dst)
{
    std::memset(dst, ' ', header.recordLength);
    dst[0] = LiveFlag;
}

CodePage codePageOfLanguageDriver(std::uint8_t id)
{
    switch (id) {
    case 0x03:
    case 0x57:
    case 0x58:
        return CodePage::Cp1252;
    case 0x01:
    case 0x1B:
        return CodePage::Cp437;
    case 0x64:
    case 0x1F:
    case 0x22:
    case 0x23:
    case 0x87:
    case 0x40:
        return CodePage::Cp852;
    default:
        return CodePage::Cp1250;
    }
}

int codePageNumber(CodePage page)
{
    switch (page) {
    case CodePage::Cp1252:
        return 1252;
    case CodePage::Cp437:
        return 437;
    case CodePage::Cp852:
        return 852;
    case CodePage::Cp1250:
        break;
    }
    return 1250;
}

void appendUtf8(const char *data, std::size_t size, CodePage page, std::string &out)
{
    const PageTable &table = pageTable(page);
    for (size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0x80)
            out += char(b);
        else
            out += table.utf8[b - 0x80];
    }
}

bool encodeText(std::string_view utf8, CodePage page, std::string &out, std::string *badCharacter)
{
    const PageTable &table = pageTable(page);
    out.clear();
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        char32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : c & 0x1F;
        bool ok = extra > 0 && i + size_t(extra) < utf8.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(utf8[i + size_t(k)]);
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        const size_t len = ok ? size_t(extra) + 1 : 1;
        unsigned char b = ok ? table.byteOf(cp) : 0;
        if (b == 0 && ok)
            b = table.byteOf(cedillaTwin(cp));
        if (b == 0) {
            if (badCharacter)
                *badCharacter = std::string(utf8.substr(i, len));
            return false;
        }
        out += char(b);
        i += len;
    }
    return true;
}

void appendUtf8FromCp1250(const char *data, std::size_t size, std::string &out)
{
    appendUtf8(data, size, CodePage::Cp1250, out);
}

bool toCp1250(std::string_view utf8, std::string &out, std::string *badCharacter)
{
    return encodeText(utf8, CodePage::Cp1250, out, badCharacter);
}

void checkNewFields(const std::vector<Field> &fields, std::string_view tableName)
{
    auto bad = [&](const Field &f, const std::string &what) {
        fail("Coloana " + f.name + " a tabelei " + std::string(tableName) + " " + what + ".");
    };
    if (fields.empty())
        fail("Tabela " + std::string(tableName) + " nu are nicio coloana.");
    if (fields.size() > 255)
        fail("Tabela " + std::string(tableName) + " are prea multe coloane.");
    int recordLength = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        const Field &f = fields[i];
        if (f.name.empty() || f.name.size() > 10)
            bad(f, "are un nume gol sau mai lung de 10 caractere");
        for (char c : f.name)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_') || static_cast<unsigned char>(c) >= 0x80)
                bad(f, "are un nume cu caractere nepermise");
        for (size_t j = 0; j < i; ++j)
            if (sameName(fields[j].name, f.name))
                bad(f, "apare de doua ori");
        switch (f.type) {
        case 'C':
            if (f.length < 1 || f.length > 254)
                bad(f, "are lungimea " + std::to_string(f.length) + " (1..254)");
            break;
        case 'N':
        case 'F':
            if (f.length < 1 || f.length > 20 || f.decimals < 0 || (f.decimals > 0 && f.decimals > f.length - 2))
                bad(f, "are dimensiunea " + std::to_string(f.length) + "," + std::to_string(f.decimals) +
                           " nepermisa");
            break;
        case 'D':
            if (f.length != 8)
                bad(f, "de tip D trebuie sa aiba lungimea 8");
            break;
        case 'L':
            if (f.length != 1)
                bad(f, "de tip L trebuie sa aiba lungimea 1");
            break;
        default:
            bad(f, std::string("are tipul nepermis ") + f.type);
        }
        recordLength += f.length;
    }
    if (recordLength > 65535)
        fail("Inregistrarea tabelei " + std::string(tableName) + " ar fi prea lunga.");
}

std::string buildHeader(std::vector<Field> &fields, int year, int month, int day)
{
    const size_t headerLength = MainHeaderSize + FieldDescriptorSize * fields.size() + 1;
    std::string h(headerLength, '\0');
    auto *u = reinterpret_cast<unsigned char *>(h.data());
    u[offset::Version] = VersionDbase4;
    storeDate(u, year, month, day);
    storeRecordCount(u, 0);
    int pos = 1;
    for (Field &f : fields) {
        f.offset = pos;
        pos += f.length;
    }
    u[offset::HeaderLength] = static_cast<unsigned char>(headerLength & 0xFF);
    u[offset::HeaderLength + 1] = static_cast<unsigned char>(headerLength >> 8);
    u[offset::RecordLength] = static_cast<unsigned char>(pos & 0xFF);
    u[offset::RecordLength + 1] = static_cast<unsigned char>(pos >> 8);
    u[offset::LanguageDriver] = LanguageDriverCp1250;
    for (size_t i = 0; i < fields.size(); ++i) {
        unsigned char *d = u + MainHeaderSize + i * FieldDescriptorSize;
        const Field &f = fields[i];
        for (size_t k = 0; k < f.name.size() && k < 10; ++k)
            d[k] = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(f.name[k])));
        d[11] = static_cast<unsigned char>(f.type);
        d[16] = static_cast<unsigned char>(f.length);
        d[17] = static_cast<unsigned char>(f.decimals);
    }
    h[headerLength - 1] = HeaderTerminator;
    return h;
}

} // namespace vestronia::dbf
