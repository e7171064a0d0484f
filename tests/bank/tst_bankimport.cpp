// Bank statements into collections on a real data folder: what is recorded, parked and
// ignored; the same file or an overlapping statement recording each transfer once; a
// transfer dated before the latest collection parked; a failure half way leaving nothing.

#include "bank/bankimport.h"
#include "collections/balance.h"
#include "collections/cancellation.h"
#include "collections/collection.h"

#include "collections/collectionsfixture.h"

#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(VESTRONIA_TEST_FIXTURES "/bank/") + QLatin1String(name);
}

class BankFixture : public CollectionsFixture
{
public:
    BankFixture()
    {
        popescu = subscriber("POPESCU ION", "1800101223344", "", "");
        ionescu = subscriber("IONESCU MARIA", "", "102", "45/2020");
        alfa = subscriber("SC ALFA PREST SRL", "RO1234567", "8812", "");
        vasile = subscriber("VASILE GHEORGHE", "", "", "");
        popaA = subscriber("POPA ANA", "", "", "");
        popaB = subscriber("POPA ANA", "", "", "");
        constantinescu = subscriber("CONSTANTINESCU POPOVICI ALEXANDRU", "", "", "");
        debit = insertDebit(popescu, "120", day(2024, 5, 5));
    }

    qint64 subscriber(const char *name, const char *code, const char *rol, const char *contract)
    {
        const qint64 id = insertSubscriber(QString::fromLatin1(name), 1, day(2020, 1, 1));
        db->exec(QStringLiteral("UPDATE Abonat SET CNP=?, ROL=?, NRCON=? WHERE IDAB=?"),
                 {QString::fromLatin1(code), QString::fromLatin1(rol), QString::fromLatin1(contract), id});
        return id;
    }

    BankImport plan(const char *file) { return planBankImport(*db, session, readStatementFile(fixture(file))); }

    BankRecordSummary importFile(const char *file)
    {
        BankImport i = plan(file);
        NullProgress quiet;
        return recordBankImport(*db, session, i, quiet);
    }

    qint64 count(const QString &sql, const QVariantList &params = {}) { return db->scalar(sql, params).toLongLong(); }
    qint64 transfers() { return count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE DOCJUS='VIRAMENT BANCAR'")); }
    qint64 transfersOf(qint64 idab) { return count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=?"), {idab}); }

    qint64 popescu, ionescu, alfa, vasile, popaA, popaB, constantinescu, debit;
};

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *n : list)
        out << QString::fromLatin1(n);
    return out;
}

QStringList outcomes(const BankImport &i)
{
    QStringList out;
    for (const BankLine &l : i.lines)
        out << bankOutcomeText(l.outcome);
    return out;
}

// Fails on the nth step, as a power cut or a full disk would in the middle of a statement.
class FailingProgress : public Progress
{
public:
    explicit FailingProgress(int failAt) : m_failAt(failAt) {}
    void setText(const QString &) override {}
    void setTotal(int) override {}
    void start() override {}
    void finish() override {}
    void step() override
    {
        if (++m_steps == m_failAt)
            throw VestroniaError(QStringLiteral("disc plin"));
    }

private:
    int m_failAt;
    int m_steps = 0;
};

// The day of 10 June with one payment of 75 lei to the service's account, as MT940
// (the given :86: subfields after "166?00PLATA") and as camt.053 (the given payer and text).
std::pair<QByteArray, QByteArray> sameTransferInBothFormats(const char *subfields, const char *payer, const char *text)
{
    const QByteArray mt940 = QByteArrayLiteral(":20:STMT240610\r\n:25:RO49AAAA1B31007593840000\r\n:28C:00110/1\r\n"
                                               ":60F:C240607RON0,00\r\n:61:2406100610CN75,00NTRFNONREF\r\n:86:166?00PLATA")
                             + QByteArray(subfields) + QByteArrayLiteral("\r\n:62F:C240610RON75,00\r\n-");
    const QByteArray camt =
        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                          "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt>"
                          "<GrpHdr><MsgId>M-1</MsgId><CreDtTm>2024-06-11T06:00:00</CreDtTm></GrpHdr><Stmt><Id>EXT-2024-0610</Id>"
                          "<Acct><Id><IBAN>RO49AAAA1B31007593840000</IBAN></Id><Ccy>RON</Ccy></Acct>"
                          "<Ntry><Amt Ccy=\"RON\">75.00</Amt><CdtDbtInd>CRDT</CdtDbtInd><Sts>BOOK</Sts>"
                          "<BookgDt><Dt>2024-06-10</Dt></BookgDt><AcctSvcrRef>BK-240610-0077</AcctSvcrRef><NtryDtls><TxDtls>"
                          "<RltdPties><Dbtr><Nm>")
        + QByteArray(payer) + QByteArrayLiteral("</Nm></Dbtr></RltdPties><RmtInf><Ustrd>") + QByteArray(text)
        + QByteArrayLiteral("</Ustrd></RmtInf></TxDtls></NtryDtls></Ntry></Stmt></BkToCstmrStmt></Document>");
    return {mt940, camt};
}

} // namespace

class TestBankImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void camtRecordsMatchedAndParksTheRest();
    void sameFileTwiceRecordsOnce();
    void overlappingStatementsRecordOnce();
    void mt940RepeatsWithinADayCounted();
    void transferBeforeLatestCollectionParked();
    void clerkAssignsAndDrops();
    void failureHalfWayLeavesNothing();
    void otherAccountIsReported();
    void cancelledTransferIsOfferedAgain();
    void pendingEntryDoesNotHideItsBookingLater();
    void fractionOfABanIsParkedNotRounded();
    void sameDayInBothFormatsRecordedOnce_data();
    void sameDayInBothFormatsRecordedOnce();
    void otherReferenceSameDayAndAmountIsNew();
    void mt940SubfieldCutAtAWordsEndIsTheCamtText_data();
    void mt940SubfieldCutAtAWordsEndIsTheCamtText();
    void payerLongerThanMt940HoldsIsTheCamtPayer_data();
    void payerLongerThanMt940HoldsIsTheCamtPayer();
    void refusalMidStatementLeavesTheOthersAndNoGaps();
    void ignoredEntryDoesNotShiftTheRepeatCount();
    void transferAlreadyInTheBooksUnderOtherWordsIsParked();
    void subscriberDeletedAfterThePlanIsParked();
    void cancelledReceiptFromAWrongClockDoesNotParkTransfers();
    void mt940OwnerReferenceInTheTextIsNotRecordedTwice();
    void twoWorkstationsRecordingOneStatementRecordItOnce();
};

void TestBankImport::camtRecordsMatchedAndParksTheRest()
{
    BankFixture f;
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(outcomes(i), (names({"de inregistrat", "de inregistrat", "de inregistrat", "ignorat", "ignorat",
                                        "de inregistrat", "in asteptare", "ignorat", "in asteptare"})));
    QCOMPARE(i.lines[0].idab, f.popescu);
    QCOMPARE(i.lines[0].reason, MatchReason::Code);
    QCOMPARE(i.lines[1].idab, f.ionescu);
    QCOMPARE(i.lines[1].reason, MatchReason::Contract);
    QCOMPARE(i.lines[2].idab, f.alfa);
    QCOMPARE(i.lines[2].reason, MatchReason::Rol);
    QCOMPARE(i.lines[5].idab, f.vasile);
    QCOMPARE(i.lines[5].reason, MatchReason::Name);
    QCOMPARE(i.lines[3].note, QStringLiteral("Plata din cont"));
    QCOMPARE(i.lines[4].note, QStringLiteral("Alta moneda: EUR"));
    QVERIFY(i.lines[6].note.startsWith(QLatin1String("Numele platitorului")));

    NullProgress quiet;
    const BankRecordSummary s = recordBankImport(*f.db, f.session, i, quiet);
    QCOMPARE(s.recorded, 4);
    QCOMPARE(s.sum, Money::fromLei(530));
    QCOMPARE(f.transfers(), qint64(4));
    // The collection is the dialog's: dated on the booking day, spread over the debit.
    const ResultSet doc = f.db->select(QStringLiteral("SELECT * FROM Chitante WHERE IDCHIT=?"), {i.lines[0].idchit});
    QCOMPARE(doc.integer(0, QStringLiteral("IDAB")), f.popescu);
    QCOMPARE(doc.integer(0, QStringLiteral("DOCDATA")), qint64(day(2024, 6, 3)));
    QCOMPARE(doc.integer(0, QStringLiteral("DOCNR")), qint64(105));
    QCOMPARE(doc.text(0, QStringLiteral("NUMEPLAT")), QStringLiteral("ION POPESCU"));
    QCOMPARE(doc.text(0, QStringLiteral("REPREZ")), QStringLiteral("PLATA SALUBRIZARE CNP 1800101223344 LUNA MAI"));
    QCOMPARE(doc.money(0, QStringLiteral("INCASAT")), Money::fromLei(150));
    QCOMPARE(f.sold(f.debit), Money());
    QCOMPARE(balanceOf(*f.db, f.popescu, f.today()).total, Money::fromLei(-30));
    // One change-log entry for the statement besides one per document.
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE=?"),
                     {QStringLiteral("Extras bancar EXT-2024-0603 / 105, cont RO49AAAA1B31007593840000: 4 viramente = 530 lei")}),
             qint64(1));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE LIKE 'Eliberat VIRAMENT BANCAR%'")), qint64(4));
}

