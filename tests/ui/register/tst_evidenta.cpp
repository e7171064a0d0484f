// The subscriber screen: button states, every filter control with the count label and
// the re-entrancy rule, sorting by a column title keeping the selection, the lower
// panels and totals following the subscriber, and the add, change-amount and delete
// operations through the screen.

#include "ledger/ledgerfixture.h"
#include "ledger/monthlydebiting.h"
#include "ui/register/evidenta.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/shelltesthelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace vestronia;
using namespace vestronia::testing;

class TestEvidenta : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyRegisterButtons();
    void buttonsWithSubscribers();
    void readOnlyDisablesEveryChange();
    void nameFilterIsAPrefix();
    void everyFilterControl();
    void changeDuringAPassRunsExactlyOneMorePass();
    void sortKeepsTheSelection();
    void panelsAndTotalsFollowTheSubscriber();
    void remarksLineJoinsBothFields();
    void addSubscriberThroughTheForm();
    void changeSubscriptionAmount();
    void deleteAsksTwiceWithCollections();
    void altLettersPressTheButtons();

private:
    // Five subscribers in two localities, with one account for all.
    static void commune(LedgerFixture &f)
    {
        f.insertAccount(LedgerFixture::periodic(QStringLiteral("GUNOI"), QStringLiteral("10")));
        auto add = [&f](const char *name, int persons, const char *loc, const char *street, const char *nr, bool firm) {
            SubscriberDraft d = LedgerFixture::person(QLatin1String(name), persons, day(2024, 1, 1));
            d.locality = QLatin1String(loc);
            d.street = QLatin1String(street);
            d.number = QLatin1String(nr);
            d.legalPerson = firm;
            return addSubscriber(*f.db, f.session, d);
        };
        add("POPESCU ION", 3, "VESTRONIA", "PRINCIPALA", "1", false);
        add("POPA ANA", 1, "VESTRONIA", "MORII", "2", false);
        add("IONESCU MARIA", 2, "DEALU", "PRINCIPALA", "1", false);
        add("AGRO SRL", 5, "DEALU", "GARII", "10", true);
        add("POPOVICI DAN", 4, "VESTRONIA", "PRINCIPALA", "7", false);
    }
    template<class T>
    static T *child(Evidenta &w, const char *name)
    {
        return w.findChild<T *>(QLatin1String(name));
    }
    static QStringList shownNames(Evidenta &w)
    {
        auto *grid = child<QTableView>(w, "SMDBGrid1");
        QStringList out;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            out << grid->model()->index(r, 1).data().toString();
        return out;
    }
};

void TestEvidenta::emptyRegisterButtons()
{
    LedgerFixture f;
    Evidenta w(*f.db, f.session);
    w.prepare();
    QVERIFY(child<QPushButton>(w, "AddAbonB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "EditAbonB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "DelAbonB")->isEnabled());
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("0"));
    QCOMPARE(w.currentSubscriberId(), -1);
    QVERIFY(!w.changeAmountAction()->isEnabled());
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("0"));
}

void TestEvidenta::buttonsWithSubscribers()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("5"));
    QVERIFY(child<QPushButton>(w, "EditAbonB")->isEnabled());
    QVERIFY(child<QPushButton>(w, "DelAbonB")->isEnabled());
    QVERIFY(w.changeAmountAction()->isEnabled());
    // Filtering down to nothing disables them again.
    child<QLineEdit>(w, "NumeP")->setText(QStringLiteral("ZZZ"));
    QVERIFY(!child<QPushButton>(w, "EditAbonB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "DelAbonB")->isEnabled());
    QVERIFY(!w.changeAmountAction()->isEnabled());
}

void TestEvidenta::readOnlyDisablesEveryChange()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    f.session.readOnly = true;
    Evidenta w(*f.db, f.session);
    w.prepare();
    QVERIFY(!child<QPushButton>(w, "AddAbonB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "EditAbonB")->isEnabled());
    QVERIFY(!child<QPushButton>(w, "DelAbonB")->isEnabled());
    QVERIFY(!w.changeAmountAction()->isEnabled());
}

void TestEvidenta::nameFilterIsAPrefix()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    QCOMPARE(shownNames(w), (QStringList{QStringLiteral("AGRO SRL"), QStringLiteral("IONESCU MARIA"),
                                         QStringLiteral("POPA ANA"), QStringLiteral("POPESCU ION"),
                                         QStringLiteral("POPOVICI DAN")}));
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *name = child<QLineEdit>(w, "NumeP");
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("pop"));
    QCOMPARE(name->text(), QStringLiteral("POP"));
    QCOMPARE(shownNames(w), (QStringList{QStringLiteral("POPA ANA"), QStringLiteral("POPESCU ION"),
                                         QStringLiteral("POPOVICI DAN")}));
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("3"));
    QTest::keyClicks(name, QStringLiteral("E"));
    QCOMPARE(shownNames(w), QStringList{QStringLiteral("POPESCU ION")});
    // "ION" is inside names but begins none of them.
    name->setText(QStringLiteral("ION"));
    QCOMPARE(shownNames(w), QStringList{QStringLiteral("IONESCU MARIA")});
}

