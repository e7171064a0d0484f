// The progress window: the bar's stepping rule for short and long jobs, and the
// disabling of the active window with its busy cursor while it is up.

#include "ui/shell/contor.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>

using namespace vestronia;

class TestContor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stepping_data();
    void stepping();
    void disablesTheActiveWindowWhileUp();
    void finishWithoutStartIsHarmless();
};

void TestContor::stepping_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("position");
    // Below 100 the bar counts the steps themselves.
    QTest::newRow("9 of 9") << 9 << 9 << 9 << 9;
    QTest::newRow("3 of 50") << 50 << 3 << 50 << 3;
    QTest::newRow("more steps than total") << 5 << 8 << 5 << 5;
    // From 100 on it counts hundredths: one position per n/100 steps.
    QTest::newRow("100: every step") << 100 << 37 << 100 << 37;
    QTest::newRow("200: every other step") << 200 << 10 << 100 << 5;
    QTest::newRow("200: rounding up at a half") << 200 << 3 << 100 << 2;
    QTest::newRow("1000: a tenth") << 1000 << 25 << 100 << 3;
    QTest::newRow("1000: all") << 1000 << 1000 << 100 << 100;
    QTest::newRow("no total") << 0 << 4 << 0 << 0;
}

void TestContor::stepping()
{
    QFETCH(int, total);
    QFETCH(int, steps);
    QFETCH(int, maximum);
    QFETCH(int, position);
    Contor contor;
    contor.setText(QStringLiteral("Salvez datele..."));
    contor.setTotal(total);
    contor.start();
    QCOMPARE(contor.position(), 0);
    for (int i = 0; i < steps; ++i)
        contor.step();
    QCOMPARE(contor.maximum(), maximum);
    QCOMPARE(contor.position(), position);
    QCOMPARE(contor.stepCount(), steps);
    QCOMPARE(contor.findChild<QLabel *>(QStringLiteral("Descr"))->text(), QStringLiteral("Salvez datele..."));
    contor.finish();
    QVERIFY(!contor.isVisible());
}

void TestContor::disablesTheActiveWindowWhileUp()
{
    QWidget window;
    window.resize(300, 200);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    Contor contor;
    contor.setTotal(3);
    contor.start();
    QVERIFY(contor.isVisible());
    QVERIFY(!window.isEnabled());
    QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
    // A second start while up (a new phase of the same operation) keeps the same window.
    contor.setText(QStringLiteral("Salvez datele..."));
    contor.start();
    contor.step();
    contor.finish();
    QVERIFY(window.isEnabled());
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
}

void TestContor::finishWithoutStartIsHarmless()
{
    QWidget window;
    window.show();
    Contor contor;
    contor.finish();
    QVERIFY(window.isEnabled());
    QVERIFY(!contor.isVisible());
}

QTEST_MAIN(TestContor)
#include "tst_contor.moc"
