// The monthly run and the catch-up against real tables: which subscriptions are due,
// the debit rows they get, the month rule of the run against the day rule of the
// catch-up, and runs cut short at every stage being completed without a debit or an
// identifier twice.

#include "ledgerfixture.h"

#include "core/counters.h"
#include "ledger/debitbatch.h"
#include "ledger/monthlydebiting.h"
#include "ledger/subscriptions.h"

#include <QFile>
#include <QLockFile>

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
    void interruptedWhileAppending();
    void interruptedWhileMovingLastMonths();
    void partlyWrittenPlanIsCompleted();
    void numberTakenMeanwhileGetsANewOne();
    void damagedJournalIsRefused();
    void largeRunsAreWrittenInBoundedParts();
    void anotherWorkstationDebitingSkipsTheRun();

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
    QVERIFY(!QFile::exists(debitJournalPath(f.session)));
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

void TestMonthlyDebiting::interruptedWhileAppending()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    NullProgress p;
    DebitBatchTesting::armFault(200, -1);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    QVERIFY(QFile::exists(debitJournalPath(f.session)));

    // Meanwhile one subscriber is deleted: his planned debits are not written back.
    const qint64 gone = f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='ABONAT 7'"));
    deleteSubscriber(*f.db, f.session, gone);

    f.reopen();
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.completed, 468);
    QCOMPARE(r.debits, 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 468);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=?"), {gone}), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202406")), 39);
    QVERIFY(!QFile::exists(debitJournalPath(f.session)));
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::interruptedWhileMovingLastMonths()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    NullProgress p;
    // Every debit is in the table but the LUNAADD moves did not all get there: a plain
    // rerun would debit those subscriptions a second time.
    DebitBatchTesting::armFault(-1, 15);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 480);

    f.reopen();
    // A day later, in a new month: the unfinished run is completed first, then the new
    // month is debited once.
    Clock::setToday(QDate(2024, 7, 2));
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.completed, 0);
    QCOMPARE(r.debits, 40);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 520);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202407")), 40);
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::partlyWrittenPlanIsCompleted()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    NullProgress p;
    DebitBatchTesting::armFault(0, -1);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);

    // A power cut while the table was being written leaves a first part of the plan on
    // disk: put the first 130 planned debits there by hand.
    QFile journal(debitJournalPath(f.session));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    int written = 0;
    for (const QByteArray &line : journal.readAll().split('\n')) {
        const QList<QByteArray> c = line.split('\t');
        if (c.value(0) != "D" || written == 130)
            continue;
        f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD) "
                                  "VALUES (?, ?, ?, ?, ?, ?, 'X', 10, 10)"),
                   {c[1].toLongLong(), c[2].toLongLong(), c[3].toLongLong(), c[4].toLongLong(), c[5].toInt(), c[6].toInt()});
        ++written;
    }
    journal.close();

    f.reopen();
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.completed, 480 - 130);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 480);
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::numberTakenMeanwhileGetsANewOne()
{
    LedgerFixture f(QDate(2024, 6, 10));
    Counters::set(f.session.sharedSettings(), QStringLiteral("IDDEB"), 1000);
    yearBehind(f);
    NullProgress p;
    DebitBatchTesting::armFault(0, -1);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    // The start-up sets the counter back to the largest identifier + 1, and a manual debit
    // takes a number the interrupted plan had given out.
    Counters::set(f.session.sharedSettings(), QStringLiteral("IDDEB"), 1);
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD) "
                              "VALUES (1003, -1, 100, 9, ?, 202406, 'MANUAL', 5, 5)"),
               {day(2024, 6, 10)});

    f.reopen();
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDSERV>0")), 480);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB=1003")), 1);
    checkNoDuplicates(f);
}

void TestMonthlyDebiting::damagedJournalIsRefused()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    QFile journal(debitJournalPath(f.session));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write("VESTRONIA DEBITARE 1\nN\t5\nD\tnot a number\n");
    journal.close();
    NullProgress p;
    try {
        runMonthlyDebiting(*f.db, f.session, p);
        QFAIL("a damaged journal must stop the run");
    } catch (const VestroniaError &e) {
        QVERIFY(e.message().startsWith(QStringLiteral("Jurnalul debitarii")));
    }
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
    QVERIFY(QFile::exists(debitJournalPath(f.session)));
}

void TestMonthlyDebiting::anotherWorkstationDebitingSkipsTheRun()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    QLockFile other(debitLockPath(f.session));
    QVERIFY(other.tryLock(0));
    NullProgress p;
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QVERIFY(r.skipped);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
    other.unlock();
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 480);
}

void TestMonthlyDebiting::largeRunsAreWrittenInBoundedParts()
{
    LedgerFixture f(QDate(2024, 6, 10));
    yearBehind(f);
    DebitBatchTesting::setFlushSize(100);
    NullProgress p;
    // Parts of nine subscriptions (108 debits). Cut short in the third part: the first
    // two are complete, the third is journaled.
    DebitBatchTesting::armFault(230, -1);
    QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 216);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202406")), 18);
    f.reopen();
    const DebitingResult r = runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(r.completed, 108);
    QCOMPARE(r.debits, 480 - 216 - 108);
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

QTEST_GUILESS_MAIN(TestMonthlyDebiting)
#include "tst_monthlydebiting.moc"
