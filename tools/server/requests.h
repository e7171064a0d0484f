#pragma once
// Requests: the commands of one request file, run against the account store and the
// archive folder. Runs on a worker thread (it hashes, mails and moves files), so it
// touches nothing of the connection; what the connection needs comes back in a Reply.

#include "accountstore.h"
#include "mailer.h"
#include "serverconfig.h"
#include "throttle.h"

#include "backup/commandfile.h"

#include <atomic>

namespace vestronia::server {

struct Request
{
    QString email;
    QString password;
    QString peer;
    AccountStore::Login login = AccountStore::Login::NoAccount;
    CommandFile file;
    QString putPath; // the attachment's bytes, already on disk; empty without one
};

struct Reply
{
    QStringList lines;
    QString attachPath;   // one file streamed after the text, or empty
    QString attachName;
    QString removeFolder; // work folder to remove once the reply is sent
    bool codeFailed = false;
    QString result = QStringLiteral("ok"); // for the log line
};

class Requests
{
public:
    Requests(const ServerConfig &config, AccountStore &store, Mailer &mailer, Throttle &throttle);
    Reply run(const Request &request);

    QString archivePath(qint64 account, qint64 id) const;
    // Room left for an archive of size bytes: the account's quota, the operator's disk
    // cap, the free space of the disk. A refusal text, or empty when it fits.
    QString roomFor(qint64 account, qint64 size);
    static QString wrongPasswordText() { return QStringLiteral("/PASS NO"); }

private:
    void emailPassword(const Request &r, Reply &reply);
    void createAccount(const Request &r, Reply &reply);
    QString writeStock(qint64 account, QString &folder);

    const ServerConfig &m_config;
    AccountStore &m_store;
    Mailer &m_mailer;
    Throttle &m_throttle;
    std::atomic<qint64> m_workCounter{0};
};

} // namespace vestronia::server
