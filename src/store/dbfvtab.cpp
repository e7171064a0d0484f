// The SQLite virtual-table module "dbf": exposes one dBase file as one SQL table, with
// reads from a cached snapshot, equality indexes built on demand, and writes (INSERT,
// UPDATE, DELETE) held in memory until the transaction commits. Limits: no memo fields,
// level-7 files are read-only, a change of rowid is refused, and a change of a file's
// column list behind our back needs the table to be attached again.
//
// USAGE
//
//     CREATE VIRTUAL TABLE temp.Debite USING dbf('/data/Debite.dbf');
//     SELECT SUM(SOLD) FROM Debite WHERE IDAB=?;
//
// The one argument is the path of the file (quoted with '...' or "..."). Dropping the
// table forgets it; the file stays.
//
// COLUMNS keep their dBase meaning in the declared type:
//     C(n)        CHAR(n)          TEXT, trailing blanks removed; all blanks = NULL
//     N(p,0)      DECIMAL(p,0)     INTEGER
//     N(p,s>0)    DECIMAL(p,s)     REAL (F fields alike)
//     D           DATE             INTEGER day number (days since 30.12.1899)
//     L           BOOLEAN          INTEGER 1/0
//     I, +        INTEGER          level 7
//     O           DOUBLE           level 7
//     @           TIMESTAMP        REAL day number with the time as fraction (level 7)
// The rowid is the record number (1-based); deleted records are never returned.
//
// SNAPSHOT. Each table keeps its records in memory, read once and reused while the file
// is unchanged: its identity, size, modification time and header record count are
// compared when a statement opens a cursor or starts writing. Our own writes change the
// snapshot in place. A column used in "col = ?" (also IN, which SQLite turns into
// repeated equalities) gets a hash index, kept as long as the snapshot.
//
// WRITES go to the snapshot at once and to the file at commit (xSync): updated records
// one by one under their record lock, appended records in one write past the last
// record, then the header count that makes them visible. The header lock is taken at the
// first INSERT of a transaction and held until it ends, so another workstation cannot
// append in between. A rollback (also to a savepoint) restores the snapshot from an undo
// log; nothing had reached the file.
// The parts: dbfsnapshot.cpp (reading and refreshing), dbfindex.cpp (equality indexes),
// dbfcommit.cpp (journal and durable writes); here the SQLite callbacks.

#include "store/dbfvtab.h"
#include "store/dbfvtabstate.h"

#include "store/dbflock.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vestronia {

namespace {

using namespace dbfimpl;
using dbf::Field;
using dbf::Value;

struct DbfCursor : sqlite3_vtab_cursor
{
    std::shared_ptr<Snapshot> snap;
    std::vector<std::uint32_t> list; // rows of an index or rowid lookup
    bool useList = false;
    size_t pos = 0;
    std::uint32_t row = 0;           // current record number
    std::uint32_t end = 0;           // scan: last record number + 1
    bool eof = true;
    std::string scratch;
};

DbfTable *tableOf(sqlite3_vtab *v) { return static_cast<DbfTable *>(v); }
DbfCursor *cursorOf(sqlite3_vtab_cursor *c) { return static_cast<DbfCursor *>(c); }

void setError(sqlite3_vtab *v, const char *message)
{
    sqlite3_free(v->zErrMsg);
    v->zErrMsg = sqlite3_mprintf("%s", message);
}

// Runs a callback body; exceptions become an SQLite error code and message.
template <typename F>
int guarded(sqlite3_vtab *v, F &&body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    } catch (const std::exception &e) {
        setError(v, e.what());
    } catch (...) {
        setError(v, "Eroare necunoscuta in modulul dbf");
    }
    return SQLITE_ERROR;
}

// The SQL value of an argument as a codec value (text as UTF-8).
Value valueOf(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return Value::ofInteger(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return Value::ofReal(sqlite3_value_double(v));
    case SQLITE_NULL:
        return Value::null();
    default: {
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
        return Value::ofText(std::string_view(p ? p : "", size_t(sqlite3_value_bytes(v))));
    }
    }
}

