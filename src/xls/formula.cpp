// Formula token streams: walking, reference moves for row/column edits and copies,
// un-sharing of shared formulas and rendering as A1 text. Unknown tokens stop the walk
// and leave a formula untouched; the extra data after the tokens (array constants,
// cached areas of tMemArea) is not changed.

#include "xls/formula.h"

#include "xls/biffrecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace vestronia::biff {

namespace {

std::uint8_t baseOf(std::uint8_t ptg)
{
    return ptg < 0x20 ? ptg : std::uint8_t((ptg & 0x1F) | 0x20);
}

// The #REF! twin of a reference token (same size), with the token's class kept.
std::uint8_t errorTwin(std::uint8_t ptg)
{
    std::uint8_t errBase = 0;
    switch (baseOf(ptg)) {
    case PtgRef:
    case PtgRefN:
        errBase = PtgRefErr;
        break;
    case PtgArea:
    case PtgAreaN:
        errBase = PtgAreaErr;
        break;
    case PtgRef3d:
        errBase = PtgRefErr3d;
        break;
    case PtgArea3d:
        errBase = PtgAreaErr3d;
        break;
    default:
        return ptg;
    }
    return std::uint8_t((ptg & 0x60) | (errBase & 0x1F));
}

void makeError(std::string &rgce, const Token &t)
{
    const bool threeD = t.base == PtgRef3d || t.base == PtgArea3d;
    rgce[t.pos] = char(errorTwin(t.ptg));
    for (std::size_t i = t.pos + 1 + (threeD ? 2 : 0); i < t.pos + t.size; ++i)
        rgce[i] = '\0';
}

int maxOf(Axis axis)
{
    return axis == Axis::Rows ? MaxRow : MaxCol;
}

// A single coordinate under an edit; false when the referenced cell disappears.
bool moveSingle(int &v, const SheetEdit &e)
{
    if (e.insert) {
        if (v >= e.at) {
            v += e.count;
            if (v > maxOf(e.axis))
                return false;
        }
        return true;
    }
    if (v >= e.at + e.count) {
        v -= e.count;
        return true;
    }
    return v < e.at;
}

// A span a..b under an edit: insertion at or before a moves it, inside it grows it;
// deletion cuts it. False when nothing of it is left.
bool moveSpan(int &a, int &b, const SheetEdit &e)
{
    const int max = maxOf(e.axis);
    if (a == 0 && b == max)
        return true; // whole columns (or rows) stay whole
    if (e.insert) {
        if (a >= e.at) {
            a += e.count;
            if (a > max)
                return false;
        }
        if (b >= e.at)
            b = std::min(b + e.count, max);
        return true;
    }
    const int end = e.at + e.count;
    if (a >= e.at && b < end)
        return false;
    const int na = a < e.at ? a : (a >= end ? a - e.count : e.at);
    const int nb = b < e.at ? b : (b >= end ? b - e.count : e.at - 1);
    a = na;
    b = nb;
    return true;
}

struct RefField
{
    std::size_t rowPos;
    std::size_t colPos;
};

int rowAt(const std::string &s, std::size_t p)
{
    return get16(s.data() + p);
}
int colAt(const std::string &s, std::size_t p)
{
    return get16(s.data() + p) & 0x3FFF;
}
bool rowRelative(const std::string &s, std::size_t colPos)
{
    return (get16(s.data() + colPos) & 0x8000) != 0;
}
bool colRelative(const std::string &s, std::size_t colPos)
{
    return (get16(s.data() + colPos) & 0x4000) != 0;
}
void setRow(std::string &s, std::size_t p, int v)
{
    set16(s.data() + p, std::uint16_t(v));
}
void setCol(std::string &s, std::size_t p, int v)
{
    const std::uint16_t flags = get16(s.data() + p) & 0xC000;
    set16(s.data() + p, std::uint16_t(flags | (v & 0x3FFF)));
}

// Positions of the coordinates of a reference token: single refs have one row and one
// column, areas two of each.
bool refLayout(const Token &t, std::size_t &r1, std::size_t &r2, std::size_t &c1, std::size_t &c2, bool &area)
{
    switch (t.base) {
    case PtgRef:
        r1 = t.pos + 1;
        c1 = t.pos + 3;
        area = false;
        return true;
    case PtgArea:
        r1 = t.pos + 1;
        r2 = t.pos + 3;
        c1 = t.pos + 5;
        c2 = t.pos + 7;
        area = true;
        return true;
    case PtgRef3d:
        r1 = t.pos + 3;
        c1 = t.pos + 5;
        area = false;
        return true;
    case PtgArea3d:
        r1 = t.pos + 3;
        r2 = t.pos + 5;
        c1 = t.pos + 7;
        c2 = t.pos + 9;
        area = true;
        return true;
    default:
        return false;
    }
}

bool targetsEditedSheet(const std::string &rgce, const Token &t, const RefTarget &target)
{
    if (t.base == PtgRef3d || t.base == PtgArea3d)
        return target.ixtiIsEdited(get16(rgce.data() + t.pos + 1));
    return target.localIsEdited;
}

std::vector<Token> tokensOf(std::string_view rgce, bool &ok)
{
    std::vector<Token> tokens;
    ok = true;
    std::size_t pos = 0;
    while (pos < rgce.size()) {
        Token t;
        if (!readToken(rgce, pos, t)) {
            ok = false;
            break;
        }
        tokens.push_back(t);
        pos += t.size;
    }
    return tokens;
}

} // namespace

