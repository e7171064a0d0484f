// Rollback journal: encoding, decoding, streamed durable writing with its seal, and
// playback, which checks the whole journal and then copies it back a block at a time (its
// memory does not grow with the journal). Limits: a journal past MaxJournalBytes is refused.

#include "store/journal.h"

#include "store/fileops.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vestronia::journal {

namespace {

constexpr char OldMagic[] = "VSTRJRN1"; // written by older builds: no seal
constexpr char Magic[] = "VSTRJRN2";
constexpr char SealMark[] = "VSTRSEAL";
constexpr char EndMagic[] = "VSTREND1";
constexpr std::size_t MagicSize = 8;
constexpr std::size_t SealSize = 8;
constexpr std::size_t HeadSize = MagicSize + SealSize;
constexpr std::size_t TrailerSize = 8 + 4 + 8;
constexpr std::uint64_t FnvStart = 1469598103934665603ULL;
constexpr std::size_t WriteBuffer = 1 << 20;

std::uint64_t fnv(std::string_view bytes, std::uint64_t h = FnvStart)
{
    for (char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return h;
}

void put(std::string &out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

// The bytes of a journal's body in order, from memory or from the file read a block at a
// time, with the checksum of what has passed when asked for. Small fields are taken whole;
// before-images are handed on in pieces, so nothing needs the whole journal in memory.
class Stream
{
public:
    explicit Stream(std::string_view bytes) : m_end(bytes.size()), m_mem(bytes) {}
    Stream(int fd, std::uint64_t end) : m_end(end), m_fd(fd) {}

    bool ok() const { return m_ok; }
    bool ioError() const { return m_ioError; }
    std::uint64_t pos() const { return m_pos; }
    std::uint64_t end() const { return m_end; }
    std::uint64_t sum() const { return m_sum; }
    void hashing(bool on) { m_hash = on; }

    std::uint64_t take(int bytes)
    {
        std::uint64_t v = 0;
        int shift = 0;
        pass(std::uint64_t(bytes), [&](std::string_view piece) {
            for (char c : piece) {
                v |= std::uint64_t(static_cast<unsigned char>(c)) << shift;
                shift += 8;
            }
        });
        return m_ok ? v : 0;
    }
    std::string text(std::uint64_t n)
    {
        std::string out;
        if (n <= 0xFFFF)
            pass(n, [&](std::string_view piece) { out += piece; });
        else
            m_ok = false;
        return out;
    }
    // Skips bytes that count in the checksum as zeros (the seal).
    void skipAsZeros(std::uint64_t n)
    {
        const bool was = m_hash;
        m_hash = false;
        pass(n, [](std::string_view) {});
        m_hash = was;
        if (m_hash)
            for (std::uint64_t i = 0; i < n; ++i)
                m_sum = (m_sum ^ 0) * 1099511628211ULL;
    }
    // Hands the next n bytes to f in pieces of at most a block.
    template <typename F>
    void pass(std::uint64_t n, F &&f)
    {
        if (!m_ok || m_end - m_pos < n) {
            m_ok = false;
            return;
        }
        while (n > 0) {
            std::string_view piece;
            if (m_fd < 0) {
                piece = m_mem.substr(std::size_t(m_pos), std::size_t(n));
            } else {
                if (m_pos < m_blockAt || m_pos >= m_blockAt + m_block.size()) {
                    const std::size_t want = std::size_t(std::min<std::uint64_t>(ReadBlock, m_end - m_pos));
                    m_block.resize(want);
                    if (!fileops::readAll(m_fd, m_block.data(), want, off_t(m_pos))) {
                        m_ok = false;
                        m_ioError = true;
                        return;
                    }
                    m_blockAt = m_pos;
                }
                const std::size_t within = std::size_t(m_pos - m_blockAt);
                piece = std::string_view(m_block).substr(within, std::size_t(std::min<std::uint64_t>(n, m_block.size() - within)));
            }
            if (m_hash)
                m_sum = fnv(piece, m_sum);
            f(piece);
            m_pos += piece.size();
            n -= piece.size();
        }
    }

private:
    static constexpr std::size_t ReadBlock = 1 << 20;
    std::uint64_t m_end;
    std::uint64_t m_pos = 0;
    int m_fd = -1;
    std::string_view m_mem;
    std::string m_block;
    std::uint64_t m_blockAt = 0;
    std::uint64_t m_sum = FnvStart;
    bool m_hash = false;
    bool m_ok = true;
    bool m_ioError = false;
};

// What the trailer of a journal of `size` bytes says, read through `readAt(offset, n)`.
struct Trailer
{
    bool current = false; // "VSTRJRN2" (with a seal field), else the first layout
    std::uint64_t count = 0;
    std::uint64_t sum = 0;
};

template <typename ReadAt>
std::optional<Trailer> readFrame(std::uint64_t size, ReadAt &&readAt)
{
    if (size < MagicSize + TrailerSize || size > MaxJournalBytes)
        return std::nullopt;
    char head[HeadSize] = {};
    const std::size_t headBytes = std::size_t(std::min<std::uint64_t>(HeadSize, size));
    if (!readAt(0, head, headBytes))
        return std::nullopt;
    Trailer t;
    t.current = std::string_view(head, MagicSize) == std::string_view(Magic, MagicSize);
    if (!t.current && std::string_view(head, MagicSize) != std::string_view(OldMagic, MagicSize))
        return std::nullopt;
    // The current layout counts only once sealed: before, its writer had not finished.
    if (t.current && (size < HeadSize + TrailerSize || std::string_view(head + MagicSize, SealSize) != std::string_view(SealMark, SealSize)))
        return std::nullopt;
    char tail[TrailerSize];
    if (!readAt(size - TrailerSize, tail, TrailerSize) || std::string_view(tail, MagicSize) != std::string_view(EndMagic, MagicSize))
        return std::nullopt;
    auto le = [&](std::size_t at, int bytes) {
        std::uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(tail[at + std::size_t(i)]);
        return v;
    };
    t.count = le(MagicSize, 4);
    t.sum = le(MagicSize + 4, 8);
    return t;
}

// Walks the body of a journal framed by `t` (the stream ends where the trailer begins):
// onFile(name, existed, oldSize) before a file's chunks, onChunk(offset, length) must pass
// the chunk's bytes on from the stream, onFileEnd() after them. false when the structure
// is broken or a callback refuses.
template <typename OnFile, typename OnChunk, typename OnFileEnd>
bool walk(Stream &s, const Trailer &t, OnFile &&onFile, OnChunk &&onChunk, OnFileEnd &&onFileEnd)
{
    s.pass(MagicSize, [](std::string_view) {});
    if (t.current)
        s.skipAsZeros(SealSize);
    for (std::uint64_t i = 0; i < t.count && s.ok(); ++i) {
        const std::string name = s.text(s.take(2));
        const bool existed = (s.take(1) & 1) != 0;
        const std::uint64_t oldSize = s.take(8);
        const std::uint64_t chunks = s.take(4);
        if (!s.ok() || !isPlainFileName(name) || chunks > s.end())
            return false;
        if (!onFile(name, existed, oldSize))
            return false;
        for (std::uint64_t c = 0; c < chunks && s.ok(); ++c) {
            const std::uint64_t offset = s.take(8);
            const std::uint64_t length = s.take(4);
            if (!s.ok() || offset > (1ULL << 40) || s.end() - s.pos() < length)
                return false;
            if (!onChunk(offset, length))
                return false;
        }
        if (!s.ok() || !onFileEnd())
            return false;
    }
    return s.ok() && s.pos() == s.end();
}

std::string systemMessage(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

} // namespace

bool isPlainFileName(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    for (char c : name)
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    return true;
}

std::string encode(const std::vector<FileImage> &files)
{
    std::string out(Magic, MagicSize);
    out.append(SealSize, '\0');
    for (const FileImage &f : files) {
        put(out, f.name.size(), 2);
        out += f.name;
        put(out, f.existed ? 1 : 0, 1);
        put(out, f.oldSize, 8);
        put(out, f.chunks.size(), 4);
        for (const Chunk &c : f.chunks) {
            put(out, c.offset, 8);
            put(out, c.bytes.size(), 4);
            out += c.bytes;
        }
    }
    const std::uint64_t sum = fnv(out);
    out.append(EndMagic, MagicSize);
    put(out, files.size(), 4);
    put(out, sum, 8);
    out.replace(MagicSize, SealSize, SealMark, SealSize);
    return out;
}

bool isSealed(std::string_view bytes)
{
    return bytes.size() >= HeadSize && bytes.substr(0, MagicSize) == std::string_view(Magic, MagicSize) &&
           bytes.substr(MagicSize, SealSize) == std::string_view(SealMark, SealSize);
}

std::optional<std::vector<FileImage>> decode(std::string_view bytes)
{
    const auto frame = readFrame(bytes.size(), [&](std::uint64_t at, char *out, std::size_t n) {
        bytes.copy(out, n, std::size_t(at));
        return true;
    });
    if (!frame)
        return std::nullopt;
    Stream s(bytes.substr(0, bytes.size() - TrailerSize));
    s.hashing(true);
    std::vector<FileImage> files;
    const bool ok = walk(
        s, *frame,
        [&](const std::string &name, bool existed, std::uint64_t oldSize) {
            files.push_back(FileImage{name, existed, oldSize, {}});
            return true;
        },
        [&](std::uint64_t offset, std::uint64_t length) {
            Chunk c{offset, {}};
            s.pass(length, [&](std::string_view piece) { c.bytes += piece; });
            files.back().chunks.push_back(std::move(c));
            return s.ok();
        },
        [] { return true; });
    if (!ok || s.sum() != frame->sum)
        return std::nullopt;
    return files;
}

namespace {

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

Writer::~Writer()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_path.empty() && !m_finished) {
        const int err = errno;
        ::unlink(tempPath(m_path).c_str());
        // Renamed but its name not known durable: no data was written yet, so it goes.
        if (m_renamed)
            ::unlink(m_path.c_str());
        errno = err;
    }
}

std::string Writer::tempPath(const std::string &path)
{
    return path + ".tmp";
}

bool Writer::open(const std::string &path)
{
    m_path = path;
    // Whatever a dead writer (or anyone on a shared folder) left under the name goes first,
    // and the file is made new: a link there is removed, never followed out of the folder.
    const std::string temp = tempPath(path);
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
        return false;
    m_fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return false;
    fileops::adoptFolderAccess(m_fd, folderOf(path));
    m_sum = FnvStart;
    m_buffer.reserve(WriteBuffer);
    std::string head(Magic, MagicSize);
    head.append(SealSize, '\0');
    return put(head);
}

namespace {
std::atomic<std::uint64_t> g_maxBytes{MaxJournalBytes};
}

void Writer::setMaxBytes(std::uint64_t bytes)
{
    g_maxBytes.store(std::min(bytes, MaxJournalBytes));
}

bool Writer::put(std::string_view bytes)
{
    if (m_written + m_buffer.size() + bytes.size() + TrailerSize > g_maxBytes.load()) {
        errno = EFBIG;
        return false;
    }
    m_sum = fnv(bytes, m_sum);
    if (m_buffer.size() + bytes.size() > WriteBuffer && !flush())
        return false;
    if (bytes.size() >= WriteBuffer) {
        if (!fileops::writeAll(m_fd, bytes.data(), bytes.size(), off_t(m_written)))
            return false;
        m_written += bytes.size();
        return true;
    }
    m_buffer.append(bytes);
    return true;
}

bool Writer::flush()
{
    if (m_buffer.empty())
        return true;
    if (!fileops::writeAll(m_fd, m_buffer.data(), m_buffer.size(), off_t(m_written)))
        return false;
    m_written += m_buffer.size();
    m_buffer.clear();
    return true;
}

bool Writer::beginFile(const std::string &name, bool existed, std::uint64_t oldSize, std::uint32_t chunkCount)
{
    std::string head;
    journal::put(head, name.size(), 2);
    head += name;
    journal::put(head, existed ? 1 : 0, 1);
    journal::put(head, oldSize, 8);
    journal::put(head, chunkCount, 4);
    ++m_files;
    return put(head);
}

bool Writer::addChunk(std::uint64_t offset, std::string_view bytes)
{
    std::string head;
    journal::put(head, offset, 8);
    journal::put(head, bytes.size(), 4);
    return put(head) && put(bytes);
}

bool Writer::finish()
{
    std::string trailer(EndMagic, MagicSize);
    journal::put(trailer, m_files, 4);
    journal::put(trailer, m_sum, 8);
    m_buffer.append(trailer);
    // The journal is written whole and sealed under a temporary name, synced, and only then
    // given its name: a journal under its name is complete by construction, so the seal
    // needs no sync of its own (it used to be written after a first sync and synced again),
    // and a crash before the rename leaves no journal at all, with no data touched. The
    // folder sync makes the name durable before the caller writes its first data byte.
    // fdatasync keeps the length and blocks of the grown file, all a reader needs.
    if (!flush() || !fileops::writeAll(m_fd, SealMark, SealSize, off_t(MagicSize)) || fileops::syncData(m_fd) != 0)
        return false;
    ::close(m_fd);
    m_fd = -1;
    if (fileops::renameFile(tempPath(m_path).c_str(), m_path.c_str()) != 0)
        return false;
    m_renamed = true;
    if (!fileops::syncFolder(folderOf(m_path)))
        return false;
    m_finished = true;
    return true;
}

bool writeJournal(const std::string &path, const std::vector<FileImage> &files)
{
    Writer w;
    if (!w.open(path))
        return false;
    for (const FileImage &f : files) {
        if (!w.beginFile(f.name, f.existed, f.oldSize, std::uint32_t(f.chunks.size())))
            return false;
        for (const Chunk &c : f.chunks)
            if (!w.addChunk(c.offset, c.bytes))
                return false;
    }
    return w.finish();
}

PlayResult playBack(const std::string &folder, const std::string &path, std::vector<std::string> *restored)
{
    const int jfd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (jfd < 0) {
        if (errno == ENOENT)
            return PlayResult::NoJournal;
        throw std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi citit"));
    }
    struct Close
    {
        int fd;
        ~Close() { ::close(fd); }
    } closeJournal{jfd};
    const auto unreadable = [&] { return std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi citit")); };
    struct stat st;
    if (::fstat(jfd, &st) != 0 || std::uint64_t(st.st_size) > MaxJournalBytes)
        throw unreadable();
    const std::uint64_t size = std::uint64_t(st.st_size);
    bool ioError = false;
    const auto readAt = [&](std::uint64_t at, char *out, std::size_t n) {
        if (fileops::readAll(jfd, out, n, off_t(at)))
            return true;
        ioError = true;
        return false;
    };

    // First pass: the whole journal checked (framing, structure, checksum) a block at a
    // time, before any file is touched.
    const auto frame = readFrame(size, readAt);
    bool valid = false;
    if (frame) {
        Stream s(jfd, size - TrailerSize);
        s.hashing(true);
        valid = walk(
                    s, *frame, [](const std::string &, bool, std::uint64_t) { return true; },
                    [&](std::uint64_t, std::uint64_t length) {
                        s.pass(length, [](std::string_view) {});
                        return s.ok();
                    },
                    [] { return true; }) &&
                s.sum() == frame->sum;
        ioError = ioError || s.ioError();
    }
    if (ioError)
        throw unreadable();
    if (!valid) {
        char head[HeadSize] = {};
        const bool sealed = size >= HeadSize && readAt(0, head, HeadSize) && isSealed(std::string_view(head, HeadSize));
        if (ioError)
            throw unreadable();
        if (sealed)
            throw DamagedJournal("Jurnalul modificarilor din dosarul de date (" + path +
                                 ") este deteriorat, iar o modificare a fost intrerupta in timp ce scria in tabele: "
                                 "datele pot fi pe jumatate scrise si nu pot fi refacute automat. Nu folositi datele; "
                                 "refaceti-le dintr-o copie de siguranta sau cereti ajutor.");
        // Never finished: the data files were not touched yet.
        if (fileops::unlinkFile(path.c_str()) != 0 && errno != ENOENT)
            throw std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi sters"));
        fileops::syncFolder(folder);
        return PlayResult::Discarded;
    }

    // Second pass: the before-images copied back a block at a time, each file cut to its
    // old length and synced.
    Stream s(jfd, size - TrailerSize);
    int fd = -1;
    std::string current;
    const auto restoreFailed = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        errno = err;
        return std::runtime_error(systemMessage("Fisierul " + current + " nu poate fi refacut"));
    };
    std::uint64_t oldSize = 0;
    bool ok = walk(
        s, *frame,
        [&](const std::string &name, bool existed, std::uint64_t size0) {
            current = name;
            oldSize = size0;
            const std::string target = folder + "/" + name;
            if (!existed) {
                if (fileops::unlinkFile(target.c_str()) != 0 && errno != ENOENT)
                    throw restoreFailed(errno);
                return true;
            }
            fd = ::open(target.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0)
                throw restoreFailed(errno);
            fileops::adoptFolderAccess(fd, folder);
            return true;
        },
        [&](std::uint64_t offset, std::uint64_t length) {
            bool written = true;
            s.pass(length, [&](std::string_view piece) {
                // A file the commit created has nothing to put back: it was removed.
                written = written && (fd < 0 || fileops::writeAll(fd, piece.data(), piece.size(), off_t(offset)));
                offset += piece.size();
            });
            if (!written && s.ok())
                throw restoreFailed(errno);
            return s.ok();
        },
        [&] {
            if (fd < 0) { // the file was one the commit created: removed above
                if (restored)
                    restored->push_back(current);
                return true;
            }
            if (fileops::truncateFile(fd, off_t(oldSize)) != 0 || fileops::syncData(fd) != 0)
                throw restoreFailed(errno);
            ::close(fd);
            fd = -1;
            if (restored)
                restored->push_back(current);
            return true;
        });
    if (fd >= 0)
        ::close(fd);
    if (!ok) // checked whole a moment ago: only a read can fail now
        throw unreadable();
    if (!fileops::syncFolder(folder) || (fileops::unlinkFile(path.c_str()) != 0 && errno != ENOENT))
        throw std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi sters"));
    fileops::syncFolder(folder);
    return PlayResult::RolledBack;
}

} // namespace vestronia::journal
