// Unpacking, checking and reading the backup of the agricultural register. The tables
// are attached under private names only while they are read; every value goes through
// the foreign* helpers so the other program's choice of field types does not matter.
// Known limit: a table with a field type our dBase layer does not read (memo) is refused.

#include "import/agriculturalbackup.h"

#include "backup/archive.h"
#include "core/workfiles.h"
#include "import/importerror.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace vestronia {

namespace {

const QString Identificare = QStringLiteral("Identificare.dbf");
const QString Volume = QStringLiteral("Volume.dbf");
const QString Cap1 = QStringLiteral("Cap1.dbf");
const QString CheckTitle = QStringLiteral("Verificare salvare R.A.");

// Detaches the backup's tables when the reading ends, whatever happens.
class Attachment
{
public:
    Attachment(Database &db, const QString &name, const QString &path) : m_db(db), m_name(name)
    {
        m_db.attach(m_name, path);
    }
    ~Attachment()
    {
        try {
            m_db.detach(m_name);
        } catch (...) {
            // The attachment is private to this reading; a failed detach only leaves a
            // name nobody uses.
        }
    }
    Attachment(const Attachment &) = delete;
    Attachment &operator=(const Attachment &) = delete;

private:
    Database &m_db;
    QString m_name;
};

// Sort key of a house number: numbers first in numeric order ("9" before "12"), then the
// rest of the text; numbers without digits after all the others.
struct NumberKey
{
    bool noDigits = true;
    qint64 value = 0;
    QString rest;
};

NumberKey numberKey(const QString &number)
{
    NumberKey k;
    qsizetype i = 0;
    while (i < number.size() && number[i].isDigit() && i < 15)
        ++i;
    if (i > 0) {
        k.noDigits = false;
        k.value = number.left(i).toLongLong();
    }
    k.rest = number.mid(i);
    return k;
}

bool numberLess(const QString &a, const QString &b)
{
    const NumberKey ka = numberKey(a);
    const NumberKey kb = numberKey(b);
    if (ka.noDigits != kb.noDigits)
        return !ka.noDigits;
    if (ka.value != kb.value)
        return ka.value < kb.value;
    return ka.rest < kb.rest;
}

} // namespace

QString foreignKey(const QVariant &value)
{
    if (const std::optional<qint64> n = foreignInteger(value))
        return QString::number(*n);
    return foreignText(value);
}

std::optional<qint64> foreignInteger(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double: {
        const double d = value.toDouble();
        // Whole numbers only, and none a 64-bit integer cannot hold.
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.0e15)
            return std::nullopt;
        return qint64(d);
    }
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        if (ok)
            return n;
        const double d = value.toString().trimmed().toDouble(&ok);
        if (ok && std::isfinite(d) && d == std::floor(d) && std::fabs(d) <= 9.0e15)
            return qint64(d);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QString foreignText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Double) {
        if (const std::optional<qint64> n = foreignInteger(value))
            return QString::number(*n);
        return QString::number(value.toDouble(), 'f', 2);
    }
    return value.toString().trimmed();
}

bool isDaMark(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return foreignText(value).compare(QLatin1String("DA"), Qt::CaseInsensitive) == 0;
}

const std::vector<std::pair<QString, QStringList>> &AgriculturalBackup::requiredTables()
{
    static const std::vector<std::pair<QString, QStringList>> tables = {
        {Cap1,
         {QStringLiteral("IDID"), QStringLiteral("ANUL"), QStringLiteral("RAND"), QStringLiteral("NUME"),
          QStringLiteral("INIT"), QStringLiteral("PRENUME"), QStringLiteral("CNP"), QStringLiteral("DECEDAT")}},
        {Identificare,
         {QStringLiteral("IDID"), QStringLiteral("IDVOL"), QStringLiteral("ROL"), QStringLiteral("STRADA1"),
          QStringLiteral("NR1"), QStringLiteral("BLOC1"), QStringLiteral("SCARA1"), QStringLiteral("APART1"),
          QStringLiteral("ANULAT")}},
        {Volume, {QStringLiteral("IDVOL"), QStringLiteral("LOCALIT"), QStringLiteral("TIPRA")}},
    };
    return tables;
}

AgriculturalBackup::AgriculturalBackup(const Session &session, const QString &archivePath, Progress &progress)
{
    const ImportError cannotOpen(QStringLiteral("Dezarhivare date R.A."), QStringLiteral("\rSalvarea nu poate fi deschisa!"));
    ProgressScope scope(progress, QStringLiteral("Desfac salvarea..."), 1);
    m_folder = newWorkFolder(session.tempFolder, QStringLiteral("TmpRA"));
    if (m_folder.isEmpty())
        throw cannotOpen;
    try {
        if (!QFileInfo(archivePath).isFile() || !readArchive(archivePath, m_folder, progress))
            throw cannotOpen;
        check();
    } catch (...) {
        deleteFolder(m_folder);
        throw;
    }
}

AgriculturalBackup::~AgriculturalBackup()
{
    deleteFolder(m_folder);
}

QString AgriculturalBackup::tablePath(const QString &fileName) const
{
    return findFileNoCase(m_folder, fileName);
}

