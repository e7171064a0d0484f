// Typed parameters of a prepared statement: NULL, integers, doubles, Money and texts
// (Romanian letters in both spellings included) must write the very record bytes the
// QVariant parameters write, read back the same, and a text bound from a buffer the
// statement reuses must never leak from one execution into the next.

#include "core/money.h"
#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbfcodec.h"
#include "store/dbftable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vestronia;

namespace {

const QString Insert = QStringLiteral(
    "INSERT INTO Debite (IDDEB, IDSERV, IDAB, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, MAXSOLD) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

// The records of a table file, as bytes.
std::vector<QByteArray> records(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const auto *u = reinterpret_cast<const unsigned char *>(bytes.constData());
    const dbf::Header h = dbf::parseHeader(u, size_t(bytes.size()), std::uint64_t(bytes.size()), "Debite.dbf");
    std::vector<QByteArray> out;
    for (std::uint32_t i = 0; i < h.recordCount; ++i)
        out.push_back(bytes.mid(qsizetype(h.headerLength + i * h.recordLength), qsizetype(h.recordLength)));
    return out;
}

struct Row
{
    qint64 id;
    QString text;
    Money amount;
    double penalty;
    QString per;
    bool nullCap;
};

} // namespace

class TestTypedBinds : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typedAndVariantParametersWriteTheSameBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Debite.dbf"));
        QVERIFY(createTable(path, tableDef(TableId::Debite).columns));
        const std::vector<Row> rows = {
            {1, QStringLiteral("Salubrizare - 11.2024"), Money::fromUnits(123500), 0.5, QStringLiteral("zi"), false},
            // Comma-below and cedilla spellings, capitals, and the letters with breve and circumflex.
            {2, QStringLiteral("Știrbăț Țâțână Îşi - ăâîșțĂÂÎȘȚşţŞŢ"), Money::fromUnits(-50), 0.0, QString(), true},
            {3, QString(), Money(), -2.675, QStringLiteral("luna"), false},
            {4, QStringLiteral("   "), Money::fromUnits(99999999900), 1.005, QStringLiteral("  zi  "), true},
        };
        {
            Database db(dir.path());
            Transaction tx(db);
            Statement insert = db.prepare(Insert);
            for (const Row &r : rows) {
                const QVariant cap = r.nullCap ? QVariant() : QVariant(QStringLiteral("D"));
                insert.exec({r.id * 2, qint64(77), 5, 45625, 202411, r.text, QVariant::fromValue(r.amount),
                             r.amount.toVariant(), r.penalty, r.per, cap});
                const QString capText = QStringLiteral("D");
                insert.execTyped({r.id * 2 + 1, qint64(77), 5, 45625, 202411, r.text, r.amount, r.amount, r.penalty,
                                  r.per, r.nullCap ? SqlParam() : SqlParam(capText)});
            }
            tx.commit();
        }
        const std::vector<QByteArray> written = records(path);
        QCOMPARE(written.size(), rows.size() * 2);
        const dbf::Header h = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            const QByteArray b = f.readAll();
            return dbf::parseHeader(reinterpret_cast<const unsigned char *>(b.constData()), size_t(b.size()),
                                    std::uint64_t(b.size()), "Debite.dbf");
        }();
        const int iddeb = h.fieldIndex("IDDEB");
        QVERIFY(iddeb >= 0);
        const dbf::Field &idField = h.fields[size_t(iddeb)];
        for (size_t i = 0; i < rows.size(); ++i) {
            QByteArray viaVariant = written[2 * i];
            QByteArray typed = written[2 * i + 1];
            // Only the identifiers differ: blank them out.
            viaVariant.replace(idField.offset, idField.length, QByteArray(idField.length, ' '));
            typed.replace(idField.offset, idField.length, QByteArray(idField.length, ' '));
            QCOMPARE(typed, viaVariant);
        }
        // And they read back as written: the Romanian letters in their stored spelling.
        Database db(dir.path());
        const ResultSet rs =
            db.select(QStringLiteral("SELECT DENUM, RATA, PENAL, PENALPE, MAXSOLD FROM Debite WHERE IDDEB=?"), {5});
        QCOMPARE(rs.rowCount(), 1);
        QCOMPARE(rs.text(0, QStringLiteral("DENUM")), QStringLiteral("Ştirbăţ Ţâţână Îşi - ăâîşţĂÂÎŞŢşţŞŢ"));
        QCOMPARE(rs.money(0, QStringLiteral("RATA")), Money::fromUnits(-100)); // -0.005 rounded away from zero
        QVERIFY(!rs.value(0, QStringLiteral("MAXSOLD")).isValid());
        QVERIFY(!rs.value(0, QStringLiteral("PENALPE")).isValid());
        const ResultSet third = db.select(QStringLiteral("SELECT DENUM, PENAL FROM Debite WHERE IDDEB=?"), {7});
        QVERIFY(!third.value(0, QStringLiteral("DENUM")).isValid());
        QCOMPARE(third.money(0, QStringLiteral("PENAL")).toFixed(2), QStringLiteral("-2.68"));
        // Found by either spelling, as a QVariant text is.
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE DENUM=?"),
                           {QStringLiteral("Știrbăț Țâțână Îşi - ăâîșțĂÂÎȘȚşţŞŢ")})
                     .toLongLong(),
                 2);
    }

    void typedTextsNeverLeakBetweenExecutions()
    {
        QTemporaryDir dir;
        QVERIFY(createTable(dir.filePath(QStringLiteral("Debite.dbf")), tableDef(TableId::Debite).columns));
        Database db(dir.path());
        Statement insert = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, DENUM, PENALPE) VALUES (?, ?, ?)"));
        const QString longText = QStringLiteral("Un text lung de tot, cu multe cuvinte - 12.2024");
        const QString shortText = QStringLiteral("Mic");
        const QString romanian = QStringLiteral("Gheorghiță");
        const QString shortRomanian = QStringLiteral("Ință");
        {
            Transaction tx(db);
            const QString head = longText.left(4);
            insert.execTyped({1, longText, head});
            insert.execTyped({2, shortText, SqlParam()});
            insert.execTyped({3, romanian, shortText});
            // A moved statement keeps working.
            Statement moved = std::move(insert);
            moved.execTyped({4, SqlParam(), shortRomanian});
            // The QVariant way after the typed one on the same statement.
            moved.exec({5, QStringLiteral("Din QVariant"), QVariant()});
            tx.commit();
        }
        const ResultSet rs = db.select(QStringLiteral("SELECT IDDEB, DENUM, PENALPE FROM Debite ORDER BY IDDEB"));
        QCOMPARE(rs.rowCount(), 5);
        QCOMPARE(rs.text(0, QStringLiteral("DENUM")), longText);
        QCOMPARE(rs.text(0, QStringLiteral("PENALPE")), longText.left(4));
        QCOMPARE(rs.text(1, QStringLiteral("DENUM")), shortText);
        QVERIFY(!rs.value(1, QStringLiteral("PENALPE")).isValid());
        QCOMPARE(rs.text(2, QStringLiteral("DENUM")), QStringLiteral("Gheorghiţă"));
        QCOMPARE(rs.text(2, QStringLiteral("PENALPE")), shortText);
        QVERIFY(!rs.value(3, QStringLiteral("DENUM")).isValid());
        QCOMPARE(rs.text(3, QStringLiteral("PENALPE")), QStringLiteral("Inţă"));
        QCOMPARE(rs.text(4, QStringLiteral("DENUM")), QStringLiteral("Din QVariant"));
        // A typed text looked up is found in either spelling, as it was stored.
        Statement update = db.prepare(QStringLiteral("UPDATE Debite SET PENALPE=? WHERE DENUM=?"));
        QCOMPARE(update.execTyped({shortRomanian, romanian}), 1);
        QCOMPARE(db.scalar(QStringLiteral("SELECT PENALPE FROM Debite WHERE IDDEB=3")).toString(),
                 QStringLiteral("Inţă"));
    }

    void typedParametersAreCheckedLikeTheOthers()
    {
        QTemporaryDir dir;
        QVERIFY(createTable(dir.filePath(QStringLiteral("Debite.dbf")), tableDef(TableId::Debite).columns));
        Database db(dir.path());
        Statement insert = db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, DENUM, RATA) VALUES (?, ?, ?)"));
        const QString text = QStringLiteral("x");
        // Too few parameters, a number too wide for N(10,2), a letter code page 1250 lacks.
        QVERIFY_THROWS_EXCEPTION(SqlError, insert.execTyped({1, text}));
        QVERIFY_THROWS_EXCEPTION(SqlError, insert.execTyped({1, text, 123456789.5}));
        const QString greek = QStringLiteral("Ωmega");
        QVERIFY_THROWS_EXCEPTION(SqlError, insert.execTyped({1, greek, 1.5}));
        // Nothing of the refused rows was written, and the statement still works.
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM Debite")).toLongLong(), 0);
        insert.execTyped({2, text, Money::fromUnits(123500)});
        QCOMPARE(db.scalar(QStringLiteral("SELECT RATA FROM Debite WHERE IDDEB=2")).toDouble(), 12.35);
    }
};

QTEST_GUILESS_MAIN(TestTypedBinds)
#include "tst_typedbinds.moc"
