// The report writer: template resources, keys, data rows, copies, saving, the hand-over
// to the user and the PDF export. Outputs are read back by our engine and, where it
// matters, by python3-xlrd.

#include "core/dates.h"
#include "core/error.h"
#include "core/money.h"
#include "core/workfiles.h"
#include "reports/opendocument.h"
#include "reports/reportwriter.h"
#include "reports/templateresource.h"
#include "store/database.h"
#include "xls/workbook.h"
#include "xls/xlserror.h"
#include "xls/xlstesttools.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestReportWriter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void templateResourcesAreTheCommittedFiles();
    void writingAResourceReplacesAndRefuses();
    void openingAMissingTemplateKeepsState();
    void outputsTakeFreeNumbers();
    void keysInText_data();
    void keysInText();
    void keysInCells();
    void fillWithNoRecordsEmptiesThePlaceholders();
    void fillWithOneRecordInsertsNothing();
    void fillWritesEachKindOfField();
    void fillWithoutMarkerChangesNothing();
    void fillTwiceFillsBothCopies();
    void fillOnlyTheListedRecords();
    void blockCopiesAndDeletions();
    void finishSavesAndClosesWithoutOpening();
    void nothingOpenIsAnError();
    void numberInsideATextReadsAsTheClerkExpects();
    void handOverThatFailsIsReported();
    void pdfExportUsesLibreOffice();
    void pdfExportWithoutLibreOfficeLeavesTheWorkbook();
    void thousandRowsAddUpInLibreOffice();
    void everyFilledTemplateOpensInXlrd();

private:
    ResultSet subscribers(int count) const;
    QString copyTemplate(const QString &name);
    QStringList opened();
    QTemporaryDir m_dir;
    QString m_temp;
    QString m_openLog;
};

void TestReportWriter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_openLog = m_dir.filePath(QStringLiteral("opened.txt"));
    const QString script = m_dir.filePath(QStringLiteral("opener.sh"));
    QFile f(script);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(m_openLog).toUtf8());
    f.close();
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("VESTRONIA_OPENER", script.toLocal8Bit());
}

void TestReportWriter::init()
{
    static int n = 0;
    m_temp = m_dir.filePath(QStringLiteral("Temp%1").arg(++n));
    QDir().mkpath(m_temp);
    QFile::remove(m_openLog);
}

