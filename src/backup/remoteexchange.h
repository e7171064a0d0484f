#pragma once
// One exchange with the remote backup server: connect and log in, send the request file
// as one stream, receive the reply file as one stream. Runs its own event loop, so the
// caller's windows keep painting and the command line needs only a QCoreApplication.
//
// Time: the connection and the wait for the reply each have the full time-out; while
// bytes move in either direction the limit is on silence (no block for that long), so
// a large archive on a slow line is not cut off for being large.

#include "core/progress.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace vestronia {

struct ExchangeSettings
{
    QString host;
    quint16 port = 1235;
    QByteArray userName;
    QByteArray room;
    int waitTimeoutMs = 60000;    // connection and log-in; the wait for the reply
    int silenceTimeoutMs = 60000; // longest pause while a stream moves
    int pingMs = 30000;
    qint64 maxReplySize = 0xFFFFFFFFll;
    bool tls = false;          // TLS, the certificate verified as below
    QByteArray pinnedSha256;   // hex SHA-256 of the server's certificate; empty: the system's authorities
};

struct ExchangeResult
{
    bool ok = false;
    QString error; // "Nu aveti internet!", "Serverul nu raspunde!", "Eroare la transmisie.", ...
    QString detail; // what the transport said, for logs and the command line
};

// Sends requestFile and writes the reply to replyFile. The request file is deleted once
// the server has it (and on a failed transfer); a failed or incomplete reply file is
// deleted. stopRequested, when given, is polled and ends the exchange with
// "Oprire fortata.".
ExchangeResult runExchange(const ExchangeSettings &settings, const QString &requestFile, const QString &replyFile,
                           Progress &progress, const std::function<bool()> &stopRequested = {});

} // namespace vestronia
