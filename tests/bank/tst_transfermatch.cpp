// Matching a transfer to a subscriber: code, then contract or roll number, then the
// payer's exact name; more than one candidate at any step parks the transfer.

#include "bank/transfermatch.h"

#include <QTest>

using namespace vestronia;

Q_DECLARE_METATYPE(vestronia::MatchReason)

namespace {

MatchRegister sampleRegister()
{
    return MatchRegister({
        {1, QStringLiteral("POPESCU ION"), QStringLiteral("1800101223344"), QStringLiteral("101"), QStringLiteral("12"), true},
        {2, QStringLiteral("IONESCU MARIA"), QStringLiteral("2850202334455"), QStringLiteral("102"), QStringLiteral("45/2020"), true},
        {3, QStringLiteral("SC ALFA PREST SRL"), QStringLiteral("RO 1234567"), QStringLiteral("8812"), QString(), true},
        {4, QStringLiteral("POPA ANA"), QString(), QStringLiteral("104"), QString(), true},
        {5, QStringLiteral("POPA ANA"), QString(), QStringLiteral("105"), QString(), true},
        {6, QStringLiteral("STEFANESCU TUDOR"), QString(), QStringLiteral("106"), QString(), true},
        {7, QStringLiteral("STEFANESCU TUDOR"), QString(), QStringLiteral("107"), QString(), false},
        {8, QStringLiteral("DUMITRU DAN"), QString(), QStringLiteral("108"), QString(), false},
        // Two members of one household registered with the same code by mistake.
        {9, QStringLiteral("GEORGESCU A"), QStringLiteral("1900303445566"), QStringLiteral("109"), QString(), true},
        {10, QStringLiteral("GEORGESCU B"), QStringLiteral("1900303445566"), QStringLiteral("110"), QString(), true},
    });
}

} // namespace

class TestTransferMatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matches_data();
    void matches();
};

void TestTransferMatch::matches_data()
{
    QTest::addColumn<QString>("payer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("idab");
    QTest::addColumn<MatchReason>("reason");
    QTest::addColumn<QString>("parked");

    QTest::newRow("code in text") << "X" << "plata CNP 1800101223344 mai" << qint64(1) << MatchReason::Code << "";
    QTest::newRow("company code with RO") << "" << "taxa RO1234567" << qint64(3) << MatchReason::Code << "";
    QTest::newRow("code wins over another name") << "IONESCU MARIA" << "pentru 1800101223344" << qint64(1) << MatchReason::Code << "";
    QTest::newRow("digits inside a longer number") << "" << "ref 91800101223344" << qint64(0) << MatchReason::None << "Niciun abonat";
    QTest::newRow("code of two subscribers") << "GEORGESCU A" << "1900303445566" << qint64(0) << MatchReason::None << "";
    QTest::newRow("codes of two subscribers") << "" << "1800101223344 si 2850202334455" << qint64(0) << MatchReason::None << "codurile a 2";
    QTest::newRow("contract nr.") << "" << "Contract nr. 45/2020 iunie" << qint64(2) << MatchReason::Contract << "";
    QTest::newRow("contractul numarul") << "" << "CONTRACTUL NUMARUL 45/2020." << qint64(2) << MatchReason::Contract << "";
    QTest::newRow("ctr") << "" << "ctr 45/2020" << qint64(2) << MatchReason::Contract << "";
    QTest::newRow("contract number alone is not enough") << "" << "taxa 45/2020" << qint64(0) << MatchReason::None << "Niciun abonat";
    QTest::newRow("rol") << "" << "Rol: 8812 taxa" << qint64(3) << MatchReason::Rol << "";
    QTest::newRow("rol nr") << "" << "ROLUL NR 101" << qint64(1) << MatchReason::Rol << "";
    QTest::newRow("contract and rol of two") << "" << "contract 12 rol 102" << qint64(0) << MatchReason::None << "Contractul sau rolul";
    QTest::newRow("contract and rol of one") << "" << "contract 12 rol 101" << qint64(1) << MatchReason::Contract << "";
    QTest::newRow("name cleaned and upper-cased") << "  popescu   \"ion\" " << "taxa" << qint64(1) << MatchReason::Name << "";
    QTest::newRow("name with diacritics") << QString::fromUtf8("Ștefănescu Tudor") << "" << qint64(6) << MatchReason::Name << "";
    QTest::newRow("two active namesakes") << "Popa Ana" << "salubrizare" << qint64(0) << MatchReason::None << "Numele platitorului gasit la 2";
    QTest::newRow("only an inactive one") << "DUMITRU DAN" << "" << qint64(0) << MatchReason::None << "Niciun abonat";
    QTest::newRow("name is not a prefix") << "POPESCU" << "" << qint64(0) << MatchReason::None << "Niciun abonat";
    QTest::newRow("nothing") << "" << "" << qint64(0) << MatchReason::None << "Niciun abonat";
}

void TestTransferMatch::matches()
{
    QFETCH(QString, payer);
    QFETCH(QString, text);
    QFETCH(qint64, idab);
    QFETCH(MatchReason, reason);
    QFETCH(QString, parked);
    static const MatchRegister reg = sampleRegister();
    BankEntry e;
    e.payer = payer;
    e.text = text;
    e.credit = true;
    const TransferMatch m = matchTransfer(e, reg);
    QCOMPARE(m.idab, idab);
    QCOMPARE(m.reason, reason);
    if (idab == 0) {
        QVERIFY(!m.parkReason.isEmpty());
        QVERIFY2(m.parkReason.contains(parked), qPrintable(m.parkReason));
    } else {
        QVERIFY(m.parkReason.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestTransferMatch)
#include "tst_transfermatch.moc"
