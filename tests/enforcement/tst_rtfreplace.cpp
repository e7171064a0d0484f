// The letter engine byte for byte: header up to "\pard", key casing, empty values,
// unsafe characters, repeated keys and duplicate groups, copies, and the templates that
// must not hang or crash it.

#include "enforcement/rtfreplace.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia::rtf;

namespace {

QByteArray fill(const std::string &templ, const std::vector<std::pair<std::string, std::string>> &keys)
{
    Replacements r;
    for (const auto &[k, v] : keys)
        r.add(k, prepareValue(v));
    const std::string out = fillTemplate(templ, r);
    return QByteArray(out.data(), qsizetype(out.size()));
}

const std::string Head = "{\\rtf1\\ansi\\ansicpg1250\n{\\fonttbl{\\f0 Arial;}}\n";
const QByteArray HeadOut = "{\\rtf1\\ansi\\ansicpg1250\r\n{\\fonttbl{\\f0 Arial;}}\r\n";

} // namespace

class TestRtfReplace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replacesLines_data();
    void replacesLines();
    void headerStopsAtPard();
    void valuesAreMadeSafe();
    void upperCaseKeepsControlWords();
    void duplicateGroupRepeatsLine();
    void copiesAreSeparatedByPageBreaks();
    void malformedTemplatesEnd_data();
    void malformedTemplatesEnd();
    void fileEngineRefusesMissingOrEmptyTemplate();
    void fileEngineWritesBatchOnNewPages();
};

void TestRtfReplace::replacesLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("as written") << QByteArray("Nume: [Nume]") << QByteArray("Nume: Popescu ion");
    QTest::newRow("upper key upper-cases") << QByteArray("Nume: [NUME]") << QByteArray("Nume: POPESCU ION");
    QTest::newRow("mixed key is matched, not upper-cased") << QByteArray("[nUmE]") << QByteArray("Popescu ion");
    QTest::newRow("four characters never upper-cased") << QByteArray("nr. [NR]") << QByteArray("nr. 12a");
    QTest::newRow("empty value prints dots") << QByteArray("Contract [NrCon]") << QByteArray("Contract ..........");
    QTest::newRow("key twice on a line") << QByteArray("[Nr] si [NR]") << QByteArray("12a si 12a");
    QTest::newRow("unknown bracket stays") << QByteArray("/ [DATA]") << QByteArray("/ [DATA]");
    QTest::newRow("value holding its own key") << QByteArray("[Loc] [Loc]") << QByteArray("sat [LOC] sat [LOC]");
    QTest::newRow("value holding another key") << QByteArray("[Strada] [Nume]")
                                               << QByteArray("[Nume] Popescu ion");
}

void TestRtfReplace::replacesLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    const QByteArray out = fill(Head + "\\pard " + line.toStdString() + "\n}\n",
                                {{"[NUME]", "Popescu ion"},
                                 {"[NR]", "12a"},
                                 {"[NRCON]", ""},
                                 {"[LOC]", "sat [LOC]"},
                                 {"[STRADA]", "[Nume]"}});
    QCOMPARE(out, HeadOut + "\\pard " + expected + "\r\n}\r\n");
}

void TestRtfReplace::headerStopsAtPard()
{
    // What stands before "\pard" on its line goes to the header, trimmed; the body starts
    // at "\pard"; the closing brace of the template is replaced by the engine's own.
    const std::string templ = Head + "  {\\b x}  \\pard\\plain [UNR]\r\nlast [UNR]}\r\n";
    QCOMPARE(fill(templ, {{"[UNR]", "7"}}), HeadOut + "{\\b x}\r\n\\pard\\plain 7\r\nlast 7\r\n}\r\n");
    // Nothing before "\pard": no empty header line.
    QCOMPARE(fill(Head + "\\pard a\n}", {}), HeadOut + "\\pard a\r\n}\r\n");
    // Lines inside a group that closes are all body; the loop ends where the depth is 0.
    QCOMPARE(fill(Head + "\\pard {\\b\n[UNR]}\n}\ntrailing\n", {{"[UNR]", "9"}}),
             HeadOut + "\\pard {\\b\r\n9}\r\n}\r\n");
}

void TestRtfReplace::valuesAreMadeSafe()
{
    // Braces cannot open groups, a backslash cannot start a control word, and the two
    // bytes the templates' fonts show wrongly become escapes; other 1250 bytes stay.
    QCOMPARE(QByteArray::fromStdString(prepareValue("a{b}c\\par")), QByteArray("a(b)c\\\\par"));
    QCOMPARE(QByteArray::fromStdString(prepareValue("\xAA" "tefan \xDE" "ara \xBA\xFE")),
             QByteArray("\\'aatefan \\'deara \xBA\xFE"));
    QCOMPARE(fill(Head + "\\pard [Nume]\n}", {{"[NUME]", "SC {Test} SRL"}}), HeadOut + "\\pard SC (Test) SRL\r\n}\r\n");
}

void TestRtfReplace::upperCaseKeepsControlWords()
{
    // s and t with cedilla (0xBA, 0xFE) become the escaped capitals; a Unicode escape and a
    // hex escape pass unchanged.
    QCOMPARE(QByteArray::fromStdString(upperPrepared("\xBA" "i \xFE" "ara \\u537?x \\'e3b \\\\n")),
             QByteArray("\\'aaI \\'deARA \\u537?X \\'e3B \\\\N"));
    QCOMPARE(fill(Head + "\\pard [JUDET]\n}", {{"[JUDET]", "Bra\xBEov"}}), HeadOut + "\\pard BRA\xBCOV\r\n}\r\n");
}

