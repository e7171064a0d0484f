// Accounts: the creation checks in their order, the overlap rule between periodic
// accounts, what a saved row holds, stopping (with its date rule and debit removal) and
// deleting (debits kept, detached), the choosing list and the change-log entries.

#include "ledgerfixture.h"

#include "core/counters.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestAccounts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksInOrder_data();
    void checksInOrder();
    void penaltyFractionIsCut();
    void overlap_data();
    void overlap();
    void oneOffAccountIsSavedWithoutPeriod();
    void accountWithoutPenaltyStoresDefaults();
    void periodicAccountIsDistributed();
    void stopOnStartDayAcceptedDayBeforeRefused();
    void stopRemovesOnlyUnpaidDebitsFromTheStopDay();
    void deleteKeepsDebitsDetached();
    void buttonRules();
    void choosingListForAHousehold();
    void readOnlySessionChangesNothing();
};

namespace {
AccountDraft validDraft()
{
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("SALUBRIZARE"), QStringLiteral("10"));
    return d;
}
} // namespace

void TestAccounts::checksInOrder_data()
{
    QTest::addColumn<int>("breakage");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("message");
    // Each row breaks every rule from its own on; only the first is reported.
    QTest::newRow("name") << 0 << QStringLiteral("Denum") << QStringLiteral("Lipseste Denumirea Contului!");
    QTest::newRow("amount") << 1 << QStringLiteral("Rata") << QStringLiteral("Lipseste Suma!");
    QTest::newRow("persons") << 2 << QStringLiteral("MaxPers") << QStringLiteral("Numar persoane incorect!");
    QTest::newRow("period") << 3 << QStringLiteral("PerLuni") << QStringLiteral("Lipseste Perioada!");
    QTest::newRow("day") << 4 << QStringLiteral("ZiuaImp") << QStringLiteral("Lipseste Ziua debitarii!");
    QTest::newRow("penalty start") << 5 << QStringLiteral("PenalDeLa")
                                   << QStringLiteral("Lipseste luna de la care incep Penalitatile!");
}

void TestAccounts::checksInOrder()
{
    QFETCH(int, breakage);
    QFETCH(QString, field);
    QFETCH(QString, message);
    LedgerFixture f;
    AccountDraft d = validDraft();
    d.byPersons = true;
    d.minPersons = 1;
    d.maxPersons = 3;
    d.penalty = Money::fromLei(2);
    d.penaltyFrom = 3;
    d.penaltyFromUnit = QStringLiteral("luna");
    if (breakage <= 0)
        d.name = QStringLiteral("  \"  ");
    if (breakage <= 1)
        d.amount = Money();
    if (breakage <= 2)
        d.maxPersons = 0;
    if (breakage <= 3)
        d.periodMonths = 0;
    if (breakage <= 4)
        d.debitDay = 0;
    if (breakage <= 5)
        d.penaltyFrom = 0;
    const MaybeRefusal r = checkAccountDraft(*f.db, d);
    QVERIFY(r);
    QCOMPARE(r->field, field);
    QCOMPARE(r->message, message);
}

void TestAccounts::penaltyFractionIsCut()
{
    LedgerFixture f;
    AccountDraft d = validDraft();
    d.penalty = *Money::parse(QStringLiteral("2.75"));
    d.penaltyFrom = 1;
    d.name = QStringLiteral("  GUNOI   \"MENAJER\" ");
    QVERIFY(!checkAccountDraft(*f.db, d));
    QCOMPARE(d.penalty, Money::fromLei(2));
    QCOMPARE(d.name, QStringLiteral("GUNOI MENAJER"));
}

void TestAccounts::overlap_data()
{
    QTest::addColumn<int>("existingMin");
    QTest::addColumn<int>("existingMax");
    QTest::addColumn<bool>("existingStopped");
    QTest::addColumn<int>("newMin");
    QTest::addColumn<int>("newMax");
    QTest::addColumn<bool>("refused");
    QTest::newRow("1-3 beside an account for all") << 0 << 0 << false << 1 << 3 << true;
    QTest::newRow("1-3 beside 3-5") << 3 << 5 << false << 1 << 3 << true;
    QTest::newRow("1-3 beside 4-6") << 4 << 6 << false << 1 << 3 << false;
    QTest::newRow("1-3 beside a stopped 1-3") << 1 << 3 << true << 1 << 3 << false;
    QTest::newRow("for all beside 1-3") << 1 << 3 << false << 0 << 0 << true;
    QTest::newRow("for all beside a stopped one for all") << 0 << 0 << true << 0 << 0 << false;
}

