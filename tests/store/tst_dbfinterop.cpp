// Interoperability with outside dBase tools (Debian's python3-dbfread and python3-dbf):
// they read the files we write with the same fields and values, and we read the files
// they write (dBase III and the Clipper flavour of the dBase III/IV layout, with deleted
// records, blank numbers and dates).

#include "store/database.h"
#include "store/dbftable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vestronia;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

bool pythonHas(const QString &module)
{
    QProcess p;
    p.start(Python, {QStringLiteral("-c"), QStringLiteral("import ") + module});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Runs a script with arguments; returns its standard output parsed as JSON.
QJsonDocument runPython(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(Python, QStringList{QStringLiteral("-c"), script} + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << p.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput());
}

const char *ReadWithDbfread = R"(
import sys, json, dbfread
t = dbfread.DBF(sys.argv[1], char_decode_errors='strict')
fields = [[f.name, f.type, f.length, f.decimal_count] for f in t.fields]
def norm(v):
    # dbfread gives blank text as ''; the store's rule is NULL, compared as such.
    if isinstance(v, str):
        return v.rstrip() or None
    return v.isoformat() if hasattr(v, 'isoformat') else v
rows = [[norm(v) for v in r.values()] for r in t]
print(json.dumps({'encoding': t.encoding, 'fields': fields, 'rows': rows}))
)";

const char *ReadWithDbf = R"(
import sys, json, dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
fields = []
for name in t.field_names:
    info = t.field_info(name)
    fields.append([name.upper(), chr(info[0]) if isinstance(info[0], int) else str(info[0]), info[1], info[2]])
rows = []
for r in t:
    if dbf.is_deleted(r):
        continue
    vals = []
    for name in t.field_names:
        v = r[name]
        if isinstance(v, str):
            v = v.rstrip() or None
        elif hasattr(v, 'isoformat'):
            v = v.isoformat() if v else None
        elif v is not None and not isinstance(v, (int, float, bool)):
            v = None if v is dbf.Null or str(v) in ('None', '') else (bool(v) if type(v).__name__ == 'Logical' else float(v))
        vals.append(v)
    rows.append(vals)
t.close()
print(json.dumps({'fields': fields, 'rows': rows}))
)";

const char *WriteWithDbf = R"(
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'NUME C(20); SUMA N(10,2); NR N(6,0); DATA D; ACTIV L', dbf_type=sys.argv[2], codepage='cp1250')
t.open(dbf.READ_WRITE)
t.append(('Şerban Ţâră', 12.5, 3, datetime.date(2024, 11, 29), True))
t.append(('sters', -1.25, 4, datetime.date(2000, 2, 29), False))
t.append(dict(nume='gol'))
t.append(('Minus', -123456.78, -99999, datetime.date(1900, 1, 1), False))
dbf.delete(t[1])
t.close()
)";

} // namespace

class TestDbfInterop : public QObject
{
    Q_OBJECT

private:
    // A table with every type we write, NULLs, negatives, rounding, code-page letters and
    // a deleted record.
    QString writeOurTable(QTemporaryDir &dir)
    {
        const QString path = dir.filePath(QStringLiteral("Mixt.dbf"));
        const QList<DbfColumn> cols = {{QStringLiteral("IDAB"), 'N', 10, 0},
                                       {QStringLiteral("NUME"), 'C', 30, 0},
                                       {QStringLiteral("SOLD"), 'N', 10, 2},
                                       {QStringLiteral("UDATA"), 'D', 8, 0},
                                       {QStringLiteral("ACTIV"), 'L', 1, 0}};
        if (!createTable(path, cols))
            return {};
        Database db(QString{});
        db.attach(QStringLiteral("M"), path);
        Statement ins = db.prepare(QStringLiteral("INSERT INTO M VALUES (?, ?, ?, ?, ?)"));
        ins.exec({1, QStringLiteral("Ştefăneşti Ţâî"), 12.345, QDate(2024, 11, 29), true});
        ins.exec({2, QStringLiteral("de sters"), 1.0, QDate(2000, 2, 29), false});
        ins.exec({-42, QVariant(), -2.675, QVariant(), QVariant()});
        ins.exec({QVariant(), QStringLiteral("doar nume"), QVariant(), QDate(1903, 1, 1), false});
        db.exec(QStringLiteral("DELETE FROM M WHERE IDAB=2"));
        return path;
    }

