#pragma once
// "vestronia-cli fill": fills any workbook that follows the template conventions (keys,
// "#DBF" data rows) from queries on the data folder, so an administrator can make a
// report of their own from a template of their own.

#include <QStringList>

namespace vestronia {

class Database;

// fill TEMPLATE.xls --sql "SELECT ..." [--sql ...] [--set KEY=TEXT ...] [--num KEY=NUMBER ...]
//      [--sheet N] OUT.xls
// Keys are replaced first (in the order given), then each query fills the next data row.
// OUT.xls must not exist. Returns 0 on success, 2 for wrong arguments (the usage is
// printed); errors of the engine or the SQL are thrown.
int runFillCommand(const QStringList &args, Database &db);

// One line of usage for the command list of the tool.
const char *fillCommandUsage();

} // namespace vestronia
