#pragma once
// The grids and figures that panels of a screen share: a read-only grid over a
// result, its day columns named as their display twins, the amount captions.

#include "core/money.h"
#include "ui/shell/resultgridmodel.h"

#include <QList>
#include <QString>
#include <functional>

class QLabel;
class QTableView;
class QWidget;

namespace vestronia {

class ResultSet;

// A day column that sorts and is named as its display twin.
GridColumn twinDay(const QString &title, const QString &field, const QString &band = {});
// A red "X" column.
GridColumn flagColumn(const QString &title, const QString &name, std::function<bool(const ResultSet &, int)> set);
// A read-only grid over the model, one row selected, widths from the fields' sizes.
QTableView *grid(QWidget *parent, const QString &name, ResultGridModel *model, const QList<int> &widthsInChars);
QLabel *amountLabel(QWidget *parent, const QString &name);
// The value in its shortest form, "0" when not above zero.
QString positiveOrZero(Money value);
// Puts the grid on the row whose field holds id, else on the first row.
void positionGrid(QTableView *view, ResultGridModel *model, const QString &field, qint64 id);

} // namespace vestronia
