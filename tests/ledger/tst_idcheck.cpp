// The personal and fiscal code checks: well-formed codes pass, and each way a code can
// be malformed (length, first digit, calendar date, control digit) fails.

#include "ledger/idcheck.h"

#include <QTest>

using namespace vestronia;

class TestIdCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cnp_data();
    void cnp();
    void cui_data();
    void cui();
};

void TestIdCheck::cnp_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    QTest::newRow("man born 1980") << QStringLiteral("1800101221144") << true;
    QTest::newRow("woman born 1996") << QStringLiteral("2961231401235") << true;
    QTest::newRow("29 February 2000, first digit 5") << QStringLiteral("5000229123453") << true;
    QTest::newRow("first digit 9 reads 20yy") << QStringLiteral("9000101000011") << true;
    QTest::newRow("remainder 10 taken as 1") << QStringLiteral("1800101221111") << true;
    QTest::newRow("remainder 10 is not 0") << QStringLiteral("1800101221110") << false;
    QTest::newRow("control digit wrong") << QStringLiteral("1800101221145") << false;
    QTest::newRow("month 13") << QStringLiteral("1801301221144") << false;
    QTest::newRow("month 31") << QStringLiteral("6123131412340") << false;
    QTest::newRow("29 February 1900 is no date") << QStringLiteral("1000229123451") << false;
    QTest::newRow("first digit 3") << QStringLiteral("3800101221144") << false;
    QTest::newRow("first digit 4") << QStringLiteral("4800101221144") << false;
    QTest::newRow("first digit 7") << QStringLiteral("7800101221144") << false;
    QTest::newRow("first digit 8") << QStringLiteral("8800101221144") << false;
    QTest::newRow("12 digits") << QStringLiteral("180010122114") << false;
    QTest::newRow("14 digits") << QStringLiteral("18001012211440") << false;
    QTest::newRow("a letter") << QStringLiteral("18001012211A4") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestIdCheck::cnp()
{
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QCOMPARE(isValidCNP(code), valid);
}

void TestIdCheck::cui_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    QTest::newRow("eight digits") << QStringLiteral("13590612") << true;
    QTest::newRow("country prefix and blanks") << QStringLiteral("ro 1359 0612") << true;
    QTest::newRow("prefix RO") << QStringLiteral("RO13590612") << true;
    QTest::newRow("nine digits ending 7") << QStringLiteral("143998407") << true;
    QTest::newRow("control 10 taken as 0") << QStringLiteral("1000050") << true;
    QTest::newRow("short code padded") << QStringLiteral("10004") << true;
    QTest::newRow("nine digits") << QStringLiteral("999999991") << true;
    QTest::newRow("control wrong") << QStringLiteral("13590613") << false;
    QTest::newRow("two digits") << QStringLiteral("12") << false;
    QTest::newRow("prefix leaves two digits") << QStringLiteral("RO12") << false;
    QTest::newRow("eleven digits") << QStringLiteral("12345678901") << false;
    QTest::newRow("letter inside") << QStringLiteral("1359A612") << false;
    QTest::newRow("only letters") << QStringLiteral("ABCDEF") << false;
}

void TestIdCheck::cui()
{
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QCOMPARE(isValidCUI(code), valid);
}

QTEST_GUILESS_MAIN(TestIdCheck)
#include "tst_idcheck.moc"
