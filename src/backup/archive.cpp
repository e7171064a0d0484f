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
        m_base = m_device.pos();
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

    // Offset in the device of the next unread byte.
    qint64 position() const { return m_base + qint64(m_pos); }
    bool canSeek() const { return !m_device.isSequential(); }
    // Goes on reading at offset; false when the device cannot go there.
    bool reposition(qint64 offset)
    {
        m_pos = m_len = 0;
        m_base = offset;
        return m_device.seek(offset);
    }
    QIODevice &device() { return m_device; }

private:
    QIODevice &m_device;
    std::vector<unsigned char> m_buf;
    size_t m_pos = 0;
    size_t m_len = 0;
    qint64 m_base = 0;
};

// Whether bytes at p (n available) look like the start of an entry as our writer makes
// it: a plausible name length, a plain name, a bounded size and a zlib header.
bool looksLikeEntry(const unsigned char *p, size_t n)
{
    if (n < 4)
        return false;
    const qint32 length = qFromLittleEndian<qint32>(p);
    if (length <= 0 || length > ArchiveLimits::MaxNameLength || n < size_t(length) + 10)
        return false;
    for (qint32 i = 0; i < length; ++i)
        if (p[4 + i] < 0x20 || p[4 + i] == 0x7F || p[4 + i] == '/' || p[4 + i] == '\\' || p[4 + i] == ':')
            return false;
    const qint32 size = qFromLittleEndian<qint32>(p + 4 + length);
    if (size < 0 || size > ArchiveLimits::MaxEntrySize)
        return false;
    const unsigned cmf = p[8 + length];
    const unsigned flg = p[9 + length];
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0 && !(flg & 0x20);
}

// Looks for the next entry header at or after offset; -1 when there is none. Scans the
// rest of the archive once, in overlapping windows, so its cost is one read of the file.
qint64 findNextEntry(QIODevice &device, qint64 offset)
{
    constexpr qint64 Window = 256 * 1024;
    constexpr qint64 Overlap = ArchiveLimits::MaxNameLength + 10;
    std::vector<unsigned char> buf(size_t(Window + Overlap));
    for (;;) {
        if (!device.seek(offset))
            return -1;
        const qint64 got = device.read(reinterpret_cast<char *>(buf.data()), Window + Overlap);
        if (got <= 0)
            return -1;
        const qint64 last = got > Overlap ? std::min(got, Window) : got;
        for (qint64 i = 0; i < last; ++i)
            if (looksLikeEntry(buf.data() + i, size_t(got - i)))
                return offset + i;
        if (got <= Window)
            return -1;
        offset += Window;
    }
}

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

// Replaces characters the archive's code page lacks; see archiveEntryName.
QString foldForArchive(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        switch (c.unicode()) {
        case 0x0219: out += QChar(0x015F); continue; // s comma below -> s cedilla
        case 0x0218: out += QChar(0x015E); continue;
        case 0x021B: out += QChar(0x0163); continue; // t comma below -> t cedilla
        case 0x021A: out += QChar(0x0162); continue;
        default: break;
        }
        const bool bad = c.unicode() < 0x20 || c.unicode() == 0x7F || c == QLatin1Char('/') || c == QLatin1Char('\\')
                         || c == QLatin1Char(':') || c.isSurrogate() || !fitsCp1250(QString(c));
        out += bad ? QLatin1Char('_') : c;
    }
    return out;
}

// name shortened to at most maxBytes code-page bytes, keeping its extension when it can.
QString shortenName(const QString &name, qsizetype maxBytes)
{
    if (name.size() <= maxBytes) // one byte per character in code page 1250
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    return name.left(maxBytes - ext.size()) + ext;
}

} // namespace

