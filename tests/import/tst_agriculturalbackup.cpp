// Backups that cannot be used: damaged or crafted archives, a backup without Cap1.dbf or
// without a table or field the import reads. Each gives its message, removes what it
// unpacked and leaves the data folder exactly as it was.

#include "ledger/ledgerfixture.h"
#include "import/rg3builder.h"

#include "import/agriculturalbackup.h"
#include "import/importerror.h"

#include <QCryptographicHash>
#include <QDirIterator>

using namespace vestronia;
using namespace vestronia::testing;

namespace {
const QString CheckTitle = QStringLiteral("Verificare salvare R.A.");
const QString OpenTitle = QStringLiteral("Dezarhivare date R.A.");

RegisterSpec smallRegister()
{
    RegisterSpec r;
    r.addVolume(1, QStringLiteral("VESTRONIA"), 1);
    r.addHousehold(1, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("1"));
    r.addMember(1, 2024, 1, QStringLiteral("Pop"), QStringLiteral("Ion"));
    return r;
}

// Every file under a folder with a hash of its bytes.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out.insert(path, QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
    }
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestAgriculturalBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusedBackups_data();
    void refusedBackups();
    void missingFields_data();
    void missingFields();
    void namesOfAnyCaseAreFound();
};

void TestAgriculturalBackup::refusedBackups_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    LedgerFixture f;
    QVERIFY(writeRegisterTables(smallRegister(), f.dir.filePath(QStringLiteral("t"))));
    const QString t = f.dir.filePath(QStringLiteral("t/"));
    const QByteArray cap1 = fileBytes(t + QStringLiteral("Cap1.dbf"));
    const QByteArray ident = fileBytes(t + QStringLiteral("Identificare.dbf"));
    const QByteArray volume = fileBytes(t + QStringLiteral("Volume.dbf"));
    const QString unreadable = QStringLiteral("\rSalvarea nu poate fi deschisa!");

    QTest::newRow("not an archive") << QByteArray("this is not a backup of anything") << OpenTitle << unreadable;
    QTest::newRow("entry count beyond the limit") << QByteArray("\xff\xff\xff\x7f", 4) << OpenTitle << unreadable;
    QTest::newRow("stream cut short") << craftArchive({{"Volume.dbf", volume}, {"Cap1.dbf", cap1, -1, true}})
                                      << OpenTitle << unreadable;
    QTest::newRow("declared size larger than the stream")
        << craftArchive({{"Cap1.dbf", cap1, qint32(cap1.size() + 100)}}) << OpenTitle << unreadable;
    QTest::newRow("entry name leaving the folder")
        << craftArchive({{"../Cap1.dbf", cap1}, {"Identificare.dbf", ident}, {"Volume.dbf", volume}}) << OpenTitle
        << unreadable;
    QTest::newRow("no entries") << craftArchive({}) << CheckTitle
                                << QStringLiteral("\rSalvarea nu contine datele din Reg.Agricol!");
    QTest::newRow("without Cap1.dbf") << craftArchive({{"Identificare.dbf", ident}, {"Volume.dbf", volume}})
                                      << CheckTitle << QStringLiteral("\rSalvarea nu contine datele din Reg.Agricol!");
    QTest::newRow("without Volume.dbf")
        << craftArchive({{"Identificare.dbf", ident}, {"Cap1.dbf", cap1}}) << CheckTitle
        << QStringLiteral("\rSalvarea nu contine tabela Volume.dbf din Reg.Agricol!");
    QTest::newRow("Cap1.dbf that is not a table")
        << craftArchive({{"Cap1.dbf", QByteArray(300, 'x')}, {"Identificare.dbf", ident}, {"Volume.dbf", volume}})
        << CheckTitle << QStringLiteral("\rTabela Cap1.dbf din salvare este deteriorata:\r");
}