std::string declaredType(const Field &f)
{
    switch (f.type) {
    case 'C':
        return "CHAR(" + std::to_string(f.length) + ")";
    case 'N':
    case 'F':
        return "DECIMAL(" + std::to_string(f.length) + "," + std::to_string(f.decimals) + ")";
    case 'D':
        return "DATE";
    case 'L':
        return "BOOLEAN";
    case 'I':
    case '+':
        return "INTEGER";
    case 'O':
        return "DOUBLE";
    case '@':
        return "TIMESTAMP";
    default:
        return "";
    }
}

std::string quotedIdentifier(const std::string &name)
{
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// 'abc' or "abc" with doubled quotes inside -> abc.
std::string dequote(const char *arg)
{
    std::string s = arg ? arg : "";
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.erase(s.begin());
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) {
        const char q = s.front();
        std::string out;
        for (size_t i = 1; i + 1 < s.size(); ++i) {
            out += s[i];
            if (s[i] == q && s[i + 1] == q)
                ++i;
        }
        return out;
    }
    return s;
}

// ---- Constructor and destructor ------------------------------------------------------

int dbfvtabConnect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **ppVtab, char **pzErr)
{
    *ppVtab = nullptr;
    if (argc != 4) {
        *pzErr = sqlite3_mprintf("Modulul dbf asteapta un singur argument: calea fisierului .dbf");
        return SQLITE_ERROR;
    }
    std::unique_ptr<DbfTable> t;
    try {
        t = std::make_unique<DbfTable>();
        std::memset(static_cast<sqlite3_vtab *>(t.get()), 0, sizeof(sqlite3_vtab));
        t->module = static_cast<DbfModule *>(aux);
        t->path = dequote(argv[3]);
        const size_t slash = t->path.find_last_of('/');
        t->fileName = slash == std::string::npos ? t->path : t->path.substr(slash + 1);
        if (t->module && !t->module->dataFolder.empty()) {
            const size_t cut = t->path.find_last_of('/');
            t->shared = cut != std::string::npos && t->path.substr(0, cut) == t->module->dataFolder;
        }
        dbf::Header h;
        {
            const FolderRead read(t.get());
            openFile(t.get());
            h = readHeader(t.get());
        }
        t->fields = h.fields;
        t->declaredCount = h.recordCount;
        std::string sql = "CREATE TABLE x(";
        for (size_t i = 0; i < h.fields.size(); ++i) {
            if (i)
                sql += ", ";
            sql += quotedIdentifier(h.fields[i].name) + " " + declaredType(h.fields[i]);
        }
        sql += ")";
        const int rc = sqlite3_declare_vtab(db, sql.c_str());
        if (rc != SQLITE_OK) {
            *pzErr = sqlite3_mprintf("Tabela %s nu poate fi folosita: %s", t->fileName.c_str(), sqlite3_errmsg(db));
            ::close(t->fd);
            return rc;
        }
    } catch (const std::exception &e) {
        *pzErr = sqlite3_mprintf("%s", e.what());
        if (t && t->fd >= 0)
            ::close(t->fd);
        return SQLITE_ERROR;
    } catch (...) {
        if (t && t->fd >= 0)
            ::close(t->fd);
        return SQLITE_ERROR;
    }
    if (t->module)
        t->module->tables.push_back(t.get());
    *ppVtab = t.release();
    return SQLITE_OK;
}

int dbfvtabDisconnect(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    if (t->module) {
        auto &list = t->module->tables;
        list.erase(std::remove(list.begin(), list.end(), t), list.end());
    }
    if (t->fd >= 0)
        ::close(t->fd); // also drops any lock of this descriptor
    sqlite3_free(t->zErrMsg);
    delete t;
    return SQLITE_OK;
}

// ---- Planning ------------------------------------------------------------------------

// idxNum: 0 full scan, 1 rowid equality, 2 column equality (column in idxNum >> 8).
constexpr int PlanScan = 0;
constexpr int PlanRowid = 1;
constexpr int PlanColumn = 2;

