// The reports on the command line: the six items of the reports menu and the statement
// of account, written to the file asked for (.xls as filled, .pdf through LibreOffice).

#include "app/cli/cli.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/profilefile.h"
#include "core/terminalprogress.h"
#include "reports/accountstatement.h"
#include "reports/listreports.h"
#include "reports/reportwriter.h"
#include "reports/summaries.h"
#include "reports/yearbalance.h"

#include <QFile>
#include <QFileInfo>

namespace vestronia::cli {

namespace {

const QString ReportUsage = QStringLiteral(
    "report rap1|bordinc|bilant|cenins|censom|chitan [--from zz.ll.aaaa --to zz.ll.aaaa] "
    "[--year AAAA] IESIRE.xls|IESIRE.pdf\n"
    "          report fisa IDAB [--from zz.ll.aaaa] IESIRE.xls|IESIRE.pdf");

std::optional<int> dateOption(const Options &o, const QString &name, int otherwise)
{
    if (!o.has(name))
        return otherwise;
    const std::optional<QDate> d = parseDateText(o.value(name));
    if (!d)
        return std::nullopt;
    return dayNumberOf(*d);
}

// The saved workbook (or its PDF) copied to the target; the TEMP copies go.
int deliver(const QString &workbook, const QString &target, const QString &tempFolder)
{
    const bool pdf = target.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    QString from = workbook;
    if (pdf) {
        from = ReportWriter(tempFolder).exportPdf(workbook);
        if (from.isEmpty()) {
            const int code = pdfNotMade(workbook, target);
            QFile::remove(workbook);
            return code;
        }
    }
    QFile::remove(target);
    const bool copied = QFile::copy(from, target);
    QFile::remove(workbook);
    if (pdf)
        QFile::remove(from);
    if (!copied) {
        printError(QStringLiteral("Nu pot scrie ") + target);
        return 1;
    }
    return 0;
}

int commandReport(const CliContext &ctx, const QStringList &arguments)
{
    QStringList args = arguments;
    const Options o(args, {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("year")});
    if (!o.ok()) {
        printError(o.error());
        return usage(ReportUsage);
    }
    const QString kind = args.value(0).toLower();
    const bool statement = kind == QLatin1String("fisa");
    if (args.size() != (statement ? 3 : 2))
        return usage(ReportUsage);
    const QString target = QFileInfo(args.last()).absoluteFilePath();
    if (!target.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive) && !target.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return usage(ReportUsage);

    const int today = Clock::todayDayNumber();
    // Without a period: the last six months, as the period picker starts.
    const std::optional<int> from = dateOption(o, QStringLiteral("from"), dayNumberOf(Clock::today().addMonths(-6)));
    const std::optional<int> to = dateOption(o, QStringLiteral("to"), today);
    if (!from || !to) {
        printError(QStringLiteral("datele de la --from si --to se scriu zz.ll.aaaa"));
        return 2;
    }
    const ReportPeriod period{*from, *to};

    const Session session = ctx.session();
    Database db(session.dataFolder);
    const QString unit = ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("UNITATE"));
    TerminalProgress progress;
    ReportOutcome out;
    if (kind == QLatin1String("rap1")) {
        out = subscriberListReport(db, session.tempFolder, today);
    } else if (kind == QLatin1String("bordinc") || kind == QLatin1String("cenins") || kind == QLatin1String("censom")) {
        if (period.to < period.from) {
            printError(QStringLiteral("Perioada incorecta!"));
            return 1;
        }
        if (kind == QLatin1String("bordinc"))
            out = collectionListReport(db, session.tempFolder, unit, period);
        else
            out = followUpSummaryReport(db, session.tempFolder, unit,
                                        kind == QLatin1String("cenins") ? FollowUpKind::Notices : FollowUpKind::Summons, period);
    } else if (kind == QLatin1String("bilant")) {
        out = yearBalanceReport(db, session.tempFolder, unit, progress);
    } else if (kind == QLatin1String("chitan")) {
        // The picker offers the years of paid debits, the newest chosen first.
        QString year = o.value(QStringLiteral("year"));
        if (!o.has(QStringLiteral("year")))
            year = collectionYearsOffered(db).value(0);
        bool ok = false;
        const int y = year.toInt(&ok);
        if (!ok || y < 1900 || y > 9998) {
            printError(QStringLiteral("Nu ati ales niciun an!"));
            return 1;
        }
        out = collectionsByYearReport(db, session.tempFolder, y, progress);
    } else if (statement) {
        bool ok = false;
        const qint64 idab = args.value(1).toLongLong(&ok);
        if (!ok)
            return usage(ReportUsage);
        out = accountStatementReport(db, session.tempFolder, unit, idab, o.has(QStringLiteral("from")) ? *from : 0, today);
    } else {
        return usage(ReportUsage);
    }
    if (!out.ok()) {
        printError(out.title + QStringLiteral(": ") + flatMessage(out.refusal));
        return 1;
    }
    return deliver(out.path, target, session.tempFolder);
}

const Registrar registrar({
    {QStringLiteral("report"),
     QStringLiteral("report rap1|bordinc|bilant|cenins|censom|chitan|fisa [IDAB] [--from Z --to Z] [--year AAAA] "
                    "IESIRE.xls|.pdf   rapoarte"),
     commandReport},
});

} // namespace

} // namespace vestronia::cli
