// The workbook engine against real files: the seven templates, workbooks written by Perl's
// Spreadsheet::WriteExcel and by LibreOffice (shared formulas, long strings, names,
// 3-D references). Edits are checked through the formulas, merges and names they move,
// and saved files are read back by python3-xlrd and LibreOffice.

#include "xls/workbook.h"
#include "xls/xlserror.h"
#include "xls/xlstesttools.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;
using namespace xlstest;

class TestWorkbook : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyOperationNeedsAnOpenFile_data();
    void everyOperationNeedsAnOpenFile();
    void refusesFilesThatAreNotWorkbooks_data();
    void refusesFilesThatAreNotWorkbooks();
    void templatesSurviveRoundTrip_data();
    void templatesSurviveRoundTrip();
    void rowEditsMoveReferences_data();
    void rowEditsMoveReferences();
    void columnEditsMoveReferences_data();
    void columnEditsMoveReferences();
    void formulaCellsMoveWithTheirRows();
    void namesAndMergesFollowEdits_data();
    void namesAndMergesFollowEdits();
    void rowCopiesGrowTotals();
    void rowBlockCopiesChainBalances();
    void columnBlockCopiesWidenYearBlocks();
    void deletingBlocksShrinksReferences();
    void writingKeepsFormats();
    void refusesToOverwriteAndToOverflow();
    void perlWorkbookWithLongStringsRoundTrips();
    void manyMergesSpanSeveralRecords();
    void libreOfficeWorkbookWithSharedFormulasIsFilled();
    void damagedBytesNeverCrash();
    void lastColumnOfOneRow();

private:
    QString perlFixture();
    QTemporaryDir m_dir;
    QString m_perlFixture;
};

void TestWorkbook::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestWorkbook::perlFixture()
{
    if (!m_perlFixture.isEmpty())
        return m_perlFixture;
    if (!havePerlWriteExcel())
        return QString();
    QString error;
    m_perlFixture = perlWorkbook(m_dir.path(), QStringLiteral("refs.xls"), QStringLiteral(R"PL(
my $s = $wb->add_worksheet('Date');
my $o = $wb->add_worksheet('Alta');
my $fmt = $wb->add_format(border => 1);
$s->write('A6', 1); $s->write('A7', 2); $s->write('A8', 3);
$s->write_formula('B1', '=SUM(A6:A7)');
$s->write_formula('C1', '=A6+A7');
$s->write_formula('D1', '=$A$6*2');
$s->write_formula('E1', '=SUM(A:A)');
$s->write_formula('F1', '=SUM(A6:C8)');
$s->write_formula('G1', '=A$7');
$s->write_formula('H1', '=SUM($A$6:$A$8)');
$s->write_formula('A10', '=A6');
$s->write_formula('A2', '=SUM(C5:E5)');
$s->write_formula('A3', '=D5+$E$5');
$s->merge_range('C6:D7', 'imbinat', $fmt);
$s->print_area('A1:H12');
$s->repeat_rows(4, 5);
$o->write_formula('A1', '=Date!A7+SUM(Date!A6:A8)');
)PL"),
                                 &error);
    if (m_perlFixture.isEmpty())
        qWarning() << error;
    return m_perlFixture;
}

void TestWorkbook::everyOperationNeedsAnOpenFile_data()
{
    QTest::addColumn<int>("operation");
    const char *names[] = {"lastRow", "lastColumn", "cellValue", "setCell", "insertRows", "deleteRows",
                           "insertColumns", "deleteColumns", "copyRows", "copyColumns", "saveAs", "setActiveSheet",
                           "mergedRanges", "sheetCount"};
    for (int i = 0; i < int(std::size(names)); ++i)
        QTest::newRow(names[i]) << i;
}

void TestWorkbook::everyOperationNeedsAnOpenFile()
{
    QFETCH(int, operation);
    Workbook wb;
    // Also after a failed open, which leaves nothing open.
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.open(m_dir.filePath(QStringLiteral("missing.xls"))));
    const QString out = m_dir.filePath(QStringLiteral("never.xls"));
    try {
        switch (operation) {
        case 0: wb.lastRow(); break;
        case 1: wb.lastColumn(); break;
        case 2: wb.cellValue(1, 1); break;
        case 3: wb.setCell(1, 1, 5); break;
        case 4: wb.insertRows(1, 1); break;
        case 5: wb.deleteRows(1, 1); break;
        case 6: wb.insertColumns(1, 1); break;
        case 7: wb.deleteColumns(1, 1); break;
        case 8: wb.copyRows(1, 1, 1, 1); break;
        case 9: wb.copyColumns(1, 1, 1, 1); break;
        case 10: wb.saveAs(out); break;
        case 11: wb.setActiveSheet(1); break;
        case 12: wb.mergedRanges(); break;
        case 13: wb.sheetCount(); break;
        }
        QFAIL("no error");
    } catch (const XlsError &e) {
        QCOMPARE(e.message(), QStringLiteral("There is no open file"));
    }
    QVERIFY(!QFile::exists(out));
}

