// Snapshots of the "dbf" module: reading a file into memory, following appends made by other
// workstations, and deciding at each statement whether the copy is still current. Limits:
// a snapshot holds every record of the file (at most 2 GB), so memory follows the table.

#include "store/dbfvtabstate.h"

#include "store/dbflock.h"
#include "store/fileops.h"

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestronia::dbfimpl {

namespace {

constexpr size_t HugePage = size_t(2) << 20;
// Below this a block comes from the ordinary heap (small work tables).
constexpr size_t MappedFrom = size_t(4) << 20;

size_t mappedLength(size_t bytes)
{
    return (bytes + HugePage - 1) / HugePage * HugePage;
}

} // namespace

RecordBuffer::~RecordBuffer()
{
    if (m_mapped)
        ::munmap(m_data, m_capacity);
    else
        std::free(m_data);
}

void RecordBuffer::reserve(size_t bytes)
{
    if (bytes <= m_capacity)
        return;
    if (bytes < MappedFrom) {
        void *p = std::realloc(m_data, bytes);
        if (!p)
            throw std::bad_alloc();
        m_data = static_cast<char *>(p);
        m_capacity = bytes;
        return;
    }
    const size_t length = mappedLength(bytes);
    if (m_mapped) {
        // The kernel moves the pages, not their bytes.
        void *p = ::mremap(m_data, m_capacity, length, MREMAP_MAYMOVE);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        m_data = static_cast<char *>(p);
        m_capacity = length;
        ::madvise(m_data, m_capacity, MADV_HUGEPAGE);
        return;
    }
    // Mapped with a huge page of slack, then trimmed so the block starts on a huge page.
    void *raw = ::mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + HugePage - 1) / HugePage * HugePage;
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const size_t tail = HugePage - (aligned - start))
        ::munmap(reinterpret_cast<void *>(aligned + length), tail);
    ::madvise(reinterpret_cast<void *>(aligned), length, MADV_HUGEPAGE); // a hint; fine without
    char *p = reinterpret_cast<char *>(aligned);
    if (m_size)
        std::memcpy(p, m_data, m_size);
    std::free(m_data);
    m_data = p;
    m_capacity = length;
    m_mapped = true;
}

void RecordBuffer::resize(size_t bytes)
{
    reserve(bytes);
    m_size = bytes;
}

void RecordBuffer::append(const char *bytes, size_t length)
{
    if (m_size + length > m_capacity)
        reserve(std::max(m_size + length, m_capacity + m_capacity / 4 + 4096));
    std::memcpy(m_data + m_size, bytes, length);
    m_size += length;
}

[[noreturn]] void fail(const std::string &message)
{
    throw DbfError(QString::fromUtf8(message.data(), qsizetype(message.size())));
}

std::string osError(int err) { return std::strerror(err); }

FileStamp statPath(const DbfTable *t)
{
    struct stat st;
    if (::stat(t->path.c_str(), &st) != 0)
        fail("Tabela " + t->fileName + " nu mai exista sau nu poate fi citita: " + osError(errno));
    FileStamp s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    return s;
}

void readExactly(int fd, char *dst, size_t size, off_t at, const std::string &fileName)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, dst, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("Tabela " + fileName + " nu poate fi citita: " + osError(errno));
        if (n == 0)
            fail("Tabela " + fileName + " s-a scurtat in timpul citirii; incercati din nou.");
        dst += n;
        size -= size_t(n);
        at += n;
    }
}

void writeExactly(int fd, const char *src, size_t size, off_t at, const std::string &fileName)
{
    if (!fileops::writeAll(fd, src, size, at))
        fail("Nu se poate scrie in tabela " + fileName + ": " + osError(errno ? errno : EIO));
}

std::uint32_t diskRecordCount(const DbfTable *t)
{
    unsigned char b[4];
    readExactly(t->fd, reinterpret_cast<char *>(b), 4, off_t(dbf::offset::RecordCount), t->fileName);
    return dbf::loadU32(b);
}

