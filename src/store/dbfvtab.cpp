// The SQLite virtual-table module "dbf": exposes one dBase file as one SQL table, with
// reads from a cached snapshot, equality indexes built on demand, and writes (INSERT,
// UPDATE, DELETE) held in memory until the transaction commits. Limits: no memo fields,
// level-7 files are read-only, a change of rowid is refused, and a change of a file's
// column list behind our back needs the table to be attached again.
//
// USAGE
//
//     CREATE VIRTUAL TABLE temp.Debite USING dbf('/data/Debite.dbf');
//     SELECT SUM(SOLD) FROM Debite WHERE IDAB=?;
//
// The one argument is the path of the file (quoted with '...' or "..."). Dropping the
// table forgets it; the file stays.
//
// COLUMNS keep their dBase meaning in the declared type:
//     C(n)        CHAR(n)          TEXT, trailing blanks removed; all blanks = NULL
//     N(p,0)      DECIMAL(p,0)     INTEGER
//     N(p,s>0)    DECIMAL(p,s)     REAL (F fields alike)
//     D           DATE             INTEGER day number (days since 30.12.1899)
//     L           BOOLEAN          INTEGER 1/0
//     I, +        INTEGER          level 7
//     O           DOUBLE           level 7
//     @           TIMESTAMP        REAL day number with the time as fraction (level 7)
// The rowid is the record number (1-based); deleted records are never returned.
//
// SNAPSHOT. Each table keeps its records in memory, read once and reused while the file
// is unchanged: its identity, size, modification time and header record count are
// compared when a statement opens a cursor or starts writing. Our own writes change the
// snapshot in place. A column used in "col = ?" (also IN, which SQLite turns into
// repeated equalities) gets a hash index, kept as long as the snapshot.
//
// WRITES go to the snapshot at once and to the file at commit (xSync): updated records
// one by one under their record lock, appended records in one write past the last
// record, then the header count that makes them visible. The header lock is taken at the
// first INSERT of a transaction and held until it ends, so another workstation cannot
// append in between. A rollback (also to a savepoint) restores the snapshot from an undo
// log; nothing had reached the file.
//
// ERRORS never cross this boundary as exceptions: each callback catches and returns
// SQLITE_ERROR with the message (a value that does not fit its field, a damaged file, a
// lock held too long by another workstation).

#include "store/dbfvtab.h"

#include "core/clock.h"
#include "store/dbfcodec.h"
#include "store/dbflock.h"
#include "store/fileops.h"
#include "store/folderlock.h"
#include "store/journal.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vestronia {

namespace {
struct DbfTable;
}

struct DbfModule
{
    unsigned long long generation = 1; // bumped by dbfvtabInvalidate
    FolderLock *folder = nullptr;      // the data folder's lock file, owned by Database
    std::string dataFolder;            // its path: tables in it are shared and journalled
    std::vector<DbfTable *> tables;    // every attached table of the connection
    unsigned long long statement = 1;  // bumped at each statement start
};

namespace {

using dbf::Field;
using dbf::Value;

// The most bytes of records we hold for one table. A real data folder is far below it;
// a file claiming more is refused instead of exhausting memory.
constexpr std::uint64_t MaxSnapshotBytes = 1ULL << 31;

// What tells us that a file changed behind our back.
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long mtimeSec = 0;
    long mtimeNsec = 0;
    std::uint32_t count = 0;
    bool sameFile(const FileStamp &o) const
    {
        return device == o.device && inode == o.inode && size == o.size && mtimeSec == o.mtimeSec &&
               mtimeNsec == o.mtimeNsec;
    }
};

// Equality index of one column: an open-addressing hash table from a value to the chain
// of its record numbers (ascending), the chains threaded through one array indexed by
// record number. About 4 bytes per record plus 16 per distinct value and free slots, so
// a unique column of a million debits costs some 40 MB, not a node per value. A number
// is its own key; a text is keyed by its hash and checked against the bytes of the
// first record of the chain. Deleted records may stay listed; readers skip them.
class EqIndex
{
public:
    EqIndex(const Field &field, const std::string &fileName) : m_field(field), m_fileName(fileName) {}

    // Lists a record (its field already holds the value).
    void add(const char *records, std::uint32_t recordLength, std::uint32_t row)
    {
        Probe p;
        if (!keyOf(records + size_t(row - 1) * recordLength, row, p))
            return;
        if (m_next.size() <= row)
            m_next.resize(std::max<size_t>(row + 1, m_next.size() + m_next.size() / 2));
        m_next[row] = 0;
        if ((m_used + 1) * 10 > m_slots.size() * 7)
            grow();
        const size_t at = find(p, records, recordLength, true);
        Slot &s = m_slots[at];
        if (s.head == 0) {
            if (s.tail == 0)
                ++m_used; // a free slot, not a reused removed one
            s.key = p.key;
            s.head = s.tail = row;
            return;
        }
        if (row > s.tail) { // appends arrive in order
            m_next[s.tail] = row;
            s.tail = row;
            return;
        }
        std::uint32_t prev = 0, cur = s.head;
        while (cur != 0 && cur < row) {
            prev = cur;
            cur = m_next[cur];
        }
        if (cur == row)
            return;
        m_next[row] = cur;
        if (prev == 0)
            s.head = row;
        else
            m_next[prev] = row;
    }

    // Unlists a record; call it while its field still holds the listed value.
    void remove(const char *records, std::uint32_t recordLength, std::uint32_t row)
    {
        Probe p;
        if (m_slots.empty() || !keyOf(records + size_t(row - 1) * recordLength, row, p))
            return;
        const size_t at = find(p, records, recordLength, false);
        if (at == NotFound)
            return;
        Slot &s = m_slots[at];
        std::uint32_t prev = 0, cur = s.head;
        while (cur != 0 && cur != row) {
            prev = cur;
            cur = m_next[cur];
        }
        if (cur == 0)
            return;
        if (prev == 0)
            s.head = m_next[row];
        else
            m_next[prev] = m_next[row];
        if (s.tail == row)
            s.tail = prev;
        m_next[row] = 0;
        if (s.head == 0)
            s.tail = Removed;
    }

