// Manual debits and changes of debit amounts: the stored penalty terms, the proposals,
// the three refusals of a deletion in their order, and the run of "Modifica suma in jos".

#include "collections/debits.h"
#include "ledger/accounts.h"

#include "collectionsfixture.h"

#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestDebits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oneOffAccountsForHousehold();
    void manualDebitWithoutPenalty();
    void manualDebitMonthPenaltyStartClipped();
    void perPersonProposal();
    void leaverCannotReceiveDebits();
    void deletionRefusals_data();
    void deletionRefusals();
    void deletionOfUnpaidManualDebit();
    void advanceIsNeitherDeletedNorChanged();
    void changeKeepsWhatWasPaid();
    void downwardStopsAtOtherAccount();
    void downwardRefusalNamesTheLaterDebitAlreadyPaid();
    void negativeAmountsAndPersonRangeRefusedOnEveryRoad();
};

namespace {
AccountDraft oneOff(const QString &name, const char *amount)
{
    AccountDraft d;
    d.name = name;
    d.amount = lei(amount);
    d.startDay = day(2020, 1, 1);
    return d;
}
} // namespace

void TestDebits::oneOffAccountsForHousehold()
{
    CollectionsFixture f;
    f.insertAccount(oneOff(QStringLiteral("TAXA B"), "10"));
    AccountDraft ranged = oneOff(QStringLiteral("TAXA A"), "5");
    ranged.byPersons = true;
    ranged.minPersons = 3;
    ranged.maxPersons = 5;
    f.insertAccount(ranged);
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("LUNAR"), QStringLiteral("12")));
    const ResultSet two = manualDebitAccounts(*f.db, 2);
    QCOMPARE(two.rowCount(), 1);
    QCOMPARE(two.text(0, QStringLiteral("DENUM")), QStringLiteral("TAXA B"));
    const ResultSet four = manualDebitAccounts(*f.db, 4);
    QCOMPARE(four.rowCount(), 2);
    QCOMPARE(four.text(0, QStringLiteral("DENUM")), QStringLiteral("TAXA A"));
}

void TestDebits::manualDebitWithoutPenalty()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    AccountDraft a = oneOff(QStringLiteral("TAXA"), "10");
    a.penaltyPer = QStringLiteral("zi");
    a.penaltyCapped = true;
    const qint64 idcon = f.insertAccount(a);
    const DebitOutcome o = addManualDebit(*f.db, f.session, idab, idcon, day(2024, 3, 15), lei("12.5"));
    QVERIFY(!o.refusal);
    const ResultSet d = f.db->select(QStringLiteral("SELECT * FROM Debite WHERE IDDEB=?"), {o.iddeb});
    QCOMPARE(d.integer(0, QStringLiteral("IDSERV")), qint64(-1));
    QCOMPARE(d.integer(0, QStringLiteral("LUNADEB")), qint64(202403));
    QCOMPARE(d.money(0, QStringLiteral("RATA")), lei("12.5"));
    QCOMPARE(d.money(0, QStringLiteral("SOLD")), lei("12.5"));
    QCOMPARE(d.text(0, QStringLiteral("PENALPE")), QString());
    QCOMPARE(d.integer(0, QStringLiteral("PENALDATA")), qint64(0));
    QCOMPARE(d.text(0, QStringLiteral("MAXSOLD")), QString());
    QCOMPARE(f.logTexts().last(), QStringLiteral("Adaugare debit: POPESCU ION - TAXA"));
}

void TestDebits::manualDebitMonthPenaltyStartClipped()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    AccountDraft a = oneOff(QStringLiteral("TAXA"), "10");
    a.penalty = lei("1");
    a.penaltyPer = QStringLiteral("zi");
    a.penaltyFrom = 1;
    a.penaltyFromUnit = QStringLiteral("luna");
    a.penaltyCapped = true;
    const qint64 idcon = f.insertAccount(a);
    const DebitOutcome o = addManualDebit(*f.db, f.session, idab, idcon, day(2024, 1, 31), lei("10"));
    const ResultSet d = f.db->select(QStringLiteral("SELECT * FROM Debite WHERE IDDEB=?"), {o.iddeb});
    QCOMPARE(int(d.integer(0, QStringLiteral("PENALDATA"))), day(2024, 2, 29));
    QCOMPARE(d.text(0, QStringLiteral("PENALPE")), QStringLiteral("zi"));
    QCOMPARE(d.text(0, QStringLiteral("MAXSOLD")), QStringLiteral("X"));
    QCOMPARE(d.money(0, QStringLiteral("PENAL")), lei("1"));
}

