// The backup archive codec: round trips, exchange with an independent reader and writer
// (Python's zlib), and the refusal of forged archives (names that leave the folder,
// sizes that lie, streams cut short or running on).

#include "backup/archive.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <zlib.h>

using namespace vestronia;

namespace {

class CountingProgress final : public Progress
{
public:
    void setText(const QString &) override {}
    void setTotal(int n) override { total = n; }
    void start() override { ++starts; }
    void step() override { ++steps; }
    void finish() override {}
    int total = -1;
    int starts = 0;
    int steps = 0;
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray int32le(qint32 v)
{
    QByteArray out(4, '\0');
    qToLittleEndian(v, out.data());
    return out;
}

QByteArray zlibStream(const QByteArray &data)
{
    uLongf length = compressBound(uLong(data.size()));
    QByteArray out(int(length), '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &length, reinterpret_cast<const Bytef *>(data.constData()),
              uLong(data.size()), 9);
    out.resize(int(length));
    return out;
}

// One entry as the format lays it out, with the declared size chosen freely.
QByteArray entry(const QByteArray &name, const QByteArray &data, qint32 declaredSize)
{
    return int32le(qint32(name.size())) + name + int32le(declaredSize) + zlibStream(data);
}
QByteArray entry(const QByteArray &name, const QByteArray &data)
{
    return entry(name, data, qint32(data.size()));
}

QByteArray pseudoRandom(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(gen.bounded(256) & (i % 7 == 0 ? 0xFF : 0x0F)); // compressible, not trivial
    return out;
}

// Everything in the folder, recursively, as relative path -> content.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDir root(folder);
    const QStringList names = root.entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = root.filePath(name);
        if (QFileInfo(path).isDir()) {
            const auto sub = snapshot(path);
            for (auto it = sub.begin(); it != sub.end(); ++it)
                files.insert(name + QLatin1Char('/') + it.key(), it.value());
        } else {
            files.insert(name, readFile(path));
        }
    }
    return files;
}

const char *PythonReader = R"PY(
import os, struct, sys, zlib
src, dst = sys.argv[1], sys.argv[2]
data = open(src, 'rb').read()
pos = 0
def i32():
    global pos
    v, = struct.unpack_from('<i', data, pos); pos += 4; return v
n = i32()
for _ in range(n):
    L = i32(); name = data[pos:pos+L].decode('cp1250'); pos += L
    size = i32()
    d = zlib.decompressobj()
    out = d.decompress(data[pos:])
    assert d.eof, 'stream not finished'
    pos = len(data) - len(d.unused_data)
    assert len(out) == size, (name, len(out), size)
    open(os.path.join(dst, name), 'wb').write(out)
assert pos == len(data), 'trailing bytes'
print(n)
)PY";

const char *PythonWriter = R"PY(
import os, struct, sys, zlib
src, dst = sys.argv[1], sys.argv[2]
names = sorted(n for n in os.listdir(src) if os.path.getsize(os.path.join(src, n)) > 0)
with open(dst, 'wb') as f:
    f.write(struct.pack('<i', len(names)))
    for n in names:
        raw = n.encode('cp1250'); body = open(os.path.join(src, n), 'rb').read()
        f.write(struct.pack('<i', len(raw)) + raw + struct.pack('<i', len(body)))
        f.write(zlib.compress(body, 6))
)PY";

bool runPython(const char *script, const QStringList &args, QString *output = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), QString::fromUtf8(script)} + args);
    if (!p.waitForFinished(60000))
        return false;
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("python: %s", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace

class TestArchive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripKeepsEveryNonEmptyFile();
    void emptyFolderWritesNothing();
    void independentReaderReadsOurArchive();
    void weRestoreAnArchiveOfTheIndependentWriter();
    void entryNames_data();
    void entryNames();
    void forgedNameIsRefusedAndNothingLeavesTheFolder_data();
    void forgedNameIsRefusedAndNothingLeavesTheFolder();
    void lyingSizesFail_data();
    void lyingSizesFail();
    void entryAfterAShortStreamIsStillUnpacked();
    void failedEntryKeepsTheOldFile();
    void plantedLinkIsReplacedNotFollowed();
    void zeroEntriesIsAnEmptySuccess();
    void archiveReplacesAnOldOneOnlyWhenComplete();
    void nameOutsideTheCodePageDoesNotBlockTheBackup_data();
    void nameOutsideTheCodePageDoesNotBlockTheBackup();
    void foldedNamesThatCollideStayApart();
    void damagedStreamDoesNotHideTheEntriesAfterIt();
    void damagedHeaderDoesNotHideTheEntriesAfterIt();
    void verifyingWritesNothingAndNamesTheDamagedFiles();
    void manyDamagedEntriesAreSkippedABoundedNumberOfTimes();
};

