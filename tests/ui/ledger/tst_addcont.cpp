// The account creation form: what a new account starts from, which fields each choice
// enables, and "&Memoreaza" showing the first failing check at its field in order.

#include "ledger/ledgerfixture.h"
#include "ui/ledger/addcont.h"
#include "ui/shell/balloon.h"
#include "ui/shell/shelltesthelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace vestronia;
using namespace vestronia::testing;

class TestAddCont : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enablingFollowsTheChoices();
    void newAccountResetsSomeFieldsAndKeepsOthers();
    void checksShowTheFirstFailureAtItsField();
    void overlapIsAMessageAndTheFormStaysOpen();

private:
    template<class T>
    static T *child(AddCont &w, const char *name)
    {
        return w.findChild<T *>(QLatin1String(name));
    }
    static void memo(AddCont &w) { child<QPushButton>(w, "MemoBut")->click(); }
};

void TestAddCont::enablingFollowsTheChoices()
{
    LedgerFixture f;
    AddCont w(*f.db);
    w.prepareNew();
    QVERIFY(!child<QLineEdit>(w, "MinPers")->isEnabled());
    QVERIFY(!child<QLineEdit>(w, "MaxPers")->isEnabled());
    QVERIFY(!child<QLineEdit>(w, "PerLuni")->isEnabled());
    QVERIFY(!child<QSpinBox>(w, "ZiuaImp")->isEnabled());
    QVERIFY(!child<QWidget>(w, "DataStartP")->isVisibleTo(&w));
    child<QRadioButton>(w, "PePers")->setChecked(true);
    QVERIFY(child<QLineEdit>(w, "MinPers")->isEnabled());
    QVERIFY(child<QLineEdit>(w, "MaxPers")->isEnabled());
    child<QRadioButton>(w, "PerLuniCheck")->setChecked(true);
    QVERIFY(child<QLineEdit>(w, "PerLuni")->isEnabled());
    QVERIFY(child<QSpinBox>(w, "ZiuaImp")->isEnabled());
    QVERIFY(child<QWidget>(w, "DataStartP")->isVisibleTo(&w));
    child<QRadioButton>(w, "NoPerLuniCheck")->setChecked(true);
    QVERIFY(!child<QWidget>(w, "DataStartP")->isVisibleTo(&w));
}

void TestAddCont::newAccountResetsSomeFieldsAndKeepsOthers()
{
    LedgerFixture f(QDate(2024, 6, 10));
    AddCont w(*f.db);
    w.prepareNew();
    QCOMPARE(child<QRadioButton>(w, "PretPerPers")->isChecked(), true);
    QCOMPARE(child<QSpinBox>(w, "ZiuaImp")->value(), 1);
    QCOMPARE(child<QComboBox>(w, "PenalPe")->currentText(), QStringLiteral("luna"));
    QCOMPARE(child<QComboBox>(w, "PenalDeLaP")->currentText(), QStringLiteral("ziua"));
    child<QLineEdit>(w, "Denum")->setText(QStringLiteral("X"));
    child<QLineEdit>(w, "Rata")->setText(QStringLiteral("5"));
    child<QRadioButton>(w, "PePers")->setChecked(true);
    child<QRadioButton>(w, "PerLuniCheck")->setChecked(true);
    child<QRadioButton>(w, "PretFix")->setChecked(true);
    child<QSpinBox>(w, "ZiuaImp")->setValue(12);
    child<QComboBox>(w, "PenalPe")->setCurrentIndex(1);
    child<QLineEdit>(w, "Penal")->setText(QStringLiteral("3"));
    child<QDateEdit>(w, "DataStartD")->setDate(QDate(2020, 1, 1));
    w.prepareNew();
    QCOMPARE(child<QLineEdit>(w, "Denum")->text(), QString());
    QCOMPARE(child<QLineEdit>(w, "Rata")->text(), QStringLiteral("0"));
    QVERIFY(child<QRadioButton>(w, "NoPePers")->isChecked());
    QVERIFY(child<QRadioButton>(w, "NoPerLuniCheck")->isChecked());
    QCOMPARE(child<QLineEdit>(w, "Penal")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>(w, "PenalDeLa")->text(), QStringLiteral("0"));
    QCOMPARE(child<QDateEdit>(w, "DataStartD")->date(), QDate(2024, 6, 10));
    // These keep what they last held.
    QVERIFY(child<QRadioButton>(w, "PretFix")->isChecked());
    QCOMPARE(child<QSpinBox>(w, "ZiuaImp")->value(), 12);
    QCOMPARE(child<QComboBox>(w, "PenalPe")->currentText(), QStringLiteral("zi"));
}