void TestAgriculturalBackup::refusedBackups()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, title);
    QFETCH(QString, text);
    LedgerFixture f;
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("SALUBRIZARE"), QStringLiteral("10")));
    const QString path = f.dir.filePath(QStringLiteral("in/bad.rg3"));
    QDir().mkpath(f.dir.filePath(QStringLiteral("in")));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(archive);
    out.close();
    const QMap<QString, QByteArray> before = snapshot(f.session.dataFolder);

    NullProgress quiet;
    try {
        AgriculturalBackup backup(f.session, path, quiet);
        QFAIL("a backup that cannot be used was accepted");
    } catch (const ImportError &e) {
        QCOMPARE(e.title(), title);
        QVERIFY2(e.message().startsWith(text), qPrintable(e.message()));
    }
    QCOMPARE(snapshot(f.session.dataFolder), before);
    QCOMPARE(QDir(f.session.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QVERIFY(!QFile::exists(f.session.tempFolder + QStringLiteral("/Cap1.dbf")));
    QVERIFY(!QFile::exists(f.dir.filePath(QStringLiteral("Cap1.dbf"))));
}

void TestAgriculturalBackup::missingFields_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("field");
    for (const auto &[table, fields] : AgriculturalBackup::requiredTables())
        for (const QString &field : fields)
            QTest::newRow(qPrintable(table + QLatin1Char(' ') + field)) << table << field;
}

void TestAgriculturalBackup::missingFields()
{
    QFETCH(QString, table);
    QFETCH(QString, field);
    LedgerFixture f;
    RegisterSpec r = smallRegister();
    r.omit.insert(table, QJsonArray{field});
    const QString archive = f.dir.filePath(QStringLiteral("reg.rg3"));
    QVERIFY(writeRegisterBackup(r, f.dir.filePath(QStringLiteral("work")), archive));
    NullProgress quiet;
    try {
        AgriculturalBackup backup(f.session, archive, quiet);
        QFAIL("a table without a field the import reads was accepted");
    } catch (const ImportError &e) {
        QCOMPARE(e.title(), CheckTitle);
        QCOMPARE(e.message(), QStringLiteral("\rTabela ") + table + QStringLiteral(" din salvare nu are campul ") + field
                                  + QStringLiteral("!"));
    }
    QCOMPARE(QDir(f.session.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestAgriculturalBackup::namesOfAnyCaseAreFound()
{
    // A backup made on Windows may spell the tables in any case; extra files are ignored.
    LedgerFixture f(QDate(2024, 6, 10));
    QVERIFY(writeRegisterTables(smallRegister(), f.dir.filePath(QStringLiteral("t"))));
    const QString t = f.dir.filePath(QStringLiteral("t/"));
    const QByteArray archive =
        craftArchive({{"CAP1.DBF", fileBytes(t + QStringLiteral("Cap1.dbf"))},
                      {"identificare.DBF", fileBytes(t + QStringLiteral("Identificare.dbf"))},
                      {"Volume.dbf", fileBytes(t + QStringLiteral("Volume.dbf"))},
                      {"Altceva.txt", QByteArray("nimic")}});
    const QString path = f.dir.filePath(QStringLiteral("reg.rg3"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(archive);
    out.close();
    NullProgress quiet;
    QString folder;
    {
        AgriculturalBackup backup(f.session, path, quiet);
        folder = backup.folder();
        QVERIFY(folder.startsWith(f.session.tempFolder + QStringLiteral("/TmpRA")));
        const std::vector<Household> h = backup.households(*f.db, 2024);
        QCOMPARE(int(h.size()), 1);
        QCOMPARE(h[0].persons, 1);
        QCOMPARE(backup.heads(*f.db, 2024).value(QStringLiteral("1")).surname, QStringLiteral("Pop"));
    }
    QVERIFY(!QFileInfo::exists(folder));
}

QTEST_GUILESS_MAIN(TestAgriculturalBackup)
#include "tst_agriculturalbackup.moc"