int dbfvtabBestIndex(sqlite3_vtab *v, sqlite3_index_info *info)
{
    DbfTable *t = tableOf(v);
    const double rows = double(t->snap ? t->snap->count() : t->declaredCount) + 1;
    int rowidAt = -1, columnAt = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (c.iColumn < 0) {
            if (rowidAt < 0)
                rowidAt = i;
            continue;
        }
        // The index compares bytes: a comparison under another collation (NOCASE, RTRIM)
        // could match records the index does not list.
        const char *collation = sqlite3_vtab_collation(info, i);
        if (collation && sqlite3_stricmp(collation, "BINARY") != 0)
            continue;
        if (columnAt < 0 ||
                   (t->snap && t->snap->indexes.size() > size_t(c.iColumn) && t->snap->indexes[size_t(c.iColumn)] &&
                    !(t->snap->indexes[size_t(info->aConstraint[columnAt].iColumn)]))) {
            // Any equality will do; one whose index already exists is cheaper.
            columnAt = i;
        }
    }
    if (rowidAt >= 0) {
        info->idxNum = PlanRowid;
        info->aConstraintUsage[rowidAt].argvIndex = 1;
        info->aConstraintUsage[rowidAt].omit = 1;
        info->estimatedCost = 1;
        info->estimatedRows = 1;
        info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
    } else if (columnAt >= 0) {
        info->idxNum = PlanColumn | (info->aConstraint[columnAt].iColumn << 8);
        info->aConstraintUsage[columnAt].argvIndex = 1;
        info->aConstraintUsage[columnAt].omit = 0; // SQLite checks again: the index may give a superset
        info->estimatedCost = 10 + rows / 10000;
        info->estimatedRows = 10;
    } else {
        info->idxNum = PlanScan;
        info->estimatedCost = rows * 2;
        info->estimatedRows = sqlite3_int64(rows);
    }
    return SQLITE_OK;
}

// ---- Cursors -------------------------------------------------------------------------

int dbfvtabOpen(sqlite3_vtab *v, sqlite3_vtab_cursor **ppCursor)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        // Checked at this statement's start (all tables under one hold of the read range,
        // so a join sees one state of the folder); otherwise now.
        if (!t->snap || t->stale || t->generation != t->module->generation || t->checkedAt != t->module->statement)
            ensureFresh(t);
        auto *c = new DbfCursor();
        std::memset(static_cast<sqlite3_vtab_cursor *>(c), 0, sizeof(sqlite3_vtab_cursor));
        c->snap = t->snap;
        *ppCursor = c;
        return SQLITE_OK;
    });
}

int dbfvtabClose(sqlite3_vtab_cursor *cur)
{
    delete cursorOf(cur);
    return SQLITE_OK;
}

void settle(DbfCursor *c)
{
    const Snapshot &s = *c->snap;
    if (c->useList) {
        while (c->pos < c->list.size() && !s.live(c->list[c->pos]))
            ++c->pos;
        c->eof = c->pos >= c->list.size();
        c->row = c->eof ? 0 : c->list[c->pos];
    } else {
        const std::uint32_t end = std::min(c->end, s.count() + 1);
        while (c->row < end && !s.live(c->row))
            ++c->row;
        c->eof = c->row >= end;
    }
}

// The code-page bytes of an SQL value compared with a C field (trailing blanks dropped,
// as the field gives them); false when no stored text can equal it.
// The text looked up, in the bytes the column stores: the field's own code page, so a
// 437/852/1252 file written by another tool is found by its non-ASCII names too. A value
// the page cannot hold matches nothing.
bool textKey(sqlite3_value *v, const Field &field, std::string &out)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(v));
    if (!p)
        return false;
    return dbf::encodeText(std::string_view(p, size_t(sqlite3_value_bytes(v))), field.codePage, out);
}

int dbfvtabFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int argc, sqlite3_value **argv)
{
    DbfCursor *c = cursorOf(cur);
    DbfTable *t = tableOf(cur->pVtab);
    return guarded(cur->pVtab, [&] {
        if (!t->snap)
            ensureFresh(t);
        c->snap = t->snap;
        Snapshot &s = *c->snap;
        c->list.clear();
        c->pos = 0;
        c->useList = (idxNum & 3) != PlanScan;
        if ((idxNum & 3) == PlanRowid && argc >= 1) {
            if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER) {
                const sqlite3_int64 r = sqlite3_value_int64(argv[0]);
                if (r >= 1 && r <= sqlite3_int64(s.count()))
                    c->list.push_back(std::uint32_t(r));
            } else if (sqlite3_value_numeric_type(argv[0]) == SQLITE_FLOAT) {
                const double d = sqlite3_value_double(argv[0]);
                if (d >= 1 && d <= double(s.count()) && d == double(std::uint32_t(d)))
                    c->list.push_back(std::uint32_t(d));
            }
        } else if ((idxNum & 3) == PlanColumn && argc >= 1) {
            const int column = idxNum >> 8;
            if (column < 0 || size_t(column) >= s.header.fields.size())
                return SQLITE_ERROR;
            const Field &f = s.header.fields[size_t(column)];
            sqlite3_value *arg = argv[0];
            if (f.type == 'C' && sqlite3_value_type(arg) != SQLITE_TEXT && sqlite3_value_type(arg) != SQLITE_NULL) {
                // A number or blob compared with a text column goes through SQLite's own
                // conversions, which the index does not know: read every record instead.
                c->useList = false;
                c->row = 1;
                c->end = s.count() + 1;
                settle(c);
                return SQLITE_OK;
            }
            EqIndex &idx = indexFor(s, column, t->fileName);
            if (sqlite3_value_type(arg) != SQLITE_NULL) {
                if (f.type == 'C') {
                    std::string key;
                    if (textKey(arg, f, key))
                        idx.findText(key, s.records.data(), s.header.recordLength, c->list);
                } else {
                    const int type = sqlite3_value_numeric_type(arg);
                    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                        const double key =
                            type == SQLITE_INTEGER ? double(sqlite3_value_int64(arg)) : sqlite3_value_double(arg);
                        idx.findNumber(key, s.records.data(), s.header.recordLength, c->list);
                    }
                }
            }
        } else {
            c->useList = false;
            c->row = 1;
            c->end = s.count() + 1;
        }
        settle(c);
        return SQLITE_OK;
    });
}

int dbfvtabNext(sqlite3_vtab_cursor *cur)
{
    DbfCursor *c = cursorOf(cur);
    if (c->useList)
        ++c->pos;
    else
        ++c->row;
    settle(c);
    return SQLITE_OK;
}

int dbfvtabEof(sqlite3_vtab_cursor *cur)
{
    return cursorOf(cur)->eof ? 1 : 0;
}

int dbfvtabColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int column)
{
    DbfCursor *c = cursorOf(cur);
    DbfTable *t = tableOf(cur->pVtab);
    // An UPDATE does not need the old value of a column it leaves alone.
    if (sqlite3_vtab_nochange(ctx))
        return SQLITE_OK;
    const Snapshot &s = *c->snap;
    if (c->eof || column < 0 || size_t(column) >= s.header.fields.size() || c->row < 1 || c->row > s.count())
        return SQLITE_OK;
    try {
        const Value v =
            dbf::decodeField(s.header.fields[size_t(column)], s.record(c->row), c->scratch, t->fileName, c->row);
        switch (v.kind) {
        case Value::Kind::Integer:
            sqlite3_result_int64(ctx, v.integer);
            break;
        case Value::Kind::Real:
            sqlite3_result_double(ctx, v.real);
            break;
        case Value::Kind::Text:
            sqlite3_result_text(ctx, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
            break;
        case Value::Kind::Null:
            break;
        }
        return SQLITE_OK;
    } catch (const std::exception &e) {
        sqlite3_result_error(ctx, e.what(), -1);
        return SQLITE_ERROR;
    } catch (...) {
        sqlite3_result_error(ctx, "Eroare necunoscuta in modulul dbf", -1);
        return SQLITE_ERROR;
    }
}

int dbfvtabRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *pRowid)
{
    *pRowid = cursorOf(cur)->row;
    return SQLITE_OK;
}

