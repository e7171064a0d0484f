// Subscribers: the edit form's checks in order, adding (subscriptions and catch-up
// debits at once), leaving and re-activation with their cascades, a new household size
// moving a subscriber between range accounts, exemption, and deletion from every table.

#include "ledgerfixture.h"

#include "ledger/monthlydebiting.h"
#include "ledger/subscriberfilter.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestSubscribers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksInOrder_data();
    void checksInOrder();
    void checksCleanTheTexts();
    void emptyCodeAcceptedForBothTypes();
    void oldRowWithoutTypeOpensAsFirm();
    void addGivesSubscriptionsAndCatchUpDebits();
    void leavingStopsAndRemovesLaterUnpaidAutomaticDebits();
    void reactivationRestartsWhatTheLeavingStopped();
    void personsThreeToFiveAcrossRangeAccounts();
    void personsWithinTheRangeResetTheAmount();
    void exemptionSkipsMonthsInTheRun();
    void deleteRemovesEveryRowAndLogsTwice();
    void filterAndSortOfTheList();

private:
    static SubscriberDraft valid();
};

SubscriberDraft TestSubscribers::valid()
{
    SubscriberDraft d = LedgerFixture::person(QStringLiteral("POPESCU ION"), 3, day(2024, 1, 10));
    d.code = QStringLiteral("1800101221144");
    return d;
}

void TestSubscribers::checksInOrder_data()
{
    QTest::addColumn<int>("breakage");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("message");
    QTest::newRow("name") << 0 << QStringLiteral("Nume") << QStringLiteral("Nu ati scris numele si prenumele!");
    QTest::newRow("personal code") << 1 << QStringLiteral("CNPCUI") << QStringLiteral("CNP incorect!");
    QTest::newRow("locality") << 2 << QStringLiteral("Loc") << QStringLiteral("Nu ati scris Localitatea!");
    QTest::newRow("leaving date") << 3 << QStringLiteral("DataOut") << QStringLiteral("Data Prescrierii incorecta!");
    QTest::newRow("exemption date") << 4 << QStringLiteral("DataScut") << QStringLiteral("Data Scutirii incorecta!");
}

void TestSubscribers::checksInOrder()
{
    QFETCH(int, breakage);
    QFETCH(QString, field);
    QFETCH(QString, message);
    SubscriberDraft d = valid();
    if (breakage <= 0)
        d.name = QStringLiteral(" X ");
    if (breakage <= 1)
        d.code = QStringLiteral("1801301221144");
    if (breakage <= 2)
        d.locality = QStringLiteral("\"A\"");
    d.leaving = true;
    d.exempt = true;
    d.leaveDay = breakage <= 3 ? d.entryDay : d.entryDay + 1;
    d.exemptDay = breakage <= 4 ? d.entryDay - 5 : d.entryDay + 1;
    const MaybeRefusal r = checkSubscriberDraft(d);
    QVERIFY(r);
    QCOMPARE(r->field, field);
    QCOMPARE(r->message, message);
}

void TestSubscribers::checksCleanTheTexts()
{
    SubscriberDraft d = valid();
    d.name = QStringLiteral("  popescu   \"ion\" ");
    d.legalPerson = true;
    d.code = QStringLiteral(" RO 13590612 ");
    d.locality = QStringLiteral(" vestronia ");
    d.rol = QStringLiteral(" r12 ");
    QVERIFY(!checkSubscriberDraft(d));
    QCOMPARE(d.name, QStringLiteral("POPESCU ION"));
    QCOMPARE(d.code, QStringLiteral("RO 13590612"));
    QCOMPARE(d.locality, QStringLiteral("VESTRONIA"));
    QCOMPARE(d.rol, QStringLiteral("R12"));
    d.code = QStringLiteral("13590613");
    const MaybeRefusal r = checkSubscriberDraft(d);
    QVERIFY(r);
    QCOMPARE(r->message, QStringLiteral("Cod fiscal incorect!"));
}

void TestSubscribers::emptyCodeAcceptedForBothTypes()
{
    SubscriberDraft d = valid();
    d.code.clear();
    QVERIFY(!checkSubscriberDraft(d));
    d.legalPerson = true;
    QVERIFY(!checkSubscriberDraft(d));
}

