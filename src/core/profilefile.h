#pragma once
// Settings files with the semantics of Windows profile (INI) files: sections and keys
// compared without regard to case, the first match wins, every other line is kept as
// it was, CRLF line ends, code page 1250. Each call opens, reads or rewrites, and closes
// the file, so another workstation sees a change at once. Writes replace the file
// atomically. Files larger than MaxFileSize are refused rather than read.

#include <QByteArray>
#include <QString>
#include <optional>

namespace vestronia::ProfileFile {

constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

// The same rules over a file's bytes, for callers that change several keys in one
// read-modify-write (SharedFile::backend().update).
QString textIn(const QByteArray &content, const QString &section, const QString &key);
qint64 numberIn(const QByteArray &content, const QString &section, const QString &key);
// The content with the key set (file, section and key created when missing).
QByteArray withText(const std::optional<QByteArray> &content, const QString &section, const QString &key,
                    const QString &value);

// The value, trimmed, with one pair of surrounding double quotes removed; empty when
// the file, section or key is missing or the file cannot be read.
QString readText(const QString &path, const QString &section, const QString &key);
// A whole number; 0 when missing or not a number (a leading number is read as far as it
// goes, as the Windows function does).
qint64 readNumber(const QString &path, const QString &section, const QString &key);
// A decimal number with a point; 0 when missing or not a number.
double readReal(const QString &path, const QString &section, const QString &key);

// Writes the key, creating section and file when missing. Throws FileError when the
// file cannot be read or written; then it is unchanged.
void writeText(const QString &path, const QString &section, const QString &key, const QString &value);
void writeNumber(const QString &path, const QString &section, const QString &key, qint64 value);
// Removes the key when present.
void removeKey(const QString &path, const QString &section, const QString &key);

} // namespace vestronia::ProfileFile
