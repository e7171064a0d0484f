// The password scrambling must match, byte for byte, what existing data folders hold:
// the expected encodings below were worked out independently from the algorithm's
// description (generator, insertions, exchanges).

#include "backup/codeazastr.h"

#include "core/text.h"

#include <QTest>

using namespace vestronia;

class TestCodeazaStr : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void generatorSteps();
    void knownEncodings_data();
    void knownEncodings();
    void deterministicAndLength();
    void textOverloadUsesCodePage1250();
};

void TestCodeazaStr::generatorSteps()
{
    CodeazaRandom r(0);
    QCOMPARE(r.next(100), 0u); // state 1: (1 * 100) >> 32
    QCOMPARE(r.state(), 1u);
    // state 134775814; the upper half of x * (2^32 - 1) is x - 1.
    QCOMPARE(r.next(0xFFFFFFFFu), 134775813u);
    CodeazaRandom wrap(0xFFFFFFFFu);
    wrap.next(1);
    QCOMPARE(wrap.state(), quint32(0xFFFFFFFFull * 134775813ull + 1ull));
}

void TestCodeazaStr::knownEncodings_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("one letter") << QByteArray("a") << QByteArray::fromHex("962e968b733bb4ae61");
    QTest::newRow("parola") << QByteArray("parola") << QByteArray::fromHex("6c6d2a294e612f6f296c4a707261");
    QTest::newRow("mixed") << QByteArray("Vestronia2024")
                           << QByteArray::fromHex("2e7259323061909656736932652f6f9da6a77c992e6e512d748f34");
    QTest::newRow("high bytes") << QByteArray("\xaa\xba") << QByteArray::fromHex("8e9f414ba85b52aa653f8e624aba");
}

void TestCodeazaStr::knownEncodings()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, encoded);
    QCOMPARE(codeazaStr(plain).toHex(), encoded.toHex());
}

void TestCodeazaStr::deterministicAndLength()
{
    const QByteArray a = codeazaStr(QByteArray("secret"));
    QCOMPARE(codeazaStr(QByteArray("secret")), a);
    QVERIFY(a.size() >= 6 + 6 + 1 && a.size() <= 6 + 35 + 1);
    QVERIFY(codeazaStr(QByteArray("secreu")) != a);
}

void TestCodeazaStr::textOverloadUsesCodePage1250()
{
    // "\u015E" (S with cedilla) is 0xAA in code page 1250, "\u015F" is 0xBA.
    const QString typed = QStringLiteral("\u015E\u015F");
    QCOMPARE(toCp1250(codeazaStr(typed)).toHex(), QByteArray("8e9f414ba85b52aa653f8e624aba"));
}

QTEST_GUILESS_MAIN(TestCodeazaStr)
#include "tst_codeazastr.moc"
