// The monthly run and the catch-up against real tables: which subscriptions are due,
// the debit rows they get, the month rule of the run against the day rule of the
// catch-up, and runs cut short at every stage being completed without a debit or an
// identifier twice.

#include "ledgerfixture.h"

#include "core/counters.h"
#include "ledger/debitbatch.h"
#include "ledger/monthlydebiting.h"
#include "ledger/subscriptions.h"
#include "store/folderlock.h"

#include <QFile>

using namespace vestronia;
using namespace vestronia::testing;

class TestMonthlyDebiting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void debitRowCopiesTheSubscription();
    void periodOfThreeMonths();
    void twoRunsOnOneDayWriteNothing();
    void selection_data();
    void selection();
    void exemptionSkipsMonths();
    void penaltyStartByDaysAndMonths();
    void catchUpByDaysMonthlyByMonths();
    void catchUpOfAnAlreadyDebitedSubscriptionWritesNothing();
    void interruptedWhileAppendingLeavesNothing();
    void interruptedWhileMovingLastMonthsLeavesNothing();
    void largeRunsAreWrittenInBoundedPartsAsOneChange();
    void secondWorkstationWaitsThenFindsNothingLeft();

private:
    static void checkNoDuplicates(LedgerFixture &f);
};

void TestMonthlyDebiting::checkNoDuplicates(LedgerFixture &f)
{
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")),
             f.count(QStringLiteral("SELECT COUNT(DISTINCT IDDEB) FROM Debite")));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM (SELECT IDSERV, LUNADEB FROM Debite GROUP BY IDSERV, LUNADEB "
                                    "HAVING COUNT(*)>1)")),
             0);
    const qint64 maxId = f.count(QStringLiteral("SELECT MAX(IDDEB) FROM Debite"));
    QVERIFY(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")) > maxId);
}

void TestMonthlyDebiting::debitRowCopiesTheSubscription()
{
    LedgerFixture f(QDate(2024, 6, 10));
    Counters::set(f.session.sharedSettings(), QStringLiteral("IDDEB"), 500);
    const qint64 ab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 3, day(2020, 1, 1));
    const qint64 s = f.insertSubscription(ab, 7, QStringLiteral("SALUBRIZARE"), QStringLiteral("12.5"), 20, 1,
                                          day(2020, 1, 1), 202405, 0, QStringLiteral("ziua"), 15);
    NullProgress p;
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.debits, 1);
    QCOMPARE(r.subscriptions, 1);
    const ResultSet d = f.db->select(QStringLiteral("SELECT * FROM Debite"));
    QCOMPARE(d.rowCount(), 1);
    QCOMPARE(d.integer(0, QStringLiteral("IDDEB")), 500);
    QCOMPARE(d.integer(0, QStringLiteral("IDSERV")), s);
    QCOMPARE(d.integer(0, QStringLiteral("IDAB")), ab);
    QCOMPARE(d.integer(0, QStringLiteral("IDCON")), 7);
    // The current month is debited on its debit day even when that day is still ahead.
    QCOMPARE(d.integer(0, QStringLiteral("DATADEB")), day(2024, 6, 20));
    QCOMPARE(d.integer(0, QStringLiteral("LUNADEB")), 202406);
    QCOMPARE(d.text(0, QStringLiteral("DENUM")), QStringLiteral("SALUBRIZARE - 06.2024"));
    QCOMPARE(d.money(0, QStringLiteral("RATA")), *Money::parse(QStringLiteral("12.5")));
    QCOMPARE(d.money(0, QStringLiteral("SOLD")), *Money::parse(QStringLiteral("12.5")));
    QCOMPARE(d.money(0, QStringLiteral("PENAL")), Money::fromLei(1));
    QCOMPARE(d.text(0, QStringLiteral("PENALPE")), QStringLiteral("zi"));
    QCOMPARE(d.integer(0, QStringLiteral("PENALDATA")), day(2024, 7, 5));
    QCOMPARE(d.text(0, QStringLiteral("MAXSOLD")), QStringLiteral("-"));
    QCOMPARE(f.count(QStringLiteral("SELECT LUNAADD FROM AbOm WHERE IDSERV=?"), {s}), 202406);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")), 501);
}

void TestMonthlyDebiting::periodOfThreeMonths()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2020, 1, 1));
    const qint64 s = f.insertSubscription(ab, 1, QStringLiteral("GUNOI"), QStringLiteral("10"), 5, 3, day(2020, 1, 1), 202401);
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    // Due again in April; from there the run steps month by month up to June.
    QCOMPARE(f.debitMonths(s), (QList<int>{202404, 202405, 202406}));
    QCOMPARE(f.count(QStringLiteral("SELECT LUNAADD FROM AbOm WHERE IDSERV=?"), {s}), 202406);
}

