// Rollback journal: encoding, decoding, durable writing and playback.

#include "store/journal.h"

#include "store/fileops.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vestronia::journal {

namespace {

constexpr char Magic[] = "VSTRJRN1";
constexpr char EndMagic[] = "VSTREND1";
constexpr std::size_t MagicSize = 8;
constexpr std::size_t TrailerSize = 8 + 4 + 8;

std::uint64_t fnv(std::string_view bytes)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return h;
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
    return out;
}

std::optional<std::vector<FileImage>> decode(std::string_view bytes)
{
    if (bytes.size() < MagicSize + TrailerSize || bytes.size() > MaxJournalBytes ||
        bytes.substr(0, MagicSize) != std::string_view(Magic, MagicSize))
        return std::nullopt;
    const std::string_view body = bytes.substr(0, bytes.size() - TrailerSize);
    Reader trailer{bytes.substr(body.size())};
    if (trailer.bytes(MagicSize) != std::string_view(EndMagic, MagicSize))
        return std::nullopt;
    const std::uint64_t count = trailer.take(4);
    if (trailer.take(8) != fnv(body))
        return std::nullopt;
    Reader r{body, MagicSize};
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

bool writeJournal(const std::string &path, const std::vector<FileImage> &files)
{
    const std::string bytes = encode(files);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    fileops::adoptFolderAccess(fd, folderOf(path));
    const bool ok = fileops::writeAll(fd, bytes.data(), bytes.size(), 0) && fileops::fsyncFile(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok || !fileops::syncFolder(folderOf(path))) {
        const int err2 = ok ? errno : err;
        ::unlink(path.c_str());
        errno = err2;
        return false;
    }
    return true;
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
