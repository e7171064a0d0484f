// The backup window: saving a copy (refusal in the data folder, the overwrite question,
// success, the remote-copy question), loading an earlier copy (question, success, a bad
// archive that leaves the data alone), and when loading is off.

#include "backup/archive.h"
#include "store/database.h"
#include "ui/shell/filedialogs.h"
#include "ui/app/backupwindow.h"
#include "ui/shell/shelltesthelpers.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;
using namespace vestronia::testing;

namespace {

struct Fixture
{
    QTemporaryDir dir;
    Session session;
    std::unique_ptr<Database> db;
    QList<FileDialogKind> dialogs;
    QStringList dialogTitles;

    Fixture()
    {
        session.programFolder = dir.path();
        session.localDataFolder = dir.filePath(QStringLiteral("Data"));
        session.dataFolder = session.localDataFolder;
        session.tempFolder = dir.filePath(QStringLiteral("Temp"));
        QDir().mkpath(session.dataFolder);
        write(session.dataFolder + QStringLiteral("/Registru.dat"), "current debits");
        write(session.dataFolder + QStringLiteral("/Vestrona.set"), "[INDEX]\r\nIDAB=3\r\n");
        db = std::make_unique<Database>(session.dataFolder);
    }
    ~Fixture()
    {
        setFileDialogHook({});
        BackupWindow::setRemoteBackup({}, {});
    }
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void answer(const QString &path)
    {
        setFileDialogHook([this, path](FileDialogKind kind, const QString &title) {
            dialogs << kind;
            dialogTitles << title;
            return path;
        });
    }
    QString path(const QString &name) const { return dir.filePath(name); }
};

} // namespace

class TestBackupWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowAndButtons();
    void saveRefusedInTheDataFolder();
    void saveAddsTheSuffixAndReportsSuccess();
    void overwriteQuestion();
    void remoteCopyQuestionOnlyWithRemoteBackup();
    void loadReplacesTheDataAndEndsTheRun();
    void loadQuestionNuChangesNothing();
    void loadOfABadArchiveLeavesTheData();
    void loadIsOffForAnOpenedBackupAndReadOnly();
};

