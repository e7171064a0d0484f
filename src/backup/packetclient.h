#pragma once
// PacketClient: the packet transport's client over QTcpSocket, event-driven on the
// thread that owns it. It answers the login request with the login record, pings on
// its interval and answers the server's pings, counts the blocks of an incoming stream
// against its announced size and tells the application everything else through
// signals. The framing itself is packetcodec's. Plain TCP by default, TLS on request.

#include "backup/packetcodec.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace vestronia {

class PacketClient : public QObject
{
    Q_OBJECT

public:
    explicit PacketClient(QObject *parent = nullptr);
    ~PacketClient() override;

    QString host;
    quint16 port = 1235;
    QByteArray userName;
    QByteArray room;
    int maxPing = 1000;             // ping interval, ms
    quint64 maxIncomingStream = 0xFFFFFFFFu;
    // TLS: the server's certificate must be valid for the system's authorities, or,
    // when pinnedSha256 (hex, colons allowed) is set, be exactly that certificate.
    bool tls = false;
    QByteArray pinnedSha256;

    // Throws ProtocolError "Room and username must be specified before connecting!".
    void connectToServer();
    void disconnectFromServer();
    bool isConnected() const;

    void sendPacket(quint32 type, const QByteArray &payload = {});
    void announceStream(quint32 size, const QByteArray &description);
    // Sends the next block of sender (type 19). Throws ProtocolError as StreamSender does.
    void sendNextBlock(packet::StreamSender &sender);
    // Answers an announced stream (see newStreamComing).
    void acceptStream();
    void denyStream();

Q_SIGNALS:
    void connected();
    void disconnected();
    void errorOccurred(const QString &message, int code);
    void timedOut();
    void loginAccepted();
    void streamAccepted();
    void needMoreData();
    void streamDelivered();
    void newStreamComing(quint32 size, const QByteArray &description);
    void blockReceived(const QByteArray &data);
    void streamReceived(quint32 size, const QByteArray &description);
    void messageReceived(const QByteArray &text);
    // 4, 6, 7, 13-17: the server ends the stream or the connection.
    void refused(quint32 type);
    void unknownPacket(quint32 type, const QByteArray &payload);

private:
    void onReadyRead();
    void dispatch(const packet::Packet &p);
    void fail(const QString &message, int code);
    void onPingTick();
    bool pinMatches() const;

    QTcpSocket *m_socket = nullptr;
    packet::Decoder m_decoder;
    packet::StreamReceiver m_incoming;
    packet::PingState m_ping;
    QTimer m_pingTimer;
    quint32 m_pendingSize = 0;
    QByteArray m_pendingDescription;
    QByteArray m_description;
    bool m_destroying = false;
};

} // namespace vestronia