void TestBankImport::sameFileTwiceRecordsOnce()
{
    BankFixture f;
    QCOMPARE(f.importFile("camt053-v02-two-accounts.xml").recorded, 4);
    f.reopen();
    BankImport again = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(outcomes(again), (names({"deja inregistrat", "deja inregistrat", "deja inregistrat", "ignorat", "ignorat",
                                            "deja inregistrat", "in asteptare", "ignorat", "in asteptare"})));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, again, quiet).recorded, 0);
    QCOMPARE(f.transfers(), qint64(4));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE LIKE 'Extras bancar%'")), qint64(1));
}

void TestBankImport::overlappingStatementsRecordOnce()
{
    BankFixture f;
    f.importFile("camt053-v02-two-accounts.xml");
    BankImport next = f.plan("camt053-v08-overlap.xml");
    // The entry of the 3rd comes again in the statement of the 5th; the new one is recorded.
    QCOMPARE(outcomes(next), (names({"deja inregistrat", "de inregistrat"})));
    QCOMPARE(next.lines[1].idab, f.ionescu);
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, next, quiet).recorded, 1);
    QCOMPARE(f.transfersOf(f.popescu), qint64(1));
    QCOMPARE(f.transfersOf(f.ionescu), qint64(2));
    // The same reference in another account's statement is another entry (parked here).
    BankImport first = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(bankOutcomeText(first.lines[8].outcome), QStringLiteral("in asteptare"));
}

void TestBankImport::mt940RepeatsWithinADayCounted()
{
    BankFixture f;
    BankImport i = f.plan("mt940-two-days.sta");
    QCOMPARE(outcomes(i), (names({"de inregistrat", "de inregistrat", "de inregistrat", "ignorat", "de inregistrat",
                                        "de inregistrat"})));
    QCOMPARE(i.lines[1].idab, f.constantinescu);
    QCOMPARE(i.lines[4].idab, f.ionescu);
    QCOMPARE(i.lines[5].idab, f.alfa);
    QVERIFY(i.lines[1].key != i.lines[2].key);
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 5);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE LIKE 'Extras bancar%'")), qint64(2));
    // Two identical payments of the day are known; a third in the overlapping statement is new.
    BankImport overlap = f.plan("mt940-overlap.sta");
    QCOMPARE(outcomes(overlap), (names({"deja inregistrat", "deja inregistrat", "de inregistrat"})));
    QCOMPARE(recordBankImport(*f.db, f.session, overlap, quiet).recorded, 1);
    QCOMPARE(f.transfersOf(f.constantinescu), qint64(3));
    QCOMPARE(outcomes(f.plan("mt940-overlap.sta")), (names({"deja inregistrat", "deja inregistrat", "deja inregistrat"})));
}

void TestBankImport::transferBeforeLatestCollectionParked()
{
    BankFixture f;
    CollectionDraft d;
    d.idab = f.popescu;
    d.amount = Money::fromLei(10);
    d.day = day(2024, 6, 7);
    QVERIFY(!recordCollection(*f.db, f.session, d).refusal);
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(bankOutcomeText(i.lines[0].outcome), QStringLiteral("in asteptare"));
    QCOMPARE(i.lines[0].idab, f.popescu);
    QCOMPARE(i.lines[0].note, QStringLiteral("Data 03.06.2024 este inaintea ultimei incasari a abonatului (07.06.2024)"));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 3);
    QCOMPARE(f.transfersOf(f.popescu), qint64(1));
    // Assigning it by hand does not get round the rule either.
    assignLine(*f.db, i, 0, f.popescu);
    QCOMPARE(bankOutcomeText(i.lines[0].outcome), QStringLiteral("in asteptare"));
}

void TestBankImport::clerkAssignsAndDrops()
{
    BankFixture f;
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    assignLine(*f.db, i, 6, f.popaB);
    QCOMPARE(bankOutcomeText(i.lines[6].outcome), QStringLiteral("de inregistrat"));
    QCOMPARE(i.lines[6].subscriber, QStringLiteral("POPA ANA"));
    dropLine(i, 5);
    assignLine(*f.db, i, 3, f.popaA); // an outgoing payment cannot be assigned
    QCOMPARE(bankOutcomeText(i.lines[3].outcome), QStringLiteral("ignorat"));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 4);
    QCOMPARE(f.transfersOf(f.popaB), qint64(1));
    QCOMPARE(f.transfersOf(f.popaA), qint64(0));
    QCOMPARE(f.transfersOf(f.vasile), qint64(0));
    // The dropped one comes back next time, the assigned one is known.
    BankImport again = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(bankOutcomeText(again.lines[5].outcome), QStringLiteral("de inregistrat"));
    QCOMPARE(bankOutcomeText(again.lines[6].outcome), QStringLiteral("deja inregistrat"));
}

