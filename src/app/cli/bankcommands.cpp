// The bank statement command: reads a camt.053 or MT940 file, matches its transfers and
// records them as the "Extras bancar" window does, printing every entry with its outcome.
// A statement of another account than the service's records nothing without --any-account.

#include "app/cli/cli.h"

#include "bank/bankimport.h"
#include "core/dates.h"
#include "core/terminalprogress.h"

namespace vestronia::cli {

namespace {

void printLines(const BankImport &import)
{
    out() << "EXTRAS,CONT,NR,DATA,SUMA,MONEDA,SENS,REFERINTA,PLATITOR,TEXT,REZULTAT,IDAB,ABONAT,MOTIV,NOTA,IDCHIT\n";
    for (const BankLine &l : import.lines) {
        const BankStatement &s = import.statements[size_t(l.statement)];
        const BankEntry &e = l.entry;
        const QStringList fields = {s.label(),
                                    s.account,
                                    QString::number(l.position),
                                    dayText(e.bookingDay),
                                    e.amount.toFixed(2),
                                    e.currency,
                                    e.credit ? QStringLiteral("C") : QStringLiteral("D"),
                                    e.reference,
                                    e.payer,
                                    e.text,
                                    bankOutcomeText(l.outcome),
                                    l.idab ? QString::number(l.idab) : QString(),
                                    l.subscriber,
                                    l.idab && l.reason == MatchReason::None ? QStringLiteral("operator") : matchReasonText(l.reason),
                                    l.note,
                                    l.idchit ? QString::number(l.idchit) : QString()};
        QStringList csv;
        // Line breaks of either kind inside a field would split the row for a CSV reader.
        for (const QString &f : fields)
            csv << csvField(QString(f).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' ')));
        out() << csv.join(QLatin1Char(',')) << '\n';
    }
    out().flush();
}

int commandBank(const CliContext &ctx, const QStringList &arguments)
{
    QStringList args = arguments;
    const QString use = QStringLiteral("bank import FISIER [--dry-run] [--any-account]");
    Options o(args, {}, {QStringLiteral("dry-run"), QStringLiteral("any-account")});
    if (!o.ok() || args.size() != 2 || args[0] != QLatin1String("import"))
        return usage(use);
    std::vector<BankStatement> statements = readStatementFile(args[1]);
    const Session session = ctx.session();
    Database db(session.dataFolder);
    BankImport import = planBankImport(db, session, std::move(statements));
    bool record = !o.has(QStringLiteral("dry-run"));
    if (!import.foreignAccounts.isEmpty()) {
        printError(QStringLiteral("Atentie: extrasul este pentru contul %1, nu pentru contul serviciului (%2).")
                       .arg(import.foreignAccounts.join(QStringLiteral(", ")), serviceIban(session)));
        if (!o.has(QStringLiteral("any-account"))) {
            if (record)
                printError(QStringLiteral("Nu am inregistrat nimic; cu --any-account se inregistreaza oricum."));
            record = false;
        }
    }
    if (record) {
        TerminalProgress progress;
        recordBankImport(db, session, import, progress);
    }
    printLines(import);
    return 0;
}

const Registrar registrar({
    {QStringLiteral("bank"), QStringLiteral("bank import FISIER [--dry-run] [--any-account]"), commandBank},
});

} // namespace

} // namespace vestronia::cli
