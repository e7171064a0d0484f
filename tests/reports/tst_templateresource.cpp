// The seven templates carried by the program, read from the embedded resources: every
// cell, merge, formula and number format that the reports rely on, and the print
// settings that make them print like documents of a town hall.

#include "reports/templateresource.h"
#include "xls/workbook.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

namespace {

// One expected cell: its content ("text", "=FORMULA" or "n:NUMBER"), the merged range it
// starts (or empty) and its number format (or empty when any format will do).
struct Expect
{
    const char *tpl;
    const char *cell;
    const char *content;
    const char *merge;
    const char *format;
};

const Expect Expected[] = {
    // Subscriber list
    {"Rap1", "A2", "LISTA ABONATI - NUMAR DE PERSOANE", "A2:G2", ""},
    {"Rap1", "A3", "[Data]", "A3:G3", ""},
    {"Rap1", "A5", "Nr. crt.", "A5:A6", ""},
    {"Rap1", "B5", "Nume si prenume titular", "B5:B6", ""},
    {"Rap1", "C5", "Adresa", "C5:E5", ""},
    {"Rap1", "C6", "Localitatea", "", ""},
    {"Rap1", "D6", "Strada", "", ""},
    {"Rap1", "E6", "Nr.", "", ""},
    {"Rap1", "F5", "C.N.P.", "F5:F6", ""},
    {"Rap1", "G5", "Nr. pers.", "G5:G6", ""},
    {"Rap1", "A7", "%NRCRT", "", "0"},
    {"Rap1", "B7", "#NUME", "", ""},
    {"Rap1", "C7", "#LOC", "", ""},
    {"Rap1", "D7", "#STRADA", "", ""},
    {"Rap1", "E7", "#NR", "", "@"},
    {"Rap1", "F7", "#CNP", "", "@"},
    {"Rap1", "G7", "#NRPERS", "", "0"},
    {"Rap1", "H7", "#DBF", "", ""},
    {"Rap1", "F8", "TOTAL", "", ""},
    {"Rap1", "G8", "=SUM(G6:G7)", "", "0"},
    // Collection list
    {"BordInc", "A1", "[UAT]", "", ""},
    {"BordInc", "A2", "BORDEROU INCASARI", "A2:H2", ""},
    {"BordInc", "A3", "[perioada]", "A3:H3", ""},
    {"BordInc", "A5", "Nr. crt.", "A5:A6", ""},
    {"BordInc", "B5", "ROL", "B5:B6", ""},
    {"BordInc", "C5", "Document justificativ", "C5:F5", ""},
    {"BordInc", "C6", "Tip", "", ""},
    {"BordInc", "D6", "Seria", "", ""},
    {"BordInc", "E6", "Numar", "", ""},
    {"BordInc", "F6", "Data", "", ""},
    {"BordInc", "G5", "Nume si prenume", "G5:G6", ""},
    {"BordInc", "H5", "Suma", "H5:H6", ""},
    {"BordInc", "A7", "%NRCRT", "", ""},
    {"BordInc", "B7", "#ROL", "", "@"},
    {"BordInc", "C7", "#DOCJUS", "", ""},
    {"BordInc", "D7", "#DOCSERIA", "", ""},
    {"BordInc", "E7", "#DOCNR", "", ""},
    {"BordInc", "F7", "#DOCDATA", "", "dd.mm.yyyy"},
    {"BordInc", "G7", "#NUME", "", ""},
    {"BordInc", "H7", "#SUMA", "", "0.00"},
    {"BordInc", "I7", "#DBF", "", ""},
    {"BordInc", "G8", "TOTAL", "", ""},
    {"BordInc", "H8", "=SUM(H6:H7)", "", "0.00"},
    // Yearly balance
    {"Bilant", "A1", "[UAT]", "", ""},
    {"Bilant", "A3", "BILANT ANUAL VESTRONIA", "A3:D3", ""},
    {"Bilant", "A5", "Nr. crt.", "A5:A6", ""},
    {"Bilant", "B5", "ROL", "B5:B6", ""},
    {"Bilant", "C5", "Nume si prenume", "C5:C6", ""},
    {"Bilant", "D5", "CNP/CUI", "D5:D6", ""},
    {"Bilant", "E5", "Anul", "E5:J5", ""},
    {"Bilant", "K5", "Anul", "K5:P5", ""},
    {"Bilant", "E6", "Nr. pers.", "", ""},
    {"Bilant", "F6", "L.R.", "", ""},
    {"Bilant", "G6", "Debit", "", ""},
    {"Bilant", "H6", "Incasari", "", ""},
    {"Bilant", "I6", "Scaderi", "", ""},
    {"Bilant", "J6", "Sold final", "", ""},
    {"Bilant", "K6", "Nr. pers.", "", ""},
    {"Bilant", "L6", "L.R.", "", ""},
    {"Bilant", "M6", "Debit", "", ""},
    {"Bilant", "N6", "Incasari", "", ""},
    {"Bilant", "O6", "Scaderi", "", ""},
    {"Bilant", "P6", "Sold final", "", ""},
    {"Bilant", "E7", "n:0", "", "0"},
    {"Bilant", "F7", "n:0", "", "0.00"},
    {"Bilant", "G7", "n:0", "", "0.00"},
    {"Bilant", "H7", "n:0", "", "0.00"},
    {"Bilant", "I7", "n:0", "", "0.00"},
    {"Bilant", "J7", "=F7+G7-H7-I7", "", "0.00"},
    {"Bilant", "K7", "n:0", "", "0"},
    {"Bilant", "L7", "=J7", "", "0.00"},
    {"Bilant", "M7", "n:0", "", "0.00"},
    {"Bilant", "N7", "n:0", "", "0.00"},
    {"Bilant", "O7", "n:0", "", "0.00"},
    {"Bilant", "P7", "=L7+M7-N7-O7", "", "0.00"},
    {"Bilant", "D8", "TOTAL", "", ""},
    {"Bilant", "E8", "=SUM(E6:E7)", "", ""},
    {"Bilant", "F8", "=SUM(F6:F7)", "", ""},
    {"Bilant", "G8", "=SUM(G6:G7)", "", ""},
    {"Bilant", "H8", "=SUM(H6:H7)", "", ""},
    {"Bilant", "I8", "=SUM(I6:I7)", "", ""},
    {"Bilant", "J8", "=SUM(J6:J7)", "", ""},
    {"Bilant", "K8", "=SUM(K6:K7)", "", ""},
    {"Bilant", "L8", "=SUM(L6:L7)", "", ""},
    {"Bilant", "M8", "=SUM(M6:M7)", "", ""},
    {"Bilant", "N8", "=SUM(N6:N7)", "", ""},
    {"Bilant", "O8", "=SUM(O6:O7)", "", ""},
    {"Bilant", "P8", "=SUM(P6:P7)", "", ""},
    // Follow-up summary
    {"CenIns", "A1", "[Unitate]", "", ""},
    {"CenIns", "A2", "[TIPACT]", "A2:J2", ""},
    {"CenIns", "A3", "eliberate in perioada [perioada]", "A3:J3", ""},
    {"CenIns", "A5", "Nr. crt.", "A5:A6", ""},
    {"CenIns", "B5", "Numar", "B5:B6", ""},
    {"CenIns", "C5", "Data", "C5:C6", ""},
    {"CenIns", "D5", "Abonat", "D5:D6", ""},
    {"CenIns", "E5", "ROL", "E5:E6", ""},
    {"CenIns", "F5", "C.N.P.", "F5:F6", ""},
    {"CenIns", "G5", "Localitatea", "G5:G6", ""},
    {"CenIns", "H5", "Strada", "H5:H6", ""},
    {"CenIns", "I5", "Nr.", "I5:I6", ""},
    {"CenIns", "J5", "Suma totala", "J5:J6", ""},
    {"CenIns", "A7", "%NRCRT", "", ""},
    {"CenIns", "B7", "#UNR", "", ""},
    {"CenIns", "C7", "#UDATA", "", "dd.mm.yyyy"},
    {"CenIns", "D7", "#NUME", "", ""},
    {"CenIns", "E7", "#ROL", "", ""},
    {"CenIns", "F7", "#CNP", "", ""},
    {"CenIns", "G7", "#LOC", "", ""},
    {"CenIns", "H7", "#STRADA", "", ""},
    {"CenIns", "I7", "#NR", "", ""},
    {"CenIns", "J7", "#TOTAL", "", "0.00"},
    {"CenIns", "K7", "#DBF", "", ""},
    {"CenIns", "H8", "TOTAL", "H8:I8", ""},
    {"CenIns", "J8", "=SUM(J5:J7)", "", "0.00"},
    // Collections per debit year
    {"ChitAn", "B2", "Centralizator incasari", "", ""},
    {"ChitAn", "B3", "in anul [Anul]", "", ""},
    {"ChitAn", "A5", "Nr. crt.", "A5:A6", ""},
    {"ChitAn", "B5", "ROL", "B5:B6", ""},
    {"ChitAn", "C5", "Nume si prenume", "C5:C6", ""},
    {"ChitAn", "D5", "CNP", "D5:D6", ""},
    {"ChitAn", "E5", "Strada", "E5:E6", ""},
    {"ChitAn", "F5", "Nr.", "F5:F6", ""},
    {"ChitAn", "G5", "ANUL", "G5:G6", ""},
    {"ChitAn", "A7", "%NRCRT", "", ""},
    {"ChitAn", "B7", "#ROL", "", ""},
    {"ChitAn", "C7", "#NUME", "", ""},
    {"ChitAn", "D7", "#CNP", "", ""},
    {"ChitAn", "E7", "#Strada", "", "@"},
    {"ChitAn", "F7", "#Nr", "", "@"},
    {"ChitAn", "G7", "#SUMA", "", "0.00"},
    {"ChitAn", "H7", "#DBF", "", ""},
    {"ChitAn", "F8", "TOTAL", "", ""},
    {"ChitAn", "G8", "=SUM(G6:G7)", "", "0.00"},
    // Cash register book
    {"RegCasa", "A1", "[SC]", "A1:F1", ""},
    {"RegCasa", "A2", "REGISTRU DE CASA", "A2:F2", ""},
    {"RegCasa", "A3", "[perioada]", "", ""},
    {"RegCasa", "D5", "Initial", "", ""},
    {"RegCasa", "E5", "[II]", "", "0.00"},
    {"RegCasa", "F5", "[PI]", "", "0.00"},
    {"RegCasa", "A6", "Data", "", ""},
    {"RegCasa", "B6", "[ZIUA]", "", "dd.mm.yyyy"},
    {"RegCasa", "A7", "Sold precedent", "", ""},
    {"RegCasa", "C7", "[SP]", "", "0.00"},
    {"RegCasa", "A8", "Nr. crt.", "", ""},
    {"RegCasa", "B8", "Document justificativ", "", ""},
    {"RegCasa", "D8", "Explicatii", "", ""},
    {"RegCasa", "E8", "Incasari", "", ""},
    {"RegCasa", "F8", "Plati", "", ""},
    {"RegCasa", "A9", "%NRCRT", "", ""},
    {"RegCasa", "B9", "#DOCJUSNR", "", ""},
    {"RegCasa", "D9", "#REPREZ", "", ""},
    {"RegCasa", "E9", "#INCASAT", "", "0.00"},
    {"RegCasa", "F9", "#PLATIT", "", "0.00"},
    {"RegCasa", "G9", "#DBF", "", ""},
    {"RegCasa", "A10", "Sold final", "", ""},
    {"RegCasa", "C10", "=C7+E10-F10", "", "0.00"},
    {"RegCasa", "D10", "TOTAL", "", ""},
    {"RegCasa", "E10", "=SUM(E8:E9)", "", "0.00"},
    {"RegCasa", "F10", "=SUM(F8:F9)", "", "0.00"},
    {"RegCasa", "A12", "Data", "", ""},
    {"RegCasa", "B12", "[ZIUA]", "", "dd.mm.yyyy"},
    {"RegCasa", "A13", "Sold precedent", "", ""},
    {"RegCasa", "C13", "=C10", "", "0.00"},
    {"RegCasa", "A14", "Nr. crt.", "", ""},
    {"RegCasa", "B14", "Document justificativ", "", ""},
    {"RegCasa", "D14", "Explicatii", "", ""},
    {"RegCasa", "E14", "Incasari", "", ""},
    {"RegCasa", "F14", "Plati", "", ""},
    {"RegCasa", "A15", "%NRCRT", "", ""},
    {"RegCasa", "B15", "#DOCJUSNR", "", ""},
    {"RegCasa", "D15", "#REPREZ", "", ""},
    {"RegCasa", "E15", "#INCASAT", "", "0.00"},
    {"RegCasa", "F15", "#PLATIT", "", "0.00"},
    {"RegCasa", "G15", "#DBF", "", ""},
    {"RegCasa", "A16", "Sold final", "", ""},
    {"RegCasa", "C16", "=C13+E16-F16", "", "0.00"},
    {"RegCasa", "D16", "TOTAL", "", ""},
    {"RegCasa", "E16", "=SUM(E14:E15)", "", "0.00"},
    {"RegCasa", "F16", "=SUM(F14:F15)", "", "0.00"},
    {"RegCasa", "D18", "Final", "", ""},
    // The sum starts at the header row, so lines inserted at the first data row count.
    {"RegCasa", "E18", "=E5+SUM(E8:E17)/2", "", "0.00"},
    {"RegCasa", "F18", "=F5+SUM(F8:F17)/2", "", "0.00"},
    {"RegCasa", "B20", "CASIER,", "", ""},
    {"RegCasa", "D20", "Compartiment financiar contabil,", "", ""},
};

// The receipt twice: rows 1-17 and the same cells 21 rows lower.
const Expect ReceiptCopy[] = {
    {"ModelChitanta", "A1", "#UNITATE", "", ""},
    {"ModelChitanta", "A2", "#LOCALIT", "", ""},
    {"ModelChitanta", "A3", "Judet:", "", ""},
    {"ModelChitanta", "B3", "#JUDET", "", ""},
    {"ModelChitanta", "A4", "C.U.I", "", ""},
    {"ModelChitanta", "B4", ".....", "", ""},
    {"ModelChitanta", "C4", "[DOCJUS]", "", ""},
    {"ModelChitanta", "C5", "Seria", "", ""},
    {"ModelChitanta", "D5", "#DOCSERIA", "", ""},
    {"ModelChitanta", "E5", "Nr.", "", ""},
    {"ModelChitanta", "F5", "#DOCNR", "", ""},
    {"ModelChitanta", "C6", "Data", "", ""},
    {"ModelChitanta", "D6", "#DOCDATA", "", ""},
    {"ModelChitanta", "E6", "[A]", "", ""},
    {"ModelChitanta", "A7", "CONTRIBUABIL:", "", ""},
    {"ModelChitanta", "E7", "ROL", "", ""},
    {"ModelChitanta", "F7", "[ROL]", "", ""},
    {"ModelChitanta", "B8", "#NUME", "", ""},
    {"ModelChitanta", "D8", "C.N.P.", "", ""},
    {"ModelChitanta", "E8", "#CNP", "", "@"},
    {"ModelChitanta", "A9", "adresa", "", ""},
    {"ModelChitanta", "B9", "#ADRESA", "", ""},
    {"ModelChitanta", "B10", "PLATITOR:", "", ""},
    {"ModelChitanta", "C10", "#PLATITOR", "", ""},
    {"ModelChitanta", "A12", "Nr. crt.", "", ""},
    {"ModelChitanta", "B12", "Denumirea creantei", "", ""},
    {"ModelChitanta", "C12", "Sume incasare", "", ""},
    {"ModelChitanta", "C13", "Restante", "", ""},
    {"ModelChitanta", "D13", "Majorari", "", ""},
    {"ModelChitanta", "E13", "Curent", "", ""},
    {"ModelChitanta", "F13", "Total", "", ""},
    {"ModelChitanta", "A14", "%NRCRT", "", ""},
    {"ModelChitanta", "B14", "#DENUM", "", ""},
    {"ModelChitanta", "C14", "#RESTANTA", "", "0.00"},
    {"ModelChitanta", "D14", "#PENAL", "", "0.00"},
    {"ModelChitanta", "E14", "#CURENT", "", "0.00"},
    {"ModelChitanta", "F14", "=C14+D14+E14", "", "0.00"},
    {"ModelChitanta", "G14", "#DBF", "", ""},
    {"ModelChitanta", "B15", "TOTAL", "", ""},
    {"ModelChitanta", "C15", "=SUM(C13:C14)", "", "0.00"},
    {"ModelChitanta", "D15", "=SUM(D13:D14)", "", "0.00"},
    {"ModelChitanta", "E15", "=SUM(E13:E14)", "", "0.00"},
    {"ModelChitanta", "F15", "=SUM(F13:F14)", "", "0.00"},
    {"ModelChitanta", "B16", "INCASATOR,", "", ""},
    {"ModelChitanta", "C16", "Semnatura,", "", ""},
    {"ModelChitanta", "B17", ".....", "", ""},
};

struct Cell
{
    int row;
    int col;
};

Cell parseCell(const QString &ref)
{
    static const QRegularExpression re(QStringLiteral("^([A-Z]+)(\\d+)$"));
    const auto m = re.match(ref);
    int col = 0;
    for (QChar ch : m.captured(1))
        col = col * 26 + (ch.unicode() - 'A' + 1);
    return {m.captured(2).toInt(), col};
}

QString shifted(const QString &ref, int rows)
{
    static const QRegularExpression re(QStringLiteral("(\\$?[A-Z]+\\$?)(\\d+)"));
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(ref);
    while (it.hasNext()) {
        const auto m = it.next();
        out += ref.mid(last, m.capturedStart() - last) + m.captured(1) + QString::number(m.captured(2).toInt() + rows);
        last = m.capturedEnd();
    }
    return out + ref.mid(last);
}

} // namespace

