#pragma once
// One worksheet of a workbook as the engine edits it: the records before the cell table
// (kept, with COLINFO and DIMENSIONS rebuilt), the rows and their cells, and the records
// after the cell table (kept, with MERGEDCELLS rebuilt). Shared formulas are turned
// into ordinary ones when read; cells are written back as BLANK, NUMBER/RK, LABELSST,
// BOOLERR and FORMULA (+ the STRING, ARRAY or TABLE record that came with it).

#include "xls/biffrecord.h"
#include "xls/formula.h"
#include "xls/sharedstrings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vestronia::biff {

enum class CellKind : std::uint8_t { Blank, Number, Text, BoolErr, Formula };

struct FormulaData
{
    std::array<char, 8> result{}; // cached result as stored
    std::uint16_t flags = 0;
    std::uint32_t chn = 0;
    std::string rgce;
    std::string rgcb;                // extra data after the tokens (array constants)
    std::vector<BiffRecord> follow;  // STRING, ARRAY or TABLE records that belong to it
    bool arrayPart() const;          // a member or base of an array formula or table
};

struct Cell
{
    std::uint16_t col = 0;
    std::uint16_t xf = 15;
    CellKind kind = CellKind::Blank;
    std::uint8_t boolErr[2] = {0, 0}; // value, and 1 when it is an error code
    double number = 0;
    std::uint32_t sst = 0;
    std::unique_ptr<FormulaData> formula;

    Cell() = default;
    Cell(const Cell &other);
    Cell &operator=(const Cell &other);
    Cell(Cell &&) noexcept = default;
    Cell &operator=(Cell &&) noexcept = default;
};

struct Row
{
    std::string record;      // data of its ROW record (16 bytes), empty when it had none
    std::vector<Cell> cells; // sorted by column
    bool empty() const { return record.empty() && cells.empty(); }
};

struct ColumnInfo
{
    bool present = false;
    std::uint16_t width = 0;
    std::uint16_t xf = 15;
    std::uint16_t options = 0;
};

struct MergedRange
{
    int firstRow = 0;
    int lastRow = 0;
    int firstCol = 0;
    int lastCol = 0;
};

// A copy of a block of rows or columns taken before an insertion.
struct BlockSnapshot
{
    Axis axis = Axis::Rows;
    int first = 0;
    int last = 0;
    std::vector<Row> rows;               // rows first..last (row axis) or every row, cut to the columns
    std::vector<ColumnInfo> columns;     // column axis: widths of first..last
    std::vector<MergedRange> merges;     // merges wholly inside the block
};

class Worksheet
{
public:
    // Builds the sheet from the records of its substream (BOF .. EOF). Texts of LABEL
    // records go into the shared strings; cellBudget counts down the cells the workbook
    // may still hold. Throws XlsError on damage or when the budget runs out.
    void parse(const std::vector<BiffRecord> &records, SharedStrings &sst, std::size_t &cellBudget);
    // Appends the substream. sstMap maps old shared-string indices to written ones.
    void write(std::string &out, const std::vector<std::uint32_t> &sstMap) const;

    int rowCount() const { return int(m_rows.size()); }   // 1 + last row with a record or cell
    int lastUsedRow() const;                               // -1 when there is no cell
    int lastUsedCol() const;                               // -1 when there is no cell
    int lastUsedColInRow(int row) const;                   // -1 when the row has no cell
    const Cell *cell(int row, int col) const;
    // The cell, created (with the row's or column's default format) when missing.
    Cell &cellForWrite(int row, int col);
    const std::vector<Row> &rows() const { return m_rows; }
    std::vector<Row> &rows() { return m_rows; }
    // The ROW record data of a row (0-based), made room for when the row has none yet.
    std::string &rowRecord(int row) { return rowForWrite(row).record; }
    const std::vector<MergedRange> &merges() const { return m_merges; }
    const std::array<ColumnInfo, 256> &columns() const { return m_columns; }
    // The first kept record of a type outside the cell table (HEADER, FOOTER, SETUP...).
    const BiffRecord *findRecord(std::uint16_t id) const;

    // Replaces the sheet's manual column breaks: each listed column (0-based) starts a
    // new printed page.
    void setColumnBreaks(const std::vector<int> &columns);

    // Whether an insertion would push a cell off the sheet.
    bool insertionOverflows(const SheetEdit &edit) const;
    // Moves rows/columns, cells, merges, page breaks, column widths and the base cells of
    // array formulas for an edit of this sheet (formula references are moved separately).
    void applyStructure(const SheetEdit &edit);
    // Moves the references of every formula on this sheet.
    void applyToFormulas(const SheetEdit &edit, const RefTarget &target);

    BlockSnapshot snapshot(Axis axis, int first, int last) const;
    // Writes count copies of a snapshot from dest on (the space must be inserted already);
    // `edit` is that insertion, so absolute references of the copies follow it.
    void paste(const BlockSnapshot &block, int dest, int count, const SheetEdit &edit, const RefTarget &target,
               SharedStrings &sst);

    // Every formula of the sheet (token streams of FORMULA and ARRAY records), for the
    // edits of other sheets that move 3-D references.
    void forEachFormula(const std::function<void(std::string &rgce)> &fn);
    // The first cell (0-based) whose formula holds a token the engine does not know, so
    // its references could not be moved; false when every formula is known.
    bool findUnknownFormula(int &row, int &col) const;

private:
    Row &rowForWrite(int row);
    std::uint16_t defaultXf(int row, int col) const;
    void formulaToValue(Cell &cell, SharedStrings &sst) const;

    std::vector<BiffRecord> m_head; // BOF up to the cell table; COLINFO/DIMENSIONS as markers
    std::vector<BiffRecord> m_tail; // after the cell table up to EOF; MERGEDCELLS as marker
    std::vector<Row> m_rows;
    std::array<ColumnInfo, 256> m_columns{};
    std::vector<MergedRange> m_merges;
    std::uint16_t m_defaultRowHeight = 0x00FF;
};

} // namespace vestronia::biff
