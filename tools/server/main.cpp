// vestronia-server: the reference remote-backup server. Without a sub-command it checks
// its configuration and serves; the operator's sub-commands work on the same database,
// also while the server runs: accounts, confirm, reset, delete, expire, backup-db,
// suggestions.

#include "accountstore.h"
#include "backupserver.h"
#include "httpside.h"
#include "mailer.h"
#include "serverconfig.h"
#include "vestronia_version.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QSaveFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace vestronia::server;

namespace {

// A signal only writes a byte; the event loop reads it and quits, since nothing else is
// safe inside a signal handler.
int g_signalPipe[2] = {-1, -1};

void quitOnSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

int usage()
{
    std::fprintf(stderr,
                 "usage: vestronia-server [--config FILE] [--port N] [--http-port N] [--listen ADDR] [--data DIR]\n"
                 "         [--public-address HOST:PORT] [--port-file FILE] [--hash min|interactive|moderate]\n"
                 "         [--quota-mb N] [--disk-cap-mb N] [--trial-days N] [--max-connections N]\n"
                 "         [--max-per-address N] [--login-seconds N] [--idle-seconds N] [--fail-delay-ms N]\n"
                 "         [--fail-lock-after N] [--mail-interval S] [--address-hourly-limit N] [--workers N]\n"
                 "         [--sendmail PATH]\n"
                 "         [--tls-cert PEM --tls-key PEM]\n"
                 "       vestronia-server [options] accounts | confirm EMAIL | reset EMAIL | delete EMAIL\n"
                 "         | expire EMAIL dd.MM.yyyy | backup-db FILE | suggestions\n");
    return 2;
}

void say(const QString &text)
{
    std::fprintf(stderr, "vestronia-server: %s\n", text.toLocal8Bit().constData());
}

// The operator's commands; -1 when the command is not one of them.
int adminCommand(const ServerConfig &config, AccountStore &store, const QStringList &rest)
{
    const QString cmd = rest.value(0);
    const QString email = rest.value(1);
    auto noAccount = [&email] {
        say(QStringLiteral("no account ") + email);
        return 1;
    };
    if (cmd == QLatin1String("accounts") && rest.size() == 1) {
        std::printf("email,confirmed,created,expires,backups,used_mb\n");
        for (const AccountRow &r : store.accounts())
            std::printf("%s,%s,%s,%s,%d,%.1f\n", r.account.email.toLocal8Bit().constData(),
                        r.account.confirmed ? "yes" : "no",
                        r.account.created.toString(QStringLiteral("dd.MM.yyyy")).toLatin1().constData(),
                        r.account.expires.toString(QStringLiteral("dd.MM.yyyy")).toLatin1().constData(), r.backups,
                        double(r.usedBytes) / (1024.0 * 1024.0));
        return 0;
    }
    if (cmd == QLatin1String("expire") && rest.size() == 3) {
        const QDate d = QDate::fromString(rest.value(2), QStringLiteral("dd.MM.yyyy"));
        if (!d.isValid())
            return usage();
        return store.setExpiry(email, d) ? 0 : noAccount();
    }
    if (cmd == QLatin1String("confirm") && rest.size() == 2)
        return store.setConfirmed(email) ? 0 : noAccount();
    if (cmd == QLatin1String("reset") && rest.size() == 2) {
        const std::optional<Account> a = store.find(email);
        if (!a)
            return noAccount();
        // The operator tells the owner the new password by a channel he trusts.
        const QString fresh = AccountStore::newPassword();
        store.setPassword(a->id, fresh);
        std::printf("%s\n", fresh.toLatin1().constData());
        return 0;
    }
    if (cmd == QLatin1String("delete") && rest.size() == 2) {
        qint64 id = 0;
        if (!store.deleteAccount(email, id))
            return noAccount();
        QDir(QDir(config.archiveDir()).filePath(QString::number(id))).removeRecursively();
        return 0;
    }
    if (cmd == QLatin1String("backup-db") && rest.size() == 2) {
        QString error;
        if (!store.backupTo(email, error)) {
            say(QStringLiteral("backup failed: ") + error);
            return 1;
        }
        return 0;
    }
    if (cmd == QLatin1String("suggestions") && rest.size() == 1) {
        std::printf("%d\n", store.suggestionCount());
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() == 2 && app.arguments().at(1) == QLatin1String("--version")) {
        std::printf("vestronia-server %s\n", VESTRONIA_VERSION);
        return 0;
    }
    ServerConfig config;
    QStringList rest;
    QString error;
    if (!loadConfig(app.arguments().mid(1), config, rest, error)) {
        say(error);
        return usage();
    }
    if (!QDir().mkpath(config.dataDir)) {
        say(QStringLiteral("cannot create ") + config.dataDir);
        return 1;
    }
    try {
        AccountStore store(config.databasePath(), config.hashStrength);
        if (!rest.isEmpty()) {
            const int rc = adminCommand(config, store, rest);
            return rc < 0 ? usage() : rc;
        }
        if (!checkConfig(config, error)) {
            say(error);
            return 1;
        }
        QSslConfiguration tls;
        if (config.tls() && !tlsConfiguration(config, tls, error)) {
            say(error);
            return 1;
        }

        Mailer mailer(config.outboxDir(), config.sendmail, config.mailFrom);
        BackupServer backup(config, store, mailer);
        if (!backup.listen(config.tls() ? &tls : nullptr)) {
            say(QStringLiteral("cannot listen on port %1").arg(config.port));
            return 1;
        }
        HttpSide http(config.listen, config.httpPort, store);
        const bool withHttp = config.httpPort >= 0;
        if (withHttp && !http.listen(config.httpTls ? &tls : nullptr)) {
            say(QStringLiteral("cannot listen on HTTP port %1").arg(config.httpPort));
            return 1;
        }
        http.setAddressText(config.addressText(backup.port()));
        if (!config.portFile.isEmpty()) {
            QSaveFile f(config.portFile);
            if (f.open(QIODevice::WriteOnly)) {
                f.write(QByteArray::number(backup.port()) + ' ' + QByteArray::number(withHttp ? http.port() : 0) + '\n');
                f.commit();
            }
        }
        say(QStringLiteral("backup port %1%2, HTTP port %3%4")
                .arg(backup.port())
                .arg(config.tls() ? QStringLiteral(" (TLS)") : QString())
                .arg(withHttp ? http.port() : 0)
                .arg(config.httpTls ? QStringLiteral(" (HTTPS)") : QString()));
        if (::pipe(g_signalPipe) != 0) {
            say(QStringLiteral("cannot make the signal pipe"));
            return 1;
        }
        QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, quitOnSignal);
        std::signal(SIGINT, quitOnSignal);
        return app.exec();
    } catch (const std::exception &e) {
        say(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