QString archiveEntryName(const QString &fileName)
{
    QString name = shortenName(foldForArchive(fileName), ArchiveLimits::MaxNameLength);
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.isEmpty())
        name = QStringLiteral("_");
    return name;
}

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
    for (const QFileInfo &info : entries) {
        // The lock file, the journal (also one left half-written under its temporary name) and
        // a restore's mark belong to the workstations using the folder now, not to its data.
        const QString name = info.fileName();
        if (name.compare(QLatin1String("Vestronia.lck"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("Vestronia.jrn"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("Vestronia.jrn.tmp"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("Vestronia.rst"), Qt::CaseInsensitive) == 0)
            continue;
        if (info.isFile() && !info.isSymLink() && info.size() > 0)
            names << name;
    }
    return names;
}

int writeArchive(const QString &sourceFolder, const QString &archivePath, Progress &progress, QStringList *renamed)
{
    const QStringList files = archiveFileList(sourceFolder);
    if (files.isEmpty())
        return 0;
    if (files.size() > ArchiveLimits::MaxEntries)
        throw ArchiveError(QStringLiteral("Dosarul %1 are prea multe fisiere pentru o salvare.").arg(describe(sourceFolder)));

    // The stored names first, so a folded name never collides with another entry.
    QStringList stored;
    for (const QString &name : files) {
        QString entryName = archiveEntryName(name);
        const QString base = QFileInfo(entryName).completeBaseName();
        const QString suffix = QFileInfo(entryName).suffix();
        for (int n = 1; entryName != name && stored.contains(entryName, Qt::CaseInsensitive); ++n) {
            const QString tag = QStringLiteral("~") + QString::number(n);
            entryName = shortenName(base + tag + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix),
                                    ArchiveLimits::MaxNameLength);
        }
        stored << entryName;
    }

    QSaveFile out(archivePath);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Nu pot crea fisierul %1: %2").arg(describe(archivePath), out.errorString()));
    progress.setTotal(int(files.size()));
    progress.start();
    writeInt32(out, qint32(files.size()));
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString &name = files[i];
        const QString path = QDir(sourceFolder).filePath(name);
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            throw ArchiveError(QStringLiteral("Nu pot citi fisierul %1: %2").arg(describe(path), in.errorString()));
        const qint64 size = in.size();
        if (size > ArchiveLimits::MaxEntrySize)
            throw ArchiveError(QStringLiteral("Fisierul %1 este prea mare pentru o salvare.").arg(describe(path)));
        const QByteArray rawName = toCp1250(stored[i]);
        writeInt32(out, qint32(rawName.size()));
        writeBytes(out, rawName.constData(), rawName.size());
        writeInt32(out, qint32(size));
        deflateFile(in, size, out);
        progress.step();
    }
    if (!out.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(describe(archivePath), out.errorString()));
    if (renamed)
        for (qsizetype i = 0; i < files.size(); ++i)
            if (stored[i] != files[i])
                *renamed << files[i] + QStringLiteral(" -> ") + stored[i];
    return int(files.size());
}

bool readArchive(const QString &archivePath, const QString &targetFolder, Progress &progress, QString *error,
                 QStringList *unreadable)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Nu pot deschide salvarea %1: %2").arg(describe(archivePath), file.errorString());
        if (unreadable)
            *unreadable << QFileInfo(archivePath).fileName();
        return false;
    }
    return readArchive(file, targetFolder, progress, error, unreadable);
}

