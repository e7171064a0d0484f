// Recording and cancelling collections: the rows written, numbering, the dialog's
// refusals, and that a cancellation brings every debit back to where it was.

#include "collections/balance.h"
#include "collections/cancellation.h"
#include "collections/cashbook.h"
#include "collections/collection.h"
#include "core/clock.h"
#include "core/counters.h"
#include "core/profilefile.h"

#include "collectionsfixture.h"

#include <QRandomGenerator>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestCollection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void proposalShowsWhatIsOwed();
    void noDebitsGivesOneAdvance();
    void consumedAdvanceAndNewAdvance();
    void penaltyOnlyLineIsKept();
    void dateBeforeLastDocumentRefused();
    void documentDatedAfterTodayRefused();
    void cancelledReceiptFromAWrongClockNoLongerBlocks();
    void refusalChangesNothing();
    void automaticNumberingTakesCounterOnSave();
    void manualNumberingStoresNextProposal();
    void failedRecordingLeavesTheManualProposal();
    void transferIsNotPrintedAndKeepsItsNumber();
    void laggingCounterNeverRepeatsAnIdentifier();
    void cancelNewestFirst();
    void cancelSkipsCancelledReceiptAtTop();
    void cancelRestoresBalanceAndRemovesAdvance();
    void cancelCardRemovesDocument();
    void recorderWritesWhatSingleCollectionsWrite();
    void recorderAndSingleCollectionsAgreeOnRandomBooks();
    void recorderOutlivesAReattachOfTheTables();
    void recorderAfterAFailedCollectionLeavesNoTraceAndNoGap();

private:
    static CollectionDraft draft(CollectionsFixture &f, qint64 idab, const char *amount, const QString &type = QStringLiteral("CHITANTA"))
    {
        CollectionDraft d;
        d.idab = idab;
        d.docType = type;
        d.amount = lei(amount);
        d.day = f.today();
        d.payer = QStringLiteral("POPESCU ION");
        d.purpose = QStringLiteral("incasare debite");
        return d;
    }
    static Money linesTotal(CollectionsFixture &f, qint64 idchit)
    {
        return Money::fromVariant(
            f.db->scalar(QStringLiteral("SELECT SUM(RESTANTA+PENAL+CURENT) FROM DetChit WHERE IDCHIT=?"), {idchit}));
    }
};

void TestCollection::proposalShowsWhatIsOwed()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    f.db->exec(QStringLiteral("UPDATE Abonat SET CNP='1800101123456' WHERE IDAB=?"), {idab});
    f.insertDebit(idab, "100", f.today() - 30, f.today() - 9, "1");
    const CollectionProposal p = proposeCollection(*f.db, idab, f.today());
    QCOMPARE(p.title, QStringLiteral("POPESCU ION C.N.P. 1800101123456"));
    QCOMPARE(p.payer, p.title);
    QCOMPARE(p.purpose, QStringLiteral("incasare debite POPESCU ION C.N.P. 1800101123456"));
    QCOMPARE(p.amount, lei("110"));
    QCOMPARE(p.lastDay, 0);
}