void TestBankImport::failureHalfWayLeavesNothing()
{
    BankFixture f;
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    const qint64 logs = f.count(QStringLiteral("SELECT COUNT(*) FROM Log"));
    FailingProgress failing(3);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, recordBankImport(*f.db, f.session, i, failing));
    f.reopen();
    QCOMPARE(f.transfers(), qint64(0));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DetChit")), qint64(0));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log")), logs);
    QCOMPARE(f.sold(f.debit), Money::fromLei(120));
    // The plan is as before, so the clerk can simply try again.
    QCOMPARE(bankOutcomeText(i.lines[0].outcome), QStringLiteral("de inregistrat"));
    QCOMPARE(i.lines[0].idchit, qint64(0));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 4);
}

void TestBankImport::otherAccountIsReported()
{
    BankFixture f;
    QVERIFY(f.plan("camt053-v02-two-accounts.xml").foreignAccounts.isEmpty()); // no IBAN set: nothing to compare
    setServiceIban(f.session, QStringLiteral("RO49 AAAA 1B31 0075 9384 0000"));
    QCOMPARE(serviceIban(f.session), QStringLiteral("RO49AAAA1B31007593840000"));
    QCOMPARE(f.plan("camt053-v02-two-accounts.xml").foreignAccounts, QStringList{QStringLiteral("RO76BTRL0130120212345678")});
    QVERIFY(f.plan("mt940-two-days.sta").foreignAccounts.isEmpty());
}

void TestBankImport::cancelledTransferIsOfferedAgain()
{
    // Cancelling a transfer deletes its document, so a wrong match is put right by
    // cancelling it and importing the statement again with the right subscriber.
    BankFixture f;
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    NullProgress quiet;
    recordBankImport(*f.db, f.session, i, quiet);
    QVERIFY(!cancelCollection(*f.db, f.session, i.lines[5].idchit, quiet));
    BankImport again = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(bankOutcomeText(again.lines[5].outcome), QStringLiteral("de inregistrat"));
    QCOMPARE(bankOutcomeText(again.lines[0].outcome), QStringLiteral("deja inregistrat"));
    assignLine(*f.db, again, 5, f.popaA);
    QCOMPARE(recordBankImport(*f.db, f.session, again, quiet).recorded, 1);
    QCOMPARE(f.transfersOf(f.vasile), qint64(0));
    QCOMPARE(f.transfersOf(f.popaA), qint64(1));
}

// A file of several daily statements may show an entry pending on one day and booked the
// next under the same reference. The pending one is ignored, so it must not make the
// booked one look already recorded: that transfer was never recorded at all.
void TestBankImport::pendingEntryDoesNotHideItsBookingLater()
{
    BankFixture f;
    BankEntry e;
    e.bookingDay = day(2024, 6, 3);
    e.amount = Money::fromLei(150);
    e.credit = true;
    e.currency = QStringLiteral("RON");
    e.reference = QStringLiteral("REF-77");
    e.payer = QStringLiteral("POPESCU ION");
    e.text = QStringLiteral("CNP 1800101223344");
    std::vector<BankStatement> statements(2);
    for (BankStatement &s : statements) {
        s.format = QStringLiteral("camt.053");
        s.account = QStringLiteral("RO49AAAA1B31007593840000");
        s.entries.push_back(e);
    }
    statements[0].entries[0].booked = false;
    statements[1].entries[0].bookingDay = day(2024, 6, 4);
    BankImport i = planBankImport(*f.db, f.session, statements);
    QCOMPARE(outcomes(i), (names({"ignorat", "de inregistrat"})));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 1);
    QCOMPARE(f.transfersOf(f.popescu), qint64(1));
}

// A camt amount may carry more than two decimals; the collection keeps bani, so 150.005
// would have been recorded as 150.01.
void TestBankImport::fractionOfABanIsParkedNotRounded()
{
    BankFixture f;
    BankEntry e;
    e.bookingDay = day(2024, 6, 3);
    e.amount = Money::fromUnits(1500050);
    e.credit = true;
    e.currency = QStringLiteral("RON");
    e.reference = QStringLiteral("REF-78");
    e.payer = QStringLiteral("POPESCU ION");
    e.text = QStringLiteral("CNP 1800101223344");
    std::vector<BankStatement> statements(1);
    statements[0].format = QStringLiteral("camt.053");
    statements[0].account = QStringLiteral("RO49AAAA1B31007593840000");
    statements[0].entries.push_back(e);
    BankImport i = planBankImport(*f.db, f.session, statements);
    QCOMPARE(outcomes(i), (names({"in asteptare"})));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 0);
    QCOMPARE(f.transfersOf(f.popescu), qint64(0));
}

