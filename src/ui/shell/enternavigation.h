#pragma once
// Enter in an input field of a form moves to the next field, as the program's forms
// have always worked; memo fields keep Enter for new lines.

class QWidget;

namespace vestronia {

// Watches every line edit, list and date/number field of the form (present now).
void installEnterNavigation(QWidget *form);

} // namespace vestronia
