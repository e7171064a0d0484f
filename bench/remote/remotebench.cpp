// remotebench SERVER-BINARY [MB] [CLIENTS] [SECONDS] [HASH]
// 1. Puts an archive of MB megabytes (default 50) through vestronia-server on loopback
//    and gets it back, and times a plain copy of the same bytes over a loopback socket.
//    Meanwhile a probe connection pings every 20 ms: its slowest answer is how long the
//    server stalled other connections during the put.
// 2. CLIENTS clients (default 200), each in its own thread with its own account, run
//    put/list/get/delete of small archives for SECONDS (default 60) once all are set up;
//    every archive got back is compared with the one sent. Prints requests per second,
//    the latency of one exchange (p50, p95, max) and the server's peak memory.
// HASH is the server's password hash strength (default interactive, as shipped).

#include "backup/packetcodec.h"
#include "backup/remoteclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

using namespace vestronia;

namespace {

QString g_dataDir;
quint16 g_port = 0;
std::atomic<int> g_ready{0};
std::atomic<bool> g_go{false};
std::mutex g_latencyLock;
std::vector<int> g_latencies; // ms per exchange
// Accounts are made a few at a time, as they would be in life; the load is what is timed.
QSemaphore g_setup(4);

QString lastMailFor(const QString &email)
{
    QDir outbox(g_dataDir + QStringLiteral("/outbox"));
    QString found;
    for (const QString &m : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile f(outbox.filePath(m));
        if (f.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromUtf8(f.readAll());
            if (text.contains(QStringLiteral("To: ") + email))
                found = text;
        }
    }
    return found;
}

Session sessionIn(const QString &folder)
{
    Session s;
    s.programFolder = folder;
    s.dataFolder = folder;
    s.tempFolder = folder + QStringLiteral("/Temp");
    s.machineFolder = folder;
    QDir().mkpath(s.tempFolder);
    return s;
}

// A confirmed account for this email.
bool confirmedClient(RemoteClient &c, const QString &email)
{
    if (!c.info().ok)
        return false;
    const QString code = QRegularExpression(QStringLiteral("este: (\\d{6})")).match(lastMailFor(email)).captured(1);
    const RemoteReply r = c.checkCode(code.toLongLong());
    return r.ok && !r.needsConfirmation;
}

void writeRandom(const QString &path, qint64 size, quint32 seed)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QRandomGenerator gen(seed);
    QByteArray chunk(1 << 20, '\0');
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        for (int i = 0; i < chunk.size(); i += 4) {
            const quint32 v = gen.generate();
            memcpy(chunk.data() + i, &v, 4);
        }
        f.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    }
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

double plainLoopbackCopy(const QString &path)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QTcpSocket out;
    out.connectToHost(QHostAddress::LocalHost, server.serverPort());
    out.waitForConnected();
    server.waitForNewConnection(5000);
    QTcpSocket *in = server.nextPendingConnection();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const qint64 total = f.size();
    qint64 received = 0;
    QElapsedTimer t;
    t.start();
    while (received < total) {
        if (!f.atEnd() && out.bytesToWrite() < (4 << 20))
            out.write(f.read(1 << 20));
        out.waitForBytesWritten(0);
        if (in->waitForReadyRead(10))
            received += in->readAll().size();
    }
    return t.elapsed() / 1000.0;
}

