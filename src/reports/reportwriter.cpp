// Report writer over the workbook engine: template opening, key replacement, data-row
// filling from a query result, row copies and deletions, saving and the hand-over to
// the user, and the PDF export through the document converter.

#include "reports/reportwriter.h"

#include "core/dates.h"
#include "core/error.h"
#include "core/money.h"
#include "core/progress.h"
#include "core/session.h"
#include "core/workfiles.h"
#include "reports/documentconverter.h"
#include "store/database.h"
#include "xls/xlserror.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace vestronia {

namespace {

// Upper case of the letters a-z only, as the key comparison has it.
QString asciiUpper(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(c.unicode() - 32);
    return out;
}

// A number as a clerk reads it inside a text: at most 15 significant digits, as a
// spreadsheet shows a cell, so 0.1 + 0.2 reads 0.3 and not 0.30000000000000004.
QString numberText(double v)
{
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    return QString::number(v, 'g', 15);
}

enum class FieldKind { Text, Date, Number };

FieldKind kindOf(const QString &declaredType, const QVariant &sample)
{
    const QString t = declaredType.trimmed().toUpper();
    if (t.startsWith(QLatin1String("CHAR")) || t.startsWith(QLatin1String("VARCHAR")) || t.startsWith(QLatin1String("TEXT"))
        || t.startsWith(QLatin1String("NCHAR")) || t.startsWith(QLatin1String("NVARCHAR")))
        return FieldKind::Text;
    if (t == QLatin1String("DATE"))
        return FieldKind::Date;
    if (!t.isEmpty())
        return FieldKind::Number;
    // A computed column: its value tells.
    return sample.typeId() == QMetaType::QString ? FieldKind::Text : FieldKind::Number;
}

QVariant cellValueOf(FieldKind kind, const QVariant &value)
{
    if (kind == FieldKind::Text)
        return QVariant(value.isValid() ? value.toString() : QString());
    double number = 0;
    if (value.typeId() == qMetaTypeId<Money>()) {
        number = value.value<Money>().toDouble();
    } else if (value.typeId() == QMetaType::QDate) {
        number = value.toDate().isValid() ? dayNumberOf(value.toDate()) : 0;
    } else if (value.isValid() && !value.isNull()) {
        bool ok = false;
        number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            number = 0;
    }
    // Zero is written as the empty text: an empty cell.
    return number == 0 ? QVariant(QString()) : QVariant(number);
}

// The printed width of a text in Arial 10 pt, in points, on the wide side: capitals and
// digits as their widest common letters, so an estimate never falls short.
double textPoints(QStringView text)
{
    double w = 0;
    for (const QChar ch : text) {
        if (ch == QLatin1Char(' ') || ch == QLatin1Char('.') || ch == QLatin1Char(',') || ch == QLatin1Char('-')
            || ch == QLatin1Char('/') || ch == QLatin1Char('i') || ch == QLatin1Char('l') || ch == QLatin1Char('I'))
            w += 3.4;
        else if (ch.isDigit())
            w += 5.6;
        else if (ch.isLower())
            w += 5.6;
        else if (ch == QLatin1Char('M') || ch == QLatin1Char('W'))
            w += 9.5;
        else
            w += 7.3;
    }
    return w;
}

// Lines a text takes when wrapped at blanks into a line of `width` points; a word longer
// than the line is broken.
int wrappedLines(const QString &text, double width)
{
    if (width <= 1)
        return 1;
    int lines = 1;
    double used = 0;
    const double space = textPoints(u" ");
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const double w = textPoints(word);
        if (used > 0 && used + space + w <= width) {
            used += space + w;
            continue;
        }
        if (used > 0)
            ++lines;
        if (w > width) {
            lines += int(w / width);
            used = w - width * int(w / width);
        } else {
            used = w;
        }
    }
    return lines;
}

// A data-row cell meant for FillRows: "%NRCRT" or "#" and a field name, whole cell.
bool isPlaceholder(const QString &cell)
{
    const QString text = asciiUpper(cell.trimmed());
    if (text == QLatin1String("%NRCRT"))
        return true;
    if (text.size() < 2 || text[0] != QLatin1Char('#'))
        return false;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (!(ch.isLetterOrNumber() || ch == QLatin1Char('_')))
            return false;
    }
    return true;
}

} // namespace

