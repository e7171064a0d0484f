// The commands of the foundation: start-up, SQL, filling a template, backup and restore.

#include "app/cli/cli.h"

#include "backup/localbackup.h"
#include "core/error.h"
#include "core/session.h"
#include "core/terminalprogress.h"
#include "core/workfiles.h"
#include "ledger/monthlydebiting.h"
#include "reports/fillcommand.h"
#include "startup/startupsequence.h"
#include "store/changelog.h"
#include "store/database.h"
#include "store/folderlock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace vestronia::cli {

namespace {

// The start-up sequence on the terminal: messages go to standard error.
class TerminalHost final : public StartupHost
{
public:
    void setStatus(const QString &text) override
    {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    void message(const QString &title, const QString &text, MessageKind) override
    {
        std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), flatMessage(text).toLocal8Bit().constData());
    }
    Progress &progress() override { return m_progress; }

private:
    TerminalProgress m_progress;
};

int commandStartup(const CliContext &ctx, const QStringList &args)
{
    Session &session = currentSession();
    TerminalHost host;
    StartupOptions options;
    options.programFolder = ctx.home;
    options.machineFolder = ctx.machine;
    options.backupFile = args.value(0);
    options.programPath = QCoreApplication::applicationFilePath();
    StartupSequence sequence(session, options, host);
    const StartupOutcome outcome = sequence.run();
    if (outcome == StartupOutcome::HandedToUpdate)
        return 0;
    if (outcome == StartupOutcome::Abort) {
        shutdownCleanup(session);
        return 1;
    }
    Database &db = sequence.database();
    if (locksAreLocalOnly(session.dataFolder))
        std::fprintf(stderr, "Atentie: dosarul de date %s este pe o unitate de retea care nu arata blocarile "
                             "celorlalte calculatoare; lucrati pe el de pe un singur calculator.\n",
                     session.dataFolder.toLocal8Bit().constData());
    addLog(db, session, QStringLiteral("Pornire program"));
    runMonthlyDebiting(db, session, host.progress());
    addLog(db, session, QStringLiteral("Inchidere Program."));
    std::fprintf(stderr, "%s\n", session.workingModeText().toLocal8Bit().constData());
    // The folders stay for the next command; only an opened backup's copy goes.
    if (session.isBackupMode())
        deleteFolder(session.programFolder);
    return 0;
}

int commandSql(const CliContext &ctx, const QStringList &args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("folosire: vestronia-cli sql \"INSTRUCTIUNE SQL\""));
        return 2;
    }
    const Session session = ctx.session();
    Database db(session.dataFolder);
    const QString statement = args.first().trimmed();
    const bool returnsRows = statement.startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive) ||
                             statement.startsWith(QLatin1String("WITH"), Qt::CaseInsensitive) ||
                             statement.startsWith(QLatin1String("VALUES"), Qt::CaseInsensitive);
    if (!returnsRows) {
        const qint64 changed = db.exec(statement);
        std::fprintf(stderr, "%lld randuri modificate\n", static_cast<long long>(changed));
        return 0;
    }
    printCsv(db.select(statement));
    return 0;
}

// Fills an administrator's own template from queries on the data folder.
int commandFill(const CliContext &ctx, const QStringList &args)
{
    const Session session = ctx.session();
    Database db(session.dataFolder);
    return runFillCommand(args, db);
}

int reportBackupError(const BackupError &e)
{
    printError(e.title() + QStringLiteral(": ") + flatMessage(e.message())
               + (e.detail().isEmpty() ? QString() : QStringLiteral(" (") + e.detail() + QLatin1Char(')')));
    return 1;
}

// backup FILE: packs the data folder as "Salveaza o copie a datelor" does.
int commandBackup(const CliContext &ctx, const QStringList &args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("folosire: vestronia-cli backup FISIER.vrn"));
        return 2;
    }
    const Session session = ctx.session();
    const QString path = QFileInfo(args.first()).absoluteFilePath();
    if (isDataFolderPath(session, QFileInfo(path).absolutePath())) {
        printError(QStringLiteral("Salvare date: Nu puteti salva aici!"));
        return 1;
    }
    TerminalProgress progress;
    try {
        packDataFolder(session, path, progress);
    } catch (const BackupError &e) {
        return reportBackupError(e);
    }
    std::fprintf(stderr, "Salvare incheiata cu succes !\n");
    return 0;
}

// restore FILE: replaces the data folder as "Incarca o salvare anterioara" does.
int commandRestore(const CliContext &ctx, const QStringList &args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("folosire: vestronia-cli restore FISIER.vrn"));
        return 2;
    }
    const Session session = ctx.session();
    TerminalProgress progress;
    try {
        restoreFromArchive(session, QFileInfo(args.first()).absoluteFilePath(), progress);
    } catch (const BackupError &e) {
        return reportBackupError(e);
    }
    std::fprintf(stderr, "Restaurare incheiata cu succes !\n");
    return 0;
}

const Registrar registrar({
    {QStringLiteral("startup"), QStringLiteral("startup [FISIER.vrn]   secventa de pornire (tabele, actualizare, debitare lunara)"),
     commandStartup},
    {QStringLiteral("sql"), QStringLiteral("sql \"INSTRUCTIUNE\"       ruleaza SQL pe dosarul de date (SELECT afiseaza CSV)"),
     commandSql},
    {QStringLiteral("backup"), QStringLiteral("backup FISIER.vrn        salveaza dosarul de date intr-o arhiva"), commandBackup},
    {QStringLiteral("restore"), QStringLiteral("restore FISIER.vrn       inlocuieste dosarul de date cu continutul arhivei"),
     commandRestore},
    {QStringLiteral("fill"),
     QStringLiteral("fill SABLON.xls --sql \"SELECT ...\" [--set CHEIE=TEXT] [--num CHEIE=NR] IESIRE.xls   completeaza un sablon"),
     commandFill},
});

} // namespace

} // namespace vestronia::cli