QStringList TestReportWriter::opened()
{
    QFile f(m_openLog);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString TestReportWriter::copyTemplate(const QString &name)
{
    const QString path = newWorkFile(m_temp, name, QStringLiteral(".xls"));
    writeTemplateResource(name, path);
    return path;
}

ResultSet TestReportWriter::subscribers(int count) const
{
    ResultSet rs;
    rs.setColumns({QStringLiteral("NUME"), QStringLiteral("CNP"), QStringLiteral("NRPERS"), QStringLiteral("LOC"),
                   QStringLiteral("STRADA"), QStringLiteral("NR")},
                  {QStringLiteral("CHAR(68)"), QStringLiteral("CHAR(13)"), QStringLiteral("DECIMAL(6,0)"),
                   QStringLiteral("CHAR(32)"), QStringLiteral("CHAR(32)"), QStringLiteral("CHAR(32)")});
    for (int i = 1; i <= count; ++i)
        rs.appendRow({QStringLiteral("ABONAT %1").arg(i, 5, 10, QLatin1Char('0')), QStringLiteral("1800101%1").arg(i, 6, 10, QLatin1Char('0')),
                      qint64(i % 7), QStringLiteral("SAT"), QStringLiteral("PRINCIPALA"), QString::number(i)});
    return rs;
}

void TestReportWriter::templateResourcesAreTheCommittedFiles()
{
    QStringList names = templateResourceNames();
    names.sort();
    QStringList expected = xlstest::templateNames();
    expected.sort();
    QCOMPARE(names, expected);
    for (const QString &name : expected) {
        const QString out = m_dir.filePath(name + QStringLiteral(".out"));
        QVERIFY(writeTemplateResource(name.toLower(), out, QStringLiteral("model")));
        QFile a(out), b(xlstest::templatePath(name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), b.readAll());
    }
    QCOMPARE(templateResourcePath(QStringLiteral("RAP1")), QStringLiteral(":/MODEL/Rap1.xls"));
    QVERIFY(templateResourcePath(QStringLiteral("Rap1"), QStringLiteral("ICON")).isEmpty());
}

void TestReportWriter::writingAResourceReplacesAndRefuses()
{
    const QString path = m_dir.filePath(QStringLiteral("ModelChitanta.xls"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("edited by the user");
    f.close();
    QVERIFY(writeTemplateResource(QStringLiteral("ModelChitanta"), path));
    Workbook wb;
    wb.open(path);
    QCOMPARE(wb.sheetName(1), QStringLiteral("Chitanta"));
    try {
        writeTemplateResource(QStringLiteral("Rap2"), m_dir.filePath(QStringLiteral("x.xls")));
        QFAIL("no error");
    } catch (const FileError &e) {
        QCOMPARE(e.message(), QStringLiteral("Modelul Rap2 lipseste din program."));
    }
    QVERIFY_THROWS_EXCEPTION(FileError, writeTemplateResource(QStringLiteral("Rap1"), m_dir.filePath(QStringLiteral("no/such/dir/R1S0.xls"))));
    QVERIFY_THROWS_EXCEPTION(FileError, writeTemplateResource(QStringLiteral("Rap1"), QString()));
}

void TestReportWriter::openingAMissingTemplateKeepsState()
{
    ReportWriter w(m_temp);
    QVERIFY(!w.openTemplate(m_dir.filePath(QStringLiteral("missing.xls"))));
    QVERIFY(!w.isOpen());
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1")), true));
    const QString output = w.outputPath();
    QVERIFY(!w.openTemplate(m_dir.filePath(QStringLiteral("missing.xls"))));
    QVERIFY(w.isOpen());
    QCOMPARE(w.outputPath(), output);
    QCOMPARE(w.workbook().cellText(2, 1), QStringLiteral("LISTA ABONATI - NUMAR DE PERSOANE"));
}

void TestReportWriter::outputsTakeFreeNumbers()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    QCOMPARE(w.outputPath(), m_temp + QStringLiteral("/XLSTmp0.xls"));
    QCOMPARE(w.finish(), m_temp + QStringLiteral("/XLSTmp0.xls"));
    // A read-only earlier output cannot be replaced: the next report takes the next number.
    QFile::setPermissions(m_temp + QStringLiteral("/XLSTmp0.xls"), QFile::ReadOwner);
    ReportWriter w2(m_temp);
    QVERIFY(w2.openTemplate(xlstest::templatePath(QStringLiteral("Rap1"))));
    QVERIFY(w2.outputPath().startsWith(m_temp + QStringLiteral("/XLSTmp")));
    QVERIFY(!QFileInfo::exists(w2.outputPath()));
}

void TestReportWriter::keysInText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("case of the key") << QStringLiteral("[Data]") << QStringLiteral("[DATA]") << QStringLiteral("x")
                                     << QStringLiteral("x");
    QTest::newRow("between words") << QStringLiteral("eliberate in perioada [perioada] inclusiv")
                                   << QStringLiteral("[PERIOADA]") << QStringLiteral("01.01.2024 - 31.01.2024")
                                   << QStringLiteral("eliberate in perioada 01.01.2024 - 31.01.2024 inclusiv");
    QTest::newRow("every occurrence") << QStringLiteral("[A]/[a]/[A]") << QStringLiteral("[A]") << QStringLiteral("1")
                                      << QStringLiteral("1/1/1");
    QTest::newRow("value holds the key") << QStringLiteral("x [UAT] y") << QStringLiteral("[UAT]")
                                         << QStringLiteral("Primaria [UAT]") << QStringLiteral("x Primaria [UAT] y");
    QTest::newRow("not rescanned across the seam") << QStringLiteral("AABB") << QStringLiteral("AB")
                                                   << QStringLiteral("A") << QStringLiteral("AAB");
    QTest::newRow("only a-z fold") << QStringLiteral("#\u0219ir") << QStringLiteral("#\u0218IR")
                                   << QStringLiteral("x") << QStringLiteral("#\u0219ir");
    QTest::newRow("empty value") << QStringLiteral("[A] ANULAT") << QStringLiteral("[A]") << QString()
                                 << QStringLiteral(" ANULAT");
}

void TestReportWriter::keysInText()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(replaceKeyInText(text, key, value), expected);
}