bool readToken(std::string_view rgce, std::size_t pos, Token &t)
{
    if (pos >= rgce.size())
        return false;
    t.ptg = std::uint8_t(rgce[pos]);
    t.base = baseOf(t.ptg);
    t.pos = pos;
    const std::size_t left = rgce.size() - pos;
    std::size_t size = 0;
    switch (t.base) {
    case PtgExp:
    case PtgTbl:
        size = 5;
        break;
    case PtgStr: {
        if (left < 3)
            return false;
        const std::size_t cch = std::uint8_t(rgce[pos + 1]);
        size = 3 + cch * ((std::uint8_t(rgce[pos + 2]) & 0x01) ? 2 : 1);
        break;
    }
    case PtgAttr: {
        if (left < 4)
            return false;
        size = 4;
        if (std::uint8_t(rgce[pos + 1]) & 0x04)
            size += (std::size_t(get16(rgce.data() + pos + 2)) + 1) * 2;
        break;
    }
    case PtgErr:
    case PtgBool:
        size = 2;
        break;
    case PtgInt:
        size = 3;
        break;
    case PtgNum:
        size = 9;
        break;
    case PtgArray:
        size = 8;
        break;
    case PtgFunc:
        size = 3;
        break;
    case PtgFuncVar:
        size = 4;
        break;
    case PtgName:
        size = 5;
        break;
    case PtgRef:
    case PtgRefErr:
    case PtgRefN:
        size = 5;
        break;
    case PtgArea:
    case PtgAreaErr:
    case PtgAreaN:
        size = 9;
        break;
    case PtgMemArea:
    case PtgMemErr:
    case PtgMemNoMem:
        size = 7;
        break;
    case PtgMemFunc:
    case PtgMemAreaN:
    case PtgMemNoMemN:
        size = 3;
        break;
    case PtgNameX:
    case PtgRef3d:
    case PtgRefErr3d:
        size = 7;
        break;
    case PtgArea3d:
    case PtgAreaErr3d:
        size = 11;
        break;
    default:
        if (t.base >= PtgAdd && t.base <= PtgMissArg) {
            size = 1;
            break;
        }
        return false;
    }
    if (size > left)
        return false;
    t.size = size;
    return true;
}

bool isWellFormed(std::string_view rgce)
{
    bool ok = false;
    tokensOf(rgce, ok);
    return ok;
}

