// The server side of the backup protocol: one Connection per client socket, and the
// commands of a request run against the account store and the archive folder.

#include "backupserver.h"

#include "backup/commandfile.h"
#include "backup/packetcodec.h"
#include "core/dates.h"
#include "core/text.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace vestronia::server {

namespace {

double dateTimeNumber(const QDateTime &t)
{
    return dayNumberOf(t.date()) + t.time().msecsSinceStartOfDay() / 86400000.0;
}

QString dateText(const QDate &d)
{
    return d.toString(QStringLiteral("dd.MM.yyyy"));
}

bool plausibleEmail(const QString &e)
{
    if (e.size() < 6 || e.size() > 100 || e.count(QLatin1Char('@')) != 1)
        return false;
    for (QChar c : e)
        if (!(c.isLetterOrNumber() || QStringLiteral("@.-_").contains(c)) || c.unicode() > 127)
            return false;
    return true;
}

} // namespace

// One client: log-in, the request stream in, the reply stream out, close.
class Connection : public QObject
{
public:
    Connection(BackupServer &server, QTcpSocket *socket) : QObject(socket), m_server(server), m_socket(socket)
    {
        ++m_server.m_connections;
        // One small answer per block: no waiting for delayed acknowledgements.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { close(); });
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, [this] { close(); });
        m_idle.start(m_server.m_config.idleSeconds * 1000);
        send(packet::LoginRequest);
    }
    ~Connection() override
    {
        --m_server.m_connections;
        cleanup();
    }