void TestReportWriter::keysInCells()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("RegCasa"))));
    Workbook &wb = w.workbook();
    const int xf = wb.formatIndex(7, 3);
    w.replaceKey(QStringLiteral("[SP]"), QVariant::fromValue(Money::fromUnits(1234500)));
    QCOMPARE(wb.cellValue(7, 3), QVariant(123.45)); // a number stays a number, format kept
    QCOMPARE(wb.formatIndex(7, 3), xf);
    w.replaceKey(QStringLiteral("[II]"), 0);
    QCOMPARE(wb.cellValue(5, 5), QVariant(0.0));
    w.replaceKey(QStringLiteral("[PERIOADA]"), QStringLiteral("perioada 01.11.2024 - 30.11.2024"));
    QCOMPARE(wb.cellText(3, 1), QStringLiteral("perioada 01.11.2024 - 30.11.2024"));
    w.replaceKey(QStringLiteral("[ZIUA]"), QStringLiteral("-"));
    QCOMPARE(wb.cellText(6, 2), QStringLiteral("-"));
    QCOMPARE(wb.cellText(12, 2), QStringLiteral("-"));
    // Formulas are not touched, even when their text would match.
    QCOMPARE(wb.formulaText(10, 3), QStringLiteral("C7+E10-F10"));
    w.replaceKey(QStringLiteral("C7"), QStringLiteral("nu"));
    QCOMPARE(wb.formulaText(10, 3), QStringLiteral("C7+E10-F10"));
    // A key inside a longer text gets the value's text.
    ReportWriter w2(m_temp);
    QVERIFY(w2.openTemplate(copyTemplate(QStringLiteral("ChitAn"))));
    w2.replaceKey(QStringLiteral("[ANUL]"), 2024);
    QCOMPARE(w2.workbook().cellText(3, 2), QStringLiteral("in anul 2024"));
    w2.replaceKey(QStringLiteral("in anul 2024"), 2.5);
    QCOMPARE(w2.workbook().cellValue(3, 2), QVariant(2.5));
}

void TestReportWriter::fillWithNoRecordsEmptiesThePlaceholders()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    QCOMPARE(w.fillRows(subscribers(0)), 7);
    Workbook &wb = w.workbook();
    QVERIFY(!wb.cellValue(7, 8).isValid());
    // Every placeholder of the row is emptied; the heading and the total stay.
    for (int c = 1; c <= 8; ++c)
        QCOMPARE(wb.cellText(7, c), QString());
    QCOMPARE(wb.cellText(5, 1), QStringLiteral("Nr. crt."));
    QCOMPARE(wb.formulaText(8, 7), QStringLiteral("SUM(G6:G7)"));
    // The marker is used up: a second fill finds nothing.
    QCOMPARE(w.fillRows(subscribers(3)), 0);
    QCOMPARE(wb.lastRow(), 8);
}

void TestReportWriter::fillWithOneRecordInsertsNothing()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    w.fillRows(subscribers(1));
    Workbook &wb = w.workbook();
    QCOMPARE(wb.lastRow(), 8);
    QCOMPARE(wb.cellValue(7, 1), QVariant(1.0));
    QCOMPARE(wb.cellText(7, 2), QStringLiteral("ABONAT 00001"));
    QCOMPARE(wb.cellValue(7, 7), QVariant(1.0));
    QCOMPARE(wb.formulaText(8, 7), QStringLiteral("SUM(G6:G7)"));
}

