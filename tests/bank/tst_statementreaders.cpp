// The camt.053 and MT940 readers on hand-written statements: what each entry carries,
// entries split into their transactions, chopped MT940 subfields, and files that are cut,
// hostile or not statements at all being refused whole.

#include "bank/bankstatement.h"
#include "core/dates.h"

#include <QFile>
#include <QTest>

using namespace vestronia;

namespace {

QByteArray fixture(const char *name)
{
    QFile f(QStringLiteral(VESTRONIA_TEST_FIXTURES "/bank/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

int day(int y, int m, int d)
{
    return dayNumberOf(QDate(y, m, d));
}

} // namespace

class TestStatementReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void camtEntriesTransactionsAndAccounts();
    void camtNewestVersionNesting();
    void mt940ChoppedSubfieldsAndNonref();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void ibanCheckDigits();
    void longTextIsCut();
    void mt940FloodOfTinyFieldsIsRefused();
    void camtTransactionsBoundedAcrossEntries();
    void mt940QuestionMarkInPaymentText();
    void statementsPerFileBounded();
};

void TestStatementReaders::camtEntriesTransactionsAndAccounts()
{
    const std::vector<BankStatement> s = readStatementBytes(fixture("camt053-v02-two-accounts.xml"));
    QCOMPARE(s.size(), size_t(2));
    QCOMPARE(s[0].account, QStringLiteral("RO49AAAA1B31007593840000"));
    QCOMPARE(s[0].id, QStringLiteral("EXT-2024-0603"));
    QCOMPARE(s[0].sequence, QStringLiteral("105"));
    QCOMPARE(s[0].currency, QStringLiteral("RON"));
    QCOMPARE(s[1].account, QStringLiteral("RO76BTRL0130120212345678"));
    // Seven entries, one of them split into its two transactions.
    QCOMPARE(s[0].entries.size(), size_t(8));
    const BankEntry &first = s[0].entries[0];
    QCOMPARE(first.amount, Money::fromLei(150));
    QVERIFY(first.credit && first.booked && !first.reversal);
    QCOMPARE(first.currency, QStringLiteral("RON"));
    QCOMPARE(first.bookingDay, day(2024, 6, 3));
    QCOMPARE(first.reference, QStringLiteral("BK-240603-0001"));
    QCOMPARE(first.payer, QStringLiteral("Ion Popescu"));
    QCOMPARE(first.text, QStringLiteral("Plata salubrizare CNP 1800101223344 luna mai"));

    const BankEntry &a = s[0].entries[1], &b = s[0].entries[2];
    QCOMPARE(a.amount, Money::fromLei(100));
    QCOMPARE(b.amount, Money::fromLei(200));
    QCOMPARE(a.reference, QStringLiteral("BK-240603-0002-A"));
    QCOMPARE(b.reference, QStringLiteral("BK-240603-0002/2"));
    QCOMPARE(a.payer, QStringLiteral("Maria Ionescu"));
    QCOMPARE(b.text, QStringLiteral("Rol 8812 taxa 2024"));
    QVERIFY(a.problem.isEmpty() && b.problem.isEmpty());

    QVERIFY(!s[0].entries[3].credit);
    QCOMPARE(s[0].entries[4].currency, QStringLiteral("EUR"));
    QCOMPARE(s[0].entries[5].payer, QStringLiteral("VASILE GHEORGHE"));
    QVERIFY(!s[0].entries[7].booked);
    QCOMPARE(s[1].entries.size(), size_t(1));
    QCOMPARE(s[1].entries[0].amount, *Money::parse(QStringLiteral("45.50")));
}

void TestStatementReaders::camtNewestVersionNesting()
{
    const std::vector<BankStatement> s = readStatementBytes(fixture("camt053-v08-overlap.xml"));
    QCOMPARE(s.size(), size_t(1));
    QCOMPARE(s[0].account, QStringLiteral("RO49AAAA1B31007593840000"));
    QCOMPARE(s[0].sequence, QStringLiteral("106"));
    QCOMPARE(s[0].entries.size(), size_t(2));
    QCOMPARE(s[0].entries[0].bookingDay, day(2024, 6, 3));
    QVERIFY(s[0].entries[0].booked);
    QCOMPARE(s[0].entries[0].payer, QStringLiteral("Ion Popescu"));
    QCOMPARE(s[0].entries[1].payer, QStringLiteral("Necunoscut"));
    QCOMPARE(s[0].entries[1].text, QStringLiteral("CONTRACT 45/2020"));
}

void TestStatementReaders::mt940ChoppedSubfieldsAndNonref()
{
    const std::vector<BankStatement> s = readStatementBytes(fixture("mt940-two-days.sta"));
    QCOMPARE(s.size(), size_t(2));
    QCOMPARE(s[0].format, QStringLiteral("MT940"));
    QCOMPARE(s[0].id, QStringLiteral("STMT240603"));
    QCOMPARE(s[0].account, QStringLiteral("RO49AAAA1B31007593840000"));
    QCOMPARE(s[0].sequence, QStringLiteral("00105/1"));
    QCOMPARE(s[0].entries.size(), size_t(5));
    const BankEntry &e = s[0].entries[0];
    QCOMPARE(e.currency, QStringLiteral("RON")); // only :60F: says it
    QCOMPARE(e.amount, Money::fromLei(150));
    QCOMPARE(e.bookingDay, day(2024, 6, 3));
    QCOMPARE(e.reference, QStringLiteral("BK2406030001"));
    // The code cut between ?20 and ?21 is whole again.
    QCOMPARE(e.text, QStringLiteral("PLATA SALUBRIZARE CNP 1800101223344 LUNA MAI"));
    QCOMPARE(e.payer, QStringLiteral("IONESCU POPESCU"));
    // NONREF without a bank reference: no reference at all.
    QVERIFY(s[0].entries[1].reference.isEmpty());
    QCOMPARE(s[0].entries[1].payer, QStringLiteral("CONSTANTINESCU POPOVICI ALEXANDRU"));
    QVERIFY(!s[0].entries[3].credit);
    // A :86: continued on a second line; the owner's reference kept in the text.
    QVERIFY(s[0].entries[4].text.contains(QLatin1String("CONTRACTUL NR. 45/2020")));
    QVERIFY(s[0].entries[4].text.contains(QLatin1String("FACT-77")));
    QCOMPARE(s[0].entries[4].payer, QStringLiteral("ALTCINEVA"));
    QCOMPARE(s[1].entries.size(), size_t(1));
    QCOMPARE(s[1].entries[0].text, QStringLiteral("Plata ROL 8812 taxa"));
    QCOMPARE(s[1].entries[0].bookingDay, day(2024, 6, 4));
}

void TestStatementReaders::damagedFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray camt = fixture("camt053-v02-two-accounts.xml");
    const QByteArray mt = fixture("mt940-two-days.sta");
    const QString camtDamaged = QStringLiteral("Extrasul camt.053 este deteriorat");
    const QString mtDamaged = QStringLiteral("Extrasul MT940 este deteriorat");
    QTest::newRow("camt cut in an entry") << camt.left(camt.indexOf("Maria Ionescu")) << camtDamaged;
    QTest::newRow("camt cut after the last entry") << camt.left(camt.lastIndexOf("</Stmt>")) << camtDamaged;
    QByteArray noAmount = camt;
    noAmount.replace("<Amt Ccy=\"RON\">80.00</Amt>", "");
    QTest::newRow("camt entry without amount") << noAmount << camtDamaged;
    QByteArray badAmount = camt;
    badAmount.replace("150.00", "1e9");
    QTest::newRow("camt amount not a number") << badAmount << camtDamaged;
    QByteArray bomb = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>";
    bomb += camt.mid(camt.indexOf("<Document"));
    bomb.replace("<Id>EXT-2024-0603</Id>", "<Id>&b;</Id>");
    QTest::newRow("camt with entities") << bomb << camtDamaged;
    QByteArray other = camt;
    other.replace("camt.053.001.02", "camt.052.001.02");
    QTest::newRow("camt.052 is not a statement") << other << QStringLiteral("Fisierul nu este un extras camt.053");
    QByteArray deep = "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\">";
    for (int i = 0; i < 200; ++i)
        deep += "<a>";
    QTest::newRow("camt nested too deep") << deep << camtDamaged;
    QTest::newRow("mt940 cut before the closing balance") << mt.left(mt.indexOf(":62F:")) << mtDamaged;
    QByteArray badLine = mt;
    badLine.replace(":61:2406030603CN150,00", ":61:2406030603CN150.00");
    QTest::newRow("mt940 amount without comma") << badLine << mtDamaged;
    QByteArray noOpening = mt;
    noOpening.replace(":60F:C240603RON1000,00", ":60F:X");
    QTest::newRow("mt940 unreadable opening balance") << noOpening << mtDamaged;
    // Cut inside the closing balance or in the next message's header: the balance and the
    // header show the cut, where the fields alone did not.
    QTest::newRow("mt940 cut in the closing balance amount") << mt.left(mt.indexOf(":62F:C240603RON1305,00") + 19) << mtDamaged;
    QTest::newRow("mt940 cut in the next message header") << mt.left(mt.indexOf("{1:", 10) + 20) << mtDamaged;
    QTest::newRow("mt940 cut as the next message begins") << mt.left(mt.indexOf("{1:", 10) + 2) << mtDamaged;
    QByteArray altered = mt;
    altered.replace(":61:2406030603CN80,00NTRFNONREF", ":61:2406030603CN8,00NTRFNONREF");
    QTest::newRow("mt940 lines do not add up to the closing balance") << altered << QStringLiteral("nu corespunde");
    QByteArray huge = ":20:X\n:25:RO49AAAA1B31007593840000\n:60F:C240603RON99999999999999,\n";
    for (int i = 0; i < 10; ++i)
        huge += ":61:2406030603CN99999999999999,NTRFNONREF\n";
    huge += ":62F:C240603RON0,\n-\n";
    QTest::newRow("mt940 amounts beyond any balance") << huge << QStringLiteral("depasesc");
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0", 11) << QStringLiteral("nu este un extras");
    QTest::newRow("empty") << QByteArray("  \r\n") << QStringLiteral("Fisierul extrasului este gol.");
}

void TestStatementReaders::damagedFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    try {
        readStatementBytes(bytes);
        QFAIL("a damaged file was read");
    } catch (const BankFileError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

void TestStatementReaders::ibanCheckDigits()
{
    QVERIFY(isValidIban(QStringLiteral("RO49 AAAA 1B31 0075 9384 0000")));
    QVERIFY(isValidIban(QStringLiteral("ro76btrl0130120212345678")));
    QVERIFY(!isValidIban(QStringLiteral("RO48AAAA1B31007593840000")));
    QVERIFY(!isValidIban(QStringLiteral("RO49AAAA1B3100759384000")));
    QVERIFY(!isValidIban(QString()));
}

void TestStatementReaders::longTextIsCut()
{
    QByteArray camt = fixture("camt053-v02-two-accounts.xml");
    camt.replace("taxa gunoi", QByteArray(100000, 'x'));
    const std::vector<BankStatement> s = readStatementBytes(camt);
    QVERIFY(s[0].entries[5].text.size() <= MaxStatementTextLength);
    QVERIFY(s[0].entries[5].text.startsWith(QLatin1String("xxx")));
}

// Millions of short lines used to become millions of strings (over a gigabyte for a file
// under the size limit); such a file is refused before it eats the memory.
void TestStatementReaders::mt940FloodOfTinyFieldsIsRefused()
{
    QByteArray mt = ":20:X\n:25:RO49AAAA1B31007593840000\n:60F:C240115RON0,00\n";
    for (int i = 0; i < 3 * MaxStatementEntries; ++i)
        mt += ":1:\n";
    mt += ":62F:C240115RON0,00\n-\n";
    try {
        readStatementBytes(mt);
        QFAIL("a file of empty fields was read");
    } catch (const BankFileError &e) {
        QVERIFY2(e.message().contains(QLatin1String("prea multe campuri")), qPrintable(e.message()));
    }
}

// The bound on entries held only for Ntry: many entries each holding thousands of small
// transactions gave over a million transfers from a file under the size limit.
void TestStatementReaders::camtTransactionsBoundedAcrossEntries()
{
    QByteArray transactions;
    for (int i = 0; i < 10000; ++i)
        transactions += "<TxDtls><Amt>0</Amt></TxDtls>";
    const QByteArray entry = "<Ntry><Amt Ccy=\"RON\">0</Amt><CdtDbtInd>CRDT</CdtDbtInd><BookgDt><Dt>2024-06-03</Dt></BookgDt>"
                             "<NtryDtls>" + transactions + "</NtryDtls></Ntry>";
    QByteArray camt = "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt><Stmt><Id>1</Id>"
                      "<Acct><Id><IBAN>RO49AAAA1B31007593840000</IBAN></Id></Acct>";
    for (int i = 0; i <= MaxStatementEntries / 10000; ++i)
        camt += entry;
    camt += "</Stmt></BkToCstmrStmt></Document>";
    try {
        readStatementBytes(camt);
        QFAIL("more transfers than the bound were read");
    } catch (const BankFileError &e) {
        QVERIFY2(e.message().contains(QLatin1String("prea multe tranzactii")), qPrintable(e.message()));
    }
}

// A '?' the payer typed ended the reading of the :86: field: the code after it was lost
// and the transfer parked.
void TestStatementReaders::mt940QuestionMarkInPaymentText()
{
    const QByteArray mt = ":20:X\n:25:RO49AAAA1B31007593840000\n:60F:C240603RON0,\n"
                          ":61:2406030603CN150,00NTRFNONREF\n"
                          ":86:166?00PLATA?20TAXA? IUNIE CNP 1800101223344?32POPESCU ION\n"
                          ":62F:C240603RON150,\n-\n";
    const std::vector<BankStatement> s = readStatementBytes(mt);
    QCOMPARE(s[0].entries[0].text, QStringLiteral("TAXA? IUNIE CNP 1800101223344"));
    QCOMPARE(s[0].entries[0].payer, QStringLiteral("POPESCU ION"));
}

// Hundreds of thousands of tiny statements, each of another account, made the plan compare
// every account with every other one; a file holds at most so many statements.
void TestStatementReaders::statementsPerFileBounded()
{
    QByteArray camt = "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt>";
    QByteArray mt;
    for (int i = 0; i <= MaxStatementsPerFile; ++i) {
        const QByteArray n = QByteArray::number(i);
        camt += "<Stmt><Acct><Id><Othr><Id>" + n + "</Id></Othr></Id></Acct></Stmt>";
        mt += ":20:X\n:25:" + n + "\n:60F:C240603RON0,\n:62F:C240603RON0,\n-\n";
    }
    camt += "</BkToCstmrStmt></Document>";
    for (const QByteArray &file : {camt, mt}) {
        try {
            readStatementBytes(file);
            QFAIL("a file of too many statements was read");
        } catch (const BankFileError &e) {
            QVERIFY2(e.message().contains(QLatin1String("prea multe extrase")), qPrintable(e.message()));
        }
    }
}

QTEST_GUILESS_MAIN(TestStatementReaders)
#include "tst_statementreaders.moc"