    // The records holding a number / a text (code-page bytes), ascending.
    void findNumber(double value, const char *records, std::uint32_t recordLength, std::vector<std::uint32_t> &out) const
    {
        Probe p;
        p.isText = false;
        p.key = numberKey(value);
        collect(p, records, recordLength, out);
    }
    void findText(std::string_view bytes, const char *records, std::uint32_t recordLength,
                  std::vector<std::uint32_t> &out) const
    {
        Probe p;
        p.isText = true;
        p.bytes = bytes;
        p.key = textHash(bytes);
        collect(p, records, recordLength, out);
    }

private:
    // head 0 marks a slot without records: free (tail 0) or emptied (tail Removed), which
    // keeps the probe sequences of the slots after it intact.
    struct Slot
    {
        std::uint64_t key = 0;
        std::uint32_t head = 0;
        std::uint32_t tail = 0;
    };
    struct Probe
    {
        bool isText = false;
        std::uint64_t key = 0;
        std::string_view bytes;
    };
    static constexpr std::uint32_t Removed = 1;
    static constexpr size_t NotFound = size_t(-1);

    static std::uint64_t numberKey(double d)
    {
        if (d == 0)
            d = 0; // one key for -0.0 and 0.0
        std::uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        return u;
    }
    static std::uint64_t textHash(std::string_view bytes)
    {
        std::uint64_t h = 1469598103934665603ULL; // FNV-1a
        for (char c : bytes)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        return h;
    }
    static size_t mix(std::uint64_t x)
    {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        return size_t(x);
    }

    bool keyOf(const char *record, std::uint32_t row, Probe &p) const
    {
        dbf::Key k;
        if (!dbf::fieldKey(m_field, record, k, m_fileName, row))
            return false;
        p.isText = k.isText;
        p.bytes = k.bytes;
        p.key = k.isText ? textHash(k.bytes) : numberKey(k.number);
        return true;
    }

    bool matches(const Slot &s, const Probe &p, const char *records, std::uint32_t recordLength) const
    {
        if (s.key != p.key)
            return false;
        if (!p.isText)
            return true;
        dbf::Key k;
        return dbf::fieldKey(m_field, records + size_t(s.head - 1) * recordLength, k, m_fileName, s.head) &&
               k.bytes == p.bytes;
    }

    // The slot of the key; for an insertion the slot to fill when the key is new.
    size_t find(const Probe &p, const char *records, std::uint32_t recordLength, bool forInsert) const
    {
        const size_t mask = m_slots.size() - 1;
        size_t reusable = NotFound;
        for (size_t i = mix(p.key) & mask;; i = (i + 1) & mask) {
            const Slot &s = m_slots[i];
            if (s.head == 0 && s.tail == 0)
                return forInsert ? (reusable != NotFound ? reusable : i) : NotFound;
            if (s.head == 0) {
                if (reusable == NotFound)
                    reusable = i;
                continue;
            }
            if (matches(s, p, records, recordLength))
                return i;
        }
    }

    void collect(const Probe &p, const char *records, std::uint32_t recordLength, std::vector<std::uint32_t> &out) const
    {
        if (m_slots.empty())
            return;
        const size_t at = find(p, records, recordLength, false);
        if (at == NotFound)
            return;
        for (std::uint32_t r = m_slots[at].head; r != 0; r = m_next[r])
            out.push_back(r);
    }

    // Doubles the table (and drops emptied slots); keys are unique, so no comparisons.
    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(std::max<size_t>(64, old.size() * 2), Slot{});
        m_used = 0;
        const size_t mask = m_slots.size() - 1;
        for (const Slot &s : old) {
            if (s.head == 0)
                continue;
            size_t i = mix(s.key) & mask;
            while (m_slots[i].head != 0)
                i = (i + 1) & mask;
            m_slots[i] = s;
            ++m_used;
        }
    }

    Field m_field;
    std::string m_fileName;
    std::vector<Slot> m_slots;          // power-of-two size
    size_t m_used = 0;                  // slots not free (with records or emptied)
    std::vector<std::uint32_t> m_next;  // next record of the same value, 0 = end
};

// The records of a file as last read (plus our own changes).
struct Snapshot
{
    dbf::Header header;              // recordCount follows our appends
    std::vector<char> records;       // recordCount * recordLength bytes
    std::vector<std::unique_ptr<EqIndex>> indexes; // per field, built on demand

    std::uint32_t count() const { return header.recordCount; }
    char *record(std::uint32_t row) { return records.data() + size_t(row - 1) * header.recordLength; }
    const char *record(std::uint32_t row) const
    {
        return records.data() + size_t(row - 1) * header.recordLength;
    }
    bool live(std::uint32_t row) const { return row >= 1 && row <= count() && *record(row) != dbf::DeletedFlag; }
};

// One change to undo: the record's bytes before it.
struct UndoEntry
{
    std::uint32_t row;
    std::string bytes;
};

struct SavepointMark
{
    size_t undoSize;
    std::uint32_t count;
};

// One attached file.
struct DbfTable : sqlite3_vtab
{
    DbfModule *module = nullptr;
    std::string path;                 // as given, UTF-8
    std::string fileName;             // last path component, for messages
    std::vector<Field> fields;        // the declared columns
    std::uint32_t declaredCount = 0;  // record count seen at attach (planner estimate)
    int fd = -1;
    bool readOnly = false;            // the file could only be opened for reading
    std::shared_ptr<Snapshot> snap;
    FileStamp stamp;                  // of the file when snap was read or last written by us
    unsigned long long generation = 0;
    bool stale = false;               // re-read at the next chance
    bool shared = false;              // in the data folder: journalled, counted, locked
    TableCounter seen;                // the change counter the snapshot reflects
    unsigned long long checkedAt = 0; // the statement whose start found the snapshot current

    // Transaction state.
    bool inTransaction = false;
    bool synced = false;              // xSync wrote the file
    std::uint32_t baseCount = 0;      // records before the transaction's appends
    std::vector<UndoEntry> undo;
    std::vector<std::uint32_t> dirty; // old records changed (written at commit)
    std::vector<SavepointMark> savepoints;
    bool headerLocked = false;

    bool hasChanges() const { return !undo.empty() || (snap && snap->count() != baseCount); }
};

struct DbfCursor : sqlite3_vtab_cursor
{
    std::shared_ptr<Snapshot> snap;
    std::vector<std::uint32_t> list; // rows of an index or rowid lookup
    bool useList = false;
    size_t pos = 0;
    std::uint32_t row = 0;           // current record number
    std::uint32_t end = 0;           // scan: last record number + 1
    bool eof = true;
    std::string scratch;
};

