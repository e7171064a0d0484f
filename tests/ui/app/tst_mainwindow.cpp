// The main window: buttons hidden until the administration step, the password flows
// (none set, right, wrong, empty -> read-only), the closing questions per working mode,
// the unit-name check before "Evidenta", the menus, and the log entries of a run.

#include "backup/archive.h"
#include "core/workfiles.h"
#include "startup/startupsequence.h"
#include "store/changelog.h"
#include "core/clock.h"
#include "core/session.h"
#include "startup/adminsettings.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "ui/shell/filedialogs.h"
#include "ui/app/mainwindow.h"
#include "ui/shell/shelltesthelpers.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
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

    Fixture()
    {
        session.programFolder = dir.path();
        session.localDataFolder = dir.filePath(QStringLiteral("Data"));
        session.dataFolder = session.localDataFolder;
        session.tempFolder = dir.filePath(QStringLiteral("Temp"));
        session.machineFolder = dir.filePath(QStringLiteral("machine"));
        session.userLabel = QStringLiteral("test - tester");
        QDir().mkpath(session.dataFolder);
        QDir().mkpath(session.machineFolder);
        createMissingTables(session.dataFolder);
        db = std::make_unique<Database>(session.dataFolder);
        adminSettings() = AdminSettings{};
        adminSettings().unitName = QStringLiteral("Primaria Vestroni");
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList logTexts() const
    {
        QStringList out;
        const ResultSet rows = db->select(QStringLiteral("SELECT ACTIUNE FROM Log ORDER BY IDLOG"));
        for (int r = 0; r < rows.rowCount(); ++r)
            out << rows.text(r, QStringLiteral("ACTIUNE"));
        return out;
    }
};

QToolButton *button(QWidget &w, const char *name)
{
    return w.findChild<QToolButton *>(QString::fromLatin1(name));
}

QStringList visibleButtons(QWidget &w)
{
    QStringList out;
    for (const char *name : {"OutB", "MButAdm", "MBut1", "MBut2", "MBut3", "MBut4"})
        if (!button(w, name)->isHidden())
            out << QString::fromLatin1(name);
    return out;
}

// Answers the password prompt with text (or closes it when text is null).
void answerPrompt(const QString &text)
{
    onModal(QStringLiteral("Form5"), [text](QWidget *w) {
        if (text.isNull()) {
            w->findChild<QPushButton *>(QStringLiteral("InchideB"))->click();
            return;
        }
        if (!QTest::qWaitForWindowActive(w))
            qWarning("password prompt never became active");
        QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("Edit1")), text);
        w->findChild<QPushButton *>(QStringLiteral("VerificaB"))->click();
    });
}

const QStringList Locked = {QStringLiteral("OutB"), QStringLiteral("MButAdm")};
const QStringList Unlocked = {QStringLiteral("OutB"),  QStringLiteral("MButAdm"), QStringLiteral("MBut1"),
                              QStringLiteral("MBut2"), QStringLiteral("MBut3"),   QStringLiteral("MBut4")};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Clock::setToday(QDate(2025, 3, 5)); }
    void cleanup() { Clock::reset(); }

    void lockedAtStartWithCaptionsAndTips();
    void fullWidthStripWithDateAndMode();
    void noPasswordWarnsAndUnlocks();
    void rightPasswordUnlocks();
    void wrongPasswordKeepsLocked();
    void closedPromptDoesNothing();
    void emptyPasswordOpensAReadOnlySession();
    void closingQuestions_data();
    void closingQuestions();
    void closingWhileLockedAsksNothing();
    void escapeAsksToClose();
    void unitNameCheckBeforeEvidenta();
    void menus();
    void endingFromAdministrationClosesWithoutQuestion();
    void replacedDataCloseWithoutQuestion();
    void runWritesTheLogAndSavesAtClose();
    void failedSaveBackIntoAnOpenedBackupKeepsTheRestoreFolder();
    void restoredTableOfOtherCaseGetsTheClosingEntry();
};