bool applyEdit(std::string &rgce, const SheetEdit &edit, const RefTarget &target)
{
    bool ok = false;
    const std::vector<Token> tokens = tokensOf(rgce, ok);
    if (!ok)
        return false;
    bool changed = false;
    for (const Token &t : tokens) {
        std::size_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
        bool area = false;
        if (!refLayout(t, r1, r2, c1, c2, area) || !targetsEditedSheet(rgce, t, target))
            continue;
        const std::string before = rgce.substr(t.pos, t.size);
        bool alive = true;
        if (edit.axis == Axis::Rows) {
            if (area) {
                int a = rowAt(rgce, r1), b = rowAt(rgce, r2);
                alive = moveSpan(a, b, edit);
                if (alive) {
                    setRow(rgce, r1, a);
                    setRow(rgce, r2, b);
                }
            } else {
                int v = rowAt(rgce, r1);
                alive = moveSingle(v, edit);
                if (alive)
                    setRow(rgce, r1, v);
            }
        } else {
            if (area) {
                int a = colAt(rgce, c1), b = colAt(rgce, c2);
                alive = moveSpan(a, b, edit);
                if (alive) {
                    setCol(rgce, c1, a);
                    setCol(rgce, c2, b);
                }
            } else {
                int v = colAt(rgce, c1);
                alive = moveSingle(v, edit);
                if (alive)
                    setCol(rgce, c1, v);
            }
        }
        if (!alive)
            makeError(rgce, t);
        if (rgce.compare(t.pos, t.size, before) != 0)
            changed = true;
    }
    return changed;
}

void applyCopy(std::string &rgce, int dRow, int dCol, const SheetEdit *edit, const RefTarget &target)
{
    bool ok = false;
    const std::vector<Token> tokens = tokensOf(rgce, ok);
    if (!ok)
        return;
    for (const Token &t : tokens) {
        std::size_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
        bool area = false;
        if (!refLayout(t, r1, r2, c1, c2, area))
            continue;
        const bool editApplies = edit && targetsEditedSheet(rgce, t, target);
        const SheetEdit rowEdit = edit ? *edit : SheetEdit{};
        bool alive = true;
        // One coordinate: relative parts move with the copy; absolute ones follow the edit.
        auto moveCoord = [&](int v, bool relative, int delta, Axis axis, bool isEnd, int &out) {
            const int max = axis == Axis::Rows ? MaxRow : MaxCol;
            if (relative) {
                v += delta;
                if (v < 0 || v > max)
                    return false;
            } else if (editApplies && rowEdit.axis == axis && rowEdit.insert && v >= rowEdit.at) {
                v += rowEdit.count;
                if (v > max) {
                    if (!isEnd)
                        return false;
                    v = max;
                }
            }
            out = v;
            return true;
        };
        const bool rRel = rowRelative(rgce, c1), cRel = colRelative(rgce, c1);
        int nr1 = 0, nc1 = 0, nr2 = 0, nc2 = 0;
        if (area) {
            const bool rRel2 = rowRelative(rgce, c2), cRel2 = colRelative(rgce, c2);
            const int a = rowAt(rgce, r1), b = rowAt(rgce, r2), ca = colAt(rgce, c1), cb = colAt(rgce, c2);
            const bool wholeCols = a == 0 && b == MaxRow && !rRel && !rRel2;
            const bool wholeRows = ca == 0 && cb == MaxCol && !cRel && !cRel2;
            alive = (wholeCols ? (nr1 = a, nr2 = b, true)
                               : moveCoord(a, rRel, dRow, Axis::Rows, false, nr1)
                            && moveCoord(b, rRel2, dRow, Axis::Rows, true, nr2))
                && (wholeRows ? (nc1 = ca, nc2 = cb, true)
                              : moveCoord(ca, cRel, dCol, Axis::Columns, false, nc1)
                           && moveCoord(cb, cRel2, dCol, Axis::Columns, true, nc2));
            if (alive) {
                setRow(rgce, r1, nr1);
                setRow(rgce, r2, nr2);
                setCol(rgce, c1, nc1);
                setCol(rgce, c2, nc2);
            }
        } else {
            alive = moveCoord(rowAt(rgce, r1), rRel, dRow, Axis::Rows, false, nr1)
                && moveCoord(colAt(rgce, c1), cRel, dCol, Axis::Columns, false, nc1);
            if (alive) {
                setRow(rgce, r1, nr1);
                setCol(rgce, c1, nc1);
            }
        }
        if (!alive)
            makeError(rgce, t);
    }
}

