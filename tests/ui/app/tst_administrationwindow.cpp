// The administration window: what it shows on opening, the save rule (a counter is
// written only when its number was changed), cancel, the password change, the network
// and automatic-backup folders with their refusals, the models menu and the read-only
// session.

#include "core/counters.h"
#include "core/profilefile.h"
#include "core/tablecatalogue.h"
#include "startup/adminsettings.h"
#include "store/database.h"
#include "ui/shell/balloon.h"
#include "ui/shell/filedialogs.h"
#include "ui/app/administrationwindow.h"
#include "ui/shell/shelltesthelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include "store/datafolder.h"
#include "ui/ledger/contlistf.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace vestronia;
using namespace vestronia::testing;

namespace {

struct Fixture
{
    QTemporaryDir dir;
    Session session;
    std::unique_ptr<Database> db;
    AdminSettings settings;

    Fixture()
    {
        session.programFolder = dir.path();
        session.localDataFolder = dir.filePath(QStringLiteral("Data"));
        session.dataFolder = session.localDataFolder;
        session.tempFolder = dir.filePath(QStringLiteral("Temp"));
        session.machineFolder = dir.filePath(QStringLiteral("machine"));
        QDir().mkpath(session.dataFolder);
        QDir().mkpath(session.machineFolder);
        db = std::make_unique<Database>(session.dataFolder);
        settings.unitName = QStringLiteral("Primaria Vestroni");
        settings.locality = QStringLiteral("Vestroni");
        settings.county = 3;
        settings.backupFolder = QStringLiteral("-");
    }
    ~Fixture() { setFileDialogHook({}); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString shared(const QString &key) const
    {
        return ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"), key);
    }
};

template <typename T>
T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

void answerFolder(const QString &folder)
{
    setFileDialogHook([folder](FileDialogKind, const QString &) { return folder; });
}

} // namespace

class TestAdministrationWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { clearLastProblem(); }

    void openingShowsTheStoredValues();
    void saveRule_data();
    void saveRule();
    void emptyNumberIsRefusedOnTheField();
    void cancelKeepsTypedTextButStoresNothing();
    void passwordChange();
    void serverFolder();
    void clearServerFolder();
    void backupFolder();
    void clearBackupFolder();
    void restoreModel();
    void readOnlySessionChangesNothing();
    void enterOnTheCountyListMovesOn();
    void receiptSeriesKeepsTwentyCharacters();
    void modelsAreFoundWhateverTheirCase();
    void accountListIsCreatedOnceAndFitsTheScreen();
};

void TestAdministrationWindow::openingShowsTheStoredValues()
{
    Fixture f;
    ProfileFile::writeText(f.session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("CHITSERIA"), QStringLiteral("VS"));
    Counters::set(f.session.sharedSettings(), QStringLiteral("CHITNR"), 120);
    f.settings.receiptPdf = true;
    f.settings.serverPath = QStringLiteral("-");
    AdministrationWindow w(*f.db, f.session, f.settings);
    child<QLineEdit>(w, "Edit1")->setText(QStringLiteral("left"));
    child<QLineEdit>(w, "Edit2")->setText(QStringLiteral("over"));
    w.prepare();
    QCOMPARE(w.windowTitle(), QStringLiteral("Administrare program"));
    QCOMPARE(child<QLineEdit>(w, "UnitateE")->text(), QStringLiteral("Primaria Vestroni"));
    QCOMPARE(child<QLineEdit>(w, "Localit")->text(), QStringLiteral("Vestroni"));
    QCOMPARE(child<QComboBox>(w, "JudetC")->currentText(), QStringLiteral("BACAU"));
    QCOMPARE(child<QComboBox>(w, "JudetC")->count(), 42);
    QCOMPARE(child<QLineEdit>(w, "DocSeria")->text(), QStringLiteral("VS"));
    QCOMPARE(child<QLineEdit>(w, "DocNr")->text(), QStringLiteral("120"));
    QCOMPARE(child<QLineEdit>(w, "NCNr")->text(), QStringLiteral("1"));
    QVERIFY(child<QCheckBox>(w, "ChitPDF")->isChecked());
    QCOMPARE(child<QLabel>(w, "CaleServer")->text(), QStringLiteral("-"));
    QCOMPARE(child<QLabel>(w, "CaleSalvari")->text(), QStringLiteral("-"));
    QCOMPARE(child<QLineEdit>(w, "Edit1")->text(), QString());
    QCOMPARE(child<QLineEdit>(w, "Edit2")->text(), QString());
    QCOMPARE(child<QLineEdit>(w, "Edit1")->echoMode(), QLineEdit::Password);
    QCOMPARE(child<QLineEdit>(w, "Edit1")->maxLength(), 32);
    QCOMPARE(child<QToolButton>(w, "ServerB")->toolTip(), QStringLiteral("Modificare cale server."));
    QCOMPARE(child<QToolButton>(w, "ServerStergeB")->toolTip(), QStringLiteral("Stergere cale server. Lucru local."));
    QCOMPARE(child<QToolButton>(w, "SalvariB")->toolTip(), QStringLiteral("Modificare cale salvari automate."));
    QCOMPARE(child<QToolButton>(w, "SalvariStergeB")->toolTip(), QStringLiteral("Stergere cale salvari automate."));
}