private:
    void send(quint32 type, const QByteArray &payload = {}) { m_socket->write(packet::encode(type, payload)); }

    void close()
    {
        if (m_closed)
            return;
        m_closed = true;
        m_idle.stop();
        cleanup();
        m_socket->disconnectFromHost();
        m_socket->deleteLater();
    }

    void cleanup()
    {
        m_sender.reset();
        m_replyFile.close();
        m_requestFile.close();
        if (!m_requestPath.isEmpty())
            QFile::remove(m_requestPath);
        if (!m_replyPath.isEmpty())
            QFile::remove(m_replyPath);
        removeWorkFiles();
    }

    void removeWorkFiles()
    {
        for (const QString &p : std::as_const(m_removeAfter))
            if (!QFile::remove(p))
                QDir().rmdir(p);
        m_removeAfter.clear();
    }

    void onReadyRead()
    {
        m_idle.start(m_server.m_config.idleSeconds * 1000);
        while (!m_closed && m_socket->bytesAvailable() > 0) {
            m_decoder.feed(m_socket->read(64 * 1024));
            try {
                while (!m_closed) {
                    std::optional<packet::Packet> p = m_decoder.next();
                    if (!p)
                        break;
                    dispatch(*p);
                }
            } catch (const VestroniaError &) {
                close();
                return;
            }
        }
    }

    void dispatch(const packet::Packet &p)
    {
        switch (p.type) {
        case packet::Ping: send(packet::Pong); return;
        case packet::Pong: return;
        case packet::Login: login(p.payload); return;
        case packet::NewStream: requestAnnounced(p.payload); return;
        case packet::StreamBlock: requestBlock(p.payload); return;
        case packet::AcceptStream:
        case packet::NeedMoreData: sendBlock(); return;
        case packet::StreamReceived: close(); return; // the reply arrived: done
        case packet::DenyStream: close(); return;
        default: return;
        }
    }

    void login(const QByteArray &payload)
    {
        QByteArray user, room;
        if (m_loggedIn || !packet::decodeLogin(payload, user, room, 512) || !user.startsWith("088")) {
            send(packet::NotLetIn);
            close();
            return;
        }
        m_email = fromCp1250(user.mid(3)).trimmed();
        m_password = fromCp1250(room.left(40)).trimmed();
        if (!plausibleEmail(m_email) || m_password.isEmpty()) {
            send(packet::NotLetIn);
            close();
            return;
        }
        m_loggedIn = true;
        send(packet::LoginAccepted);
    }

    void requestAnnounced(const QByteArray &payload)
    {
        quint32 size = 0;
        QByteArray description;
        if (!m_loggedIn || m_receiver.active() || !m_requestPath.isEmpty()
            || !packet::decodeStreamAnnounce(payload, size, description)
            || !m_receiver.start(size, quint64(m_server.m_config.maxRequestBytes))) {
            send(packet::DenyStream);
            close();
            return;
        }
        m_requestPath = QDir(m_server.m_config.workDir()).filePath(QStringLiteral("req-%1").arg(++m_server.m_workCounter));
        m_requestFile.setFileName(m_requestPath);
        if (!m_requestFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            send(packet::DenyStream);
            close();
            return;
        }
        send(packet::AcceptStream);
        if (m_receiver.complete())
            requestComplete();
    }

    void requestBlock(const QByteArray &data)
    {
        m_receiver.addBlock(data.size()); // throws past the announced size
        if (m_requestFile.write(data) != data.size()) {
            close();
            return;
        }
        if (m_receiver.complete())
            requestComplete();
        else
            send(packet::NeedMoreData);
    }

    void requestComplete()
    {
        send(packet::StreamReceived);
        m_receiver.reset();
        m_requestFile.close();
        BackupServer::Reply reply;
        try {
            reply = m_server.process(m_email, m_password, m_requestPath);
        } catch (const std::exception &) {
            reply.lines = {QStringLiteral("/MSG_DLG Eroare pe server. Incercati mai tarziu.")};
        }
        QFile::remove(m_requestPath);
        m_requestPath.clear();
        m_removeAfter = reply.removeAfter;
        m_replyPath = QDir(m_server.m_config.workDir()).filePath(QStringLiteral("rep-%1").arg(++m_server.m_workCounter));
        try {
            writeCommandFile(m_replyPath, reply.lines, reply.attachPaths, reply.attachNames);
        } catch (const VestroniaError &) {
            close();
            return;
        }
        removeWorkFiles();
        m_replyFile.setFileName(m_replyPath);
        if (!m_replyFile.open(QIODevice::ReadOnly)) {
            close();
            return;
        }
        try {
            m_sender = std::make_unique<packet::StreamSender>(&m_replyFile);
        } catch (const VestroniaError &) {
            close();
            return;
        }
        send(packet::NewStream, packet::encodeStreamAnnounce(m_sender->size(), QByteArrayLiteral("raspuns")));
    }

    void sendBlock()
    {
        if (!m_sender || m_sender->finished())
            return;
        send(packet::StreamBlock, m_sender->nextBlock());
    }

    BackupServer &m_server;
    QTcpSocket *m_socket;
    QTimer m_idle;
    packet::Decoder m_decoder;
    packet::StreamReceiver m_receiver;
    std::unique_ptr<packet::StreamSender> m_sender;
    QFile m_requestFile;
    QFile m_replyFile;
    QString m_requestPath;
    QString m_replyPath;
    QStringList m_removeAfter;
    QString m_email;
    QString m_password;
    bool m_loggedIn = false;
    bool m_closed = false;
};

BackupServer::BackupServer(const ServerConfig &config, AccountStore &store, Mailer &mailer, QObject *parent)
    : QObject(parent), m_config(config), m_store(store), m_mailer(mailer)
{
    connect(&m_server, &QTcpServer::newConnection, this, &BackupServer::onNewConnection);
}

bool BackupServer::listen()
{
    QDir().mkpath(m_config.archiveDir());
    QDir().mkpath(m_config.workDir());
    // Work files of an earlier run that ended abruptly.
    QDir work(m_config.workDir());
    for (const QString &f : work.entryList(QDir::Files))
        work.remove(f);
    m_server.setMaxPendingConnections(64);
    return m_server.listen(QHostAddress(m_config.listen), quint16(m_config.port));
}