    static QJsonArray expectedRows()
    {
        return QJsonArray{
            QJsonArray{1, QStringLiteral("Ştefăneşti Ţâî"), 12.35, QStringLiteral("2024-11-29"), true},
            QJsonArray{-42, QJsonValue::Null, -2.68, QJsonValue::Null, QJsonValue::Null},
            QJsonArray{QJsonValue::Null, QStringLiteral("doar nume"), QJsonValue::Null, QStringLiteral("1903-01-01"), false}};
    }

    static QJsonArray expectedFields()
    {
        return QJsonArray{QJsonArray{QStringLiteral("IDAB"), QStringLiteral("N"), 10, 0},
                          QJsonArray{QStringLiteral("NUME"), QStringLiteral("C"), 30, 0},
                          QJsonArray{QStringLiteral("SOLD"), QStringLiteral("N"), 10, 2},
                          QJsonArray{QStringLiteral("UDATA"), QStringLiteral("D"), 8, 0},
                          QJsonArray{QStringLiteral("ACTIV"), QStringLiteral("L"), 1, 0}};
    }

private Q_SLOTS:
    void dbfreadReadsOurFiles()
    {
        if (!pythonHas(QStringLiteral("dbfread")))
            QSKIP("python3-dbfread is not installed");
        QTemporaryDir dir;
        const QString path = writeOurTable(dir);
        QVERIFY(!path.isEmpty());
        const QJsonObject got = runPython(QString::fromUtf8(ReadWithDbfread), {path}).object();
        QCOMPARE(got.value(QStringLiteral("encoding")).toString(), QStringLiteral("cp1250"));
        QCOMPARE(got.value(QStringLiteral("fields")).toArray(), expectedFields());
        QCOMPARE(got.value(QStringLiteral("rows")).toArray(), expectedRows());
    }

    void pythonDbfReadsOurFiles()
    {
        if (!pythonHas(QStringLiteral("dbf")))
            QSKIP("python3-dbf is not installed");
        QTemporaryDir dir;
        const QString path = writeOurTable(dir);
        QVERIFY(!path.isEmpty());
        const QJsonObject got = runPython(QString::fromUtf8(ReadWithDbf), {path}).object();
        QCOMPARE(got.value(QStringLiteral("fields")).toArray(), expectedFields());
        QCOMPARE(got.value(QStringLiteral("rows")).toArray(), expectedRows());
    }

