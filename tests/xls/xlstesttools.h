#pragma once
// Helpers of the workbook tests: outside writers and readers (Perl's
// Spreadsheet::WriteExcel, python3-xlrd, LibreOffice headless) and a text dump of what
// our engine reads, so the two readings can be compared line by line.

#include "xls/workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cmath>

namespace xlstest {

inline QString templatePath(const QString &name)
{
    return QStringLiteral(VESTRONIA_SOURCE_DIR "/resources/templates/") + name + QStringLiteral(".xls");
}

inline QStringList templateNames()
{
    return {QStringLiteral("Rap1"),   QStringLiteral("BordInc"), QStringLiteral("Bilant"),       QStringLiteral("CenIns"),
            QStringLiteral("ChitAn"), QStringLiteral("RegCasa"), QStringLiteral("ModelChitanta"), QStringLiteral("Fisa")};
}

// Runs a program; true when it ran and succeeded (its standard output goes to *output,
// its failure to *error).
inline bool run(const QString &program, const QStringList &args, QString *output, QString *error = nullptr,
                int timeoutMs = 120000, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        if (error)
            *error = program + QStringLiteral(" cannot start");
        return false;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = program + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError());
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    return true;
}

inline bool havePerlWriteExcel()
{
    return run(QStringLiteral("perl"),
               {QStringLiteral("-MSpreadsheet::WriteExcel"), QStringLiteral("-e"), QStringLiteral("print 1")}, nullptr);
}

// Writes a workbook with Spreadsheet::WriteExcel: the Perl body sees $wb (the workbook).
inline QString perlWorkbook(const QString &dir, const QString &name, const QString &body, QString *error)
{
    const QString path = dir + QLatin1Char('/') + name;
    const QString script = QStringLiteral("use strict; use warnings; use Spreadsheet::WriteExcel;\n"
                                          "my $wb = Spreadsheet::WriteExcel->new($ARGV[0]) or die \"cannot create\";\n")
        + body + QStringLiteral("\n$wb->close() or die \"cannot close\";\n");
    return run(QStringLiteral("perl"), {QStringLiteral("-"), path}, nullptr, error, 60000, script.toUtf8()) ? path
                                                                                                          : QString();
}

inline QString soffice()
{
    QString exe = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (exe.isEmpty())
        exe = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    return exe;
}

// Converts files with LibreOffice headless (fresh profile) into outDir; filter is e.g.
// "csv:Text - txt - csv (StarCalc):44,34,76" or "xls:MS Excel 97".
inline bool sofficeConvert(const QStringList &files, const QString &filter, const QString &outDir, QString *error,
                           const QString &inFilter = QString())
{
    const QString exe = soffice();
    if (exe.isEmpty()) {
        if (error)
            *error = QStringLiteral("no LibreOffice");
        return false;
    }
    QDir().mkpath(outDir + QStringLiteral("/profile"));
    QStringList args{QStringLiteral("--headless"), QStringLiteral("--norestore"),
                     QStringLiteral("-env:UserInstallation=file://") + outDir + QStringLiteral("/profile"),
                     QStringLiteral("--convert-to"), filter, QStringLiteral("--outdir"), outDir};
    if (!inFilter.isEmpty())
        args << QStringLiteral("--infilter=") + inFilter;
    args += files;
    return run(exe, args, nullptr, error, 180000);
}

inline QString pythonXlrdScript()
{
    return QStringLiteral(R"PY(
import sys, xlrd
def num(v):
    return str(int(v)) if float(v).is_integer() and abs(v) < 1e15 else repr(v)
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for s in b.sheets():
    print('sheet|' + s.name)
    for r in range(s.nrows):
        for c in range(s.ncols):
            cell = s.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY or cell.ctype == xlrd.XL_CELL_BLANK:
                continue
            if cell.ctype == xlrd.XL_CELL_TEXT:
                v = 's:' + cell.value
            elif cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                v = 'n:' + num(cell.value)
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                v = 'n:' + str(int(cell.value))
            else:
                v = 'e:'
            print('%d,%d|%s|xf%d' % (r + 1, c + 1, v, cell.xf_index))
    for (r1, r2, c1, c2) in sorted(s.merged_cells):
        print('merge|%d,%d:%d,%d' % (r1 + 1, c1 + 1, r2, c2))
)PY");
}

// What python3-xlrd reads from a file, one line per cell and merge; null on failure.
inline QString xlrdDump(const QString &path, QString *error)
{
    QString out;
    if (!run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), pythonXlrdScript(), path}, &out, error))
        return QString();
    return out.isNull() ? QStringLiteral("") : out;
}

// The same lines from our engine (formula cells give their stored result, as xlrd does).
inline QString engineDump(vestronia::Workbook &wb)
{
    QString out;
    const int active = wb.activeSheet();
    for (int s = 1; s <= wb.sheetCount(); ++s) {
        out += QStringLiteral("sheet|") + wb.sheetName(s) + QLatin1Char('\n');
        try {
            wb.setActiveSheet(s);
        } catch (...) {
            continue;
        }
        for (int r = 1; r <= wb.lastRow(); ++r)
            for (int c = 1; c <= wb.lastColumn(); ++c) {
                const QVariant v = wb.cellValue(r, c);
                if (!v.isValid())
                    continue;
                const QString value = v.typeId() == QMetaType::QString ? QStringLiteral("s:") + v.toString()
                                                                        : QStringLiteral("n:") + wb.cellText(r, c);
                if (v.typeId() == QMetaType::QString && v.toString().isEmpty())
                    continue; // xlrd reads an empty formula text as an empty cell
                out += QStringLiteral("%1,%2|%3|xf%4\n").arg(r).arg(c).arg(value).arg(wb.formatIndex(r, c));
            }
        QList<vestronia::CellRange> merges = wb.mergedRanges();
        std::sort(merges.begin(), merges.end(), [](const vestronia::CellRange &a, const vestronia::CellRange &b) {
            return std::tie(a.firstRow, a.lastRow, a.firstColumn, a.lastColumn)
                < std::tie(b.firstRow, b.lastRow, b.firstColumn, b.lastColumn);
        });
        for (const vestronia::CellRange &m : merges)
            out += QStringLiteral("merge|%1,%2:%3,%4\n").arg(m.firstRow).arg(m.firstColumn).arg(m.lastRow).arg(m.lastColumn);
    }
    wb.setActiveSheet(active);
    return out;
}

// Reads a CSV written by LibreOffice into rows of fields (quotes removed).
inline QList<QStringList> readCsv(const QString &path)
{
    QList<QStringList> rows;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    const QString text = QString::fromUtf8(f.readAll());
    QStringList row;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char(',')) {
            row << field;
            field.clear();
        } else if (ch == QLatin1Char('\n')) {
            row << field;
            rows << row;
            row.clear();
            field.clear();
        } else if (ch != QLatin1Char('\r')) {
            field += ch;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) {
        row << field;
        rows << row;
    }
    return rows;
}

} // namespace xlstest