void TestSubscribers::oldRowWithoutTypeOpensAsFirm()
{
    SubscriberRecord r;
    QVERIFY(SubscriberDraft::fromRecord(r).legalPerson);
    r.type = QStringLiteral("F");
    QVERIFY(!SubscriberDraft::fromRecord(r).legalPerson);
}

void TestSubscribers::addGivesSubscriptionsAndCatchUpDebits()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10")));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("MARI"), QStringLiteral("8"), 4, 9));
    SubscriberDraft d = valid();
    d.remarks = QString(250, QLatin1Char('o'));
    const qint64 id = addSubscriber(*f.db, f.session, d);
    QCOMPARE(id, 1);
    const SubscriberRecord r = readSubscriber(*f.db, id);
    QCOMPARE(r.type, QStringLiteral("F"));
    QCOMPARE(r.obs.size(), 200);
    QCOMPARE(r.obs2.size(), 50);
    QCOMPARE(r.leaveDay, 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE IDAB=?"), {id}), 1);
    // From the entry on 10 January: the entry month's debit day (5 January) counts too,
    // so January to June.
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=?"), {id}), 6);
    QCOMPARE(f.db->select(QStringLiteral("SELECT RATA FROM AbOm")).money(0, QStringLiteral("RATA")), Money::fromLei(30));
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Adaugare Abonat: POPESCU ION")});
}

void TestSubscribers::leavingStopsAndRemovesLaterUnpaidAutomaticDebits()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10")));
    const qint64 id = addSubscriber(*f.db, f.session, valid());
    const qint64 ab = id;
    // A manual debit after the leaving day, and a paid automatic one.
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD) "
                              "VALUES (900, -1, ?, 9, ?, 202405, 'MANUAL', 5, 5)"),
               {ab, day(2024, 5, 20)});
    f.db->exec(QStringLiteral("UPDATE Debite SET SOLD=0 WHERE IDAB=? AND LUNADEB=202404"), {ab});
    SubscriberDraft d = SubscriberDraft::fromRecord(readSubscriber(*f.db, id));
    d.leaving = true;
    d.leaveDay = day(2024, 4, 1);
    QVERIFY(!checkSubscriberDraft(d));
    changeSubscriber(*f.db, f.session, id, d);
    QCOMPARE(f.count(QStringLiteral("SELECT DATASTOP FROM AbOm WHERE IDAB=?"), {ab}), day(2024, 4, 1));
    // January to March stay; April was paid and stays; May and June go; the manual stays.
    const ResultSet left = f.db->select(QStringLiteral("SELECT LUNADEB FROM Debite WHERE IDAB=? ORDER BY IDDEB"), {ab});
    QCOMPARE(left.rowCount(), 5);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB=900")), 1);
    QCOMPARE(readSubscriber(*f.db, id).leaveDay, day(2024, 4, 1));
    QCOMPARE(f.logTexts().last(), QStringLiteral("Modificare Abonat: POPESCU ION"));
    NullProgress p;
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 0);
}

void TestSubscribers::reactivationRestartsWhatTheLeavingStopped()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 a1 = f.insertAccount(LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10")));
    const qint64 ab = f.insertSubscriber(QStringLiteral("A"), 2, day(2020, 1, 1), day(2024, 3, 1));
    const qint64 stoppedByLeaving = f.insertSubscription(ab, a1, QStringLiteral("GUNOI"), QStringLiteral("10"), 5, 1,
                                                         day(2020, 1, 1), 202402, day(2024, 3, 1));
    const qint64 stoppedEarlier = f.insertSubscription(ab, 55, QStringLiteral("VECHI"), QStringLiteral("10"), 5, 1,
                                                       day(2020, 1, 1), 202301, day(2023, 2, 1));
    SubscriberDraft d = SubscriberDraft::fromRecord(readSubscriber(*f.db, ab));
    QVERIFY(d.leaving);
    d.leaving = false;
    changeSubscriber(*f.db, f.session, ab, d);
    QCOMPARE(f.count(QStringLiteral("SELECT DATASTOP FROM AbOm WHERE IDSERV=?"), {stoppedByLeaving}), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT DATASTOP FROM AbOm WHERE IDSERV=?"), {stoppedEarlier}), day(2023, 2, 1));
    QCOMPARE(readSubscriber(*f.db, ab).leaveDay, 0);
    // The monthly run catches up the months after the last one debited.
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.debitMonths(stoppedByLeaving), (QList<int>{202403, 202404, 202405, 202406}));
}

