// Packet framing, login record, stream announcement and the bounded state of streams
// and pings for the backup transport. Pure bytes: no socket, no event loop.

#include "backup/packetcodec.h"

#include <QtEndian>

namespace vestronia::packet {

namespace {

void putU32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

quint32 getU32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

} // namespace

QByteArray encode(quint32 type, const QByteArray &payload)
{
    QByteArray out;
    out.reserve(HeaderSize + payload.size());
    putU32(out, quint32(HeaderSize + payload.size()));
    putU32(out, type);
    out.append(payload);
    return out;
}

QByteArray encodeStreamAnnounce(quint32 size, const QByteArray &description)
{
    QByteArray out;
    putU32(out, size);
    out.append(description);
    return out;
}

bool decodeStreamAnnounce(const QByteArray &payload, quint32 &size, QByteArray &description)
{
    if (payload.size() < 4)
        return false;
    size = getU32(payload.constData());
    description = payload.mid(4);
    return true;
}

QByteArray encodeString(const QByteArray &text)
{
    QByteArray out;
    if (text.size() <= 255) {
        out.append(char(6));
        out.append(char(quint8(text.size())));
    } else {
        out.append(char(12));
        putU32(out, quint32(text.size()));
    }
    out.append(text);
    return out;
}

QByteArray encodeLogin(const QByteArray &userName, const QByteArray &room)
{
    return encodeString(userName) + encodeString(room);
}

namespace {

bool takeString(const QByteArray &in, qsizetype &pos, QByteArray &out, quint32 maxString)
{
    if (pos >= in.size())
        return false;
    const quint8 marker = quint8(in.at(pos++));
    quint64 length = 0;
    if (marker == 6) {
        if (pos >= in.size())
            return false;
        length = quint8(in.at(pos++));
    } else if (marker == 12) {
        if (in.size() - pos < 4)
            return false;
        length = getU32(in.constData() + pos);
        pos += 4;
    } else {
        return false;
    }
    if (length > maxString || quint64(in.size() - pos) < length)
        return false;
    out = in.mid(pos, qsizetype(length));
    pos += qsizetype(length);
    return true;
}

} // namespace

bool decodeLogin(const QByteArray &payload, QByteArray &userName, QByteArray &room, quint32 maxString)
{
    qsizetype pos = 0;
    return takeString(payload, pos, userName, maxString) && takeString(payload, pos, room, maxString);
}

std::optional<Packet> Decoder::next()
{
    const qsizetype available = m_buffer.size() - m_start;
    if (available < qsizetype(HeaderSize)) {
        if (m_start > 0 && available == 0)
            clear();
        return std::nullopt;
    }
    const char *head = m_buffer.constData() + m_start;
    const quint32 length = getU32(head);
    if (length < HeaderSize)
        throw ProtocolError(QStringLiteral("Pachet cu lungime gresita (%1 octeti).").arg(length));
    if (length > m_maxPacket)
        throw ProtocolError(QStringLiteral("Pachet prea mare (%1 octeti).").arg(length));
    if (available < qsizetype(length))
        return std::nullopt;
    Packet p;
    p.type = getU32(head + 4);
    p.payload = QByteArray(head + HeaderSize, qsizetype(length - HeaderSize));
    m_start += length;
    // Drop what was dispatched once it is most of the buffer, so a long session does not
    // copy the same bytes again and again.
    if (m_start == m_buffer.size())
        clear();
    else if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    return p;
}

void Decoder::clear()
{
    m_buffer.clear();
    m_start = 0;
}

StreamSender::StreamSender(QIODevice *device) : m_device(device)
{
    if (!m_device || !m_device->isReadable() || m_device->size() < 0 || m_device->size() > qint64(0xFFFFFFFFu))
        throw ProtocolError(QStringLiteral("Error, invalid stream while trying to send!"));
    m_size = quint32(m_device->size());
}

QByteArray StreamSender::nextBlock()
{
    if (finished())
        throw ProtocolError(QStringLiteral("Error while sending stream! Stream position is in the end of the stream!"));
    const qint64 want = qMin<qint64>(MaxBlock, qint64(m_size - m_sent));
    QByteArray block = m_device->read(want);
    if (block.size() != want)
        throw ProtocolError(QStringLiteral("Error, invalid stream while trying to send!"));
    m_sent += quint64(block.size());
    return block;
}

bool StreamReceiver::start(quint32 size, quint64 maxSize)
{
    reset();
    if (size > maxSize)
        return false;
    m_active = true;
    m_size = size;
    return true;
}

void StreamReceiver::addBlock(qsizetype blockSize)
{
    if (!m_active)
        throw ProtocolError(QStringLiteral("Bloc de date in afara unui flux."));
    if (blockSize > qsizetype(MaxBlock))
        throw ProtocolError(QStringLiteral("Bloc de date prea mare (%1 octeti).").arg(blockSize));
    if (m_received + quint64(blockSize) > m_size)
        throw ProtocolError(QStringLiteral("Fluxul depaseste marimea anuntata."));
    m_received += quint64(blockSize);
}

void StreamReceiver::reset()
{
    m_active = false;
    m_size = 0;
    m_received = 0;
}

bool PingState::tick()
{
    const bool timedOut = m_waiting;
    if (timedOut)
        ++m_missed;
    m_waiting = true;
    return timedOut;
}

void PingState::pong()
{
    m_waiting = false;
    m_missed = 0;
}

QString socketErrorText(int code)
{
    switch (code) {
    case 10004: return QStringLiteral("Interrupted system call");
    case 10013: return QStringLiteral("Permission denied");
    case 10014: return QStringLiteral("Bad address");
    case 10024: return QStringLiteral("Too many open files");
    case 10035: return QStringLiteral("Operation would block");
    case 10048: return QStringLiteral("Address already in use");
    case 10049: return QStringLiteral("Cannot assign requested address");
    case 10050: return QStringLiteral("Network is down");
    case 10051: return QStringLiteral("Network is unreachable");
    case 10053: return QStringLiteral("Software caused connection abort");
    case 10054: return QStringLiteral("Connection reset by peer");
    case 10057: return QStringLiteral("Socket is not connected");
    case 10060: return QStringLiteral("Connection timed out");
    case 10061: return QStringLiteral("Connection refused");
    case 10064: return QStringLiteral("Host is down");
    case 10065: return QStringLiteral("No route to host");
    case 11001: return QStringLiteral("Host not found");
    case 11002: return QStringLiteral("Non-authoritative host not found");
    default: return QStringLiteral("Unkown error was encountered!");
    }
}

} // namespace vestronia::packet
