// The password prompt: confirm by button or Enter, close by button or Esc, a masked
// field emptied at every opening.

#include "ui/shell/passwordprompt.h"
#include "ui/shell/shelltesthelpers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestPasswordPrompt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void confirmWithButton();
    void confirmWithEnter();
    void closeWithButtonOrEscape();
    void fieldIsMaskedAndEmptiedEachTime();
};

void TestPasswordPrompt::confirmWithButton()
{
    onModal(QStringLiteral("Form5"), [](QWidget *w) {
        QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("Edit1")), QStringLiteral("secret"));
        w->findChild<QPushButton *>(QStringLiteral("VerificaB"))->click();
    });
    QString text;
    QVERIFY(inputQuery2(text));
    QCOMPARE(text, QStringLiteral("secret"));
}

void TestPasswordPrompt::confirmWithEnter()
{
    onModal(QStringLiteral("Form5"), [](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>(QStringLiteral("Edit1"));
        QTest::keyClicks(edit, QStringLiteral("abc"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QString text;
    QVERIFY(inputQuery2(text));
    QCOMPARE(text, QStringLiteral("abc"));
}

void TestPasswordPrompt::closeWithButtonOrEscape()
{
    onModal(QStringLiteral("Form5"), [](QWidget *w) {
        QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("Edit1")), QStringLiteral("x"));
        w->findChild<QPushButton *>(QStringLiteral("InchideB"))->click();
    });
    QString text = QStringLiteral("unchanged");
    QVERIFY(!inputQuery2(text));
    QCOMPARE(text, QStringLiteral("unchanged"));

    onModal(QStringLiteral("Form5"), [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QVERIFY(!inputQuery2(text));
}

void TestPasswordPrompt::fieldIsMaskedAndEmptiedEachTime()
{
    PasswordPrompt prompt;
    auto *edit = prompt.findChild<QLineEdit *>(QStringLiteral("Edit1"));
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
    QCOMPARE(prompt.windowTitle(), QStringLiteral("Autentificare"));
    edit->setText(QStringLiteral("left over"));
    QTimer::singleShot(0, &prompt, [&] {
        QCOMPARE(edit->text(), QString());
        prompt.reject();
    });
    prompt.exec();
}

QTEST_MAIN(TestPasswordPrompt)
#include "tst_passwordprompt.moc"
