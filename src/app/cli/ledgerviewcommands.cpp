// What a clerk sees of one subscriber in the register screen's panels, on the command
// line: his open debits and his collection documents, as CSV with the panels' columns
// (plus the identifier a later command needs). Reading only; nothing is written.

#include "app/cli/cli.h"
#include "app/cli/csvrows.h"

#include "core/dates.h"
#include "core/money.h"
#include "ledger/subscriberpanels.h"
#include "ledger/subscribers.h"

namespace vestronia::cli {

namespace {

std::optional<qint64> subscriberArg(const QStringList &args)
{
    bool ok = false;
    const qint64 idab = args.value(0).toLongLong(&ok);
    if (args.size() != 1 || !ok)
        return std::nullopt;
    return idab;
}

QString money(const ResultSet &r, int row, const char *column)
{
    return r.money(row, QLatin1String(column)).toFixed(2);
}

// The debits panel: open debits by date, then identifier.
int commandDebits(const CliContext &ctx, const QStringList &args)
{
    const std::optional<qint64> idab = subscriberArg(args);
    if (!idab)
        return usage(QStringLiteral("debits IDAB"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    readSubscriber(db, *idab);
    printDebitRows(openDebitsOf(db, *idab));
    return 0;
}

// The collections panel: most recent first, cancelled receipts included.
int commandCollections(const CliContext &ctx, const QStringList &args)
{
    const std::optional<qint64> idab = subscriberArg(args);
    if (!idab)
        return usage(QStringLiteral("collections IDAB"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    readSubscriber(db, *idab);
    const ResultSet r = collectionsOf(db, *idab);
    QList<QStringList> rows;
    for (int i = 0; i < r.rowCount(); ++i)
        rows << QStringList{QString::number(r.integer(i, QStringLiteral("IDCHIT"))), r.text(i, QStringLiteral("ANULAT")),
                            r.text(i, QStringLiteral("DOCJUS")), r.text(i, QStringLiteral("DOCSERIA")),
                            QString::number(r.integer(i, QStringLiteral("DOCNR"))),
                            dayText(int(r.integer(i, QStringLiteral("DOCDATA")))), money(r, i, "INCASAT"),
                            money(r, i, "PLATIT"), r.text(i, QStringLiteral("REPREZ"))};
    printCsvRows({QStringLiteral("IDCHIT"), QStringLiteral("ANULAT"), QStringLiteral("DOCJUS"), QStringLiteral("DOCSERIA"),
               QStringLiteral("DOCNR"), QStringLiteral("DOCDATA"), QStringLiteral("INCASAT"), QStringLiteral("PLATIT"),
               QStringLiteral("REPREZ")},
              rows);
    return 0;
}

const Registrar registrar({
    {QStringLiteral("debits"), QStringLiteral("debits IDAB"), commandDebits},
    {QStringLiteral("collections"), QStringLiteral("collections IDAB"), commandCollections},
});

} // namespace

} // namespace vestronia::cli
