// The subscriber edit form: the enabling of the leaving and exemption dates in add and
// change mode, what a change opens with, and "&Memoreaza" showing the first failing
// check at its field.

#include "ledger/ledgerfixture.h"
#include "ui/ledger/addabon.h"
#include "ui/shell/balloon.h"
#include "ui/shell/shelltesthelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace vestronia;
using namespace vestronia::testing;

class TestAddAbon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addModeHasNoLeavingOrExemption();
    void changeModeEnabling();
    void changeModeOpensWithTheRow();
    void checksInOrder();
    void enterFollowsTheReadingOrder();

private:
    template<class T>
    static T *child(AddAbon &w, const char *name)
    {
        return w.findChild<T *>(QLatin1String(name));
    }
};

void TestAddAbon::addModeHasNoLeavingOrExemption()
{
    AddAbon w;
    w.prepareAdd({QStringLiteral("VESTRONIA")}, {});
    QVERIFY(!child<QCheckBox>(w, "DataOutCheck")->isEnabled());
    QVERIFY(!child<QCheckBox>(w, "DataScutCheck")->isEnabled());
    QVERIFY(!child<QDateEdit>(w, "DataOut")->isEnabled());
    QVERIFY(!child<QDateEdit>(w, "DataScut")->isEnabled());
    QVERIFY(!child<QDateEdit>(w, "DataInD")->isReadOnly());
    QCOMPARE(child<QComboBox>(w, "TipPFC")->currentText(), QStringLiteral("FIZICA"));
    QCOMPARE(child<QLineEdit>(w, "NrPers")->text(), QStringLiteral("0"));
    QCOMPARE(child<QComboBox>(w, "Loc")->count(), 1);
}

void TestAddAbon::changeModeEnabling()
{
    AddAbon w;
    SubscriberRecord r;
    r.type = QStringLiteral("F");
    r.name = QStringLiteral("POPESCU ION");
    r.entryDay = day(2020, 1, 1);
    w.prepareChange(r, {}, {});
    auto *leaving = child<QCheckBox>(w, "DataOutCheck");
    auto *exempt = child<QCheckBox>(w, "DataScutCheck");
    QVERIFY(child<QDateEdit>(w, "DataInD")->isReadOnly());
    QVERIFY(leaving->isEnabled());
    QVERIFY(exempt->isEnabled());
    QVERIFY(!child<QDateEdit>(w, "DataOut")->isEnabled());
    QVERIFY(!child<QDateEdit>(w, "DataScut")->isEnabled());
    exempt->setChecked(true);
    QVERIFY(child<QDateEdit>(w, "DataScut")->isEnabled());
    leaving->setChecked(true);
    QVERIFY(child<QDateEdit>(w, "DataOut")->isEnabled());
    QVERIFY(!exempt->isEnabled());
    QVERIFY(!child<QDateEdit>(w, "DataScut")->isEnabled());
    leaving->setChecked(false);
    QVERIFY(exempt->isEnabled());
    QVERIFY(child<QDateEdit>(w, "DataScut")->isEnabled());
}

void TestAddAbon::changeModeOpensWithTheRow()
{
    AddAbon w;
    SubscriberRecord r;
    r.name = QStringLiteral("FIRMA SRL");
    r.entryDay = day(2020, 1, 1);
    r.leaveDay = day(2024, 3, 1);
    r.exemptDay = 0;
    r.persons = 4;
    r.locality = QStringLiteral("VESTRONIA");
    r.obs = QStringLiteral("INCEPUT");
    r.obs2 = QStringLiteral("SFARSIT");
    w.prepareChange(r, {QStringLiteral("ALTA"), QStringLiteral("VESTRONIA")}, {});
    // An old row without a type opens as a firm.
    QCOMPARE(child<QComboBox>(w, "TipPFC")->currentText(), QStringLiteral("JURIDICA"));
    QVERIFY(child<QCheckBox>(w, "DataOutCheck")->isChecked());
    QCOMPARE(child<QDateEdit>(w, "DataOut")->date(), QDate(2024, 3, 1));
    QVERIFY(!child<QCheckBox>(w, "DataScutCheck")->isChecked());
    QCOMPARE(child<QLineEdit>(w, "NrPers")->text(), QStringLiteral("4"));
    QCOMPARE(child<QComboBox>(w, "Loc")->currentText(), QStringLiteral("VESTRONIA"));
    const QString remarks = child<QPlainTextEdit>(w, "Obs")->toPlainText();
    QCOMPARE(remarks.size(), 207);
    QVERIFY(remarks.endsWith(QStringLiteral("SFARSIT")));
}