void TestCollection::noDebitsGivesOneAdvance()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, "75.5"));
    QVERIFY(!o.refusal);
    QVERIFY(o.recorded.printNow);
    const ResultSet adv = f.db->select(QStringLiteral("SELECT * FROM Debite WHERE IDAB=?"), {idab});
    QCOMPARE(adv.rowCount(), 1);
    QCOMPARE(adv.text(0, QStringLiteral("DENUM")), QStringLiteral("PLATA IN AVANS"));
    QCOMPARE(adv.money(0, QStringLiteral("SOLD")), lei("-75.5"));
    QCOMPARE(adv.money(0, QStringLiteral("RATA")), lei("-75.5"));
    QCOMPARE(adv.integer(0, QStringLiteral("IDCON")), qint64(-1));
    const ResultSet arh = f.db->select(QStringLiteral("SELECT * FROM DebiteArh WHERE IDCHIT=?"), {o.recorded.idchit});
    QCOMPARE(arh.rowCount(), 1);
    QCOMPARE(arh.integer(0, QStringLiteral("IDAB")), qint64(0));
    QCOMPARE(arh.money(0, QStringLiteral("SOLD")), Money());
    QCOMPARE(arh.integer(0, QStringLiteral("IDDEB")), adv.integer(0, QStringLiteral("IDDEB")));
    const ResultSet lines = f.db->select(QStringLiteral("SELECT * FROM DetChit WHERE IDCHIT=?"), {o.recorded.idchit});
    QCOMPARE(lines.rowCount(), 1);
    QCOMPARE(lines.money(0, QStringLiteral("CURENT")), lei("75.5"));
    QCOMPARE(f.db->scalar(QStringLiteral("SELECT INCASAT FROM Chitante WHERE IDCHIT=?"), {o.recorded.idchit}).toDouble(), 75.5);
    QCOMPARE(balanceOf(*f.db, idab, f.today()).total, lei("-75.5"));
    QVERIFY(f.logTexts().last().startsWith(QStringLiteral("Eliberat CHITANTA nr.1 = 75.5 lei, POPESCU ION C.N.P.")));
}

void TestCollection::consumedAdvanceAndNewAdvance()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 oldAdvance = f.insertDebit(idab, "-50", f.today() - 40, 0, "0", QStringLiteral("luna"), QStringLiteral("-"),
                                            -1, -1, nullptr, QStringLiteral("PLATA IN AVANS"));
    const qint64 debit = f.insertDebit(idab, "30", f.today() - 1, f.today() + 20, "1");
    const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, "100"));
    QVERIFY(!o.refusal);
    QCOMPARE(f.sold(oldAdvance), Money());
    QCOMPARE(f.sold(debit), Money());
    const ResultSet lines =
        f.db->select(QStringLiteral("SELECT * FROM DetChit WHERE IDCHIT=? ORDER BY IDDCHIT"), {o.recorded.idchit});
    QCOMPARE(lines.rowCount(), 3);
    // Advances first (the consumed one, then the new one), then the debits by date.
    QCOMPARE(lines.text(0, QStringLiteral("DENUM")), QStringLiteral("SOLD PLATA IN AVANS"));
    QCOMPARE(lines.money(0, QStringLiteral("CURENT")), lei("-50"));
    QCOMPARE(lines.text(1, QStringLiteral("DENUM")), QStringLiteral("PLATA IN AVANS"));
    QCOMPARE(lines.money(1, QStringLiteral("CURENT")), lei("120"));
    QCOMPARE(lines.integer(2, QStringLiteral("IDDEB")), debit);
    QCOMPARE(lines.money(2, QStringLiteral("CURENT")), lei("30"));
    const qint64 newAdvance = lines.integer(1, QStringLiteral("IDDEB"));
    QCOMPARE(f.sold(newAdvance), lei("-120"));
    // The old advance's rest was noted so a cancellation can give it back.
    QCOMPARE(Money::fromVariant(f.db->scalar(QStringLiteral("SELECT SOLD FROM DebiteArh WHERE IDCHIT=? AND IDDEB=?"),
                                             {o.recorded.idchit, oldAdvance})),
             lei("-50"));
}