class LoadClient : public QThread
{
public:
    LoadClient(int n, int seconds) : m_n(n), m_seconds(seconds) {}
    std::atomic<int> requests{0};
    std::atomic<int> mismatches{0};
    std::atomic<int> failures{0};

protected:
    void run() override
    {
        QTemporaryDir dir;
        const Session s = sessionIn(dir.path());
        const QString email = QStringLiteral("client%1@exemplu.ro").arg(m_n);
        RemoteClient c(s, email, QStringLiteral("PAROLA%1").arg(m_n), QStringLiteral("X/Y"));
        c.setServer({QStringLiteral("127.0.0.1"), g_port});
        g_setup.acquire();
        const bool confirmed = confirmedClient(c, email);
        g_setup.release();
        if (!confirmed) {
            ++failures;
            ++g_ready;
            return;
        }
        ++g_ready;
        while (!g_go)
            QThread::msleep(5);
        QElapsedTimer t;
        t.start();
        int round = 0;
        std::vector<int> mine;
        QElapsedTimer one;
        auto timed = [&](auto call) {
            one.start();
            RemoteReply rr = call();
            mine.push_back(int(one.elapsed()));
            return rr;
        };
        while (t.elapsed() < m_seconds * 1000) {
            const QString archive = s.tempFolder + QStringLiteral("/mine.vrn");
            writeRandom(archive, 20000 + m_n * 10 + round, quint32(m_n * 100000 + round));
            const QByteArray sent = fileBytes(archive);
            RemoteReply r = timed([&] { return c.putFile(archive, QStringLiteral("c%1 r%2").arg(m_n).arg(round)); });
            ++requests;
            r = timed([&] { return c.getStock(); });
            ++requests;
            if (!r.ok || r.attachments.isEmpty()) {
                ++failures;
                continue;
            }
            const QList<StockRow> rows = readStock(r.attachments.first());
            const StockRow last = rows.isEmpty() ? StockRow() : rows.last();
            if (last.obs != QStringLiteral("c%1 r%2").arg(m_n).arg(round)) {
                ++mismatches;
                continue;
            }
            r = timed([&] { return c.getFile(last.id); });
            ++requests;
            if (!r.ok || fileBytes(s.tempFolder + QLatin1Char('/') + QString::number(last.id)) != sent)
                ++mismatches;
            QFile::remove(s.tempFolder + QLatin1Char('/') + QString::number(last.id));
            timed([&] { return c.deleteBackup(last.id); }); // keeps the account under its quota
            ++requests;
            ++round;
        }
        const std::lock_guard<std::mutex> lock(g_latencyLock);
        g_latencies.insert(g_latencies.end(), mine.begin(), mine.end());
    }

private:
    int m_n;
    int m_seconds;
};

// Logs in (no account needed) and pings every 20 ms; keeps the slowest answer. The
// server drops a connection that does not send its request in time: it reconnects.
class StallProbe : public QThread
{
public:
    std::atomic<bool> stop{false};
    std::atomic<int> worstMs{0};
    std::atomic<int> pings{0};

protected:
    void run() override
    {
        while (!stop) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, g_port);
            if (!s.waitForConnected(5000))
                continue;
            packet::Decoder d;
            auto next = [&](int ms) -> std::optional<packet::Packet> {
                QElapsedTimer t;
                t.start();
                for (;;) {
                    if (std::optional<packet::Packet> p = d.next())
                        return p;
                    if (s.state() != QAbstractSocket::ConnectedState || t.elapsed() > ms)
                        return std::nullopt;
                    if (s.waitForReadyRead(ms))
                        d.feed(s.readAll());
                }
            };
            if (!next(5000))
                continue;
            s.write(packet::encode(packet::Login, packet::encodeLogin("088sonda@exemplu.ro", QByteArray(40, 'X'))));
            if (!next(5000))
                continue;
            // Eight seconds of pings, within the server's deadline for the request.
            QElapsedTimer life;
            life.start();
            while (!stop && life.elapsed() < 8000 && s.state() == QAbstractSocket::ConnectedState) {
                QElapsedTimer t;
                t.start();
                s.write(packet::encode(packet::Ping));
                s.flush();
                std::optional<packet::Packet> p = next(10000);
                if (!p)
                    break;
                ++pings;
                worstMs = qMax(worstMs.load(), int(t.elapsed()));
                QThread::msleep(20);
            }
        }
    }
};