void TestAddAbon::checksInOrder()
{
    Clock::setToday(QDate(2024, 6, 10));
    AddAbon w;
    SubscriberRecord r;
    r.type = QStringLiteral("F");
    r.entryDay = day(2024, 1, 1);
    w.prepareChange(r, {}, {});
    child<QLineEdit>(w, "CNPCUI")->setText(QStringLiteral("123"));
    child<QCheckBox>(w, "DataOutCheck")->setChecked(true);
    child<QDateEdit>(w, "DataOut")->setDate(QDate(2024, 1, 1));

    auto memo = [&w](const char *field, const char *text) {
        clearLastProblem();
        child<QPushButton>(w, "MemoBut")->click();
        QCOMPARE(lastProblem().control.data(), w.findChild<QWidget *>(QLatin1String(field)));
        QCOMPARE(lastProblem().text, QLatin1String(text));
        QVERIFY(w.result() != QDialog::Accepted);
    };
    memo("Nume", "Nu ati scris numele si prenumele!");
    child<QLineEdit>(w, "Nume")->setText(QStringLiteral("  POPESCU   ION "));
    memo("CNPCUI", "CNP incorect!");
    QCOMPARE(child<QLineEdit>(w, "Nume")->text(), QStringLiteral("POPESCU ION"));
    child<QComboBox>(w, "TipPFC")->setCurrentIndex(1);
    memo("CNPCUI", "Cod fiscal incorect!");
    child<QLineEdit>(w, "CNPCUI")->clear();
    memo("Loc", "Nu ati scris Localitatea!");
    child<QComboBox>(w, "Loc")->setEditText(QStringLiteral("VESTRONIA"));
    memo("DataOut", "Data Prescrierii incorecta!");
    child<QDateEdit>(w, "DataOut")->setDate(QDate(2024, 5, 1));
    child<QLineEdit>(w, "NrPers")->setText(QStringLiteral("3"));
    clearLastProblem();
    child<QPushButton>(w, "MemoBut")->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QVERIFY(w.draft().leaving);
    QCOMPARE(w.draft().leaveDay, day(2024, 5, 1));
    QCOMPARE(w.draft().persons, 3);
    QVERIFY(w.draft().legalPerson);
    Clock::reset();
}

void TestAddAbon::enterFollowsTheReadingOrder()
{
    AddAbon w;
    QStringList visited;
    bool stillOpen = false;
    bool active = false;
    onModal(QStringLiteral("AddAbon"), [&](QWidget *form) {
        active = QTest::qWaitForWindowActive(form);
        form->findChild<QLineEdit *>(QStringLiteral("ROL"))->setFocus();
        if (!active || !QApplication::focusWidget()) {
            static_cast<QDialog *>(form)->reject();
            return;
        }
        // Row by row: the register number, the persons beside it, then the locality below.
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QWidget *f = QApplication::focusWidget();
            while (f && f->objectName().isEmpty())
                f = f->parentWidget(); // the line edit inside an editable list
            visited << (f ? f->objectName() : QString());
        }
        stillOpen = form->isVisible(); // Enter never pressed "&Memoreaza"
        static_cast<QDialog *>(form)->reject();
    });
    QVERIFY(!w.runAdd({}, {}));
    QVERIFY(active);
    QCOMPARE(visited, (QStringList{QStringLiteral("NrPers"), QStringLiteral("Loc"), QStringLiteral("Strada")}));
    QVERIFY(stillOpen);
}

QTEST_MAIN(TestAddAbon)
#include "tst_addabon.moc"
