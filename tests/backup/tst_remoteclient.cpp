// The remote client's rules that need no server: the e-mail check, the remembered
// account encoding, the address file, the login record's fields and the expiry.

#include "backup/remoteclient.h"
#include "core/dates.h"
#include "core/profilefile.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestRemoteClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emailCheck_data();
    void emailCheck();
    void charCodes();
    void rememberedAccount();
    void serverAddress_data();
    void serverAddress();
    void noWebHostMeansNoInternet();
    void loginFields();
    void expiryAgainstServerDay();
    void noteRules();
};

void TestRemoteClient::emailCheck_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << QStringLiteral("primaria@exemplu.ro") << true;
    QTest::newRow("three before at") << QStringLiteral("abc@gmail.com") << true;
    QTest::newRow("two before at") << QStringLiteral("ab@gmail.com") << false;
    QTest::newRow("second dot after two letters") << QStringLiteral("primaria@mail.co.uk") << false;
    QTest::newRow("four after dot") << QStringLiteral("primaria@mail.info") << false;
    QTest::newRow("short domain") << QStringLiteral("primaria@a.ro") << false;
    QTest::newRow("no dot") << QStringLiteral("primaria@exemplu") << false;
    QTest::newRow("blank") << QStringLiteral("prim aria@exemplu.ro") << false;
    QTest::newRow("two at") << QStringLiteral("pri@maria@exemplu.ro") << false;
    QTest::newRow("dash underscore") << QStringLiteral("p_r-i.a@ex-emplu.ro") << true;
    QTest::newRow("no at") << QStringLiteral("primariaexemplu.ro") << false;
}

void TestRemoteClient::emailCheck()
{
    QFETCH(QString, email);
    QFETCH(bool, ok);
    QCOMPARE(isValidEmail(email), ok);
}

void TestRemoteClient::charCodes()
{
    QCOMPARE(encodeCharCodes(QStringLiteral("abc")), QStringLiteral("097098099"));
    QCOMPARE(decodeCharCodes(QStringLiteral("097098099")), QStringLiteral("abc"));
    QCOMPARE(decodeCharCodes(encodeCharCodes(QStringLiteral("A@b.ro 9"))), QStringLiteral("A@b.ro 9"));
    QCOMPARE(decodeCharCodes(QStringLiteral("0970x8099")), QStringLiteral("ac")); // a bad group is dropped
    QCOMPARE(decodeCharCodes(QStringLiteral("09709")), QStringLiteral("a"));      // a cut group too
}

void TestRemoteClient::rememberedAccount()
{
    QTemporaryDir dir;
    Session s;
    s.programFolder = dir.path();
    s.dataFolder = dir.path();
    storeRememberedAccount(s, {true, QStringLiteral("primaria@exemplu.ro"), QStringLiteral("PAROLA")});
    QCOMPARE(ProfileFile::readText(s.localSettings(), QStringLiteral("CONST"), QStringLiteral("PS")),
             QStringLiteral("080065082079076065"));
    QCOMPARE(ProfileFile::readText(s.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("MEMOPASS")), QStringLiteral("DA"));
    RememberedAccount a = loadRememberedAccount(s);
    QVERIFY(a.remember);
    QCOMPARE(a.email, QStringLiteral("primaria@exemplu.ro"));
    QCOMPARE(a.password, QStringLiteral("PAROLA"));
    storeRememberedAccount(s, {false, {}, {}});
    a = loadRememberedAccount(s);
    QVERIFY(!a.remember);
    QVERIFY(a.email.isEmpty());
}

void TestRemoteClient::serverAddress_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("tls");
    QTest::newRow("host only") << QByteArray("  backup.exemplu.ro\r\n") << QStringLiteral("backup.exemplu.ro") << 1235 << false;
    QTest::newRow("with port") << QByteArray("127.0.0.1:54321") << QStringLiteral("127.0.0.1") << 54321 << false;
    QTest::newRow("two lines") << QByteArray("10.0.0.7\r\nx") << QStringLiteral("10.0.0.7") << 1235 << false;
    QTest::newRow("too short") << QByteArray("a.b.c") << QString() << 0 << false;
    QTest::newRow("too long") << QByteArray("a-very-long-host-name.example.com") << QString() << 0 << false;
    QTest::newRow("html page") << QByteArray("<html>404</html>") << QString() << 0 << false;
    QTest::newRow("bad port") << QByteArray("127.0.0.1:99999") << QString() << 0 << false;
    QTest::newRow("tls line") << QByteArray("vs.exemplu.ro:99\ntls\r\n") << QStringLiteral("vs.exemplu.ro") << 99 << true;
    QTest::newRow("tls past 20") << QByteArray("backup.exemplu.ro\r\nTLS") << QString() << 0 << false;
    QTest::newRow("empty") << QByteArray() << QString() << 0 << false;
}

void TestRemoteClient::serverAddress()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, tls);
    const std::optional<ServerAddress> a = parseServerAddress(text);
    QCOMPARE(bool(a), !host.isEmpty());
    if (a) {
        QCOMPARE(a->host, host);
        QCOMPARE(int(a->port), port);
        QCOMPARE(a->tls, tls);
    }
}

void TestRemoteClient::noWebHostMeansNoInternet()
{
    QTemporaryDir dir;
    Session s;
    s.programFolder = dir.path();
    s.dataFolder = dir.path();
    s.tempFolder = dir.filePath(QStringLiteral("Temp"));
    s.machineFolder = dir.path();
    RemoteClient c(s, QStringLiteral("primaria@exemplu.ro"), QStringLiteral("P"), QStringLiteral("X/Y"));
    const RemoteReply r = c.info();
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Nu aveti internet!"));
    // Nothing is left in the Temp folder.
    QCOMPARE(QDir(s.tempFolder).entryList(QDir::Files), QStringList());
}

void TestRemoteClient::loginFields()
{
    Session s;
    RemoteClient c(s, QStringLiteral("primaria@exemplu.ro"), QStringLiteral("PAROLA"), QStringLiteral(" Ciugud / \"Alba\" "));
    QCOMPARE(c.userName(), QByteArray("088primaria@exemplu.ro"));
    const QByteArray room = c.room();
    QCOMPARE(room.size(), 140);
    QCOMPARE(room.left(40), QByteArray("PAROLA").leftJustified(40, ' '));
    QCOMPARE(room.mid(40).trimmed(), QByteArray("Ciugud / Alba"));
}

void TestRemoteClient::expiryAgainstServerDay()
{
    RemoteReply r;
    r.dataExp = QStringLiteral("10.03.2025");
    r.nowServer = dayNumberOf(QDate(2025, 3, 10)) + 0.99;
    QVERIFY(!r.expired()); // the last day still counts
    r.nowServer = dayNumberOf(QDate(2025, 3, 11)) + 0.01;
    QVERIFY(r.expired());
    r.dataExp = QStringLiteral("nu este o data");
    QVERIFY(!r.expired());
}

void TestRemoteClient::noteRules()
{
    QCOMPARE(RemoteClient::backupNote(QStringLiteral("   ")), QStringLiteral("***"));
    QCOMPARE(RemoteClient::backupNote(QStringLiteral(" a   \"b\" ")), QStringLiteral("a b"));
    QCOMPARE(RemoteClient::backupNote(QString(130, QLatin1Char('x'))).size(), 120);
}

QTEST_GUILESS_MAIN(TestRemoteClient)
#include "tst_remoteclient.moc"
