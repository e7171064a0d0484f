// The SQL contract over a data folder: an in-memory SQLite connection with the "dbf"
// module, the catalogue tables attached under their names, QVariant parameters and
// results. Statements run on the calling thread; one Database per thread.

#include "store/database.h"

#include "core/dates.h"
#include "core/workfiles.h"
#include "core/error.h"
#include "core/sharedfile.h"
#include "core/text.h"
#include "store/dbfvtab.h"
#include "store/fileops.h"
#include "store/folderlock.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <sqlite3.h>

namespace vestronia {

// ---- ResultSet -----------------------------------------------------------------------

int ResultSet::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant ResultSet::value(int row, const QString &column) const
{
    const int c = columnIndex(column);
    if (c < 0 || row < 0 || row >= rowCount())
        return {};
    return m_rows[size_t(row)][size_t(c)];
}

QString ResultSet::text(int row, const QString &column) const
{
    const QVariant v = value(row, column);
    return v.isValid() ? v.toString() : QString();
}

qint64 ResultSet::integer(int row, const QString &column) const
{
    const QVariant v = value(row, column);
    if (!v.isValid())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return qint64(v.toDouble() < 0 ? v.toDouble() - 0.5 : v.toDouble() + 0.5);
    return v.toLongLong();
}

Money ResultSet::money(int row, const QString &column) const
{
    return Money::fromVariant(value(row, column));
}

void ResultSet::setColumns(QStringList columns, QStringList declaredTypes)
{
    m_columns = std::move(columns);
    m_declaredTypes = std::move(declaredTypes);
}

// ---- helpers -------------------------------------------------------------------------

namespace {

QString sqliteMessage(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

[[noreturn]] void throwSql(sqlite3 *db, const QString &context = QString())
{
    QString message = sqliteMessage(db);
    if (!context.isEmpty())
        message = context + QStringLiteral(": ") + message;
    throw SqlError(message);
}

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

void bindValue(sqlite3 *db, sqlite3_stmt *stmt, int position, const QVariant &v)
{
    int rc = SQLITE_OK;
    if (!v.isValid() || v.isNull()) {
        rc = sqlite3_bind_null(stmt, position);
    } else if (v.userType() == qMetaTypeId<Money>()) {
        const Money m = v.value<Money>();
        // A double holds every amount of a DECIMAL(10,2) field exactly enough that its
        // shortest text is the amount; larger ones go as their exact text.
        if (Money::fromDouble(m.toDouble()) == m)
            rc = sqlite3_bind_double(stmt, position, m.toDouble());
        else {
            const QByteArray t = m.toString().toUtf8();
            rc = sqlite3_bind_text(stmt, position, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
    } else {
        switch (v.typeId()) {
        case QMetaType::QDate:
            rc = sqlite3_bind_int64(stmt, position, dayNumberOf(v.toDate()));
            break;
        case QMetaType::QDateTime:
            rc = sqlite3_bind_int64(stmt, position, dayNumberOf(v.toDateTime().date()));
            break;
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, position, v.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
            rc = sqlite3_bind_int64(stmt, position, v.toLongLong());
            break;
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(stmt, position, sqlite3_int64(v.toULongLong()));
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(stmt, position, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob(stmt, position, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            // Texts are searched as they are stored: comma-below letters as their cedilla twins.
            const QByteArray t = foldRomanianLetters(v.toString()).toUtf8();
            rc = sqlite3_bind_text(stmt, position, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        throwSql(db);
}

void bindAll(sqlite3 *db, sqlite3_stmt *stmt, const QVariantList &params)
{
    const int expected = sqlite3_bind_parameter_count(stmt);
    if (params.size() != expected)
        throw SqlError(QStringLiteral("Instructiunea SQL asteapta %1 parametri, a primit %2").arg(expected).arg(params.size()));
    for (int i = 0; i < params.size(); ++i)
        bindValue(db, stmt, i + 1, params[i]);
}

// Steps a bound statement to its end; collects rows when `out` is given.
qint64 run(sqlite3 *db, sqlite3_stmt *stmt, ResultSet *out)
{
    const int columns = sqlite3_column_count(stmt);
    std::vector<bool> isDate(size_t(columns), false);
    if (out) {
        QStringList names, types;
        for (int c = 0; c < columns; ++c) {
            names << QString::fromUtf8(sqlite3_column_name(stmt, c));
            const char *decl = sqlite3_column_decltype(stmt, c);
            types << (decl ? QString::fromUtf8(decl) : QString());
            isDate[size_t(c)] = types.back().compare(QLatin1String("DATE"), Qt::CaseInsensitive) == 0;
        }
        out->setColumns(names, types);
    }
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            const QString message = sqliteMessage(db);
            sqlite3_reset(stmt);
            throw SqlError(message);
        }
        if (!out)
            continue;
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                if (isDate[size_t(c)])
                    row << QVariant(int(sqlite3_column_int64(stmt, c)));
                else
                    row << QVariant(qint64(sqlite3_column_int64(stmt, c)));
                break;
            case SQLITE_FLOAT:
                row << QVariant(sqlite3_column_double(stmt, c));
                break;
            case SQLITE_TEXT:
                row << QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                                                  sqlite3_column_bytes(stmt, c)));
                break;
            case SQLITE_BLOB:
                row << QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, c)),
                                           sqlite3_column_bytes(stmt, c)));
                break;
            default:
                row << QVariant();
                break;
            }
        }
        out->appendRow(std::move(row));
    }
    const qint64 changed = sqlite3_stmt_readonly(stmt) ? 0 : qint64(sqlite3_changes64(db));
    sqlite3_reset(stmt);
    return changed;
}

