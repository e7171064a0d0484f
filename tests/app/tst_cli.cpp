// The command-line tool end to end: a first start on an empty home, the tables read by
// an outside dBase reader, SQL with joins and aggregates, changes seen by that reader,
// and errors reported with a non-zero exit.

#include "app/clirun.h"
#include "core/profilefile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void startupOnEmptyHome();
    void tablesReadByOutsideReader();
    void sqlSelectsWithJoinsAndAggregates();
    void sqlChangesSeenByOutsideReader();
    void errorsExitNonZero();

private:
    using Result = CliResult;
    Result cli(const QStringList &args);
    QJsonDocument readWithDbfread(const QString &path);

    QTemporaryDir m_dir;
    QString m_home;
};

TestCli::Result TestCli::cli(const QStringList &args)
{
    return runCli(m_dir.filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_home} + args, 120000);
}

QJsonDocument TestCli::readWithDbfread(const QString &path)
{
    const QString script = QStringLiteral(
        "import sys, json, dbfread, datetime\n"
        "t = dbfread.DBF(sys.argv[1], encoding='cp1250')\n"
        "fields = [[f.name, f.type, f.length, f.decimal_count] for f in t.fields]\n"
        "rows = [{k: (v.isoformat() if isinstance(v, datetime.date) else (float(v) if v is not None and not isinstance(v, str) else v)) for k, v in r.items()} for r in t]\n"
        "print(json.dumps({'fields': fields, 'rows': rows}))\n");
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

void TestCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_home = m_dir.filePath(QStringLiteral("H"));
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import dbfread")});
    QVERIFY2(probe.waitForFinished() && probe.exitCode() == 0, "python3-dbfread is needed (scripts/install-deps.sh)");
}

void TestCli::startupOnEmptyHome()
{
    const Result r = cli({QStringLiteral("--today"), QStringLiteral("05.03.2025"), QStringLiteral("startup")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("Lucru local.")));
    for (const char *f : {"Data", "Temp", "TEMPORAR"})
        QVERIFY2(QFileInfo(m_home + QLatin1Char('/') + QLatin1String(f)).isDir(), f);
    for (const char *f : {"Instiintare.rtf", "SomTit.rtf"})
        QVERIFY2(QFile::exists(m_home + QStringLiteral("/Data/") + QLatin1String(f)), f);
    const QString shared = m_home + QStringLiteral("/Data/Vestrona.set");
    QCOMPARE(vestronia::ProfileFile::readNumber(shared, QStringLiteral("INDEX"), QStringLiteral("VERSIUNE")), 49);
    QVERIFY(vestronia::ProfileFile::readNumber(shared, QStringLiteral("CONST"), QStringLiteral("LASTPACK")) > 0);
    // The start and its end are in the log.
    const Result log = cli({QStringLiteral("sql"), QStringLiteral("SELECT ACTIUNE FROM Log ORDER BY IDLOG")});
    QCOMPARE(log.exitCode, 0);
    QVERIFY(log.out.contains(QStringLiteral("Pornire program")));
}