    void weReadFilesOfPythonDbf_data()
    {
        QTest::addColumn<QString>("flavour");
        QTest::newRow("dBase III") << QStringLiteral("db3");
        QTest::newRow("Clipper") << QStringLiteral("clp");
    }
    void weReadFilesOfPythonDbf()
    {
        QFETCH(QString, flavour);
        if (!pythonHas(QStringLiteral("dbf")))
            QSKIP("python3-dbf is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Strain.dbf"));
        QProcess p;
        p.start(Python, {QStringLiteral("-c"), QString::fromUtf8(WriteWithDbf), path, flavour});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());

        const QList<DbfColumn> cols = tableColumns(path);
        QCOMPARE(cols.size(), 5);
        QCOMPARE(cols[1], (DbfColumn{QStringLiteral("SUMA"), 'N', 10, 2}));
        QCOMPARE(cols[3], (DbfColumn{QStringLiteral("DATA"), 'D', 8, 0}));

        Database db(QString{});
        db.attach(QStringLiteral("S"), path);
        const ResultSet rs = db.select(QStringLiteral("SELECT NUME, SUMA, NR, DATA, ACTIV FROM S ORDER BY rowid"));
        QCOMPARE(rs.rowCount(), 3); // the deleted record is skipped
        QCOMPARE(rs.text(0, QStringLiteral("NUME")), QStringLiteral("Şerban Ţâră"));
        QCOMPARE(rs.value(0, 1).toDouble(), 12.5);
        QCOMPARE(rs.value(0, 2).toLongLong(), 3);
        QCOMPARE(rs.value(0, 3).toInt(), 45625);
        QCOMPARE(rs.value(0, 4).toLongLong(), 1);
        QCOMPARE(rs.text(1, QStringLiteral("NUME")), QStringLiteral("gol"));
        for (int c = 1; c < 4; ++c)
            QVERIFY2(!rs.value(1, c).isValid(), qPrintable(rs.columns().at(c)));
        QCOMPARE(rs.value(2, 1).toDouble(), -123456.78);
        QCOMPARE(rs.value(2, 2).toLongLong(), -99999);
        QCOMPARE(rs.value(2, 3).toInt(), 2);
        QCOMPARE(rs.value(2, 4).toLongLong(), 0);

        // We write into their file, and they still read it.
        db.exec(QStringLiteral("INSERT INTO S (NUME, SUMA) VALUES (?, ?)"), {QStringLiteral("adaugat"), 0.1});
        if (pythonHas(QStringLiteral("dbfread"))) {
            const QJsonArray rows =
                runPython(QString::fromUtf8(ReadWithDbfread), {path}).object().value(QStringLiteral("rows")).toArray();
            QCOMPARE(rows.size(), 4);
            QCOMPARE(rows.at(3).toArray().at(0).toString(), QStringLiteral("adaugat"));
            QCOMPARE(rows.at(3).toArray().at(1).toDouble(), 0.1);
        }
    }

    // A file whose language driver names another code page was read (and written) as
    // 1250: 'é' of a DOS file came out as another letter, and our writes put 1250 bytes
    // into it. Each case carries letters whose bytes differ between the pages.
    void foreignCodePageReadAndWrittenInItsOwnPage_data()
    {
        QTest::addColumn<QString>("codepage");
        QTest::addColumn<int>("driver");
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("notInPage");
        QTest::newRow("437") << QStringLiteral("cp437") << 0x01 << QStringLiteral("é½ Çü") << QStringLiteral("½ Ñé")
                             << QStringLiteral("ă");
        QTest::newRow("852") << QStringLiteral("cp852") << 0x1F << QStringLiteral("Ştefan ăţé")
                             << QStringLiteral("Ţară şé") << QStringLiteral("½");
        QTest::newRow("1252") << QStringLiteral("cp1252") << 0x03 << QStringLiteral("é½ Ñ€")
                              << QStringLiteral("½€ é") << QStringLiteral("ş");
    }
    void foreignCodePageReadAndWrittenInItsOwnPage()
    {
        QFETCH(QString, codepage);
        QFETCH(int, driver);
        QFETCH(QString, theirs);
        QFETCH(QString, ours);
        QFETCH(QString, notInPage);
        if (!pythonHas(QStringLiteral("dbf")))
            QSKIP("python3-dbf is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Pagina.dbf"));
        const char *write = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], 'NUME C(20)', dbf_type='db3', codepage=sys.argv[2])
t.open(dbf.READ_WRITE)
t.append((sys.argv[3],))
t.close()
)";
        QProcess p;
        p.start(Python, {QStringLiteral("-c"), QString::fromUtf8(write), path, codepage, theirs});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(int(static_cast<unsigned char>(f.read(30).at(29))), driver);
        f.close();

        Database db(QString{});
        db.attach(QStringLiteral("S"), path);
        QCOMPARE(db.scalar(QStringLiteral("SELECT NUME FROM S")).toString(), theirs);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM S WHERE NUME=?"), {theirs}).toLongLong(), 1);
        db.exec(QStringLiteral("INSERT INTO S (NUME) VALUES (?)"), {ours});
        QCOMPARE(db.scalar(QStringLiteral("SELECT NUME FROM S WHERE rowid=2")).toString(), ours);
        // A letter the file's page cannot hold is refused by name, not written as '?'.
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        try {
            db.exec(QStringLiteral("UPDATE S SET NUME=? WHERE rowid=1"), {notInPage});
            QFAIL("a letter outside the code page was written");
        } catch (const VestroniaError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("codul ") + codepage.mid(2)), qPrintable(e.message()));
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();

        // They read what we wrote, in their page.
        const char *read = R"(
