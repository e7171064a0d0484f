#pragma once
// AccountStore: the server's SQLite database of accounts, stored backups and received
// suggestions. Passwords are kept only as libsodium crypto_pwhash strings. Every value
// from a client goes in as a bound parameter.

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

struct sqlite3;

namespace vestronia::server {

struct Account
{
    qint64 id = 0;
    QString email;
    QDate created;
    QDate expires;
    QString code;      // verification code, six digits
    bool confirmed = false;
    int failedCodes = 0;
};

struct StoredBackup
{
    qint64 id = 0;
    double dataOra = 0;
    QString obs;
    qint64 size = 0;
};

class AccountStore
{
public:
    // Opens (creating) the database; throws std::runtime_error.
    AccountStore(const QString &path, const QString &hashStrength);
    ~AccountStore();
    AccountStore(const AccountStore &) = delete;
    AccountStore &operator=(const AccountStore &) = delete;

    std::optional<Account> find(const QString &email);
    Account create(const QString &email, const QString &password, const QDate &today, int trialDays);
    bool checkPassword(qint64 account, const QString &password);
    void setPassword(qint64 account, const QString &password);
    void setConfirmed(qint64 account);
    void setCode(qint64 account, const QString &code, int failed);
    void setExpiry(qint64 account, const QDate &expires);
    bool setExpiry(const QString &email, const QDate &expires);

    qint64 usedBytes(qint64 account);
    qint64 addBackup(qint64 account, double dataOra, const QString &obs, qint64 size);
    QList<StoredBackup> backups(qint64 account);
    std::optional<StoredBackup> backup(qint64 account, qint64 id);
    void removeBackup(qint64 account, qint64 id);

    void addSuggestion(const QString &peer, const QString &nume, const QString &comuna, const QString &telefon,
                       const QString &mail, const QString &produs);
    int suggestionCount();

    static QString newCode();
    static QString newPassword();

private:
    QString hash(const QString &password);
    sqlite3 *m_db = nullptr;
    unsigned long long m_ops;
    size_t m_mem;
};

} // namespace vestronia::server
