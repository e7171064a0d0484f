// The message dialog: the result of every button and of Esc, the kinds' captions, the
// button layout rule, no dialog for an empty selector, and the test hook.

#include "ui/shell/erori.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/shelltesthelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

class TestMesaj : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resultPerButton_data();
    void resultPerButton();
    void escapeAnswersRenunt();
    void noButtonShowsNothing();
    void kindCaptions_data();
    void kindCaptions();
    void buttonLayout_data();
    void buttonLayout();
    void lineBreaksInText();
    void hookAnswersAndRecords();
};

void TestMesaj::resultPerButton_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("result");
    QTest::newRow("Da of Da+Nu") << MesajButtons::DaNu << QStringLiteral("BE1") << 6;
    QTest::newRow("Nu of Da+Nu") << MesajButtons::DaNu << QStringLiteral("BE2") << 7;
    QTest::newRow("Renunt") << (MesajButtons::DaNu | MesajButtons::Renunt) << QStringLiteral("BE3") << 2;
    QTest::newRow("OK") << MesajButtons::OK << QStringLiteral("BE4") << 1;
}

void TestMesaj::resultPerButton()
{
    QFETCH(int, buttons);
    QFETCH(QString, press);
    QFETCH(int, result);
    QStringList visible;
    onModal(QStringLiteral("Erori"), [&](QWidget *w) {
        for (auto *b : w->findChildren<QPushButton *>())
            if (b->isVisible())
                visible << b->objectName();
        w->findChild<QPushButton *>(press)->click();
    });
    QCOMPARE(mesaj(QStringLiteral("Titlu"), QStringLiteral("Text"), buttons, MesajKind::Confirmare), result);
    QVERIFY(visible.contains(press));
    QCOMPARE(visible.size(), qPopulationCount(quint32(buttons)));
}

void TestMesaj::escapeAnswersRenunt()
{
    onModal(QStringLiteral("Erori"), [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    QCOMPARE(mesaj(QStringLiteral("Intrebare"), QStringLiteral("Da sau nu?"), MesajButtons::DaNu, MesajKind::Confirmare),
             MesajResult::Renunt);
}

void TestMesaj::noButtonShowsNothing()
{
    bool shown = false;
    onModal(QStringLiteral("Erori"), [&](QWidget *w) { shown = true; w->close(); }, 300);
    QCOMPARE(mesaj(QStringLiteral("x"), QStringLiteral("y"), 0, MesajKind::Eroare), MesajResult::Renunt);
    QTest::qWait(400);
    QVERIFY(!shown);
}

void TestMesaj::kindCaptions_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::newRow("0") << 0 << QStringLiteral("Atentie !");
    QTest::newRow("1") << 1 << QStringLiteral("Eroare");
    QTest::newRow("2") << 2 << QStringLiteral("Informatie");
    QTest::newRow("3") << 3 << QStringLiteral("Confirmare");
    QTest::newRow("other") << 9 << QStringLiteral("Eroare");
}

void TestMesaj::kindCaptions()
{
    QFETCH(int, kind);
    QFETCH(QString, caption);
    QString seenCaption;
    QString seenTitle;
    onModal(QStringLiteral("Erori"), [&](QWidget *w) {
        seenCaption = w->windowTitle();
        seenTitle = w->findChild<QLabel *>(QStringLiteral("Titlu"))->text();
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        w->findChild<QPushButton *>(QStringLiteral("BE4"))->click();
    });
    QCOMPARE(mesaj(QStringLiteral("Salvare"), QStringLiteral("Text"), MesajButtons::OK, kind), MesajResult::OK);
    QCOMPARE(seenCaption, caption);
    QCOMPARE(seenTitle, QStringLiteral("Salvare"));
}

void TestMesaj::buttonLayout_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QList<int>>("lefts");
    // g = (342 - 73 * count) div (count + 1); k-th left edge k * (g + 73) - 73.
    QTest::newRow("one") << MesajButtons::OK << QList<int>{134};
    QTest::newRow("two") << MesajButtons::DaNu << QList<int>{65, 203};
    QTest::newRow("three") << (MesajButtons::DaNu | MesajButtons::Renunt) << QList<int>{30, 133, 236};
    QTest::newRow("four") << 15 << QList<int>{10, 93, 176, 259};
}

void TestMesaj::buttonLayout()
{
    QFETCH(int, buttons);
    QFETCH(QList<int>, lefts);
    Erori dialog;
    QVERIFY(dialog.setMessage(QStringLiteral("t"), QStringLiteral("x"), buttons, 0));
    QList<int> got;
    for (const char *name : {"BE1", "BE2", "BE3", "BE4"}) {
        auto *b = dialog.findChild<QPushButton *>(QString::fromLatin1(name));
        if (!b->isHidden()) {
            QCOMPARE(b->width(), 73);
            got << b->x() - 9; // the row starts at the dialog's margin
        }
    }
    QCOMPARE(got, lefts);
}

void TestMesaj::lineBreaksInText()
{
    Erori dialog;
    dialog.setMessage(QStringLiteral("Administrare"), QStringLiteral("\r    ATENTIE!\r\nNu aveti nici o parola!"), 4, 0);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("Text"))->text(),
             QStringLiteral("\n    ATENTIE!\nNu aveti nici o parola!"));
}

void TestMesaj::hookAnswersAndRecords()
{
    MesajRecorder recorder;
    recorder.answers << MesajResult::Nu;
    QCOMPARE(mesaj(QStringLiteral("A"), QStringLiteral("B"), MesajButtons::DaNu, 3), MesajResult::Nu);
    QCOMPARE(mesaj(QStringLiteral("C"), QStringLiteral("D"), MesajButtons::OK, 1), MesajResult::OK);
    QCOMPARE(recorder.calls.size(), 2);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("A"));
    QCOMPARE(recorder.calls[1].kind, 1);
}

QTEST_MAIN(TestMesaj)
#include "tst_mesaj.moc"
