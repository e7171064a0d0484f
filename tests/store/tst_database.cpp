// The SQL contract over a data folder: attachments of the nine tables, parameters and
// result types, writes seen by a second connection, transactions, SQL over two tables.

#include "core/dates.h"
#include "core/money.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vestronia;

class TestDatabase : public QObject
{
    Q_OBJECT

private:
    QString makeFolder(QTemporaryDir &dir)
    {
        for (const TableDef &t : tableCatalogue())
            createTable(dir.filePath(QLatin1String(t.fileName)), t.columns);
        return dir.path();
    }

private Q_SLOTS:
    void attachesEveryCatalogueTable()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        for (const TableDef &t : tableCatalogue()) {
            QVERIFY2(db.isAttached(QLatin1String(t.name)), t.name);
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(t.name))).toLongLong(), 0);
        }
    }

    void attachesOnlyExistingFilesInAnyCase()
    {
        QTemporaryDir dir;
        createTable(dir.filePath(QStringLiteral("DEBITE.DBF")), tableDef(TableId::Debite).columns);
        Database db(dir.path());
        QVERIFY(db.isAttached(QStringLiteral("Debite")));
        QVERIFY(!db.isAttached(QStringLiteral("Abonat")));
        createTable(dir.filePath(QStringLiteral("Abonat.dbf")), tableDef(TableId::Abonat).columns);
        db.attachDataTables();
        QVERIFY(db.isAttached(QStringLiteral("abonat")));
    }

    void createTableRefusesAnExistingFile()
    {
        QTemporaryDir dir;
        QVERIFY(createTable(dir.filePath(QStringLiteral("Log.dbf")), tableDef(TableId::Log).columns));
        QVERIFY(!createTable(dir.filePath(QStringLiteral("LOG.DBF")), tableDef(TableId::Log).columns));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("LOG.DBF"))));
    }

    void valuesKeepTheirTypes()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        const int day = dayNumberOf(QDate(2024, 11, 29));
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, DATADEB, DENUM, RATA, SOLD, MAXSOLD) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                {qint64(7), 12, QDate(2024, 11, 29), QStringLiteral("Salubritate - 11.2024"),
                 QVariant::fromValue(Money::parse(QStringLiteral("12.35")).value()), -3.5, QVariant()});
        const ResultSet rs = db.select(QStringLiteral("SELECT * FROM Debite"));
        QCOMPARE(rs.rowCount(), 1);
        QCOMPARE(rs.value(0, QStringLiteral("IDDEB")).typeId(), QMetaType::LongLong);
        QCOMPARE(rs.integer(0, QStringLiteral("IDAB")), 12);
        QCOMPARE(rs.integer(0, QStringLiteral("DATADEB")), day);
        QCOMPARE(rs.text(0, QStringLiteral("DENUM")), QStringLiteral("Salubritate - 11.2024"));
        QCOMPARE(rs.value(0, QStringLiteral("RATA")).typeId(), QMetaType::Double);
        QCOMPARE(rs.money(0, QStringLiteral("RATA")).toFixed(2), QStringLiteral("12.35"));
        QCOMPARE(rs.money(0, QStringLiteral("SOLD")).toFixed(2), QStringLiteral("-3.50"));
        QVERIFY(!rs.value(0, QStringLiteral("MAXSOLD")).isValid());
        QVERIFY(!rs.value(0, QStringLiteral("IDCON")).isValid()); // never written: NULL
        QCOMPARE(rs.declaredTypes().at(rs.columnIndex(QStringLiteral("RATA"))), QStringLiteral("DECIMAL(10,2)"));
        QCOMPARE(rs.declaredTypes().at(rs.columnIndex(QStringLiteral("DENUM"))), QStringLiteral("CHAR(60)"));
    }

    void dateColumnsGiveDayNumbers()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        db.exec(QStringLiteral("INSERT INTO Log (IDLOG, DATAL, ORA, ACTIUNE) VALUES (?, ?, ?, ?)"),
                {1, QDate(2024, 11, 29), QStringLiteral("14:05:33"), QStringLiteral("Pornire program")});
        db.exec(QStringLiteral("INSERT INTO Log (IDLOG, DATAL) VALUES (?, ?)"), {2, QVariant()});
        const ResultSet rs = db.select(QStringLiteral("SELECT IDLOG, DATAL FROM Log ORDER BY IDLOG"));
        QCOMPARE(rs.declaredTypes().at(1), QStringLiteral("DATE"));
        QCOMPARE(rs.value(0, 1).typeId(), QMetaType::Int);
        QCOMPARE(rs.value(0, 1).toInt(), 45625);
        QVERIFY(!rs.value(1, 1).isValid());
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Log WHERE DATAL>=?"), {QDate(2024, 11, 1)}).toInt(), 1);
    }

    void updateAndDeleteAreSeenByASecondConnection()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database a(dir.path());
        Database b(dir.path());
        Statement ins = a.prepare(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, INCASAT) VALUES (?, ?, ?)"));
        for (int i = 1; i <= 5; ++i)
            ins.exec({i, 100 + i, 10.0 * i});
        QCOMPARE(b.scalar(QStringLiteral("SELECT SUM(INCASAT) FROM Chitante")).toDouble(), 150.0);
        QCOMPARE(a.exec(QStringLiteral("UPDATE Chitante SET ANULAT='X' WHERE IDCHIT=?"), {3}), 1);
        QCOMPARE(b.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE ANULAT='X'")).toInt(), 1);
        QCOMPARE(b.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE ANULAT IS NULL OR ANULAT<>'X'")).toInt(), 4);
        QCOMPARE(b.exec(QStringLiteral("DELETE FROM Chitante WHERE IDAB=?"), {102}), 1);
        QCOMPARE(a.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante")).toInt(), 4);
        QCOMPARE(a.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=?"), {102}).toInt(), 0);
        // The first connection writes after the second changed the file: nothing is lost.
        a.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB) VALUES (6, 106)"));
        QCOMPARE(b.scalar(QStringLiteral("SELECT GROUP_CONCAT(IDCHIT) FROM Chitante")).toString(),
                 QStringLiteral("1,3,4,5,6"));
    }

    void transactionRollsBackEverything()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        db.exec(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (1, 1, 1, 5)"));
        {
            Transaction tx(db);
            db.exec(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (2, 2, 2, 6)"));
            db.exec(QStringLiteral("UPDATE DebiteArh SET SOLD=9 WHERE IDCHIT=1"));
            QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM DebiteArh")).toDouble(), 15.0);
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM DebiteArh")).toDouble(), 5.0);
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM DebiteArh")).toDouble(), 5.0);
        {
            Transaction tx(db);
            db.exec(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (2, 2, 2, 6)"));
            tx.commit();
        }
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM DebiteArh")).toDouble(), 11.0);
    }

    void transactionsNest()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        {
            Transaction outer(db);
            db.exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, CURENT) VALUES (1, 1)"));
            {
                Transaction inner(db);
                db.exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, CURENT) VALUES (2, 2)"));
                db.exec(QStringLiteral("UPDATE DetChit SET CURENT=10 WHERE IDDCHIT=1"));
            } // given up
            {
                Transaction inner(db);
                db.exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, CURENT) VALUES (3, 3)"));
                inner.commit();
            }
            outer.commit();
        }
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT GROUP_CONCAT(IDDCHIT || ':' || CURENT) FROM DetChit")).toString(),
                 QStringLiteral("1:1.0,3:3.0"));
        QVERIFY_THROWS_EXCEPTION(SqlError, db.commit());
    }

    void valueThatDoesNotFitNamesTableFieldAndValue()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        try {
            db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, RATA) VALUES (1, ?)"), {qint64(123456789012)});
            QFAIL("no error");
        } catch (const SqlError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Valoarea 123456789012 nu incape in campul RATA (N 10,2) al tabelei Debite.dbf"));
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toInt(), 0);
    }

    void joinsAndAggregatesOverTwoTables()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        Statement ab = db.prepare(QStringLiteral("INSERT INTO Abonat (IDAB, NUME) VALUES (?, ?)"));
        ab.exec({1, QStringLiteral("Popescu Ion")});
        ab.exec({2, QStringLiteral("Ionescu Maria")});
        ab.exec({3, QStringLiteral("Fara Debite")});
        Statement deb = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, ?, ?)"));
        deb.exec({1, 1, 10.25});
        deb.exec({2, 1, 4.75});
        deb.exec({3, 2, 3.0});
        deb.exec({4, 9, 1.0}); // a debit of nobody
        const ResultSet g = db.select(QStringLiteral(
            "SELECT a.NUME, SUM(d.SOLD) AS S, COUNT(d.IDDEB) AS N FROM Abonat a LEFT JOIN Debite d ON d.IDAB=a.IDAB "
            "GROUP BY a.IDAB ORDER BY a.IDAB"));
        QCOMPARE(g.rowCount(), 3);
        QCOMPARE(g.value(0, QStringLiteral("S")).toDouble(), 15.0);
        QCOMPARE(g.integer(2, QStringLiteral("N")), 0);
        const ResultSet r = db.select(QStringLiteral(
            "SELECT a.IDAB, d.IDDEB FROM Abonat a RIGHT JOIN Debite d ON d.IDAB=a.IDAB ORDER BY d.IDDEB"));
        QCOMPARE(r.rowCount(), 4);
        QVERIFY(!r.value(3, 0).isValid());
        const ResultSet f = db.select(QStringLiteral(
            "SELECT a.IDAB, d.IDDEB FROM Abonat a FULL JOIN Debite d ON d.IDAB=a.IDAB"));
        QCOMPARE(f.rowCount(), 5);
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(DISTINCT IDAB) FROM Debite")).toInt(), 3);
        QCOMPARE(db.scalar(QStringLiteral("SELECT MAX(CAST(SOLD AS INTEGER)) FROM Debite")).toInt(), 10);
    }

    // A function defined on the connection: values in and out as parameters and results
    // cross, a failure in it fails the statement and leaves the rows as they were, and
    // once removed it no longer exists.
    void functionDefinedOnTheConnection()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        Statement deb = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD, DENUM) VALUES (?, ?, ?, ?)"));
        deb.exec({1, 1, 10.25, QStringLiteral("apa")});
        deb.exec({2, 1, QVariant(), QStringLiteral("gunoi")});
        deb.exec({3, 2, 4.5, QVariant()});
        QVariantList seen;
        db.defineFunction(QStringLiteral("twice"), 1, [&](const QVariantList &a) {
            seen << a[0];
            if (!a[0].isValid())
                return QVariant();
            if (a[0].typeId() == QMetaType::QString)
                return QVariant(a[0].toString() + a[0].toString());
            return QVariant::fromValue(Money::fromVariant(a[0]) + Money::fromVariant(a[0]));
        });
        QCOMPARE(db.exec(QStringLiteral("UPDATE Debite SET SOLD=twice(SOLD), DENUM=twice(DENUM)")), qint64(3));
        const ResultSet r = db.select(QStringLiteral("SELECT SOLD, DENUM FROM Debite ORDER BY IDDEB"));
        QCOMPARE(r.money(0, QStringLiteral("SOLD")), Money::fromUnits(205000));
        QCOMPARE(r.text(0, QStringLiteral("DENUM")), QStringLiteral("apaapa"));
        QVERIFY(!r.value(1, 0).isValid());
        QCOMPARE(r.text(1, QStringLiteral("DENUM")), QStringLiteral("gunoigunoi"));
        QCOMPARE(r.money(2, QStringLiteral("SOLD")), Money::fromLei(9));
        QVERIFY(!r.value(2, 1).isValid());
        QCOMPARE(seen.size(), 6);

        db.defineFunction(QStringLiteral("twice"), 1, [](const QVariantList &a) -> QVariant {
            if (a[0].toLongLong() == 2)
                throw VestroniaError(QStringLiteral("debitul 2 nu se poate dubla"));
            return a[0];
        });
        try {
            db.exec(QStringLiteral("UPDATE Debite SET IDAB=7, IDDEB=twice(IDDEB)"));
            QFAIL("no error");
        } catch (const SqlError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("debitul 2 nu se poate dubla")), qPrintable(e.message()));
        }
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=7")).toInt(), 0);

        db.defineFunction(QStringLiteral("twice"), 1, {});
        QVERIFY_THROWS_EXCEPTION(SqlError, db.select(QStringLiteral("SELECT twice(1)")));
    }

    // Inside a transaction the statement a function fails is undone alone: the rows it
    // had changed come back, the transaction's earlier work stays and commits. A function
    // redefined while its statement runs is refused, not swapped under the statement; a
    // function lives on its connection only.
    void functionFailingInsideATransaction()
    {
        QTemporaryDir dir;
        makeFolder(dir);
        Database db(dir.path());
        {
            Transaction tx(db);
            Statement deb = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, SOLD) VALUES (?, ?, ?)"));
            for (int i = 1; i <= 200; ++i)
                deb.exec({i, 1, 10.5});
            db.defineFunction(QStringLiteral("plus_one"), 1, [](const QVariantList &a) -> QVariant {
                if (a[0].toLongLong() == 150)
                    throw VestroniaError(QStringLiteral("oprit la 150"));
                return a[0].toLongLong() + 1;
            });
            QVERIFY_THROWS_EXCEPTION(SqlError, db.exec(QStringLiteral("UPDATE Debite SET IDAB=plus_one(IDDEB)")));
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=1")).toInt(), 200);
            db.defineFunction(QStringLiteral("plus_one"), 1, [&](const QVariantList &a) -> QVariant {
                if (a[0].toLongLong() == 2)
                    db.defineFunction(QStringLiteral("plus_one"), 1, {});
                return a[0].toLongLong() + 1;
            });
            QVERIFY_THROWS_EXCEPTION(SqlError, db.exec(QStringLiteral("UPDATE Debite SET IDAB=plus_one(IDDEB)")));
            QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=1")).toInt(), 200);
            // Still defined: the removal inside the statement did not happen.
            QCOMPARE(db.scalar(QStringLiteral("SELECT plus_one(1)")).toInt(), 2);
            tx.commit();
        }
        Database other(dir.path());
        QCOMPARE(other.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=1")).toInt(), 200);
        QCOMPARE(other.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toDouble(), 2100.0);
        QVERIFY_THROWS_EXCEPTION(SqlError, other.select(QStringLiteral("SELECT plus_one(1)")));
        db.defineFunction(QStringLiteral("plus_one"), 1, {});
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
