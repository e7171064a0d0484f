// The monthly run appends its debits many to a statement: around the size of such a group
// (one short, exact, one over, two and one over) every debit must be written with its own
// values and number, and a fault or a refused value at any place inside or between groups
// must leave no debit, no moved month and no number taken, with a rerun writing the rows
// a clean run writes.

#include "ledgerfixture.h"

#include "core/counters.h"
#include "core/text.h"
#include "ledger/debitbatch.h"
#include "ledger/monthlydebiting.h"

using namespace vestronia;
using namespace vestronia::testing;

namespace {

struct Expected
{
    qint64 idserv = 0;
    QString text;
    Money amount;
};

// `count` subscriptions each due for June 2024 alone; amounts and names differ per row,
// some names with Romanian letters and some past the 60 characters of the debit's text.
QList<Expected> dueSubscriptions(LedgerFixture &f, int count)
{
    QList<Expected> out;
    Transaction tx(*f.db);
    for (int i = 0; i < count; ++i) {
        const QString name = i % 3 == 0   ? QStringLiteral("SALUBRIZARE %1").arg(i)
                             : i % 3 == 1 ? QStringLiteral("GUNOI MENAJER ȘI ÎNTREȚINERE %1").arg(i)
                                          : QStringLiteral("COLECTARE SELECTIVA DESEURI RECICLABILE DIN GOSPODARIE %1").arg(i);
        const QString amount = QStringLiteral("%1.%2").arg(i * 7 + 1).arg(i % 100, 2, 10, QLatin1Char('0'));
        const qint64 ab = f.insertSubscriber(QStringLiteral("ABONAT %1").arg(i), 1, day(2020, 1, 1));
        const qint64 s = f.insertSubscription(ab, 1, name, amount, 1 + i % 28, 1, day(2020, 1, 1), 202405);
        // A read drops the trailing blank a cut may leave.
        const QString text = QString(name + QStringLiteral(" - 06.2024")).left(60).trimmed();
        out.append({s, text, *Money::parse(amount)});
    }
    tx.commit();
    return out;
}

// Every debit, by number, as the run wrote it.
QStringList debitRows(LedgerFixture &f)
{
    QStringList out;
    const ResultSet r = f.db->select(QStringLiteral("SELECT IDDEB, IDSERV, DENUM, RATA, SOLD, LUNADEB, DATADEB FROM Debite "
                                                    "ORDER BY IDDEB"));
    for (int i = 0; i < r.rowCount(); ++i)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                   .arg(r.integer(i, QStringLiteral("IDDEB")))
                   .arg(r.integer(i, QStringLiteral("IDSERV")))
                   .arg(r.text(i, QStringLiteral("DENUM")), r.money(i, QStringLiteral("RATA")).toString(),
                        r.money(i, QStringLiteral("SOLD")).toString())
                   .arg(r.integer(i, QStringLiteral("LUNADEB")))
                   .arg(r.integer(i, QStringLiteral("DATADEB")));
    return out;
}

void checkNothingWritten(LedgerFixture &f, qint64 counterBefore)
{
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD<>202405")), 0);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")), counterBefore);
}

} // namespace

class TestDebitGroups : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyDebitKeepsItsValuesAroundTheGroupSize_data()
    {
        QTest::addColumn<int>("count");
        for (const int n : {1, 63, 64, 65, 128, 129})
            QTest::addRow("%d", n) << n;
    }

    void everyDebitKeepsItsValuesAroundTheGroupSize()
    {
        QFETCH(int, count);
        LedgerFixture f(QDate(2024, 6, 10));
        Counters::set(f.session.sharedSettings(), QStringLiteral("IDDEB"), 1000);
        const QList<Expected> expected = dueSubscriptions(f, count);
        NullProgress p;
        QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, count);
        f.reopen();
        const ResultSet r = f.db->select(QStringLiteral("SELECT IDDEB, IDSERV, DENUM, RATA, SOLD, LUNADEB FROM Debite "
                                                        "ORDER BY IDDEB"));
        QCOMPARE(r.rowCount(), count);
        for (int i = 0; i < count; ++i) {
            // Numbers follow the subscriptions' order without a gap.
            QCOMPARE(r.integer(i, QStringLiteral("IDDEB")), 1000 + i);
            QCOMPARE(r.integer(i, QStringLiteral("IDSERV")), expected[i].idserv);
            QCOMPARE(r.text(i, QStringLiteral("DENUM")), foldRomanianLetters(expected[i].text));
            QCOMPARE(r.money(i, QStringLiteral("RATA")), expected[i].amount);
            QCOMPARE(r.money(i, QStringLiteral("SOLD")), expected[i].amount);
            QCOMPARE(r.integer(i, QStringLiteral("LUNADEB")), 202406);
        }
        QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")), 1000 + count);
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202406")), count);
    }

    void faultAtAGroupEdgeLeavesNothingAndARerunWritesTheSameRows_data()
    {
        QTest::addColumn<int>("faultAt");
        for (const int k : {0, 1, 63, 64, 65, 100, 127, 128})
            QTest::addRow("%d", k) << k;
    }

    void faultAtAGroupEdgeLeavesNothingAndARerunWritesTheSameRows()
    {
        QFETCH(int, faultAt);
        QStringList clean;
        {
            LedgerFixture g(QDate(2024, 6, 10));
            dueSubscriptions(g, 129);
            NullProgress p;
            runMonthlyDebiting(*g.db, g.session, p);
            clean = debitRows(g);
        }
        LedgerFixture f(QDate(2024, 6, 10));
        dueSubscriptions(f, 129);
        const qint64 counter = Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB"));
        NullProgress p;
        DebitBatchTesting::armFault(faultAt, -1);
        QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
        DebitBatchTesting::armFault(-1, -1);
        checkNothingWritten(f, counter);
        f.reopen();
        checkNothingWritten(f, counter);
        QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 129);
        QCOMPARE(debitRows(f), clean);
    }

    void refusedValueInsideAGroupLeavesNothing_data()
    {
        QTest::addColumn<int>("bad");
        // Inside the first statement of many, inside the second, among the single rows after.
        for (const int k : {0, 30, 63, 64, 100, 128, 130})
            QTest::addRow("%d", k) << k;
    }

    void refusedValueInsideAGroupLeavesNothing()
    {
        QFETCH(int, bad);
        LedgerFixture f(QDate(2024, 6, 10));
        const QList<Expected> expected = dueSubscriptions(f, 131);
        // A penalty start too far ahead for its six-digit day field: the store refuses it.
        f.db->exec(QStringLiteral("UPDATE AbOm SET PENALDELA=99999, PENALDELAP='luna' WHERE IDSERV=?"),
                   {expected[bad].idserv});
        const qint64 counter = Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB"));
        NullProgress p;
        QVERIFY_THROWS_EXCEPTION(VestroniaError, runMonthlyDebiting(*f.db, f.session, p));
        checkNothingWritten(f, counter);
        f.reopen();
        checkNothingWritten(f, counter);
        f.db->exec(QStringLiteral("UPDATE AbOm SET PENALDELA=0, PENALDELAP='' WHERE IDSERV=?"), {expected[bad].idserv});
        QCOMPARE(runMonthlyDebiting(*f.db, f.session, p).debits, 131);
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(DISTINCT IDDEB) FROM Debite")), 131);
        QCOMPARE(f.count(QStringLiteral("SELECT MIN(IDDEB) FROM Debite")), counter == 0 ? 1 : counter);
    }
};

QTEST_GUILESS_MAIN(TestDebitGroups)
#include "tst_debitgroups.moc"
