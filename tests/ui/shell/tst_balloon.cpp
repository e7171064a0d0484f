// The problem balloon: points at the control, carries the title and text, hides itself.

#include "ui/shell/balloon.h"

#include <QLineEdit>
#include <QTest>

using namespace vestronia;

class TestBalloon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pointsAtTheControl();
};

void TestBalloon::pointsAtTheControl()
{
    QWidget form;
    form.resize(400, 300);
    auto *edit = new QLineEdit(&form);
    edit->move(50, 40);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    showProblem(edit, QStringLiteral("Nu ati scris Suma!"));
    QCOMPARE(lastProblem().control.data(), edit);
    QCOMPARE(lastProblem().text, QStringLiteral("Nu ati scris Suma!"));
    ProblemBalloon *balloon = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("ProblemBalloon"))
            balloon = static_cast<ProblemBalloon *>(w);
    QVERIFY(balloon);
    QVERIFY(balloon->isVisible());
    QCOMPARE(balloon->text(), QStringLiteral("Nu ati scris Suma!"));
    // The tail's tip is the point 10 pixels into the control; the balloon starts there
    // (below it) and reaches it horizontally.
    const QPoint tip = edit->mapToGlobal(QPoint(10, 10));
    QCOMPARE(balloon->y(), tip.y());
    QVERIFY(balloon->x() <= tip.x() && balloon->x() + balloon->width() > tip.x());
    QVERIFY(balloon->width() >= ProblemBalloon::TextWidth);
    // The form stays usable.
    QVERIFY(form.isVisible() && form.isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!balloon->isVisible(), ProblemBalloon::HideAfterMs + 2000);
}

QTEST_MAIN(TestBalloon)
#include "tst_balloon.moc"
