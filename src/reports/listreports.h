#pragma once
// The two list reports: the active subscribers with their number of persons ("Rap1")
// and the money collected in a period ("BordInc"). Each saves a filled copy of its
// template in the TEMP folder and returns the path; the caller shows it.

#include "reports/reportoutcome.h"

#include <QString>

namespace vestronia {

class Database;

// Subscribers without an exit date or leaving after today, by name. Throws SqlError,
// XlsError or FileError.
ReportOutcome subscriberListReport(Database &db, const QString &tempFolder, int today);

// Collection documents of the period (both ends included) that are not cancelled, belong
// to a subscriber and are not deduction slips, by type, date, series and number; the
// amount is what was collected minus what was paid out.
ReportOutcome collectionListReport(Database &db, const QString &tempFolder, const QString &unitName,
                                   const ReportPeriod &period);

} // namespace vestronia