void TestAdministrationWindow::saveRule_data()
{
    QTest::addColumn<QString>("typedReceipt");
    QTest::addColumn<QString>("typedNote");
    QTest::addColumn<qint64>("expectedReceipt");
    QTest::addColumn<qint64>("expectedNote");
    // On opening CHITNR = 50 and NCNR = 8; meanwhile another workstation takes receipt 50.
    QTest::newRow("untouched numbers are not written") << "50" << "8" << qint64(51) << qint64(8);
    QTest::newRow("changed receipt number") << "70" << "8" << qint64(70) << qint64(8);
    QTest::newRow("changed note number") << "50" << "12" << qint64(51) << qint64(12);
}

void TestAdministrationWindow::saveRule()
{
    QFETCH(QString, typedReceipt);
    QFETCH(QString, typedNote);
    QFETCH(qint64, expectedReceipt);
    QFETCH(qint64, expectedNote);
    Fixture f;
    const QString sh = f.session.sharedSettings();
    Counters::set(sh, QStringLiteral("CHITNR"), 50);
    Counters::set(sh, QStringLiteral("NCNR"), 8);
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    Counters::take(sh, QStringLiteral("CHITNR"));
    child<QLineEdit>(w, "UnitateE")->setText(QStringLiteral("  Primaria   Noua "));
    child<QLineEdit>(w, "Localit")->setText(QStringLiteral("Sat \"Nou\""));
    child<QComboBox>(w, "JudetC")->setCurrentIndex(41);
    child<QLineEdit>(w, "DocSeria")->setText(QStringLiteral("AB"));
    child<QLineEdit>(w, "DocNr")->setText(typedReceipt);
    child<QLineEdit>(w, "NCNr")->setText(typedNote);
    child<QCheckBox>(w, "ChitPDF")->setChecked(true);
    child<QPushButton>(w, "MemoreazaB")->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(Counters::peek(sh, QStringLiteral("CHITNR")), expectedReceipt);
    QCOMPARE(Counters::peek(sh, QStringLiteral("NCNR")), expectedNote);
    QCOMPARE(f.shared(QStringLiteral("UNITATE")), QStringLiteral("Primaria Noua"));
    QCOMPARE(f.shared(QStringLiteral("LOCALIT")), QStringLiteral("Sat Nou"));
    QCOMPARE(f.shared(QStringLiteral("JUDET")), QStringLiteral("41"));
    QCOMPARE(f.shared(QStringLiteral("CHITSERIA")), QStringLiteral("AB"));
    QCOMPARE(f.shared(QStringLiteral("CHITPDF")), QStringLiteral("DA"));
    // What other screens read follows the save.
    QCOMPARE(f.settings.unitName, QStringLiteral("Primaria Noua"));
    QCOMPARE(f.settings.county, 41);
    QVERIFY(f.settings.receiptPdf);
}

void TestAdministrationWindow::emptyNumberIsRefusedOnTheField()
{
    Fixture f;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    w.show();
    child<QLineEdit>(w, "DocNr")->clear();
    child<QPushButton>(w, "MemoreazaB")->click();
    QCOMPARE(lastProblem().control.data(), child<QWidget>(w, "DocNr"));
    QVERIFY(w.isVisible());
    QVERIFY(!QFile::exists(f.session.sharedSettings()));
}

void TestAdministrationWindow::cancelKeepsTypedTextButStoresNothing()
{
    Fixture f;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    child<QLineEdit>(w, "UnitateE")->setText(QStringLiteral("Alt nume"));
    child<QPushButton>(w, "RenuntB")->click();
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QVERIFY(!QFile::exists(f.session.sharedSettings()));
    QCOMPARE(f.settings.unitName, QStringLiteral("Primaria Vestroni"));
    w.prepare();
    QCOMPARE(child<QLineEdit>(w, "UnitateE")->text(), QStringLiteral("Alt nume"));
}

