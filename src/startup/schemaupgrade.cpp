// The schema upgrade run at every start, and the start-up maintenance of the 2023
// penalty settlement. Every step is safe to run again on an upgraded folder.

#include "startup/schemaupgrade.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/profilefile.h"
#include "core/session.h"
#include "core/workfiles.h"
#include "startup/modelfiles.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QDir>
#include <QFile>

namespace vestronia {

namespace {

bool hasColumn(const QString &path, const char *name)
{
    for (const DbfColumn &c : tableColumns(path))
        if (c.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Adds catalogue columns to a table file and re-attaches it so SQL sees them.
void addCatalogueColumns(Database &db, TableId table, std::initializer_list<const char *> names)
{
    const TableDef &def = tableDef(table);
    std::vector<ColumnDef> columns;
    for (const char *n : names)
        columns.push_back(*def.column(QLatin1String(n)));
    const QString path = findFileNoCase(db.dataFolder(), QLatin1String(def.fileName));
    // The file is rewritten: no other workstation may be attached meanwhile.
    db.runExclusive([&] { addColumns(path, columns); });
    db.attach(QLatin1String(def.name), path);
}

// Renames a letter out of the way; a target that exists already keeps the letter as it
// was, which is what the user expects of a model they may have edited.
void moveLetterAside(const QString &folder, const QString &name, const QString &oldName)
{
    const QString from = findFileNoCase(folder, name);
    const QString to = folder + QLatin1Char('/') + oldName;
    if (QFile::exists(from) && !fileExistsNoCase(folder, oldName))
        QFile::rename(from, to);
}

} // namespace

void upgradeSchema(Database &db, const Session &session)
{
    const QString settings = session.sharedSettings();
    const qint64 level = Counters::peek(settings, QStringLiteral("VERSIUNE"));
    const bool refreshLetters = level < LetterRefreshLevel;
    // Until the level is stored, the steps below are still to be finished: an upgrade cut
    // short after adding a column fills that column at the next start.
    const bool upgrading = level < SchemaLevel;

    const QString defCont = session.tablePath(TableId::DefCont);
    const QString abonat = session.tablePath(TableId::Abonat);
    const bool hasNrCon = hasColumn(abonat, "NRCON");
    const bool hasTipPf = hasColumn(abonat, "TIPPF");

    // New columns rewrite whole files, each on its own and atomically, with the folder
    // held alone; everything else is one transaction, with the level stored last.
    if (!hasColumn(defCont, "PRETFIX"))
        addCatalogueColumns(db, TableId::DefCont, {"PRETFIX"});
    if (!hasNrCon)
        addCatalogueColumns(db, TableId::Abonat, {"NRCON", "DATACON"});
    if (!hasTipPf)
        addCatalogueColumns(db, TableId::Abonat, {"TIPPF"});
    if (!hasColumn(abonat, "OBS2"))
        addCatalogueColumns(db, TableId::Abonat, {"OBS2"});

    Transaction tx(db);
    const QVariant settlement = db.scalar(QStringLiteral("SELECT IDCON FROM DefCont WHERE DENUM=? LIMIT 1"),
                                          {QStringLiteral("Penalitati 2023")});
    if (settlement.isValid())
        maintainPenaltySettlement(db, session, settlement.toLongLong());
    if (upgrading || !hasNrCon)
        db.exec(QStringLiteral("UPDATE Abonat SET DATACON=0 WHERE DATACON IS NULL"));
    if (upgrading || !hasTipPf) {
        // Every subscriber of an older folder is a natural person.
        db.exec(QStringLiteral("UPDATE Abonat SET TIPPF=? WHERE TIPPF IS NULL"), {QStringLiteral("F")});
    }
    if (refreshLetters) {
        moveLetterAside(session.dataFolder, QStringLiteral("Instiintare.rtf"), QStringLiteral("InstiintareOld.rtf"));
        moveLetterAside(session.dataFolder, QStringLiteral("SomTit.rtf"), QStringLiteral("SomTitOld.rtf"));
        writeModelFiles(session);
    }
    Counters::set(settings, QStringLiteral("VERSIUNE"), SchemaLevel);
    tx.commit();
}

void maintainPenaltySettlement(Database &db, const Session &session, qint64 settlementAccount)
{
    const int today = Clock::todayDayNumber();
    const int lastRedatingDay = dayNumberOf(QDate(2024, 11, 29));
    if (today <= lastRedatingDay) {
        db.exec(QStringLiteral("UPDATE Debite SET DATADEB=? WHERE IDCON=? AND SOLD>0"), {today, settlementAccount});
        return;
    }
    const QString settings = session.sharedSettings();
    if (ProfileFile::readText(settings, QStringLiteral("CONST"), QStringLiteral("FaraPen2023")) == QLatin1String("X"))
        return;
    // The flag and the removal commit together with the caller's transaction.
    ProfileFile::writeText(settings, QStringLiteral("CONST"), QStringLiteral("FaraPen2023"), QStringLiteral("X"));
    db.exec(QStringLiteral("DELETE FROM Debite WHERE IDCON=? AND SOLD>0 AND SOLD=RATA"), {settlementAccount});
}

} // namespace vestronia