sqlite3_stmt *compile(sqlite3 *db, const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        throwSql(db);
    if (!stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL este goala"));
    return stmt;
}

// Finalizes a statement when the scope ends, also on an exception.
struct Finalizer
{
    sqlite3_stmt *stmt;
    ~Finalizer() { sqlite3_finalize(stmt); }
};

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

void Database::begin()
{
    if (sqlite3_get_autocommit(m_db) && m_depth > 0) {
        // A group that SQLite ended by itself (after an error) is gone.
        m_depth = 0;
        endWrite();
    }
    if (m_depth == 0) {
        if (m_folder)
            m_folder->lockWriter(); // also reads the counters: every snapshot is refreshed
        try {
            execPlain(QStringLiteral("BEGIN"));
        } catch (...) {
            endWrite();
            throw;
        }
        activeWriters().push_back(this);
    } else {
        execPlain(QStringLiteral("SAVEPOINT vestronia_%1").arg(m_depth));
        m_stagedMarks.push_back(m_staged);
    }
    ++m_depth;
}

void Database::commit()
{
    if (m_depth <= 1) {
        m_depth = 0;
        if (sqlite3_get_autocommit(m_db)) {
            endWrite();
            throw SqlError(QStringLiteral("Nu exista nicio tranzactie deschisa de confirmat"));
        }
        try {
            std::vector<StagedFile> staged;
            for (const auto &[path, content] : m_staged) {
                const QByteArray p = QFile::encodeName(path);
                staged.push_back({std::string(p.constData(), size_t(p.size())),
                                  std::string(content.constData(), size_t(content.size()))});
            }
            try {
                // Private work tables first: whatever can still fail must fail before the
                // commit point, or a stored change would be reported as failed.
                dbfvtabSyncPrivate(m_module);
                dbfvtabCommitFolder(m_module, staged);
            } catch (const DbfError &e) {
                // Callers see a failed commit as every failed statement: an SqlError.
                throw SqlError(e.message());
            }
        } catch (...) {
            // A failed commit leaves nothing half open: SQLite rolled back, or we do.
            if (!sqlite3_get_autocommit(m_db))
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            endWrite();
            throw;
        }
        // The change is stored. Every table has written its part, so SQLite's own COMMIT
        // only ends the transaction; should it still refuse, the tables re-read their
        // files and the change is not reported as failed.
        try {
            execPlain(QStringLiteral("COMMIT"));
        } catch (...) {
            if (!sqlite3_get_autocommit(m_db))
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            dbfvtabInvalidate(m_module);
        }
        endWrite();
        return;
    }
    --m_depth;
    execPlain(QStringLiteral("RELEASE vestronia_%1").arg(m_depth));
    if (!m_stagedMarks.empty())
        m_stagedMarks.pop_back();
}

void Database::rollback()
{
    if (sqlite3_get_autocommit(m_db)) {
        m_depth = 0;
        endWrite();
        return;
    }
    if (m_depth <= 1) {
        m_depth = 0;
        try {
            execPlain(QStringLiteral("ROLLBACK"));
        } catch (...) {
            endWrite();
            throw;
        }
        endWrite();
        return;
    }
    --m_depth;
    execPlain(QStringLiteral("ROLLBACK TO vestronia_%1").arg(m_depth));
    execPlain(QStringLiteral("RELEASE vestronia_%1").arg(m_depth));
    if (!m_stagedMarks.empty()) {
        m_staged = m_stagedMarks.back();
        m_stagedMarks.pop_back();
    }
}

bool Database::inTransaction() const
{
    return m_depth > 0;
}

void Database::execPlain(const QString &sql)
{
    sqlite3_stmt *stmt = compile(m_db, sql);
    Finalizer f{stmt};
    run(m_db, stmt, nullptr);
}

void Database::endWrite()
{
    auto &writers = activeWriters();
    writers.erase(std::remove(writers.begin(), writers.end(), this), writers.end());
    m_staged.clear();
    m_stagedMarks.clear();
    if (m_folder)
        m_folder->unlockWriter();
}

// ---- Settings files of the data folder -----------------------------------------------

std::vector<Database *> &Database::activeWriters()
{
    thread_local std::vector<Database *> writers;
    return writers;
}

namespace {

QString folderOfPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absolutePath());
}

} // namespace

