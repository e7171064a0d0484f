// Pictures of the shell windows for review: the main window locked and unlocked, the
// message dialog of each kind, the problem balloon, the progress window, the password
// prompt, the administration, backup and change-log windows. Runs only when
// VESTRONIA_SCREENSHOTS names an output folder (scripts/screenshots.sh runs it under a
// virtual X server); every picture written is checked to be a real image.

#include "core/clock.h"
#include "core/counters.h"
#include "core/profilefile.h"
#include "core/session.h"
#include "startup/adminsettings.h"
#include "store/changelog.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "ui/shell/balloon.h"
#include "ui/shell/contor.h"
#include "ui/shell/erori.h"
#include "ui/app/mainwindow.h"
#include "ui/app/administrationwindow.h"
#include "ui/shell/passwordprompt.h"
#include "ui/app/backupwindow.h"
#include "ui/app/logview.h"
#include "ui/shell/mesaj.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace vestronia;

class TestShellScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mainWindow();
    void messages();
    void balloonAndProgress();
    void administrationBackupAndLog();

private:
    void save(QWidget &w, const QString &name);
    void saveScreen(const QString &name);
    QString m_out;
    QTemporaryDir m_home;
    Session m_session;
    std::unique_ptr<Database> m_db;
};

void TestShellScreenshots::initTestCase()
{
    m_out = qEnvironmentVariable("VESTRONIA_SCREENSHOTS");
    if (m_out.isEmpty())
        QSKIP("set VESTRONIA_SCREENSHOTS to a folder to take the pictures (scripts/screenshots.sh)");
    QDir().mkpath(m_out);
    Clock::setToday(QDate(2025, 3, 5));
    m_session.programFolder = m_home.path();
    m_session.localDataFolder = m_session.dataFolder = m_home.filePath(QStringLiteral("Data"));
    m_session.tempFolder = m_home.filePath(QStringLiteral("Temp"));
    m_session.machineFolder = m_home.filePath(QStringLiteral("machine"));
    m_session.userLabel = QStringLiteral("PRIMARIE-PC1 - ana");
    QDir().mkpath(m_session.dataFolder);
    QDir().mkpath(m_session.machineFolder);
    createMissingTables(m_session.dataFolder);
    m_db = std::make_unique<Database>(m_session.dataFolder);
    const QString sh = m_session.sharedSettings();
    ProfileFile::writeText(sh, QStringLiteral("CONST"), QStringLiteral("CHITSERIA"), QStringLiteral("VST"));
    Counters::set(sh, QStringLiteral("CHITNR"), 1284);
    Counters::set(sh, QStringLiteral("NCNR"), 37);
    AdminSettings &s = adminSettings();
    s.unitName = QStringLiteral("Serviciul de Salubrizare Vestroni");
    s.locality = QStringLiteral("Vestroni");
    s.county = 12;
    s.backupFolder = QStringLiteral("/home/ana/Documente/Salvari_Date");
    s.serverPath = QStringLiteral("-");
    const char *entries[] = {"Pornire program", "Adaugare Abonat: POPESCU ION", "Eliberat Chitanta nr.1281 = 45.5 lei, POPESCU ION",
                             "Modificare suma abonament: IONESCU MARIA - Salubrizare de la 12 la 15 lei.",
                             "Eliberat Chitanta nr.1282 = 30 lei, IONESCU MARIA", "Stergere debit: VASILE DAN - Salubrizare 02.2025=15",
                             "Inchidere Program."};
    for (const char *e : entries)
        addLog(*m_db, m_session, QString::fromLatin1(e));
}

void TestShellScreenshots::save(QWidget &w, const QString &name)
{
    QTest::qWait(150);
    const QString path = m_out + QLatin1Char('/') + name + QStringLiteral(".png");
    QVERIFY(w.grab().save(path));
    QImage check(path);
    QVERIFY(!check.isNull() && check.width() > 50 && check.height() > 30);
}

void TestShellScreenshots::saveScreen(const QString &name)
{
    QTest::qWait(250);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QString path = m_out + QLatin1Char('/') + name + QStringLiteral(".png");
    QPixmap shot = screen->grabWindow(0);
    if (shot.isNull())
        QSKIP("this platform cannot grab the screen");
    QVERIFY(shot.save(path));
}

