// The table catalogue: every column of the nine tables, as the data folder holds them.

#include "core/tablecatalogue.h"

namespace vestronia {

QString ColumnDef::sqlType() const
{
    switch (type) {
    case 'C':
        return QStringLiteral("CHAR(%1)").arg(length);
    case 'D':
        return QStringLiteral("DATE");
    default:
        return QStringLiteral("DECIMAL(%1,%2)").arg(length).arg(decimals);
    }
}

const ColumnDef *TableDef::column(const QString &wanted) const
{
    for (const ColumnDef &c : columns)
        if (wanted.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

namespace {
constexpr ColumnDef id(const char *n) { return {n, 'N', 10, 0}; }
constexpr ColumnDef money(const char *n) { return {n, 'N', 10, 2}; }
constexpr ColumnDef rate(const char *n) { return {n, 'N', 6, 2}; }
constexpr ColumnDef num6(const char *n) { return {n, 'N', 6, 0}; }
constexpr ColumnDef chr(const char *n, int w) { return {n, 'C', w, 0}; }
constexpr ColumnDef date(const char *n) { return {n, 'D', 8, 0}; }
} // namespace

const std::vector<TableDef> &tableCatalogue()
{
    static const std::vector<TableDef> tables = {
        {TableId::DefCont, "DefCont", "DefCont.dbf",
         {id("IDCON"), chr("DENUM", 60), money("RATA"), chr("PRETFIX", 1), chr("PEPERS", 1),
          num6("ZIUAIMP"), num6("PERLUNI"), num6("MINPERS"), num6("MAXPERS"), rate("PENAL"),
          chr("PENALPE", 4), num6("PENALDELA"), chr("PENALDELAP", 4), chr("MAXSOLD", 1),
          num6("DATASTART"), num6("DATASTOP")}},
        {TableId::Abonat, "Abonat", "Abonat.dbf",
         {id("IDAB"), chr("TIPPF", 1), chr("NUME", 68), chr("ROL", 9), chr("CNP", 13), chr("LOC", 32),
          chr("STRADA", 32), chr("NR", 32), num6("DATAIN"), num6("DATAOUT"), num6("DATASCUT"),
          num6("NRPERS"), chr("NRCON", 16), num6("DATACON"), chr("OBS", 200), chr("OBS2", 200)}},
        {TableId::AbOm, "AbOm", "AbOm.dbf",
         {id("IDSERV"), id("IDAB"), id("IDCON"), chr("DENUM", 60), money("RATA"), num6("ZIUAIMP"),
          num6("PERLUNI"), rate("PENAL"), chr("PENALPE", 4), num6("PENALDELA"), chr("PENALDELAP", 4),
          chr("MAXSOLD", 1), num6("DATASTART"), num6("DATASTOP"), num6("LUNAADD")}},
        {TableId::Debite, "Debite", "Debite.dbf",
         {id("IDDEB"), id("IDSERV"), id("IDAB"), id("IDCON"), num6("DATADEB"), num6("LUNADEB"),
          chr("DENUM", 60), money("RATA"), money("SOLD"), rate("PENAL"), chr("PENALPE", 4),
          num6("PENALDATA"), chr("MAXSOLD", 1)}},
        {TableId::Chitante, "Chitante", "Chitante.dbf",
         {id("IDCHIT"), id("IDAB"), chr("ANULAT", 1), chr("DOCJUS", 16), chr("DOCSERIA", 20), id("DOCNR"),
          num6("DOCDATA"), chr("NUME", 68), chr("CNP", 13), chr("ROL", 9), chr("STRADA", 32), chr("NR", 32),
          chr("NUMEPLAT", 120), chr("REPREZ", 120), money("INCASAT"), money("PLATIT")}},
        {TableId::DetChit, "DetChit", "DetChit.dbf",
         {id("IDDCHIT"), id("IDCHIT"), id("IDDEB"), id("IDSERV"), id("IDAB"), chr("DENUM", 60),
          money("RESTANTA"), money("PENAL"), money("CURENT")}},
        {TableId::DebiteArh, "DebiteArh", "DebiteArh.dbf", {id("IDCHIT"), id("IDDEB"), id("IDAB"), money("SOLD")}},
        {TableId::Log, "Log", "Log.dbf",
         {id("IDLOG"), date("DATAL"), chr("ORA", 12), chr("ACTIUNE", 120), chr("UTILIZATOR", 16)}},
        {TableId::Urmarire, "Urmarire", "Urmarire.dbf",
         {id("IDURM"), id("IDAB"), chr("TIPACT", 24), chr("UNR", 16), date("UDATA"), chr("NUME", 68),
          chr("LOC", 32), chr("STRADA", 32), chr("NR", 32), chr("ROL", 9), chr("CNP", 13), chr("NRCON", 16),
          num6("DATACON"), money("DEBIT"), money("PENAL"), money("TOTAL")}},
    };
    return tables;
}

std::vector<TableId> tableCreationOrder()
{
    return {TableId::Log,      TableId::DefCont, TableId::Abonat,    TableId::AbOm,    TableId::Debite,
            TableId::Chitante, TableId::DetChit, TableId::DebiteArh, TableId::Urmarire};
}

const TableDef &tableDef(TableId tid)
{
    for (const TableDef &t : tableCatalogue())
        if (t.id == tid)
            return t;
    return tableCatalogue().front();
}

QStringList tableFileNames()
{
    QStringList names;
    for (const TableDef &t : tableCatalogue())
        names << QLatin1String(t.fileName);
    return names;
}

const std::vector<ColumnDef> &penaltyWorkColumns()
{
    static const std::vector<ColumnDef> columns = {chr("NUME", 68), id("IDAB"), money("PEN2023")};
    return columns;
}

} // namespace vestronia
