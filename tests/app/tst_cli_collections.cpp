// The clerk's road on the command line over a fresh data folder: debits, balance,
// collection, receipt, cancellation, the cash book; documents read back by outside
// readers (LibreOffice computes the formulas, python3-xlrd opens the files).

#include "app/clirun.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCliCollections : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void balanceCollectCancel();
    void debitCommands();
    void panelsAndDryRun();
    void receiptReadBack();
    void pdfWithoutLibreOfficeLeavesTheSpreadsheet();
    void cashBookReadBack();
    void penaltyMaintenance();

private:
    using Result = CliResult;
    Result cli(const QStringList &args, const QString &today = QStringLiteral("10.06.2024"));
    void sql(const QString &statement);
    // The first sheet as LibreOffice computes and shows it, one list of cells per line.
    QList<QStringList> csvOf(const QString &xls);
    bool xlrdOpens(const QString &xls);
    void freshHome();

    QTemporaryDir m_dir;
    QString m_home;
    int m_homes = 0;
};

TestCliCollections::Result TestCliCollections::cli(const QStringList &args, const QString &today)
{
    return runCli(m_dir.filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_home, QStringLiteral("--today"), today} + args, 180000);
}

void TestCliCollections::sql(const QString &statement)
{
    const Result r = cli({QStringLiteral("sql"), statement});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
}

QList<QStringList> TestCliCollections::csvOf(const QString &xls)
{
    const QString outDir = m_dir.filePath(QStringLiteral("csv"));
    QDir().mkpath(outDir);
    QProcess p;
    p.start(QStringLiteral("soffice"), {QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                        QStringLiteral("-env:UserInstallation=file://") + m_dir.filePath(QStringLiteral("lo")),
                                        QStringLiteral("--convert-to"),
                                        // Separator, quote, UTF-8, from line 1, ..., cells as shown.
                                        QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true"), QStringLiteral("--outdir"), outDir, xls});
    if (!p.waitForFinished(180000))
        return {};
    QFile f(outDir + QLatin1Char('/') + QFileInfo(xls).completeBaseName() + QStringLiteral(".csv"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    for (const QByteArray &line : f.readAll().split('\n')) {
        QStringList cells;
        for (const QByteArray &c : line.trimmed().split(','))
            cells << QString::fromUtf8(c).remove(QLatin1Char('"')).trimmed();
        rows << cells;
    }
    return rows;
}

bool TestCliCollections::xlrdOpens(const QString &xls)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QStringLiteral("import sys, xlrd; b = xlrd.open_workbook(sys.argv[1]); print(b.sheet_by_index(0).nrows)"),
             xls});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

void TestCliCollections::freshHome()
{
    m_home = m_dir.filePath(QStringLiteral("H%1").arg(++m_homes));
    const Result r = cli({QStringLiteral("startup")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    sql(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, TIPPF, LOC, STRADA, NR, DATAIN, NRPERS, CNP) VALUES "
                       "(1, 'POPESCU ION', 'F', 'VESTRONIA', 'PRINCIPALA', '7', 45000, 3, '1800101123456')"));
    // 100 lei overdue since 31.05.2024 at 1% a day, and 40 lei not yet overdue.
    sql(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
                       "PENALDATA, MAXSOLD) VALUES (1, -1, 1, 1, 45400, 202405, 'SALUBRITATE 04.2024', 100, 100, 1, 'zi', 45443, '')"));
    sql(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
                       "PENALDATA, MAXSOLD) VALUES (2, -1, 1, 1, 45440, 202405, 'SALUBRITATE 05.2024', 40, 40, 1, 'zi', 45480, '')"));
}

void TestCliCollections::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import xlrd")});
    QVERIFY2(probe.waitForFinished() && probe.exitCode() == 0, "python3-xlrd is needed (scripts/install-deps.sh)");
}

