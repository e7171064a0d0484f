// Writer and reader of the backup archive: one zlib stream per file, streamed through
// 64 KiB buffers so neither side holds a whole file in memory. The reader treats the
// archive as hostile input (names, sizes, streams are all checked); see archive.h.

#include "backup/archive.h"

#include "core/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace vestronia {

namespace {

constexpr qsizetype BufferSize = 64 * 1024;

QString describe(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void writeInt32(QSaveFile &out, qint32 value)
{
    const qint32 le = qToLittleEndian(value);
    if (out.write(reinterpret_cast<const char *>(&le), 4) != 4)
        throw FileError(QStringLiteral("Nu pot scrie in %1: %2").arg(describe(out.fileName()), out.errorString()));
}

void writeBytes(QSaveFile &out, const char *data, qint64 size)
{
    if (out.write(data, size) != size)
        throw FileError(QStringLiteral("Nu pot scrie in %1: %2").arg(describe(out.fileName()), out.errorString()));
}

// Owns a z_stream for deflating and always releases it.
class Deflater
{
public:
    Deflater()
    {
        if (deflateInit(&m_zs, 9) != Z_OK)
            throw ArchiveError(QStringLiteral("Nu pot porni compresia datelor."));
    }
    ~Deflater() { deflateEnd(&m_zs); }
    z_stream &zs() { return m_zs; }

private:
    z_stream m_zs{};
};

class Inflater
{
public:
    Inflater() : m_ok(inflateInit(&m_zs) == Z_OK) {}
    ~Inflater()
    {
        if (m_ok)
            inflateEnd(&m_zs);
    }
    bool ok() const { return m_ok; }
    z_stream &zs() { return m_zs; }

private:
    z_stream m_zs{};
    bool m_ok;
};

// Compresses exactly size bytes of the file into one zlib stream appended to out.
void deflateFile(QFile &in, qint64 size, QSaveFile &out)
{
    Deflater deflater;
    z_stream &zs = deflater.zs();
    std::vector<unsigned char> inBuf(BufferSize);
    std::vector<unsigned char> outBuf(BufferSize);
    qint64 remaining = size;
    int flush = Z_NO_FLUSH;
    do {
        const qint64 want = std::min<qint64>(BufferSize, remaining);
        const qint64 got = in.read(reinterpret_cast<char *>(inBuf.data()), want);
        if (got != want)
            throw ArchiveError(QStringLiteral("Fisierul %1 nu poate fi citit sau s-a modificat in timpul salvarii.")
                                   .arg(describe(in.fileName())));
        remaining -= got;
        flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = inBuf.data();
        zs.avail_in = uInt(got);
        do {
            zs.next_out = outBuf.data();
            zs.avail_out = uInt(outBuf.size());
            const int ret = deflate(&zs, flush);
            if (ret == Z_STREAM_ERROR)
                throw ArchiveError(QStringLiteral("Eroare la compresia fisierului %1.").arg(describe(in.fileName())));
            writeBytes(out, reinterpret_cast<const char *>(outBuf.data()), qint64(outBuf.size() - zs.avail_out));
        } while (zs.avail_out == 0);
    } while (flush != Z_FINISH);
}

// Buffered reading of the archive; the buffer is shared by the fixed fields and the zlib
// streams, so the bytes that follow the end of a stream are the next entry's.
class Input
{
public:
    explicit Input(QIODevice &device) : m_device(device), m_buf(BufferSize) {}

    // Makes at least one unread byte available; false at the end of the data.
    bool fill()
    {
        if (m_pos < m_len)
            return true;
        const qint64 got = m_device.read(reinterpret_cast<char *>(m_buf.data()), qint64(m_buf.size()));
        if (got <= 0)
            return false;
        m_pos = 0;
        m_len = size_t(got);
        return true;
    }
    bool readExact(char *dst, qint64 size)
    {
        while (size > 0) {
            if (!fill())
                return false;
            const size_t take = size_t(std::min<qint64>(size, qint64(m_len - m_pos)));
            std::copy_n(m_buf.data() + m_pos, take, dst);
            m_pos += take;
            dst += take;
            size -= qint64(take);
        }
        return true;
    }
    bool readInt32(qint32 &value)
    {
        char raw[4];
        if (!readExact(raw, 4))
            return false;
        value = qFromLittleEndian<qint32>(raw);
        return true;
    }
    unsigned char *data() { return m_buf.data() + m_pos; }
    size_t available() const { return m_len - m_pos; }
    void consume(size_t n) { m_pos += n; }

private:
    QIODevice &m_device;
    std::vector<unsigned char> m_buf;
    size_t m_pos = 0;
    size_t m_len = 0;
};

// What became of one entry's stream.
enum class StreamEnd {
    Complete,  // the stream ended after exactly the declared size
    WrongSize, // the stream ended, but short of the declared size
    Lost,      // broken, cut off or longer than declared: where the next entry starts is unknown
};

// Inflates one stream, handing at most size bytes to write (which may be null to skip).
// writeFailed is set when write returned false; inflation then goes on to the stream's end.
template <typename Write>
StreamEnd inflateEntry(Input &input, qint64 size, Write &&write, bool &writeFailed, QString &reason)
{
    Inflater inflater;
    if (!inflater.ok()) {
        reason = QStringLiteral("nu pot porni decompresia");
        return StreamEnd::Lost;
    }
    z_stream &zs = inflater.zs();
    std::vector<unsigned char> outBuf(BufferSize);
    qint64 produced = 0;
    for (;;) {
        if (!input.fill()) {
            reason = QStringLiteral("datele se termina inainte de sfarsitul fisierului");
            return StreamEnd::Lost;
        }
        const size_t offered = input.available();
        zs.next_in = input.data();
        zs.avail_in = uInt(offered);
        // One byte of room beyond the declared size shows a stream that goes on too long.
        const qint64 room = std::min<qint64>(BufferSize, size - produced + 1);
        zs.next_out = outBuf.data();
        zs.avail_out = uInt(room);
        const int ret = inflate(&zs, Z_NO_FLUSH);
        input.consume(offered - zs.avail_in);
        const qint64 got = room - qint64(zs.avail_out);
        produced += got;
        if (produced > size) {
            reason = QStringLiteral("contine mai multe date decat declara");
            return StreamEnd::Lost;
        }
        if (got > 0 && !writeFailed && !write(reinterpret_cast<const char *>(outBuf.data()), got))
            writeFailed = true;
        if (ret == Z_STREAM_END)
            break;
        if (ret != Z_OK && ret != Z_BUF_ERROR) {
            reason = QStringLiteral("datele comprimate sunt deteriorate");
            return StreamEnd::Lost;
        }
    }
    if (produced != size) {
        reason = QStringLiteral("contine mai putine date decat declara");
        return StreamEnd::WrongSize;
    }
    return StreamEnd::Complete;
}

} // namespace

bool isPlainEntryName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20
            || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

QStringList archiveFileList(const QString &folder)
{
    QStringList names;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &info : entries)
        if (info.isFile() && !info.isSymLink() && info.size() > 0)
            names << info.fileName();
    return names;
}

