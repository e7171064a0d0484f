// The commands of debits, collections, the cash book and penalty maintenance: the same
// services the register screen and the cash book window call, with their refusal texts.
// What they print is CSV with a header line, money with two decimals.

#include "app/cli/cli.h"
#include "app/cli/csvrows.h"

#include "collections/balance.h"
#include "collections/cancellation.h"
#include "collections/cashbook.h"
#include "collections/collection.h"
#include "collections/debits.h"
#include "documents/cashbookprint.h"
#include "documents/receipt.h"
#include "collections/penaltymaintenance.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "ledger/accounts.h"
#include "ledger/subscribers.h"

#include <QFile>
#include <QFileInfo>

namespace vestronia::cli {

namespace {

int refuse(const Refusal &r)
{
    printError(flatMessage(r.message));
    return 1;
}

std::optional<qint64> idArg(const QString &text)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<Money> moneyArg(const QString &text)
{
    return Money::parse(text);
}

// A date option, or today without one; nothing when it does not read as dd.MM.yyyy.
std::optional<int> dayOption(const Options &o, const QString &name)
{
    if (!o.has(name))
        return Clock::todayDayNumber();
    const std::optional<QDate> d = parseDateText(o.value(name));
    if (!d)
        return std::nullopt;
    return dayNumberOf(*d);
}

// Copies a generated document to where the caller asked for it.
bool deliver(const QString &from, const QString &to)
{
    if (from.isEmpty())
        return false;
    QFile::remove(to);
    return QFile::copy(from, to);
}

int writeReceipt(Database &db, const Session &session, qint64 idchit, const QString &target)
{
    const bool pdf = target.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    TerminalProgress progress;
    const ReceiptOutcome r =
        printReceipt(db, session, idchit, pdf ? ReceiptFormat::Pdf : ReceiptFormat::Workbook, progress);
    if (pdf && r.pdfPath.isEmpty())
        return pdfNotMade(r.workbookPath, target);
    if (!deliver(pdf ? r.pdfPath : r.workbookPath, target)) {
        printError(QStringLiteral("Nu pot scrie ") + target);
        return 1;
    }
    if (pdf)
        std::fprintf(stderr, "PDF: %lld ms\n", static_cast<long long>(r.pdfMs));
    return 0;
}

int commandBalance(const CliContext &ctx, const QStringList &args)
{
    const std::optional<qint64> idab = idArg(args.value(0));
    if (args.size() != 1 || !idab)
        return usage(QStringLiteral("balance IDAB"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    readSubscriber(db, *idab);
    const BalanceTotals t = balanceOf(db, *idab, Clock::todayDayNumber());
    printCsvRow({QStringLiteral("DEBIT"), QStringLiteral("PENALITATI"), QStringLiteral("AVANS"), QStringLiteral("TOTAL")},
                {t.rest.toFixed(2), t.penalties.toFixed(2), t.advance.toFixed(2), t.total.toFixed(2)});
    return 0;
}

// The spread the collection dialog shows before saving, after the same refusals the
// recording makes; nothing is written and no number is taken.
int previewCollection(Database &db, CollectionDraft d)
{
    if (MaybeRefusal r = checkCollectionDraft(db, d))
        return refuse(*r);
    QList<QStringList> rows;
    for (const AllocationRow &r : previewAllocation(db, d.idab, d.amount, Clock::todayDayNumber()))
        if (r.touched())
            rows << QStringList{QString::number(r.iddeb), r.denum, r.resti.toFixed(2), r.penali.toFixed(2),
                                r.curenti.toFixed(2), r.sold.toFixed(2)};
    printCsvRows({QStringLiteral("IDDEB"), QStringLiteral("DENUM"), QStringLiteral("RESTANTA"), QStringLiteral("PENAL"),
                  QStringLiteral("CURENT"), QStringLiteral("SOLD")},
                 rows);
    return 0;
}

int commandCollect(const CliContext &ctx, const QStringList &arguments)
{
    QStringList args = arguments;
    const QString use = QStringLiteral("collect IDAB SUMA [--doc TIP] [--date zz.ll.aaaa] [--series S] [--number N] "
                                       "[--payer TEXT] [--for TEXT] [--receipt OUT.xls|OUT.pdf] [--dry-run]");
    Options o(args, {QStringLiteral("doc"), QStringLiteral("date"), QStringLiteral("series"), QStringLiteral("number"),
                     QStringLiteral("payer"), QStringLiteral("for"), QStringLiteral("receipt")},
              {QStringLiteral("dry-run")});
    const std::optional<qint64> idab = idArg(args.value(0));
    const std::optional<Money> amount = moneyArg(args.value(1));
    const std::optional<int> day = dayOption(o, QStringLiteral("date"));
    if (!o.ok() || args.size() != 2 || !idab || !amount || !day)
        return usage(use);
    const Session session = ctx.session();
    Database db(session.dataFolder);
    const CollectionProposal p = proposeCollection(db, *idab, Clock::todayDayNumber());
    CollectionDraft d;
    d.idab = *idab;
    d.docType = o.has(QStringLiteral("doc")) ? o.value(QStringLiteral("doc")).trimmed().toUpper() : QStringLiteral("CHITANTA");
    d.amount = *amount;
    d.day = *day;
    d.title = p.title;
    d.payer = o.has(QStringLiteral("payer")) ? o.value(QStringLiteral("payer")) : p.payer;
    d.purpose = o.has(QStringLiteral("for")) ? o.value(QStringLiteral("for")) : p.purpose;
    d.automaticNumber = !o.has(QStringLiteral("number"));
    if (!d.automaticNumber) {
        const std::optional<qint64> n = idArg(o.value(QStringLiteral("number")));
        if (!n)
            return usage(use);
        d.number = *n;
    }
    d.series = o.value(QStringLiteral("series"));
    if (d.automaticNumber && !documentTypeIsNumbered(d.docType) && !o.has(QStringLiteral("series")))
        d.series.clear();
    if (o.has(QStringLiteral("dry-run")))
        return previewCollection(db, d);
    const CollectionOutcome out = recordCollection(db, session, d);
    if (out.refusal)
        return refuse(*out.refusal);
    const RecordedCollection &r = out.recorded;
    printCsvRow({QStringLiteral("IDCHIT"), QStringLiteral("DOCJUS"), QStringLiteral("DOCSERIA"), QStringLiteral("DOCNR"),
                 QStringLiteral("INCASAT")},
                {QString::number(r.idchit), r.docType, r.series, QString::number(r.number), r.amount.toFixed(2)});
    if (o.has(QStringLiteral("receipt")))
        return writeReceipt(db, session, r.idchit, o.value(QStringLiteral("receipt")));
    return 0;
}

int commandCancel(const CliContext &ctx, const QStringList &args)
{
    const std::optional<qint64> idchit = idArg(args.value(0));
    if (args.size() != 1 || !idchit)
        return usage(QStringLiteral("cancel IDCHIT"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    const ResultSet doc = db.select(QStringLiteral("SELECT DOCJUS, DOCNR, DOCDATA, INCASAT FROM Chitante WHERE IDCHIT=?"), {*idchit});
    TerminalProgress progress;
    if (MaybeRefusal r = cancelCollection(db, session, *idchit, progress))
        return refuse(*r);
    // A receipt stays marked cancelled; every other document is gone with its lines.
    const bool kept = db.scalar(QStringLiteral("SELECT 1 FROM Chitante WHERE IDCHIT=?"), {*idchit}).isValid();
    printCsvRow({QStringLiteral("IDCHIT"), QStringLiteral("DOCJUS"), QStringLiteral("DOCNR"), QStringLiteral("DOCDATA"),
                 QStringLiteral("INCASAT"), QStringLiteral("STARE")},
                {QString::number(*idchit), doc.text(0, QStringLiteral("DOCJUS")),
                 QString::number(doc.integer(0, QStringLiteral("DOCNR"))), dayText(int(doc.integer(0, QStringLiteral("DOCDATA")))),
                 doc.money(0, QStringLiteral("INCASAT")).toFixed(2), kept ? QStringLiteral("ANULAT") : QStringLiteral("STERS")});
    return 0;
}

int commandReceipt(const CliContext &ctx, const QStringList &args)
{
    const std::optional<qint64> idchit = idArg(args.value(0));
    if (args.size() != 2 || !idchit)
        return usage(QStringLiteral("receipt IDCHIT OUT.xls|OUT.pdf"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    return writeReceipt(db, session, *idchit, args.value(1));
}

int commandDebit(const CliContext &ctx, const QStringList &arguments)
{
    QStringList args = arguments;
    const QString use = QStringLiteral("debit add IDAB IDCON [--date zz.ll.aaaa] [--amount SUMA] | debit delete IDDEB | "
                                       "debit change IDDEB SUMA [--downward]");
    Options o(args, {QStringLiteral("date"), QStringLiteral("amount")}, {QStringLiteral("downward")});
    if (!o.ok() || args.isEmpty())
        return usage(use);
    const QString verb = args.takeFirst();
    const Session session = ctx.session();
    Database db(session.dataFolder);
    if (verb == QLatin1String("add")) {
        const std::optional<qint64> idab = idArg(args.value(0));
        const std::optional<qint64> idcon = idArg(args.value(1));
        const std::optional<int> day = dayOption(o, QStringLiteral("date"));
        if (args.size() != 2 || !idab || !idcon || !day)
            return usage(use);
        Money amount;
        if (o.has(QStringLiteral("amount"))) {
            const std::optional<Money> m = moneyArg(o.value(QStringLiteral("amount")));
            if (!m)
                return usage(use);
            amount = *m;
        } else {
            const SubscriberRecord s = readSubscriber(db, *idab);
            const ResultSet acc = db.select(QStringLiteral("SELECT * FROM DefCont WHERE IDCON=?"), {*idcon});
            if (!acc.isEmpty())
                amount = proposedDebitAmount(AccountRecord::fromRow(acc, 0), s.persons);
        }
        const DebitOutcome r = addManualDebit(db, session, *idab, *idcon, *day, amount);
        if (r.refusal)
            return refuse(*r.refusal);
        printDebitRows(db.select(QStringLiteral("SELECT * FROM Debite WHERE IDDEB=?"), {r.iddeb}));
        return 0;
    }
    if (verb == QLatin1String("delete")) {
        const std::optional<qint64> iddeb = idArg(args.value(0));
        if (args.size() != 1 || !iddeb)
            return usage(use);
        if (MaybeRefusal r = deleteDebit(db, session, *iddeb))
            return refuse(*r);
        return 0;
    }
    if (verb == QLatin1String("change")) {
        const std::optional<qint64> iddeb = idArg(args.value(0));
        const std::optional<Money> amount = moneyArg(args.value(1));
        if (args.size() != 2 || !iddeb || !amount)
            return usage(use);
        const ChangeOutcome r = changeDebitAmount(db, session, *iddeb, *amount, o.has(QStringLiteral("downward")));
        if (r.refusal)
            return refuse(*r.refusal);
        QStringList marks;
        QVariantList ids;
        for (qint64 id : r.changed) {
            marks << QStringLiteral("?");
            ids << id;
        }
        printDebitRows(db.select(QStringLiteral("SELECT * FROM Debite WHERE IDDEB IN (") + marks.join(QLatin1Char(',')) +
                                     QStringLiteral(") ORDER BY DATADEB, IDDEB"),
                                 ids));
        return 0;
    }
    return usage(use);
}

int commandCash(const CliContext &ctx, const QStringList &arguments)
{
    QStringList args = arguments;
    const QString use = QStringLiteral("cash in|out SUMA --doc TIP [--series S] [--number N] [--date zz.ll.aaaa] [--for TEXT] | "
                                       "cash delete IDCHIT");
    Options o(args, {QStringLiteral("doc"), QStringLiteral("series"), QStringLiteral("number"), QStringLiteral("date"),
                     QStringLiteral("for")});
    if (!o.ok() || args.isEmpty())
        return usage(use);
    const QString verb = args.takeFirst();
    const Session session = ctx.session();
    Database db(session.dataFolder);
    if (verb == QLatin1String("delete")) {
        const std::optional<qint64> idchit = idArg(args.value(0));
        if (args.size() != 1 || !idchit)
            return usage(use);
        if (MaybeRefusal r = deleteCashEntry(db, session, *idchit))
            return refuse(*r);
        return 0;
    }
    if (verb != QLatin1String("in") && verb != QLatin1String("out"))
        return usage(use);
    const std::optional<Money> amount = moneyArg(args.value(0));
    const std::optional<int> day = dayOption(o, QStringLiteral("date"));
    if (args.size() != 1 || !amount || !day)
        return usage(use);
    CashEntry e;
    e.payment = verb == QLatin1String("out");
    e.amount = *amount;
    e.day = *day;
    e.docType = o.value(QStringLiteral("doc"));
    e.series = o.value(QStringLiteral("series"));
    e.purpose = o.value(QStringLiteral("for"));
    if (o.has(QStringLiteral("number"))) {
        const std::optional<qint64> n = idArg(o.value(QStringLiteral("number")));
        if (!n)
            return usage(use);
        e.number = *n;
    }
    const CashOutcome r = addCashEntry(db, session, e);
    if (r.refusal)
        return refuse(*r.refusal);
    printCsvRow({QStringLiteral("IDCHIT")}, {QString::number(r.idchit)});
    return 0;
}

int commandCashDay(const CliContext &ctx, const QStringList &args)
{
    const std::optional<QDate> d = parseDateText(args.value(0));
    if (args.size() != 1 || !d)
        return usage(QStringLiteral("cashday zz.ll.aaaa"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    const CashDay c = cashDay(db, dayNumberOf(*d));
    printCsvRow({QStringLiteral("SOLD_PRECEDENT"), QStringLiteral("INCASAT"), QStringLiteral("PLATIT"), QStringLiteral("SOLD_FINAL")},
                {c.previous.toFixed(2), c.in.toFixed(2), c.out.toFixed(2), c.final().toFixed(2)});
    return 0;
}

int commandCashBook(const CliContext &ctx, const QStringList &args)
{
    const std::optional<QDate> from = parseDateText(args.value(0));
    const std::optional<QDate> to = parseDateText(args.value(1));
    if (args.size() != 3 || !from || !to)
        return usage(QStringLiteral("cashbook zz.ll.aaaa zz.ll.aaaa OUT.xls"));
    if (*to < *from) {
        printError(QStringLiteral("Perioada incorecta!"));
        return 1;
    }
    const Session session = ctx.session();
    Database db(session.dataFolder);
    TerminalProgress progress;
    const QString path = printCashBook(db, session, dayNumberOf(*from), dayNumberOf(*to), progress);
    if (!deliver(path, args.value(2))) {
        printError(QStringLiteral("Nu pot scrie ") + args.value(2));
        return 1;
    }
    return 0;
}

int commandPenaltyFreeze(const CliContext &ctx, const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("penalty-freeze"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    TerminalProgress progress;
    const FreezeOutcome r = freezePenalties(db, session, progress);
    printCsvRow({QStringLiteral("IDCON"), QStringLiteral("DEBITE"), QStringLiteral("LISTA")},
                {QString::number(r.accountId), QString::number(r.settlementDebits), r.listPath});
    return 0;
}

int commandPenaltyRedate(const CliContext &ctx, const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("penalty-redate"));
    const Session session = ctx.session();
    Database db(session.dataFolder);
    TerminalProgress progress;
    const qint64 n = redatePenaltyStarts(db, session, progress);
    printCsvRow({QStringLiteral("DEBITE")}, {QString::number(n)});
    return 0;
}

const Registrar registrar({
    {QStringLiteral("balance"), QStringLiteral("balance IDAB"), commandBalance},
    {QStringLiteral("collect"),
     QStringLiteral("collect IDAB SUMA [--doc TIP] [--date D] [--series S] [--number N] [--payer T] [--for T] [--receipt OUT] "
                    "[--dry-run]"),
     commandCollect},
    {QStringLiteral("cancel"), QStringLiteral("cancel IDCHIT"), commandCancel},
    {QStringLiteral("receipt"), QStringLiteral("receipt IDCHIT OUT.xls|OUT.pdf"), commandReceipt},
    {QStringLiteral("debit"), QStringLiteral("debit add IDAB IDCON [--date D] [--amount X] | delete IDDEB | change IDDEB X [--downward]"),
     commandDebit},
    {QStringLiteral("cash"), QStringLiteral("cash in|out SUMA --doc TIP [...] | cash delete IDCHIT"), commandCash},
    {QStringLiteral("cashday"), QStringLiteral("cashday zz.ll.aaaa"), commandCashDay},
    {QStringLiteral("cashbook"), QStringLiteral("cashbook DE_LA PANA_LA OUT.xls"), commandCashBook},
    {QStringLiteral("penalty-freeze"), QStringLiteral("penalty-freeze"), commandPenaltyFreeze},
    {QStringLiteral("penalty-redate"), QStringLiteral("penalty-redate"), commandPenaltyRedate},
});

} // namespace

} // namespace vestronia::cli
