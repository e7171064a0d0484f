// "vestronia-cli check" end to end: a sound folder passes; duplicate identifiers, rows
// of a missing subscriber, a damaged field and a truncated table are each reported with
// table, record and bytes, and the exit code says so.

#include "app/clirun.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCliCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void soundFolderPasses();
    void duplicateIdentifiersAndOrphansAreReported();
    void damagedFieldIsNamedWithItsBytes();
    void truncatedTableIsReportedNotCrashed();

private:
    using Result = CliResult;
    Result cli(const QStringList &args);
    QString table(const QString &name) const;
    QStringList lines(const Result &r) const { return r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
};

TestCliCheck::Result TestCliCheck::cli(const QStringList &args)
{
    return runCli(m_dir->filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_home} + args, 120000);
}

QString TestCliCheck::table(const QString &name) const
{
    const QDir data(m_home + QStringLiteral("/Data"));
    for (const QString &f : data.entryList(QDir::Files))
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return data.filePath(f);
    return data.filePath(name);
}

void TestCliCheck::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_home = m_dir->filePath(QStringLiteral("H"));
    QCOMPARE(cli({QStringLiteral("--today"), QStringLiteral("05.03.2025"), QStringLiteral("startup")}).exitCode, 0);
    QCOMPARE(cli({QStringLiteral("sql"), QStringLiteral("INSERT INTO Abonat (IDAB, NUME, LOC) VALUES (1, 'POPESCU ION', 'SAT')")})
                 .exitCode,
             0);
    QCOMPARE(cli({QStringLiteral("sql"),
                  QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DENUM, RATA, SOLD) "
                                 "VALUES (10, -1, 1, 0, 'TAXA', 5, 5)")})
                 .exitCode,
             0);
}

void TestCliCheck::soundFolderPasses()
{
    const Result r = cli({QStringLiteral("check")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(lines(r), QStringList{QStringLiteral("TABEL,INREGISTRARE,CAMP,OCTETI,PROBLEMA")});
    QVERIFY2(r.err.contains(QLatin1String("nicio problema")), qPrintable(r.err));
}

void TestCliCheck::duplicateIdentifiersAndOrphansAreReported()
{
    QCOMPARE(cli({QStringLiteral("sql"), QStringLiteral("INSERT INTO Abonat (IDAB, NUME, LOC) VALUES (1, 'DUBLURA', 'SAT')")})
                 .exitCode,
             0);
    QCOMPARE(cli({QStringLiteral("sql"),
                  QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DENUM, RATA, SOLD) "
                                 "VALUES (11, -1, 77, 0, 'ORFAN', 5, 5)")})
                 .exitCode,
             0);
    const Result r = cli({QStringLiteral("check")});
    QCOMPARE(r.exitCode, 1);
    const QStringList rows = lines(r);
    QCOMPARE(rows.size(), 3);
    QVERIFY2(rows.contains(QStringLiteral("Abonat,0,IDAB,1,identificatorul 1 apare de 2 ori")), qPrintable(r.out));
    // The orphan is the second record of Debite.
    QVERIFY2(rows.contains(QStringLiteral("Debite,2,IDAB,77,debit al unui abonat care nu exista (IDDEB 11)")),
             qPrintable(r.out));
}

void TestCliCheck::damagedFieldIsNamedWithItsBytes()
{
    const QString path = table(QStringLiteral("Debite.dbf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray head = f.read(12);
    const int headerLength = quint8(head[8]) | (quint8(head[9]) << 8);
    // IDDEB, the first field, right after the delete flag of record 1.
    QVERIFY(f.seek(headerLength + 1));
    QCOMPARE(f.write("12AB\x01" "67890", 10), 10);
    f.close();
    const Result r = cli({QStringLiteral("check")});
    QCOMPARE(r.exitCode, 1);
    const QStringList rows = lines(r);
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[1].startsWith(QStringLiteral("Debite,1,IDDEB,12AB\\x0167890,")), qPrintable(r.out));
}

void TestCliCheck::truncatedTableIsReportedNotCrashed()
{
    const QString path = table(QStringLiteral("Abonat.dbf"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(f.size() - 40)); // the last record loses its end
    f.close();
    const Result r = cli({QStringLiteral("check")});
    QCOMPARE(r.exitCode, 1);
    const QStringList rows = lines(r);
    QVERIFY(rows.size() >= 2);
    QVERIFY2(rows[1].startsWith(QStringLiteral("Abonat,0,,")), qPrintable(r.out));
    // A table that does not read is left out of the relation checks, not reported twice.
    QVERIFY2(!r.out.contains(QLatin1String("debit al unui abonat")), qPrintable(r.out));
}

QTEST_GUILESS_MAIN(TestCliCheck)
#include "tst_cli_check.moc"
