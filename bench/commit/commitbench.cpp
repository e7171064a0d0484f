// Times small durable commits against native SQLite (rollback journal, synchronous FULL)
// in the same run: an autocommit UPDATE of the 112 debits of one subscriber in a Debite.dbf
// of `rows` records, and a collection (10 updates and 21 appends over 4 tables). Each is
// repeated and the median and 90th percentile are given, as one commit's time is mostly
// the disk's. Usage: bench_commit [rows] [repeats] [dbf|native|both] [warm|cold|small] [update|collection] ("bench_commit 1000 20" under strace -c
// counts the system calls of 20 commits of each kind).

#include "core/tablecatalogue.h"
#include "store/database.h"
#include "store/dbftable.h"

#include "benchclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace vestronia;

using vestronia::bench::cpuMs;

namespace {

QTextStream out(stdout);

// Bytes this process has sent to the disk so far (/proc/self/io), 0 when unknown.
double writtenBytes()
{
    QFile f(QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toDouble();
    return 0;
}

struct Times
{
    std::vector<double> wall;
    double cpu = 0;
    double written = 0;
    double at(double q)
    {
        std::sort(wall.begin(), wall.end());
        return wall.empty() ? 0 : wall[std::min(wall.size() - 1, size_t(q * double(wall.size())))];
    }
};

void row(const QString &what, Times &dbf, Times &native)
{
    if (dbf.wall.empty())
        dbf.wall.push_back(0);
    if (native.wall.empty())
        native.wall.push_back(0);
    auto f = [](double v) { return QString::number(v, 'f', 2).rightJustified(8); };
    out << what.leftJustified(40) << " median/p90/cpu ms, written  dbf " << f(dbf.at(0.5)) << f(dbf.at(0.9))
        << f(dbf.cpu / double(dbf.wall.size())) << QString::number(dbf.written / double(dbf.wall.size()) / 1024, 'f', 0).rightJustified(7)
        << " KB   native " << f(native.at(0.5)) << f(native.at(0.9))
        << f(native.cpu / double(native.wall.size()))
        << QString::number(native.written / double(native.wall.size()) / 1024, 'f', 0).rightJustified(7) << " KB\n";
    out.flush();
}

template <typename F>
void timeOnce(Times &t, F &&f)
{
    QElapsedTimer w;
    const double c = cpuMs();
    const double bytes = writtenBytes();
    w.start();
    f();
    t.written += writtenBytes() - bytes;
    t.wall.push_back(double(w.nsecsElapsed()) / 1e6);
    t.cpu += cpuMs() - c;
}

QStringList columnsOf(TableId tid)
{
    QStringList cols;
    for (const ColumnDef &c : tableDef(tid).columns)
        cols << QLatin1String(c.name) + QLatin1Char(' ') + c.sqlType();
    return cols;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int repeats = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 30;
    // "dbf" or "native" times one side only (for strace or perf); both by default.
    const QString only = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    const bool dbfSide = only != QLatin1String("native"), nativeSide = only != QLatin1String("dbf");
    const int subscribers = std::max(1, rows / 112);
    QTemporaryDir dir;
    for (TableId tid : {TableId::Debite, TableId::Chitante, TableId::DetChit, TableId::DebiteArh})
        createTable(dir.filePath(QLatin1String(tableDef(tid).fileName)), tableDef(tid).columns);
    Database db(dir.path());
    db.exec(QStringLiteral("ATTACH DATABASE ? AS native"), {dir.filePath(QStringLiteral("native.sqlite"))});
    db.exec(QStringLiteral("PRAGMA native.journal_mode=DELETE"));
    db.exec(QStringLiteral("PRAGMA native.synchronous=FULL"));
    for (TableId tid : {TableId::Debite, TableId::Chitante, TableId::DetChit, TableId::DebiteArh})
        db.exec(QStringLiteral("CREATE TABLE native.%1 (%2)")
                    .arg(QLatin1String(tableDef(tid).name), columnsOf(tid).join(QStringLiteral(", "))));
    db.exec(QStringLiteral("CREATE INDEX native.DebiteIdab ON Debite (IDAB)"));
    db.exec(QStringLiteral("CREATE INDEX native.DebiteIdDeb ON Debite (IDDEB)"));
    for (const QString &schema : {QString(), QStringLiteral("native.")}) {
        Transaction tx(db);
        Statement st = db.prepare(QStringLiteral("INSERT INTO %1Debite (IDDEB, IDAB, IDCON, DATADEB, SOLD, PENAL, PENALDATA) "
                                                 "VALUES (?, ?, 1, ?, 10, 0.5, ?)")
                                      .arg(schema));
        for (int i = 1; i <= rows; ++i)
            st.exec({i, i % subscribers + 1, 40000 + i % 3650, 40030 + i % 3650});
        tx.commit();
    }
    const QString cache = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    if (cache == QLatin1String("cold") || cache == QLatin1String("small")) {
        // As after a restart: the table leaves the page cache and is read back from disk
        // (readahead then decides how the kernel caches it, not the writes above).
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("Debite.dbf")));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            if (cache == QLatin1String("small")) {
                // Read back without readahead: the kernel caches it in single pages.
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
                std::vector<char> buffer(1 << 20);
                for (off_t at = 0; ::pread(fd, buffer.data(), buffer.size(), at) > 0; at += off_t(buffer.size())) {
                }
            }
            ::close(fd);
        }
        db.refresh();
    }
    // Loaded and indexed before the first timed commit, as in a running program.
    db.select(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDAB=1"));
    db.select(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDDEB=1"));
    out << "Debite with " << rows << " rows, " << repeats << " commits of each kind\n";

    // "update" or "collection" runs one kind only.
    const QString kind = argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString();
    Times dbfUpd, natUpd;
    for (int r = 0; r < (kind == QLatin1String("collection") ? 0 : repeats); ++r) {
        const int idab = 1 + (r * 37) % subscribers;
        if (dbfSide)
            timeOnce(dbfUpd, [&] { db.exec(QStringLiteral("UPDATE Debite SET SOLD=SOLD+1 WHERE IDAB=?"), {idab}); });
        if (nativeSide)
            timeOnce(natUpd, [&] { db.exec(QStringLiteral("UPDATE native.Debite SET SOLD=SOLD+1 WHERE IDAB=?"), {idab}); });
    }
    row(QStringLiteral("UPDATE ... WHERE IDAB=? (autocommit)"), dbfUpd, natUpd);

    auto collection = [&](const QString &schema, int round) {
        Transaction tx(db);
        const qint64 doc = round + 1;
        db.exec(QStringLiteral("INSERT INTO %1Chitante (IDCHIT, IDAB, DOCJUS, INCASAT) VALUES (?, 1, 'CHITANTA', 100)").arg(schema),
                {doc});
        for (int i = 0; i < 10; ++i) {
            const int iddeb = 1 + (round * 10 + i) % rows;
            db.exec(QStringLiteral("INSERT INTO %1DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (?, ?, 1, 10)").arg(schema),
                    {doc, iddeb});
            db.exec(QStringLiteral("UPDATE %1Debite SET SOLD=0 WHERE IDDEB=?").arg(schema), {iddeb});
            db.exec(QStringLiteral("INSERT INTO %1DetChit (IDDCHIT, IDCHIT, IDDEB, CURENT) VALUES (?, ?, ?, 10)").arg(schema),
                    {doc * 100 + i, doc, iddeb});
        }
        tx.commit();
    };
    Times dbfCol, natCol;
    for (int r = 0; r < (kind == QLatin1String("update") ? 0 : repeats); ++r) {
        if (dbfSide)
            timeOnce(dbfCol, [&] { collection(QString(), r); });
        if (nativeSide)
            timeOnce(natCol, [&] { collection(QStringLiteral("native."), r); });
    }
    row(QStringLiteral("collection: 10 updates + 21 appends"), dbfCol, natCol);
    return 0;
}
