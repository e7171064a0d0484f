// The server side of the backup protocol: one Connection per client socket, a step at a
// time, each step with its deadline; the password check and the commands run on the
// worker pool and come back as queued calls. Replies are streamed from disk a block at
// a time, one block per request of the client, never more than a few blocks queued.

#include "backupserver.h"

#include "backup/packetcodec.h"
#include "core/text.h"
#include "tlslistener.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace vestronia::server {

namespace {

// A request this small may come from a client whose password is wrong: "password by
// e-mail" needs its text read. Anything larger waits for the right password.
constexpr quint32 SmallRequest = 8 * 1024;
constexpr qsizetype MaxLoginBytes = 4 * 1024;
// Pongs and blocks queued for a peer that does not read: past this it is dropped.
constexpr qint64 MaxWriteBuffer = 4 * (packet::MaxBlock + packet::HeaderSize);
constexpr qint64 PongBuffer = 16 * 1024;
constexpr int MaxPings = 600;
constexpr qint64 MaxReadBuffer = 256 * 1024;

bool plausibleEmail(const QString &e)
{
    if (e.size() < 6 || e.size() > 100 || e.count(QLatin1Char('@')) != 1)
        return false;
    for (QChar c : e)
        if (!(c.isLetterOrNumber() || QStringLiteral("@.-_").contains(c)) || c.unicode() > 127)
            return false;
    return true;
}

QString message(const QString &text)
{
    return QStringLiteral("/MSG_DLG ") + text;
}

// Closes a socket once what was written to it is gone, or after a while regardless.
void closeSoon(QTcpSocket *s, int ms)
{
    if (s->state() == QAbstractSocket::UnconnectedState) {
        s->deleteLater();
        return;
    }
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    QTimer::singleShot(ms, s, [s] {
        s->abort();
        s->deleteLater();
    });
    s->disconnectFromHost();
}

} // namespace

struct CheckResult
{
    AccountStore::Login login = AccountStore::Login::NoAccount;
    QString refusal; // the account cannot take a request this large
    bool failed = false; // the check itself failed (the database): nothing is known
};

class Connection : public QObject
{
public:
    enum class State { Login, Announce, Checking, Receiving, Processing, Replying, Closed };

    Connection(BackupServer &server, QTcpSocket *socket, quint64 id)
        : QObject(socket), m_server(server), m_config(server.m_config), m_socket(socket), m_id(id)
    {
        m_peer = socket->peerAddress().toString();
        m_server.m_connections.insert(m_id, this);
        ++m_server.m_perAddress[m_peer];
        m_clock.start();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What is not read yet stays in the kernel, whose window then slows the peer: a
        // connection being closed, or one waiting for its password check, holds no more.
        socket->setReadBufferSize(MaxReadBuffer);
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            onReadyRead(); // what came before the close still counts
            if (m_state == State::Replying && m_replySent >= m_replyTotal)
                finish(m_result.isEmpty() ? QStringLiteral("ok") : m_result);
            else
                finish(QStringLiteral("client-closed"));
        });
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] { finish(QStringLiteral("timeout-") + stateName()); });
        m_deadline.start(m_config.loginSeconds * 1000);
        send(packet::LoginRequest);
    }

    ~Connection() override
    {
        cleanup();
        m_server.m_connections.remove(m_id);
        if (--m_server.m_perAddress[m_peer] <= 0)
            m_server.m_perAddress.remove(m_peer);
    }

    void onChecked(const CheckResult &c);
    void onProcessed(const Reply &reply);

