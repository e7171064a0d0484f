// "vestronia-cli report" end to end: each report of the menu and the statement of account
// written where asked, as .xls read back by python3-xlrd and as PDF, with the refusals
// (no acts, reversed period, unknown subscriber) on standard error and exit 1.

#include "app/clirun.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCliReports : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyReportIsWritten();
    void pdfIsWrittenThroughLibreOffice();
    void refusalsExitOne();

private:
    using Result = CliResult;
    Result cli(const QStringList &args);
    // Cell texts of the first sheet, "A1=..." one per line, through python3-xlrd.
    QString cellsOf(const QString &xls);

    QTemporaryDir m_dir;
    QString m_home;
};

TestCliReports::Result TestCliReports::cli(const QStringList &args)
{
    return runCli(m_dir.filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_home, QStringLiteral("--today"), QStringLiteral("10.06.2024")} + args, 180000);
}

QString TestCliReports::cellsOf(const QString &xls)
{
    const QString script = QStringLiteral(
        "import sys, xlrd\n"
        "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
        "for r in range(s.nrows):\n"
        "    for c in range(s.ncols):\n"
        "        v = s.cell_value(r, c)\n"
        "        if v != '':\n"
        "            print('%s=%s' % (xlrd.cellname(r, c), v))\n");
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, xls});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("xlrd failed: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

void TestCliReports::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_home = m_dir.filePath(QStringLiteral("H"));
    const Result start = cli({QStringLiteral("startup")});
    QVERIFY2(start.exitCode == 0, qPrintable(start.err));
    const QStringList rows = {
        QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA) VALUES (1, 'SALUBRIZARE', 10)"),
        QStringLiteral("INSERT INTO Abonat (IDAB, NUME, ROL, CNP, LOC, STRADA, NR, DATAOUT, NRPERS) VALUES "
                       "(1, 'POPESCU ION', 'R1', '1800101123456', 'SAT', 'PRINCIPALA', '3', 0, 2), "
                       "(2, 'ALBU ANA', 'R2', '2800101123456', 'SAT', 'DEALULUI', '9', 0, 1)"),
        // 05.01.2024 = 45296, 05.02.2024 = 45327, 05.03.2024 = 45356
        QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
                       "PENALDATA, MAXSOLD) VALUES (1, 1, 1, 1, 45296, 202401, 'SALUBRIZARE', 20, 0, 0, 'zi', 45327, '-'), "
                       "(2, 1, 1, 1, 45327, 202402, 'SALUBRIZARE', 20, 20, 0, 'zi', 45356, '-'), "
                       "(3, 1, 2, 1, 45296, 202401, 'SALUBRIZARE', 10, 10, 0, 'zi', 45327, '-')"),
        QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, ROL, INCASAT, PLATIT) VALUES "
                       "(1, 1, 'CHITANTA', 'AB', 7, 45356, 'POPESCU ION', 'R1', 20, 0)"),
        QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, IDSERV, IDAB, DENUM, RESTANTA, PENAL, CURENT) VALUES "
                       "(1, 1, 1, 1, 1, 'SALUBRIZARE', 20, 0, 0)"),
        QStringLiteral("INSERT INTO Urmarire (IDURM, IDAB, TIPACT, UNR, UDATA, NUME, ROL, TOTAL) VALUES "
                       "(1, 2, 'Instiintare de plata', '4', 45356, 'ALBU ANA', 'R2', 10)"),
    };
    for (const QString &sql : rows) {
        const Result r = cli({QStringLiteral("sql"), sql});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    }
}

void TestCliReports::everyReportIsWritten()
{
    const QString period[] = {QStringLiteral("--from"), QStringLiteral("01.01.2024"), QStringLiteral("--to"),
                              QStringLiteral("31.03.2024")};
    struct Case
    {
        QStringList args;
        QStringList cells;
    };
    const QList<Case> cases = {
        {{QStringLiteral("rap1")}, {QStringLiteral("B7=ALBU ANA"), QStringLiteral("B8=POPESCU ION"), QStringLiteral("A3=la data de 10.06.2024")}},
        {{QStringLiteral("bordinc"), period[0], period[1], period[2], period[3]},
         {QStringLiteral("E7=7.0"), QStringLiteral("H7=20.0"), QStringLiteral("A3=in perioada 01.01.2024 - 31.03.2024")}},
        {{QStringLiteral("bilant")}, {QStringLiteral("E5=2024"), QStringLiteral("C7=ALBU ANA"), QStringLiteral("G8=40.0"),
                                      QStringLiteral("H8=20.0")}},
        {{QStringLiteral("cenins"), period[0], period[1], period[2], period[3]},
         {QStringLiteral("D7=ALBU ANA"), QStringLiteral("J7=10.0"), QStringLiteral("A2=Centralizator Instiintari")}},
        {{QStringLiteral("chitan"), QStringLiteral("--year"), QStringLiteral("2024")},
         {QStringLiteral("G5=2024.0"), QStringLiteral("C7=POPESCU ION"), QStringLiteral("G7=20.0")}},
        {{QStringLiteral("fisa"), QStringLiteral("1")},
         {QStringLiteral("C4=POPESCU ION"), QStringLiteral("D9=SALUBRIZARE"), QStringLiteral("G9=AB 7/05.03.2024")}},
    };
    for (const Case &c : cases) {
        const QString out = m_dir.filePath(c.args.first() + QStringLiteral(".xls"));
        const Result r = cli(QStringList{QStringLiteral("report")} + c.args + QStringList{out});
        QVERIFY2(r.exitCode == 0, qPrintable(c.args.first() + QStringLiteral(": ") + r.err));
        const QString cells = cellsOf(out);
        for (const QString &cell : c.cells)
            QVERIFY2(cells.contains(cell + QLatin1Char('\n')), qPrintable(c.args.first() + QStringLiteral(" lacks ") + cell));
    }
    // The TEMP folder keeps no copy of the outputs or templates.
    const QStringList left = QDir(m_home + QStringLiteral("/Temp")).entryList({QStringLiteral("*.xls"), QStringLiteral("*.dbf")}, QDir::Files);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void TestCliReports::pdfIsWrittenThroughLibreOffice()
{
    const QString out = m_dir.filePath(QStringLiteral("lista.pdf"));
    const Result r = cli({QStringLiteral("report"), QStringLiteral("rap1"), out});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(5), QByteArray("%PDF-"));
}

void TestCliReports::refusalsExitOne()
{
    const QString out = m_dir.filePath(QStringLiteral("x.xls"));
    Result r = cli({QStringLiteral("report"), QStringLiteral("censom"), QStringLiteral("--from"), QStringLiteral("01.01.2024"),
                    QStringLiteral("--to"), QStringLiteral("31.03.2024"), out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Centralizator Somatii/Titluri: Nu exista niciun act in perioada selectata!")),
             qPrintable(r.err));
    r = cli({QStringLiteral("report"), QStringLiteral("bordinc"), QStringLiteral("--from"), QStringLiteral("01.04.2024"),
             QStringLiteral("--to"), QStringLiteral("31.03.2024"), out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Perioada incorecta!")));
    r = cli({QStringLiteral("report"), QStringLiteral("fisa"), QStringLiteral("77"), out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Abonatul nu exista!")));
    r = cli({QStringLiteral("report"), QStringLiteral("nimic"), out});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(!QFile::exists(out));
}

QTEST_GUILESS_MAIN(TestCliReports)
#include "tst_cli_reports.moc"