void TestWorkbook::refusesFilesThatAreNotWorkbooks_data()
{
    QTest::addColumn<QByteArray>("content");
    QFile t(templatePath(QStringLiteral("Rap1")));
    QVERIFY(t.open(QIODevice::ReadOnly));
    const QByteArray rap1 = t.readAll();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("Nume;Prenume\r\nPopescu;Ion\r\n");
    QTest::newRow("half a workbook") << rap1.left(rap1.size() / 2);
    QTest::newRow("header only") << rap1.left(512);
}

void TestWorkbook::refusesFilesThatAreNotWorkbooks()
{
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(QStringLiteral("bad %1.xls").arg(QLatin1String(QTest::currentDataTag())));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    Workbook wb;
    try {
        wb.open(path);
        QFAIL("opened");
    } catch (const XlsError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Fisierul ") + QDir::toNativeSeparators(path)),
                 qPrintable(e.message()));
    }
    QVERIFY(!wb.isOpen());
}

void TestWorkbook::templatesSurviveRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &n : templateNames())
        QTest::newRow(qPrintable(n)) << n;
}

void TestWorkbook::templatesSurviveRoundTrip()
{
    QFETCH(QString, name);
    Workbook wb;
    wb.open(templatePath(name));
    const QString out = m_dir.filePath(name + QStringLiteral("-copy.xls"));
    wb.saveAs(out);
    Workbook back;
    back.open(out);

    // Everything our engine reads is read again the same.
    QCOMPARE(engineDump(back), engineDump(wb));
    QCOMPARE(back.lastRow(), wb.lastRow());
    QCOMPARE(back.lastColumn(), wb.lastColumn());
    for (int r = 1; r <= wb.lastRow(); ++r) {
        QCOMPARE(back.rowHeight(r), wb.rowHeight(r));
        for (int c = 1; c <= wb.lastColumn(); ++c) {
            QCOMPARE(back.formulaText(r, c), wb.formulaText(r, c));
            QCOMPARE(back.numberFormat(r, c), wb.numberFormat(r, c));
        }
    }
    for (int c = 1; c <= 20; ++c)
        QCOMPARE(back.columnWidth(c), wb.columnWidth(c));
    const QList<DefinedName> n1 = wb.definedNames(), n2 = back.definedNames();
    QCOMPARE(n2.size(), n1.size());
    for (int i = 0; i < n1.size(); ++i)
        QCOMPARE(n2[i].formula, n1[i].formula);
    // A second save writes the same stream: nothing drifts from save to save.
    QCOMPARE(back.workbookStream(), wb.workbookStream());

    // And an outside reader sees the same cells, formats and merges in both files.
    QString error;
    const QString original = xlrdDump(templatePath(name), &error);
    QVERIFY2(!original.isNull(), qPrintable(error));
    const QString copy = xlrdDump(out, &error);
    QVERIFY2(!copy.isNull(), qPrintable(error));
    QCOMPARE(copy, original);
    QCOMPARE(copy, engineDump(back));
}

