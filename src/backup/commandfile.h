#pragma once
// The request and reply files of the remote backup: text lines (CR LF), one
// "#ATTACH name : size" line per attached file, the line "/END", then the attached
// files' bytes concatenated in the order of their lines. The client writes requests and
// reads replies; the server does the opposite, with the same code. Everything read is
// bounded before use: the text part, the number of lines and attachments, each
// attachment's size and name (a plain file name, never a path).

#include "backup/packetcodec.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vestronia {

struct CommandLine
{
    QString key;   // before the first blank, trimmed, upper case ("/INFO", "#ATTACH")
    QString value; // after it, trimmed
};

struct CommandAttachment
{
    QString name;
    qint64 size = 0;
    qint64 offset = 0; // where its bytes start in the file
};

struct CommandFileLimits
{
    qint64 maxText = 64 * 1024;      // bytes before the end of the "/END" line
    int maxLines = 1000;
    int maxAttachments = 16;
    qint64 maxAttachmentSize = qint64(2) * 1024 * 1024 * 1024;
    qint64 maxFileSize = qint64(4) * 1024 * 1024 * 1024;
};

struct CommandFile
{
    QList<CommandLine> lines; // the lines before "/END", "#ATTACH" lines excluded
    QList<CommandAttachment> attachments;
    // The value of the first line with this key; empty when absent.
    QString value(const QString &key) const;
    bool has(const QString &key) const;
};

// Whether a name is a plain file name we are willing to write: 1 to 100 characters of
// letters, digits, '.', '_' and '-', not starting with a dot.
bool isPlainFileName(const QString &name);

// Parses the start of a file of totalSize bytes (head: at least its first
// limits.maxText bytes, or all of it). The attachments occupy the last (sum of sizes)
// bytes. Throws ProtocolError when "/END" is missing within the bound, a line or
// attachment count is over its bound, an attachment line is malformed, a name is not a
// plain file name, or the sizes do not fit the file.
CommandFile parseCommandFile(const QByteArray &head, qint64 totalSize, const CommandFileLimits &limits = {});
// Reads and parses a file on disk; FileError when it cannot be read.
CommandFile readCommandFile(const QString &path, const CommandFileLimits &limits = {});

// The text part of a request or reply: the lines, an "#ATTACH name : size" line per
// attachment, "/END". The attachments' bytes follow it.
QByteArray commandFileHead(const QStringList &lines, const QStringList &names = {}, const QList<qint64> &sizes = {});

// Writes a request or reply: the lines, an "#ATTACH" line per attached file (named by
// its file name unless names gives another), "/END", the files' bytes. Throws FileError.
void writeCommandFile(const QString &path, const QStringList &lines, const QStringList &attachPaths = {},
                      const QStringList &names = {});

// Copies each attachment of a parsed file into folder under its name; returns the paths
// written in order. A file of that name is replaced only when the copy is complete.
// Throws FileError.
QStringList extractAttachments(const QString &path, const CommandFile &file, const QString &folder);

} // namespace vestronia
