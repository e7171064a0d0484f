// vestronia-server against a hostile client of its own, on loopback: a flood of web
// requests, pings without reading, strangers holding connections, an upload with a
// wrong password, "password by e-mail" from a stranger, password and code guessing, a
// mailer that fails, the shipped configuration, the operator's commands. Strangers
// connect from 127.0.0.2, the owner from 127.0.0.1, so the per-address cap is seen.

#include "backup/serverprocess.h"

#include "backup/commandfile.h"
#include "backup/packetcodec.h"
#include "backup/remoteclient.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace vestronia;

namespace {

const QString Stranger = QStringLiteral("127.0.0.2");

// A blocking client of the packet protocol that does exactly what the test says.
class Raw
{
public:
    explicit Raw(quint16 port, const QString &from = QStringLiteral("127.0.0.1"))
    {
        m_socket.bind(QHostAddress(from), 0);
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(3000);
    }

    void send(quint32 type, const QByteArray &payload = {})
    {
        m_socket.write(packet::encode(type, payload));
        m_socket.flush();
    }

    std::optional<packet::Packet> next(int ms = 5000)
    {
        const QDeadlineTimer deadline(ms);
        for (;;) {
            if (std::optional<packet::Packet> p = m_decoder.next())
                return p;
            if (m_socket.bytesAvailable() > 0) {
                m_decoder.feed(m_socket.readAll());
                continue;
            }
            if (m_socket.state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
                return std::nullopt;
            m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    // Whether the server closes the connection within ms (what it sends is read away).
    bool closedWithin(int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            m_socket.readAll();
            m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        m_socket.readAll();
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

    bool login(const QString &email, const QString &password)
    {
        std::optional<packet::Packet> p = next();
        if (!p || p->type != packet::LoginRequest)
            return false;
        send(packet::Login, packet::encodeLogin("088" + email.toLatin1(), password.leftJustified(40, QLatin1Char(' ')).toLatin1() + "X/Y"));
        p = next();
        return p && p->type == packet::LoginAccepted;
    }

    void announce(quint32 size) { send(packet::NewStream, packet::encodeStreamAnnounce(size, "\"trimit\"")); }

    // Sends a request (announcing announced bytes, the request's size by default) and
    // returns the reply's bytes; accepted tells whether the server asked for any byte.
    std::optional<QByteArray> exchange(const QByteArray &request, qint64 announced = -1, bool *accepted = nullptr,
                                       bool alreadyAnnounced = false)
    {
        const quint32 size = quint32(announced < 0 ? request.size() : announced);
        if (!alreadyAnnounced)
            announce(size);
        qint64 sent = 0;
        if (accepted)
            *accepted = false;
        for (;;) {
            std::optional<packet::Packet> p = next();
            if (!p)
                return std::nullopt;
            if (p->type == packet::AcceptStream || p->type == packet::NeedMoreData) {
                if (accepted)
                    *accepted = true;
                const QByteArray block = request.mid(sent, 65535);
                sent += block.size();
                send(packet::StreamBlock, block);
            } else if (p->type == packet::StreamReceived) {
                break;
            } else if (p->type != packet::Pong) {
                return std::nullopt;
            }
        }
        std::optional<packet::Packet> p = next();
        quint32 replySize = 0;
        QByteArray description;
        if (!p || p->type != packet::NewStream || !packet::decodeStreamAnnounce(p->payload, replySize, description))
            return std::nullopt;
        send(packet::AcceptStream);
        QByteArray reply;
        while (reply.size() < qsizetype(replySize)) {
            p = next();
            if (!p || p->type != packet::StreamBlock)
                return std::nullopt;
            reply += p->payload;
            send(reply.size() < qsizetype(replySize) ? packet::NeedMoreData : packet::StreamReceived);
        }
        return reply;
    }

    QTcpSocket m_socket;
    packet::Decoder m_decoder;
};

QByteArray request(const QStringList &lines, const QByteArray &attachment = {})
{
    if (attachment.isEmpty())
        return commandFileHead(lines);
    return commandFileHead(lines, {QStringLiteral("Srv")}, {attachment.size()}) + attachment;
}

// One exchange on a fresh connection; empty when it failed.
QByteArray ask(quint16 port, const QString &email, const QString &password, const QStringList &lines,
               const QByteArray &attachment = {}, const QString &from = QStringLiteral("127.0.0.1"))
{
    Raw raw(port, from);
    if (!raw.login(email, password))
        return {};
    return raw.exchange(request(lines, attachment)).value_or(QByteArray());
}

QString codeOf(const QString &mail)
{
    return QRegularExpression(QStringLiteral("este: (\\d{6})")).match(mail).captured(1);
}

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void webSideAnswersEveryRequest();
    void pingFloodsAreCut();
    void strangersHoldingConnectionsDoNotLockOutTheOwner();
    void strangerDrippingASmallRequestIsDroppedAtTheLoginDeadline();
    void strangerNotTakingHisRefusalIsDroppedAtTheLoginDeadline();
    void uploadWithWrongPasswordIsNotRead();
    void replyIsNotHeldForAReaderThatAsksAndNeverReads();
    void passwordByMailNeedsProof();
    void mailedPasswordUsedTwiceAtOnceKeepsTheAccount();
    void wrongPasswordsSlowDownThenLock();
    void codeGuessesAreBounded();
    void failedMailIsTold();
    void shippedConfigurationServes();
    void operatorCommands();

private:
    bool start(ServerProcess &server, const QStringList &extra = {});
    // A confirmed account with this password.
    bool account(ServerProcess &server, const QString &email, const QString &password);
    Session session() const;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestHostile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QDir(m_dir->path()).mkpath(QStringLiteral("home/Temp"));
    QDir(m_dir->path()).mkpath(QStringLiteral("home/Data"));
    QDir(m_dir->path()).mkpath(QStringLiteral("machine"));
}

bool TestHostile::start(ServerProcess &server, const QStringList &extra)
{
    return server.start(m_dir->filePath(QStringLiteral("server")), extra);
}

bool TestHostile::account(ServerProcess &server, const QString &email, const QString &password)
{
    const QByteArray r = ask(server.backupPort, email, password, {QStringLiteral("/INFO")});
    return r.contains("/CODCONF NO") && server.admin({QStringLiteral("confirm"), email}) == 0;
}

Session TestHostile::session() const
{
    Session s;
    s.programFolder = m_dir->filePath(QStringLiteral("home"));
    s.localDataFolder = s.programFolder + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = s.programFolder + QStringLiteral("/Temp");
    s.machineFolder = m_dir->filePath(QStringLiteral("machine"));
    return s;
}

void TestHostile::webSideAnswersEveryRequest()
{
    ServerProcess server;
    if (!start(server))
        QSKIP("vestronia-server is not built");
    // Strangers that open connections and say nothing take their address's share only.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 20; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        s->bind(QHostAddress(Stranger), 0);
        s->connectToHost(QHostAddress::LocalHost, server.httpPort);
        QVERIFY(s->waitForConnected(3000));
        idle.push_back(std::move(s));
    }
    for (int i = 0; i < 300; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, server.httpPort);
        QVERIFY(s.waitForConnected(3000));
        s.write("GET /demo/BackUpS/adr.txt HTTP/1.0\r\n\r\n");
        QByteArray answer;
        while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(3000))
            answer += s.readAll();
        answer += s.readAll();
        QVERIFY2(answer.startsWith("HTTP/1.0 200"), qPrintable(QStringLiteral("request %1: ").arg(i) + QString::fromLatin1(answer.left(40))));
        QVERIFY(parseServerAddress(answer.mid(answer.indexOf("\r\n\r\n") + 4)));
    }
}

void TestHostile::pingFloodsAreCut()
{
    ServerProcess server;
    if (!start(server))
        QSKIP("vestronia-server is not built");
    const qint64 before = server.residentKiB();
    // Before the login nothing but the login is answered: pings end the connection.
    std::vector<std::unique_ptr<Raw>> floods;
    for (int i = 0; i < 4; ++i) {
        floods.push_back(std::make_unique<Raw>(server.backupPort, Stranger));
        for (int k = 0; k < 1000; ++k)
            floods.back()->m_socket.write(packet::encode(packet::Ping));
        floods.back()->m_socket.flush();
    }
    for (auto &f : floods)
        QVERIFY(f->closedWithin(5000));
    // Logged in, pings are answered only while the peer reads its answers.
    Raw flood(server.backupPort, Stranger);
    QVERIFY(flood.login(QStringLiteral("strain@exemplu.ro"), QStringLiteral("PAROLA")));
    const QByteArray pings = packet::encode(packet::Ping).repeated(20000);
    for (int k = 0; k < 10; ++k) {
        flood.m_socket.write(pings);
        flood.m_socket.waitForBytesWritten(200);
    }
    QElapsedTimer t;
    t.start();
    while (flood.m_socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < 5000)
        flood.m_socket.waitForDisconnected(100); // never reads
    QCOMPARE(flood.m_socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(server.residentKiB() - before < 20 * 1024, qPrintable(QString::number(server.residentKiB() - before)));
}

void TestHostile::strangersHoldingConnectionsDoNotLockOutTheOwner()
{
    ServerProcess server;
    if (!start(server, {QStringLiteral("--max-per-address"), QStringLiteral("5"), QStringLiteral("--login-seconds"),
                        QStringLiteral("2")}))
        QSKIP("vestronia-server is not built");
    QVERIFY(account(server, QStringLiteral("primaria@exemplu.ro"), QStringLiteral("PAROLA")));
    // Twenty slow strangers: five are let in and held to the login deadline, the rest
    // are told the server is busy, in a text the client shows.
    std::vector<std::unique_ptr<Raw>> slow;
    for (int i = 0; i < 20; ++i)
        slow.push_back(std::make_unique<Raw>(server.backupPort, Stranger));
    int busy = 0;
    for (auto &s : slow) {
        std::optional<packet::Packet> p = s->next(3000);
        if (p && p->type == packet::Message) {
            QVERIFY(p->payload.contains("ocupat"));
            p = s->next(3000);
            QVERIFY(p && p->type == packet::NotLetIn);
            ++busy;
        }
    }
    QCOMPARE(busy, 15);
    // The owner, from another address, is served meanwhile.
    RemoteClient owner(session(), QStringLiteral("primaria@exemplu.ro"), QStringLiteral("PAROLA"), QStringLiteral("X/Y"));
    owner.setServer({QStringLiteral("127.0.0.1"), server.backupPort});
    owner.setTimeouts(10000, 10000, 30000);
    RemoteReply r = owner.info();
    QVERIFY2(r.ok && !r.wrongPassword, qPrintable(r.error + r.detail));
    // The five that never logged in are dropped at the deadline.
    for (auto &s : slow)
        QVERIFY(s->closedWithin(5000));
    // An owner over his own cap reads why he was refused.
    std::vector<std::unique_ptr<Raw>> mine;
    for (int i = 0; i < 5; ++i) {
        mine.push_back(std::make_unique<Raw>(server.backupPort));
        QVERIFY(mine.back()->next());
    }
    r = owner.info();
    QVERIFY(!r.ok);
    QVERIFY2(r.detail.contains(QStringLiteral("Serverul este ocupat")), qPrintable(r.detail));
}

void TestHostile::strangerDrippingASmallRequestIsDroppedAtTheLoginDeadline()
{
    // A request small enough to be read before the password is known ("password by
    // e-mail") must come whole within the login deadline: a stranger sending it a byte at
    // a time would otherwise hold his connection for hours, a cap's worth per address.
    ServerProcess server;
    if (!start(server, {QStringLiteral("--login-seconds"), QStringLiteral("2")}))
        QSKIP("vestronia-server is not built");
    Raw raw(server.backupPort, Stranger);
    QVERIFY(raw.login(QStringLiteral("nimeni@exemplu.ro"), QStringLiteral("GRESIT")));
    raw.announce(4000);
    std::optional<packet::Packet> p = raw.next();
    QVERIFY(p && p->type == packet::AcceptStream);
    QElapsedTimer t;
    t.start();
    bool closed = false;
    while (!closed && t.elapsed() < 8000) {
        raw.send(packet::StreamBlock, "x");
        closed = raw.closedWithin(300);
    }
    QVERIFY2(closed && t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QVERIFY(server.running());
}

void TestHostile::strangerNotTakingHisRefusalIsDroppedAtTheLoginDeadline()
{
    // The refusal fits one block: a peer that never asks for it is a stranger holding a
    // connection, not an owner on a slow line.
    ServerProcess server;
    if (!start(server, {QStringLiteral("--login-seconds"), QStringLiteral("2")}))
        QSKIP("vestronia-server is not built");
    Raw raw(server.backupPort, Stranger);
    QVERIFY(raw.login(QStringLiteral("nimeni@exemplu.ro"), QStringLiteral("GRESIT")));
    const QByteArray r = request({QStringLiteral("/GET_STOC")});
    raw.announce(quint32(r.size()));
    std::optional<packet::Packet> p = raw.next();
    QVERIFY(p && p->type == packet::AcceptStream);
    raw.send(packet::StreamBlock, r);
    p = raw.next();
    QVERIFY(p && p->type == packet::StreamReceived);
    p = raw.next();
    QVERIFY(p && p->type == packet::NewStream);
    QElapsedTimer t;
    t.start();
    QVERIFY(raw.closedWithin(8000));
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
}

void TestHostile::uploadWithWrongPasswordIsNotRead()
{
    ServerProcess server;
    if (!start(server, {QStringLiteral("--quota-mb"), QStringLiteral("2"), QStringLiteral("--disk-cap-mb"), QStringLiteral("1")}))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(account(server, email, QStringLiteral("PAROLA")));
    const QString work = m_dir->filePath(QStringLiteral("server/work"));
    // 100 MB announced with a wrong password: answered "/PASS NO" without a byte asked for.
    Raw raw(server.backupPort, Stranger);
    QVERIFY(raw.login(email, QStringLiteral("GRESIT")));
    bool accepted = true;
    const std::optional<QByteArray> reply = raw.exchange(request({QStringLiteral("/PUT_FILE x")}, QByteArray(1000, 'x')), 100 * 1024 * 1024, &accepted);
    QVERIFY(reply);
    QVERIFY(!accepted);
    QVERIFY(reply->contains("/PASS NO"));
    QVERIFY(QDir(work).isEmpty());
    // The right password, but more than the quota: refused before it is read.
    Raw owner(server.backupPort);
    QVERIFY(owner.login(email, QStringLiteral("PAROLA")));
    const std::optional<QByteArray> full = owner.exchange(request({QStringLiteral("/PUT_FILE x")}, QByteArray(1000, 'x')), 3 * 1024 * 1024, &accepted);
    QVERIFY(full);
    QVERIFY(!accepted);
    QVERIFY(full->contains("plin"));
    // Within the quota but past the operator's cap on all accounts together.
    Raw again(server.backupPort);
    QVERIFY(again.login(email, QStringLiteral("PAROLA")));
    const std::optional<QByteArray> capped = again.exchange(request({QStringLiteral("/PUT_FILE x")}, QByteArray(1000, 'x')), 1536 * 1024, &accepted);
    QVERIFY(capped);
    QVERIFY(!accepted);
    QVERIFY(capped->contains("Serverul nu mai are spatiu"));
    // Within the quota it is stored, and nothing is left in the work folder.
    const QByteArray archive(300 * 1024, 'a');
    QVERIFY(!ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/PUT_FILE bun")}, archive).contains("/MSG_DLG"));
    const QByteArray list = ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/GET_FILE 1")});
    QVERIFY(list.endsWith(archive));
    QTRY_VERIFY_WITH_TIMEOUT(QDir(work).isEmpty(), 5000);
}

void TestHostile::replyIsNotHeldForAReaderThatAsksAndNeverReads()
{
    ServerProcess server;
    if (!start(server))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(account(server, email, QStringLiteral("PAROLA")));
    QByteArray archive(40 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < archive.size(); i += 4096)
        archive[i] = char(i / 4096);
    QVERIFY(!ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/PUT_FILE mare")}, archive).contains("/MSG_DLG"));
    archive.clear();
    const qint64 before = server.residentKiB();
    // Asks for the 40 MB reply with 700 "need more data" packets at once (5.6 KB) and
    // never reads: the server sends what the socket takes and then drops the peer.
    Raw greedy(server.backupPort, Stranger);
    QVERIFY(greedy.login(email, QStringLiteral("PAROLA")));
    greedy.send(packet::NewStream, packet::encodeStreamAnnounce(quint32(request({QStringLiteral("/GET_FILE 1")}).size()), "x"));
    std::optional<packet::Packet> p = greedy.next();
    QVERIFY(p && p->type == packet::AcceptStream);
    greedy.send(packet::StreamBlock, request({QStringLiteral("/GET_FILE 1")}));
    QVERIFY(greedy.next() && greedy.next()); // stream received, reply announced
    greedy.m_socket.setReadBufferSize(64 * 1024);
    greedy.send(packet::AcceptStream);
    greedy.m_socket.write(packet::encode(packet::NeedMoreData).repeated(700));
    greedy.m_socket.flush();
    qint64 peak = 0;
    for (int i = 0; i < 40; ++i) {
        QTest::qWait(50);
        peak = qMax(peak, server.residentKiB() - before);
    }
    QVERIFY2(peak < 16 * 1024, qPrintable(QString::number(peak)));
    // Reading now gets what the sockets held, far from the 40 MB, and then the close.
    greedy.m_socket.setReadBufferSize(0);
    qint64 got = 0;
    QElapsedTimer t;
    t.start();
    while (greedy.m_socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < 10000) {
        greedy.m_socket.waitForReadyRead(100);
        got += greedy.m_socket.readAll().size();
    }
    QCOMPARE(greedy.m_socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(got < 16 * 1024 * 1024, qPrintable(QString::number(got)));
}

void TestHostile::passwordByMailNeedsProof()
{
    ServerProcess server;
    if (!start(server))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(account(server, email, QStringLiteral("PAROLA")));
    const int mails = server.mailCount();
    const QByteArray r = ask(server.backupPort, email, QStringLiteral("GRESIT"), {QStringLiteral("/EMAIL_PASS")}, {}, Stranger);
    QVERIFY(r.contains("Parola noua a fost trimisa"));
    QCOMPARE(server.mailCount(), mails + 1);
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")}).contains("/CODCONF DA"));
    // Asking again at once mails nothing; an address without an account gets the same answer.
    QVERIFY(ask(server.backupPort, email, QStringLiteral("GRESIT"), {QStringLiteral("/EMAIL_PASS")}, {}, Stranger).contains("de curand"));
    QVERIFY(ask(server.backupPort, QStringLiteral("nimeni@exemplu.ro"), QStringLiteral("GRESIT"), {QStringLiteral("/EMAIL_PASS")}, {}, Stranger)
                .contains("Parola noua a fost trimisa"));
    QCOMPARE(server.mailCount(), mails + 1);
    // A new account needs a password of some length.
    QVERIFY(ask(server.backupPort, QStringLiteral("scurt@exemplu.ro"), QStringLiteral("AB"), {QStringLiteral("/INFO")}).contains("/PASS NO"));
}

void TestHostile::mailedPasswordUsedTwiceAtOnceKeepsTheAccount()
{
    // Two workstations present the mailed password at the same moment: with the shipped
    // hash strength both checks overlap on the two workers, and the second must not
    // replace the password by the pending one the first has just emptied.
    ServerProcess server;
    if (!start(server, {QStringLiteral("--hash"), QStringLiteral("interactive")}))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(account(server, email, QStringLiteral("PAROLA")));
    QVERIFY(ask(server.backupPort, email, QStringLiteral("GRESIT"), {QStringLiteral("/EMAIL_PASS")}, {}, Stranger)
                .contains("Parola noua a fost trimisa"));
    const QString mailed = QRegularExpression(QStringLiteral("este: (\\S+)")).match(server.lastMail()).captured(1);
    QVERIFY(!mailed.isEmpty());
    const QByteArray info = request({QStringLiteral("/INFO")});
    Raw a(server.backupPort), b(server.backupPort);
    QVERIFY(a.login(email, mailed) && b.login(email, mailed));
    a.announce(quint32(info.size()));
    b.announce(quint32(info.size()));
    QVERIFY(a.exchange(info, -1, nullptr, true).value_or(QByteArray()).contains("/CODCONF DA"));
    const QByteArray rb = b.exchange(info, -1, nullptr, true).value_or(QByteArray());
    QVERIFY2(rb.contains("/CODCONF DA"), rb.constData());
    // The mailed password is now the account's; the old one is gone.
    QVERIFY(ask(server.backupPort, email, mailed, {QStringLiteral("/INFO")}).contains("/CODCONF DA"));
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")}).contains("/PASS NO"));
    QVERIFY(server.running());
}

void TestHostile::wrongPasswordsSlowDownThenLock()
{
    ServerProcess server;
    if (!start(server, {QStringLiteral("--fail-delay-ms"), QStringLiteral("100"), QStringLiteral("--fail-lock-after"),
                        QStringLiteral("10")}))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(account(server, email, QStringLiteral("PAROLA")));
    QElapsedTimer t;
    t.start();
    int locked = 0;
    for (int i = 0; i < 20; ++i) {
        const QByteArray r = ask(server.backupPort, email, QStringLiteral("GRESIT%1").arg(i), {QStringLiteral("/INFO")}, {}, Stranger);
        QVERIFY(r.contains("/PASS NO"));
        if (r.contains("Prea multe incercari"))
            ++locked;
    }
    // Failures 4 to 9 waited 100, 200, 400, 800, 1600 and 3200 ms; the rest were refused.
    QVERIFY2(t.elapsed() >= 6300, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(locked, 10);
    // While the account is locked even its password is refused, from any address.
    const QByteArray r = ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")});
    QVERIFY(r.contains("Prea multe incercari") && r.contains("/PASS NO"));
}

void TestHostile::codeGuessesAreBounded()
{
    ServerProcess server;
    if (!start(server))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")}).contains("/CODCONF NO"));
    const QString code = codeOf(server.lastMail());
    QVERIFY(!code.isEmpty());
    QStringList guesses;
    for (int i = 0; i < 18; ++i)
        guesses << QStringLiteral("/CHECKCOD %1").arg((code.toInt() + 1 + i) % 1000000, 6, 10, QLatin1Char('0'));
    // Eighteen guesses in one request count as one.
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), guesses + QStringList{QStringLiteral("/INFO")}, {}, Stranger)
                .contains("/CODCONF NO"));
    // Single guesses: no new code is mailed to an address the guesser may not own.
    for (int i = 0; i < 6; ++i)
        ask(server.backupPort, email, QStringLiteral("PAROLA"), {guesses.at(i), QStringLiteral("/INFO")}, {}, Stranger);
    QCOMPARE(server.mailCount(), 1);
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/CHECKCOD ") + code, QStringLiteral("/INFO")})
                .contains("/CODCONF DA"));
}

void TestHostile::failedMailIsTold()
{
    ServerProcess server;
    if (!start(server, {QStringLiteral("--sendmail"), QStringLiteral("/bin/false")}))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")}).contains("nu a putut fi trimis"));
    QCOMPARE(server.admin({QStringLiteral("confirm"), email}), 0);
    QVERIFY(ask(server.backupPort, email, QStringLiteral("GRESIT"), {QStringLiteral("/EMAIL_PASS")}).contains("nu a putut fi trimis"));
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")}).contains("/CODCONF DA"));
}

void TestHostile::shippedConfigurationServes()
{
    const QString example = QStringLiteral(VESTRONIA_SOURCE_DIR "/tools/server/vestronia-server.conf.example");
    ServerProcess server;
    if (!start(server, {QStringLiteral("--config"), example}))
        QSKIP("vestronia-server is not built");
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, server.httpPort);
    QVERIFY(s.waitForConnected(3000));
    s.write("GET /demo/BackUpS/adr.txt HTTP/1.0\r\n\r\n");
    QByteArray answer;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(3000))
        answer += s.readAll();
    answer += s.readAll();
    const std::optional<ServerAddress> a = parseServerAddress(answer.mid(answer.indexOf("\r\n\r\n") + 4));
    QVERIFY(a);
    QCOMPARE(a->host, QStringLiteral("backup.example.ro"));
    QCOMPARE(a->port, quint16(1235));
    // An address the clients cannot read stops the server at start, saying why.
    QProcess bad;
    bad.start(ServerProcess::binary(), {QStringLiteral("--data"), m_dir->filePath(QStringLiteral("bad")), QStringLiteral("--port"),
                                        QStringLiteral("0"), QStringLiteral("--http-port"), QStringLiteral("0"), QStringLiteral("--hash"),
                                        QStringLiteral("min"), QStringLiteral("--public-address"), QStringLiteral("backup.example.ro:1235")});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 1);
    QVERIFY(bad.readAllStandardError().contains("public_address"));
}