void TestMainWindow::lockedAtStartWithCaptionsAndTips()
{
    Fixture f;
    MainWindow w(*f.db, f.session);
    QCOMPARE(visibleButtons(w), Locked);
    QCOMPARE(w.windowTitle(), QStringLiteral("Vestronia  ver.1.0049"));
    const std::pair<const char *, std::pair<QString, QString>> expected[] = {
        {"OutB", {QStringLiteral("Iesire"), QStringLiteral("Inchide programul.")}},
        {"MButAdm", {QStringLiteral("Administrare"), QStringLiteral("Administrare program.")}},
        {"MBut1", {QStringLiteral("Evidenta"), QStringLiteral("Evidenta ajutoare.")}},
        {"MBut2", {QStringLiteral("Registru de casa"), QStringLiteral("Evidenta ajutoare.")}},
        {"MBut3", {QStringLiteral("Rapoarte"), QStringLiteral("Rapoarte diverse.")}},
        {"MBut4", {QStringLiteral("Utilitare"), QStringLiteral("Operatii cu datele. Sugestii. Explicatii. Legislatie.")}},
    };
    for (const auto &[name, texts] : expected) {
        QCOMPARE(button(w, name)->text(), texts.first);
        QCOMPARE(button(w, name)->toolTip(), texts.second);
    }
}

void TestMainWindow::fullWidthStripWithDateAndMode()
{
    Fixture f;
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("DataAzi"))->text(), QStringLiteral("05.03.2025"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Panel0"))->text(), QStringLiteral("ESC - Iesire din program"));
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("Panel1"))->text(), QStringLiteral("Lucru local."));
    QCOMPARE(w.frameGeometry().width(), w.screen()->availableGeometry().width());
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Pornire program")});
    QVERIFY(recorder.calls.isEmpty());
    w.hide();
}

void TestMainWindow::noPasswordWarnsAndUnlocks()
{
    Fixture f;
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click();
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Administrare"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("\r    ATENTIE!\r\nNu aveti nici o parola!"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Atentie);
    QCOMPARE(recorder.calls[0].buttons, MesajButtons::OK);
    QCOMPARE(visibleButtons(w), Unlocked);
    QVERIFY(f.session.administratorUnlocked);
    QVERIFY(f.session.canModify());
    // The second click opens the administration window directly.
    bool opened = false;
    onModal(QStringLiteral("Form4"), [&](QWidget *form) {
        opened = true;
        static_cast<QDialog *>(form)->reject();
    });
    button(w, "MButAdm")->click();
    QVERIFY(opened);
    QCOMPARE(recorder.calls.size(), 1);
}

void TestMainWindow::rightPasswordUnlocks()
{
    Fixture f;
    setAdministratorPassword(f.session, QStringLiteral("Vestroni"));
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    answerPrompt(QStringLiteral("Vestroni"));
    button(w, "MButAdm")->click();
    QCOMPARE(visibleButtons(w), Unlocked);
    QVERIFY(recorder.calls.isEmpty());
    QVERIFY(f.session.canModify());
}

void TestMainWindow::wrongPasswordKeepsLocked()
{
    Fixture f;
    setAdministratorPassword(f.session, QStringLiteral("Vestroni"));
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    answerPrompt(QStringLiteral("vestroni"));
    button(w, "MButAdm")->click();
    QCOMPARE(visibleButtons(w), Locked);
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Greseala!"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("PAROLA INCORECTA !"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Eroare);
    QVERIFY(!f.session.administratorUnlocked);
    // The user may try again at once.
    answerPrompt(QStringLiteral("Vestroni"));
    button(w, "MButAdm")->click();
    QCOMPARE(visibleButtons(w), Unlocked);
    QVERIFY(f.session.canModify());
}

void TestMainWindow::closedPromptDoesNothing()
{
    Fixture f;
    setAdministratorPassword(f.session, QStringLiteral("Vestroni"));
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    answerPrompt(QString());
    button(w, "MButAdm")->click();
    QCOMPARE(visibleButtons(w), Locked);
    QVERIFY(recorder.calls.isEmpty());
    QVERIFY(!f.session.administratorUnlocked);
}

