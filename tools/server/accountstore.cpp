// The server's database over the SQLite C API with bound parameters; password hashes
// with libsodium. Every method holds the lock while it touches the database.

#include "accountstore.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QVariant>
#include <sodium.h>
#include <sqlite3.h>
#include <stdexcept>
#include <vector>

namespace vestronia::server {

namespace {

class Stmt
{
public:
    Stmt(sqlite3 *db, const char *sql, const std::vector<QVariant> &params = {}) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        int i = 1;
        for (const QVariant &p : params) {
            if (p.typeId() == QMetaType::LongLong || p.typeId() == QMetaType::Int || p.typeId() == QMetaType::Bool)
                sqlite3_bind_int64(m_st, i, p.toLongLong());
            else if (p.typeId() == QMetaType::Double)
                sqlite3_bind_double(m_st, i, p.toDouble());
            else {
                const QByteArray b = p.toString().toUtf8();
                sqlite3_bind_text(m_st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            }
            ++i;
        }
    }
    ~Stmt() { sqlite3_finalize(m_st); }
    bool step()
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        return false;
    }
    qint64 integer(int c) { return sqlite3_column_int64(m_st, c); }
    double real(int c) { return sqlite3_column_double(m_st, c); }
    QString text(int c)
    {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_st, c));
        return t ? QString::fromUtf8(t) : QString();
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_st = nullptr;
};

QDate fromJulian(qint64 j)
{
    return j > 0 ? QDate::fromJulianDay(j) : QDate();
}

} // namespace

AccountStore::AccountStore(const QString &path, const QString &hashStrength)
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
    if (hashStrength == QLatin1String("min")) {
        m_ops = crypto_pwhash_OPSLIMIT_MIN;
        m_mem = crypto_pwhash_MEMLIMIT_MIN;
    } else if (hashStrength == QLatin1String("moderate")) {
        m_ops = crypto_pwhash_OPSLIMIT_MODERATE;
        m_mem = crypto_pwhash_MEMLIMIT_MODERATE;
    } else {
        m_ops = crypto_pwhash_OPSLIMIT_INTERACTIVE;
        m_mem = crypto_pwhash_MEMLIMIT_INTERACTIVE;
    }
    if (sqlite3_open(path.toUtf8().constData(), &m_db) != SQLITE_OK)
        throw std::runtime_error("cannot open the server database");
    sqlite3_busy_timeout(m_db, 5000);
    const char *schema = "PRAGMA journal_mode=WAL;"
                         "CREATE TABLE IF NOT EXISTS accounts(id INTEGER PRIMARY KEY, email TEXT NOT NULL UNIQUE "
                         "COLLATE NOCASE, hash TEXT NOT NULL, created INTEGER, expires INTEGER, code TEXT, "
                         "confirmed INTEGER NOT NULL DEFAULT 0, failed_codes INTEGER NOT NULL DEFAULT 0);"
                         "CREATE TABLE IF NOT EXISTS stock(idstoc INTEGER PRIMARY KEY AUTOINCREMENT, account "
                         "INTEGER NOT NULL, dataora REAL, obs TEXT, size INTEGER);"
                         "CREATE INDEX IF NOT EXISTS stock_account ON stock(account);"
                         "CREATE TABLE IF NOT EXISTS suggestions(id INTEGER PRIMARY KEY, received TEXT, peer TEXT, "
                         "nume TEXT, comuna TEXT, telefon_fax TEXT, mail TEXT, produs TEXT);";
    char *err = nullptr;
    if (sqlite3_exec(m_db, schema, nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string e = err ? err : "schema";
        sqlite3_free(err);
        throw std::runtime_error(e);
    }
    // Columns added after the first release; an error only means they are there already.
    sqlite3_exec(m_db, "ALTER TABLE accounts ADD COLUMN pending_hash TEXT", nullptr, nullptr, nullptr);
    sqlite3_exec(m_db, "ALTER TABLE accounts ADD COLUMN pending_until INTEGER", nullptr, nullptr, nullptr);
    m_dummyHash = hash(newPassword());
    m_macKey.resize(crypto_generichash_KEYBYTES);
    randombytes_buf(m_macKey.data(), size_t(m_macKey.size()));
}

QByteArray AccountStore::passwordMac(const QString &password) const
{
    const QByteArray p = password.toUtf8();
    QByteArray mac(crypto_generichash_BYTES, '\0');
    crypto_generichash(reinterpret_cast<unsigned char *>(mac.data()), size_t(mac.size()),
                       reinterpret_cast<const unsigned char *>(p.constData()), quint64(p.size()),
                       reinterpret_cast<const unsigned char *>(m_macKey.constData()), size_t(m_macKey.size()));
    return mac;
}

AccountStore::~AccountStore()
{
    sqlite3_close(m_db);
}

QString AccountStore::hash(const QString &password)
{
    const QByteArray p = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, p.constData(), quint64(p.size()), m_ops, m_mem) != 0)
        throw std::runtime_error("out of memory while hashing");
    return QString::fromLatin1(out);
}

