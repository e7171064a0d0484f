#pragma once
// Text helpers shared by every layer: the clean-up of what a user types, code page
// 1250 (the tables' and settings files' encoding) and the two-field remark.

#include <QByteArray>
#include <QString>
#include <utility>

namespace vestronia {

// Trims, turns double quotes into blanks and collapses runs of blanks to one.
QString cleanText(const QString &text);
// The letters s and t with comma below, which today's keyboards type, as the letters with
// cedilla that code page 1250 has (the same letters to a Romanian reader); every other
// character as it is.
char16_t foldedRomanianLetter(char16_t c);
QString foldRomanianLetters(const QString &text);

// Code page 1250 <-> Unicode. Characters with no place in 1250 become '?'.
QString fromCp1250(const char *data, qsizetype size);
inline QString fromCp1250(const QByteArray &bytes) { return fromCp1250(bytes.constData(), bytes.size()); }
QByteArray toCp1250(const QString &text);
// Whether every character of the text has a code in 1250.
bool fitsCp1250(const QString &text);

// A remark of up to 400 characters is kept as two 200-character fields.
constexpr int RemarkPartLength = 200;
std::pair<QString, QString> splitRemarks(const QString &remark);
QString joinRemarks(const QString &obs, const QString &obs2);

} // namespace vestronia
