// Crafted workbooks that real writers never make but a file from outside may be: an
// encrypted workbook, sheets whose records overlap, shared formulas found by their base
// cell, macro sheets whose strings must survive the string table's renumbering, a name
// formula that runs into a CONTINUE record, and an unknown token that must stop an edit
// rather than be left pointing at the wrong cells.
// With VESTRONIA_WRITE_CORPUS=DIR each crafted stream is also written there (the seed
// corpus of the workbook fuzzer).

#include "xls/biffrecord.h"
#include "xls/formula.h"
#include "xls/workbook.h"
#include "xls/xlserror.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QtEndian>

using namespace vestronia;

namespace {

QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray rec(quint16 id, const QByteArray &data)
{
    return le16(id) + le16(quint16(data.size())) + data;
}
QByteArray bof(quint16 type)
{
    return rec(0x0809, le16(0x0600) + le16(type) + le16(0x0DBB) + le16(0x07CC) + le32(0) + le32(6));
}
QByteArray eof()
{
    return rec(0x000A, {});
}
QByteArray boundSheet(quint32 offset, quint8 type, const QByteArray &name)
{
    return rec(0x0085, le32(offset) + QByteArray(1, '\0') + QByteArray(1, char(type)) + QByteArray(1, char(name.size()))
                           + QByteArray(1, '\0') + name);
}
QByteArray sst(const QList<QByteArray> &strings)
{
    QByteArray data = le32(quint32(strings.size())) + le32(quint32(strings.size()));
    for (const QByteArray &s : strings)
        data += le16(quint16(s.size())) + QByteArray(1, '\0') + s;
    return rec(0x00FC, data);
}
QByteArray labelSst(quint16 row, quint16 col, quint32 index)
{
    return rec(0x00FD, le16(row) + le16(col) + le16(15) + le32(index));
}
QByteArray formula(quint16 row, quint16 col, const QByteArray &rgce, quint16 flags = 0)
{
    return rec(0x0006, le16(row) + le16(col) + le16(15) + QByteArray(8, '\0') + le16(flags) + le32(0)
                           + le16(quint16(rgce.size())) + rgce);
}
QByteArray tExp(quint16 row, quint16 col)
{
    return QByteArray(1, char(0x01)) + le16(row) + le16(col);
}
QByteArray tInt(quint16 v)
{
    return QByteArray(1, char(0x1E)) + le16(v);
}
// A relative reference to (row, col), 0-based.
QByteArray tRef(quint16 row, quint16 col)
{
    return QByteArray(1, char(0x24)) + le16(row) + le16(quint16(col | 0xC000));
}

// A workbook stream: globals (BOF, extra records, one BOUNDSHEET per sheet, tail
// records, EOF), then the sheets one after the other.
QByteArray workbook(const QByteArray &extra, const QList<QPair<quint8, QByteArray>> &sheets,
                    const QByteArray &tail = {})
{
    QByteArray head = bof(0x0005) + extra;
    qsizetype boundSize = 0;
    for (qsizetype i = 0; i < sheets.size(); ++i)
        boundSize += boundSheet(0, 0, "S" + QByteArray::number(i + 1)).size();
    const qsizetype globalsSize = head.size() + boundSize + tail.size() + eof().size();
    QByteArray bounds;
    qsizetype offset = globalsSize;
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        bounds += boundSheet(quint32(offset), sheets[i].first, "S" + QByteArray::number(i + 1));
        offset += sheets[i].second.size();
    }
    QByteArray out = head + bounds + tail + eof();
    for (const auto &s : sheets)
        out += s.second;
    return out;
}
QByteArray worksheet(const QByteArray &cells)
{
    return bof(0x0010) + rec(0x0200, le32(0) + le32(10) + le16(0) + le16(5) + le16(0)) + cells + eof();
}

void keepForFuzzing(const char *name, const QByteArray &stream)
{
    const QString dir = qEnvironmentVariable("VESTRONIA_WRITE_CORPUS");
    if (dir.isEmpty())
        return;
    QFile f(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".stream")));
    if (f.open(QIODevice::WriteOnly))
        f.write(stream);
}

QString openError(const QByteArray &stream)
{
    Workbook wb;
    try {
        wb.openStream(stream);
    } catch (const XlsError &e) {
        return e.message();
    }
    return {};
}

