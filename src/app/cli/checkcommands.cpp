// "check": the data folder's damaged records and broken relations as CSV, exit 1 when
// there is any (for scripts and for the administrator before a backup).

#include "app/cli/cli.h"

#include "core/error.h"
#include "core/terminalprogress.h"
#include "startup/datacheck.h"

namespace vestronia::cli {

namespace {

// Bytes as a terminal can show them: printable ASCII as it is, the rest as \xHH.
QString shownBytes(const QByteArray &bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\')
            out += QLatin1Char(char(b));
        else
            out += QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return out;
}

int commandCheck(const CliContext &ctx, const QStringList &args)
{
    if (!args.isEmpty()) {
        printError(QStringLiteral("folosire: vestronia-cli check"));
        return 2;
    }
    const Session session = ctx.session();
    DataCheckReport report;
    try {
        TerminalProgress progress;
        progress.setText(QStringLiteral("Verific datele..."));
        report = checkDataFolder(session.dataFolder, progress);
    } catch (const VestroniaError &e) {
        printError(flatMessage(e.message()));
        return 1;
    }
    const QStringList header = {QStringLiteral("TABEL"), QStringLiteral("INREGISTRARE"), QStringLiteral("CAMP"),
                                QStringLiteral("OCTETI"), QStringLiteral("PROBLEMA")};
    out() << header.join(QLatin1Char(',')) << '\n';
    for (const DataProblem &p : report.problems)
        out() << QStringList{csvField(p.table), csvField(p.record), csvField(p.field), csvField(shownBytes(p.bytes)),
                             csvField(flatMessage(p.text))}
                     .join(QLatin1Char(','))
              << '\n';
    out().flush();
    if (report.notListed > 0)
        printError(QStringLiteral("si inca %1 probleme nelistate").arg(report.notListed));
    if (report.clean()) {
        printError(QStringLiteral("%1 inregistrari verificate, nicio problema.").arg(report.recordsRead));
        return 0;
    }
    printError(QStringLiteral("%1 inregistrari verificate, %2 probleme.")
                   .arg(report.recordsRead)
                   .arg(report.problems.size() + report.notListed));
    return 1;
}

const Registrar registrar({
    {QStringLiteral("check"), QStringLiteral("check                    verifica tabelele: inregistrari deteriorate, identificatori dublati, legaturi rupte"),
     commandCheck},
});

} // namespace

} // namespace vestronia::cli
