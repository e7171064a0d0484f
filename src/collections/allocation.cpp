// The spread of a collected amount over open debits, in exact money: shares are computed
// in 128-bit integers and rounded to whole lei without a double in between. The rows stay
// in memory; the DebNew work table only mirrors them for whoever wants them as a file.

#include "collections/allocation.h"

#include "collections/balance.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/tablecatalogue.h"
#include "core/workfiles.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QFile>

namespace vestronia {

namespace {

QString textOf(const ResultSet &r, int row, int col)
{
    return col < 0 ? QString() : r.value(row, col).toString().trimmed();
}

// Whole lei of r * a / (r + p), rounded half up; all three positive.
Money proportionalShare(Money r, Money a, Money rp)
{
    const __int128 num = __int128(r.units()) * a.units();
    const __int128 den = __int128(rp.units());
    const __int128 scale = Money::Scale;
    const __int128 lei = (num + den * (scale / 2)) / (den * scale);
    return Money::fromLei(qint64(lei));
}

Money wholeLeiDown(Money m)
{
    return Money::fromUnits(m.units() / Money::Scale * Money::Scale);
}

} // namespace

bool isOverdue(int penaltyStart, int day)
{
    return isDateSet(penaltyStart) && day >= penaltyStart;
}

std::vector<AllocationRow> allocateAmount(const ResultSet &debits, qint64 idab, Money amount, int today)
{
    std::vector<AllocationRow> rows;
    rows.reserve(size_t(debits.rowCount()) + 1);
    const int cIddeb = debits.columnIndex(QStringLiteral("IDDEB"));
    const int cIdserv = debits.columnIndex(QStringLiteral("IDSERV"));
    const int cIdab = debits.columnIndex(QStringLiteral("IDAB"));
    const int cIdcon = debits.columnIndex(QStringLiteral("IDCON"));
    const int cDatadeb = debits.columnIndex(QStringLiteral("DATADEB"));
    const int cLunadeb = debits.columnIndex(QStringLiteral("LUNADEB"));
    const int cDenum = debits.columnIndex(QStringLiteral("DENUM"));
    const int cRata = debits.columnIndex(QStringLiteral("RATA"));
    const int cSold = debits.columnIndex(QStringLiteral("SOLD"));
    const int cPenal = debits.columnIndex(QStringLiteral("PENAL"));
    const int cPenalpe = debits.columnIndex(QStringLiteral("PENALPE"));
    const int cPenaldata = debits.columnIndex(QStringLiteral("PENALDATA"));
    const int cMaxsold = debits.columnIndex(QStringLiteral("MAXSOLD"));
    auto integer = [&](int row, int col) { return col < 0 ? qint64(0) : debits.value(row, col).toLongLong(); };
    auto money = [&](int row, int col) { return col < 0 ? Money() : Money::fromVariant(debits.value(row, col)); };

    // Copy, gathering old advances into the pool.
    Money pool;
    for (int i = 0; i < debits.rowCount(); ++i) {
        AllocationRow row;
        row.iddeb = integer(i, cIddeb);
        row.idserv = integer(i, cIdserv);
        row.idab = integer(i, cIdab);
        row.idcon = integer(i, cIdcon);
        row.datadeb = int(integer(i, cDatadeb));
        row.lunadeb = int(integer(i, cLunadeb));
        row.denum = textOf(debits, i, cDenum);
        row.rata = money(i, cRata);
        row.penal = money(i, cPenal);
        row.penalpe = textOf(debits, i, cPenalpe);
        row.penaldata = int(integer(i, cPenaldata));
        row.maxsold = textOf(debits, i, cMaxsold);
        const Money sold = money(i, cSold);
        if (sold.isNegative()) {
            row.tipavans = 'D';
            row.sold = Money();
            row.curenti = sold;
            row.denum = QStringLiteral("SOLD ") + row.denum;
            pool -= sold;
        } else {
            row.tipavans = 'N';
            row.sold = sold;
        }
        rows.push_back(std::move(row));
    }

    Money a = amount.isNegative() ? Money() : amount;
    for (AllocationRow &row : rows) {
        if ((a + pool).isZero())
            break;
        if (row.tipavans != 'N')
            continue;
        const bool overdue = isOverdue(row.penaldata, today);
        // The advance covers first, without penalty on what it covers.
        if (pool > Money()) {
            const Money r = row.sold;
            const Money covered = pool >= r ? r : pool;
            (overdue ? row.resti : row.curenti) = covered;
            row.sold = r - covered;
            pool -= covered;
        }
        if (pool.isZero() && a > Money()) {
            const Money r = row.sold;
            const Money pen = computePenalty(row.penalpe, row.maxsold, row.penaldata, row.penal, r, today);
            if (r + pen <= a) {
                if (overdue) {
                    row.resti += r;
                    row.penali += pen;
                } else {
                    row.curenti += r;
                }
                row.sold = Money();
                a -= r + pen;
            } else if (overdue) {
                // Rest and penalty share the money in proportion, the rest's share in
                // whole lei. Rounding up must not take more than was paid or more than
                // the rest: the penalty part would turn negative, the rest below zero.
                Money c = proportionalShare(r, a, r + pen);
                if (c > a)
                    c = wholeLeiDown(a);
                if (c > r)
                    c = r;
                row.resti += c;
                row.penali += a - c;
                row.sold = r - c;
                a = Money();
            } else {
                row.curenti += a;
                row.sold = r - a;
                a = Money();
            }
        }
    }

    pool += a;
    if (pool > Money()) {
        AllocationRow adv;
        adv.iddeb = 0;
        adv.idserv = -1;
        adv.idab = idab;
        adv.idcon = -1;
        adv.datadeb = today;
        adv.lunadeb = monthIndexOfDay(today);
        adv.denum = QStringLiteral("PLATA IN AVANS");
        adv.rata = -pool;
        adv.sold = -pool;
        adv.penalpe = QStringLiteral("luna");
        adv.maxsold = QStringLiteral("-");
        adv.curenti = pool;
        adv.tipavans = 'D';
        rows.push_back(std::move(adv));
    }
    return rows;
}

std::vector<AllocationRow> rowsToRecord(std::vector<AllocationRow> rows)
{
    std::erase_if(rows, [](const AllocationRow &r) { return r.iddeb > 0 && !r.touched(); });
    return rows;
}

const std::vector<ColumnDef> &allocationTableColumns()
{
    static const std::vector<ColumnDef> columns = [] {
        std::vector<ColumnDef> c = tableDef(TableId::Debite).columns;
        c.push_back({"RESTI", 'N', 10, 2});
        c.push_back({"PENALI", 'N', 10, 2});
        c.push_back({"CURENTI", 'N', 10, 2});
        c.push_back({"TIPAVANS", 'C', 1, 0});
        return c;
    }();
    return columns;
}

AllocationTable::AllocationTable(Database &db, const QString &tempFolder, const std::vector<AllocationRow> &rows)
    : m_db(db)
{
    m_path = newWorkFile(tempFolder, QStringLiteral("DebNew"), QStringLiteral(".dbf"));
    if (m_path.isEmpty() || !createTable(m_path, allocationTableColumns()))
        throw FileError(QStringLiteral("Nu pot crea tabela de lucru DebNew in ") + tempFolder);
    try {
        m_db.attach(QStringLiteral("DebNew"), m_path);
        Statement insert = m_db.prepare(QStringLiteral(
            "INSERT INTO DebNew (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
            "PENALDATA, MAXSOLD, RESTI, PENALI, CURENTI, TIPAVANS) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const AllocationRow &r : rows)
            insert.exec({r.iddeb, r.idserv, r.idab, r.idcon, r.datadeb, r.lunadeb, r.denum, QVariant::fromValue(r.rata),
                         QVariant::fromValue(r.sold), QVariant::fromValue(r.penal), r.penalpe, r.penaldata, r.maxsold,
                         QVariant::fromValue(r.resti), QVariant::fromValue(r.penali), QVariant::fromValue(r.curenti),
                         QString(QLatin1Char(r.tipavans))});
    } catch (...) {
        m_db.detach(QStringLiteral("DebNew"));
        QFile::remove(m_path);
        throw;
    }
}

AllocationTable::~AllocationTable()
{
    try {
        m_db.detach(QStringLiteral("DebNew"));
    } catch (...) {
    }
    QFile::remove(m_path);
}

std::vector<AllocationRow> AllocationTable::rows() const
{
    const ResultSet r = m_db.select(QStringLiteral("SELECT * FROM DebNew"));
    std::vector<AllocationRow> out;
    out.reserve(size_t(r.rowCount()));
    for (int i = 0; i < r.rowCount(); ++i) {
        AllocationRow row;
        row.iddeb = r.integer(i, QStringLiteral("IDDEB"));
        row.idserv = r.integer(i, QStringLiteral("IDSERV"));
        row.idab = r.integer(i, QStringLiteral("IDAB"));
        row.idcon = r.integer(i, QStringLiteral("IDCON"));
        row.datadeb = int(r.integer(i, QStringLiteral("DATADEB")));
        row.lunadeb = int(r.integer(i, QStringLiteral("LUNADEB")));
        row.denum = r.text(i, QStringLiteral("DENUM"));
        row.rata = r.money(i, QStringLiteral("RATA"));
        row.sold = r.money(i, QStringLiteral("SOLD"));
        row.penal = r.money(i, QStringLiteral("PENAL"));
        row.penalpe = r.text(i, QStringLiteral("PENALPE"));
        row.penaldata = int(r.integer(i, QStringLiteral("PENALDATA")));
        row.maxsold = r.text(i, QStringLiteral("MAXSOLD"));
        row.resti = r.money(i, QStringLiteral("RESTI"));
        row.penali = r.money(i, QStringLiteral("PENALI"));
        row.curenti = r.money(i, QStringLiteral("CURENTI"));
        const QString t = r.text(i, QStringLiteral("TIPAVANS"));
        row.tipavans = t == QLatin1String("D") ? 'D' : 'N';
        out.push_back(std::move(row));
    }
    return out;
}

} // namespace vestronia