import sys, dbf, json
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print(json.dumps([r[0].rstrip() for r in t]))
)";
        const QJsonArray names = runPython(QString::fromUtf8(read), {path}).array();
        QCOMPARE(names.size(), 2);
        QCOMPARE(names.at(0).toString(), theirs);
        QCOMPARE(names.at(1).toString(), ours);
    }
    // Every letter a page holds above 0x7F (the bytes 0x80-0xFF it defines) in one field:
    // python3-dbf writes them, we read each one, write them back into the file in its page,
    // and python3-dbf reads ours the same.
    void everyHighByteOfEachPageRoundTrips_data()
    {
        QTest::addColumn<QString>("codepage");
        QTest::newRow("1250") << QStringLiteral("cp1250");
        QTest::newRow("1252") << QStringLiteral("cp1252");
        QTest::newRow("437") << QStringLiteral("cp437");
        QTest::newRow("852") << QStringLiteral("cp852");
    }
    void everyHighByteOfEachPageRoundTrips()
    {
        QFETCH(QString, codepage);
        if (!pythonHas(QStringLiteral("dbf")))
            QSKIP("python3-dbf is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Toate.dbf"));
        // The letters between two 'x', so no blank at either end is trimmed by either side.
        const char *write = R"(
import sys, dbf, json
cp = sys.argv[2]
letters = ''
for b in range(0x80, 0x100):
    try:
        letters += bytes([b]).decode(cp)
    except UnicodeDecodeError:
        pass
text = 'x' + letters + 'x'
t = dbf.Table(sys.argv[1], 'NUME C(140)', dbf_type='db3', codepage=cp)
t.open(dbf.READ_WRITE)
t.append((text,))
t.close()
print(json.dumps(text))
)";
        QProcess p;
        p.start(Python, {QStringLiteral("-c"), QString::fromUtf8(write), path, codepage});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QString text = QJsonDocument::fromJson("[" + p.readAllStandardOutput() + "]").array().at(0).toString();
        QVERIFY(text.size() > 100);

        Database db(QString{});
        db.attach(QStringLiteral("S"), path);
        QCOMPARE(db.scalar(QStringLiteral("SELECT NUME FROM S")).toString(), text);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray theirs = f.readAll();
        f.close();
        // Written back unchanged: the very same bytes.
        db.exec(QStringLiteral("UPDATE S SET NUME=? WHERE rowid=1"), {text});
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray ours = f.readAll();
        f.close();
        QCOMPARE(ours.mid(32), theirs.mid(32));
        db.exec(QStringLiteral("INSERT INTO S (NUME) VALUES (?)"), {text});
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM S WHERE NUME LIKE ?"), {text}).toLongLong(), 2);

        const char *read = R"(
import sys, dbf, json
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print(json.dumps([r[0].rstrip(' ') for r in t]))
)";
        const QJsonArray names = runPython(QString::fromUtf8(read), {path}).array();
        QCOMPARE(names.size(), 2);
        QCOMPARE(names.at(0).toString(), text);
        QCOMPARE(names.at(1).toString(), text);
    }
    // No language driver (0) keeps the program's own page; our new files say 1250.
    void fileWithoutLanguageDriverReadsAs1250()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Nou.dbf"));
        QVERIFY(createTable(path, QList<DbfColumn>{DbfColumn{QStringLiteral("NUME"), 'C', 20, 0}}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QCOMPARE(int(static_cast<unsigned char>(f.read(30).at(29))), 0xC8);
        {
            Database db(QString{});
            db.attach(QStringLiteral("S"), path);
            db.exec(QStringLiteral("INSERT INTO S (NUME) VALUES (?)"), {QStringLiteral("Ţară ş")});
        }
        QVERIFY(f.seek(29));
        QCOMPARE(f.write("\0", 1), 1);
        f.close();
        Database db(QString{});
        db.attach(QStringLiteral("S"), path);
        QCOMPARE(db.scalar(QStringLiteral("SELECT NUME FROM S")).toString(), QStringLiteral("Ţară ş"));
    }
};

QTEST_GUILESS_MAIN(TestDbfInterop)
#include "tst_dbfinterop.moc"
