// TLS between the backup client and vestronia-server on loopback, with throwaway
// certificates made by the openssl tool: the address file tells the client to use TLS,
// a pinned fingerprint lets a self-signed certificate in, and a wrong certificate (or
// one no authority signed, without a pin) is refused before any password is sent.

#include "backup/serverprocess.h"

#include "backup/packetcodec.h"
#include "backup/remoteclient.h"
#include "core/profilefile.h"

#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>
#include <vector>

using namespace vestronia;

class TestTls : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pinnedCertificateCarriesTheExchange();
    void wrongCertificateIsRefused();
    void plainPeersGetNothing();
    void stalledHandshakesDoNotStopTheTlsPort();

private:
    // A self-signed certificate for 127.0.0.1; its SHA-256 in hex.
    QByteArray makeCertificate(const QString &name);
    Session session(const QString &pin) const;
    RemoteClient client(const QString &pin) const;

    QTemporaryDir m_dir;
    ServerProcess m_server;
    QByteArray m_fingerprint;
    QByteArray m_otherFingerprint;
};

QByteArray TestTls::makeCertificate(const QString &name)
{
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
             QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
             QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
             QStringLiteral("-keyout"), m_dir.filePath(name + QStringLiteral(".key")), QStringLiteral("-out"),
             m_dir.filePath(name + QStringLiteral(".pem"))});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    const QList<QSslCertificate> c = QSslCertificate::fromPath(m_dir.filePath(name + QStringLiteral(".pem")));
    return c.isEmpty() ? QByteArray() : c.first().digest(QCryptographicHash::Sha256).toHex();
}

void TestTls::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty(), "the openssl tool is needed");
    m_fingerprint = makeCertificate(QStringLiteral("server"));
    m_otherFingerprint = makeCertificate(QStringLiteral("other"));
    QVERIFY(!m_fingerprint.isEmpty() && !m_otherFingerprint.isEmpty());
    for (const char *folder : {"home/Temp", "home/Data", "machine"})
        QDir(m_dir.path()).mkpath(QLatin1String(folder));
    if (!m_server.start(m_dir.filePath(QStringLiteral("server")),
                        {QStringLiteral("--tls-cert"), m_dir.filePath(QStringLiteral("server.pem")), QStringLiteral("--tls-key"),
                         m_dir.filePath(QStringLiteral("server.key"))}))
        QSKIP("vestronia-server is not built");
}

Session TestTls::session(const QString &pin) const
{
    Session s;
    s.programFolder = m_dir.filePath(QStringLiteral("home"));
    s.localDataFolder = s.programFolder + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = s.programFolder + QStringLiteral("/Temp");
    s.machineFolder = m_dir.filePath(QStringLiteral("machine"));
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"),
                           QStringLiteral("127.0.0.1:%1").arg(m_server.httpPort));
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerSHA256"), pin);
    return s;
}

RemoteClient TestTls::client(const QString &pin) const
{
    RemoteClient c(session(pin), QStringLiteral("primaria@exemplu.ro"), QStringLiteral("PAROLA"), QStringLiteral("X/Y"));
    c.setTimeouts(10000, 10000, 30000);
    return c;
}

void TestTls::pinnedCertificateCarriesTheExchange()
{
    // The address file says TLS; the pin (with colons, as tools print it) accepts the
    // self-signed certificate.
    QByteArray pin;
    for (int i = 0; i < m_fingerprint.size(); i += 2)
        pin += (i ? ":" : "") + m_fingerprint.mid(i, 2).toUpper();
    RemoteClient c = client(QString::fromLatin1(pin));
    RemoteReply r = c.info();
    QVERIFY2(r.ok, qPrintable(r.error + QLatin1Char(' ') + r.detail));
    QVERIFY(r.needsConfirmation);
    r = c.info();
    QVERIFY(r.ok && !r.wrongPassword);
}

void TestTls::wrongCertificateIsRefused()
{
    RemoteReply r = client(QString::fromLatin1(m_otherFingerprint)).info();
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Serverul nu raspunde!"));
    // Without a pin the system's authorities decide, and none signed this one.
    ProfileFile::writeText(session(QString()).machineSettings(), QStringLiteral("88"), QStringLiteral("ServerTLS"),
                           QStringLiteral("DA"));
    r = client(QString()).info();
    QVERIFY(!r.ok);
    QVERIFY2(!r.detail.isEmpty(), qPrintable(r.error));
}

void TestTls::plainPeersGetNothing()
{
    // A plain client that ignores the address file's TLS line gets no login request.
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, m_server.backupPort);
    QVERIFY(s.waitForConnected(3000));
    s.write(packet::encode(packet::Ping));
    QByteArray got;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(3000))
        got += s.readAll();
    QVERIFY(!got.contains(packet::encode(packet::LoginRequest)));
    QVERIFY(m_server.running());
}

void TestTls::stalledHandshakesDoNotStopTheTlsPort()
{
    // Strangers from many addresses open more connections than the listener keeps
    // waiting and never start the handshake, then go: the port must still take an owner.
    std::vector<std::unique_ptr<QTcpSocket>> stalled;
    for (int i = 1; i <= 80; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        s->bind(QHostAddress(QStringLiteral("127.0.1.%1").arg(i)), 0);
        s->connectToHost(QHostAddress::LocalHost, m_server.backupPort);
        QVERIFY(s->waitForConnected(3000));
        stalled.push_back(std::move(s));
    }
    QTest::qWait(200);
    for (auto &s : stalled)
        s->abort();
    stalled.clear();
    const RemoteReply r = client(QString::fromLatin1(m_fingerprint)).info();
    QVERIFY2(r.ok, qPrintable(r.error + QLatin1Char(' ') + r.detail));
    QVERIFY(m_server.running());
}

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
