#pragma once
// The check of a data folder: every record of every table read field by field, and the
// relations the program relies on (one row per identifier, no debit, subscription or
// collection of a subscriber that is gone). Reads only; repairs nothing.

#include "core/progress.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vestronia {

struct DataProblem
{
    QString table;     // table name as the catalogue spells it ("Debite")
    qint64 record = 0; // 1-based record number in the file; 0 for the table as a whole
    QString field;     // field name, empty when the problem is not one field's
    QByteArray bytes;  // the stored bytes of the field (or of the record's flag)
    QString text;      // what is wrong, in words
};

struct DataCheckReport
{
    QList<DataProblem> problems;
    qint64 recordsRead = 0;
    qint64 notListed = 0; // problems found beyond MaxListed, counted only
    QString notice;       // a restore that had died part-way and was settled first
    bool clean() const { return problems.isEmpty() && notListed == 0; }
};

namespace DataCheckLimits {
// A folder damaged throughout would otherwise give a list as large as the folder.
constexpr int MaxListed = 10000;
} // namespace DataCheckLimits

// Checks every catalogue table in dataFolder, after settling a restore that died part-way
// (BackupError when it cannot be settled). Progress: one step per table and per
// relation. Throws nothing for damaged data (that is the report); FileError when the
// folder itself cannot be read.
DataCheckReport checkDataFolder(const QString &dataFolder, Progress &progress);

} // namespace vestronia
