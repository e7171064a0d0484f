#pragma once
// The file operations the storage engine's durable writes go through: positioned reads
// and writes, fsync, truncation, rename, unlink and byte-range locks. They are plain
// POSIX calls, with one addition: a test can make the n-th call fail (an I/O error, a
// short write or a refused lock) to prove that every failure leaves the data as it was.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vestronia::fileops {

// What an injected failure does.
enum class Fault {
    None,
    Error,      // the call fails with EIO (a lock fails as if held by another process)
    ShortWrite, // a write writes half of its bytes and reports that
    Kill,       // the process dies at once (SIGKILL), as in a power cut or a crash
    Replayed,   // a removal is made, then reported failed with ENOENT, as a network file
                // system answers a repeated request; any other call fails as with Error
};

// Counts the calls made from now on; the call numbered `n` (1-based) fails with `fault`.
// n = 0 switches injection off. Only the calls that change or secure data are counted:
// pwrite, fsync, ftruncate, rename, unlink and lock.
void injectFault(std::uint64_t n, Fault fault = Fault::Error);
// How many counted calls were made since the last injectFault().
std::uint64_t countedCalls();
// Whether the injected failure has happened.
bool faultFired();

ssize_t pwriteSome(int fd, const void *data, std::size_t size, off_t at);
int fsyncFile(int fd);
// fdatasync: the bytes and what reading them back needs (the length of a file that grew,
// its blocks), not the times. A commit needs no more from a data file or a journal: after a
// power cut nothing reads their modification time to decide anything. Counted as fsyncFile.
int syncData(int fd);
int truncateFile(int fd, off_t length);
int renameFile(const char *from, const char *to);
int unlinkFile(const char *path);
// F_OFD_SETLK with the given type (F_RDLCK, F_WRLCK, F_UNLCK); unlocking is never failed.
int setLock(int fd, off_t start, off_t length, short type);

// Whole-buffer helpers: retry on EINTR and short writes; false with errno set on failure.
bool writeAll(int fd, const void *data, std::size_t size, off_t at);
bool readAll(int fd, void *data, std::size_t size, off_t at);
// Tells the kernel not to read ahead through this descriptor. Read-ahead caches a file in
// large folios (up to 2 MB); a later write of one record then dirties the whole folio and
// the write and the sync walk every block of it, so a commit of a hundred scattered records
// cost about ten milliseconds of kernel time. A table is read in large explicit reads
// anyway, so it loses nothing. Best effort: a file system that ignores it keeps working.
void adviseRandomAccess(int fd);
// Where private scratch files go (the program's TEMP folder, set at start); empty, the
// default, leaves them to the system's temporary folder.
void setScratchFolder(const std::string &folder);
// An unnamed file for private scratch data, gone when closed: O_TMPFILE in the scratch
// folder, else (no folder set, or a file system without unnamed files) the C library's
// tmpfile(). -1 with errno set when neither works.
int openScratchFile();
// Reads back from a scratch file, failing with EIO while failScratchReads(true) is in force
// (tests: a TEMP disk that stops reading). Not counted with the calls above.
ssize_t preadScratch(int fd, void *data, std::size_t size, off_t at);
void failScratchReads(bool on);
// fsync of a folder, so that a created, renamed or removed name is durable.
bool syncFolder(const std::string &folder);

// The process's umask, read from /proc/self/status without changing it (a fallback sets
// and restores it once when that line is missing). umaskFromStatus parses that file's
// text: the "Umask:" line's octal value, nothing when there is none.
mode_t processUmask();
std::optional<mode_t> umaskFromStatus(std::string_view status);

// Gives a file this program created in a shared folder the folder's group, and the
// permissions the umask allows plus group read and write when the folder is group
// writable: a second user sharing the folder through its group can then use it. Best
// effort (a file we do not own is left as it is).
void adoptFolderAccess(int fd, const std::string &folder);
// The same for a path.
void adoptFolderAccess(const std::string &path);

} // namespace vestronia::fileops
