#pragma once
// The byte-level packet codec of the backup transport: an 8-byte header (total length,
// type; little-endian) and a payload. Cuts packets out of a byte stream that may arrive
// in any pieces, builds the login record and the stream announcement, and keeps the
// bounded state of one stream in each direction and of the keep-alive pings. Nothing
// here touches a socket, so the framing is tested and fuzzed without a network.

#include "core/error.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <optional>

namespace vestronia {

// A frame or a stream that breaks the protocol: the connection must be dropped.
class ProtocolError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

namespace packet {

enum Type : quint32 {
    NeedMoreData = 1,
    NewStream = 2,
    DenyStream = 4,
    AcceptStream = 5,
    StopReceivingStream = 6,
    StopSendingStream = 7,
    Message = 8,
    Ping = 9,
    Pong = 10,
    Login = 11,
    LoginRequest = 12,
    DisconnectAll = 13,
    DisconnectYou = 14,
    KickYouOut = 15,
    NameInUse = 16,
    NotLetIn = 17,
    LoginAccepted = 18,
    StreamBlock = 19,
    StreamReceived = 20,
    NameList = 21,
    ClientJoin = 22,
    ClientLeave = 23,
    FromClient = 24,
};

// Header on the wire:
//   offset 0, 4 bytes: total length, header included (8 + payload length)
//   offset 4, 4 bytes: packet type
constexpr quint32 HeaderSize = 8;
// Largest block of a stream.
constexpr quint32 MaxBlock = 65535;
// Largest packet either side accepts: a full block with its header and some room for
// text packets. Anything longer is a broken or hostile peer.
constexpr quint32 DefaultMaxPacket = 256 * 1024;

struct Packet
{
    quint32 type = 0;
    QByteArray payload;
};

QByteArray encode(quint32 type, const QByteArray &payload = {});

// Stream announcement payload: 4-byte size + description text.
QByteArray encodeStreamAnnounce(quint32 size, const QByteArray &description);
// False when the payload is shorter than the size field.
bool decodeStreamAnnounce(const QByteArray &payload, quint32 &size, QByteArray &description);

// Serialized string: up to 255 bytes as 6, length byte, bytes; longer as 12, 4-byte
// length, bytes. The login record is the user name followed by the room.
QByteArray encodeString(const QByteArray &text);
QByteArray encodeLogin(const QByteArray &userName, const QByteArray &room);
// False when the record is cut short, has an unknown marker or a string longer than
// maxString.
bool decodeLogin(const QByteArray &payload, QByteArray &userName, QByteArray &room, quint32 maxString = 4096);

// Cuts packets out of the received bytes. feed() appends; next() returns the next
// complete packet or nothing while more bytes are needed. Throws ProtocolError for a
// length below 8 or above the bound, so a peer cannot make us buffer without limit.
class Decoder
{
public:
    explicit Decoder(quint32 maxPacket = DefaultMaxPacket) : m_maxPacket(maxPacket) {}
    void feed(const char *data, qsizetype size) { m_buffer.append(data, size); }
    void feed(const QByteArray &bytes) { m_buffer.append(bytes); }
    std::optional<Packet> next();
    qsizetype buffered() const { return m_buffer.size() - m_start; }
    void clear();

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // bytes of m_buffer already dispatched
    quint32 m_maxPacket;
};

// The sending side of one stream: blocks of at most MaxBlock bytes read from a device.
class StreamSender
{
public:
    // The device must stay open while blocks are sent; its size is the stream size.
    // Throws ProtocolError "Error, invalid stream while trying to send!" when the device
    // is not readable or larger than 4 GiB - 1.
    explicit StreamSender(QIODevice *device);
    quint32 size() const { return m_size; }
    quint64 sent() const { return m_sent; }
    bool finished() const { return m_sent >= m_size; }
    // The next block. Throws ProtocolError "Error while sending stream! Stream position
    // is in the end of the stream!" when nothing is left, and a read failure as
    // "Error, invalid stream while trying to send!".
    QByteArray nextBlock();

private:
    QIODevice *m_device;
    quint32 m_size = 0;
    quint64 m_sent = 0;
};

// The receiving side of one stream: counts blocks against the announced size.
class StreamReceiver
{
public:
    // Refuses (returns false) a size above maxSize; a stream of size 0 is complete at once.
    bool start(quint32 size, quint64 maxSize);
    bool active() const { return m_active; }
    quint32 size() const { return m_size; }
    quint64 received() const { return m_received; }
    bool complete() const { return m_active && m_received >= m_size; }
    // Counts a block. Throws ProtocolError for a block larger than MaxBlock, a block
    // outside a stream, or one that goes past the announced size.
    void addBlock(qsizetype blockSize);
    void reset();

private:
    bool m_active = false;
    quint32 m_size = 0;
    quint64 m_received = 0;
};

// Keep-alive: tick() at every ping interval says whether the previous ping went
// unanswered (a time-out to report) and that a new ping is due; pong() clears it.
class PingState
{
public:
    bool tick();
    void pong();
    int missed() const { return m_missed; }

private:
    bool m_waiting = false;
    int m_missed = 0;
};

// Standard texts of socket error codes; "Unkown error was encountered!" for others.
QString socketErrorText(int code);

} // namespace packet
} // namespace vestronia
