// Request and reply files: what is read back, and what a hostile reply cannot do
// (paths in names, lying sizes, no end, too many attachments).

#include "backup/commandfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestCommandFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTripWithAttachments();
    void keysSplitAtFirstBlank();
    void hostileHeadersRefused_data();
    void hostileHeadersRefused();
    void extractionStaysInFolder();
    void plainFileNames_data();
    void plainFileNames();

private:
    QTemporaryDir m_dir;
};

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

void TestCommandFile::roundTripWithAttachments()
{
    const QString a = m_dir.filePath(QStringLiteral("a.bin"));
    const QString b = m_dir.filePath(QStringLiteral("b.bin"));
    writeBytes(a, QByteArray("/END\r\n#ATTACH x : 3\r\n")); // bytes that look like text lines
    writeBytes(b, QByteArray(70000, 'b'));
    const QString req = m_dir.filePath(QStringLiteral("req.cmd"));
    writeCommandFile(req, {QStringLiteral("/PUT_FILE nota mea"), QStringLiteral("/INFO")}, {a, b},
                     {QStringLiteral("Srv")});
    const CommandFile f = readCommandFile(req);
    QCOMPARE(f.lines.size(), 2);
    QCOMPARE(f.value(QStringLiteral("/PUT_FILE")), QStringLiteral("nota mea"));
    QVERIFY(f.has(QStringLiteral("/INFO")));
    QCOMPARE(f.attachments.size(), 2);
    QCOMPARE(f.attachments[0].name, QStringLiteral("Srv"));
    QCOMPARE(f.attachments[1].name, QStringLiteral("b.bin"));
    QCOMPARE(f.attachments[1].size, 70000);
    const QString out = m_dir.filePath(QStringLiteral("out"));
    const QStringList written = extractAttachments(req, f, out);
    QCOMPARE(written.size(), 2);
    QFile x(written[0]);
    QVERIFY(x.open(QIODevice::ReadOnly));
    QCOMPARE(x.readAll(), QByteArray("/END\r\n#ATTACH x : 3\r\n"));
    QCOMPARE(QFileInfo(written[1]).size(), 70000);
}

void TestCommandFile::keysSplitAtFirstBlank()
{
    const QByteArray text = "/pass   NO  \r\n/MSG_DLG Contul  dvs.\n/NOWSERVER 46000.5\r\n/END\r\n";
    const CommandFile f = parseCommandFile(text, text.size());
    QCOMPARE(f.lines.size(), 3);
    QCOMPARE(f.lines[0].key, QStringLiteral("/PASS"));
    QCOMPARE(f.lines[0].value, QStringLiteral("NO"));
    QCOMPARE(f.value(QStringLiteral("/MSG_DLG")), QStringLiteral("Contul  dvs."));
    QCOMPARE(f.value(QStringLiteral("/NOWSERVER")), QStringLiteral("46000.5"));
}

void TestCommandFile::hostileHeadersRefused_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<qint64>("extra"); // bytes after the text
    QTest::newRow("path up") << QByteArray("#ATTACH ../../etc/passwd : 3\r\n/END\r\n") << qint64(3);
    QTest::newRow("absolute path") << QByteArray("#ATTACH /tmp/x : 3\r\n/END\r\n") << qint64(3);
    QTest::newRow("backslash path") << QByteArray("#ATTACH ..\\Data\\LOG.DBF : 3\r\n/END\r\n") << qint64(3);
    QTest::newRow("hidden name") << QByteArray("#ATTACH .bashrc : 3\r\n/END\r\n") << qint64(3);
    QTest::newRow("size larger than the file") << QByteArray("#ATTACH Stoc.dbf : 1000\r\n/END\r\n") << qint64(10);
    QTest::newRow("negative size") << QByteArray("#ATTACH Stoc.dbf : -5\r\n/END\r\n") << qint64(0);
    QTest::newRow("huge size") << QByteArray("#ATTACH Stoc.dbf : 99999999999999999999\r\n/END\r\n") << qint64(0);
    QTest::newRow("no size") << QByteArray("#ATTACH Stoc.dbf\r\n/END\r\n") << qint64(0);
    QTest::newRow("no end") << QByteArray("/INFO\r\n/DATAIN 01.01.2024\r\n") << qint64(0);
    QTest::newRow("end beyond the text bound") << (QByteArray(70 * 1024, 'x') + "\r\n/END\r\n") << qint64(0);
    QByteArray many;
    for (int i = 0; i < 17; ++i)
        many += "#ATTACH f" + QByteArray::number(i) + " : 0\r\n";
    QTest::newRow("too many attachments") << (many + "/END\r\n") << qint64(0);
    QByteArray lines;
    for (int i = 0; i < 1001; ++i)
        lines += "/X\r\n";
    QTest::newRow("too many lines") << (lines + "/END\r\n") << qint64(0);
}

void TestCommandFile::hostileHeadersRefused()
{
    QFETCH(QByteArray, head);
    QFETCH(qint64, extra);
    QVERIFY_THROWS_EXCEPTION(ProtocolError, parseCommandFile(head.left(64 * 1024), head.size() + extra));
}

void TestCommandFile::extractionStaysInFolder()
{
    // A parsed file whose name was changed after parsing is still refused at extraction.
    const QByteArray text = "#ATTACH ok.bin : 2\r\n/END\r\nAB";
    const QString path = m_dir.filePath(QStringLiteral("reply.cmd"));
    writeBytes(path, text);
    CommandFile f = readCommandFile(path);
    f.attachments[0].name = QStringLiteral("../escaped.bin");
    const QString folder = m_dir.filePath(QStringLiteral("Temp"));
    QVERIFY_THROWS_EXCEPTION(ProtocolError, extractAttachments(path, f, folder));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("escaped.bin"))));
}

void TestCommandFile::plainFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");
    QTest::newRow("stock") << QStringLiteral("Stoc.dbf") << true;
    QTest::newRow("id") << QStringLiteral("12345") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("dots") << QStringLiteral("..") << false;
    QTest::newRow("slash") << QStringLiteral("a/b") << false;
    QTest::newRow("colon") << QStringLiteral("C:x") << false;
    QTest::newRow("blank") << QStringLiteral("a b") << false;
    QTest::newRow("long") << QString(101, QLatin1Char('a')) << false;
}

void TestCommandFile::plainFileNames()
{
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QCOMPARE(isPlainFileName(name), ok);
}

QTEST_GUILESS_MAIN(TestCommandFile)
#include "tst_commandfile.moc"
