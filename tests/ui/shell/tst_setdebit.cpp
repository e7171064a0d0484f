// The amount dialog: the amount is rewritten as its number, zero is accepted only after
// the question, the date is read-only when asked, and the amount keeps its last value.

#include "ui/shell/setdebit.h"
#include "ui/shell/shelltesthelpers.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestSetDebit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void amountIsRewrittenAndKept();
    void zeroNeedsAYes();
    void dateEditableOnlyWhenAsked();
};

void TestSetDebit::amountIsRewrittenAndKept()
{
    SetDebit w;
    w.prepare(QStringLiteral("Modificare Abonament"), false);
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Descr"))->text(), QStringLiteral("Modificare Abonament"));
    auto *amount = w.findChild<QLineEdit *>(QStringLiteral("Rata"));
    QCOMPARE(amount->text(), QStringLiteral("0"));
    amount->setText(QStringLiteral("12,50"));
    w.findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(amount->text(), QStringLiteral("12.5"));
    QCOMPARE(w.amount(), *Money::parse(QStringLiteral("12.5")));
    w.prepare(QStringLiteral("Alt titlu"), true);
    QCOMPARE(amount->text(), QStringLiteral("12.5"));
}

void TestSetDebit::zeroNeedsAYes()
{
    MesajRecorder messages;
    SetDebit w;
    w.prepare(QStringLiteral("T"), false);
    w.setResult(0);
    w.findChild<QLineEdit *>(QStringLiteral("Rata"))->setText(QStringLiteral("0.00"));
    messages.answers = {MesajResult::Nu};
    w.findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    QCOMPARE(w.result(), 0);
    QCOMPARE(messages.calls.size(), 1);
    QCOMPARE(messages.calls[0].title, QStringLiteral("Modificare debite"));
    QCOMPARE(messages.calls[0].text, QStringLiteral("\rSuma este zero!\rContinuam asa?"));
    QCOMPARE(messages.calls[0].buttons, MesajButtons::DaNu);
    messages.answers = {MesajResult::Da};
    w.findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
}

void TestSetDebit::dateEditableOnlyWhenAsked()
{
    SetDebit w;
    w.setDate(QDate(2024, 3, 5));
    w.prepare(QStringLiteral("T"), false);
    QVERIFY(!w.findChild<QDateEdit *>(QStringLiteral("DataDeb"))->isEnabled());
    QCOMPARE(w.date(), QDate(2024, 3, 5));
    w.prepare(QStringLiteral("T"), true);
    QVERIFY(w.findChild<QDateEdit *>(QStringLiteral("DataDeb"))->isEnabled());
}

QTEST_MAIN(TestSetDebit)
#include "tst_setdebit.moc"
