// Minimal HTTP over QTcpServer: GET only, one request per connection, head at most 16 KiB,
// 10 seconds to send it; at most 64 connections at once.

#include "httpside.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace vestronia::server {

namespace {

constexpr qsizetype MaxHead = 16 * 1024;
constexpr int MaxOpen = 64;

QByteArray response(int code, const QByteArray &reason, const QByteArray &body)
{
    return "HTTP/1.0 " + QByteArray::number(code) + ' ' + reason
           + "\r\nContent-Type: text/plain; charset=utf-8\r\nCache-Control: no-cache\r\nContent-Length: "
           + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

HttpSide::HttpSide(QString listenAddress, int port, AccountStore &store, QObject *parent)
    : QObject(parent), m_listen(std::move(listenAddress)), m_port(port), m_store(store)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpSide::onNewConnection);
}

bool HttpSide::listen()
{
    return m_server.listen(QHostAddress(m_listen), quint16(m_port));
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
    while (QTcpSocket *s = m_server.nextPendingConnection()) {
        if (m_open >= MaxOpen) {
            s->write(response(503, "Busy", "BUSY"));
            s->disconnectFromHost();
            s->deleteLater();
            continue;
        }
        ++m_open;
        auto *head = new QByteArray;
        auto *timer = new QTimer(s);
        timer->setSingleShot(true);
        timer->start(10000);
        const QPointer<QTcpSocket> socket(s);
        auto done = [this, s, head, timer](const QByteArray &reply) {
            timer->stop();
            s->disconnect(this);
            s->write(reply);
            s->disconnectFromHost();
        };
        connect(timer, &QTimer::timeout, this, [done] { done(response(408, "Timeout", "TIMEOUT")); });
        connect(s, &QTcpSocket::readyRead, this, [this, s, head, done] {
            *head += s->read(MaxHead + 1 - head->size());
            if (head->size() > MaxHead) {
                done(response(414, "Too Long", "TOO LONG"));
                return;
            }
            if (head->contains("\r\n\r\n") || head->contains("\n\n"))
                done(answer(*head, s->peerAddress().toString()));
        });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QObject::destroyed, this, [this, head] {
            delete head;
            --m_open;
        });
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
