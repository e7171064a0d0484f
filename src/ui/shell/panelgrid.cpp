// Shared grid and caption helpers of the panels of a screen.

#include "ui/shell/panelgrid.h"

#include "store/database.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include <algorithm>

namespace vestronia {

// A day column that sorts and is named as its display twin.
GridColumn twinDay(const QString &title, const QString &field, const QString &band)
{
    GridColumn c = GridColumn::day(title, field, band);
    c.field = field + QLatin1Char('S');
    return c;
}


GridColumn flagColumn(const QString &title, const QString &name, std::function<bool(const ResultSet &, int)> set)
{
    GridColumn c{title, name, {}, {}, Qt::AlignCenter, QColor(Qt::red)};
    c.text = [set](const ResultSet &r, int row) { return set(r, row) ? QStringLiteral("X") : QString(); };
    return c;
}






QTableView *grid(QWidget *parent, const QString &name, ResultGridModel *model, const QList<int> &widthsInChars)
{
    auto *view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    // Tab leaves the grid for the next control (arrows move inside it): a grid that
    // cycled through its cells would keep the keyboard in.
    view->setTabKeyNavigation(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    view->horizontalHeader()->setHighlightSections(false);
    // Widths are fixed from the fields' sizes: measuring ten thousand rows would cost
    // more than the whole filter.
    // Digits and capitals, which these columns mostly hold, are wider than the average.
    const int ch = std::max(view->fontMetrics().averageCharWidth(), view->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    const QFontMetrics headerMetrics(view->horizontalHeader()->font());
    for (int i = 0; i < widthsInChars.size(); ++i) {
        int width = widthsInChars[i] * ch;
        for (const QString &line : model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString().split(QLatin1Char('\n')))
            width = std::max(width, headerMetrics.horizontalAdvance(line));
        view->setColumnWidth(i, width + 14);
    }
    // The last column takes any width left over (it never narrows below its own width).
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}


QLabel *amountLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(90);
    return label;
}


QString positiveOrZero(Money value)
{
    return value > Money() ? value.toString() : QStringLiteral("0");
}

void positionGrid(QTableView *view, ResultGridModel *model, const QString &field, qint64 id)
{
    int row = id ? model->findRow(field, id) : -1;
    if (row < 0 && model->rowCount() > 0)
        row = 0;
    if (row >= 0)
        view->setCurrentIndex(model->index(row, 0));
}

} // namespace vestronia