// The day of 10 June given by the bank once as camt.053 (every entry with a reference) and
// once as MT940 (NONREF): two payments of 80 lei alike in day, payer and text in both, a
// third only in MT940, a 150 lei one in both, a 35 lei one only in camt, a 55 lei one only
// in MT940. Whichever comes first, the books end with each transfer once.
void TestBankImport::sameDayInBothFormatsRecordedOnce_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("firstRecorded");
    QTest::addColumn<QStringList>("secondOutcomes");
    QTest::newRow("camt.053, then MT940")
        << QStringLiteral("camt053-v02-same-day.xml") << QStringLiteral("mt940-same-day.sta") << 4
        << names({"deja inregistrat", "deja inregistrat", "deja inregistrat", "de inregistrat", "de inregistrat"});
    QTest::newRow("MT940, then camt.053")
        << QStringLiteral("mt940-same-day.sta") << QStringLiteral("camt053-v02-same-day.xml") << 5
        << names({"deja inregistrat", "deja inregistrat", "deja inregistrat", "de inregistrat"});
}

void TestBankImport::sameDayInBothFormatsRecordedOnce()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, firstRecorded);
    QFETCH(QStringList, secondOutcomes);
    BankFixture f;
    QCOMPARE(f.importFile(first.toLatin1().constData()).recorded, firstRecorded);
    BankImport next = f.plan(second.toLatin1().constData());
    QCOMPARE(outcomes(next), secondOutcomes);
    NullProgress quiet;
    const BankRecordSummary done = recordBankImport(*f.db, f.session, next, quiet);
    QCOMPARE(done.recorded, 6 - firstRecorded);
    // Three payments of 80, one of 150, one of 35 and one of 55: 480 lei in six documents.
    QCOMPARE(f.transfers(), qint64(6));
    QCOMPARE(f.transfersOf(f.constantinescu), qint64(3));
    QCOMPARE(f.transfersOf(f.popescu), qint64(1));
    QCOMPARE(Money::fromVariant(f.db->scalar(QStringLiteral("SELECT SUM(INCASAT) FROM Chitante"))), lei("480"));
    // Either file again finds everything in the books.
    for (const char *file : {"camt053-v02-same-day.xml", "mt940-same-day.sta"})
        for (const QString &o : outcomes(f.plan(file)))
            QCOMPARE(o, QStringLiteral("deja inregistrat"));
}

// Alike in day, amount, payer and text but under another reference of the bank: another
// payment, recorded, even though two such are in the books already (and in the statement,
// which gives the day again whole).
void TestBankImport::otherReferenceSameDayAndAmountIsNew()
{
    BankFixture f;
    QCOMPARE(f.importFile("camt053-v02-same-day.xml").recorded, 4);
    std::vector<BankStatement> later = readStatementFile(fixture("camt053-v02-same-day.xml"));
    later[0].entries.push_back(later[0].entries[1]);
    later[0].entries.back().reference = QStringLiteral("BK-240610-0099");
    BankImport next = planBankImport(*f.db, f.session, later);
    QCOMPARE(outcomes(next),
             (names({"deja inregistrat", "deja inregistrat", "deja inregistrat", "deja inregistrat", "de inregistrat"})));
    // A statement that lists only one of the two in the books cannot tell whether the new
    // reference is the other one: the clerk decides.
    later[0].entries.erase(later[0].entries.begin() + 1);
    QCOMPARE(outcomes(planBankImport(*f.db, f.session, later)),
             (names({"deja inregistrat", "deja inregistrat", "deja inregistrat", "in asteptare"})));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, next, quiet).recorded, 1);
    QCOMPARE(f.transfersOf(f.constantinescu), qint64(3));
    // An MT940 of that day without references now knows three payments of 80 lei, not more.
    BankImport mt940 = f.plan("mt940-same-day.sta");
    QCOMPARE(outcomes(mt940),
             (names({"deja inregistrat", "deja inregistrat", "deja inregistrat", "deja inregistrat", "de inregistrat"})));
}

// MT940 cuts payer and text into subfields of 27 characters; a subfield that ends with a
// word and the next that starts with one join without the blank between them. The same
// day as camt.053 keeps the blank: the transfer is one, in whichever order they come.
// The same transfer from either format first: recorded once, known in the other.
static void expectOneTransfer(bool mt940First, const QByteArray &mt940, const QByteArray &camt)
{
    BankFixture f;
    NullProgress quiet;
    BankImport one = planBankImport(*f.db, f.session, readStatementBytes(mt940First ? mt940 : camt));
    QCOMPARE(one.lines.size(), size_t(1));
    QCOMPARE(one.lines[0].note, QString());
    QCOMPARE(recordBankImport(*f.db, f.session, one, quiet).recorded, 1);
    BankImport two = planBankImport(*f.db, f.session, readStatementBytes(mt940First ? camt : mt940));
    QCOMPARE(outcomes(two), names({"deja inregistrat"}));
    QCOMPARE(recordBankImport(*f.db, f.session, two, quiet).recorded, 0);
    QCOMPARE(f.transfersOf(f.popescu), qint64(1));
}

void TestBankImport::mt940SubfieldCutAtAWordsEndIsTheCamtText_data()
{
    QTest::addColumn<bool>("mt940First");
    QTest::newRow("MT940, then camt.053") << true;
    QTest::newRow("camt.053, then MT940") << false;
}

