// Subscriptions: the amount rules at creation against the update by synchronisation,
// what a distribution selects and writes, synchronisation of a subscriber's accounts,
// and the hand-made amount change with its change-log entry.

#include "ledgerfixture.h"

#include "ledger/monthlydebiting.h"
#include "ledger/subscriptions.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestSubscriptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void amountRules_data();
    void amountRules();
    void fixedPriceForAllGivesThePlainPrice();
    void perPersonForAllIsResetBySync();
    void noPenaltyLeavesPenaltyTermsEmpty();
    void distributionSelectsAndCounts();
    void subscriberWithoutEntryDateGetsNoCatchUp();
    void syncUpdatesAStoppedSubscriptionWithoutRestartingIt();
    void syncSkipsAccountsStoppedBeforeTheDay();
    void changeAmountLogsAndKeepsWrittenDebits();
};

void TestSubscriptions::amountRules_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<bool>("byPersons");
    QTest::addColumn<int>("persons");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("updated");
    QTest::newRow("per person, range") << false << true << 3 << QStringLiteral("37.5") << QStringLiteral("37.5");
    QTest::newRow("per person, for all") << false << false << 3 << QStringLiteral("37.5") << QStringLiteral("12.5");
    QTest::newRow("fixed, range") << true << true << 3 << QStringLiteral("12.5") << QStringLiteral("37.5");
    QTest::newRow("fixed, for all") << true << false << 3 << QStringLiteral("12.5") << QStringLiteral("12.5");
    QTest::newRow("no persons, per person") << false << false << 0 << QStringLiteral("0") << QStringLiteral("12.5");
}

void TestSubscriptions::amountRules()
{
    QFETCH(bool, fixed);
    QFETCH(bool, byPersons);
    QFETCH(int, persons);
    QFETCH(QString, created);
    QFETCH(QString, updated);
    AccountRecord a;
    a.amount = *Money::parse(QStringLiteral("12.5"));
    a.fixedPrice = fixed;
    a.byPersons = byPersons;
    QCOMPARE(creationAmount(a, persons).toString(), created);
    QCOMPARE(updateAmount(a, persons).toString(), updated);
}

void TestSubscriptions::fixedPriceForAllGivesThePlainPrice()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertSubscriber(QStringLiteral("A"), 4, day(2024, 6, 1));
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("FIX"), QStringLiteral("20"));
    d.fixedPrice = true;
    const qint64 id = f.insertAccount(d);
    NullProgress p;
    QCOMPARE(distributeAccount(*f.db, f.session, id, p), 1);
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM AbOm")).money(0, QStringLiteral("RATA")), Money::fromLei(20));
}

void TestSubscriptions::perPersonForAllIsResetBySync()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 3, day(2024, 6, 1));
    const qint64 id = f.insertAccount(LedgerFixture::periodic(QStringLiteral("PERS"), QStringLiteral("12.5")));
    NullProgress p;
    distributeAccount(*f.db, f.session, id, p);
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM AbOm")).money(0, QStringLiteral("RATA")).toString(),
             QStringLiteral("37.5"));
    QVERIFY(syncSubscriptions(*f.db, f.session, ab, 3, day(2024, 6, 10)).isEmpty());
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM AbOm")).money(0, QStringLiteral("RATA")).toString(),
             QStringLiteral("12.5"));
}

void TestSubscriptions::noPenaltyLeavesPenaltyTermsEmpty()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2024, 6, 1));
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("FARA"), QStringLiteral("5"));
    d.penaltyPer = QStringLiteral("luna");
    d.penaltyFromUnit = QStringLiteral("ziua");
    f.insertAccount(d);
    QCOMPARE(syncSubscriptions(*f.db, f.session, ab, 1, day(2024, 6, 1)).size(), 1);
    const ResultSet s = f.db->select(QStringLiteral("SELECT * FROM AbOm"));
    QCOMPARE(s.text(0, QStringLiteral("PENALPE")), QString());
    QCOMPARE(s.text(0, QStringLiteral("PENALDELAP")), QString());
    QCOMPARE(s.integer(0, QStringLiteral("PENALDELA")), 0);
    QCOMPARE(s.integer(0, QStringLiteral("LUNAADD")), 0);
    QCOMPARE(s.integer(0, QStringLiteral("DATASTART")), day(2024, 6, 1));
    QCOMPARE(s.integer(0, QStringLiteral("ZIUAIMP")), 5);
    QCOMPARE(s.integer(0, QStringLiteral("PERLUNI")), 1);
}