void TestReportWriter::fillWritesEachKindOfField()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("BordInc"))));
    Workbook &wb = w.workbook();
    // A lower-case placeholder with blanks around it matches too.
    wb.setCell(7, 7, QStringLiteral("  #nume "));
    ResultSet rs;
    rs.setColumns({QStringLiteral("DOCJUS"), QStringLiteral("DOCSERIA"), QStringLiteral("DOCNR"),
                   QStringLiteral("DOCDATA"), QStringLiteral("NUME"), QStringLiteral("ROL"), QStringLiteral("SUMA")},
                  {QStringLiteral("CHAR(16)"), QStringLiteral("CHAR(20)"), QStringLiteral("DECIMAL(10,0)"),
                   QStringLiteral("DATE"), QStringLiteral("CHAR(68)"), QStringLiteral("CHAR(9)"), QString()});
    rs.appendRow({QStringLiteral("CHITANTA"), QStringLiteral("VS"), qint64(17), 45625, QStringLiteral("POPESCU ION"),
                  QStringLiteral("0"), 12.5});
    rs.appendRow({QStringLiteral("CHITANTA"), QVariant(), qint64(0), 0, QStringLiteral("IONESCU"),
                  QStringLiteral("12"), 0.0});
    rs.appendRow({QStringLiteral("VIRAMENT BANCAR"), QStringLiteral("B"), qint64(3), 45626, QStringLiteral("X"),
                  QStringLiteral("7"), -4.25});
    QCOMPARE(w.fillRows(rs), 7);
    QCOMPARE(wb.cellValue(7, 1), QVariant(1.0));
    QCOMPARE(wb.cellValue(9, 1), QVariant(3.0));
    QCOMPARE(wb.cellText(7, 3), QStringLiteral("CHITANTA"));
    QCOMPARE(wb.cellValue(7, 5), QVariant(17.0));
    QCOMPARE(wb.cellValue(7, 6), QVariant(45625.0)); // the date serial number, in a date cell
    QCOMPARE(wb.numberFormat(9, 6).remove(QLatin1Char('\\')), QStringLiteral("dd.mm.yyyy"));
    QCOMPARE(wb.cellText(7, 7), QStringLiteral("POPESCU ION"));
    QCOMPARE(wb.cellValue(7, 2), QVariant(QStringLiteral("0"))); // text "0" stays text
    QCOMPARE(wb.cellValue(7, 8), QVariant(12.5));
    QVERIFY(!wb.cellValue(8, 4).isValid()); // NULL text: empty
    QVERIFY(!wb.cellValue(8, 5).isValid()); // zero: empty
    QVERIFY(!wb.cellValue(8, 6).isValid()); // no date: empty
    QVERIFY(!wb.cellValue(8, 8).isValid()); // computed zero: empty
    QCOMPARE(wb.cellValue(9, 8), QVariant(-4.25));
    QCOMPARE(wb.formulaText(10, 8), QStringLiteral("SUM(H6:H9)"));
    QCOMPARE(wb.formatIndex(9, 8), wb.formatIndex(7, 8));
    QVERIFY(!wb.cellValue(7, 9).isValid());
    QVERIFY(!wb.cellValue(9, 9).isValid());
}

void TestReportWriter::fillWithoutMarkerChangesNothing()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    w.fillRows(subscribers(2));
    const QByteArray before = w.workbook().workbookStream();
    QCOMPARE(w.fillRows(subscribers(5)), 0);
    QCOMPARE(w.workbook().workbookStream(), before);
}

