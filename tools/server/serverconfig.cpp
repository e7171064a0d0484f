// Configuration of vestronia-server: file, then command-line options, then the checks
// made before serving.

#include "serverconfig.h"

#include "backup/remoteclient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTemporaryFile>

namespace vestronia::server {

namespace {

void readFile(const QString &path, ServerConfig &c)
{
    QSettings s(path, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("server"));
    auto num = [&s](const char *key, qint64 fallback) {
        return s.value(QLatin1String(key), fallback).toLongLong();
    };
    auto text = [&s](const char *key, const QString &fallback) { return s.value(QLatin1String(key), fallback).toString(); };
    c.listen = text("listen", c.listen);
    c.port = int(num("port", c.port));
    c.httpPort = int(num("http_port", c.httpPort));
    c.dataDir = text("data_dir", c.dataDir);
    c.publicAddress = text("public_address", c.publicAddress);
    c.trialDays = int(num("trial_days", c.trialDays));
    c.quotaBytes = num("quota_mb", c.quotaBytes / (1024 * 1024)) * 1024 * 1024;
    c.diskCapBytes = num("disk_cap_mb", c.diskCapBytes / (1024 * 1024)) * 1024 * 1024;
    c.maxRequestBytes = num("max_request_mb", c.maxRequestBytes / (1024 * 1024)) * 1024 * 1024;
    c.maxConnections = int(num("max_connections", c.maxConnections));
    c.maxPerAddress = int(num("max_per_address", c.maxPerAddress));
    c.loginSeconds = int(num("login_seconds", c.loginSeconds));
    c.idleSeconds = int(num("idle_seconds", c.idleSeconds));
    c.workers = int(num("workers", c.workers));
    c.minPassword = int(num("min_password", c.minPassword));
    c.failDelayMs = int(num("fail_delay_ms", c.failDelayMs));
    c.failLockAfter = int(num("fail_lock_after", c.failLockAfter));
    c.failLockMinutes = int(num("fail_lock_minutes", c.failLockMinutes));
    c.mailIntervalSeconds = int(num("mail_interval_seconds", c.mailIntervalSeconds));
    c.addressHourly = int(num("address_hourly_limit", c.addressHourly));
    c.sendmail = text("sendmail", c.sendmail);
    c.mailFrom = text("mail_from", c.mailFrom);
    c.hashStrength = text("hash_strength", c.hashStrength);
    c.operatorPhone = text("operator_phone", c.operatorPhone);
    c.tlsCert = text("tls_cert", c.tlsCert);
    c.tlsKey = text("tls_key", c.tlsKey);
    c.httpTls = s.value(QStringLiteral("http_tls"), c.httpTls).toBool();
}

} // namespace

bool loadConfig(const QStringList &argsIn, ServerConfig &c, QStringList &rest, QString &error)
{
    QStringList args = argsIn;
    const qsizetype at = args.indexOf(QStringLiteral("--config"));
    if (at >= 0) {
        if (at + 1 >= args.size() || !QFileInfo(args.at(at + 1)).isFile()) {
            error = QStringLiteral("--config: no such file");
            return false;
        }
        readFile(args.at(at + 1), c);
        args.remove(at, 2);
    }
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (!a.startsWith(QLatin1String("--"))) {
            rest.append(a);
            continue;
        }
        if (args.isEmpty()) {
            error = a + QStringLiteral(": value missing");
            return false;
        }
        const QString v = args.takeFirst();
        bool ok = true;
        const std::pair<const char *, int *> numbers[] = {
            {"--port", &c.port},
            {"--http-port", &c.httpPort},
            {"--trial-days", &c.trialDays},
            {"--max-connections", &c.maxConnections},
            {"--max-per-address", &c.maxPerAddress},
            {"--login-seconds", &c.loginSeconds},
            {"--idle-seconds", &c.idleSeconds},
            {"--fail-delay-ms", &c.failDelayMs},
            {"--fail-lock-after", &c.failLockAfter},
            {"--mail-interval", &c.mailIntervalSeconds},
            {"--workers", &c.workers},
            {"--address-hourly-limit", &c.addressHourly},
        };
        const std::pair<const char *, QString *> texts[] = {
            {"--listen", &c.listen},         {"--data", &c.dataDir},       {"--public-address", &c.publicAddress},
            {"--port-file", &c.portFile},    {"--hash", &c.hashStrength},  {"--sendmail", &c.sendmail},
            {"--tls-cert", &c.tlsCert},      {"--tls-key", &c.tlsKey},
        };
        bool known = false;
        for (const auto &[name, target] : numbers)
            if (a == QLatin1String(name)) {
                *target = v.toInt(&ok);
                known = true;
            }
        for (const auto &[name, target] : texts)
            if (a == QLatin1String(name)) {
                *target = v;
                known = true;
            }
        if (a == QLatin1String("--quota-mb")) {
            c.quotaBytes = v.toLongLong(&ok) * 1024 * 1024;
            known = true;
        } else if (a == QLatin1String("--disk-cap-mb")) {
            c.diskCapBytes = v.toLongLong(&ok) * 1024 * 1024;
            known = true;
        }
        if (!known) {
            error = a + QStringLiteral(": unknown option");
            return false;
        }
        if (!ok) {
            error = a + QStringLiteral(": not a number");
            return false;
        }
    }
    if (c.port < 0 || c.port > 65535 || c.httpPort < -1 || c.httpPort > 65535 || c.quotaBytes <= 0
        || c.diskCapBytes < 0 || c.maxRequestBytes <= 0 || c.trialDays < 0 || c.maxConnections < 1
        || c.maxPerAddress < 1 || c.loginSeconds < 1 || c.idleSeconds < 5 || c.workers < 1 || c.workers > 64
        || c.minPassword < 1 || c.minPassword > 40 || c.failDelayMs < 0 || c.failDelayMs > 60000 || c.failLockAfter < 1
        || c.failLockMinutes < 1 || c.mailIntervalSeconds < 0 || c.addressHourly < 1) {
        error = QStringLiteral("configuration value out of range");
        return false;
    }
    return true;
}

