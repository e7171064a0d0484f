#pragma once
// How a collected amount is spread over a subscriber's open debits: advances first, then
// each debit in panel order (date, then identifier) into arrears ("RESTANTA"), penalty
// and current parts, any excess gathered into one new advance. The same code computes
// the live spread the collection dialog shows and the one that is recorded.

#include "core/money.h"
#include "core/tablecatalogue.h"

#include <QString>
#include <vector>

namespace vestronia {

class Database;
class ResultSet;

// One row of the allocation, with the columns of the DebNew work table.
struct AllocationRow
{
    qint64 iddeb = 0; // 0 for the new advance
    qint64 idserv = -1;
    qint64 idab = 0;
    qint64 idcon = -1;
    int datadeb = 0;
    int lunadeb = 0;
    QString denum;
    Money rata;
    Money sold;       // the debit's rest after this collection
    Money penal;      // rate, percent
    QString penalpe;
    int penaldata = 0;
    QString maxsold;
    Money resti;      // applied to the rest while overdue
    Money penali;     // applied to the penalty
    Money curenti;    // applied to the rest while not overdue; the advance on "D" rows
    char tipavans = 'N'; // 'N' a debit, 'D' an advance

    bool touched() const { return !resti.isZero() || !penali.isZero() || !curenti.isZero(); }
};

// Whether a debit is overdue on the day: it has a penalty start and the day is not
// before it.
bool isOverdue(int penaltyStart, int day);

// Spreads amount (not negative) over the open debits (all Debite columns, panel order)
// of subscriber idab at the given day. Over all rows RESTI + PENALI + CURENTI equals
// the amount. A rest's share is whole lei, never more than the rest or the amount, so
// no penalty part is negative and no debit is paid below zero.
std::vector<AllocationRow> allocateAmount(const ResultSet &openDebits, qint64 idab, Money amount, int today);

// The rows a collection writes, in allocation order: every row the amount touched (one
// that received only a penalty part included, so the lines always add up to the amount)
// and the new advance; debits the amount did not reach are left out.
std::vector<AllocationRow> rowsToRecord(std::vector<AllocationRow> rows);

// The columns of the DebNew work table: those of Debite, then RESTI, PENALI, CURENTI,
// TIPAVANS.
const std::vector<ColumnDef> &allocationTableColumns();

// An allocation written out as a DebNew work table in the TEMP folder, attached to db under
// the name "DebNew" while this object lives; detached and deleted afterwards. Recording a
// collection does not need it (it works on the rows in memory); it gives the rows in the
// file form other dBase tools read.
class AllocationTable
{
public:
    // Creates the file (NewWorkFile "DebNew" ".dbf") and writes the rows. Throws
    // FileError when no free name is found or the file cannot be written.
    AllocationTable(Database &db, const QString &tempFolder, const std::vector<AllocationRow> &rows);
    ~AllocationTable();
    AllocationTable(const AllocationTable &) = delete;
    AllocationTable &operator=(const AllocationTable &) = delete;

    const QString &path() const { return m_path; }
    // The rows as stored, in table order.
    std::vector<AllocationRow> rows() const;

private:
    Database &m_db;
    QString m_path;
};

} // namespace vestronia
