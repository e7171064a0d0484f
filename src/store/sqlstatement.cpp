// Statements and results of Database: binding QVariant or typed parameters, stepping a
// statement and collecting its rows as QVariants. Limits: a result is held whole in memory, so a caller
// selects what it shows, not a table.

#include "store/sqlinternal.h"

#include "core/dates.h"
#include "core/text.h"

#include <QDate>
#include <QDateTime>
#include <cstring>
#include <vector>

namespace vestronia {

// ---- ResultSet -----------------------------------------------------------------------

int ResultSet::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant ResultSet::value(int row, const QString &column) const
{
    const int c = columnIndex(column);
    if (c < 0 || row < 0 || row >= rowCount())
        return {};
    return m_rows[size_t(row)][size_t(c)];
}

QString ResultSet::text(int row, const QString &column) const
{
    return text(row, columnIndex(column));
}

qint64 ResultSet::integer(int row, const QString &column) const
{
    return integer(row, columnIndex(column));
}

Money ResultSet::money(int row, const QString &column) const
{
    return money(row, columnIndex(column));
}

namespace {
const QVariant &cell(const std::vector<QVariantList> &rows, int row, int column)
{
    static const QVariant absent;
    if (row < 0 || size_t(row) >= rows.size() || column < 0 || column >= rows[size_t(row)].size())
        return absent;
    return rows[size_t(row)][column];
}
} // namespace

QString ResultSet::text(int row, int column) const
{
    const QVariant &v = cell(m_rows, row, column);
    return v.isValid() ? v.toString() : QString();
}

qint64 ResultSet::integer(int row, int column) const
{
    const QVariant &v = cell(m_rows, row, column);
    if (!v.isValid())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return qint64(v.toDouble() < 0 ? v.toDouble() - 0.5 : v.toDouble() + 0.5);
    return v.toLongLong();
}

Money ResultSet::money(int row, int column) const
{
    return Money::fromVariant(cell(m_rows, row, column));
}

void ResultSet::setColumns(QStringList columns, QStringList declaredTypes)
{
    m_columns = std::move(columns);
    m_declaredTypes = std::move(declaredTypes);
}

namespace sqlimpl {

QString sqliteMessage(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

[[noreturn]] void throwSql(sqlite3 *db, const QString &context)
{
    QString message = sqliteMessage(db);
    if (!context.isEmpty())
        message = context + QStringLiteral(": ") + message;
    throw SqlError(message);
}

namespace {

void bindValue(sqlite3 *db, sqlite3_stmt *stmt, int position, const QVariant &v)
{
    const SqlValue value = sqlValueOf(v);
    int rc = SQLITE_OK;
    switch (value.kind) {
    case SqlValue::Null:
        rc = sqlite3_bind_null(stmt, position);
        break;
    case SqlValue::Integer:
        rc = sqlite3_bind_int64(stmt, position, value.integer);
        break;
    case SqlValue::Real:
        rc = sqlite3_bind_double(stmt, position, value.real);
        break;
    case SqlValue::Text:
        rc = sqlite3_bind_text(stmt, position, value.bytes.constData(), int(value.bytes.size()), SQLITE_TRANSIENT);
        break;
    case SqlValue::Blob:
        rc = sqlite3_bind_blob(stmt, position, value.bytes.constData(), int(value.bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK)
        throwSql(db);
}

} // namespace

SqlValue moneyValue(const Money &m)
{
    SqlValue out;
    // A double holds every amount of a DECIMAL(10,2) field exactly enough that its
    // shortest text is the amount; larger ones go as their exact text.
    if (Money::fromDouble(m.toDouble()) == m) {
        out.kind = SqlValue::Real;
        out.real = m.toDouble();
    } else {
        out.kind = SqlValue::Text;
        out.bytes = m.toString().toUtf8();
    }
    return out;
}

SqlValue sqlValueOf(const QVariant &v)
{
    SqlValue out;
    if (!v.isValid() || v.isNull())
        return out;
    if (v.userType() == qMetaTypeId<Money>())
        return moneyValue(v.value<Money>());
    switch (v.typeId()) {
    case QMetaType::QDate:
        out.kind = SqlValue::Integer;
        out.integer = dayNumberOf(v.toDate());
        break;
    case QMetaType::QDateTime:
        out.kind = SqlValue::Integer;
        out.integer = dayNumberOf(v.toDateTime().date());
        break;
    case QMetaType::Bool:
        out.kind = SqlValue::Integer;
        out.integer = v.toBool() ? 1 : 0;
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        out.kind = SqlValue::Integer;
        out.integer = v.toLongLong();
        break;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        out.kind = SqlValue::Integer;
        out.integer = sqlite3_int64(v.toULongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        out.kind = SqlValue::Real;
        out.real = v.toDouble();
        break;
    case QMetaType::QByteArray:
        out.kind = SqlValue::Blob;
        out.bytes = v.toByteArray();
        break;
    default:
        // Texts are searched as they are stored: comma-below letters as their cedilla twins.
        out.kind = SqlValue::Text;
        out.bytes = foldRomanianLetters(v.toString()).toUtf8();
        break;
    }
    return out;
}

void bindAll(sqlite3 *db, sqlite3_stmt *stmt, const QVariantList &params)
{
    const int expected = sqlite3_bind_parameter_count(stmt);
    if (params.size() != expected)
        throw SqlError(QStringLiteral("Instructiunea SQL asteapta %1 parametri, a primit %2").arg(expected).arg(params.size()));
    for (int i = 0; i < params.size(); ++i)
        bindValue(db, stmt, i + 1, params[i]);
}

// Steps a bound statement to its end; collects rows when `out` is given.
qint64 run(sqlite3 *db, sqlite3_stmt *stmt, ResultSet *out)
{
    const int columns = sqlite3_column_count(stmt);
    std::vector<bool> isDate(size_t(columns), false);
    if (out) {
        QStringList names, types;
        for (int c = 0; c < columns; ++c) {
            names << QString::fromUtf8(sqlite3_column_name(stmt, c));
            const char *decl = sqlite3_column_decltype(stmt, c);
            types << (decl ? QString::fromUtf8(decl) : QString());
            isDate[size_t(c)] = types.back().compare(QLatin1String("DATE"), Qt::CaseInsensitive) == 0;
        }
        out->setColumns(names, types);
    }
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            const QString message = sqliteMessage(db);
            sqlite3_reset(stmt);
            throw SqlError(message);
        }
        if (!out)
            continue;
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                if (isDate[size_t(c)])
                    row << QVariant(int(sqlite3_column_int64(stmt, c)));
                else
                    row << QVariant(qint64(sqlite3_column_int64(stmt, c)));
                break;
            case SQLITE_FLOAT:
                row << QVariant(sqlite3_column_double(stmt, c));
                break;
            case SQLITE_TEXT:
                row << QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                                                  sqlite3_column_bytes(stmt, c)));
                break;
            case SQLITE_BLOB:
                row << QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, c)),
                                           sqlite3_column_bytes(stmt, c)));
                break;
            default:
                row << QVariant();
                break;
            }
        }
        out->appendRow(std::move(row));
    }
    const qint64 changed = sqlite3_stmt_readonly(stmt) ? 0 : qint64(sqlite3_changes64(db));
    sqlite3_reset(stmt);
    return changed;
}

