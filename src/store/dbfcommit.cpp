// The durable commit of the "dbf" module: before-images of the changed records and headers
// go to the folder's journal, which is synced before any data byte is written; then the
// records are written in place (all through store/fileops) and the journal removed. Limits:
// before-images stream from the file to the journal a piece at a time.

#include "store/dbfvtab.h"
#include "store/dbfvtabstate.h"

#include "core/clock.h"
#include "store/dbflock.h"
#include "store/fileops.h"
#include "store/journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace vestronia {
namespace dbfimpl {
namespace {

// What one table's commit writes.
struct TableWrite
{
    DbfTable *table;
    std::uint32_t onDisk = 0;   // header record count on disk before the commit
    bool foreign = false;       // the file changed since this connection last read it
    std::vector<std::pair<off_t, off_t>> locked; // record-lock ranges held: start, length
};

void unlockRows(TableWrite &w)
{
    for (const auto &[start, length] : w.locked)
        dbflock::unlock(w.table->fd, start, length);
    w.locked.clear();
}

// Calls f(from, to) for each run of consecutive record numbers in the sorted, distinct
// `rows` (indexes into it, inclusive): one read, write or lock serves a whole run.
template <typename F>
void forEachRun(const std::vector<std::uint32_t> &rows, F &&f)
{
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        f(i, j);
        i = j + 1;
    }
}

// Above this many separate runs of changed records, one lock covers their whole span.
constexpr size_t MaxScatteredLocks = 64;

// Takes the record locks other dBase tools respect for the changed records (sorted,
// distinct). Records that follow each other share one lock. The kernel keeps a list of a
// file's locks and walks it for each new one, so a lock per scattered record would make a
// change of many records cost the square of their number: past MaxScatteredLocks runs, one
// lock over the span is tried first (for the moment of the write it also keeps other tools
// off the records in between); only when another program holds a record in the span are the
// runs locked one by one.
void lockRows(TableWrite &w)
{
    DbfTable *t = w.table;
    const std::vector<std::uint32_t> &rows = t->dirty;
    if (rows.empty())
        return;
    struct Run
    {
        std::uint32_t first, last;
    };
    std::vector<Run> runs;
    forEachRun(rows, [&](size_t from, size_t to) { runs.push_back({rows[from], rows[to]}); });
    // Record n is the byte Base - n: a run of records is one range, backwards.
    auto range = [](std::uint32_t first, std::uint32_t last) {
        return std::pair<off_t, off_t>(dbflock::recordOffset(last), off_t(last - first) + 1);
    };
    if (runs.size() > MaxScatteredLocks) {
        const auto span = range(rows.front(), rows.back());
        if (dbflock::tryLock(t->fd, span.first, span.second, true)) {
            w.locked.push_back(span);
            return;
        }
    }
    for (const Run &r : runs) {
        const auto at = range(r.first, r.last);
        if (!dbflock::lock(t->fd, at.first, at.second, true, dbflock::waitMilliseconds())) {
            std::uint32_t held = r.first; // the message names the record that is held
            for (std::uint32_t row = r.first; row <= r.last; ++row) {
                if (!dbflock::tryLock(t->fd, dbflock::recordOffset(row), 1, true)) {
                    held = row;
                    break;
                }
                dbflock::unlock(t->fd, dbflock::recordOffset(row), 1);
            }
            fail("Inregistrarea " + std::to_string(held) + " din tabela " + t->fileName +
                 " este blocata de alt calculator. Incercati din nou.");
        }
        w.locked.push_back(at);
    }
}

// The kernel caches what a write creates in folios as large as the write (up to 2 MB); a
// later change of one record in such a folio dirties it whole, and both that write and the
// sync walk every block of it. Large writes therefore go in pieces that end on multiples
// of this, so the folios they make stay small; the extra calls cost little next to the bytes.
constexpr off_t WritePiece = 64 << 10;

void writePieces(DbfTable *t, const char *src, size_t size, off_t at)
{
    while (size > 0) {
        const size_t n = std::min(size, size_t(WritePiece - at % WritePiece));
        writeExactly(t->fd, src, n, at, t->fileName);
        src += n;
        size -= n;
        at += off_t(n);
    }
}

// Writes a table's changes in place through fileops: the changed records, then the appended
// records past the `onDisk` records the file holds, then the header count that shows them.
// The one routine every commit writes records with; the caller syncs.
void writeChanges(DbfTable *t, std::uint32_t onDisk)
{
    Snapshot &s = *t->snap;
    const off_t headerLength = off_t(s.header.headerLength);
    const off_t recLen = off_t(s.header.recordLength);
    forEachRun(t->dirty, [&](size_t from, size_t to) {
        const std::uint32_t first = t->dirty[from];
        writePieces(t, s.record(first), size_t(recLen) * (to - from + 1), headerLength + off_t(first - 1) * recLen);
    });
    if (s.count() > t->baseCount) {
        const std::uint32_t added = s.count() - t->baseCount;
        // Straight from the snapshot (a copy would hold the appended records twice), then
        // the end-of-file mark after them.
        const size_t tailBytes = size_t(added) * size_t(recLen);
        const off_t tailAt = headerLength + off_t(onDisk) * recLen;
        if (tailBytes < size_t(WritePiece)) {
            std::string tail(s.record(t->baseCount + 1), tailBytes);
            tail += dbf::EndOfFileMark;
            writePieces(t, tail.data(), tail.size(), tailAt);
        } else {
            const char mark = dbf::EndOfFileMark;
            writePieces(t, s.record(t->baseCount + 1), tailBytes, tailAt);
            writeExactly(t->fd, &mark, 1, tailAt + off_t(tailBytes), t->fileName);
        }
        unsigned char head[8] = {};
        const QDate today = Clock::today();
        dbf::storeDate(head, today.year(), today.month(), today.day());
        dbf::storeRecordCount(head, onDisk + added);
        writeExactly(t->fd, reinterpret_cast<const char *>(head) + 1, 7, 1, t->fileName);
    }
}

// Makes the written tables durable. fdatasync is enough: it makes the records durable and,
// when a file grew, its new length (fdatasync keeps what reading the data back needs); only
// the times may stay behind, and nothing decides anything from them after a power cut.
// Several tables are synced at once, one thread each: every sync waits for its writes and
// a flush of the disk's cache, and flushes asked for together are served together, so a
// collection over four tables waits about as long as for one. The order between them does
// not matter: the journal holds them all until it is removed, after every sync returned.
void syncTables(std::vector<TableWrite> &writes)
{
    std::vector<int> errors(writes.size(), 0);
    auto sync = [&](size_t i) { errors[i] = fileops::syncData(writes[i].table->fd) == 0 ? 0 : (errno ? errno : EIO); };
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < writes.size(); ++i) {
        try {
            helpers.emplace_back(sync, i);
        } catch (const std::system_error &) {
            sync(i); // no thread to be had: in turn, as before
        }
    }
    if (!writes.empty())
        sync(0);
    for (std::thread &h : helpers)
        h.join();
    for (size_t i = 0; i < writes.size(); ++i)
        if (errors[i] != 0)
            fail("Tabela " + writes[i].table->fileName + " nu poate fi scrisa pe disc: " + osError(errors[i]));
}

