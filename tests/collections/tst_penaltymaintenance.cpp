// The penalty freeze and the penalty-start recomputation.

#include "collections/penaltymaintenance.h"
#include "core/progress.h"

#include "collectionsfixture.h"

#include "ledger/debitrules.h"
#include "store/database.h"

#include <QFile>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestPenaltyMaintenance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freezeGathersNaturalPersons();
    void redateSetsOneMonthAfterDate();
    void freezeNeverMovesALaterPenaltyStartEarlier();
    void redateLeavesTheSameFileAsOneUpdatePerDebit();
};

void TestPenaltyMaintenance::freezeGathersNaturalPersons()
{
    CollectionsFixture f(QDate(2024, 3, 1));
    const int ref = day(2023, 12, 31);
    const qint64 person = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 firm = f.insertSubscriber(QStringLiteral("FIRMA SRL"), 0, day(2020, 1, 1));
    f.db->exec(QStringLiteral("UPDATE Abonat SET TIPPF='J' WHERE IDAB=?"), {firm});
    const qint64 small = f.insertSubscriber(QStringLiteral("MIC ION"), 1, day(2020, 1, 1));
    const qint64 capped = f.insertSubscriber(QStringLiteral("MARE ION"), 1, day(2020, 1, 1));
    // Penalties at 31.12.2023: 5 and 7 (one day counts 1 + days).
    const qint64 d1 = f.insertDebit(person, "100", day(2023, 10, 1), ref - 4, "1");
    const qint64 d2 = f.insertDebit(person, "100", day(2023, 11, 1), ref - 6, "1");
    const qint64 later = f.insertDebit(person, "100", day(2024, 1, 5), day(2024, 1, 10), "1");
    f.insertDebit(firm, "100", day(2023, 10, 1), ref - 4, "1");
    const qint64 tiny = f.insertDebit(small, "10", day(2023, 10, 1), ref - 3, "1"); // 0.40 rounds to 0
    f.insertDebit(capped, "100", day(2022, 1, 1), ref - 149, "1", QStringLiteral("zi"), QString()); // 150 -> 100

    NullProgress progress;
    const FreezeOutcome o = freezePenalties(*f.db, f.session, progress);
    QCOMPARE(o.settlementDebits, 2);
    QVERIFY(QFileInfo::exists(o.listPath));
    const ResultSet s = f.db->select(QStringLiteral("SELECT * FROM Debite WHERE DENUM='Penalitati 2023' ORDER BY IDAB"));
    QCOMPARE(s.rowCount(), 2);
    QCOMPARE(s.integer(0, QStringLiteral("IDAB")), person);
    QCOMPARE(s.money(0, QStringLiteral("SOLD")), lei("12"));
    QCOMPARE(s.money(0, QStringLiteral("RATA")), lei("12"));
    QCOMPARE(s.integer(0, QStringLiteral("LUNADEB")), qint64(202401));
    QCOMPARE(int(s.integer(0, QStringLiteral("DATADEB"))), f.today());
    QCOMPARE(s.integer(0, QStringLiteral("IDCON")), o.accountId);
    QCOMPARE(s.integer(1, QStringLiteral("IDAB")), capped);
    QCOMPARE(s.money(1, QStringLiteral("SOLD")), lei("100"));
    auto start = [&](qint64 iddeb) {
        return int(f.db->scalar(QStringLiteral("SELECT PENALDATA FROM Debite WHERE IDDEB=?"), {iddeb}).toLongLong());
    };
    QCOMPARE(start(d1), day(2024, 1, 1));
    QCOMPARE(start(d2), day(2024, 1, 1));
    QCOMPARE(start(later), day(2024, 1, 10));
    QCOMPARE(start(tiny), ref - 3);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DefCont WHERE DENUM='Penalitati 2023'")), qint64(1));
    // A second freeze finds the account and nothing left to freeze.
    QCOMPARE(freezePenalties(*f.db, f.session, progress).accountId, o.accountId);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE DENUM='Penalitati 2023'")), qint64(2));
}

void TestPenaltyMaintenance::redateSetsOneMonthAfterDate()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 debit = f.insertDebit(idab, "0", day(2024, 1, 31), 0, "0", QStringLiteral("zi"), QString(), 4, -1, "10");
    const qint64 advance = f.insertDebit(idab, "-5", day(2024, 2, 1), 0, "0", QStringLiteral("zi"), QString(), -1);
    NullProgress progress;
    QCOMPARE(redatePenaltyStarts(*f.db, f.session, progress), qint64(1));
    const ResultSet r = f.db->select(QStringLiteral("SELECT IDDEB, PENALDATA, PENALPE FROM Debite ORDER BY IDDEB"));
    QCOMPARE(r.integer(0, QStringLiteral("IDDEB")), debit);
    QCOMPARE(int(r.integer(0, QStringLiteral("PENALDATA"))), day(2024, 2, 29));
    QCOMPARE(r.text(0, QStringLiteral("PENALPE")), QStringLiteral("luna"));
    QCOMPARE(r.integer(1, QStringLiteral("IDDEB")), advance);
    QCOMPARE(r.integer(1, QStringLiteral("PENALDATA")), qint64(0));
}