void TestBankImport::mt940SubfieldCutAtAWordsEndIsTheCamtText()
{
    QFETCH(bool, mt940First);
    // "ASOCIATIA PROPRIETARI NR 12" and "PLATA CNP 1800101223344 MAI" are 27 characters each.
    const auto [mt940, camt] = sameTransferInBothFormats(
        "?20PLATA CNP 1800101223344 MAI?21SI IUNIE?32ASOCIATIA PROPRIETARI NR 12?33BLOC A",
        "Asociatia Proprietari Nr 12 Bloc A", "Plata CNP 1800101223344 mai si iunie");
    expectOneTransfer(mt940First, mt940, camt);
    if (QTest::currentTestFailed())
        return;

    BankFixture f;
    NullProgress quiet;
    // Two payments of the day that differ only in their blanks are still two: counted as
    // repeats of one another, not taken for one.
    BankEntry e;
    e.bookingDay = day(2024, 6, 10);
    e.amount = Money::fromLei(20);
    e.credit = true;
    e.currency = QStringLiteral("RON");
    e.payer = QStringLiteral("POPESCU ION");
    e.text = QStringLiteral("CNP 1800101223344 TAXA");
    std::vector<BankStatement> statements(1);
    statements[0].format = QStringLiteral("MT940");
    statements[0].account = QStringLiteral("RO49AAAA1B31007593840000");
    statements[0].entries = {e, e};
    statements[0].entries[1].text = QStringLiteral("CNP 1800101223344 TA XA");
    BankImport alike = planBankImport(*f.db, f.session, statements);
    QCOMPARE(outcomes(alike), names({"de inregistrat", "de inregistrat"}));
    QCOMPARE(recordBankImport(*f.db, f.session, alike, quiet).recorded, 2);
    QCOMPARE(outcomes(planBankImport(*f.db, f.session, statements)), names({"deja inregistrat", "deja inregistrat"}));
}

// MT940 gives the payer in two subfields of 27 characters: a longer name (an owners'
// association, a firm) is cut there, camt.053 gives it whole. Still one transfer.
void TestBankImport::payerLongerThanMt940HoldsIsTheCamtPayer_data()
{
    mt940SubfieldCutAtAWordsEndIsTheCamtText_data();
}

void TestBankImport::payerLongerThanMt940HoldsIsTheCamtPayer()
{
    QFETCH(bool, mt940First);
    const auto [mt940, camt] = sameTransferInBothFormats(
        "?20TAXA CNP 1800101223344?32ASOCIATIA DE PROPRIETARI BL?33OCUL 5 SCARA B STRADA MIHAI",
        "Asociatia de Proprietari Blocul 5 Scara B Strada Mihai Viteazul", "Taxa CNP 1800101223344");
    expectOneTransfer(mt940First, mt940, camt);
}

// Another workstation gives one matched subscriber a receipt dated after the statement
// while the clerk looks at the plan: that transfer is refused and parked, the others are
// recorded, with identifiers that follow one another, and the statement's entry counts
// only what was recorded.
void TestBankImport::refusalMidStatementLeavesTheOthersAndNoGaps()
{
    BankFixture f;
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    CollectionDraft d;
    d.idab = f.ionescu;
    d.amount = Money::fromLei(7);
    d.day = day(2024, 6, 7);
    d.payer = QStringLiteral("IONESCU MARIA");
    const CollectionOutcome receipt = recordCollection(*f.db, f.session, d);
    QVERIFY(!receipt.refusal);
    const Money ionescuOwes = balanceOf(*f.db, f.ionescu, f.today()).total;
    const qint64 linesBefore = f.count(QStringLiteral("SELECT COUNT(*) FROM DetChit"));
    NullProgress quiet;
    const BankRecordSummary s = recordBankImport(*f.db, f.session, i, quiet);
    QCOMPARE(s.recorded, 3);
    QCOMPARE(s.parked, 1);
    QCOMPARE(s.sum, Money::fromLei(430));
    QCOMPARE(bankOutcomeText(i.lines[1].outcome), QStringLiteral("in asteptare"));
    QCOMPARE(i.lines[1].note, QStringLiteral("Aveti Chitanta eliberata dupa aceasta data!"));
    QCOMPARE(balanceOf(*f.db, f.ionescu, f.today()).total, ionescuOwes);
    QCOMPARE(f.transfersOf(f.ionescu), qint64(1));
    f.reopen();
    const ResultSet docs = f.db->select(QStringLiteral("SELECT IDCHIT FROM Chitante ORDER BY IDCHIT"));
    QCOMPARE(docs.rowCount(), 4);
    for (int r = 0; r < docs.rowCount(); ++r)
        QCOMPARE(docs.integer(r, QStringLiteral("IDCHIT")), receipt.recorded.idchit + r);
    const ResultSet lines = f.db->select(QStringLiteral("SELECT IDDCHIT FROM DetChit ORDER BY IDDCHIT"));
    QVERIFY(lines.rowCount() > linesBefore);
    for (int r = 1; r < lines.rowCount(); ++r)
        QCOMPARE(lines.integer(r, QStringLiteral("IDDCHIT")), lines.integer(r - 1, QStringLiteral("IDDCHIT")) + 1);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE LIKE 'Extras bancar%3 viramente = 430 lei'")), qint64(1));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE LIKE 'Eliberat VIRAMENT BANCAR%'")), qint64(3));
}