// Replaces a settings file with its new content: a temporary file beside it, synced, then
// renamed over it.
void replaceFile(const std::string &path, const std::string &content)
{
    const std::string temp = path + ".tmp";
    // Made new, so that a link left under the name is not followed out of the folder.
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT)
        fail("Fisierul " + path + " nu poate fi scris: " + osError(errno));
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
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

[[noreturn]] void journalFailed(int err)
{
    if (err == EFBIG)
        fail("Modificarea este prea mare pentru jurnalul dosarului de date (cel mult " +
             std::to_string(journal::MaxJournalBytes >> 20) + " MB). Nimic nu a fost modificat; impartiti operatia.");
    fail("Jurnalul modificarilor nu poate fi scris in dosarul de date: " + osError(err ? err : EIO) +
         ". Nimic nu a fost modificat.");
}

// Takes the record locks other dBase tools respect and streams to the journal the
// before-image of every record and header the commit overwrites, read back from the file
// a piece of at most about a megabyte at a time.
void journalTable(TableWrite &w, journal::Writer &jw)
{
    DbfTable *t = w.table;
    requireWritable(t);
    std::sort(t->dirty.begin(), t->dirty.end());
    t->dirty.erase(std::unique(t->dirty.begin(), t->dirty.end()), t->dirty.end());
    lockRows(w);
    // Another dBase tool may have edited the file in place while our transaction ran; its
    // edit is kept (we write only our records), and the stamp taken after our commit must
    // not hide it from this connection.
    w.foreign = !statPath(t).sameFile(t->stamp);
    struct stat st;
    if (::fstat(t->fd, &st) != 0)
        fail("Tabela " + t->fileName + " nu poate fi citita: " + osError(errno));
    w.onDisk = diskRecordCount(t);
    const Snapshot &s = *t->snap;
    const off_t recLen = off_t(s.header.recordLength);
    const size_t pieceRecords = std::max<size_t>(1, size_t(1 << 20) / size_t(recLen));
    std::uint64_t chunks = 1; // the header
    forEachRun(t->dirty, [&](size_t from, size_t to) { chunks += (to - from + pieceRecords) / pieceRecords; });
    const off_t appendAt = off_t(s.header.headerLength) + off_t(w.onDisk) * recLen;
    const bool appends = s.count() > t->baseCount && appendAt < st.st_size;
    // The appended records and the end mark after them overwrite whatever lies there.
    constexpr off_t AppendPiece = 1 << 20;
    const off_t appendEnd =
        appends ? std::min<off_t>(st.st_size, appendAt + off_t(s.count() - t->baseCount) * recLen + 1) : appendAt;
    chunks += std::uint64_t((appendEnd - appendAt + AppendPiece - 1) / AppendPiece);
    if (chunks > 0xFFFFFFFFULL)
        fail("Modificarea tabelei " + t->fileName + " este prea mare.");
    if (!jw.beginFile(t->fileName, true, std::uint64_t(st.st_size), std::uint32_t(chunks)))
        journalFailed(errno);
    std::string bytes(std::min<size_t>(32, size_t(st.st_size)), '\0');
    readExactly(t->fd, bytes.data(), bytes.size(), 0, t->fileName);
    if (!jw.addChunk(0, bytes))
        journalFailed(errno);
    // What each changed record held when we read it: its first undo entry.
    constexpr size_t NoChange = size_t(-1);
    std::vector<size_t> original(t->dirty.size(), NoChange);
    for (size_t u = 0; u < t->undo.size(); ++u) {
        const std::uint32_t row = t->undo.row(u);
        const auto at = std::lower_bound(t->dirty.begin(), t->dirty.end(), row);
        if (at != t->dirty.end() && *at == row && original[size_t(at - t->dirty.begin())] == NoChange)
            original[size_t(at - t->dirty.begin())] = u;
    }
    std::string before(size_t(recLen), '\0');
    forEachRun(t->dirty, [&](size_t runFrom, size_t runTo) {
        for (size_t from = runFrom; from <= runTo; from += pieceRecords) {
            const size_t to = std::min(runTo, from + pieceRecords - 1);
            const std::uint32_t first = t->dirty[from];
            const off_t at = off_t(s.header.headerLength) + off_t(first - 1) * recLen;
            bytes.resize(size_t(recLen) * (to - from + 1));
            readExactly(t->fd, bytes.data(), bytes.size(), at, t->fileName);
            // Another dBase tool changed a record in place since we read it (our own
            // workstations are seen through the change counters): writing ours over it
            // would lose that change. The table is read again; the clerk repeats the operation.
            for (size_t i = from; i <= to; ++i) {
                if (original[i] == NoChange)
                    continue;
                t->undo.read(original[i], before.data());
                if (std::memcmp(before.data(), bytes.data() + (i - from) * size_t(recLen), size_t(recLen)) != 0) {
                    t->stale = true;
                    fail("Inregistrarea " + std::to_string(t->dirty[i]) + " din tabela " + t->fileName +
                         " a fost modificata de alt program intre timp; modificarea nu a fost facuta. Reluati operatia.");
                }
            }
            if (!jw.addChunk(std::uint64_t(at), bytes))
                journalFailed(errno);
        }
    });
    // Appends start on the end-of-file mark (and any bytes past the last counted record).
    for (off_t at = appendAt; at < appendEnd; at += AppendPiece) {
        bytes.resize(size_t(std::min(appendEnd - at, AppendPiece)));
        readExactly(t->fd, bytes.data(), bytes.size(), at, t->fileName);
        if (!jw.addChunk(std::uint64_t(at), bytes))
            journalFailed(errno);
    }
}

} // namespace

