#pragma once
// A known data folder for the report tests: the nine tables in a temporary home, rows put
// in with bound SQL, and each report's output read back through LibreOffice headless as
// CSV (so formulas are computed by an outside program, not by us).

#include "core/clock.h"
#include "core/dates.h"
#include "core/money.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "xls/xlstesttools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vestronia::testing {

inline int day(int y, int m, int d)
{
    return dayNumberOf(QDate(y, m, d));
}

inline QVariant money(const char *text)
{
    return QVariant::fromValue(*Money::parse(QString::fromLatin1(text)));
}

class ReportFixture
{
public:
    explicit ReportFixture(const QDate &today = QDate(2024, 6, 10))
    {
        QStandardPaths::setTestModeEnabled(true);
        Clock::setToday(today);
        dataFolder = dir.path() + QStringLiteral("/Data");
        tempFolder = dir.path() + QStringLiteral("/Temp");
        QDir().mkpath(dataFolder);
        QDir().mkpath(tempFolder);
        for (const TableDef &t : tableCatalogue())
            createTable(dataFolder + QLatin1Char('/') + QLatin1String(t.fileName), t.columns);
        db = std::make_unique<Database>(dataFolder);
    }
    ~ReportFixture() { Clock::reset(); }

    void subscriber(qint64 idab, const QString &name, const QString &rol, int persons = 1, int dataOut = 0,
                    const QString &cnp = QStringLiteral("1800101000001"))
    {
        db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, TIPPF, NUME, ROL, CNP, LOC, STRADA, NR, DATAIN, DATAOUT, NRPERS) "
                                "VALUES (?, 'X', ?, ?, ?, 'SATU MARE', 'PRINCIPALA', ?, ?, ?, ?)"),
                 {idab, name, rol, cnp, QString::number(idab), day(2015, 1, 1), dataOut, persons});
    }
    void account(qint64 idcon, const char *rate)
    {
        db->exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA) VALUES (?, ?, ?)"),
                 {idcon, QString(QStringLiteral("SALUBRIZARE ") + QString::number(idcon)), money(rate)});
    }
    // A debit; rest = amount unless given.
    void debit(qint64 iddeb, qint64 idab, qint64 idcon, int date, const char *amount, const char *rest = nullptr,
               int penaltyStart = 0, const char *percent = "0")
    {
        const QDate d = dateOfDayNumber(date);
        db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                                "PENALPE, PENALDATA, MAXSOLD) VALUES (?, 1, ?, ?, ?, ?, ?, ?, ?, ?, 'zi', ?, '-')"),
                 {iddeb, idab, idcon, date, monthIndexOf(d), QString(QStringLiteral("SALUBRIZARE ") + monthText(monthIndexOf(d))),
                  money(amount), money(rest ? rest : amount), money(percent), penaltyStart});
    }
    void document(qint64 idchit, qint64 idab, const QString &type, qint64 number, int date, const char *collected,
                  bool cancelled = false, const QString &name = QString(), const char *paidOut = "0")
    {
        db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, ANULAT, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, CNP, ROL, "
                                "STRADA, NR, NUMEPLAT, INCASAT, PLATIT) VALUES (?, ?, ?, ?, 'AB', ?, ?, ?, '1800101000001', ?, "
                                "'PRINCIPALA', ?, ?, ?, ?)"),
                 {idchit, idab, cancelled ? QStringLiteral("X") : QString(), type, number, date,
                  name.isEmpty() ? QString(QStringLiteral("ABONAT ") + QString::number(idab)) : name,
                  QString(QStringLiteral("R") + QString::number(idab)), QString::number(idab),
                  name.isEmpty() ? QString(QStringLiteral("ABONAT ") + QString::number(idab)) : name, money(collected), money(paidOut)});
    }
    void line(qint64 iddchit, qint64 idchit, qint64 iddeb, qint64 idab, const char *arrears, const char *penalty,
              const char *current)
    {
        db->exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, IDSERV, IDAB, DENUM, RESTANTA, PENAL, CURENT) "
                                "VALUES (?, ?, ?, 1, ?, 'SALUBRIZARE', ?, ?, ?)"),
                 {iddchit, idchit, iddeb, idab, money(arrears), money(penalty), money(current)});
    }
    void act(qint64 idurm, qint64 idab, const QString &type, const QString &number, int date, const char *total)
    {
        db->exec(QStringLiteral("INSERT INTO Urmarire (IDURM, IDAB, TIPACT, UNR, UDATA, NUME, LOC, STRADA, NR, ROL, CNP, TOTAL) "
                                "VALUES (?, ?, ?, ?, ?, ?, 'SATU MARE', 'PRINCIPALA', '1', ?, '1800101000001', ?)"),
                 {idurm, idab, type, number, date, QString(QStringLiteral("ABONAT ") + QString::number(idab)),
                  QString(QStringLiteral("R") + QString::number(idab)), money(total)});
    }

    // The first sheet of a workbook as LibreOffice computes and shows it.
    QList<QStringList> csvOf(const QString &xls)
    {
        const QString out = dir.path() + QStringLiteral("/csv") + QString::number(++m_conversions);
        QString error;
        if (!xlstest::sofficeConvert({xls}, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), out, &error)) {
            qWarning("%s", qPrintable(error));
            return {};
        }
        return xlstest::readCsv(out + QLatin1Char('/') + QFileInfo(xls).completeBaseName() + QStringLiteral(".csv"));
    }

    // Index of the first row whose column holds text; -1 when none.
    static int rowWith(const QList<QStringList> &rows, int column, const QString &text)
    {
        for (int i = 0; i < rows.size(); ++i)
            if (rows[i].value(column) == text)
                return i;
        return -1;
    }

    QTemporaryDir dir;
    QString dataFolder;
    QString tempFolder;
    std::unique_ptr<Database> db;

private:
    int m_conversions = 0;
};

} // namespace vestronia::testing
