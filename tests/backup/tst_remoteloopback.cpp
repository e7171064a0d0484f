// The remote backup client against the reference server on loopback (every command,
// then a restore from a fetched backup and an expired account), and against a scripted
// hostile server (lying sizes, a path in an attachment name, a reply that never ends),
// plus the watchdog: a slow but steady upload is not cut off, silence is.

#include "backup/serverprocess.h"

#include "backup/localbackup.h"
#include "backup/packetcodec.h"
#include "backup/remoteclient.h"
#include "core/profilefile.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

using namespace vestronia;

namespace {

// A server that speaks the packets and then misbehaves as told.
class ScriptedServer : public QObject
{
public:
    QByteArray reply;            // reply file bytes
    qint64 announcedSize = -1;   // -1: the real size
    int ackDelayMs = 0;          // delay before asking for each request block
    bool silentAfterFirstBlock = false;
    QByteArray oversizedBlock;   // sent instead of the reply blocks

    ScriptedServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = m_server.nextPendingConnection();
            auto decoder = std::make_shared<packet::Decoder>();
            auto received = std::make_shared<qint64>(0);
            auto expected = std::make_shared<qint64>(0);
            auto sentReply = std::make_shared<qint64>(0);
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            s->write(packet::encode(packet::LoginRequest));
            connect(s, &QTcpSocket::readyRead, s, [=, this] {
                decoder->feed(s->readAll());
                while (std::optional<packet::Packet> p = decoder->next()) {
                    switch (p->type) {
                    case packet::Login: s->write(packet::encode(packet::LoginAccepted)); break;
                    case packet::Ping: s->write(packet::encode(packet::Pong)); break;
                    case packet::NewStream: {
                        quint32 size = 0;
                        QByteArray d;
                        packet::decodeStreamAnnounce(p->payload, size, d);
                        *expected = size;
                        s->write(packet::encode(packet::AcceptStream));
                        break;
                    }
                    case packet::StreamBlock:
                        *received += p->payload.size();
                        if (*received < *expected) {
                            QTimer::singleShot(ackDelayMs, s, [s] { s->write(packet::encode(packet::NeedMoreData)); });
                        } else {
                            s->write(packet::encode(packet::StreamReceived));
                            const quint32 size = announcedSize >= 0 ? quint32(announcedSize) : quint32(reply.size());
                            s->write(packet::encode(packet::NewStream, packet::encodeStreamAnnounce(size, "r")));
                        }
                        break;
                    case packet::AcceptStream:
                    case packet::NeedMoreData:
                        if (!oversizedBlock.isEmpty()) {
                            s->write(packet::encode(packet::StreamBlock, oversizedBlock));
                            break;
                        }
                        if (silentAfterFirstBlock && *sentReply > 0)
                            break;
                        if (*sentReply < reply.size()) {
                            const QByteArray block = reply.mid(*sentReply, 65535);
                            *sentReply += block.size();
                            s->write(packet::encode(packet::StreamBlock, block));
                        }
                        break;
                    default: break;
                    }
                }
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

} // namespace

class TestRemoteLoopback : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void wholePathAgainstReferenceServer();
    void suggestionsEndpointStoresAndAnswers();
    void lyingReplySizeRefused();
    void pathInAttachmentNameRefused();
    void replyThatNeverEndsTimesOut();
    void replyLargerThanAllowedRefused();
    void slowSteadyUploadIsNotCutOff();

private:
    Session session() const;
    RemoteClient scripted(ScriptedServer &server);
    void verifyNothingOutsideTemp();

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRemoteLoopback::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QDir(m_dir->path()).mkpath(QStringLiteral("home/Data"));
    QDir(m_dir->path()).mkpath(QStringLiteral("home/Temp"));
    QDir(m_dir->path()).mkpath(QStringLiteral("machine"));
    QFile f(m_dir->filePath(QStringLiteral("home/Data/Abonat.dbf")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("date originale ") + QByteArray(5000, 'x'));
}

Session TestRemoteLoopback::session() const
{
    Session s;
    s.programFolder = m_dir->filePath(QStringLiteral("home"));
    s.localDataFolder = s.programFolder + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = s.programFolder + QStringLiteral("/Temp");
    s.machineFolder = m_dir->filePath(QStringLiteral("machine"));
    return s;
}

void TestRemoteLoopback::wholePathAgainstReferenceServer()
{
    ServerProcess server;
    if (!server.start(m_dir->filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    const Session s = session();
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"),
                           QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    const QString email = QStringLiteral("primaria@exemplu.ro");

    // First login creates the account and mails a code; the account needs confirming.
    RemoteClient client(s, email, QStringLiteral("PAROLA"), QStringLiteral("Ciugud/Alba"));
    RemoteReply r = client.info();
    QVERIFY2(r.ok, qPrintable(r.error + r.detail));
    QVERIFY(!r.wrongPassword);
    QVERIFY(r.needsConfirmation);
    QCOMPARE(r.dataIn, QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
    QVERIFY(!r.expired());
    const QRegularExpressionMatch code = QRegularExpression(QStringLiteral("este: (\\d{6})")).match(server.lastMail());
    QVERIFY(code.hasMatch());

    r = client.checkCode((code.captured(1).toLongLong() + 1) % 1000000);
    QVERIFY(r.ok);
    QVERIFY(r.needsConfirmation);
    r = client.checkCode(code.captured(1).toLongLong());
    QVERIFY(r.ok);
    QVERIFY(!r.needsConfirmation);

    // Wrong password: "/PASS NO". Asking for the password mails a one-time password; it
    // replaces the old one only when it is presented.
    RemoteClient intruder(s, email, QStringLiteral("GRESIT"), QStringLiteral("X/Y"));
    r = intruder.info();
    QVERIFY(r.ok);
    QVERIFY(r.wrongPassword);
    r = intruder.emailPassword();
    QVERIFY(r.ok);
    QCOMPARE(r.messages.size(), 1);
    const QRegularExpressionMatch fresh = QRegularExpression(QStringLiteral("este: ([A-Z0-9]{10})")).match(server.lastMail());
    QVERIFY(fresh.hasMatch());
    QVERIFY(!client.info().wrongPassword); // asking proves nothing: the old password still works
    RemoteClient mailed(s, email, fresh.captured(1), QStringLiteral("X/Y"));
    QVERIFY(!mailed.info().wrongPassword);
    QVERIFY(client.info().wrongPassword); // the mailed one was presented: the old one is gone
    r = mailed.setPassword(QStringLiteral("NOU"));
    QVERIFY(r.ok && !r.wrongPassword);
    QVERIFY(r.messages.value(0).startsWith(QStringLiteral("Parola nu a fost schimbata!"))); // too short
    r = mailed.setPassword(QStringLiteral("NOUA12"));
    QVERIFY(r.ok && !r.wrongPassword);
    RemoteClient owner(s, email, QStringLiteral("NOUA12"), QStringLiteral("Ciugud/Alba"));
    QVERIFY(!owner.info().wrongPassword);

    // Send two backups, list them.
    const QString srv = owner.srvPath();
    packDataFolder(s, srv, *std::make_unique<NullProgress>());
    QFile archive(srv);
    QVERIFY(archive.open(QIODevice::ReadOnly));
    const QByteArray sent = archive.readAll();
    archive.close();
    QVERIFY(owner.putFile(srv, QStringLiteral("prima")).ok);
    QVERIFY(owner.putFile(srv, QString()).ok);
    r = owner.getStock();
    QVERIFY(r.ok);
    QCOMPARE(r.attachments, QStringList{s.tempFolder + QStringLiteral("/Stoc.dbf")});
    QList<StockRow> rows = readStock(r.attachments.first());
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].obs, QStringLiteral("prima"));
    QCOMPARE(rows[1].obs, QStringLiteral("***"));
    QCOMPARE(rows[0].dateText(), QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));

    // Fetch the first one and restore it over changed data.
    r = owner.getFile(rows[0].id);
    QVERIFY(r.ok);
    const QString fetched = s.tempFolder + QLatin1Char('/') + QString::number(rows[0].id);
    QCOMPARE(r.attachments, QStringList{fetched});
    QFile got(fetched);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), sent);
    got.close();
    QFile data(s.dataFolder + QStringLiteral("/Abonat.dbf"));
    QVERIFY(data.open(QIODevice::WriteOnly));
    data.write("schimbat");
    data.close();
    restoreFromArchive(s, fetched, *std::make_unique<NullProgress>());
    QVERIFY(data.open(QIODevice::ReadOnly));
    QVERIFY(data.readAll().startsWith("date originale "));
    data.close();