void TestCollection::penaltyOnlyLineIsKept()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    // Rest 20 with a penalty of 20: 0.40 shares 0.20 to the rest, which rounds to 0 lei.
    const qint64 debit = f.insertDebit(idab, "20", f.today() - 200, f.today() - 99, "1");
    const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, "0.40"));
    QVERIFY(!o.refusal);
    QCOMPARE(f.sold(debit), lei("20"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DetChit WHERE IDCHIT=?"), {o.recorded.idchit}), qint64(1));
    QCOMPARE(linesTotal(f, o.recorded.idchit), lei("0.40"));
}

void TestCollection::dateBeforeLastDocumentRefused()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    QVERIFY(!recordCollection(*f.db, f.session, draft(f, idab, "10")).refusal);
    CollectionDraft same = draft(f, idab, "10");
    QVERIFY2(!recordCollection(*f.db, f.session, same).refusal, "the same day is allowed");
    CollectionDraft earlier = draft(f, idab, "10");
    earlier.day = f.today() - 1;
    const CollectionOutcome o = recordCollection(*f.db, f.session, earlier);
    QVERIFY(o.refusal);
    QCOMPARE(o.refusal->field, QStringLiteral("DocData"));
    QCOMPARE(o.refusal->message, QStringLiteral("Aveti Chitanta eliberata dupa aceasta data!"));
}

void TestCollection::documentDatedAfterTodayRefused()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    // A typo (2030 for 2024) would otherwise block every later collection of his.
    CollectionDraft typo = draft(f, idab, "10");
    typo.day = day(2030, 6, 10);
    const CollectionOutcome o = recordCollection(*f.db, f.session, typo);
    QVERIFY(o.refusal);
    QCOMPARE(o.refusal->field, QStringLiteral("DocData"));
    QCOMPARE(o.refusal->message, QStringLiteral("Data documentului este dupa data de azi!"));
    QVERIFY(!recordCollection(*f.db, f.session, draft(f, idab, "10")).refusal);

    CashEntry cash;
    cash.docType = QStringLiteral("DISPOZITIE");
    cash.amount = lei("5");
    cash.day = f.today() + 1;
    const CashOutcome c = addCashEntry(*f.db, f.session, cash);
    QVERIFY(c.refusal);
    QCOMPARE(c.refusal->field, QStringLiteral("DocData"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(1));
}

// A workstation whose clock ran years ahead wrote a receipt dated in its "today". Once the
// clerk cancels it, the receipt stays (marked cancelled) and must not keep refusing every
// later collection of the subscriber until that date comes.
void TestCollection::cancelledReceiptFromAWrongClockNoLongerBlocks()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const QDate realToday = Clock::today();
    Clock::setToday(realToday.addYears(6));
    const CollectionOutcome ahead = recordCollection(*f.db, f.session, draft(f, idab, "10"));
    Clock::setToday(realToday);
    QVERIFY(!ahead.refusal);
    // While it stands it is the newest document: the order of his documents refuses today.
    QVERIFY(recordCollection(*f.db, f.session, draft(f, idab, "10")).refusal);
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, ahead.recorded.idchit, progress));
    const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, "10"));
    QVERIFY2(!o.refusal, o.refusal ? qPrintable(o.refusal->message) : "");
    QCOMPARE(proposeCollection(*f.db, idab, f.today()).lastDay, f.today());
}

void TestCollection::refusalChangesNothing()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    for (const char *bad : {"0", "-5", "10000000"}) {
        const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, bad));
        QVERIFY(o.refusal);
        QCOMPARE(o.refusal->field, QStringLiteral("Suma"));
        QCOMPARE(o.refusal->message, QStringLiteral("Nu ati scris Suma!"));
    }
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("CHITNR")), qint64(1));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(0));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(0));
}

void TestCollection::automaticNumberingTakesCounterOnSave()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    Counters::set(f.session.sharedSettings(), QStringLiteral("CHITNR"), 41);
    ProfileFile::writeText(f.session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("CHITSERIA"), QStringLiteral("VST"));
    const NumberProposal p = proposeNumber(f.session, QStringLiteral("CHITANTA"), true);
    QCOMPARE(p.number, qint64(41));
    QCOMPARE(p.series, QStringLiteral("VST"));
    QCOMPARE(proposeNumber(f.session, QStringLiteral("CHITANTA"), true).number, qint64(41));
    const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, "5"));
    QCOMPARE(o.recorded.number, qint64(41));
    QCOMPARE(o.recorded.series, QStringLiteral("VST"));
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("CHITNR")), qint64(42));
    CollectionDraft card = draft(f, idab, "5", QStringLiteral("PLATA CU CARD"));
    QCOMPARE(recordCollection(*f.db, f.session, card).recorded.number, qint64(1));
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("CARDNR")), qint64(2));
}

