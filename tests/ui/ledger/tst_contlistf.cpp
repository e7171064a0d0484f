// The accounts list window: which buttons each mode shows, the rule that enables them
// from the current row, double-click, and the stop and delete operations with their
// dialogs and messages.

#include "ledger/ledgerfixture.h"
#include "ui/shell/balloon.h"
#include "ui/ledger/contlistf.h"
#include "ui/shell/seldata.h"
#include "ui/shell/shelltesthelpers.h"

#include <QDateEdit>
#include <QPushButton>
#include <QTableView>

using namespace vestronia;
using namespace vestronia::testing;

class TestContListF : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void administrationButtonsFollowTheRow();
    void emptyListDisablesStopAndDelete();
    void choosingModeShowsOnlyTheChoice();
    void doubleClickStopsOrChooses();
    void stopBeforeStartIsRefused();
    void stopAndDeleteAStoppedAccount();
    void readOnlySessionOffersNoChange();

private:
    static void setRow(ContListF &w, int row)
    {
        auto *grid = w.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
        grid->setCurrentIndex(grid->model()->index(row, 2));
    }
    static QPushButton *button(ContListF &w, const char *name)
    {
        return w.findChild<QPushButton *>(QLatin1String(name));
    }
    // Accounts by name: ACTIV (periodic), OPRIT (stopped periodic), UNIC (one-off).
    static void threeAccounts(LedgerFixture &f)
    {
        f.insertAccount(LedgerFixture::periodic(QStringLiteral("ACTIV"), QStringLiteral("10"), 1, 3));
        f.insertAccount(LedgerFixture::periodic(QStringLiteral("OPRIT"), QStringLiteral("10")), day(2023, 1, 1));
        AccountDraft oneOff = LedgerFixture::periodic(QStringLiteral("UNIC"), QStringLiteral("50"));
        oneOff.periodic = false;
        f.insertAccount(oneOff);
    }
};

void TestContListF::administrationButtonsFollowTheRow()
{
    LedgerFixture f;
    threeAccounts(f);
    ContListF w(*f.db, f.session);
    w.prepareAdministration();
    QVERIFY(!button(w, "AlesB")->isVisibleTo(&w));
    QVERIFY(button(w, "AddContB")->isVisibleTo(&w));
    QVERIFY(button(w, "AddContB")->isEnabled());
    struct Expect { const char *name; bool stop; bool del; };
    const Expect rows[] = {{"ACTIV", true, false}, {"OPRIT", false, true}, {"UNIC", false, true}};
    for (int i = 0; i < 3; ++i) {
        setRow(w, i);
        QCOMPARE(w.currentAccount().name, QLatin1String(rows[i].name));
        QCOMPARE(button(w, "OprContB")->isEnabled(), rows[i].stop);
        QCOMPARE(button(w, "DelContB")->isEnabled(), rows[i].del);
    }
}

void TestContListF::emptyListDisablesStopAndDelete()
{
    LedgerFixture f;
    ContListF w(*f.db, f.session);
    w.prepareAdministration();
    QVERIFY(button(w, "AddContB")->isEnabled());
    QVERIFY(!button(w, "OprContB")->isEnabled());
    QVERIFY(!button(w, "DelContB")->isEnabled());
}

void TestContListF::choosingModeShowsOnlyTheChoice()
{
    LedgerFixture f;
    threeAccounts(f);
    ContListF w(*f.db, f.session);
    w.prepareChoosing(2);
    for (const char *hidden : {"AddContB", "OprContB", "DelContB"})
        QVERIFY(!button(w, hidden)->isVisibleTo(&w));
    QVERIFY(button(w, "AlesB")->isVisibleTo(&w));
    QVERIFY(button(w, "AlesB")->isEnabled());
    QCOMPARE(w.findChild<QTableView *>(QStringLiteral("SMDBGrid1"))->model()->rowCount(), 1);
    button(w, "AlesB")->click();
    QCOMPARE(w.chosenAccount().name, QStringLiteral("UNIC"));
    QCOMPARE(w.result(), int(QDialog::Accepted));

    LedgerFixture empty;
    ContListF none(*empty.db, empty.session);
    none.prepareChoosing(2);
    QVERIFY(!button(none, "AlesB")->isEnabled());
}

