// The spread of an amount over open debits: arrears, penalty and current parts, the
// advance pool, the new advance, and the rounding of a rest's share to whole lei.

#include "collections/allocation.h"
#include "collections/balance.h"
#include "collections/collection.h"

#include "collectionsfixture.h"

#include <QRandomGenerator>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;


namespace {

// One expected row: IDDEB (0 for the new advance), RESTI, PENALI, CURENTI, SOLD, type.
struct Expected
{
    int debit; // index into the debits inserted, -1 for the new advance
    const char *resti;
    const char *penali;
    const char *curenti;
    const char *sold;
    char type;
};

// A debit: rest, days its penalty start lies before today (none when below -1000),
// percent, unit, cap.
struct Given
{
    const char *rest;
    int startDaysBefore;
    const char *percent;
    const char *unit;
    const char *cap;
};

} // namespace

Q_DECLARE_METATYPE(QList<Given>)
Q_DECLARE_METATYPE(QList<Expected>)

class TestAllocation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void spread_data();
    void spread();
    void nothingOwedBecomesAdvance();
    void workTableKeepsTheRows();
    void recordedRowsMatchTheWorkTable();
};

void TestAllocation::spread_data()
{
    QTest::addColumn<QList<Given>>("debits");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QList<Expected>>("expected");

    QTest::newRow("worked example") << QList<Given>{{"100", 9, "1", "zi", ""}, {"50", 4, "1", "zi", ""}} << QStringLiteral("150")
                                    << QList<Expected>{{0, "100", "10", "0", "0", 'N'}, {1, "38", "2", "0", "12", 'N'}};
    QTest::newRow("short payment stays on the first debit")
        << QList<Given>{{"100", 9, "1", "zi", ""}, {"50", 4, "1", "zi", ""}} << QStringLiteral("55")
        << QList<Expected>{{0, "50", "5", "0", "50", 'N'}, {1, "0", "0", "0", "50", 'N'}};
    QTest::newRow("start day: overdue without penalty, remainder to penalty")
        << QList<Given>{{"20", 0, "1", "zi", ""}} << QStringLiteral("10.40") << QList<Expected>{{0, "10", "0.4", "0", "10", 'N'}};
    // 10.60 of 20 rounds the rest's share to 11: more than was paid, the penalty part
    // would be -0.40.
    QTest::newRow("rest share never above the amount")
        << QList<Given>{{"20", 0, "1", "zi", ""}} << QStringLiteral("10.60") << QList<Expected>{{0, "10", "0.6", "0", "10", 'N'}};
    // 10.60 rest, penalty 1, paid 11.50: the share 10.51 rounds to 11, above the rest,
    // which would leave the debit at -0.40.
    QTest::newRow("rest share never above the rest")
        << QList<Given>{{"10.60", 9, "1", "zi", ""}} << QStringLiteral("11.50")
        << QList<Expected>{{0, "10.6", "0.9", "0", "0", 'N'}};
    QTest::newRow("not overdue goes to current") << QList<Given>{{"30", -5, "1", "zi", ""}} << QStringLiteral("12.5")
                                                 << QList<Expected>{{0, "0", "0", "12.5", "17.5", 'N'}};
    QTest::newRow("no penalty start is current")
        << QList<Given>{{"30", -2000, "1", "zi", ""}} << QStringLiteral("30") << QList<Expected>{{0, "0", "0", "30", "0", 'N'}};
    QTest::newRow("excess becomes one advance")
        << QList<Given>{{"30", 2, "1", "zi", "X"}} << QStringLiteral("100")
        << QList<Expected>{{0, "30", "1", "0", "0", 'N'}, {-1, "0", "0", "69", "-69", 'D'}};
    QTest::newRow("old advance, current debit, new advance")
        << QList<Given>{{"-50", -2000, "0", "luna", ""}, {"30", -3, "1", "zi", ""}} << QStringLiteral("100")
        << QList<Expected>{{0, "0", "0", "-50", "0", 'D'}, {1, "0", "0", "30", "0", 'N'}, {-1, "0", "0", "120", "-120", 'D'}};
    QTest::newRow("advance covers without penalty, money pays the rest")
        << QList<Given>{{"-10", -2000, "0", "luna", ""}, {"100", 9, "1", "zi", ""}} << QStringLiteral("99")
        << QList<Expected>{{0, "0", "0", "-10", "0", 'D'}, {1, "100", "9", "0", "0", 'N'}};
    QTest::newRow("advance larger than the debit")
        << QList<Given>{{"-80", -2000, "0", "luna", ""}, {"30", 3, "1", "zi", ""}} << QStringLiteral("0")
        << QList<Expected>{{0, "0", "0", "-80", "0", 'D'}, {1, "30", "0", "0", "0", 'N'}, {-1, "0", "0", "50", "-50", 'D'}};
}