class TestTemplateResource : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cellsOfTheTemplates_data();
    void cellsOfTheTemplates();
    void sheetsAndPrinting_data();
    void sheetsAndPrinting();
    void receiptCutLine();

private:
    Workbook &open(const QString &name);
    QTemporaryDir m_dir;
    std::map<QString, std::unique_ptr<Workbook>> m_books;
};

void TestTemplateResource::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

Workbook &TestTemplateResource::open(const QString &name)
{
    auto &slot = m_books[name];
    if (!slot) {
        const QString path = m_dir.filePath(name + QStringLiteral(".xls"));
        writeTemplateResource(name, path);
        slot = std::make_unique<Workbook>();
        slot->open(path);
    }
    return *slot;
}

void TestTemplateResource::cellsOfTheTemplates_data()
{
    QTest::addColumn<QString>("tpl");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("merge");
    QTest::addColumn<QString>("format");
    for (const Expect &e : Expected)
        QTest::addRow("%s %s", e.tpl, e.cell) << QString::fromLatin1(e.tpl) << QString::fromLatin1(e.cell)
                                              << QString::fromLatin1(e.content) << QString::fromLatin1(e.merge)
                                              << QString::fromLatin1(e.format);
    for (int copy = 0; copy < 2; ++copy)
        for (const Expect &e : ReceiptCopy) {
            const QString cell = shifted(QString::fromLatin1(e.cell), 21 * copy);
            QString content = QString::fromLatin1(e.content);
            if (content.startsWith(QLatin1Char('=')))
                content = shifted(content, 21 * copy);
            QTest::addRow("%s %s", e.tpl, qPrintable(cell))
                << QString::fromLatin1(e.tpl) << cell << content << QString() << QString::fromLatin1(e.format);
        }
}

