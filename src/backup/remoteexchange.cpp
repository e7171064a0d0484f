// One request/reply exchange over PacketClient, driven by a local event loop with a
// watchdog that covers connecting, each pause of a transfer, and the wait for the reply.

#include "backup/remoteexchange.h"

#include "backup/packetclient.h"
#include "core/text.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <memory>

namespace vestronia {

namespace {

enum class Step { Idle, Sending, Receiving, Done, Closed };

class Exchange
{
public:
    Exchange(const ExchangeSettings &s, const QString &request, const QString &reply, Progress &progress,
             const std::function<bool()> &stop)
        : m_settings(s), m_requestPath(request), m_replyPath(reply), m_progress(progress), m_stop(stop)
    {
    }

    ExchangeResult run();

private:
    void finish(bool ok, const QString &error = {}, const QString &detail = {});
    void sendBlock();
    void transportLost(const QString &detail);
    void restartWatchdog(int ms) { m_watchdog.start(ms); }
    void progressTotal(qint64 bytes, const QString &text);
    void progressTo(qint64 bytes);

    ExchangeSettings m_settings;
    QString m_requestPath;
    QString m_replyPath;
    Progress &m_progress;
    std::function<bool()> m_stop;

    PacketClient m_client;
    QEventLoop m_loop;
    QTimer m_watchdog;
    QTimer m_stopPoll;
    QFile m_request;
    QFile m_reply;
    std::unique_ptr<packet::StreamSender> m_sender;
    Step m_step = Step::Idle;
    bool m_loggedIn = false;
    bool m_finished = false;
    ExchangeResult m_result;
    QString m_serverText; // the last text message of the server
    qint64 m_unit = 1; // bytes per progress step
    int m_shownSteps = 0;
};

void Exchange::progressTotal(qint64 bytes, const QString &text)
{
    m_unit = qMax<qint64>(1, bytes / 1000 + 1);
    m_shownSteps = 0;
    m_progress.setText(text);
    m_progress.setTotal(int(bytes / m_unit) + 1);
    m_progress.start();
}

void Exchange::progressTo(qint64 bytes)
{
    const int target = int(bytes / m_unit);
    while (m_shownSteps < target) {
        m_progress.step();
        ++m_shownSteps;
    }
}

ExchangeResult Exchange::run()
{
    m_client.host = m_settings.host;
    m_client.port = m_settings.port;
    m_client.userName = m_settings.userName;
    m_client.room = m_settings.room;
    m_client.maxPing = m_settings.pingMs;
    m_client.tls = m_settings.tls;
    m_client.pinnedSha256 = m_settings.pinnedSha256;
    m_client.maxIncomingStream = quint64(qMax<qint64>(0, m_settings.maxReplySize));
    m_watchdog.setSingleShot(true);

    QObject::connect(&m_watchdog, &QTimer::timeout, &m_loop, [this] {
        if (!m_loggedIn)
            finish(false, QStringLiteral("Timp de asteptare prea mare!"));
        else
            finish(false, QStringLiteral("Serverul nu raspunde!"));
    });
    QObject::connect(&m_stopPoll, &QTimer::timeout, &m_loop, [this] {
        if (m_stop && m_stop())
            finish(false, QStringLiteral("Oprire fortata."));
    });
    QObject::connect(&m_client, &PacketClient::loginAccepted, &m_loop, [this] {
        if (m_loggedIn)
            return;
        m_loggedIn = true;
        m_request.setFileName(m_requestPath);
        if (!m_request.open(QIODevice::ReadOnly)) {
            finish(false, QStringLiteral("Eroare la transmisie."), m_request.errorString());
            return;
        }
        try {
            m_sender = std::make_unique<packet::StreamSender>(&m_request);
        } catch (const ProtocolError &e) {
            finish(false, QStringLiteral("Eroare la transmisie."), e.message());
            return;
        }
        m_step = Step::Sending;
        progressTotal(m_sender->size(), QStringLiteral("Transmit comanda..."));
        m_client.announceStream(m_sender->size(), QByteArrayLiteral("\"trimit\""));
        restartWatchdog(m_settings.silenceTimeoutMs);
    });
    QObject::connect(&m_client, &PacketClient::streamAccepted, &m_loop, [this] { sendBlock(); });
    QObject::connect(&m_client, &PacketClient::needMoreData, &m_loop, [this] { sendBlock(); });
    QObject::connect(&m_client, &PacketClient::streamDelivered, &m_loop, [this] {
        if (m_step != Step::Sending)
            return;
        m_step = Step::Done;
        m_sender.reset();
        m_request.close();
        QFile::remove(m_requestPath);
        m_progress.setText(QStringLiteral("Astept raspuns..."));
        restartWatchdog(m_settings.waitTimeoutMs);
    });
    QObject::connect(&m_client, &PacketClient::newStreamComing, &m_loop, [this](quint32 size, const QByteArray &) {
        // Only the reply to our request, once, and only as large as we allow.
        if (m_step != Step::Done || m_reply.isOpen() || qint64(size) > m_settings.maxReplySize) {
            m_client.denyStream();
            finish(false, QStringLiteral("Eroare la transmisie."), QStringLiteral("raspuns refuzat"));
            return;
        }
        m_reply.setFileName(m_replyPath);
        if (!m_reply.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_client.denyStream();
            finish(false, QStringLiteral("Eroare la transmisie."), m_reply.errorString());
            return;
        }
        m_step = Step::Receiving;
        progressTotal(size, QStringLiteral("Primesc raspunsul..."));
        restartWatchdog(m_settings.silenceTimeoutMs);
        m_client.acceptStream();
    });
    QObject::connect(&m_client, &PacketClient::blockReceived, &m_loop, [this](const QByteArray &data) {
        if (m_step != Step::Receiving || m_reply.write(data) != data.size()) {
            finish(false, QStringLiteral("Eroare la transmisie."), m_reply.errorString());
            return;
        }
        progressTo(m_reply.pos());
        restartWatchdog(m_settings.silenceTimeoutMs);
    });
    QObject::connect(&m_client, &PacketClient::streamReceived, &m_loop, [this](quint32, const QByteArray &) {
        if (m_step != Step::Receiving)
            return;
        m_step = Step::Done;
        if (!m_reply.flush()) {
            finish(false, QStringLiteral("Eroare la transmisie."), m_reply.errorString());
            return;
        }
        m_reply.close();
        finish(true);
    });
    QObject::connect(&m_client, &PacketClient::errorOccurred, &m_loop,
                     [this](const QString &message, int) { transportLost(message); });
    QObject::connect(&m_client, &PacketClient::messageReceived, &m_loop, [this](const QByteArray &text) {
        m_serverText = fromCp1250(text.left(500)).trimmed();
    });
    QObject::connect(&m_client, &PacketClient::refused, &m_loop, [this](quint32 type) {
        // A busy server says why before it refuses: that text is what the user reads.
        transportLost(m_serverText.isEmpty() ? QStringLiteral("pachet %1 de la server").arg(type) : m_serverText);
    });
    QObject::connect(&m_client, &PacketClient::timedOut, &m_loop, [this] {
        if (m_step == Step::Sending || m_step == Step::Receiving)
            transportLost(QStringLiteral("ping fara raspuns"));
    });
    QObject::connect(&m_client, &PacketClient::disconnected, &m_loop,
                     [this] { transportLost(QStringLiteral("conexiune inchisa")); });

    m_progress.setText(QStringLiteral("Conectare Server..."));
    try {
        m_client.connectToServer();
    } catch (const ProtocolError &e) {
        finish(false, QStringLiteral("Serverul nu raspunde!"), e.message());
    }
    if (!m_finished) {
        restartWatchdog(m_settings.waitTimeoutMs);
        if (m_stop)
            m_stopPoll.start(100);
        m_loop.exec();
    }
    return m_result;
}

void Exchange::sendBlock()
{
    if (m_step != Step::Sending || !m_sender || m_sender->finished())
        return;
    try {
        m_client.sendNextBlock(*m_sender);
    } catch (const ProtocolError &e) {
        finish(false, QStringLiteral("Eroare la transmisie."), e.message());
        return;
    }
    progressTo(qint64(m_sender->sent()));
    restartWatchdog(m_settings.silenceTimeoutMs);
}

void Exchange::transportLost(const QString &detail)
{
    if (m_finished)
        return;
    if (m_step == Step::Sending || m_step == Step::Receiving)
        finish(false, QStringLiteral("Eroare la transmisie."), detail);
    else
        finish(false, QStringLiteral("Serverul nu raspunde!"), detail);
}

void Exchange::finish(bool ok, const QString &error, const QString &detail)
{
    if (m_finished)
        return;
    m_finished = true;
    m_step = Step::Closed;
    m_watchdog.stop();
    m_stopPoll.stop();
    m_client.disconnectFromServer();
    m_sender.reset();
    m_request.close();
    if (m_reply.isOpen())
        m_reply.close();
    if (!ok) {
        QFile::remove(m_requestPath);
        QFile::remove(m_replyPath);
    }
    m_result.ok = ok;
    m_result.error = error;
    m_result.detail = detail;
    m_progress.finish();
    m_loop.quit();
}

} // namespace

ExchangeResult runExchange(const ExchangeSettings &settings, const QString &requestFile, const QString &replyFile,
                           Progress &progress, const std::function<bool()> &stopRequested)
{
    Exchange exchange(settings, requestFile, replyFile, progress, stopRequested);
    return exchange.run();
}

} // namespace vestronia
