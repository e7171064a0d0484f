// Outgoing mail: RFC 5322 text into the outbox, or through sendmail -t.

#include "mailer.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QSaveFile>

namespace vestronia::server {

Mailer::Mailer(QString outboxDir, QString sendmail, QString from)
    : m_outbox(std::move(outboxDir)), m_sendmail(std::move(sendmail)), m_from(std::move(from))
{
    QDir().mkpath(m_outbox);
}

bool Mailer::send(const QString &to, const QString &subject, const QString &body)
{
    // The address was checked by the caller; still, no line break may reach a header.
    if (to.contains(QLatin1Char('\n')) || to.contains(QLatin1Char('\r')))
        return false;
    const QByteArray message = QStringLiteral("From: %1\r\nTo: %2\r\nSubject: %3\r\nContent-Type: text/plain; "
                                              "charset=utf-8\r\n\r\n%4\r\n")
                                   .arg(m_from, to, subject, body)
                                   .toUtf8();
    if (!m_sendmail.isEmpty()) {
        QProcess p;
        p.start(m_sendmail, {QStringLiteral("-t"), QStringLiteral("-i")});
        if (!p.waitForStarted(5000))
            return false;
        p.write(message);
        p.closeWriteChannel();
        return p.waitForFinished(15000) && p.exitCode() == 0;
    }
    const QString name = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"))
                         + QStringLiteral("-%1.eml").arg(++m_counter);
    QSaveFile f(QDir(m_outbox).filePath(name));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(message);
    return f.commit();
}

} // namespace vestronia::server