void TestMainWindow::emptyPasswordOpensAReadOnlySession()
{
    Fixture f;
    setAdministratorPassword(f.session, QStringLiteral("Vestroni"));
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    answerPrompt(QStringLiteral(""));
    button(w, "MButAdm")->click();
    QCOMPARE(visibleButtons(w), Unlocked);
    QVERIFY(f.session.readOnly);
    QVERIFY(!f.session.canModify());
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Bine ati venit!"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("Nu aveti dreptul sa modificati datele!"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Atentie);

    // The administration window opens, but nothing in it can change data.
    QStringList enabled;
    onModal(QStringLiteral("Form4"), [&](QWidget *form) {
        for (const char *name : {"MemoreazaB", "SchimbaB", "ServerB", "ServerStergeB", "SalvariB", "SalvariStergeB"})
            if (form->findChild<QWidget *>(QString::fromLatin1(name))->isEnabled())
                enabled << QString::fromLatin1(name);
        QVERIFY(form->findChild<QLineEdit *>(QStringLiteral("UnitateE"))->isReadOnly());
        static_cast<QDialog *>(form)->reject();
    });
    button(w, "MButAdm")->click();
    QCOMPARE(enabled, QStringList());
    // The right password later does not lift it: the session stays read-only.
    QVERIFY(!f.session.canModify());

    // Loading a backup is off in the backup window.
    bool loadEnabled = true;
    onModal(QStringLiteral("Form6"), [&](QWidget *form) {
        loadEnabled = form->findChild<QPushButton *>(QStringLiteral("IncarcaB"))->isEnabled();
        QVERIFY(form->findChild<QPushButton *>(QStringLiteral("SalveazaB"))->isEnabled());
        static_cast<QDialog *>(form)->reject();
    });
    QMenu *utilities = button(w, "MBut4")->menu();
    for (QAction *a : utilities->actions())
        if (a->objectName() == QStringLiteral("SalvareIncarcare"))
            a->trigger();
    QVERIFY(!loadEnabled);
}

void TestMainWindow::closingQuestions_data()
{
    QTest::addColumn<QString>("mode");     // local, network, backup
    QTest::addColumn<bool>("backupFolder"); // an automatic-backup folder exists
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("saves");

    const QString autoTitle = QStringLiteral("Salvare Automata");
    const QString autoText = QStringLiteral("\rDoriti sa facem o copie la datele de azi?");
    const QString plainTitle = QStringLiteral("Inchidere program");
    const QString plainText = QStringLiteral("\rDoriti sa inchideti programul?");
    const QString keepTitle = QStringLiteral("Salvare modificari");
    const QString keepText = QStringLiteral("Doriti sa pastrati modificarile facute?");
    const int da = MesajResult::Da, nu = MesajResult::Nu, esc = MesajResult::Renunt;

    QTest::newRow("local, copy: Da") << "local" << true << false << da << autoTitle << autoText << true << true;
    QTest::newRow("local, copy: Nu") << "local" << true << false << nu << autoTitle << autoText << true << false;
    QTest::newRow("local, copy: Esc") << "local" << true << false << esc << autoTitle << autoText << false << false;
    QTest::newRow("local, no folder: Da") << "local" << false << false << da << plainTitle << plainText << true << false;
    QTest::newRow("local, no folder: Nu") << "local" << false << false << nu << plainTitle << plainText << false << false;
    QTest::newRow("network never copies") << "network" << true << false << da << plainTitle << plainText << true << false;
    QTest::newRow("backup: Da") << "backup" << true << false << da << keepTitle << keepText << true << true;
    QTest::newRow("backup: Nu") << "backup" << true << false << nu << keepTitle << keepText << true << false;
    QTest::newRow("backup: Esc") << "backup" << false << false << esc << keepTitle << keepText << false << false;
    // The monthly run at opening changed the data even in a read-only session.
    QTest::newRow("backup, read-only still asks to keep") << "backup" << true << true << da << keepTitle << keepText << true
                                                          << true;
    QTest::newRow("local read-only still copies") << "local" << true << true << da << autoTitle << autoText << true << true;
}

