// The yearly balance: debits per subscriber and year with the persons billed at the
// year's first debit date, collections and deductions per document year, joined and
// written block by block into the widened template.
//
// Two things differ from a naive reading of the tables, both so that each block's final
// balance is what the tables hold: a document's year is its calendar year (a collection
// of 31 December belongs to that year), and a year in which a subscriber only paid (he
// left, or paid old arrears) still shows his collections instead of losing them.

#include "reports/yearbalance.h"

#include "core/progress.h"
#include "reports/reportframe.h"
#include "reports/worktable.h"
#include "store/database.h"
#include "xls/workbook.h"

#include <QHash>

#include <algorithm>

namespace vestronia {

namespace {

const QString CalendarYearOfDay = QStringLiteral("CAST(strftime('%Y', %1 + 2415018.5) AS INTEGER)");

QList<DbfColumn> subscriberYearColumns()
{
    return {numberColumn(QStringLiteral("IDAB"), 10), textColumn(QStringLiteral("ROL"), 9),
            textColumn(QStringLiteral("NUME"), 68),   textColumn(QStringLiteral("CNP"), 13),
            numberColumn(QStringLiteral("DEBIT"), 10, 2), numberColumn(QStringLiteral("ANUL"), 6),
            numberColumn(QStringLiteral("NRPERS"), 6)};
}

QList<DbfColumn> collectionYearColumns()
{
    return {numberColumn(QStringLiteral("IDAB"), 10), numberColumn(QStringLiteral("ANUL"), 6),
            numberColumn(QStringLiteral("INCASAT"), 10, 2), numberColumn(QStringLiteral("BS"), 10, 2)};
}

} // namespace

QList<BalanceYearFigures> computeYearBalance(Database &db, const QString &tempFolder, Progress &progress)
{
    ProgressScope scope(progress, QStringLiteral("Calcul bilant..."), 8);

    // Debits per year: one row per debit of an account.
    QList<DbfColumn> bilTmpColumns = subscriberYearColumns();
    bilTmpColumns << numberColumn(QStringLiteral("IDCON"), 10) << numberColumn(QStringLiteral("DATADEB"), 6);
    WorkTable bilTmp(db, tempFolder, QStringLiteral("BilTmp"), bilTmpColumns);
    db.exec(QStringLiteral("INSERT INTO BilTmp (IDAB, IDCON, ROL, NUME, CNP, DEBIT, ANUL, DATADEB) "
                           "SELECT A.IDAB, B.IDCON, A.ROL, A.NUME, A.CNP, B.RATA, B.LUNADEB/100, B.DATADEB "
                           "FROM Abonat A LEFT JOIN Debite B ON A.IDAB=B.IDAB WHERE B.IDCON>0 AND B.RATA>0"));
    progress.step();

    // Rate per account: the defined rate, else the smallest debit; 0 would divide by
    // zero and counts as 10000.
    const ResultSet smallest = db.select(QStringLiteral("SELECT IDCON, MIN(DEBIT) AS RATA FROM BilTmp GROUP BY IDCON"));
    const ResultSet defined = db.select(QStringLiteral("SELECT IDCON, RATA FROM DefCont ORDER BY IDCON"));
    QHash<qint64, Money> definedRates;
    for (int i = 0; i < defined.rowCount(); ++i)
        definedRates.insert(defined.integer(i, QStringLiteral("IDCON")), defined.money(i, QStringLiteral("RATA")));
    {
        for (int i = 0; i < smallest.rowCount(); ++i) {
            const qint64 account = smallest.integer(i, QStringLiteral("IDCON"));
            if (account == 0)
                continue;
            Money rate = definedRates.value(account, smallest.money(i, QStringLiteral("RATA")));
            if (rate.isZero())
                rate = Money::fromLei(10000);
            // Persons per debit: the debit over the rate, as a whole number.
            db.exec(QStringLiteral("UPDATE BilTmp SET NRPERS=ROUND(DEBIT/?) WHERE IDCON=?"), {QVariant::fromValue(rate), account});
        }
    }
    progress.step();

    // Persons per subscriber and year: the largest figure among the debits of the year's
    // first debit date.
    WorkTable balS(db, tempFolder, QStringLiteral("BalS"),
                   {numberColumn(QStringLiteral("IDAB"), 10), numberColumn(QStringLiteral("ANUL"), 6),
                    numberColumn(QStringLiteral("DATADEB"), 6)});
    db.exec(QStringLiteral("INSERT INTO BalS (IDAB, ANUL, DATADEB) SELECT IDAB, ANUL, MIN(DATADEB) FROM BilTmp GROUP BY IDAB, ANUL"));
    WorkTable fs2(db, tempFolder, QStringLiteral("FS2"),
                  {numberColumn(QStringLiteral("IDAB"), 10), numberColumn(QStringLiteral("ANUL"), 6),
                   numberColumn(QStringLiteral("NRPERS"), 6)});
    db.exec(QStringLiteral("INSERT INTO FS2 (IDAB, ANUL, NRPERS) SELECT A.IDAB, A.ANUL, MAX(B.NRPERS) FROM BalS A "
                           "JOIN BilTmp B ON (A.IDAB=B.IDAB) AND (A.ANUL=B.ANUL) AND (A.DATADEB=B.DATADEB) "
                           "GROUP BY A.IDAB, A.ANUL"));
    balS.drop();
    progress.step();

    // Debit per subscriber and year.
    WorkTable bilD(db, tempFolder, QStringLiteral("BilD"), subscriberYearColumns());
    db.exec(QStringLiteral("INSERT INTO BilD (IDAB, ROL, NUME, CNP, DEBIT, ANUL, NRPERS) "
                           "SELECT A.IDAB, MAX(A.ROL), MAX(A.NUME), A.CNP, SUM(A.DEBIT), B.ANUL, MAX(B.NRPERS) "
                           "FROM BilTmp A JOIN FS2 B ON (A.IDAB=B.IDAB) AND (A.ANUL=B.ANUL) GROUP BY A.IDAB, A.CNP, B.ANUL"));
    bilTmp.drop();
    fs2.drop();
    progress.step();

    // Collections and deductions, one row per document, in the document's calendar year.
    WorkTable fs(db, tempFolder, QStringLiteral("FS"), collectionYearColumns());
    const QString year = CalendarYearOfDay.arg(QStringLiteral("DOCDATA"));
    db.exec(QStringLiteral("INSERT INTO FS (IDAB, ANUL, INCASAT, BS) SELECT IDAB, ") + year
                + QStringLiteral(", INCASAT-PLATIT, 0 FROM Chitante WHERE ((ANULAT IS NULL) OR (ANULAT<>'X')) "
                                 "AND IDAB>0 AND ((DOCJUS=?) OR (DOCJUS=?))"),
            {QStringLiteral("CHITANTA"), QStringLiteral("VIRAMENT BANCAR")});
    db.exec(QStringLiteral("INSERT INTO FS (IDAB, ANUL, INCASAT, BS) SELECT IDAB, ") + year
                + QStringLiteral(", 0, INCASAT-PLATIT FROM Chitante WHERE ((ANULAT IS NULL) OR (ANULAT<>'X')) "
                                 "AND (IDAB>0) AND (DOCJUS=?)"),
            {QStringLiteral("BORDEROU SCADERE")});
    WorkTable incTmp(db, tempFolder, QStringLiteral("IncTmp"), collectionYearColumns());
    db.exec(QStringLiteral("INSERT INTO IncTmp (IDAB, ANUL, INCASAT, BS) SELECT IDAB, ANUL, SUM(INCASAT), SUM(BS) "
                           "FROM FS GROUP BY IDAB, ANUL"));
    fs.drop();
    progress.step();

    // Final figures: the debited years with their collections, then the years in which
    // a debited subscriber only paid.
    QList<DbfColumn> finalColumns = subscriberYearColumns();
    finalColumns << numberColumn(QStringLiteral("INCASAT"), 10, 2) << numberColumn(QStringLiteral("BS"), 10, 2);
    WorkTable borFin0(db, tempFolder, QStringLiteral("BorFin0"), finalColumns);
    db.exec(QStringLiteral("INSERT INTO BorFin0 (IDAB, ROL, NUME, CNP, DEBIT, ANUL, NRPERS, INCASAT, BS) "
                           "SELECT A.IDAB, A.ROL, A.NUME, A.CNP, A.DEBIT, A.ANUL, A.NRPERS, B.INCASAT, B.BS "
                           "FROM BilD A LEFT JOIN IncTmp B ON (A.IDAB=B.IDAB) AND (A.ANUL=B.ANUL)"));
    db.exec(QStringLiteral("INSERT INTO BorFin0 (IDAB, ROL, NUME, CNP, DEBIT, ANUL, NRPERS, INCASAT, BS) "
                           "SELECT B.IDAB, S.ROL, S.NUME, S.CNP, 0, B.ANUL, 0, B.INCASAT, B.BS FROM IncTmp B "
                           "JOIN (SELECT IDAB, MAX(ROL) AS ROL, MAX(NUME) AS NUME, MAX(CNP) AS CNP FROM BilD GROUP BY IDAB) S "
                           "ON S.IDAB=B.IDAB "
                           "WHERE NOT EXISTS (SELECT 1 FROM BilD D WHERE D.IDAB=B.IDAB AND D.ANUL=B.ANUL)"));
    db.exec(QStringLiteral("UPDATE BorFin0 SET DEBIT=0 WHERE DEBIT IS NULL"));
    db.exec(QStringLiteral("UPDATE BorFin0 SET INCASAT=0 WHERE INCASAT IS NULL"));
    db.exec(QStringLiteral("UPDATE BorFin0 SET BS=0 WHERE BS IS NULL"));
    bilD.drop();
    incTmp.drop();
    progress.step();

    const ResultSet rows = db.select(QStringLiteral("SELECT * FROM BorFin0 ORDER BY NUME, IDAB, ANUL"));
    borFin0.drop();
    QList<BalanceYearFigures> figures;
    figures.reserve(rows.rowCount());
    const int cIdab = rows.columnIndex(QStringLiteral("IDAB")), cRol = rows.columnIndex(QStringLiteral("ROL")),
              cName = rows.columnIndex(QStringLiteral("NUME")), cCnp = rows.columnIndex(QStringLiteral("CNP")),
              cDebit = rows.columnIndex(QStringLiteral("DEBIT")), cYear = rows.columnIndex(QStringLiteral("ANUL")),
              cPersons = rows.columnIndex(QStringLiteral("NRPERS")), cIn = rows.columnIndex(QStringLiteral("INCASAT")),
              cBs = rows.columnIndex(QStringLiteral("BS"));
    for (int i = 0; i < rows.rowCount(); ++i) {
        BalanceYearFigures f;
        f.idab = rows.value(i, cIdab).toLongLong();
        f.rol = rows.value(i, cRol).toString();
        f.name = rows.value(i, cName).toString();
        f.cnp = rows.value(i, cCnp).toString();
        f.year = rows.value(i, cYear).toInt();
        f.persons = rows.value(i, cPersons).toLongLong();
        f.debit = Money::fromVariant(rows.value(i, cDebit));
        f.collected = Money::fromVariant(rows.value(i, cIn));
        f.deducted = Money::fromVariant(rows.value(i, cBs));
        figures.append(f);
    }
    progress.step();
    return figures;
}

ReportOutcome yearBalanceReport(Database &db, const QString &tempFolder, const QString &unitName, Progress &progress)
{
    const QList<BalanceYearFigures> figures = computeYearBalance(db, tempFolder, progress);

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
    frame.writer().replaceKey(QStringLiteral("[UAT]"), unitName);
    if (subscribers.size() > 1)
        frame.writer().insertRowCopies(7, int(subscribers.size()) - 1);

    QHash<int, int> blockOfYear;
    for (int k = 0; k < n; ++k)
        blockOfYear.insert(years[k], k);
    ProgressScope scope(progress, QStringLiteral("Scriere bilant..."), int(figures.size()));
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
            previous = f.idab;
            first = false;
        }
        const auto block = blockOfYear.constFind(f.year);
        if (block != blockOfYear.constEnd()) {
            const int base = 6 * block.value();
            book.setCell(row, 5 + base, f.persons);
            book.setCell(row, 7 + base, QVariant::fromValue(f.debit));
            book.setCell(row, 8 + base, QVariant::fromValue(f.collected));
            book.setCell(row, 9 + base, QVariant::fromValue(f.deducted));
        }
        progress.step();
    }
    return {frame.finish(), {}, {}};
}

} // namespace vestronia