std::string unshare(std::string_view shared, int row, int col)
{
    std::string out(shared);
    bool ok = false;
    const std::vector<Token> tokens = tokensOf(out, ok);
    for (const Token &t : tokens) {
        if (t.base == PtgRefN || t.base == PtgAreaN) {
            const bool area = t.base == PtgAreaN;
            const int pairs = area ? 2 : 1;
            const std::size_t colBase = t.pos + 1 + 2 * std::size_t(pairs);
            for (int k = 0; k < pairs; ++k) {
                const std::size_t rp = t.pos + 1 + 2 * std::size_t(k);
                const std::size_t cp = colBase + 2 * std::size_t(k);
                const std::uint16_t rowField = get16(out.data() + rp);
                const std::uint16_t colField = get16(out.data() + cp);
                int r = rowField;
                int c = colField & 0x3FFF;
                if (colField & 0x8000)
                    r = (row + std::int16_t(rowField)) & 0xFFFF;
                if (colField & 0x4000)
                    c = (col + std::int8_t(colField & 0xFF)) & 0xFF;
                set16(out.data() + rp, std::uint16_t(r));
                set16(out.data() + cp, std::uint16_t((colField & 0xC000) | c));
            }
            out[t.pos] = char((t.ptg & 0x60) | ((area ? PtgArea : PtgRef) & 0x1F));
        } else if (t.base == PtgMemAreaN || t.base == PtgMemNoMemN) {
            // Same size as tMemFunc, which evaluates its sub-expression as a reference.
            out[t.pos] = char((t.ptg & 0x60) | (PtgMemFunc & 0x1F));
        }
    }
    return out;
}

bool expBase(std::string_view rgce, int &row, int &col)
{
    if (rgce.size() < 5 || baseOf(std::uint8_t(rgce[0])) != PtgExp)
        return false;
    row = get16(rgce.data() + 1);
    col = get16(rgce.data() + 3);
    return true;
}

void applyEditToExp(std::string &rgce, const SheetEdit &edit)
{
    int row = 0, col = 0;
    if (!expBase(rgce, row, col))
        return;
    int &v = edit.axis == Axis::Rows ? row : col;
    if (!moveSingle(v, edit))
        return;
    set16(rgce.data() + 1, std::uint16_t(row));
    set16(rgce.data() + 3, std::uint16_t(col));
}

std::string columnLetters(int col)
{
    std::string s;
    int c = col;
    do {
        s.push_back(char('A' + c % 26));
        c = c / 26 - 1;
    } while (c >= 0);
    std::reverse(s.begin(), s.end());
    return s;
}

