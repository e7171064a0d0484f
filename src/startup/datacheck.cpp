// The data check: the record layer first (each field decoded as the engine would decode
// it, so a record the engine refuses is named here with its bytes), then the relations,
// through the SQL engine, only over the tables whose records all read.
// Files are read in bounded blocks, whatever their header claims.

#include "startup/datacheck.h"

#include "backup/restoremark.h"
#include "core/error.h"
#include "core/tablecatalogue.h"
#include "core/workfiles.h"
#include "store/database.h"
#include "store/dbferror.h"
#include "store/folderlock.h"
#include "store/dbfcodec.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <string>
#include <vector>

namespace vestronia {

namespace {

class Collector
{
public:
    explicit Collector(DataCheckReport &report) : m_report(report) {}
    void add(DataProblem p)
    {
        if (m_report.problems.size() < DataCheckLimits::MaxListed)
            m_report.problems << std::move(p);
        else
            ++m_report.notListed;
    }

private:
    DataCheckReport &m_report;
};

// Reads every record of one table file; true when all of them decoded.
bool checkTableFile(const QString &table, const QString &path, Collector &out, DataCheckReport &report)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.add({table, 0, {}, {}, QStringLiteral("fisierul nu poate fi citit: ") + file.errorString()});
        return false;
    }
    const qint64 size = file.size();
    const QByteArray head = file.read(qint64(std::min<quint64>(quint64(size), dbf::MaxHeaderLength)));
    const std::string fileName = QFileInfo(path).fileName().toStdString();
    dbf::Header header;
    try {
        header = dbf::parseHeader(reinterpret_cast<const unsigned char *>(head.constData()), size_t(head.size()),
                                  quint64(size), fileName);
    } catch (const DbfError &e) {
        out.add({table, 0, {}, head.left(32), e.message()});
        return false;
    }

    bool whole = true;
    const qint64 recordLength = header.recordLength;
    // About 1 MiB of records at a time.
    const qint64 perBlock = std::max<qint64>(1, (1 << 20) / std::max<qint64>(1, recordLength));
    std::string scratch;
    for (qint64 first = 0; first < qint64(header.recordCount); first += perBlock) {
        const qint64 count = std::min<qint64>(perBlock, qint64(header.recordCount) - first);
        if (!file.seek(qint64(header.headerLength) + first * recordLength)) {
            out.add({table, first + 1, {}, {}, QStringLiteral("inregistrarea nu poate fi citita")});
            return false;
        }
        const QByteArray block = file.read(count * recordLength);
        if (block.size() != count * recordLength) {
            out.add({table, first + block.size() / recordLength + 1, {}, {},
                     QStringLiteral("fisierul se termina inaintea inregistrarilor declarate")});
            return false;
        }
        for (qint64 i = 0; i < count; ++i) {
            const char *record = block.constData() + i * recordLength;
            const qint64 number = first + i + 1;
            ++report.recordsRead;
            if (record[0] != dbf::LiveFlag && record[0] != dbf::DeletedFlag) {
                out.add({table, number, {}, QByteArray(record, 1), QStringLiteral("marcaj de stergere necunoscut")});
                whole = false;
                continue;
            }
            if (record[0] == dbf::DeletedFlag)
                continue; // dropped at the next packing, never read by the program
            for (const dbf::Field &field : header.fields) {
                try {
                    dbf::decodeField(field, record, scratch, fileName, quint32(number));
                } catch (const DbfError &e) {
                    out.add({table, number, QString::fromStdString(field.name),
                             QByteArray(record + field.offset, field.length), e.message()});
                    whole = false;
                }
            }
        }
    }
    return whole;
}

struct Identity
{
    TableId table;
    const char *column;
};

// One row per identifier: counters hand out each value once, and the screens find rows
// by it.
const Identity Identities[] = {
    {TableId::DefCont, "IDCON"}, {TableId::Abonat, "IDAB"},    {TableId::AbOm, "IDSERV"},
    {TableId::Debite, "IDDEB"},  {TableId::Chitante, "IDCHIT"}, {TableId::DetChit, "IDDCHIT"},
    {TableId::Log, "IDLOG"},     {TableId::Urmarire, "IDURM"},
};

struct Reference
{
    TableId from;
    const char *column;
    TableId to;
    const char *target;
    const char *what;
};

// Rows that must not outlive the row they belong to: deleting a subscriber or an
// account removes them with it.
const Reference References[] = {
    {TableId::Debite, "IDAB", TableId::Abonat, "IDAB", "debit al unui abonat care nu exista"},
    {TableId::AbOm, "IDAB", TableId::Abonat, "IDAB", "abonament al unui abonat care nu exista"},
    {TableId::AbOm, "IDCON", TableId::DefCont, "IDCON", "abonament la un cont care nu exista"},
    {TableId::Chitante, "IDAB", TableId::Abonat, "IDAB", "incasare a unui abonat care nu exista"},
    {TableId::DetChit, "IDCHIT", TableId::Chitante, "IDCHIT", "detaliu al unei incasari care nu exista"},
};

