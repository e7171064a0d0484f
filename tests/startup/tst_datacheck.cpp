// The data check over a folder a writer left half way through a commit: the check plays
// the journal back before it scans, so it reports the folder as it is, not the torn
// bytes of a commit that never happened.

#include "core/progress.h"
#include "core/tablecatalogue.h"
#include "startup/datacheck.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "store/journal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestDataCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void checkPlaysDeadWritersJournalBeforeScanning();
};

void TestDataCheck::checkPlaysDeadWritersJournalBeforeScanning()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    for (const TableDef &t : tableCatalogue())
        QVERIFY(createTable(folder + QLatin1Char('/') + QLatin1String(t.fileName), t.columns));
    {
        Database db(folder);
        db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (1, 'POPESCU')"));
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, RATA, SOLD) VALUES (1, -1, 1, 0, 5, 5)"));
    }
    const QString debite = folder + QStringLiteral("/Debite.dbf");
    QFile f(debite);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray before = f.readAll();
    // The dead writer had journalled Debite, raised its record count and written half a
    // record past the end.
    journal::FileImage img;
    img.name = "Debite.dbf";
    img.oldSize = std::uint64_t(before.size());
    img.chunks.push_back({0, std::string(before.constData(), 32)});
    img.chunks.push_back({std::uint64_t(before.size() - 1), std::string(1, before.back())});
    QVERIFY(journal::writeJournal(QFile::encodeName(folder + QStringLiteral("/Vestronia.jrn")).toStdString(), {img}));
    QByteArray torn = before.left(before.size() - 1) + QByteArray(40, 'X');
    torn[4] = char(2);
    QVERIFY(f.seek(0));
    QCOMPARE(f.write(torn), torn.size());
    f.close();

    NullProgress none;
    const DataCheckReport report = checkDataFolder(folder, none);
    QStringList problems;
    for (const DataProblem &p : report.problems)
        problems << p.table + QStringLiteral(": ") + p.text;
    QVERIFY2(report.clean(), qPrintable(problems.join(QLatin1Char('\n'))));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/Vestronia.jrn")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

QTEST_GUILESS_MAIN(TestDataCheck)
#include "tst_datacheck.moc"
