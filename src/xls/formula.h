#pragma once
// BIFF8 formula token streams (rgce): walking them, moving their references when rows
// or columns of a sheet are inserted or deleted, moving the relative references of a
// copied formula, turning shared formulas into ordinary ones, and rendering a formula
// as A1 text (for checks and dumps). Every change keeps each token's size, so the
// stream length never changes.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::biff {

constexpr int MaxRow = 65535; // last row of a BIFF8 sheet (0-based)
constexpr int MaxCol = 255;   // last column (IV)

enum class Axis { Rows, Columns };

// Whole rows or columns inserted into or deleted from one sheet (0-based).
struct SheetEdit
{
    Axis axis = Axis::Rows;
    int at = 0;
    int count = 0;
    bool insert = true;
};

// Which references of a formula point at the edited sheet: its 2-D references when the
// formula lives on that sheet, and its 3-D references whose EXTERNSHEET entry names it.
struct RefTarget
{
    bool localIsEdited = false;
    const std::vector<char> *editedIxti = nullptr; // per EXTERNSHEET index: 1 = edited sheet
    bool ixtiIsEdited(std::uint16_t ixti) const
    {
        return editedIxti && ixti < editedIxti->size() && (*editedIxti)[ixti];
    }
};

struct Token
{
    std::uint8_t ptg = 0;  // as stored (with its class bits)
    std::uint8_t base = 0; // ptg without class: ptg below 0x20, else (ptg & 0x1F) | 0x20
    std::size_t pos = 0;
    std::size_t size = 0;
};

// Token ids without class bits.
enum PtgBase : std::uint8_t {
    PtgExp = 0x01,
    PtgTbl = 0x02,
    PtgAdd = 0x03,
    PtgSub = 0x04,
    PtgMul = 0x05,
    PtgDiv = 0x06,
    PtgPower = 0x07,
    PtgConcat = 0x08,
    PtgLt = 0x09,
    PtgLe = 0x0A,
    PtgEq = 0x0B,
    PtgGe = 0x0C,
    PtgGt = 0x0D,
    PtgNe = 0x0E,
    PtgIsect = 0x0F,
    PtgUnion = 0x10,
    PtgRange = 0x11,
    PtgUplus = 0x12,
    PtgUminus = 0x13,
    PtgPercent = 0x14,
    PtgParen = 0x15,
    PtgMissArg = 0x16,
    PtgStr = 0x17,
    PtgAttr = 0x19,
    PtgErr = 0x1C,
    PtgBool = 0x1D,
    PtgInt = 0x1E,
    PtgNum = 0x1F,
    PtgArray = 0x20,
    PtgFunc = 0x21,
    PtgFuncVar = 0x22,
    PtgName = 0x23,
    PtgRef = 0x24,
    PtgArea = 0x25,
    PtgMemArea = 0x26,
    PtgMemErr = 0x27,
    PtgMemNoMem = 0x28,
    PtgMemFunc = 0x29,
    PtgRefErr = 0x2A,
    PtgAreaErr = 0x2B,
    PtgRefN = 0x2C,
    PtgAreaN = 0x2D,
    PtgMemAreaN = 0x2E,
    PtgMemNoMemN = 0x2F,
    PtgNameX = 0x39,
    PtgRef3d = 0x3A,
    PtgArea3d = 0x3B,
    PtgRefErr3d = 0x3C,
    PtgAreaErr3d = 0x3D,
};

// Reads the token at pos. False at an unknown token or one that runs past the end.
bool readToken(std::string_view rgce, std::size_t pos, Token &token);
// Whether the whole stream consists of known tokens.
bool isWellFormed(std::string_view rgce);

// Moves the references of a formula for an insertion or deletion. A formula that holds
// an unknown token is left as it is. Returns whether anything changed.
bool applyEdit(std::string &rgce, const SheetEdit &edit, const RefTarget &target);

// Prepares a copied formula: relative row/column parts move by (dRow, dCol) (a part
// that leaves the sheet turns the reference into #REF!); absolute parts follow the
// insertion `edit` when one is given, as the source cell's references did.
void applyCopy(std::string &rgce, int dRow, int dCol, const SheetEdit *edit, const RefTarget &target);

// The stream of a shared formula (with tRefN/tAreaN) as the ordinary formula of the
// cell at (row, col).
std::string unshare(std::string_view shared, int row, int col);

// When the formula is a single tExp (a member of an array or shared formula), its base
// cell.
bool expBase(std::string_view rgce, int &row, int &col);
// Moves the base cell of a tExp formula for an edit of its own sheet.
void applyEditToExp(std::string &rgce, const SheetEdit &edit);

// Renders the formula as A1 text ("SUM(G6:G7)", "C14+D14+E14", "Foaie!$A$1"). sheetName
// gives the text of a 3-D reference's sheet; names are written as NAME(n). Returns an
// empty string for a stream it cannot render.
std::string renderFormula(std::string_view rgce, const std::function<std::string(std::uint16_t)> &sheetName);

// "A", "B", ..., "IV".
std::string columnLetters(int col);

} // namespace vestronia::biff