void BackupServer::onNewConnection()
{
    while (QTcpSocket *s = m_server.nextPendingConnection()) {
        if (m_connections >= m_config.maxConnections) {
            s->write(packet::encode(packet::NotLetIn));
            s->disconnectFromHost();
            s->deleteLater();
            continue;
        }
        new Connection(*this, s);
    }
}

QString BackupServer::archivePath(qint64 account, qint64 id) const
{
    return QDir(m_config.archiveDir()).filePath(QStringLiteral("%1/%2.vrn").arg(account).arg(id));
}

QString BackupServer::writeStock(qint64 account)
{
    const QString folder = QDir(m_config.workDir()).filePath(QStringLiteral("stoc-%1").arg(++m_workCounter));
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("Stoc.dbf"));
    createTable(path, QList<DbfColumn>{{QStringLiteral("IDSTOC"), 'N', 10, 0},
                                       {QStringLiteral("DATAORA"), 'N', 16, 8},
                                       {QStringLiteral("OBS"), 'C', 120, 0}});
    {
        Database db(folder);
        db.attach(QStringLiteral("Stoc"), path);
        Transaction tx(db);
        for (const StoredBackup &b : m_store.backups(account))
            db.exec(QStringLiteral("INSERT INTO Stoc(IDSTOC, DATAORA, OBS) VALUES(?,?,?)"),
                    {b.id, b.dataOra, b.obs.left(120)});
        tx.commit();
    }
    return path;
}

