// The remote and suggest commands end to end against vestronia-server on loopback: log
// in, confirm, send, list, fetch-and-restore, delete, a suggestion; every refusal of the
// server (quota, missing backup, wrong code, wrong password) exits 1 with its message.

#include "app/clirun.h"
#include "backup/serverprocess.h"

#include "core/profilefile.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {
QString codeOfLastMail(ServerProcess &server)
{
    return QRegularExpression(QStringLiteral("este: (\\d{6})")).match(server.lastMail()).captured(1);
}
} // namespace

class TestCliRemote : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void wholePath();
    void refusalsExitNonZero();

private:
    using Result = CliResult;
    Result cli(const QStringList &args);
    QTemporaryDir m_dir;
};

TestCliRemote::Result TestCliRemote::cli(const QStringList &args)
{
    return runCli(m_dir.filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_dir.filePath(QStringLiteral("home"))} + args, 120000);
}

void TestCliRemote::wholePath()
{
    ServerProcess server;
    if (!server.start(m_dir.filePath(QStringLiteral("server"))))
        QSKIP("vestronia-server is not built");
    QDir().mkpath(m_dir.filePath(QStringLiteral("machine")));
    QCOMPARE(cli({QStringLiteral("startup")}).exitCode, 0);

    // No web host yet: no internet, exit 1.
    Result r = cli({QStringLiteral("remote"), QStringLiteral("login"), QStringLiteral("--email"),
                    QStringLiteral("primaria@exemplu.ro"), QStringLiteral("--password"), QStringLiteral("parola")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Nu aveti internet!")));

    vestronia::ProfileFile::writeText(m_dir.filePath(QStringLiteral("machine/GMT.dII")), QStringLiteral("88"),
                                      QStringLiteral("ServerWeb"), QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    r = cli({QStringLiteral("remote"), QStringLiteral("login"), QStringLiteral("--email"), QStringLiteral("primaria@exemplu.ro"),
             QStringLiteral("--password"), QStringLiteral("parola")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.contains(QStringLiteral("NU,")));
    const QString code = QRegularExpression(QStringLiteral("este: (\\d{6})")).match(server.lastMail()).captured(1);
    QCOMPARE(cli({QStringLiteral("remote"), QStringLiteral("code"), QStringLiteral("123")}).exitCode, code == QLatin1String("000123") ? 0 : 1);
    QCOMPARE(cli({QStringLiteral("remote"), QStringLiteral("code"), code}).exitCode, 0);

    // The remembered account is used from here on.
    QCOMPARE(cli({QStringLiteral("remote"), QStringLiteral("put"), QStringLiteral("--note"), QStringLiteral("din linia de comanda")}).exitCode, 0);
    r = cli({QStringLiteral("remote"), QStringLiteral("list")});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("IDSTOC,DATA,ORA,OBS"));
    QVERIFY(lines[1].endsWith(QStringLiteral(",din linia de comanda")));
    const QString id = lines[1].section(QLatin1Char(','), 0, 0);

    r = cli({QStringLiteral("remote"), QStringLiteral("get"), id});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.contains(QStringLiteral("Restaurare incheiata cu succes !")));
    QCOMPARE(cli({QStringLiteral("remote"), QStringLiteral("delete"), id}).exitCode, 0);
    r = cli({QStringLiteral("remote"), QStringLiteral("list")});
    QCOMPARE(r.out.trimmed(), QStringLiteral("IDSTOC,DATA,ORA,OBS"));

    r = cli({QStringLiteral("remote"), QStringLiteral("info"), QStringLiteral("--password"), QStringLiteral("gresita")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Parola este incorecta!")));

    r = cli({QStringLiteral("suggest"), QStringLiteral("--name"), QStringLiteral("Io"), QStringLiteral("--place"), QStringLiteral("X"),
             QStringLiteral("--phone"), QStringLiteral("0722222777"), QStringLiteral("--mail"), QStringLiteral("ion@exemplu.ro"),
             QStringLiteral("text")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Nume incorect!")));
    r = cli({QStringLiteral("suggest"), QStringLiteral("--name"), QStringLiteral("Ion"), QStringLiteral("--place"), QStringLiteral("X"),
             QStringLiteral("--phone"), QStringLiteral("0722 222 777"), QStringLiteral("--mail"), QStringLiteral("ion@exemplu.ro"),
             QStringLiteral("Merge"), QStringLiteral("bine")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.contains(QStringLiteral("Mesajul a fost transmis!")));
}

void TestCliRemote::refusalsExitNonZero()
{
    ServerProcess server;
    if (!server.start(m_dir.filePath(QStringLiteral("server2")), {QStringLiteral("--quota-mb"), QStringLiteral("1")}))
        QSKIP("vestronia-server is not built");
    QDir().mkpath(m_dir.filePath(QStringLiteral("machine")));
    QCOMPARE(cli({QStringLiteral("startup")}).exitCode, 0);
    vestronia::ProfileFile::writeText(m_dir.filePath(QStringLiteral("machine/GMT.dII")), QStringLiteral("88"),
                                      QStringLiteral("ServerWeb"), QStringLiteral("127.0.0.1:%1").arg(server.httpPort));
    const QStringList account{QStringLiteral("--email"), QStringLiteral("cota@exemplu.ro"), QStringLiteral("--password"),
                              QStringLiteral("parola")};
    QCOMPARE(cli(QStringList{QStringLiteral("remote"), QStringLiteral("login")} + account).exitCode, 0);
    Result r = cli(QStringList{QStringLiteral("remote"), QStringLiteral("code"), QStringLiteral("1")} + account);
    QCOMPARE(r.exitCode, codeOfLastMail(server) == QLatin1String("000001") ? 0 : 1);
    QCOMPARE(server.admin({QStringLiteral("confirm"), QStringLiteral("cota@exemplu.ro")}), 0);

    // More than the quota: the server refuses, the tool says so and exits 1.
    QFile big(m_dir.filePath(QStringLiteral("home/Data/Poze.bin")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QByteArray noise(2 * 1024 * 1024, Qt::Uninitialized);
    quint32 x = 12345;
    for (char &c : noise) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    big.write(noise);
    big.close();
    r = cli(QStringList{QStringLiteral("remote"), QStringLiteral("put")} + account);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Spatiul contului dvs. este plin!")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("Salvarea nu s-a facut!")));
    QFile::remove(big.fileName());

    // A backup that is not there.
    r = cli(QStringList{QStringLiteral("remote"), QStringLiteral("delete"), QStringLiteral("999")} + account);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Salvarea nu exista pe server!")));
    r = cli(QStringList{QStringLiteral("remote"), QStringLiteral("get"), QStringLiteral("999")} + account);
    QCOMPARE(r.exitCode, 1);
    // A password the server will not take.
    r = cli(QStringList{QStringLiteral("remote"), QStringLiteral("passwd"), QStringLiteral("AB")} + account);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("Parola nu a fost schimbata!")));
    QCOMPARE(cli(QStringList{QStringLiteral("remote"), QStringLiteral("info")} + account).exitCode, 0);
}

QTEST_GUILESS_MAIN(TestCliRemote)
#include "tst_cli_remote.moc"