// The records of a stream as (id, data), CONTINUE kept apart.
QList<QPair<quint16, QByteArray>> records(const QByteArray &stream)
{
    QList<QPair<quint16, QByteArray>> out;
    for (qsizetype pos = 0; pos + 4 <= stream.size();) {
        const quint16 id = qFromLittleEndian<quint16>(stream.constData() + pos);
        const quint16 size = qFromLittleEndian<quint16>(stream.constData() + pos + 2);
        out.append({id, stream.mid(pos + 4, size)});
        pos += 4 + size;
    }
    return out;
}

} // namespace

class TestHostileWorkbooks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void passwordToOpenIsRefusedClearly();
    void sheetOverlappingAnotherSheetIsRefused();
    void chartInsideASheetStillOpens();
    void sharedFormulaIsFoundByItsBaseCell();
    void macroSheetKeepsItsStringsWhenTheTableIsRenumbered();
    void nameFormulaAcrossContinueMovesWithTheRows();
    void unknownTokenRefusesTheEditInsteadOfPointingElsewhere();
    void objectsMoveWithTheirRows();
};

void TestHostileWorkbooks::passwordToOpenIsRefusedClearly()
{
    const QByteArray stream = workbook(rec(0x002F, le16(1) + QByteArray(52, '\x5A')), {{0, worksheet({})}});
    keepForFuzzing("filepass", stream);
    const QString error = openError(stream);
    QVERIFY2(error.contains(QLatin1String("parola")), qPrintable(error));
}

void TestHostileWorkbooks::sheetOverlappingAnotherSheetIsRefused()
{
    // Sheet 1 is the inner substream, sheet 2 the outer one that holds it: the outer
    // range runs over sheet 1's records. Nested this way many times, taking the records
    // once per sheet grew with the square of the file.
    const QByteArray inner = worksheet({});
    const QByteArray outer = bof(0x0010) + inner + eof();
    QByteArray stream = workbook({}, {{0, inner}, {0, outer}});
    // Point sheet 1 at the inner BOF inside the outer sheet and sheet 2 at the outer BOF.
    const QList<QPair<quint16, QByteArray>> recs = records(stream);
    qsizetype pos = 0, firstBound = -1, secondBound = -1;
    for (const auto &r : recs) {
        if (r.first == 0x0085)
            (firstBound < 0 ? firstBound : secondBound) = pos + 4;
        pos += 4 + r.second.size();
    }
    const quint32 outerAt = qFromLittleEndian<quint32>(stream.constData() + secondBound) - quint32(inner.size());
    stream.truncate(qsizetype(outerAt));
    stream += outer;
    qToLittleEndian<quint32>(outerAt + quint32(bof(0x0010).size()), stream.data() + firstBound);
    qToLittleEndian<quint32>(outerAt, stream.data() + secondBound);
    keepForFuzzing("overlapping-sheets", stream);
    const QString error = openError(stream);
    QVERIFY2(error.contains(QLatin1String("suprapune")), qPrintable(error));
}

void TestHostileWorkbooks::chartInsideASheetStillOpens()
{
    const QByteArray chart = bof(0x0020) + eof();
    const QByteArray stream = workbook({}, {{0, worksheet(labelSst(0, 0, 0) + chart)}}, sst({"text"}));
    Workbook wb;
    wb.openStream(stream);
    QCOMPARE(wb.cellText(1, 1), QStringLiteral("text"));
}

void TestHostileWorkbooks::sharedFormulaIsFoundByItsBaseCell()
{
    // Two definitions; the second one's member lies inside the first one's range too, but
    // names its own base cell.
    const QByteArray shrA = rec(0x04BC, le16(0) + le16(5) + QByteArray(1, 0) + QByteArray(1, 0) + QByteArray(1, 0)
                                            + QByteArray(1, 2) + le16(3) + tInt(7));
    const QByteArray shrB = rec(0x04BC, le16(2) + le16(2) + QByteArray(1, 0) + QByteArray(1, 0) + QByteArray(1, 0)
                                            + QByteArray(1, 1) + le16(3) + tInt(9));
    const QByteArray cells = formula(0, 0, tExp(0, 0), 0x08) + shrA + formula(1, 0, tExp(0, 0), 0x08)
                             + formula(2, 0, tExp(2, 0), 0x08) + shrB
                             // Pointing at no definition: found by the range that holds it...
                             + formula(3, 0, tExp(40, 0), 0x08)
                             // ...and outside every range it keeps its value only.
                             + formula(8, 0, tExp(40, 0), 0x08);
    const QByteArray stream = workbook({}, {{0, worksheet(cells)}});
    keepForFuzzing("shared-formulas", stream);
    Workbook wb;
    wb.openStream(stream);
    QCOMPARE(wb.formulaText(1, 1), QStringLiteral("7"));
    QCOMPARE(wb.formulaText(2, 1), QStringLiteral("7"));
    QCOMPARE(wb.formulaText(3, 1), QStringLiteral("9"));
    QCOMPARE(wb.formulaText(4, 1), QStringLiteral("7"));
    QVERIFY(!wb.isFormula(9, 1));
}

