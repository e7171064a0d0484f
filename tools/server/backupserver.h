#pragma once
// BackupServer: the remote-backup protocol from the server's side. Each connection is
// asked to log in, sends one request file as a stream, gets one reply file as a stream,
// and is closed. Everything a client sends is bounded: packet length, stream size,
// number of connections, idle time, the request file's text and attachments.

#include "accountstore.h"
#include "mailer.h"
#include "serverconfig.h"

#include <QTcpServer>

namespace vestronia::server {

class BackupServer : public QObject
{
    Q_OBJECT

public:
    BackupServer(const ServerConfig &config, AccountStore &store, Mailer &mailer, QObject *parent = nullptr);
    bool listen();
    quint16 port() const { return m_server.serverPort(); }

    // Runs the commands of one request for an account login; returns the reply lines
    // and the files to attach (path, name).
    struct Reply
    {
        QStringList lines;
        QStringList attachPaths;
        QStringList attachNames;
        QStringList removeAfter; // work files to delete once sent
    };
    Reply process(const QString &email, const QString &password, const QString &requestPath);

    int connectionCount() const { return m_connections; }

private:
    void onNewConnection();
    QString archivePath(qint64 account, qint64 id) const;
    QString writeStock(qint64 account);

    const ServerConfig &m_config;
    AccountStore &m_store;
    Mailer &m_mailer;
    QTcpServer m_server;
    int m_connections = 0;
    qint64 m_workCounter = 0;

    friend class Connection;
};

} // namespace vestronia::server
