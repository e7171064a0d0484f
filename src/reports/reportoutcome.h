#pragma once
// What a report hands back to its caller: the saved workbook, or the message of a case
// that produces no document. Windows show the message with Mesaj; the command line
// prints it and exits 1.

#include <QString>

namespace vestronia {

struct ReportOutcome
{
    QString path;     // the saved output ("XLSTmp<n>.xls" in the TEMP folder)
    QString title;    // message title when no document was made
    QString refusal;  // message text when no document was made ("\r" = line break)
    bool ok() const { return !path.isEmpty(); }
};

// A period of days, both ends included (day numbers).
struct ReportPeriod
{
    int from = 0;
    int to = 0;
};

} // namespace vestronia
