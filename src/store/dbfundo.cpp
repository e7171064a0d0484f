// The undo log of a dbf transaction: before-images packed in blocks, the oldest moved to an
// unnamed scratch file (in the program's TEMP folder) past a few tens of megabytes. Limits: the file is private scratch,
// not part of the folder protocol (the journal is what makes a commit safe).

#include "store/dbfundo.h"

#include "store/dbferror.h"
#include "store/fileops.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vestronia::dbfimpl {

namespace {

std::atomic<size_t> g_memoryBlocks{32};

[[noreturn]] void spillFailed(int err)
{
    throw DbfError(QStringLiteral("Fisierul temporar al modificarilor nu poate fi folosit: %1. Modificarea nu a fost facuta.")
                       .arg(QString::fromLocal8Bit(std::strerror(err ? err : EIO))));
}

} // namespace

void UndoLog::setMemoryBlocks(size_t blocks)
{
    g_memoryBlocks.store(std::max<size_t>(1, blocks));
}

UndoLog::~UndoLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void UndoLog::read(size_t i, char *out) const
{
    const size_t block = i / m_perBlock;
    const size_t within = (i % m_perBlock) * m_length;
    if (block >= m_spilled) {
        std::memcpy(out, m_blocks[block].get() + within, m_length);
        return;
    }
    const off_t at = off_t(block * blockBytes() + within);
    size_t done = 0;
    while (done < m_length) {
        const ssize_t n = fileops::preadScratch(m_fd, out + done, m_length - done, at + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            spillFailed(n < 0 ? errno : EIO);
        done += size_t(n);
    }
}

std::unique_ptr<char[]> UndoLog::load(size_t block) const
{
    auto bytes = std::make_unique<char[]>(blockBytes());
    size_t done = 0;
    while (done < blockBytes()) {
        const ssize_t n = fileops::preadScratch(m_fd, bytes.get() + done, blockBytes() - done, off_t(block * blockBytes() + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            spillFailed(n < 0 ? errno : EIO);
        done += size_t(n);
    }
    return bytes;
}

void UndoLog::spillOldest()
{
    if (m_fd < 0) {
        m_fd = fileops::openScratchFile();
        if (m_fd < 0)
            spillFailed(errno);
    }
    // Through fileops, so a full TEMP can be injected like any other failed write.
    if (!fileops::writeAll(m_fd, m_blocks[m_spilled].get(), blockBytes(), off_t(m_spilled * blockBytes())))
        spillFailed(errno ? errno : ENOSPC);
    m_blocks[m_spilled].reset();
    ++m_spilled;
}

void UndoLog::push(std::uint32_t row, const char *record, std::uint32_t length)
{
    if (m_rows.empty() && m_blocks.empty()) {
        m_length = length;
        m_perBlock = std::max<size_t>(1, (size_t(1) << 20) / length);
    }
    const size_t i = m_rows.size();
    const size_t block = i / m_perBlock;
    if (block >= m_blocks.size()) {
        // Only whole blocks go to the file: the one being filled stays in memory.
        while (m_blocks.size() - m_spilled >= g_memoryBlocks.load())
            spillOldest();
        m_blocks.push_back(std::make_unique<char[]>(blockBytes()));
    }
    std::memcpy(m_blocks[block].get() + (i % m_perBlock) * m_length, record, m_length);
    m_rows.push_back(row);
}

void UndoLog::truncate(size_t n)
{
    if (n >= m_rows.size())
        return;
    const size_t keep = (n + m_perBlock - 1) / m_perBlock;
    // The last block kept is filled again: it comes back from the file if it went there.
    if (keep > 0 && keep - 1 < m_spilled) {
        m_blocks[keep - 1] = load(keep - 1);
        m_spilled = keep - 1;
    }
    m_spilled = std::min(m_spilled, keep);
    m_rows.resize(n);
    m_blocks.resize(keep);
}

void UndoLog::clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_blocks.clear();
    m_spilled = 0;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace vestronia::dbfimpl