private:
    QString stateName() const
    {
        static const char *names[] = {"login", "announce", "check", "receive", "process", "reply", "closed"};
        return QLatin1String(names[int(m_state)]);
    }
    // A reply of one block (every refusal a stranger gets) is taken at once by a client;
    // only a long one gets the pause of a slow line.
    int replyPauseMs() const
    {
        return (m_replyTotal <= qint64(packet::MaxBlock) ? m_config.loginSeconds : m_config.idleSeconds) * 1000;
    }
    QString accountKey() const { return QStringLiteral("acct:") + m_email.toLower(); }
    QString addressKey() const { return QStringLiteral("addr:") + m_peer; }

    void send(quint32 type, const QByteArray &payload = {})
    {
        const QByteArray bytes = packet::encode(type, payload);
        m_bytesOut += bytes.size();
        m_socket->write(bytes);
    }

    void onReadyRead();
    void dispatch(const packet::Packet &p);
    void login(const QByteArray &payload);
    void announced(const QByteArray &payload);
    void startCheck();
    void accept();
    void block(const QByteArray &data);
    bool parseHead();
    void requestComplete();
    void earlyReply(const QStringList &lines, const QString &result);
    void startReply(const Reply &reply);
    void sendBlock();
    void finish(const QString &result);
    void cleanup();

    BackupServer &m_server;
    const ServerConfig &m_config;
    QTcpSocket *m_socket;
    quint64 m_id;
    QString m_peer;
    State m_state = State::Login;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    packet::Decoder m_decoder;
    int m_pings = 0;
    QString m_email;
    QString m_password;
    AccountStore::Login m_login = AccountStore::Login::NoAccount;
    // The request: its first SmallRequest bytes in memory, its attachment on disk.
    packet::StreamReceiver m_receiver;
    quint32 m_size = 0;
    QByteArray m_head;
    qsizetype m_headLimit = 0;
    std::optional<CommandFile> m_file;
    QFile m_put;
    qint64 m_attachOffset = -1;
    // The reply: its text, then at most one file.
    QByteArray m_replyHead;
    QFile m_replyFile;
    qint64 m_replyTotal = 0;
    qint64 m_replySent = 0;
    QString m_removeFolder;
    // The log line.
    QString m_commands;
    QString m_result;
    qint64 m_bytesIn = 0;
    qint64 m_bytesOut = 0;
};

void Connection::onReadyRead()
{
    while (m_state != State::Closed && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(64 * 1024);
        m_bytesIn += bytes.size();
        m_decoder.feed(bytes);
        if (m_state == State::Login && m_decoder.buffered() > MaxLoginBytes) {
            finish(QStringLiteral("bad-login"));
            return;
        }
        try {
            while (m_state != State::Closed) {
                std::optional<packet::Packet> p = m_decoder.next();
                if (!p)
                    break;
                dispatch(*p);
            }
        } catch (const VestroniaError &) {
            finish(QStringLiteral("protocol-error"));
            return;
        }
        if (m_state != State::Closed && m_socket->bytesToWrite() > MaxWriteBuffer) {
            finish(QStringLiteral("not-reading"));
            return;
        }
    }
}

void Connection::dispatch(const packet::Packet &p)
{
    if (m_state == State::Login) {
        // Before the login nothing else is answered: no pings, no streams.
        if (p.type != packet::Login) {
            finish(QStringLiteral("before-login"));
            return;
        }
        login(p.payload);
        return;
    }
    switch (p.type) {
    case packet::Ping:
        if (++m_pings > MaxPings) {
            finish(QStringLiteral("ping-flood"));
            return;
        }
        if (m_socket->bytesToWrite() < PongBuffer)
            send(packet::Pong);
        return;
    case packet::Pong: return;
    case packet::NewStream:
        if (m_state != State::Announce) {
            finish(QStringLiteral("protocol-error"));
            return;
        }
        announced(p.payload);
        return;
    case packet::StreamBlock:
        if (m_state == State::Receiving)
            block(p.payload);
        else if (m_state != State::Replying && m_state != State::Processing)
            finish(QStringLiteral("protocol-error"));
        // else: a block already on its way when the request was answered early
        return;
    case packet::AcceptStream:
    case packet::NeedMoreData:
        if (m_state == State::Replying)
            sendBlock();
        return;
    case packet::StreamReceived:
        if (m_state == State::Replying && m_replySent >= m_replyTotal)
            finish(m_result.isEmpty() ? QStringLiteral("ok") : m_result);
        return;
    case packet::DenyStream: finish(QStringLiteral("reply-refused")); return;
    default: return;
    }
}

void Connection::login(const QByteArray &payload)
{
    QByteArray user, room;
    if (!packet::decodeLogin(payload, user, room, 512) || !user.startsWith("088")) {
        send(packet::NotLetIn);
        finish(QStringLiteral("bad-login"));
        return;
    }
    m_email = fromCp1250(user.mid(3)).trimmed();
    m_password = fromCp1250(room.left(40)).trimmed();
    if (!plausibleEmail(m_email) || m_password.isEmpty()) {
        send(packet::NotLetIn);
        finish(QStringLiteral("bad-login"));
        return;
    }
    m_state = State::Announce;
    m_deadline.start(m_config.loginSeconds * 1000);
    send(packet::LoginAccepted);
}

void Connection::announced(const QByteArray &payload)
{
    QByteArray description;
    if (!packet::decodeStreamAnnounce(payload, m_size, description)) {
        finish(QStringLiteral("protocol-error"));
        return;
    }
    m_state = State::Checking;
    m_deadline.stop();
    if (qint64(m_size) > m_config.maxRequestBytes) {
        earlyReply({message(QStringLiteral("Salvarea este prea mare pentru server."))}, QStringLiteral("too-large"));
        return;
    }
    startCheck();
}