void TestMainWindow::closingQuestions()
{
    QFETCH(QString, mode);
    QFETCH(bool, backupFolder);
    QFETCH(bool, readOnly);
    QFETCH(int, answer);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(bool, closes);
    QFETCH(bool, saves);
    Fixture f;
    if (mode == QLatin1String("network")) {
        f.session.dataFolder = f.path(QStringLiteral("net"));
    } else if (mode == QLatin1String("backup")) {
        f.session.openedBackup = f.path(QStringLiteral("copie.vrn"));
        f.session.dataFolder = f.path(QStringLiteral("SAV0/Data"));
    }
    if (backupFolder) {
        QDir().mkpath(f.path(QStringLiteral("Salvari_Date")));
        adminSettings().backupFolder = f.path(QStringLiteral("Salvari_Date"));
    }
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click(); // no password: unlocks
    f.session.readOnly = readOnly;
    recorder.calls.clear();
    recorder.answers << answer;
    QCOMPARE(w.close(), closes);
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, title);
    QCOMPARE(recorder.calls[0].text, text);
    QCOMPARE(recorder.calls[0].kind, MesajKind::Confirmare);
    QCOMPARE(recorder.calls[0].buttons, MesajButtons::DaNu);
    QCOMPARE(w.saveAtClose(), saves);
}

void TestMainWindow::closingWhileLockedAsksNothing()
{
    Fixture f;
    QDir().mkpath(f.path(QStringLiteral("Salvari_Date")));
    adminSettings().backupFolder = f.path(QStringLiteral("Salvari_Date"));
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    QVERIFY(w.close());
    QVERIFY(recorder.calls.isEmpty());
    QVERIFY(!w.saveAtClose());
}

void TestMainWindow::escapeAsksToClose()
{
    Fixture f;
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    recorder.calls.clear();
    recorder.answers << MesajResult::Nu;
    QTest::keyClick(&w, Qt::Key_Escape);
    QCOMPARE(recorder.titles(), QStringList{QStringLiteral("Inchidere program")});
    QVERIFY(w.isVisible());
    recorder.answers << MesajResult::Da;
    button(w, "OutB")->click();
    QVERIFY(!w.isVisible());
}

void TestMainWindow::unitNameCheckBeforeEvidenta()
{
    Fixture f;
    // A register with a subscriber: an empty one would first offer the import.
    f.db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, LOC) VALUES (1, 'POPESCU ION', 'SAT')"));
    adminSettings().unitName = QStringLiteral("  ");
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click();
    recorder.calls.clear();

    // Nu: the screen opens without the administration window.
    int screens = 0;
    auto closeScreen = [&screens](QWidget *screen) {
        ++screens;
        static_cast<QDialog *>(screen)->reject();
    };
    recorder.answers << MesajResult::Nu;
    onModal(QStringLiteral("Evidenta"), closeScreen);
    button(w, "MBut1")->click();
    QCOMPARE(screens, 1);
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Atentionare"));
    QCOMPARE(recorder.calls[0].text,
             QStringLiteral("Nu ati completat denumirea unitatii la Administrare!\rDoriti sa o completati acum?"));
    QCOMPARE(recorder.calls[0].buttons, MesajButtons::DaNu);
    QCOMPARE(recorder.calls[0].kind, MesajKind::Atentie);
    QVERIFY(button(w, "MBut1")->isEnabled());

    // Da: the administration window first, every time the name is still blank.
    recorder.calls.clear();
    recorder.answers << MesajResult::Da;
    bool opened = false;
    onModal(QStringLiteral("Form4"), [&](QWidget *form) {
        opened = true;
        static_cast<QDialog *>(form)->reject();
    });
    onModal(QStringLiteral("Evidenta"), closeScreen);
    button(w, "MBut1")->click();
    QVERIFY(opened);
    QCOMPARE(screens, 2);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Atentionare"));

    // With a name the question is not asked.
    adminSettings().unitName = QStringLiteral("Primaria Vestroni");
    recorder.calls.clear();
    onModal(QStringLiteral("Evidenta"), closeScreen);
    button(w, "MBut1")->click();
    QVERIFY(!recorder.titles().contains(QStringLiteral("Atentionare")));
    QCOMPARE(screens, 3);
}

