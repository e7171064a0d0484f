#pragma once
// A read-only table model over a query result, for the grids of the ledger windows.
// Columns are described once (title, band, how a row's cell reads); the rows shown can
// be a subset of the result in any order, so a filter never re-runs the query.

#include "store/database.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QVector>

#include <functional>
#include <vector>

namespace vestronia {

struct GridColumn
{
    QString title;
    QString field;  // the result column it shows (display twins name their stored field)
    QString band;   // group title shown above the title; empty for none
    std::function<QString(const ResultSet &, int row)> text;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QColor color;   // text colour; invalid for the default

    // A text column, a whole number, money with two decimals, a day number as a date
    // ("-" for none) and a month index as "MM.yyyy".
    static GridColumn plain(const QString &title, const QString &field, const QString &band = {});
    static GridColumn number(const QString &title, const QString &field, const QString &band = {});
    static GridColumn money(const QString &title, const QString &field, const QString &band = {});
    static GridColumn day(const QString &title, const QString &field, const QString &band = {});
    static GridColumn month(const QString &title, const QString &field, const QString &band = {});
};

class ResultGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ResultGridModel(QVector<GridColumn> columns, QObject *parent = nullptr);

    // Shows every row of the result, in its order.
    void setResult(ResultSet rows);
    // Shows only these rows of the current result (indexes into it), in this order.
    void setVisibleRows(std::vector<int> rows);
    void clear();

    const ResultSet &result() const { return m_result; }
    const QVector<GridColumn> &columns() const { return m_columns; }
    // Index into the result of a shown row; -1 when out of range.
    int resultRow(int shownRow) const;
    // The shown row whose integer column equals value; -1 when none.
    int findRow(const QString &field, qint64 value) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVector<GridColumn> m_columns;
    ResultSet m_result;
    std::vector<int> m_shown;
};

} // namespace vestronia