// ---- Writing -------------------------------------------------------------------------
void remember(DbfTable *t, std::uint32_t row)
{
    t->undo.push(row, t->snap->record(row), t->snap->header.recordLength);
    if (row <= t->baseCount)
        t->dirty.push_back(row);
}

void takeHeaderLock(DbfTable *t)
{
    if (t->headerLocked)
        return;
    if (!dbflock::lock(t->fd, dbflock::HeaderOffset, 1, true, dbflock::waitMilliseconds()))
        fail("Tabela " + t->fileName + " este blocata de alt calculator. Incercati din nou.");
    t->headerLocked = true;
    // Another workstation may have appended since we read the file: start from its records.
    if (!t->hasChanges()) {
        ensureFresh(t);
        t->baseCount = t->snap->count();
    }
}

void releaseHeaderLock(DbfTable *t)
{
    if (t->headerLocked && t->fd >= 0)
        dbflock::unlock(t->fd, dbflock::HeaderOffset, 1);
    t->headerLocked = false;
}

int dbfvtabUpdate(sqlite3_vtab *v, int argc, sqlite3_value **argv, sqlite3_int64 *pRowid)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (!t->snap)
            ensureFresh(t);
        requireWritable(t);
        const size_t nFields = t->fields.size();
        if (argc == 1) { // DELETE
            const sqlite3_int64 r = sqlite3_value_int64(argv[0]);
            if (r < 1 || r > sqlite3_int64(t->snap->count()) || !t->snap->live(std::uint32_t(r)))
                return SQLITE_OK;
            remember(t, std::uint32_t(r));
            *t->snap->record(std::uint32_t(r)) = dbf::DeletedFlag;
            return SQLITE_OK;
        }
        if (size_t(argc) != nFields + 2)
            return SQLITE_ERROR;
        const std::uint32_t recLen = t->snap->header.recordLength;
        // The record is built in a buffer kept between calls: an append of many rows
        // allocates nothing per row.
        thread_local std::string rec;
        rec.assign(recLen, ' ');
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) { // INSERT
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL &&
                sqlite3_value_int64(argv[1]) != sqlite3_int64(t->snap->count()) + 1)
                fail("Tabela " + t->fileName + ": numarul inregistrarii nu poate fi ales la adaugare.");
            dbf::blankRecord(t->snap->header, rec.data());
            for (size_t i = 0; i < nFields; ++i)
                dbf::encodeField(t->fields[i], valueOf(argv[i + 2]), rec.data(), t->fileName);
            takeHeaderLock(t);
            Snapshot &s = *t->snap;
            if (std::uint64_t(s.records.size()) + recLen > MaxSnapshotBytes)
                fail("Tabela " + t->fileName + " este prea mare.");
            s.records.append(rec.data(), rec.size());
            ++s.header.recordCount;
            const std::uint32_t row = s.count();
            for (size_t i = 0; i < nFields; ++i)
                if (s.indexes[i])
                    s.indexes[i]->add(s.records.data(), recLen, row);
            *pRowid = row;
            return SQLITE_OK;
        }
        // UPDATE
        const sqlite3_int64 r = sqlite3_value_int64(argv[0]);
        if (sqlite3_value_int64(argv[1]) != r)
            fail("Tabela " + t->fileName + ": numarul unei inregistrari nu poate fi schimbat.");
        Snapshot &s = *t->snap;
        if (r < 1 || r > sqlite3_int64(s.count()) || !s.live(std::uint32_t(r)))
            return SQLITE_OK;
        const std::uint32_t row = std::uint32_t(r);
        std::memcpy(rec.data(), s.record(row), recLen);
        std::vector<bool> changed(nFields, false);
        for (size_t i = 0; i < nFields; ++i) {
            if (sqlite3_value_nochange(argv[i + 2]))
                continue;
            dbf::encodeField(t->fields[i], valueOf(argv[i + 2]), rec.data(), t->fileName);
            const Field &f = t->fields[i];
            changed[i] = std::memcmp(rec.data() + f.offset, s.record(row) + f.offset, size_t(f.length)) != 0;
        }
        if (std::memcmp(rec.data(), s.record(row), recLen) == 0)
            return SQLITE_OK;
        remember(t, row);
        for (size_t i = 0; i < nFields; ++i)
            if (changed[i] && s.indexes[i])
                s.indexes[i]->remove(s.records.data(), recLen, row);
        std::memcpy(s.record(row), rec.data(), recLen);
        for (size_t i = 0; i < nFields; ++i)
            if (changed[i] && s.indexes[i])
                s.indexes[i]->add(s.records.data(), recLen, row);
        return SQLITE_OK;
    });
}

