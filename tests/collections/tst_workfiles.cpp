// Work file names: a document that may still be open in a viewer keeps its name, so the
// next receipt never overwrites the one on the clerk's screen.

#include "core/workfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestWorkFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freeNameIsReused();
    void nameWithLibreOfficeLockIsSkipped();
    void nameHandedToShellIsSkipped();
    void documentNameIsNeverReusedWhateverItsExtension();
};

namespace {
void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}
} // namespace

void TestWorkFiles::freeNameIsReused()
{
    QTemporaryDir dir;
    touch(dir.path() + QStringLiteral("/XLSTmp0.xls"));
    // An old document no one holds is deleted and its name handed out again.
    QCOMPARE(newWorkFile(dir.path(), QStringLiteral("XLSTmp"), QStringLiteral(".xls")), dir.path() + QStringLiteral("/XLSTmp0.xls"));
    QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/XLSTmp0.xls")));
}

void TestWorkFiles::nameWithLibreOfficeLockIsSkipped()
{
    QTemporaryDir dir;
    touch(dir.path() + QStringLiteral("/XLSTmp0.xls"));
    touch(dir.path() + QStringLiteral("/.~lock.XLSTmp0.xls#"));
    QCOMPARE(newWorkFile(dir.path(), QStringLiteral("XLSTmp"), QStringLiteral(".xls")), dir.path() + QStringLiteral("/XLSTmp1.xls"));
    // The open document stays untouched.
    QVERIFY(QFileInfo::exists(dir.path() + QStringLiteral("/XLSTmp0.xls")));
}

void TestWorkFiles::nameHandedToShellIsSkipped()
{
    QTemporaryDir dir;
    const QString shown = dir.path() + QStringLiteral("/Chit0.pdf");
    touch(shown);
    noteHandedToShell(shown);
    QVERIFY(wasHandedToShell(shown));
    QCOMPARE(newWorkFile(dir.path(), QStringLiteral("Chit"), QStringLiteral(".pdf")), dir.path() + QStringLiteral("/Chit1.pdf"));
    QVERIFY(QFileInfo::exists(shown));
}

void TestWorkFiles::documentNameIsNeverReusedWhateverItsExtension()
{
    QTemporaryDir dir;
    const QString xls = newDocumentFile(dir.path(), QStringLiteral("XLSTmp"), QStringLiteral(".xls"));
    QCOMPARE(xls, dir.path() + QStringLiteral("/XLSTmp0.xls"));
    // Its PDF is made beside it; the next document, of either extension, goes elsewhere
    // even after the workbook itself is gone.
    touch(dir.path() + QStringLiteral("/XLSTmp0.pdf"));
    QCOMPARE(newDocumentFile(dir.path(), QStringLiteral("XLSTmp"), QStringLiteral(".xls")), dir.path() + QStringLiteral("/XLSTmp1.xls"));
    QCOMPARE(newWorkFile(dir.path(), QStringLiteral("XLSTmp"), QStringLiteral(".pdf")), dir.path() + QStringLiteral("/XLSTmp2.pdf"));
    QVERIFY(QFileInfo::exists(dir.path() + QStringLiteral("/XLSTmp0.pdf")));
    // A document handed to the shell reserves its name for every extension.
    const QString shown = dir.path() + QStringLiteral("/Chit0.pdf");
    noteHandedToShell(shown);
    QCOMPARE(newWorkFile(dir.path(), QStringLiteral("Chit"), QStringLiteral(".xls")), dir.path() + QStringLiteral("/Chit1.xls"));
    // Scratch names are still reused, so a long run never runs out of them.
    const QString scratch = newWorkFile(dir.path(), QStringLiteral("DebNew"), QStringLiteral(".dbf"));
    touch(scratch);
    QCOMPARE(newWorkFile(dir.path(), QStringLiteral("DebNew"), QStringLiteral(".dbf")), scratch);
}

QTEST_GUILESS_MAIN(TestWorkFiles)
#include "tst_workfiles.moc"