namespace {

struct FunctionInfo
{
    const char *name;
    int argc; // -1: variable
};

const std::map<int, FunctionInfo> &functionTable()
{
    static const std::map<int, FunctionInfo> table = {
        {0, {"COUNT", -1}},      {1, {"IF", -1}},         {2, {"ISNA", 1}},         {3, {"ISERROR", 1}},
        {4, {"SUM", -1}},        {5, {"AVERAGE", -1}},    {6, {"MIN", -1}},         {7, {"MAX", -1}},
        {8, {"ROW", -1}},        {9, {"COLUMN", -1}},     {10, {"NA", 0}},          {15, {"SIN", 1}},
        {19, {"PI", 0}},         {20, {"SQRT", 1}},       {24, {"ABS", 1}},         {25, {"INT", 1}},
        {26, {"SIGN", 1}},       {27, {"ROUND", 2}},      {28, {"LOOKUP", -1}},     {29, {"INDEX", -1}},
        {30, {"REPT", 2}},       {31, {"MID", 3}},        {32, {"LEN", 1}},         {33, {"VALUE", 1}},
        {34, {"TRUE", 0}},       {35, {"FALSE", 0}},      {36, {"AND", -1}},        {37, {"OR", -1}},
        {38, {"NOT", 1}},        {39, {"MOD", 2}},        {48, {"TEXT", 2}},        {63, {"RAND", 0}},
        {65, {"DATE", 3}},       {66, {"TIME", 3}},       {67, {"DAY", 1}},         {68, {"MONTH", 1}},
        {69, {"YEAR", 1}},       {74, {"NOW", 0}},        {77, {"ROWS", 1}},        {78, {"COLUMNS", 1}},
        {100, {"CHOOSE", -1}},   {101, {"HLOOKUP", -1}},  {102, {"VLOOKUP", -1}},   {109, {"LOG", -1}},
        {111, {"CHAR", 1}},      {112, {"LOWER", 1}},     {113, {"UPPER", 1}},      {115, {"LEFT", -1}},
        {116, {"RIGHT", -1}},    {118, {"TRIM", 1}},      {124, {"FIND", -1}},      {125, {"CELL", -1}},
        {129, {"ISBLANK", 1}},   {169, {"COUNTA", -1}},   {183, {"PRODUCT", -1}},   {212, {"ROUNDUP", 2}},
        {213, {"ROUNDDOWN", 2}}, {221, {"TODAY", 0}},     {336, {"CONCATENATE", -1}}, {337, {"POWER", 2}},
        {342, {"RADIANS", 1}},   {344, {"SUBTOTAL", -1}}, {345, {"SUMIF", -1}},     {346, {"COUNTIF", -1}},
        {347, {"COUNTBLANK", 1}},
    };
    return table;
}

std::string numberText(double v)
{
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return std::to_string(static_cast<long long>(v));
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string cellText(int row, int col, bool rowRel, bool colRel)
{
    std::string s;
    if (!colRel)
        s += '$';
    s += columnLetters(col);
    if (!rowRel)
        s += '$';
    s += std::to_string(row + 1);
    return s;
}

std::string errorText(std::uint8_t code)
{
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    default:
        return "#ERR!";
    }
}

} // namespace