// The camt.053 of a day lists a payment still pending beside a booked one alike in day,
// amount, payer and text; the MT940 of that day has only the booked one. Whichever comes
// first, the booked payment is one transfer: the entry the import ignores does not count
// among the repeats of the day.
void TestBankImport::ignoredEntryDoesNotShiftTheRepeatCount()
{
    for (const bool mt940First : {true, false}) {
        BankFixture f;
        BankEntry e;
        e.bookingDay = day(2024, 6, 10);
        e.amount = Money::fromLei(40);
        e.credit = true;
        e.currency = QStringLiteral("RON");
        e.payer = QStringLiteral("POPESCU ION");
        e.text = QStringLiteral("CNP 1800101223344");
        std::vector<BankStatement> mt940(1), camt(1);
        mt940[0].format = QStringLiteral("MT940");
        camt[0].format = QStringLiteral("camt.053");
        mt940[0].account = camt[0].account = QStringLiteral("RO49AAAA1B31007593840000");
        mt940[0].entries = {e};
        camt[0].entries = {e, e};
        camt[0].entries[0].booked = false;
        camt[0].entries[0].reference = QStringLiteral("BK-P-1");
        camt[0].entries[1].reference = QStringLiteral("BK-1");
        NullProgress quiet;
        BankImport one = planBankImport(*f.db, f.session, mt940First ? mt940 : camt);
        QCOMPARE(recordBankImport(*f.db, f.session, one, quiet).recorded, 1);
        BankImport two = planBankImport(*f.db, f.session, mt940First ? camt : mt940);
        QCOMPARE(outcomes(two), mt940First ? names({"ignorat", "deja inregistrat"}) : names({"deja inregistrat"}));
        QCOMPARE(f.transfersOf(f.popescu), qint64(1));
    }
}

// A transfer of the day may be in the books in a form no key or text recognises: typed
// by hand from the printed statement before the file came, or recorded from a camt.053
// whose MT940 twin gives the payer and text in free form. The same subscriber, day and
// amount is then parked for the clerk instead of recorded a second time; a second such
// payment beyond those in the books is still recorded.
void TestBankImport::transferAlreadyInTheBooksUnderOtherWordsIsParked()
{
    BankFixture f;
    CollectionDraft d;
    d.idab = f.popescu;
    d.docType = QStringLiteral("VIRAMENT BANCAR");
    d.automaticNumber = false;
    d.amount = Money::fromLei(150);
    d.day = day(2024, 6, 3);
    d.payer = QStringLiteral("POPESCU ION");
    d.purpose = QStringLiteral("OP 105");
    QVERIFY(!recordCollection(*f.db, f.session, d).refusal);
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(bankOutcomeText(i.lines[0].outcome), QStringLiteral("in asteptare"));
    QVERIFY(i.lines[0].note.startsWith(QLatin1String("Posibil inregistrat deja")));
    QCOMPARE(bankOutcomeText(i.lines[1].outcome), QStringLiteral("de inregistrat"));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 3);
    QCOMPARE(f.transfersOf(f.popescu), qint64(1));
    // The clerk who knows better records it by assigning it.
    assignLine(*f.db, i, 0, f.popescu);
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 1);
    QCOMPARE(f.transfersOf(f.popescu), qint64(2));

    // camt.053 first, then the MT940 of the day with a free :86: (no payer subfield).
    BankFixture g;
    QCOMPARE(g.importFile("camt053-v02-same-day.xml").recorded, 4);
    const QByteArray mt940 = QByteArrayLiteral(
        ":20:STMT240610\r\n:25:RO49AAAA1B31007593840000\r\n:28C:00110/1\r\n:60F:C240607RON0,00\r\n"
        ":61:2406100610CN150,00NTRFNONREF\r\n:86:IONESCU POPESCU - PLATA SALUBRIZARE CNP 1800101223344\r\n"
        ":61:2406100610CN150,00NTRFNONREF\r\n:86:IONESCU POPESCU - PLATA SALUBRIZARE CNP 1800101223344 IULIE\r\n"
        ":62F:C240610RON300,00\r\n-");
    BankImport free = planBankImport(*g.db, g.session, readStatementBytes(mt940));
    QCOMPARE(outcomes(free), names({"in asteptare", "de inregistrat"}));
    QCOMPARE(recordBankImport(*g.db, g.session, free, quiet).recorded, 1);
    QCOMPARE(g.transfersOf(g.popescu), qint64(2));
}