void TestEvidenta::everyFilterControl()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    // One subscriber left yesterday: not active any more.
    f.db->exec(QStringLiteral("UPDATE Abonat SET DATAOUT=? WHERE NUME='POPA ANA'"), {day(2024, 6, 9)});
    Evidenta w(*f.db, f.session);
    w.prepare();
    auto *loc = child<QComboBox>(w, "LocC");
    auto *street = child<QComboBox>(w, "StradaC");
    QCOMPARE(loc->itemText(0), QStringLiteral("* indiferent *"));
    QCOMPARE(loc->count(), 3);
    QCOMPARE(street->count(), 4);

    loc->setCurrentIndex(loc->findText(QStringLiteral("VESTRONIA")));
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("3"));
    street->setCurrentIndex(street->findText(QStringLiteral("PRINCIPALA")));
    QCOMPARE(shownNames(w), (QStringList{QStringLiteral("POPESCU ION"), QStringLiteral("POPOVICI DAN")}));
    child<QLineEdit>(w, "NrC")->setText(QStringLiteral("7"));
    QCOMPARE(shownNames(w), QStringList{QStringLiteral("POPOVICI DAN")});
    child<QLineEdit>(w, "NrC")->clear();
    loc->setCurrentIndex(0);
    street->setCurrentIndex(0);
    child<QComboBox>(w, "TipPFC")->setCurrentIndex(2);
    QCOMPARE(shownNames(w), QStringList{QStringLiteral("AGRO SRL")});
    child<QComboBox>(w, "TipPFC")->setCurrentIndex(1);
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("4"));
    child<QCheckBox>(w, "DoarActive")->setChecked(true);
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("3"));
    QVERIFY(!shownNames(w).contains(QStringLiteral("POPA ANA")));
    child<QCheckBox>(w, "DoarActive")->setChecked(false);
    child<QComboBox>(w, "TipPFC")->setCurrentIndex(0);
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("5"));
}

void TestEvidenta::changeDuringAPassRunsExactlyOneMorePass()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    auto *name = child<QLineEdit>(w, "NumeP");
    int hookCalls = 0;
    w.setFilterPassHook([&] {
        // Two more changes while the first pass runs: they are answered by one pass.
        if (++hookCalls == 1) {
            name->setText(QStringLiteral("IO"));
            name->setText(QStringLiteral("ION"));
        }
    });
    const int before = w.filterPasses();
    name->setText(QStringLiteral("P"));
    QCOMPARE(w.filterPasses() - before, 2);
    QCOMPARE(hookCalls, 2);
    QCOMPARE(shownNames(w), QStringList{QStringLiteral("IONESCU MARIA")});
}

