// The remote backup window against the reference server on loopback: sections and
// their mask through login, code check, send, list, delete and load (the restore); the
// refusals of the login; the transport failure without an address; the password dialog.
// With $VESTRONIA_SCREENSHOT_DIR set, each state is also saved as a picture.

#include "backup/serverprocess.h"

#include "core/profilefile.h"
#include "ui/remote/editpassf.h"
#include "ui/remote/netf.h"
#include "ui/shell/balloon.h"
#include "ui/shell/mesaj.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

using namespace vestronia;

class TestNetF : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void sendListDeleteAndLoad();
    void loginRefusals();
    void noAddressIsNoInternet();
    void passwordDialogRefusesEmpty();

private:
    Session session() const;
    void shot(QWidget *w, const QString &name);
    template<class T> T *child(QWidget *w, const QString &name)
    {
        T *c = w->findChild<T *>(name);
        if (!c)
            qFatal("no child %s", qPrintable(name));
        return c;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<MesajCall> m_messages;
};

void TestNetF::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QDir(m_dir->path()).mkpath(QStringLiteral("home/Data"));
    QDir(m_dir->path()).mkpath(QStringLiteral("home/Temp"));
    QDir(m_dir->path()).mkpath(QStringLiteral("machine"));
    QFile f(m_dir->filePath(QStringLiteral("home/Data/Abonat.dbf")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("date din fereastra ") + QByteArray(3000, 'w'));
    m_messages.clear();
    setMesajHook([this](const MesajCall &c) {
        m_messages << c;
        return (c.buttons & MesajButtons::Da) ? MesajResult::Da : MesajResult::OK;
    });
    clearLastProblem();
}

void TestNetF::cleanup()
{
    setMesajHook({});
}

Session TestNetF::session() const
{
    Session s;
    s.programFolder = m_dir->filePath(QStringLiteral("home"));
    s.localDataFolder = s.programFolder + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = s.programFolder + QStringLiteral("/Temp");
    s.machineFolder = m_dir->filePath(QStringLiteral("machine"));
    return s;
}

void TestNetF::shot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("VESTRONIA_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QCoreApplication::processEvents();
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void TestNetF::sendListDeleteAndLoad()
{
    ServerProcess server;
    if (!server.start(m_dir->filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    const Session s = session();
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"),
                           QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    NetF net(s, QStringLiteral("Ciugud/Alba"));
    net.askNote = [](QString &note) {
        note = QStringLiteral("din fereastra");
        return true;
    };
    bool replaced = false;
    QTimer::singleShot(0, &net, [&] {
        QCOMPARE(net.mask(), QStringLiteral("10000"));
        child<QLineEdit>(&net, QStringLiteral("Email"))->setText(QStringLiteral("primaria@exemplu.ro"));
        child<QLineEdit>(&net, QStringLiteral("Pass"))->setText(QStringLiteral("PAROLA"));
        child<QCheckBox>(&net, QStringLiteral("MemoCheck"))->setChecked(true);
        shot(&net, QStringLiteral("netf-1-login"));
        child<QPushButton>(&net, QStringLiteral("LoginB"))->click();
        QCOMPARE(net.mask(), QStringLiteral("01100"));
        QCOMPARE(child<QLineEdit>(&net, QStringLiteral("CodConf"))->text(), QStringLiteral("0"));
        const QString code = QRegularExpression(QStringLiteral("este: (\\d{6})")).match(server.lastMail()).captured(1);
        QVERIFY(!code.isEmpty());
        child<QLineEdit>(&net, QStringLiteral("CodConf"))->setText(code);
        shot(&net, QStringLiteral("netf-2-cod"));
        child<QPushButton>(&net, QStringLiteral("CheckCodB"))->click();
        QCOMPARE(net.mask(), QStringLiteral("00110"));
        QCOMPARE(child<QLabel>(&net, QStringLiteral("EmailL"))->text(), QStringLiteral("primaria@exemplu.ro"));
        QVERIFY(!child<QLabel>(&net, QStringLiteral("DataExpL"))->text().isEmpty());
        shot(&net, QStringLiteral("netf-3-cont"));

        child<QPushButton>(&net, QStringLiteral("SaveBut"))->click();
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.value(0).text));
        child<QPushButton>(&net, QStringLiteral("SaveBut"))->click();
        child<QPushButton>(&net, QStringLiteral("LoadBut"))->click();
        QCOMPARE(net.mask(), QStringLiteral("00101"));
        auto *grid = child<QTableWidget>(&net, QStringLiteral("Grid"));
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("din fereastra"));
        QVERIFY(child<QPushButton>(&net, QStringLiteral("LoadSB"))->isEnabled());
        shot(&net, QStringLiteral("netf-4-lista"));

        grid->selectRow(0);
        child<QPushButton>(&net, QStringLiteral("DelSB"))->click();
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].text, QStringLiteral("\rDoriti sa stergeti salvarea selectata?"));
        QCOMPARE(grid->rowCount(), 1);

        QFile data(s.dataFolder + QStringLiteral("/Abonat.dbf"));
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.write("schimbat");
        data.close();
        child<QPushButton>(&net, QStringLiteral("LoadSB"))->click();
        QCOMPARE(m_messages.size(), 3);
        QCOMPARE(m_messages[1].title, QStringLiteral("Incarcare date"));
        QCOMPARE(m_messages[2].text, QStringLiteral("Restaurare incheiata cu succes !\r\nVa rog sa porniti programul din nou !"));
        QVERIFY(data.open(QIODevice::ReadOnly));
        QVERIFY(data.readAll().startsWith("date din fereastra "));
        QVERIFY(!QFileInfo::exists(s.tempFolder + QStringLiteral("/Stoc.dbf")));
    });
    QTimer::singleShot(60000, &net, &QDialog::reject); // never hang the suite
    replaced = net.run();
    QVERIFY(replaced);
    // The account is remembered for the next opening.
    const RememberedAccount a = loadRememberedAccount(s);
    QVERIFY(a.remember);
    QCOMPARE(a.password, QStringLiteral("PAROLA"));
}