DbfTable *tableOf(sqlite3_vtab *v) { return static_cast<DbfTable *>(v); }
DbfCursor *cursorOf(sqlite3_vtab_cursor *c) { return static_cast<DbfCursor *>(c); }

[[noreturn]] void fail(const std::string &message)
{
    throw DbfError(QString::fromUtf8(message.data(), qsizetype(message.size())));
}

std::string osError(int err) { return std::strerror(err); }

void setError(sqlite3_vtab *v, const char *message)
{
    sqlite3_free(v->zErrMsg);
    v->zErrMsg = sqlite3_mprintf("%s", message);
}

// Runs a callback body; exceptions become an SQLite error code and message.
template <typename F>
int guarded(sqlite3_vtab *v, F &&body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    } catch (const std::exception &e) {
        setError(v, e.what());
    } catch (...) {
        setError(v, "Eroare necunoscuta in modulul dbf");
    }
    return SQLITE_ERROR;
}

// Holds the data folder's read range while a snapshot is read or refreshed, so no commit
// writes under it; nothing when the range is already held (a commit's own write phase)
// or the table is not in the data folder.
class FolderRead
{
public:
    explicit FolderRead(const DbfTable *t)
    {
        FolderLock *f = t->module ? t->module->folder : nullptr;
        // The writer of the folder needs no range: no other commit can write meanwhile.
        if (!t->shared || !f || f->holdsRead() || f->holdsWriter())
            return;
        f->lockRead(false);
        m_folder = f;
    }
    ~FolderRead()
    {
        if (m_folder)
            m_folder->unlockRead();
    }
    FolderRead(const FolderRead &) = delete;
    FolderRead &operator=(const FolderRead &) = delete;

private:
    FolderLock *m_folder = nullptr;
};

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

// Every record and header write goes through fileops: it is what the fault-injection and
// kill tests reach.
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
    s.records.insert(s.records.end(), fresh.begin(), fresh.end());
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
        for (std::uint32_t r = 1; r <= s.count(); ++r)
            if (s.live(r))
                idx->add(s.records.data(), s.header.recordLength, r);
        slot = std::move(idx);
    }
    return *slot;
}

// The SQL value of an argument as a codec value (text as UTF-8).
Value valueOf(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return Value::ofInteger(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return Value::ofReal(sqlite3_value_double(v));
    case SQLITE_NULL:
        return Value::null();
    default: {
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
        return Value::ofText(std::string_view(p ? p : "", size_t(sqlite3_value_bytes(v))));
    }
    }
}

std::string declaredType(const Field &f)
{
    switch (f.type) {
    case 'C':
        return "CHAR(" + std::to_string(f.length) + ")";
    case 'N':
    case 'F':
        return "DECIMAL(" + std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
    case 'D':
        return "DATE";
    case 'L':
        return "BOOLEAN";
    case 'I':
    case '+':
        return "INTEGER";
    case 'O':
        return "DOUBLE";
    case '@':
        return "TIMESTAMP";
    default:
        return "";
    }
}

std::string quotedIdentifier(const std::string &name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// 'abc' or "abc" with doubled quotes inside -> abc.
std::string dequote(const char *arg)
{
    std::string s = arg ? arg : "";
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.erase(s.begin());
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) {
        const char q = s.front();
        std::string out;
        for (size_t i = 1; i + 1 < s.size(); ++i) {
            out += s[i];
            if (s[i] == q && s[i + 1] == q)
                ++i;
        }
        return out;
    }
    return s;
}

// ---- Constructor and destructor ------------------------------------------------------

int dbfvtabConnect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **ppVtab, char **pzErr)
{
    *ppVtab = nullptr;
    if (argc != 4) {
        *pzErr = sqlite3_mprintf("Modulul dbf asteapta un singur argument: calea fisierului .dbf");
        return SQLITE_ERROR;
    }
    std::unique_ptr<DbfTable> t;
    try {
        t = std::make_unique<DbfTable>();
        std::memset(static_cast<sqlite3_vtab *>(t.get()), 0, sizeof(sqlite3_vtab));
        t->module = static_cast<DbfModule *>(aux);
        t->path = dequote(argv[3]);
        const size_t slash = t->path.find_last_of('/');
        t->fileName = slash == std::string::npos ? t->path : t->path.substr(slash + 1);
        if (t->module && !t->module->dataFolder.empty()) {
            const size_t cut = t->path.find_last_of('/');
            t->shared = cut != std::string::npos && t->path.substr(0, cut) == t->module->dataFolder;
        }
        dbf::Header h;
        {
            const FolderRead read(t.get());
            openFile(t.get());
            h = readHeader(t.get());
        }
        t->fields = h.fields;
        t->declaredCount = h.recordCount;
        std::string sql = "CREATE TABLE x(";
        for (size_t i = 0; i < h.fields.size(); ++i) {
            if (i)
                sql += ", ";
            sql += quotedIdentifier(h.fields[i].name) + " " + declaredType(h.fields[i]);
        }
        sql += ")";
        const int rc = sqlite3_declare_vtab(db, sql.c_str());
        if (rc != SQLITE_OK) {
            *pzErr = sqlite3_mprintf("Tabela %s nu poate fi folosita: %s", t->fileName.c_str(), sqlite3_errmsg(db));
            ::close(t->fd);
            return rc;
        }
    } catch (const std::exception &e) {
        *pzErr = sqlite3_mprintf("%s", e.what());
        if (t && t->fd >= 0)
            ::close(t->fd);
        return SQLITE_ERROR;
    } catch (...) {
        if (t && t->fd >= 0)
            ::close(t->fd);
        return SQLITE_ERROR;
    }
    if (t->module)
        t->module->tables.push_back(t.get());
    *ppVtab = t.release();
    return SQLITE_OK;
}

int dbfvtabDisconnect(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    if (t->module) {
        auto &list = t->module->tables;
        list.erase(std::remove(list.begin(), list.end(), t), list.end());
    }
    if (t->fd >= 0)
        ::close(t->fd); // also drops any lock of this descriptor
    sqlite3_free(t->zErrMsg);
    delete t;
    return SQLITE_OK;
}

// ---- Planning ------------------------------------------------------------------------

// idxNum: 0 full scan, 1 rowid equality, 2 column equality (column in idxNum >> 8).
constexpr int PlanScan = 0;
constexpr int PlanRowid = 1;
constexpr int PlanColumn = 2;

