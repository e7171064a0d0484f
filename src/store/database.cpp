// The SQL contract over a data folder: an in-memory SQLite connection with the "dbf"
// module, the catalogue tables attached under their names, QVariant parameters and
// results. Statements run on the calling thread; one Database per thread.
// Parts: sqlstatement.cpp (statements, results), sqltransaction.cpp (the write
// transaction), sharedfilebackend.cpp (settings files); here connection and attachments.

#include "store/sqlinternal.h"

#include "core/workfiles.h"
#include "core/error.h"
#include "store/dbfvtab.h"
#include "store/folderlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <sqlite3.h>

namespace vestronia {

using namespace sqlimpl;

namespace {

// "name" with embedded quotes doubled: an SQL identifier.
QString quotedName(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// 'text' with embedded quotes doubled: a module argument.
QString quotedArgument(const QString &text)
{
    QString t = text;
    t.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

} // namespace

// ---- Database ------------------------------------------------------------------------

Database::Database(const QString &dataFolder) : m_dataFolder(dataFolder)
{
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const QString message = m_db ? sqliteMessage(m_db) : QStringLiteral("memorie insuficienta");
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw SqlError(QStringLiteral("Motorul SQL nu poate porni: ") + message);
    }
    m_module = dbfvtabRegister(m_db);
    if (!m_module) {
        const QString message = sqliteMessage(m_db);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw SqlError(QStringLiteral("Modulul dbf nu poate fi inregistrat: ") + message);
    }
    try {
        openFolder();
        attachDataTables();
    } catch (...) {
        m_folder.reset();
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw;
    }
    openConnections().push_back(this);
}

std::vector<Database *> &Database::openConnections()
{
    thread_local std::vector<Database *> connections;
    return connections;
}

void Database::reattachDataTables()
{
    if (m_dataFolder.isEmpty())
        return;
    for (const TableDef &t : tableCatalogue()) {
        const QString name = QLatin1String(t.name);
        const QString fileName = QLatin1String(t.fileName);
        if (fileExistsNoCase(m_dataFolder, fileName))
            attach(name, findFileNoCase(m_dataFolder, fileName));
        else if (isAttached(name))
            detach(name);
    }
    refresh();
}

void Database::openFolder()
{
    if (m_dataFolder.isEmpty() || !QFileInfo(m_dataFolder).isDir())
        return;
    const QString folder = QDir::cleanPath(QFileInfo(m_dataFolder).absoluteFilePath());
    try {
        m_folder = std::make_unique<FolderLock>(folder);
    } catch (const DbfError &) {
        // A folder we cannot write (a copy on read-only media) is only read: there is
        // no one to exclude and nothing to journal.
        if (QFileInfo(folder).isWritable())
            throw;
        return;
    }
    m_folder->attach();
    // A writer that died mid-commit left its journal: the reader's check puts the files
    // back before the tables are attached and read.
    m_folder->lockRead(false);
    m_folder->unlockRead();
    const QByteArray path = QFile::encodeName(folder);
    dbfvtabSetFolder(m_module, m_folder.get(), std::string(path.constData(), size_t(path.size())));
    installSharedFileBackend();
}

Database::~Database()
{
    auto &open = openConnections();
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
    if (m_db) {
        // Anything still pending is given up, as a rollback would.
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    endWrite();
}

void Database::attachDataTables()
{
    if (m_dataFolder.isEmpty())
        return;
    for (const TableDef &t : tableCatalogue()) {
        const QString name = QLatin1String(t.name);
        if (isAttached(name))
            continue;
        const QString fileName = QLatin1String(t.fileName);
        if (!fileExistsNoCase(m_dataFolder, fileName))
            continue;
        attach(name, findFileNoCase(m_dataFolder, fileName));
    }
}

bool Database::isAttached(const QString &name) const
{
    for (const QString &n : m_attached)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void Database::attach(const QString &name, const QString &dbfPath)
{
    if (isAttached(name))
        detach(name);
    const QString path = QFileInfo(dbfPath).absoluteFilePath();
    const QString sql = QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING dbf(%2)")
                            .arg(quotedName(name), quotedArgument(path));
    const QByteArray text = sql.toUtf8();
    char *error = nullptr;
    if (sqlite3_exec(m_db, text.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw SqlError(message);
    }
    m_attached << name;
    m_paths << path;
}

void Database::detach(const QString &name)
{
    for (int i = 0; i < m_attached.size(); ++i) {
        if (m_attached[i].compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray text = QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(quotedName(m_attached[i])).toUtf8();
        char *error = nullptr;
        const int rc = sqlite3_exec(m_db, text.constData(), nullptr, nullptr, &error);
        const QString message = QString::fromUtf8(error ? error : "");
        sqlite3_free(error);
        if (rc != SQLITE_OK)
            throw SqlError(message);
        m_attached.removeAt(i);
        m_paths.removeAt(i);
        return;
    }
}

void Database::refresh()
{
    dbfvtabInvalidate(m_module);
    // A file replaced by one with other columns (a schema upgrade) needs a new attachment.
    if (sqlite3_get_autocommit(m_db)) {
        const QStringList names = m_attached;
        const QStringList paths = m_paths;
        for (int i = 0; i < names.size(); ++i)
            if (QFileInfo::exists(paths[i]))
                attach(names[i], paths[i]);
            else
                detach(names[i]);
    }
}

ResultSet Database::select(const QString &sql, const QVariantList &params)
{
    sqlite3_stmt *stmt = compile(m_db, sql);
    Finalizer f{stmt};
    bindAll(m_db, stmt, params);
    ResultSet rs;
    runStatement(stmt, &rs);
    return rs;
}

qint64 Database::exec(const QString &sql, const QVariantList &params)
{
    sqlite3_stmt *stmt = compile(m_db, sql);
    Finalizer f{stmt};
    bindAll(m_db, stmt, params);
    return runStatement(stmt, nullptr);
}

namespace {

// Statements that manage the connection or a transaction themselves and cannot run inside one.
bool outsideTransactions(sqlite3_stmt *stmt)
{
    const char *sql = sqlite3_sql(stmt);
    if (!sql)
        return false;
    while (*sql == ' ' || *sql == '\t' || *sql == '\n' || *sql == '\r')
        ++sql;
    for (const char *word : {"ATTACH", "DETACH", "VACUUM", "BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE",
                             "PRAGMA"}) {
        const size_t n = std::strlen(word);
        if (sqlite3_strnicmp(sql, word, int(n)) == 0 && !std::isalnum(static_cast<unsigned char>(sql[n])))
            return true;
    }
    return false;
}

} // namespace

qint64 Database::runStatement(sqlite3_stmt *stmt, ResultSet *out)
{
    const bool reader = m_folder && m_depth == 0 && !outsideTransactions(stmt) && sqlite3_stmt_readonly(stmt);
    if (m_folder && m_depth == 0 && !outsideTransactions(stmt) && !sqlite3_stmt_readonly(stmt)) {
        // A change outside a transaction is a transaction of its own.
        begin();
        qint64 changed = 0;
        try {
            changed = run(m_db, stmt, out);
        } catch (...) {
            try {
                rollback();
            } catch (...) {
            }
            throw;
        }
        commit();
        return changed;
    }
    // A reader brings its snapshots up to date under the read range and then runs
    // without it: a long report never keeps a commit elsewhere waiting.
    try {
        dbfvtabStatementStart(m_module, reader);
    } catch (const DbfError &e) {
        throw SqlError(e.message());
    }
    return run(m_db, stmt, out);
}

QVariant Database::scalar(const QString &sql, const QVariantList &params)
{
    const ResultSet rs = select(sql, params);
    if (rs.isEmpty() || rs.columnCount() == 0)
        return {};
    return rs.value(0, 0);
}

Statement Database::prepare(const QString &sql)
{
    return Statement(*this, compile(m_db, sql));
}

namespace {

using ScalarFunction = std::function<QVariant(const QVariantList &)>;

QVariant argumentValue(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_value_int64(v)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_value_double(v));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_value_blob(v)), sqlite3_value_bytes(v)));
    default:
        return {};
    }
}

// The result goes in as a bound parameter of the same value would.
void setResult(sqlite3_context *context, const QVariant &v)
{
    const SqlValue value = sqlValueOf(v);
    switch (value.kind) {
    case SqlValue::Null:
        sqlite3_result_null(context);
        break;
    case SqlValue::Integer:
        sqlite3_result_int64(context, value.integer);
        break;
    case SqlValue::Real:
        sqlite3_result_double(context, value.real);
        break;
    case SqlValue::Text:
        sqlite3_result_text(context, value.bytes.constData(), int(value.bytes.size()), SQLITE_TRANSIENT);
        break;
    case SqlValue::Blob:
        sqlite3_result_blob(context, value.bytes.constData(), int(value.bytes.size()), SQLITE_TRANSIENT);
        break;
    }
}

void callScalar(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const auto *fn = static_cast<const ScalarFunction *>(sqlite3_user_data(context));
    try {
        QVariantList args;
        args.reserve(argc);
        for (int i = 0; i < argc; ++i)
            args.append(argumentValue(argv[i]));
        setResult(context, (*fn)(args));
    } catch (const VestroniaError &e) {
        const QByteArray m = e.message().toUtf8();
        sqlite3_result_error(context, m.constData(), int(m.size()));
    } catch (const std::bad_alloc &) {
        sqlite3_result_error_nomem(context);
    } catch (...) {
        sqlite3_result_error(context, "Eroare in functia SQL", -1);
    }
}

} // namespace

void Database::defineFunction(const QString &name, int argumentCount, std::function<QVariant(const QVariantList &)> fn)
{
    const QByteArray n = name.toUtf8();
    int rc;
    if (fn) {
        auto *held = new ScalarFunction(std::move(fn));
        // SQLite owns `held` from here: it deletes it when the function is replaced or removed,
        // and also when the definition fails.
        rc = sqlite3_create_function_v2(m_db, n.constData(), argumentCount, SQLITE_UTF8 | SQLITE_DETERMINISTIC, held,
                                        callScalar, nullptr, nullptr,
                                        [](void *p) { delete static_cast<ScalarFunction *>(p); });
    } else {
        rc = sqlite3_create_function_v2(m_db, n.constData(), argumentCount, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
    }
    if (rc != SQLITE_OK)
        throwSql(m_db, QStringLiteral("Functia SQL ") + name);
}

void Database::runExclusive(const std::function<void()> &work)
{
    if (!m_folder) {
        work();
        return;
    }
    if (m_depth > 0)
        throw SqlError(QStringLiteral("Structura tabelelor nu se poate schimba in timpul unei modificari de date."));
    m_folder->detach();
    if (!m_folder->tryExclusive()) {
        m_folder->attach();
        throw DbfError(QStringLiteral("Dosarul de date este folosit de alt calculator; operatia nu se poate face "
                                      "acum."));
    }
    const QString folder = QDir::cleanPath(QFileInfo(m_dataFolder).absoluteFilePath());
    struct Restore
    {
        Database *db;
        QString folder;
        ~Restore()
        {
            auto &held = exclusiveFolders();
            held.erase(std::remove_if(held.begin(), held.end(), [&](const auto &p) { return p.first == folder; }),
                       held.end());
            db->m_folder->unlockWriter();
            db->m_folder->releaseExclusive();
            try {
                db->m_folder->attach();
            } catch (...) {
            }
        }
    } restore{this, folder};
    m_folder->lockWriter();
    exclusiveFolders().emplace_back(folder, m_folder.get());
    work();
    dbfvtabInvalidate(m_module);
}

std::vector<std::pair<QString, FolderLock *>> &Database::exclusiveFolders()
{
    thread_local std::vector<std::pair<QString, FolderLock *>> folders;
    return folders;
}

FolderLock *Database::exclusiveLock(const QString &folder)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (const auto &[f, lock] : exclusiveFolders())
        if (f == clean)
            return lock;
    return nullptr;
}

// ---- Replacing the folder's files ------------------------------------------------------

FolderReplacement::FolderReplacement(const QString &dataFolder)
    : m_folder(QDir::cleanPath(QFileInfo(dataFolder).absoluteFilePath()))
{
    for (Database *db : Database::openConnections()) {
        if (!db->m_folder || QDir::cleanPath(QFileInfo(db->m_dataFolder).absoluteFilePath()) != m_folder)
            continue;
        if (db->m_depth > 0)
            throw DbfError(QStringLiteral("Datele nu pot fi inlocuite in timpul unei modificari de date."));
        m_stepped.push_back(db);
    }
    for (Database *db : m_stepped)
        db->m_folder->detach();
    try {
        m_lock = std::make_unique<FolderLock>(m_folder);
        if (!m_lock->tryExclusive())
            throw DbfError(QStringLiteral("Dosarul de date este folosit de alt calculator; datele nu pot fi inlocuite "
                                          "cat timp programul este deschis si pe alt calculator."));
        m_lock->lockWriter(false);
    } catch (...) {
        m_lock.reset();
        for (Database *db : m_stepped) {
            try {
                db->m_folder->attach();
            } catch (...) {
            }
        }
        throw;
    }
}

QString FolderReplacement::setJournalAside(const QString &toFolder)
{
    const QString journal = QDir(m_folder).filePath(QLatin1String(FolderLock::JournalFileName));
    if (!QFileInfo::exists(journal))
        return {};
    try {
        m_lock->lockRead(true);
        m_lock->recoverJournal();
        m_lock->unlockRead();
    } catch (const DbfError &) {
        m_lock->unlockRead();
    }
    if (!QFileInfo::exists(journal))
        return {};
    const QString name = QLatin1String(FolderLock::JournalFileName);
    const QString target = QDir(toFolder).filePath(name);
    QFile::remove(target);
    if (!QFile::rename(journal, target))
        throw DbfError(QStringLiteral("Jurnalul %1 nu poate fi mutat in %2.").arg(journal, toFolder));
    return name;
}

void FolderReplacement::finish(const QStringList &replacedFiles)
{
    const QString journal = QDir(m_folder).filePath(QLatin1String(FolderLock::JournalFileName));
    if (QFileInfo::exists(journal) && !QFile::remove(journal))
        throw DbfError(QStringLiteral("Jurnalul %1 nu poate fi sters.").arg(journal));
    // The files are replaced by now: a counter that cannot move must not make the restore
    // look failed. Nobody else is attached, our own connections re-attach, and a reader
    // that comes later opens the new files (or sees them by size and time).
    for (const QString &name : replacedFiles) {
        const QByteArray n = QFile::encodeName(name);
        try {
            m_lock->bump(std::string(n.constData(), size_t(n.size())), true);
        } catch (const DbfError &) {
        }
    }
}

FolderReplacement::~FolderReplacement()
{
    m_lock->unlockWriter();
    m_lock->releaseExclusive();
    m_lock.reset();
    for (Database *db : m_stepped) {
        try {
            db->m_folder->attach();
            db->reattachDataTables();
        } catch (...) {
            // The connection reads the new files at its next statement or reports why.
        }
    }
}

} // namespace vestronia