void TestSubscribers::personsThreeToFiveAcrossRangeAccounts()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 small = f.insertAccount(LedgerFixture::periodic(QStringLiteral("MIC"), QStringLiteral("10"), 1, 3));
    const qint64 large = f.insertAccount(LedgerFixture::periodic(QStringLiteral("MARE"), QStringLiteral("8"), 4, 6));
    const qint64 id = addSubscriber(*f.db, f.session, valid());
    NullProgress p;
    runMonthlyDebiting(*f.db, f.session, p);
    const qint64 oldSub = f.count(QStringLiteral("SELECT IDSERV FROM AbOm WHERE IDCON=?"), {small});
    // A never-debited stopped subscription of another subscriber is swept away too.
    const qint64 other = f.insertSubscriber(QStringLiteral("B"), 1, day(2024, 6, 1));
    f.insertSubscription(other, small, QStringLiteral("MIC"), QStringLiteral("10"), 5, 1, day(2024, 6, 1), 0, day(2024, 6, 2));

    SubscriberDraft d = SubscriberDraft::fromRecord(readSubscriber(*f.db, id));
    d.persons = 5;
    changeSubscriber(*f.db, f.session, id, d);

    QCOMPARE(f.count(QStringLiteral("SELECT DATASTOP FROM AbOm WHERE IDSERV=?"), {oldSub}), day(2024, 6, 10));
    // The June debit of the old subscription stays.
    QCOMPARE(f.debitMonths(oldSub).last(), 202406);
    const ResultSet fresh = f.db->select(QStringLiteral("SELECT * FROM AbOm WHERE IDCON=?"), {large});
    QCOMPARE(fresh.rowCount(), 1);
    QCOMPARE(fresh.integer(0, QStringLiteral("DATASTART")), day(2024, 6, 10));
    QCOMPARE(fresh.integer(0, QStringLiteral("LUNAADD")), 202406);
    QCOMPARE(fresh.money(0, QStringLiteral("RATA")), Money::fromLei(40));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE IDAB=?"), {other}), 0);
    QCOMPARE(f.logTexts().mid(f.logTexts().size() - 2),
             (QStringList{QStringLiteral("Modifiare numar persoane abonat POPESCU ION: de la 3 la 5"),
                          QStringLiteral("Modificare Abonat: POPESCU ION")}));
    // First debit of the new subscription: next month; nothing more this month.
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 0);
    Clock::setToday(QDate(2024, 7, 3));
    runMonthlyDebiting(*f.db, f.session, p);
    QCOMPARE(f.debitMonths(fresh.integer(0, QStringLiteral("IDSERV"))), QList<int>{202407});
    QCOMPARE(f.debitMonths(oldSub).last(), 202406);
}

void TestSubscribers::personsWithinTheRangeResetTheAmount()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("MIC"), QStringLiteral("10"), 1, 4));
    const qint64 id = addSubscriber(*f.db, f.session, valid());
    SubscriberDraft d = SubscriberDraft::fromRecord(readSubscriber(*f.db, id));
    d.persons = 4;
    changeSubscriber(*f.db, f.session, id, d);
    const ResultSet s = f.db->select(QStringLiteral("SELECT * FROM AbOm"));
    QCOMPARE(s.rowCount(), 1);
    QCOMPARE(s.integer(0, QStringLiteral("DATASTOP")), 0);
    QCOMPARE(s.money(0, QStringLiteral("RATA")), Money::fromLei(40));
}

void TestSubscribers::exemptionSkipsMonthsInTheRun()
{
    LedgerFixture f(QDate(2024, 2, 10));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10")));
    const qint64 id = addSubscriber(*f.db, f.session, valid());
    const qint64 s = f.count(QStringLiteral("SELECT IDSERV FROM AbOm"));
    QCOMPARE(f.debitMonths(s), (QList<int>{202401, 202402}));
    SubscriberDraft d = SubscriberDraft::fromRecord(readSubscriber(*f.db, id));
    d.exempt = true;
    d.exemptDay = day(2024, 4, 15);
    changeSubscriber(*f.db, f.session, id, d);
    NullProgress p;
    Clock::setToday(QDate(2024, 4, 10));
    QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 0);
    Clock::setToday(QDate(2024, 5, 2));
    runMonthlyDebiting(*f.db, f.session, p);
    // March and April fall in the exemption; May is debited.
    QCOMPARE(f.debitMonths(s), (QList<int>{202401, 202402, 202405}));
}