namespace {

// The reader behind readArchive and archiveReadsWhole; an empty target folder only
// checks the entries.
bool readEntries(QIODevice &archive, const QString &targetFolder, Progress &progress, QString *error,
                 QStringList *unreadable)
{
    bool ok = true;
    auto fail = [&](const QString &reason) {
        if (ok && error)
            *error = reason;
        ok = false;
    };
    const bool verifyOnly = targetFolder.isEmpty();

    if (!verifyOnly && !QDir().mkpath(targetFolder)) {
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

    // Goes on at the next entry header found after offset; false when there is none.
    // Real damage touches an entry or two; the bound keeps a forged archive full of false
    // headers from making the reader scan it over and over.
    int resyncsLeft = ArchiveLimits::MaxResyncs;
    auto resync = [&](qint64 offset) {
        if (!input.canSeek() || resyncsLeft-- <= 0)
            return false;
        const qint64 next = findNextEntry(input.device(), offset);
        return next >= 0 && input.reposition(next);
    };

    qint64 total = 0;
    for (qint32 index = 1; index <= count; ++index) {
        const QString where = QStringLiteral("Fisierul %1 din salvare").arg(index);
        const qint64 headerAt = input.position();
        qint32 nameLength = 0;
        if (!input.readInt32(nameLength)) {
            fail(where + QStringLiteral(" lipseste: salvarea este trunchiata."));
            if (unreadable)
                *unreadable << where;
            return false;
        }
        QByteArray rawName;
        qint32 size = 0;
        bool headerOk = nameLength > 0 && nameLength <= ArchiveLimits::MaxNameLength;
        if (!headerOk) {
            fail(where + QStringLiteral(" are un nume de lungime imposibila (%1).").arg(nameLength));
        } else {
            rawName = QByteArray(nameLength, Qt::Uninitialized);
            if (!input.readExact(rawName.data(), nameLength) || !input.readInt32(size)) {
                fail(where + QStringLiteral(" lipseste: salvarea este trunchiata."));
                if (unreadable)
                    *unreadable << where;
                return false;
            }
        }
        const QString name = !headerOk || rawName.contains('\0') ? QString() : fromCp1250(rawName);
        if (headerOk && (size < 0 || size > ArchiveLimits::MaxEntrySize || total + size > ArchiveLimits::MaxTotalSize)) {
            fail(where + QStringLiteral(" (%1) declara o marime imposibila (%2).").arg(name).arg(size));
            headerOk = false;
        }
        if (!headerOk) {
            if (unreadable)
                *unreadable << (name.isEmpty() ? where : name);
            progress.step();
            if (!resync(headerAt + 1))
                return false;
            continue;
        }
        total += size;

        const bool plain = isPlainEntryName(name);
        if (!plain)
            fail(where + QStringLiteral(" are un nume nepermis: %1").arg(name));

        std::unique_ptr<QSaveFile> out;
        if (plain && !verifyOnly) {
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
        const qint64 streamAt = input.position();
        const StreamEnd end = inflateEntry(
            input, size,
            [&](const char *data, qint64 length) {
                return verifyOnly ? plain : out && out->write(data, length) == length;
            },
            writeFailed, reason);
        if (end != StreamEnd::Complete)
            fail(where + QStringLiteral(" (%1) ").arg(name) + reason + QLatin1Char('.'));
        bool unpacked = plain && end == StreamEnd::Complete && !writeFailed;
        if (out) {
            if (unpacked) {
                if (!out->commit()) {
                    fail(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(describe(out->fileName()), out->errorString()));
                    unpacked = false;
                }
            } else {
                if (writeFailed)
                    fail(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(describe(out->fileName()), out->errorString()));
                out->cancelWriting(); // the old file, if any, stays as it was
            }
        } else if (!verifyOnly) {
            unpacked = false;
        }
        if (!unpacked && unreadable)
            *unreadable << (name.isEmpty() ? where : name);
        progress.step();
        if (end == StreamEnd::Lost && !resync(streamAt + 1))
            return false;
    }
    return ok;
}

} // namespace

bool readArchive(QIODevice &archive, const QString &targetFolder, Progress &progress, QString *error,
                 QStringList *unreadable)
{
    if (targetFolder.isEmpty()) {
        if (error)
            *error = QStringLiteral("Lipseste dosarul in care se desface salvarea.");
        return false;
    }
    return readEntries(archive, targetFolder, progress, error, unreadable);
}

bool archiveReadsWhole(const QString &archivePath, QStringList *unreadable)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    NullProgress quiet;
    return readEntries(file, QString(), quiet, nullptr, unreadable);
}

} // namespace vestronia
