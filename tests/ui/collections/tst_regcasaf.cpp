// The cash book window: the day figures, the deletion allowed on cash-desk lines only,
// the entry dialog with its refusals, the day view's one-more-pass rule and the period
// picker's refusal.

#include "collections/cashbook.h"
#include "collections/collection.h"
#include "ledger/ledgerfixture.h"
#include "ui/collections/regcasachitplataf.h"
#include "ui/collections/regcasaf.h"
#include "ui/shell/balloon.h"
#include "ui/shell/perselect.h"
#include "ui/shell/shelltesthelpers.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace vestronia;
using namespace vestronia::testing;

class TestRegCasaF : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dayFiguresAndDeletion();
    void entryDialogAddsAndRefuses();
    void dayRequestDuringPassRunsOneMore();
    void periodPickerRefusesReversedPeriod();

private:
    template<class T>
    static T *child(QWidget &w, const char *name)
    {
        return w.findChild<T *>(QLatin1String(name));
    }
};

void TestRegCasaF::dayFiguresAndDeletion()
{
    LedgerFixture f;
    const int today = Clock::todayDayNumber();
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    CollectionDraft d;
    d.idab = idab;
    d.amount = Money::fromLei(40);
    d.day = today;
    QVERIFY(!recordCollection(*f.db, f.session, d).refusal);
    CashEntry e;
    e.payment = true;
    e.docType = QStringLiteral("STAT PLATA");
    e.amount = Money::fromLei(15);
    e.day = today;
    QVERIFY(!addCashEntry(*f.db, f.session, e).refusal);
    RegCasaF w(*f.db, f.session);
    w.prepare();
    QCOMPARE(child<QLabel>(w, "Label2")->text(), QStringLiteral("Sold precedent : 0.00"));
    QCOMPARE(child<QLabel>(w, "Label7")->text(), QStringLiteral("40.00"));
    QCOMPARE(child<QLabel>(w, "Label8")->text(), QStringLiteral("15.00"));
    QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Sold final : 25.00"));
    auto *grid = child<QTableView>(w, "SMDBGrid2");
    QCOMPARE(grid->model()->rowCount(), 2);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QVERIFY2(!child<QPushButton>(w, "DelLB")->isEnabled(), "a subscriber's receipt is cancelled elsewhere");
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QVERIFY(child<QPushButton>(w, "DelLB")->isEnabled());
    MesajRecorder rec;
    rec.answers << MesajResult::Da;
    child<QPushButton>(w, "DelLB")->click();
    QCOMPARE(rec.calls.value(0).text, QStringLiteral("\rDoriti sa stergeti STAT PLATA?"));
    QCOMPARE(child<QLabel>(w, "Label1")->text(), QStringLiteral("Sold final : 40.00"));
    // The next day carries the balance.
    child<QDateEdit>(w, "LaData")->setDate(Clock::today().addDays(1));
    QCOMPARE(child<QLabel>(w, "Label2")->text(), QStringLiteral("Sold precedent : 40.00"));
    QCOMPARE(grid->model()->rowCount(), 0);
}

void TestRegCasaF::entryDialogAddsAndRefuses()
{
    LedgerFixture f;
    RegCasaF w(*f.db, f.session);
    w.prepare();
    RegCasaChitPlataF *dialog = w.entryDialog();
    dialog->prepare(false, Clock::today());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Adaugare Incasare"));
    clearLastProblem();
    child<QPushButton>(*dialog, "MemoBut")->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Suma incorecta!"));
    child<QLineEdit>(*dialog, "Suma")->setText(QStringLiteral("12.5"));
    child<QPushButton>(*dialog, "MemoBut")->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Nu ati scris ce reprezinta!"));
    QCOMPARE(lastProblem().control.data(), child<QWidget>(*dialog, "DocJus"));
    child<QComboBox>(*dialog, "DocJus")->setCurrentText(QStringLiteral("DISPOZITIE"));
    child<QPushButton>(*dialog, "MemoBut")->click();
    QVERIFY(dialog->recordedId() > 0);
    w.refreshDay();
    QCOMPARE(child<QLabel>(w, "Label7")->text(), QStringLiteral("12.50"));
    // A payment dialog offers the payment types only.
    dialog->prepare(true, Clock::today());
    QCOMPARE(child<QComboBox>(*dialog, "DocJus")->count(), 0);
}

void TestRegCasaF::dayRequestDuringPassRunsOneMore()
{
    LedgerFixture f;
    RegCasaF w(*f.db, f.session);
    w.prepare();
    const int before = w.dayPasses();
    bool again = true;
    w.setDayPassHook([&] {
        if (again) {
            again = false;
            w.refreshDay();
            w.refreshDay();
        }
    });
    w.refreshDay();
    w.setDayPassHook({});
    QCOMPARE(w.dayPasses() - before, 2);
}

void TestRegCasaF::periodPickerRefusesReversedPeriod()
{
    PerSelect p;
    p.prepare(QStringLiteral("Registru de casa"), QDate(2024, 5, 1), QDate(2024, 4, 30));
    QCOMPARE(p.windowTitle(), QStringLiteral("Registru de casa"));
    clearLastProblem();
    child<QPushButton>(p, "MemoBut")->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Perioada incorecta!"));
    QCOMPARE(lastProblem().control.data(), child<QWidget>(p, "Data1"));
    QVERIFY(p.result() != QDialog::Accepted);
    child<QDateEdit>(p, "Data1")->setDate(QDate(2024, 5, 31));
    child<QPushButton>(p, "MemoBut")->click();
    QCOMPARE(p.result(), int(QDialog::Accepted));
    QCOMPARE(p.to(), QDate(2024, 5, 31));
}

QTEST_MAIN(TestRegCasaF)
#include "tst_regcasaf.moc"