void TestEvidenta::sortKeepsTheSelection()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    auto *grid = child<QTableView>(w, "SMDBGrid1");
    QVERIFY(w.selectSubscriber(f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='IONESCU MARIA'"))));
    const qint64 selected = w.currentSubscriberId();
    // "Nr. pers." is the sixth column.
    Q_EMIT grid->horizontalHeader()->sectionClicked(5);
    QCOMPARE(shownNames(w), (QStringList{QStringLiteral("POPA ANA"), QStringLiteral("IONESCU MARIA"),
                                         QStringLiteral("POPESCU ION"), QStringLiteral("POPOVICI DAN"),
                                         QStringLiteral("AGRO SRL")}));
    QCOMPARE(w.currentSubscriberId(), selected);
    QCOMPARE(grid->currentIndex().row(), 1);
    // The sort keeps the filter.
    child<QComboBox>(w, "LocC")->setCurrentIndex(child<QComboBox>(w, "LocC")->findText(QStringLiteral("DEALU")));
    Q_EMIT grid->horizontalHeader()->sectionClicked(1);
    QCOMPARE(shownNames(w), (QStringList{QStringLiteral("AGRO SRL"), QStringLiteral("IONESCU MARIA")}));
}

void TestEvidenta::panelsAndTotalsFollowTheSubscriber()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    const qint64 ion = f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='POPESCU ION'"));
    f.db->exec(QStringLiteral("UPDATE Debite SET SOLD=0 WHERE IDAB=? AND LUNADEB<202406"), {ion});
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, DOCNR, DOCDATA, INCASAT) VALUES (1, ?, 'CHITANTA', 7, ?, 150)"),
               {ion, day(2024, 6, 1)});
    Evidenta w(*f.db, f.session);
    QList<qint64> moves;
    connect(&w, &Evidenta::subscriberChanged, this, [&moves](qint64 id) { moves << id; });
    w.prepare();
    QVERIFY(w.selectSubscriber(ion));
    QCOMPARE(moves.last(), ion);
    QCOMPARE(child<QTableView>(w, "SMDBGrid3")->model()->rowCount(), 1);
    QCOMPARE(child<QTableView>(w, "SMDBGrid2")->model()->rowCount(), 1);
    QCOMPARE(child<QTableView>(w, "SMDBGrid4")->model()->rowCount(), 1);
    // Only June is open: 30 lei, its penalty day not come yet.
    QCOMPARE(child<QLabel>(w, "RestL")->text(), QStringLiteral("30"));
    QCOMPARE(child<QLabel>(w, "PenalL")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLabel>(w, "AvansL")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("30"));

    const qint64 ana = f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='POPA ANA'"));
    QVERIFY(w.selectSubscriber(ana));
    QCOMPARE(child<QTableView>(w, "SMDBGrid2")->model()->rowCount(), 6);
    QCOMPARE(child<QTableView>(w, "SMDBGrid4")->model()->rowCount(), 0);
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("60"));
}

void TestEvidenta::remarksLineJoinsBothFields()
{
    LedgerFixture f(QDate(2024, 6, 10));
    const qint64 id = f.insertSubscriber(QStringLiteral("A"), 1, day(2024, 1, 1));
    f.db->exec(QStringLiteral("UPDATE Abonat SET OBS='INCEPUT', OBS2='SFARSIT' WHERE IDAB=?"), {id});
    Evidenta w(*f.db, f.session);
    w.prepare();
    const QString line = child<QLineEdit>(w, "Obs")->text();
    QCOMPARE(line.size(), 207);
    QVERIFY(line.startsWith(QStringLiteral("INCEPUT ")));
    QVERIFY(line.endsWith(QStringLiteral("SFARSIT")));
}

void TestEvidenta::addSubscriberThroughTheForm()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    onModal(QStringLiteral("AddAbon"), [](QWidget *form) {
        form->findChild<QLineEdit *>(QStringLiteral("Nume"))->setText(QStringLiteral("ZAHARIA PAUL"));
        form->findChild<QComboBox *>(QStringLiteral("Loc"))->setEditText(QStringLiteral("LUNCA"));
        form->findChild<QLineEdit *>(QStringLiteral("NrPers"))->setText(QStringLiteral("2"));
        form->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    });
    child<QPushButton>(w, "AddAbonB")->click();
    QCOMPARE(w.currentSubscriber().name, QStringLiteral("ZAHARIA PAUL"));
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("6"));
    QVERIFY(child<QComboBox>(w, "LocC")->findText(QStringLiteral("LUNCA")) > 0);
    QCOMPARE(child<QComboBox>(w, "LocC")->currentIndex(), 0);
    QCOMPARE(child<QTableView>(w, "SMDBGrid3")->model()->rowCount(), 1);
    // Debit day 5 of June has passed: June was caught up at once.
    QCOMPARE(child<QTableView>(w, "SMDBGrid2")->model()->rowCount(), 1);
    QCOMPARE(child<QLabel>(w, "TotalL")->text(), QStringLiteral("20"));
}