void TestHostileWorkbooks::macroSheetKeepsItsStringsWhenTheTableIsRenumbered()
{
    const QByteArray macro = bof(0x0040) + labelSst(0, 0, 1) + eof();
    const QByteArray stream =
        workbook({}, {{0, worksheet(labelSst(0, 0, 2))}, {1, macro}}, sst({"unused", "macro text", "cell text"}));
    keepForFuzzing("macro-sheet-strings", stream);
    Workbook wb;
    wb.openStream(stream);
    const QByteArray written = wb.workbookStream();
    QList<QByteArray> strings;
    int bofs = 0;
    quint32 macroIndex = 0xFFFFFFFF;
    for (const auto &r : records(written)) {
        if (r.first == 0x00FC) {
            const quint32 n = qFromLittleEndian<quint32>(r.second.constData() + 4);
            qsizetype pos = 8;
            for (quint32 k = 0; k < n; ++k) {
                const quint16 cch = qFromLittleEndian<quint16>(r.second.constData() + pos);
                QCOMPARE(int(r.second[pos + 2]), 0); // 8-bit text as written here
                strings << r.second.mid(pos + 3, cch);
                pos += 3 + cch;
            }
        }
        if (r.first == 0x0809)
            ++bofs;
        if (r.first == 0x00FD && bofs == 3)
            macroIndex = qFromLittleEndian<quint32>(r.second.constData() + 6);
    }
    QVERIFY(macroIndex < quint32(strings.size()));
    QCOMPARE(strings[qsizetype(macroIndex)], QByteArray("macro text"));
    QVERIFY(strings.contains("cell text"));
}

void TestHostileWorkbooks::nameFormulaAcrossContinueMovesWithTheRows()
{
    // Print_Area = S1!$A$1:$C$5, its tokens split by a CONTINUE record.
    const QByteArray supBook = rec(0x01AE, le16(1) + QByteArray("\x01\x04", 2));
    const QByteArray externSheet = rec(0x0017, le16(1) + le16(0) + le16(0) + le16(0));
    const QByteArray area = QByteArray(1, char(0x3B)) + le16(0) + le16(0) + le16(4) + le16(0) + le16(2);
    QByteArray name = le16(0x0020) + QByteArray(1, 0) + QByteArray(1, 1) + le16(quint16(area.size())) + le16(0)
                      + le16(1) + QByteArray(4, 0) + QByteArray(1, 0) + QByteArray(1, 0x06) + area;
    const QByteArray nameRecords = rec(0x0018, name.left(20)) + rec(0x003C, name.mid(20));
    const QByteArray stream = workbook(supBook + externSheet, {{0, worksheet({})}}, nameRecords);
    keepForFuzzing("name-across-continue", stream);
    Workbook wb;
    wb.openStream(stream);
    QCOMPARE(wb.definedNames().size(), 1);
    QVERIFY2(wb.definedNames().first().formula.contains(QLatin1String("$A$1:$C$5")),
             qPrintable(wb.definedNames().first().formula));
    wb.insertRows(1, 2);
    QVERIFY2(wb.definedNames().first().formula.contains(QLatin1String("$A$3:$C$7")),
             qPrintable(wb.definedNames().first().formula));
}

void TestHostileWorkbooks::unknownTokenRefusesTheEditInsteadOfPointingElsewhere()
{
    const QByteArray unknown = tRef(4, 0) + QByteArray(1, char(0xFF));
    QVERIFY(!biff::isWellFormed(std::string(unknown.constData(), size_t(unknown.size()))));
    const QByteArray stream = workbook({}, {{0, worksheet(formula(0, 1, unknown))}});
    keepForFuzzing("unknown-token", stream);
    Workbook wb;
    wb.openStream(stream);
    const QByteArray before = wb.workbookStream();
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.insertRows(2, 3));
    QVERIFY_THROWS_EXCEPTION(XlsError, wb.copyRows(1, 1, 2, 1));
    QCOMPARE(wb.workbookStream(), before);
    // A sheet of known formulas is edited as before.
    Workbook plain;
    plain.openStream(workbook({}, {{0, worksheet(formula(0, 1, tRef(4, 0)))}}));
    plain.insertRows(2, 3);
    QCOMPARE(plain.formulaText(1, 2), QStringLiteral("A8"));
}

