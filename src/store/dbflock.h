#pragma once
// Byte-range locks on .DBF files at the offsets the dBase engines use, so that several
// workstations can share a data folder: record n is the byte 0xEFFFFFFE - n, the header
// (appends) is record 0, and the whole file is the range 0xEFFFFFFE - 1,000,000,000 ..
// 0xEFFFFFFE + 2. Linux open-file-description locks (F_OFD_SETLK): they belong to the
// descriptor, so closing another descriptor of the same file does not drop them, and two
// descriptors in one process exclude each other like two workstations.

#include <cstdint>
#include <sys/types.h>

namespace vestronia::dbflock {

constexpr off_t Base = 0xEFFFFFFELL;
constexpr off_t recordOffset(std::uint32_t recordNumber) { return Base - off_t(recordNumber); }
// The header byte: held while appending (record count and the bytes past the end).
constexpr off_t HeaderOffset = Base;
// Held shared while a reader copies the records, so packing cannot pull them away.
constexpr off_t ReadOffset = Base + 1;
constexpr off_t WholeStart = Base - 1000000000LL;
constexpr off_t WholeLength = 1000000000LL + 3;

// One attempt; false when another descriptor holds a conflicting lock.
bool tryLock(int fd, off_t start, off_t length, bool exclusive);
// Retries for up to `milliseconds` (another workstation usually holds a record for a
// moment only).
bool lock(int fd, off_t start, off_t length, bool exclusive, int milliseconds);
void unlock(int fd, off_t start, off_t length);

// How long writers wait for a lock before giving up with a message (5 s; tests shorten it).
int waitMilliseconds();
void setWaitMilliseconds(int milliseconds);

} // namespace vestronia::dbflock