BackupServer::Reply BackupServer::process(const QString &email, const QString &password, const QString &requestPath)
{
    Reply reply;
    CommandFileLimits limits;
    limits.maxText = 8 * 1024;
    limits.maxLines = 20;
    limits.maxAttachments = 1;
    limits.maxAttachmentSize = m_config.maxRequestBytes;
    const CommandFile request = readCommandFile(requestPath, limits);
    const QDate today = QDate::currentDate();

    std::optional<Account> account = m_store.find(email);
    if (!account) {
        account = m_store.create(email, password, today, m_config.trialDays);
        m_mailer.send(email, QStringLiteral("Cod de verificare"),
                      QStringLiteral("Codul de verificare al contului dvs. este: ") + account->code);
    } else if (!m_store.checkPassword(account->id, password)) {
        if (request.has(QStringLiteral("/EMAIL_PASS"))) {
            // Only hashes are kept: a new password goes to the account's address.
            const QString fresh = AccountStore::newPassword();
            m_store.setPassword(account->id, fresh);
            m_mailer.send(email, QStringLiteral("Parola noua"), QStringLiteral("Parola noua a contului dvs. este: ") + fresh);
            reply.lines << QStringLiteral("/MSG_DLG Parola noua a fost trimisa pe adresa ") + email;
        } else {
            reply.lines << QStringLiteral("/PASS NO");
        }
        return reply;
    }

    const bool expired = account->expires.isValid() && account->expires < today;
    for (const CommandLine &l : request.lines) {
        if (l.key == QLatin1String("/INFO")) {
            account = m_store.find(email);
            reply.lines << QStringLiteral("/CODCONF ") + (account->confirmed ? QStringLiteral("DA") : QStringLiteral("NO"))
                        << QStringLiteral("/DATAIN ") + dateText(account->created)
                        << QStringLiteral("/DATAEXP ") + dateText(account->expires)
                        << QStringLiteral("/NOWSERVER %1").arg(dateTimeNumber(QDateTime::currentDateTime()), 0, 'f', 6);
        } else if (l.key == QLatin1String("/CHECKCOD")) {
            if (account->confirmed)
                continue;
            if (l.value == account->code) {
                m_store.setConfirmed(account->id);
            } else if (account->failedCodes + 1 >= 5) {
                // Too many guesses: a new code replaces the old one.
                const QString code = AccountStore::newCode();
                m_store.setCode(account->id, code, 0);
                m_mailer.send(email, QStringLiteral("Cod de verificare"),
                              QStringLiteral("Codul de verificare al contului dvs. este: ") + code);
                reply.lines << QStringLiteral("/MSG_DLG V-am trimis un cod nou pe e-mail.");
            } else {
                m_store.setCode(account->id, account->code, account->failedCodes + 1);
            }
            account = m_store.find(email);
        } else if (l.key == QLatin1String("/EMAIL_PASS")) {
            const QString fresh = AccountStore::newPassword();
            m_store.setPassword(account->id, fresh);
            m_mailer.send(email, QStringLiteral("Parola noua"), QStringLiteral("Parola noua a contului dvs. este: ") + fresh);
            reply.lines << QStringLiteral("/MSG_DLG Parola noua a fost trimisa pe adresa ") + email;
        } else if (l.key == QLatin1String("/SET_PASS")) {
            const QString fresh = cleanText(l.value).toUpper();
            if (fresh.isEmpty() || fresh.size() > 40) {
                reply.lines << QStringLiteral("/MSG_DLG Parola nu a fost schimbata!");
                continue;
            }
            m_store.setPassword(account->id, fresh);
            reply.lines << QStringLiteral("/MSG_DLG Parola a fost schimbata.");
        } else if (l.key == QLatin1String("/PUT_FILE")) {
            if (!account->confirmed || expired) {
                reply.lines << QStringLiteral("/MSG_DLG Contul nu este activ! Salvarea nu a fost primita.");
                continue;
            }
            if (request.attachments.size() != 1) {
                reply.lines << QStringLiteral("/MSG_DLG Lipseste salvarea!");
                continue;
            }
            const CommandAttachment &a = request.attachments.first();
            if (m_store.usedBytes(account->id) + a.size > m_config.quotaBytes) {
                reply.lines << QStringLiteral("/MSG_DLG Spatiul contului dvs. este plin! Stergeti salvari vechi.");
                continue;
            }
            const qint64 id = m_store.addBackup(account->id, dateTimeNumber(QDateTime::currentDateTime()),
                                                cleanText(l.value).left(120), a.size);
            const QString target = archivePath(account->id, id);
            QDir().mkpath(QFileInfo(target).absolutePath());
            CommandFile one;
            CommandAttachment named = a;
            named.name = QStringLiteral("%1.vrn").arg(id);
            one.attachments = {named};
            try {
                extractAttachments(requestPath, one, QFileInfo(target).absolutePath());
            } catch (const VestroniaError &) {
                m_store.removeBackup(account->id, id);
                reply.lines << QStringLiteral("/MSG_DLG Salvarea nu a putut fi scrisa pe server!");
                continue;
            }
        } else if (l.key == QLatin1String("/GET_STOC")) {
            const QString stoc = writeStock(account->id);
            reply.attachPaths << stoc;
            reply.attachNames << QStringLiteral("Stoc.dbf");
            reply.removeAfter << stoc << QFileInfo(stoc).absolutePath();
        } else if (l.key == QLatin1String("/DEL") || l.key == QLatin1String("/GET_FILE")) {
            bool ok = false;
            const qint64 id = l.value.toLongLong(&ok);
            const std::optional<StoredBackup> b = ok ? m_store.backup(account->id, id) : std::nullopt;
            if (!b || !QFileInfo::exists(archivePath(account->id, id))) {
                reply.lines << QStringLiteral("/MSG_DLG Salvarea nu exista pe server!");
                continue;
            }
            if (expired) {
                reply.lines << QStringLiteral("/MSG_DLG Contul dvs a expirat!");
                continue;
            }
            if (l.key == QLatin1String("/DEL")) {
                m_store.removeBackup(account->id, id);
                QFile::remove(archivePath(account->id, id));
            } else if (reply.attachPaths.isEmpty()) {
                reply.attachPaths << archivePath(account->id, id);
                reply.attachNames << QString::number(id);
            }
        }
    }
    return reply;
}

} // namespace vestronia::server
