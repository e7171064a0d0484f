#pragma once
// The rollback journal of a data folder (Vestronia.jrn): for every file a commit is about
// to change, the bytes it will overwrite and the length the file had. It is complete and
// synced to disk before the first byte of data is written, and removed when the last
// byte is synced: removing it is the commit. A journal found afterwards (its writer died
// or failed half-way) is played back, which puts every file back as it was.
//
// Layout (little-endian):
//   "VSTRJRN1"                                   8 bytes
//   per file:
//     u16 nameLength, name                       a plain file name inside the folder
//     u8  flags                                  bit 0: the file existed
//     u64 oldSize                                the length to truncate back to
//     u32 chunkCount
//     per chunk: u64 offset, u32 length, bytes   the before-image of that range
//   "VSTREND1", u32 fileCount, u64 checksum      FNV-1a of every byte before the trailer
// A journal without a valid trailer was never finished, so no data had been touched: it
// is simply removed. Standard library only, so it is fuzzed on its own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::journal {

struct Chunk
{
    std::uint64_t offset = 0;
    std::string bytes;
};

struct FileImage
{
    std::string name;            // file name inside the folder, no separators
    bool existed = true;         // false: the commit creates it; rollback removes it
    std::uint64_t oldSize = 0;
    std::vector<Chunk> chunks;
};

// The most a journal may hold; a bigger one is refused as damaged rather than read.
constexpr std::uint64_t MaxJournalBytes = 3ULL << 30;

std::string encode(const std::vector<FileImage> &files);
// nullopt when the bytes are not a complete journal (missing or bad trailer, a count or
// length past the end, a name that is not a plain file name).
std::optional<std::vector<FileImage>> decode(std::string_view bytes);
// A file name that stays inside its folder: not empty, no '/', '\\' or NUL, not "." or "..".
bool isPlainFileName(std::string_view name);

// Writes the journal of `files` to `path` and syncs it (and its folder). false with
// errno set when it could not; then nothing is left at `path`.
bool writeJournal(const std::string &path, const std::vector<FileImage> &files);

enum class PlayResult {
    NoJournal,   // nothing to do
    Discarded,   // an unfinished journal: removed, no file was touched
    RolledBack,  // every file restored and the journal removed
};
// Plays back the journal at `path` over the files of `folder` and removes it. Throws
// std::runtime_error (with a message for the clerk) when a file cannot be restored; the
// journal then stays for the next attempt. `restored` receives the names put back.
PlayResult playBack(const std::string &folder, const std::string &path, std::vector<std::string> *restored = nullptr);

} // namespace vestronia::journal
