// The fill command: an administrator's template filled from queries on a data folder,
// through the same writer as the program's reports.

#include "core/error.h"
#include "reports/fillcommand.h"
#include "reports/templateresource.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "xls/workbook.h"
#include "xls/xlstesttools.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestFillCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fillsTheSubscriberListFromTheDataFolder();
    void fillsAnOwnTemplateWithSeveralQueries();
    void wrongArgumentsShowTheUsage_data();
    void wrongArgumentsShowTheUsage();
    void refusesToOverwriteAndLeavesNothingOnErrors();

private:
    QTemporaryDir m_dir;
    QString m_data;
    std::unique_ptr<Database> m_db;
};

void TestFillCommand::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_data = m_dir.filePath(QStringLiteral("Data"));
    QDir().mkpath(m_data);
    createMissingTables(m_data);
    m_db = std::make_unique<Database>(m_data);
    const struct
    {
        int id;
        const char *name;
        int persons;
        int out;
    } people[] = {{1, "POPESCU ION", 3, 0}, {2, "ANDREI MARIA", 0, 0}, {3, "VASILE DAN", 5, 45000}};
    for (const auto &p : people)
        m_db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, CNP, LOC, STRADA, NR, NRPERS, DATAOUT) "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                   {p.id, QString::fromLatin1(p.name), QStringLiteral("1800101%1").arg(p.id, 6, 10, QLatin1Char('0')),
                    QStringLiteral("SAT"), QStringLiteral("MARE"), QString::number(p.id * 10), p.persons, p.out});
}

void TestFillCommand::fillsTheSubscriberListFromTheDataFolder()
{
    const QString tpl = m_dir.filePath(QStringLiteral("Rap1.xls"));
    writeTemplateResource(QStringLiteral("Rap1"), tpl);
    const QString out = m_dir.filePath(QStringLiteral("lista.xls"));
    const int rc = runFillCommand({tpl, QStringLiteral("--sql"),
                                   QStringLiteral("SELECT NUME, CNP, NRPERS, LOC, STRADA, NR FROM Abonat "
                                                  "WHERE DATAOUT=0 ORDER BY NUME"),
                                   QStringLiteral("--set"), QStringLiteral("[data]=la data de 29.11.2024"), out},
                                  *m_db);
    QCOMPARE(rc, 0);
    Workbook wb;
    wb.open(out);
    QCOMPARE(wb.cellText(3, 1), QStringLiteral("la data de 29.11.2024"));
    QCOMPARE(wb.cellText(7, 2), QStringLiteral("ANDREI MARIA"));
    QVERIFY(!wb.cellValue(7, 7).isValid()); // no persons: empty
    QCOMPARE(wb.cellText(8, 2), QStringLiteral("POPESCU ION"));
    QCOMPARE(wb.cellValue(8, 7), QVariant(3.0));
    QCOMPARE(wb.cellValue(8, 1), QVariant(2.0));
    QCOMPARE(wb.cellValue(8, 5), QVariant(QStringLiteral("10"))); // a text field stays text
    QCOMPARE(wb.formulaText(9, 7), QStringLiteral("SUM(G6:G8)"));
    QString error;
    QVERIFY2(!xlstest::xlrdDump(out, &error).isNull(), qPrintable(error));
}

