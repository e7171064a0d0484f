// Work tables of the reports: named by newWorkFile, attached for the statements that use
// them, removed when done even when a statement throws.

#include "reports/worktable.h"

#include "core/error.h"
#include "core/workfiles.h"
#include "store/database.h"

#include <QDir>
#include <QFile>

namespace vestronia {

WorkTable::WorkTable(Database &db, const QString &tempFolder, const QString &prefix, const QList<DbfColumn> &columns)
    : m_db(db), m_name(prefix)
{
    m_path = newWorkFile(tempFolder, prefix, QStringLiteral(".dbf"));
    if (m_path.isEmpty())
        throw FileError(QStringLiteral("Nu exista un nume liber pentru tabela de lucru %1 in dosarul %2.")
                            .arg(prefix, QDir::toNativeSeparators(tempFolder)));
    if (!createTable(m_path, columns))
        throw FileError(QStringLiteral("Tabela de lucru %1 nu poate fi creata.").arg(QDir::toNativeSeparators(m_path)));
    try {
        m_db.attach(m_name, m_path);
    } catch (...) {
        QFile::remove(m_path);
        throw;
    }
}

WorkTable::~WorkTable()
{
    try {
        drop();
    } catch (...) {
        // A file that cannot be removed now goes with the TEMP folder at the end of the run.
    }
}

void WorkTable::drop()
{
    if (m_path.isEmpty())
        return;
    const QString path = m_path;
    m_path.clear();
    m_db.detach(m_name);
    QFile::remove(path);
}

DbfColumn numberColumn(const QString &name, int length, int decimals)
{
    return DbfColumn{name, 'N', length, decimals};
}

DbfColumn textColumn(const QString &name, int length)
{
    return DbfColumn{name, 'C', length, 0};
}

} // namespace vestronia