int writeArchive(const QString &sourceFolder, const QString &archivePath, Progress &progress)
{
    const QStringList files = archiveFileList(sourceFolder);
    if (files.isEmpty())
        return 0;
    if (files.size() > ArchiveLimits::MaxEntries)
        throw ArchiveError(QStringLiteral("Dosarul %1 are prea multe fisiere pentru o salvare.").arg(describe(sourceFolder)));

    QSaveFile out(archivePath);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Nu pot crea fisierul %1: %2").arg(describe(archivePath), out.errorString()));
    progress.setTotal(int(files.size()));
    progress.start();
    writeInt32(out, qint32(files.size()));
    for (const QString &name : files) {
        const QString path = QDir(sourceFolder).filePath(name);
        if (!isPlainEntryName(name) || !fitsCp1250(name) || toCp1250(name).size() > ArchiveLimits::MaxNameLength)
            throw ArchiveError(QStringLiteral("Numele fisierului %1 nu poate fi pus intr-o salvare.").arg(describe(path)));
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            throw ArchiveError(QStringLiteral("Nu pot citi fisierul %1: %2").arg(describe(path), in.errorString()));
        const qint64 size = in.size();
        if (size > ArchiveLimits::MaxEntrySize)
            throw ArchiveError(QStringLiteral("Fisierul %1 este prea mare pentru o salvare.").arg(describe(path)));
        const QByteArray rawName = toCp1250(name);
        writeInt32(out, qint32(rawName.size()));
        writeBytes(out, rawName.constData(), rawName.size());
        writeInt32(out, qint32(size));
        deflateFile(in, size, out);
        progress.step();
    }
    if (!out.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(describe(archivePath), out.errorString()));
    return int(files.size());
}

