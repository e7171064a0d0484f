#pragma once
// SQL over the dBase tables of a data folder. One SQLite connection (in memory) with the
// "dbf" virtual-table module registered; the nine tables of the catalogue are attached
// under their names (DefCont, Abonat, AbOm, Debite, Chitante, DetChit, DebiteArh, Log,
// Urmarire) and work tables under names the caller chooses.
//
// Values cross this boundary as QVariant:
//   N(p,0)  -> qint64           N(p,s>0) -> double (turn money into Money at once)
//   C       -> QString (trailing blanks trimmed; an all-blank field is NULL)
//   D       -> int day number (the column's declared type says DATE)
//   NULL    -> an invalid QVariant
// Parameters bind the same way; a Money binds as its exact decimal value, a QDate as its
// day number. User values always go in as parameters, never into the statement text.
//
// Errors throw SqlError (a VestroniaError) with SQLite's message, which for a value
// that does not fit its field names table, field and value.

#include "core/error.h"
#include "core/money.h"
#include "core/tablecatalogue.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <map>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vestronia {

struct DbfModule;
class FolderLock;

class SqlError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

// A query result held in memory.
class ResultSet
{
public:
    int columnCount() const { return int(m_columns.size()); }
    const QStringList &columns() const { return m_columns; }
    // Declared SQL type of each column as the table declares it ("DECIMAL(10,2)",
    // "CHAR(60)", "DATE"); empty for computed columns.
    const QStringList &declaredTypes() const { return m_declaredTypes; }
    // -1 when absent; compared without regard to case.
    int columnIndex(const QString &name) const;
    bool hasColumn(const QString &name) const { return columnIndex(name) >= 0; }

    int rowCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    const QVariant &value(int row, int column) const { return m_rows[size_t(row)][size_t(column)]; }
    // Invalid QVariant when the column does not exist.
    QVariant value(int row, const QString &column) const;

    // Typed reads: NULL gives the empty text, 0 or zero money.
    QString text(int row, const QString &column) const;
    qint64 integer(int row, const QString &column) const;
    Money money(int row, const QString &column) const;
    // The same by column number (from columnIndex, once for many rows); -1 reads as absent.
    QString text(int row, int column) const;
    qint64 integer(int row, int column) const;
    Money money(int row, int column) const;

    // Filled by Database.
    void setColumns(QStringList columns, QStringList declaredTypes);
    void appendRow(QVariantList row) { m_rows.push_back(std::move(row)); }
    const std::vector<QVariantList> &rows() const { return m_rows; }

private:
    QStringList m_columns;
    QStringList m_declaredTypes;
    std::vector<QVariantList> m_rows;
};

class Statement;

class Database
{
public:
    // Opens the connection and attaches every catalogue table whose file exists in the
    // data folder (file names matched without regard to case).
    explicit Database(const QString &dataFolder);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const QString &dataFolder() const { return m_dataFolder; }
    // Attaches catalogue tables whose files appeared since (after creating tables).
    void attachDataTables();
    bool isAttached(const QString &name) const;
    // Attaches a DBF file (a work table) under the given SQL name; replaces an earlier
    // attachment of that name.
    void attach(const QString &name, const QString &dbfPath);
    void detach(const QString &name);
    // Drops cached snapshots and indexes so the next statement re-reads the files
    // (after a file was replaced behind the engine's back).
    void refresh();

    ResultSet select(const QString &sql, const QVariantList &params = {});
    // Runs INSERT/UPDATE/DELETE (or any statement); returns the number of rows changed.
    qint64 exec(const QString &sql, const QVariantList &params = {});
    // First column of the first row; invalid when there is no row.
    QVariant scalar(const QString &sql, const QVariantList &params = {});

    // A prepared statement for many executions (bulk appends).
    Statement prepare(const QString &sql);

    // Defines on this connection an SQL scalar function of `argumentCount` arguments, so a
    // change over many rows runs as one statement computing each row's value in C++ (an
    // empty `fn` removes it; a function must not outlive what it captures). Arguments come
    // as a query returns values (NULL as an invalid QVariant), the result goes back as a
    // parameter binds. An exception thrown by `fn` fails the statement with its message.
    // Declared deterministic: the same arguments must give the same result.
    void defineFunction(const QString &name, int argumentCount, std::function<QVariant(const QVariantList &)> fn);

    // A write transaction over the data folder: all of it reaches the files or none of it,
    // whatever fails or crashes, and no other workstation writes in between. begin() takes
    // the folder's writer lock (waiting for another workstation up to
    // writerWaitMilliseconds(), then throwing DbfError) and refreshes every snapshot;
    // commit() journals, writes and syncs every changed table and settings file of the
    // folder; rollback() gives the changes up. Counters taken and settings written during
    // it belong to it. Nests: an inner begin/commit is a savepoint of the outer group, and
    // an inner rollback undoes only what was done since its begin. A change made outside a
    // transaction is a transaction of its own.
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const;

    // Runs `work` with the data folder held exclusively (packing, adding columns) and the
    // writer lock taken (a journal left by a dead writer played back first): throws
    // DbfError when another connection is attached. Not inside a transaction.
    void runExclusive(const std::function<void()> &work);
    // The lock of a folder this thread holds exclusively through runExclusive(), or null.
    static FolderLock *exclusiveLock(const QString &folder);