void TestWorkbook::rowEditsMoveReferences_data()
{
    QTest::addColumn<int>("sheet");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("insert inside a sum") << 1 << QStringLiteral("B1") << true << 7 << 3 << QStringLiteral("SUM(A6:A10)");
    QTest::newRow("insert at its start") << 1 << QStringLiteral("B1") << true << 6 << 1 << QStringLiteral("SUM(A7:A8)");
    QTest::newRow("insert just after it") << 1 << QStringLiteral("B1") << true << 8 << 1 << QStringLiteral("SUM(A6:A7)");
    QTest::newRow("insert above it") << 1 << QStringLiteral("B1") << true << 2 << 2 << QStringLiteral("SUM(A8:A9)");
    QTest::newRow("single references") << 1 << QStringLiteral("C1") << true << 7 << 1 << QStringLiteral("A6+A8");
    QTest::newRow("absolute reference") << 1 << QStringLiteral("D1") << true << 6 << 1 << QStringLiteral("$A$7*2");
    QTest::newRow("whole column stays") << 1 << QStringLiteral("E1") << true << 3 << 5 << QStringLiteral("SUM(A1:A65536)");
    QTest::newRow("block grows") << 1 << QStringLiteral("F1") << true << 7 << 2 << QStringLiteral("SUM(A6:C10)");
    QTest::newRow("mixed reference") << 1 << QStringLiteral("G1") << true << 7 << 1 << QStringLiteral("A$8");
    QTest::newRow("absolute range grows") << 1 << QStringLiteral("H1") << true << 8 << 1 << QStringLiteral("SUM($A$6:$A$9)");
    QTest::newRow("other sheet, 3-D") << 2 << QStringLiteral("A1") << true << 7 << 1 << QStringLiteral("Date!A8+SUM(Date!A6:A9)");
    QTest::newRow("delete inside a sum") << 1 << QStringLiteral("B1") << false << 7 << 1 << QStringLiteral("SUM(A6:A6)");
    QTest::newRow("delete the whole sum") << 1 << QStringLiteral("B1") << false << 6 << 2 << QStringLiteral("SUM(#REF!)");
    QTest::newRow("delete a referenced cell") << 1 << QStringLiteral("C1") << false << 7 << 1 << QStringLiteral("A6+#REF!");
    QTest::newRow("delete above") << 1 << QStringLiteral("B1") << false << 2 << 3 << QStringLiteral("SUM(A3:A4)");
    QTest::newRow("delete the start of a block") << 1 << QStringLiteral("F1") << false << 5 << 2 << QStringLiteral("SUM(A5:C6)");
    QTest::newRow("delete, 3-D") << 2 << QStringLiteral("A1") << false << 7 << 1 << QStringLiteral("Date!#REF!+SUM(Date!A6:A7)");
}

