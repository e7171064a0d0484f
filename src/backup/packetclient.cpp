// The packet transport's client over QTcpSocket. Qt's socket already buffers what the
// kernel does not take, so sending appends a packet and returns; flow control of large
// streams is the block-per-request rule, which keeps the send buffer to one block.

#include "backup/packetclient.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTcpSocket>

namespace vestronia {

namespace {

// Socket errors as the numbers the messages of the program were written for.
int legacyCode(QAbstractSocket::SocketError e)
{
    switch (e) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::RemoteHostClosedError: return 10054;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10024;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::AddressInUseError: return 10048;
    default: return -1;
    }
}

} // namespace

PacketClient::PacketClient(QObject *parent) : QObject(parent)
{
    connect(&m_pingTimer, &QTimer::timeout, this, &PacketClient::onPingTick);
}

PacketClient::~PacketClient()
{
    m_destroying = true;
    disconnectFromServer();
}

bool PacketClient::isConnected() const
{
    return m_socket != nullptr;
}

void PacketClient::connectToServer()
{
    if (userName.isEmpty() || room.isEmpty())
        throw ProtocolError(QStringLiteral("Room and username must be specified before connecting!"));
    disconnectFromServer();
    m_decoder.clear();
    m_incoming.reset();
    m_ping = {};
    QSslSocket *ssl = tls ? new QSslSocket(this) : nullptr;
    m_socket = ssl ? ssl : new QTcpSocket(this);
    if (ssl) {
        connect(ssl, &QSslSocket::sslErrors, this, [this, ssl](const QList<QSslError> &errors) {
            // A pinned certificate stands in for the authorities (a self-signed one, say);
            // anything else is left to fail the handshake.
            if (!pinnedSha256.isEmpty() && pinMatches())
                ssl->ignoreSslErrors(errors);
        });
        connect(ssl, &QSslSocket::encrypted, this, [this] {
            if (!pinnedSha256.isEmpty() && !pinMatches())
                fail(QStringLiteral("Certificatul serverului nu este cel asteptat."), 0);
        });
    }
    connect(m_socket, &QTcpSocket::readyRead, this, &PacketClient::onReadyRead);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Q_EMIT connected();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        onReadyRead();
        disconnectFromServer();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError) {
            // A close from the other side: what arrived before it is still dispatched.
            onReadyRead();
            disconnectFromServer();
            return;
        }
        const int code = legacyCode(e);
        fail(code > 0 ? packet::socketErrorText(code) : m_socket->errorString(), code);
    });
    // Small answers (one per block) must not wait for the peer's delayed acknowledgement.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (ssl)
        ssl->connectToHostEncrypted(host, port);
    else
        m_socket->connectToHost(host, port);
    m_pingTimer.start(maxPing);
}

bool PacketClient::pinMatches() const
{
    const auto *ssl = qobject_cast<QSslSocket *>(m_socket);
    if (!ssl || ssl->peerCertificate().isNull())
        return false;
    QByteArray pin = pinnedSha256.trimmed().toLower();
    pin.replace(':', "");
    return ssl->peerCertificate().digest(QCryptographicHash::Sha256).toHex() == pin;
}

void PacketClient::disconnectFromServer()
{
    m_pingTimer.stop();
    if (!m_socket)
        return;
    QTcpSocket *s = m_socket;
    m_socket = nullptr;
    s->disconnect(this);
    s->flush(); // the last small packet (stream received) still goes out
    s->abort();
    s->deleteLater();
    m_decoder.clear();
    m_incoming.reset();
    if (!m_destroying)
        Q_EMIT disconnected();
}

void PacketClient::fail(const QString &message, int code)
{
    disconnectFromServer();
    Q_EMIT errorOccurred(message, code);
}

void PacketClient::sendPacket(quint32 type, const QByteArray &payload)
{
    if (m_socket)
        m_socket->write(packet::encode(type, payload));
}

void PacketClient::announceStream(quint32 size, const QByteArray &description)
{
    sendPacket(packet::NewStream, packet::encodeStreamAnnounce(size, description));
}