void TestAddCont::checksShowTheFirstFailureAtItsField()
{
    LedgerFixture f;
    AddCont w(*f.db);
    w.prepareNew();
    child<QRadioButton>(w, "PePers")->setChecked(true);
    child<QLineEdit>(w, "MinPers")->setText(QStringLiteral("3"));
    child<QLineEdit>(w, "MaxPers")->setText(QStringLiteral("1"));
    child<QRadioButton>(w, "PerLuniCheck")->setChecked(true);
    child<QLineEdit>(w, "PerLuni")->setText(QStringLiteral("0"));
    child<QLineEdit>(w, "Penal")->setText(QStringLiteral("2.75"));
    child<QLineEdit>(w, "Denum")->setText(QStringLiteral("   "));

    auto expect = [&w](const char *field, const char *text) {
        clearLastProblem();
        memo(w);
        QCOMPARE(lastProblem().control.data(), w.findChild<QWidget *>(QLatin1String(field)));
        QCOMPARE(lastProblem().text, QLatin1String(text));
        QVERIFY(w.result() != QDialog::Accepted);
    };
    expect("Denum", "Lipseste Denumirea Contului!");
    child<QLineEdit>(w, "Denum")->setText(QStringLiteral("  GUNOI  MENAJER "));
    expect("Rata", "Lipseste Suma!");
    QCOMPARE(child<QLineEdit>(w, "Denum")->text(), QStringLiteral("GUNOI MENAJER"));
    child<QLineEdit>(w, "Rata")->setText(QStringLiteral("12.5"));
    expect("MaxPers", "Numar persoane incorect!");
    child<QLineEdit>(w, "MaxPers")->setText(QStringLiteral("5"));
    expect("PerLuni", "Lipseste Perioada!");
    child<QLineEdit>(w, "PerLuni")->setText(QStringLiteral("1"));
    expect("PenalDeLa", "Lipseste ziua de la care incep Penalitatile!");
    // The penalty already shows its whole part.
    QCOMPARE(child<QLineEdit>(w, "Penal")->text(), QStringLiteral("2"));
    child<QLineEdit>(w, "PenalDeLa")->setText(QStringLiteral("30"));
    clearLastProblem();
    memo(w);
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(w.draft().penalty, Money::fromLei(2));
    QCOMPARE(w.draft().minPersons, 3);
    QCOMPARE(w.draft().maxPersons, 5);
    QVERIFY(w.draft().periodic);
}

void TestAddCont::overlapIsAMessageAndTheFormStaysOpen()
{
    LedgerFixture f;
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("TOTI"), QStringLiteral("10")));
    MesajRecorder messages;
    AddCont w(*f.db);
    w.prepareNew();
    child<QLineEdit>(w, "Denum")->setText(QStringLiteral("NOU"));
    child<QLineEdit>(w, "Rata")->setText(QStringLiteral("5"));
    child<QRadioButton>(w, "PerLuniCheck")->setChecked(true);
    child<QLineEdit>(w, "PerLuni")->setText(QStringLiteral("1"));
    memo(w);
    QCOMPARE(messages.titles(), QStringList{QStringLiteral("Verificare Cont")});
    QVERIFY(w.result() != QDialog::Accepted);
    // A one-off account never overlaps.
    child<QRadioButton>(w, "NoPerLuniCheck")->setChecked(true);
    memo(w);
    QCOMPARE(w.result(), int(QDialog::Accepted));
}

QTEST_MAIN(TestAddCont)
#include "tst_addcont.moc"