qint64 serverRssKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: remotebench SERVER-BINARY [MB] [CLIENTS] [SECONDS]\n");
        return 2;
    }
    const int mb = args.value(2, QStringLiteral("50")).toInt();
    const int clients = args.value(3, QStringLiteral("200")).toInt();
    const int seconds = args.value(4, QStringLiteral("60")).toInt();
    const QString hash = args.value(5, QStringLiteral("interactive"));
    QTemporaryDir dir;
    g_dataDir = dir.filePath(QStringLiteral("server"));
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString portFile = dir.filePath(QStringLiteral("ports"));
    server.start(args.at(1), {QStringLiteral("--data"), g_dataDir, QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--http-port"), QStringLiteral("-1"),
                              QStringLiteral("--port-file"), portFile, QStringLiteral("--hash"), hash,
                              QStringLiteral("--quota-mb"), QString::number(mb * 3 + 10),
                              // every client is on 127.0.0.1 here
                              QStringLiteral("--max-connections"), QStringLiteral("1000"), QStringLiteral("--max-per-address"),
                              QStringLiteral("1000"), QStringLiteral("--address-hourly-limit"), QStringLiteral("100000")});
    for (int i = 0; i < 200 && !QFile::exists(portFile); ++i)
        QThread::msleep(25);
    g_port = quint16(fileBytes(portFile).trimmed().split(' ').value(0).toUInt());
    if (!g_port) {
        std::fprintf(stderr, "server did not start\n");
        return 1;
    }

    // 1. One large archive.
    const Session s = sessionIn(dir.filePath(QStringLiteral("big")));
    const QString email = QStringLiteral("mare@exemplu.ro");
    RemoteClient c(s, email, QStringLiteral("PAROLA"), QStringLiteral("X/Y"));
    c.setServer({QStringLiteral("127.0.0.1"), g_port});
    if (!confirmedClient(c, email)) {
        std::fprintf(stderr, "account not confirmed\n");
        return 1;
    }
    const QString archive = s.tempFolder + QStringLiteral("/mare.vrn");
    writeRandom(archive, qint64(mb) << 20, 7);
    c.info(); // the password is verified once, as an owner's first exchange would
    StallProbe probe;
    probe.start();
    while (probe.pings < 5)
        QThread::msleep(10);
    probe.worstMs = 0;
    QElapsedTimer t;
    t.start();
    RemoteReply r = c.putFile(archive, QStringLiteral("mare"));
    const double put = t.elapsed() / 1000.0;
    const int stall = probe.worstMs;
    const int probePings = probe.pings;
    probe.stop = true;
    probe.wait();
    r = c.getStock();
    const QList<StockRow> rows = readStock(r.attachments.value(0));
    t.restart();
    r = c.getFile(rows.value(0).id);
    const double get = t.elapsed() / 1000.0;
    const bool same = fileBytes(archive) == fileBytes(s.tempFolder + QLatin1Char('/') + QString::number(rows.value(0).id));
    const double plain = plainLoopbackCopy(archive);
    std::printf("hash strength %s\narchive %d MB: put %.2f s (%.1f MB/s), get %.2f s (%.1f MB/s), identical %s; plain "
                "loopback copy %.2f s (%.1f MB/s); slowest ping answer during the put %d ms (%d pings)\n",
                hash.toLatin1().constData(), mb, put, mb / put, get, mb / get, same ? "yes" : "NO", plain, mb / plain,
                stall, probePings);
    std::fflush(stdout);

    // 2. Many clients at once.
    if (clients > 0) {
        std::vector<std::unique_ptr<LoadClient>> load;
        for (int i = 0; i < clients; ++i)
            load.push_back(std::make_unique<LoadClient>(i, seconds));
        qint64 peak = 0;
        for (auto &l : load)
            l->start();
        QElapsedTimer setup;
        setup.start();
        while (g_ready < clients)
            QThread::msleep(50);
        std::printf("%d accounts made and confirmed in %.1f s\n", clients, setup.elapsed() / 1000.0);
        std::fflush(stdout);
        t.restart();
        g_go = true;
        for (auto &l : load) {
            while (!l->wait(500))
                peak = qMax(peak, serverRssKb(server.processId()));
        }
        const double elapsed = t.elapsed() / 1000.0;
        int requests = 0, mismatches = 0, failures = 0;
        for (auto &l : load) {
            requests += l->requests;
            mismatches += l->mismatches;
            failures += l->failures;
        }
        std::sort(g_latencies.begin(), g_latencies.end());
        auto at = [](double q) { return g_latencies.empty() ? 0 : g_latencies[size_t(q * double(g_latencies.size() - 1))]; };
        std::printf("%d clients, %.0f s: %d requests, %.1f requests/s, latency p50 %d ms, p95 %d ms, max %d ms, "
                    "mismatched archives %d, failed requests %d, server memory peak %lld KiB\n",
                    clients, elapsed, requests, requests / elapsed, at(0.5), at(0.95), g_latencies.empty() ? 0 : g_latencies.back(),
                    mismatches, failures, peak);
    }
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