void TestWorkbook::rowEditsMoveReferences()
{
    QFETCH(int, sheet);
    QFETCH(QString, cell);
    QFETCH(bool, insert);
    QFETCH(int, at);
    QFETCH(int, count);
    QFETCH(QString, expected);
    const QString fixture = perlFixture();
    QVERIFY2(!fixture.isEmpty(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    Workbook wb;
    wb.open(fixture);
    const int row = cell.mid(1).toInt();
    const int col = cell.at(0).unicode() - 'A' + 1;
    if (insert)
        wb.insertRows(at, count);
    else
        wb.deleteRows(at, count);
    wb.setActiveSheet(sheet);
    QCOMPARE(wb.formulaText(row, col), expected);

    // What we wrote reads back the same.
    const QString out = m_dir.filePath(QStringLiteral("rows-%1.xls").arg(QLatin1String(QTest::currentDataTag())));
    wb.saveAs(out);
    Workbook back;
    back.open(out);
    back.setActiveSheet(sheet);
    QCOMPARE(back.formulaText(row, col), expected);
}

void TestWorkbook::columnEditsMoveReferences_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("insert inside") << QStringLiteral("A2") << true << 4 << 2 << QStringLiteral("SUM(C5:G5)");
    QTest::newRow("insert at the start") << QStringLiteral("A2") << true << 3 << 1 << QStringLiteral("SUM(D5:F5)");
    QTest::newRow("insert just after") << QStringLiteral("A2") << true << 6 << 1 << QStringLiteral("SUM(C5:E5)");
    QTest::newRow("single and absolute") << QStringLiteral("A3") << true << 4 << 1 << QStringLiteral("E5+$F$5");
    QTest::newRow("delete inside") << QStringLiteral("A2") << false << 4 << 1 << QStringLiteral("SUM(C5:D5)");
    QTest::newRow("delete a referenced column") << QStringLiteral("A3") << false << 4 << 1 << QStringLiteral("#REF!+$D$5");
}

void TestWorkbook::columnEditsMoveReferences()
{
    QFETCH(QString, cell);
    QFETCH(bool, insert);
    QFETCH(int, at);
    QFETCH(int, count);
    QFETCH(QString, expected);
    const QString fixture = perlFixture();
    QVERIFY2(!fixture.isEmpty(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    Workbook wb;
    wb.open(fixture);
    if (insert)
        wb.insertColumns(at, count);
    else
        wb.deleteColumns(at, count);
    QCOMPARE(wb.formulaText(cell.mid(1).toInt(), 1), expected);
}

void TestWorkbook::formulaCellsMoveWithTheirRows()
{
    const QString fixture = perlFixture();
    QVERIFY2(!fixture.isEmpty(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    Workbook wb;
    wb.open(fixture);
    QCOMPARE(wb.formulaText(10, 1), QStringLiteral("A6"));
    wb.insertRows(7, 2);
    QVERIFY(!wb.isFormula(10, 1));
    QCOMPARE(wb.formulaText(12, 1), QStringLiteral("A6"));
    QCOMPARE(wb.cellText(9, 1), QStringLiteral("2"));   // A7 moved to A9
    QCOMPARE(wb.cellText(10, 1), QStringLiteral("3"));  // A8 moved to A10
    wb.insertRows(5, 1);
    QCOMPARE(wb.formulaText(13, 1), QStringLiteral("A7"));
    wb.deleteRows(1, 1);
    QCOMPARE(wb.formulaText(12, 1), QStringLiteral("A6"));
    QCOMPARE(wb.lastRow(), 12);
}

void TestWorkbook::namesAndMergesFollowEdits_data()
{
    QTest::addColumn<int>("edit"); // 0 insert rows, 1 delete rows, 2 insert columns, 3 delete columns
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("printArea");
    QTest::addColumn<QString>("printTitles");
    QTest::addColumn<QString>("merge"); // "r1,c1:r2,c2" or "" when gone
    QTest::newRow("rows inside") << 0 << 7 << 1 << QStringLiteral("Date!$A$1:$H$13") << QStringLiteral("Date!$A$5:$IV$6") << QStringLiteral("6,3:8,4");
    QTest::newRow("rows at the merge") << 0 << 6 << 2 << QStringLiteral("Date!$A$1:$H$14") << QStringLiteral("Date!$A$5:$IV$8") << QStringLiteral("8,3:9,4");
    QTest::newRow("rows above the titles") << 0 << 2 << 1 << QStringLiteral("Date!$A$1:$H$13") << QStringLiteral("Date!$A$6:$IV$7") << QStringLiteral("7,3:8,4");
    QTest::newRow("rows after everything") << 0 << 13 << 4 << QStringLiteral("Date!$A$1:$H$12") << QStringLiteral("Date!$A$5:$IV$6") << QStringLiteral("6,3:7,4");
    QTest::newRow("delete a merged row") << 1 << 6 << 1 << QStringLiteral("Date!$A$1:$H$11") << QStringLiteral("Date!$A$5:$IV$5") << QStringLiteral("6,3:6,4");
    QTest::newRow("delete the merge") << 1 << 6 << 2 << QStringLiteral("Date!$A$1:$H$10") << QStringLiteral("Date!$A$5:$IV$5") << QStringLiteral("");
    QTest::newRow("columns inside") << 2 << 4 << 1 << QStringLiteral("Date!$A$1:$I$12") << QStringLiteral("Date!$A$5:$IV$6") << QStringLiteral("6,3:7,5");
    QTest::newRow("delete a merged column") << 3 << 3 << 1 << QStringLiteral("Date!$A$1:$G$12") << QStringLiteral("Date!$A$5:$IV$6") << QStringLiteral("6,3:7,3");
}

void TestWorkbook::namesAndMergesFollowEdits()
{
    QFETCH(int, edit);
    QFETCH(int, at);
    QFETCH(int, count);
    QFETCH(QString, printArea);
    QFETCH(QString, printTitles);
    QFETCH(QString, merge);
    const QString fixture = perlFixture();
    QVERIFY2(!fixture.isEmpty(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    Workbook wb;
    wb.open(fixture);
    switch (edit) {
    case 0: wb.insertRows(at, count); break;
    case 1: wb.deleteRows(at, count); break;
    case 2: wb.insertColumns(at, count); break;
    case 3: wb.deleteColumns(at, count); break;
    }
    QString area, titles;
    for (const DefinedName &n : wb.definedNames()) {
        if (n.name == QLatin1String("Print_Area"))
            area = n.formula;
        if (n.name == QLatin1String("Print_Titles"))
            titles = n.formula;
    }
    QCOMPARE(area, printArea);
    QCOMPARE(titles, printTitles);
    QStringList merges;
    for (const CellRange &m : wb.mergedRanges())
        merges << QStringLiteral("%1,%2:%3,%4").arg(m.firstRow).arg(m.firstColumn).arg(m.lastRow).arg(m.lastColumn);
    QCOMPARE(merges.join(QLatin1Char(' ')), merge);
}

void TestWorkbook::rowCopiesGrowTotals()
{
    Workbook wb;
    wb.open(templatePath(QStringLiteral("Rap1")));
    QCOMPARE(wb.formulaText(8, 7), QStringLiteral("SUM(G6:G7)"));
    wb.copyRows(7, 7, 7, 3);
    for (int r = 7; r <= 10; ++r) {
        QCOMPARE(wb.cellText(r, 2), QStringLiteral("#NUME"));
        QCOMPARE(wb.cellText(r, 8), QStringLiteral("#DBF"));
        QCOMPARE(wb.formatIndex(r, 7), wb.formatIndex(7, 7));
        QCOMPARE(wb.rowHeight(r), wb.rowHeight(7));
    }
    QCOMPARE(wb.cellText(11, 6), QStringLiteral("TOTAL"));
    QCOMPARE(wb.formulaText(11, 7), QStringLiteral("SUM(G6:G10)"));
    QCOMPARE(wb.lastRow(), 11);
    for (const DefinedName &n : wb.definedNames())
        if (n.name == QLatin1String("Print_Area"))
            QCOMPARE(n.formula, QStringLiteral("Raport!$A$1:$G$11"));

    // Receipt: the line total of each copy adds its own row; the column sums grow.
    Workbook receipt;
    receipt.open(templatePath(QStringLiteral("ModelChitanta")));
    receipt.copyRows(14, 14, 14, 2);
    QCOMPARE(receipt.formulaText(14, 6), QStringLiteral("C14+D14+E14"));
    QCOMPARE(receipt.formulaText(15, 6), QStringLiteral("C15+D15+E15"));
    QCOMPARE(receipt.formulaText(16, 6), QStringLiteral("C16+D16+E16"));
    QCOMPARE(receipt.formulaText(17, 3), QStringLiteral("SUM(C13:C16)"));
    // The lower copy moved down and still adds its own rows.
    QCOMPARE(receipt.formulaText(37, 6), QStringLiteral("C37+D37+E37"));
    QCOMPARE(receipt.formulaText(38, 4), QStringLiteral("SUM(D36:D37)"));
}

void TestWorkbook::rowBlockCopiesChainBalances()
{
    // The cash book appends a copy of the day block below the last one for each day.
    Workbook wb;
    wb.open(templatePath(QStringLiteral("RegCasa")));
    wb.copyRows(11, 16, 17, 1);
    QCOMPARE(wb.cellText(18, 1), QStringLiteral("Data"));
    QCOMPARE(wb.cellText(21, 2), QStringLiteral("#DOCJUSNR"));
    QCOMPARE(wb.formulaText(19, 3), QStringLiteral("C16"));         // carries the previous day's final balance
    QCOMPARE(wb.formulaText(22, 3), QStringLiteral("C19+E22-F22"));
    QCOMPARE(wb.formulaText(22, 5), QStringLiteral("SUM(E20:E21)"));
    QCOMPARE(wb.formulaText(24, 5), QStringLiteral("E5+SUM(E8:E23)/2")); // the final row moved and grew
    QVERIFY(wb.mergedRanges().contains(CellRange{21, 21, 2, 3}));
    QVERIFY(wb.mergedRanges().contains(CellRange{15, 15, 2, 3}));
    wb.copyRows(17, 22, 23, 1);
    QCOMPARE(wb.formulaText(25, 3), QStringLiteral("C22"));
    QCOMPARE(wb.formulaText(30, 5), QStringLiteral("E5+SUM(E8:E29)/2"));
    QCOMPARE(wb.mergedRanges().size(), 10); // two merged rows per day block
}

void TestWorkbook::columnBlockCopiesWidenYearBlocks()
{
    Workbook wb;
    wb.open(templatePath(QStringLiteral("Bilant")));
    const int width = wb.columnWidth(12);
    wb.copyColumns(11, 16, 17, 3); // five years: three more blocks after K:P
    for (int k = 0; k < 5; ++k) {
        const int first = 5 + 6 * k;
        QCOMPARE(wb.cellText(5, first), QStringLiteral("Anul"));
        QVERIFY2(wb.mergedRanges().contains(CellRange{5, 5, first, first + 5}), qPrintable(QString::number(k)));
        QCOMPARE(wb.cellText(6, first + 5), QStringLiteral("Sold final"));
        QCOMPARE(wb.formulaText(8, first), k == 0 ? QStringLiteral("SUM(E6:E7)") : wb.formulaText(8, first));
    }
    // Block 2 (Q:V) carries P7; block 4 (AC:AH) carries AB7.
    QCOMPARE(wb.formulaText(7, 18), QStringLiteral("P7"));
    QCOMPARE(wb.formulaText(7, 22), QStringLiteral("R7+S7-T7-U7"));
    QCOMPARE(wb.formulaText(7, 30), QStringLiteral("AB7"));
    QCOMPARE(wb.formulaText(7, 34), QStringLiteral("AD7+AE7-AF7-AG7"));
    QCOMPARE(wb.formulaText(8, 34), QStringLiteral("SUM(AH6:AH7)"));
    QCOMPARE(wb.columnWidth(30), width);
    for (const DefinedName &n : wb.definedNames())
        if (n.name == QLatin1String("Print_Area"))
            QCOMPARE(n.formula, QStringLiteral("Bilant!$A$1:$AI$8"));

    // The collections summary copies one column in front of itself for each more year.
    Workbook years;
    years.open(templatePath(QStringLiteral("ChitAn")));
    years.copyColumns(7, 7, 7, 2);
    for (int c = 7; c <= 9; ++c) {
        const QString col(QChar('A' + c - 1));
        QCOMPARE(years.cellText(5, c), QStringLiteral("ANUL"));
        QCOMPARE(years.cellText(7, c), QStringLiteral("#SUMA"));
        QCOMPARE(years.formulaText(8, c), QString(QStringLiteral("SUM(") + col + QStringLiteral("6:") + col + QStringLiteral("7)")));
        QVERIFY(years.mergedRanges().contains(CellRange{5, 6, c, c}));
        QCOMPARE(years.formatIndex(7, c), years.formatIndex(7, 7));
    }
    QCOMPARE(years.cellText(7, 10), QStringLiteral("#DBF"));
    for (const DefinedName &n : years.definedNames())
        if (n.name == QLatin1String("Print_Area"))
            QCOMPARE(n.formula, QStringLiteral("Incasari!$A$1:$I$8"));

    // One year only: the second block goes.
    Workbook one;
    one.open(templatePath(QStringLiteral("Bilant")));
    one.deleteColumns(11, 6);
    QCOMPARE(one.lastColumn(), 10);
    QCOMPARE(one.formulaText(8, 10), QStringLiteral("SUM(J6:J7)"));
    QVERIFY(!one.mergedRanges().contains(CellRange{5, 5, 11, 16}));
    for (const DefinedName &n : one.definedNames())
        if (n.name == QLatin1String("Print_Area"))
            QCOMPARE(n.formula, QStringLiteral("Bilant!$A$1:$K$8"));
}

void TestWorkbook::deletingBlocksShrinksReferences()
{
    Workbook wb;
    wb.open(templatePath(QStringLiteral("RegCasa")));
    wb.deleteRows(11, 6);
    QCOMPARE(wb.formulaText(12, 5), QStringLiteral("E5+SUM(E8:E11)/2"));
    QCOMPARE(wb.cellText(14, 2), QStringLiteral("CASIER,"));
    QCOMPARE(wb.mergedRanges().size(), 4);
    for (const DefinedName &n : wb.definedNames())
        if (n.name == QLatin1String("Print_Area"))
            QCOMPARE(n.formula, QStringLiteral("RegCasa!$A$1:$F$14"));
}

void TestWorkbook::writingKeepsFormats()
{
    Workbook wb;
    wb.open(templatePath(QStringLiteral("BordInc")));
    const int dateXf = wb.formatIndex(7, 6);
    const int sumXf = wb.formatIndex(7, 8);
    QCOMPARE(wb.numberFormat(7, 6).remove(QLatin1Char('\\')), QStringLiteral("dd.mm.yyyy"));
    wb.setCell(7, 6, QDate(2024, 11, 29));
    wb.setCell(7, 8, 12.5);
    wb.setCell(7, 2, QStringLiteral("0012"));
    wb.setCell(7, 7, QString());
    QCOMPARE(wb.cellValue(7, 6).toDouble(), 45625.0);
    QCOMPARE(wb.formatIndex(7, 6), dateXf);
    QCOMPARE(wb.formatIndex(7, 8), sumXf);
    QCOMPARE(wb.cellValue(7, 2).toString(), QStringLiteral("0012"));
    QVERIFY(!wb.cellValue(7, 7).isValid());
    // Writing over a formula replaces it.
    wb.setCell(8, 8, 3);
    QVERIFY(!wb.isFormula(8, 8));
    // A new cell takes the format of its column or row, else the default.
    wb.setCell(40, 30, QStringLiteral("nou"));
    QCOMPARE(wb.cellText(40, 30), QStringLiteral("nou"));
    const QString out = m_dir.filePath(QStringLiteral("formats.xls"));
    wb.saveAs(out);
    QString error;
    const QString dump = xlrdDump(out, &error);
    QVERIFY2(!dump.isNull(), qPrintable(error));
    QVERIFY(dump.contains(QStringLiteral("7,6|n:45625|xf%1").arg(dateXf)));
    QVERIFY(dump.contains(QStringLiteral("7,8|n:12.5|xf%1").arg(sumXf)));
    QVERIFY(dump.contains(QStringLiteral("7,2|s:0012|")));
    QVERIFY(dump.contains(QStringLiteral("40,30|s:nou|")));
}

void TestWorkbook::refusesToOverwriteAndToOverflow()
{
    Workbook wb;
    wb.open(templatePath(QStringLiteral("Rap1")));
    const QString out = m_dir.filePath(QStringLiteral("exists.xls"));
    QFile f(out);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    try {
        wb.saveAs(out);
        QFAIL("overwrote");
    } catch (const XlsError &e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Fisierul %1 exista deja si nu va fi suprascris.").arg(QDir::toNativeSeparators(out)));
    }
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
    f.close();
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.saveAs(m_dir.filePath(QStringLiteral("no/such/folder/x.xls"))));
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files).size(), 0);

    // Pushing filled cells off the sheet is refused and changes nothing.
    const QByteArray before = wb.workbookStream();
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.insertRows(1, 65530));
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.copyRows(7, 7, 7, 65530));
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.insertColumns(2, 250));
    QCOMPARE(wb.workbookStream(), before);
    // Below the last cell there is room.
    wb.insertRows(100, 60000);
    QCOMPARE(wb.lastRow(), 8);
}

void TestWorkbook::perlWorkbookWithLongStringsRoundTrips()
{
    QVERIFY2(havePerlWriteExcel(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    QString error;
    const QString path = perlWorkbook(m_dir.path(), QStringLiteral("long.xls"), QStringLiteral(R"PL(
my $s = $wb->add_worksheet('Lung');
$s->write('A1', 'x' x 10000);
$s->write_utf16le_string('A2', pack('v*', (0x0219, 0x0103) x 6000));
for my $i (3 .. 2000) { $s->write("A$i", "text $i " . ('y' x ($i % 50))); $s->write("B$i", $i * 1.5); }
$s->write_formula('C1', '=SUM(B3:B2000)');
)PL"),
                                    &error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));
    Workbook wb;
    wb.open(path);
    QCOMPARE(wb.cellText(1, 1), QString(10000, QLatin1Char('x')));
    QString wide;
    for (int i = 0; i < 6000; ++i)
        wide += QString(QChar(0x0219)) + QChar(0x0103);
    QCOMPARE(wb.cellText(2, 1), wide);
    QCOMPARE(wb.cellText(1999, 1), QStringLiteral("text 1999 ") + QString(1999 % 50, QLatin1Char('y')));
    wb.copyRows(3, 3, 3, 1);
    wb.setCell(3, 1, QString(wide + QStringLiteral("!")));
    const QString out = m_dir.filePath(QStringLiteral("long-out.xls"));
    wb.saveAs(out);
    Workbook back;
    back.open(out);
    QCOMPARE(back.cellText(1, 1), QString(10000, QLatin1Char('x')));
    QCOMPARE(back.cellText(2, 1), wide);
    QCOMPARE(back.cellText(3, 1), wide + QStringLiteral("!"));
    QCOMPARE(back.formulaText(1, 3), QStringLiteral("SUM(B4:B2001)")); // copies went in at its first row
    const QString dump = xlrdDump(out, &error);
    QVERIFY2(!dump.isNull(), qPrintable(error));
    QCOMPARE(dump, engineDump(back));
}

void TestWorkbook::manyMergesSpanSeveralRecords()
{
    QVERIFY2(havePerlWriteExcel(), "Spreadsheet::WriteExcel (libspreadsheet-writeexcel-perl) is needed");
    QString error;
    const QString path = perlWorkbook(m_dir.path(), QStringLiteral("merges.xls"), QStringLiteral(R"PL(
my $s = $wb->add_worksheet('Imbinari');
my $fmt = $wb->add_format(border => 1);
for my $i (1 .. 1500) { $s->merge_range("A$i:B$i", "m$i", $fmt); }
)PL"),
                                    &error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));
    Workbook wb;
    wb.open(path);
    QCOMPARE(wb.mergedRanges().size(), 1500);
    wb.copyRows(1, 1, 1, 10);
    wb.deleteRows(20, 3);
    QCOMPARE(wb.mergedRanges().size(), 1507);
    QVERIFY(wb.mergedRanges().contains(CellRange{1507, 1507, 1, 2}));
    QCOMPARE(wb.cellText(1507, 1), QStringLiteral("m1500"));
    const QString out = m_dir.filePath(QStringLiteral("merges-out.xls"));
    wb.saveAs(out);
    Workbook back;
    back.open(out);
    QCOMPARE(back.mergedRanges().size(), 1507);
    const QString dump = xlrdDump(out, &error);
    QVERIFY2(!dump.isNull(), qPrintable(error));
    QCOMPARE(dump.count(QStringLiteral("merge|")), 1507);
    QCOMPARE(dump, engineDump(back));
}

void TestWorkbook::libreOfficeWorkbookWithSharedFormulasIsFilled()
{
    QVERIFY2(!soffice().isEmpty(), "LibreOffice (libreoffice-calc-nogui) is needed");
    // A sheet as LibreOffice writes it: formulas filled down become shared formulas.
    const QString dir = m_dir.filePath(QStringLiteral("lo"));
    QDir().mkpath(dir);
    QFile csv(dir + QStringLiteral("/lista.csv"));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    QByteArray text = "Nume,Cant,Pret,Valoare\n";
    for (int i = 2; i <= 40; ++i)
        text += "Produs " + QByteArray::number(i) + "," + QByteArray::number(i) + ",2.5,=B" + QByteArray::number(i)
            + "*C" + QByteArray::number(i) + "\n";
    text += "TOTAL,,,=SUM(D1:D40)\n";
    text += QString(QString(9000, QChar(0x0103)) + QStringLiteral(",,,\n")).toUtf8();
    csv.write(text);
    csv.close();
    QString error;
    QVERIFY2(sofficeConvert({csv.fileName()}, QStringLiteral("xls:MS Excel 97"), dir, &error, QStringLiteral("CSV:44,34,76")),
             qPrintable(error));
    Workbook wb;
    wb.open(dir + QStringLiteral("/lista.xls"));
    QCOMPARE(wb.formulaText(2, 4), QStringLiteral("B2*C2"));
    QCOMPARE(wb.formulaText(30, 4), QStringLiteral("B30*C30"));
    QCOMPARE(wb.formulaText(41, 4), QStringLiteral("SUM(D1:D40)"));
    QCOMPARE(wb.cellText(42, 1), QString(9000, QChar(0x0103)));
    // Fill: ten more product rows copied from row 40, values changed.
    wb.copyRows(40, 40, 40, 10);
    for (int r = 40; r <= 50; ++r) {
        wb.setCell(r, 1, QStringLiteral("Nou %1").arg(r));
        wb.setCell(r, 2, r);
    }
    QCOMPARE(wb.formulaText(45, 4), QStringLiteral("B45*C45"));
    QCOMPARE(wb.formulaText(51, 4), QStringLiteral("SUM(D1:D50)"));
    const QString out = dir + QStringLiteral("/umplut.xls");
    wb.saveAs(out);
    const QString dump = xlrdDump(out, &error);
    QVERIFY2(!dump.isNull(), qPrintable(error));
    QVERIFY(dump.contains(QStringLiteral("52,1|s:") + QString(9000, QChar(0x0103))));
    // LibreOffice computes the formulas of our output.
    QVERIFY2(sofficeConvert({out}, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), dir, &error),
             qPrintable(error));
    const QList<QStringList> rows = readCsv(dir + QStringLiteral("/umplut.csv"));
    QVERIFY(rows.size() >= 51);
    double expected = 0;
    for (int r = 2; r <= 39; ++r)
        expected += r * 2.5;
    for (int r = 40; r <= 50; ++r)
        expected += r * 2.5;
    QCOMPARE(rows[44][3].toDouble(), 45 * 2.5);
    QCOMPARE(rows[50][3].toDouble(), expected);
}