void TestAllocation::spread()
{
    QFETCH(QList<Given>, debits);
    QFETCH(QString, amount);
    QFETCH(QList<Expected>, expected);
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    QList<qint64> ids;
    int date = f.today() - 100;
    for (const Given &g : debits)
        ids << f.insertDebit(idab, g.rest, date++, g.startDaysBefore < -1000 ? 0 : f.today() - g.startDaysBefore, g.percent,
                             QString::fromLatin1(g.unit), QString::fromLatin1(g.cap));
    const Money paid = *Money::parse(amount);
    const std::vector<AllocationRow> rows = previewAllocation(*f.db, idab, paid, f.today());
    QCOMPARE(int(rows.size()), expected.size());
    Money sum;
    for (int i = 0; i < expected.size(); ++i) {
        const Expected &e = expected[i];
        const AllocationRow &r = rows[size_t(i)];
        QCOMPARE(r.iddeb, e.debit < 0 ? 0 : ids[e.debit]);
        QCOMPARE(r.resti, lei(e.resti));
        QCOMPARE(r.penali, lei(e.penali));
        QCOMPARE(r.curenti, lei(e.curenti));
        QCOMPARE(r.sold, lei(e.sold));
        QCOMPARE(r.tipavans, e.type);
        QVERIFY2(!r.penali.isNegative(), "a penalty part is never negative");
        sum += r.resti + r.penali + r.curenti;
    }
    // Whatever the rounding, the parts add up to the money received.
    QCOMPARE(sum, paid);
}

void TestAllocation::nothingOwedBecomesAdvance()
{
    CollectionsFixture f;
    const std::vector<AllocationRow> rows = previewAllocation(*f.db, 7, lei("42.5"), f.today());
    QCOMPARE(int(rows.size()), 1);
    QCOMPARE(rows[0].denum, QStringLiteral("PLATA IN AVANS"));
    QCOMPARE(rows[0].rata, lei("-42.5"));
    QCOMPARE(rows[0].curenti, lei("42.5"));
    QCOMPARE(rows[0].idab, qint64(7));
    QCOMPARE(rows[0].lunadeb, monthIndexOf(Clock::today()));
}

void TestAllocation::workTableKeepsTheRows()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    f.insertDebit(idab, "-50", f.today() - 20, 0, "0", QStringLiteral("luna"));
    f.insertDebit(idab, "30.25", f.today() - 10, f.today() - 5, "1.5", QStringLiteral("zi"), QStringLiteral("X"));
    const std::vector<AllocationRow> rows = previewAllocation(*f.db, idab, lei("100"), f.today());
    QString path;
    {
        AllocationTable table(*f.db, f.session.tempFolder, rows);
        path = table.path();
        QVERIFY(QFileInfo(path).fileName().startsWith(QLatin1String("DebNew")));
        const std::vector<AllocationRow> back = table.rows();
        QCOMPARE(back.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(back[i].iddeb, rows[i].iddeb);
            QCOMPARE(back[i].denum, rows[i].denum);
            QCOMPARE(back[i].sold, rows[i].sold);
            QCOMPARE(back[i].resti, rows[i].resti);
            QCOMPARE(back[i].penali, rows[i].penali);
            QCOMPARE(back[i].curenti, rows[i].curenti);
            QCOMPARE(back[i].tipavans, rows[i].tipavans);
        }
    }
    QVERIFY2(!QFileInfo::exists(path), "the work table goes with its owner");
}

