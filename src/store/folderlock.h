#pragma once
// The lock file of a data folder (Vestronia.lck), which serialises the workstations that
// share the folder, and the per-table change counters it holds.
//
// Byte ranges (open-file-description locks, far past the counters so they never overlap):
//   present  shared while a connection is attached; exclusive for packing, adding columns
//            and restore, which therefore fail while anyone else is attached
//   writer   exclusive from the start of a write transaction to its end: one writer at a time
//   read     shared while a reader loads or refreshes a snapshot (never a whole statement);
//            exclusive during the short write phase of a commit, so no reader sees
//            half-written records
//   journal  exclusive while the writer that wrote Vestronia.jrn is alive: a journal whose
//            range nobody holds is hot (its writer died or failed), and nobody reads the
//            files until it is played back, whoever holds the writer lock meanwhile
//
// Counters: "VSTRLCK1", then 64 slots of 48 bytes: the lower-case file name (32 bytes,
// NUL padded), u64 changes (every commit that touched the file), u64 rewrites (commits
// that changed records in place or replaced the file; a change that only appended
// records leaves it alone, so readers then read only the new records).

#include "store/dbferror.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vestronia {

struct TableCounter
{
    std::uint64_t changes = 0;
    std::uint64_t rewrites = 0;
    bool operator==(const TableCounter &) const = default;
};

// Told while a writer waits for another workstation: waiting true with the milliseconds
// waited so far (called about every 100 ms), then once with false when the wait ends.
using WriterWaitHandler = std::function<void(bool waiting, int elapsedMs)>;
void setWriterWaitHandler(WriterWaitHandler handler);
// How long a writer waits for the writer lock before refusing (30 s; tests shorten it).
int writerWaitMilliseconds();
void setWriterWaitMilliseconds(int milliseconds);

class FolderLock
{
public:
    static constexpr const char *LockFileName = "Vestronia.lck";
    static constexpr const char *JournalFileName = "Vestronia.jrn";
    // Left by a restore while it replaces the files; found by anyone else, the restore
    // died part-way and the folder holds old and new files until the next start settles
    // it: attaching and writing are refused meanwhile.
    static constexpr const char *RestoreMarkName = "Vestronia.rst";
    static constexpr int SlotCount = 64;

    // Opens the lock file of `folder`, creating it when missing. Throws DbfError.
    explicit FolderLock(const QString &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    const std::string &folder() const { return m_folder; }
    std::string journalPath() const { return m_folder + "/" + JournalFileName; }

    // The present range, shared. Throws DbfError when a workstation holds the folder
    // exclusively (packing, restore) for longer than the wait.
    void attach();
    void detach();
    // The present range alone: false when any other connection is attached.
    bool tryExclusive();
    void releaseExclusive();

    // Takes the writer lock, waiting up to writerWaitMilliseconds() and reporting the wait;
    // then plays back a journal left by a writer that died (unless `recover` is false: a
    // restore sets it aside with the old files). Throws DbfError with a message for the
    // clerk when the wait times out.
    void lockWriter(bool recover = true);
    // One attempt, no wait.
    bool tryLockWriter();
    void unlockWriter();
    bool holdsWriter() const { return m_writer; }

    // The read range while a snapshot loads (shared) or a commit's write phase (exclusive).
    // A shared reader that finds a hot journal plays it back first, or, when another
    // connection holds the writer lock (it plays the journal back before anything else),
    // waits for it. Throws DbfError when the range stays held longer than the wait.
    void lockRead(bool exclusive);
    void unlockRead();
    bool holdsRead() const { return m_read != 0; }

    // The journal range, held by the writer from before its journal is written until it is
    // removed. journalIsLive() says whether a journal on disk has a living writer.
    void claimJournal();
    void releaseJournal();
    bool journalIsLive() const;

    // Reads the counters page into the cache; counter() answers from the cache.
    void readCounters();
    TableCounter counter(const std::string &fileName) const;
    // Adds one change (and one rewrite when `rewrite`) to a file's counter on disk and in
    // the cache. Needs the writer lock.
    void bump(const std::string &fileName, bool rewrite);

    // Plays back a journal left behind, when there is one; needs the writer lock. Returns
    // whether files were restored.
    bool recoverJournal();

private:
    void refuseUnfinishedRestore() const;
    int slotOf(const std::string &lowerName) const;

    std::string m_folder;
    int m_fd = -1;
    bool m_present = false;
    bool m_exclusive = false;
    bool m_writer = false;
    bool m_journal = false;
    int m_read = 0; // 0 none, 1 shared, 2 exclusive
    struct Slot
    {
        std::string name;
        TableCounter counter;
    };
    std::vector<Slot> m_slots;
};

// Whether the folder is on a file system whose byte-range locks are kept by this machine
// only (a network mount with nobrl, nolock or local_lock): then other workstations do not
// see our locks and sharing the folder is unsafe. `mountInfo` is /proc/self/mountinfo's
// text (given by tests); empty reads the real one.
bool locksAreLocalOnly(const QString &folder, const QString &mountInfo = QString());

} // namespace vestronia