    sqlite3 *handle() const { return m_db; }

    // Points every catalogue table at the file the data folder holds now (after its files
    // were replaced: a name may differ in case, a table may be gone) and drops snapshots.
    void reattachDataTables();

    // Makes every settings-file access of the process go through the data folder's
    // protocol (the writer lock, a hot journal played first; inside a write transaction,
    // part of it). Done by the first connection; the start-up calls it before its first
    // settings write, when no connection exists yet.
    static void installSharedFileBackend();

    // For the settings-file backend: the writing connection of this thread for a file's
    // folder, and the content its transaction gives the file.
    static Database *writerFor(const QString &path);
    const QByteArray *stagedFile(const QString &path) const;
    void stageFile(const QString &path, const QByteArray &content);

private:
    friend class Statement;
    friend class FolderReplacement;
    static std::vector<Database *> &openConnections();
    static std::vector<std::pair<QString, FolderLock *>> &exclusiveFolders();
    void openFolder();
    static std::vector<Database *> &activeWriters();
    qint64 runStatement(sqlite3_stmt *stmt, ResultSet *out);
    void execPlain(const QString &sql);
    void endWrite();

    std::unique_ptr<FolderLock> m_folder;
    std::map<QString, QByteArray> m_staged;            // settings files changed by the transaction
    std::vector<std::map<QString, QByteArray>> m_stagedMarks; // at each savepoint

    QString m_dataFolder;
    sqlite3 *m_db = nullptr;
    QStringList m_attached;
    QStringList m_paths;            // file of each attachment, same order
    DbfModule *m_module = nullptr;  // owned by the connection
    int m_depth = 0;                // open begin() calls
};

// The data folder held for replacing its files (a restore). This thread's own
// connections to the folder step aside; anyone else attached makes it throw DbfError
// ("used by another workstation"); the writer lock is taken, but a journal left behind is
// not played: it belongs to the files being replaced (setJournalAside). When it ends, the
// change counters of the replaced files move, so every reader re-reads them, and this
// thread's connections attach again to the new files.
class FolderReplacement
{
public:
    explicit FolderReplacement(const QString &dataFolder);
    ~FolderReplacement();
    FolderReplacement(const FolderReplacement &) = delete;
    FolderReplacement &operator=(const FolderReplacement &) = delete;

    // Settles a journal left by a dead writer by playing it back, so the files that go
    // away are one state; one that cannot be played is moved into `toFolder` with them.
    // Returns the name it moved there, if any. Throws DbfError when it can do neither.
    QString setJournalAside(const QString &toFolder);
    // Removes every journal of the folder (one the new files brought along included) and
    // marks the given files as rewritten.
    void finish(const QStringList &replacedFiles);

private:
    QString m_folder;
    std::unique_ptr<FolderLock> m_lock;
    std::vector<Database *> m_stepped; // this thread's connections that stepped aside
};

// RAII group of statements: commits when commit() is called, rolls back otherwise.
class Transaction
{
public:
    explicit Transaction(Database &db) : m_db(db) { m_db.begin(); }
    ~Transaction();
    void commit();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    Database &m_db;
    bool m_done = false;
};

// A parameter bound without a QVariant, for statements run over many rows: NULL, an
// integer (also a day number), a double, a Money (bound as a Money in a QVariant is) or a
// text (folded and converted as a QString in a QVariant is). A text is held by reference:
// the QString must live until the exec() that takes it returns.
class SqlParam
{
public:
    enum class Kind { Null, Integer, Real, Money, Text };

    SqlParam() = default;
    SqlParam(int v) : m_kind(Kind::Integer), m_integer(v) {}
    SqlParam(qint64 v) : m_kind(Kind::Integer), m_integer(v) {}
    SqlParam(double v) : m_kind(Kind::Real), m_real(v) {}
    SqlParam(Money v) : m_kind(Kind::Money), m_integer(v.units()) {}
    SqlParam(const QString &v) : m_kind(Kind::Text), m_text(&v) {}
    SqlParam(QString &&) = delete; // a temporary would be gone before the statement runs

    Kind kind() const { return m_kind; }
    qint64 integer() const { return m_integer; }
    double real() const { return m_real; }
    Money money() const { return Money::fromUnits(m_integer); }
    const QString &text() const { return *m_text; }

private:
    Kind m_kind = Kind::Null;
    qint64 m_integer = 0;
    double m_real = 0;
    const QString *m_text = nullptr;
};

class Statement
{
public:
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Binds the values (1-based positions in order) and runs to completion; returns
    // the number of rows changed.
    qint64 exec(const QVariantList &params);
    ResultSet select(const QVariantList &params);
    // The same with typed parameters: no QVariant is built or read, and texts reach SQLite
    // from buffers the statement keeps, not copies. For loops of many rows.
    qint64 execTyped(std::span<const SqlParam> params);
    qint64 execTyped(std::initializer_list<SqlParam> params)
    {
        return execTyped(std::span<const SqlParam>(params.begin(), params.size()));
    }

private:
    friend class Database;
    Statement(Database &db, sqlite3_stmt *stmt) : m_db(&db), m_stmt(stmt) {}
    Database *m_db;
    sqlite3_stmt *m_stmt;
    std::vector<std::string> m_texts; // UTF-8 of the text parameters bound last, by position
};

} // namespace vestronia
