#pragma once
// A listener whose sockets speak TLS: each accepted socket starts its server handshake
// and is handed over at once, so the owner's own deadlines and per-address caps bound a
// handshake that never finishes. (QSslServer keeps such sockets to itself and, once as
// many wait as its pending limit, stops accepting for good.)

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>

namespace vestronia::server {

class TlsListener : public QTcpServer
{
public:
    TlsListener(const QSslConfiguration &config, QObject *parent) : QTcpServer(parent), m_config(config) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *s = new QSslSocket(this);
        s->setSslConfiguration(m_config);
        if (!s->setSocketDescriptor(descriptor)) {
            delete s;
            return;
        }
        // Encrypting before it is handed over: the owner's first bytes must not go plain.
        s->startServerEncryption();
        addPendingConnection(s);
    }

private:
    QSslConfiguration m_config;
};

} // namespace vestronia::server