int dbfvtabBestIndex(sqlite3_vtab *v, sqlite3_index_info *info)
{
    DbfTable *t = tableOf(v);
    const double rows = double(t->snap ? t->snap->count() : t->declaredCount) + 1;
    int rowidAt = -1, columnAt = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (c.iColumn < 0) {
            if (rowidAt < 0)
                rowidAt = i;
            continue;
        }
        // The index compares bytes: a comparison under another collation (NOCASE, RTRIM)
        // could match records the index does not list.
        const char *collation = sqlite3_vtab_collation(info, i);
        if (collation && sqlite3_stricmp(collation, "BINARY") != 0)
            continue;
        if (columnAt < 0 ||
                   (t->snap && t->snap->indexes.size() > size_t(c.iColumn) && t->snap->indexes[size_t(c.iColumn)] &&
                    !(t->snap->indexes[size_t(info->aConstraint[columnAt].iColumn)]))) {
            // Any equality will do; one whose index already exists is cheaper.
            columnAt = i;
        }
    }
    if (rowidAt >= 0) {
        info->idxNum = PlanRowid;
        info->aConstraintUsage[rowidAt].argvIndex = 1;
        info->aConstraintUsage[rowidAt].omit = 1;
        info->estimatedCost = 1;
        info->estimatedRows = 1;
        info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
    } else if (columnAt >= 0) {
        info->idxNum = PlanColumn | (info->aConstraint[columnAt].iColumn << 8);
        info->aConstraintUsage[columnAt].argvIndex = 1;
        info->aConstraintUsage[columnAt].omit = 0; // SQLite checks again: the index may give a superset
        info->estimatedCost = 10 + rows / 10000;
        info->estimatedRows = 10;
    } else {
        info->idxNum = PlanScan;
        info->estimatedCost = rows * 2;
        info->estimatedRows = sqlite3_int64(rows);
    }
    return SQLITE_OK;
}

// ---- Cursors -------------------------------------------------------------------------

int dbfvtabOpen(sqlite3_vtab *v, sqlite3_vtab_cursor **ppCursor)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        // Checked at this statement's start (all tables under one hold of the read range,
        // so a join sees one state of the folder); otherwise now.
        if (!t->snap || t->stale || t->generation != t->module->generation || t->checkedAt != t->module->statement)
            ensureFresh(t);
        auto *c = new DbfCursor();
        std::memset(static_cast<sqlite3_vtab_cursor *>(c), 0, sizeof(sqlite3_vtab_cursor));
        c->snap = t->snap;
        *ppCursor = c;
        return SQLITE_OK;
    });
}

int dbfvtabClose(sqlite3_vtab_cursor *cur)
{
    delete cursorOf(cur);
    return SQLITE_OK;
}

void settle(DbfCursor *c)
{
    const Snapshot &s = *c->snap;
    if (c->useList) {
        while (c->pos < c->list.size() && !s.live(c->list[c->pos]))
            ++c->pos;
        c->eof = c->pos >= c->list.size();
        c->row = c->eof ? 0 : c->list[c->pos];
    } else {
        const std::uint32_t end = std::min(c->end, s.count() + 1);
        while (c->row < end && !s.live(c->row))
            ++c->row;
        c->eof = c->row >= end;
    }
}

// The code-page bytes of an SQL value compared with a C field (trailing blanks dropped,
// as the field gives them); false when no stored text can equal it.
bool textKey(sqlite3_value *v, std::string &out)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
    if (!p)
        return false;
    if (!dbf::toCp1250(std::string_view(p, size_t(sqlite3_value_bytes(v))), out))
        return false;
    return true;
}

int dbfvtabFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int argc, sqlite3_value **argv)
{
    DbfCursor *c = cursorOf(cur);
    DbfTable *t = tableOf(cur->pVtab);
    return guarded(cur->pVtab, [&] {
        if (!t->snap)
            ensureFresh(t);
        c->snap = t->snap;
        Snapshot &s = *c->snap;
        c->list.clear();
        c->pos = 0;
        c->useList = (idxNum & 3) != PlanScan;
        if ((idxNum & 3) == PlanRowid && argc >= 1) {
            if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER) {
                const sqlite3_int64 r = sqlite3_value_int64(argv[0]);
                if (r >= 1 && r <= sqlite3_int64(s.count()))
                    c->list.push_back(std::uint32_t(r));
            } else if (sqlite3_value_numeric_type(argv[0]) == SQLITE_FLOAT) {
                const double d = sqlite3_value_double(argv[0]);
                if (d >= 1 && d <= double(s.count()) && d == double(std::uint32_t(d)))
                    c->list.push_back(std::uint32_t(d));
            }
        } else if ((idxNum & 3) == PlanColumn && argc >= 1) {
            const int column = idxNum >> 8;
            if (column < 0 || size_t(column) >= s.header.fields.size())
                return SQLITE_ERROR;
            const Field &f = s.header.fields[size_t(column)];
            sqlite3_value *arg = argv[0];
            if (f.type == 'C' && sqlite3_value_type(arg) != SQLITE_TEXT && sqlite3_value_type(arg) != SQLITE_NULL) {
                // A number or blob compared with a text column goes through SQLite's own
                // conversions, which the index does not know: read every record instead.
                c->useList = false;
                c->row = 1;
                c->end = s.count() + 1;
                settle(c);
                return SQLITE_OK;
            }
            EqIndex &idx = indexFor(s, column, t->fileName);
            if (sqlite3_value_type(arg) != SQLITE_NULL) {
                if (f.type == 'C') {
                    std::string key;
                    if (textKey(arg, key))
                        idx.findText(key, s.records.data(), s.header.recordLength, c->list);
                } else {
                    const int type = sqlite3_value_numeric_type(arg);
                    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                        const double key =
                            type == SQLITE_INTEGER ? double(sqlite3_value_int64(arg)) : sqlite3_value_double(arg);
                        idx.findNumber(key, s.records.data(), s.header.recordLength, c->list);
                    }
                }
            }
        } else {
            c->useList = false;
            c->row = 1;
            c->end = s.count() + 1;
        }
        settle(c);
        return SQLITE_OK;
    });
}