void TestAdministrationWindow::passwordChange()
{
    Fixture f;
    MesajRecorder recorder;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    auto *p1 = child<QLineEdit>(w, "Edit1");
    auto *p2 = child<QLineEdit>(w, "Edit2");

    p1->setText(QStringLiteral("unu"));
    p2->setText(QStringLiteral("doi"));
    child<QPushButton>(w, "SchimbaB")->click();
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Eroare la completare"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("Nu ati scris parola noua la fel in cele doua casute !"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Eroare);
    QVERIFY(!administratorPasswordSet(f.session));

    // Enter in the second field does the same as the button.
    p1->setText(QStringLiteral("noua"));
    p2->setText(QStringLiteral("noua"));
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    p2->setFocus();
    QTest::keyClick(p2, Qt::Key_Return);
    QCOMPARE(recorder.calls.size(), 2);
    QCOMPARE(recorder.calls[1].title, QStringLiteral("Confirmare"));
    QCOMPARE(recorder.calls[1].text, QStringLiteral("Parola a fost schimbata cu succes!"));
    QCOMPARE(recorder.calls[1].kind, MesajKind::Informatie);
    QVERIFY(administratorPasswordMatches(f.session, QStringLiteral("noua")));
    QCOMPARE(p1->text(), QString());
    QCOMPARE(p2->text(), QString());

    // Both empty: a question; Nu keeps the password, Da removes it.
    recorder.answers << MesajResult::Nu;
    child<QPushButton>(w, "SchimbaB")->click();
    QCOMPARE(recorder.calls.last().text, QStringLiteral("ATENTIE !\r\nDoriti sa dezactivati parola de administrator?"));
    QCOMPARE(recorder.calls.last().buttons, MesajButtons::DaNu);
    QVERIFY(administratorPasswordSet(f.session));
    recorder.answers << MesajResult::Da;
    child<QPushButton>(w, "SchimbaB")->click();
    QVERIFY(!administratorPasswordSet(f.session));
}

void TestAdministrationWindow::serverFolder()
{
    Fixture f;
    MesajRecorder recorder;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    const QString localSettings = f.session.localSettings();

    answerFolder(f.session.localDataFolder + QLatin1Char('/'));
    child<QToolButton>(w, "ServerB")->click();
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Selectare Cale salvari"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("Nu puteti salva aici!"));

    const QString net = f.path(QStringLiteral("net"));
    QDir().mkpath(net);
    answerFolder(net);
    child<QToolButton>(w, "ServerB")->click();
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Conectare server"));
    QCOMPARE(recorder.calls.last().text,
             QStringLiteral("Baza de date ") + net + QStringLiteral("\rNU este corecta!\rVerificati ce-ati ales!"));
    QVERIFY(!QFile::exists(localSettings));
    QVERIFY(!w.endProgramRequested());

    for (const QString &name : tableFileNames())
        QFile(net + QLatin1Char('/') + name).open(QIODevice::WriteOnly);
    answerFolder(net + QLatin1Char('/'));
    child<QToolButton>(w, "ServerB")->click();
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Conectat la server"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("Conectarea la server a reusit!\rPorniti programul din nou !"));
    QCOMPARE(ProfileFile::readText(localSettings, QStringLiteral("CONST"), QStringLiteral("SERVER")), net);
    QCOMPARE(child<QLabel>(w, "CaleServer")->text(), net);
    QVERIFY(w.endProgramRequested());
}

void TestAdministrationWindow::clearServerFolder()
{
    Fixture f;
    MesajRecorder recorder;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    w.show();
    child<QToolButton>(w, "ServerStergeB")->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Nu aveti ce sterge."));
    QCOMPARE(lastProblem().control.data(), child<QWidget>(w, "CaleServer"));
    QVERIFY(recorder.calls.isEmpty());

    ProfileFile::writeText(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("SERVER"), QStringLiteral("/srv/date"));
    f.settings.serverPath = QStringLiteral("/srv/date");
    w.prepare();
    recorder.answers << MesajResult::Nu;
    child<QToolButton>(w, "ServerStergeB")->click();
    QCOMPARE(recorder.calls.last().text, QStringLiteral("\rDoriti sa va deconectati de la server?"));
    QVERIFY(!w.endProgramRequested());
    QCOMPARE(ProfileFile::readText(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("SERVER")),
             QStringLiteral("/srv/date"));

    recorder.answers << MesajResult::Da;
    child<QToolButton>(w, "ServerStergeB")->click();
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Deconectat de la server"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("\rSunteti deconectat de la server!\rPorniti programul din nou !"));
    QCOMPARE(ProfileFile::readText(f.session.localSettings(), QStringLiteral("CONST"), QStringLiteral("SERVER")), QString());
    QCOMPARE(child<QLabel>(w, "CaleServer")->text(), QStringLiteral("-"));
    QVERIFY(w.endProgramRequested());
    QVERIFY(!w.isVisible());
}