void TestShellScreenshots::mainWindow()
{
    MainWindow w(*m_db, m_session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    save(w, QStringLiteral("form3-locked"));
    setMesajHook([](const MesajCall &) { return MesajResult::OK; });
    w.findChild<QToolButton *>(QStringLiteral("MButAdm"))->click();
    setMesajHook({});
    save(w, QStringLiteral("form3-unlocked"));

    // The strip as it sits on a desktop, with the backup window open below it.
    QWidget desktop(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    QPalette palette;
    QLinearGradient sky(0, 0, 0, desktop.height());
    sky.setColorAt(0, QColor(46, 80, 120));
    sky.setColorAt(1, QColor(110, 150, 180));
    palette.setBrush(QPalette::Window, sky);
    desktop.setPalette(palette);
    desktop.setAutoFillBackground(true);
    w.hide();
    desktop.show();
    QVERIFY(QTest::qWaitForWindowExposed(&desktop));
    w.show();
    w.raise();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    BackupWindow backup(*m_db, m_session, &w);
    backup.show();
    backup.move(desktop.width() / 2 - backup.width() / 2, desktop.height() / 2 - backup.height() / 2);
    QVERIFY(QTest::qWaitForWindowExposed(&backup));
    saveScreen(QStringLiteral("desktop-form3"));
    backup.hide();
    desktop.hide();
    w.hide();
}

void TestShellScreenshots::messages()
{
    struct Sample
    {
        int kind;
        int buttons;
        const char *title;
        const char *text;
        const char *file;
    };
    const Sample samples[] = {
        {MesajKind::Atentie, MesajButtons::DaNu, "Atentionare",
         "Nu ati completat denumirea unitatii la Administrare!\rDoriti sa o completati acum?", "mesaj-atentie"},
        {MesajKind::Eroare, MesajButtons::OK, "Greseala!", "PAROLA INCORECTA !", "mesaj-eroare"},
        {MesajKind::Informatie, MesajButtons::OK, "Informatie", "\rSalvare incheiata cu succes !", "mesaj-informatie"},
        {MesajKind::Confirmare, MesajButtons::DaNu, "Salvare Automata", "\rDoriti sa facem o copie la datele de azi?",
         "mesaj-confirmare"},
        {MesajKind::Confirmare, 15, "Toate butoanele", "Un mesaj cu toate cele patru butoane, pentru asezarea lor.",
         "mesaj-patru-butoane"},
    };
    for (const Sample &s : samples) {
        Erori dialog;
        dialog.setMessage(QString::fromLatin1(s.title), QString::fromLatin1(s.text), s.buttons, s.kind);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        save(dialog, QString::fromLatin1(s.file));
        dialog.hide();
    }
}

void TestShellScreenshots::balloonAndProgress()
{
    // The balloon is its own window: picture the form and the balloon together.
    QWidget form;
    form.setWindowTitle(QStringLiteral("Adaugare Incasare"));
    form.resize(460, 200);
    auto *edit = new QLineEdit(&form);
    edit->setGeometry(120, 40, 160, 28);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    showProblem(edit, QStringLiteral("Nu ati scris Suma!"));
    QWidget *balloon = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("ProblemBalloon"))
            balloon = w;
    QVERIFY(balloon);
    QTest::qWait(150);
    QImage canvas(form.width() + 40, qMax(form.height(), balloon->geometry().bottom() - form.geometry().top()) + 20,
                  QImage::Format_ARGB32);
    canvas.fill(QColor(90, 110, 140));
    QPainter p(&canvas);
    p.drawPixmap(0, 0, form.grab());
    p.drawPixmap(balloon->geometry().topLeft() - form.geometry().topLeft(), balloon->grab());
    p.end();
    QVERIFY(canvas.save(m_out + QStringLiteral("/balloon.png")));
    clearLastProblem();
    form.hide();

    Contor contor;
    contor.setText(QStringLiteral("Salvez datele..."));
    contor.setTotal(10);
    contor.start();
    for (int i = 0; i < 6; ++i)
        contor.step();
    save(contor, QStringLiteral("contor"));
    contor.finish();

    PasswordPrompt prompt;
    prompt.show();
    QVERIFY(QTest::qWaitForWindowActive(&prompt));
    QTest::keyClicks(prompt.findChild<QLineEdit *>(QStringLiteral("Edit1")), QStringLiteral("parola"));
    save(prompt, QStringLiteral("form5"));
    prompt.hide();
}

void TestShellScreenshots::administrationBackupAndLog()
{
    AdministrationWindow admin(*m_db, m_session, adminSettings());
    admin.prepare();
    admin.show();
    QVERIFY(QTest::qWaitForWindowExposed(&admin));
    save(admin, QStringLiteral("form4"));
    admin.hide();

    BackupWindow backup(*m_db, m_session);
    backup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&backup));
    save(backup, QStringLiteral("form6"));
    backup.hide();

    LogView log(*m_db);
    log.prepare();
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    save(log, QStringLiteral("logview"));
    log.hide();
}

QTEST_MAIN(TestShellScreenshots)
#include "tst_shellscreenshots.moc"
