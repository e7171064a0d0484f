// vestronia-server: the reference remote-backup server. Without a sub-command it serves;
// "expire EMAIL dd.MM.yyyy" sets an account's expiry date; "suggestions" prints how many
// suggestions were stored.

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
                 "                        [--public-address HOST:PORT] [--port-file FILE] [--hash min|interactive|moderate]\n"
                 "                        [--quota-mb N] [--trial-days N] [expire EMAIL dd.MM.yyyy | suggestions]\n");
    return 2;
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
        std::fprintf(stderr, "vestronia-server: %s\n", error.toLocal8Bit().constData());
        return usage();
    }
    if (!QDir().mkpath(config.dataDir)) {
        std::fprintf(stderr, "vestronia-server: cannot create %s\n", config.dataDir.toLocal8Bit().constData());
        return 1;
    }
    try {
        AccountStore store(config.databasePath(), config.hashStrength);
        if (rest.value(0) == QLatin1String("expire")) {
            const QDate d = QDate::fromString(rest.value(2), QStringLiteral("dd.MM.yyyy"));
            if (rest.size() != 3 || !d.isValid())
                return usage();
            if (!store.setExpiry(rest.at(1), d)) {
                std::fprintf(stderr, "vestronia-server: no account %s\n", rest.at(1).toLocal8Bit().constData());
                return 1;
            }
            return 0;
        }
        if (rest.value(0) == QLatin1String("suggestions")) {
            std::printf("%d\n", store.suggestionCount());
            return 0;
        }
        if (!rest.isEmpty())
            return usage();

        Mailer mailer(config.outboxDir(), config.sendmail, config.mailFrom);
        BackupServer backup(config, store, mailer);
        if (!backup.listen()) {
            std::fprintf(stderr, "vestronia-server: cannot listen on port %d\n", config.port);
            return 1;
        }
        HttpSide http(config.listen, config.httpPort, store);
        const bool withHttp = config.httpPort >= 0;
        if (withHttp && !http.listen()) {
            std::fprintf(stderr, "vestronia-server: cannot listen on HTTP port %d\n", config.httpPort);
            return 1;
        }
        http.setAddressText(config.publicAddress.isEmpty() ? QStringLiteral("127.0.0.1:%1").arg(backup.port())
                                                           : config.publicAddress);
        if (!config.portFile.isEmpty()) {
            QSaveFile f(config.portFile);
            if (f.open(QIODevice::WriteOnly)) {
                f.write(QByteArray::number(backup.port()) + ' ' + QByteArray::number(withHttp ? http.port() : 0) + '\n');
                f.commit();
            }
        }
        std::fprintf(stderr, "vestronia-server: backup port %d, HTTP port %d\n", backup.port(),
                     withHttp ? http.port() : 0);
        if (::pipe(g_signalPipe) != 0) {
            std::fprintf(stderr, "vestronia-server: cannot make the signal pipe\n");
            return 1;
        }
        QSocketNotifier stopper(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&stopper, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, quitOnSignal);
        std::signal(SIGINT, quitOnSignal);
        return app.exec();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vestronia-server: %s\n", e.what());
        return 1;
    }
}