void TestTemplateResource::cellsOfTheTemplates()
{
    QFETCH(QString, tpl);
    QFETCH(QString, cell);
    QFETCH(QString, content);
    QFETCH(QString, merge);
    QFETCH(QString, format);
    Workbook &wb = open(tpl);
    const Cell c = parseCell(cell);
    if (content.startsWith(QLatin1Char('='))) {
        QCOMPARE(QLatin1Char('=') + wb.formulaText(c.row, c.col), content);
    } else if (content.startsWith(QLatin1String("n:"))) {
        QVERIFY(!wb.isFormula(c.row, c.col));
        QCOMPARE(wb.cellValue(c.row, c.col), QVariant(content.mid(2).toDouble()));
    } else {
        QCOMPARE(wb.cellValue(c.row, c.col), QVariant(content));
    }
    if (!merge.isEmpty()) {
        const Cell a = parseCell(merge.section(QLatin1Char(':'), 0, 0));
        const Cell b = parseCell(merge.section(QLatin1Char(':'), 1, 1));
        QVERIFY2(wb.mergedRanges().contains(CellRange{a.row, b.row, a.col, b.col}), qPrintable(merge));
    }
    if (!format.isEmpty())
        QCOMPARE(wb.numberFormat(c.row, c.col).remove(QLatin1Char('\\')), format);
}