// The next manual number is proposed only for a document that was recorded: a recording
// that fails half way (here an advance too large for its field) keeps the old proposal.
void TestCollection::failedRecordingLeavesTheManualProposal()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    CollectionDraft d = draft(f, idab, "9999999.99");
    d.automaticNumber = false;
    d.series = QStringLiteral("AB");
    d.number = 57;
    bool failed = false;
    try {
        recordCollection(*f.db, f.session, d);
    } catch (const std::exception &) {
        failed = true;
    }
    QVERIFY(failed);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(0));
    QCOMPARE(ProfileFile::readNumber(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("CHITNR")), qint64(0));
    QVERIFY(ProfileFile::readText(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("CHITSERIA")).isEmpty());
}

void TestCollection::manualNumberingStoresNextProposal()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    CollectionDraft d = draft(f, idab, "5");
    d.automaticNumber = false;
    d.series = QStringLiteral(" ab ");
    d.number = 57;
    const CollectionOutcome o = recordCollection(*f.db, f.session, d);
    QCOMPARE(o.recorded.number, qint64(57));
    QCOMPARE(o.recorded.series, QStringLiteral("AB"));
    QCOMPARE(ProfileFile::readNumber(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("CHITNR")), qint64(58));
    QCOMPARE(ProfileFile::readText(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("CHITSERIA")),
             QStringLiteral("AB"));
    const NumberProposal p = proposeNumber(f.session, QStringLiteral("CHITANTA"), false);
    QCOMPARE(p.number, qint64(58));
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("CHITNR")), qint64(1));
}

void TestCollection::transferIsNotPrintedAndKeepsItsNumber()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    CollectionDraft d = draft(f, idab, "5", QStringLiteral("VIRAMENT BANCAR"));
    d.number = 9001;
    const CollectionOutcome o = recordCollection(*f.db, f.session, d);
    QVERIFY(!o.recorded.printNow);
    QCOMPARE(o.recorded.number, qint64(9001));
    QVERIFY(!documentTypeIsNumbered(QStringLiteral("VIRAMENT BANCAR")));
}

void TestCollection::laggingCounterNeverRepeatsAnIdentifier()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    // Rows written behind the counters' back (another tool, an older copy restored).
    const qint64 debit = f.insertDebit(idab, "10", f.today() - 30);
    Counters::set(f.session.sharedSettings(), QStringLiteral("IDDEB"), debit);
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, DOCNR, DOCDATA, INCASAT, PLATIT) "
                              "VALUES (1, -1, 'DISPOZITIE', 1, ?, 5, 0)"),
               {f.today() - 40});
    const CollectionOutcome o = recordCollection(*f.db, f.session, draft(f, idab, "25"));
    QVERIFY(o.recorded.idchit != 1);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB=?"), {debit}), qint64(1));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(DISTINCT IDDEB) FROM Debite")), qint64(2));
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, o.recorded.idchit, progress));
    // The cancellation removed the new advance only.
    QCOMPARE(f.sold(debit), lei("10"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(1));
}

