// Minimal HTTP over QTcpServer (or TLS): GET only, one request per connection,
// head at most 16 KiB, 10 seconds to send it; at most 64 connections at once and 8 from
// one address, so every request is answered for as long as the server runs.

#include "httpside.h"
#include "tlslistener.h"

#include <QHash>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace vestronia::server {

namespace {

constexpr qsizetype MaxHead = 16 * 1024;
constexpr int MaxOpen = 64;
constexpr int MaxPerAddress = 8;
constexpr int HeadMs = 10000;

QByteArray response(int code, const QByteArray &reason, const QByteArray &body)
{
    return "HTTP/1.0 " + QByteArray::number(code) + ' ' + reason
           + "\r\nContent-Type: text/plain; charset=utf-8\r\nCache-Control: no-cache\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

// One request: its head is read within the deadline, answered once, and the socket is
// closed. The counters of the side go down when the socket is gone, whatever ended it.
class HttpConnection : public QObject
{
public:
    HttpConnection(HttpSide &side, QTcpSocket *s) : QObject(s), m_side(side), m_socket(s)
    {
        m_peer = s->peerAddress().toString();
        s->setReadBufferSize(MaxHead + 1);
        ++m_side.m_open;
        ++m_side.m_perAddress[m_peer];
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { done(response(408, "Timeout", "TIMEOUT")); });
        connect(s, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        m_timer.start(HeadMs);
        // A socket closes itself once the answer is written; one that never takes it
        // (a peer that does not read) is dropped at the second deadline.
        connect(&m_kill, &QTimer::timeout, s, [s] { s->abort(); s->deleteLater(); });
        m_kill.setSingleShot(true);
    }
    ~HttpConnection() override
    {
        --m_side.m_open;
        if (--m_side.m_perAddress[m_peer] <= 0)
            m_side.m_perAddress.remove(m_peer);
    }

private:
    void onReadyRead()
    {
        if (m_answered) {
            m_socket->readAll(); // nothing more is wanted
            return;
        }
        m_head += m_socket->read(MaxHead + 1 - m_head.size());
        if (m_head.size() > MaxHead) {
            done(response(414, "Too Long", "TOO LONG"));
            return;
        }
        if (m_head.contains("\r\n\r\n") || m_head.contains("\n\n"))
            done(m_side.answer(m_head, m_peer));
    }

    void done(const QByteArray &reply)
    {
        if (m_answered)
            return;
        m_answered = true;
        m_timer.stop();
        m_head.clear();
        m_socket->write(reply);
        m_socket->disconnectFromHost();
        m_kill.start(HeadMs);
    }

    HttpSide &m_side;
    QTcpSocket *m_socket;
    QString m_peer;
    QByteArray m_head;
    QTimer m_timer;
    QTimer m_kill;
    bool m_answered = false;
};

HttpSide::HttpSide(QString listenAddress, int port, AccountStore &store, QObject *parent)
    : QObject(parent), m_listen(std::move(listenAddress)), m_port(port), m_store(store)
{
}

HttpSide::~HttpSide() = default;

bool HttpSide::listen(const QSslConfiguration *tls)
{
    if (tls) {
        // The head deadline and the per-address cap also bound the handshake.
        m_server = new TlsListener(*tls, this);
    } else {
        m_server = new QTcpServer(this);
    }
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &HttpSide::onNewConnection);
    connect(m_server, &QTcpServer::newConnection, this, &HttpSide::onNewConnection);
    return m_server->listen(QHostAddress(m_listen), quint16(m_port));
}

quint16 HttpSide::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QList<QPair<QString, QString>> HttpSide::parseQuery(const QByteArray &query)
{
    QList<QPair<QString, QString>> fields;
    for (const QByteArray &part : query.split('&')) {
        if (part.isEmpty() || fields.size() >= 32)
            continue;
        const qsizetype eq = part.indexOf('=');
        QByteArray key = eq < 0 ? part : part.left(eq);
        QByteArray value = eq < 0 ? QByteArray() : part.mid(eq + 1);
        key.replace('+', ' ');
        value.replace('+', ' ');
        fields.append({QUrl::fromPercentEncoding(key), QUrl::fromPercentEncoding(value)});
    }
    return fields;
}

void HttpSide::onNewConnection()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        const QString peer = s->peerAddress().toString();
        if (m_open >= MaxOpen || m_perAddress.value(peer) >= MaxPerAddress) {
            s->write(response(503, "Busy", "BUSY"));
            s->disconnectFromHost();
            QTimer::singleShot(HeadMs, s, [s] { s->abort(); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            if (s->state() == QAbstractSocket::UnconnectedState)
                s->deleteLater();
            continue;
        }
        new HttpConnection(*this, s);
    }
}

QByteArray HttpSide::answer(const QByteArray &requestHead, const QString &peer)
{
    const QByteArray line = requestHead.left(requestHead.indexOf('\n')).trimmed();
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 2 || parts.at(0) != "GET")
        return response(405, "Method Not Allowed", "NO");
    const QByteArray target = parts.at(1);
    const qsizetype q = target.indexOf('?');
    const QByteArray path = q < 0 ? target : target.left(q);
    if (path == "/demo/BackUpS/adr.txt")
        return response(200, "OK", m_address.toUtf8() + "\r\n");
    if (path == "/sugestii.php") {
        QString nume, comuna, telefon, mail, produs;
        for (const auto &[key, value] : parseQuery(q < 0 ? QByteArray() : target.mid(q + 1))) {
            const QString v = value.left(4000);
            if (key == QLatin1String("nume"))
                nume = v;
            else if (key == QLatin1String("comuna"))
                comuna = v;
            else if (key == QLatin1String("telefon_fax"))
                telefon = v;
            else if (key == QLatin1String("mail"))
                mail = v;
            else if (key == QLatin1String("produs"))
                produs = v;
        }
        if (produs.trimmed().isEmpty())
            return response(400, "Bad Request", "LIPSESTE SUGESTIA");
        try {
            m_store.addSuggestion(peer, nume, comuna, telefon, mail, produs);
        } catch (const std::exception &) {
            return response(500, "Error", "EROARE");
        }
        return response(200, "OK", "SUCCES");
    }
    return response(404, "Not Found", "NU EXISTA");
}

} // namespace vestronia::server
