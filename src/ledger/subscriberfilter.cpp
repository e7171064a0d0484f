// The register screen's filter, evaluated in memory over the list it already holds, and
// the list's query. Column names in ORDER BY come from the table catalogue only.

#include "ledger/subscriberfilter.h"

#include "core/dates.h"
#include "core/tablecatalogue.h"
#include "store/database.h"

namespace vestronia {

bool SubscriberFilter::isEmpty() const
{
    return name.trimmed().isEmpty() && !activeOnly && locality.isEmpty() && street.isEmpty()
        && number.trimmed().isEmpty() && type.isEmpty();
}

std::vector<int> filterSubscribers(const ResultSet &rows, const SubscriberFilter &f)
{
    std::vector<int> out;
    out.reserve(size_t(rows.rowCount()));
    const int cName = rows.columnIndex(QStringLiteral("NUME"));
    const int cIn = rows.columnIndex(QStringLiteral("DATAIN"));
    const int cOut = rows.columnIndex(QStringLiteral("DATAOUT"));
    const int cLoc = rows.columnIndex(QStringLiteral("LOC"));
    const int cStreet = rows.columnIndex(QStringLiteral("STRADA"));
    const int cNr = rows.columnIndex(QStringLiteral("NR"));
    const int cType = rows.columnIndex(QStringLiteral("TIPPF"));
    const bool byName = !f.name.trimmed().isEmpty();
    const bool byNumber = !f.number.trimmed().isEmpty();
    auto textAt = [&rows](int row, int col) { return col < 0 ? QString() : rows.value(row, col).toString(); };
    for (int i = 0; i < rows.rowCount(); ++i) {
        if (byName && !textAt(i, cName).startsWith(f.name, Qt::CaseInsensitive))
            continue;
        if (f.activeOnly) {
            const qint64 out_ = cOut < 0 ? 0 : rows.value(i, cOut).toLongLong();
            const qint64 in = cIn < 0 ? 0 : rows.value(i, cIn).toLongLong();
            if (!((out_ >= f.today || out_ < 1000) && in > 1000))
                continue;
        }
        if (!f.locality.isEmpty() && textAt(i, cLoc) != f.locality)
            continue;
        if (!f.street.isEmpty() && textAt(i, cStreet) != f.street)
            continue;
        if (byNumber && textAt(i, cNr) != f.number)
            continue;
        if (!f.type.isEmpty() && textAt(i, cType) != f.type)
            continue;
        out.push_back(i);
    }
    return out;
}

QString subscriberSortField(const QString &columnField)
{
    const QString f = columnField.toUpper();
    if (f == QLatin1String("DATAINS"))
        return QStringLiteral("DATAIN");
    if (f == QLatin1String("DATAOUTS") || f == QLatin1String("INACTIV"))
        return QStringLiteral("DATAOUT");
    if (f == QLatin1String("DATASCUTS"))
        return QStringLiteral("DATASCUT");
    if (f == QLatin1String("DATACONS"))
        return QStringLiteral("DATACON");
    const ColumnDef *column = tableDef(TableId::Abonat).column(f);
    return column ? QString::fromLatin1(column->name) : QString();
}

ResultSet listSubscribers(Database &db, const QString &orderField)
{
    QString field = subscriberSortField(orderField);
    if (field.isEmpty())
        field = QStringLiteral("NUME");
    return db.select(QStringLiteral("SELECT * FROM Abonat ORDER BY %1, IDAB").arg(field));
}

} // namespace vestronia
