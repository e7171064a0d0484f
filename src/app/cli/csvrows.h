#pragma once
// Several rows of plain values as CSV, shaped as every command prints data: a header
// line, then one line per row, each field quoted when it needs to be; money always with
// two decimals. Debit rows have one shape wherever a command prints them.

#include "app/cli/cli.h"
#include "core/dates.h"
#include "core/money.h"

namespace vestronia::cli {

inline void printCsvRows(const QStringList &header, const QList<QStringList> &rows)
{
    out() << header.join(QLatin1Char(',')) << '\n';
    for (const QStringList &row : rows) {
        QStringList fields;
        for (const QString &v : row)
            fields << csvField(v);
        out() << fields.join(QLatin1Char(',')) << '\n';
    }
    out().flush();
}

// Debite rows (all columns) as the debits panel shows them, with their identifier.
inline void printDebitRows(const ResultSet &r)
{
    QList<QStringList> rows;
    for (int i = 0; i < r.rowCount(); ++i)
        rows << QStringList{QString::number(r.integer(i, QStringLiteral("IDDEB"))),
                            dayText(int(r.integer(i, QStringLiteral("DATADEB")))), r.text(i, QStringLiteral("DENUM")),
                            r.money(i, QStringLiteral("RATA")).toFixed(2), r.money(i, QStringLiteral("SOLD")).toFixed(2)};
    printCsvRows({QStringLiteral("IDDEB"), QStringLiteral("DATADEB"), QStringLiteral("DENUM"), QStringLiteral("RATA"),
                  QStringLiteral("SOLD")},
                 rows);
}

} // namespace vestronia::cli
