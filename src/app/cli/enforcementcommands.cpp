// The commands of the enforcement follow-up: adding, changing and deleting acts, listing
// a subscriber's acts, printing one letter, and the batch of notices for every debtor.

#include "app/cli/cli.h"

#include "collections/balance.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/terminalprogress.h"
#include "enforcement/actbatch.h"
#include "enforcement/acts.h"
#include "enforcement/letters.h"
#include "startup/adminsettings.h"

#include <QFileInfo>
#include <cstdio>

namespace vestronia::cli {

namespace {

int refuse(const Refusal &r)
{
    printError((r.title.isEmpty() ? QString() : r.title + QStringLiteral(": ")) + flatMessage(r.message));
    return 1;
}

bool readId(const QString &text, qint64 &id)
{
    bool ok = false;
    id = text.toLongLong(&ok);
    return ok && id > 0;
}

// TYPE NUMBER dd.MM.yyyy as the entry window would hold them.
std::optional<ActDraft> readDraft(const QStringList &args, int from)
{
    const auto date = parseDateText(args.value(from + 2));
    if (!date)
        return std::nullopt;
    return ActDraft{args.value(from), args.value(from + 1), *date};
}

LetterUnit letterUnit(const Session &session)
{
    AdminSettings settings;
    loadAdminSettings(session, settings, {});
    return {countyNames().value(settings.county), settings.unitName, settings.locality};
}

const QString ActUsage = QStringLiteral("act add IDAB TIP NUMAR zz.ll.aaaa | act change IDURM TIP NUMAR zz.ll.aaaa | act delete IDURM");
const QString ActsUsage = QStringLiteral(
    "acts IDAB | acts batch TIP zz.ll.aaaa [--min-total SUMA] [--locality LOCALITATE] IESIRE.rtf");

int commandAct(const CliContext &ctx, const QStringList &args)
{
    const QString verb = args.value(0);
    qint64 id = 0;
    if (args.size() < 2 || !readId(args.value(1), id))
        return usage(ActUsage);
    const Session session = ctx.session();
    Database db(session.dataFolder);
    if (verb == QLatin1String("add") || verb == QLatin1String("change")) {
        const std::optional<ActDraft> draft = args.size() == 5 ? readDraft(args, 2) : std::nullopt;
        if (!draft)
            return usage(ActUsage);
        if (verb == QLatin1String("add")) {
            const ActAmounts owed = ActAmounts::fromTotals(balanceOf(db, id, Clock::todayDayNumber()));
            const ActAdded added = addAct(db, session, id, *draft, owed);
            if (added.refusal)
                return refuse(*added.refusal);
            printCsvRow({QStringLiteral("IDURM"), QStringLiteral("DEBIT"), QStringLiteral("PENAL"), QStringLiteral("TOTAL")},
                        {QString::number(added.idurm), owed.debit.toFixed(2), owed.penalties.toFixed(2), owed.total.toFixed(2)});
            return 0;
        }
        if (MaybeRefusal r = changeAct(db, session, id, *draft))
            return refuse(*r);
        return 0;
    }
    if (verb == QLatin1String("delete") && args.size() == 2) {
        if (MaybeRefusal r = deleteAct(db, session, id))
            return refuse(*r);
        return 0;
    }
    return usage(ActUsage);
}

int commandBatch(const CliContext &ctx, QStringList args)
{
    Options options(args, {QStringLiteral("min-total"), QStringLiteral("locality")});
    if (!options.ok()) {
        printError(options.error());
        return 2;
    }
    // args: batch TYPE DATE OUT
    const auto date = parseDateText(args.value(2));
    if (args.size() != 4 || !date)
        return usage(ActsUsage);
    ActBatchRequest request{args.value(1), *date, Money(), options.value(QStringLiteral("locality"))};
    if (options.has(QStringLiteral("min-total"))) {
        const std::optional<Money> min = Money::parse(options.value(QStringLiteral("min-total")));
        if (!min) {
            printError(QStringLiteral("--min-total cere o suma: ") + options.value(QStringLiteral("min-total")));
            return 2;
        }
        request.minTotal = *min;
    }
    const Session session = ctx.session();
    Database db(session.dataFolder);
    TerminalProgress progress;
    const ActBatchOutcome outcome =
        runActBatch(db, session, request, letterUnit(session), progress, QFileInfo(args.value(3)).absoluteFilePath());
    if (outcome.refusal)
        return refuse(*outcome.refusal);
    printCsvRow({QStringLiteral("ACTE"), QStringLiteral("DE_LA"), QStringLiteral("PANA_LA"), QStringLiteral("TOTAL")},
                {QString::number(outcome.acts), QString::number(outcome.firstNumber), QString::number(outcome.lastNumber),
                 outcome.total.toFixed(2)});
    return 0;
}

int commandActs(const CliContext &ctx, const QStringList &args)
{
    if (args.value(0) == QLatin1String("batch"))
        return commandBatch(ctx, args);
    qint64 idab = 0;
    if (args.size() != 1 || !readId(args.first(), idab))
        return usage(ActsUsage);
    const Session session = ctx.session();
    Database db(session.dataFolder);
    printCsv(actsOf(db, idab));
    return 0;
}

int commandLetter(const CliContext &ctx, const QStringList &args)
{
    qint64 idurm = 0;
    if (args.size() != 2 || !readId(args.first(), idurm))
        return usage(QStringLiteral("letter IDURM IESIRE.rtf"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    const QString path = writeActLetter(db, session, idurm, letterUnit(session), QFileInfo(args.value(1)).absoluteFilePath());
    std::fprintf(stderr, "%s\n", path.toLocal8Bit().constData());
    return 0;
}

const Registrar registrar({
    {QStringLiteral("act"), ActUsage + QStringLiteral("   acte de executare"), commandAct},
    {QStringLiteral("acts"), ActsUsage + QStringLiteral("   lista actelor unui abonat (CSV) / urmariri in masa"),
     commandActs},
    {QStringLiteral("letter"), QStringLiteral("letter IDURM IESIRE.rtf   scrisoarea unui act"), commandLetter},
});

} // namespace

} // namespace vestronia::cli