void TestWorkbook::damagedBytesNeverCrash()
{
    // Random damage to real files must end in a clean error or a workbook that saves.
    QRandomGenerator rng(20241129);
    int opened = 0;
    for (const QString &name : templateNames()) {
        QFile f(templatePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        for (int round = 0; round < 60; ++round) {
            QByteArray bytes = original;
            const int hits = 1 + int(rng.bounded(8));
            for (int h = 0; h < hits; ++h) {
                const int pos = int(rng.bounded(quint32(bytes.size())));
                bytes[pos] = char(rng.bounded(256));
            }
            if (round % 10 == 9)
                bytes.truncate(int(rng.bounded(quint32(bytes.size()))));
            Workbook wb;
            try {
                wb.openBytes(bytes);
            } catch (const XlsError &) {
                continue;
            }
            ++opened;
            try {
                wb.lastRow();
                wb.copyRows(2, 3, 2, 2);
                wb.insertColumns(2, 1);
                wb.deleteRows(1, 2);
                wb.workbookStream();
            } catch (const XlsError &) {
            }
        }
    }
    QVERIFY(opened > 0);
}

void TestWorkbook::lastColumnOfOneRow()
{
    Workbook wb;
    wb.open(templatePath(QStringLiteral("Bilant")));
    const int widest = wb.lastColumn();
    const int row = wb.lastRow() + 2;
    QCOMPARE(wb.lastColumnInRow(row), 0);
    wb.setCell(row, 3, QStringLiteral("x"));
    QCOMPARE(wb.lastColumnInRow(row), 3);
    wb.setCell(row, widest + 4, 7);
    QCOMPARE(wb.lastColumnInRow(row), widest + 4);
    QCOMPARE(wb.lastColumn(), widest + 4);
    QVERIFY(wb.lastColumnInRow(row - 2) <= widest);
    QCOMPARE(wb.lastColumnInRow(row + 100), 0);
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