void TestArchive::roundTripKeepsEveryNonEmptyFile()
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    QDir().mkpath(src + QStringLiteral("/sub"));
    writeFile(src + QStringLiteral("/Debite.dbf"), pseudoRandom(300000, 1)); // several buffers
    writeFile(src + QStringLiteral("/Vestrona.set"), QByteArray("[INDEX]\r\nIDAB=12\r\n"));
    writeFile(src + QStringLiteral("/gol.txt"), QByteArray());
    writeFile(src + QStringLiteral("/sub/inner.txt"), QByteArray("not packed"));
    writeFile(src + QStringLiteral("/Stiinta\u015F.rtf"), QByteArray("cp1250 name")); // s-cedilla has a 1250 code

    CountingProgress progress;
    const QString archive = tmp.filePath(QStringLiteral("a.vrn"));
    QCOMPARE(writeArchive(src, archive, progress), 3);
    QCOMPARE(progress.total, 3);
    QCOMPARE(progress.steps, 3);

    const QString dst = tmp.filePath(QStringLiteral("dst"));
    CountingProgress readProgress;
    QString error;
    QVERIFY2(readArchive(archive, dst, readProgress, &error), qPrintable(error));
    QCOMPARE(readProgress.total, 3);
    QCOMPARE(readProgress.steps, 3);
    auto expected = snapshot(src);
    expected.remove(QStringLiteral("gol.txt"));
    expected.remove(QStringLiteral("sub/inner.txt"));
    QCOMPARE(snapshot(dst), expected);
}

void TestArchive::emptyFolderWritesNothing()
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath(QStringLiteral("empty.dbf")), QByteArray());
    NullProgress progress;
    const QString archive = tmp.filePath(QStringLiteral("out/a.vrn"));
    QDir().mkpath(tmp.filePath(QStringLiteral("out")));
    QCOMPARE(writeArchive(tmp.path(), archive, progress), 0);
    QVERIFY(!QFile::exists(archive));
}

void TestArchive::independentReaderReadsOurArchive()
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    QDir().mkpath(src);
    writeFile(src + QStringLiteral("/Abonat.dbf"), pseudoRandom(200000, 7));
    writeFile(src + QStringLiteral("/LOG.DBF"), pseudoRandom(70000, 8));
    writeFile(src + QStringLiteral("/Vestrona.set"), QByteArray("[CONST]\r\nUNITATE=Primaria\r\n"));
    NullProgress progress;
    const QString archive = tmp.filePath(QStringLiteral("a.vrn"));
    QCOMPARE(writeArchive(src, archive, progress), 3);

    const QString dst = tmp.filePath(QStringLiteral("py"));
    QDir().mkpath(dst);
    QString out;
    QVERIFY(runPython(PythonReader, {archive, dst}, &out));
    QCOMPARE(out, QStringLiteral("3"));
    QCOMPARE(snapshot(dst), snapshot(src));
}

void TestArchive::weRestoreAnArchiveOfTheIndependentWriter()
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    QDir().mkpath(src);
    writeFile(src + QStringLiteral("/Debite.dbf"), pseudoRandom(150000, 3));
    writeFile(src + QStringLiteral("/SomTit.rtf"), QByteArray("{\\rtf1 [NUME]}"));
    const QString archive = tmp.filePath(QStringLiteral("py.vrn"));
    QVERIFY(runPython(PythonWriter, {src, archive}));

    const QString dst = tmp.filePath(QStringLiteral("dst"));
    NullProgress progress;
    QString error;
    QVERIFY2(readArchive(archive, dst, progress, &error), qPrintable(error));
    QCOMPARE(snapshot(dst), snapshot(src));
}

void TestArchive::entryNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");
    QTest::newRow("table") << QStringLiteral("Debite.dbf") << true;
    QTest::newRow("blank inside") << QStringLiteral("Model vechi.xls") << true;
    QTest::newRow("leading dot") << QStringLiteral(".ascuns") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("dot") << QStringLiteral(".") << false;
    QTest::newRow("dot dot") << QStringLiteral("..") << false;
    QTest::newRow("parent path") << QStringLiteral("../x.dbf") << false;
    QTest::newRow("slash") << QStringLiteral("a/b") << false;
    QTest::newRow("absolute") << QStringLiteral("/etc/passwd") << false;
    QTest::newRow("backslash") << QStringLiteral("..\\x.dbf") << false;
    QTest::newRow("drive") << QStringLiteral("C:x.dbf") << false;
    QTest::newRow("control") << QStringLiteral("a\nb") << false;
}

