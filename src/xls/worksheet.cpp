// Worksheet model: parsing the cell table of a BIFF8 sheet substream (with bounds on
// every record), writing it back, and moving rows, columns, merges and page breaks for
// insertions, deletions and block copies. Notes, hyperlinks, drawing anchors,
// conditional formats and data validations move with the rows and columns they stand
// on; they are not copied with copied rows, and the formulas inside conditional formats
// and validations are kept as they are.

#include "xls/worksheet.h"

#include "xls/xlserror.h"

#include <algorithm>
#include <unordered_map>
#include <cmath>
#include <cstring>
#include <limits>

namespace vestronia::biff {

namespace {

XlsError damagedCell(std::uint16_t id)
{
    return XlsError(QStringLiteral("inregistrarea de celula 0x%1 este deteriorata")
                        .arg(QString::number(id, 16).rightJustified(4, QLatin1Char('0'))));
}

double decodeRk(std::uint32_t rk)
{
    double v = 0;
    if (rk & 0x02) {
        v = double(std::int32_t(rk) >> 2);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

// An integer that fits the 30-bit RK form, or nothing.
bool encodeRk(double v, std::uint32_t &rk)
{
    if (!(v >= -536870912.0 && v <= 536870911.0) || v != std::floor(v))
        return false;
    if (v == 0 && std::signbit(v))
        return false;
    rk = (std::uint32_t(std::int32_t(v)) << 2) | 0x02;
    return true;
}

std::uint16_t rowFlags(const std::string &record)
{
    return record.size() >= 16 ? get16(record.data() + 12) : 0;
}

// Range fields of an ARRAY or TABLE record (RefU: rows 2 bytes, columns 1 byte).
void moveRefU(std::string &data, const SheetEdit &edit)
{
    if (data.size() < 6)
        return;
    if (edit.axis == Axis::Rows) {
        int a = get16(data.data()), b = get16(data.data() + 2);
        const bool grow = edit.insert;
        if (grow) {
            if (a >= edit.at)
                a = std::min(a + edit.count, MaxRow);
            if (b >= edit.at)
                b = std::min(b + edit.count, MaxRow);
        } else {
            const int end = edit.at + edit.count;
            a = a < edit.at ? a : (a >= end ? a - edit.count : edit.at);
            b = b < edit.at ? b : (b >= end ? b - edit.count : std::max(edit.at - 1, a));
        }
        set16(data.data(), std::uint16_t(a));
        set16(data.data() + 2, std::uint16_t(b));
    } else {
        int a = std::uint8_t(data[4]), b = std::uint8_t(data[5]);
        if (edit.insert) {
            if (a >= edit.at)
                a = std::min(a + edit.count, MaxCol);
            if (b >= edit.at)
                b = std::min(b + edit.count, MaxCol);
        } else {
            const int end = edit.at + edit.count;
            a = a < edit.at ? a : (a >= end ? a - edit.count : edit.at);
            b = b < edit.at ? b : (b >= end ? b - edit.count : std::max(edit.at - 1, a));
        }
        data[4] = char(a);
        data[5] = char(b);
    }
}

// Page breaks: each entry is (position, start, end) of 2 bytes each after a 2-byte count.
void movePageBreaks(BiffRecord &record, const SheetEdit &edit)
{
    if (record.data.size() < 2)
        return;
    const std::size_t n = std::min<std::size_t>(get16(record.data.data()), (record.data.size() - 2) / 6);
    std::string out;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const char *e = record.data.data() + 2 + 6 * k;
        int pos = get16(e);
        if (edit.insert) {
            if (pos >= edit.at)
                pos += edit.count;
            if (pos > (edit.axis == Axis::Rows ? MaxRow : MaxCol))
                continue;
        } else {
            if (pos >= edit.at && pos < edit.at + edit.count)
                continue;
            if (pos >= edit.at + edit.count)
                pos -= edit.count;
        }
        put16(out, std::uint16_t(pos));
        out.append(e + 2, 4);
        ++kept;
    }
    std::string data;
    put16(data, std::uint16_t(kept));
    data += out;
    record.data = std::move(data);
}

bool moveMerge(MergedRange &m, const SheetEdit &edit)
{
    int &a = edit.axis == Axis::Rows ? m.firstRow : m.firstCol;
    int &b = edit.axis == Axis::Rows ? m.lastRow : m.lastCol;
    const int max = edit.axis == Axis::Rows ? MaxRow : MaxCol;
    if (edit.insert) {
        if (a >= edit.at)
            a += edit.count;
        if (b >= edit.at)
            b += edit.count;
        if (a > max)
            return false;
        b = std::min(b, max);
    } else {
        const int end = edit.at + edit.count;
        if (a >= edit.at && b < end)
            return false;
        const int na = a < edit.at ? a : (a >= end ? a - edit.count : edit.at);
        const int nb = b < edit.at ? b : (b >= end ? b - edit.count : edit.at - 1);
        a = na;
        b = nb;
    }
    return !(m.firstRow == m.lastRow && m.firstCol == m.lastCol);
}

// One row or column position of an object (a note, a picture's corner): at or after an
// insertion it moves; inside a deletion it goes to the first row after it (the row that
// takes the deleted rows' place), after it it moves back.
int moveObjectPosition(int pos, const SheetEdit &edit, int max)
{
    if (edit.insert)
        return pos >= edit.at ? std::min(pos + edit.count, max) : pos;
    if (pos >= edit.at + edit.count)
        return pos - edit.count;
    return pos >= edit.at ? std::min(edit.at, max) : pos;
}

// A first..last span of an object (a link's cells, a range of a format): as a range of
// a formula, it grows when the insertion falls inside it and shrinks with a deletion.
// False when a deletion takes it whole.
bool moveObjectSpan(int &first, int &last, const SheetEdit &edit, int max)
{
    if (edit.insert) {
        if (first >= edit.at)
            first = std::min(first + edit.count, max);
        if (last >= edit.at)
            last = std::min(last + edit.count, max);
        return true;
    }
    const int end = edit.at + edit.count;
    if (first >= edit.at && last < end)
        return false;
    const int a = first < edit.at ? first : (first >= end ? first - edit.count : edit.at);
    const int b = last < edit.at ? last : (last >= end ? last - edit.count : edit.at - 1);
    first = a;
    last = std::max(a, b);
    return true;
}

// A Ref8 range at p (rwFirst, rwLast, colFirst, colLast, 2 bytes each).
bool moveRef8(char *p, const SheetEdit &edit)
{
    const bool rows = edit.axis == Axis::Rows;
    int a = get16(p + (rows ? 0 : 4)), b = get16(p + (rows ? 2 : 6));
    if (!moveObjectSpan(a, b, edit, rows ? MaxRow : MaxCol))
        return false;
    set16(p + (rows ? 0 : 4), std::uint16_t(a));
    set16(p + (rows ? 2 : 6), std::uint16_t(b));
    return true;
}

// The cell anchors of the drawing objects (OfficeArt client anchors, record 0xF010:
// flags(2), colL(2), dxL(2), rwT(2), dyT(2), colR(2), dxR(2), rwB(2), dyB(2)) found by
// walking the OfficeArt records of one MSODRAWING record. An object moves and grows
// with its cells, as a spreadsheet program moves a picture set to "move and size".
void moveDrawingAnchors(std::string &data, const SheetEdit &edit)
{
    const bool rows = edit.axis == Axis::Rows;
    const int max = rows ? MaxRow : MaxCol;
    std::size_t pos = 0;
    while (pos + 8 <= data.size()) {
        const std::uint16_t verInst = get16(data.data() + pos);
        const std::uint16_t type = get16(data.data() + pos + 2);
        const std::uint32_t length = get32(data.data() + pos + 4);
        if ((verInst & 0x0F) == 0x0F) { // a container: its children follow
            pos += 8;
            continue;
        }
        if (length > data.size() - pos - 8)
            return; // goes on in the next drawing record: nothing more to find here
        if (type == 0xF010 && length >= 18) {
            char *a = data.data() + pos + 8;
            int first = get16(a + (rows ? 6 : 2)), last = get16(a + (rows ? 14 : 10));
            if (first <= last && last <= max) {
                if (!edit.insert && first >= edit.at && last < edit.at + edit.count) {
                    // Every cell under it is deleted: it stays, one row tall, where they were.
                    first = last = moveObjectPosition(first, edit, max);
                } else {
                    moveObjectSpan(first, last, edit, max);
                }
                set16(a + (rows ? 6 : 2), std::uint16_t(first));
                set16(a + (rows ? 14 : 10), std::uint16_t(last));
            }
        }
        pos += 8 + length;
    }
}

// Conditional formats (CONDFMT: count, id, the bounding Ref8U, then cref Ref8U ranges)
// and data validations (DV: flags, four strings, two formulas, then the ranges) keep
// their ranges on the cells they were made for. Ranges a deletion takes whole are
// dropped; the bounding range follows the rest.
void moveRangeList(BiffRecord &record, std::size_t countAt, const SheetEdit &edit, char *bound)
{
    std::string &d = record.data;
    if (countAt + 2 > d.size())
        return;
    const std::size_t n = std::min<std::size_t>(get16(d.data() + countAt), (d.size() - countAt - 2) / 8);
    std::string kept;
    std::size_t count = 0;
    for (std::size_t k = 0; k < n; ++k) {
        std::string r = d.substr(countAt + 2 + 8 * k, 8);
        if (moveRef8(r.data(), edit)) {
            kept += r;
            ++count;
        }
    }
    const std::size_t tail = countAt + 2 + 8 * n;
    std::string rebuilt = d.substr(0, countAt);
    put16(rebuilt, std::uint16_t(count));
    rebuilt += kept;
    rebuilt += d.substr(tail);
    d = std::move(rebuilt);
    if (bound)
        moveRef8(d.data() + 4, edit);
}

// Skips one XLUnicodeString (cch(2), flags(1), characters) at pos; false when it runs past.
bool skipUnicodeString(const std::string &d, std::size_t &pos)
{
    if (pos + 3 > d.size())
        return false;
    const std::size_t cch = get16(d.data() + pos);
    const std::size_t width = (std::uint8_t(d[pos + 2]) & 0x01) ? 2 : 1;
    pos += 3 + cch * width;
    return pos <= d.size();
}

// Moves the objects kept as records of the sheet: notes, hyperlinks and their tooltips,
// drawing anchors, conditional formats and data validations. Records of embedded chart
// substreams are the chart's and stay as they are.
void moveSheetObjects(std::vector<BiffRecord> &list, bool skipFirst, int &depth, const SheetEdit &edit)
{
    const bool rows = edit.axis == Axis::Rows;
    const int max = rows ? MaxRow : MaxCol;
    for (std::size_t i = skipFirst ? 1 : 0; i < list.size(); ++i) {
        BiffRecord &r = list[i];
        if (r.id == RecBof) {
            ++depth;
            continue;
        }
        if (r.id == RecEof) {
            depth = std::max(0, depth - 1);
            continue;
        }
        if (depth > 0 || !r.continues.empty())
            continue;
        std::string &d = r.data;
        switch (r.id) {
        case RecNote:
            if (d.size() >= 4) {
                char *p = d.data() + (rows ? 0 : 2);
                set16(p, std::uint16_t(moveObjectPosition(get16(p), edit, max)));
            }
            break;
        case RecHLink:
            if (d.size() >= 8 && !moveRef8(d.data(), edit)) {
                // Its cells are deleted: the link goes to where they were, as one cell.
                char *p = d.data() + (rows ? 0 : 4);
                const int at = moveObjectPosition(get16(p), edit, max);
                set16(p, std::uint16_t(at));
                set16(p + 2, std::uint16_t(at));
            }
            break;
        case RecHLinkTooltip:
            if (d.size() >= 10 && !moveRef8(d.data() + 2, edit)) {
                char *p = d.data() + 2 + (rows ? 0 : 4);
                const int at = moveObjectPosition(get16(p), edit, max);
                set16(p, std::uint16_t(at));
                set16(p + 2, std::uint16_t(at));
            }
            break;
        case RecMsoDrawing:
            moveDrawingAnchors(d, edit);
            break;
        case RecCondFmt:
            if (d.size() >= 14)
                moveRangeList(r, 12, edit, d.data() + 4);
            break;
        case RecDv: {
            std::size_t pos = 4;
            bool ok = true;
            for (int k = 0; k < 4 && ok; ++k)
                ok = skipUnicodeString(d, pos);
            for (int k = 0; k < 2 && ok; ++k) {
                ok = pos + 4 <= d.size();
                if (ok)
                    pos += 4 + get16(d.data() + pos);
                ok = ok && pos <= d.size();
            }
            if (ok)
                moveRangeList(r, pos, edit, nullptr);
            break;
        }
        default:
            break;
        }
    }
}

void insertCellSorted(Row &row, Cell &&cell)
{
    if (row.cells.empty() || row.cells.back().col < cell.col) {
        row.cells.push_back(std::move(cell));
        return;
    }
    const auto it = std::lower_bound(row.cells.begin(), row.cells.end(), cell.col,
                                     [](const Cell &c, std::uint16_t col) { return c.col < col; });
    if (it != row.cells.end() && it->col == cell.col)
        *it = std::move(cell);
    else
        row.cells.insert(it, std::move(cell));
}

} // namespace

bool FormulaData::arrayPart() const
{
    int r = 0, c = 0;
    if (expBase(rgce, r, c))
        return true;
    for (const BiffRecord &f : follow)
        if (f.id == RecArray || f.id == RecTable)
            return true;
    return false;
}

Cell::Cell(const Cell &o)
    : col(o.col), xf(o.xf), kind(o.kind), number(o.number), sst(o.sst),
      formula(o.formula ? std::make_unique<FormulaData>(*o.formula) : nullptr)
{
    boolErr[0] = o.boolErr[0];
    boolErr[1] = o.boolErr[1];
}

Cell &Cell::operator=(const Cell &o)
{
    if (this != &o) {
        Cell copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Row &Worksheet::rowForWrite(int row)
{
    if (row >= int(m_rows.size()))
        m_rows.resize(std::size_t(row) + 1);
    return m_rows[std::size_t(row)];
}

std::uint16_t Worksheet::defaultXf(int row, int col) const
{
    if (row < int(m_rows.size())) {
        const std::string &rec = m_rows[std::size_t(row)].record;
        if (rec.size() >= 16 && (rowFlags(rec) & 0x80))
            return get16(rec.data() + 14) & 0x0FFF;
    }
    if (col >= 0 && col <= MaxCol && m_columns[std::size_t(col)].present)
        return m_columns[std::size_t(col)].xf;
    return 15;
}

void Worksheet::parse(const std::vector<BiffRecord> &records, SharedStrings &sst, std::size_t &cellBudget)
{
    struct SharedDef
    {
        int r1, r2, c1, c2;
        std::string rgce, rgcb;
    };
    std::vector<SharedDef> shared;
    struct Member
    {
        int row, col, baseRow, baseCol;
    };
    std::vector<Member> members;

    bool inBody = false; // past the start of the cell table
    int depth = 0;       // nested substreams (charts embedded in the sheet)
    bool haveDims = false, haveCols = false, haveMerges = false;
    int lastFormulaRow = -1, lastFormulaCol = -1;

    auto list = [&]() -> std::vector<BiffRecord> & { return inBody ? m_tail : m_head; };
    auto marker = [](std::uint16_t id) {
        BiffRecord r;
        r.id = id;
        return r;
    };
    auto place = [&](int row, int col, Cell &&cell) {
        if (col > MaxCol)
            throw XlsError(QStringLiteral("o celula are coloana in afara foii"));
        if (cellBudget == 0)
            throw XlsError(QStringLiteral("are prea multe celule"));
        --cellBudget;
        cell.col = std::uint16_t(col);
        insertCellSorted(rowForWrite(row), std::move(cell));
    };
    auto need = [](const BiffRecord &r, std::size_t n) {
        if (r.data.size() < n)
            throw damagedCell(r.id);
    };

    const std::size_t n = records.size();
    for (std::size_t i = 0; i < n; ++i) {
        const BiffRecord &r = records[i];
        if (i == 0) {
            m_head.push_back(r);
            continue;
        }
        if (depth > 0) {
            list().push_back(r);
            if (r.id == RecBof)
                ++depth;
            else if (r.id == RecEof)
                --depth;
            continue;
        }
        if (r.id == RecEof && i + 1 == n)
            break; // written by write()
        if (r.id == RecBof) {
            depth = 1;
            list().push_back(r);
            continue;
        }
        if (isCellTableRecord(r.id)) {
            inBody = true;
            const char *d = r.data.data();
            switch (r.id) {
            case RecRow: {
                need(r, 16);
                rowForWrite(get16(d)).record = r.data.substr(0, 16);
                break;
            }
            case RecBlank: {
                need(r, 6);
                Cell c;
                c.xf = get16(d + 4);
                place(get16(d), get16(d + 2), std::move(c));
                break;
            }
            case RecMulBlank: {
                need(r, 6);
                const int row = get16(d), first = get16(d + 2);
                const std::size_t count = (r.data.size() - 6) / 2;
                for (std::size_t k = 0; k < count; ++k) {
                    Cell c;
                    c.xf = get16(d + 4 + 2 * k);
                    place(row, first + int(k), std::move(c));
                }
                break;
            }
            case RecNumber: {
                need(r, 14);
                Cell c;
                c.xf = get16(d + 4);
                c.kind = CellKind::Number;
                c.number = getDouble(d + 6);
                place(get16(d), get16(d + 2), std::move(c));
                break;
            }
            case RecRk: {
                need(r, 10);
                Cell c;
                c.xf = get16(d + 4);
                c.kind = CellKind::Number;
                c.number = decodeRk(get32(d + 6));
                place(get16(d), get16(d + 2), std::move(c));
                break;
            }
            case RecMulRk: {
                need(r, 6);
                const int row = get16(d), first = get16(d + 2);
                const std::size_t count = (r.data.size() - 6) / 6;
                for (std::size_t k = 0; k < count; ++k) {
                    Cell c;
                    c.xf = get16(d + 4 + 6 * k);
                    c.kind = CellKind::Number;
                    c.number = decodeRk(get32(d + 6 + 6 * k));
                    place(row, first + int(k), std::move(c));
                }
                break;
            }
            case RecLabelSst: {
                need(r, 10);
                Cell c;
                c.xf = get16(d + 4);
                c.kind = CellKind::Text;
                c.sst = get32(d + 6);
                if (c.sst >= sst.size())
                    throw XlsError(QStringLiteral("o celula trimite la un text care nu exista"));
                place(get16(d), get16(d + 2), std::move(c));
                break;
            }
            case RecLabel:
            case RecRString: {
                need(r, 6);
                std::size_t pos = 6;
                const std::string all = r.joined();
                const std::u16string text = readUnicodeString16(all, pos);
                Cell c;
                c.xf = get16(d + 4);
                c.kind = CellKind::Text;
                c.sst = sst.add(text);
                place(get16(d), get16(d + 2), std::move(c));
                break;
            }
            case RecBoolErr: {
                need(r, 8);
                Cell c;
                c.xf = get16(d + 4);
                c.kind = CellKind::BoolErr;
                c.boolErr[0] = std::uint8_t(d[6]);
                c.boolErr[1] = std::uint8_t(d[7]) ? 1 : 0;
                place(get16(d), get16(d + 2), std::move(c));
                break;
            }
            case RecFormula: {
                need(r, 22);
                const std::size_t cce = get16(d + 20);
                const std::string all = r.joined();
                if (22 + cce > all.size())
                    throw damagedCell(r.id);
                Cell c;
                c.xf = get16(d + 4);
                c.kind = CellKind::Formula;
                c.formula = std::make_unique<FormulaData>();
                std::memcpy(c.formula->result.data(), d + 6, 8);
                c.formula->flags = get16(d + 14);
                c.formula->chn = get32(d + 16);
                c.formula->rgce = all.substr(22, cce);
                c.formula->rgcb = all.substr(22 + cce);
                const int row = get16(d), col = get16(d + 2);
                int br = 0, bc = 0;
                if ((c.formula->flags & 0x08) && expBase(c.formula->rgce, br, bc))
                    members.push_back({row, col, br, bc});
                place(row, col, std::move(c));
                lastFormulaRow = row;
                lastFormulaCol = col;
                break;
            }
            case RecShrFmla: {
                need(r, 10);
                const std::string all = r.joined();
                const std::size_t cce = get16(d + 8);
                if (10 + cce > all.size())
                    throw damagedCell(r.id);
                shared.push_back({get16(d), get16(d + 2), std::uint8_t(d[4]), std::uint8_t(d[5]),
                                  all.substr(10, cce), all.substr(10 + cce)});
                break;
            }
            case RecString:
            case RecArray:
            case RecTable: {
                if (lastFormulaRow < 0)
                    break;
                Row &row = m_rows[std::size_t(lastFormulaRow)];
                const auto it = std::lower_bound(row.cells.begin(), row.cells.end(), lastFormulaCol,
                                                 [](const Cell &c, int col) { return c.col < col; });
                if (it != row.cells.end() && it->col == lastFormulaCol && it->formula) {
                    if (r.id == RecArray && r.data.size() < 14)
                        throw damagedCell(r.id);
                    it->formula->follow.push_back(r);
                }
                break;
            }
            default: // DBCELL: offsets that are rebuilt (or left out) when written
                break;
            }
            continue;
        }
        switch (r.id) {
        case RecIndex:
            break; // offsets into the old stream; left out when written
        case RecDimensions:
            if (!haveDims)
                list().push_back(marker(RecDimensions));
            haveDims = true;
            inBody = true;
            break;
        case RecColInfo: {
            if (r.data.size() >= 10) {
                const int first = get16(r.data.data()), last = std::min<int>(get16(r.data.data() + 2), MaxCol);
                for (int c = first; c <= last; ++c) {
                    ColumnInfo &ci = m_columns[std::size_t(c)];
                    ci.present = true;
                    ci.width = get16(r.data.data() + 4);
                    ci.xf = get16(r.data.data() + 6);
                    ci.options = get16(r.data.data() + 8);
                }
            }
            if (!haveCols)
                list().push_back(marker(RecColInfo));
            haveCols = true;
            break;
        }
        case RecMergedCells: {
            if (r.data.size() >= 2) {
                const std::size_t count = std::min<std::size_t>(get16(r.data.data()), (r.data.size() - 2) / 8);
                for (std::size_t k = 0; k < count; ++k) {
                    const char *e = r.data.data() + 2 + 8 * k;
                    MergedRange m{get16(e), get16(e + 2), std::min<int>(get16(e + 4), MaxCol),
                                  std::min<int>(get16(e + 6), MaxCol)};
                    if (m.firstRow <= m.lastRow && m.firstCol <= m.lastCol)
                        m_merges.push_back(m);
                }
            }
            if (!haveMerges)
                list().push_back(marker(RecMergedCells));
            haveMerges = true;
            break;
        }
        case RecDefaultRowHeight:
            if (r.data.size() >= 4)
                m_defaultRowHeight = get16(r.data.data() + 2);
            list().push_back(r);
            break;
        default:
            list().push_back(r);
            break;
        }
    }
    if (!haveDims) {
        // Keep the cell table where it was: right after what preceded the first cell.
        m_head.push_back(marker(RecDimensions));
    }

    // Shared formulas become ordinary formulas of each member cell. A member names its
    // definition by the definition's first cell; the first definition of a cell wins.
    std::unordered_map<std::uint32_t, std::size_t> byBase;
    for (std::size_t k = 0; k < shared.size(); ++k)
        byBase.emplace(std::uint32_t(shared[k].r1) << 8 | std::uint32_t(shared[k].c1 & 0xFF), k);
    // Writers that point members elsewhere are met by searching the ranges, but only
    // among few definitions, so a crafted sheet cannot make this quadratic.
    constexpr std::size_t MaxRangeSearch = 64;
    for (const Member &m : members) {
        const SharedDef *def = nullptr;
        const auto found = byBase.find(std::uint32_t(m.baseRow) << 8 | std::uint32_t(m.baseCol & 0xFF));
        if (found != byBase.end())
            def = &shared[found->second];
        if (!def && shared.size() <= MaxRangeSearch)
            for (const SharedDef &s : shared)
                if (m.row >= s.r1 && m.row <= s.r2 && m.col >= s.c1 && m.col <= s.c2) {
                    def = &s;
                    break;
                }
        Row &row = m_rows[std::size_t(m.row)];
        const auto it = std::lower_bound(row.cells.begin(), row.cells.end(), m.col,
                                         [](const Cell &c, int col) { return c.col < col; });
        if (it == row.cells.end() || it->col != m.col || !it->formula)
            continue;
        if (def) {
            it->formula->rgce = unshare(def->rgce, m.row, m.col);
            it->formula->rgcb = def->rgcb;
            it->formula->flags &= std::uint16_t(~0x08);
        } else {
            // A shared member whose definition is missing cannot be written as a formula.
            bool isArrayMember = false;
            const Cell *base = cell(m.baseRow, m.baseCol);
            if (base && base->formula)
                for (const BiffRecord &f : base->formula->follow)
                    if (f.id == RecArray || f.id == RecTable)
                        isArrayMember = true;
            if (!isArrayMember) {
                it->formula->flags &= std::uint16_t(~0x08);
                formulaToValue(*it, sst);
            }
        }
    }
}

void Worksheet::formulaToValue(Cell &c, SharedStrings &sst) const
{
    if (!c.formula)
        return;
    const FormulaData &f = *c.formula;
    const auto byte = [&](int i) { return std::uint8_t(f.result[std::size_t(i)]); };
    if (byte(6) == 0xFF && byte(7) == 0xFF) {
        switch (byte(0)) {
        case 0: {
            std::u16string text;
            for (const BiffRecord &r : f.follow)
                if (r.id == RecString) {
                    std::size_t pos = 0;
                    try {
                        text = readUnicodeString16(r.joined(), pos);
                    } catch (const XlsError &) {
                        text.clear();
                    }
                }
            c.kind = CellKind::Text;
            c.sst = sst.add(text);
            break;
        }
        case 1:
        case 2:
            c.kind = CellKind::BoolErr;
            c.boolErr[0] = byte(2);
            c.boolErr[1] = byte(0) == 2 ? 1 : 0;
            break;
        default:
            c.kind = CellKind::Blank;
            break;
        }
    } else {
        c.kind = CellKind::Number;
        c.number = getDouble(f.result.data());
    }
    c.formula.reset();
}

void Worksheet::setColumnBreaks(const std::vector<int> &columns)
{
    for (std::vector<BiffRecord> *list : {&m_head, &m_tail})
        list->erase(std::remove_if(list->begin(), list->end(),
                                   [](const BiffRecord &r) { return r.id == RecVerticalPageBreaks; }),
                    list->end());
    if (columns.empty())
        return;
    BiffRecord rec;
    rec.id = RecVerticalPageBreaks;
    put16(rec.data, std::uint16_t(columns.size()));
    for (int c : columns) {
        if (c < 1 || c > MaxCol)
            throw XlsError(QStringLiteral("Coloana %1 nu poate incepe o pagina.").arg(c + 1));
        put16(rec.data, std::uint16_t(c)); // first column of the new page
        put16(rec.data, 0);                // on every row
        put16(rec.data, 0xFFFF);
    }
    // The breaks stand after the horizontal ones, before the page header and setup.
    auto at = m_head.end();
    for (auto it = m_head.begin(); it != m_head.end(); ++it) {
        if (it->id == RecHorizontalPageBreaks) {
            at = it + 1;
            break;
        }
        if (it->id == 0x0014 || it->id == 0x0015 || it->id == 0x0083 || it->id == 0x0084 || it->id == 0x0026
            || it->id == 0x0027 || it->id == 0x0028 || it->id == 0x0029 || it->id == 0x00A1 || it->id == 0x007D
            || it->id == 0x0200) {
            at = it;
            break;
        }
    }
    m_head.insert(at, std::move(rec));
}

const BiffRecord *Worksheet::findRecord(std::uint16_t id) const
{
    for (const std::vector<BiffRecord> *list : {&m_head, &m_tail})
        for (const BiffRecord &r : *list)
            if (r.id == id && !r.data.empty())
                return &r;
    return nullptr;
}

const Cell *Worksheet::cell(int row, int col) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return nullptr;
    const std::vector<Cell> &cells = m_rows[std::size_t(row)].cells;
    const auto it = std::lower_bound(cells.begin(), cells.end(), col, [](const Cell &c, int v) { return c.col < v; });
    return it != cells.end() && it->col == col ? &*it : nullptr;
}

Cell &Worksheet::cellForWrite(int row, int col)
{
    Row &r = rowForWrite(row);
    const auto it =
        std::lower_bound(r.cells.begin(), r.cells.end(), col, [](const Cell &c, int v) { return c.col < v; });
    if (it != r.cells.end() && it->col == col)
        return *it;
    Cell c;
    c.col = std::uint16_t(col);
    c.xf = defaultXf(row, col);
    return *r.cells.insert(it, std::move(c));
}

int Worksheet::lastUsedRow() const
{
    for (int r = int(m_rows.size()) - 1; r >= 0; --r)
        if (!m_rows[std::size_t(r)].cells.empty())
            return r;
    return -1;
}

int Worksheet::lastUsedCol() const
{
    int last = -1;
    for (const Row &r : m_rows)
        if (!r.cells.empty())
            last = std::max<int>(last, r.cells.back().col);
    return last;
}

int Worksheet::lastUsedColInRow(int row) const
{
    if (row < 0 || row >= int(m_rows.size()) || m_rows[std::size_t(row)].cells.empty())
        return -1;
    return m_rows[std::size_t(row)].cells.back().col;
}

bool Worksheet::insertionOverflows(const SheetEdit &edit) const
{
    if (!edit.insert)
        return false;
    if (edit.axis == Axis::Rows) {
        const int last = lastUsedRow();
        if (last >= edit.at && last + edit.count > MaxRow)
            return true;
        for (const MergedRange &m : m_merges)
            if (m.firstRow >= edit.at && m.lastRow + edit.count > MaxRow)
                return true;
        return false;
    }
    for (const Row &r : m_rows)
        if (!r.cells.empty() && r.cells.back().col >= edit.at && r.cells.back().col + edit.count > MaxCol)
            return true;
    for (const MergedRange &m : m_merges)
        if (m.firstCol >= edit.at && m.lastCol + edit.count > MaxCol)
            return true;
    return false;
}

void Worksheet::applyStructure(const SheetEdit &edit)
{
    if (edit.axis == Axis::Rows) {
        if (edit.insert) {
            if (edit.at < int(m_rows.size()))
                m_rows.insert(m_rows.begin() + edit.at, std::size_t(edit.count), Row());
            if (m_rows.size() > std::size_t(MaxRow) + 1)
                m_rows.resize(std::size_t(MaxRow) + 1);
        } else if (edit.at < int(m_rows.size())) {
            const int end = std::min<int>(edit.at + edit.count, int(m_rows.size()));
            m_rows.erase(m_rows.begin() + edit.at, m_rows.begin() + end);
        }
    } else {
        for (Row &row : m_rows) {
            std::vector<Cell> kept;
            kept.reserve(row.cells.size());
            for (Cell &c : row.cells) {
                int col = c.col;
                if (edit.insert) {
                    if (col >= edit.at)
                        col += edit.count;
                    if (col > MaxCol)
                        continue;
                } else {
                    if (col >= edit.at && col < edit.at + edit.count)
                        continue;
                    if (col >= edit.at + edit.count)
                        col -= edit.count;
                }
                c.col = std::uint16_t(col);
                kept.push_back(std::move(c));
            }
            row.cells = std::move(kept);
        }
        std::array<ColumnInfo, 256> cols{};
        for (int c = 0; c <= MaxCol; ++c) {
            int to = c;
            if (edit.insert) {
                if (c >= edit.at)
                    to = c + edit.count;
            } else {
                if (c >= edit.at && c < edit.at + edit.count)
                    continue;
                if (c >= edit.at + edit.count)
                    to = c - edit.count;
            }
            if (to <= MaxCol)
                cols[std::size_t(to)] = m_columns[std::size_t(c)];
        }
        m_columns = cols;
    }

    std::vector<MergedRange> merges;
    for (MergedRange m : m_merges)
        if (moveMerge(m, edit))
            merges.push_back(m);
    m_merges = std::move(merges);

    const std::uint16_t breaks = edit.axis == Axis::Rows ? RecHorizontalPageBreaks : RecVerticalPageBreaks;
    for (std::vector<BiffRecord> *list : {&m_head, &m_tail})
        for (BiffRecord &r : *list)
            if (r.id == breaks)
                movePageBreaks(r, edit);
    int depth = 0;
    moveSheetObjects(m_head, true, depth, edit);
    moveSheetObjects(m_tail, false, depth, edit);

    for (Row &row : m_rows)
        for (Cell &c : row.cells)
            if (c.formula) {
                applyEditToExp(c.formula->rgce, edit);
                for (BiffRecord &f : c.formula->follow)
                    if (f.id == RecArray || f.id == RecTable)
                        moveRefU(f.data, edit);
            }
}

void Worksheet::forEachFormula(const std::function<void(std::string &)> &fn)
{
    for (Row &row : m_rows)
        for (Cell &c : row.cells) {
            if (!c.formula)
                continue;
            fn(c.formula->rgce);
            for (BiffRecord &f : c.formula->follow) {
                if (f.id != RecArray || f.data.size() < 14)
                    continue;
                // The token stream of a long array formula goes on in CONTINUE records.
                std::string all = f.joined();
                const std::size_t cce = get16(all.data() + 12);
                if (14 + cce > all.size())
                    continue;
                std::string rgce = all.substr(14, cce);
                fn(rgce);
                all.replace(14, cce, rgce);
                f.setJoined(all);
            }
        }
}

bool Worksheet::findUnknownFormula(int &row, int &col) const
{
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        for (const Cell &c : m_rows[r].cells) {
            if (!c.formula)
                continue;
            bool known = isWellFormed(c.formula->rgce);
            for (const BiffRecord &f : c.formula->follow) {
                if (f.id != RecArray || f.data.size() < 14)
                    continue;
                const std::string all = f.joined();
                const std::size_t cce = get16(all.data() + 12);
                known = known && 14 + cce <= all.size() && isWellFormed(std::string_view(all).substr(14, cce));
            }
            if (!known) {
                row = int(r);
                col = c.col;
                return true;
            }
        }
    return false;
}

void Worksheet::applyToFormulas(const SheetEdit &edit, const RefTarget &target)
{
    forEachFormula([&](std::string &rgce) { applyEdit(rgce, edit, target); });
}

BlockSnapshot Worksheet::snapshot(Axis axis, int first, int last) const
{
    BlockSnapshot b;
    b.axis = axis;
    b.first = first;
    b.last = last;
    if (axis == Axis::Rows) {
        for (int r = first; r <= last; ++r)
            b.rows.push_back(r < int(m_rows.size()) ? m_rows[std::size_t(r)] : Row());
        for (const MergedRange &m : m_merges)
            if (m.firstRow >= first && m.lastRow <= last)
                b.merges.push_back(m);
    } else {
        b.rows.resize(m_rows.size());
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            for (const Cell &c : m_rows[r].cells)
                if (c.col >= first && c.col <= last)
                    b.rows[r].cells.push_back(c);
        for (int c = first; c <= last; ++c)
            b.columns.push_back(m_columns[std::size_t(c)]);
        for (const MergedRange &m : m_merges)
            if (m.firstCol >= first && m.lastCol <= last)
                b.merges.push_back(m);
    }
    return b;
}

void Worksheet::paste(const BlockSnapshot &block, int dest, int count, const SheetEdit &edit,
                      const RefTarget &target, SharedStrings &sst)
{
    const int height = block.last - block.first + 1;
    for (int i = 0; i < count; ++i) {
        const int delta = dest + i * height - block.first;
        if (block.axis == Axis::Rows) {
            for (int j = 0; j < height; ++j) {
                const int to = block.first + j + delta;
                if (to > MaxRow)
                    break;
                const Row &src = block.rows[std::size_t(j)];
                if (src.empty())
                    continue;
                Row &dst = rowForWrite(to);
                dst.record = src.record;
                dst.cells = src.cells;
                for (Cell &c : dst.cells)
                    if (c.formula) {
                        if (c.formula->arrayPart())
                            formulaToValue(c, sst);
                        else
                            applyCopy(c.formula->rgce, delta, 0, &edit, target);
                    }
            }
        } else {
            for (std::size_t r = 0; r < block.rows.size(); ++r) {
                for (const Cell &src : block.rows[r].cells) {
                    const int to = src.col + delta;
                    if (to > MaxCol)
                        continue;
                    Cell c = src;
                    c.col = std::uint16_t(to);
                    if (c.formula) {
                        if (c.formula->arrayPart())
                            formulaToValue(c, sst);
                        else
                            applyCopy(c.formula->rgce, 0, delta, &edit, target);
                    }
                    insertCellSorted(rowForWrite(int(r)), std::move(c));
                }
            }
            for (int j = 0; j < height; ++j) {
                const int to = block.first + j + delta;
                if (to <= MaxCol)
                    m_columns[std::size_t(to)] = block.columns[std::size_t(j)];
            }
        }
        for (MergedRange m : block.merges) {
            if (block.axis == Axis::Rows) {
                m.firstRow += delta;
                m.lastRow += delta;
                if (m.lastRow > MaxRow)
                    continue;
            } else {
                m.firstCol += delta;
                m.lastCol += delta;
                if (m.lastCol > MaxCol)
                    continue;
            }
            m_merges.push_back(m);
        }
    }
}

void Worksheet::write(std::string &out, const std::vector<std::uint32_t> &sstMap) const
{
    const int lastRow = lastUsedRow();
    int firstRow = -1, firstCol = std::numeric_limits<int>::max(), lastCol = -1;
    for (int r = 0; r <= lastRow; ++r) {
        const Row &row = m_rows[std::size_t(r)];
        if (row.cells.empty())
            continue;
        if (firstRow < 0)
            firstRow = r;
        firstCol = std::min<int>(firstCol, row.cells.front().col);
        lastCol = std::max<int>(lastCol, row.cells.back().col);
    }

    auto emitList = [&](const std::vector<BiffRecord> &list) {
        for (const BiffRecord &r : list) {
            if (r.id == RecDimensions && r.data.empty()) {
                std::string d;
                put32(d, std::uint32_t(firstRow < 0 ? 0 : firstRow));
                put32(d, std::uint32_t(firstRow < 0 ? 0 : lastRow + 1));
                put16(d, std::uint16_t(firstRow < 0 ? 0 : firstCol));
                put16(d, std::uint16_t(firstRow < 0 ? 0 : lastCol + 1));
                put16(d, 0);
                appendRecord(out, RecDimensions, d);
            } else if (r.id == RecColInfo && r.data.empty()) {
                int c = 0;
                while (c <= MaxCol) {
                    const ColumnInfo &ci = m_columns[std::size_t(c)];
                    if (!ci.present) {
                        ++c;
                        continue;
                    }
                    int e = c;
                    while (e + 1 <= MaxCol) {
                        const ColumnInfo &n = m_columns[std::size_t(e + 1)];
                        if (!n.present || n.width != ci.width || n.xf != ci.xf || n.options != ci.options)
                            break;
                        ++e;
                    }
                    std::string d;
                    put16(d, std::uint16_t(c));
                    put16(d, std::uint16_t(e));
                    put16(d, ci.width);
                    put16(d, ci.xf);
                    put16(d, ci.options);
                    put16(d, 0);
                    appendRecord(out, RecColInfo, d);
                    c = e + 1;
                }
            } else if (r.id == RecMergedCells && r.data.empty()) {
                for (std::size_t k = 0; k < m_merges.size(); k += 1027) {
                    const std::size_t n = std::min<std::size_t>(1027, m_merges.size() - k);
                    std::string d;
                    put16(d, std::uint16_t(n));
                    for (std::size_t j = k; j < k + n; ++j) {
                        put16(d, std::uint16_t(m_merges[j].firstRow));
                        put16(d, std::uint16_t(m_merges[j].lastRow));
                        put16(d, std::uint16_t(m_merges[j].firstCol));
                        put16(d, std::uint16_t(m_merges[j].lastCol));
                    }
                    appendRecord(out, RecMergedCells, d);
                }
            } else {
                appendRecord(out, r);
            }
        }
    };

    emitList(m_head);

    const int rowsToWrite = int(m_rows.size());
    std::string d;
    for (int block = 0; block < rowsToWrite; block += 32) {
        const int end = std::min(block + 32, rowsToWrite);
        for (int r = block; r < end; ++r) {
            const Row &row = m_rows[std::size_t(r)];
            if (row.empty())
                continue;
            d.clear();
            if (row.record.size() == 16) {
                d = row.record;
            } else {
                d.assign(16, '\0');
                set16(d.data() + 6, m_defaultRowHeight);
                set16(d.data() + 12, 0x0100);
                set16(d.data() + 14, 0x000F);
            }
            set16(d.data(), std::uint16_t(r));
            set16(d.data() + 2, std::uint16_t(row.cells.empty() ? 0 : row.cells.front().col));
            set16(d.data() + 4, std::uint16_t(row.cells.empty() ? 0 : row.cells.back().col + 1));
            appendRecord(out, RecRow, d);
        }
        for (int r = block; r < end; ++r) {
            for (const Cell &c : m_rows[std::size_t(r)].cells) {
                d.clear();
                put16(d, std::uint16_t(r));
                put16(d, c.col);
                put16(d, c.xf);
                switch (c.kind) {
                case CellKind::Blank:
                    appendRecord(out, RecBlank, d);
                    break;
                case CellKind::Number: {
                    std::uint32_t rk = 0;
                    if (encodeRk(c.number, rk)) {
                        put32(d, rk);
                        appendRecord(out, RecRk, d);
                    } else {
                        putDouble(d, c.number);
                        appendRecord(out, RecNumber, d);
                    }
                    break;
                }
                case CellKind::Text:
                    put32(d, c.sst < sstMap.size() ? sstMap[c.sst] : 0);
                    appendRecord(out, RecLabelSst, d);
                    break;
                case CellKind::BoolErr:
                    put8(d, c.boolErr[0]);
                    put8(d, c.boolErr[1]);
                    appendRecord(out, RecBoolErr, d);
                    break;
                case CellKind::Formula: {
                    const FormulaData &f = *c.formula;
                    d.append(f.result.data(), 8);
                    put16(d, f.flags);
                    put32(d, f.chn);
                    put16(d, std::uint16_t(f.rgce.size()));
                    d += f.rgce;
                    d += f.rgcb;
                    if (d.size() > MaxRecordData) {
                        BiffRecord big;
                        big.id = RecFormula;
                        big.data = d.substr(0, MaxRecordData);
                        for (std::size_t p = MaxRecordData; p < d.size(); p += MaxRecordData)
                            big.continues.push_back(d.substr(p, MaxRecordData));
                        appendRecord(out, big);
                    } else {
                        appendRecord(out, RecFormula, d);
                    }
                    for (const BiffRecord &fr : f.follow)
                        appendRecord(out, fr);
                    break;
                }
                }
            }
        }
    }

    emitList(m_tail);
    appendRecord(out, RecEof, std::string_view());
}

} // namespace vestronia::biff