std::optional<Account> AccountStore::find(const QString &email)
{
    const QMutexLocker lock(&m_lock);
    Stmt s(m_db, "SELECT id, email, created, expires, code, confirmed, failed_codes FROM accounts WHERE email=?",
           {email});
    if (!s.step())
        return std::nullopt;
    Account a;
    a.id = s.integer(0);
    a.email = s.text(1);
    a.created = fromJulian(s.integer(2));
    a.expires = fromJulian(s.integer(3));
    a.code = s.text(4);
    a.confirmed = s.integer(5) != 0;
    a.failedCodes = int(s.integer(6));
    return a;
}

Account AccountStore::create(const QString &email, const QString &password, const QDate &today, int trialDays)
{
    const QString h = hash(password);
    const QMutexLocker lock(&m_lock);
    Stmt s(m_db, "INSERT INTO accounts(email, hash, created, expires, code) VALUES(?,?,?,?,?)",
           {email, h, today.toJulianDay(), today.addDays(trialDays).toJulianDay(), newCode()});
    s.step();
    return *find(email);
}

bool AccountStore::checkPassword(qint64 account, const QString &password)
{
    QString h;
    {
        const QMutexLocker lock(&m_lock);
        Stmt s(m_db, "SELECT hash FROM accounts WHERE id=?", {account});
        if (!s.step())
            return false;
        h = s.text(0);
    }
    return verifyHash(h, password);
}

bool AccountStore::verifyHash(const QString &hash, const QString &password)
{
    const QByteArray h = hash.toLatin1();
    const QByteArray p = password.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), p.constData(), quint64(p.size())) == 0;
}

AccountStore::Login AccountStore::login(const QString &email, const QString &password, Account *out)
{
    QString h, pending;
    qint64 until = 0;
    std::optional<Account> a;
    {
        const QMutexLocker lock(&m_lock);
        a = find(email);
        if (a) {
            Stmt s(m_db, "SELECT hash, pending_hash, pending_until FROM accounts WHERE id=?", {a->id});
            if (s.step()) {
                h = s.text(0);
                pending = s.text(1);
                until = s.integer(2);
            }
        }
    }
    if (!a) {
        verifyHash(m_dummyHash, password);
        return Login::NoAccount;
    }
    if (out)
        *out = *a;
    constexpr qint64 VerifiedSeconds = 15 * 60;
    const QByteArray mac = passwordMac(password);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    {
        const QMutexLocker lock(&m_lock);
        const auto it = m_verified.constFind(a->id);
        if (it != m_verified.cend() && it->until > now && it->storedHash == h && it->mac.size() == mac.size()
            && sodium_memcmp(it->mac.constData(), mac.constData(), size_t(mac.size())) == 0)
            return Login::Ok;
    }
    if (verifyHash(h, password)) {
        const QMutexLocker lock(&m_lock);
        if (m_verified.size() > 100000)
            m_verified.clear();
        m_verified.insert(a->id, Verified{h, mac, now + VerifiedSeconds});
        return Login::Ok;
    }
    if (!pending.isEmpty() && until >= QDateTime::currentSecsSinceEpoch() && verifyHash(pending, password)) {
        // The mailed password was presented: it is the account's password from now on.
        // Only the pending hash checked here is adopted: a second login with it running at
        // the same time on the other worker finds it gone and must not copy the emptied field.
        const QMutexLocker lock(&m_lock);
        Stmt(m_db,
             "UPDATE accounts SET hash=pending_hash, pending_hash=NULL, pending_until=NULL WHERE id=? AND pending_hash=?",
             {a->id, pending})
            .step();
        return Login::Ok;
    }
    return Login::WrongPassword;
}

void AccountStore::setPendingPassword(qint64 account, const QString &password, qint64 validSeconds)
{
    const QString h = hash(password);
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "UPDATE accounts SET pending_hash=?, pending_until=? WHERE id=?",
         {h, QDateTime::currentSecsSinceEpoch() + validSeconds, account})
        .step();
}

void AccountStore::clearPendingPassword(qint64 account)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "UPDATE accounts SET pending_hash=NULL, pending_until=NULL WHERE id=?", {account}).step();
}

void AccountStore::setPassword(qint64 account, const QString &password)
{
    const QString h = hash(password);
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "UPDATE accounts SET hash=?, pending_hash=NULL, pending_until=NULL WHERE id=?", {h, account}).step();
}

void AccountStore::setConfirmed(qint64 account)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "UPDATE accounts SET confirmed=1, failed_codes=0 WHERE id=?", {account}).step();
}

void AccountStore::setCode(qint64 account, const QString &code, int failed)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "UPDATE accounts SET code=?, failed_codes=? WHERE id=?", {code, failed, account}).step();
}

void AccountStore::setExpiry(qint64 account, const QDate &expires)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "UPDATE accounts SET expires=? WHERE id=?", {expires.toJulianDay(), account}).step();
}

bool AccountStore::setExpiry(const QString &email, const QDate &expires)
{
    const QMutexLocker lock(&m_lock);
    const std::optional<Account> a = find(email);
    if (!a)
        return false;
    setExpiry(a->id, expires);
    return true;
}