void TestTemplateResource::sheetsAndPrinting_data()
{
    QTest::addColumn<QString>("tpl");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("printArea");
    QTest::addColumn<int>("merges");
    QTest::newRow("Rap1") << QStringLiteral("Rap1") << QStringLiteral("Raport") << QStringLiteral("Raport!$A$1:$G$8") << 7;
    QTest::newRow("BordInc") << QStringLiteral("BordInc") << QStringLiteral("Raport") << QStringLiteral("Raport!$A$1:$H$8") << 7;
    // One empty column past the year blocks, so blocks inserted there are printed too.
    QTest::newRow("Bilant") << QStringLiteral("Bilant") << QStringLiteral("Bilant") << QStringLiteral("Bilant!$A$1:$Q$8") << 7;
    QTest::newRow("CenIns") << QStringLiteral("CenIns") << QStringLiteral("Centralizator")
                            << QStringLiteral("Centralizator!$A$1:$J$8") << 13;
    QTest::newRow("ChitAn") << QStringLiteral("ChitAn") << QStringLiteral("Incasari") << QStringLiteral("Incasari!$A$1:$G$8") << 7;
    QTest::newRow("RegCasa") << QStringLiteral("RegCasa") << QStringLiteral("RegCasa") << QStringLiteral("RegCasa!$A$1:$F$20") << 6;
    QTest::newRow("ModelChitanta") << QStringLiteral("ModelChitanta") << QStringLiteral("Chitanta")
                                   << QStringLiteral("Chitanta!$A$1:$F$38") << 6;
}