void TestFillCommand::fillsAnOwnTemplateWithSeveralQueries()
{
    QVERIFY2(xlstest::havePerlWriteExcel(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    QString error;
    const QString tpl = xlstest::perlWorkbook(m_dir.path(), QStringLiteral("propriu.xls"), QStringLiteral(R"PL(
my $s = $wb->add_worksheet('Situatie');
$s->write('A1', 'Situatia din [ZI] pentru [Unitate]');
$s->write('A2', '[TOTAL]');
$s->write('A4', 'Nume'); $s->write('B4', 'Persoane');
$s->write('A5', '#nume'); $s->write('B5', '#NRPERS'); $s->write('C5', ' #dbf ');
$s->write_formula('B6', '=SUM(B4:B5)');
$s->write('A8', 'Iesiti');
$s->write('A9', '#NUME'); $s->write('B9', '#ZILE'); $s->write('D9', '#DBF');
)PL"),
                                                  &error);
    QVERIFY2(!tpl.isEmpty(), qPrintable(error));
    const QString out = m_dir.filePath(QStringLiteral("propriu-out.xls"));
    QCOMPARE(runFillCommand({QStringLiteral("--set"), QStringLiteral("[ZI]=29.11.2024"), tpl, QStringLiteral("--sql"),
                             QStringLiteral("SELECT NUME, NRPERS FROM Abonat ORDER BY IDAB"), QStringLiteral("--sql"),
                             QStringLiteral("SELECT NUME, DATAOUT - 44000 AS ZILE FROM Abonat WHERE DATAOUT > 0"),
                             QStringLiteral("--num"), QStringLiteral("[TOTAL]=8"), QStringLiteral("--set"),
                             QStringLiteral("[UNITATE]=Primaria Vest"), out},
                            *m_db),
             0);
    Workbook wb;
    wb.open(out);
    QCOMPARE(wb.cellText(1, 1), QStringLiteral("Situatia din 29.11.2024 pentru Primaria Vest"));
    QCOMPARE(wb.cellValue(2, 1), QVariant(8.0));
    QCOMPARE(wb.cellText(7, 1), QStringLiteral("VASILE DAN"));
    QCOMPARE(wb.formulaText(8, 2), QStringLiteral("SUM(B4:B7)"));
    QCOMPARE(wb.cellText(11, 1), QStringLiteral("VASILE DAN"));
    QCOMPARE(wb.cellValue(11, 2), QVariant(1000.0));
    QVERIFY(!wb.cellValue(5, 3).isValid());
}

void TestFillCommand::wrongArgumentsShowTheUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("no output") << QStringList{QStringLiteral("a.xls"), QStringLiteral("--sql"), QStringLiteral("SELECT 1")};
    QTest::newRow("sql without text") << QStringList{QStringLiteral("a.xls"), QStringLiteral("b.xls"), QStringLiteral("--sql")};
    QTest::newRow("key without value") << QStringList{QStringLiteral("a.xls"), QStringLiteral("--set"), QStringLiteral("CHEIE"),
                                                      QStringLiteral("b.xls")};
    QTest::newRow("number that is not") << QStringList{QStringLiteral("a.xls"), QStringLiteral("--num"),
                                                       QStringLiteral("[A]=doi"), QStringLiteral("b.xls")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("a.xls"), QStringLiteral("--force"), QStringLiteral("b.xls")};
}

void TestFillCommand::wrongArgumentsShowTheUsage()
{
    QFETCH(QStringList, args);
    QCOMPARE(runFillCommand(args, *m_db), 2);
}

void TestFillCommand::refusesToOverwriteAndLeavesNothingOnErrors()
{
    const QString tpl = m_dir.filePath(QStringLiteral("Rap1b.xls"));
    writeTemplateResource(QStringLiteral("Rap1"), tpl);
    const QString existing = m_dir.filePath(QStringLiteral("exista.xls"));
    QFile f(existing);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    QVERIFY_THROWS_EXCEPTION(FileError, runFillCommand({tpl, existing}, *m_db));
    QVERIFY_THROWS_EXCEPTION(FileError,
                             runFillCommand({m_dir.filePath(QStringLiteral("nu-exista.xls")), m_dir.filePath(QStringLiteral("o.xls"))},
                                            *m_db));
    const QString out = m_dir.filePath(QStringLiteral("gresit.xls"));
    QVERIFY_THROWS_EXCEPTION(SqlError, runFillCommand({tpl, QStringLiteral("--sql"), QStringLiteral("SELECT FROM"), out}, *m_db));
    QVERIFY(!QFileInfo::exists(out));
}

QTEST_GUILESS_MAIN(TestFillCommand)
#include "tst_fillcommand.moc"