void TestArchive::entryNames()
{
    QFETCH(QString, name);
    QFETCH(bool, plain);
    QCOMPARE(isPlainEntryName(name), plain);
}

void TestArchive::forgedNameIsRefusedAndNothingLeavesTheFolder_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("parent") << QByteArray("../escaped.txt");
    QTest::newRow("absolute") << QByteArray("/tmp/escaped.txt");
    QTest::newRow("backslash") << QByteArray("..\\escaped.txt");
    QTest::newRow("drive") << QByteArray("C:escaped.txt");
    QTest::newRow("dot dot") << QByteArray("..");
    QTest::newRow("nul inside") << QByteArray("ok.txt\0../x", 11);
}

void TestArchive::forgedNameIsRefusedAndNothingLeavesTheFolder()
{
    QFETCH(QByteArray, name);
    QTemporaryDir tmp;
    const QString target = tmp.filePath(QStringLiteral("a/b/target"));
    const QByteArray bytes = int32le(2) + entry(name, "evil") + entry("good.txt", "good");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    NullProgress progress;
    QString error;
    QVERIFY(!readArchive(buffer, target, progress, &error));
    QVERIFY(error.contains(QStringLiteral("nume nepermis")));
    // The forged entry's stream was skipped, so the entry after it still came out, and
    // nothing else exists anywhere under the temporary folder.
    QMap<QString, QByteArray> expected;
    expected.insert(QStringLiteral("a/b/target/good.txt"), "good");
    QCOMPARE(snapshot(tmp.path()), expected);
}

void TestArchive::lyingSizesFail_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("reason");
    const QByteArray data = pseudoRandom(5000, 11);
    QTest::newRow("declared smaller (stream runs on)")
        << int32le(1) + entry("x.dbf", data, 4000) << QStringLiteral("mai multe date");
    QTest::newRow("declared larger (stream ends early)")
        << int32le(1) + entry("x.dbf", data, 6000) << QStringLiteral("mai putine date");
    QTest::newRow("negative") << int32le(1) + entry("x.dbf", data, -1) << QStringLiteral("marime imposibila");
    QTest::newRow("beyond bound") << int32le(1) + entry("x.dbf", data, 0x7FFFFFFF) << QStringLiteral("marime imposibila");
    QByteArray cut = int32le(1) + entry("x.dbf", data);
    cut.chop(10);
    QTest::newRow("stream cut off") << cut << QStringLiteral("se termina");
    QByteArray broken = int32le(1) + entry("x.dbf", data);
    broken[40] = char(broken[40] ^ 0x55);
    broken[41] = char(broken[41] ^ 0xAA);
    QTest::newRow("stream damaged") << broken << QString();
    QTest::newRow("missing entry") << int32le(1) << QStringLiteral("trunchiata");
    QTest::newRow("negative count") << int32le(-5) << QStringLiteral("imposibil");
    QTest::newRow("absurd count") << int32le(2000000000) << QStringLiteral("imposibil");
    QTest::newRow("absurd name length") << int32le(1) + int32le(100000000) << QStringLiteral("lungime imposibila");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("goala");
}

void TestArchive::lyingSizesFail()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    QBuffer buffer;
    buffer.setData(archive);
    buffer.open(QIODevice::ReadOnly);
    NullProgress progress;
    QString error;
    QVERIFY(!readArchive(buffer, tmp.path(), progress, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    // No partial file is left behind.
    QVERIFY(snapshot(tmp.path()).isEmpty());
}

void TestArchive::entryAfterAShortStreamIsStillUnpacked()
{
    QTemporaryDir tmp;
    const QByteArray bytes = int32le(2) + entry("bad.dbf", "abc", 10) + entry("good.dbf", "good");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CountingProgress progress;
    QVERIFY(!readArchive(buffer, tmp.path(), progress));
    QCOMPARE(progress.steps, 2);
    QMap<QString, QByteArray> expected;
    expected.insert(QStringLiteral("good.dbf"), "good");
    QCOMPARE(snapshot(tmp.path()), expected);
}

void TestArchive::failedEntryKeepsTheOldFile()
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath(QStringLiteral("Debite.dbf")), "old content");
    writeFile(tmp.filePath(QStringLiteral("Abonat.dbf")), "old abonat");
    const QByteArray bytes = int32le(2) + entry("Abonat.dbf", "new abonat") + entry("Debite.dbf", "new", 2);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    NullProgress progress;
    QVERIFY(!readArchive(buffer, tmp.path(), progress));
    QCOMPARE(readFile(tmp.filePath(QStringLiteral("Debite.dbf"))), QByteArray("old content"));
    QCOMPARE(readFile(tmp.filePath(QStringLiteral("Abonat.dbf"))), QByteArray("new abonat"));
}