void TestHostile::operatorCommands()
{
    ServerProcess server;
    if (!start(server))
        QSKIP("vestronia-server is not built");
    const QString email = QStringLiteral("primaria@exemplu.ro");
    QVERIFY(account(server, email, QStringLiteral("PAROLA")));
    QVERIFY(!ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/PUT_FILE a")}, QByteArray(200 * 1024, 'z')).contains("/MSG_DLG"));
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/GET_STOC")}).contains("Stoc.dbf"));
    QTRY_VERIFY_WITH_TIMEOUT(QDir(m_dir->filePath(QStringLiteral("server/work"))).isEmpty(), 5000); // the list's folder is gone
    QString out;
    QCOMPARE(server.admin({QStringLiteral("accounts")}, &out), 0);
    QVERIFY2(out.contains(email + QStringLiteral(",yes,")) && out.contains(QStringLiteral(",1,0.2")), qPrintable(out));
    const QString copy = m_dir->filePath(QStringLiteral("copie.sqlite"));
    QCOMPARE(server.admin({QStringLiteral("backup-db"), copy}), 0);
    QFile f(copy);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(16).startsWith("SQLite format 3"));
    QCOMPARE(server.admin({QStringLiteral("reset"), email}, &out), 0);
    const QString fresh = out.trimmed();
    QCOMPARE(fresh.size(), 10);
    QVERIFY(ask(server.backupPort, email, QStringLiteral("PAROLA"), {QStringLiteral("/INFO")}).contains("/PASS NO"));
    QVERIFY(ask(server.backupPort, email, fresh, {QStringLiteral("/INFO")}).contains("/CODCONF DA"));
    QCOMPARE(server.admin({QStringLiteral("delete"), email}), 0);
    QCOMPARE(server.admin({QStringLiteral("delete"), email}), 1);
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("server/archives"))).isEmpty());
    QCOMPARE(server.admin({QStringLiteral("accounts")}, &out), 0);
    QVERIFY(!out.contains(email));
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