void TestDebits::perPersonProposal()
{
    AccountRecord a;
    a.amount = lei("12.5");
    a.byPersons = true;
    QCOMPARE(proposedDebitAmount(a, 3).toString(), QStringLiteral("37.5"));
    a.byPersons = false;
    QCOMPARE(proposedDebitAmount(a, 3), lei("12.5"));
}

void TestDebits::leaverCannotReceiveDebits()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1), day(2023, 1, 1));
    const qint64 idcon = f.insertAccount(oneOff(QStringLiteral("TAXA"), "10"));
    QVERIFY(addManualDebit(*f.db, f.session, idab, idcon, f.today(), lei("10")).refusal);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(0));
}

void TestDebits::deletionRefusals_data()
{
    QTest::addColumn<qint64>("idserv");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    const QString subscription =
        QStringLiteral("Acest debit este de la un Abonament!\rCa sa-l stergeti, trebuie sa Modificati/Opriti abonamentul!");
    const QString paid = QStringLiteral("La acest Debit s-au operat Chitante!\rCa sa-l stergeti, trebuie sa anulati incasarea!");
    const QString settlement = QStringLiteral("Acest debit nu poate fi sters!\rVa disparea automat incepand cu 30.11.2024.");
    // The subscription rule comes first even when the others would also refuse.
    QTest::newRow("subscription, paid, settlement") << qint64(5) << QStringLiteral("3") << QStringLiteral("Penalitati 2023")
                                                    << subscription;
    QTest::newRow("paid settlement") << qint64(-1) << QStringLiteral("3") << QStringLiteral("Penalitati 2023") << paid;
    QTest::newRow("settlement") << qint64(-1) << QStringLiteral("10") << QStringLiteral("Penalitati 2023") << settlement;
}

void TestDebits::deletionRefusals()
{
    QFETCH(qint64, idserv);
    QFETCH(QString, rest);
    QFETCH(QString, name);
    QFETCH(QString, message);
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const QByteArray restText = rest.toLatin1();
    const qint64 iddeb = f.insertDebit(idab, restText.constData(), f.today() - 3, 0, "0", QStringLiteral("zi"), QString(), 1,
                                       idserv, "10", name);
    const MaybeRefusal r = deleteDebit(*f.db, f.session, iddeb);
    QVERIFY(r);
    QCOMPARE(r->message, message);
    QCOMPARE(r->title, QStringLiteral("Stergere Debit"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(1));
}

void TestDebits::deletionOfUnpaidManualDebit()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 iddeb = f.insertDebit(idab, "20", f.today() - 3, 0, "0", QStringLiteral("luna"), QString(), 4, -1, nullptr,
                                       QStringLiteral("TAXA"));
    QCOMPARE(debitDeletionQuestion(*f.db, iddeb), QStringLiteral("\rDoriti sa stergeti debitul TAXA ?"));
    QVERIFY(!deleteDebit(*f.db, f.session, iddeb));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(0));
    QCOMPARE(f.logTexts().last(), QStringLiteral("Stergere debit: POPESCU ION - TAXA=20"));
}

void TestDebits::advanceIsNeitherDeletedNorChanged()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 advance = f.insertDebit(idab, "-20", f.today() - 3, 0, "0", QStringLiteral("luna"), QString(), -1, -1, nullptr,
                                         QStringLiteral("PLATA IN AVANS"));
    const MaybeRefusal r = deleteDebit(*f.db, f.session, advance);
    QVERIFY(r);
    QCOMPARE(r->title, QStringLiteral("Stergere Debit"));
    QCOMPARE(r->message,
             QStringLiteral("Acest debit este o plata in avans!\rCa sa-l stergeti, trebuie sa anulati incasarea care l-a creat!"));
    const ChangeOutcome c = changeDebitAmount(*f.db, f.session, advance, lei("5"), false);
    QVERIFY(c.refusal);
    QCOMPARE(f.sold(advance), lei("-20"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(1));
}

void TestDebits::changeKeepsWhatWasPaid()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 iddeb = f.insertDebit(idab, "20", f.today() - 3, 0, "0", QStringLiteral("zi"), QString(), 1, -1, "50");
    const ChangeOutcome o = changeDebitAmount(*f.db, f.session, iddeb, lei("40"), false);
    QVERIFY(!o.refusal);
    QCOMPARE(o.changed, QList<qint64>{iddeb});
    QCOMPARE(f.sold(iddeb), lei("10"));
    QCOMPARE(f.logTexts().last(), QStringLiteral("Modificare debit: POPESCU ION - DEBIT de la 50 la 40 lei."));
}