void TestCliCollections::balanceCollectCancel()
{
    freshHome();
    Result r = cli({QStringLiteral("balance"), QStringLiteral("1")});
    QCOMPARE(r.out, QStringLiteral("DEBIT,PENALITATI,AVANS,TOTAL\n140.00,11.00,0.00,151.00\n"));
    r = cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("60")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("IDCHIT,DOCJUS,DOCSERIA,DOCNR,INCASAT\n1,CHITANTA,,1,60.00\n"));
    r = cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("200"), QStringLiteral("--doc"),
             QStringLiteral("PLATA CU CARD")});
    QCOMPARE(r.out, QStringLiteral("IDCHIT,DOCJUS,DOCSERIA,DOCNR,INCASAT\n2,PLATA CU CARD,,1,200.00\n"));
    r = cli({QStringLiteral("balance"), QStringLiteral("1")});
    // The card paid everything with its penalty; the rest is an advance.
    QCOMPARE(r.out, QStringLiteral("DEBIT,PENALITATI,AVANS,TOTAL\n0.00,0.00,109.00,-109.00\n"));
    // The older collection cannot go first.
    r = cli({QStringLiteral("cancel"), QStringLiteral("1")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QLatin1String("Nu puteti anula decat cea mai recenta incasare efectuata")));
    QCOMPARE(cli({QStringLiteral("cancel"), QStringLiteral("2")}).out,
             QStringLiteral("IDCHIT,DOCJUS,DOCNR,DOCDATA,INCASAT,STARE\n2,PLATA CU CARD,1,10.06.2024,200.00,STERS\n"));
    QCOMPARE(cli({QStringLiteral("cancel"), QStringLiteral("1")}).out,
             QStringLiteral("IDCHIT,DOCJUS,DOCNR,DOCDATA,INCASAT,STARE\n1,CHITANTA,1,10.06.2024,60.00,ANULAT\n"));
    QCOMPARE(cli({QStringLiteral("balance"), QStringLiteral("1")}).out,
             QStringLiteral("DEBIT,PENALITATI,AVANS,TOTAL\n140.00,11.00,0.00,151.00\n"));
    r = cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("0")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QLatin1String("Nu ati scris Suma!")));
}

void TestCliCollections::debitCommands()
{
    freshHome();
    sql(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PRETFIX, PEPERS, MINPERS, MAXPERS, PERLUNI, ZIUAIMP, PENAL, "
                       "PENALDELA, PENALPE, PENALDELAP, MAXSOLD, DATASTART, DATASTOP) VALUES "
                       "(7, 'TAXA SPECIALA', 12.5, '', 'X', 0, 0, 0, 0, 0, 0, 'luna', 'ziua', '-', 45000, 0)"));
    Result r = cli({QStringLiteral("debit"), QStringLiteral("add"), QStringLiteral("1"), QStringLiteral("7")});
    QCOMPARE(r.exitCode, 0);
    const QString id = r.out.split(QLatin1Char('\n')).value(1).section(QLatin1Char(','), 0, 0);
    QCOMPARE(r.out, QStringLiteral("IDDEB,DATADEB,DENUM,RATA,SOLD\n") + id + QStringLiteral(",10.06.2024,TAXA SPECIALA,37.50,37.50\n"));
    r = cli({QStringLiteral("sql"), QStringLiteral("SELECT RATA, SOLD FROM Debite WHERE IDDEB=") + id});
    QVERIFY2(r.out.contains(QLatin1String("37.50,37.50")), qPrintable(r.out));
    QCOMPARE(cli({QStringLiteral("debit"), QStringLiteral("change"), id, QStringLiteral("20")}).out,
             QStringLiteral("IDDEB,DATADEB,DENUM,RATA,SOLD\n") + id + QStringLiteral(",10.06.2024,TAXA SPECIALA,20.00,20.00\n"));
    r = cli({QStringLiteral("debit"), QStringLiteral("add"), QStringLiteral("1"), QStringLiteral("7"), QStringLiteral("--amount"),
             QStringLiteral("-50")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QLatin1String("Suma incorecta!")), qPrintable(r.err));
    // An account for households of 5 to 9 persons is not his (3 persons).
    sql(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PRETFIX, PEPERS, MINPERS, MAXPERS, PERLUNI, ZIUAIMP, PENAL, "
                       "PENALDELA, PENALPE, PENALDELAP, MAXSOLD, DATASTART, DATASTOP) VALUES "
                       "(8, 'TAXA FAMILII MARI', 5, '', 'X', 5, 9, 0, 0, 0, 0, 'luna', 'ziua', '-', 45000, 0)"));
    r = cli({QStringLiteral("debit"), QStringLiteral("add"), QStringLiteral("1"), QStringLiteral("8")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QLatin1String("nu se aplica unei gospodarii de 3 persoane")), qPrintable(r.err));
    QCOMPARE(cli({QStringLiteral("debit"), QStringLiteral("delete"), id}).exitCode, 0);
    sql(QStringLiteral("UPDATE Debite SET IDSERV=5 WHERE IDDEB=2"));
    r = cli({QStringLiteral("debit"), QStringLiteral("delete"), QStringLiteral("2")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QLatin1String("Acest debit este de la un Abonament!")));
}

