#pragma once
// AccountStore: the server's SQLite database of accounts, stored backups and received
// suggestions. Passwords are kept only as libsodium crypto_pwhash strings. Every value
// from a client goes in as a bound parameter. Safe to call from the worker threads: one
// lock around the database, and hashing (the slow part) outside it.

#include <QDate>
#include <QHash>
#include <QList>
#include <QRecursiveMutex>
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

struct AccountRow
{
    Account account;
    qint64 usedBytes = 0;
    int backups = 0;
};

class AccountStore
{
public:
    enum class Login { Ok, WrongPassword, NoAccount };

    // Opens (creating) the database; throws std::runtime_error.
    AccountStore(const QString &path, const QString &hashStrength);
    ~AccountStore();
    AccountStore(const AccountStore &) = delete;
    AccountStore &operator=(const AccountStore &) = delete;

    std::optional<Account> find(const QString &email);
    Account create(const QString &email, const QString &password, const QDate &today, int trialDays);
    bool checkPassword(qint64 account, const QString &password);
    // The password check of a login. A missing account costs the same hashing time, so
    // the answer's delay does not tell which addresses have accounts. A valid mailed
    // one-time password becomes the account's password when presented.
    Login login(const QString &email, const QString &password, Account *account = nullptr);
    // A mailed password that works once within validSeconds; the current one keeps working.
    void setPendingPassword(qint64 account, const QString &password, qint64 validSeconds);
    void clearPendingPassword(qint64 account);
    void setPassword(qint64 account, const QString &password);
    void setConfirmed(qint64 account);
    void setCode(qint64 account, const QString &code, int failed);
    void setExpiry(qint64 account, const QDate &expires);
    bool setExpiry(const QString &email, const QDate &expires);

    qint64 usedBytes(qint64 account);
    qint64 totalUsedBytes();
    QList<AccountRow> accounts();
    bool setConfirmed(const QString &email);
    // Removes the account and its list of backups; its id in deletedId (for its folder).
    bool deleteAccount(const QString &email, qint64 &deletedId);
    // A consistent copy of the database while it is in use (SQLite's online backup).
    bool backupTo(const QString &path, QString &error);
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
    bool verifyHash(const QString &hash, const QString &password);
    QByteArray passwordMac(const QString &password) const;
    QRecursiveMutex m_lock;
    QString m_dummyHash;
    // Logins verified lately: the stored hash they were checked against and a keyed
    // hash of the password (the key lives only in this process). An owner's next
    // exchanges skip the slow hash; a changed password (here or by the operator's
    // command) changes the stored hash and so misses. Wrong passwords always pay.
    struct Verified
    {
        QString storedHash;
        QByteArray mac;
        qint64 until = 0;
    };
    QHash<qint64, Verified> m_verified;
    QByteArray m_macKey;
    sqlite3 *m_db = nullptr;
    unsigned long long m_ops;
    size_t m_mem;
};

} // namespace vestronia::server
