// Configuration of vestronia-server: file, then command-line options.

#include "serverconfig.h"

#include <QFileInfo>
#include <QSettings>

namespace vestronia::server {

namespace {

void readFile(const QString &path, ServerConfig &c)
{
    QSettings s(path, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("server"));
    c.listen = s.value(QStringLiteral("listen"), c.listen).toString();
    c.port = s.value(QStringLiteral("port"), c.port).toInt();
    c.httpPort = s.value(QStringLiteral("http_port"), c.httpPort).toInt();
    c.dataDir = s.value(QStringLiteral("data_dir"), c.dataDir).toString();
    c.publicAddress = s.value(QStringLiteral("public_address"), c.publicAddress).toString();
    c.trialDays = s.value(QStringLiteral("trial_days"), c.trialDays).toInt();
    c.quotaBytes = s.value(QStringLiteral("quota_mb"), c.quotaBytes / (1024 * 1024)).toLongLong() * 1024 * 1024;
    c.maxRequestBytes =
        s.value(QStringLiteral("max_request_mb"), c.maxRequestBytes / (1024 * 1024)).toLongLong() * 1024 * 1024;
    c.maxConnections = s.value(QStringLiteral("max_connections"), c.maxConnections).toInt();
    c.idleSeconds = s.value(QStringLiteral("idle_seconds"), c.idleSeconds).toInt();
    c.sendmail = s.value(QStringLiteral("sendmail"), c.sendmail).toString();
    c.mailFrom = s.value(QStringLiteral("mail_from"), c.mailFrom).toString();
    c.hashStrength = s.value(QStringLiteral("hash_strength"), c.hashStrength).toString();
    c.operatorPhone = s.value(QStringLiteral("operator_phone"), c.operatorPhone).toString();
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
        if (a == QLatin1String("--port"))
            c.port = v.toInt(&ok);
        else if (a == QLatin1String("--http-port"))
            c.httpPort = v.toInt(&ok);
        else if (a == QLatin1String("--listen"))
            c.listen = v;
        else if (a == QLatin1String("--data"))
            c.dataDir = v;
        else if (a == QLatin1String("--public-address"))
            c.publicAddress = v;
        else if (a == QLatin1String("--port-file"))
            c.portFile = v;
        else if (a == QLatin1String("--hash"))
            c.hashStrength = v;
        else if (a == QLatin1String("--quota-mb")) {
            c.quotaBytes = v.toLongLong(&ok) * 1024 * 1024;
        } else if (a == QLatin1String("--trial-days"))
            c.trialDays = v.toInt(&ok);
        else {
            error = a + QStringLiteral(": unknown option");
            return false;
        }
        if (!ok) {
            error = a + QStringLiteral(": not a number");
            return false;
        }
    }
    if (c.port < 0 || c.port > 65535 || c.httpPort < -1 || c.httpPort > 65535 || c.quotaBytes <= 0
        || c.trialDays < 0 || c.maxConnections < 1 || c.idleSeconds < 5) {
        error = QStringLiteral("configuration value out of range");
        return false;
    }
    return true;
}

} // namespace vestronia::server
