// Request and reply files of the remote backup: writing, bounded parsing and the safe
// extraction of attachments into one folder. Text is code page 1250.

#include "backup/commandfile.h"

#include "core/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vestronia {

namespace {

constexpr qint64 CopyChunk = 1024 * 1024;

QString fileError(const QString &what, const QString &path, const QString &reason)
{
    return what + QStringLiteral(" ") + QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
}

} // namespace

QString CommandFile::value(const QString &key) const
{
    for (const CommandLine &l : lines)
        if (l.key == key)
            return l.value;
    return {};
}

bool CommandFile::has(const QString &key) const
{
    for (const CommandLine &l : lines)
        if (l.key == key)
            return true;
    return false;
}

bool isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name.size() > 100 || name.startsWith(QLatin1Char('.')))
        return false;
    for (QChar c : name) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.'
                        || u == '_' || u == '-';
        if (!ok)
            return false;
    }
    return true;
}

CommandFile parseCommandFile(const QByteArray &head, qint64 totalSize, const CommandFileLimits &limits)
{
    if (totalSize < 0 || totalSize > limits.maxFileSize || head.size() > totalSize)
        throw ProtocolError(QStringLiteral("Fisier de comanda prea mare."));
    CommandFile file;
    qint64 pos = 0;
    qint64 textEnd = -1;
    int lineCount = 0;
    const qint64 scan = qMin<qint64>(head.size(), limits.maxText);
    while (pos < scan) {
        qint64 eol = head.indexOf('\n', pos);
        const bool lastLine = eol < 0 || eol >= scan;
        if (lastLine)
            eol = scan;
        qint64 lineEnd = eol;
        if (lineEnd > pos && head.at(lineEnd - 1) == '\r')
            --lineEnd;
        const QString line = fromCp1250(head.constData() + pos, lineEnd - pos).trimmed();
        pos = eol + 1;
        if (++lineCount > limits.maxLines)
            throw ProtocolError(QStringLiteral("Prea multe randuri in fisierul de comanda."));
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        CommandLine l;
        l.key = (blank < 0 ? line : line.left(blank)).trimmed().toUpper();
        l.value = blank < 0 ? QString() : line.mid(blank + 1).trimmed();
        if (l.key == QLatin1String("/END")) {
            textEnd = qMin(pos, qint64(head.size()));
            break;
        }
        if (lastLine)
            break; // a line cut by the bound: no "/END" within it
        if (l.key == QLatin1String("#ATTACH")) {
            const qsizetype colon = l.value.lastIndexOf(QLatin1Char(':'));
            if (colon < 0)
                throw ProtocolError(QStringLiteral("Atasament fara marime: ") + l.value.left(120));
            CommandAttachment a;
            a.name = l.value.left(colon).trimmed();
            bool ok = false;
            a.size = l.value.mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || a.size < 0 || a.size > limits.maxAttachmentSize)
                throw ProtocolError(QStringLiteral("Marime gresita a atasamentului ") + a.name.left(120));
            if (!isPlainFileName(a.name))
                throw ProtocolError(QStringLiteral("Nume de atasament refuzat: ") + a.name.left(120));
            if (file.attachments.size() >= limits.maxAttachments)
                throw ProtocolError(QStringLiteral("Prea multe atasamente."));
            file.attachments.append(a);
            continue;
        }
        if (!l.key.isEmpty())
            file.lines.append(l);
    }
    if (textEnd < 0)
        throw ProtocolError(QStringLiteral("Fisierul de comanda nu se termina cu /END."));
    qint64 total = 0;
    for (const CommandAttachment &a : file.attachments)
        total += a.size; // each is bounded, the count too: no overflow
    if (total > totalSize - textEnd)
        throw ProtocolError(QStringLiteral("Atasamentele depasesc fisierul de comanda."));
    qint64 offset = totalSize - total;
    for (CommandAttachment &a : file.attachments) {
        a.offset = offset;
        offset += a.size;
    }
    return file;
}

CommandFile readCommandFile(const QString &path, const CommandFileLimits &limits)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw FileError(fileError(QStringLiteral("Nu pot citi"), path, f.errorString()));
    const QByteArray head = f.read(limits.maxText);
    return parseCommandFile(head, f.size(), limits);
}

QByteArray commandFileHead(const QStringList &lines, const QStringList &names, const QList<qint64> &sizes)
{
    QByteArray text;
    for (const QString &l : lines)
        text += toCp1250(l) + "\r\n";
    for (int i = 0; i < names.size() && i < sizes.size(); ++i)
        text += "#ATTACH " + toCp1250(names.at(i)) + " : " + QByteArray::number(sizes.at(i)) + "\r\n";
    text += "/END\r\n";
    return text;
}

void writeCommandFile(const QString &path, const QStringList &lines, const QStringList &attachPaths,
                      const QStringList &names)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(fileError(QStringLiteral("Nu pot scrie"), path, out.errorString()));
    QStringList attachNames;
    QList<qint64> sizes;
    for (int i = 0; i < attachPaths.size(); ++i) {
        const QFileInfo info(attachPaths.at(i));
        if (!info.isFile())
            throw FileError(fileError(QStringLiteral("Nu gasesc"), attachPaths.at(i), QStringLiteral("lipseste")));
        attachNames.append(i < names.size() ? names.at(i) : info.fileName());
        sizes.append(info.size());
    }
    const QByteArray text = commandFileHead(lines, attachNames, sizes);
    out.write(text);
    for (const QString &p : attachPaths) {
        QFile in(p);
        if (!in.open(QIODevice::ReadOnly))
            throw FileError(fileError(QStringLiteral("Nu pot citi"), p, in.errorString()));
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(CopyChunk);
            if (chunk.isEmpty() || out.write(chunk) != chunk.size())
                throw FileError(fileError(QStringLiteral("Nu pot scrie"), path, out.errorString()));
        }
    }
    if (!out.commit())
        throw FileError(fileError(QStringLiteral("Nu pot scrie"), path, out.errorString()));
}

QStringList extractAttachments(const QString &path, const CommandFile &file, const QString &folder)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw FileError(fileError(QStringLiteral("Nu pot citi"), path, in.errorString()));
    QDir().mkpath(folder);
    QStringList written;
    for (const CommandAttachment &a : file.attachments) {
        if (!isPlainFileName(a.name) || a.offset < 0 || a.offset + a.size > in.size())
            throw ProtocolError(QStringLiteral("Atasament refuzat: ") + a.name.left(120));
        const QString target = QDir(folder).filePath(a.name);
        QSaveFile out(target);
        if (!out.open(QIODevice::WriteOnly) || !in.seek(a.offset))
            throw FileError(fileError(QStringLiteral("Nu pot scrie"), target, out.errorString()));
        qint64 left = a.size;
        while (left > 0) {
            const QByteArray chunk = in.read(qMin(left, CopyChunk));
            if (chunk.isEmpty() || out.write(chunk) != chunk.size())
                throw FileError(fileError(QStringLiteral("Nu pot scrie"), target, out.errorString()));
            left -= chunk.size();
        }
        if (!out.commit())
            throw FileError(fileError(QStringLiteral("Nu pot scrie"), target, out.errorString()));
        written.append(target);
    }
    return written;
}

} // namespace vestronia