void TestTemplateResource::sheetsAndPrinting()
{
    QFETCH(QString, tpl);
    QFETCH(QString, sheet);
    QFETCH(QString, printArea);
    QFETCH(int, merges);
    Workbook &wb = open(tpl);
    QCOMPARE(wb.sheetCount(), 1);
    QCOMPARE(wb.sheetName(1), sheet);
    QCOMPARE(wb.pageFooter(), QStringLiteral("&R&9pag. &P/&N"));
    QCOMPARE(wb.mergedRanges().size(), merges);
    QString area;
    for (const DefinedName &n : wb.definedNames())
        if (n.name == QLatin1String("Print_Area"))
            area = n.formula;
    QCOMPARE(area, printArea);
    // Every printed column has a width of its own.
    const int lastPrinted = printArea.section(QLatin1Char('$'), 3, 3).size() == 1
        ? printArea.section(QLatin1Char('$'), 3, 3).at(0).unicode() - 'A' + 1
        : 17;
    for (int c = 1; c <= lastPrinted; ++c)
        QVERIFY2(wb.columnWidth(c) > 0, qPrintable(QString::number(c)));
}

void TestTemplateResource::receiptCutLine()
{
    Workbook &wb = open(QStringLiteral("ModelChitanta"));
    const QString line = wb.cellText(20, 1);
    QVERIFY(line.size() >= 40);
    QCOMPARE(line, QString(line.size(), QLatin1Char('-')));
    for (int c = 1; c <= 7; ++c)
        for (int r : {11, 18, 19, 21})
            QVERIFY(!wb.cellValue(r, c).isValid());
}

QTEST_GUILESS_MAIN(TestTemplateResource)
#include "tst_templateresource.moc"
