#pragma once
// A BIFF8 workbook (.xls) opened for editing: the engine behind every printed document.
//
// Rows and columns count from 1 in this interface. A value is read as an invalid
// QVariant (empty), a QString (text) or a double (number; formulas give their stored
// result). Writing a value keeps the cell's format. Row and column insertions, copies
// and deletions move every reference of the workbook the way a spreadsheet program does:
// references at or after an insertion move, a range that starts before the insertion
// point and ends at or after it grows, references into deleted cells become #REF!.
// Formulas are stored, not computed: the spreadsheet program computes them on opening.
//
// Every operation on a workbook that is not open throws XlsError("There is no open
// file"). Damaged or unsupported files, refused edits and failed saves throw XlsError
// with a message that names the file where one is involved.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

namespace vestronia {

// A block of cells; 1-based and inclusive.
struct CellRange
{
    int firstRow = 0;
    int lastRow = 0;
    int firstColumn = 0;
    int lastColumn = 0;
    friend bool operator==(const CellRange &, const CellRange &) = default;
};

// A defined name (print area, print titles, a user name) with its formula as A1 text.
struct DefinedName
{
    QString name;   // "Print_Area", "Print_Titles" for the built-in ones
    int sheet = 0;  // 1-based sheet the name belongs to; 0 for a workbook-wide name
    QString formula;
};

class Workbook
{
public:
    Workbook();
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    // Opens a workbook file (closing any open one first); the first sheet becomes active.
    void open(const QString &path);
    // Opens a workbook from the bytes of a compound file (tests, fuzzing).
    void openBytes(const QByteArray &bytes);
    // Opens a workbook from its BIFF8 stream alone (fuzzing); saving puts it into a new
    // compound file.
    void openStream(const QByteArray &stream);
    bool isOpen() const;
    void close();
    // Saves to a new file; refuses a path where a file already exists. The workbook stays
    // open. Written to a temporary name in the same folder, then renamed.
    void saveAs(const QString &path);
    // The BIFF8 stream that saveAs would write (for checks and fuzzing).
    QByteArray workbookStream() const;

    int sheetCount() const;
    QString sheetName(int sheet) const;
    // Chooses the sheet the cell operations act on; it must be a worksheet.
    void setActiveSheet(int sheet);
    int activeSheet() const;

    // Last row and column holding a cell on the active sheet; 0 when it has none.
    int lastRow() const;
    int lastColumn() const;
    // Last column holding a cell in one row (cheap: the sheet-wide one looks at every row).
    int lastColumnInRow(int row) const;

    QVariant cellValue(int row, int column) const;
    // The value as text: "" for empty, the text, or the number in its shortest form
    // ("12", "12.5", "-0.25").
    QString cellText(int row, int column) const;
    bool isFormula(int row, int column) const;
    // The formula as A1 text without "=" ("SUM(G6:G7)"); empty when the cell has none.
    QString formulaText(int row, int column) const;
    // Number format code of the cell ("General", "0.00", "dd.mm.yyyy").
    QString numberFormat(int row, int column) const;
    // Index of the cell's format record (XF); the row's or column's default for no cell.
    int formatIndex(int row, int column) const;

    // Writes a value keeping the cell's format: QString (an empty text leaves the cell
    // blank; a text is cut at the 32767 characters a cell holds), any number (int, qlonglong, double, Money), QDate (its date serial
    // number), bool; an invalid QVariant blanks the cell. A formula there is replaced.
    void setCell(int row, int column, const QVariant &value);

    void insertRows(int row, int count);
    void deleteRows(int row, int count);
    void insertColumns(int column, int count);
    void deleteColumns(int column, int count);
    // Inserts count copies of rows first..last at dest: rows from dest on move down by
    // count * (last - first + 1) and the copies carry values, formats, row heights,
    // merged cells and formulas (relative references moved with the copy).
    void copyRows(int first, int last, int dest, int count);
    // The same for columns (with their widths).
    void copyColumns(int first, int last, int dest, int count);

    QList<CellRange> mergedRanges() const;
    // Column width in 1/256 of a character; -1 when the column has no width of its own.
    int columnWidth(int column) const;
    // Row height in twips; -1 when the row has no height of its own.
    int rowHeight(int row) const;
    // Gives the row a height of its own (twips, 1..8192), kept by every reader.
    void setRowHeight(int row, int twips);
    // Replaces the active sheet's manual column breaks: each listed column starts a new
    // printed page (the print titles repeat on it).
    void setColumnPageBreaks(const QList<int> &columns);
    QList<DefinedName> definedNames() const;
    // The page header and footer of the active sheet in their stored code form
    // ("&Rpag. &P/&N"); empty when the sheet has none.
    QString pageHeader() const;
    QString pageFooter() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vestronia
