// The server's answers to the commands of a request. A wrong password gets "/PASS NO"
// and nothing else, except "password by e-mail", which mails a one-time password that
// replaces the old one only when it is presented. Mails are rate-limited per account
// and per address, and a failed mail is told to the client.

#include "requests.h"

#include "core/dates.h"
#include "core/text.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <cstdio>

namespace vestronia::server {

namespace {

constexpr qint64 PendingPasswordSeconds = 24 * 3600;
constexpr qint64 FreeSpaceMargin = qint64(100) * 1024 * 1024;

double dateTimeNumber(const QDateTime &t)
{
    return dayNumberOf(t.date()) + t.time().msecsSinceStartOfDay() / 86400000.0;
}

QString dateText(const QDate &d)
{
    return d.toString(QStringLiteral("dd.MM.yyyy"));
}

QString msg(const QString &text)
{
    return QStringLiteral("/MSG_DLG ") + text;
}

void logLine(const QString &text)
{
    std::fprintf(stderr, "vestronia-server: %s\n", text.toLocal8Bit().constData());
}

} // namespace

Requests::Requests(const ServerConfig &config, AccountStore &store, Mailer &mailer, Throttle &throttle)
    : m_config(config), m_store(store), m_mailer(mailer), m_throttle(throttle)
{
}

QString Requests::archivePath(qint64 account, qint64 id) const
{
    return QDir(m_config.archiveDir()).filePath(QStringLiteral("%1/%2.vrn").arg(account).arg(id));
}

QString Requests::roomFor(qint64 account, qint64 size)
{
    if (m_store.usedBytes(account) + size > m_config.quotaBytes)
        return QStringLiteral("Spatiul contului dvs. este plin! Stergeti salvari vechi.");
    const QStorageInfo disk(m_config.dataDir);
    if ((m_config.diskCapBytes > 0 && m_store.totalUsedBytes() + size > m_config.diskCapBytes)
        || (disk.isValid() && disk.bytesAvailable() < size + FreeSpaceMargin))
        return QStringLiteral("Serverul nu mai are spatiu pentru salvari. Incercati mai tarziu.");
    return {};
}

void Requests::emailPassword(const Request &r, Reply &reply)
{
    // The same answer whether or not the address has an account.
    const QString sent = msg(QStringLiteral("Parola noua a fost trimisa pe adresa ") + r.email);
    const std::optional<Account> account = m_store.find(r.email);
    if (!account) {
        reply.lines << sent;
        reply.result = QStringLiteral("mail-no-account");
        return;
    }
    if (!m_throttle.allow(QStringLiteral("pass-mail:") + r.email.toLower(), 1, m_config.mailIntervalSeconds)
        || !m_throttle.allow(QStringLiteral("mail-from:") + r.peer, m_config.addressHourly, 3600)) {
        reply.lines << msg(QStringLiteral("O parola v-a fost trimisa de curand. Verificati e-mailul sau "
                                          "incercati peste %1 minute.")
                               .arg(qMax(1, m_config.mailIntervalSeconds / 60)));
        reply.result = QStringLiteral("mail-rate-limited");
        return;
    }
    // The current password keeps working; the mailed one replaces it once used.
    const QString fresh = AccountStore::newPassword();
    m_store.setPendingPassword(account->id, fresh, PendingPasswordSeconds);
    if (!m_mailer.send(r.email, QStringLiteral("Parola noua"),
                       QStringLiteral("Parola noua a contului dvs. este: ") + fresh
                           + QStringLiteral("\r\nParola veche ramane valabila pana folositi parola noua.\r\n"
                                            "Daca nu ati cerut-o dvs., ignorati acest mesaj."))) {
        m_store.clearPendingPassword(account->id);
        reply.lines << msg(QStringLiteral("Mesajul nu a putut fi trimis. Incercati mai tarziu."));
        reply.result = QStringLiteral("mail-failed");
        logLine(QStringLiteral("mail to account %1 failed").arg(account->id));
        return;
    }
    reply.lines << sent;
    reply.result = QStringLiteral("mail-sent");
}

void Requests::createAccount(const Request &r, Reply &reply)
{
    if (r.password.size() < m_config.minPassword) {
        reply.lines << msg(QStringLiteral("Parola trebuie sa aiba cel putin %1 caractere.").arg(m_config.minPassword))
                    << wrongPasswordText();
        reply.result = QStringLiteral("short-password");
        return;
    }
    if (!m_throttle.allow(QStringLiteral("new-from:") + r.peer, m_config.addressHourly, 3600)
        || !m_throttle.allow(QStringLiteral("mail-from:") + r.peer, m_config.addressHourly, 3600)) {
        reply.lines << msg(QStringLiteral("Prea multe conturi noi. Incercati mai tarziu.")) << wrongPasswordText();
        reply.result = QStringLiteral("create-rate-limited");
        return;
    }
    const Account a = m_store.create(r.email, r.password, QDate::currentDate(), m_config.trialDays);
    m_throttle.allow(QStringLiteral("code-mail:") + r.email.toLower(), 1, m_config.mailIntervalSeconds);
    if (!m_mailer.send(r.email, QStringLiteral("Cod de verificare"),
                       QStringLiteral("Codul de verificare al contului dvs. este: ") + a.code)) {
        logLine(QStringLiteral("mail to account %1 failed").arg(a.id));
        reply.lines << msg(QStringLiteral("Codul de verificare nu a putut fi trimis. Incercati mai tarziu."));
    }
    reply.result = QStringLiteral("created");
}

Reply Requests::run(const Request &r)
{
    Reply reply;
    if (r.login == AccountStore::Login::WrongPassword || r.login == AccountStore::Login::NoAccount) {
        if (r.file.has(QStringLiteral("/EMAIL_PASS"))) {
            emailPassword(r, reply);
            return reply;
        }
        if (r.login == AccountStore::Login::NoAccount && r.file.has(QStringLiteral("/INFO"))) {
            createAccount(r, reply);
            if (reply.result != QLatin1String("created"))
                return reply;
        } else {
            reply.lines << wrongPasswordText();
            reply.result = QStringLiteral("wrong-password");
            return reply;
        }
    }
    std::optional<Account> account = m_store.find(r.email);
    if (!account) {
        reply.lines << wrongPasswordText();
        reply.result = QStringLiteral("wrong-password");
        return reply;
    }
    const QDate today = QDate::currentDate();
    const bool expired = account->expires.isValid() && account->expires < today;
    bool codeTried = false;
    for (const CommandLine &l : r.file.lines) {
        if (l.key == QLatin1String("/INFO")) {
            account = m_store.find(r.email);
            if (!account)
                break;
            reply.lines << QStringLiteral("/CODCONF ") + (account->confirmed ? QStringLiteral("DA") : QStringLiteral("NO"))
                        << QStringLiteral("/DATAIN ") + dateText(account->created)
                        << QStringLiteral("/DATAEXP ") + dateText(account->expires)
                        << QStringLiteral("/NOWSERVER %1").arg(dateTimeNumber(QDateTime::currentDateTime()), 0, 'f', 6);
            if (expired)
                reply.lines << msg(QStringLiteral("Contul dvs. a expirat! Pentru prelungire, contactati-ne la numarul ")
                                   + m_config.operatorPhone + QLatin1Char('.'));
        } else if (l.key == QLatin1String("/CHECKCOD")) {
            // One guess per request: the delays between requests are what bound guessing.
            if (account->confirmed || codeTried)
                continue;
            codeTried = true;
            if (l.value == account->code) {
                m_store.setConfirmed(account->id);
            } else if (account->failedCodes + 1 >= 5) {
                reply.codeFailed = true;
                reply.result = QStringLiteral("wrong-code");
                if (!m_throttle.allow(QStringLiteral("code-mail:") + r.email.toLower(), 1, m_config.mailIntervalSeconds)
                    || !m_throttle.allow(QStringLiteral("mail-from:") + r.peer, m_config.addressHourly, 3600)) {
                    m_store.setCode(account->id, account->code, account->failedCodes + 1);
                    continue;
                }
                // Too many guesses: a new code replaces the old one.
                const QString code = AccountStore::newCode();
                m_store.setCode(account->id, code, 0);
                if (m_mailer.send(r.email, QStringLiteral("Cod de verificare"),
                                  QStringLiteral("Codul de verificare al contului dvs. este: ") + code)) {
                    reply.lines << msg(QStringLiteral("V-am trimis un cod nou pe e-mail."));
                } else {
                    logLine(QStringLiteral("mail to account %1 failed").arg(account->id));
                    reply.lines << msg(QStringLiteral("Codul nou nu a putut fi trimis. Incercati mai tarziu."));
                }
            } else {
                reply.codeFailed = true;
                reply.result = QStringLiteral("wrong-code");
                m_store.setCode(account->id, account->code, account->failedCodes + 1);
            }
            account = m_store.find(r.email);
            if (!account)
                break;
        } else if (l.key == QLatin1String("/EMAIL_PASS")) {
            emailPassword(r, reply);
        } else if (l.key == QLatin1String("/SET_PASS")) {
            const QString fresh = cleanText(l.value).toUpper();
            if (fresh.size() < m_config.minPassword || fresh.size() > 40) {
                reply.lines << msg(QStringLiteral("Parola nu a fost schimbata! Parola trebuie sa aiba intre %1 si 40 "
                                                  "de caractere.")
                                       .arg(m_config.minPassword));
                reply.result = QStringLiteral("refused");
                continue;
            }
            m_store.setPassword(account->id, fresh);
            reply.lines << msg(QStringLiteral("Parola a fost schimbata."));
        } else if (l.key == QLatin1String("/PUT_FILE")) {
            reply.result = QStringLiteral("refused");
            if (!account->confirmed || expired) {
                reply.lines << msg(QStringLiteral("Contul nu este activ! Salvarea nu a fost primita."));
                continue;
            }
            if (r.file.attachments.size() != 1 || r.putPath.isEmpty()) {
                reply.lines << msg(QStringLiteral("Lipseste salvarea!"));
                continue;
            }
            const qint64 size = r.file.attachments.first().size;
            const QString room = roomFor(account->id, size);
            if (!room.isEmpty()) {
                reply.lines << msg(room);
                continue;
            }
            const qint64 id = m_store.addBackup(account->id, dateTimeNumber(QDateTime::currentDateTime()),
                                                cleanText(l.value).left(120), size);
            const QString target = archivePath(account->id, id);
            // The archive was written into the work folder on the same disk as it came:
            // storing it is a rename, not a copy.
            if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::rename(r.putPath, target)) {
                m_store.removeBackup(account->id, id);
                reply.lines << msg(QStringLiteral("Salvarea nu a putut fi scrisa pe server!"));
                continue;
            }
            reply.result = QStringLiteral("ok");
        } else if (l.key == QLatin1String("/GET_STOC")) {
            if (!reply.attachPath.isEmpty())
                continue;
            reply.attachPath = writeStock(account->id, reply.removeFolder);
            reply.attachName = QStringLiteral("Stoc.dbf");
        } else if (l.key == QLatin1String("/DEL") || l.key == QLatin1String("/GET_FILE")) {
            bool ok = false;
            const qint64 id = l.value.toLongLong(&ok);
            const std::optional<StoredBackup> b = ok ? m_store.backup(account->id, id) : std::nullopt;
            if (!b || !QFileInfo::exists(archivePath(account->id, id))) {
                reply.lines << msg(QStringLiteral("Salvarea nu exista pe server!"));
                reply.result = QStringLiteral("refused");
                continue;
            }
            if (expired) {
                reply.lines << msg(QStringLiteral("Contul dvs a expirat!"));
                reply.result = QStringLiteral("refused");
                continue;
            }
            if (l.key == QLatin1String("/DEL")) {
                m_store.removeBackup(account->id, id);
                QFile::remove(archivePath(account->id, id));
            } else if (reply.attachPath.isEmpty()) {
                reply.attachPath = archivePath(account->id, id);
                reply.attachName = QString::number(id);
            }
        }
    }
    return reply;
}

QString Requests::writeStock(qint64 account, QString &folder)
{
    folder = QDir(m_config.workDir()).filePath(QStringLiteral("stoc-%1").arg(++m_workCounter));
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("Stoc.dbf"));
    createTable(path, QList<DbfColumn>{{QStringLiteral("IDSTOC"), 'N', 10, 0},
                                       {QStringLiteral("DATAORA"), 'N', 16, 8},
                                       {QStringLiteral("OBS"), 'C', 120, 0}});
    Database db(folder);
    db.attach(QStringLiteral("Stoc"), path);
    Transaction tx(db);
    for (const StoredBackup &b : m_store.backups(account))
        db.exec(QStringLiteral("INSERT INTO Stoc(IDSTOC, DATAORA, OBS) VALUES(?,?,?)"), {b.id, b.dataOra, b.obs.left(120)});
    tx.commit();
    return path;
}

} // namespace vestronia::server