bool checkConfig(const ServerConfig &c, QString &error)
{
    if (!c.publicAddress.isEmpty() && !parseServerAddress(c.addressText(quint16(c.port)).toLatin1())) {
        error = QStringLiteral("public_address \"%1\" is not an address the clients accept: host or host:port, "
                               "7 to 20 characters (with TLS on, the line TLS the clients read after it counts too: "
                               "15 characters are left)")
                    .arg(c.publicAddress);
        return false;
    }
    if (c.hashStrength != QLatin1String("interactive") && c.hashStrength != QLatin1String("moderate")
        && c.hashStrength != QLatin1String("min")) {
        error = QStringLiteral("hash_strength must be interactive, moderate or min");
        return false;
    }
    QTemporaryFile probe(c.dataDir + QStringLiteral("/probe-XXXXXX"));
    if (!QDir().mkpath(c.dataDir) || !probe.open()) {
        error = QStringLiteral("data_dir %1 is not writable").arg(c.dataDir);
        return false;
    }
    if (!c.sendmail.isEmpty() && !QFileInfo(c.sendmail).isExecutable()) {
        error = QStringLiteral("sendmail %1 is not an executable file").arg(c.sendmail);
        return false;
    }
    if (c.tlsCert.isEmpty() != c.tlsKey.isEmpty() || (c.httpTls && !c.tls())) {
        error = QStringLiteral("tls_cert and tls_key go together (and http_tls needs them)");
        return false;
    }
    QSslConfiguration tls;
    return !c.tls() || tlsConfiguration(c, tls, error);
}

bool tlsConfiguration(const ServerConfig &c, QSslConfiguration &out, QString &error)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(c.tlsCert, QSsl::Pem);
    QFile keyFile(c.tlsKey);
    if (chain.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the certificate %1 or the key %2").arg(c.tlsCert, c.tlsKey);
        return false;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key(pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
    if (key.isNull()) {
        error = QStringLiteral("the key %1 is not an RSA or EC key in PEM").arg(c.tlsKey);
        return false;
    }
    out = QSslConfiguration::defaultConfiguration();
    out.setLocalCertificateChain(chain);
    out.setPrivateKey(key);
    out.setPeerVerifyMode(QSslSocket::VerifyNone); // clients are not asked for certificates
    return true;
}

} // namespace vestronia::server
