// Text clean-up, code page 1250 and the remark split.

#include "core/text.h"

#include <array>

namespace vestronia {

namespace {
// Unicode of the bytes 0x80..0xFF in code page 1250. The five bytes the page leaves
// undefined map to the control characters of the same number, as Windows maps them, so
// that every byte comes back as itself (a stored password encoding holds such bytes).
constexpr std::array<char16_t, 128> HighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9
};
} // namespace

char16_t foldedRomanianLetter(char16_t c)
{
    switch (c) {
    case 0x0218: return 0x015E; // Ș -> Ş
    case 0x0219: return 0x015F; // ș -> ş
    case 0x021A: return 0x0162; // Ț -> Ţ
    case 0x021B: return 0x0163; // ț -> ţ
    default: return c;
    }
}

QString foldRomanianLetters(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = QChar(foldedRomanianLetter(c.unicode()));
    return out;
}

QString cleanText(const QString &text)
{
    QString out = foldRomanianLetters(text).trimmed();
    out.replace(QLatin1Char('"'), QLatin1Char(' '));
    QString collapsed;
    collapsed.reserve(out.size());
    for (const QChar c : out) {
        if (c == QLatin1Char(' ') && collapsed.endsWith(QLatin1Char(' ')))
            continue;
        collapsed += c;
    }
    // A quote at either end turned into a blank that trimming did not see.
    return collapsed.trimmed();
}

QString fromCp1250(const char *data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar *dst = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        dst[i] = b < 0x80 ? QChar(char16_t(b)) : QChar(HighHalf[b - 0x80]);
    }
    return out;
}

namespace {
// Reverse of HighHalf, built once: every character the page knows is below U+2200.
constexpr char16_t ReverseLimit = 0x2200;
std::array<unsigned char, ReverseLimit> buildReverse()
{
    std::array<unsigned char, ReverseLimit> table{};
    for (int i = 0; i < 128; ++i)
        if (HighHalf[i] != 0xFFFD && HighHalf[i] < ReverseLimit)
            table[HighHalf[i]] = static_cast<unsigned char>(0x80 + i);
    return table;
}

int cp1250Byte(char16_t c)
{
    if (c < 0x80)
        return c;
    static const std::array<unsigned char, ReverseLimit> reverse = buildReverse();
    if (c >= ReverseLimit || reverse[c] == 0)
        return -1;
    return reverse[c];
}
} // namespace

QByteArray toCp1250(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = cp1250Byte(text[i].unicode());
        out[i] = char(b < 0 ? '?' : b);
    }
    return out;
}

bool fitsCp1250(const QString &text)
{
    for (const QChar c : text)
        if (cp1250Byte(c.unicode()) < 0)
            return false;
    return true;
}

std::pair<QString, QString> splitRemarks(const QString &remark)
{
    return {remark.left(RemarkPartLength), remark.mid(RemarkPartLength, RemarkPartLength)};
}

QString joinRemarks(const QString &obs, const QString &obs2)
{
    if (obs2.trimmed().isEmpty())
        return obs;
    return obs.leftJustified(RemarkPartLength, QLatin1Char(' ')) + obs2;
}

} // namespace vestronia