// Puts the snapshot back to `undoSize` changes and `count` records.
void undoTo(DbfTable *t, size_t undoSize, std::uint32_t count)
{
    if (!t->snap)
        return;
    Snapshot &s = *t->snap;
    // Indexes are cheaper to build again than to unwind; dropped first, so that a restore
    // failing half-way leaves none describing records it did not put back.
    for (auto &idx : s.indexes)
        idx.reset();
    for (size_t i = t->undo.size(); i > undoSize; --i) {
        const std::uint32_t row = t->undo.row(i - 1);
        if (row <= s.count())
            t->undo.read(i - 1, s.record(row));
    }
    t->undo.truncate(undoSize);
    if (count < s.count()) {
        s.header.recordCount = count;
        s.records.resize(size_t(count) * s.header.recordLength);
    }
}

void endTransaction(DbfTable *t)
{
    releaseHeaderLock(t);
    t->inTransaction = false;
    t->synced = false;
    t->undo.clear();
    t->dirty.clear();
    t->savepoints.clear();
    t->undoFailed = false;
}

int dbfvtabBegin(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        endTransaction(t);
        ensureFresh(t);
        t->inTransaction = true;
        t->baseCount = t->snap->count();
        return SQLITE_OK;
    });
}

// Writes the transaction's changes: updated records under their locks, then appended
// records, then the header count that makes them visible.
int dbfvtabSync(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (!t->snap || !t->hasChanges() || t->synced)
            return SQLITE_OK;
        if (t->undoFailed)
            failUndone(t);
        if (t->shared && t->module->folder) {
            dbfvtabCommitFolder(t->module, {});
            return SQLITE_OK;
        }
        syncPrivateTable(t);
        return SQLITE_OK;
    });
}

int dbfvtabCommit(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        // A commit without xSync (SQLite always syncs first) still must not lose the changes.
        if (!t->synced && t->hasChanges()) {
            const int rc = dbfvtabSync(v);
            if (rc != SQLITE_OK)
                return rc;
        }
        endTransaction(t);
        return SQLITE_OK;
    });
}

int dbfvtabRollback(sqlite3_vtab *v)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (t->synced) {
            t->stale = true; // the file holds what we wrote; read it back
        } else {
            try {
                undoTo(t, 0, t->baseCount);
            } catch (const std::exception &) {
                // The undo log's file failed half-way: the snapshot holds some changes still.
                // Nothing reached the table file, so it is read from there again.
                t->snap.reset();
                t->stale = true;
            }
        }
        endTransaction(t);
        return SQLITE_OK;
    });
}

int dbfvtabSavepoint(sqlite3_vtab *v, int n)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (n < 0)
            return SQLITE_OK;
        const SavepointMark mark{t->undo.size(), t->snap ? t->snap->count() : 0, t->dirty.size()};
        t->savepoints.resize(size_t(n) + 1, mark);
        t->savepoints[size_t(n)] = mark;
        return SQLITE_OK;
    });
}

int dbfvtabRelease(sqlite3_vtab *v, int n)
{
    DbfTable *t = tableOf(v);
    if (n >= 0 && size_t(n) < t->savepoints.size())
        t->savepoints.resize(size_t(n));
    return SQLITE_OK;
}