int dbfvtabNext(sqlite3_vtab_cursor *cur)
{
    DbfCursor *c = cursorOf(cur);
    if (c->useList)
        ++c->pos;
    else
        ++c->row;
    settle(c);
    return SQLITE_OK;
}

int dbfvtabEof(sqlite3_vtab_cursor *cur)
{
    return cursorOf(cur)->eof ? 1 : 0;
}

int dbfvtabColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int column)
{
    DbfCursor *c = cursorOf(cur);
    DbfTable *t = tableOf(cur->pVtab);
    // An UPDATE does not need the old value of a column it leaves alone.
    if (sqlite3_vtab_nochange(ctx))
        return SQLITE_OK;
    const Snapshot &s = *c->snap;
    if (c->eof || column < 0 || size_t(column) >= s.header.fields.size() || c->row < 1 || c->row > s.count())
        return SQLITE_OK;
    try {
        const Value v =
            dbf::decodeField(s.header.fields[size_t(column)], s.record(c->row), c->scratch, t->fileName, c->row);
        switch (v.kind) {
        case Value::Kind::Integer:
            sqlite3_result_int64(ctx, v.integer);
            break;
        case Value::Kind::Real:
            sqlite3_result_double(ctx, v.real);
            break;
        case Value::Kind::Text:
            sqlite3_result_text(ctx, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
            break;
        case Value::Kind::Null:
            break;
        }
        return SQLITE_OK;
    } catch (const std::exception &e) {
        sqlite3_result_error(ctx, e.what(), -1);
        return SQLITE_ERROR;
    } catch (...) {
        sqlite3_result_error(ctx, "Eroare necunoscuta in modulul dbf", -1);
        return SQLITE_ERROR;
    }
}

int dbfvtabRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *pRowid)
{
    *pRowid = cursorOf(cur)->row;
    return SQLITE_OK;
}

// ---- Writing -------------------------------------------------------------------------

void requireWritable(DbfTable *t)
{
    if (t->readOnly)
        fail("Tabela " + t->fileName + " poate fi doar citita (fisier fara drept de scriere).");
    if (!t->snap->header.writable())
        fail("Tabela " + t->fileName + " are un format care poate fi doar citit.");
}

void remember(DbfTable *t, std::uint32_t row)
{
    t->undo.push_back({row, std::string(t->snap->record(row), t->snap->header.recordLength)});
    if (row <= t->baseCount)
        t->dirty.push_back(row);
}

void takeHeaderLock(DbfTable *t)
{
    if (t->headerLocked)
        return;
    if (!dbflock::lock(t->fd, dbflock::HeaderOffset, 1, true, dbflock::waitMilliseconds()))
        fail("Tabela " + t->fileName + " este blocata de alt calculator. Incercati din nou.");
    t->headerLocked = true;
    // Another workstation may have appended since we read the file: start from its records.
    if (!t->hasChanges()) {
        ensureFresh(t);
        t->baseCount = t->snap->count();
    }
}

void releaseHeaderLock(DbfTable *t)
{
    if (t->headerLocked && t->fd >= 0)
        dbflock::unlock(t->fd, dbflock::HeaderOffset, 1);
    t->headerLocked = false;
}

int dbfvtabUpdate(sqlite3_vtab *v, int argc, sqlite3_value **argv, sqlite3_int64 *pRowid)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (!t->snap)
            ensureFresh(t);
        requireWritable(t);
        const size_t nFields = t->fields.size();
        if (argc == 1) { // DELETE
            const sqlite3_int64 r = sqlite3_value_int64(argv[0]);
            if (r < 1 || r > sqlite3_int64(t->snap->count()) || !t->snap->live(std::uint32_t(r)))
                return SQLITE_OK;
            remember(t, std::uint32_t(r));
            *t->snap->record(std::uint32_t(r)) = dbf::DeletedFlag;
            return SQLITE_OK;
        }
        if (size_t(argc) != nFields + 2)
            return SQLITE_ERROR;
        const std::uint32_t recLen = t->snap->header.recordLength;
        std::string rec(recLen, ' ');
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { // INSERT
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL &&
                sqlite3_value_int64(argv[1]) != sqlite3_int64(t->snap->count()) + 1)
                fail("Tabela " + t->fileName + ": numarul inregistrarii nu poate fi ales la adaugare.");
            dbf::blankRecord(t->snap->header, rec.data());
            for (size_t i = 0; i < nFields; ++i)
                dbf::encodeField(t->fields[i], valueOf(argv[i + 2]), rec.data(), t->fileName);
            takeHeaderLock(t);
            Snapshot &s = *t->snap;
            if (std::uint64_t(s.records.size()) + recLen > MaxSnapshotBytes)
                fail("Tabela " + t->fileName + " este prea mare.");
            s.records.insert(s.records.end(), rec.begin(), rec.end());
            ++s.header.recordCount;
            const std::uint32_t row = s.count();
            for (size_t i = 0; i < nFields; ++i)
                if (s.indexes[i])
                    s.indexes[i]->add(s.records.data(), recLen, row);
            *pRowid = row;
            return SQLITE_OK;
        }
        // UPDATE
        const sqlite3_int64 r = sqlite3_value_int64(argv[0]);
        if (sqlite3_value_int64(argv[1]) != r)
            fail("Tabela " + t->fileName + ": numarul unei inregistrari nu poate fi schimbat.");
        Snapshot &s = *t->snap;
        if (r < 1 || r > sqlite3_int64(s.count()) || !s.live(std::uint32_t(r)))
            return SQLITE_OK;
        const std::uint32_t row = std::uint32_t(r);
        std::memcpy(rec.data(), s.record(row), recLen);
        std::vector<bool> changed(nFields, false);
        for (size_t i = 0; i < nFields; ++i) {
            if (sqlite3_value_nochange(argv[i + 2]))
                continue;
            dbf::encodeField(t->fields[i], valueOf(argv[i + 2]), rec.data(), t->fileName);
            const Field &f = t->fields[i];
            changed[i] = std::memcmp(rec.data() + f.offset, s.record(row) + f.offset, size_t(f.length)) != 0;
        }
        if (std::memcmp(rec.data(), s.record(row), recLen) == 0)
            return SQLITE_OK;
        remember(t, row);
        for (size_t i = 0; i < nFields; ++i)
            if (changed[i] && s.indexes[i])
                s.indexes[i]->remove(s.records.data(), recLen, row);
        std::memcpy(s.record(row), rec.data(), recLen);
        for (size_t i = 0; i < nFields; ++i)
            if (changed[i] && s.indexes[i])
                s.indexes[i]->add(s.records.data(), recLen, row);
        return SQLITE_OK;
    });
}

