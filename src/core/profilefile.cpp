// Windows profile-file semantics over plain files, with atomic replacement on write.
// Lines longer than a Windows profile line are still kept; a value is cut nowhere.

#include "core/profilefile.h"

#include "core/error.h"
#include "core/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace vestronia::ProfileFile {

namespace {

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.exists() || file.size() > MaxFileSize || !file.open(QIODevice::ReadOnly))
        return {};
    const QString text = fromCp1250(file.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
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

void writeLines(const QString &path, const QStringList &lines)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // A network share may not allow the rename trick; then write in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(path, file.errorString()));
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += toCp1250(line);
        bytes += "\r\n";
    }
    file.write(bytes);
    if (!file.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(path, file.errorString()));
}

} // namespace

QString readText(const QString &path, const QString &section, const QString &key)
{
    const QStringList lines = readLines(path);
    const Location loc = locate(lines, section, key);
    if (loc.keyLine < 0)
        return {};
    QString k, value;
    keyOf(lines[loc.keyLine], &k, &value);
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

qint64 readNumber(const QString &path, const QString &section, const QString &key)
{
    const QString value = readText(path, section, key);
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

double readReal(const QString &path, const QString &section, const QString &key)
{
    bool ok = false;
    const double v = readText(path, section, key).toDouble(&ok);
    return ok ? v : 0.0;
}

void writeText(const QString &path, const QString &section, const QString &key, const QString &value)
{
    QStringList lines = readLines(path);
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
    writeLines(path, lines);
}

void writeNumber(const QString &path, const QString &section, const QString &key, qint64 value)
{
    writeText(path, section, key, QString::number(value));
}

void removeKey(const QString &path, const QString &section, const QString &key)
{
    QStringList lines = readLines(path);
    const Location loc = locate(lines, section, key);
    if (loc.keyLine < 0)
        return;
    lines.removeAt(loc.keyLine);
    writeLines(path, lines);
}

} // namespace vestronia::ProfileFile
