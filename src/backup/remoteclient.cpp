// Remote backup services: address look-up, remembered account, the server's commands
// and the reading of their replies. The exchange itself is remoteexchange's.

#include "backup/remoteclient.h"

#include "backup/commandfile.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/profilefile.h"
#include "core/text.h"
#include "core/workfiles.h"
#include "store/database.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QUrl>
#include <cmath>

namespace vestronia {

namespace {

bool emailChar(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '.'
           || u == '_';
}

bool onlyEmailChars(const QString &s)
{
    for (QChar c : s)
        if (!emailChar(c))
            return false;
    return true;
}

const QString Section88 = QStringLiteral("88");
const QString SectionConst = QStringLiteral("CONST");

// A date-time number of a moment: days since 30.12.1899 and the fraction of the day.
double dateTimeNumber(const QDateTime &t)
{
    return dayNumberOf(t.date()) + t.time().msecsSinceStartOfDay() / 86400000.0;
}

} // namespace

bool isValidEmail(const QString &email)
{
    const qsizetype at = email.indexOf(QLatin1Char('@'));
    if (at < 3)
        return false;
    const QString local = email.left(at);
    const QString domain = email.mid(at + 1);
    if (domain.size() < 5 || !onlyEmailChars(local) || !onlyEmailChars(domain))
        return false;
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const qsizetype tail = domain.size() - dot - 1;
    return tail == 2 || tail == 3;
}

QString encodeCharCodes(const QString &text)
{
    QString out;
    for (QChar c : text)
        out += QStringLiteral("%1").arg(int(c.unicode()) % 1000, 3, 10, QLatin1Char('0'));
    return out;
}

QString decodeCharCodes(const QString &codes)
{
    QString out;
    for (qsizetype i = 0; i + 3 <= codes.size(); i += 3) {
        bool ok = false;
        const int v = codes.mid(i, 3).toInt(&ok);
        if (ok && v > 0)
            out += QChar(char16_t(v));
    }
    return out;
}

RememberedAccount loadRememberedAccount(const Session &session)
{
    RememberedAccount a;
    a.remember = ProfileFile::readText(session.sharedSettings(), SectionConst, QStringLiteral("MEMOPASS"))
                 == QLatin1String("DA");
    if (a.remember) {
        a.email = decodeCharCodes(ProfileFile::readText(session.localSettings(), SectionConst, QStringLiteral("EM")));
        a.password = decodeCharCodes(ProfileFile::readText(session.localSettings(), SectionConst, QStringLiteral("PS")));
    }
    return a;
}

void storeRememberedAccount(const Session &session, const RememberedAccount &account)
{
    if (account.remember) {
        ProfileFile::writeText(session.localSettings(), SectionConst, QStringLiteral("EM"), encodeCharCodes(account.email));
        ProfileFile::writeText(session.localSettings(), SectionConst, QStringLiteral("PS"),
                               encodeCharCodes(account.password));
    }
    ProfileFile::writeText(session.sharedSettings(), SectionConst, QStringLiteral("MEMOPASS"),
                           account.remember ? QStringLiteral("DA") : QStringLiteral("NU"));
}

QString webHost(const Session &session)
{
    return ProfileFile::readText(session.machineSettings(), Section88, QStringLiteral("ServerWeb"));
}

TlsSettings tlsSettings(const Session &session)
{
    TlsSettings t;
    t.pinnedSha256 = ProfileFile::readText(session.machineSettings(), Section88, QStringLiteral("ServerSHA256")).trimmed().toLatin1();
    t.tls = !t.pinnedSha256.isEmpty()
            || ProfileFile::readText(session.machineSettings(), Section88, QStringLiteral("ServerTLS"))
                       .compare(QLatin1String("DA"), Qt::CaseInsensitive)
                   == 0;
    return t;
}

namespace {

bool sameCertificate(const QSslCertificate &c, const QByteArray &pinned)
{
    QByteArray pin = pinned.trimmed().toLower();
    pin.replace(':', "");
    return !c.isNull() && c.digest(QCryptographicHash::Sha256).toHex() == pin;
}

} // namespace

QString webBaseUrl(const Session &session)
{
    const QString host = webHost(session).trimmed();
    if (host.isEmpty())
        return {};
    if (host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return QStringLiteral("https://") + host.mid(8);
    return QStringLiteral("http://") + host;
}

std::optional<QByteArray> httpGet(const QString &url, qint64 maxBytes, int timeoutMs, const QByteArray &pinnedSha256)
{
    const QUrl address(url);
    if (!address.isValid() || (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https")))
        return std::nullopt;
    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Sugestii"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = manager.get(request);
    if (!pinnedSha256.isEmpty()) {
        QObject::connect(reply, &QNetworkReply::sslErrors, reply, [reply, pinnedSha256](const QList<QSslError> &errors) {
            if (sameCertificate(reply->sslConfiguration().peerCertificate(), pinnedSha256))
                reply->ignoreSslErrors(errors);
        });
        QObject::connect(reply, &QNetworkReply::encrypted, reply, [reply, pinnedSha256] {
            if (!sameCertificate(reply->sslConfiguration().peerCertificate(), pinnedSha256))
                reply->abort();
        });
    }
    QByteArray body;
    bool tooLarge = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->read(maxBytes + 1 - body.size());
        if (body.size() > maxBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    if (!tooLarge)
        body += reply->read(maxBytes + 1 - body.size());
    const bool ok = !tooLarge && body.size() <= maxBytes && reply->error() == QNetworkReply::NoError;
    reply->deleteLater();
    if (!ok)
        return std::nullopt;
    return body;
}

std::optional<ServerAddress> parseServerAddress(const QByteArray &text)
{
    const QString t = QString::fromLatin1(text).trimmed();
    if (t.size() <= 6 || t.size() > 20)
        return std::nullopt;
    QString line = t.section(QLatin1Char('\n'), 0, 0).trimmed();
    ServerAddress a;
    a.tls = t.section(QLatin1Char('\n'), 1, 1).trimmed().compare(QLatin1String("TLS"), Qt::CaseInsensitive) == 0;
    const qsizetype colon = line.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const uint port = line.mid(colon + 1).toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        a.port = quint16(port);
        line = line.left(colon);
    }
    for (QChar c : line)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-')))
            return std::nullopt;
    if (line.isEmpty())
        return std::nullopt;
    a.host = line;
    return a;
}

std::optional<ServerAddress> fetchServerAddress(const Session &session)
{
    const QString host = webHost(session);
    if (host.isEmpty())
        return std::nullopt;
    const QString base = webBaseUrl(session);
    const bool secure = base.startsWith(QLatin1String("https://"));
    const std::optional<QByteArray> text =
        httpGet(base + QStringLiteral("/demo/BackUpS/adr.txt"), 4096, 30000, secure ? tlsSettings(session).pinnedSha256 : QByteArray());
    if (!text)
        return std::nullopt;
    return parseServerAddress(*text);
}

bool RemoteReply::expired() const
{
    const QDate exp = QDate::fromString(dataExp, QStringLiteral("dd.MM.yyyy"));
    return exp.isValid() && dayNumberOf(exp) < qint64(std::floor(nowServer));
}

QString StockRow::dateText() const
{
    return dateOfDayNumber(int(std::floor(dataOra))).toString(QStringLiteral("dd.MM.yyyy"));
}

QString StockRow::timeText() const
{
    const double fraction = dataOra - std::floor(dataOra);
    const int ms = qBound(0, int(std::llround(fraction * 86400.0)) * 1000, 86399000);
    return QTime::fromMSecsSinceStartOfDay(ms).toString(QStringLiteral("HH:mm:ss"));
}

RemoteClient::RemoteClient(const Session &session, QString email, QString password, QString place)
    : m_session(session), m_email(std::move(email)), m_password(std::move(password)), m_place(std::move(place))
{
}

void RemoteClient::setTimeouts(int waitMs, int silenceMs, int pingMs)
{
    m_timing.waitTimeoutMs = waitMs;
    m_timing.silenceTimeoutMs = silenceMs;
    m_timing.pingMs = pingMs;
}

QByteArray RemoteClient::userName() const
{
    return "088" + toCp1250(m_email);
}

QByteArray RemoteClient::room() const
{
    QByteArray r = toCp1250(m_password.leftJustified(40, QLatin1Char(' ')));
    r += toCp1250(cleanText(m_place));
    return r.leftJustified(140, ' ');
}

QString RemoteClient::backupNote(const QString &typed)
{
    QString note = cleanText(typed);
    if (note.isEmpty())
        note = QStringLiteral("***");
    return note.left(120);
}

QString RemoteClient::srvPath() const
{
    return QDir(m_session.tempFolder).filePath(QStringLiteral("Srv"));
}

RemoteReply RemoteClient::exchange(const QStringList &commands, const QStringList &attachments)
{
    RemoteReply reply;
    NullProgress quiet;
    Progress &progress = m_progress ? *m_progress : quiet;
    progress.setText(QStringLiteral("Verific conexiunea..."));
    const QString request = newWorkFile(m_session.tempFolder, QStringLiteral("Comanda"), QStringLiteral("cmd"));
    if (request.isEmpty()) {
        reply.error = QStringLiteral("Eroare la transmisie.");
        reply.detail = QStringLiteral("nu pot crea fisierul de comanda");
        return reply;
    }
    try {
        writeCommandFile(request, commands, attachments);
    } catch (const FileError &e) {
        QFile::remove(request);
        reply.error = QStringLiteral("Eroare la transmisie.");
        reply.detail = e.message();
        return reply;
    }
    const std::optional<ServerAddress> server = m_fixedServer ? m_fixedServer : fetchServerAddress(m_session);
    if (!server) {
        QFile::remove(request);
        reply.error = QStringLiteral("Nu aveti internet!");
        return reply;
    }
    ExchangeSettings settings = m_timing;
    settings.host = server->host;
    settings.port = server->port;
    settings.userName = userName();
    settings.room = room();
    const TlsSettings tls = tlsSettings(m_session);
    settings.tls = server->tls || tls.tls;
    settings.pinnedSha256 = tls.pinnedSha256;
    const QString replyFile = newWorkFile(m_session.tempFolder, QStringLiteral("Primit"), QStringLiteral(".cmd"));
    const ExchangeResult result = runExchange(settings, request, replyFile, progress, m_stop);
    QFile::remove(request);
    if (!result.ok) {
        QFile::remove(replyFile);
        reply.error = result.error;
        reply.detail = result.detail;
        return reply;
    }
    try {
        const CommandFile file = readCommandFile(replyFile);
        reply.nowServer = dateTimeNumber(Clock::now());
        for (const CommandLine &l : file.lines) {
            if (l.key == QLatin1String("/PASS") && l.value.compare(QLatin1String("NO"), Qt::CaseInsensitive) == 0) {
                reply.wrongPassword = true;
                break;
            }
            if (l.key == QLatin1String("/CODCONF"))
                reply.needsConfirmation = l.value.compare(QLatin1String("NO"), Qt::CaseInsensitive) == 0;
            else if (l.key == QLatin1String("/DATAIN"))
                reply.dataIn = l.value.left(40);
            else if (l.key == QLatin1String("/DATAEXP"))
                reply.dataExp = l.value.left(40);
            else if (l.key == QLatin1String("/NOWSERVER")) {
                bool ok = false;
                const double v = l.value.toDouble(&ok);
                if (ok && std::isfinite(v) && v > 0 && v < 3000000)
                    reply.nowServer = v;
            } else if (l.key == QLatin1String("/MSG_DLG"))
                reply.messages.append(l.value.left(2000));
        }
        if (!reply.wrongPassword)
            reply.attachments = extractAttachments(replyFile, file, m_session.tempFolder);
        reply.ok = true;
    } catch (const VestroniaError &e) {
        reply.error = QStringLiteral("Eroare la transmisie.");
        reply.detail = e.message();
    }
    QFile::remove(replyFile);
    return reply;
}

bool passwordChangeRefused(const RemoteReply &r)
{
    return !r.messages.isEmpty() && !r.messages.contains(QStringLiteral("Parola a fost schimbata."));
}

RemoteReply RemoteClient::info()
{
    return exchange({QStringLiteral("/INFO")});
}

RemoteReply RemoteClient::checkCode(qint64 code)
{
    return exchange({QStringLiteral("/CHECKCOD %1").arg(code, 6, 10, QLatin1Char('0')), QStringLiteral("/INFO")});
}

RemoteReply RemoteClient::emailPassword()
{
    return exchange({QStringLiteral("/EMAIL_PASS")});
}

RemoteReply RemoteClient::setPassword(const QString &newPassword)
{
    RemoteReply r = exchange({QStringLiteral("/SET_PASS ") + newPassword});
    // A server that refuses the change says so in a message; the one it sends on success
    // is "Parola a fost schimbata.".
    if (r.ok && !r.wrongPassword && !passwordChangeRefused(r))
        m_password = newPassword;
    return r;
}

RemoteReply RemoteClient::putFile(const QString &srv, const QString &note)
{
    return exchange({QStringLiteral("/PUT_FILE ") + backupNote(note)}, {srv});
}

RemoteReply RemoteClient::getStock()
{
    return exchange({QStringLiteral("/GET_STOC")});
}

RemoteReply RemoteClient::deleteBackup(qint64 idStoc)
{
    return exchange({QStringLiteral("/DEL %1").arg(idStoc)});
}

RemoteReply RemoteClient::getFile(qint64 idStoc)
{
    return exchange({QStringLiteral("/GET_FILE %1").arg(idStoc)});
}

QList<StockRow> readStock(const QString &stocPath)
{
    QList<StockRow> rows;
    const QFileInfo info(stocPath);
    Database db(info.absolutePath());
    db.attach(QStringLiteral("Stoc"), info.absoluteFilePath());
    const ResultSet r = db.select(QStringLiteral("SELECT IDSTOC, DATAORA, OBS FROM Stoc"));
    for (int i = 0; i < r.rowCount(); ++i) {
        StockRow row;
        row.id = r.integer(i, QStringLiteral("IDSTOC"));
        row.dataOra = r.value(i, QStringLiteral("DATAORA")).toDouble();
        row.obs = r.text(i, QStringLiteral("OBS"));
        rows.append(row);
    }
    return rows;
}

void deleteStockRow(const QString &stocPath, qint64 idStoc)
{
    const QFileInfo info(stocPath);
    Database db(info.absolutePath());
    db.attach(QStringLiteral("Stoc"), info.absoluteFilePath());
    Transaction tx(db);
    db.exec(QStringLiteral("DELETE FROM Stoc WHERE IDSTOC=?"), {idStoc});
    tx.commit();
}

} // namespace vestronia