void openFile(DbfTable *t)
{
    if (t->fd >= 0)
        ::close(t->fd);
    t->fd = ::open(t->path.c_str(), O_RDWR | O_CLOEXEC);
    t->readOnly = false;
    if (t->fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        t->fd = ::open(t->path.c_str(), O_RDONLY | O_CLOEXEC);
        t->readOnly = true;
    }
    if (t->fd < 0)
        fail("Tabela " + t->fileName + " nu poate fi deschisa: " + osError(errno));
    fileops::adviseRandomAccess(t->fd); // keeps a commit's writes of single records cheap
}

dbf::Header readHeaderOnce(const DbfTable *t)
{
    struct stat st;
    if (::fstat(t->fd, &st) != 0)
        fail("Tabela " + t->fileName + " nu poate fi citita: " + osError(errno));
    const size_t want = size_t(std::min<off_t>(st.st_size, off_t(dbf::MaxHeaderLength)));
    std::vector<unsigned char> buf(want);
    readExactly(t->fd, reinterpret_cast<char *>(buf.data()), want, 0, t->fileName);
    return dbf::parseHeader(buf.data(), buf.size(), std::uint64_t(st.st_size), t->fileName);
}

// The header as the file holds it. Our own writers are kept out by the folder's read
// range, but another dBase tool may be half way through an append (records written, count
// not yet, or the other way round): a header that does not agree with the file's size is
// read again a few times before the file is called damaged.
dbf::Header readHeader(const DbfTable *t)
{
    for (int attempt = 0;; ++attempt) {
        try {
            return readHeaderOnce(t);
        } catch (const DbfError &) {
            if (attempt >= 8)
                throw;
        }
        ::usleep(useconds_t(2000 * (attempt + 1)));
    }
}

bool sameColumns(const std::vector<Field> &a, const std::vector<Field> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].length != b[i].length ||
            a[i].decimals != b[i].decimals)
            return false;
    return true;
}

// Reads the file into a new snapshot.
void loadSnapshot(DbfTable *t, const FileStamp &seen)
{
    // The old copy goes first when nothing else holds it (no cursor, no pending change), so
    // a refresh does not hold the table twice. Should the reading fail, the next statement
    // reads it again.
    if (t->snap && t->snap.use_count() == 1 && !t->hasChanges())
        t->snap.reset();
    if (t->fd < 0 || seen.inode != t->stamp.inode || seen.device != t->stamp.device)
        openFile(t);
    // A packing workstation holds the whole range; wait for it rather than read half a file.
    const bool locked = dbflock::lock(t->fd, dbflock::ReadOffset, 1, false, dbflock::waitMilliseconds());
    if (!locked)
        fail("Tabela " + t->fileName + " este folosita exclusiv de alt calculator (compactare). Incercati din nou.");
    struct Unlock
    {
        int fd;
        ~Unlock() { dbflock::unlock(fd, dbflock::ReadOffset, 1); }
    } unlock{t->fd};

    struct stat st;
    if (::fstat(t->fd, &st) != 0)
        fail("Tabela " + t->fileName + " nu poate fi citita: " + osError(errno));
    auto snap = std::make_shared<Snapshot>();
    snap->header = readHeader(t);
    if (!sameColumns(snap->header.fields, t->fields))
        fail("Structura tabelei " + t->fileName + " s-a schimbat; baza de date trebuie deschisa din nou.");
    const std::uint64_t bytes = std::uint64_t(snap->header.recordCount) * snap->header.recordLength;
    if (bytes > MaxSnapshotBytes)
        fail("Tabela " + t->fileName + " este prea mare pentru a fi citita.");
    // Room for the appends of a session, so that the first one does not move everything.
    snap->records.reserve(size_t(bytes + bytes / 16 + 64 * snap->header.recordLength));
    snap->records.resize(size_t(bytes));
    readExactly(t->fd, snap->records.data(), size_t(bytes), off_t(snap->header.headerLength), t->fileName);
    snap->indexes.resize(snap->header.fields.size());
    t->snap = std::move(snap);
    t->stamp = seen;
    t->stamp.count = t->snap->count();
    t->generation = t->module->generation;
    t->stale = false;
}