int dbfvtabRollbackTo(sqlite3_vtab *v, int n)
{
    DbfTable *t = tableOf(v);
    return guarded(v, [&] {
        if (n < 0 || size_t(n) >= t->savepoints.size() || t->synced)
            return SQLITE_OK;
        const SavepointMark m = t->savepoints[size_t(n)];
        try {
            undoTo(t, m.undoSize, m.count);
        } catch (...) {
            // Some records are put back, some not: the snapshot is neither the savepoint's
            // state nor the later one, and committing it would store that mixture.
            t->undoFailed = true;
            throw;
        }
        // Not written at commit: another program may change those records meanwhile.
        t->dirty.resize(std::min(t->dirty.size(), m.dirtySize));
        t->savepoints.resize(size_t(n) + 1);
        return SQLITE_OK;
    });
}

int dbfvtabRename(sqlite3_vtab *, const char *)
{
    return SQLITE_OK;
}

sqlite3_module dbfModule = {
    2,                  // iVersion: savepoints
    dbfvtabConnect,     // xCreate
    dbfvtabConnect,     // xConnect
    dbfvtabBestIndex,   // xBestIndex
    dbfvtabDisconnect,  // xDisconnect
    dbfvtabDisconnect,  // xDestroy: the file stays
    dbfvtabOpen,        // xOpen
    dbfvtabClose,       // xClose
    dbfvtabFilter,      // xFilter
    dbfvtabNext,        // xNext
    dbfvtabEof,         // xEof
    dbfvtabColumn,      // xColumn
    dbfvtabRowid,       // xRowid
    dbfvtabUpdate,      // xUpdate
    dbfvtabBegin,       // xBegin
    dbfvtabSync,        // xSync
    dbfvtabCommit,      // xCommit
    dbfvtabRollback,    // xRollback
    nullptr,            // xFindFunction
    dbfvtabRename,      // xRename
    dbfvtabSavepoint,   // xSavepoint
    dbfvtabRelease,     // xRelease
    dbfvtabRollbackTo,  // xRollbackTo
    nullptr,            // xShadowName
};

void dbfvtabFreeModule(void *p)
{
    delete static_cast<DbfModule *>(p);
}

} // namespace

DbfModule *dbfvtabRegister(sqlite3 *db)
{
    auto *m = new (std::nothrow) DbfModule();
    if (!m)
        return nullptr;
    // SQLite frees the state with the connection (also when registering fails).
    if (sqlite3_create_module_v2(db, "dbf", &dbfModule, m, dbfvtabFreeModule) != SQLITE_OK)
        return nullptr;
    return m;
}

void dbfvtabInvalidate(DbfModule *module)
{
    if (module)
        ++module->generation;
}

} // namespace vestronia

namespace vestronia {

void dbfvtabSyncPrivate(DbfModule *module)
{
    if (!module)
        return;
    // A table that cannot commit stops the commit before any work table is written.
    for (const DbfTable *t : module->tables)
        if (t->inTransaction && t->undoFailed)
            failUndone(t);
    for (DbfTable *t : module->tables) {
        if (t->shared || !t->inTransaction || !t->snap || !t->hasChanges() || t->synced)
            continue;
        if (dbfvtabSync(t) != SQLITE_OK)
            fail(t->zErrMsg ? std::string(t->zErrMsg) : "Nu se poate scrie in tabela " + t->fileName);
    }
}

void dbfvtabStatementStart(DbfModule *module, bool refresh)
{
    if (!module)
        return;
    ++module->statement;
    FolderLock *folder = module->folder;
    if (!refresh || !folder)
        return;
    const bool took = !folder->holdsRead();
    if (took)
        folder->lockRead(false);
    struct Unlock
    {
        FolderLock *f;
        bool took;
        ~Unlock()
        {
            if (took)
                f->unlockRead();
        }
    } unlock{folder, took};
    for (DbfTable *t : module->tables)
        if (t->shared && t->snap)
            ensureFresh(t);
}

void dbfvtabSetFolder(DbfModule *module, FolderLock *folder, const std::string &dataFolder)
{
    if (!module)
        return;
    module->folder = folder;
    module->dataFolder = dataFolder;
}

} // namespace vestronia