void TestMainWindow::menus()
{
    Fixture f;
    MainWindow w(*f.db, f.session);
    auto enabledTexts = [](QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                out << (a->isEnabled() ? QStringLiteral("+") : QStringLiteral("-")) + a->text();
        return out;
    };
    QMenu *reports = button(w, "MBut3")->menu();
    QVERIFY(reports);
    QCOMPARE(enabledTexts(reports),
             (QStringList{QStringLiteral("+Lista Abonati - Numar de persoane"), QStringLiteral("+Borderou Incasari"),
                          QStringLiteral("+Bilant analitic/sintetic"), QStringLiteral("+Centralizator Urmariri"),
                          QStringLiteral("+Centralizator incasari pe ani")}));
    QMenu *follow = reports->findChild<QMenu *>(QStringLiteral("CentralizatorUrmariri"));
    QCOMPARE(enabledTexts(follow), (QStringList{QStringLiteral("+Centralizator Instiintari de plata"),
                                                QStringLiteral("+Centralizator Somatii/Titluri executorii")}));
    QCOMPARE(enabledTexts(button(w, "MBut4")->menu()),
             (QStringList{QStringLiteral("+Salvare / Incarcare baza de date"), QStringLiteral("+Urmariri in masa"),
                          QStringLiteral("+Extras bancar"),
                          QStringLiteral("+Condica de sugestii"), QStringLiteral("+Istoricul modificarii datelor")}));
}

void TestMainWindow::endingFromAdministrationClosesWithoutQuestion()
{
    Fixture f;
    QDir().mkpath(f.path(QStringLiteral("Salvari_Date")));
    adminSettings().backupFolder = f.path(QStringLiteral("Salvari_Date"));
    adminSettings().serverPath = QStringLiteral("/srv/date");
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    w.show();
    button(w, "MButAdm")->click();
    // Back to local work: Da, then the notice; the program must end.
    recorder.calls.clear();
    recorder.answers << MesajResult::Da << MesajResult::OK;
    onModal(QStringLiteral("Form4"), [](QWidget *form) {
        form->findChild<QToolButton *>(QStringLiteral("ServerStergeB"))->click();
    });
    button(w, "MButAdm")->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(recorder.titles(), (QStringList{QStringLiteral("Stergere cale server"), QStringLiteral("Deconectat de la server")}));
    QVERIFY(!w.saveAtClose());
}

void TestMainWindow::replacedDataCloseWithoutQuestion()
{
    Fixture f;
    QDir().mkpath(f.path(QStringLiteral("Salvari_Date")));
    adminSettings().backupFolder = f.path(QStringLiteral("Salvari_Date"));
    // An earlier copy of this data folder.
    NullProgress progress;
    const QString archive = f.path(QStringLiteral("earlier.vrn"));
    QVERIFY(writeArchive(f.session.dataFolder, archive, progress) > 0);
    setFileDialogHook([archive](FileDialogKind, const QString &) { return archive; });
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    w.show();
    button(w, "MButAdm")->click();
    recorder.calls.clear();
    recorder.answers << MesajResult::Da << MesajResult::OK;
    onModal(QStringLiteral("Form6"), [](QWidget *form) {
        form->findChild<QPushButton *>(QStringLiteral("IncarcaB"))->click();
    });
    for (QAction *a : button(w, "MBut4")->menu()->actions())
        if (a->objectName() == QStringLiteral("SalvareIncarcare"))
            a->trigger();
    setFileDialogHook({});
    QCOMPARE(recorder.titles(), (QStringList{QStringLiteral("Incarcare date"), QStringLiteral("Informatie")}));
    QVERIFY(!w.isVisible());
    QVERIFY(button(w, "MBut1")->isHidden());
    QVERIFY(!w.saveAtClose());
}