// The connection of this thread that is writing in the folder of `path`, if any.
Database *Database::writerFor(const QString &path)
{
    const QString folder = folderOfPath(path);
    for (Database *db : activeWriters())
        if (db->m_folder && QDir::cleanPath(QFileInfo(db->m_dataFolder).absoluteFilePath()) == folder)
            return db;
    return nullptr;
}

namespace {

// Settings files change under the data folder's protocol: inside a write transaction of
// their folder they are staged and committed with the tables; outside one, the change
// takes the folder's writer lock for its read-modify-write and replaces the file.
class FolderFileBackend final : public SharedFile::Backend
{
public:
    std::optional<QByteArray> read(const QString &path) override
    {
        if (Database *db = Database::writerFor(path))
            if (const QByteArray *staged = db->stagedFile(path))
                return *staged;
        return SharedFile::readFile(path);
    }

    void update(const QString &path, const SharedFile::Change &change) override
    {
        if (Database *db = Database::writerFor(path)) {
            const QByteArray *staged = db->stagedFile(path);
            const std::optional<QByteArray> current = staged ? std::optional<QByteArray>(*staged)
                                                             : SharedFile::readFile(path);
            if (const std::optional<QByteArray> next = change(current))
                db->stageFile(path, *next);
            return;
        }
        const QString folder = folderOfPath(path);
        if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) {
            SharedFile::updateWithLockFile(path, change);
            return;
        }
        FolderLock lock(folder);
        lock.lockWriter();
        struct Unlock
        {
            FolderLock &l;
            ~Unlock() { l.unlockWriter(); }
        } unlock{lock};
        const std::optional<QByteArray> current = SharedFile::readFile(path);
        if (const std::optional<QByteArray> next = change(current)) {
            SharedFile::replaceFile(path, *next);
            fileops::adoptFolderAccess(std::string(QFile::encodeName(path).constData()));
            const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
            lock.bump(std::string(name.constData(), size_t(name.size())), true);
        }
    }
};

} // namespace

void Database::installSharedFileBackend()
{
    static FolderFileBackend backend;
    SharedFile::setBackend(&backend);
}

const QByteArray *Database::stagedFile(const QString &path) const
{
    const auto it = m_staged.find(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    return it == m_staged.end() ? nullptr : &it->second;
}

void Database::stageFile(const QString &path, const QByteArray &content)
{
    m_staged[QDir::cleanPath(QFileInfo(path).absoluteFilePath())] = content;
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

// ---- Transaction ---------------------------------------------------------------------

Transaction::~Transaction()
{
    if (m_done)
        return;
    try {
        m_db.rollback();
    } catch (...) {
        // A destructor never throws; the connection rolls back when it closes anyway.
    }
}

void Transaction::commit()
{
    m_db.commit();
    m_done = true;
}

// ---- Statement -----------------------------------------------------------------------

Statement::Statement(Statement &&other) noexcept : m_db(other.m_db), m_stmt(other.m_stmt)
{
    other.m_stmt = nullptr;
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = other.m_stmt;
        other.m_stmt = nullptr;
    }
    return *this;
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

qint64 Statement::exec(const QVariantList &params)
{
    if (!m_stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL nu mai exista"));
    sqlite3_reset(m_stmt);
    bindAll(m_db->handle(), m_stmt, params);
    return m_db->runStatement(m_stmt, nullptr);
}

ResultSet Statement::select(const QVariantList &params)
{
    if (!m_stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL nu mai exista"));
    sqlite3_reset(m_stmt);
    bindAll(m_db->handle(), m_stmt, params);
    ResultSet rs;
    m_db->runStatement(m_stmt, &rs);
    return rs;
}

} // namespace vestronia