    // Delete the first; it is gone from the list and cannot be fetched.
    QVERIFY(owner.deleteBackup(rows[0].id).ok);
    deleteStockRow(r.attachments.isEmpty() ? QString() : s.tempFolder + QStringLiteral("/Stoc.dbf"), rows[0].id);
    r = owner.getStock();
    rows = readStock(r.attachments.first());
    QCOMPARE(rows.size(), 1);
    r = owner.getFile(rows[0].id - 1);
    QVERIFY(r.ok);
    QVERIFY(r.attachments.isEmpty());
    QCOMPARE(r.messages.size(), 1);

    // An expired account is shown as expired; the server refuses new backups.
    QCOMPARE(server.admin({QStringLiteral("expire"), email, QStringLiteral("01.01.2020")}), 0);
    r = owner.info();
    QVERIFY(r.expired());
    QVERIFY(r.messages.value(0).contains(QStringLiteral("0700000000"))); // the operator's number
    r = owner.putFile(srv, QStringLiteral("dupa expirare"));
    QVERIFY(r.ok);
    QCOMPARE(r.messages.size(), 1);
    QCOMPARE(readStock(owner.getStock().attachments.first()).size(), 1);
}

void TestRemoteLoopback::suggestionsEndpointStoresAndAnswers()
{
    ServerProcess server;
    if (!server.start(m_dir->filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.httpPort);
    const std::optional<QByteArray> answer =
        httpGet(base + QStringLiteral("/sugestii.php?nume=Ion&produs=Vestronia:+merge%0D%0A"));
    QVERIFY(answer);
    QVERIFY(answer->contains("SUCCES"));
    const std::optional<QByteArray> address = httpGet(base + QStringLiteral("/demo/BackUpS/adr.txt"));
    QVERIFY(address);
    const std::optional<ServerAddress> a = parseServerAddress(*address);
    QVERIFY(a);
    QCOMPARE(a->port, server.backupPort);
    QVERIFY(!httpGet(base + QStringLiteral("/nimic")));
}

RemoteClient TestRemoteLoopback::scripted(ScriptedServer &server)
{
    RemoteClient c(session(), QStringLiteral("primaria@exemplu.ro"), QStringLiteral("P"), QStringLiteral("X/Y"));
    c.setServer({QStringLiteral("127.0.0.1"), server.port()});
    c.setTimeouts(3000, 800, 10000);
    return c;
}

void TestRemoteLoopback::verifyNothingOutsideTemp()
{
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("home"), QStringLiteral("machine")}));
    QCOMPARE(QDir(m_dir->filePath(QStringLiteral("home"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("Data"), QStringLiteral("Temp")}));
    QCOMPARE(QDir(session().tempFolder).entryList(QDir::Files), QStringList());
}