void TestArchive::plantedLinkIsReplacedNotFollowed()
{
    QTemporaryDir tmp;
    const QString outside = tmp.filePath(QStringLiteral("outside.txt"));
    writeFile(outside, "precious");
    const QString target = tmp.filePath(QStringLiteral("target"));
    QDir().mkpath(target);
    QVERIFY(QFile::link(outside, target + QStringLiteral("/Log.dbf")));
    const QByteArray bytes = int32le(1) + entry("Log.dbf", "from archive");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    NullProgress progress;
    QVERIFY(readArchive(buffer, target, progress));
    QCOMPARE(readFile(outside), QByteArray("precious"));
    QVERIFY(!QFileInfo(target + QStringLiteral("/Log.dbf")).isSymLink());
    QCOMPARE(readFile(target + QStringLiteral("/Log.dbf")), QByteArray("from archive"));
}

void TestArchive::zeroEntriesIsAnEmptySuccess()
{
    QTemporaryDir tmp;
    QBuffer buffer;
    buffer.setData(int32le(0));
    buffer.open(QIODevice::ReadOnly);
    CountingProgress progress;
    QVERIFY(readArchive(buffer, tmp.path(), progress));
    QCOMPARE(progress.total, 0);
    QVERIFY(snapshot(tmp.path()).isEmpty());
}

void TestArchive::archiveReplacesAnOldOneOnlyWhenComplete()
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    QDir().mkpath(src);
    writeFile(src + QStringLiteral("/a.dbf"), "aaaa");
    const QString archive = tmp.filePath(QStringLiteral("a.vrn"));
    writeFile(archive, "previous archive");
    // A file beyond the size limit (sparse, so it costs no disk) fails the write after
    // the archive was begun, and the previous archive must survive.
    {
        QFile big(src + QStringLiteral("/b.dbf"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(ArchiveLimits::MaxEntrySize + 1));
    }
    NullProgress progress;
    QVERIFY_THROWS_EXCEPTION(ArchiveError, writeArchive(src, archive, progress));
    QCOMPARE(readFile(archive), QByteArray("previous archive"));
    QVERIFY(QFile::remove(src + QStringLiteral("/b.dbf")));
    QCOMPARE(writeArchive(src, archive, progress), 1);
    QVERIFY(readFile(archive) != QByteArray("previous archive"));
}

void TestArchive::nameOutsideTheCodePageDoesNotBlockTheBackup_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("stored");
    QTest::newRow("comma below folded") << QStringLiteral("Situa\u021Bie \u0219i \u0218\u021A.xls")
                                        << QStringLiteral("Situa\u0163ie \u015Fi \u015E\u0162.xls");
    QTest::newRow("other letter replaced") << QStringLiteral("\u0394elta\u20AC.txt") << QStringLiteral("_elta\u20AC.txt");
    QTest::newRow("backslash replaced") << QStringLiteral("a\\b.txt") << QStringLiteral("a_b.txt");
}

void TestArchive::nameOutsideTheCodePageDoesNotBlockTheBackup()
{
    QFETCH(QString, fileName);
    QFETCH(QString, stored);
    QTemporaryDir src;
    QTemporaryDir dst;
    writeFile(src.filePath(QStringLiteral("Debite.dbf")), "debite");
    writeFile(src.filePath(fileName), "odd name");
    const QString archive = dst.filePath(QStringLiteral("a.vrn"));
    CountingProgress progress;
    QStringList renamed;
    QCOMPARE(writeArchive(src.path(), archive, progress, &renamed), 2);
    QCOMPARE(renamed, QStringList{fileName + QStringLiteral(" -> ") + stored});
    const QString out = dst.filePath(QStringLiteral("out"));
    QVERIFY(readArchive(archive, out, progress));
    QMap<QString, QByteArray> expected;
    expected.insert(QStringLiteral("Debite.dbf"), "debite");
    expected.insert(stored, "odd name");
    QCOMPARE(snapshot(out), expected);
}

