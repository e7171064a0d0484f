// The journal's seal: a journal that was never sealed (its writer died before the first
// data write) is removed and the files kept; a sealed journal is played back; a sealed one
// damaged afterwards is neither played nor removed, and the folder is refused for reading
// and writing with a message to restore a backup. A journal of the older, unsealed layout
// still rolls back. Also the streamed writer against the whole-image encoder.

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "store/journal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vestronia;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

std::uint64_t fnv(std::string_view bytes)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return h;
}

// A folder whose Debite.dbf was half overwritten by a commit that died: `before` is what
// the journal written next to it restores. Returns the journal's path.
QString interruptedCommit(const QString &folder, QByteArray &before)
{
    const QString debite = folder + QStringLiteral("/Debite.dbf");
    createTable(debite, tableDef(TableId::Debite).columns);
    {
        Database db(folder);
        db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, SOLD) VALUES (1, 5), (2, 5), (3, 5)"));
    }
    before = bytesOf(debite);
    {
        Database db(folder);
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1"));
    }
    const QByteArray after = bytesOf(debite);
    journal::FileImage img;
    img.name = "Debite.dbf";
    img.oldSize = std::uint64_t(before.size());
    img.chunks.push_back({0, std::string(before.constData(), size_t(before.size()))});
    const QString path = folder + QStringLiteral("/Vestronia.jrn");
    if (!journal::writeJournal(QFile::encodeName(path).toStdString(), {img}))
        return {};
    writeBytes(debite, after.left(after.size() / 2) + before.mid(after.size() / 2));
    return path;
}

} // namespace

class TestJournalSeal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sealedJournalIsPlayedBack()
    {
        QTemporaryDir dir;
        QByteArray before;
        const QString jrn = interruptedCommit(dir.path(), before);
        QVERIFY(!jrn.isEmpty());
        QVERIFY(journal::isSealed(bytesOf(jrn).toStdString()));
        {
            Database db(dir.path());
            QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toDouble(), 15.0);
        }
        QVERIFY(!QFile::exists(jrn));
        QCOMPARE(bytesOf(dir.filePath(QStringLiteral("Debite.dbf"))), before);
    }

    // The writer died after the body but before the seal reached the disk: no data byte was
    // written then, so the files as they are stand and the journal goes.
    void unsealedJournalIsDiscarded()
    {
        QTemporaryDir dir;
        QByteArray before;
        const QString jrn = interruptedCommit(dir.path(), before);
        const QString debite = dir.filePath(QStringLiteral("Debite.dbf"));
        writeBytes(debite, before); // as it was: nothing written yet
        QByteArray j = bytesOf(jrn);
        j.replace(8, 8, QByteArray(8, '\0'));
        writeBytes(jrn, j);
        QVERIFY(!journal::decode(j.toStdString()));
        {
            Database db(dir.path());
            QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toDouble(), 15.0);
        }
        QVERIFY(!QFile::exists(jrn));
        QCOMPARE(bytesOf(debite), before);
    }

    void damagedSealedJournalRefusesTheFolder()
    {
        QTemporaryDir dir;
        QByteArray before;
        const QString jrn = interruptedCommit(dir.path(), before);
        const QString debite = dir.filePath(QStringLiteral("Debite.dbf"));
        QByteArray j = bytesOf(jrn);
        j[100] = char(j[100] ^ 0x20); // inside the before-image
        writeBytes(jrn, j);
        const QByteArray halfWritten = bytesOf(debite);
        for (int attempt = 0; attempt < 2; ++attempt) { // every attempt, not just the first
            try {
                Database db(dir.path());
                db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite"));
                QFAIL("a folder with a damaged journal was used");
            } catch (const VestroniaError &e) {
                QVERIFY2(e.message().contains(QStringLiteral("este deteriorat")), qPrintable(e.message()));
                QVERIFY2(e.message().contains(QStringLiteral("copie de siguranta")), qPrintable(e.message()));
                QVERIFY2(!e.message().contains(QStringLiteral("pana cand fisierul poate fi scris")), qPrintable(e.message()));
            }
            QCOMPARE(bytesOf(jrn), j);
            QCOMPARE(bytesOf(debite), halfWritten);
        }
    }

    // A journal an older build left: "VSTRJRN1", no seal field, the checksum over the rest.
    void journalOfTheOlderLayoutStillRollsBack()
    {
        QTemporaryDir dir;
        QByteArray before;
        const QString jrn = interruptedCommit(dir.path(), before);
        const std::string current = bytesOf(jrn).toStdString();
        std::string old = "VSTRJRN1" + current.substr(16, current.size() - 16 - 20);
        const std::uint64_t sum = fnv(old);
        old += current.substr(current.size() - 20, 12); // "VSTREND1" and the file count
        for (int i = 0; i < 8; ++i)
            old += char((sum >> (8 * i)) & 0xFF);
        QVERIFY(journal::decode(old));
        QVERIFY(!journal::isSealed(old));
        writeBytes(jrn, QByteArray(old.data(), qsizetype(old.size())));
        {
            Database db(dir.path());
            QCOMPARE(db.scalar(QStringLiteral("SELECT SUM(SOLD) FROM Debite")).toDouble(), 15.0);
        }
        QVERIFY(!QFile::exists(jrn));
        QCOMPARE(bytesOf(dir.filePath(QStringLiteral("Debite.dbf"))), before);
        // A damaged one of that layout is taken as unfinished, as that build did.
        old[20] = char(old[20] ^ 1);
        QVERIFY(!journal::decode(old));
        QVERIFY(!journal::isSealed(old));
    }

    // The streamed writer gives the bytes of the whole-image encoder, whatever the chunk
    // sizes (some past its buffer), and a writer that does not finish leaves nothing.
    void streamedWriterMatchesTheEncoder()
    {
        QTemporaryDir dir;
        std::vector<journal::FileImage> files(2);
        files[0].name = "Debite.dbf";
        files[0].oldSize = 123456;
        files[0].chunks = {{0, std::string(32, 'h')}, {500, std::string(3 << 20, 'x')}, {9000000, std::string(150, 'y')}};
        files[1].name = "Vestrona.set";
        files[1].existed = false;
        const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("j"))).toStdString();
        QVERIFY(journal::writeJournal(path, files));
        const QByteArray written = bytesOf(dir.filePath(QStringLiteral("j")));
        const std::string encoded = journal::encode(files);
        QVERIFY(written == QByteArray(encoded.data(), qsizetype(encoded.size())));
        const auto back = journal::decode(encoded);
        QVERIFY(back && back->size() == 2 && (*back)[0].chunks[1].bytes == files[0].chunks[1].bytes);
        // A writer that never finishes leaves nothing behind: no journal under its name
        // (it only gets the name once complete) and no partial one beside it.
        const std::string abandoned = QFile::encodeName(dir.filePath(QStringLiteral("k"))).toStdString();
        {
            journal::Writer w;
            QVERIFY(w.open(abandoned));
            QVERIFY(w.beginFile("Debite.dbf", true, 10, 1));
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("k"))));
        }
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("k"))));
        QVERIFY(!QFile::exists(QFile::decodeName(QByteArray::fromStdString(journal::Writer::tempPath(abandoned)))));
    }
};

QTEST_GUILESS_MAIN(TestJournalSeal)
#include "tst_journalseal.moc"