void TestAdministrationWindow::backupFolder()
{
    Fixture f;
    MesajRecorder recorder;
    const QString machine = f.session.machineSettings();
    auto stored = [&] { return ProfileFile::readText(machine, QStringLiteral("88"), QStringLiteral("CALESALVARI")); };
    {
        // In network mode only the server may save automatically.
        Session network = f.session;
        network.dataFolder = f.path(QStringLiteral("net"));
        AdministrationWindow w(*f.db, network, f.settings);
        w.prepare();
        answerFolder(f.path(QString()));
        child<QToolButton>(w, "SalvariB")->click();
        QCOMPARE(recorder.calls.last().title, QStringLiteral("Salvare Automata"));
        QCOMPARE(recorder.calls.last().text, QStringLiteral("Numai Serverul poate salva automat!"));
        QCOMPARE(stored(), QString());
    }
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    const QString missing = f.path(QStringLiteral("nu-exista"));
    answerFolder(missing);
    child<QToolButton>(w, "SalvariB")->click();
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Stabilire cale salvari"));
    QCOMPARE(recorder.calls.last().text,
             QStringLiteral("Nu pot scrie in ") + missing + QStringLiteral(" !\rAlegeti alta cale, unde sa pot scrie!"));
    QCOMPARE(stored(), QString());

    const QString good = f.path(QStringLiteral("stick"));
    QDir().mkpath(good);
    answerFolder(good + QLatin1Char('/'));
    child<QToolButton>(w, "SalvariB")->click();
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Salvari automate"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("Calea pentru Salvari Automate este acum \r") + good + QLatin1Char('.'));
    QCOMPARE(stored(), good);
    QCOMPARE(f.settings.backupFolder, good);
    QCOMPARE(child<QLabel>(w, "CaleSalvari")->text(), good);
    QVERIFY(!QFile::exists(good + QStringLiteral("/test.txt")));
}

void TestAdministrationWindow::clearBackupFolder()
{
    Fixture f;
    MesajRecorder recorder;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    w.show();
    child<QToolButton>(w, "SalvariStergeB")->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Salvarea automata este deja dezactivata."));
    QCOMPARE(lastProblem().control.data(), child<QWidget>(w, "CaleSalvari"));

    f.settings.backupFolder = f.path(QStringLiteral("Salvari_Date"));
    w.prepare();
    recorder.answers << MesajResult::Da;
    child<QToolButton>(w, "SalvariStergeB")->click();
    QCOMPARE(recorder.calls.at(0).title, QStringLiteral("Stergere cale salvari"));
    QCOMPARE(recorder.calls.at(0).text, QStringLiteral("Doriti sa dezactivati salvarea automata?"));
    QCOMPARE(recorder.calls.at(1).text, QStringLiteral("Salvarea automata a fost dezactivata!"));
    QCOMPARE(ProfileFile::readText(f.session.machineSettings(), QStringLiteral("88"), QStringLiteral("CALESALVARI")),
             QStringLiteral("-"));
    QCOMPARE(f.settings.backupFolder, QStringLiteral("-"));
}

void TestAdministrationWindow::restoreModel()
{
    Fixture f;
    MesajRecorder recorder;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    const QString model = w.modelPath(AdministrationWindow::Model::Instiintare);
    QCOMPARE(model, f.session.dataFolder + QStringLiteral("/Instiintare.rtf"));
    {
        QFile edited(model);
        QVERIFY(edited.open(QIODevice::WriteOnly));
        edited.write("edited by the user");
    }
    recorder.answers << MesajResult::Nu;
    w.restoreModel(AdministrationWindow::Model::Instiintare);
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Restabilire Model"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("\rDoriti sa restabiliti modelul initial?"));
    QFile kept(model);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("edited by the user"));
    kept.close();

    recorder.answers << MesajResult::Da;
    w.restoreModel(AdministrationWindow::Model::Instiintare);
    QFile restored(model);
    QVERIFY(restored.open(QIODevice::ReadOnly));
    QVERIFY(restored.readAll().startsWith("{\\rtf"));

    // The menu offers both items for each of the three models.
    QMenu *menu = child<QToolButton>(w, "ModeleB")->menu();
    QStringList groups;
    for (QAction *a : menu->actions()) {
        groups << a->text();
        QCOMPARE(a->menu()->actions().size(), 2);
        QCOMPARE(a->menu()->actions().at(0)->text(), QStringLiteral("Modifica Modelul"));
        QCOMPARE(a->menu()->actions().at(1)->text(), QStringLiteral("Refa Modelul initial"));
    }
    QCOMPARE(groups, (QStringList{QStringLiteral("Model Chitanta"), QStringLiteral("Model Instiintare de plata"),
                                  QStringLiteral("Model Somatie/Titlu executoriu")}));
}

