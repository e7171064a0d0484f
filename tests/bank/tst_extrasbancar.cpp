// The "Extras bancar" window driven by the keyboard: a parked transfer assigned through
// the filter fields and the subscriber list, another dropped, the rest recorded with one
// key, the window closed with Esc; a statement of another account asks before recording.

#include "bank/bankimport.h"
#include "ui/bank/extrasbancar.h"
#include "ui/app/administrationwindow.h"
#include "ui/shell/mesaj.h"

#include "collections/collectionsfixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(VESTRONIA_TEST_FIXTURES "/bank/") + QLatin1String(name);
}

class WindowFixture : public CollectionsFixture
{
public:
    WindowFixture()
    {
        popescu = subscriber("POPESCU ION", "1800101223344", "", "");
        subscriber("IONESCU MARIA", "", "", "45/2020");
        subscriber("VASILE GHEORGHE", "", "", "");
        subscriber("SC ALFA PREST SRL", "", "8812", "");
        popaA = subscriber("POPA ANA", "", "", "");
        popaB = subscriber("POPA ANA", "", "", "");
        db->exec(QStringLiteral("UPDATE Abonat SET NR='22' WHERE IDAB=?"), {popaB});
    }
    qint64 subscriber(const char *name, const char *code, const char *rol, const char *contract)
    {
        const qint64 id = insertSubscriber(QString::fromLatin1(name), 1, day(2020, 1, 1));
        db->exec(QStringLiteral("UPDATE Abonat SET CNP=?, ROL=?, NRCON=? WHERE IDAB=?"),
                 {QString::fromLatin1(code), QString::fromLatin1(rol), QString::fromLatin1(contract), id});
        return id;
    }
    qint64 transfersOf(qint64 idab)
    {
        return db->scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=? AND DOCJUS='VIRAMENT BANCAR'"), {idab})
            .toLongLong();
    }
    qint64 transfers()
    {
        return db->scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE DOCJUS='VIRAMENT BANCAR'")).toLongLong();
    }
    qint64 popescu, popaA, popaB;
};

void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), k, m);
}

} // namespace

class TestExtrasBancar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setMesajHook({}); }
    void assignDropAndRecordByKeyboard();
    void otherAccountAsksFirst();
    void damagedFileShowsTheReason();
    void ibanInAdministration();
};

void TestExtrasBancar::assignDropAndRecordByKeyboard()
{
    WindowFixture f;
    QList<MesajCall> calls;
    setMesajHook([&](const MesajCall &c) {
        calls << c;
        return c.buttons == MesajButtons::DaNu ? MesajResult::Da : MesajResult::OK;
    });
    NullProgress quiet;
    ExtrasBancar w(*f.db, f.session);
    w.setProgress(&quiet);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(w.loadFile(fixture("camt053-v02-two-accounts.xml")));
    auto *lines = w.findChild<QTableWidget *>(QStringLiteral("IntrariG"));
    auto *name = w.findChild<QLineEdit *>(QStringLiteral("NumeP"));
    auto *list = w.findChild<QTableWidget *>(QStringLiteral("AbonatiG"));
    // No IBAN set: the window says the account cannot be checked.
    QVERIFY(w.findChild<QLabel *>(QStringLiteral("ContAvertL"))->isVisible());

    // The window opens on the first parked entry (two subscribers named like the payer), highlighted.
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(lines));
    QCOMPARE(lines->currentRow(), 6);
    QCOMPARE(lines->item(6, 7)->text(), QStringLiteral("in asteptare"));
    QVERIFY(lines->item(6, 0)->background().color() != lines->item(0, 0)->background().color());

    // Enter: to the name filter, filled with the payer; Enter through the filters to the list.
    key(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(name));
    QCOMPARE(name->text(), QStringLiteral("POPA ANA"));
    for (int i = 0; i < 4; ++i)
        key(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(list));
    QCOMPARE(list->rowCount(), 2);
    key(Qt::Key_Down);
    QCOMPARE(list->item(list->currentRow(), 6)->text(), QStringLiteral("22"));
    key(Qt::Key_Return);
    QCOMPARE(bankOutcomeText(w.plan().lines[6].outcome), QStringLiteral("de inregistrat"));
    QCOMPARE(w.plan().lines[6].idab, f.popaB);
    QCOMPARE(lines->item(6, 6)->text(), QStringLiteral("operator"));

    // Back on the next parked entry (the other account's unknown payer): Del drops it.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(lines));
    QCOMPARE(lines->currentRow(), 8);
    key(Qt::Key_Delete);
    QCOMPARE(bankOutcomeText(w.plan().lines[8].outcome), QStringLiteral("renuntat"));

    // One key records the rest, after the question.
    key(Qt::Key_I, Qt::AltModifier);
    QTRY_COMPARE(calls.size(), 2);
    QCOMPARE(f.transfers(), qint64(5));
    QCOMPARE(f.transfersOf(f.popaB), qint64(1));
    QCOMPARE(f.transfersOf(f.popaA), qint64(0));
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls[0].text, QStringLiteral("Inregistrati 5 incasari prin virament bancar, in suma de 590.00 lei?"));
    QCOMPARE(calls[1].text, QStringLiteral("Au fost inregistrate 5 incasari, in suma de 590.00 lei."));
    QCOMPARE(lines->item(0, 7)->text(), QStringLiteral("inregistrat"));

    key(Qt::Key_Escape);
    QVERIFY(!w.isVisible());
}