void TestCliCollections::panelsAndDryRun()
{
    freshHome();
    QCOMPARE(cli({QStringLiteral("debits"), QStringLiteral("1")}).out,
             QStringLiteral("IDDEB,DATADEB,DENUM,RATA,SOLD\n1,18.04.2024,SALUBRITATE 04.2024,100.00,100.00\n"
                            "2,28.05.2024,SALUBRITATE 05.2024,40.00,40.00\n"));
    // The spread of 200: the overdue debit with its penalty, the current one, 49 in advance.
    Result r = cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("200"), QStringLiteral("--dry-run")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("IDDEB,DENUM,RESTANTA,PENAL,CURENT,SOLD\n1,SALUBRITATE 04.2024,100.00,11.00,0.00,0.00\n"
                                   "2,SALUBRITATE 05.2024,0.00,0.00,40.00,0.00\n0,PLATA IN AVANS,0.00,0.00,49.00,-49.00\n"));
    // Nothing was written and no number was used.
    QCOMPARE(cli({QStringLiteral("collections"), QStringLiteral("1")}).out,
             QStringLiteral("IDCHIT,ANULAT,DOCJUS,DOCSERIA,DOCNR,DOCDATA,INCASAT,PLATIT,REPREZ\n"));
    r = cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("--dry-run"), QStringLiteral("--date"),
             QStringLiteral("10.06.2030")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QLatin1String("Data documentului este dupa data de azi!")), qPrintable(r.err));
    QCOMPARE(cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("25"), QStringLiteral("--for"),
                  QStringLiteral("taxa, iunie")}).exitCode, 0);
    QCOMPARE(cli({QStringLiteral("collections"), QStringLiteral("1")}).out,
             QStringLiteral("IDCHIT,ANULAT,DOCJUS,DOCSERIA,DOCNR,DOCDATA,INCASAT,PLATIT,REPREZ\n"
                            "1,,CHITANTA,,1,10.06.2024,25.00,0.00,\"TAXA, IUNIE\"\n"));
    QCOMPARE(cli({QStringLiteral("debits"), QStringLiteral("99")}).exitCode, 1);
    QCOMPARE(cli({QStringLiteral("collections"), QStringLiteral("99")}).exitCode, 1);
}

void TestCliCollections::receiptReadBack()
{
    freshHome();
    const QString xls = m_dir.filePath(QStringLiteral("chitanta.xls"));
    // 12.50 on the overdue debit: rest 100 + penalty 11 -> rest share 11, penalty 1.50.
    const Result r = cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("12.50"), QStringLiteral("--receipt"), xls});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(xlrdOpens(xls));
    const QList<QStringList> rows = csvOf(xls);
    QVERIFY(rows.size() > 30);
    int lines = 0;
    int totals = 0;
    for (const QStringList &row : rows) {
        if (row.value(1) == QLatin1String("SALUBRITATE 04.2024")) {
            ++lines;
            QCOMPARE(row.value(2), QStringLiteral("11.00"));
            QCOMPARE(row.value(3), QStringLiteral("1.50"));
            QCOMPARE(row.value(5), QStringLiteral("12.50"));
        }
        if (row.value(1) == QLatin1String("TOTAL")) {
            ++totals;
            // The printed total equals the amount received: whole-lei cells would show 13.
            QCOMPARE(row.value(5), QStringLiteral("12.50"));
        }
    }
    QCOMPARE(lines, 2);
    QCOMPARE(totals, 2);
}