bool readArchive(const QString &archivePath, const QString &targetFolder, Progress &progress, QString *error)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Nu pot deschide salvarea %1: %2").arg(describe(archivePath), file.errorString());
        return false;
    }
    return readArchive(file, targetFolder, progress, error);
}

bool readArchive(QIODevice &archive, const QString &targetFolder, Progress &progress, QString *error)
{
    bool ok = true;
    auto fail = [&](const QString &reason) {
        if (ok && error)
            *error = reason;
        ok = false;
    };

    if (!QDir().mkpath(targetFolder)) {
        fail(QStringLiteral("Nu pot crea dosarul %1.").arg(describe(targetFolder)));
        return false;
    }
    Input input(archive);
    qint32 count = 0;
    if (!input.readInt32(count)) {
        fail(QStringLiteral("Salvarea este goala sau trunchiata."));
        return false;
    }
    if (count < 0 || count > ArchiveLimits::MaxEntries) {
        fail(QStringLiteral("Salvarea declara un numar imposibil de fisiere (%1).").arg(count));
        return false;
    }
    progress.setTotal(count);
    progress.start();

    qint64 total = 0;
    for (qint32 index = 1; index <= count; ++index) {
        const QString where = QStringLiteral("Fisierul %1 din salvare").arg(index);
        qint32 nameLength = 0;
        if (!input.readInt32(nameLength)) {
            fail(where + QStringLiteral(" lipseste: salvarea este trunchiata."));
            return false;
        }
        if (nameLength <= 0 || nameLength > ArchiveLimits::MaxNameLength) {
            fail(where + QStringLiteral(" are un nume de lungime imposibila (%1).").arg(nameLength));
            return false;
        }
        QByteArray rawName(nameLength, Qt::Uninitialized);
        qint32 size = 0;
        if (!input.readExact(rawName.data(), nameLength) || !input.readInt32(size)) {
            fail(where + QStringLiteral(" lipseste: salvarea este trunchiata."));
            return false;
        }
        const QString name = rawName.contains('\0') ? QString() : fromCp1250(rawName);
        if (size < 0 || size > ArchiveLimits::MaxEntrySize || total + size > ArchiveLimits::MaxTotalSize) {
            fail(where + QStringLiteral(" (%1) declara o marime imposibila (%2).").arg(name).arg(size));
            return false;
        }
        total += size;

        const bool plain = isPlainEntryName(name);
        if (!plain)
            fail(where + QStringLiteral(" are un nume nepermis: %1").arg(name));

        std::unique_ptr<QSaveFile> out;
        if (plain) {
            const QString path = QDir(targetFolder).filePath(name);
            const QFileInfo existing(path);
            // A link planted in the target folder would send the data elsewhere.
            if (existing.isSymLink())
                QFile::remove(path);
            if (QFileInfo(path).isDir()) {
                fail(where + QStringLiteral(": %1 este un dosar.").arg(describe(path)));
            } else {
                out = std::make_unique<QSaveFile>(path);
                if (!out->open(QIODevice::WriteOnly)) {
                    fail(QStringLiteral("Nu pot crea fisierul %1: %2").arg(describe(path), out->errorString()));
                    out.reset();
                }
            }
        }

        bool writeFailed = false;
        QString reason;
        const StreamEnd end = inflateEntry(
            input, size,
            [&](const char *data, qint64 length) { return out && out->write(data, length) == length; },
            writeFailed, reason);
        if (end != StreamEnd::Complete)
            fail(where + QStringLiteral(" (%1) ").arg(name) + reason + QLatin1Char('.'));
        if (out) {
            if (end == StreamEnd::Complete && !writeFailed) {
                if (!out->commit())
                    fail(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(describe(out->fileName()), out->errorString()));
            } else {
                if (writeFailed)
                    fail(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(describe(out->fileName()), out->errorString()));
                out->cancelWriting(); // the old file, if any, stays as it was
            }
        }
        progress.step();
        if (end == StreamEnd::Lost)
            return false;
    }
    return ok;
}

} // namespace vestronia
