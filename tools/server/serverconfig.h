#pragma once
// The server's configuration: an INI file ([server] section) with command-line options
// over it. Every bound the server applies to what clients send is here, and
// checkConfig() refuses a configuration the clients or the machine cannot work with.

#include <QSslConfiguration>
#include <QString>
#include <QStringList>

namespace vestronia::server {

struct ServerConfig
{
    QString listen = QStringLiteral("0.0.0.0");
    int port = 1235;          // backup protocol; 0 = any free port
    int httpPort = 8080;      // address file and suggestions; 0 = any free port, -1 = off
    QString dataDir = QStringLiteral("/var/lib/vestronia-server");
    QString publicAddress;    // the address file's text; empty: 127.0.0.1:<port>
    QString portFile;         // when set, "<port> <httpPort>" is written there once listening
    int trialDays = 365;      // validity of a new account
    qint64 quotaBytes = qint64(500) * 1024 * 1024; // per account, all archives together
    qint64 diskCapBytes = 0;  // all accounts together; 0: only the free space is checked
    qint64 maxRequestBytes = qint64(600) * 1024 * 1024;
    int maxConnections = 200;
    int maxPerAddress = 10;   // connections at once from one address
    int loginSeconds = 10;    // to log in, and then to announce the request
    int idleSeconds = 120;    // longest pause while a stream moves
    int workers = 2;          // threads for hashing and file work
    int minPassword = 6;      // length of a new password
    int failDelayMs = 1000;   // first delay after repeated failures; it doubles
    int failLockAfter = 10;   // failures before a time-limited refusal
    int failLockMinutes = 15;
    int mailIntervalSeconds = 600; // at most one code or password mail per account
    int addressHourly = 10;   // new accounts, and mails asked for, per address and hour
    QString sendmail;         // path of sendmail; empty: mails go to the outbox folder
    QString mailFrom = QStringLiteral("backup@localhost");
    QString hashStrength = QStringLiteral("interactive"); // interactive, moderate, min
    QString operatorPhone = QStringLiteral("0700000000");
    QString tlsCert;          // PEM certificate (chain); with tlsKey the backup port is TLS
    QString tlsKey;           // PEM private key
    bool httpTls = false;     // the HTTP side uses the same certificate (HTTPS)

    QString databasePath() const { return dataDir + QStringLiteral("/server.sqlite"); }
    QString archiveDir() const { return dataDir + QStringLiteral("/archives"); }
    QString workDir() const { return dataDir + QStringLiteral("/work"); }
    QString outboxDir() const { return dataDir + QStringLiteral("/outbox"); }
    bool tls() const { return !tlsCert.isEmpty(); }
    // The address file's text: the public address (or the loopback one with the port
    // listened on), and a second line "TLS" when the backup port speaks TLS.
    QString addressText(quint16 listeningPort) const
    {
        return (publicAddress.isEmpty() ? QStringLiteral("127.0.0.1:%1").arg(listeningPort) : publicAddress)
               + (tls() ? QStringLiteral("\r\nTLS") : QString());
    }
};

// Reads the file (when given) and applies the options; error receives what is wrong.
// The rest of args (a sub-command and its arguments) is left in rest.
bool loadConfig(const QStringList &args, ServerConfig &config, QStringList &rest, QString &error);

// What a serving server needs beyond the values' ranges: the address file's text is one
// the clients accept, the data folder is writable, sendmail runs, the certificate and
// key load. False with error set otherwise.
bool checkConfig(const ServerConfig &config, QString &error);

// The certificate chain and key of tls_cert / tls_key as a server-side TLS
// configuration; false with error set when they do not load.
bool tlsConfiguration(const ServerConfig &config, QSslConfiguration &out, QString &error);

} // namespace vestronia::server