QString replaceKeyInText(const QString &text, const QString &key, const QString &value)
{
    if (key.isEmpty())
        return text;
    const QString upText = asciiUpper(text);
    const QString upKey = asciiUpper(key);
    QString out;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = upText.indexOf(upKey, from);
        if (at < 0)
            break;
        out += QStringView(text).mid(from, at - from);
        out += value;
        from = at + key.size();
    }
    out += QStringView(text).mid(from);
    return out;
}

QString valueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == qMetaTypeId<Money>())
        return value.value<Money>().toString();
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QDate:
        return dateText(value.toDate());
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(value.toDouble());
    default:
        return value.toString();
    }
}

ReportWriter::ReportWriter(const QString &tempFolder)
    : m_tempFolder(tempFolder.isEmpty() ? currentSession().tempFolder : tempFolder)
{
}

bool ReportWriter::openTemplate(const QString &templatePath, bool useExternalApplication)
{
    Q_UNUSED(useExternalApplication); // no automation server here: the built-in engine always
    const QFileInfo info(templatePath);
    if (templatePath.isEmpty() || !info.exists() || !info.isFile())
        return false;
    m_workbook.close();
    m_outputPath = newDocumentFile(m_tempFolder, QStringLiteral("XLSTmp"), QStringLiteral(".xls"));
    m_workbook.open(templatePath);
    m_workbook.setActiveSheet(1);
    return true;
}

void ReportWriter::replaceKey(const QString &key, const QVariant &value)
{
    if (key.isEmpty())
        return;
    const int lastRow = m_workbook.lastRow();
    const int lastColumn = m_workbook.lastColumn();
    const QString upKey = asciiUpper(key);
    const QString text = valueText(value);
    for (int r = 1; r <= lastRow; ++r) {
        for (int c = 1; c <= lastColumn; ++c) {
            if (m_workbook.isFormula(r, c))
                continue;
            const QString cell = m_workbook.cellText(r, c);
            if (cell.size() < key.size())
                continue;
            const QString upCell = asciiUpper(cell);
            if (upCell == upKey)
                m_workbook.setCell(r, c, value.typeId() == QMetaType::QString || !value.isValid() ? QVariant(text) : value);
            else if (upCell.contains(upKey))
                m_workbook.setCell(r, c, replaceKeyInText(cell, key, text));
        }
    }
}

void ReportWriter::setCell(int row, int column, const QVariant &value)
{
    m_workbook.setCell(row, column, value);
}

int ReportWriter::fillRows(const ResultSet &rows)
{
    QList<int> all;
    all.reserve(rows.rowCount());
    for (int i = 0; i < rows.rowCount(); ++i)
        all.append(i);
    return fillRows(rows, all);
}

int ReportWriter::fillRows(const ResultSet &rows, const QList<int> &requested)
{
    QList<int> recordIndexes;
    recordIndexes.reserve(requested.size());
    for (int i : requested)
        if (i >= 0 && i < rows.rowCount())
            recordIndexes.append(i);

    // The marker: the first "#DBF" cell, row by row.
    const int lastRow = m_workbook.lastRow();
    const int lastColumn = m_workbook.lastColumn();
    int dataRow = 0;
    for (int r = 1; r <= lastRow && dataRow == 0; ++r)
        for (int c = 1; c <= lastColumn; ++c)
            if (!m_workbook.isFormula(r, c) && asciiUpper(m_workbook.cellText(r, c).trimmed()) == QLatin1String("#DBF")) {
                m_workbook.setCell(r, c, QString());
                dataRow = r;
                break;
            }
    if (dataRow == 0)
        return 0;

    const int count = int(recordIndexes.size());
    if (count == 0) {
        // An empty list prints its headings and zero totals over one blank row: no
        // placeholder may reach the page.
        for (int c = 1; c <= lastColumn; ++c)
            if (!m_workbook.isFormula(dataRow, c) && isPlaceholder(m_workbook.cellText(dataRow, c)))
                m_workbook.setCell(dataRow, c, QString());
        return dataRow;
    }
    if (count > 1)
        insertRowCopies(dataRow, count - 1);

    // What each cell of the data row takes; every copy holds the same placeholders.
    struct Target
    {
        int column;
        int field; // -1: the running number
        FieldKind kind;
    };
    QList<Target> targets;
    QStringList upperNames;
    for (const QString &name : rows.columns())
        upperNames << QLatin1Char('#') + asciiUpper(name);
    for (int c = 1; c <= lastColumn; ++c) {
        if (m_workbook.isFormula(dataRow, c))
            continue;
        const QString text = asciiUpper(m_workbook.cellText(dataRow, c).trimmed());
        if (text.isEmpty())
            continue;
        if (text == QLatin1String("%NRCRT")) {
            targets.append({c, -1, FieldKind::Number});
            continue;
        }
        const int field = int(upperNames.indexOf(text));
        if (field < 0)
            continue;
        QVariant sample;
        for (int i : recordIndexes) {
            sample = rows.value(i, field);
            if (sample.isValid())
                break;
        }
        targets.append({c, field, kindOf(rows.declaredTypes().value(field), sample)});
    }

    for (int k = 0; k < count; ++k) {
        const int row = dataRow + k;
        const int record = recordIndexes[k];
        for (const Target &t : targets) {
            if (t.field < 0)
                m_workbook.setCell(row, t.column, k + 1);
            else
                m_workbook.setCell(row, t.column, cellValueOf(t.kind, rows.value(record, t.field)));
        }
        fitRowHeight(row);
    }
    return dataRow;
}

