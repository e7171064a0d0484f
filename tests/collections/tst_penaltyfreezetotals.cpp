// The penalty freeze sums each subscriber's penalties in the statement that reads the
// debits: over random registers (names shared by several subscribers, firms, zero and
// negative balances and percents, starts on the freeze's edges, totals of exactly one
// leu) its settlement debits must be those of summing debit by debit in C++.

#include "collections/balance.h"
#include "collections/penaltymaintenance.h"
#include "core/progress.h"

#include "collectionsfixture.h"

#include "store/database.h"

#include <QTest>

#include <map>
#include <random>

using namespace vestronia;
using namespace vestronia::testing;

namespace {

void fillRandomRegister(CollectionsFixture &f, unsigned seed)
{
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const char *names[] = {"POPESCU ION", "IONESCU MARIA", "POPESCU ION", "STAN ANA", "DUMITRU VASILE"};
    const char *rests[] = {"-5", "0", "0.01", "0.5", "10", "99.99", "100", "250.55", "1234.5"};
    const char *percents[] = {"0", "-1", "0.01", "0.1", "1", "2.5", "0.3333"};
    const int edges[] = {0, day(2023, 12, 30), day(2023, 12, 31), day(2024, 1, 1), day(2023, 1, 1), day(2022, 6, 15)};
    Transaction tx(*f.db);
    for (int s = 0; s < 40; ++s) {
        const qint64 idab = f.insertSubscriber(QString::fromLatin1(names[pick(5)]), 1, day(2020, 1, 1));
        if (pick(5) == 0)
            f.db->exec(QStringLiteral("UPDATE Abonat SET TIPPF='J' WHERE IDAB=?"), {idab});
        const int debits = pick(12);
        for (int d = 0; d < debits; ++d) {
            const int date = day(2021, 1, 1) + pick(1200);
            const int start = pick(3) == 0 ? edges[pick(6)] : date + pick(60);
            f.insertDebit(idab, rests[pick(9)], date, start, percents[pick(7)],
                          pick(2) ? QStringLiteral("zi") : QStringLiteral("luna"),
                          pick(2) ? QStringLiteral("X") : QStringLiteral("-"));
        }
    }
    // Exactly one leu (two days at 1% of 50) is frozen; what rounds to nothing is not.
    const qint64 one = f.insertSubscriber(QStringLiteral("UN LEU"), 1, day(2020, 1, 1));
    f.insertDebit(one, "50", day(2023, 12, 1), day(2023, 12, 30), "1");
    const qint64 under = f.insertSubscriber(QStringLiteral("SUB UN LEU"), 1, day(2020, 1, 1));
    f.insertDebit(under, "24.99", day(2023, 12, 1), day(2023, 12, 30), "1");
    tx.commit();
}

// The totals as the freeze summed them debit by debit: runs of one subscriber and name
// in subscriber order, only those of at least one leu.
std::map<qint64, Money> totalsDebitByDebit(CollectionsFixture &f)
{
    const int lastOf2023 = day(2023, 12, 31);
    const ResultSet debits = f.db->select(QStringLiteral("SELECT A.NUME AS NUME, D.IDAB AS IDAB, D.SOLD AS SOLD, D.PENAL AS PENAL, "
                                                         "D.PENALPE AS PENALPE, D.PENALDATA AS PENALDATA FROM Debite D "
                                                         "JOIN Abonat A ON D.IDAB=A.IDAB WHERE A.TIPPF='F' AND D.SOLD>0 "
                                                         "AND D.DATADEB<? ORDER BY D.IDAB, D.DATADEB"),
                                          {day(2024, 1, 1)});
    std::map<qint64, Money> out;
    for (int i = 0; i < debits.rowCount(); ++i)
        out[debits.integer(i, QStringLiteral("IDAB"))] +=
            computePenalty(debits.text(i, QStringLiteral("PENALPE")), QStringLiteral("X"),
                           int(debits.integer(i, QStringLiteral("PENALDATA"))), debits.money(i, QStringLiteral("PENAL")),
                           debits.money(i, QStringLiteral("SOLD")), lastOf2023);
    std::erase_if(out, [](const auto &t) { return t.second < Money::fromLei(1); });
    return out;
}

class CountingProgress final : public Progress
{
public:
    void setText(const QString &) override {}
    void setTotal(int t) override { totals << t; }
    void start() override {}
    void step() override { ++steps; }
    void finish() override {}
    QList<int> totals;
    int steps = 0;
};

} // namespace