void TestCollection::cancelNewestFirst()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    f.insertDebit(idab, "100", f.today() - 30);
    const qint64 older = recordCollection(*f.db, f.session, draft(f, idab, "30")).recorded.idchit;
    const qint64 newer = recordCollection(*f.db, f.session, draft(f, idab, "20")).recorded.idchit;
    NullProgress progress;
    const MaybeRefusal r = cancelCollection(*f.db, f.session, older, progress);
    QVERIFY(r);
    QCOMPARE(r->message,
             QStringLiteral("\rNu puteti anula decat cea mai recenta incasare efectuata, respectiv prima din tabelul cu Incasari!"));
    QCOMPARE(r->title, QStringLiteral("Anulare incasare"));
    QVERIFY(!cancelCollection(*f.db, f.session, newer, progress));
    QVERIFY(!cancelCollection(*f.db, f.session, older, progress));
    QCOMPARE(balanceOf(*f.db, idab, f.today()).total, lei("100"));
    QVERIFY2(cancelCollection(*f.db, f.session, older, progress), "a cancelled receipt is not cancelled twice");
}

void TestCollection::cancelSkipsCancelledReceiptAtTop()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 first = recordCollection(*f.db, f.session, draft(f, idab, "30")).recorded.idchit;
    const qint64 second = recordCollection(*f.db, f.session, draft(f, idab, "20")).recorded.idchit;
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, second, progress));
    QCOMPARE(cancellationQuestion(*f.db, first),
             QStringLiteral("\rDoriti sa anulati CHITANTA nr.1 / ") + dayText(f.today()) + QStringLiteral(" ?"));
    QVERIFY(!cancelCollection(*f.db, f.session, first, progress));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE ANULAT='X'")), qint64(2));
    // The second consumed the first's advance and made its own: three lines stay with
    // the cancelled receipts, and both advances are gone from the debits.
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DetChit")), qint64(3));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DebiteArh")), qint64(0));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), qint64(0));
}

void TestCollection::cancelRestoresBalanceAndRemovesAdvance()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 oldAdvance = f.insertDebit(idab, "-15", f.today() - 60, 0, "0", QStringLiteral("luna"), QStringLiteral("-"),
                                            -1, -1, nullptr, QStringLiteral("PLATA IN AVANS"));
    const qint64 a = f.insertDebit(idab, "100", f.today() - 50, f.today() - 20, "0.5");
    const qint64 b = f.insertDebit(idab, "40", f.today() - 20, f.today() + 5, "0.5");
    const BalanceTotals before = balanceOf(*f.db, idab, f.today());
    const qint64 idchit = recordCollection(*f.db, f.session, draft(f, idab, "500")).recorded.idchit;
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=?"), {idab}), qint64(4));
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, idchit, progress));
    QCOMPARE(f.sold(oldAdvance), lei("-15"));
    QCOMPARE(f.sold(a), lei("100"));
    QCOMPARE(f.sold(b), lei("40"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=?"), {idab}), qint64(3));
    const BalanceTotals after = balanceOf(*f.db, idab, f.today());
    QCOMPARE(after.total, before.total);
    QCOMPARE(after.advance, before.advance);
    QCOMPARE(f.logTexts().last(),
             QStringLiteral("Anulare CHITANTA nr.1/") + dayText(f.today()) + QStringLiteral(" - POPESCU ION"));
}

void TestCollection::cancelCardRemovesDocument()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    f.insertDebit(idab, "100", f.today() - 30);
    const qint64 idchit = recordCollection(*f.db, f.session, draft(f, idab, "60", QStringLiteral("PLATA CU CARD"))).recorded.idchit;
    NullProgress progress;
    QVERIFY(!cancelCollection(*f.db, f.session, idchit, progress));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(0));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DetChit")), qint64(0));
    QCOMPARE(balanceOf(*f.db, idab, f.today()).rest, lei("100"));
}

