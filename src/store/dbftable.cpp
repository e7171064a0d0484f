// Whole-file maintenance of .DBF tables: create, add columns, pack, clear the index
// flag, read the column list. Works on files of up to 2 GiB, held in memory while a
// table is rewritten.

#include "store/dbftable.h"

#include "core/clock.h"
#include "core/workfiles.h"
#include "store/dbfcodec.h"
#include "store/database.h"
#include "store/dbflock.h"
#include "store/fileops.h"
#include "store/folderlock.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vestronia {

namespace {

constexpr std::uint64_t MaxTableBytes = 1ULL << 31;

std::string utf8(const QString &s)
{
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString osError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// An open descriptor that closes itself (and so drops its locks).
class FileHandle
{
public:
    FileHandle(const QString &path, bool write) : m_path(path)
    {
        const QByteArray name = QFile::encodeName(path);
        do {
            m_fd = ::open(name.constData(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            throw DbfError(QStringLiteral("Tabela %1 nu poate fi deschisa: %2").arg(fileNameOf(path), osError(errno)));
    }
    ~FileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    int fd() const { return m_fd; }

    std::uint64_t size() const
    {
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
            throw DbfError(QStringLiteral("Tabela %1 nu poate fi citita: %2").arg(fileNameOf(m_path), osError(errno)));
        return std::uint64_t(st.st_size);
    }

    void read(char *dst, size_t n, off_t at) const
    {
        while (n > 0) {
            const ssize_t r = ::pread(m_fd, dst, n, at);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                throw DbfError(QStringLiteral("Tabela %1 nu poate fi citita: %2")
                                   .arg(fileNameOf(m_path), r < 0 ? osError(errno) : QStringLiteral("fisier scurtat")));
            dst += r;
            n -= size_t(r);
            at += r;
        }
    }

    // Through the file operations, so the fault-injection tests reach it too.
    void write(const char *src, size_t n, off_t at) const
    {
        if (!fileops::writeAll(m_fd, src, n, at))
            throw DbfError(QStringLiteral("Nu se poate scrie in tabela %1: %2").arg(fileNameOf(m_path), osError(errno)));
    }

    dbf::Header header() const
    {
        const std::uint64_t total = size();
        std::vector<unsigned char> buf(size_t(std::min<std::uint64_t>(total, dbf::MaxHeaderLength)));
        read(reinterpret_cast<char *>(buf.data()), buf.size(), 0);
        return dbf::parseHeader(buf.data(), buf.size(), total, utf8(fileNameOf(m_path)));
    }

    // The whole file in memory, bounded.
    QByteArray readAll() const
    {
        const std::uint64_t total = size();
        if (total > MaxTableBytes)
            throw DbfError(QStringLiteral("Tabela %1 este prea mare.").arg(fileNameOf(m_path)));
        QByteArray all(qsizetype(total), Qt::Uninitialized);
        read(all.data(), size_t(total), 0);
        return all;
    }

    // The whole-file lock, without waiting long: packing and restructuring need the file alone.
    void lockWhole(const QString &refusal) const
    {
        if (!dbflock::lock(m_fd, dbflock::WholeStart, dbflock::WholeLength, true, 200))
            throw DbfError(refusal);
    }

private:
    QString m_path;
    int m_fd = -1;
};

std::vector<dbf::Field> toFields(const QList<DbfColumn> &columns)
{
    std::vector<dbf::Field> fields;
    for (const DbfColumn &c : columns) {
        dbf::Field f;
        f.name = utf8(c.name);
        f.type = c.type;
        f.length = c.length;
        f.decimals = c.decimals;
        fields.push_back(f);
    }
    return fields;
}

QList<DbfColumn> fromColumnDefs(const std::vector<ColumnDef> &columns)
{
    QList<DbfColumn> out;
    for (const ColumnDef &c : columns)
        out << toDbfColumn(c);
    return out;
}

QByteArray headerBytes(std::vector<dbf::Field> &fields, std::uint32_t count)
{
    const QDate today = Clock::today();
    std::string h = dbf::buildHeader(fields, today.year(), today.month(), today.day());
    dbf::storeRecordCount(reinterpret_cast<unsigned char *>(h.data()), count);
    return QByteArray(h.data(), qsizetype(h.size()));
}

// Holds the data folder of a table alone for a change of the whole file: no other
// connection may be attached meanwhile, since its snapshot and record numbers would no
// longer match, and the writer lock is held, a journal left by a dead writer played back
// first (packing the half-written files and then playing the journal over the packed
// ones would scramble them). A folder the thread already holds this way
// (Database::runExclusive) is taken as held.
class FolderAlone
{
public:
    FolderAlone(const QString &path, const QString &refusal)
        : m_folder(QDir::cleanPath(QFileInfo(path).absolutePath()))
    {
        m_held = Database::exclusiveLock(m_folder);
        if (m_held)
            return;
        try {
            m_lock = std::make_unique<FolderLock>(m_folder);
        } catch (const DbfError &) {
            return; // a folder we cannot write: the rewrite below fails with its own message
        }
        if (!m_lock->tryExclusive())
            throw DbfError(refusal);
        m_lock->lockWriter();
        m_held = m_lock.get();
    }

    // Tells every connection that the file changed as a whole.
    void changed(const QString &fileName)
    {
        if (!m_held)
            return; // readers still see the new size and time
        const QByteArray name = QFile::encodeName(fileName);
        try {
            m_held->bump(std::string(name.constData(), size_t(name.size())), true);
        } catch (const DbfError &) {
        }
    }

private:
    QString m_folder;
    std::unique_ptr<FolderLock> m_lock;
    FolderLock *m_held = nullptr;
};

// A new header for `fields` that keeps the bytes of the old one this layer does not own
// (language driver, flags, reserved bytes), so a foreign file's code page and marks survive.
QByteArray headerKeeping(const QByteArray &all, std::vector<dbf::Field> &fields, std::uint32_t count)
{
    QByteArray out = headerBytes(fields, count);
    for (int i : {12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 29, 30, 31})
        if (i < all.size() && i < out.size())
            out[i] = all[i];
    return out;
}

} // namespace

QString DbfColumn::sqlType() const
{
    QString sql;
    switch (type) {
    case 'C':
        sql = QStringLiteral("CHAR(%1)").arg(length);
        break;
    case 'N':
    case 'F':
        sql = QStringLiteral("DECIMAL(%1,%2)").arg(length).arg(decimals);
        break;
    case 'D':
        sql = QStringLiteral("DATE");
        break;
    case 'L':
        sql = QStringLiteral("BOOLEAN");
        break;
    case 'O':
        sql = QStringLiteral("DOUBLE");
        break;
    case '@':
        sql = QStringLiteral("TIMESTAMP");
        break;
    default:
        sql = QStringLiteral("INTEGER");
        break;
    }
    return name + QLatin1Char(' ') + sql;
}

DbfColumn toDbfColumn(const ColumnDef &column)
{
    return DbfColumn{QLatin1String(column.name), column.type, column.length, column.decimals};
}

bool createTable(const QString &path, const std::vector<ColumnDef> &columns)
{
    return createTable(path, fromColumnDefs(columns));
}

bool createTable(const QString &path, const QList<DbfColumn> &columns)
{
    const QFileInfo info(path);
    if (fileExistsNoCase(info.absolutePath(), info.fileName()))
        return false;
    std::vector<dbf::Field> fields = toFields(columns);
    dbf::checkNewFields(fields, utf8(info.fileName()));
    QByteArray bytes = headerBytes(fields, 0);
    bytes += dbf::EndOfFileMark;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (file.exists())
            return false;
        throw DbfError(QStringLiteral("Tabela %1 nu poate fi creata: %2").arg(info.fileName(), file.errorString()));
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString why = file.errorString();
        file.close();
        file.remove();
        throw DbfError(QStringLiteral("Tabela %1 nu poate fi creata: %2").arg(info.fileName(), why));
    }
    fileops::adoptFolderAccess(file.handle(), std::string(QFile::encodeName(info.absolutePath()).constData()));
    file.close();
    return true;
}

void addColumns(const QString &path, const std::vector<ColumnDef> &columns)
{
    addColumns(path, fromColumnDefs(columns));
}

void addColumns(const QString &path, const QList<DbfColumn> &columns)
{
    const QString name = fileNameOf(path);
    const QString refusal = QStringLiteral("Tabela %1 este folosita de alt calculator si nu poate fi modificata acum.").arg(name);
    FolderAlone alone(path, refusal);
    FileHandle file(path, true);
    file.lockWhole(refusal);
    const QByteArray all = file.readAll();
    const dbf::Header old = dbf::parseHeader(reinterpret_cast<const unsigned char *>(all.constData()),
                                             size_t(all.size()), std::uint64_t(all.size()), utf8(name));
    if (!old.writable())
        throw DbfError(QStringLiteral("Tabela %1 are un format care poate fi doar citit.").arg(name));

    std::vector<dbf::Field> fields = old.fields;
    bool added = false;
    for (const dbf::Field &f : toFields(columns)) {
        const int at = old.fieldIndex(f.name);
        if (at >= 0) {
            const dbf::Field &have = old.fields[size_t(at)];
            if (have.type != f.type || have.length != f.length || have.decimals != f.decimals)
                throw DbfError(QStringLiteral("Tabela %1 are deja coloana %2, de alt tip (%3).")
                                   .arg(name, QString::fromStdString(f.name),
                                        QString::fromStdString(dbf::fieldTypeText(have))));
            continue;
        }
        fields.push_back(f);
        added = true;
    }
    if (!added)
        return;
    dbf::checkNewFields(fields, utf8(name));
    QByteArray out = headerKeeping(all, fields, old.recordCount);
    const std::uint32_t newLength = std::uint32_t(fields.back().offset + fields.back().length);
    const QByteArray blanks(qsizetype(newLength - old.recordLength), ' ');
    out.reserve(out.size() + qsizetype(old.recordCount) * qsizetype(newLength) + 1);
    for (std::uint32_t r = 0; r < old.recordCount; ++r) {
        out.append(all.constData() + old.headerLength + size_t(r) * old.recordLength, qsizetype(old.recordLength));
        out.append(blanks);
    }
    out += dbf::EndOfFileMark;

    QSaveFile save(path);
    save.setDirectWriteFallback(false);
    // The new file replaces the table: it takes the folder's group and mode before it does.
    if (save.open(QIODevice::WriteOnly))
        fileops::adoptFolderAccess(save.handle(), std::string(QFile::encodeName(QFileInfo(path).absolutePath()).constData()));
    if (!save.isOpen() || save.write(out) != out.size() || !save.commit())
        throw DbfError(QStringLiteral("Tabela %1 nu poate fi rescrisa: %2").arg(name, save.errorString()));
    alone.changed(name);
}

qint64 packTable(const QString &path)
{
    const QString name = fileNameOf(path);
    const QString refusal = QStringLiteral("Tabela %1 este folosita de alt calculator si nu poate fi compactata acum.").arg(name);
    FolderAlone alone(path, refusal);
    FileHandle file(path, true);
    file.lockWhole(refusal);
    const QByteArray all = file.readAll();
    const dbf::Header h = dbf::parseHeader(reinterpret_cast<const unsigned char *>(all.constData()),
                                           size_t(all.size()), std::uint64_t(all.size()), utf8(name));
    if (!h.writable())
        throw DbfError(QStringLiteral("Tabela %1 are un format care poate fi doar citit.").arg(name));
    QByteArray records;
    std::uint32_t kept = 0;
    for (std::uint32_t r = 0; r < h.recordCount; ++r) {
        const char *rec = all.constData() + h.headerLength + size_t(r) * h.recordLength;
        if (*rec == dbf::DeletedFlag)
            continue;
        records.append(rec, qsizetype(h.recordLength));
        ++kept;
    }
    const qint64 dropped = qint64(h.recordCount) - kept;
    if (dropped == 0)
        return 0;
    QByteArray head = all.left(qsizetype(h.headerLength));
    auto *u = reinterpret_cast<unsigned char *>(head.data());
    dbf::storeRecordCount(u, kept);
    const QDate today = Clock::today();
    dbf::storeDate(u, today.year(), today.month(), today.day());
    QByteArray image = head + records;
    image += dbf::EndOfFileMark;

    // Written aside, synced, then renamed over the table: an interruption leaves either
    // the old table or the packed one, never a mix.
    const QString aside = path + QStringLiteral(".pak");
    {
        QFile copy(aside);
        if (copy.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fileops::adoptFolderAccess(copy.handle(), std::string(QFile::encodeName(QFileInfo(path).absolutePath()).constData()));
        if (!copy.isOpen() || copy.write(image) != image.size() ||
            !copy.flush() || fileops::fsyncFile(copy.handle()) != 0) {
            const QString why = copy.errorString();
            copy.close();
            QFile::remove(aside);
            throw DbfError(QStringLiteral("Tabela %1 nu poate fi compactata: %2").arg(name, why));
        }
    }
    const QByteArray from = QFile::encodeName(aside);
    const QByteArray to = QFile::encodeName(path);
    if (fileops::renameFile(from.constData(), to.constData()) != 0) {
        const QString why = osError(errno);
        QFile::remove(aside);
        throw DbfError(QStringLiteral("Tabela %1 nu poate fi compactata: %2").arg(name, why));
    }
    // The packed table is in place whatever follows: readers are told first.
    alone.changed(name);
    if (!fileops::syncFolder(std::string(QFile::encodeName(QFileInfo(path).absolutePath()).constData())))
        throw DbfError(QStringLiteral("Tabela %1 a fost compactata, dar dosarul ei nu poate fi scris pe disc: %2")
                           .arg(name, osError(errno)));
    return dropped;
}

void clearProductionIndexFlag(const QString &path)
{
    FileHandle file(path, true);
    const dbf::Header h = file.header();
    if (h.productionIndex == 0)
        return;
    const char zero = 0;
    file.write(&zero, 1, off_t(dbf::offset::ProductionIndex));
}

QList<DbfColumn> tableColumns(const QString &path)
{
    FileHandle file(path, false);
    QList<DbfColumn> out;
    for (const dbf::Field &f : file.header().fields)
        out << DbfColumn{QString::fromStdString(f.name), f.type, f.length, f.decimals};
    return out;
}

} // namespace vestronia