void TestArchive::foldedNamesThatCollideStayApart()
{
    QTemporaryDir src;
    QTemporaryDir dst;
    writeFile(src.filePath(QStringLiteral("\u0219.txt")), "comma");   // folds to s cedilla
    writeFile(src.filePath(QStringLiteral("\u015F.txt")), "cedilla"); // already s cedilla
    const QString archive = dst.filePath(QStringLiteral("a.vrn"));
    CountingProgress progress;
    QStringList renamed;
    QCOMPARE(writeArchive(src.path(), archive, progress, &renamed), 2);
    QCOMPARE(renamed.size(), 1);
    const QString out = dst.filePath(QStringLiteral("out"));
    QVERIFY(readArchive(archive, out, progress));
    const QMap<QString, QByteArray> files = snapshot(out);
    QCOMPARE(files.size(), 2);
    QCOMPARE(files.value(QStringLiteral("\u015F.txt")), QByteArray("cedilla"));
    QCOMPARE(files.value(QStringLiteral("\u015F~1.txt")), QByteArray("comma"));
}

void TestArchive::damagedStreamDoesNotHideTheEntriesAfterIt()
{
    QTemporaryDir tmp;
    QByteArray damaged = entry("bad.dbf", pseudoRandom(5000, 7));
    // Garbage in the middle of the deflate data: the end of the stream is lost.
    for (int i = 40; i < 80; ++i)
        damaged[i] = char(0xFF);
    const QByteArray bytes = int32le(3) + entry("first.dbf", "first") + damaged + entry("last.dbf", "last");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CountingProgress progress;
    QStringList unreadable;
    QString error;
    QVERIFY(!readArchive(buffer, tmp.path(), progress, &error, &unreadable));
    QCOMPARE(unreadable, QStringList{QStringLiteral("bad.dbf")});
    QVERIFY(error.contains(QLatin1String("bad.dbf")));
    QMap<QString, QByteArray> expected;
    expected.insert(QStringLiteral("first.dbf"), "first");
    expected.insert(QStringLiteral("last.dbf"), "last");
    QCOMPARE(snapshot(tmp.path()), expected);
}

void TestArchive::damagedHeaderDoesNotHideTheEntriesAfterIt()
{
    QTemporaryDir tmp;
    QByteArray damaged = entry("bad.dbf", "lost");
    damaged[0] = char(0x7F); // name length far beyond any real name
    damaged[3] = char(0x7F);
    const QByteArray bytes = int32le(2) + damaged + entry("good.dbf", "good");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CountingProgress progress;
    QStringList unreadable;
    QVERIFY(!readArchive(buffer, tmp.path(), progress, nullptr, &unreadable));
    QCOMPARE(unreadable, QStringList{QStringLiteral("Fisierul 1 din salvare")});
    QMap<QString, QByteArray> expected;
    expected.insert(QStringLiteral("good.dbf"), "good");
    QCOMPARE(snapshot(tmp.path()), expected);
}

void TestArchive::verifyingWritesNothingAndNamesTheDamagedFiles()
{
    QTemporaryDir tmp;
    const QString whole = tmp.filePath(QStringLiteral("whole.vrn"));
    writeFile(whole, int32le(2) + entry("a.dbf", "a") + entry("b.dbf", "b"));
    QVERIFY(archiveReadsWhole(whole));
    const QString cut = tmp.filePath(QStringLiteral("cut.vrn"));
    writeFile(cut, int32le(2) + entry("a.dbf", "a") + entry("b.dbf", "bbbb", 9));
    QStringList unreadable;
    QVERIFY(!archiveReadsWhole(cut, &unreadable));
    QCOMPARE(unreadable, QStringList{QStringLiteral("b.dbf")});
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 2);
}

void TestArchive::manyDamagedEntriesAreSkippedABoundedNumberOfTimes()
{
    QTemporaryDir tmp;
    QByteArray bytes = int32le(200);
    for (int i = 0; i < 199; ++i) {
        QByteArray damaged = entry("bad" + QByteArray::number(i), pseudoRandom(3000, quint32(i)));
        for (int k = 30; k < 60; ++k)
            damaged[k] = char(0xFF);
        bytes += damaged;
    }
    bytes += entry("last.dbf", "last");
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CountingProgress progress;
    QStringList unreadable;
    QVERIFY(!readArchive(buffer, tmp.path(), progress, nullptr, &unreadable));
    QCOMPARE(unreadable.size(), ArchiveLimits::MaxResyncs + 1);
    QVERIFY(snapshot(tmp.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