namespace {

// The rows of a query as text.
QStringList rowsOf(CollectionsFixture &f, const char *sql)
{
    QStringList out;
    const ResultSet r = f.db->select(QString::fromLatin1(sql));
    for (const QVariantList &row : r.rows()) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << v.toString();
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// Every row a collection touches, in a fixed order, as text.
QStringList booksOf(CollectionsFixture &f)
{
    QStringList out;
    for (const char *sql : {"SELECT * FROM Debite ORDER BY IDDEB", "SELECT * FROM DebiteArh ORDER BY IDCHIT, IDDEB",
                            "SELECT * FROM Chitante ORDER BY IDCHIT", "SELECT * FROM DetChit ORDER BY IDDCHIT",
                            "SELECT ACTIUNE FROM Log ORDER BY IDLOG"})
        out << rowsOf(f, sql);
    return out;
}

} // namespace

// Several collections through one recorder inside one transaction (as a bank statement
// records them), one refused among them, leave the books exactly as the same collections
// recorded one by one: the same rows, identifiers, numbers and change-log entries.
void TestCollection::recorderWritesWhatSingleCollectionsWrite()
{
    CollectionsFixture one, many;
    QList<qint64> subscribers;
    for (CollectionsFixture *f : {&one, &many}) {
        subscribers.clear();
        subscribers << f->insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1))
                    << f->insertSubscriber(QStringLiteral("IONESCU ANA"), 1, day(2020, 1, 1));
        f->insertDebit(subscribers[0], "-20", f->today() - 90, 0, "0", QStringLiteral("luna"), QString(), -1, -1, nullptr,
                       QStringLiteral("PLATA IN AVANS"));
        f->insertDebit(subscribers[0], "100", f->today() - 60, f->today() - 30, "1", QStringLiteral("zi"));
        f->insertDebit(subscribers[0], "45.50", f->today() - 30, f->today() + 5, "1", QStringLiteral("zi"));
        f->insertDebit(subscribers[1], "30", f->today() - 10, f->today() - 3, "0.5", QStringLiteral("luna"), QStringLiteral("X"));
    }
    auto drafts = [&](CollectionsFixture &f) {
        QList<CollectionDraft> d;
        d << draft(f, subscribers[0], "90") << draft(f, subscribers[0], "10") << draft(f, subscribers[1], "12.34")
          << draft(f, subscribers[0], "400", QStringLiteral("VIRAMENT BANCAR"));
        d[1].day = f.today() - 1; // before the first one: refused
        d[3].series = QStringLiteral("BABCDEFGHIJKLMNOPQRS");
        return d;
    };
    QStringList refusals[2];
    for (const CollectionDraft &d : drafts(one)) {
        const CollectionOutcome o = recordCollection(*one.db, one.session, d);
        refusals[0] << (o.refusal ? o.refusal->message : QString::number(o.recorded.idchit));
    }
    {
        Transaction tx(*many.db);
        CollectionRecorder recorder(*many.db, many.session);
        for (const CollectionDraft &d : drafts(many)) {
            const CollectionOutcome o = recorder.record(d);
            refusals[1] << (o.refusal ? o.refusal->message : QString::number(o.recorded.idchit));
        }
        tx.commit();
    }
    QCOMPARE(refusals[1], refusals[0]);
    QCOMPARE(refusals[0].filter(QStringLiteral("Aveti Chitanta")).size(), 1);
    const QStringList books = booksOf(one);
    QVERIFY(books.size() > 15);
    QCOMPARE(booksOf(many), books);
}

