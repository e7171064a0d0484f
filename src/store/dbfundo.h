#pragma once
// The undo log of a dbf table's transaction: for each change, the record number and the
// record's bytes before it. Internal to the "dbf" module.

#include <cstdint>
#include <memory>
#include <vector>

namespace vestronia::dbfimpl {

// The bytes are packed one after another in blocks of about a megabyte (no allocation per
// change, no copy of the whole log as it grows). Past MemoryBlocks blocks the oldest go
// to an unnamed scratch file (fileops::openScratchFile: the program's TEMP folder), so a change of a million records holds a few tens of
// megabytes of before-images, not the table again.
class UndoLog
{
public:
    UndoLog() = default;
    ~UndoLog();
    UndoLog(const UndoLog &) = delete;
    UndoLog &operator=(const UndoLog &) = delete;

    size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    std::uint32_t row(size_t i) const { return m_rows[i]; }
    // Copies the bytes before change `i` (one record) to `out`. Throws DbfError.
    void read(size_t i, char *out) const;
    // Throws DbfError when the temporary file cannot be written.
    void push(std::uint32_t row, const char *record, std::uint32_t length);
    // Drops the changes past the first `n`.
    void truncate(size_t n);
    void clear();

    // Blocks held in memory at most; a test may lower it to make the log use its file.
    static void setMemoryBlocks(size_t blocks);

private:
    size_t blockBytes() const { return m_perBlock * m_length; }
    void spillOldest();
    std::unique_ptr<char[]> load(size_t block) const;

    std::uint32_t m_length = 0;
    size_t m_perBlock = 1;
    std::vector<std::uint32_t> m_rows;
    std::vector<std::unique_ptr<char[]>> m_blocks; // null for a block in the file
    size_t m_spilled = 0;                          // blocks [0, m_spilled) are in the file
    int m_fd = -1; // the scratch file, once a block went there
};

} // namespace vestronia::dbfimpl