void TestDebits::downwardStopsAtOtherAccount()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const int d0 = f.today() - 100;
    const qint64 a1 = f.insertDebit(idab, "10", d0, 0, "0", QStringLiteral("zi"), QString(), 1);
    const qint64 a2 = f.insertDebit(idab, "6", d0 + 30, 0, "0", QStringLiteral("zi"), QString(), 1, -1, "10");
    const qint64 b1 = f.insertDebit(idab, "7", d0 + 31, 0, "0", QStringLiteral("zi"), QString(), 2);
    const qint64 a3 = f.insertDebit(idab, "10", d0 + 60, 0, "0", QStringLiteral("zi"), QString(), 1);
    const ChangeOutcome run = changeDebitAmount(*f.db, f.session, a1, lei("12"), true);
    QCOMPARE(run.changed, (QList<qint64>{a1, a2}));
    QCOMPARE(f.sold(a1), lei("12"));
    QCOMPARE(f.sold(a2), lei("8"));
    QCOMPARE(f.sold(b1), lei("7"));
    QCOMPARE(f.sold(a3), lei("10"));
    QVERIFY(f.logTexts().last().startsWith(QStringLiteral("Modificare debite: POPESCU ION")));
}

// The run starts at a debit with nothing paid on it; the debit that stops it is a later
// one, and the clerk must be told which.
void TestDebits::downwardRefusalNamesTheLaterDebitAlreadyPaid()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const int d0 = day(2024, 3, 1);
    const qint64 first = f.insertDebit(idab, "10", d0, 0, "0", QStringLiteral("zi"), QString(), 1, -1, nullptr,
                                       QStringLiteral("SALUBRITATE 03.2024"));
    const qint64 later = f.insertDebit(idab, "3", d0 + 31, 0, "0", QStringLiteral("zi"), QString(), 1, -1, "10",
                                       QStringLiteral("SALUBRITATE 04.2024"));
    const ChangeOutcome o = changeDebitAmount(*f.db, f.session, first, lei("5"), true);
    QVERIFY(o.refusal);
    QVERIFY2(o.refusal->message.contains(QLatin1String("SALUBRITATE 04.2024")), qPrintable(o.refusal->message));
    QVERIFY2(o.refusal->message.contains(QLatin1String("7.00")), qPrintable(o.refusal->message));
    QVERIFY(o.changed.isEmpty());
    QCOMPARE(f.sold(first), lei("10"));
    QCOMPARE(f.sold(later), lei("3"));
}

void TestDebits::negativeAmountsAndPersonRangeRefusedOnEveryRoad()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 idcon = f.insertAccount(oneOff(QStringLiteral("TAXA"), "10"));
    AccountDraft big = oneOff(QStringLiteral("TAXA FAMILII MARI"), "5");
    big.byPersons = true;
    big.minPersons = 3;
    big.maxPersons = 5;
    const qint64 ranged = f.insertAccount(big);
    const DebitOutcome negative = addManualDebit(*f.db, f.session, idab, idcon, f.today(), lei("-50"));
    QVERIFY(negative.refusal);
    QCOMPARE(negative.refusal->field, QStringLiteral("Rata"));
    const DebitOutcome outside = addManualDebit(*f.db, f.session, idab, ranged, f.today(), lei("10"));
    QVERIFY(outside.refusal);
    QCOMPARE(outside.refusal->title, QStringLiteral("Alegere Cont"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(0));
    // A zero amount is the dialog's own question, not a refusal.
    QVERIFY(!addManualDebit(*f.db, f.session, idab, idcon, f.today(), Money()).refusal);

    const qint64 paid = f.insertDebit(idab, "20", f.today() - 3, 0, "0", QStringLiteral("zi"), QString(), 1, -1, "50");
    for (const char *bad : {"-5", "29.99"}) { // negative, or below the 30 already paid
        const ChangeOutcome o = changeDebitAmount(*f.db, f.session, paid, lei(bad), false);
        QVERIFY2(o.refusal, bad);
        QCOMPARE(o.refusal->field, QStringLiteral("Rata"));
        QVERIFY(o.changed.isEmpty());
    }
    QCOMPARE(f.sold(paid), lei("20"));
    QVERIFY(!changeDebitAmount(*f.db, f.session, paid, lei("30"), false).refusal);
    QCOMPARE(f.sold(paid), Money());
}

QTEST_GUILESS_MAIN(TestDebits)
#include "tst_debits.moc"
