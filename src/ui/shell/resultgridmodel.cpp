// The ledger grids' model: cells are read from the held result when painted, so a
// filter over ten thousand rows only swaps a vector of row numbers.

#include "ui/shell/resultgridmodel.h"

#include "core/dates.h"

#include <numeric>

namespace vestronia {

GridColumn GridColumn::plain(const QString &title, const QString &field, const QString &band)
{
    GridColumn c{title, field, band, {}, Qt::AlignLeft | Qt::AlignVCenter, {}};
    c.text = [field](const ResultSet &r, int row) { return r.text(row, field); };
    return c;
}

GridColumn GridColumn::number(const QString &title, const QString &field, const QString &band)
{
    GridColumn c{title, field, band, {}, Qt::AlignRight | Qt::AlignVCenter, {}};
    c.text = [field](const ResultSet &r, int row) {
        const QVariant v = r.value(row, field);
        return v.isValid() && !v.isNull() ? QString::number(v.toLongLong()) : QString();
    };
    return c;
}

GridColumn GridColumn::money(const QString &title, const QString &field, const QString &band)
{
    GridColumn c{title, field, band, {}, Qt::AlignRight | Qt::AlignVCenter, {}};
    c.text = [field](const ResultSet &r, int row) { return r.money(row, field).toFixed(2); };
    return c;
}

GridColumn GridColumn::day(const QString &title, const QString &field, const QString &band)
{
    GridColumn c{title, field, band, {}, Qt::AlignCenter, {}};
    c.text = [field](const ResultSet &r, int row) { return dayText(int(r.integer(row, field))); };
    return c;
}

GridColumn GridColumn::month(const QString &title, const QString &field, const QString &band)
{
    GridColumn c{title, field, band, {}, Qt::AlignCenter, {}};
    c.text = [field](const ResultSet &r, int row) { return monthText(int(r.integer(row, field))); };
    return c;
}

ResultGridModel::ResultGridModel(QVector<GridColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns))
{
}

void ResultGridModel::setResult(ResultSet rows)
{
    beginResetModel();
    m_result = std::move(rows);
    m_shown.resize(size_t(m_result.rowCount()));
    std::iota(m_shown.begin(), m_shown.end(), 0);
    endResetModel();
}

void ResultGridModel::setVisibleRows(std::vector<int> rows)
{
    beginResetModel();
    m_shown = std::move(rows);
    endResetModel();
}

void ResultGridModel::clear()
{
    setResult(ResultSet());
}

int ResultGridModel::resultRow(int shownRow) const
{
    return shownRow >= 0 && size_t(shownRow) < m_shown.size() ? m_shown[size_t(shownRow)] : -1;
}

int ResultGridModel::findRow(const QString &field, qint64 value) const
{
    const int col = m_result.columnIndex(field);
    if (col < 0)
        return -1;
    for (size_t i = 0; i < m_shown.size(); ++i) {
        if (m_result.value(m_shown[i], col).toLongLong() == value)
            return int(i);
    }
    return -1;
}

int ResultGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int ResultGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ResultGridModel::data(const QModelIndex &index, int role) const
{
    const int row = resultRow(index.row());
    if (row < 0 || index.column() < 0 || index.column() >= m_columns.size())
        return {};
    const GridColumn &c = m_columns[index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return c.text(m_result, row);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(c.alignment);
    case Qt::ForegroundRole:
        return c.color.isValid() ? QVariant(c.color) : QVariant();
    default:
        return {};
    }
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        // A band is written once, over the first column of its group, so the grid reads
        // as grouped columns under one title.
        const GridColumn &c = m_columns[section];
        if (c.band.isEmpty())
            return c.title;
        const bool first = section == 0 || m_columns[section - 1].band != c.band;
        return QString((first ? c.band : QString()) + QLatin1Char('\n') + c.title);
    }
    if (role == Qt::ToolTipRole) {
        const GridColumn &c = m_columns[section];
        return c.band.isEmpty() ? c.title : QString(c.band + QStringLiteral(": ") + c.title);
    }
    return {};
}

} // namespace vestronia