namespace {

// A register of a few subscribers with random open debits: overdue with penalties per day
// or per month (capped or not), not yet due, advances, some without any debit.
void randomBooks(CollectionsFixture &f, quint32 seed, QList<qint64> &subscribers)
{
    QRandomGenerator rnd(seed);
    subscribers.clear();
    for (int s = 0; s < 5; ++s) {
        const qint64 idab = f.insertSubscriber(QStringLiteral("ABONAT %1").arg(s), 1, day(2020, 1, 1));
        subscribers << idab;
        const int debits = rnd.bounded(5);
        for (int i = 0; i < debits; ++i) {
            const int date = f.today() - 1 - rnd.bounded(400);
            const QByteArray rest = QByteArray::number(rnd.bounded(1, 30000) / 100.0, 'f', 2);
            if (rnd.bounded(5) == 0) {
                f.insertDebit(idab, QByteArray("-" + rest).constData(), date, 0, "0", QStringLiteral("luna"), QStringLiteral("-"), -1, -1,
                              nullptr, QStringLiteral("PLATA IN AVANS"));
                continue;
            }
            const int start = rnd.bounded(3) == 0 ? 0 : date + 20 + rnd.bounded(60);
            const char *percent = rnd.bounded(2) ? "0.1" : "1";
            f.insertDebit(idab, rest.constData(), date, start, percent, rnd.bounded(2) ? QStringLiteral("zi") : QStringLiteral("luna"),
                          rnd.bounded(2) ? QStringLiteral("X") : QString());
        }
    }
}

// Collections of every kind and size: exactly what is owed, part of it, more than all of
// it, nothing (refused), dated before the subscriber's latest one (refused).
QList<CollectionDraft> randomDrafts(CollectionsFixture &f, quint32 seed, const QList<qint64> &subscribers)
{
    QRandomGenerator rnd(seed * 7919u + 1u);
    QList<CollectionDraft> out;
    const QStringList types = collectionDocumentTypes();
    for (int i = 0; i < 14; ++i) {
        CollectionDraft d;
        d.idab = subscribers[rnd.bounded(int(subscribers.size()))];
        d.docType = types[rnd.bounded(int(types.size()))];
        d.day = f.today() - (rnd.bounded(4) == 0 ? 3 + rnd.bounded(5) : 0);
        d.payer = QStringLiteral("PLATITOR");
        d.purpose = QStringLiteral("incasare");
        if (d.docType == QLatin1String("VIRAMENT BANCAR"))
            d.series = QStringLiteral("BTEST%1").arg(i);
        const Money owed = balanceOf(*f.db, d.idab, f.today()).total;
        switch (rnd.bounded(5)) {
        case 0:
            d.amount = owed;
            break;
        case 1:
            d.amount = Money::fromUnits(owed.units() / 2 / 100 * 100);
            break;
        case 2:
            d.amount = owed + Money::fromUnits(rnd.bounded(1, 10000) * 100);
            break;
        case 3:
            d.amount = Money::fromUnits(rnd.bounded(1, 5000) * 100);
            break;
        default:
            d.amount = rnd.bounded(3) == 0 ? Money() : Money::fromUnits(rnd.bounded(1, 100) * 100);
            break;
        }
        out << d;
    }
    return out;
}

} // namespace