std::string renderFormula(std::string_view rgceView, const std::function<std::string(std::uint16_t)> &sheetName)
{
    const std::string rgce(rgceView);
    bool ok = false;
    const std::vector<Token> tokens = tokensOf(rgce, ok);
    if (!ok)
        return std::string();
    std::vector<std::string> stack;
    auto pop = [&](std::string &out) {
        if (stack.empty())
            return false;
        out = std::move(stack.back());
        stack.pop_back();
        return true;
    };
    static const char *const binary[] = {"+", "-", "*", "/", "^", "&", "<", "<=", "=", ">=", ">", "<>", " ", ",", ":"};
    for (const Token &t : tokens) {
        const char *p = rgce.data() + t.pos;
        switch (t.base) {
        case PtgExp:
            stack.push_back("EXP(" + cellText(get16(p + 1), get16(p + 3), false, false) + ")");
            break;
        case PtgTbl:
            stack.push_back("TABLE()");
            break;
        case PtgUplus:
        case PtgUminus:
        case PtgPercent:
        case PtgParen: {
            std::string a;
            if (!pop(a))
                return std::string();
            if (t.base == PtgUplus)
                stack.push_back("+" + a);
            else if (t.base == PtgUminus)
                stack.push_back("-" + a);
            else if (t.base == PtgPercent)
                stack.push_back(a + "%");
            else
                stack.push_back("(" + a + ")");
            break;
        }
        case PtgMissArg:
            stack.emplace_back();
            break;
        case PtgStr: {
            std::string text;
            const std::size_t cch = std::uint8_t(p[1]);
            const bool wide = std::uint8_t(p[2]) & 0x01;
            for (std::size_t k = 0; k < cch; ++k) {
                const unsigned c = wide ? get16(p + 3 + 2 * k) : std::uint8_t(p[3 + k]);
                text.push_back(c < 0x80 ? char(c) : '?');
            }
            stack.push_back("\"" + text + "\"");
            break;
        }
        case PtgAttr: {
            const std::uint8_t grbit = std::uint8_t(p[1]);
            if (grbit & 0x10) {
                std::string a;
                if (!pop(a))
                    return std::string();
                stack.push_back("SUM(" + a + ")");
            }
            break;
        }
        case PtgErr:
            stack.push_back(errorText(std::uint8_t(p[1])));
            break;
        case PtgBool:
            stack.push_back(p[1] ? "TRUE" : "FALSE");
            break;
        case PtgInt:
            stack.push_back(std::to_string(get16(p + 1)));
            break;
        case PtgNum:
            stack.push_back(numberText(getDouble(p + 1)));
            break;
        case PtgArray:
            stack.push_back("{...}");
            break;
        case PtgFunc:
        case PtgFuncVar: {
            int argc = 0;
            int index = 0;
            if (t.base == PtgFunc) {
                index = get16(p + 1);
                const auto it = functionTable().find(index);
                if (it == functionTable().end() || it->second.argc < 0)
                    return std::string();
                argc = it->second.argc;
            } else {
                argc = std::uint8_t(p[1]) & 0x7F;
                index = get16(p + 2) & 0x7FFF;
            }
            if (argc > int(stack.size()))
                return std::string();
            std::string args;
            const int first = int(stack.size()) - argc;
            for (int k = first; k < int(stack.size()); ++k)
                args += (k == first ? "" : ",") + stack[std::size_t(k)];
            stack.resize(stack.size() - std::size_t(argc));
            const auto it = functionTable().find(index);
            const std::string name = it != functionTable().end() ? it->second.name : "FUNC" + std::to_string(index);
            stack.push_back(name + "(" + args + ")");
            break;
        }
        case PtgName:
            stack.push_back("NAME(" + std::to_string(get16(p + 1)) + ")");
            break;
        case PtgNameX:
            stack.push_back("NAME(" + std::to_string(get16(p + 3)) + ")");
            break;
        case PtgRef:
            stack.push_back(cellText(get16(p + 1), get16(p + 3) & 0x3FFF, get16(p + 3) & 0x8000, get16(p + 3) & 0x4000));
            break;
        case PtgArea:
            stack.push_back(cellText(get16(p + 1), get16(p + 5) & 0x3FFF, get16(p + 5) & 0x8000, get16(p + 5) & 0x4000)
                            + ":"
                            + cellText(get16(p + 3), get16(p + 7) & 0x3FFF, get16(p + 7) & 0x8000,
                                       get16(p + 7) & 0x4000));
            break;
        case PtgRefErr:
        case PtgAreaErr:
            stack.emplace_back("#REF!");
            break;
        case PtgRef3d:
            stack.push_back(sheetName(get16(p + 1)) + "!"
                            + cellText(get16(p + 3), get16(p + 5) & 0x3FFF, get16(p + 5) & 0x8000,
                                       get16(p + 5) & 0x4000));
            break;
        case PtgArea3d:
            stack.push_back(sheetName(get16(p + 1)) + "!"
                            + cellText(get16(p + 3), get16(p + 7) & 0x3FFF, get16(p + 7) & 0x8000,
                                       get16(p + 7) & 0x4000)
                            + ":"
                            + cellText(get16(p + 5), get16(p + 9) & 0x3FFF, get16(p + 9) & 0x8000,
                                       get16(p + 9) & 0x4000));
            break;
        case PtgRefErr3d:
        case PtgAreaErr3d:
            stack.push_back(sheetName(get16(p + 1)) + "!#REF!");
            break;
        case PtgMemArea:
        case PtgMemErr:
        case PtgMemNoMem:
        case PtgMemFunc:
        case PtgMemAreaN:
        case PtgMemNoMemN:
            break; // a prefix of the sub-expression that follows
        default:
            if (t.base >= PtgAdd && t.base <= PtgRange) {
                std::string a, b;
                if (!pop(b) || !pop(a))
                    return std::string();
                stack.push_back(a + binary[t.base - PtgAdd] + b);
                break;
            }
            return std::string(); // tRefN/tAreaN have no A1 form
        }
    }
    return stack.size() == 1 ? stack.back() : std::string();
}

} // namespace vestronia::biff
