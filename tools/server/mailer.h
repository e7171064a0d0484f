#pragma once
// Mailer: outgoing mail of the server (verification codes, new passwords). Written as a
// file into the outbox folder, or handed to sendmail when one is configured. Called
// from the worker threads.

#include <QString>
#include <atomic>

namespace vestronia::server {

class Mailer
{
public:
    Mailer(QString outboxDir, QString sendmail, QString from);
    // True when the mail was written or accepted by sendmail.
    bool send(const QString &to, const QString &subject, const QString &body);

private:
    QString m_outbox;
    QString m_sendmail;
    QString m_from;
    std::atomic<int> m_counter{0};
};

} // namespace vestronia::server