// Many random subscribers (old advances, overdue and current debits, every penalty unit and
// cap, amounts from a few bani to more than is owed): the rows a collection records in
// memory are exactly those the DebNew work table kept after deleting its untouched rows,
// value for value, and the spread keeps its promises: the parts add up to the amount,
// debits are paid oldest first, nothing is paid below zero, an advance is only what is
// left once every debit is paid.
void TestAllocation::recordedRowsMatchTheWorkTable()
{
    CollectionsFixture f;
    QRandomGenerator rng(20261210);
    auto pick = [&](int n) { return int(rng.bounded(n)); };
    auto bani = [&](int maxLei) { return Money::fromUnits(qint64(rng.bounded(maxLei * 100 + 1)) * (Money::Scale / 100)); };
    int penaltyOnlyRows = 0, advances = 0, partlyPaid = 0;
    for (int c = 0; c < 120; ++c) {
        const qint64 idab = f.insertSubscriber(QStringLiteral("ABONAT %1").arg(c), 2, day(2020, 1, 1));
        const int count = pick(7);
        int date = f.today() - 400;
        for (int i = 0; i < count; ++i) {
            date += 1 + pick(40);
            const bool advance = pick(6) == 0;
            const Money rest = advance ? -bani(80) : bani(150);
            const int start = pick(4) == 0 ? 0 : f.today() - 60 + pick(90);
            const QByteArray restText = rest.toFixed(2).toLatin1();
            f.insertDebit(idab, restText.constData(), date, start, pick(3) == 0 ? "0" : (pick(2) ? "1" : "0.5"),
                          pick(2) ? QStringLiteral("zi") : QStringLiteral("luna"), pick(3) == 0 ? QStringLiteral("X") : QString(),
                          1, -1, nullptr, advance ? QStringLiteral("PLATA IN AVANS") : QStringLiteral("TAXA %1").arg(i));
        }
        const Money owed = std::max(balanceOf(*f.db, idab, f.today()).total, Money());
        Money amount;
        switch (pick(4)) {
        case 0: amount = bani(3); break;                                         // a few bani or lei
        case 1: amount = owed > Money() ? owed : bani(50); break;                // exactly what is owed
        case 2: amount = bani(300); break;                                       // anything
        default: amount = owed + bani(40) + Money::fromLei(1); break;            // more than is owed
        }
        const std::vector<AllocationRow> all = previewAllocation(*f.db, idab, amount, f.today());
        const std::vector<AllocationRow> kept = rowsToRecord(all);

        std::vector<AllocationRow> fromTable;
        {
            AllocationTable table(*f.db, f.session.tempFolder, all);
            f.db->exec(QStringLiteral("DELETE FROM DebNew WHERE RESTI=0 AND CURENTI=0 AND PENALI=0 AND IDDEB>0"));
            fromTable = table.rows();
        }
        QCOMPARE(kept.size(), fromTable.size());
        for (size_t i = 0; i < kept.size(); ++i) {
            const AllocationRow &a = kept[i], &b = fromTable[i];
            QCOMPARE(a.iddeb, b.iddeb);
            QCOMPARE(a.idserv, b.idserv);
            QCOMPARE(a.idab, b.idab);
            QCOMPARE(a.idcon, b.idcon);
            QCOMPARE(a.datadeb, b.datadeb);
            QCOMPARE(a.lunadeb, b.lunadeb);
            QCOMPARE(a.denum, b.denum);
            QCOMPARE(a.rata, b.rata);
            QCOMPARE(a.sold, b.sold);
            QCOMPARE(a.penal, b.penal);
            QCOMPARE(a.penalpe, b.penalpe);
            QCOMPARE(a.penaldata, b.penaldata);
            QCOMPARE(a.maxsold, b.maxsold);
            QCOMPARE(a.resti, b.resti);
            QCOMPARE(a.penali, b.penali);
            QCOMPARE(a.curenti, b.curenti);
            QCOMPARE(a.tipavans, b.tipavans);
        }

        // The spread's promises, on the full allocation.
        Money sum;
        bool unpaidSeen = false;
        const ResultSet open = f.db->select(QStringLiteral("SELECT IDDEB, SOLD FROM Debite WHERE IDAB=? AND SOLD<>0 "
                                                           "ORDER BY DATADEB, IDDEB"),
                                            {idab});
        QCOMPARE(int(all.size()) - (all.empty() || all.back().iddeb != 0 ? 0 : 1), open.rowCount());
        for (size_t i = 0; i < all.size(); ++i) {
            const AllocationRow &r = all[i];
            sum += r.resti + r.penali + r.curenti;
            QVERIFY(!r.penali.isNegative() && !r.resti.isNegative());
            if (r.iddeb == 0) {
                QCOMPARE(i, all.size() - 1);
                QVERIFY2(!unpaidSeen, "an advance only once every debit is paid");
                QCOMPARE(r.sold, -r.curenti);
                QVERIFY(r.curenti > Money());
                ++advances;
                continue;
            }
            const Money before = open.money(int(i), QStringLiteral("SOLD"));
            QCOMPARE(r.iddeb, open.integer(int(i), QStringLiteral("IDDEB")));
            if (r.tipavans == 'D') {
                QCOMPARE(r.curenti, before);
                QCOMPARE(r.sold, Money());
                continue;
            }
            QVERIFY(!r.sold.isNegative());
            QCOMPARE(r.sold + r.resti + r.curenti, before);
            if (unpaidSeen)
                QVERIFY2(!r.touched(), "a later debit is paid while an older one is left unpaid");
            if (r.sold > Money()) {
                unpaidSeen = true;
                partlyPaid += r.touched() ? 1 : 0;
            }
            if (r.resti.isZero() && r.curenti.isZero() && r.penali > Money())
                ++penaltyOnlyRows;
        }
        // Old advances count negative, the new one positive: the parts are the money received.
        QCOMPARE(sum, amount);
    }
    // The random set reached the cases that matter.
    QVERIFY(advances > 10);
    QVERIFY(partlyPaid > 10);
    QVERIFY(penaltyOnlyRows > 0);
}

QTEST_GUILESS_MAIN(TestAllocation)
#include "tst_allocation.moc"