void PacketClient::sendNextBlock(packet::StreamSender &sender)
{
    sendPacket(packet::StreamBlock, sender.nextBlock());
}

void PacketClient::acceptStream()
{
    if (!m_incoming.start(m_pendingSize, maxIncomingStream)) {
        denyStream();
        return;
    }
    m_description = m_pendingDescription;
    sendPacket(packet::AcceptStream);
    if (m_incoming.complete()) {
        sendPacket(packet::StreamReceived);
        const quint32 size = m_incoming.size();
        m_incoming.reset();
        Q_EMIT streamReceived(size, m_description);
    }
}

void PacketClient::denyStream()
{
    sendPacket(packet::DenyStream);
}

void PacketClient::onReadyRead()
{
    if (!m_socket)
        return;
    if (tls && !pinnedSha256.isEmpty() && !pinMatches()) {
        fail(QStringLiteral("Certificatul serverului nu este cel asteptat."), 0);
        return;
    }
    // Read in bounded pieces: the decoder throws before it holds more than one packet
    // over its limit.
    while (m_socket && m_socket->bytesAvailable() > 0) {
        m_decoder.feed(m_socket->read(64 * 1024));
        try {
            while (m_socket) {
                std::optional<packet::Packet> p = m_decoder.next();
                if (!p)
                    break;
                dispatch(*p);
            }
        } catch (const ProtocolError &e) {
            fail(e.message(), 0);
            return;
        }
    }
}

void PacketClient::dispatch(const packet::Packet &p)
{
    switch (p.type) {
    case packet::NeedMoreData: Q_EMIT needMoreData(); break;
    case packet::NewStream: {
        quint32 size = 0;
        QByteArray description;
        if (!packet::decodeStreamAnnounce(p.payload, size, description))
            throw ProtocolError(QStringLiteral("Anunt de flux gresit."));
        m_pendingSize = size;
        m_pendingDescription = description.left(1024);
        Q_EMIT newStreamComing(size, m_pendingDescription);
        break;
    }
    case packet::AcceptStream: Q_EMIT streamAccepted(); break;
    case packet::Message: Q_EMIT messageReceived(p.payload); break;
    case packet::Ping: sendPacket(packet::Pong); break;
    case packet::Pong: m_ping.pong(); break;
    case packet::LoginRequest: sendPacket(packet::Login, packet::encodeLogin(userName, room)); break;
    case packet::LoginAccepted: Q_EMIT loginAccepted(); break;
    case packet::StreamBlock:
        m_incoming.addBlock(p.payload.size());
        Q_EMIT blockReceived(p.payload);
        if (!m_socket)
            return;
        if (m_incoming.complete()) {
            sendPacket(packet::StreamReceived);
            const quint32 size = m_incoming.size();
            m_incoming.reset();
            Q_EMIT streamReceived(size, m_description);
        } else {
            sendPacket(packet::NeedMoreData);
        }
        break;
    case packet::StreamReceived: Q_EMIT streamDelivered(); break;
    case packet::DenyStream:
    case packet::StopReceivingStream:
    case packet::StopSendingStream:
        Q_EMIT refused(p.type);
        break;
    case packet::DisconnectAll:
    case packet::DisconnectYou:
    case packet::KickYouOut:
    case packet::NameInUse:
    case packet::NotLetIn:
        // Told before the disconnection, so the application reports the refusal (and any
        // text the server sent with it) rather than a lost connection.
        Q_EMIT refused(p.type);
        disconnectFromServer();
        break;
    case packet::NameList:
    case packet::ClientJoin:
    case packet::ClientLeave:
    case packet::FromClient:
        break; // chat-room packets: nothing in this program uses them
    default: Q_EMIT unknownPacket(p.type, p.payload); break;
    }
}

void PacketClient::onPingTick()
{
    if (!m_socket)
        return;
    if (m_ping.tick())
        Q_EMIT timedOut();
    sendPacket(packet::Ping);
}

} // namespace vestronia
