// vestronia-cli import end to end: a backup whose tables an outside dBase writer made
// populates a fresh installation; a second import and a damaged backup are refused with
// their messages and a non-zero exit, leaving the data as they were.

#include "app/clirun.h"
#include "import/rg3builder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia::testing;

class TestCliImport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void importPopulatesFreshInstallation();
    void refusalsExitNonZero();

private:
    using Result = CliResult;
    Result cli(const QStringList &args);
    QString writeBackup(const QString &name, const QByteArray &bytes);
    QByteArray dataFolderHash();

    QTemporaryDir m_dir;
    QString m_home;
};

TestCliImport::Result TestCliImport::cli(const QStringList &args)
{
    return runCli(m_dir.filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_home, QStringLiteral("--today"), QStringLiteral("09.12.2026")} + args, 120000);
}

QString TestCliImport::writeBackup(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QByteArray TestCliImport::dataFolderHash()
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    const QDir data(m_home + QStringLiteral("/Data"));
    for (const QString &name : data.entryList(QDir::Files, QDir::Name)) {
        QFile f(data.filePath(name));
        if (f.open(QIODevice::ReadOnly)) {
            h.addData(name.toUtf8());
            h.addData(f.readAll());
        }
    }
    return h.result();
}

void TestCliImport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_home = m_dir.filePath(QStringLiteral("H"));
    const Result r = cli({QStringLiteral("startup")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(cli({QStringLiteral("sql"),
                  QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PEPERS, PERLUNI, ZIUAIMP, DATASTART, DATASTOP) "
                                 "VALUES (1, 'SALUBRIZARE', 7.5, '-', 1, 10, 40000, 0)")})
                 .exitCode,
             0);
}

void TestCliImport::importPopulatesFreshInstallation()
{
    RegisterSpec spec;
    spec.numeric = false;
    spec.addVolume(1, QStringLiteral("VESTRONIA"), 1);
    spec.addHousehold(1, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("2"));
    spec.addMember(1, 2026, 1, QStringLiteral("Pop"), QStringLiteral("Ion"));
    spec.addMember(1, 2026, 2, QStringLiteral("Pop"), QStringLiteral("Ana"));
    spec.addHousehold(2, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("1"));
    spec.addMember(2, 2026, 1, QStringLiteral("Radu"), QStringLiteral("Elena"));
    const QString tables = m_dir.filePath(QStringLiteral("work/tables"));
    QVERIFY(writeRegisterTables(spec, tables));
    QList<CraftedEntry> entries;
    for (const QString &name : QDir(tables).entryList(QDir::Files)) {
        QFile f(tables + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        entries.append({name.toLatin1(), f.readAll()});
    }
    const QString backup = writeBackup(QStringLiteral("reg.rg3"), craftArchive(entries));

    const Result r = cli({QStringLiteral("import"), backup, QStringLiteral("--start"), QStringLiteral("15.03.2025")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("GOSPODARII,ABONATI,ABONAMENTE,DEBITE\n2,2,2,42\n"));
    QVERIFY(r.err.contains(QStringLiteral("Abonatii au fost adaugati cu succes!")));
    // The bar of each phase was drawn.
    QVERIFY(r.err.contains(QStringLiteral("Adaug Debitele...")));

    const Result rows = cli({QStringLiteral("sql"), QStringLiteral("SELECT IDAB, NUME, NR, NRPERS FROM Abonat ORDER BY IDAB")});
    QCOMPARE(rows.out, QStringLiteral("IDAB,NUME,NR,NRPERS\n1,RADU ELENA,1,1\n2,POP ION,2,2\n"));
    const Result debits = cli({QStringLiteral("sql"), QStringLiteral("SELECT COUNT(*) AS N, MIN(DATADEB) AS D, SUM(SOLD) AS S "
                                                                     "FROM Debite WHERE IDAB=1")});
    QCOMPARE(debits.out, QStringLiteral("N,D,S\n21,45726,157.50\n")); // 10.03.2025 .. 10.11.2026 at 7.50
    const Result log = cli({QStringLiteral("sql"), QStringLiteral("SELECT ACTIUNE FROM Log ORDER BY IDLOG DESC LIMIT 1")});
    QVERIFY(log.out.contains(QStringLiteral("Preluare date din Registrul Agricol.")));

    // The register is no longer empty: a second import is refused and changes nothing.
    const QByteArray before = dataFolderHash();
    const Result again = cli({QStringLiteral("import"), backup, QStringLiteral("--start"), QStringLiteral("15.03.2025")});
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.contains(QStringLiteral("Evidenta abonatilor nu este goala!")), qPrintable(again.err));
    QCOMPARE(dataFolderHash(), before);
}

void TestCliImport::refusalsExitNonZero()
{
    const QByteArray before = dataFolderHash();
    const QString damaged = writeBackup(QStringLiteral("bad.rg3"), QByteArray("\x02\x00\x00\x00garbage", 11));
    const Result bad = cli({QStringLiteral("import"), damaged, QStringLiteral("--start"), QStringLiteral("01.01.2025")});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.contains(QStringLiteral("Dezarhivare date R.A.: Salvarea nu poate fi deschisa!")), qPrintable(bad.err));

    QCOMPARE(cli({QStringLiteral("import"), damaged}).exitCode, 2);
    QCOMPARE(cli({QStringLiteral("import"), damaged, QStringLiteral("--start"), QStringLiteral("31.02.2025")}).exitCode, 2);
    QCOMPARE(dataFolderHash(), before);
    QVERIFY(QDir(m_home + QStringLiteral("/Temp")).entryList({QStringLiteral("TmpRA*")}, QDir::Dirs).isEmpty());
}

QTEST_GUILESS_MAIN(TestCliImport)
#include "tst_cli_import.moc"