void TestNetF::loginRefusals()
{
    ServerProcess server;
    if (!server.start(m_dir->filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    const Session s = session();
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"),
                           QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    NetF net(s, QStringLiteral("X/Y"));
    net.prepare();
    net.show();
    auto *email = child<QLineEdit>(&net, QStringLiteral("Email"));
    auto *pass = child<QLineEdit>(&net, QStringLiteral("Pass"));
    auto *login = child<QPushButton>(&net, QStringLiteral("LoginB"));
    email->setText(QStringLiteral("ab@exemplu.ro"));
    login->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Email incorect!!"));
    QCOMPARE(lastProblem().control.data(), email);
    email->setText(QStringLiteral("primaria@exemplu.ro"));
    pass->setText(QStringLiteral("   "));
    login->click();
    QCOMPARE(lastProblem().text, QStringLiteral("Lipseste parola!!"));
    QVERIFY(m_messages.isEmpty());

    pass->setText(QStringLiteral("BUNA2024"));
    login->click(); // creates the account
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(net.mask(), QStringLiteral("01100"));
    net.prepare(); // opened again
    email->setText(QStringLiteral("primaria@exemplu.ro"));
    pass->setText(QStringLiteral("REA"));
    login->click();
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].title, QStringLiteral("Conectare la server"));
    QCOMPARE(m_messages[0].text, QStringLiteral("\rParola este incorecta!"));
    auto *sendPass = child<QPushButton>(&net, QStringLiteral("SendPassB"));
    QVERIFY(sendPass->isVisible());
    shot(&net, QStringLiteral("netf-5-parola-gresita"));
    sendPass->click();
    QVERIFY(!sendPass->isVisible());
    QCOMPARE(m_messages.size(), 2);
    QCOMPARE(m_messages[1].title, QStringLiteral("Mesaj de la Server"));
    QVERIFY(server.lastMail().contains(QStringLiteral("Parola noua")));
}

void TestNetF::noAddressIsNoInternet()
{
    NetF net(session(), QStringLiteral("X/Y"));
    net.prepare();
    net.show();
    child<QLineEdit>(&net, QStringLiteral("Email"))->setText(QStringLiteral("primaria@exemplu.ro"));
    child<QLineEdit>(&net, QStringLiteral("Pass"))->setText(QStringLiteral("P"));
    child<QPushButton>(&net, QStringLiteral("LoginB"))->click();
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].title, QStringLiteral("Transmitere date"));
    QCOMPARE(m_messages[0].text, QStringLiteral("\rNu aveti internet!"));
    QCOMPARE(m_messages[0].kind, MesajKind::Eroare);
    QCOMPARE(net.mask(), QStringLiteral("10000"));
    QVERIFY(child<QWidget>(&net, QStringLiteral("Panel2"))->isEnabled());
}

void TestNetF::passwordDialogRefusesEmpty()
{
    EditPassF dialog;
    QString result = QStringLiteral("neatins");
    bool active = false;
    QTimer::singleShot(0, &dialog, [&] {
        active = QTest::qWaitForWindowActive(&dialog);
        auto *memo = child<QPushButton>(&dialog, QStringLiteral("MemoBut"));
        memo->click();
        QCOMPARE(lastProblem().text, QStringLiteral("Nu ati scris nicio parola!"));
        QVERIFY(dialog.isVisible());
        auto *edit = child<QLineEdit>(&dialog, QStringLiteral("PassN"));
        QTest::keyClicks(edit, QStringLiteral("noua"));
        QCOMPARE(edit->text(), QStringLiteral("NOUA"));
        shot(&dialog, QStringLiteral("editpassf"));
        memo->click();
    });
    result = dialog.ask();
    QVERIFY(active);
    QCOMPARE(result, QStringLiteral("NOUA"));
}

QTEST_MAIN(TestNetF)
#include "tst_netf.moc"