void TestExtrasBancar::otherAccountAsksFirst()
{
    WindowFixture f;
    setServiceIban(f.session, QStringLiteral("RO32BRDE445SV12345674450"));
    QList<MesajCall> calls;
    setMesajHook([&](const MesajCall &c) {
        calls << c;
        return MesajResult::Nu;
    });
    NullProgress quiet;
    ExtrasBancar w(*f.db, f.session);
    w.setProgress(&quiet);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(w.loadFile(fixture("mt940-two-days.sta")));
    auto *warning = w.findChild<QLabel *>(QStringLiteral("ContAvertL"));
    QVERIFY(warning->isVisible());
    QVERIFY(warning->text().contains(QLatin1String("RO49AAAA1B31007593840000")));
    // A button's mnemonic clicks it after a short animation.
    key(Qt::Key_I, Qt::AltModifier);
    QTRY_COMPARE(calls.size(), 1);
    QCOMPARE(calls[0].title, QStringLiteral("Atentionare"));
    QVERIFY(calls[0].text.startsWith(QLatin1String("Extrasul este pentru contul RO49AAAA1B31007593840000")));
    QCOMPARE(f.transfers(), qint64(0));
}

void TestExtrasBancar::damagedFileShowsTheReason()
{
    WindowFixture f;
    QList<MesajCall> calls;
    setMesajHook([&](const MesajCall &c) {
        calls << c;
        return MesajResult::OK;
    });
    ExtrasBancar w(*f.db, f.session);
    QTemporaryDir dir;
    QFile cut(dir.filePath(QStringLiteral("cut.xml")));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write("<?xml version=\"1.0\"?><Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.04\"><BkToCstmrStmt><Stmt>");
    cut.close();
    QVERIFY(!w.loadFile(cut.fileName()));
    QCOMPARE(calls.size(), 1);
    QVERIFY(calls[0].text.startsWith(QLatin1String("Extrasul camt.053 este deteriorat")));
    QCOMPARE(w.findChild<QTableWidget *>(QStringLiteral("IntrariG"))->rowCount(), 0);
}

void TestExtrasBancar::ibanInAdministration()
{
    WindowFixture f;
    AdminSettings settings;
    AdministrationWindow w(*f.db, f.session, settings);
    w.prepare();
    auto *iban = w.findChild<QLineEdit *>(QStringLiteral("ContIBAN"));
    auto *save = w.findChild<QPushButton *>(QStringLiteral("MemoreazaB"));
    iban->setText(QStringLiteral("RO49 AAAA 1B31 0075 9384 0001"));
    save->click();
    QVERIFY(w.result() != QDialog::Accepted);
    QVERIFY(serviceIban(f.session).isEmpty());
    iban->setText(QStringLiteral("ro49 aaaa 1b31 0075 9384 0000"));
    save->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(serviceIban(f.session), QStringLiteral("RO49AAAA1B31007593840000"));
    iban->clear();
    w.prepare();
    QCOMPARE(iban->text(), QStringLiteral("RO49AAAA1B31007593840000"));
}

QTEST_MAIN(TestExtrasBancar)
#include "tst_extrasbancar.moc"