void TestCliCollections::pdfWithoutLibreOfficeLeavesTheSpreadsheet()
{
    freshHome();
    QVERIFY(cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("20")}).exitCode == 0);
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty.path()));
    const Result receipt = cli({QStringLiteral("receipt"), QStringLiteral("1"), m_dir.filePath(QStringLiteral("fara.pdf"))});
    const Result report = cli({QStringLiteral("report"), QStringLiteral("rap1"), m_dir.filePath(QStringLiteral("lista.pdf"))});
    qputenv("PATH", path);
    // No PDF, said plainly, and the spreadsheet where the clerk looks for the document.
    for (const auto &[r, name] : {std::pair{receipt, QStringLiteral("fara")}, std::pair{report, QStringLiteral("lista")}}) {
        QCOMPARE(r.exitCode, 1);
        const QString sheet = m_dir.filePath(name + QStringLiteral(".xls"));
        QVERIFY2(r.err.contains(QStringLiteral("LibreOffice")) && r.err.contains(QDir::toNativeSeparators(sheet)), qPrintable(r.err));
        QVERIFY2(!r.err.contains(QStringLiteral("se deschide")), qPrintable(r.err));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(name + QStringLiteral(".pdf"))));
        QVERIFY(xlrdOpens(sheet));
    }
}

void TestCliCollections::cashBookReadBack()
{
    freshHome();
    QCOMPARE(cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("30"), QStringLiteral("--date"),
                  QStringLiteral("03.06.2024")}, QStringLiteral("03.06.2024")).exitCode, 0);
    QCOMPARE(cli({QStringLiteral("cash"), QStringLiteral("in"), QStringLiteral("15.25"), QStringLiteral("--doc"),
                  QStringLiteral("DISPOZITIE INCASARE"), QStringLiteral("--date"), QStringLiteral("03.06.2024")}).exitCode, 0);
    QCOMPARE(cli({QStringLiteral("cash"), QStringLiteral("out"), QStringLiteral("20"), QStringLiteral("--doc"),
                  QStringLiteral("DISPOZITIE PLATA"), QStringLiteral("--date"), QStringLiteral("04.06.2024")}).exitCode, 0);
    QCOMPARE(cli({QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("--date"),
                  QStringLiteral("05.06.2024")}, QStringLiteral("05.06.2024")).exitCode, 0);
    // The day view carries the earlier cash-desk lines, as the printed book does.
    QCOMPARE(cli({QStringLiteral("cashday"), QStringLiteral("05.06.2024")}).out,
             QStringLiteral("SOLD_PRECEDENT,INCASAT,PLATIT,SOLD_FINAL\n25.25,10.00,0.00,35.25\n"));
    const Result refused = cli({QStringLiteral("cash"), QStringLiteral("delete"), QStringLiteral("1")});
    QCOMPARE(refused.exitCode, 1);
    const QString xls = m_dir.filePath(QStringLiteral("registru.xls"));
    const Result r = cli({QStringLiteral("cashbook"), QStringLiteral("01.06.2024"), QStringLiteral("30.06.2024"), xls});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(xlrdOpens(xls));
    QStringList finals;
    QString finalRow;
    for (const QStringList &row : csvOf(xls)) {
        if (row.value(0) == QLatin1String("Sold final"))
            finals << row.value(2);
        if (row.value(3) == QLatin1String("Final"))
            finalRow = row.value(4) + QLatin1Char('/') + row.value(5);
    }
    QCOMPARE(finals, (QStringList{QStringLiteral("45.25"), QStringLiteral("25.25"), QStringLiteral("35.25")}));
    QCOMPARE(finalRow, QStringLiteral("55.25/20.00"));
    QCOMPARE(cli({QStringLiteral("cashbook"), QStringLiteral("02.06.2024"), QStringLiteral("01.06.2024"), xls}).exitCode, 1);
}

void TestCliCollections::penaltyMaintenance()
{
    freshHome();
    sql(QStringLiteral("UPDATE Debite SET DATADEB=45200, PENALDATA=45230 WHERE IDDEB=1"));
    Result r = cli({QStringLiteral("penalty-freeze")}, QStringLiteral("10.01.2024"));
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.out.split(QLatin1Char('\n')).value(1).contains(QLatin1String(",1,")), qPrintable(r.out));
    r = cli({QStringLiteral("sql"), QStringLiteral("SELECT SOLD FROM Debite WHERE DENUM='Penalitati 2023'")});
    QVERIFY2(r.out.contains(QLatin1String("62.00")), qPrintable(r.out));
    r = cli({QStringLiteral("penalty-redate")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("DEBITE\n3\n"));
}

QTEST_GUILESS_MAIN(TestCliCollections)
#include "tst_cli_collections.moc"
