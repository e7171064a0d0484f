// The suggestions form: balloons in the order of the checks, cancelling, delivery to the
// reference server with the contact data remembered, and the failure message with the
// text kept. With $VESTRONIA_SCREENSHOT_DIR set, the form and its messages are saved.

#include "backup/serverprocess.h"

#include "core/profilefile.h"
#include "ui/remote/sugestii.h"
#include "ui/shell/balloon.h"
#include "ui/shell/mesaj.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace vestronia;

class TestSugestii : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void balloonsInOrderAndCancel();
    void deliveredThenRemembered();
    void notDeliveredKeepsText();

private:
    template<class T> T *child(QWidget *w, const QString &name)
    {
        T *c = w->findChild<T *>(name);
        if (!c)
            qFatal("no child %s", qPrintable(name));
        return c;
    }
    void fill(Sugestii &form, const QString &text);
    void shot(QWidget *w, const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    Session m_session;
    QList<MesajCall> m_messages;
};

void TestSugestii::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_session = {};
    m_session.machineFolder = m_dir->path();
    m_messages.clear();
    setMesajHook([this](const MesajCall &c) {
        m_messages << c;
        return MesajResult::OK;
    });
    clearLastProblem();
}

void TestSugestii::cleanup()
{
    setMesajHook({});
}

void TestSugestii::shot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("VESTRONIA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void TestSugestii::fill(Sugestii &form, const QString &text)
{
    child<QLineEdit>(&form, QStringLiteral("nume"))->setText(QStringLiteral("Ion Popescu"));
    child<QLineEdit>(&form, QStringLiteral("telefon_fax"))->setText(QStringLiteral("0722222777"));
    child<QLineEdit>(&form, QStringLiteral("mail"))->setText(QStringLiteral("ion@exemplu.ro"));
    child<QPlainTextEdit>(&form, QStringLiteral("produs"))->setPlainText(text);
}

void TestSugestii::balloonsInOrderAndCancel()
{
    Sugestii form(m_session);
    QTimer::singleShot(0, &form, [&] {
        QCOMPARE(child<QLineEdit>(&form, QStringLiteral("comuna"))->text(), QStringLiteral("CIUGUD / ALBA"));
        auto *send = child<QPushButton>(&form, QStringLiteral("MemoBut"));
        child<QLineEdit>(&form, QStringLiteral("nume"))->setText(QStringLiteral("Io"));
        send->click();
        QCOMPARE(lastProblem().text, QStringLiteral("Nume incorect!"));
        child<QLineEdit>(&form, QStringLiteral("nume"))->setText(QStringLiteral("Ion"));
        child<QLineEdit>(&form, QStringLiteral("telefon_fax"))->setText(QStringLiteral("0822222777"));
        send->click();
        QCOMPARE(lastProblem().text, QStringLiteral("Telefon incorect!"));
        QCOMPARE(lastProblem().control.data(), child<QLineEdit>(&form, QStringLiteral("telefon_fax")));
        child<QLineEdit>(&form, QStringLiteral("telefon_fax"))->setText(QStringLiteral("0722222777"));
        child<QLineEdit>(&form, QStringLiteral("mail"))->setText(QStringLiteral("x"));
        send->click();
        QCOMPARE(lastProblem().text, QStringLiteral("Email incorect!"));
        child<QLineEdit>(&form, QStringLiteral("mail"))->setText(QStringLiteral("ion@exemplu.ro"));
        child<QPlainTextEdit>(&form, QStringLiteral("produs"))->setPlainText(QStringLiteral("x"));
        send->click();
        QCOMPARE(lastProblem().text, QStringLiteral("Sugestia dvs este prea scurta!"));
        QVERIFY(form.isVisible());
        child<QPushButton>(&form, QStringLiteral("CloseBut"))->click();
    });
    QTimer::singleShot(20000, &form, &QDialog::reject); // never hang the suite
    QVERIFY(!form.run(QStringLiteral("Ciugud / Alba")));
    QVERIFY(!form.sent());
    QVERIFY(m_messages.isEmpty()); // cancelling shows nothing
}

void TestSugestii::deliveredThenRemembered()
{
    ServerProcess server;
    if (!server.start(m_dir->filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    ProfileFile::writeText(m_session.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"),
                           QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    Sugestii form(m_session);
    QTimer::singleShot(0, &form, [&] {
        fill(form, QStringLiteral("Un raport pe strazi, va rog."));
        shot(&form, QStringLiteral("sugestii"));
        child<QPushButton>(&form, QStringLiteral("MemoBut"))->click();
    });
    QTimer::singleShot(20000, &form, &QDialog::reject); // never hang the suite
    QVERIFY(form.run(QStringLiteral("Ciugud / Alba")));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].title, QStringLiteral("Transmitere Sugestie"));
    QVERIFY(m_messages[0].text.startsWith(QStringLiteral("Mesajul a fost transmis!")));
    QCOMPARE(m_messages[0].kind, MesajKind::Informatie);
    QCOMPARE(ProfileFile::readText(m_session.machineSettings(), QStringLiteral("88"), QStringLiteral("SugestieNume")),
             QStringLiteral("Ion Popescu"));
    // The next opening shows the remembered data and an empty suggestion.
    QTimer::singleShot(0, &form, [&] {
        QCOMPARE(child<QLineEdit>(&form, QStringLiteral("mail"))->text(), QStringLiteral("ion@exemplu.ro"));
        QCOMPARE(child<QLineEdit>(&form, QStringLiteral("comuna"))->text(), QStringLiteral("CIUGUD / ALBA"));
        QVERIFY(child<QPlainTextEdit>(&form, QStringLiteral("produs"))->toPlainText().isEmpty());
        child<QPushButton>(&form, QStringLiteral("CloseBut"))->click();
    });
    QTimer::singleShot(20000, &form, &QDialog::reject); // never hang the suite
    form.run(QStringLiteral("Alta / Alba"));
}

void TestSugestii::notDeliveredKeepsText()
{
    Sugestii form(m_session); // no web host: nothing can arrive
    QTimer::singleShot(0, &form, [&] {
        fill(form, QStringLiteral("Ramane in formular"));
        child<QPushButton>(&form, QStringLiteral("MemoBut"))->click();
    });
    QTimer::singleShot(20000, &form, &QDialog::reject); // never hang the suite
    QVERIFY(!form.run(QString()));
    QVERIFY(form.sent());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages[0].text.startsWith(QStringLiteral("Mesajul nu poate fi transmis!")));
    QCOMPARE(m_messages[0].kind, MesajKind::Eroare);
    QVERIFY(ProfileFile::readText(m_session.machineSettings(), QStringLiteral("88"), QStringLiteral("Mail")).isEmpty());
    QCOMPARE(child<QPlainTextEdit>(&form, QStringLiteral("produs"))->toPlainText(), QStringLiteral("Ramane in formular"));
}

QTEST_MAIN(TestSugestii)
#include "tst_sugestii.moc"
