#pragma once
// Enter in an input field of a form moves to the next field, as the program's forms
// have always worked; memo fields keep Enter for new lines.

#include <QList>

class QWidget;

namespace vestronia {

// Watches every line edit, list (editable or not) and date/number field of the form
// (present now). Fields in keepEnter keep their own Enter (a field whose Enter confirms).
void installEnterNavigation(QWidget *form, const QList<QWidget *> &keepEnter = {});

// Makes Tab and Enter follow the given widgets in this order: the form's reading order,
// row by row, whatever order the widgets were created in.
void setTabChain(const QList<QWidget *> &chain);

} // namespace vestronia