void Connection::startCheck()
{
    Throttle &t = m_server.m_throttle;
    const int locked = qMax(t.lockedSeconds(accountKey()), t.lockedSeconds(addressKey()));
    if (locked > 0) {
        earlyReply({message(QStringLiteral("Prea multe incercari gresite. Incercati din nou peste %1 minute.")
                                .arg((locked + 59) / 60)),
                    Requests::wrongPasswordText()},
                   QStringLiteral("locked"));
        return;
    }
    const int delay = qMax(t.delayMs(accountKey()), t.delayMs(addressKey()));
    QTimer::singleShot(delay, this, [this] {
        BackupServer &server = m_server;
        const QString email = m_email, password = m_password;
        const quint32 size = m_size;
        server.m_pool.start([&server, id = m_id, email, password, size] {
            CheckResult c;
            Account account;
            // An exception must not leave the worker: it would end the whole server.
            try {
                c.login = server.m_store.login(email, password, &account);
                if (c.login == AccountStore::Login::Ok && size > SmallRequest) {
                    const bool expired = account.expires.isValid() && account.expires < QDate::currentDate();
                    if (!account.confirmed || expired)
                        c.refusal = QStringLiteral("Contul nu este activ! Salvarea nu a fost primita.");
                    else
                        c.refusal = server.m_requests.roomFor(account.id, size);
                }
            } catch (const std::exception &) {
                c.failed = true;
            }
            QMetaObject::invokeMethod(&server, [&server, id, c] {
                if (Connection *conn = server.m_connections.value(id))
                    conn->onChecked(c);
            }, Qt::QueuedConnection);
        });
    });
}

void Connection::onChecked(const CheckResult &c)
{
    if (m_state != State::Checking)
        return;
    if (c.failed) {
        earlyReply({message(QStringLiteral("Eroare pe server. Incercati mai tarziu."))}, QStringLiteral("server-error"));
        return;
    }
    Throttle &t = m_server.m_throttle;
    switch (c.login) {
    case AccountStore::Login::Ok:
        t.succeed(accountKey());
        if (!c.refusal.isEmpty()) {
            earlyReply({message(c.refusal)}, QStringLiteral("no-room"));
            return;
        }
        break;
    case AccountStore::Login::WrongPassword:
        t.fail(accountKey());
        t.fail(addressKey());
        [[fallthrough]];
    case AccountStore::Login::NoAccount:
        if (m_size > SmallRequest) {
            earlyReply({Requests::wrongPasswordText()}, QStringLiteral("wrong-password"));
            return;
        }
        break;
    }
    m_login = c.login;
    accept();
}

void Connection::accept()
{
    if (!m_receiver.start(m_size, quint64(m_config.maxRequestBytes))) {
        finish(QStringLiteral("protocol-error"));
        return;
    }
    m_headLimit = qMin<qsizetype>(m_size, SmallRequest);
    m_state = State::Receiving;
    // A small request may come from a stranger and fits one block: it has the login
    // deadline in all, not a fresh pause per block, or a byte at a time would hold it.
    m_deadline.start((m_size <= SmallRequest ? m_config.loginSeconds : m_config.idleSeconds) * 1000);
    send(packet::AcceptStream);
    if (m_receiver.complete())
        requestComplete();
}

