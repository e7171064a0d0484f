// The model files: written only when missing, restorable, and letters whose keys the
// line-by-line letter engine can find.

#include "core/error.h"
#include "core/session.h"
#include "startup/modelfiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace vestronia;

class TestModelFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesOnlyMissingModels();
    void lettersKeepEveryKeyOnOneLine_data();
    void lettersKeepEveryKeyOnOneLine();
    void restoreOverwritesAnEditedModel();
    void restoreRefusesUnknownModel();
    void modelsTakeTheSharedFoldersGroupAccess();

private:
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

namespace {
Session sessionIn(const QTemporaryDir &dir)
{
    Session s;
    s.programFolder = dir.path();
    s.dataFolder = dir.filePath(QStringLiteral("Data"));
    QDir().mkpath(s.dataFolder);
    return s;
}
} // namespace

void TestModelFiles::writesOnlyMissingModels()
{
    QTemporaryDir dir;
    const Session s = sessionIn(dir);
    QFile mine(s.dataFolder + QStringLiteral("/instiintare.RTF"));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("{\\rtf1 al meu}");
    mine.close();
    const QStringList written = writeModelFiles(s);
    QVERIFY(written.contains(s.dataFolder + QStringLiteral("/SomTit.rtf")));
    QVERIFY(written.contains(s.programFolder + QStringLiteral("/ico1.ico")));
    QVERIFY(written.contains(s.dataFolder + QStringLiteral("/ModelChitanta.xls")));
    QVERIFY(read(s.dataFolder + QStringLiteral("/ModelChitanta.xls")).startsWith("\xD0\xCF\x11\xE0"));
    // A model the user has (in any case of its name) is never replaced.
    QCOMPARE(read(mine.fileName()), QByteArray("{\\rtf1 al meu}"));
    QVERIFY(!QFile::exists(s.dataFolder + QStringLiteral("/Instiintare.rtf")));
    QVERIFY(writeModelFiles(s).isEmpty());
}

void TestModelFiles::lettersKeepEveryKeyOnOneLine_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<int>("pages");
    QTest::newRow("notice") << QStringLiteral("Instiintare.rtf") << 1;
    QTest::newRow("summons") << QStringLiteral("SomTit.rtf") << 2;
}

void TestModelFiles::lettersKeepEveryKeyOnOneLine()
{
    QFETCH(QString, letter);
    QFETCH(int, pages);
    QTemporaryDir dir;
    const Session s = sessionIn(dir);
    writeModelFiles(s);
    const QByteArray rtf = read(s.dataFolder + QLatin1Char('/') + letter);
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1250"));
    // The header ends at the first paragraph; everything after it is the body.
    QVERIFY(rtf.indexOf("\\pard") > rtf.indexOf("\\fonttbl"));
    // Code page 1250 letters are escaped, so the file is plain ASCII.
    for (char c : rtf)
        QVERIFY(uchar(c) < 0x80);
    const QList<QByteArray> lines = rtf.split('\n');
    const char *keys[] = {"[JUDET]", "[UNITATE]", "[UDATA]", "[UNR]", "[Localit]", "[Nume]", "[Loc]", "[Strada]",
                          "[Nr]",    "[CNP]",     "[NrCon]", "[DataCon]", "[Debit]", "[Pen]", "[total]"};
    for (const char *key : keys) {
        bool found = false;
        for (const QByteArray &line : lines)
            found = found || line.contains(key);
        QVERIFY2(found, key);
    }
    // No key is cut by a control word or a line break: every '[' closes on its line.
    for (const QByteArray &line : lines)
        QCOMPARE(line.count('['), line.count(']'));
    QCOMPARE(int(rtf.count("\\page")), pages - 1);
    int depth = 0;
    for (char c : rtf)
        depth += c == '{' ? 1 : c == '}' ? -1 : 0;
    QCOMPARE(depth, 0);
}

void TestModelFiles::restoreOverwritesAnEditedModel()
{
    QTemporaryDir dir;
    const Session s = sessionIn(dir);
    writeModelFiles(s);
    const QString path = s.dataFolder + QStringLiteral("/SomTit.rtf");
    const QByteArray original = read(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("stricat");
    f.close();
    restoreModelFile(s, QStringLiteral("somtit.rtf"));
    QCOMPARE(read(path), original);
}

void TestModelFiles::restoreRefusesUnknownModel()
{
    QTemporaryDir dir;
    const Session s = sessionIn(dir);
    QVERIFY_THROWS_EXCEPTION(vestronia::VestroniaError, restoreModelFile(s, QStringLiteral("../evil.rtf")));
}

// A data folder shared through its group: a model written there was mode 0644, so the
// other users could not save their edited letters.
void TestModelFiles::modelsTakeTheSharedFoldersGroupAccess()
{
    QTemporaryDir dir;
    const Session s = sessionIn(dir);
    QVERIFY(::chmod(QFile::encodeName(s.dataFolder).constData(), 0770) == 0);
    const mode_t old = ::umask(022);
    writeModelFiles(s);
    ::umask(old);
    for (const QString &name : {QStringLiteral("SomTit.rtf"), QStringLiteral("ModelChitanta.xls")}) {
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(s.dataFolder + QLatin1Char('/') + name).constData(), &st) == 0);
        QVERIFY2((st.st_mode & 0777) == 0664, qPrintable(name + QStringLiteral(" %1").arg(st.st_mode & 0777, 0, 8)));
    }
}

QTEST_GUILESS_MAIN(TestModelFiles)
#include "tst_modelfiles.moc"
