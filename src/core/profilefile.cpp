// Windows profile-file semantics over plain files, with atomic replacement on write.
// Lines longer than a Windows profile line are still kept; a value is cut nowhere.

#include "core/profilefile.h"

#include "core/error.h"
#include "core/sharedfile.h"
#include "core/text.h"

#include <QStringList>

namespace vestronia::ProfileFile {

namespace {

QStringList splitLines(const QByteArray &bytes)
{
    const QString text = fromCp1250(bytes);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray joinLines(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        // The comma-below letters a clerk types have their cedilla twins in the code page.
        bytes += toCp1250(foldRomanianLetters(line));
        bytes += "\r\n";
    }
    return bytes;
}

// "[name]" (blanks allowed around) gives the trimmed name; anything else is not a header.
bool sectionName(const QString &line, QString *name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    *name = t.mid(1, close - 1).trimmed();
    return true;
}

bool keyOf(const QString &line, QString *key, QString *value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    const QString k = line.left(eq).trimmed();
    if (k.isEmpty() || k.startsWith(QLatin1Char(';')))
        return false;
    *key = k;
    if (value)
        *value = line.mid(eq + 1).trimmed();
    return true;
}

struct Location
{
    int sectionLine = -1; // header line of the first matching section
    int keyLine = -1;     // line of the first matching key inside it
    int lastLine = -1;    // last non-blank line of that section
};

Location locate(const QStringList &lines, const QString &section, const QString &key)
{
    Location loc;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        QString name;
        if (sectionName(lines[i], &name)) {
            if (inSection)
                break; // only the first matching section counts
            if (name.compare(section, Qt::CaseInsensitive) == 0) {
                inSection = true;
                loc.sectionLine = i;
                loc.lastLine = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!lines[i].trimmed().isEmpty())
            loc.lastLine = i;
        QString k;
        if (loc.keyLine < 0 && keyOf(lines[i], &k, nullptr) && k.compare(key, Qt::CaseInsensitive) == 0)
            loc.keyLine = i;
    }
    return loc;
}

QString valueOf(const QStringList &lines, const QString &section, const QString &key)
{
    const Location loc = locate(lines, section, key);
    if (loc.keyLine < 0)
        return {};
    QString k, value;
    keyOf(lines[loc.keyLine], &k, &value);
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

void setValue(QStringList &lines, const QString &section, const QString &key, const QString &value)
{
    const Location loc = locate(lines, section, key);
    const QString entry = key + QLatin1Char('=') + value;
    if (loc.keyLine >= 0) {
        lines[loc.keyLine] = entry;
    } else if (loc.sectionLine >= 0) {
        lines.insert(loc.lastLine + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(entry);
    }
}

qint64 leadingNumber(const QString &value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == QLatin1Char('-') || value[i] == QLatin1Char('+')))
        negative = value[i++] == QLatin1Char('-');
    qint64 n = 0;
    for (; i < value.size() && value[i].isDigit() && value[i].unicode() < 128; ++i) {
        if (n > 99'999'999'999'999LL)
            break;
        n = n * 10 + (value[i].unicode() - '0');
    }
    return negative ? -n : n;
}

// For reading a value: a file that cannot be read gives no lines.
QStringList readLines(const QString &path)
{
    try {
        const std::optional<QByteArray> bytes = SharedFile::backend().read(path);
        return bytes ? splitLines(*bytes) : QStringList();
    } catch (const FileError &) {
        return {};
    }
}

} // namespace

QString textIn(const QByteArray &content, const QString &section, const QString &key)
{
    return valueOf(splitLines(content), section, key);
}

qint64 numberIn(const QByteArray &content, const QString &section, const QString &key)
{
    return leadingNumber(textIn(content, section, key));
}

QByteArray withText(const std::optional<QByteArray> &content, const QString &section, const QString &key,
                    const QString &value)
{
    QStringList lines = content ? splitLines(*content) : QStringList();
    setValue(lines, section, key, value);
    return joinLines(lines);
}

QString readText(const QString &path, const QString &section, const QString &key)
{
    return valueOf(readLines(path), section, key);
}

qint64 readNumber(const QString &path, const QString &section, const QString &key)
{
    return leadingNumber(readText(path, section, key));
}

double readReal(const QString &path, const QString &section, const QString &key)
{
    bool ok = false;
    const double v = readText(path, section, key).toDouble(&ok);
    return ok ? v : 0.0;
}

void writeText(const QString &path, const QString &section, const QString &key, const QString &value)
{
    SharedFile::backend().update(path, [&](const std::optional<QByteArray> &current) -> std::optional<QByteArray> {
        return withText(current, section, key, value);
    });
}

void writeNumber(const QString &path, const QString &section, const QString &key, qint64 value)
{
    writeText(path, section, key, QString::number(value));
}

void removeKey(const QString &path, const QString &section, const QString &key)
{
    SharedFile::backend().update(path, [&](const std::optional<QByteArray> &current) -> std::optional<QByteArray> {
        if (!current)
            return std::nullopt;
        QStringList lines = splitLines(*current);
        const Location loc = locate(lines, section, key);
        if (loc.keyLine < 0)
            return std::nullopt;
        lines.removeAt(loc.keyLine);
        return joinLines(lines);
    });
}

} // namespace vestronia::ProfileFile
