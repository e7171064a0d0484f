// The DEBITE and INCASARI panels of the register screen: buttons follow the subscriber
// and the rows, the collection dialog shows its live spread and records, cancellation
// asks and restores, the totals' one-more-pass rule, and the hooks of the other
// subsystems.

#include "collections/balance.h"
#include "ledger/ledgerfixture.h"
#include "ui/collections/addchit.h"
#include "ui/collections/collectionspanel.h"
#include "ui/collections/debitspanel.h"
#include "ui/register/evidenta.h"
#include "ui/shell/balloon.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/shelltesthelpers.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace vestronia;
using namespace vestronia::testing;

class TestCollectionsPanels : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buttonsFollowSubscriberAndRows();
    void collectionDialogSpreadsAndRecords();
    void collectionDialogRefusesWithBalloon();
    void cancelAsksThenRestores();
    void totalsRequestDuringPassRunsOneMore();
    void hooksStayDisabledUntilSet();

private:
    static qint64 debtor(LedgerFixture &f)
    {
        const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
        const int today = Clock::todayDayNumber();
        f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                                  "PENALPE, PENALDATA, MAXSOLD) VALUES "
                                  "(1, -1, ?, 1, ?, 202404, 'GUNOI 04.2024', 100, 100, 1, 'zi', ?, ''), "
                                  "(2, -1, ?, 1, ?, 202405, 'GUNOI 05.2024', 40, 40, 1, 'zi', ?, '')"),
                 {idab, today - 50, today - 9, idab, today - 20, today + 10});
        return idab;
    }
    template<class T>
    static T *child(QWidget &w, const char *name)
    {
        return w.findChild<T *>(QLatin1String(name));
    }
};

void TestCollectionsPanels::buttonsFollowSubscriberAndRows()
{
    LedgerFixture f;
    debtor(f);
    f.insertSubscriber(QStringLiteral("ZAMFIR LEFTER"), 1, day(2020, 1, 1), day(2023, 1, 1));
    Evidenta w(*f.db, f.session);
    w.prepare();
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("150"));
    QCOMPARE(child<QLabel>(w, "PenalL")->text(), QStringLiteral("10"));
    QVERIFY(child<QPushButton>(w, "AddDebB")->isEnabled());
    QVERIFY(child<QPushButton>(w, "DelDebB")->isEnabled());
    QVERIFY(child<QPushButton>(w, "AddChitB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "ListChitB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "AnulChitB")->isEnabled());
    // A subscriber who left gets no manual debit; with no debits there is nothing to delete.
    QVERIFY(w.selectSubscriber(101));
    QVERIFY(!child<QPushButton>(w, "AddDebB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "DelDebB")->isEnabled());
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("0"));
}

void TestCollectionsPanels::collectionDialogSpreadsAndRecords()
{
    LedgerFixture f;
    const qint64 idab = debtor(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    AddChit *dialog = w.collectionsPanel()->collectionDialog();
    dialog->prepare(idab);
    QCOMPARE(child<QLineEdit>(*dialog, "Suma")->text(), QStringLiteral("150"));
    QCOMPARE(child<QLineEdit>(*dialog, "DocNr")->text(), QStringLiteral("1"));
    QVERIFY(!child<QLineEdit>(*dialog, "DocNr")->isEnabled());
    QCOMPARE(dialog->spreadRowCount(), 2);
    child<QLineEdit>(*dialog, "Suma")->setText(QStringLiteral("50"));
    QCOMPARE(dialog->spreadRowCount(), 1);
    // A bank transfer has no numbering: the box goes off.
    child<QComboBox>(*dialog, "DocJus")->setCurrentIndex(1);
    QVERIFY(!child<QWidget>(*dialog, "AutoNr")->isEnabled());
    child<QComboBox>(*dialog, "DocJus")->setCurrentIndex(0);
    child<QPushButton>(*dialog, "MemoBut")->click();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(dialog->recorded().number, qint64(1));
    QCOMPARE(balanceOf(*f.db, idab, Clock::todayDayNumber()).rest, *Money::parse(QStringLiteral("95")));
    QVERIFY(f.logTexts().last().startsWith(QStringLiteral("Eliberat CHITANTA nr.1 = 50 lei, POPESCU ION")));
}

void TestCollectionsPanels::collectionDialogRefusesWithBalloon()
{
    LedgerFixture f;
    const qint64 idab = debtor(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    AddChit *dialog = w.collectionsPanel()->collectionDialog();
    dialog->prepare(idab);
    child<QLineEdit>(*dialog, "Suma")->setText(QStringLiteral("0"));
    clearLastProblem();
    child<QPushButton>(*dialog, "MemoBut")->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Nu ati scris Suma!"));
    QCOMPARE(lastProblem().control.data(), child<QWidget>(*dialog, "Suma"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(0));
}

void TestCollectionsPanels::cancelAsksThenRestores()
{
    LedgerFixture f;
    const qint64 idab = debtor(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    AddChit *dialog = w.collectionsPanel()->collectionDialog();
    dialog->prepare(idab);
    child<QLineEdit>(*dialog, "Suma")->setText(QStringLiteral("30"));
    child<QComboBox>(*dialog, "DocJus")->setCurrentIndex(1);
    child<QPushButton>(*dialog, "MemoBut")->click();
    w.reloadDebits();
    w.reloadCollections(dialog->recorded().idchit);
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("120"));
    QVERIFY(child<QPushButton>(w, "AnulChitB")->isEnabled());
    MesajRecorder rec;
    rec.answers << MesajResult::Nu;
    child<QPushButton>(w, "AnulChitB")->click();
    QCOMPARE(rec.calls.size(), 1);
    QVERIFY(rec.calls[0].text.startsWith(QStringLiteral("\rDoriti sa anulati VIRAMENT BANCAR nr.")));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(1));
    rec.answers << MesajResult::Da;
    child<QPushButton>(w, "AnulChitB")->click();
    QCOMPARE(rec.calls.last().text, QStringLiteral("\rIncasarea/plata a fost anulata!"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(0));
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("150"));
}

void TestCollectionsPanels::totalsRequestDuringPassRunsOneMore()
{
    LedgerFixture f;
    debtor(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    CollectionsPanel *panel = w.collectionsPanel();
    const int before = panel->totalsPasses();
    int nested = 0;
    panel->setTotalsPassHook([&] {
        // Requests arriving while a pass runs: they fold into one more pass.
        if (nested++ == 0) {
            w.refreshTotals();
            w.refreshTotals();
        }
    });
    w.refreshTotals();
    panel->setTotalsPassHook({});
    QCOMPARE(panel->totalsPasses() - before, 2);
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("150"));
}

void TestCollectionsPanels::hooksStayDisabledUntilSet()
{
    LedgerFixture f;
    const qint64 idab = debtor(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    QVERIFY(!child<QPushButton>(w, "FisaB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "ExecutareB")->isEnabled());
    qint64 fisa = 0;
    qint64 act = 0;
    w.setOnFisa([&](qint64 id) { fisa = id; });
    w.setOnExecutare([&](qint64 id) { act = id; });
    child<QPushButton>(w, "FisaB")->click();
    child<QPushButton>(w, "ExecutareB")->click();
    QCOMPARE(fisa, idab);
    QCOMPARE(act, idab);
}

QTEST_MAIN(TestCollectionsPanels)
#include "tst_collectionspanels.moc"
