#pragma once
// The rollback journal of a data folder (Vestronia.jrn): for every file a commit is about
// to change, the bytes it will overwrite and the length the file had. It is complete and
// synced to disk before the first byte of data is written, and removed when the last
// byte is synced: removing it is the commit. A journal found afterwards (its writer died
// or failed half-way) is played back, which puts every file back as it was.
//
// Layout (little-endian):
//   "VSTRJRN2"                                   8 bytes
//   seal                                         8 bytes: zero while the journal is written;
//                                                "VSTRSEAL" once everything else is synced
//   per file:
//     u16 nameLength, name                       a plain file name inside the folder
//     u8  flags                                  bit 0: the file existed
//     u64 oldSize                                the length to truncate back to
//     u32 chunkCount
//     per chunk: u64 offset, u32 length, bytes   the before-image of that range
//   "VSTREND1", u32 fileCount, u64 checksum      FNV-1a of every byte before the trailer,
//                                                the seal counted as zeros
// The journal is written whole, seal included, under a temporary name, synced, and then
// renamed to its name before the first byte of data: under its name it is always complete.
// An unsealed journal (older builds wrote the seal in place after a first sync) was never
// finished, so no data had been touched: it is simply removed. A sealed one that fails its
// checksum was damaged after data writes may have begun: it is neither played nor removed,
// and the folder is refused until someone restores it (a backup). A journal of the first layout ("VSTRJRN1", no seal field, left by an older
// build) is still played; without a valid trailer it is removed, as that build did.
// Standard library only, so it is fuzzed on its own.

#include <cstdint>
#include <optional>
#include <stdexcept>
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

// A complete, sealed journal of `files`.
std::string encode(const std::vector<FileImage> &files);
// nullopt when the bytes are not a complete journal (missing or bad trailer, a count or
// length past the end, a name that is not a plain file name).
std::optional<std::vector<FileImage>> decode(std::string_view bytes);
// Whether the bytes begin as a sealed journal: its writer had synced it whole and may have
// begun changing data, so one that does not decode is damaged, not unfinished.
bool isSealed(std::string_view bytes);

// Writes a journal as it is produced, file by file and chunk by chunk, so that no
// before-image needs to be held whole in memory. Every call returns false with errno set
// on failure; a journal not finished is removed when the writer goes.
class Writer
{
public:
    Writer() = default;
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool open(const std::string &path);
    // Announces a file and how many chunks follow for it.
    bool beginFile(const std::string &name, bool existed, std::uint64_t oldSize, std::uint32_t chunkCount);
    bool addChunk(std::uint64_t offset, std::string_view bytes);
    // Writes the trailer and the seal, syncs the journal, gives it its name and syncs the
    // folder: from then on the journal is played back or refused, never discarded.
    bool finish();
    // Where a journal is written before it is complete: never read, overwritten by the
    // next journal (one left by a crash is litter, not a journal).
    static std::string tempPath(const std::string &path);

    // The most a journal may grow to (MaxJournalBytes unless a test lowers it): playback
    // refuses a bigger one, so writing it would leave a folder nobody can recover.
    static void setMaxBytes(std::uint64_t bytes);

private:
    bool put(std::string_view bytes);
    bool flush();

    std::string m_path;
    int m_fd = -1;
    std::string m_buffer;
    std::uint64_t m_written = 0; // bytes already in the file
    std::uint64_t m_sum = 0;
    std::uint32_t m_files = 0;
    bool m_finished = false;
    bool m_renamed = false;
};
// A file name that stays inside its folder: not empty, no '/', '\\' or NUL, not "." or "..".
bool isPlainFileName(std::string_view name);

// Writes the journal of `files` to `path` and syncs it (and its folder). false with
// errno set when it could not; then nothing is left at `path`.
bool writeJournal(const std::string &path, const std::vector<FileImage> &files);

enum class PlayResult {
    NoJournal,   // nothing to do
    Discarded,   // an unfinished (unsealed) journal: removed, no file was touched
    RolledBack,  // every file restored and the journal removed
};
// A sealed journal that fails its checksum: the files may be half written and cannot be
// put back. The message tells the clerk to restore a backup.
class DamagedJournal : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Plays back the journal at `path` over the files of `folder` and removes it. Throws
// std::runtime_error (with a message for the clerk) when a file cannot be restored; the
// journal then stays for the next attempt. Throws DamagedJournal for a sealed journal
// that fails its checksum; it stays too. `restored` receives the names put back.
PlayResult playBack(const std::string &folder, const std::string &path, std::vector<std::string> *restored = nullptr);

} // namespace vestronia::journal