// Random books and collections: one recorder in one transaction and the collections one
// by one leave the same rows; every document's lines add up to it; no debit is paid below
// zero; and cancelling every collection, newest first, gives each debit back its rest.
void TestCollection::recorderAndSingleCollectionsAgreeOnRandomBooks()
{
    for (quint32 seed = 1; seed <= 12; ++seed) {
        CollectionsFixture one, many;
        QList<qint64> subscribers;
        randomBooks(one, seed, subscribers);
        randomBooks(many, seed, subscribers);
        QCOMPARE(booksOf(many), booksOf(one));
        const QStringList startDebits = rowsOf(one, "SELECT * FROM Debite ORDER BY IDDEB");
        // The drafts are worked out on the books as they are before any of them.
        const QList<CollectionDraft> drafts = randomDrafts(one, seed, subscribers);
        QStringList results[2];
        for (const CollectionDraft &d : drafts) {
            const CollectionOutcome o = recordCollection(*one.db, one.session, d);
            results[0] << (o.refusal ? o.refusal->message : QString::number(o.recorded.idchit));
        }
        {
            Transaction tx(*many.db);
            CollectionRecorder recorder(*many.db, many.session);
            for (const CollectionDraft &d : drafts) {
                const CollectionOutcome o = recorder.record(d);
                results[1] << (o.refusal ? o.refusal->message : QString::number(o.recorded.idchit));
            }
            tx.commit();
        }
        QCOMPARE(results[1], results[0]);
        many.reopen();
        QCOMPARE(booksOf(many), booksOf(one));

        // The accountant's checks.
        const ResultSet docs = one.db->select(QStringLiteral("SELECT IDCHIT, INCASAT FROM Chitante ORDER BY IDCHIT"));
        QVERIFY(docs.rowCount() > 0);
        for (int i = 0; i < docs.rowCount(); ++i) {
            const qint64 idchit = docs.integer(i, QStringLiteral("IDCHIT"));
            QCOMPARE(linesTotal(one, idchit), docs.money(i, QStringLiteral("INCASAT")));
            QCOMPARE(one.db->scalar(QStringLiteral("SELECT COUNT(*) FROM DetChit WHERE IDCHIT=? AND (PENAL<0 OR RESTANTA<0)"),
                                    {idchit})
                         .toLongLong(),
                     qint64(0));
        }
        QCOMPARE(one.db->scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDCON<>-1 AND SOLD<0")).toLongLong(), qint64(0));
        NullProgress quiet;
        for (int i = docs.rowCount() - 1; i >= 0; --i)
            QVERIFY(!cancelCollection(*one.db, one.session, docs.integer(i, QStringLiteral("IDCHIT")), quiet));
        QCOMPARE(rowsOf(one, "SELECT * FROM Debite ORDER BY IDDEB"), startDebits);
    }
}

// The recorder's statements are compiled once; the tables they name may be attached
// again meanwhile (the data folder's files replaced, a refresh after another program's
// change). Its collections still reach the files, each with its own rows.
void TestCollection::recorderOutlivesAReattachOfTheTables()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 debit = f.insertDebit(idab, "100", f.today() - 30);
    CollectionOutcome first, second;
    {
        CollectionRecorder recorder(*f.db, f.session);
        first = recorder.record(draft(f, idab, "40"));
        QVERIFY(!first.refusal);
        f.db->reattachDataTables();
        second = recorder.record(draft(f, idab, "70"));
        QVERIFY(!second.refusal);
    }
    QVERIFY(second.recorded.idchit != first.recorded.idchit);
    f.reopen();
    QCOMPARE(f.sold(debit), Money());
    QCOMPARE(linesTotal(f, second.recorded.idchit), lei("70"));
    QCOMPARE(balanceOf(*f.db, idab, f.today()).total, lei("-10"));
    QCOMPARE(f.db->scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), qint64(2));
}

// A collection that fails half way (its lines cannot be written: the table is gone) leaves
// nothing behind, and the same recorder records the next one with the receipt number the
// failed one had taken: no number is lost, no statement stays broken.
void TestCollection::recorderAfterAFailedCollectionLeavesNoTraceAndNoGap()
{
    CollectionsFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    const qint64 debit = f.insertDebit(idab, "100", f.today() - 30);
    const qint64 number = Counters::peek(f.session.sharedSettings(), QStringLiteral("CHITNR"));
    CollectionOutcome done;
    {
        CollectionRecorder recorder(*f.db, f.session);
        f.db->detach(QStringLiteral("DetChit"));
        QVERIFY_THROWS_EXCEPTION(SqlError, recorder.record(draft(f, idab, "40")));
        QCOMPARE(f.sold(debit), lei("100"));
        QCOMPARE(f.db->scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), qint64(0));
        f.db->attachDataTables();
        done = recorder.record(draft(f, idab, "40"));
    }
    QVERIFY(!done.refusal);
    QCOMPARE(done.recorded.number, number);
    f.reopen();
    QCOMPARE(f.sold(debit), lei("60"));
    QCOMPARE(linesTotal(f, done.recorded.idchit), lei("40"));
    QCOMPARE(f.db->scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toLongLong(), qint64(1));
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("CHITNR")), number + 1);
}

QTEST_GUILESS_MAIN(TestCollection)
#include "tst_collection.moc"
