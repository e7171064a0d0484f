// Follow-up summary and collections per debit year. The second widens its template by
// one column per debit year and spreads each name's collections over those columns in
// memory, from one grouped query (bounded by names x debit years).

#include "reports/summaries.h"

#include "core/dates.h"
#include "core/progress.h"
#include "reports/reportframe.h"
#include "store/database.h"
#include "xls/workbook.h"

#include <algorithm>

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

QString yearColumn(int year)
{
    return QStringLiteral("SUMA") + QString::number(year);
}

} // namespace

ReportOutcome collectionsByYearReport(Database &db, const QString &tempFolder, int year, Progress &progress)
{
    ProgressScope scope(progress, QStringLiteral("Centralizator incasari..."), 3);
    ReportFrame frame(tempFolder, QStringLiteral("ChitAn"), QStringLiteral("Cen"));

    // The year's non-cancelled collections allocated to the debits of each year (arrears,
    // penalty and current parts together), per name and address as written on the
    // documents, ordered so that the parts of one name and address come together.
    const ResultSet parts = db.select(
        QStringLiteral("SELECT C.ROL, C.NUME, C.CNP, C.STRADA, C.NR, CAST(substr(B.LUNADEB, 1, 4) AS INTEGER) AS ANUL, "
                       "SUM(A.RESTANTA+A.PENAL+A.CURENT) AS SUMA FROM Chitante C JOIN DetChit A ON A.IDCHIT=C.IDCHIT "
                       "JOIN Debite B ON A.IDDEB=B.IDDEB "
                       "WHERE ((C.ANULAT IS NULL) OR (C.ANULAT<>'X')) AND C.DOCDATA>=? AND C.DOCDATA<? "
                       "GROUP BY C.ROL, C.NUME, C.CNP, C.STRADA, C.NR, ANUL ORDER BY C.NUME, C.CNP, C.ROL, C.STRADA, C.NR"),
        {dayNumberOf(QDate(year, 1, 1)), dayNumberOf(QDate(year + 1, 1, 1))});
    progress.step();

    QList<int> years;
    for (int i = 0; i < parts.rowCount(); ++i) {
        const int y = parts.value(i, 5).toInt();
        if (!years.contains(y))
            years.append(y);
    }
    std::sort(years.begin(), years.end());
    if (years.size() > MaxCollectionYearColumns)
        return {{}, QStringLiteral("Centralizator incasari"),
                QStringLiteral("\rIncasarile anului au achitat debite din %1 ani; centralizatorul poate arata cel mult %2 ani.")
                    .arg(years.size())
                    .arg(MaxCollectionYearColumns)};

    // One column per debit year, from column G on.
    Workbook &book = frame.workbook();
    if (years.size() > 1)
        book.copyColumns(7, 7, 7, int(years.size()) - 1);
    for (int i = 0; i < years.size(); ++i) {
        book.setCell(5, 7 + i, years[i]);
        book.setCell(7, 7 + i, QString(QLatin1Char('#') + yearColumn(years[i])));
    }
    progress.step();

    // One row per name and address with the year's collections split over the debit years.
    QStringList columns{QStringLiteral("ROL"), QStringLiteral("NUME"), QStringLiteral("CNP"), QStringLiteral("STRADA"),
                        QStringLiteral("NR")};
    QStringList types{QStringLiteral("CHAR(9)"), QStringLiteral("CHAR(68)"), QStringLiteral("CHAR(13)"),
                      QStringLiteral("CHAR(32)"), QStringLiteral("CHAR(32)")};
    for (int y : years) {
        columns << yearColumn(y);
        types << QStringLiteral("DECIMAL(10,2)");
    }
    ResultSet rows;
    rows.setColumns(columns, types);
    QVariantList current;
    QList<Money> sums;
    const auto flush = [&] {
        if (current.isEmpty())
            return;
        for (const Money &m : sums)
            current << QVariant::fromValue(m);
        rows.appendRow(current);
        current.clear();
    };
    for (int i = 0; i < parts.rowCount(); ++i) {
        QVariantList key;
        for (int c = 0; c < 5; ++c)
            key << parts.value(i, c);
        if (current.isEmpty() || key != current) {
            flush();
            current = key;
            sums = QList<Money>(years.size());
        }
        sums[years.indexOf(parts.value(i, 5).toInt())] += Money::fromVariant(parts.value(i, 6));
    }
    flush();
    frame.writer().replaceKey(QStringLiteral("[ANUL]"), year);
    frame.writer().fillRows(rows);
    progress.step();
    return {frame.finish(), {}, {}};
}

} // namespace vestronia
