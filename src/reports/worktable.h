#pragma once
// A work table of a report: a dBase file in the TEMP folder under the first free name
// for its prefix, attached to the connection under that prefix while it lives, and
// detached and deleted when the object goes. Private to this process: no locking.

#include "store/dbftable.h"

#include <QList>
#include <QString>

namespace vestronia {

class Database;

class WorkTable
{
public:
    // Creates the table "<prefix><n>.dbf" in tempFolder with these columns and attaches
    // it under the SQL name prefix. Throws FileError when no free name exists or the file
    // cannot be created.
    WorkTable(Database &db, const QString &tempFolder, const QString &prefix, const QList<DbfColumn> &columns);
    ~WorkTable();
    WorkTable(const WorkTable &) = delete;
    WorkTable &operator=(const WorkTable &) = delete;

    const QString &name() const { return m_name; }
    const QString &path() const { return m_path; }
    // Detaches and deletes the file now (the chain no longer needs it).
    void drop();

private:
    Database &m_db;
    QString m_name;
    QString m_path;
};

// Column helpers for work-table layouts.
DbfColumn numberColumn(const QString &name, int length, int decimals = 0);
DbfColumn textColumn(const QString &name, int length);

} // namespace vestronia