// Puts the snapshot back to `undoSize` changes and `count` records.
void undoTo(DbfTable *t, size_t undoSize, std::uint32_t count)
{
    if (!t->snap)
        return;
    Snapshot &s = *t->snap;
    while (t->undo.size() > undoSize) {
        const UndoEntry &e = t->undo.back();
        if (e.row <= s.count())
            std::memcpy(s.record(e.row), e.bytes.data(), e.bytes.size());
        t->undo.pop_back();
    }
    if (count < s.count()) {
        s.header.recordCount = count;
        s.records.resize(size_t(count) * s.header.recordLength);
    }
    // Indexes are cheaper to build again than to unwind.
    for (auto &idx : s.indexes)
        idx.reset();
}

void endTransaction(DbfTable *t)
{
    releaseHeaderLock(t);
    t->inTransaction = false;
    t->synced = false;
    t->undo.clear();
    t->dirty.clear();
    t->savepoints.clear();
}

int dbfvtabBegin(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        endTransaction(t);
        ensureFresh(t);
        t->inTransaction = true;
        t->baseCount = t->snap->count();
        return SQLITE_OK;
    });
}

// ---- Durable commit of the data folder's tables ------------------------------------

// What one table's commit writes.
struct TableWrite
{
    DbfTable *table;
    std::uint32_t onDisk = 0;   // header record count on disk before the commit
    std::vector<std::uint32_t> lockedRows;
};

void unlockRows(TableWrite &w)
{
    for (std::uint32_t row : w.lockedRows)
        dbflock::unlock(w.table->fd, dbflock::recordOffset(row), 1);
    w.lockedRows.clear();
}

// Writes one table's changes in place (the journal already holds what they overwrite)
// and syncs the file.
void writeTable(TableWrite &w)
{
    DbfTable *t = w.table;
    Snapshot &s = *t->snap;
    const off_t headerLength = off_t(s.header.headerLength);
    const off_t recLen = off_t(s.header.recordLength);
    for (std::uint32_t row : t->dirty)
        writeExactly(t->fd, s.record(row), size_t(recLen), headerLength + off_t(row - 1) * recLen, t->fileName);
    if (s.count() > t->baseCount) {
        const std::uint32_t added = s.count() - t->baseCount;
        std::string tail(s.record(t->baseCount + 1), size_t(added) * size_t(recLen));
        tail += dbf::EndOfFileMark;
        writeExactly(t->fd, tail.data(), tail.size(), headerLength + off_t(w.onDisk) * recLen, t->fileName);
        unsigned char head[8] = {};
        const QDate today = Clock::today();
        dbf::storeDate(head, today.year(), today.month(), today.day());
        dbf::storeRecordCount(head, w.onDisk + added);
        writeExactly(t->fd, reinterpret_cast<const char *>(head) + 1, 7, 1, t->fileName);
    }
    if (fileops::fsyncFile(t->fd) != 0)
        fail("Tabela " + t->fileName + " nu poate fi scrisa pe disc: " + osError(errno));
}

// Replaces a settings file with its new content: a temporary file beside it, synced, then
// renamed over it.
void replaceFile(const std::string &path, const std::string &content)
{
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        fail("Fisierul " + path + " nu poate fi scris: " + osError(errno));
    const size_t slash = path.find_last_of('/');
    fileops::adoptFolderAccess(fd, slash == std::string::npos ? std::string(".") : path.substr(0, slash));
    const bool ok = fileops::writeAll(fd, content.data(), content.size(), 0) && fileops::fsyncFile(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok || fileops::renameFile(temp.c_str(), path.c_str()) != 0) {
        const int e = ok ? errno : err;
        ::unlink(temp.c_str());
        fail("Fisierul " + path + " nu poate fi scris: " + osError(e));
    }
}

std::string fileNameOf(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The before-image of a settings file: its whole content, or that it did not exist.
journal::FileImage settingsImage(const StagedFile &f)
{
    journal::FileImage img;
    img.name = fileNameOf(f.path);
    const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT)
        fail("Fisierul " + f.path + " nu poate fi citit: " + osError(errno));
    img.existed = fd >= 0;
    if (fd < 0)
        return img;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0;
    journal::Chunk c;
    if (ok) {
        c.bytes.resize(size_t(st.st_size));
        img.oldSize = std::uint64_t(st.st_size);
    }
    const bool read = ok && (c.bytes.empty() || fileops::readAll(fd, c.bytes.data(), c.bytes.size(), 0));
    const int err = errno;
    ::close(fd);
    if (!read)
        fail("Fisierul " + f.path + " nu poate fi citit: " + osError(err));
    img.chunks.push_back(std::move(c));
    return img;
}