QString tableName(TableId id)
{
    return QLatin1String(tableDef(id).name);
}

} // namespace

DataCheckReport checkDataFolder(const QString &dataFolder, Progress &progress)
{
    if (!QFileInfo(dataFolder).isDir())
        throw FileError(QStringLiteral("Dosarul de date %1 nu exista.").arg(QDir::toNativeSeparators(dataFolder)));
    DataCheckReport report;
    // A restore killed part-way leaves old and new files mixed: put back before scanning.
    report.notice = settleInterruptedRestore(dataFolder);
    Collector out(report);
    const auto &catalogue = tableCatalogue();
    progress.setTotal(int(catalogue.size() + std::size(Identities) + std::size(References)));
    progress.start();

    // The connection first: opening it plays back a journal a dead writer left, so the
    // files scanned below are one state, not a half-written commit.
    std::unique_ptr<Database> db;
    QString unopened;
    try {
        db = std::make_unique<Database>(dataFolder);
    } catch (const VestroniaError &e) {
        unopened = e.message();
    }
    // Each file is scanned under the folder's read range, so no commit writes under it.
    std::unique_ptr<FolderLock> lock;
    if (db && QFileInfo(dataFolder).isWritable()) {
        try {
            lock = std::make_unique<FolderLock>(dataFolder);
        } catch (const DbfError &) {
        }
    }

    QSet<QString> readable;
    for (const TableDef &t : catalogue) {
        const QString name = QLatin1String(t.name);
        const QString fileName = QLatin1String(t.fileName);
        if (!fileExistsNoCase(dataFolder, fileName)) {
            out.add({name, 0, {}, {}, QStringLiteral("tabelul lipseste")});
        } else {
            try {
                if (lock)
                    lock->lockRead(false);
            } catch (const DbfError &e) {
                out.add({name, 0, {}, {}, QStringLiteral("tabelul nu poate fi citit acum: ") + e.message()});
                progress.step();
                continue;
            }
            const bool ok = checkTableFile(name, findFileNoCase(dataFolder, fileName), out, report);
            if (lock)
                lock->unlockRead();
            if (ok)
                readable << name;
        }
        progress.step();
    }

    if (!db) {
        out.add({QString(), 0, {}, {}, QStringLiteral("datele nu pot fi deschise: ") + unopened});
        progress.finish();
        return report;
    }
    auto query = [&](const QString &table, const QString &sql) -> ResultSet {
        try {
            return db->select(sql);
        } catch (const VestroniaError &e) {
            out.add({table, 0, {}, {}, QStringLiteral("tabelul nu poate fi interogat: ") + e.message()});
            return {};
        }
    };

    for (const Identity &i : Identities) {
        const QString table = tableName(i.table);
        const QString column = QLatin1String(i.column);
        if (readable.contains(table)) {
            // Names come from the catalogue, never from the user.
            const ResultSet rows = query(table, QStringLiteral("SELECT %1, COUNT(*) AS N FROM %2 WHERE %1 IS NOT NULL "
                                                               "GROUP BY %1 HAVING COUNT(*) > 1 ORDER BY %1")
                                                    .arg(column, table));
            for (int r = 0; r < rows.rowCount(); ++r)
                out.add({table, 0, column, rows.text(r, column).toLatin1(),
                         QStringLiteral("identificatorul %1 apare de %2 ori")
                             .arg(rows.text(r, column), rows.text(r, QStringLiteral("N")))});
        }
        progress.step();
    }

    for (const Reference &ref : References) {
        const QString from = tableName(ref.from);
        const QString to = tableName(ref.to);
        if (readable.contains(from) && readable.contains(to)) {
            const QString key = QLatin1String(tableDef(ref.from).columns.front().name);
            const QString column = QLatin1String(ref.column);
            const ResultSet rows = query(
                from, QStringLiteral("SELECT rowid AS R, %1, %2 FROM %3 WHERE %2 IS NOT NULL AND %2 NOT IN "
                                     "(SELECT %4 FROM %5 WHERE %4 IS NOT NULL) ORDER BY rowid")
                          .arg(key, column, from, QLatin1String(ref.target), to));
            for (int r = 0; r < rows.rowCount(); ++r)
                out.add({from, rows.integer(r, QStringLiteral("R")), column, rows.text(r, column).toLatin1(),
                         QLatin1String(ref.what) + QStringLiteral(" (%1 %2)").arg(key, rows.text(r, key))});
        }
        progress.step();
    }
    progress.finish();
    return report;
}

} // namespace vestronia