void TestReportWriter::fillTwiceFillsBothCopies()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("ModelChitanta"))));
    ResultSet lines;
    lines.setColumns({QStringLiteral("IDDCHIT"), QStringLiteral("DENUM"), QStringLiteral("RESTANTA"),
                      QStringLiteral("PENAL"), QStringLiteral("CURENT")},
                     {QStringLiteral("DECIMAL(10,0)"), QStringLiteral("CHAR(60)"), QStringLiteral("DECIMAL(10,2)"),
                      QStringLiteral("DECIMAL(10,2)"), QStringLiteral("DECIMAL(10,2)")});
    lines.appendRow({qint64(1), QStringLiteral("SOLD PLATA IN AVANS"), 0.0, 0.0, -10.0});
    lines.appendRow({qint64(2), QStringLiteral("SALUBRIZARE 10.2024"), 20.0, 1.5, 0.0});
    lines.appendRow({qint64(3), QStringLiteral("SALUBRIZARE 11.2024"), 0.0, 0.0, 20.0});
    w.replaceKey(QStringLiteral("#NUME"), QStringLiteral("POPESCU ION"));
    QCOMPARE(w.fillRows(lines), 14);
    QCOMPARE(w.fillRows(lines), 37); // the lower copy moved down by two rows
    Workbook &wb = w.workbook();
    for (int top : {14, 37}) {
        QCOMPARE(wb.cellText(top, 2), QStringLiteral("SOLD PLATA IN AVANS"));
        QCOMPARE(wb.cellValue(top, 5), QVariant(-10.0));
        QCOMPARE(wb.cellValue(top + 2, 1), QVariant(3.0));
        QCOMPARE(wb.formulaText(top + 1, 6), QStringLiteral("C%1+D%1+E%1").arg(top + 1));
        QCOMPARE(wb.formulaText(top + 3, 3), QStringLiteral("SUM(C%1:C%2)").arg(top - 1).arg(top + 2));
    }
    QCOMPARE(wb.cellText(8, 2), QStringLiteral("POPESCU ION"));
    QCOMPARE(wb.cellText(31, 2), QStringLiteral("POPESCU ION"));
    const QString out = w.finish();
    QString error;
    const QString dump = xlstest::xlrdDump(out, &error);
    QVERIFY2(!dump.isNull(), qPrintable(error));
    QVERIFY(dump.contains(QStringLiteral("39,2|s:SALUBRIZARE 11.2024|")));
}

void TestReportWriter::fillOnlyTheListedRecords()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    w.fillRows(subscribers(10), {7, -1, 2, 10});
    QCOMPARE(w.workbook().cellText(7, 2), QStringLiteral("ABONAT 00008"));
    QCOMPARE(w.workbook().cellText(8, 2), QStringLiteral("ABONAT 00003"));
    QCOMPARE(w.workbook().cellValue(8, 1), QVariant(2.0));
    QCOMPARE(w.workbook().formulaText(9, 7), QStringLiteral("SUM(G6:G8)"));
}

void TestReportWriter::blockCopiesAndDeletions()
{
    // The cash book: three days. Copies of the block before each added day, then each
    // day's lines into the topmost marked row.
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("RegCasa"))));
    w.copyRowBlock(11, 16, 17, 1);
    ResultSet day;
    day.setColumns({QStringLiteral("DOCJUSNR"), QStringLiteral("INCASAT"), QStringLiteral("PLATIT"),
                    QStringLiteral("REPREZ")},
                   {QString(), QStringLiteral("DECIMAL(10,2)"), QStringLiteral("DECIMAL(10,2)"), QStringLiteral("CHAR(120)")});
    day.appendRow({QStringLiteral("CHITANTA VS nr.1"), 10.0, 0.0, QString()});
    day.appendRow({QStringLiteral("DISPOZITIE nr.2"), 0.0, 4.0, QStringLiteral("salarii")});
    QCOMPARE(w.fillRows(day), 9);
    QCOMPARE(w.fillRows(day), 16);
    QCOMPARE(w.fillRows(day), 23);
    Workbook &wb = w.workbook();
    QCOMPARE(wb.formulaText(11, 5), QStringLiteral("SUM(E8:E10)"));
    QCOMPARE(wb.formulaText(14, 3), QStringLiteral("C11"));
    QCOMPARE(wb.formulaText(21, 3), QStringLiteral("C18"));
    QCOMPARE(wb.formulaText(25, 3), QStringLiteral("C21+E25-F25"));
    QCOMPARE(wb.formulaText(27, 5), QStringLiteral("E5+SUM(E8:E26)/2"));
    // One day: the second block goes.
    ReportWriter one(m_temp);
    QVERIFY(one.openTemplate(copyTemplate(QStringLiteral("RegCasa"))));
    one.deleteRows(11, 6);
    QCOMPARE(one.workbook().formulaText(12, 6), QStringLiteral("F5+SUM(F8:F11)/2"));
}

