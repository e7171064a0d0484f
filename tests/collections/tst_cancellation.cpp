// Cancellation when the books moved on after the collection: an identifier handed out
// again, a debit changed in between, an advance changed since.

#include "collections/balance.h"
#include "collections/cancellation.h"
#include "collections/cashbook.h"
#include "collections/collection.h"
#include "collections/debits.h"
#include "core/progress.h"

#include "collectionsfixture.h"

#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestCancellation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cancellationNeverDeletesAnotherSubscribersDebit();
    void cancellationAfterDebitChangeGivesBackWhatWasPaid();
    void cancellationRefusesWhenItsAdvanceChanged();
    void cancellingEveryCollectionWithChangesBetweenLeavesOnlyTheNewAmounts();
    void cashDeskLineIsSentToTheCashBookNotCalledOlder();

private:
    static qint64 collect(CollectionsFixture &f, qint64 idab, const char *amount)
    {
        CollectionDraft d;
        d.idab = idab;
        d.amount = lei(amount);
        d.day = f.today();
        const CollectionOutcome o = recordCollection(*f.db, f.session, d);
        if (o.refusal)
            qWarning("refused: %s", qPrintable(o.refusal->message));
        return o.recorded.idchit;
    }
    static qint64 advanceOf(CollectionsFixture &f, qint64 idab)
    {
        return f.db->scalar(QStringLiteral("SELECT IDDEB FROM Debite WHERE IDAB=? AND SOLD<0"), {idab}).toLongLong();
    }
};

void TestCancellation::cancellationNeverDeletesAnotherSubscribersDebit()
{
    CollectionsFixture f;
    const qint64 first = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 other = f.insertSubscriber(QStringLiteral("IONESCU ANA"), 1, day(2020, 1, 1));
    const qint64 debit = f.insertDebit(first, "20", f.today() - 10);
    const qint64 idchit = collect(f, first, "100");
    const qint64 advance = advanceOf(f, first);
    QVERIFY(advance > 0);
    // The advance goes (a folder written before advances were kept), and its number is
    // handed out again to another subscriber's one-off debit of 80 lei.
    f.db->exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB=?"), {advance});
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                              "PENALPE, PENALDATA, MAXSOLD) VALUES (?, -1, ?, 3, ?, 202406, 'TAXA', 80, 80, 0, '', 0, '')"),
               {advance, other, f.today()});
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, idchit, progress));
    QCOMPARE(f.sold(advance), lei("80"));
    QCOMPARE(balanceOf(*f.db, other, f.today()).total, lei("80"));
    QCOMPARE(f.sold(debit), lei("20"));
}

void TestCancellation::cancellationAfterDebitChangeGivesBackWhatWasPaid()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 debit = f.insertDebit(idab, "80", f.today() - 5, f.today() + 25, "1");
    const qint64 idchit = collect(f, idab, "30");
    QCOMPARE(f.sold(debit), lei("50"));
    // "Modifica suma" to 50: 30 stay paid, the rest becomes 20.
    QVERIFY(!changeDebitAmount(*f.db, f.session, debit, lei("50"), false).refusal);
    QCOMPARE(f.sold(debit), lei("20"));
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, idchit, progress));
    // The 30 the receipt took come back; the debit owes its new amount, not the old 80.
    QCOMPARE(f.sold(debit), lei("50"));
}

void TestCancellation::cancellationRefusesWhenItsAdvanceChanged()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 debit = f.insertDebit(idab, "20", f.today() - 10);
    const qint64 idchit = collect(f, idab, "100");
    const qint64 advance = advanceOf(f, idab);
    f.db->exec(QStringLiteral("UPDATE Debite SET SOLD=-30 WHERE IDDEB=?"), {advance});
    // The window learns it before asking the question.
    QVERIFY(checkCancellation(*f.db, idchit));
    NullProgress progress;
    const MaybeRefusal r = cancelCollection(*f.db, f.session, idchit, progress);
    QVERIFY(r);
    QCOMPARE(r->title, QStringLiteral("Anulare incasare"));
    QVERIFY2(r->message.contains(QLatin1String("PLATA IN AVANS")), qPrintable(r->message));
    // Nothing moved.
    QCOMPARE(f.sold(advance), lei("-30"));
    QCOMPARE(f.sold(debit), Money());
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE ANULAT='X'")), qint64(0));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DebiteArh WHERE IDCHIT=?"), {idchit}), qint64(2));
}

// A cash-desk line is no subscriber's collection: the clerk is sent to the cash book that
// deletes it, not told that a more recent collection stands in the way.
void TestCancellation::cashDeskLineIsSentToTheCashBookNotCalledOlder()
{
    CollectionsFixture f;
    CashEntry e;
    e.docType = QStringLiteral("DISPOZITIE");
    e.amount = lei("25");
    e.day = f.today();
    const CashOutcome line = addCashEntry(*f.db, f.session, e);
    QVERIFY(!line.refusal);
    NullProgress progress;
    const MaybeRefusal r = cancelCollection(*f.db, f.session, line.idchit, progress);
    QVERIFY(r);
    QVERIFY2(r->message.contains(QLatin1String("Registrul de casa")), qPrintable(r->message));
    QVERIFY2(!r->message.contains(QLatin1String("cea mai recenta")), qPrintable(r->message));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDCHIT=? AND (ANULAT IS NULL OR ANULAT<>'X')"),
                     {line.idchit}),
             qint64(1));
}

void TestCancellation::cancellingEveryCollectionWithChangesBetweenLeavesOnlyTheNewAmounts()
{
    // Collections of random amounts, with debit amounts changed between them; cancelling
    // them all, newest first, must leave each debit owing exactly its current amount and
    // no advance anywhere.
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    QList<qint64> debits;
    for (int i = 0; i < 6; ++i)
        debits << f.insertDebit(idab, i % 2 ? "35.50" : "80", f.today() - 200 + 30 * i, f.today() - 170 + 30 * i, "0.1");
    quint32 seed = 20240610;
    auto next = [&seed](quint32 range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    QList<qint64> documents;
    for (int i = 0; i < 25; ++i) {
        CollectionDraft d;
        d.idab = idab;
        d.amount = Money::fromUnits(qint64(1 + next(9000)) * 100); // 0.01 to 90.00 lei
        d.day = f.today();
        const CollectionOutcome o = recordCollection(*f.db, f.session, d);
        QVERIFY(!o.refusal);
        documents << o.recorded.idchit;
        // Raise one open debit by a few lei now and then; what was paid on it stays paid.
        const ResultSet open = f.db->select(QStringLiteral("SELECT IDDEB, RATA FROM Debite WHERE IDAB=? AND SOLD>0"), {idab});
        if (i % 3 == 0 && open.rowCount() > 0) {
            const int row = int(next(quint32(open.rowCount())));
            QVERIFY(!changeDebitAmount(*f.db, f.session, open.integer(row, QStringLiteral("IDDEB")),
                                       open.money(row, QStringLiteral("RATA")) + lei("3"), false)
                         .refusal);
        }
    }
    NullProgress progress;
    while (!documents.isEmpty())
        QVERIFY(!cancelCollection(*f.db, f.session, documents.takeLast(), progress));
    for (qint64 iddeb : debits)
        QCOMPARE(f.sold(iddeb), Money::fromVariant(f.db->scalar(QStringLiteral("SELECT RATA FROM Debite WHERE IDDEB=?"), {iddeb})));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=?"), {idab}), qint64(debits.size()));
}

QTEST_GUILESS_MAIN(TestCancellation)
#include "tst_cancellation.moc"
