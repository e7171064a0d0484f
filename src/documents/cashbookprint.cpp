// Cash book printing: one query per figure, the lines of the whole period read once and
// handed to the report writer day by day.

#include "documents/cashbookprint.h"

#include "collections/cashbook.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/profilefile.h"
#include "core/progress.h"
#include "core/session.h"
#include "core/workfiles.h"
#include "reports/reportwriter.h"
#include "reports/templateresource.h"
#include "store/database.h"

#include <QDir>
#include <QList>

namespace vestronia {

QString printCashBook(Database &db, const Session &session, int from, int to, Progress &progress)
{
    const QString work = newWorkFile(session.tempFolder, QStringLiteral("RegCasa"), QStringLiteral(".xls"));
    if (work.isEmpty())
        throw FileError(QStringLiteral("Nu exista un nume liber pentru registru in dosarul ") +
                        QDir::toNativeSeparators(session.tempFolder));
    writeTemplateResource(QStringLiteral("RegCasa"), work);
    ReportWriter w(session.tempFolder);
    if (!w.openTemplate(work, true))
        throw FileError(QStringLiteral("Nu pot deschide modelul registrului de casa."));

    w.replaceKey(QStringLiteral("[SC]"), ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"),
                                                              QStringLiteral("UNITATE")));
    w.replaceKey(QStringLiteral("[PERIOADA]"),
                 QString(QStringLiteral("perioada ") + dayText(from) + QStringLiteral(" - ") + dayText(to)));
    const QString book = QStringLiteral(" FROM Chitante WHERE ") + cashBookCondition();
    const int yearStart = dayNumberOf(QDate(dateOfDayNumber(from).year(), 1, 1));
    const ResultSet ytd = db.select(QStringLiteral("SELECT SUM(INCASAT) AS II, SUM(PLATIT) AS PI") + book +
                                        QStringLiteral(" AND DOCDATA>=? AND DOCDATA<?"),
                                    {yearStart, from});
    w.replaceKey(QStringLiteral("[II]"), ytd.money(0, QStringLiteral("II")).toDouble());
    w.replaceKey(QStringLiteral("[PI]"), ytd.money(0, QStringLiteral("PI")).toDouble());
    const Money before = Money::fromVariant(db.scalar(QStringLiteral("SELECT SUM(INCASAT-PLATIT)") + book +
                                                          QStringLiteral(" AND DOCDATA<?"),
                                                      {from}));
    w.replaceKey(QStringLiteral("[SP]"), before.toDouble());

    const ResultSet days = db.select(QStringLiteral("SELECT DISTINCT DOCDATA") + book +
                                         QStringLiteral(" AND DOCDATA>=? AND DOCDATA<=? ORDER BY DOCDATA"),
                                     {from, to});
    const int n = days.rowCount();
    if (n < 2)
        w.deleteRows(11, 6);
    if (n >= 1) {
        for (int i = 3; i <= n; ++i)
            w.copyRowBlock(6 * i - 7, 6 * i - 2, 6 * i - 1, 1);
        ProgressScope scope(progress, QStringLiteral("Creez Registrul de casa..."), n);
        // Receipts of a day before its payments, in entry order within each.
        const ResultSet lines = db.select(
            QStringLiteral("SELECT DOCDATA, (IFNULL(DOCJUS,'') || ' ' || IFNULL(DOCSERIA,'') || ' nr.' || CAST(IFNULL(DOCNR,0) AS TEXT)) "
                           "AS DOCJUSNR, INCASAT, PLATIT, REPREZ") +
                book + QStringLiteral(" AND DOCDATA>=? AND DOCDATA<=? ORDER BY DOCDATA, PLATIT, IDCHIT"),
            {from, to});
        int row = 3;
        int next = 0;
        for (int d = 0; d < n; ++d) {
            const qint64 dayNumber = days.integer(d, QStringLiteral("DOCDATA"));
            row += 3;
            w.setCell(row, 2, dayNumber);
            QList<int> ofDay;
            while (next < lines.rowCount() && lines.integer(next, QStringLiteral("DOCDATA")) == dayNumber)
                ofDay << next++;
            w.fillRows(lines, ofDay);
            row += int(ofDay.size()) + 2;
            progress.step();
        }
        w.replaceKey(QStringLiteral("[ZIUA]"), QStringLiteral("-"));
    } else {
        // No operation in the period: the one block shows an empty line of zeros.
        w.setCell(9, 1, 1);
        w.setCell(9, 2, QString());
        w.setCell(9, 4, QString());
        w.setCell(9, 5, 0);
        w.setCell(9, 6, 0);
        w.setCell(9, 7, QString());
        w.replaceKey(QStringLiteral("[ZIUA]"), QStringLiteral("-"));
    }
    return w.finish();
}

} // namespace vestronia