void TestReportWriter::finishSavesAndClosesWithoutOpening()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    w.replaceKey(QStringLiteral("[DATA]"), QStringLiteral("la data de 29.11.2024"));
    w.fillRows(subscribers(3));
    const QString out = w.finish();
    // Saving opens nothing: the window or the command line decides.
    QVERIFY(opened().isEmpty());
    QVERIFY(!w.isOpen());
    Workbook back;
    back.open(out);
    QCOMPARE(back.cellText(3, 1), QStringLiteral("la data de 29.11.2024"));
    QCOMPARE(back.cellText(9, 2), QStringLiteral("ABONAT 00003"));
    // The next report does not overwrite it.
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    QVERIFY(w.outputPath() != out || !QFileInfo::exists(out));
    QVERIFY(openDocument(out));
    QCOMPARE(opened(), QStringList{out});
}

void TestReportWriter::numberInsideATextReadsAsTheClerkExpects()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("ChitAn"))));
    w.replaceKey(QStringLiteral("[ANUL]"), 0.1 + 0.2);
    QCOMPARE(w.workbook().cellText(3, 2), QStringLiteral("in anul 0.3"));
    ReportWriter w2(m_temp);
    QVERIFY(w2.openTemplate(copyTemplate(QStringLiteral("ChitAn"))));
    w2.replaceKey(QStringLiteral("[ANUL]"), 1234.5678);
    QCOMPARE(w2.workbook().cellText(3, 2), QStringLiteral("in anul 1234.5678"));
}

void TestReportWriter::handOverThatFailsIsReported()
{
    // Saving never depends on a viewer; the hand-over reports its own failure.
    const QByteArray opener = qgetenv("VESTRONIA_OPENER");
    qputenv("VESTRONIA_OPENER", "false");
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    const QString out = w.finish();
    const bool handedOver = openDocument(out);
    qputenv("VESTRONIA_OPENER", opener);
    QVERIFY(!handedOver);
    QVERIFY(QFileInfo::exists(out)); // the document itself was written
}

void TestReportWriter::nothingOpenIsAnError()
{
    ReportWriter w(m_temp);
    const auto check = [](const std::function<void()> &fn) {
        try {
            fn();
            return false;
        } catch (const XlsError &e) {
            return e.message() == QLatin1String("There is no open file");
        }
    };
    QVERIFY(check([&] { w.replaceKey(QStringLiteral("[A]"), 1); }));
    QVERIFY(check([&] { w.setCell(1, 1, 1); }));
    QVERIFY(check([&] { w.fillRows(subscribers(2)); }));
    QVERIFY(check([&] { w.insertRowCopies(7, 0); }));
    QVERIFY(check([&] { w.copyRowBlock(1, 2, 3, 1); }));
    QVERIFY(check([&] { w.deleteRows(1, 1); }));
    QVERIFY(check([&] { w.finish(); }));
    QVERIFY(opened().isEmpty());
}

void TestReportWriter::pdfExportUsesLibreOffice()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("ModelChitanta"))));
    w.replaceKey(QStringLiteral("#NUME"), QStringLiteral("POPESCU ION"));
    const QString xls = w.finish();
    const QString pdf = w.exportPdf(xls);
    QCOMPARE(pdf, m_temp + QStringLiteral("/XLSTmp0.pdf"));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(5) == "%PDF-");
    QVERIFY(opened().isEmpty());
    // A second export in the run goes through the same converter and keeps its own name.
    ReportWriter w2(m_temp);
    QVERIFY(w2.openTemplate(copyTemplate(QStringLiteral("ModelChitanta"))));
    const QString pdf2 = w2.exportPdf(w2.finish());
    QVERIFY(!pdf2.isEmpty() && pdf2 != pdf);
    QVERIFY(QFileInfo(pdf).size() > 0);
}

