#pragma once
// A backup of the agricultural register (".rg3", in the archive format of our own
// backups) unpacked into a working folder, checked, and read.
//
// The three tables belong to another program, so only the fields named below are read,
// whatever their dBase types: identifiers and years may be numbers or texts, marks are
// the text "DA" (a blank mark counts as no mark). A table or field that is missing is a
// refusal that names it, before the user is asked anything else.

#include "core/progress.h"
#include "core/session.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <utility>
#include <vector>

namespace vestronia {

class Database;

// One household of register type 1 that is not cancelled, with its members of one year.
struct Household
{
    QString idid;      // IDID, as a normalised key
    QString rol;       // ROL
    QString street;    // STRADA1
    QString number;    // NR1
    QString block;     // BLOC1
    QString staircase; // SCARA1
    QString apartment; // APART1
    QString locality;  // LOCALIT of its volume
    int persons = 0;   // members of the year not marked deceased (with a row number)
};

// The head of a household (row number 1) in one year.
struct HouseholdHead
{
    QString surname;   // NUME
    QString initial;   // INIT
    QString firstName; // PRENUME
    QString cnp;       // CNP
    bool deceased = false;
};

class AgriculturalBackup
{
public:
    // Unpacks the archive into a new working folder "TmpRA" of the TEMP folder and checks
    // it ("Desfac salvarea..." on the progress, which is finished on return). Throws
    // ImportError:
    //   "Dezarhivare date R.A." / "\rSalvarea nu poate fi deschisa!" when it cannot be
    //   unpacked (also when no working folder can be made);
    //   "Verificare salvare R.A." / "\rSalvarea nu contine datele din Reg.Agricol!" without
    //   Cap1.dbf, and with a text naming the table or field that is missing or damaged.
    // The working folder is removed when this throws, and by the destructor.
    AgriculturalBackup(const Session &session, const QString &archivePath, Progress &progress);
    ~AgriculturalBackup();
    AgriculturalBackup(const AgriculturalBackup &) = delete;
    AgriculturalBackup &operator=(const AgriculturalBackup &) = delete;

    const QString &folder() const { return m_folder; }

    // Both readers attach the backup's tables to db for the time of the reading only.
    // The households of register type 1, not cancelled, that have at least one member
    // recorded for the year and not marked deceased, ordered by locality, street and
    // number (numbers in numeric order). One per IDID. Throws VestroniaError when a table
    // cannot be read.
    std::vector<Household> households(Database &db, int year) const;
    // The heads of household of the year by IDID (the first row when a household has
    // several).
    QHash<QString, HouseholdHead> heads(Database &db, int year) const;

    // File name of each table in the archive and the fields read from it.
    static const std::vector<std::pair<QString, QStringList>> &requiredTables();

private:
    void check() const;
    QString tablePath(const QString &fileName) const;

    QString m_folder;
};

// Helpers of the reading, public for the tests: a foreign value as a join key (numbers
// and number texts alike: 12, 12.0, "12", " 012" give "12"), as a whole number (nothing
// when it is not one), as a text, and whether it is the mark "DA".
QString foreignKey(const QVariant &value);
std::optional<qint64> foreignInteger(const QVariant &value);
QString foreignText(const QVariant &value);
bool isDaMark(const QVariant &value);

} // namespace vestronia
