// One running copy: a second start finds the first, asks it to come forward, and ends.

#include "startup/singlecopy.h"

#include <QSignalSpy>
#include <QTest>
#include <QUuid>

using namespace vestronia;

class TestSingleCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondCopyRaisesTheFirst();
    void copyThatEndedFreesTheName();
};

void TestSingleCopy::secondCopyRaisesTheFirst()
{
    const QString key = QUuid::createUuid().toString();
    SingleCopy first(key);
    QVERIFY(first.claim());
    QSignalSpy raised(&first, &SingleCopy::raiseRequested);
    SingleCopy second(key);
    QVERIFY(!second.claim());
    QTRY_COMPARE(raised.count(), 1);
    // Another installation is another program.
    SingleCopy other(key + QStringLiteral("-other"));
    QVERIFY(other.claim());
}

void TestSingleCopy::copyThatEndedFreesTheName()
{
    const QString key = QUuid::createUuid().toString();
    {
        SingleCopy first(key);
        QVERIFY(first.claim());
    }
    SingleCopy again(key);
    QVERIFY(again.claim());
}

QTEST_GUILESS_MAIN(TestSingleCopy)
#include "tst_singlecopy.moc"
