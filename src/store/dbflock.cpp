// Byte-range locks at the dBase engines' offsets, as open-file-description locks.
// Over a network file system the locks are only as good as its lock support.

#include "store/dbflock.h"

#include "store/fileops.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace vestronia::dbflock {

namespace {
std::atomic<int> g_wait{5000};

int setLock(int fd, off_t start, off_t length, short type)
{
    return fileops::setLock(fd, start, length, type);
}
} // namespace

bool tryLock(int fd, off_t start, off_t length, bool exclusive)
{
    return setLock(fd, start, length, exclusive ? F_WRLCK : F_RDLCK) == 0;
}

bool lock(int fd, off_t start, off_t length, bool exclusive, int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (tryLock(fd, start, length, exclusive))
            return true;
        if (errno != EAGAIN && errno != EACCES)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int waitMilliseconds()
{
    return g_wait.load();
}

void setWaitMilliseconds(int milliseconds)
{
    g_wait.store(milliseconds);
}

void unlock(int fd, off_t start, off_t length)
{
    setLock(fd, start, length, F_UNLCK);
}

} // namespace vestronia::dbflock