void TestSubscribers::deleteRemovesEveryRowAndLogsTwice()
{
    LedgerFixture f(QDate(2024, 6, 10));
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10")));
    const qint64 id = addSubscriber(*f.db, f.session, valid());
    const qint64 keep = addSubscriber(*f.db, f.session, LedgerFixture::person(QStringLiteral("ALTUL"), 1, day(2024, 5, 1)));
    for (const char *sql : {"INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, INCASAT) VALUES (1, ?, 'CHITANTA', 10)",
                            "INSERT INTO DetChit (IDDCHIT, IDCHIT, IDAB) VALUES (1, 1, ?)",
                            "INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB) VALUES (1, 1, ?)",
                            "INSERT INTO Urmarire (IDURM, IDAB) VALUES (1, ?)"})
        f.db->exec(QString::fromLatin1(sql), {id});
    QVERIFY(hasCollections(*f.db, id));
    QVERIFY(!hasCollections(*f.db, keep));
    deleteSubscriber(*f.db, f.session, id);
    for (const char *table : {"Abonat", "AbOm", "Debite", "DebiteArh", "Chitante", "DetChit", "Urmarire"})
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE IDAB=?").arg(QLatin1String(table)), {id}), 0);
    QVERIFY(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=?"), {keep}) > 0);
    QCOMPARE(f.logTexts().mid(f.logTexts().size() - 2),
             (QStringList{QStringLiteral("Stergere Abonat: POPESCU ION"), QStringLiteral("Stergere Chitante Abonat: POPESCU ION")}));
}

void TestSubscribers::filterAndSortOfTheList()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const int today = day(2024, 6, 10);
    f.insertSubscriber(QStringLiteral("POPA ANA"), 1, day(2020, 1, 1));
    f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2021, 1, 1), today);
    f.insertSubscriber(QStringLiteral("IONESCU POP"), 3, day(2022, 1, 1), today - 1);
    f.insertSubscriber(QStringLiteral("POP FARA DATA"), 4, 0);
    const ResultSet rows = listSubscribers(*f.db, QStringLiteral("NUME"));
    auto names = [&rows](const std::vector<int> &shown) {
        QStringList out;
        for (int i : shown)
            out << rows.text(i, QStringLiteral("NUME"));
        return out;
    };
    SubscriberFilter filter;
    filter.today = today;
    QCOMPARE(filterSubscribers(rows, filter).size(), size_t(4));
    filter.name = QStringLiteral("POP");
    QCOMPARE(names(filterSubscribers(rows, filter)),
             (QStringList{QStringLiteral("POP FARA DATA"), QStringLiteral("POPA ANA"), QStringLiteral("POPESCU ION")}));
    filter.name = QStringLiteral("POPE");
    QCOMPARE(names(filterSubscribers(rows, filter)), QStringList{QStringLiteral("POPESCU ION")});
    filter.name.clear();
    filter.activeOnly = true;
    // Leaving today still shows; left yesterday and no entry date do not.
    QCOMPARE(names(filterSubscribers(rows, filter)), (QStringList{QStringLiteral("POPA ANA"), QStringLiteral("POPESCU ION")}));
    QCOMPARE(subscriberSortField(QStringLiteral("DATAINS")), QStringLiteral("DATAIN"));
    QCOMPARE(subscriberSortField(QStringLiteral("INACTIV")), QStringLiteral("DATAOUT"));
    QCOMPARE(subscriberSortField(QStringLiteral("DATACONS")), QStringLiteral("DATACON"));
    QCOMPARE(subscriberSortField(QStringLiteral("NRPERS")), QStringLiteral("NRPERS"));
    QCOMPARE(subscriberSortField(QStringLiteral("NUME; DROP")), QString());
    const ResultSet byPersons = listSubscribers(*f.db, QStringLiteral("NRPERS"));
    QCOMPARE(byPersons.text(3, QStringLiteral("NUME")), QStringLiteral("POP FARA DATA"));
}

QTEST_GUILESS_MAIN(TestSubscribers)
#include "tst_subscribers.moc"
