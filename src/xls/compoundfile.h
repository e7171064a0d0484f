#pragma once
// The OLE2 compound file around a workbook, read and written through libgsf. The
// "Workbook" stream is handed to the BIFF layer; every other stream and storage
// (document properties, macros) is kept as bytes and written back unchanged.

#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::biff {

// Bounds of what is read from outside: a template or report is far below them.
constexpr std::size_t MaxWorkbookStream = 32u * 1024u * 1024u;
constexpr std::size_t MaxCompoundTotal = 128u * 1024u * 1024u;
constexpr int MaxCompoundEntries = 4096;
constexpr int MaxCompoundDepth = 8;

struct CompoundEntry
{
    std::string name;                    // as libgsf gives it (UTF-8)
    bool storage = false;                // a folder of streams
    std::string data;                    // a stream's bytes
    std::vector<CompoundEntry> children; // a storage's entries
};

struct CompoundFile
{
    std::string workbook;               // the BIFF8 "Workbook" stream
    std::vector<CompoundEntry> others;  // every other root entry, in order
    bool hasClassId = false;
    std::array<std::uint8_t, 16> classId{};
};

// Read a compound file; throw XlsError (message without the file name) when it is not
// one, holds no BIFF8 workbook, or exceeds the bounds above.
CompoundFile readCompoundFile(const QString &path);
CompoundFile readCompoundBytes(std::string_view bytes);

// Write the compound file to path (which the caller has made sure is a fresh name).
// Throws XlsError on failure.
void writeCompoundFile(const QString &path, const CompoundFile &file);

} // namespace vestronia::biff
