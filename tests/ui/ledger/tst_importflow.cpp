// The import as the subscriber screen offers it on an empty register: the question, the
// file dialog, the date picker with its caption and default, the final message and the
// subscribers shown afterwards; every way of stopping imports nothing.

#include "ledger/ledgerfixture.h"
#include "import/rg3builder.h"
#include "ui/register/evidenta.h"
#include "ui/ledger/importflow.h"
#include "ui/shell/contor.h"
#include "ui/shell/filedialogs.h"
#include "ui/shell/shelltesthelpers.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>

using namespace vestronia;
using namespace vestronia::testing;

namespace {
const QDate Today(2026, 12, 9);

RegisterSpec twoHouseholds()
{
    RegisterSpec r;
    r.addVolume(1, QStringLiteral("VESTRONIA"), 1);
    r.addHousehold(1, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("1"));
    r.addMember(1, 2026, 1, QStringLiteral("Pop"), QStringLiteral("Ion"));
    r.addHousehold(2, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("2"));
    r.addMember(2, 2026, 1, QStringLiteral("Radu"), QStringLiteral("Ana"));
    return r;
}

// Answers the file dialog with path and records the titles it was shown with.
struct FileDialogAnswer
{
    explicit FileDialogAnswer(const QString &path)
    {
        setFileDialogHook([this, path](FileDialogKind kind, const QString &title) {
            titles << title;
            kinds << kind;
            return path;
        });
    }
    ~FileDialogAnswer() { setFileDialogHook({}); }
    QStringList titles;
    QList<FileDialogKind> kinds;
};
} // namespace

class TestImportFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Evidenta::setEmptyRegisterHandler({}); }
    void cleanup() { Evidenta::setEmptyRegisterHandler({}); }
    void emptyEvidentaImportsAndShowsTheSubscribers();
    void stoppingAtAnyStepImportsNothing_data();
    void stoppingAtAnyStepImportsNothing();
    void damagedBackupShowsItsMessage();
};

void TestImportFlow::emptyEvidentaImportsAndShowsTheSubscribers()
{
    LedgerFixture f(Today);
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("SALUBRIZARE"), QStringLiteral("10")));
    const QString archive = f.dir.filePath(QStringLiteral("reg.rg3"));
    QVERIFY(writeRegisterBackup(twoHouseholds(), f.dir.filePath(QStringLiteral("work")), archive));

    MesajRecorder messages;
    messages.answers << MesajResult::Da;
    FileDialogAnswer file(archive);
    QString caption;
    QString prompt;
    QDate shownDate;
    onModal(QStringLiteral("SelDataS"), [&](QWidget *w) {
        caption = w->windowTitle();
        shownDate = w->findChild<QDateEdit *>(QStringLiteral("LaData"))->date();
        for (QLabel *l : w->findChildren<QLabel *>())
            prompt += l->text();
        w->findChild<QDateEdit *>(QStringLiteral("LaData"))->setDate(QDate(2025, 3, 15));
        QVERIFY(w->findChild<QPushButton *>(QStringLiteral("CloseBut")));
        w->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    });
    Evidenta::setEmptyRegisterHandler([&f](Evidenta &screen) { runImportFlow(*f.db, f.session, &screen); });
    Evidenta w(*f.db, f.session);
    w.prepare();

    QCOMPARE(messages.titles(), (QStringList{QStringLiteral("Preluare date din Reg.Agr."),
                                             QStringLiteral("Preluare date Reg.Agricol")}));
    QCOMPARE(messages.calls[0].text, QStringLiteral("\rDoriti preluarea datelor dintr-o salvare din Registrul Agricol?"));
    QCOMPARE(messages.calls[0].buttons, MesajButtons::DaNu);
    QCOMPARE(messages.calls[0].kind, MesajKind::Confirmare);
    QCOMPARE(messages.calls[1].text, QStringLiteral("\rAbonatii au fost adaugati cu succes!"));
    QCOMPARE(messages.calls[1].kind, MesajKind::Informatie);
    QCOMPARE(file.titles, QStringList{QStringLiteral("Alegeti o salvare din Reg.Agricol")});
    QCOMPARE(file.kinds, QList<FileDialogKind>{FileDialogKind::OpenFile});
    QCOMPARE(caption, QStringLiteral("Preluare date R.A."));
    QCOMPARE(prompt, QStringLiteral("Alegeti data adaugarii"));
    QCOMPARE(shownDate, Today);

    // The screen re-read its list: both households are there, from the date chosen.
    QCOMPARE(w.shownSubscriberCount(), 2);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat WHERE DATAIN=?"), {day(2025, 3, 15)}), 2);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 2 * 22); // the 5th, March 2025 to December 2026
    QVERIFY(!Contor::instance().isVisible());
}

void TestImportFlow::stoppingAtAnyStepImportsNothing_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<bool>("pickerShown");
    QTest::newRow("Nu to the question") << int(MesajResult::Nu) << true << false;
    QTest::newRow("file dialog cancelled") << int(MesajResult::Da) << false << false;
    QTest::newRow("date picker cancelled") << int(MesajResult::Da) << true << true;
}

void TestImportFlow::stoppingAtAnyStepImportsNothing()
{
    QFETCH(int, answer);
    QFETCH(bool, chooseFile);
    QFETCH(bool, pickerShown);
    LedgerFixture f(Today);
    const QString archive = f.dir.filePath(QStringLiteral("reg.rg3"));
    QVERIFY(writeRegisterBackup(twoHouseholds(), f.dir.filePath(QStringLiteral("work")), archive));
    MesajRecorder messages;
    messages.answers << answer;
    FileDialogAnswer file(chooseFile ? archive : QString());
    bool shown = false;
    onModal(
        QStringLiteral("SelDataS"),
        [&](QWidget *w) {
            shown = true;
            w->findChild<QPushButton *>(QStringLiteral("CloseBut"))->click();
        },
        pickerShown ? 10000 : 300);

    QVERIFY(!runImportFlow(*f.db, f.session, nullptr));
    if (!pickerShown)
        QTest::qWait(350); // let the watcher give up, so it cannot answer a later test
    QCOMPARE(shown, pickerShown);
    QCOMPARE(messages.calls.size(), 1); // only the question
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat")), 0);
    QVERIFY(QDir(f.session.tempFolder).entryList({QStringLiteral("TmpRA*")}, QDir::Dirs).isEmpty());
}

void TestImportFlow::damagedBackupShowsItsMessage()
{
    LedgerFixture f(Today);
    const QString archive = f.dir.filePath(QStringLiteral("bad.rg3"));
    QFile out(archive);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(craftArchive({{"Identificare.dbf", QByteArray("x")}}));
    out.close();
    MesajRecorder messages;
    messages.answers << MesajResult::Da;
    FileDialogAnswer file(archive);
    bool pickerShown = false;
    onModal(QStringLiteral("SelDataS"), [&](QWidget *w) {
        pickerShown = true;
        w->close();
    }, 300);
    QVERIFY(!runImportFlow(*f.db, f.session, nullptr));
    QTest::qWait(350);
    QVERIFY(!pickerShown);
    QCOMPARE(messages.titles().last(), QStringLiteral("Verificare salvare R.A."));
    QCOMPARE(messages.calls.last().text, QStringLiteral("\rSalvarea nu contine datele din Reg.Agricol!"));
    QCOMPARE(messages.calls.last().kind, MesajKind::Eroare);
    QVERIFY(!Contor::instance().isVisible());
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat")), 0);
}

QTEST_MAIN(TestImportFlow)
#include "tst_importflow.moc"