// Reads the records another workstation appended since the snapshot, and lists them in
// the indexes that exist. False when the file changed in any other way (then the caller
// reads it whole).
bool appendNewRecords(DbfTable *t, const FileStamp &now)
{
    Snapshot &s = *t->snap;
    if (now.device != t->stamp.device || now.inode != t->stamp.inode || now.size < t->stamp.size)
        return false;
    const dbf::Header h = readHeader(t);
    if (!sameColumns(h.fields, t->fields) || h.recordLength != s.header.recordLength ||
        h.headerLength != s.header.headerLength || h.recordCount < s.count())
        return false;
    const std::uint32_t added = h.recordCount - s.count();
    const size_t recLen = s.header.recordLength;
    if (std::uint64_t(s.records.size()) + std::uint64_t(added) * recLen > MaxSnapshotBytes)
        fail("Tabela " + t->fileName + " este prea mare pentru a fi citita.");
    const std::uint32_t first = s.count() + 1;
    std::vector<char> fresh(size_t(added) * recLen);
    readExactly(t->fd, fresh.data(), fresh.size(), off_t(s.header.headerLength) + off_t(first - 1) * off_t(recLen),
                t->fileName);
    s.records.append(fresh.data(), fresh.size());
    s.header.recordCount = h.recordCount;
    for (auto &idx : s.indexes)
        if (idx)
            for (std::uint32_t r = first; r <= s.count(); ++r)
                if (s.live(r))
                    idx->add(s.records.data(), std::uint32_t(recLen), r);
    t->stamp = now;
    t->stamp.count = s.count();
    return true;
}

// Makes sure the snapshot matches the file. Keeps it while our own changes are pending.
// A table of the data folder compares the change counter of the lock file first: the
// file's size and time only catch changes made by other dBase tools.
void ensureFresh(DbfTable *t)
{
    if (t->inTransaction && t->snap && t->hasChanges())
        return;
    const FolderRead read(t);
    t->checkedAt = t->module ? t->module->statement : 0;
    const FileStamp now = statPath(t);
    const bool usable = t->snap && !t->stale && t->generation == t->module->generation;
    if (t->shared && t->module->folder) {
        t->module->folder->readCounters();
        const TableCounter counter = t->module->folder->counter(t->fileName);
        if (usable && counter == t->seen && now.sameFile(t->stamp) && diskRecordCount(t) == t->stamp.count)
            return;
        if (usable && counter.rewrites == t->seen.rewrites && counter.changes != t->seen.changes) {
            const std::uint32_t seenCount = t->snap->count();
            bool appended = false;
            {
                const bool locked = dbflock::lock(t->fd, dbflock::ReadOffset, 1, false, dbflock::waitMilliseconds());
                if (locked) {
                    struct Unlock
                    {
                        int fd;
                        ~Unlock() { dbflock::unlock(fd, dbflock::ReadOffset, 1); }
                    } unlock{t->fd};
                    appended = appendNewRecords(t, now);
                }
            }
            if (appended) {
                t->seen = counter;
                return;
            }
            if (t->snap->count() != seenCount)
                t->stale = true;
        }
        loadSnapshot(t, now);
        t->seen = counter;
        return;
    }
    if (usable && now.sameFile(t->stamp) && diskRecordCount(t) == t->stamp.count)
        return;
    loadSnapshot(t, now);
}

EqIndex &indexFor(Snapshot &s, int column, const std::string &fileName)
{
    std::unique_ptr<EqIndex> &slot = s.indexes[size_t(column)];
    if (!slot) {
        auto idx = std::make_unique<EqIndex>(s.header.fields[size_t(column)], fileName);
        idx->build(s.records.data(), s.header.recordLength, s.count());
        slot = std::move(idx);
    }
    return *slot;
}

void requireWritable(DbfTable *t)
{
    if (t->readOnly)
        fail("Tabela " + t->fileName + " poate fi doar citita (fisier fara drept de scriere).");
    if (!t->snap->header.writable())
        fail("Tabela " + t->fileName + " are un format care poate fi doar citit.");
}

} // namespace vestronia::dbfimpl