void TestSubscriptions::distributionSelectsAndCounts()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const int start = day(2024, 3, 1);
    f.insertSubscriber(QStringLiteral("IN RANGE"), 2, day(2024, 1, 1));
    f.insertSubscriber(QStringLiteral("OUT OF RANGE"), 6, day(2024, 1, 1));
    f.insertSubscriber(QStringLiteral("LEFT AFTER START"), 2, day(2024, 1, 1), day(2024, 4, 20));
    f.insertSubscriber(QStringLiteral("LEFT BEFORE START"), 2, day(2024, 1, 1), day(2024, 2, 1));
    f.insertSubscriber(QStringLiteral("EXEMPT"), 3, day(2024, 1, 1), 0, day(2024, 12, 31));
    f.insertSubscriber(QStringLiteral("NO ENTRY DATE"), 3, 0);
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("RANGE"), QStringLiteral("10"), 1, 3);
    d.startDay = start;
    const qint64 id = f.insertAccount(d);
    NullProgress p;
    // Selected: in range, left after start, exempt, no entry date.
    QCOMPARE(distributeAccount(*f.db, f.session, id, p), 4);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm")), 4);
    // The catch-up: March to June for the first; March and April for the one who left
    // on 20 April; nothing for the exempt one (exempt to the end of the year) or the one
    // with no entry date.
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 4 + 2);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202406")), 1);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=0")), 2);
}

void TestSubscriptions::subscriberWithoutEntryDateGetsNoCatchUp()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertSubscriber(QStringLiteral("A"), 1, 0);
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10"));
    d.startDay = day(2024, 5, 15);
    const qint64 id = f.insertAccount(d);
    NullProgress p;
    distributeAccount(*f.db, f.session, id, p);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
    // The monthly run debits it from the month its subscription starts.
    runMonthlyDebiting(*f.db, f.session, p);
    const qint64 s = f.count(QStringLiteral("SELECT IDSERV FROM AbOm"));
    QCOMPARE(f.debitMonths(s), (QList<int>{202405, 202406}));
}

void TestSubscriptions::syncUpdatesAStoppedSubscriptionWithoutRestartingIt()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 2, day(2020, 1, 1));
    const qint64 id = f.insertAccount(LedgerFixture::periodic(QStringLiteral("RANGE"), QStringLiteral("10"), 1, 4));
    const qint64 s = f.insertSubscription(ab, id, QStringLiteral("RANGE"), QStringLiteral("20"), 5, 1, day(2020, 1, 1),
                                          202401, day(2024, 2, 1));
    QVERIFY(syncSubscriptions(*f.db, f.session, ab, 3, day(2024, 6, 10)).isEmpty());
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm")), 1);
    QCOMPARE(f.count(QStringLiteral("SELECT DATASTOP FROM AbOm WHERE IDSERV=?"), {s}), day(2024, 2, 1));
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM AbOm")).money(0, QStringLiteral("RATA")), Money::fromLei(30));
}

void TestSubscriptions::syncSkipsAccountsStoppedBeforeTheDay()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 2, day(2020, 1, 1));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("STOPPED"), QStringLiteral("10")), day(2024, 6, 1));
    const qint64 later = f.insertAccount(LedgerFixture::periodic(QStringLiteral("STOPS LATER"), QStringLiteral("10"), 2, 2),
                                         day(2024, 12, 1));
    const QList<qint64> created = syncSubscriptions(*f.db, f.session, ab, 2, day(2024, 6, 10));
    QCOMPARE(created.size(), 1);
    const ResultSet s = f.db->select(QStringLiteral("SELECT * FROM AbOm"));
    QCOMPARE(s.integer(0, QStringLiteral("IDCON")), later);
    QCOMPARE(s.integer(0, QStringLiteral("DATASTOP")), day(2024, 12, 1));
    QCOMPARE(s.integer(0, QStringLiteral("DATASTART")), day(2024, 6, 10));
}

void TestSubscriptions::changeAmountLogsAndKeepsWrittenDebits()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2024, 1, 1));
    const qint64 s = f.insertSubscription(ab, 1, QStringLiteral("GUNOI"), QStringLiteral("12.5"), 5, 1, day(2024, 1, 1), 202405);
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    changeSubscriptionAmount(*f.db, f.session, s, Money::fromLei(15));
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Modificare suma abonament: POPESCU ION - GUNOI de la 12.5 la 15 lei.")});
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM AbOm")).money(0, QStringLiteral("RATA")), Money::fromLei(15));
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM Debite")).money(0, QStringLiteral("RATA")).toString(),
             QStringLiteral("12.5"));
    Clock::setToday(QDate(2024, 7, 1));
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM Debite WHERE LUNADEB=202407")).money(0, QStringLiteral("RATA")),
             Money::fromLei(15));
}

QTEST_GUILESS_MAIN(TestSubscriptions)
#include "tst_subscriptions.moc"