qint64 AccountStore::usedBytes(qint64 account)
{
    const QMutexLocker lock(&m_lock);
    Stmt s(m_db, "SELECT COALESCE(SUM(size),0) FROM stock WHERE account=?", {account});
    return s.step() ? s.integer(0) : 0;
}

qint64 AccountStore::addBackup(qint64 account, double dataOra, const QString &obs, qint64 size)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "INSERT INTO stock(account, dataora, obs, size) VALUES(?,?,?,?)", {account, dataOra, obs, size}).step();
    return sqlite3_last_insert_rowid(m_db);
}

QList<StoredBackup> AccountStore::backups(qint64 account)
{
    const QMutexLocker lock(&m_lock);
    QList<StoredBackup> list;
    Stmt s(m_db, "SELECT idstoc, dataora, obs, size FROM stock WHERE account=? ORDER BY idstoc", {account});
    while (s.step())
        list.append({s.integer(0), s.real(1), s.text(2), s.integer(3)});
    return list;
}

std::optional<StoredBackup> AccountStore::backup(qint64 account, qint64 id)
{
    const QMutexLocker lock(&m_lock);
    Stmt s(m_db, "SELECT idstoc, dataora, obs, size FROM stock WHERE account=? AND idstoc=?", {account, id});
    if (!s.step())
        return std::nullopt;
    return StoredBackup{s.integer(0), s.real(1), s.text(2), s.integer(3)};
}

void AccountStore::removeBackup(qint64 account, qint64 id)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db, "DELETE FROM stock WHERE account=? AND idstoc=?", {account, id}).step();
}

void AccountStore::addSuggestion(const QString &peer, const QString &nume, const QString &comuna,
                                 const QString &telefon, const QString &mail, const QString &produs)
{
    const QMutexLocker lock(&m_lock);
    Stmt(m_db,
         "INSERT INTO suggestions(received, peer, nume, comuna, telefon_fax, mail, produs) "
         "VALUES(datetime('now'),?,?,?,?,?,?)",
         {peer, nume, comuna, telefon, mail, produs})
        .step();
}

int AccountStore::suggestionCount()
{
    const QMutexLocker lock(&m_lock);
    Stmt s(m_db, "SELECT COUNT(*) FROM suggestions");
    return s.step() ? int(s.integer(0)) : 0;
}

qint64 AccountStore::totalUsedBytes()
{
    const QMutexLocker lock(&m_lock);
    Stmt s(m_db, "SELECT COALESCE(SUM(size),0) FROM stock");
    return s.step() ? s.integer(0) : 0;
}

QList<AccountRow> AccountStore::accounts()
{
    const QMutexLocker lock(&m_lock);
    QList<AccountRow> list;
    Stmt s(m_db,
           "SELECT a.id, a.email, a.created, a.expires, a.confirmed, COALESCE(SUM(s.size),0), COUNT(s.idstoc) "
           "FROM accounts a LEFT JOIN stock s ON s.account=a.id GROUP BY a.id ORDER BY a.email");
    while (s.step()) {
        AccountRow r;
        r.account.id = s.integer(0);
        r.account.email = s.text(1);
        r.account.created = fromJulian(s.integer(2));
        r.account.expires = fromJulian(s.integer(3));
        r.account.confirmed = s.integer(4) != 0;
        r.usedBytes = s.integer(5);
        r.backups = int(s.integer(6));
        list.append(r);
    }
    return list;
}

bool AccountStore::setConfirmed(const QString &email)
{
    const QMutexLocker lock(&m_lock);
    const std::optional<Account> a = find(email);
    if (!a)
        return false;
    setConfirmed(a->id);
    return true;
}

bool AccountStore::deleteAccount(const QString &email, qint64 &deletedId)
{
    const QMutexLocker lock(&m_lock);
    const std::optional<Account> a = find(email);
    if (!a)
        return false;
    Stmt(m_db, "DELETE FROM stock WHERE account=?", {a->id}).step();
    Stmt(m_db, "DELETE FROM accounts WHERE id=?", {a->id}).step();
    deletedId = a->id;
    return true;
}

bool AccountStore::backupTo(const QString &path, QString &error)
{
    const QMutexLocker lock(&m_lock);
    sqlite3 *target = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &target) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(target));
        sqlite3_close(target);
        return false;
    }
    sqlite3_backup *b = sqlite3_backup_init(target, "main", m_db, "main");
    int rc = b ? sqlite3_backup_step(b, -1) : SQLITE_ERROR;
    if (b)
        sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        error = QString::fromUtf8(sqlite3_errmsg(target));
    sqlite3_close(target);
    return rc == SQLITE_DONE;
}

QString AccountStore::newCode()
{
    return QStringLiteral("%1").arg(randombytes_uniform(1000000), 6, 10, QLatin1Char('0'));
}

QString AccountStore::newPassword()
{
    static const char letters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString p;
    for (int i = 0; i < 10; ++i)
        p += QLatin1Char(letters[randombytes_uniform(sizeof(letters) - 1)]);
    return p;
}

} // namespace vestronia::server
