// Rollback journal: encoding, decoding, streamed durable writing with its seal, and
// playback. Limits: playback reads the whole journal into memory (at most MaxJournalBytes).

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

// The checksum of a journal's body; the seal field of the current layout counts as zeros.
std::uint64_t bodySum(std::string_view body, bool hasSeal)
{
    if (!hasSeal)
        return fnv(body);
    std::uint64_t h = fnv(body.substr(0, MagicSize));
    h = fnv(std::string(SealSize, '\0'), h);
    return fnv(body.substr(HeadSize), h);
}

void put(std::string &out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

struct Reader
{
    std::string_view data;
    std::size_t pos = 0;
    bool ok = true;
    std::uint64_t take(int bytes)
    {
        if (!ok || data.size() - pos < std::size_t(bytes)) {
            ok = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= std::uint64_t(static_cast<unsigned char>(data[pos + std::size_t(i)])) << (8 * i);
        pos += std::size_t(bytes);
        return v;
    }
    std::string_view bytes(std::uint64_t n)
    {
        if (!ok || data.size() - pos < n) {
            ok = false;
            return {};
        }
        const std::string_view v = data.substr(pos, std::size_t(n));
        pos += std::size_t(n);
        return v;
    }
};

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
    if (bytes.size() < MagicSize + TrailerSize || bytes.size() > MaxJournalBytes)
        return std::nullopt;
    const bool current = bytes.substr(0, MagicSize) == std::string_view(Magic, MagicSize);
    if (!current && bytes.substr(0, MagicSize) != std::string_view(OldMagic, MagicSize))
        return std::nullopt;
    // The current layout counts only once sealed: before, its writer had not finished.
    if (current && (bytes.size() < HeadSize + TrailerSize || !isSealed(bytes)))
        return std::nullopt;
    const std::string_view body = bytes.substr(0, bytes.size() - TrailerSize);
    Reader trailer{bytes.substr(body.size())};
    if (trailer.bytes(MagicSize) != std::string_view(EndMagic, MagicSize))
        return std::nullopt;
    const std::uint64_t count = trailer.take(4);
    if (trailer.take(8) != bodySum(body, current))
        return std::nullopt;
    Reader r{body, current ? HeadSize : MagicSize};
    std::vector<FileImage> files;
    for (std::uint64_t i = 0; i < count; ++i) {
        FileImage f;
        f.name = std::string(r.bytes(r.take(2)));
        f.existed = (r.take(1) & 1) != 0;
        f.oldSize = r.take(8);
        const std::uint64_t chunks = r.take(4);
        if (!r.ok || !isPlainFileName(f.name) || chunks > body.size())
            return std::nullopt;
        for (std::uint64_t c = 0; c < chunks && r.ok; ++c) {
            Chunk ch;
            ch.offset = r.take(8);
            ch.bytes = std::string(r.bytes(r.take(4)));
            if (ch.offset > (1ULL << 40))
                return std::nullopt;
            f.chunks.push_back(std::move(ch));
        }
        if (!r.ok)
            return std::nullopt;
        files.push_back(std::move(f));
    }
    if (!r.ok || r.pos != body.size())
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
    m_fd = ::open(tempPath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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
    struct stat st;
    std::string bytes;
    bool readOk = ::fstat(jfd, &st) == 0 && std::uint64_t(st.st_size) <= MaxJournalBytes;
    if (readOk) {
        bytes.resize(std::size_t(st.st_size));
        readOk = bytes.empty() || fileops::readAll(jfd, bytes.data(), bytes.size(), 0);
    }
    ::close(jfd);
    if (!readOk)
        throw std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi citit"));
    const auto files = decode(bytes);
    if (!files && isSealed(bytes))
        throw DamagedJournal("Jurnalul modificarilor din dosarul de date (" + path +
                             ") este deteriorat, iar o modificare a fost intrerupta in timp ce scria in tabele: "
                             "datele pot fi pe jumatate scrise si nu pot fi refacute automat. Nu folositi datele; "
                             "refaceti-le dintr-o copie de siguranta sau cereti ajutor.");
    if (!files) {
        // Never finished: the data files were not touched yet.
        if (fileops::unlinkFile(path.c_str()) != 0 && errno != ENOENT)
            throw std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi sters"));
        fileops::syncFolder(folder);
        return PlayResult::Discarded;
    }
    for (const FileImage &f : *files) {
        const std::string target = folder + "/" + f.name;
        if (!f.existed) {
            if (fileops::unlinkFile(target.c_str()) != 0 && errno != ENOENT)
                throw std::runtime_error(systemMessage("Fisierul " + f.name + " nu poate fi refacut"));
            if (restored)
                restored->push_back(f.name);
            continue;
        }
        const int fd = ::open(target.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            throw std::runtime_error(systemMessage("Fisierul " + f.name + " nu poate fi refacut"));
        fileops::adoptFolderAccess(fd, folder);
        bool ok = true;
        for (const Chunk &c : f.chunks)
            ok = ok && fileops::writeAll(fd, c.bytes.data(), c.bytes.size(), off_t(c.offset));
        ok = ok && fileops::truncateFile(fd, off_t(f.oldSize)) == 0 && fileops::fsyncFile(fd) == 0;
        const int err = errno;
        ::close(fd);
        if (!ok) {
            errno = err;
            throw std::runtime_error(systemMessage("Fisierul " + f.name + " nu poate fi refacut"));
        }
        if (restored)
            restored->push_back(f.name);
    }
    if (!fileops::syncFolder(folder) || (fileops::unlinkFile(path.c_str()) != 0 && errno != ENOENT))
        throw std::runtime_error(systemMessage("Jurnalul " + path + " nu poate fi sters"));
    fileops::syncFolder(folder);
    return PlayResult::RolledBack;
}

} // namespace vestronia::journal