void TestMonthlyDebiting::twoRunsOnOneDayWriteNothing()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2023, 1, 1));
    f.insertSubscription(ab, 1, QStringLiteral("GUNOI"), QStringLiteral("10"), 5, 1, day(2023, 1, 1));
    NullProgress p;
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 18);
    const qint64 counter = Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB"));
    const DebitingResult second = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(second.debits, 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 18);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")), counter);
}

void TestMonthlyDebiting::selection_data()
{
    QTest::addColumn<int>("leave");
    QTest::addColumn<int>("exempt");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("debits");
    const int today = day(2024, 6, 10);
    QTest::newRow("plain") << 0 << 0 << 0 << 1;
    QTest::newRow("subscriber left") << day(2024, 7, 1) << 0 << 0 << 0;
    QTest::newRow("exempted until today") << 0 << today << 0 << 0;
    QTest::newRow("exempted until a later day") << 0 << today + 30 << 0 << 0;
    QTest::newRow("exemption ended yesterday, in this month") << 0 << today - 1 << 0 << 1;
    QTest::newRow("stop day in the future keeps debiting") << 0 << 0 << today + 1 << 1;
    QTest::newRow("stopped today") << 0 << 0 << today << 0;
}

void TestMonthlyDebiting::selection()
{
    QFETCH(int, leave);
    QFETCH(int, exempt);
    QFETCH(int, stop);
    QFETCH(int, debits);
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2020, 1, 1), leave, exempt);
    f.insertSubscription(ab, 1, QStringLiteral("GUNOI"), QStringLiteral("10"), 5, 1, day(2020, 1, 1), 202405, stop);
    NullProgress p;
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, debits);
}

void TestMonthlyDebiting::exemptionSkipsMonths()
{
    LedgerFixture f(QDate(2024, 4, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2020, 1, 1), 0, day(2024, 3, 15));
    const qint64 s = f.insertSubscription(ab, 1, QStringLiteral("GUNOI"), QStringLiteral("10"), 5, 1, day(2020, 1, 1), 202401);
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.debitMonths(s), QList<int>{202404});
}

void TestMonthlyDebiting::penaltyStartByDaysAndMonths()
{
    LedgerFixture f(QDate(2024, 3, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2020, 1, 1));
    const qint64 byDays = f.insertSubscription(ab, 1, QStringLiteral("ZILE"), QStringLiteral("10"), 5, 1, day(2020, 1, 1),
                                               202402, 0, QStringLiteral("ziua"), 15);
    const qint64 byMonths = f.insertSubscription(ab, 2, QStringLiteral("LUNI"), QStringLiteral("10"), 5, 1,
                                                 day(2020, 1, 1), 202402, 0, QStringLiteral("luna"), 1);
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.count(QStringLiteral("SELECT PENALDATA FROM Debite WHERE IDSERV=?"), {byDays}), day(2024, 3, 20));
    QCOMPARE(f.count(QStringLiteral("SELECT PENALDATA FROM Debite WHERE IDSERV=?"), {byMonths}), day(2024, 4, 5));
}

void TestMonthlyDebiting::catchUpByDaysMonthlyByMonths()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2024, 3, 1));
    const qint64 monthly = f.insertSubscription(ab, 1, QStringLiteral("LUNAR"), QStringLiteral("10"), 20, 1, day(2024, 3, 1));
    const qint64 quarterly = f.insertSubscription(ab, 2, QStringLiteral("TRIMESTRIAL"), QStringLiteral("30"), 20, 3,
                                                  day(2024, 3, 1));
    // The catch-up writes only debit days before today (20 June has not come), in steps
    // of the period.
    QVERIFY(catchUpSubscription(*f.db, f.session, monthly) > 0);
    QVERIFY(catchUpSubscription(*f.db, f.session, quarterly) > 0);
    QCOMPARE(f.debitMonths(monthly), (QList<int>{202403, 202404, 202405}));
    QCOMPARE(f.debitMonths(quarterly), QList<int>{202403});
    QCOMPARE(f.count(QStringLiteral("SELECT LUNAADD FROM AbOm WHERE IDSERV=?"), {monthly}), 202405);
    QCOMPARE(f.count(QStringLiteral("SELECT LUNAADD FROM AbOm WHERE IDSERV=?"), {quarterly}), 202403);
    // The monthly run then always writes the current month, whatever the day.
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.debitMonths(monthly), (QList<int>{202403, 202404, 202405, 202406}));
    QCOMPARE(f.debitMonths(quarterly), (QList<int>{202403, 202406}));
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::catchUpOfAnAlreadyDebitedSubscriptionWritesNothing()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2024, 1, 1));
    const qint64 s = f.insertSubscription(ab, 1, QStringLiteral("LUNAR"), QStringLiteral("10"), 5, 1, day(2024, 1, 1), 202406);
    QCOMPARE(catchUpSubscription(*f.db, f.session, s), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
}