void TestBackupWindow::windowAndButtons()
{
    Fixture f;
    BackupWindow w(*f.db, f.session);
    QCOMPARE(w.windowTitle(), QStringLiteral("Copie - inlocuieste baza de date"));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("SalveazaB"))->text(), QStringLiteral("Salveaza o copie a datelor"));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("IncarcaB"))->text(), QStringLiteral("Incarca o salvare anterioara"));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("DistantaB"))->text(),
             QStringLiteral("Copie / Recupereaza date la Distanta"));
    bool remoteEnabled = true;
    onModal(QStringLiteral("Form6"), [&](QWidget *dialog) {
        remoteEnabled = dialog->findChild<QPushButton *>(QStringLiteral("DistantaB"))->isEnabled();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QVERIFY(!w.run());
    QVERIFY(!remoteEnabled); // no remote backup in this build of the window
}

void TestBackupWindow::saveRefusedInTheDataFolder()
{
    Fixture f;
    MesajRecorder recorder;
    BackupWindow w(*f.db, f.session);
    f.answer(f.session.dataFolder + QStringLiteral("/copie.vrn"));
    w.saveCopy();
    QCOMPARE(f.dialogs, QList<FileDialogKind>{FileDialogKind::SaveFile});
    QCOMPARE(f.dialogTitles, QStringList{QStringLiteral("Unde salvam datele ?")});
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Salvare date"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("\rNu puteti salva aici!"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Eroare);
    QVERIFY(!QFile::exists(f.session.dataFolder + QStringLiteral("/copie.vrn")));
}

void TestBackupWindow::saveAddsTheSuffixAndReportsSuccess()
{
    Fixture f;
    MesajRecorder recorder;
    BackupWindow w(*f.db, f.session);
    f.answer(f.path(QStringLiteral("copie")));
    w.saveCopy();
    const QString saved = f.path(QStringLiteral("copie.vrn"));
    QVERIFY(QFile::exists(saved));
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Informatie"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("\rSalvare incheiata cu succes !"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Informatie);
    NullProgress progress;
    QVERIFY(readArchive(saved, f.path(QStringLiteral("out")), progress));
    QCOMPARE(Fixture::read(f.path(QStringLiteral("out/Registru.dat"))), QByteArray("current debits"));
}

void TestBackupWindow::overwriteQuestion()
{
    Fixture f;
    MesajRecorder recorder;
    BackupWindow w(*f.db, f.session);
    const QString target = f.path(QStringLiteral("copie.vrn"));
    Fixture::write(target, "old copy");
    f.answer(target);
    recorder.answers << MesajResult::Nu;
    w.saveCopy();
    QCOMPARE(recorder.calls.size(), 1);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Atentionare"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("\rVreti sa inlocuiti salvarea ") + target + QLatin1Char('?'));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Atentie);
    QCOMPARE(Fixture::read(target), QByteArray("old copy"));

    recorder.answers << MesajResult::Da;
    w.saveCopy();
    QVERIFY(Fixture::read(target) != QByteArray("old copy"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("\rSalvare incheiata cu succes !"));
}

void TestBackupWindow::remoteCopyQuestionOnlyWithRemoteBackup()
{
    Fixture f;
    MesajRecorder recorder;
    QStringList handed;
    BackupWindow::setRemoteBackup([&](const QString &file) { handed << file; }, [](QWidget *) { return false; });
    BackupWindow w(*f.db, f.session);
    f.answer(f.path(QStringLiteral("copie.vrn")));
    recorder.answers << MesajResult::OK << MesajResult::Da;
    w.saveCopy();
    QCOMPARE(recorder.titles(), (QStringList{QStringLiteral("Informatie"), QStringLiteral("Copie la Distanta")}));
    QCOMPARE(recorder.calls[1].text, QStringLiteral("\rDoriti sa transmiteti salvarea si pe Server?"));
    QCOMPARE(recorder.calls[1].kind, MesajKind::Confirmare);
    QCOMPARE(handed, QStringList{f.path(QStringLiteral("copie.vrn"))});

    recorder.answers << MesajResult::OK << MesajResult::Nu;
    w.saveCopy();
    QCOMPARE(handed.size(), 1);
}

void TestBackupWindow::loadReplacesTheDataAndEndsTheRun()
{
    Fixture f;
    // An earlier copy with other data.
    const QString other = f.path(QStringLiteral("other"));
    QDir().mkpath(other);
    Fixture::write(other + QStringLiteral("/Registru.dat"), "earlier debits");
    const QString archive = f.path(QStringLiteral("earlier.vrn"));
    NullProgress none;
    QCOMPARE(writeArchive(other, archive, none), 1);

    MesajRecorder recorder;
    recorder.answers << MesajResult::Da;
    f.answer(archive);
    BackupWindow w(*f.db, f.session);
    onModal(QStringLiteral("Form6"), [](QWidget *dialog) {
        dialog->findChild<QPushButton *>(QStringLiteral("IncarcaB"))->click();
    });
    QVERIFY(w.run());
    QCOMPARE(f.dialogs, QList<FileDialogKind>{FileDialogKind::OpenFile});
    QCOMPARE(f.dialogTitles, QStringList{QStringLiteral("Indicati o salvare Vestronia!")});
    QCOMPARE(recorder.calls.size(), 2);
    QCOMPARE(recorder.calls[0].title, QStringLiteral("Incarcare date"));
    QCOMPARE(recorder.calls[0].text, QStringLiteral("Prin preluarea datelor dintr-o salvare anterioara,\rse sterg datele "
                                                    "curente si sunt inlocuite cu cele din salvare!\rContinuam operatiunea?"));
    QCOMPARE(recorder.calls[0].kind, MesajKind::Atentie);
    QCOMPARE(recorder.calls[1].title, QStringLiteral("Informatie"));
    QCOMPARE(recorder.calls[1].text, QStringLiteral("Restaurare incheiata cu succes !\r\nVa rog sa porniti programul din nou !"));
    QCOMPARE(Fixture::read(f.session.dataFolder + QStringLiteral("/Registru.dat")), QByteArray("earlier debits"));
    QCOMPARE(Fixture::read(f.path(QStringLiteral("DataBAK/Registru.dat"))), QByteArray("current debits"));
}

void TestBackupWindow::loadQuestionNuChangesNothing()
{
    Fixture f;
    MesajRecorder recorder;
    recorder.answers << MesajResult::Nu;
    f.answer(f.path(QStringLiteral("any.vrn")));
    BackupWindow w(*f.db, f.session);
    w.loadEarlier();
    QVERIFY(f.dialogs.isEmpty());
    QVERIFY(!w.dataReplaced());
    QCOMPARE(Fixture::read(f.session.dataFolder + QStringLiteral("/Registru.dat")), QByteArray("current debits"));
}

void TestBackupWindow::loadOfABadArchiveLeavesTheData()
{
    Fixture f;
    const QString forged = f.path(QStringLiteral("forged.vrn"));
    // One entry whose name climbs out of the folder.
    QByteArray bytes;
    bytes.append("\x01\x00\x00\x00", 4);
    const QByteArray name = "../Data/Registru.dat";
    bytes.append(char(name.size())).append("\x00\x00\x00", 3).append(name);
    bytes.append("\x04\x00\x00\x00", 4);
    bytes.append(QByteArray::fromHex("78da4b2dcbcc0100043801b1")); // zlib stream of "evil"
    Fixture::write(forged, bytes);

    MesajRecorder recorder;
    recorder.answers << MesajResult::Da;
    f.answer(forged);
    BackupWindow w(*f.db, f.session);
    w.loadEarlier();
    QVERIFY(!w.dataReplaced());
    QCOMPARE(recorder.calls.last().title, QStringLiteral("Restaurare date"));
    QCOMPARE(recorder.calls.last().text, QStringLiteral("Restaurare esuata!"));
    QCOMPARE(recorder.calls.last().kind, MesajKind::Eroare);
    QCOMPARE(Fixture::read(f.session.dataFolder + QStringLiteral("/Registru.dat")), QByteArray("current debits"));
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("DataBAK/Registru.dat"))));
}

void TestBackupWindow::loadIsOffForAnOpenedBackupAndReadOnly()
{
    for (int variant = 0; variant < 2; ++variant) {
        Fixture f;
        if (variant == 0) {
            f.session.openedBackup = f.path(QStringLiteral("opened.vrn"));
            f.session.dataFolder = f.path(QStringLiteral("SAV0/Data"));
        } else {
            f.session.readOnly = true;
        }
        MesajRecorder recorder;
        BackupWindow w(*f.db, f.session);
        bool loadEnabled = true;
        onModal(QStringLiteral("Form6"), [&](QWidget *dialog) {
            loadEnabled = dialog->findChild<QPushButton *>(QStringLiteral("IncarcaB"))->isEnabled();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!w.run());
        QVERIFY(!loadEnabled);
        // Reached directly it still does nothing.
        w.loadEarlier();
        QVERIFY(recorder.calls.isEmpty());
    }
}

QTEST_MAIN(TestBackupWindow)
#include "tst_backupwindow.moc"
