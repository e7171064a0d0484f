// Subscriber list and collection list: one query each into the data row of a template.
// A subscriber's exit field left blank by another dBase tool counts as "no exit date",
// like every day number below 1000.

#include "reports/listreports.h"

#include "core/dates.h"
#include "reports/reportframe.h"
#include "store/database.h"

namespace vestronia {

ReportOutcome subscriberListReport(Database &db, const QString &tempFolder, int today)
{
    ReportFrame frame(tempFolder, QStringLiteral("Rap1"), QStringLiteral("R1S"));
    frame.writer().replaceKey(QStringLiteral("[DATA]"), QString(QStringLiteral("la data de ") + dayText(today)));
    const ResultSet rows = db.select(QStringLiteral("SELECT NUME, CNP, NRPERS, LOC, STRADA, NR FROM Abonat "
                                                    "WHERE ((DATAOUT IS NULL) OR (DATAOUT < ?) OR (DATAOUT > ?)) "
                                                    "ORDER BY NUME"),
                                     {FirstRealDayNumber, today});
    frame.writer().fillRows(rows);
    return {frame.finish(), {}, {}};
}

ReportOutcome collectionListReport(Database &db, const QString &tempFolder, const QString &unitName,
                                   const ReportPeriod &period)
{
    ReportFrame frame(tempFolder, QStringLiteral("BordInc"), QStringLiteral("BordInc"));
    frame.writer().replaceKey(QStringLiteral("[UAT]"), unitName);
    frame.writer().replaceKey(QStringLiteral("[PERIOADA]"),
                              QString(QStringLiteral("in perioada ") + dayText(period.from) + QStringLiteral(" - ") + dayText(period.to)));
    const ResultSet rows = db.select(
        QStringLiteral("SELECT DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, ROL, (INCASAT-PLATIT) AS SUMA FROM Chitante "
                       "WHERE ((ANULAT IS NULL) OR (ANULAT='')) AND (IDAB>0) AND (DOCDATA>=?) AND (DOCDATA<=?) "
                       "AND DOCJUS<>'BORDEROU SCADERE' "
                       "ORDER BY DOCJUS, DOCDATA, DOCSERIA, DOCNR"),
        {period.from, period.to});
    frame.writer().fillRows(rows);
    return {frame.finish(), {}, {}};
}

} // namespace vestronia
