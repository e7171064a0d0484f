#pragma once
// BackupServer: the remote-backup protocol from the server's side. Each connection is
// asked to log in, sends one request file as a stream, gets one reply file as a stream,
// and is closed. Against strangers: a connection has a deadline for each step and
// every address a cap; nothing but the login is read before the password is checked;
// the password is checked before any request body is taken, and a request's size
// against the account's room before it is read; pings and write buffers are bounded.
// Hashing, mail and file work run on a small pool of threads, so one slow exchange
// never stalls the others; the event loop only moves bytes. One log line per exchange.

#include "accountstore.h"
#include "mailer.h"
#include "requests.h"
#include "serverconfig.h"
#include "throttle.h"

#include <QHash>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QThreadPool>

namespace vestronia::server {

class Connection;

class BackupServer : public QObject
{
    Q_OBJECT

public:
    BackupServer(const ServerConfig &config, AccountStore &store, Mailer &mailer, QObject *parent = nullptr);
    ~BackupServer() override;
    // tls: when given, the port speaks TLS with that certificate.
    bool listen(const QSslConfiguration *tls = nullptr);
    quint16 port() const;

    int connectionCount() const { return int(m_connections.size()); }

private:
    void onNewConnection();
    const ServerConfig &m_config;
    AccountStore &m_store;
    Mailer &m_mailer;
    Throttle m_throttle;
    Requests m_requests;
    QTcpServer *m_server = nullptr;
    QThreadPool m_pool;
    QHash<quint64, Connection *> m_connections;
    QHash<QString, int> m_perAddress;
    quint64 m_nextId = 0;

    friend class Connection;
};

} // namespace vestronia::server