void TestCli::tablesReadByOutsideReader()
{
    const QMap<QString, QStringList> expected = {
        {QStringLiteral("Log.dbf"), {QStringLiteral("IDLOG N 10 0"), QStringLiteral("DATAL D 8 0"), QStringLiteral("ORA C 12 0"),
                                     QStringLiteral("ACTIUNE C 120 0"), QStringLiteral("UTILIZATOR C 16 0")}},
        {QStringLiteral("DebiteArh.dbf"), {QStringLiteral("IDCHIT N 10 0"), QStringLiteral("IDDEB N 10 0"),
                                           QStringLiteral("IDAB N 10 0"), QStringLiteral("SOLD N 10 2")}},
        {QStringLiteral("AbOm.dbf"), {QStringLiteral("IDSERV N 10 0"), QStringLiteral("IDAB N 10 0"), QStringLiteral("IDCON N 10 0"),
                                      QStringLiteral("DENUM C 60 0"), QStringLiteral("RATA N 10 2"), QStringLiteral("ZIUAIMP N 6 0"),
                                      QStringLiteral("PERLUNI N 6 0"), QStringLiteral("PENAL N 6 2"), QStringLiteral("PENALPE C 4 0"),
                                      QStringLiteral("PENALDELA N 6 0"), QStringLiteral("PENALDELAP C 4 0"),
                                      QStringLiteral("MAXSOLD C 1 0"), QStringLiteral("DATASTART N 6 0"),
                                      QStringLiteral("DATASTOP N 6 0"), QStringLiteral("LUNAADD N 6 0")}},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QJsonDocument doc = readWithDbfread(m_home + QStringLiteral("/Data/") + it.key());
        QVERIFY2(doc.isObject(), qPrintable(it.key()));
        QStringList fields;
        for (const QJsonValue &f : doc.object().value(QStringLiteral("fields")).toArray()) {
            const QJsonArray a = f.toArray();
            fields << QStringLiteral("%1 %2 %3 %4").arg(a[0].toString(), a[1].toString()).arg(a[2].toInt()).arg(a[3].toInt());
        }
        QCOMPARE(fields, it.value());
    }
    const QJsonDocument log = readWithDbfread(m_home + QStringLiteral("/Data/Log.dbf"));
    const QJsonArray rows = log.object().value(QStringLiteral("rows")).toArray();
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.first().toObject().value(QStringLiteral("ACTIUNE")).toString(), QStringLiteral("Pornire program"));
    QCOMPARE(rows.first().toObject().value(QStringLiteral("DATAL")).toString(), QStringLiteral("2025-03-05"));
}

void TestCli::sqlSelectsWithJoinsAndAggregates()
{
    QCOMPARE(cli({QStringLiteral("sql"), QStringLiteral("INSERT INTO Abonat (IDAB, NUME, LOC) VALUES (1, 'Pop Ion', 'Sat'), "
                                                          "(2, 'Ilie Ana', 'Sat'), (3, 'Radu, Vasile', 'Deal')")})
                 .exitCode,
             0);
    QCOMPARE(cli({QStringLiteral("sql"), QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, RATA, SOLD, DATADEB) VALUES "
                                                          "(1, 1, 10, 10, 45700), (2, 1, 5.5, 5.5, 45731), (3, 2, 7, 0, 45700)")})
                 .exitCode,
             0);
    const Result r = cli({QStringLiteral("sql"),
                          QStringLiteral("SELECT A.LOC, COUNT(DISTINCT A.IDAB) AS N, SUM(D.SOLD) AS REST FROM Abonat A "
                                         "LEFT JOIN Debite D ON D.IDAB=A.IDAB GROUP BY A.LOC ORDER BY A.LOC")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("LOC,N,REST\nDeal,1,\nSat,2,15.50\n"));
    const Result quoted = cli({QStringLiteral("sql"), QStringLiteral("SELECT NUME FROM Abonat WHERE IDAB=3")});
    QCOMPARE(quoted.out, QStringLiteral("NUME\n\"Radu, Vasile\"\n"));
}

void TestCli::sqlChangesSeenByOutsideReader()
{
    const Result r = cli({QStringLiteral("sql"), QStringLiteral("UPDATE Debite SET SOLD=SOLD-2.25 WHERE IDDEB=2")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(cli({QStringLiteral("sql"), QStringLiteral("DELETE FROM Debite WHERE IDDEB=3")}).exitCode, 0);
    const QJsonArray rows = readWithDbfread(m_home + QStringLiteral("/Data/Debite.dbf")).object().value(QStringLiteral("rows")).toArray();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].toObject().value(QStringLiteral("SOLD")).toDouble(), 3.25);
}

void TestCli::errorsExitNonZero()
{
    const Result bad = cli({QStringLiteral("sql"), QStringLiteral("SELECT * FROM Nimic")});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY(bad.err.contains(QStringLiteral("Nimic")));
    const Result tooWide = cli({QStringLiteral("sql"), QStringLiteral("UPDATE Debite SET RATA=123456789012 WHERE IDDEB=1")});
    QCOMPARE(tooWide.exitCode, 1);
    QVERIFY2(tooWide.err.contains(QStringLiteral("RATA")), qPrintable(tooWide.err));
    QCOMPARE(cli({QStringLiteral("nimic")}).exitCode, 2);
    QCOMPARE(cli({QStringLiteral("--today"), QStringLiteral("32.13.2025"), QStringLiteral("startup")}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