void failUndone(const DbfTable *t)
{
    fail("Anularea unei parti a modificarilor din tabela " + t->fileName +
         " nu a reusit (fisierul temporar nu poate fi citit); modificarile nu au fost salvate. Reluati operatia.");
}

void syncPrivateTable(DbfTable *t)
{
    Snapshot &s = *t->snap;
    const FileStamp before = statPath(t);
    bool foreign = !before.sameFile(t->stamp);

    std::sort(t->dirty.begin(), t->dirty.end());
    t->dirty.erase(std::unique(t->dirty.begin(), t->dirty.end()), t->dirty.end());
    // Every record lock first: a record held elsewhere stops the commit before any
    // record of it is written.
    TableWrite locks{t, 0, false, {}};
    struct Unlock
    {
        TableWrite &w;
        ~Unlock() { unlockRows(w); }
    } unlock{locks};
    lockRows(locks);
    const std::uint32_t onDisk = s.count() > t->baseCount ? diskRecordCount(t) : t->baseCount;
    if (onDisk != t->baseCount)
        foreign = true;
    t->synced = true; // from here on the file may hold part of the changes
    writeChanges(t, onDisk);
    if (s.count() > t->baseCount && onDisk != t->baseCount)
        s.header.recordCount = onDisk + (s.count() - t->baseCount); // numbers are off; re-read below
    if (foreign) {
        t->stale = true;
    } else {
        t->stamp = statPath(t);
        t->stamp.count = s.count();
    }
}

} // namespace dbfimpl