// Takes the record locks other dBase tools respect and reads the before-image of every
// record and header the commit overwrites.
journal::FileImage tableImage(TableWrite &w)
{
    DbfTable *t = w.table;
    requireWritable(t);
    std::sort(t->dirty.begin(), t->dirty.end());
    t->dirty.erase(std::unique(t->dirty.begin(), t->dirty.end()), t->dirty.end());
    for (std::uint32_t row : t->dirty) {
        if (!dbflock::lock(t->fd, dbflock::recordOffset(row), 1, true, dbflock::waitMilliseconds()))
            fail("Inregistrarea " + std::to_string(row) + " din tabela " + t->fileName +
                 " este blocata de alt calculator. Incercati din nou.");
        w.lockedRows.push_back(row);
    }
    struct stat st;
    if (::fstat(t->fd, &st) != 0)
        fail("Tabela " + t->fileName + " nu poate fi citita: " + osError(errno));
    w.onDisk = diskRecordCount(t);
    journal::FileImage img;
    img.name = t->fileName;
    img.oldSize = std::uint64_t(st.st_size);
    journal::Chunk head;
    head.bytes.resize(std::min<size_t>(32, size_t(st.st_size)));
    readExactly(t->fd, head.bytes.data(), head.bytes.size(), 0, t->fileName);
    img.chunks.push_back(std::move(head));
    const Snapshot &s = *t->snap;
    const off_t recLen = off_t(s.header.recordLength);
    // What each changed record held when we read it: its first undo entry.
    std::vector<const std::string *> original(t->dirty.size(), nullptr);
    for (const UndoEntry &e : t->undo) {
        const auto at = std::lower_bound(t->dirty.begin(), t->dirty.end(), e.row);
        if (at != t->dirty.end() && *at == e.row && !original[size_t(at - t->dirty.begin())])
            original[size_t(at - t->dirty.begin())] = &e.bytes;
    }
    for (size_t i = 0; i < t->dirty.size(); ++i) {
        const std::uint32_t row = t->dirty[i];
        journal::Chunk c;
        c.offset = std::uint64_t(off_t(s.header.headerLength) + off_t(row - 1) * recLen);
        c.bytes.resize(size_t(recLen));
        readExactly(t->fd, c.bytes.data(), c.bytes.size(), off_t(c.offset), t->fileName);
        // Another dBase tool changed the record in place since we read it (our own
        // workstations are seen through the change counters): writing ours over it would
        // lose that change. The table is read again; the clerk repeats the operation.
        if (original[i] && *original[i] != c.bytes) {
            t->stale = true;
            fail("Inregistrarea " + std::to_string(row) + " din tabela " + t->fileName +
                 " a fost modificata de alt program intre timp; modificarea nu a fost facuta. Reluati operatia.");
        }
        img.chunks.push_back(std::move(c));
    }
    // Appends start on the end-of-file mark (and any bytes past the last record).
    const off_t appendAt = off_t(s.header.headerLength) + off_t(w.onDisk) * recLen;
    if (s.count() > t->baseCount && appendAt < st.st_size) {
        journal::Chunk c;
        c.offset = std::uint64_t(appendAt);
        c.bytes.resize(size_t(std::min<off_t>(st.st_size - appendAt, 1 << 20)));
        readExactly(t->fd, c.bytes.data(), c.bytes.size(), appendAt, t->fileName);
        img.chunks.push_back(std::move(c));
    }
    return img;
}

} // namespace

void dbfvtabCommitFolder(DbfModule *module, const std::vector<StagedFile> &staged)
{
    FolderLock *folder = module ? module->folder : nullptr;
    if (!folder)
        return;
    std::vector<TableWrite> writes;
    for (DbfTable *t : module->tables)
        if (t->shared && t->inTransaction && t->snap && t->hasChanges() && !t->synced)
            writes.push_back(TableWrite{t, 0, {}});
    if (writes.empty() && staged.empty())
        return;
    if (!folder->holdsWriter())
        fail("Modificarea datelor a inceput fara blocarea dosarului de date.");

    struct RowLocks
    {
        std::vector<TableWrite> &w;
        ~RowLocks()
        {
            for (TableWrite &x : w)
                unlockRows(x);
        }
    } rowLocks{writes};

    std::vector<journal::FileImage> images;
    for (TableWrite &w : writes)
        images.push_back(tableImage(w));
    for (const StagedFile &f : staged)
        images.push_back(settingsImage(f));

    // The journal is durable before any byte of data changes. Its range is held from
    // before it exists until it is gone, so a reader tells our journal (files still whole)
    // from one whose writer died (files maybe half written).
    const std::string journalPath = folder->journalPath();
    folder->claimJournal();
    struct ReleaseJournal
    {
        FolderLock *f;
        ~ReleaseJournal() { f->releaseJournal(); }
    } releaseJournal{folder};
    if (!journal::writeJournal(journalPath, images))
        fail("Jurnalul modificarilor nu poate fi scris in dosarul de date: " + osError(errno) +
             ". Nimic nu a fost modificat.");

    // The write phase, with readers kept out.
    try {
        folder->lockRead(true);
    } catch (...) {
        ::unlink(journalPath.c_str());
        throw;
    }
    try {
        for (TableWrite &w : writes)
            writeTable(w);
        for (const StagedFile &f : staged)
            replaceFile(f.path, f.content);
        for (TableWrite &w : writes)
            folder->bump(w.table->fileName, !w.table->dirty.empty());
        for (const StagedFile &f : staged)
            folder->bump(fileNameOf(f.path), true);
        // Removing the journal is the commit.
        if (fileops::unlinkFile(journalPath.c_str()) != 0)
            fail("Jurnalul modificarilor nu poate fi sters: " + osError(errno));
    } catch (...) {
        for (TableWrite &w : writes)
            w.table->stale = true;
        try {
            folder->recoverJournal();
        } catch (...) {
            // The journal stays: the next connection that writes puts the files back.
        }
        folder->unlockRead();
        throw;
    }
    // The removal makes the change durable only once the folder is synced. The change is
    // stored and visible by now, so a failing sync is tried again rather than reported as
    // the change's failure (a journal that came back after a power cut would undo it).
    for (int attempt = 0; attempt < 3 && !fileops::syncFolder(module->dataFolder); ++attempt) {
    }
    folder->unlockRead();

    for (TableWrite &w : writes) {
        DbfTable *t = w.table;
        t->synced = true;
        if (w.onDisk != t->baseCount) {
            t->stale = true; // another dBase tool appended: record numbers moved
        } else {
            t->stamp = statPath(t);
            t->stamp.count = t->snap->count();
        }
        t->seen = folder->counter(t->fileName);
    }
}