void TestPenaltyMaintenance::freezeNeverMovesALaterPenaltyStartEarlier()
{
    CollectionsFixture f(QDate(2024, 3, 1));
    const qint64 person = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 overdue = f.insertDebit(person, "100", day(2023, 10, 1), day(2023, 11, 1), "1");
    // Debited in December, overdue only from 15.01.2024: nothing of it was frozen.
    const qint64 december = f.insertDebit(person, "100", day(2023, 12, 15), day(2024, 1, 15), "1");
    // No penalty start at all: the freeze does not invent one.
    const qint64 unstarted = f.insertDebit(person, "100", day(2023, 12, 20), 0, "1");
    NullProgress progress;
    QCOMPARE(freezePenalties(*f.db, f.session, progress).settlementDebits, 1);
    auto start = [&](qint64 iddeb) {
        return int(f.db->scalar(QStringLiteral("SELECT PENALDATA FROM Debite WHERE IDDEB=?"), {iddeb}).toLongLong());
    };
    QCOMPARE(start(overdue), day(2024, 1, 1));
    QCOMPARE(start(december), day(2024, 1, 15));
    QCOMPARE(start(unstarted), 0);
}

namespace {

class CountingProgress final : public Progress
{
public:
    void setText(const QString &) override {}
    void setTotal(int t) override { total = t; }
    void start() override {}
    void step() override { ++steps; }
    void finish() override {}
    int total = 0;
    int steps = 0;
};

// The same debits in every register: month ends, 29 February, an empty date, debits of no
// account (IDCON 0) and advances (IDCON -1), and deleted records among them.
void fillVariedDebits(CollectionsFixture &f)
{
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2019, 1, 1));
    const QList<int> edges = {day(2024, 1, 31), day(2024, 2, 29), day(2023, 1, 31), day(2023, 2, 28), day(2020, 2, 29),
                              day(2024, 3, 31), day(2024, 4, 30), day(2023, 12, 31), day(2024, 12, 31), 0};
    int date = day(2019, 1, 1);
    for (int i = 0; i < 1200; ++i) {
        const int when = i < edges.size() ? edges[i] : (date += 3);
        const qint64 idcon = i % 13 == 5 ? 0 : i % 17 == 3 ? -1 : 1 + i % 3;
        f.insertDebit(idab, "10", when, i % 4 == 0 ? 0 : when + 10, "1", i % 2 ? QStringLiteral("zi") : QStringLiteral("luna"),
                      QString(), idcon);
    }
    f.db->exec(QStringLiteral("DELETE FROM Debite WHERE IDDEB IN (1003, 1100, 1500, 2100)"));
}

QByteArray debitsFile(const CollectionsFixture &f)
{
    QFile file(f.session.dataFolder + QStringLiteral("/Debite.dbf"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

void TestPenaltyMaintenance::redateLeavesTheSameFileAsOneUpdatePerDebit()
{
    CollectionsFixture before;
    CollectionsFixture after;
    fillVariedDebits(before);
    fillVariedDebits(after);
    QVERIFY(!debitsFile(before).isEmpty());
    QCOMPARE(debitsFile(before), debitsFile(after));

    // The re-dating as it was: each debit's key and date read first, then one update each.
    CountingProgress loopProgress;
    {
        Transaction tx(*before.db);
        const ResultSet rows = before.db->select(QStringLiteral("SELECT IDDEB, DATADEB FROM Debite WHERE IDCON>0"));
        ProgressScope scope(loopProgress, QStringLiteral("Refac..."), rows.rowCount() / 500 + 1);
        Statement update = before.db->prepare(QStringLiteral("UPDATE Debite SET PENALDATA=?, PENALPE='luna' WHERE IDDEB=?"));
        for (int i = 0; i < rows.rowCount(); ++i) {
            update.exec({addMonthsToDay(int(rows.integer(i, QStringLiteral("DATADEB"))), 1), rows.integer(i, QStringLiteral("IDDEB"))});
            if (i % 500 == 499)
                loopProgress.step();
        }
        tx.commit();
    }
    CountingProgress progress;
    const qint64 changed = redatePenaltyStarts(*after.db, after.session, progress);
    QCOMPARE(changed, before.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDCON>0")));
    QVERIFY(changed > 1000);
    QCOMPARE(progress.total, loopProgress.total);
    QCOMPARE(progress.steps, loopProgress.steps);
    QVERIFY(progress.steps >= 2);

    const QByteArray expected = debitsFile(before);
    const QByteArray got = debitsFile(after);
    QCOMPARE(got.size(), expected.size());
    QVERIFY2(got == expected, "the re-dated Debite.dbf differs from the one the loop leaves");
    // And the change is the one intended, not the same fault on both sides.
    QCOMPARE(int(after.db->scalar(QStringLiteral("SELECT PENALDATA FROM Debite WHERE IDDEB=1001")).toLongLong()),
             day(2024, 3, 29));
    QCOMPARE(int(after.db->scalar(QStringLiteral("SELECT PENALDATA FROM Debite WHERE IDDEB=1000")).toLongLong()),
             day(2024, 2, 29));
    QCOMPARE(after.db->scalar(QStringLiteral("SELECT PENALPE FROM Debite WHERE IDDEB=1005")).toString(), QStringLiteral("zi"));
}

QTEST_GUILESS_MAIN(TestPenaltyMaintenance)
#include "tst_penaltymaintenance.moc"