namespace {
// Forty subscriptions a year behind: 480 debits in one run.
void yearBehind(LedgerFixture &f)
{
    for (int i = 0; i < 40; ++i) {
        const qint64 ab = f.insertSubscriber(QStringLiteral("ABONAT %1").arg(i), 1 + i % 5, day(2020, 1, 1));
        f.insertSubscription(ab, 1, QStringLiteral("GUNOI"), QStringLiteral("10"), 5, 1, day(2020, 1, 1), 202306);
    }
}
} // namespace

// What a run leaves when it fails half-way: nothing at all, the counter included.
void checkUntouched(LedgerFixture &f, qint64 counterBefore)
{
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD<>202306")), 0);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")), counterBefore);
}

void TestMonthlyDebiting::interruptedWhileAppendingLeavesNothing()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    const qint64 counter = Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB"));
    NullProgress p;
    DebitBatchTesting::armFault(200, -1);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    checkUntouched(f, counter);
    f.reopen();
    checkUntouched(f, counter);

    // Meanwhile one subscriber is deleted: the next run debits the others once.
    const qint64 gone = f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='ABONAT 7'"));
    deleteSubscriber(*f.db, f.session, gone);
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.debits, 468);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 468);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202406")), 39);
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::interruptedWhileMovingLastMonthsLeavesNothing()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    const qint64 counter = Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB"));
    NullProgress p;
    // Every debit was appended but not every LUNAADD moved: keeping the debits would make
    // the next run debit those subscriptions a second time.
    DebitBatchTesting::armFault(-1, 15);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    checkUntouched(f, counter);

    f.reopen();
    Clock::setToday(QDate(2024, 7, 2));
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.debits, 520);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202407")), 40);
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::largeRunsAreWrittenInBoundedPartsAsOneChange()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    const qint64 counter = Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB"));
    DebitBatchTesting::setFlushSize(100);
    NullProgress p;
    // Parts of nine subscriptions (108 debits); cut short in the third part, the first
    // two parts go too.
    DebitBatchTesting::armFault(230, -1);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    checkUntouched(f, counter);
    f.reopen();
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.debits, 480);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 480);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202406")), 40);
    checkNoDuplicates(f);

    // A distribution reaching back two years goes the same way.
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("NOU"), QStringLiteral("3"), 1, 9);
    d.startDay = day(2022, 6, 1);
    d.byPersons = false;
    const qint64 id = f.insertAccount(d);
    f.db->exec(QStringLiteral("UPDATE Abonat SET DATAIN=?"), {day(2022, 6, 1)});
    QCOMPARE(distributeAccount(*f.db, f.session, id, p), 40);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDCON=?"), {id}), 40 * 25);
    checkNoDuplicates(f);
    DebitBatchTesting::setFlushSize(0);
}

void TestMonthlyDebiting::secondWorkstationWaitsThenFindsNothingLeft()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    NullProgress p;
    // A second connection on the folder is another workstation: its own lock file
    // descriptor excludes ours.
    Database other(f.session.dataFolder);
    other.begin();
    QCOMPARE(runMonthlyDebiting(other, f.session, p).debits, 480);

    setWriterWaitMilliseconds(300);
    int waits = 0;
    setWriterWaitHandler([&](bool waiting, int) { waits += waiting ? 1 : 0; });
    try {
        runMonthlyDebiting(*f.db, f.session, p);
        QFAIL("the run must not write while another workstation writes");
    } catch (const DbfError &e) {
        QVERIFY(e.message().startsWith(QStringLiteral("Alt calculator scrie in date")));
    }
    QVERIFY(waits > 0);
    setWriterWaitHandler({});
    setWriterWaitMilliseconds(30000);

    other.commit();
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 480);
    checkNoDuplicates(f);
}

QTEST_GUILESS_MAIN(TestMonthlyDebiting)
#include "tst_monthlydebiting.moc"
