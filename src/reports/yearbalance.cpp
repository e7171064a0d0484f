// The yearly balance: debits per subscriber and year with the persons billed at the
// year's first debit date, collections and deductions per document year, joined and
// written block by block into the widened template.
//
// The figures come from one grouped pass over the debits and one over the documents,
// merged in memory per subscriber and year (bounded by subscribers x years, not by the
// number of debits): copying every debit into a work table first would cost more than
// the whole report on a commune of a million debits.
//
// Two things differ from a naive reading of the tables, both so that each block's final
// balance is what the tables hold: a document's year is its calendar year (a collection
// of 31 December belongs to that year), and a year in which a subscriber only paid (he
// left, or paid old arrears) still shows his collections instead of losing them.

#include "reports/yearbalance.h"

#include "core/progress.h"
#include "reports/reportframe.h"
#include "store/database.h"
#include "xls/workbook.h"

#include <QHash>
#include <QPair>

#include <algorithm>
#include <cmath>

namespace vestronia {

namespace {

const QString CalendarYearOfDay = QStringLiteral("CAST(strftime('%Y', %1 + 2415018.5) AS INTEGER)");

} // namespace

QList<BalanceYearFigures> computeYearBalance(Database &db, Progress &progress)
{
    ProgressScope scope(progress, QStringLiteral("Calcul bilant..."), 4);

    // One pass over the debits of an account, grouped by subscriber, year and account:
    // the sum, the smallest debit (for the account's rate) and the first debit date of
    // the group together with the largest debit of that date. MIN over one key made of
    // the date and the complement of the amount in cents gives both at once.
    const ResultSet groups = db.select(QStringLiteral(
        "SELECT IDAB, LUNADEB/100 AS ANUL, IDCON, SUM(RATA) AS DEBIT, MIN(RATA) AS MINRATA, "
        "MIN(DATADEB * 10000000000 + 9999999999 - CAST(ROUND(RATA * 100) AS INTEGER)) AS FIRSTKEY "
        "FROM Debite WHERE IDCON>0 AND RATA>0 GROUP BY IDAB, LUNADEB/100, IDCON"));
    progress.step();

    // Rate per account: the defined rate, else the smallest debit; 0 would divide by
    // zero and counts as 10000.
    const ResultSet defined = db.select(QStringLiteral("SELECT IDCON, RATA FROM DefCont ORDER BY IDCON"));
    QHash<qint64, Money> rates;
    for (int i = 0; i < defined.rowCount(); ++i)
        if (defined.value(i, 1).isValid() && !rates.contains(defined.integer(i, QStringLiteral("IDCON"))))
            rates.insert(defined.integer(i, QStringLiteral("IDCON")), defined.money(i, QStringLiteral("RATA")));
    QHash<qint64, Money> smallest;
    for (int i = 0; i < groups.rowCount(); ++i) {
        const qint64 account = groups.value(i, 2).toLongLong();
        const Money m = Money::fromVariant(groups.value(i, 4));
        const auto it = smallest.find(account);
        if (it == smallest.end())
            smallest.insert(account, m);
        else if (m < it.value())
            it.value() = m;
    }
    for (auto it = smallest.cbegin(); it != smallest.cend(); ++it)
        if (!rates.contains(it.key()))
            rates.insert(it.key(), it.value());

    // Debit per subscriber and year, and the persons billed at the year's first debit
    // date: each debit's figure is the debit over its account's rate as a whole number,
    // and among the debits of the first date the largest counts.
    struct YearDebit
    {
        Money debit;
        qint64 firstDate = -1;
        qint64 persons = 0;
    };
    QHash<QPair<qint64, int>, YearDebit> years;
    constexpr qint64 DateScale = 10000000000LL;
    for (int i = 0; i < groups.rowCount(); ++i) {
        const QPair<qint64, int> key(groups.value(i, 0).toLongLong(), groups.value(i, 1).toInt());
        Money rate = rates.value(groups.value(i, 2).toLongLong());
        if (rate.isZero())
            rate = Money::fromLei(10000);
        const qint64 firstKey = groups.value(i, 5).toLongLong();
        const qint64 date = firstKey / DateScale;
        const double largest = double(DateScale - 1 - firstKey % DateScale) / 100.0;
        const qint64 persons = qBound(qint64(0), qint64(std::llround(largest / rate.toDouble())), qint64(999999));
        YearDebit &y = years[key];
        y.debit += Money::fromVariant(groups.value(i, 3));
        if (y.firstDate < 0 || date < y.firstDate) {
            y.firstDate = date;
            y.persons = persons;
        } else if (date == y.firstDate) {
            y.persons = qMax(y.persons, persons);
        }
    }
    progress.step();

    // Collections and deductions per subscriber and the document's calendar year.
    const QString year = CalendarYearOfDay.arg(QStringLiteral("DOCDATA"));
    const ResultSet paid = db.select(
        QStringLiteral("SELECT IDAB, ") + year
            + QStringLiteral(" AS ANUL, SUM(CASE WHEN DOCJUS=? THEN 0 ELSE INCASAT-PLATIT END) AS INCASAT, "
                             "SUM(CASE WHEN DOCJUS=? THEN INCASAT-PLATIT ELSE 0 END) AS BS FROM Chitante "
                             "WHERE ((ANULAT IS NULL) OR (ANULAT<>'X')) AND IDAB>0 AND DOCJUS IN (?, ?, ?) GROUP BY IDAB, ")
            + year,
        {QStringLiteral("BORDEROU SCADERE"), QStringLiteral("BORDEROU SCADERE"), QStringLiteral("CHITANTA"),
         QStringLiteral("VIRAMENT BANCAR"), QStringLiteral("BORDEROU SCADERE")});
    progress.step();

    // Final figures: every year in which a debited subscriber of the register was
    // debited or paid.
    const ResultSet people = db.select(QStringLiteral("SELECT IDAB, MAX(ROL) AS ROL, MAX(NUME) AS NUME, MAX(CNP) AS CNP "
                                                      "FROM Abonat GROUP BY IDAB"));
    QHash<qint64, int> personRow;
    for (int i = 0; i < people.rowCount(); ++i)
        personRow.insert(people.value(i, 0).toLongLong(), i);
    QHash<QPair<qint64, int>, BalanceYearFigures> byYear;
    QHash<qint64, int> debited;
    for (auto it = years.cbegin(); it != years.cend(); ++it) {
        const auto who = personRow.constFind(it.key().first);
        if (who == personRow.constEnd())
            continue;
        BalanceYearFigures &f = byYear[it.key()];
        f.idab = it.key().first;
        f.year = it.key().second;
        f.debit = it.value().debit;
        f.persons = it.value().persons;
        debited.insert(f.idab, who.value());
    }
    for (int i = 0; i < paid.rowCount(); ++i) {
        const qint64 idab = paid.value(i, 0).toLongLong();
        if (!debited.contains(idab))
            continue;
        BalanceYearFigures &f = byYear[QPair<qint64, int>(idab, paid.value(i, 1).toInt())];
        f.idab = idab;
        f.year = paid.value(i, 1).toInt();
        f.collected += Money::fromVariant(paid.value(i, 2));
        f.deducted += Money::fromVariant(paid.value(i, 3));
    }
    QList<BalanceYearFigures> figures;
    figures.reserve(byYear.size());
    for (BalanceYearFigures &f : byYear) {
        const int row = debited.value(f.idab);
        f.rol = people.value(row, 1).toString();
        f.name = people.value(row, 2).toString();
        f.cnp = people.value(row, 3).toString();
        figures.append(std::move(f));
    }
    std::sort(figures.begin(), figures.end(), [](const BalanceYearFigures &a, const BalanceYearFigures &b) {
        if (a.name != b.name)
            return a.name < b.name;
        if (a.idab != b.idab)
            return a.idab < b.idab;
        return a.year < b.year;
    });
    progress.step();
    return figures;
}

ReportOutcome yearBalanceReport(Database &db, const QString &tempFolder, const QString &unitName, Progress &progress)
{
    const QList<BalanceYearFigures> figures = computeYearBalance(db, progress);

    // The years shown: those after 2000, ascending.
    QList<int> years;
    QHash<qint64, int> subscribers;
    for (const BalanceYearFigures &f : figures) {
        if (f.year > 2000 && !years.contains(f.year))
            years.append(f.year);
        subscribers.insert(f.idab, 0);
    }
    std::sort(years.begin(), years.end());
    if (years.size() > MaxBalanceYears)
        return {{}, QStringLiteral("Bilant analitic/sintetic"),
                QStringLiteral("\rDebitele acopera %1 ani; bilantul poate arata cel mult %2 ani.")
                    .arg(years.size())
                    .arg(MaxBalanceYears)};

    ReportFrame frame(tempFolder, QStringLiteral("Bilant"), QStringLiteral("Bilant"));
    Workbook &book = frame.workbook();
    const int n = int(years.size());
    if (n - 2 > 0)
        book.copyColumns(11, 16, 17, n - 2);
    if (n < 2)
        book.deleteColumns(11, 6);
    for (int k = 0; k < n; ++k)
        book.setCell(5, 5 + 6 * k, QString::number(years[k]));
    // Printed at full size, a landscape page holds the subscriber columns (repeated on
    // every page) and one year block: each further block starts a page, so no year is
    // split across two.
    QList<int> breaks;
    for (int k = 1; k < n; ++k)
        breaks.append(5 + 6 * k);
    book.setColumnPageBreaks(breaks);
    frame.writer().replaceKey(QStringLiteral("[UAT]"), unitName);
    if (subscribers.size() > 1)
        frame.writer().insertRowCopies(7, int(subscribers.size()) - 1);

    QHash<int, int> blockOfYear;
    for (int k = 0; k < n; ++k)
        blockOfYear.insert(years[k], k);
    // One step per subscriber row: the progress window lets the screen paint at each.
    ProgressScope scope(progress, QStringLiteral("Scriere bilant..."), int(subscribers.size()));
    int row = 6;
    qint64 previous = -1;
    bool first = true;
    for (const BalanceYearFigures &f : figures) {
        if (first || f.idab != previous) {
            ++row;
            book.setCell(row, 1, row - 6);
            book.setCell(row, 2, f.rol);
            book.setCell(row, 3, f.name);
            book.setCell(row, 4, f.cnp);
            frame.writer().fitRowHeight(row);
            previous = f.idab;
            first = false;
            progress.step();
        }
        const auto block = blockOfYear.constFind(f.year);
        if (block != blockOfYear.constEnd()) {
            const int base = 6 * block.value();
            book.setCell(row, 5 + base, f.persons);
            book.setCell(row, 7 + base, QVariant::fromValue(f.debit));
            book.setCell(row, 8 + base, QVariant::fromValue(f.collected));
            book.setCell(row, 9 + base, QVariant::fromValue(f.deducted));
        }
    }
    return {frame.finish(), {}, {}};
}

} // namespace vestronia