void TestAccounts::overlap()
{
    QFETCH(int, existingMin);
    QFETCH(int, existingMax);
    QFETCH(bool, existingStopped);
    QFETCH(int, newMin);
    QFETCH(int, newMax);
    QFETCH(bool, refused);
    LedgerFixture f;
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("VECHI"), QStringLiteral("5"), existingMin, existingMax),
                    existingStopped ? day(2024, 1, 1) : 0);
    AccountDraft d = LedgerFixture::periodic(QStringLiteral("NOU"), QStringLiteral("7"), newMin, newMax);
    const MaybeRefusal r = checkAccountDraft(*f.db, d);
    QCOMPARE(bool(r), refused);
    if (r) {
        QCOMPARE(r->title, QStringLiteral("Verificare Cont"));
        QCOMPARE(r->message,
                 QStringLiteral("\rContul tip abonament VECHI existent se dubleaza cu acesta la unele persoane!"));
        QVERIFY(r->field.isEmpty());
    }
}

void TestAccounts::oneOffAccountIsSavedWithoutPeriod()
{
    LedgerFixture f;
    f.insertSubscriber(QStringLiteral("A"), 2, day(2020, 1, 1));
    AccountDraft d = validDraft();
    d.periodic = false;
    d.periodMonths = 4;
    d.debitDay = 9;
    d.fixedPrice = true;
    QVERIFY(!checkAccountDraft(*f.db, d));
    NullProgress p;
    const AccountCreated c = addAccount(*f.db, f.session, d, p);
    QCOMPARE(c.id, 1);
    QCOMPARE(c.distributedTo, -1);
    const AccountRecord a = readAccount(*f.db, c.id);
    QCOMPARE(a.periodMonths, 0);
    QCOMPARE(a.debitDay, 0);
    QVERIFY(a.fixedPrice);
    QCOMPARE(a.start, d.startDay);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm")), 0);
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Adaugare Cont SALUBRIZARE")});
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDCON")), 2);
}

void TestAccounts::accountWithoutPenaltyStoresDefaults()
{
    LedgerFixture f;
    AccountDraft d = validDraft();
    d.penaltyPer = QStringLiteral("zi");
    d.penaltyFromUnit = QStringLiteral("luna");
    d.penaltyFrom = 7;
    d.penaltyCapped = true;
    d.byPersons = true;
    d.minPersons = 2;
    d.maxPersons = 4;
    NullProgress p;
    const qint64 id = addAccount(*f.db, f.session, d, p).id;
    const ResultSet r = f.db->select(QStringLiteral("SELECT * FROM DefCont WHERE IDCON=?"), {id});
    QCOMPARE(r.money(0, QStringLiteral("PENAL")), Money());
    QCOMPARE(r.integer(0, QStringLiteral("PENALDELA")), 0);
    QCOMPARE(r.text(0, QStringLiteral("PENALPE")), QStringLiteral("luna"));
    QCOMPARE(r.text(0, QStringLiteral("PENALDELAP")), QStringLiteral("ziua"));
    QCOMPARE(r.text(0, QStringLiteral("MAXSOLD")), QStringLiteral("-"));
    QCOMPARE(r.text(0, QStringLiteral("PEPERS")), QStringLiteral("X"));
    QCOMPARE(r.integer(0, QStringLiteral("MINPERS")), 2);
    QCOMPARE(r.integer(0, QStringLiteral("MAXPERS")), 4);
    QCOMPARE(r.text(0, QStringLiteral("PRETFIX")), QString());
    QCOMPARE(r.integer(0, QStringLiteral("DATASTOP")), 0);
}

void TestAccounts::periodicAccountIsDistributed()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertSubscriber(QStringLiteral("A"), 2, day(2024, 5, 1));
    f.insertSubscriber(QStringLiteral("B"), 5, day(2024, 5, 1));
    AccountDraft d = validDraft();
    d.startDay = day(2024, 6, 1);
    NullProgress p;
    const AccountCreated c = addAccount(*f.db, f.session, d, p);
    QCOMPARE(c.distributedTo, 2);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE IDCON=?"), {c.id}), 2);
    // Debit day 5 of June has passed: each got the June debit from the catch-up.
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE LUNADEB=202406")), 2);
}

void TestAccounts::stopOnStartDayAcceptedDayBeforeRefused()
{
    LedgerFixture f;
    const qint64 id = f.insertAccount(validDraft());
    const int start = validDraft().startDay;
    const MaybeRefusal early = stopAccount(*f.db, f.session, id, start - 1);
    QVERIFY(early);
    QCOMPARE(early->title, QStringLiteral("Dezactivare Cont"));
    QCOMPARE(early->message, QStringLiteral("\rData de dezactivare aleasa este anterioara activarii contului!"));
    QCOMPARE(readAccount(*f.db, id).stop, 0);
    QVERIFY(!stopAccount(*f.db, f.session, id, start));
    QCOMPARE(readAccount(*f.db, id).stop, start);
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Oprire cont SALUBRIZARE")});
}