namespace {

// Writes the transaction's changes: updated records under their locks, then appended
// records, then the header count that makes them visible.
int dbfvtabSync(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (!t->snap || !t->hasChanges() || t->synced)
            return SQLITE_OK;
        if (t->shared && t->module->folder) {
            dbfvtabCommitFolder(t->module, {});
            return SQLITE_OK;
        }
        Snapshot &s = *t->snap;
        const FileStamp before = statPath(t);
        bool foreign = !before.sameFile(t->stamp);
        const off_t headerLength = off_t(s.header.headerLength);
        const off_t recLen = off_t(s.header.recordLength);

        std::sort(t->dirty.begin(), t->dirty.end());
        t->dirty.erase(std::unique(t->dirty.begin(), t->dirty.end()), t->dirty.end());
        // Every record lock first: a record held elsewhere stops the commit before any
        // record of it is written.
        TableWrite locks{t, 0, {}};
        struct Unlock
        {
            TableWrite &w;
            ~Unlock() { unlockRows(w); }
        } unlock{locks};
        for (std::uint32_t row : t->dirty) {
            if (!dbflock::lock(t->fd, dbflock::recordOffset(row), 1, true, dbflock::waitMilliseconds()))
                fail("Inregistrarea " + std::to_string(row) + " din tabela " + t->fileName +
                     " este blocata de alt calculator. Incercati din nou.");
            locks.lockedRows.push_back(row);
        }
        t->synced = true; // from here on the file may hold part of the changes
        for (std::uint32_t row : t->dirty)
            writeExactly(t->fd, s.record(row), size_t(recLen), headerLength + off_t(row - 1) * recLen, t->fileName);

        if (s.count() > t->baseCount) {
            const std::uint32_t onDisk = diskRecordCount(t);
            if (onDisk != t->baseCount)
                foreign = true;
            const std::uint32_t added = s.count() - t->baseCount;
            std::string tail(s.record(t->baseCount + 1), size_t(added) * size_t(recLen));
            tail += dbf::EndOfFileMark;
            writeExactly(t->fd, tail.data(), tail.size(), headerLength + off_t(onDisk) * recLen, t->fileName);
            unsigned char head[8] = {};
            const QDate today = Clock::today();
            dbf::storeDate(head, today.year(), today.month(), today.day());
            dbf::storeRecordCount(head, onDisk + added);
            writeExactly(t->fd, reinterpret_cast<const char *>(head) + 1, 7, 1, t->fileName);
            if (onDisk != t->baseCount)
                s.header.recordCount = onDisk + added; // numbers are off; re-read below
        }
        if (foreign) {
            t->stale = true;
        } else {
            t->stamp = statPath(t);
            t->stamp.count = s.count();
        }
        return SQLITE_OK;
    });
}

int dbfvtabCommit(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        // A commit without xSync (SQLite always syncs first) still must not lose the changes.
        if (!t->synced && t->hasChanges()) {
            const int rc = dbfvtabSync(v);
            if (rc != SQLITE_OK)
                return rc;
        }
        endTransaction(t);
        return SQLITE_OK;
    });
}

int dbfvtabRollback(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (t->synced)
            t->stale = true; // the file holds what we wrote; read it back
        else
            undoTo(t, 0, t->baseCount);
        endTransaction(t);
        return SQLITE_OK;
    });
}

int dbfvtabSavepoint(sqlite3_vtab *v, int n)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (n < 0)
            return SQLITE_OK;
        t->savepoints.resize(size_t(n) + 1, {t->undo.size(), t->snap ? t->snap->count() : 0});
        t->savepoints[size_t(n)] = {t->undo.size(), t->snap ? t->snap->count() : 0};
        return SQLITE_OK;
    });
}

int dbfvtabRelease(sqlite3_vtab *v, int n)
{
    DbfTable *t = tableOf(v);
    if (n >= 0 && size_t(n) < t->savepoints.size())
        t->savepoints.resize(size_t(n));
    return SQLITE_OK;
}

int dbfvtabRollbackTo(sqlite3_vtab *v, int n)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (n < 0 || size_t(n) >= t->savepoints.size() || t->synced)
            return SQLITE_OK;
        const SavepointMark m = t->savepoints[size_t(n)];
        undoTo(t, m.undoSize, m.count);
        t->savepoints.resize(size_t(n) + 1);
        return SQLITE_OK;
    });
}

int dbfvtabRename(sqlite3_vtab *, const char *)
{
    return SQLITE_OK;
}

sqlite3_module dbfModule = {
    2,                  // iVersion: savepoints
    dbfvtabConnect,     // xCreate
    dbfvtabConnect,     // xConnect
    dbfvtabBestIndex,   // xBestIndex
    dbfvtabDisconnect,  // xDisconnect
    dbfvtabDisconnect,  // xDestroy: the file stays
    dbfvtabOpen,        // xOpen
    dbfvtabClose,       // xClose
    dbfvtabFilter,      // xFilter
    dbfvtabNext,        // xNext
    dbfvtabEof,         // xEof
    dbfvtabColumn,      // xColumn
    dbfvtabRowid,       // xRowid
    dbfvtabUpdate,      // xUpdate
    dbfvtabBegin,       // xBegin
    dbfvtabSync,        // xSync
    dbfvtabCommit,      // xCommit
    dbfvtabRollback,    // xRollback
    nullptr,            // xFindFunction
    dbfvtabRename,      // xRename
    dbfvtabSavepoint,   // xSavepoint
    dbfvtabRelease,     // xRelease
    dbfvtabRollbackTo,  // xRollbackTo
    nullptr,            // xShadowName
};

void dbfvtabFreeModule(void *p)
{
    delete static_cast<DbfModule *>(p);
}

} // namespace

DbfModule *dbfvtabRegister(sqlite3 *db)
{
    auto *m = new (std::nothrow) DbfModule();
    if (!m)
        return nullptr;
    // SQLite frees the state with the connection (also when registering fails).
    if (sqlite3_create_module_v2(db, "dbf", &dbfModule, m, dbfvtabFreeModule) != SQLITE_OK)
        return nullptr;
    return m;
}

void dbfvtabInvalidate(DbfModule *module)
{
    if (module)
        ++module->generation;
}

} // namespace vestronia

namespace vestronia {

void dbfvtabSyncPrivate(DbfModule *module)
{
    if (!module)
        return;
    for (DbfTable *t : module->tables) {
        if (t->shared || !t->inTransaction || !t->snap || !t->hasChanges() || t->synced)
            continue;
        if (dbfvtabSync(t) != SQLITE_OK)
            fail(t->zErrMsg ? std::string(t->zErrMsg) : "Nu se poate scrie in tabela " + t->fileName);
    }
}

void dbfvtabStatementStart(DbfModule *module, bool refresh)
{
    if (!module)
        return;
    ++module->statement;
    FolderLock *folder = module->folder;
    if (!refresh || !folder)
        return;
    const bool took = !folder->holdsRead();
    if (took)
        folder->lockRead(false);
    struct Unlock
    {
        FolderLock *f;
        bool took;
        ~Unlock()
        {
            if (took)
                f->unlockRead();
        }
    } unlock{folder, took};
    for (DbfTable *t : module->tables)
        if (t->shared && t->snap)
            ensureFresh(t);
}

void dbfvtabSetFolder(DbfModule *module, FolderLock *folder, const std::string &dataFolder)
{
    if (!module)
        return;
    module->folder = folder;
    module->dataFolder = dataFolder;
}

} // namespace vestronia