void TestAdministrationWindow::readOnlySessionChangesNothing()
{
    Fixture f;
    f.session.readOnly = true;
    MesajRecorder recorder;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    for (const char *name : {"MemoreazaB", "SchimbaB"})
        QVERIFY2(!child<QPushButton>(w, name)->isEnabled(), name);
    for (const char *name : {"ServerB", "ServerStergeB", "SalvariB", "SalvariStergeB"})
        QVERIFY2(!child<QToolButton>(w, name)->isEnabled(), name);
    QVERIFY(!child<QComboBox>(w, "JudetC")->isEnabled());
    QVERIFY(!child<QCheckBox>(w, "ChitPDF")->isEnabled());
    for (QAction *group : child<QToolButton>(w, "ModeleB")->menu()->actions())
        for (QAction *item : group->menu()->actions())
            QVERIFY(!item->isEnabled());
    // Even when reached directly, the slots write nothing.
    child<QLineEdit>(w, "DocNr")->setText(QStringLiteral("999"));
    w.save();
    w.changePassword();
    answerFolder(f.path(QString()));
    w.chooseBackupFolder();
    QVERIFY(!QFile::exists(f.session.sharedSettings()));
    QVERIFY(!QFile::exists(f.session.machineSettings()));
    QVERIFY(recorder.calls.isEmpty());
}

QTEST_MAIN(TestAdministrationWindow)
void TestAdministrationWindow::enterOnTheCountyListMovesOn()
{
    Fixture f;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *county = child<QComboBox>(w, "JudetC");
    county->setFocus();
    QCOMPARE(QApplication::focusWidget(), county);
    QTest::keyClick(county, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(w, "DocSeria"));
    QCOMPARE(county->currentIndex(), 3);
    // Enter in the second password field still changes the password.
    auto *second = child<QLineEdit>(w, "Edit2");
    child<QLineEdit>(w, "Edit1")->setText(QStringLiteral("a"));
    second->setText(QStringLiteral("b"));
    second->setFocus();
    MesajRecorder recorder;
    QTest::keyClick(second, Qt::Key_Return);
    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Eroare la completare")});
}

void TestAdministrationWindow::receiptSeriesKeepsTwentyCharacters()
{
    Fixture f;
    AdministrationWindow w(*f.db, f.session, f.settings);
    w.prepare();
    const QString series = QStringLiteral("ABCDEFGHIJKLMNOPQRST");
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *edit = child<QLineEdit>(w, "DocSeria");
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, series + QStringLiteral("UV"));
    QCOMPARE(edit->text(), series);
    w.save();
    QCOMPARE(f.shared(QStringLiteral("CHITSERIA")), series);
}

void TestAdministrationWindow::modelsAreFoundWhateverTheirCase()
{
    Fixture f;
    QFile model(f.session.dataFolder + QStringLiteral("/MODELCHITANTA.XLS"));
    QVERIFY(model.open(QIODevice::WriteOnly));
    model.write("x");
    model.close();
    AdministrationWindow w(*f.db, f.session, f.settings);
    QCOMPARE(w.modelPath(AdministrationWindow::Model::Chitanta), model.fileName());
    QCOMPARE(w.modelPath(AdministrationWindow::Model::SomTit), f.session.dataFolder + QStringLiteral("/SomTit.rtf"));
}

void TestAdministrationWindow::accountListIsCreatedOnceAndFitsTheScreen()
{
    Fixture f;
    createMissingTables(f.session.dataFolder);
    f.db->attachDataTables();
    AdministrationWindow w(*f.db, f.session, f.settings);
    QVERIFY(!w.accountList());
    QRect seen;
    onModal(QStringLiteral("ContListF"), [&seen](QWidget *list) {
        seen = list->frameGeometry();
        list->close();
    });
    w.openAccountList();
    ContListF *first = w.accountList();
    QVERIFY(first);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(area.contains(seen), qPrintable(QStringLiteral("%1x%2").arg(seen.width()).arg(seen.height())));
    onModal(QStringLiteral("ContListF"), [](QWidget *list) { list->close(); });
    w.openAccountList();
    QCOMPARE(w.accountList(), first);
}

#include "tst_administrationwindow.moc"