// Another workstation deletes a matched subscriber while the clerk looks at the plan: his
// transfer is parked with the reason, the rest of the statement is recorded (before, the
// whole statement failed, and failed again at every try).
void TestBankImport::subscriberDeletedAfterThePlanIsParked()
{
    BankFixture f;
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    f.db->exec(QStringLiteral("DELETE FROM Abonat WHERE IDAB=?"), {f.vasile});
    NullProgress quiet;
    const BankRecordSummary s = recordBankImport(*f.db, f.session, i, quiet);
    QCOMPARE(s.recorded, 3);
    QCOMPARE(s.parked, 1);
    QCOMPARE(bankOutcomeText(i.lines[5].outcome), QStringLiteral("in asteptare"));
    QCOMPARE(i.lines[5].note, QStringLiteral("Abonatul nu mai exista in registru"));
    QCOMPARE(f.transfersOf(f.vasile), qint64(0));
    QCOMPARE(f.transfers(), qint64(3));
}

// A workstation whose clock ran ahead left a receipt dated next month, cancelled since.
// The collection dialog no longer lets it refuse the subscriber's collections; the bank
// import must not park his transfers on it either, nor refuse the clerk's assignment.
void TestBankImport::cancelledReceiptFromAWrongClockDoesNotParkTransfers()
{
    BankFixture f;
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, ANULAT, DOCJUS, DOCNR, DOCDATA, NUME, INCASAT) "
                              "VALUES (900, ?, 'X', 'CHITANTA', 17, ?, 'POPESCU ION', 10)"),
               {f.popescu, f.today() + 30});
    BankImport i = f.plan("camt053-v02-two-accounts.xml");
    QCOMPARE(i.lines[0].note, QString());
    QCOMPARE(bankOutcomeText(i.lines[0].outcome), QStringLiteral("de inregistrat"));
    dropLine(i, 0);
    assignLine(*f.db, i, 0, f.popescu);
    QCOMPARE(bankOutcomeText(i.lines[0].outcome), QStringLiteral("de inregistrat"));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, i, quiet).recorded, 4);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=? AND DOCJUS='VIRAMENT BANCAR'"), {f.popescu}),
             qint64(1));
}

// MT940 puts the payer's own reference (camt.053 keeps it apart as EndToEndId) into the
// payment text, so the two formats of the day read differently: the second to come is
// parked for the clerk, not recorded a second time.
void TestBankImport::mt940OwnerReferenceInTheTextIsNotRecordedTwice()
{
    auto [mt940, camt] = sameTransferInBothFormats("?20TAXA CNP 1800101223344?32POPESCU ION", "Popescu Ion", "Taxa CNP 1800101223344");
    mt940.replace("NTRFNONREF", "NTRFE2E-0042");
    for (const bool mt940First : {true, false}) {
        BankFixture f;
        NullProgress quiet;
        BankImport one = planBankImport(*f.db, f.session, readStatementBytes(mt940First ? mt940 : camt));
        QCOMPARE(recordBankImport(*f.db, f.session, one, quiet).recorded, 1);
        BankImport two = planBankImport(*f.db, f.session, readStatementBytes(mt940First ? camt : mt940));
        QCOMPARE(outcomes(two), names({"in asteptare"}));
        QVERIFY(two.lines[0].note.startsWith(QLatin1String("Posibil inregistrat deja")));
        QCOMPARE(recordBankImport(*f.db, f.session, two, quiet).recorded, 0);
        QCOMPARE(f.transfersOf(f.popescu), qint64(1));
    }
}

// Two clerks open the same statement on two workstations and both press record: the
// second finds every transfer in the books when its transaction starts.
void TestBankImport::twoWorkstationsRecordingOneStatementRecordItOnce()
{
    BankFixture f;
    Database other(f.session.dataFolder);
    BankImport mine = f.plan("camt053-v02-two-accounts.xml");
    BankImport theirs = planBankImport(other, f.session, readStatementFile(fixture("camt053-v02-two-accounts.xml")));
    NullProgress quiet;
    QCOMPARE(recordBankImport(*f.db, f.session, mine, quiet).recorded, 4);
    const BankRecordSummary second = recordBankImport(other, f.session, theirs, quiet);
    QCOMPARE(second.recorded, 0);
    for (int line : {0, 1, 2, 5})
        QCOMPARE(bankOutcomeText(theirs.lines[size_t(line)].outcome), QStringLiteral("deja inregistrat"));
    QCOMPARE(f.transfers(), qint64(4));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE LIKE 'Extras bancar%'")), qint64(1));
}

QTEST_GUILESS_MAIN(TestBankImport)
#include "tst_bankimport.moc"
