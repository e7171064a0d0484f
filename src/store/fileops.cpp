// POSIX file operations with a counter of the calls that change or secure data, so that
// tests can fail any one of them. In normal use the counter is never consulted.

#include "store/fileops.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestronia::fileops {

namespace {

std::atomic<std::uint64_t> g_target{0};
std::atomic<std::uint64_t> g_calls{0};
std::atomic<int> g_fault{0};
std::atomic<bool> g_fired{false};

// The fault for this call, counting it when injection is on.
Fault next()
{
    if (g_target.load(std::memory_order_relaxed) == 0)
        return Fault::None;
    const std::uint64_t n = ++g_calls;
    if (n != g_target.load())
        return Fault::None;
    g_fired = true;
    const Fault f = Fault(g_fault.load());
    if (f == Fault::Kill)
        ::kill(::getpid(), SIGKILL);
    return f;
}

} // namespace

void injectFault(std::uint64_t n, Fault fault)
{
    g_calls = 0;
    g_fired = false;
    g_fault = int(fault);
    g_target = n;
}

std::uint64_t countedCalls()
{
    return g_calls.load();
}

bool faultFired()
{
    return g_fired.load();
}

ssize_t pwriteSome(int fd, const void *data, std::size_t size, off_t at)
{
    switch (next()) {
    case Fault::Error:
    case Fault::Replayed:
        errno = EIO;
        return -1;
    case Fault::ShortWrite:
        if (size > 1)
            return ::pwrite(fd, data, size / 2, at);
        errno = EIO;
        return -1;
    case Fault::None:
    case Fault::Kill:
        break;
    }
    return ::pwrite(fd, data, size, at);
}

int fsyncFile(int fd)
{
    if (next() != Fault::None) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}

int syncData(int fd)
{
    if (next() != Fault::None) {
        errno = EIO;
        return -1;
    }
    int rc;
    do {
        rc = ::fdatasync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

namespace {
std::mutex g_scratchMutex;
std::string g_scratchFolder;
} // namespace

void setScratchFolder(const std::string &folder)
{
    std::lock_guard<std::mutex> guard(g_scratchMutex);
    g_scratchFolder = folder;
}

int openScratchFile()
{
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(g_scratchMutex);
        folder = g_scratchFolder;
    }
    if (!folder.empty()) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return fd;
    }
    std::FILE *f = std::tmpfile();
    if (!f)
        return -1;
    const int fd = ::fcntl(fileno(f), F_DUPFD_CLOEXEC, 0);
    const int err = errno;
    std::fclose(f);
    errno = err;
    return fd;
}

namespace {
std::atomic<bool> g_failScratchReads{false};
} // namespace

void failScratchReads(bool on)
{
    g_failScratchReads = on;
}

ssize_t preadScratch(int fd, void *data, std::size_t size, off_t at)
{
    if (g_failScratchReads.load(std::memory_order_relaxed)) {
        errno = EIO;
        return -1;
    }
    return ::pread(fd, data, size, at);
}

void adviseRandomAccess(int fd)
{
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
}

int truncateFile(int fd, off_t length)
{
    if (next() != Fault::None) {
        errno = EIO;
        return -1;
    }
    return ::ftruncate(fd, length);
}

int renameFile(const char *from, const char *to)
{
    if (next() != Fault::None) {
        errno = EIO;
        return -1;
    }
    return ::rename(from, to);
}

int unlinkFile(const char *path)
{
    const Fault f = next();
    if (f == Fault::Replayed) {
        ::unlink(path);
        errno = ENOENT;
        return -1;
    }
    if (f != Fault::None) {
        errno = EIO;
        return -1;
    }
    return ::unlink(path);
}

int setLock(int fd, off_t start, off_t length, short type)
{
    if (type != F_UNLCK && next() != Fault::None) {
        errno = EAGAIN;
        return -1;
    }
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = length;
    fl.l_pid = 0; // required for OFD locks
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLK, &fl);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

bool writeAll(int fd, const void *data, std::size_t size, off_t at)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = pwriteSome(fd, p, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

bool readAll(int fd, void *data, std::size_t size, off_t at)
{
    char *p = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

bool syncFolder(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const int rc = fsyncFile(fd);
    const int err = errno;
    ::close(fd);
    errno = err;
    return rc == 0;
}

std::optional<mode_t> umaskFromStatus(std::string_view status)
{
    std::size_t at = status.rfind("\nUmask:");
    if (status.substr(0, 6) == "Umask:")
        at = 0;
    else if (at == std::string_view::npos)
        return std::nullopt;
    else
        ++at;
    at += 6;
    while (at < status.size() && (status[at] == ' ' || status[at] == '\t'))
        ++at;
    mode_t mask = 0;
    int digits = 0;
    for (; at < status.size() && status[at] >= '0' && status[at] <= '7'; ++at, ++digits)
        mask = mode_t(mask * 8 + mode_t(status[at] - '0'));
    if (digits == 0 || digits > 4 || (at < status.size() && status[at] != '\n'))
        return std::nullopt;
    return mask & 07777;
}

mode_t processUmask()
{
    // Read, not set and set back: umask(0) would give another thread's new file mode 0666
    // for that moment.
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        std::string text;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || text.size() > 65536)
                break;
            text.append(buffer, size_t(n));
        }
        ::close(fd);
        if (const std::optional<mode_t> mask = umaskFromStatus(text))
            return *mask;
    }
    // A kernel without the Umask line (before 4.7) or without /proc: the old way, once.
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

void adoptFolderAccess(int fd, const std::string &folder)
{
    struct stat dir, file;
    if (fd < 0 || ::stat(folder.c_str(), &dir) != 0 || ::fstat(fd, &file) != 0 || file.st_uid != ::geteuid())
        return;
    mode_t mode = 0666 & ~processUmask();
    if (dir.st_mode & S_IWGRP)
        mode |= S_IRGRP | S_IWGRP;
    if (file.st_gid != dir.st_gid && ::fchown(fd, uid_t(-1), dir.st_gid) != 0) {
        // Not a member of the folder's group: the file keeps ours.
    }
    if ((file.st_mode & 07777) != mode)
        if (::fchmod(fd, mode) != 0) {
            // A file system without Unix permissions: nothing to give.
        }
}

void adoptFolderAccess(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    const size_t slash = path.find_last_of('/');
    adoptFolderAccess(fd, slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1));
    ::close(fd);
}

} // namespace vestronia::fileops
