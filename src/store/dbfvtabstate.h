#pragma once
// What the "dbf" module keeps per connection and per attached file, shared by its parts:
// the snapshot and its loading (dbfsnapshot.cpp), the indexes (dbfindex.cpp), the folder
// commit (dbfcommit.cpp) and the SQLite callbacks (dbfvtab.cpp). Internal to the store.

#include "store/dbfcodec.h"
#include "store/dbferror.h"
#include "store/dbfindex.h"
#include "store/dbfundo.h"
#include "store/folderlock.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace vestronia {

namespace dbfimpl {
struct DbfTable;
}

struct DbfModule
{
    unsigned long long generation = 1; // bumped by dbfvtabInvalidate
    FolderLock *folder = nullptr;      // the data folder's lock file, owned by Database
    std::string dataFolder;            // its path: tables in it are shared and journalled
    std::vector<dbfimpl::DbfTable *> tables; // every attached table of the connection
    unsigned long long statement = 1;  // bumped at each statement start
};

namespace dbfimpl {

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

// Memory for a snapshot's records. Large blocks come straight from the kernel, aligned
// and marked for huge pages, are not filled with zeros before the file's bytes overwrite
// them, and grow by remapping rather than by copying into a second block: reading a table of
// a million debits costs the copy, not a page fault per 4 KB and a pass of zeros, and
// appending to it never holds it twice.
class RecordBuffer
{
public:
    RecordBuffer() = default;
    ~RecordBuffer();
    RecordBuffer(const RecordBuffer &) = delete;
    RecordBuffer &operator=(const RecordBuffer &) = delete;

    char *data() { return m_data; }
    const char *data() const { return m_data; }
    size_t size() const { return m_size; }
    // Room for `bytes` without moving; throws std::bad_alloc.
    void reserve(size_t bytes);
    // New bytes are left as they are (the caller fills them).
    void resize(size_t bytes);
    void append(const char *bytes, size_t length);

private:
    char *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    bool m_mapped = false;
};

// The records of a file as last read (plus our own changes).
struct Snapshot
{
    dbf::Header header;              // recordCount follows our appends
    RecordBuffer records;            // recordCount * recordLength bytes
    std::vector<std::unique_ptr<EqIndex>> indexes; // per field, built on demand

    std::uint32_t count() const { return header.recordCount; }
    char *record(std::uint32_t row) { return records.data() + size_t(row - 1) * header.recordLength; }
    const char *record(std::uint32_t row) const
    {
        return records.data() + size_t(row - 1) * header.recordLength;
    }
    bool live(std::uint32_t row) const { return row >= 1 && row <= count() && *record(row) != dbf::DeletedFlag; }
};

struct SavepointMark
{
    size_t undoSize;
    std::uint32_t count;
    size_t dirtySize; // a record changed only after the mark is no change once rolled back to it
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
    UndoLog undo;
    std::vector<std::uint32_t> dirty; // old records changed (written at commit)
    std::vector<SavepointMark> savepoints;
    bool headerLocked = false;
    bool undoFailed = false;          // a rollback to a savepoint failed half-way: no commit

    bool hasChanges() const { return !undo.empty() || (snap && snap->count() != baseCount); }
};

[[noreturn]] void fail(const std::string &message);
// Refuses the commit of a table whose rollback to a savepoint failed half-way.
[[noreturn]] void failUndone(const DbfTable *t);
std::string osError(int err);

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

FileStamp statPath(const DbfTable *t);
void readExactly(int fd, char *dst, size_t size, off_t at, const std::string &fileName);
// Every record and header write goes through fileops: it is what the fault-injection and
// kill tests reach.
void writeExactly(int fd, const char *src, size_t size, off_t at, const std::string &fileName);
std::uint32_t diskRecordCount(const DbfTable *t);
void openFile(DbfTable *t);
dbf::Header readHeader(const DbfTable *t);
// Makes sure the snapshot matches the file. Keeps it while our own changes are pending.
void ensureFresh(DbfTable *t);
// The index of a column, built on first use.
EqIndex &indexFor(Snapshot &s, int column, const std::string &fileName);
void requireWritable(DbfTable *t);

// Writes a private table's pending changes (xSync outside the data folder).
void syncPrivateTable(DbfTable *t);

} // namespace dbfimpl
} // namespace vestronia
