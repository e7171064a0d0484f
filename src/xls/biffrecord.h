#pragma once
// BIFF8 records as the engine keeps them: the record id, its data and the data of the
// CONTINUE records that follow it, so that a record the engine does not understand is
// written back byte for byte. Little-endian helpers for reading and writing fields.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::biff {

// Record ids the engine looks at.
enum RecordId : std::uint16_t {
    RecFormula = 0x0006,
    RecEof = 0x000A,
    RecFilePass = 0x002F,
    RecMsoDrawing = 0x00EC,
    RecCondFmt = 0x01B0,
    RecHLink = 0x01B8,
    RecDv = 0x01BE,
    RecHLinkTooltip = 0x0800,
    RecNote = 0x001C,
    RecExternSheet = 0x0017,
    RecName = 0x0018,
    RecVerticalPageBreaks = 0x001A,
    RecHorizontalPageBreaks = 0x001B,
    RecContinue = 0x003C,
    RecFont = 0x0031,
    RecFormat = 0x041E,
    RecXf = 0x00E0,
    RecBoundSheet = 0x0085,
    RecMulRk = 0x00BD,
    RecMulBlank = 0x00BE,
    RecRString = 0x00D6,
    RecDbCell = 0x00D7,
    RecSst = 0x00FC,
    RecExtSst = 0x00FF,
    RecLabelSst = 0x00FD,
    RecMergedCells = 0x00E5,
    RecColInfo = 0x007D,
    RecRecalcId = 0x01C1,
    RecSupBook = 0x01AE,
    RecDimensions = 0x0200,
    RecBlank = 0x0201,
    RecNumber = 0x0203,
    RecLabel = 0x0204,
    RecBoolErr = 0x0205,
    RecString = 0x0207,
    RecRow = 0x0208,
    RecIndex = 0x020B,
    RecArray = 0x0221,
    RecDefaultRowHeight = 0x0225,
    RecTable = 0x0236,
    RecWindow2 = 0x023E,
    RecRk = 0x027E,
    RecShrFmla = 0x04BC,
    RecBof = 0x0809,
    RecScl = 0x00A0,
    RecPane = 0x0041,
    RecSelection = 0x001D,
};

// Largest data length of one record; longer data goes on in CONTINUE records.
constexpr std::size_t MaxRecordData = 8224;

struct BiffRecord
{
    std::uint16_t id = 0;
    std::string data;                   // the record's own data
    std::vector<std::string> continues; // data of each CONTINUE record that followed it
    std::size_t offset = 0;             // stream offset of the record header when read

    // Data and continuations joined (for records whose layout runs across CONTINUE).
    std::string joined() const;
    // Puts bytes of the joined length back into data and continuations, each keeping its
    // size (edits of references never change a token's size). Throws XlsError when the
    // length differs.
    void setJoined(const std::string &all);
};

inline std::uint16_t get16(const char *p)
{
    return std::uint16_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8));
}
inline std::uint32_t get32(const char *p)
{
    return std::uint32_t(get16(p)) | (std::uint32_t(get16(p + 2)) << 16);
}
inline void set16(char *p, std::uint16_t v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void set32(char *p, std::uint32_t v)
{
    set16(p, std::uint16_t(v & 0xFFFF));
    set16(p + 2, std::uint16_t(v >> 16));
}
inline void put8(std::string &out, std::uint8_t v) { out.push_back(char(v)); }
inline void put16(std::string &out, std::uint16_t v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}
inline void put32(std::string &out, std::uint32_t v)
{
    put16(out, std::uint16_t(v & 0xFFFF));
    put16(out, std::uint16_t(v >> 16));
}
void putDouble(std::string &out, double v);
double getDouble(const char *p);

// Most records a stream may hold (a crafted stream of empty records would otherwise
// take far more memory than its size). A real template has a few thousand; an edited
// receipt model with pictures some tens of thousands.
constexpr std::size_t MaxRecords = 1000000;
// Most sheets a workbook may have (the templates have one; Excel's own limit is memory).
constexpr std::size_t MaxSheets = 1024;

// Splits a BIFF stream into records, attaching CONTINUE records to the record before
// them. Throws XlsError when a record header runs past the end of the stream or the
// stream holds more than MaxRecords records.
std::vector<BiffRecord> splitRecords(std::string_view stream);

// Appends one record (header + data) and its continuations to out.
void appendRecord(std::string &out, const BiffRecord &record);
void appendRecord(std::string &out, std::uint16_t id, std::string_view data);

// Whether a record is one of the cell table (rows, cells and what follows a formula).
bool isCellTableRecord(std::uint16_t id);

} // namespace vestronia::biff
