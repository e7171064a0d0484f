#pragma once
// Date fields that keep what was typed. A date field left alone would turn 31 typed over
// 30.11 into 30 at once (November lacks the 31st), so the clerk who goes on to type 12
// gets 30.12 and the period silently loses its last day.

class QDateEdit;

namespace vestronia {

// From now on a day typed in the field that its month lacks is remembered and given back
// once the month has been typed (on leaving the month, the field, or on Enter). When the
// month typed lacks that day too, a problem balloon says so instead of a quiet change.
// Works on the field's "dd.MM.yyyy" form; other forms are left as they are.
void keepTypedDay(QDateEdit *edit);

} // namespace vestronia