void TestMainWindow::runWritesTheLogAndSavesAtClose()
{
    Fixture f;
    const QString folder = f.path(QStringLiteral("Salvari_Date"));
    QDir().mkpath(folder);
    adminSettings().backupFolder = folder;
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click();
    recorder.answers << MesajResult::Da; // "Salvare Automata"
    QTimer::singleShot(50, &w, [&] { w.close(); });
    w.run();
    QVERIFY(!w.isVisible());
    QCOMPARE(f.logTexts(), (QStringList{QStringLiteral("Pornire program"), QStringLiteral("Inchidere Program.")}));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/20250305_0.vrn")));
    NullProgress progress;
    QVERIFY(readArchive(folder + QStringLiteral("/20250305_0.vrn"), f.path(QStringLiteral("out")), progress));
    QVERIFY(QFileInfo::exists(f.path(QStringLiteral("out/LOG.DBF"))) || QFileInfo::exists(f.path(QStringLiteral("out/Log.dbf"))));
}

void TestMainWindow::failedSaveBackIntoAnOpenedBackupKeepsTheRestoreFolder()
{
    Fixture f;
    const QString blocker = f.path(QStringLiteral("stick"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly)); // a file where the backup's folder should be
    file.close();
    f.session.openedBackup = blocker + QStringLiteral("/copie.vrn");
    f.session.programFolder = f.path(QStringLiteral("SAV0"));
    f.session.dataFolder = f.path(QStringLiteral("SAV0/Data"));
    QDir().mkpath(f.session.dataFolder);
    createMissingTables(f.session.dataFolder);
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click();
    recorder.calls.clear();
    recorder.answers << MesajResult::Da << MesajResult::OK;
    QTimer::singleShot(50, &w, [&] { w.close(); });
    w.run();
    QCOMPARE(recorder.titles(), (QStringList{QStringLiteral("Salvare modificari"), QStringLiteral("Salvare date")}));
    QVERIFY(recorder.calls[1].text.contains(QDir::toNativeSeparators(f.session.programFolder)));
    QVERIFY(isKeptRestoreFolder(f.session.programFolder));
    shutdownCleanup(f.session);
    QVERIFY(QFileInfo::exists(f.session.dataFolder + QStringLiteral("/Abonat.dbf")));
}

void TestMainWindow::restoredTableOfOtherCaseGetsTheClosingEntry()
{
    Fixture f;
    // An earlier copy whose log file is spelled in other letters than the current one.
    const QString source = f.path(QStringLiteral("source"));
    QDir().mkpath(source);
    createMissingTables(source);
    const QString logFile = findFileNoCase(source, QStringLiteral("log.dbf"));
    const QString otherCase = QFileInfo(logFile).fileName() == QStringLiteral("log.dbf") ? QStringLiteral("LOG.DBF")
                                                                                         : QStringLiteral("log.dbf");
    QVERIFY(QFile::rename(logFile, source + QLatin1Char('/') + otherCase));
    NullProgress progress;
    const QString archive = f.path(QStringLiteral("earlier.vrn"));
    QVERIFY(writeArchive(source, archive, progress) > 0);
    setFileDialogHook([archive](FileDialogKind, const QString &) { return archive; });
    MesajRecorder recorder;
    MainWindow w(*f.db, f.session);
    button(w, "MButAdm")->click();
    recorder.answers << MesajResult::Da << MesajResult::OK;
    onModal(QStringLiteral("Form6"), [](QWidget *form) {
        form->findChild<QPushButton *>(QStringLiteral("IncarcaB"))->click();
    });
    for (QAction *a : button(w, "MBut4")->menu()->actions())
        if (a->objectName() == QStringLiteral("SalvareIncarcare"))
            a->trigger();
    setFileDialogHook({});
    QVERIFY(QFileInfo::exists(f.session.dataFolder + QLatin1Char('/') + otherCase));
    addLog(*f.db, f.session, QStringLiteral("Inchidere Program."));
    Database fresh(f.session.dataFolder);
    QCOMPARE(fresh.scalar(QStringLiteral("SELECT COUNT(*) FROM Log WHERE ACTIUNE='Inchidere Program.'")).toInt(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
