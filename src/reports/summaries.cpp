// Follow-up summary and collections per debit year. The second widens its template by
// one column per debit year and builds its per-year columns in a work table whose column
// names are made from the years (SUMA2023); the years are numbers this code formats, so
// no text from the data reaches a statement.

#include "reports/summaries.h"

#include "core/dates.h"
#include "core/progress.h"
#include "reports/reportframe.h"
#include "reports/worktable.h"
#include "store/database.h"
#include "xls/workbook.h"

namespace vestronia {

QString followUpReportName(FollowUpKind kind)
{
    return kind == FollowUpKind::Notices ? QStringLiteral("Centralizator Instiintari")
                                         : QStringLiteral("Centralizator Somatii/Titluri");
}

QString followUpActType(FollowUpKind kind)
{
    return kind == FollowUpKind::Notices ? QStringLiteral("Instiintare de plata") : QStringLiteral("Somatie/Titlu executoriu");
}

ReportOutcome followUpSummaryReport(Database &db, const QString &tempFolder, const QString &unitName,
                                    FollowUpKind kind, const ReportPeriod &period)
{
    const QString name = followUpReportName(kind);
    const ResultSet acts = db.select(QStringLiteral("SELECT * FROM Urmarire WHERE TIPACT=? AND UDATA>=? AND UDATA<=? "
                                                    "ORDER BY UDATA, UNR"),
                                     {followUpActType(kind), period.from, period.to});
    if (acts.isEmpty())
        return {{}, name, QStringLiteral("\rNu exista niciun act in perioada selectata!")};
    ReportFrame frame(tempFolder, QStringLiteral("CenIns"), QStringLiteral("CenIns"));
    frame.writer().replaceKey(QStringLiteral("[UNITATE]"), unitName);
    frame.writer().replaceKey(QStringLiteral("[TIPACT]"), name);
    frame.writer().replaceKey(QStringLiteral("[PERIOADA]"), QString(dayText(period.from) + QStringLiteral(" - ") + dayText(period.to)));
    frame.writer().fillRows(acts);
    return {frame.finish(), {}, {}};
}

QStringList collectionYearsOffered(Database &db)
{
    const ResultSet months = db.select(QStringLiteral("SELECT LUNADEB FROM Debite WHERE RATA<>SOLD AND LUNADEB>=? "
                                                      "GROUP BY LUNADEB ORDER BY LUNADEB DESC"),
                                       {100000});
    QStringList years;
    for (int i = 0; i < months.rowCount(); ++i) {
        const QString year = QString::number(months.integer(i, QStringLiteral("LUNADEB"))).left(4);
        if (!years.contains(year))
            years.append(year);
    }
    return years;
}

namespace {

QList<DbfColumn> fixedColumns()
{
    return {numberColumn(QStringLiteral("IDAB"), 10), textColumn(QStringLiteral("ROL"), 9),
            textColumn(QStringLiteral("NUME"), 68),   textColumn(QStringLiteral("CNP"), 13),
            textColumn(QStringLiteral("STRADA"), 32), textColumn(QStringLiteral("NR"), 32)};
}

QString yearColumn(int year)
{
    return QStringLiteral("SUMA") + QString::number(year);
}

} // namespace

ReportOutcome collectionsByYearReport(Database &db, const QString &tempFolder, int year, Progress &progress)
{
    ProgressScope scope(progress, QStringLiteral("Centralizator incasari..."), 4);
    ReportFrame frame(tempFolder, QStringLiteral("ChitAn"), QStringLiteral("Cen"));

    QList<DbfColumn> cenColumns = fixedColumns();
    cenColumns << numberColumn(QStringLiteral("ANUL"), 6) << numberColumn(QStringLiteral("SUMA"), 10, 2);
    WorkTable cen(db, tempFolder, QStringLiteral("DbfCen"), cenColumns);
    // The year's non-cancelled collections allocated to each debit month, per subscriber,
    // with the name and address written on the document.
    db.exec(QStringLiteral("INSERT INTO DbfCen (IDAB, ROL, NUME, CNP, STRADA, NR, ANUL, SUMA) "
                           "SELECT A.IDAB, C.ROL, C.NUME, C.CNP, C.STRADA, C.NR, CAST(substr(B.LUNADEB, 1, 4) AS INTEGER), "
                           "SUM(A.RESTANTA+A.PENAL+A.CURENT) FROM DetChit A JOIN Debite B ON A.IDDEB=B.IDDEB "
                           "JOIN Chitante C ON A.IDCHIT=C.IDCHIT "
                           "WHERE ((C.ANULAT IS NULL) OR (C.ANULAT<>'X')) AND C.DOCDATA>=? AND C.DOCDATA<? "
                           "GROUP BY A.IDAB, B.LUNADEB, C.NUME, C.CNP, C.ROL, C.STRADA, C.NR"),
            {dayNumberOf(QDate(year, 1, 1)), dayNumberOf(QDate(year + 1, 1, 1))});
    progress.step();

    const ResultSet yearRows = db.select(QStringLiteral("SELECT ANUL FROM DbfCen GROUP BY ANUL ORDER BY ANUL"));
    QList<int> years;
    for (int i = 0; i < yearRows.rowCount(); ++i)
        years.append(int(yearRows.integer(i, QStringLiteral("ANUL"))));
    if (years.size() > MaxCollectionYearColumns)
        return {{}, QStringLiteral("Centralizator incasari"),
                QStringLiteral("\rIncasarile anului au achitat debite din %1 ani; centralizatorul poate arata cel mult %2 ani.")
                    .arg(years.size())
                    .arg(MaxCollectionYearColumns)};

    Workbook &book = frame.workbook();
    if (years.size() > 1)
        book.copyColumns(7, 7, 7, int(years.size()) - 1);
    for (int i = 0; i < years.size(); ++i) {
        book.setCell(5, 7 + i, years[i]);
        book.setCell(7, 7 + i, QString(QLatin1Char('#') + yearColumn(years[i])));
    }
    progress.step();

    QList<DbfColumn> finalColumns = fixedColumns();
    for (int y : years)
        finalColumns << numberColumn(yearColumn(y), 10, 2);
    WorkTable cenF(db, tempFolder, QStringLiteral("DbfCenF"), finalColumns);
    const QString fixedList = QStringLiteral("IDAB, ROL, NUME, CNP, STRADA, NR");
    QString targetList = fixedList;
    for (int y : years)
        targetList += QStringLiteral(", ") + yearColumn(y);
    {
        for (int s : years) {
            QString selectList = fixedList;
            for (int y : years)
                selectList += y == s ? QStringLiteral(", SUMA") : QStringLiteral(", 0");
            db.exec(QStringLiteral("INSERT INTO DbfCenF (") + targetList + QStringLiteral(") SELECT ") + selectList
                        + QStringLiteral(" FROM DbfCen WHERE ANUL=?"),
                    {s});
        }
    }
    cen.drop();
    progress.step();

    QString sums;
    for (int y : years)
        sums += QStringLiteral(", SUM(") + yearColumn(y) + QStringLiteral(") AS ") + yearColumn(y);
    const ResultSet rows = db.select(QStringLiteral("SELECT ROL, NUME, CNP, STRADA, NR") + sums
                                     + QStringLiteral(" FROM DbfCenF GROUP BY ROL, NUME, CNP, STRADA, NR ORDER BY NUME, CNP"));
    frame.writer().replaceKey(QStringLiteral("[ANUL]"), year);
    frame.writer().fillRows(rows);
    progress.step();
    return {frame.finish(), {}, {}};
}

} // namespace vestronia
