// The data folder's lock file: present, writer and read ranges, the change counters,
// and the playback of a journal that a dead writer left behind.

#include "store/folderlock.h"

#include "store/dbflock.h"
#include "store/fileops.h"
#include "store/journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace vestronia {

namespace {

constexpr off_t PresentOffset = off_t(1) << 20;
constexpr off_t WriterOffset = PresentOffset + 1;
constexpr off_t ReadOffset = PresentOffset + 2;
constexpr off_t JournalOffset = PresentOffset + 3;
constexpr char Magic[] = "VSTRLCK1";
constexpr std::size_t NameBytes = 32;
constexpr std::size_t SlotBytes = NameBytes + 16;
constexpr std::size_t PageBytes = 8 + FolderLock::SlotCount * SlotBytes;

std::atomic<int> g_writerWait{30000};
std::mutex g_handlerMutex;
WriterWaitHandler g_handler;

[[noreturn]] void fail(const std::string &message)
{
    throw DbfError(QString::fromUtf8(message.data(), qsizetype(message.size())));
}

std::string lower(const std::string &s)
{
    std::string out = s;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::uint64_t load64(const unsigned char *p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void store64(unsigned char *p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void report(bool waiting, int elapsed)
{
    WriterWaitHandler h;
    {
        std::lock_guard<std::mutex> guard(g_handlerMutex);
        h = g_handler;
    }
    if (h)
        h(waiting, elapsed);
}

// Retries a lock until `milliseconds` pass; reports the wait when `reportWait`.
bool waitForLock(int fd, off_t at, bool exclusive, int milliseconds, bool reportWait)
{
    const auto start = std::chrono::steady_clock::now();
    bool reported = false;
    for (int round = 0;; ++round) {
        if (dbflock::tryLock(fd, at, 1, exclusive)) {
            if (reported)
                report(false, 0);
            return true;
        }
        const int elapsed = int(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (elapsed >= milliseconds) {
            if (reported)
                report(false, elapsed);
            return false;
        }
        if (reportWait && elapsed >= 200 && round % 10 == 0) {
            report(true, elapsed);
            reported = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(round < 20 ? 1 : 10));
    }
}

} // namespace

void setWriterWaitHandler(WriterWaitHandler handler)
{
    std::lock_guard<std::mutex> guard(g_handlerMutex);
    g_handler = std::move(handler);
}

int writerWaitMilliseconds()
{
    return g_writerWait.load();
}

void setWriterWaitMilliseconds(int milliseconds)
{
    g_writerWait.store(milliseconds);
}

FolderLock::FolderLock(const QString &folder)
{
    const QByteArray f = QFile::encodeName(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    m_folder = std::string(f.constData(), size_t(f.size()));
    const std::string path = m_folder + "/" + LockFileName;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0)
        fail("Fisierul de blocare " + path + " nu poate fi deschis: " + std::strerror(errno) +
             ". Dosarul de date trebuie sa permita scrierea.");
    fileops::adoptFolderAccess(m_fd, m_folder);
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // drops every range this descriptor holds
}

void FolderLock::attach()
{
    if (m_present)
        return;
    if (!waitForLock(m_fd, PresentOffset, false, writerWaitMilliseconds(), false))
        fail("Dosarul de date este folosit exclusiv de alt calculator (compactare sau restaurare). Incercati din "
             "nou.");
    try {
        refuseUnfinishedRestore();
    } catch (...) {
        dbflock::unlock(m_fd, PresentOffset, 1);
        throw;
    }
    m_present = true;
}

void FolderLock::refuseUnfinishedRestore() const
{
    if (::access((m_folder + "/" + RestoreMarkName).c_str(), F_OK) != 0)
        return;
    fail("O restaurare a datelor nu s-a terminat: dosarul " + m_folder +
         " are fisiere vechi si noi amestecate. Porniti programul din nou pe calculatorul care a facut restaurarea; "
         "datele vor fi puse inapoi cum erau inainte.");
}

void FolderLock::detach()
{
    if (m_present || m_exclusive)
        dbflock::unlock(m_fd, PresentOffset, 1);
    m_present = m_exclusive = false;
}

bool FolderLock::tryExclusive()
{
    if (m_exclusive)
        return true;
    if (!dbflock::tryLock(m_fd, PresentOffset, 1, true))
        return false;
    m_exclusive = true;
    m_present = false;
    return true;
}

void FolderLock::releaseExclusive()
{
    if (!m_exclusive)
        return;
    dbflock::unlock(m_fd, PresentOffset, 1);
    m_exclusive = false;
}

bool FolderLock::tryLockWriter()
{
    if (m_writer)
        return true;
    if (!dbflock::tryLock(m_fd, WriterOffset, 1, true))
        return false;
    m_writer = true;
    return true;
}

void FolderLock::lockWriter(bool recover)
{
    if (m_writer)
        return;
    if (!waitForLock(m_fd, WriterOffset, true, writerWaitMilliseconds(), true))
        fail("Alt calculator scrie in date de prea mult timp; modificarea nu a fost facuta. Incercati din nou.");
    m_writer = true;
    try {
        // A restore sets recover aside and is the one road that may find its own mark.
        if (recover)
            refuseUnfinishedRestore();
        // Holding the writer lock, any journal on disk was left by a writer that is gone.
        if (recover && ::access(journalPath().c_str(), F_OK) == 0) {
            lockRead(true);
            struct Release
            {
                FolderLock *l;
                ~Release() { l->unlockRead(); }
            } release{this};
            recoverJournal();
        }
        readCounters();
    } catch (...) {
        unlockWriter();
        throw;
    }
}

void FolderLock::unlockWriter()
{
    if (m_writer)
        dbflock::unlock(m_fd, WriterOffset, 1);
    m_writer = false;
}

void FolderLock::lockRead(bool exclusive)
{
    const int want = exclusive ? 2 : 1;
    if (m_read == want)
        return;
    const auto start = std::chrono::steady_clock::now();
    bool reported = false;
    struct EndReport
    {
        bool &reported;
        ~EndReport()
        {
            if (reported)
                report(false, 0);
        }
    } endReport{reported};
    for (int round = 0;; ++round) {
        if (!waitForLock(m_fd, ReadOffset, exclusive, writerWaitMilliseconds(), false))
            fail(exclusive ? std::string("Datele sunt citite de alt calculator de prea mult timp; modificarea nu a "
                                         "fost facuta. Incercati din nou.")
                           : std::string("Alt calculator scrie in date de prea mult timp. Incercati din nou."));
        m_read = want;
        if (exclusive || ::access(journalPath().c_str(), F_OK) != 0)
            return;
        // A journal whose writer lives: that writer has not begun writing data (it would
        // hold the read range exclusively), so the files are whole as they are.
        if (journalIsLive())
            return;
        // A hot journal: the files may be half written. Nobody reads them until it is
        // played back, by us when the writer lock is free (or ours), else by its holder,
        // which plays it back before anything else.
        unlockRead();
        const bool wasWriter = m_writer;
        if (m_writer || tryLockWriter()) {
            try {
                lockRead(true);
                recoverJournal();
            } catch (...) {
                unlockRead();
                if (!wasWriter)
                    unlockWriter();
                throw;
            }
            unlockRead();
            if (!wasWriter)
                unlockWriter();
            if (round > 3)
                fail("Jurnalul dosarului de date nu poate fi refacut.");
            continue;
        }
        const int elapsed = int(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (elapsed >= writerWaitMilliseconds())
            fail("Alt calculator reface datele dupa o intrerupere de prea mult timp. Incercati din nou.");
        if (elapsed >= 200 && round % 10 == 0) {
            report(true, elapsed);
            reported = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(round < 20 ? 1 : 10));
    }
}

void FolderLock::claimJournal()
{
    if (m_journal)
        return;
    if (!dbflock::lock(m_fd, JournalOffset, 1, true, writerWaitMilliseconds()))
        fail("Jurnalul dosarului de date este folosit de alt calculator; modificarea nu a fost facuta.");
    m_journal = true;
}

void FolderLock::releaseJournal()
{
    if (m_journal)
        dbflock::unlock(m_fd, JournalOffset, 1);
    m_journal = false;
}

bool FolderLock::journalIsLive() const
{
    if (m_journal)
        return true;
    // Asks who holds the range without taking it (and without the fault injection of
    // lock calls: a probe changes nothing).
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = JournalOffset;
    fl.l_len = 1;
    fl.l_pid = 0;
    int rc;
    do {
        rc = ::fcntl(m_fd, F_OFD_GETLK, &fl);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return false; // cannot tell: treat the journal as hot, the safe side
    return fl.l_type != F_UNLCK;
}

void FolderLock::unlockRead()
{
    if (m_read)
        dbflock::unlock(m_fd, ReadOffset, 1);
    m_read = 0;
}

void FolderLock::readCounters()
{
    unsigned char page[PageBytes] = {};
    const ssize_t n = ::pread(m_fd, page, PageBytes, 0);
    if (n < 0)
        fail("Fisierul de blocare al dosarului de date nu poate fi citit: " + std::string(std::strerror(errno)));
    m_slots.clear();
    if (size_t(n) < 8 || std::memcmp(page, Magic, 8) != 0)
        return; // new or foreign content: every counter is zero
    for (int i = 0; i < SlotCount; ++i) {
        const unsigned char *s = page + 8 + size_t(i) * SlotBytes;
        if (s[0] == 0)
            break;
        Slot slot;
        slot.name.assign(reinterpret_cast<const char *>(s), strnlen(reinterpret_cast<const char *>(s), NameBytes));
        slot.counter.changes = load64(s + NameBytes);
        slot.counter.rewrites = load64(s + NameBytes + 8);
        m_slots.push_back(std::move(slot));
    }
}

int FolderLock::slotOf(const std::string &lowerName) const
{
    for (size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].name == lowerName)
            return int(i);
    return -1;
}

TableCounter FolderLock::counter(const std::string &fileName) const
{
    const int i = slotOf(lower(fileName).substr(0, NameBytes));
    return i < 0 ? TableCounter{} : m_slots[size_t(i)].counter;
}

void FolderLock::bump(const std::string &fileName, bool rewrite)
{
    if (!m_writer)
        fail("Contorul de modificari se schimba doar de cel care scrie.");
    readCounters();
    const std::string name = lower(fileName).substr(0, NameBytes);
    int i = slotOf(name);
    if (i < 0) {
        if (m_slots.size() >= size_t(SlotCount))
            return; // more files than slots: their readers fall back to size and time
        m_slots.push_back({name, {}});
        i = int(m_slots.size()) - 1;
    }
    Slot &slot = m_slots[size_t(i)];
    ++slot.counter.changes;
    if (rewrite)
        ++slot.counter.rewrites;
    unsigned char page[PageBytes] = {};
    std::memcpy(page, Magic, 8);
    for (size_t k = 0; k < m_slots.size(); ++k) {
        unsigned char *s = page + 8 + k * SlotBytes;
        std::memcpy(s, m_slots[k].name.data(), std::min(m_slots[k].name.size(), NameBytes));
        store64(s + NameBytes, m_slots[k].counter.changes);
        store64(s + NameBytes + 8, m_slots[k].counter.rewrites);
    }
    if (!fileops::writeAll(m_fd, page, PageBytes, 0))
        fail("Fisierul de blocare al dosarului de date nu poate fi scris: " + std::string(std::strerror(errno)));
}

bool FolderLock::recoverJournal()
{
    std::vector<std::string> restored;
    journal::PlayResult result;
    try {
        result = journal::playBack(m_folder, journalPath(), &restored);
    } catch (const journal::DamagedJournal &e) {
        fail(e.what()); // no retry helps: the message says what to do
    } catch (const std::exception &e) {
        fail(std::string(e.what()) + ". Datele nu pot fi folosite pana cand fisierul poate fi scris.");
    }
    if (result != journal::PlayResult::RolledBack)
        return false;
    const bool wasWriter = m_writer;
    m_writer = true; // the caller holds the writer lock
    for (const std::string &name : restored)
        bump(name, true);
    m_writer = wasWriter;
    return true;
}

bool locksAreLocalOnly(const QString &folder, const QString &mountInfo)
{
    QString info = mountInfo;
    if (info.isEmpty()) {
        QFile f(QStringLiteral("/proc/self/mountinfo"));
        if (!f.open(QIODevice::ReadOnly))
            return false;
        info = QString::fromUtf8(f.read(4 << 20));
    }
    const QString path = QFileInfo(folder).canonicalFilePath().isEmpty() ? QDir::cleanPath(folder)
                                                                          : QFileInfo(folder).canonicalFilePath();
    QString bestMount;
    QString bestType, bestOptions;
    for (const QString &line : info.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(' '));
        const int dash = int(parts.indexOf(QStringLiteral("-")));
        if (parts.size() < 6 || dash < 6 || parts.size() < dash + 3)
            continue;
        QString mount = parts[4];
        mount.replace(QStringLiteral("\\040"), QStringLiteral(" "));
        const bool inside = mount == QLatin1String("/") || path == mount ||
                            path.startsWith(mount + QLatin1Char('/'));
        if (!inside || mount.size() < bestMount.size())
            continue;
        bestMount = mount;
        bestType = parts[dash + 1];
        bestOptions = parts[5] + QLatin1Char(',') + parts.value(dash + 3);
    }
    const QStringList options = bestOptions.split(QLatin1Char(','));
    if (bestType.startsWith(QLatin1String("nfs")))
        return options.contains(QStringLiteral("nolock")) || options.contains(QStringLiteral("local_lock=all")) ||
               options.contains(QStringLiteral("local_lock=posix"));
    if (bestType == QLatin1String("cifs") || bestType.startsWith(QLatin1String("smb")))
        return options.contains(QStringLiteral("nobrl"));
    return false;
}

} // namespace vestronia