void TestReportWriter::pdfExportWithoutLibreOfficeLeavesTheWorkbook()
{
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("ModelChitanta"))));
    const QString xls = w.finish();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_dir.filePath(QStringLiteral("empty-bin")).toLocal8Bit());
    const QString pdf = w.exportPdf(xls);
    qputenv("PATH", path);
    QVERIFY(pdf.isEmpty());
    QVERIFY(QFileInfo(xls).size() > 0);
    QVERIFY(opened().isEmpty());
}

void TestReportWriter::thousandRowsAddUpInLibreOffice()
{
    QVERIFY2(!xlstest::soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    ReportWriter w(m_temp);
    QVERIFY(w.openTemplate(copyTemplate(QStringLiteral("Rap1"))));
    const ResultSet rs = subscribers(1000);
    w.fillRows(rs);
    const QString out = w.finish();
    QString error;
    const QString dir = m_dir.filePath(QStringLiteral("csv"));
    QVERIFY2(xlstest::sofficeConvert({out}, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), dir, &error),
             qPrintable(error));
    const QList<QStringList> rows = xlstest::readCsv(dir + QStringLiteral("/XLSTmp0.csv"));
    QVERIFY(rows.size() >= 1007);
    qint64 sum = 0;
    for (int i = 0; i < 1000; ++i) {
        const QStringList &row = rows[6 + i];
        QCOMPARE(row.value(0), QString::number(i + 1));
        QCOMPARE(row.value(1), rs.value(i, 0).toString());
        sum += rs.value(i, 2).toLongLong();
        QCOMPARE(row.value(6), rs.value(i, 2).toLongLong() ? QString::number(rs.value(i, 2).toLongLong()) : QString());
    }
    QCOMPARE(rows[1006].value(5), QStringLiteral("TOTAL"));
    QCOMPARE(rows[1006].value(6), QString::number(sum));
}

void TestReportWriter::everyFilledTemplateOpensInXlrd()
{
    for (const QString &name : xlstest::templateNames()) {
        ReportWriter w(m_temp);
        QVERIFY(w.openTemplate(copyTemplate(name)));
        w.replaceKey(QStringLiteral("[UAT]"), QStringLiteral("Primaria Vest"));
        if (name == QLatin1String("Bilant")) {
            w.workbook().copyColumns(11, 16, 17, 2);
            for (int k = 0; k < 4; ++k)
                w.setCell(5, 5 + 6 * k, QString::number(2021 + k));
            w.workbook().copyRows(7, 7, 7, 4);
            for (int r = 7; r <= 11; ++r) {
                w.setCell(r, 1, r - 6);
                w.setCell(r, 3, QStringLiteral("ABONAT %1").arg(r));
                w.setCell(r, 7, 100.5 * r);
            }
        }
        if (name == QLatin1String("ChitAn")) {
            w.workbook().copyColumns(7, 7, 7, 2);
            for (int i = 1; i <= 3; ++i) {
                w.setCell(5, 6 + i, 2021 + i);
                w.setCell(7, 6 + i, QStringLiteral("#SUMA%1").arg(2021 + i));
            }
        }
        int marked = 0;
        while (w.fillRows(subscribers(25)) > 0)
            ++marked;
        const QString out = w.finish();
        QString error;
        const QString dump = xlstest::xlrdDump(out, &error);
        QVERIFY2(!dump.isNull(), qPrintable(name + QStringLiteral(": ") + error));
        Workbook back;
        back.open(out);
        QCOMPARE(dump, xlstest::engineDump(back));
        QVERIFY(marked >= 1 || name == QLatin1String("Bilant"));
    }
}

QTEST_GUILESS_MAIN(TestReportWriter)
#include "tst_reportwriter.moc"