void TestEvidenta::changeSubscriptionAmount()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    QVERIFY(w.selectSubscriber(f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='POPA ANA'"))));
    onModal(QStringLiteral("SetDebit"), [](QWidget *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("Rata"))->setText(QStringLiteral("14"));
        dialog->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    });
    w.changeAmountAction()->trigger();
    QCOMPARE(f.db->select(QStringLiteral("SELECT A.RATA FROM AbOm A JOIN Abonat B ON A.IDAB=B.IDAB WHERE B.NUME='POPA ANA'"))
                 .money(0, QStringLiteral("RATA")),
             Money::fromLei(14));
    QCOMPARE(f.logTexts().last(), QStringLiteral("Modificare suma abonament: POPA ANA - GUNOI de la 10 la 14 lei."));
    QCOMPARE(child<QTableView>(w, "SMDBGrid3")->model()->index(0, 4).data().toString(), QStringLiteral("14.00"));
}

void TestEvidenta::deleteAsksTwiceWithCollections()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    const qint64 ion = f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='POPESCU ION'"));
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, INCASAT) VALUES (1, ?, 'CHITANTA', 10)"), {ion});
    MesajRecorder messages;
    Evidenta w(*f.db, f.session);
    w.prepare();
    QVERIFY(w.selectSubscriber(ion));
    messages.answers = {MesajResult::Da, MesajResult::Nu};
    child<QPushButton>(w, "DelAbonB")->click();
    QCOMPARE(messages.texts(), (QStringList{QStringLiteral("\rDoriti sa stergeti pe POPESCU ION?"),
                                            QStringLiteral("!! ATENTIE !!\rSe vor sterge si chitantele!\rSunteti sigur ca "
                                                           "doriti sa continuati?")}));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat")), 5);

    // Without collections one question; the list moves to the previous subscriber.
    messages.calls.clear();
    QVERIFY(w.selectSubscriber(f.count(QStringLiteral("SELECT IDAB FROM Abonat WHERE NUME='POPA ANA'"))));
    messages.answers = {MesajResult::Da};
    child<QPushButton>(w, "DelAbonB")->click();
    QCOMPARE(messages.calls.size(), 1);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat")), 4);
    QCOMPARE(w.currentSubscriber().name, QStringLiteral("IONESCU MARIA"));
    QCOMPARE(child<QLabel>(w, "NrCon")->text(), QStringLiteral("4"));
}

QTEST_MAIN(TestEvidenta)
// Alt with a button's underlined letter presses it from wherever focus is, here from the
// name filter, which must not take the letter as text.
void TestEvidenta::altLettersPressTheButtons()
{
    LedgerFixture f(QDate(2024, 6, 10));
    commune(f);
    Evidenta w(*f.db, f.session);
    w.prepare();
    QList<qint64> executare;
    QList<qint64> fisa;
    w.setOnExecutare([&executare](qint64 idab) { executare << idab; });
    w.setOnFisa([&fisa](qint64 idab) { fisa << idab; });
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *name = child<QLineEdit>(w, "NumeP");
    name->setFocus();
    QTRY_VERIFY(name->hasFocus());
    const qint64 idab = w.currentSubscriberId();
    QVERIFY(idab >= 0);

    QVERIFY(child<QPushButton>(w, "ExecutareB")->isEnabled());
    // A shortcut presses the button as a click does, which ends after a short animation.
    QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(executare, QList<qint64>{idab});
    QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
    QTRY_COMPARE(fisa, QList<qint64>{idab});
    QCOMPARE(executare.size(), 1);
    QCOMPARE(name->text(), QString());
    QCOMPARE(shownNames(w).size(), 5);
}

#include "tst_evidenta.moc"
