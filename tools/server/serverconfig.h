#pragma once
// The server's configuration: an INI file ([server] section) with command-line options
// over it. Every bound the server applies to what clients send is here.

#include <QString>
#include <QStringList>

namespace vestronia::server {

struct ServerConfig
{
    QString listen = QStringLiteral("0.0.0.0");
    int port = 1235;          // backup protocol; 0 = any free port
    int httpPort = 8080;      // address file and suggestions; 0 = any free port, -1 = off
    QString dataDir = QStringLiteral("/var/lib/vestronia-server");
    QString publicAddress;    // first line of the address file; empty: 127.0.0.1:<port>
    QString portFile;         // when set, "<port> <httpPort>" is written there once listening
    int trialDays = 365;      // validity of a new account
    qint64 quotaBytes = qint64(500) * 1024 * 1024; // per account, all archives together
    qint64 maxRequestBytes = qint64(600) * 1024 * 1024;
    int maxConnections = 200;
    int idleSeconds = 120;    // a connection silent this long is closed
    QString sendmail;         // path of sendmail; empty: mails go to the outbox folder
    QString mailFrom = QStringLiteral("backup@localhost");
    QString hashStrength = QStringLiteral("interactive"); // interactive, moderate, min
    QString operatorPhone = QStringLiteral("0700000000");

    QString databasePath() const { return dataDir + QStringLiteral("/server.sqlite"); }
    QString archiveDir() const { return dataDir + QStringLiteral("/archives"); }
    QString workDir() const { return dataDir + QStringLiteral("/work"); }
    QString outboxDir() const { return dataDir + QStringLiteral("/outbox"); }
};

// Reads the file (when given) and applies the options; error receives what is wrong.
// The rest of args (a sub-command and its arguments) is left in rest.
bool loadConfig(const QStringList &args, ServerConfig &config, QStringList &rest, QString &error);

} // namespace vestronia::server
