// The write transaction of Database: the folder's writer lock and SQLite's BEGIN, nested
// groups as savepoints, and the commit that journals and writes every changed table and
// settings file before SQLite's own COMMIT ends the transaction.

#include "store/sqlinternal.h"

#include "store/dbfvtab.h"
#include "store/folderlock.h"

#include <QFile>
#include <algorithm>

namespace vestronia {

using namespace sqlimpl;

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

} // namespace vestronia
