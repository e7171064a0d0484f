// "bank import" run as a process on a fresh data folder: the CSV of every entry with its
// outcome, --dry-run recording nothing, a second run finding everything recorded, and a
// cut file refused with the reader's message and nothing recorded.

#include "app/clirun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestBankCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dryRunThenRecordThenAgain();
    void cutFileRefused();
    void csvRowsSurviveCarriageReturnsAndQuotes();

private:
    CliResult cli(const QStringList &args)
    {
        return runCli(m_dir.filePath(QStringLiteral("machine")),
                      QStringList{QStringLiteral("--home"), m_dir.filePath(QStringLiteral("home")), QStringLiteral("--today"),
                                  QStringLiteral("10.06.2024")} + args,
                      120000);
    }
    QString transfers()
    {
        const CliResult r = cli({QStringLiteral("sql"), QStringLiteral("SELECT COUNT(*) AS N FROM Chitante")});
        return r.out.section(QLatin1Char('\n'), 1, 1);
    }
    static QString fixture(const char *name) { return QStringLiteral(VESTRONIA_TEST_FIXTURES "/bank/") + QLatin1String(name); }

    QTemporaryDir m_dir;
};

void TestBankCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CliResult r = cli({QStringLiteral("startup")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    r = cli({QStringLiteral("sql"),
             QStringLiteral("INSERT INTO Abonat (IDAB, NUME, TIPPF, LOC, STRADA, NR, DATAIN, NRPERS, CNP, ROL, NRCON) VALUES "
                            "(1, 'POPESCU ION', 'F', 'VESTRONIA', 'PRINCIPALA', '7', 45000, 3, '1800101223344', '', ''), "
                            "(2, 'IONESCU MARIA', 'F', 'VESTRONIA', 'PRINCIPALA', '8', 45000, 1, '', '', '45/2020'), "
                            "(3, 'VASILE GHEORGHE', 'F', 'VESTRONIA', 'PRINCIPALA', '9', 45000, 2, '', '', '')")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
}

void TestBankCli::dryRunThenRecordThenAgain()
{
    const QString file = fixture("camt053-v02-two-accounts.xml");
    CliResult r = cli({QStringLiteral("bank"), QStringLiteral("import"), file, QStringLiteral("--dry-run")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 10);
    QVERIFY(lines[0].startsWith(QLatin1String("EXTRAS,CONT,NR,DATA,SUMA")));
    QVERIFY2(lines[1].contains(QLatin1String(",150.00,RON,C,BK-240603-0001,Ion Popescu,")), qPrintable(lines[1]));
    QVERIFY2(lines[1].contains(QLatin1String(",de inregistrat,1,POPESCU ION,cod,")), qPrintable(lines[1]));
    QVERIFY2(lines[2].contains(QLatin1String(",de inregistrat,2,IONESCU MARIA,contract,")), qPrintable(lines[2]));
    QVERIFY2(lines[3].contains(QLatin1String(",in asteptare,,,,Niciun abonat nu se potriveste,")), qPrintable(lines[3]));
    QVERIFY2(lines[4].contains(QLatin1String(",ignorat,,,,Plata din cont,")), qPrintable(lines[4]));
    QCOMPARE(transfers(), QStringLiteral("0"));

    r = cli({QStringLiteral("bank"), QStringLiteral("import"), file});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines[1].contains(QLatin1String(",inregistrat,1,POPESCU ION,cod,,")), qPrintable(lines[1]));
    QCOMPARE(transfers(), QStringLiteral("3"));

    r = cli({QStringLiteral("bank"), QStringLiteral("import"), file});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out.count(QLatin1String(",deja inregistrat,")), 3);
    QCOMPARE(transfers(), QStringLiteral("3"));
}

void TestBankCli::cutFileRefused()
{
    QFile in(fixture("mt940-two-days.sta"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const QString cut = m_dir.filePath(QStringLiteral("cut.sta"));
    QFile out(cut);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes.left(bytes.indexOf(":62F:")));
    out.close();
    const QString before = transfers();
    const CliResult r = cli({QStringLiteral("bank"), QStringLiteral("import"), cut});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QLatin1String("Extrasul MT940 este deteriorat si nu a fost citit")), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(transfers(), before);
}

// A reference holding a carriage return (an XML character reference) split the CSV row
// in two for any program that reads it; quotes and commas in the payer stay in one field.
void TestBankCli::csvRowsSurviveCarriageReturnsAndQuotes()
{
    QFile in(fixture("camt053-v02-two-accounts.xml"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.replace("<AcctSvcrRef>BK-240603-0001</AcctSvcrRef>", "<AcctSvcrRef>BK-240603&#13;0001</AcctSvcrRef>");
    bytes.replace("<Nm>Ion Popescu</Nm>", "<Nm>Ion \"Nelu\", Popescu</Nm>");
    const QString file = m_dir.filePath(QStringLiteral("quotes.xml"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    const CliResult r = cli({QStringLiteral("bank"), QStringLiteral("import"), file, QStringLiteral("--dry-run")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(!r.out.contains(QLatin1Char('\r')));
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 10);
    QVERIFY2(lines[1].contains(QLatin1String(",BK-240603 0001,\"Ion \"\"Nelu\"\", Popescu\",")), qPrintable(lines[1]));
}

QTEST_GUILESS_MAIN(TestBankCli)
#include "tst_bankcli.moc"