void ReportWriter::fitRowHeight(int row)
{
    if (!m_workbook.isOpen())
        throw XlsError(QStringLiteral("There is no open file"));
    // A column unit (1/256 of a character) prints 6.35/256 points wide; a cell keeps
    // about 4 points for its borders and padding.
    constexpr double PointsPerUnit = 6.35 / 256.0;
    constexpr int DefaultUnits = 2340;
    const QList<CellRange> merges = m_workbook.mergedRanges();
    // Only this row's cells can need wrapping: asking for the sheet's last column would
    // look at every row, once per row written.
    const int lastColumn = m_workbook.lastColumnInRow(row);
    int lines = 1;
    for (int c = 1; c <= lastColumn; ++c) {
        if (m_workbook.isFormula(row, c))
            continue;
        const QVariant value = m_workbook.cellValue(row, c);
        if (value.typeId() != QMetaType::QString || value.toString().trimmed().isEmpty())
            continue;
        int first = c;
        int last = c;
        bool covered = false;
        for (const CellRange &m : merges) {
            if (row < m.firstRow || row > m.lastRow || c < m.firstColumn || c > m.lastColumn)
                continue;
            covered = m.firstColumn != c || m.firstRow != row;
            first = m.firstColumn;
            last = m.lastColumn;
            break;
        }
        if (covered)
            continue;
        double units = 0;
        for (int k = first; k <= last; ++k) {
            const int w = m_workbook.columnWidth(k);
            units += w < 0 ? DefaultUnits : w;
        }
        lines = std::max(lines, wrappedLines(value.toString().trimmed(), units * PointsPerUnit - 4));
    }
    if (lines < 2)
        return;
    // 12 points a line, and the cell's own margin.
    const int twips = std::min(8192, lines * 240 + 60);
    if (m_workbook.rowHeight(row) < twips)
        m_workbook.setRowHeight(row, twips);
}

void ReportWriter::insertRowCopies(int row, int count)
{
    if (count > 0)
        m_workbook.copyRows(row, row, row, count);
    else if (!m_workbook.isOpen())
        throw XlsError(QStringLiteral("There is no open file"));
}

void ReportWriter::copyRowBlock(int first, int last, int dest, int count)
{
    m_workbook.copyRows(first, last, dest, count);
}

void ReportWriter::deleteRows(int row, int count)
{
    m_workbook.deleteRows(row, count);
}

QString ReportWriter::finish()
{
    if (!m_workbook.isOpen())
        throw XlsError(QStringLiteral("There is no open file"));
    if (m_outputPath.isEmpty())
        throw FileError(QStringLiteral("Nu exista un nume liber pentru raport in dosarul %1.")
                            .arg(QDir::toNativeSeparators(m_tempFolder)));
    m_workbook.saveAs(m_outputPath);
    m_workbook.close();
    return m_outputPath;
}

QString ReportWriter::exportPdf(const QString &workbookPath) const
{
    NullProgress quiet;
    return DocumentConverter::instance().toPdf(workbookPath, documentProfileFolder(currentSession()), quiet).pdfPath;
}

} // namespace vestronia
