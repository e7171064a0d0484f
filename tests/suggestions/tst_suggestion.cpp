// The suggestions book's checks in their order, the query as sent, and the delivery
// against the reference server's HTTP side.

#include "backup/serverprocess.h"

#include "core/profilefile.h"
#include "suggestions/suggestion.h"

#include <QTemporaryDir>

using namespace vestronia;

class TestSuggestion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void checksInOrder_data();
    void checksInOrder();
    void queryEncoding();
    void fieldTextCannotSplitTheQuery();
    void deliveredAndRemembered();
    void noHostIsNotDelivered();
};

namespace {

SuggestionForm good()
{
    return {QStringLiteral("Ion"), QStringLiteral("CIUGUD / ALBA"), QStringLiteral("0722222777"),
            QStringLiteral("ion@exemplu.ro"), QStringLiteral("ok")};
}

} // namespace

void TestSuggestion::checksInOrder_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("two-letter name") << "nume" << "Io" << "Nume incorect!";
    QTest::newRow("name blanks only count once") << "nume" << "  I    " << "Nume incorect!";
    QTest::newRow("three-letter name") << "nume" << "Ion" << "";
    QTest::newRow("three after cleaning") << "nume" << "  I   o " << "";
    QTest::newRow("phone with blanks") << "telefon" << "0722 222 777" << "";
    QTest::newRow("phone 08") << "telefon" << "0822222777" << "Telefon incorect!";
    QTest::newRow("phone nine digits") << "telefon" << "072222277" << "Telefon incorect!";
    QTest::newRow("phone 02") << "telefon" << "0258123456" << "";
    QTest::newRow("mail short") << "mail" << "io@exemplu.ro" << "Email incorect!";
    QTest::newRow("one character") << "produs" << "x" << "Sugestia dvs este prea scurta!";
    QTest::newRow("two characters") << "produs" << "xy" << "";
    QTest::newRow("blanks do not count") << "produs" << "  x   " << "Sugestia dvs este prea scurta!";
}

void TestSuggestion::checksInOrder()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    SuggestionForm f = good();
    if (field == QLatin1String("nume"))
        f.nume = value;
    else if (field == QLatin1String("telefon"))
        f.telefon = value;
    else if (field == QLatin1String("mail"))
        f.mail = value;
    else
        f.produs = value;
    const SuggestionCheck c = checkSuggestion(f);
    QCOMPARE(c.message, message);
    QCOMPARE(c.ok(), message.isEmpty());
    // A wrong name is reported before a wrong telephone.
    SuggestionForm both = good();
    both.nume = QStringLiteral("Io");
    both.telefon = QStringLiteral("1");
    QCOMPARE(checkSuggestion(both).field, SuggestionField::Nume);
}

void TestSuggestion::queryEncoding()
{
    SuggestionForm f = good();
    f.telefon = QStringLiteral("0722 222 777");
    f.produs = QStringLiteral("Merge  bine {azi}");
    const SuggestionCheck c = checkSuggestion(f);
    QVERIFY(c.ok());
    QCOMPARE(c.query, QStringLiteral("nume=Ion&comuna=CIUGUD+%2F+ALBA&telefon_fax=0722+222+777&mail=ion%40exemplu.ro"
                                     "&produs=Vestronia:+Merge+bine+%7Bazi%7D%0D%0A"));
}

void TestSuggestion::fieldTextCannotSplitTheQuery()
{
    SuggestionForm f = good();
    f.produs = QStringLiteral("pret 5% & taxa=2 #1 +TVA\nrand doi");
    f.nume = QStringLiteral("Ana&mail=x");
    const SuggestionCheck c = checkSuggestion(f);
    QVERIFY(c.ok());
    QCOMPARE(c.query.count(QLatin1Char('&')), 4);
    QVERIFY(!c.query.contains(QLatin1Char('#')));
    QVERIFY(c.query.contains(QStringLiteral("Ana%26mail%3Dx")));
    QVERIFY(c.query.contains(QStringLiteral("pret+5%25+%26+taxa%3D2+%231+%2BTVA%0Arand+doi%0D%0A")));
}

void TestSuggestion::deliveredAndRemembered()
{
    QTemporaryDir dir;
    ServerProcess server;
    if (!server.start(dir.filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    Session s;
    s.machineFolder = dir.path();
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"),
                           QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    SuggestionForm f = good();
    f.produs = QStringLiteral("Raport nou & rapid");
    const SuggestionCheck c = checkSuggestion(f);
    QVERIFY(c.ok());
    QVERIFY(sendSuggestion(s, c.query));
    rememberSuggestionContact(s, f);
    const SuggestionForm again = rememberedSuggestionContact(s);
    QCOMPARE(again.nume, f.nume);
    QCOMPARE(again.telefon, f.telefon);
    QCOMPARE(again.mail, f.mail);
    QCOMPARE(again.comuna, f.comuna);
    server.stop();
    QProcess count;
    count.start(ServerProcess::binary(), {QStringLiteral("--data"), dir.filePath(QStringLiteral("server")), QStringLiteral("suggestions")});
    QVERIFY(count.waitForFinished(10000));
    QCOMPARE(count.readAllStandardOutput().trimmed(), QByteArray("1"));
}

void TestSuggestion::noHostIsNotDelivered()
{
    QTemporaryDir dir;
    Session s;
    s.machineFolder = dir.path();
    SuggestionForm f = good();
    QVERIFY(!sendSuggestion(s, checkSuggestion(f).query));
    // A host that does not answer: not delivered either.
    ProfileFile::writeText(s.machineSettings(), QStringLiteral("88"), QStringLiteral("ServerWeb"), QStringLiteral("127.0.0.1:1"));
    QVERIFY(!sendSuggestion(s, checkSuggestion(f).query, 3000));
}

QTEST_GUILESS_MAIN(TestSuggestion)
#include "tst_suggestion.moc"
