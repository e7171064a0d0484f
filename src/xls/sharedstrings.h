#pragma once
// The shared string table (SST) of a workbook: read across CONTINUE boundaries, grown
// with the texts the engine writes, and written back with CONTINUE splits and the
// EXTSST index. Rich-text runs and phonetic data of read strings are kept.

#include "xls/biffrecord.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vestronia::biff {

// Bounds of what a workbook may hold, far above any document of this program; they keep
// a crafted file from exhausting memory.
constexpr std::uint32_t MaxSharedStrings = 1000000;
constexpr std::size_t MaxCells = 4000000;

struct SstEntry
{
    std::u16string text;
    std::string runs; // 4 bytes per formatting run
    std::string ext;  // phonetic data, kept as read
};

class SharedStrings
{
public:
    // Reads an SST record with its continuations. Throws XlsError when it is damaged.
    void parse(const BiffRecord &sst);

    std::uint32_t size() const { return std::uint32_t(m_entries.size()); }
    const SstEntry &entry(std::uint32_t index) const { return m_entries[index]; }
    // Index of a plain text, added when not yet present.
    std::uint32_t add(std::u16string_view text);

    // Appends the SST (+ CONTINUE) and EXTSST records of the given entries to a stream
    // buffer; the stream offset of the SST is out.size() at the call. totalRefs is the
    // count of cells that refer to the table.
    static void write(std::string &out, const std::vector<const SstEntry *> &entries, std::uint32_t totalRefs);

private:
    std::vector<SstEntry> m_entries;
    // Plain texts to their index; built at the first add(), since reading needs none.
    std::unordered_map<std::u16string, std::uint32_t> m_plainIndex;
    bool m_indexed = false;
};

// Reads an XLUnicodeString (16-bit count) from data at pos; advances pos. Throws
// XlsError when it runs past the end.
std::u16string readUnicodeString16(std::string_view data, std::size_t &pos);
// Reads a ShortXLUnicodeString (8-bit count).
std::u16string readUnicodeString8(std::string_view data, std::size_t &pos);
// Appends an XLUnicodeString with a 16-bit count (compressed when every character fits).
void putUnicodeString16(std::string &out, std::u16string_view text);

} // namespace vestronia::biff
