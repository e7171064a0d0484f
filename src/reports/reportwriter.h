#pragma once
// The report writer: fills a spreadsheet template and hands the result to the user.
//
// Calling order for a report: newWorkFile() for the template copy, writeTemplateResource(),
// openTemplate(), then replaceKey(), setCell(), fillRows(), copyRowBlock(), deleteRows()
// as the report needs, then finish(). The receipt opens "ModelChitanta.xls" of the
// data folder instead and may call exportPdf() after finish(). Reports that
// widen a template by columns use workbook() directly between open and finish.
//
// Placeholders of a template: any key text (replaceKey) anywhere in a cell; "#DBF"
// marks a data row (the cell is emptied); in that row "%NRCRT" takes the running number
// and "#FIELD" the field of the result set (whole cell, any case, blanks ignored).
//
// Rows and columns count from 1. Engine errors (damaged template, failed save, no open
// workbook: "There is no open file") are thrown as XlsError.

#include "xls/workbook.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace vestronia {

class ResultSet;

class ReportWriter
{
public:
    // Outputs go to tempFolder; empty means the TEMP folder of the current session.
    explicit ReportWriter(const QString &tempFolder = QString());

    // Opens a template for filling; false (and nothing changed) when the file does not
    // exist. The output name ("XLSTmp<n>.xls" in the TEMP folder) is chosen now; the
    // template file itself is never changed. There is no external spreadsheet application
    // on this platform: the built-in engine is always used and the wish is ignored.
    bool openTemplate(const QString &templatePath, bool useExternalApplication = false);
    bool isOpen() const { return m_workbook.isOpen(); }

    // Replaces a key in every cell of the active sheet, without regard to the case of
    // a-z. A cell holding exactly the key receives the value as it is (a number stays a
    // number); elsewhere the key is replaced by the value's text, and text that was put
    // in is not searched again. Formula cells are left alone.
    void replaceKey(const QString &key, const QVariant &value);
    void setCell(int row, int column, const QVariant &value);

    // Fills the topmost data row still marked "#DBF" with the records of the result set
    // (or only the listed record indexes, in that order; indexes outside the result are
    // skipped): copies of the row are inserted
    // for every record after the first, so totals spanning the row grow. Text fields are
    // written as text, DATE fields as date serial numbers, other fields as numbers with
    // zero left empty. Without a marker nothing changes. An empty result clears the
    // marker and empties the row's placeholders, so the list prints as its headings, one
    // blank row and zero totals. Returns the first data row (0 without a
    // marker).
    int fillRows(const ResultSet &rows);
    int fillRows(const ResultSet &rows, const QList<int> &recordIndexes);

    // Makes the row tall enough for each of its texts to print whole on the lines its
    // cell (or the merged range it starts) wraps it into; never lowers a row. The width
    // of a text is estimated for Arial 10 pt, erring on the wide side. fillRows does it
    // for every row it fills.
    void fitRowHeight(int row);

    // Inserts count copies of a row at that row (the row moves down by count).
    void insertRowCopies(int row, int count);
    // Inserts count copies of rows first..last at dest; rows from dest on move down.
    void copyRowBlock(int first, int last, int dest, int count);
    void deleteRows(int row, int count);

    // Saves the output (refusing to overwrite) and closes it. Returns the output path;
    // opening it for the user is the caller's (openDocument). Throws XlsError or FileError.
    QString finish();

    // Converts a saved workbook to PDF next to it with the document converter. Returns
    // the PDF path, or an empty string when no PDF could be made (the caller then shows
    // the workbook itself, so the user still gets the document).
    QString exportPdf(const QString &workbookPath) const;

    // The engine, for reports that edit columns or cells directly.
    Workbook &workbook() { return m_workbook; }
    const QString &outputPath() const { return m_outputPath; }
    const QString &tempFolder() const { return m_tempFolder; }

private:
    QString m_tempFolder;
    QString m_outputPath;
    Workbook m_workbook;
};

// Replaces every occurrence of key in text (a-z compared without regard to case) by
// value, scanning left to right and never searching the inserted value again.
QString replaceKeyInText(const QString &text, const QString &key, const QString &value);
// The text a value takes inside a cell text: numbers in their shortest form ("12.5"),
// money as "12.5", dates as "dd.MM.yyyy".
QString valueText(const QVariant &value);

} // namespace vestronia