void TestContListF::doubleClickStopsOrChooses()
{
    LedgerFixture f;
    threeAccounts(f);
    ContListF w(*f.db, f.session);
    w.prepareAdministration();
    setRow(w, 0);
    auto *grid = w.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
    bool asked = false;
    onModal(QStringLiteral("SelData"), [&asked](QWidget *dialog) {
        asked = true;
        dialog->findChild<QPushButton *>(QStringLiteral("CloseBut"))->click();
    });
    Q_EMIT grid->doubleClicked(grid->currentIndex());
    QVERIFY(asked);
    QCOMPARE(readAccount(*f.db, w.currentAccount().id).stop, 0);

    // On a one-off account "Opreste Cont" is disabled: a double-click does nothing.
    setRow(w, 2);
    Q_EMIT grid->doubleClicked(grid->currentIndex());
    QCOMPARE(w.result(), 0);

    ContListF chooser(*f.db, f.session);
    chooser.prepareChoosing(1);
    auto *grid2 = chooser.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
    Q_EMIT grid2->doubleClicked(grid2->currentIndex());
    QCOMPARE(chooser.chosenAccount().name, QStringLiteral("UNIC"));
}

void TestContListF::stopBeforeStartIsRefused()
{
    LedgerFixture f;
    threeAccounts(f);
    MesajRecorder messages;
    ContListF w(*f.db, f.session);
    w.prepareAdministration();
    setRow(w, 0);
    onModal(QStringLiteral("SelData"), [](QWidget *dialog) {
        dialog->findChild<QDateEdit *>(QStringLiteral("DataStop"))->setDate(QDate(2019, 12, 31));
        dialog->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    });
    button(w, "OprContB")->click();
    QCOMPARE(messages.titles(), QStringList{QStringLiteral("Dezactivare Cont")});
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("\rData de dezactivare aleasa este anterioara activarii contului!")});
    QCOMPARE(readAccount(*f.db, w.currentAccount().id).stop, 0);
}

void TestContListF::stopAndDeleteAStoppedAccount()
{
    LedgerFixture f;
    threeAccounts(f);
    MesajRecorder messages;
    ContListF w(*f.db, f.session);
    w.prepareAdministration();
    setRow(w, 0);
    const qint64 id = w.currentAccount().id;
    onModal(QStringLiteral("SelData"), [](QWidget *dialog) {
        dialog->findChild<QDateEdit *>(QStringLiteral("DataStop"))->setDate(QDate(2024, 5, 31));
        dialog->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    });
    button(w, "OprContB")->click();
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("\rAbonamentul ACTIV a fost dezactivat la toti abonatii!")});
    QCOMPARE(readAccount(*f.db, id).stop, day(2024, 5, 31));
    // Still on the same account, now stopped: only deletion is left.
    QCOMPARE(w.currentAccount().id, id);
    QVERIFY(!button(w, "OprContB")->isEnabled());
    QVERIFY(button(w, "DelContB")->isEnabled());
    // The dialog keeps the date chosen last.
    SelData again;
    again.prepare(QStringLiteral("X"));
    QCOMPARE(again.date(), QDate(2024, 5, 31));

    messages.answers = {MesajResult::Nu};
    button(w, "DelContB")->click();
    QCOMPARE(messages.calls.last().text, QStringLiteral("\rDoriti sa stergeti contul ACTIV?"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DefCont")), 3);
    messages.answers = {MesajResult::Da};
    button(w, "DelContB")->click();
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM DefCont")), 2);
    QCOMPARE(w.currentAccount().name, QStringLiteral("OPRIT"));
}

void TestContListF::readOnlySessionOffersNoChange()
{
    LedgerFixture f;
    threeAccounts(f);
    f.session.readOnly = true;
    ContListF w(*f.db, f.session);
    w.prepareAdministration();
    for (int row = 0; row < 3; ++row) {
        setRow(w, row);
        QVERIFY(!button(w, "AddContB")->isEnabled());
        QVERIFY(!button(w, "OprContB")->isEnabled());
        QVERIFY(!button(w, "DelContB")->isEnabled());
    }
}

QTEST_MAIN(TestContListF)
#include "tst_contlistf.moc"
