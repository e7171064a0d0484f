// The cash book's day view and cash-desk lines: which documents belong to the book, the
// carried balance, the entry refusals and the deletion of cash-desk lines only.

#include "collections/cashbook.h"
#include "collections/collection.h"

#include "collectionsfixture.h"

#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestCashBook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dayViewCarriesWhatThePrintedBookCarries();
    void emptyDayCarriesBalance();
    void entryRefusals();
    void deletionOfCashLinesOnly();
    void documentTypesLeaveSubscriberTypesOut();

private:
    static qint64 cash(CollectionsFixture &f, bool payment, const char *amount, int day, const QString &type = QStringLiteral("DISPOZITIE"))
    {
        CashEntry e;
        e.payment = payment;
        e.docType = type;
        e.amount = lei(amount);
        e.day = day;
        e.purpose = QStringLiteral("test");
        const CashOutcome o = addCashEntry(*f.db, f.session, e);
        return o.idchit;
    }
    static qint64 collect(CollectionsFixture &f, qint64 idab, const char *amount, int day, const QString &type = QStringLiteral("CHITANTA"))
    {
        CollectionDraft d;
        d.idab = idab;
        d.docType = type;
        d.amount = lei(amount);
        d.day = day;
        return recordCollection(*f.db, f.session, d).recorded.idchit;
    }
};

void TestCashBook::dayViewCarriesWhatThePrintedBookCarries()
{
    CollectionsFixture f;
    const int today = f.today();
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    collect(f, idab, "100", today - 2);                                      // counted before
    cash(f, false, "40", today - 2);                                         // cash-desk receipt: carried too
    cash(f, true, "30", today - 1);                                          // payment out: carried
    collect(f, idab, "999", today - 1, QStringLiteral("VIRAMENT BANCAR"));   // not in the book
    const qint64 cancelled = collect(f, idab, "500", today - 1);
    f.db->exec(QStringLiteral("UPDATE Chitante SET ANULAT='X' WHERE IDCHIT=?"), {cancelled});
    collect(f, idab, "25.5", today);
    cash(f, false, "10", today);
    cash(f, true, "5.25", today);
    collect(f, idab, "70", today, QStringLiteral("PLATA CU CARD"));          // not in the book
    const CashDay d = cashDay(*f.db, today);
    QCOMPARE(d.previous, lei("110"));
    QCOMPARE(d.in, lei("35.5"));
    QCOMPARE(d.out, lei("5.25"));
    QCOMPARE(d.final(), lei("140.25"));
    // The printed book's carried balance is taken over the same rows.
    QCOMPARE(Money::fromVariant(f.db->scalar(QStringLiteral("SELECT SUM(INCASAT-PLATIT) FROM Chitante WHERE ") + cashBookCondition() +
                                                 QStringLiteral(" AND DOCDATA<?"),
                                             {today})),
             d.previous);
    QCOMPARE(cashDayRows(*f.db, today).rowCount(), 3);
}

void TestCashBook::emptyDayCarriesBalance()
{
    CollectionsFixture f;
    cash(f, true, "12", f.today() - 5);
    const CashDay d = cashDay(*f.db, f.today());
    QCOMPARE(d.previous, lei("-12"));
    QCOMPARE(d.in, Money());
    QCOMPARE(d.out, Money());
    QCOMPARE(d.final(), d.previous);
}

void TestCashBook::entryRefusals()
{
    CollectionsFixture f;
    CashEntry e;
    e.docType = QStringLiteral("DISPOZITIE");
    e.day = f.today();
    const CashOutcome zero = addCashEntry(*f.db, f.session, e);
    QVERIFY(zero.refusal);
    QCOMPARE(zero.refusal->field, QStringLiteral("Suma"));
    QCOMPARE(zero.refusal->message, QStringLiteral("Suma incorecta!"));
    e.amount = lei("5");
    e.docType = QStringLiteral("  \"  ");
    const CashOutcome noType = addCashEntry(*f.db, f.session, e);
    QVERIFY(noType.refusal);
    QCOMPARE(noType.refusal->field, QStringLiteral("DocJus"));
    QCOMPARE(noType.refusal->message, QStringLiteral("Nu ati scris ce reprezinta!"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(0));
}

void TestCashBook::deletionOfCashLinesOnly()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 receipt = collect(f, idab, "10", f.today());
    const qint64 line = cash(f, true, "3", f.today(), QStringLiteral("stat plata"));
    QVERIFY(checkCashDeletion(*f.db, receipt));
    QVERIFY(deleteCashEntry(*f.db, f.session, receipt));
    QCOMPARE(cashDeletionQuestion(*f.db, line), QStringLiteral("\rDoriti sa stergeti STAT PLATA?"));
    QVERIFY(!deleteCashEntry(*f.db, f.session, line));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(1));
}

void TestCashBook::documentTypesLeaveSubscriberTypesOut()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    collect(f, idab, "10", f.today(), QStringLiteral("PLATA CU CARD"));
    collect(f, idab, "10", f.today(), QStringLiteral("VIRAMENT BANCAR"));
    collect(f, idab, "10", f.today());
    cash(f, true, "3", f.today(), QStringLiteral("STAT PLATA"));
    QCOMPARE(cashDocumentTypes(*f.db, false), QStringList{QStringLiteral("CHITANTA")});
    QCOMPARE(cashDocumentTypes(*f.db, true), QStringList{QStringLiteral("STAT PLATA")});
}

QTEST_GUILESS_MAIN(TestCashBook)
#include "tst_cashbook.moc"
