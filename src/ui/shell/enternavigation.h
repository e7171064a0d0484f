#pragma once
// Enter in an input field of a form moves to the next field, as the program's forms
// have always worked; memo fields keep Enter for new lines. Enter on the last field before
// the form's enter button, or on any focused button, presses that button. The focus frame
// shows from the first key: every focus move made here counts as a keyboard move.

#include <QList>

class QAbstractButton;
class QWidget;

namespace vestronia {

// Watches every line edit, list (editable or not), date/number field, check box, radio
// button and push/tool button of the form (present now). Fields in keepEnter keep their
// own Enter (a field whose Enter confirms). Date fields keep a typed day (keepTypedDay).
void installEnterNavigation(QWidget *form, const QList<QWidget *> &keepEnter = {});

// Makes button the one that Enter on the field before it presses (the form's "&Memoreaza"
// or a picker's "&Am ales"), instead of only moving the focus onto it.
void setEnterButton(QAbstractButton *button);

// Puts the focus on w as the keyboard would, so that the style draws its focus frame.
void setKeyboardFocus(QWidget *w);

// Makes Tab and Enter follow the given widgets in this order: the form's reading order,
// row by row, whatever order the widgets were created in.
void setTabChain(const QList<QWidget *> &chain);

} // namespace vestronia
