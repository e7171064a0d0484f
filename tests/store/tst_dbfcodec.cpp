// The dBase byte layer on plain bytes: number formatting and rounding, the "does not
// fit" messages, code page 1250, dates, level-7 fields, and damaged headers.

#include "core/text.h"
#include "store/dbfcodec.h"

#include <QtTest>
#include <cstring>

using namespace vestronia;
using dbf::Field;
using dbf::Value;

namespace {

Field field(const char *name, char type, int length, int decimals = 0)
{
    Field f;
    f.name = name;
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    f.offset = 1;
    return f;
}

// Encodes into a fresh record and returns the field's bytes.
QByteArray encoded(const Field &f, const Value &v)
{
    std::string rec(size_t(f.length + 1), ' ');
    dbf::encodeField(f, v, rec.data(), "T.dbf");
    return QByteArray(rec.data() + 1, f.length);
}

QString encodeError(const Field &f, const Value &v)
{
    std::string rec(size_t(f.length + 1), '#');
    try {
        dbf::encodeField(f, v, rec.data(), "Debite.dbf");
    } catch (const DbfError &e) {
        // Nothing may reach the record when the value is refused.
        if (rec != std::string(size_t(f.length + 1), '#'))
            return QStringLiteral("record touched");
        return e.message();
    }
    return {};
}

Value decoded(const Field &f, const QByteArray &bytes, std::string &scratch)
{
    std::string rec = " " + bytes.toStdString();
    static std::string keep;
    keep = rec;
    return dbf::decodeField(f, keep.data(), scratch, "T.dbf", 1);
}

// A valid little table image: header + records + EOF.
QByteArray tableImage(std::vector<Field> fields, const std::vector<std::string> &records)
{
    std::string h = dbf::buildHeader(fields, 2024, 11, 29);
    dbf::storeRecordCount(reinterpret_cast<unsigned char *>(h.data()), std::uint32_t(records.size()));
    QByteArray out(h.data(), qsizetype(h.size()));
    for (const std::string &r : records)
        out.append(r.data(), qsizetype(r.size()));
    out.append(dbf::EndOfFileMark);
    return out;
}

dbf::Header parsed(const QByteArray &image)
{
    return dbf::parseHeader(reinterpret_cast<const unsigned char *>(image.constData()), size_t(image.size()),
                            std::uint64_t(image.size()), "T.dbf");
}

} // namespace

class TestDbfCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbers_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("bytes");
        QTest::newRow("money") << 10 << 2 << QVariant(12.5) << QStringLiteral("     12.50");
        QTest::newRow("negative") << 10 << 2 << QVariant(-3.5) << QStringLiteral("     -3.50");
        // 2.675 is 2.67499999... in binary; its decimal value rounds up.
        QTest::newRow("half up from decimal") << 10 << 2 << QVariant(2.675) << QStringLiteral("      2.68");
        QTest::newRow("half away negative") << 10 << 2 << QVariant(-3.255) << QStringLiteral("     -3.26");
        QTest::newRow("small half") << 10 << 2 << QVariant(0.005) << QStringLiteral("      0.01");
        QTest::newRow("no negative zero") << 10 << 2 << QVariant(-0.004) << QStringLiteral("      0.00");
        QTest::newRow("integer rounds") << 6 << 0 << QVariant(5.5) << QStringLiteral("     6");
        QTest::newRow("integer rounds neg") << 6 << 0 << QVariant(-5.5) << QStringLiteral("    -6");
        QTest::newRow("int64") << 10 << 0 << QVariant(qint64(1234567890)) << QStringLiteral("1234567890");
        QTest::newRow("int into decimals") << 10 << 2 << QVariant(qint64(7)) << QStringLiteral("      7.00");
        QTest::newRow("exact fit") << 10 << 2 << QVariant(9999999.99) << QStringLiteral("9999999.99");
        QTest::newRow("negative fit") << 6 << 2 << QVariant(-99.99) << QStringLiteral("-99.99");
        QTest::newRow("text number") << 10 << 2 << QVariant(QStringLiteral(" 1e3 ")) << QStringLiteral("   1000.00");
        QTest::newRow("text exact") << 10 << 2 << QVariant(QStringLiteral("0.125")) << QStringLiteral("      0.13");
        QTest::newRow("null") << 10 << 2 << QVariant() << QStringLiteral("          ");
        QTest::newRow("empty text") << 10 << 2 << QVariant(QStringLiteral("")) << QStringLiteral("          ");
        QTest::newRow("tiny exponent") << 6 << 2 << QVariant(1e-300) << QStringLiteral("  0.00");
    }
    void numbers()
    {
        QFETCH(int, length);
        QFETCH(int, decimals);
        QFETCH(QVariant, value);
        QFETCH(QString, bytes);
        const Field f = field("X", 'N', length, decimals);
        Value v;
        std::string text;
        if (!value.isValid())
            v = Value::null();
        else if (value.typeId() == QMetaType::Double)
            v = Value::ofReal(value.toDouble());
        else if (value.typeId() == QMetaType::LongLong)
            v = Value::ofInteger(value.toLongLong());
        else
            text = value.toString().toStdString(), v = Value::ofText(text);
        QCOMPARE(QString::fromLatin1(encoded(f, v)), bytes);
    }

    void numberThatDoesNotFit_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("too wide") << 10 << 2 << QVariant(qint64(123456789012))
                                  << QStringLiteral("Valoarea 123456789012 nu incape in campul X (N 10,2) al tabelei Debite.dbf");
        QTest::newRow("rounding widens") << 10 << 2 << QVariant(9999999.995)
                                         << QStringLiteral("Valoarea 9999999.995 nu incape in campul X (N 10,2) al tabelei Debite.dbf");
        QTest::newRow("sign widens") << 6 << 2 << QVariant(-100.0)
                                     << QStringLiteral("Valoarea -100 nu incape in campul X (N 6,2) al tabelei Debite.dbf");
        QTest::newRow("id") << 10 << 0 << QVariant(qint64(12345678901))
                            << QStringLiteral("Valoarea 12345678901 nu incape in campul X (N 10,0) al tabelei Debite.dbf");
        QTest::newRow("huge double") << 10 << 2 << QVariant(1e300)
                                     << QStringLiteral("Valoarea 1e+300 nu incape in campul X (N 10,2) al tabelei Debite.dbf");
        QTest::newRow("not a number") << 10 << 2 << QVariant(QStringLiteral("12,5 lei"))
                                      << QStringLiteral("Valoarea 12,5 lei nu este un numar si nu se poate scrie in campul X "
                                                        "(N 10,2) al tabelei Debite.dbf");
    }
    void numberThatDoesNotFit()
    {
        QFETCH(int, length);
        QFETCH(int, decimals);
        QFETCH(QVariant, value);
        QFETCH(QString, message);
        const Field f = field("X", 'N', length, decimals);
        std::string text;
        Value v;
        if (value.typeId() == QMetaType::Double)
            v = Value::ofReal(value.toDouble());
        else if (value.typeId() == QMetaType::LongLong)
            v = Value::ofInteger(value.toLongLong());
        else
            text = value.toString().toStdString(), v = Value::ofText(text);
        QCOMPARE(encodeError(f, v), message);
    }

    void numbersReadBack()
    {
        std::string scratch;
        const Field money = field("M", 'N', 10, 2);
        const Field id = field("I", 'N', 10, 0);
        Value v = decoded(money, "    -12.35", scratch);
        QCOMPARE(int(v.kind), int(Value::Kind::Real));
        QCOMPARE(v.real, -12.35);
        v = decoded(id, "      4711", scratch);
        QCOMPARE(int(v.kind), int(Value::Kind::Integer));
        QCOMPARE(v.integer, 4711);
        QCOMPARE(int(decoded(id, "          ", scratch).kind), int(Value::Kind::Null));
        // Some writers fill an empty number with NULs.
        QCOMPARE(int(decoded(id, QByteArray(10, '\0'), scratch).kind), int(Value::Kind::Null));
        try {
            decoded(id, "     *****", scratch);
            QFAIL("garbage read as a number");
        } catch (const DbfError &e) {
            QCOMPARE(e.message(), QStringLiteral("Fisierul T.dbf este deteriorat: inregistrarea 1, campul I: "
                                                 "\"*****\" nu este un numar."));
        }
    }

    // Every byte of every page reads and writes back unchanged, and the codec's 1250 is
    // the program's own mapping (the settings files and reports use that one).
    void everyByteOfEveryCodePageSurvivesReadAndWrite()
    {
        using namespace vestronia::dbf;
        for (CodePage page : {CodePage::Cp1250, CodePage::Cp1252, CodePage::Cp437, CodePage::Cp852}) {
            for (int b = 0; b < 256; ++b) {
                const char c = char(b);
                std::string utf8, back;
                appendUtf8(&c, 1, page, utf8);
                QVERIFY2(encodeText(utf8, page, back), qPrintable(QStringLiteral("page %1 byte %2").arg(codePageNumber(page)).arg(b)));
                QCOMPARE(back, std::string(1, c));
                if (page == CodePage::Cp1250)
                    QCOMPARE(QString::fromStdString(utf8), fromCp1250(&c, 1));
            }
        }
        std::string out;
        QVERIFY(encodeText("\xC8\x99", CodePage::Cp852, out)); // s with comma below
        QCOMPARE(out, std::string("\xAD"));                      // written as s with cedilla
        QVERIFY(!encodeText("\xC4\x83", CodePage::Cp437, out));  // no a-breve in 437
        QCOMPARE(codePageOfLanguageDriver(0x00), CodePage::Cp1250);
        QCOMPARE(codePageOfLanguageDriver(0xC8), CodePage::Cp1250);
        QCOMPARE(codePageOfLanguageDriver(0x57), CodePage::Cp1252);
        QCOMPARE(codePageOfLanguageDriver(0x01), CodePage::Cp437);
        QCOMPARE(codePageOfLanguageDriver(0x64), CodePage::Cp852);
    }
    void textInCodePage1250()
    {
        const Field f = field("NUME", 'C', 12);
        // ă â î and ş ţ with cedilla (and their capitals) are in the page.
        const QString name = QStringLiteral("Ştefăneşti Ţâî");
        const Field wide = field("NUME", 'C', 20);
        const std::string utf8 = name.toStdString();
        const QByteArray bytes = encoded(wide, Value::ofText(utf8));
        QCOMPARE(bytes, QByteArray("\xAA" "tef\xE3" "ne\xBA" "ti \xDE\xE2\xEE      "));
        std::string scratch;
        const Value back = decoded(wide, bytes, scratch);
        QCOMPARE(QString::fromStdString(std::string(back.text)), name);
        // ș ț with comma below, what keyboards type today, are stored as their cedilla twins.
        const std::string comma = QStringLiteral("Știrbăț").toStdString();
        QCOMPARE(encoded(f, Value::ofText(comma)), QByteArray("\xAA" "tirb\xE3\xFE     "));
        // A letter the code page lacks is refused with the character named.
        const std::string cyrillic = QStringLiteral("Жук").toStdString();
        QCOMPARE(encodeError(f, Value::ofText(cyrillic)),
                 QStringLiteral("Valoarea Жук nu se poate scrie in campul NUME (C 12) al tabelei Debite.dbf: "
                                "caracterul Ж nu exista in codul 1250"));
    }

    void textWidthAndBlanks()
    {
        const Field f = field("DENUM", 'C', 5);
        QCOMPARE(encoded(f, Value::ofText("abc")), QByteArray("abc  "));
        QCOMPARE(encoded(f, Value::ofText("abcde   ")), QByteArray("abcde")); // trailing blanks are not content
        QCOMPARE(encodeError(f, Value::ofText("abcdef")),
                 QStringLiteral("Valoarea abcdef nu incape in campul DENUM (C 5) al tabelei Debite.dbf"));
        QCOMPARE(encoded(f, Value::ofInteger(42)), QByteArray("42   "));
        std::string scratch;
        QCOMPARE(int(decoded(f, "     ", scratch).kind), int(Value::Kind::Null));
        const Value v = decoded(f, "  a  ", scratch);
        QCOMPARE(QByteArray(v.text.data(), qsizetype(v.text.size())), QByteArray("  a")); // leading blanks stay
    }

    void dates_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("bytes");
        QTest::newRow("day number") << QVariant(qint64(45625)) << QStringLiteral("20241129");
        QTest::newRow("date text") << QVariant(QStringLiteral("29.11.2024")) << QStringLiteral("20241129");
        QTest::newRow("iso text") << QVariant(QStringLiteral("2024-11-29")) << QStringLiteral("20241129");
        QTest::newRow("below 1000 is no date") << QVariant(qint64(2)) << QStringLiteral("        ");
        QTest::newRow("first real day") << QVariant(qint64(1000)) << QStringLiteral("19020926");
        QTest::newRow("leap day") << QVariant(qint64(36585)) << QStringLiteral("20000229");
        QTest::newRow("null") << QVariant() << QStringLiteral("        ");
    }
    void dates()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, bytes);
        const Field f = field("D", 'D', 8);
        std::string text;
        Value v = Value::null();
        if (value.typeId() == QMetaType::LongLong)
            v = Value::ofInteger(value.toLongLong());
        else if (value.isValid())
            text = value.toString().toStdString(), v = Value::ofText(text);
        const QByteArray got = encoded(f, v);
        QCOMPARE(QString::fromLatin1(got), bytes);
        std::string scratch;
        const Value back = decoded(f, got, scratch);
        if (value.isValid() && bytes.trimmed().size() == 8) {
            QCOMPARE(int(back.kind), int(Value::Kind::Integer));
            QCOMPARE(QString::fromLatin1(encoded(f, back)), bytes);
        } else {
            QCOMPARE(int(back.kind), int(Value::Kind::Null));
        }
    }

    void badDates()
    {
        const Field f = field("UDATA", 'D', 8);
        std::string scratch;
        QCOMPARE(int(decoded(f, "00000000", scratch).kind), int(Value::Kind::Null));
        QVERIFY_THROWS_EXCEPTION(DbfError, decoded(f, "20230229", scratch));
        QCOMPARE(encodeError(f, Value::ofText("31.02.2024")),
                 QStringLiteral("Valoarea 31.02.2024 nu este o data si nu se poate scrie in campul UDATA (D) al tabelei "
                                "Debite.dbf"));
    }

    void logicals()
    {
        const Field f = field("OK", 'L', 1);
        std::string scratch;
        QCOMPARE(decoded(f, "T", scratch).integer, 1);
        QCOMPARE(decoded(f, "y", scratch).integer, 1);
        QCOMPARE(int(decoded(f, "F", scratch).kind), int(Value::Kind::Integer));
        QCOMPARE(decoded(f, "F", scratch).integer, 0);
        QCOMPARE(int(decoded(f, "?", scratch).kind), int(Value::Kind::Null));
        QCOMPARE(encoded(f, Value::ofInteger(1)), QByteArray("T"));
        QCOMPARE(encoded(f, Value::ofInteger(0)), QByteArray("F"));
        QVERIFY_THROWS_EXCEPTION(DbfError, decoded(f, "x", scratch));
    }

    void level7Fields()
    {
        std::string scratch;
        Field i = field("I", 'I', 4);
        // 5 -> 0x80000005, -2 -> 0x7FFFFFFE, all zeros = NULL.
        QCOMPARE(decoded(i, QByteArray("\x80\x00\x00\x05", 4), scratch).integer, 5);
        QCOMPARE(decoded(i, QByteArray("\x7F\xFF\xFF\xFE", 4), scratch).integer, -2);
        QCOMPARE(int(decoded(i, QByteArray(4, '\0'), scratch).kind), int(Value::Kind::Null));
        Field o = field("O", 'O', 8);
        // 1.5 = 0x3FF8000000000000, stored with the sign bit flipped.
        QCOMPARE(decoded(o, QByteArray("\xBF\xF8\x00\x00\x00\x00\x00\x00", 8), scratch).real, 1.5);
        // -1.5 = 0xBFF8000000000000, stored with every bit inverted.
        QCOMPARE(decoded(o, QByteArray("\x40\x07\xFF\xFF\xFF\xFF\xFF\xFF", 8), scratch).real, -1.5);
    }

    void level7Header()
    {
        // 68-byte header, 48-byte descriptors: ID I(4), NAME C(10).
        QByteArray h(68 + 2 * 48 + 1, '\0');
        h[0] = 0x04;
        h[4] = 1;
        const int headerLength = h.size();
        h[8] = char(headerLength & 0xFF);
        h[9] = char(headerLength >> 8);
        h[10] = 15;
        std::memcpy(h.data() + 68, "ID", 2);
        h[68 + 32] = 'I';
        h[68 + 33] = 4;
        std::memcpy(h.data() + 68 + 48, "NAME", 4);
        h[68 + 48 + 32] = 'C';
        h[68 + 48 + 33] = 10;
        h[headerLength - 1] = dbf::HeaderTerminator;
        QByteArray image = h + QByteArray(" \x80\x00\x00\x2A", 5) + QByteArray("Ana       ") + QByteArray(1, 0x1A);
        const dbf::Header header = parsed(image);
        QCOMPARE(header.level, 7);
        QCOMPARE(int(header.fields.size()), 2);
        QVERIFY(!header.writable());
        std::string scratch;
        const char *rec = image.constData() + headerLength;
        QCOMPARE(dbf::decodeField(header.fields[0], rec, scratch, "T.dbf", 1).integer, 42);
        QCOMPARE(std::string(dbf::decodeField(header.fields[1], rec, scratch, "T.dbf", 1).text), std::string("Ana"));
    }

    void headerOfANewTable()
    {
        std::vector<Field> fields = {field("IDAB", 'N', 10), field("NUME", 'C', 68), field("UDATA", 'D', 8)};
        const QByteArray image = tableImage(fields, {});
        QCOMPARE(image.size(), 32 + 3 * 32 + 1 + 1);
        QCOMPARE(quint8(image[0]), quint8(0x03));
        QCOMPARE(quint8(image[1]), quint8(124));
        QCOMPARE(quint8(image[29]), quint8(0xC8));
        QCOMPARE(quint8(image[28]), quint8(0));
        QCOMPARE(image[32 + 3 * 32], dbf::HeaderTerminator);
        const dbf::Header h = parsed(image);
        QCOMPARE(h.recordLength, 1u + 10 + 68 + 8);
        QCOMPARE(h.fields[1].offset, 11);
        QCOMPARE(h.fieldIndex("nume"), 1);
        QVERIFY(h.writable());
    }

    void damagedHeaders_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("message");
        const QString bad = QStringLiteral("Fisierul T.dbf nu este o tabela dBase valida: ");
        QTest::newRow("short header") << 0 << bad + QStringLiteral("antetul are doar 20 octeti.");
        QTest::newRow("header length past end") << 1 << bad + QStringLiteral("lungimea antetului (4000) depaseste marimea fisierului (130).");
        QTest::newRow("record length disagrees") << 2 << bad + QStringLiteral("lungimea inregistrarii (20) nu se potriveste cu campurile (16).");
        QTest::newRow("truncated last record") << 3 << bad + QStringLiteral("ultima inregistrare (2) este incompleta.");
        QTest::newRow("unknown field type") << 4 << bad + QStringLiteral("campul NOTE are tipul necunoscut 'M'.");
        QTest::newRow("absurd count") << 5 << bad + QStringLiteral("numarul de inregistrari (4294967295) nu se potriveste cu marimea fisierului (130 octeti).");
        QTest::newRow("unknown version") << 6 << bad + QStringLiteral("versiunea 0x30 nu este cunoscuta.");
        QTest::newRow("header too small") << 7 << bad + QStringLiteral("lungimea antetului (16) este prea mica.");
        QTest::newRow("descriptor past header") << 8 << bad + QStringLiteral("descrierea campului 2 depaseste antetul.");
        QTest::newRow("no fields") << 9 << bad + QStringLiteral("nu are niciun camp.");
        QTest::newRow("date width") << 10 << bad + QStringLiteral("campul NOTE de tip D are lungimea 6 in loc de 8.");
    }
    void damagedHeaders()
    {
        QFETCH(int, damage);
        QFETCH(QString, message);
        std::vector<Field> fields = {field("ID", 'N', 5), field("NOTE", 'C', 10)};
        QByteArray image = tableImage(fields, {"  1234Ana       ", "     2Bob       "});
        switch (damage) {
        case 0: image.truncate(20); break;
        case 1: image[8] = char(4000 & 0xFF), image[9] = char(4000 >> 8); break;
        case 2: image[10] = 20; break;
        case 3: image.chop(5); break;
        case 4: image[32 + 32 + 11] = 'M'; break;
        case 5: image.truncate(97 + 16 * 2), image[4] = image[5] = image[6] = image[7] = char(0xFF), image.append(char(0x1A)); break;
        case 6: image[0] = 0x30; break;
        case 7: image[8] = 16, image[9] = 0; break;
        case 8: image[8] = 32 + 32 + 10, image[9] = 0; break;
        case 9: image[32] = dbf::HeaderTerminator; break;
        case 10: image[32 + 32 + 11] = 'D', image[32 + 32 + 16] = 6; break;
        }
        try {
            parsed(image);
            QFAIL("damage not noticed");
        } catch (const DbfError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    void dayNumbersMatchTheCalendar()
    {
        QCOMPARE(dbf::dayNumberFromDate(1899, 12, 30), 0);
        QCOMPARE(dbf::dayNumberFromDate(2024, 11, 29), 45625);
        int y = 0, m = 0, d = 0;
        for (std::int64_t day : {std::int64_t(-700000), std::int64_t(1), std::int64_t(45625), std::int64_t(2958465)}) {
            dbf::dateFromDayNumber(day, y, m, d);
            QCOMPARE(dbf::dayNumberFromDate(y, m, d), day);
        }
        dbf::dateFromDayNumber(2958465, y, m, d);
        QCOMPARE(y, 9999);
        QCOMPARE(m, 12);
        QCOMPARE(d, 31);
    }
};

QTEST_GUILESS_MAIN(TestDbfCodec)
#include "tst_dbfcodec.moc"