void TestRtfReplace::duplicateGroupRepeatsLine()
{
    // Three values of one key: a line with one occurrence is written three times.
    QCOMPARE(fill(Head + "\\pard\nrow [Item]\\par\n}", {{"[ITEM]", "a"}, {"[ITEM]", "b"}, {"[ITEM]", "c"}}),
             HeadOut + "\\pard\r\nrow a\\par\r\nrow b\\par\r\nrow c\\par\r\n}\r\n");
    // Two occurrences take successive values; the line is written again for the rest,
    // and the last value fills what is left.
    QCOMPARE(fill(Head + "\\pard\n[Item]-[Item]\n}", {{"[ITEM]", "a"}, {"[ITEM]", "b"}, {"[ITEM]", "c"}}),
             HeadOut + "\\pard\r\na-b\r\nc-c\r\n}\r\n");
    // The group ends with its line: the next line starts again from the first value.
    QCOMPARE(fill(Head + "\\pard\n[Item]\nx [Nr]\n[Item]\n}", {{"[ITEM]", "a"}, {"[ITEM]", "b"}, {"[NR]", "5"}}),
             HeadOut + "\\pard\r\na\r\nb\r\nx 5\r\na\r\nb\r\n}\r\n");
}

void TestRtfReplace::copiesAreSeparatedByPageBreaks()
{
    const std::vector<std::string> lines = splitLines(Head + "\\pard [Nr]\r\n}\r\n");
    Replacements r;
    r.add("[NR]", "3");
    QCOMPARE(QByteArray::fromStdString(documentBody(lines, r, 2)), QByteArray("\\pard 3\r\n\\page\r\n\\pard 3\r\n"));
    QCOMPARE(QByteArray::fromStdString(documentBody(lines, r, 0)), QByteArray());
}

void TestRtfReplace::malformedTemplatesEnd_data()
{
    QTest::addColumn<QByteArray>("templ");
    QTest::addColumn<QByteArray>("expected");
    // No "\pard": the header copy stops at the end of the file and there is no body.
    QTest::newRow("no pard") << QByteArray("{\\rtf1 text [Nume]\n") << QByteArray("{\\rtf1 text [Nume]\r\n}\r\n");
    QTest::newRow("pard on last line") << QByteArray("{\\rtf1\n\\pard [Nr]}") << QByteArray("{\\rtf1\r\n\\pard 1\r\n}\r\n");
    QTest::newRow("never closes") << QByteArray("{\\rtf1\n\\pard {{{\n[Nr]\nx")
                                  << QByteArray("{\\rtf1\r\n\\pard {{{\r\n1\r\n}\r\n");
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n\n") << QByteArray("\r\n\r\n\r\n}\r\n");
}

void TestRtfReplace::malformedTemplatesEnd()
{
    QFETCH(QByteArray, templ);
    QFETCH(QByteArray, expected);
    QCOMPARE(fill(templ.toStdString(), {{"[NR]", "1"}}), expected);
}

void TestRtfReplace::fileEngineRefusesMissingOrEmptyTemplate()
{
    QTemporaryDir dir;
    const std::string out = dir.filePath(QStringLiteral("out.rtf")).toStdString();
    RtfReplace rtf;
    rtf.setDestination(out);
    rtf.setSource(dir.filePath(QStringLiteral("missing.rtf")).toStdString());
    QVERIFY(!rtf.startDocument());
    QVERIFY(!QFile::exists(QString::fromStdString(out)));
    QVERIFY_THROWS_EXCEPTION(RtfError, rtf.writeBody(1));

    QFile empty(dir.filePath(QStringLiteral("empty.rtf")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    rtf.setSource(empty.fileName().toStdString());
    QVERIFY(!rtf.startDocument());
    QVERIFY(!QFile::exists(QString::fromStdString(out)));
    QVERIFY(!rtf.showDocument([](const std::string &) { return true; }));
}

void TestRtfReplace::fileEngineWritesBatchOnNewPages()
{
    QTemporaryDir dir;
    QFile templ(dir.filePath(QStringLiteral("t.rtf")));
    QVERIFY(templ.open(QIODevice::WriteOnly));
    templ.write(QByteArray::fromStdString(Head + "\\pard [Nume]\\par\n}\n"));
    templ.close();
    RtfReplace rtf;
    rtf.setSource(templ.fileName().toStdString());
    rtf.setDestination(dir.filePath(QStringLiteral("out.rtf")).toStdString());
    QVERIFY(rtf.startDocument());
    rtf.addReplacement("[NUME]", "Ana");
    rtf.writeBody(1);
    // Keys are cleared after each body: a key left out of the next letter stays a key.
    rtf.addReplacement("[NUME]", "Ion");
    rtf.writeBody(1, true);
    rtf.writeBody(1, true);
    rtf.endDocument();
    QFile out(dir.filePath(QStringLiteral("out.rtf")));
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), HeadOut + "\\pard Ana\\par\r\n\\page\r\n\\pard Ion\\par\r\n\\page\r\n\\pard [Nume]\\par\r\n}\r\n");
    std::string opened;
    QVERIFY(rtf.showDocument([&](const std::string &p) { opened = p; return true; }));
    QCOMPARE(QString::fromStdString(opened), out.fileName());
}

QTEST_GUILESS_MAIN(TestRtfReplace)
#include "tst_rtfreplace.moc"