sqlite3_stmt *compile(sqlite3 *db, const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        throwSql(db);
    if (!stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL este goala"));
    return stmt;
}

} // namespace sqlimpl

using namespace sqlimpl;

// ---- Statement -----------------------------------------------------------------------

Statement::Statement(Statement &&other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_texts(std::move(other.m_texts))
{
    other.m_stmt = nullptr;
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = other.m_stmt;
        m_texts = std::move(other.m_texts);
        other.m_stmt = nullptr;
    }
    return *this;
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

qint64 Statement::exec(const QVariantList &params)
{
    if (!m_stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL nu mai exista"));
    sqlite3_reset(m_stmt);
    bindAll(m_db->handle(), m_stmt, params);
    return m_db->runStatement(m_stmt, nullptr);
}

ResultSet Statement::select(const QVariantList &params)
{
    if (!m_stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL nu mai exista"));
    sqlite3_reset(m_stmt);
    bindAll(m_db->handle(), m_stmt, params);
    ResultSet rs;
    m_db->runStatement(m_stmt, &rs);
    return rs;
}

namespace {

// The UTF-8 a QString parameter binds as: what the QVariant way gives (comma-below letters
// as their cedilla twins), with ASCII, the common case, converted in place.
void utf8Of(const QString &text, std::string &out)
{
    const qsizetype n = text.size();
    const QChar *u = text.constData();
    out.resize(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        if (u[i].unicode() >= 0x80) {
            const QByteArray converted = foldRomanianLetters(text).toUtf8();
            out.assign(converted.constData(), size_t(converted.size()));
            return;
        }
        out[size_t(i)] = char(u[i].unicode());
    }
}

// Binds a text the statement keeps, without a copy. Given no length, SQLite measures it
// up to its NUL and so knows it ends in one: a reader of the value (the table module)
// then gets it as it is, not a terminated copy. A text with a NUL inside goes by length.
int bindStatic(sqlite3_stmt *stmt, int position, const std::string &text)
{
    const bool plain = std::strlen(text.c_str()) == text.size();
    return sqlite3_bind_text(stmt, position, text.c_str(), plain ? -1 : int(text.size()), SQLITE_STATIC);
}

} // namespace

qint64 Statement::execTyped(std::span<const SqlParam> params)
{
    if (!m_stmt)
        throw SqlError(QStringLiteral("Instructiunea SQL nu mai exista"));
    sqlite3 *db = m_db->handle();
    sqlite3_reset(m_stmt);
    const int expected = sqlite3_bind_parameter_count(m_stmt);
    if (qsizetype(params.size()) != expected)
        throw SqlError(QStringLiteral("Instructiunea SQL asteapta %1 parametri, a primit %2").arg(expected).arg(params.size()));
    if (m_texts.size() < params.size())
        m_texts.resize(params.size());
    // Texts are bound without a copy (SQLITE_STATIC) from m_texts, which stays put until
    // the bindings are cleared below.
    struct ClearBindings
    {
        sqlite3_stmt *stmt;
        ~ClearBindings() { sqlite3_clear_bindings(stmt); }
    } clear{m_stmt};
    for (size_t i = 0; i < params.size(); ++i) {
        const SqlParam &p = params[i];
        const int position = int(i) + 1;
        int rc = SQLITE_OK;
        switch (p.kind()) {
        case SqlParam::Kind::Null:
            rc = sqlite3_bind_null(m_stmt, position);
            break;
        case SqlParam::Kind::Integer:
            rc = sqlite3_bind_int64(m_stmt, position, p.integer());
            break;
        case SqlParam::Kind::Real:
            rc = sqlite3_bind_double(m_stmt, position, p.real());
            break;
        case SqlParam::Kind::Money: {
            const SqlValue value = moneyValue(p.money());
            if (value.kind == SqlValue::Real) {
                rc = sqlite3_bind_double(m_stmt, position, value.real);
            } else {
                std::string &t = m_texts[i];
                t.assign(value.bytes.constData(), size_t(value.bytes.size()));
                rc = bindStatic(m_stmt, position, t);
            }
            break;
        }
        case SqlParam::Kind::Text: {
            std::string &t = m_texts[i];
            utf8Of(p.text(), t);
            rc = bindStatic(m_stmt, position, t);
            break;
        }
        }
        if (rc != SQLITE_OK)
            throwSql(db);
    }
    return m_db->runStatement(m_stmt, nullptr);
}

} // namespace vestronia