namespace {
QByteArray ref8(quint16 r1, quint16 r2, quint16 c1, quint16 c2)
{
    return le16(r1) + le16(r2) + le16(c1) + le16(c2);
}
// The records of one type in the sheet part of a written stream.
QList<QByteArray> sheetRecords(const QByteArray &stream, quint16 id)
{
    QList<QByteArray> out;
    int bofs = 0;
    for (const auto &r : records(stream)) {
        bofs += r.first == 0x0809;
        if (bofs >= 2 && r.first == id)
            out << r.second;
    }
    return out;
}
quint16 at16(const QByteArray &data, int pos)
{
    return qFromLittleEndian<quint16>(data.constData() + pos);
}
} // namespace

void TestHostileWorkbooks::objectsMoveWithTheirRows()
{
    // A stamp (picture) anchored on rows 6..8 beside a note on row 6, a link on row 6,
    // a conditional format over rows 3..10 and a validation of row 5 (1-based).
    const QByteArray anchor = le16(0x0000) + le16(0xF010) + le32(18) + le16(0) + le16(1) + le16(0) + le16(5) + le16(0)
                              + le16(3) + le16(0) + le16(7) + le16(0);
    const QByteArray shape = le16(0x000F) + le16(0xF004) + le32(quint32(anchor.size())) + anchor;
    const QByteArray drawing = rec(0x00EC, le16(0x000F) + le16(0xF002) + le32(quint32(shape.size())) + shape);
    const QByteArray note = rec(0x001C, le16(5) + le16(1) + le16(0) + le16(1) + le16(0));
    const QByteArray link = rec(0x01B8, ref8(5, 5, 0, 1) + QByteArray(16, 'L'));
    const QByteArray condFmt = rec(0x01B0, le16(1) + le16(1) + ref8(2, 9, 0, 3) + le16(1) + ref8(2, 9, 0, 3));
    const QByteArray emptyText = le16(1) + QByteArray(1, 0) + QByteArray(1, 0);
    const QByteArray dv = rec(0x01BE, le32(0) + emptyText + emptyText + emptyText + emptyText + le16(0) + le16(0) + le16(0)
                                          + le16(0) + le16(1) + ref8(4, 4, 2, 2));
    const QByteArray stream = workbook({}, {{0, worksheet(labelSst(5, 0, 0) + drawing + note + link + condFmt + dv)}},
                                       sst({"INCASATOR,"}));
    keepForFuzzing("sheet-objects", stream);
    Workbook wb;
    wb.openStream(stream);
    wb.insertRows(4, 3); // three rows inside the format, above everything else
    const QByteArray out = wb.workbookStream();
    QCOMPARE(wb.cellText(9, 1), QStringLiteral("INCASATOR,"));
    const QByteArray movedDrawing = sheetRecords(out, 0x00EC).value(0);
    QCOMPARE(at16(movedDrawing, 16 + 8 + 6), quint16(8)); // rwT beside the text again
    QCOMPARE(at16(movedDrawing, 16 + 8 + 14), quint16(10));
    QCOMPARE(at16(sheetRecords(out, 0x001C).value(0), 0), quint16(8));
    QCOMPARE(sheetRecords(out, 0x01B8).value(0).left(8), ref8(8, 8, 0, 1));
    const QByteArray cf = sheetRecords(out, 0x01B0).value(0);
    QCOMPARE(cf.mid(4, 8), ref8(2, 12, 0, 3)); // grows: the insertion fell inside it
    QCOMPARE(cf.mid(14, 8), ref8(2, 12, 0, 3));
    QCOMPARE(sheetRecords(out, 0x01BE).value(0).right(8), ref8(7, 7, 2, 2));
    // Deleting the rows under the note and the link leaves them where the rows were.
    wb.deleteRows(8, 3);
    const QByteArray after = wb.workbookStream();
    QCOMPARE(at16(sheetRecords(after, 0x001C).value(0), 0), quint16(7));
    QCOMPARE(sheetRecords(after, 0x01B8).value(0).left(8), ref8(7, 7, 0, 1));
    QCOMPARE(sheetRecords(after, 0x01BE).value(0).right(2), le16(0)); // the validation's only row is gone
}

QTEST_GUILESS_MAIN(TestHostileWorkbooks)
#include "tst_hostileworkbooks.moc"