void AgriculturalBackup::check() const
{
    for (const auto &[fileName, fields] : requiredTables()) {
        if (!fileExistsNoCase(m_folder, fileName)) {
            if (fileName == Cap1)
                throw ImportError(CheckTitle, QStringLiteral("\rSalvarea nu contine datele din Reg.Agricol!"));
            throw ImportError(CheckTitle, QStringLiteral("\rSalvarea nu contine tabela ") + fileName
                                              + QStringLiteral(" din Reg.Agricol!"));
        }
        QList<DbfColumn> columns;
        try {
            columns = tableColumns(tablePath(fileName));
        } catch (const VestroniaError &e) {
            throw ImportError(CheckTitle, QStringLiteral("\rTabela ") + fileName
                                              + QStringLiteral(" din salvare este deteriorata:\r") + e.message());
        }
        QSet<QString> present;
        for (const DbfColumn &c : columns)
            present.insert(c.name.toUpper());
        for (const QString &field : fields)
            if (!present.contains(field))
                throw ImportError(CheckTitle, QStringLiteral("\rTabela ") + fileName
                                                  + QStringLiteral(" din salvare nu are campul ") + field
                                                  + QStringLiteral("!"));
    }
}

std::vector<Household> AgriculturalBackup::households(Database &db, int year) const
{
    const Attachment volumes(db, QStringLiteral("RaVolume"), tablePath(Volume));
    const Attachment ids(db, QStringLiteral("RaIdentificare"), tablePath(Identificare));
    const Attachment members(db, QStringLiteral("RaCap1"), tablePath(Cap1));

    // Locality of every volume of register type 1; the first row wins when a volume is
    // listed twice, so a household is never counted twice through its volume.
    QHash<QString, QString> localities;
    const ResultSet v = db.select(QStringLiteral("SELECT IDVOL, LOCALIT, TIPRA FROM RaVolume"));
    for (int i = 0; i < v.rowCount(); ++i) {
        if (foreignInteger(v.value(i, 2)) != 1)
            continue;
        const QString key = foreignKey(v.value(i, 0));
        if (!localities.contains(key))
            localities.insert(key, foreignText(v.value(i, 1)));
    }

    // Members of the year: a household appears when one of them is alive; the count is
    // of those that have a row number.
    QHash<QString, int> alive;
    const ResultSet c = db.select(
        QStringLiteral("SELECT IDID, RAND, DECEDAT FROM RaCap1 WHERE CAST(TRIM(ANUL) AS INTEGER)=?"), {year});
    for (int i = 0; i < c.rowCount(); ++i) {
        if (isDaMark(c.value(i, 2)))
            continue;
        int &n = alive[foreignKey(c.value(i, 0))];
        if (!foreignText(c.value(i, 1)).isEmpty())
            ++n;
    }

    std::vector<Household> out;
    QSet<QString> seen;
    const ResultSet a = db.select(QStringLiteral(
        "SELECT IDID, IDVOL, ROL, STRADA1, NR1, BLOC1, SCARA1, APART1, ANULAT FROM RaIdentificare"));
    for (int i = 0; i < a.rowCount(); ++i) {
        if (isDaMark(a.value(i, 8)))
            continue;
        const QString idid = foreignKey(a.value(i, 0));
        const auto locality = localities.constFind(foreignKey(a.value(i, 1)));
        const auto count = alive.constFind(idid);
        if (idid.isEmpty() || locality == localities.cend() || count == alive.cend() || seen.contains(idid))
            continue;
        seen.insert(idid);
        Household h;
        h.idid = idid;
        h.rol = foreignText(a.value(i, 2));
        h.street = foreignText(a.value(i, 3));
        h.number = foreignText(a.value(i, 4));
        h.block = foreignText(a.value(i, 5));
        h.staircase = foreignText(a.value(i, 6));
        h.apartment = foreignText(a.value(i, 7));
        h.locality = *locality;
        h.persons = *count;
        out.push_back(std::move(h));
    }
    std::stable_sort(out.begin(), out.end(), [](const Household &x, const Household &y) {
        if (x.locality != y.locality)
            return x.locality < y.locality;
        if (x.street != y.street)
            return x.street < y.street;
        return numberLess(x.number, y.number);
    });
    return out;
}

QHash<QString, HouseholdHead> AgriculturalBackup::heads(Database &db, int year) const
{
    const Attachment members(db, QStringLiteral("RaCap1"), tablePath(Cap1));
    QHash<QString, HouseholdHead> out;
    const ResultSet c = db.select(QStringLiteral("SELECT IDID, RAND, NUME, INIT, PRENUME, CNP, DECEDAT FROM RaCap1 "
                                                 "WHERE CAST(TRIM(ANUL) AS INTEGER)=?"),
                                  {year});
    for (int i = 0; i < c.rowCount(); ++i) {
        if (foreignInteger(c.value(i, 1)) != 1)
            continue;
        const QString idid = foreignKey(c.value(i, 0));
        if (out.contains(idid))
            continue;
        HouseholdHead h;
        h.surname = foreignText(c.value(i, 2));
        h.initial = foreignText(c.value(i, 3));
        h.firstName = foreignText(c.value(i, 4));
        h.cnp = foreignText(c.value(i, 5));
        h.deceased = isDaMark(c.value(i, 6));
        out.insert(idid, h);
    }
    return out;
}

} // namespace vestronia
