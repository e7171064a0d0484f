// Text clean-up, code page 1250 and the remark split.

#include "core/text.h"

#include "core/codepage1250.h"

#include <array>

namespace vestronia {

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
        dst[i] = b < 0x80 ? QChar(char16_t(b)) : QChar(Cp1250HighHalf[b - 0x80]);
    }
    return out;
}

namespace {
// Reverse of Cp1250HighHalf, built once: every character the page knows is below U+2200.
constexpr char16_t ReverseLimit = 0x2200;
std::array<unsigned char, ReverseLimit> buildReverse()
{
    std::array<unsigned char, ReverseLimit> table{};
    for (int i = 0; i < 128; ++i)
        if (Cp1250HighHalf[i] != 0xFFFD && Cp1250HighHalf[i] < ReverseLimit)
            table[Cp1250HighHalf[i]] = static_cast<unsigned char>(0x80 + i);
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