bool Connection::parseHead()
{
    CommandFileLimits limits;
    limits.maxText = SmallRequest;
    limits.maxLines = 20;
    limits.maxAttachments = 1;
    limits.maxAttachmentSize = m_config.maxRequestBytes;
    try {
        m_file = parseCommandFile(m_head, m_size, limits);
    } catch (const VestroniaError &) {
        return false;
    }
    QStringList keys;
    for (const CommandLine &l : m_file->lines)
        if (keys.size() < 6)
            keys << l.key.left(12);
    m_commands = keys.join(QLatin1Char('+'));
    if (m_file->attachments.isEmpty())
        return true;
    if (!isPlainFileName(m_file->attachments.first().name))
        return false;
    m_attachOffset = m_file->attachments.first().offset;
    m_put.setFileName(QDir(m_config.workDir()).filePath(QStringLiteral("put-%1").arg(m_id)));
    if (!m_put.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (m_attachOffset < m_head.size())
        return m_put.write(m_head.mid(m_attachOffset)) == m_head.size() - m_attachOffset;
    return true;
}

void Connection::block(const QByteArray &data)
{
    const qint64 at = qint64(m_receiver.received());
    m_receiver.addBlock(data.size()); // throws past the announced size
    if (m_size > SmallRequest)
        m_deadline.start(m_config.idleSeconds * 1000);
    qsizetype used = 0;
    if (m_head.size() < m_headLimit) {
        used = qMin<qsizetype>(data.size(), m_headLimit - m_head.size());
        m_head += data.left(used);
        if (m_head.size() == m_headLimit && m_headLimit < qsizetype(m_size) && !parseHead()) {
            earlyReply({message(QStringLiteral("Cerere gresita."))}, QStringLiteral("bad-request"));
            return;
        }
    }
    if (used < data.size() && m_put.isOpen()) {
        // Only the attachment's bytes go to disk; anything between the text and it is dropped.
        const qint64 from = qMax(at + used, m_attachOffset);
        const qint64 skip = from - at;
        if (skip < data.size()) {
            const qint64 n = data.size() - skip;
            if (m_put.write(data.constData() + skip, n) != n) {
                earlyReply({message(QStringLiteral("Salvarea nu a putut fi scrisa pe server!"))},
                           QStringLiteral("disk-error"));
                return;
            }
        }
    }
    if (m_receiver.complete())
        requestComplete();
    else
        send(packet::NeedMoreData);
}

void Connection::requestComplete()
{
    if (!m_file && !parseHead()) {
        earlyReply({message(QStringLiteral("Cerere gresita."))}, QStringLiteral("bad-request"));
        return;
    }
    m_receiver.reset();
    const bool putOk = !m_put.isOpen() || m_put.flush();
    m_put.close();
    send(packet::StreamReceived);
    m_state = State::Processing;
    m_deadline.stop();
    Request r;
    r.email = m_email;
    r.password = m_password;
    r.peer = m_peer;
    r.login = m_login;
    r.file = *m_file;
    r.putPath = putOk && !m_file->attachments.isEmpty() ? m_put.fileName() : QString();
    BackupServer &server = m_server;
    server.m_pool.start([&server, id = m_id, r] {
        Reply reply;
        try {
            reply = server.m_requests.run(r);
        } catch (const std::exception &) {
            reply = Reply{};
            reply.lines = {message(QStringLiteral("Eroare pe server. Incercati mai tarziu."))};
            reply.result = QStringLiteral("server-error");
        }
        if (!r.putPath.isEmpty())
            QFile::remove(r.putPath);
        QMetaObject::invokeMethod(&server, [&server, id, reply] {
            if (Connection *conn = server.m_connections.value(id))
                conn->onProcessed(reply);
            else if (!reply.removeFolder.isEmpty())
                QDir(reply.removeFolder).removeRecursively();
        }, Qt::QueuedConnection);
    });
}

void Connection::onProcessed(const Reply &reply)
{
    m_removeFolder = reply.removeFolder;
    if (m_state != State::Processing)
        return;
    if (reply.codeFailed) {
        m_server.m_throttle.fail(accountKey());
        m_server.m_throttle.fail(addressKey());
    }
    // Logins for addresses without an account that make none cost a full hash each:
    // they slow down their sender like wrong passwords do.
    if (m_login == AccountStore::Login::NoAccount && reply.result == QLatin1String("wrong-password"))
        m_server.m_throttle.fail(addressKey());
    m_result = reply.result;
    startReply(reply);
}

void Connection::earlyReply(const QStringList &lines, const QString &result)
{
    // The client takes "stream received" at any point of its upload as the end of it,
    // and then waits for the reply: no byte more of the request is sent or kept.
    m_receiver.reset();
    if (m_put.isOpen())
        m_put.close();
    send(packet::StreamReceived);
    m_result = result;
    Reply r;
    r.lines = lines;
    startReply(r);
}

void Connection::startReply(const Reply &reply)
{
    m_state = State::Replying;
    m_replyFile.close();
    QStringList names;
    QList<qint64> sizes;
    QStringList lines = reply.lines;
    if (!reply.attachPath.isEmpty()) {
        m_replyFile.setFileName(reply.attachPath);
        if (m_replyFile.open(QIODevice::ReadOnly)) {
            names << reply.attachName;
            sizes << m_replyFile.size();
        } else {
            lines << message(QStringLiteral("Eroare pe server. Incercati mai tarziu."));
        }
    }
    m_replyHead = commandFileHead(lines, names, sizes);
    m_replyTotal = m_replyHead.size() + (m_replyFile.isOpen() ? m_replyFile.size() : 0);
    m_replySent = 0;
    if (m_replyTotal > qint64(0xFFFFFFFFu)) {
        finish(QStringLiteral("reply-too-large"));
        return;
    }
    m_deadline.start(replyPauseMs());
    send(packet::NewStream, packet::encodeStreamAnnounce(quint32(m_replyTotal), QByteArrayLiteral("raspuns")));
}

void Connection::sendBlock()
{
    if (m_replySent >= m_replyTotal)
        return;
    if (m_socket->bytesToWrite() > MaxWriteBuffer) {
        finish(QStringLiteral("not-reading"));
        return;
    }
    QByteArray block;
    const qint64 want = qMin<qint64>(packet::MaxBlock, m_replyTotal - m_replySent);
    if (m_replySent < m_replyHead.size())
        block = m_replyHead.mid(m_replySent, want);
    if (block.size() < want) {
        const QByteArray more = m_replyFile.read(want - block.size());
        block += more;
    }
    if (block.size() != want) {
        finish(QStringLiteral("read-error"));
        return;
    }
    m_replySent += block.size();
    m_deadline.start(replyPauseMs());
    send(packet::StreamBlock, block);
}

void Connection::cleanup()
{
    m_replyFile.close();
    if (m_put.isOpen())
        m_put.close();
    // While the worker holds the attachment it removes it itself.
    if (m_state != State::Processing && !m_put.fileName().isEmpty())
        QFile::remove(m_put.fileName());
    if (!m_removeFolder.isEmpty())
        QDir(m_removeFolder).removeRecursively();
    m_removeFolder.clear();
}

void Connection::finish(const QString &result)
{
    if (m_state == State::Closed)
        return;
    const bool busy = m_state == State::Processing;
    m_deadline.stop();
    // One line per exchange: never the password, a code or a value of a command.
    std::fprintf(stderr, "%s %s account=%s commands=%s result=%s in=%lld out=%lld ms=%lld\n",
                 QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLocal8Bit().constData(),
                 m_peer.toLocal8Bit().constData(), m_email.isEmpty() ? "-" : m_email.toLocal8Bit().constData(),
                 m_commands.isEmpty() ? "-" : m_commands.toLocal8Bit().constData(), result.toLocal8Bit().constData(),
                 m_bytesIn, m_bytesOut, m_clock.elapsed());
    if (!busy)
        cleanup();
    m_state = State::Closed;
    m_decoder.clear();
    if (result == QLatin1String("not-reading")) {
        // Nothing queued for this peer will ever be read: drop it now, buffers and all.
        m_socket->abort();
        m_socket->deleteLater();
        return;
    }
    closeSoon(m_socket, m_config.loginSeconds * 1000);
}

BackupServer::BackupServer(const ServerConfig &config, AccountStore &store, Mailer &mailer, QObject *parent)
    : QObject(parent), m_config(config), m_store(store), m_mailer(mailer),
      m_throttle(config.failDelayMs, config.failLockAfter, config.failLockMinutes),
      m_requests(config, store, mailer, m_throttle)
{
    m_pool.setMaxThreadCount(config.workers);
}

BackupServer::~BackupServer()
{
    m_pool.clear(); // work not started yet is for connections that end now
    m_pool.waitForDone();
    delete m_server; // its sockets and their connections go while this object is whole
    m_server = nullptr;
}

bool BackupServer::listen(const QSslConfiguration *tls)
{
    QDir().mkpath(m_config.archiveDir());
    // Work files and folders of an earlier run that ended abruptly.
    QDir(m_config.workDir()).removeRecursively();
    QDir().mkpath(m_config.workDir());
    if (tls) {
        // The login deadline and the per-address cap also bound the handshake.
        m_server = new TlsListener(*tls, this);
    } else {
        m_server = new QTcpServer(this);
    }
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &BackupServer::onNewConnection);
    connect(m_server, &QTcpServer::newConnection, this, &BackupServer::onNewConnection);
    m_server->setMaxPendingConnections(64);
    return m_server->listen(QHostAddress(m_config.listen), quint16(m_config.port));
}

quint16 BackupServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

void BackupServer::onNewConnection()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        const QString peer = s->peerAddress().toString();
        if (m_connections.size() >= m_config.maxConnections || m_perAddress.value(peer) >= m_config.maxPerAddress) {
            // A refusal the client can read and show: a text, then "not let in".
            s->write(packet::encode(packet::Message, QByteArrayLiteral("Serverul este ocupat. Incercati peste cateva minute.")));
            s->write(packet::encode(packet::NotLetIn));
            std::fprintf(stderr, "%s %s result=busy\n",
                         QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLocal8Bit().constData(),
                         peer.toLocal8Bit().constData());
            closeSoon(s, 5000);
            continue;
        }
        new Connection(*this, s, ++m_nextId);
    }
}

} // namespace vestronia::server