void TestRemoteLoopback::lyingReplySizeRefused()
{
    ScriptedServer server;
    server.reply = "/INFO\r\n/END\r\n";
    server.announcedSize = 4;
    server.oversizedBlock = QByteArray(100, 'x'); // more than announced
    const RemoteReply r = scripted(server).info();
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Eroare la transmisie."));
    verifyNothingOutsideTemp();
}

void TestRemoteLoopback::pathInAttachmentNameRefused()
{
    ScriptedServer server;
    server.reply = "/DATAIN 01.01.2024\r\n#ATTACH ../../evil.sh : 3\r\n/END\r\nabc";
    const RemoteReply r = scripted(server).info();
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Eroare la transmisie."));
    QVERIFY(r.detail.contains(QStringLiteral("evil")));
    verifyNothingOutsideTemp();
}

void TestRemoteLoopback::replyThatNeverEndsTimesOut()
{
    ScriptedServer server;
    server.reply = QByteArray(200000, 'z');
    server.silentAfterFirstBlock = true;
    QElapsedTimer t;
    t.start();
    const RemoteReply r = scripted(server).info();
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Serverul nu raspunde!"));
    QVERIFY(t.elapsed() < 2500); // the silence limit, not the whole wait
    verifyNothingOutsideTemp();
}

void TestRemoteLoopback::replyLargerThanAllowedRefused()
{
    ScriptedServer server;
    server.reply = "/END\r\n";
    server.announcedSize = 0xFFFFFFF0u;
    RemoteClient c = scripted(server);
    const RemoteReply r = c.info();
    QVERIFY(!r.ok);
    verifyNothingOutsideTemp();
}

void TestRemoteLoopback::slowSteadyUploadIsNotCutOff()
{
    // Five blocks, each asked for after 300 ms: 1.2 s in all, longer than the 800 ms
    // silence limit and close to the wait limit, yet never silent for long.
    ScriptedServer server;
    server.reply = "/MSG_DLG primit\r\n/END\r\n";
    server.ackDelayMs = 300;
    RemoteClient c = scripted(server);
    c.setTimeouts(1000, 800, 10000);
    const QString big = session().tempFolder + QStringLiteral("/mare.bin");
    QFile f(big);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4 * 65535 + 10, 'm'));
    f.close();
    const RemoteReply r = c.putFile(big, QStringLiteral("lent"));
    QVERIFY2(r.ok, qPrintable(r.error + QLatin1Char(' ') + r.detail));
    QCOMPARE(r.messages, QStringList{QStringLiteral("primit")});
    QFile::remove(big);
}

QTEST_GUILESS_MAIN(TestRemoteLoopback)
#include "tst_remoteloopback.moc"