void TestAccounts::stopRemovesOnlyUnpaidDebitsFromTheStopDay()
{
    LedgerFixture f;
    const qint64 id = f.insertAccount(validDraft());
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2020, 1, 1));
    const qint64 s = f.insertSubscription(ab, id, QStringLiteral("SALUBRIZARE"), QStringLiteral("10"), 5, 1,
                                          day(2020, 1, 1), 202406, day(2024, 2, 1));
    const QString insert = QStringLiteral(
        "INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD) VALUES (?, ?, ?, ?, ?, 0, 'D', 10, ?)");
    f.db->exec(insert, {1, s, ab, id, day(2024, 4, 4), 10});  // before the stop day: stays
    f.db->exec(insert, {2, s, ab, id, day(2024, 4, 5), 10});  // on the stop day, unpaid: removed
    f.db->exec(insert, {3, s, ab, id, day(2024, 5, 5), 4});   // after it, partly paid: stays
    f.db->exec(insert, {4, s, ab, id, day(2024, 6, 5), 10});  // after it, unpaid: removed
    f.db->exec(insert, {5, s, ab, 999, day(2024, 6, 5), 10}); // another account: stays
    QVERIFY(!stopAccount(*f.db, f.session, id, day(2024, 4, 5)));
    const ResultSet left = f.db->select(QStringLiteral("SELECT IDDEB FROM Debite ORDER BY IDDEB"));
    QCOMPARE(left.rowCount(), 3);
    QCOMPARE(left.integer(0, QStringLiteral("IDDEB")), 1);
    QCOMPARE(left.integer(1, QStringLiteral("IDDEB")), 3);
    QCOMPARE(left.integer(2, QStringLiteral("IDDEB")), 5);
    // Every subscription of the account takes the stop day, an earlier stop included.
    QCOMPARE(f.count(QStringLiteral("SELECT DATASTOP FROM AbOm WHERE IDSERV=?"), {s}), day(2024, 4, 5));
}

void TestAccounts::deleteKeepsDebitsDetached()
{
    LedgerFixture f;
    const qint64 id = f.insertAccount(validDraft(), day(2024, 1, 1));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 1, day(2020, 1, 1));
    const qint64 s = f.insertSubscription(ab, id, QStringLiteral("SALUBRIZARE"), QStringLiteral("10"), 5, 1, day(2020, 1, 1));
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD) "
                              "VALUES (1, ?, ?, ?, ?, 202312, 'D', 10, 10)"),
               {s, ab, id, day(2023, 12, 5)});
    deleteAccount(*f.db, f.session, id);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DefCont")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT IDSERV FROM Debite WHERE IDDEB=1")), -1);
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Stergere Cont: SALUBRIZARE")});
}

void TestAccounts::buttonRules()
{
    AccountRecord oneOff;
    AccountRecord active;
    active.periodMonths = 1;
    AccountRecord stopped = active;
    stopped.stop = 45000;
    QVERIFY(!canStopAccount(oneOff));
    QVERIFY(canDeleteAccount(oneOff));
    QVERIFY(canStopAccount(active));
    QVERIFY(!canDeleteAccount(active));
    QVERIFY(!canStopAccount(stopped));
    QVERIFY(canDeleteAccount(stopped));
}

void TestAccounts::choosingListForAHousehold()
{
    LedgerFixture f;
    AccountDraft oneOff = validDraft();
    oneOff.periodic = false;
    oneOff.name = QStringLiteral("TAXA PENTRU TOTI");
    f.insertAccount(oneOff);
    oneOff.name = QStringLiteral("TAXA 3-5");
    oneOff.byPersons = true;
    oneOff.minPersons = 3;
    oneOff.maxPersons = 5;
    f.insertAccount(oneOff);
    f.insertAccount(validDraft());
    const ResultSet forTwo = listOneOffAccounts(*f.db, 2);
    QCOMPARE(forTwo.rowCount(), 1);
    QCOMPARE(forTwo.text(0, QStringLiteral("DENUM")), QStringLiteral("TAXA PENTRU TOTI"));
    QCOMPARE(listOneOffAccounts(*f.db, 4).rowCount(), 2);
    QCOMPARE(listAccounts(*f.db).rowCount(), 3);
}

void TestAccounts::readOnlySessionChangesNothing()
{
    LedgerFixture f;
    const qint64 id = f.insertAccount(validDraft());
    f.session.readOnly = true;
    QVERIFY_THROWS_EXCEPTION(VestroniaError, stopAccount(*f.db, f.session, id, day(2024, 1, 1)));
    QVERIFY_THROWS_EXCEPTION(VestroniaError, deleteAccount(*f.db, f.session, id));
    NullProgress p;
    QVERIFY_THROWS_EXCEPTION(VestroniaError, addAccount(*f.db, f.session, validDraft(), p));
    QCOMPARE(readAccount(*f.db, id).stop, 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DefCont")), 1);
}

QTEST_GUILESS_MAIN(TestAccounts)
#include "tst_accounts.moc"