class TestPenaltyFreezeTotals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settlementsMatchTheSumDebitByDebit_data()
    {
        QTest::addColumn<unsigned>("seed");
        for (const unsigned s : {1u, 2u, 3u, 20241210u})
            QTest::addRow("%u", s) << s;
    }

    void settlementsMatchTheSumDebitByDebit()
    {
        QFETCH(unsigned, seed);
        CollectionsFixture f(QDate(2024, 3, 1));
        fillRandomRegister(f, seed);
        const std::map<qint64, Money> expected = totalsDebitByDebit(f);
        QVERIFY(!expected.empty());
        CountingProgress progress;
        const FreezeOutcome o = freezePenalties(*f.db, f.session, progress);
        QCOMPARE(o.settlementDebits, int(expected.size()));
        const ResultSet s = f.db->select(QStringLiteral("SELECT IDAB, RATA, SOLD FROM Debite WHERE DENUM='Penalitati 2023' "
                                                        "ORDER BY IDAB"));
        std::map<qint64, Money> got;
        for (int i = 0; i < s.rowCount(); ++i) {
            QCOMPARE(s.money(i, QStringLiteral("RATA")), s.money(i, QStringLiteral("SOLD")));
            QVERIFY2(got.emplace(s.integer(i, QStringLiteral("IDAB")), s.money(i, QStringLiteral("SOLD"))).second,
                     "two settlements for one subscriber");
        }
        QCOMPARE(got.size(), expected.size());
        for (const auto &[idab, total] : expected) {
            QVERIFY2(got.count(idab), qPrintable(QStringLiteral("no settlement for %1").arg(idab)));
            QCOMPARE(got.at(idab), total);
        }
        const qint64 one = f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='UN LEU'"));
        QVERIFY(got.count(one));
        QCOMPARE(got.at(one), Money::fromLei(1));
        QVERIFY(!got.count(f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='SUB UN LEU'"))));
        // The counted phase never steps past the total it announced.
        QVERIFY(!progress.totals.isEmpty());
        QVERIFY(progress.steps <= progress.totals.first() + progress.totals.value(1) + progress.totals.value(2));
    }

    // A start that does not fit its field, met half way through the re-dating's one
    // statement: refused, and not one debit keeps a new start.
    void redatingRefusedHalfWayChangesNothing()
    {
        CollectionsFixture f(QDate(2024, 3, 1));
        const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 1, day(2020, 1, 1));
        {
            Transaction tx(*f.db);
            for (int i = 0; i < 300; ++i)
                f.insertDebit(idab, "10", i == 150 ? 999990 : day(2022, 1, 1) + i, 0, "1");
            tx.commit();
        }
        const QVariant before = f.db->scalar(QStringLiteral("SELECT SUM(PENALDATA) FROM Debite"));
        NullProgress progress;
        QVERIFY_THROWS_EXCEPTION(VestroniaError, redatePenaltyStarts(*f.db, f.session, progress));
        QCOMPARE(f.db->scalar(QStringLiteral("SELECT SUM(PENALDATA) FROM Debite")), before);
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE='luna'")), 0);
        f.reopen();
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALPE='luna'")), 0);
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE PENALDATA<>0")), 0);
    }
};

QTEST_GUILESS_MAIN(TestPenaltyFreezeTotals)
#include "tst_penaltyfreezetotals.moc"
