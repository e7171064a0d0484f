#pragma once
// The one description of the nine tables: names, file names and columns in their
// exact order, types and widths. Table creation, the folder checks, packing, the SQL
// layer's attachments and the schema upgrade all read it from here.

#include <QString>
#include <QStringList>
#include <vector>

namespace vestronia {

enum class TableId { DefCont, Abonat, AbOm, Debite, Chitante, DetChit, DebiteArh, Log, Urmarire };

struct ColumnDef
{
    const char *name;
    char type;     // 'C' text, 'N' number, 'D' date
    int length;    // field width in bytes
    int decimals;  // digits after the point (N only)
    // The column as a CREATE TABLE line writes it: "SOLD DECIMAL(10,2)".
    QString sqlType() const;
};

struct TableDef
{
    TableId id;
    const char *name;               // SQL name of the attached table: "Debite"
    const char *fileName;           // file in the data folder: "Debite.dbf"
    std::vector<ColumnDef> columns; // in file order
    const ColumnDef *column(const QString &name) const;
};

// The nine tables in the order of the table list (checks of a network folder, packing).
const std::vector<TableDef> &tableCatalogue();
// The nine tables in the order they are created at start (the change log first).
std::vector<TableId> tableCreationOrder();
const TableDef &tableDef(TableId id);
// The file name of every table, in table-list order.
QStringList tableFileNames();

// The work tables of the program, created in the TEMP folder.
// Debit work tables have the layout of Debite.
const std::vector<ColumnDef> &penaltyWorkColumns(); // NUME, IDAB, PEN2023

} // namespace vestronia
