// Single running copy through a per-user local socket.

#include "startup/singlecopy.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace vestronia {

SingleCopy::SingleCopy(const QString &key, QObject *parent) : QObject(parent)
{
    const QByteArray user = qgetenv("USER");
    m_name = QStringLiteral("vestronia-") +
             QString::fromLatin1(QCryptographicHash::hash(QByteArray(user + '\0' + key.toUtf8()), QCryptographicHash::Sha1).toHex().left(16));
}

bool SingleCopy::claim()
{
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(500)) {
        probe.write("raise\n");
        probe.waitForBytesWritten(500);
        probe.disconnectFromServer();
        return false;
    }
    // Nobody answers: a socket file left by a crashed copy is stale.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name))
        return true; // cannot listen: run anyway rather than refuse to start
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            Q_EMIT raiseRequested();
        }
    });
    return true;
}

} // namespace vestronia