using namespace dbfimpl;

void dbfvtabCommitFolder(DbfModule *module, const std::vector<StagedFile> &staged)
{
    FolderLock *folder = module ? module->folder : nullptr;
    if (!folder)
        return;
    std::vector<TableWrite> writes;
    for (DbfTable *t : module->tables)
        if (t->shared && t->inTransaction && t->snap && t->hasChanges() && !t->synced)
            writes.push_back(TableWrite{t, 0, false, {}});
    if (writes.empty() && staged.empty())
        return;
    for (const TableWrite &w : writes)
        if (w.table->undoFailed)
            failUndone(w.table);
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

    // The journal is durable (and sealed) before any byte of data changes. Its range is
    // held from before it exists until it is gone, so a reader tells our journal (files
    // still whole) from one whose writer died (files maybe half written).
    const std::string journalPath = folder->journalPath();
    folder->claimJournal();
    struct ReleaseJournal
    {
        FolderLock *f;
        ~ReleaseJournal() { f->releaseJournal(); }
    } releaseJournal{folder};
    {
        journal::Writer jw; // removes the journal unless finished
        if (!jw.open(journalPath))
            journalFailed(errno);
        for (TableWrite &w : writes)
            journalTable(w, jw);
        for (const StagedFile &f : staged) {
            const journal::FileImage img = settingsImage(f);
            if (!jw.beginFile(img.name, img.existed, img.oldSize, std::uint32_t(img.chunks.size())))
                journalFailed(errno);
            for (const journal::Chunk &c : img.chunks)
                if (!jw.addChunk(c.offset, c.bytes))
                    journalFailed(errno);
        }
        if (!jw.finish())
            journalFailed(errno);
    }

    // The write phase, with readers kept out.
    try {
        folder->lockRead(true);
    } catch (...) {
        ::unlink(journalPath.c_str());
        throw;
    }
    try {
        for (TableWrite &w : writes)
            writeChanges(w.table, w.onDisk);
        syncTables(writes);
        for (const StagedFile &f : staged)
            replaceFile(f.path, f.content);
        for (TableWrite &w : writes)
            folder->bump(w.table->fileName, !w.table->dirty.empty());
        for (const StagedFile &f : staged)
            folder->bump(fileNameOf(f.path), true);
        // Removing the journal is the commit. The journal is ours (its range is held), so
        // "no such file" means it is gone: a network file system answers a repeated
        // removal so, and the change is stored.
        if (fileops::unlinkFile(journalPath.c_str()) != 0 && errno != ENOENT)
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
        if (w.onDisk != t->baseCount || w.foreign) {
            t->stale = true; // another dBase tool appended or edited: read the file again
        } else {
            t->stamp = statPath(t);
            t->stamp.count = t->snap->count();
        }
        t->seen = folder->counter(t->fileName);
    }
}

} // namespace vestronia
