// vestronia-cli: the start-up sequence and the services of the program without windows,
// for administrators, scripts and tests. Prints errors in clear text and exits non-zero.

#include "backup/localbackup.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "core/terminalprogress.h"
#include "core/workfiles.h"
#include "reports/fillcommand.h"
#include "startup/installation.h"
#include "startup/startupsequence.h"
#include "store/changelog.h"
#include "store/database.h"

#if __has_include("ledger/monthlydebiting.h")
#include "ledger/monthlydebiting.h"
#define VESTRONIA_HAS_DEBITING 1
#endif

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <functional>

using namespace vestronia;

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

void printError(const QString &text)
{
    std::fprintf(stderr, "vestronia-cli: %s\n", text.toLocal8Bit().constData());
}

struct CliContext
{
    QString home;
    QString machine;
    Session session() const { return sessionForInstallation(home, machine); }
};

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
        QString flat = text;
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), flat.simplified().toLocal8Bit().constData());
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
    addLog(db, session, QStringLiteral("Pornire program"));
#ifdef VESTRONIA_HAS_DEBITING
    runMonthlyDebiting(db, session, host.progress());
#endif
    addLog(db, session, QStringLiteral("Inchidere Program."));
    std::fprintf(stderr, "%s\n", session.workingModeText().toLocal8Bit().constData());
    // The folders stay for the next command; only an opened backup's copy goes.
    if (session.isBackupMode())
        deleteFolder(session.programFolder);
    return 0;
}

QString csvField(const QVariant &value, const QString &declaredType)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (declaredType.compare(QLatin1String("DATE"), Qt::CaseInsensitive) == 0)
        return dayText(value.toInt());
    if (value.metaType().id() == QMetaType::Double)
        return QString::number(value.toDouble(), 'f', 2);
    QString text = value.toString();
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
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
    const ResultSet rows = db.select(statement);
    out() << rows.columns().join(QLatin1Char(',')) << '\n';
    const QStringList &types = rows.declaredTypes();
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < rows.columnCount(); ++c)
            fields << csvField(rows.value(r, c), types.value(c));
        out() << fields.join(QLatin1Char(',')) << '\n';
    }
    out().flush();
    return 0;
}

// Fills an administrator's own template from queries on the data folder.
int commandFill(const CliContext &ctx, const QStringList &args)
{
    const Session session = ctx.session();
    Database db(session.dataFolder);
    return runFillCommand(args, db);
}

// The program's messages keep "\r" as their line break; one line on the terminal.
QString flatMessage(const QString &text)
{
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return flat.simplified();
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

struct Command
{
    const char *name;
    const char *usage;
    std::function<int(const CliContext &, const QStringList &)> run;
};

const std::vector<Command> &commands()
{
    static const std::vector<Command> list = {
        {"startup", "startup [FISIER.vrn]   secventa de pornire (tabele, actualizare, debitare lunara)", commandStartup},
        {"sql", "sql \"INSTRUCTIUNE\"       ruleaza SQL pe dosarul de date (SELECT afiseaza CSV)", commandSql},
        {"backup", "backup FISIER.vrn        salveaza dosarul de date intr-o arhiva", commandBackup},
        {"restore", "restore FISIER.vrn       inlocuieste dosarul de date cu continutul arhivei", commandRestore},
        {"fill", "fill SABLON.xls --sql \"SELECT ...\" [--set CHEIE=TEXT] [--num CHEIE=NR] IESIRE.xls   completeaza un sablon",
         commandFill},
    };
    return list;
}

void printUsage()
{
    std::fprintf(stderr, "folosire: vestronia-cli [--home DOSAR] [--today zz.ll.aaaa] COMANDA ...\ncomenzi:\n");
    for (const Command &c : commands())
        std::fprintf(stderr, "  %s\n", c.usage);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vestronia"));
    QStringList args = app.arguments().mid(1);
    CliContext ctx;
    QString home;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--home") && !args.isEmpty()) {
            home = args.takeFirst();
        } else if (option == QLatin1String("--today") && !args.isEmpty()) {
            const auto date = parseDateText(args.takeFirst());
            if (!date) {
                printError(QStringLiteral("data de la --today trebuie scrisa zz.ll.aaaa"));
                return 2;
            }
            Clock::setToday(*date);
        } else if (option == QLatin1String("--help")) {
            printUsage();
            return 0;
        } else {
            printError(QStringLiteral("optiune necunoscuta: ") + option);
            printUsage();
            return 2;
        }
    }
    if (args.isEmpty()) {
        printUsage();
        return 2;
    }
    ctx.home = installationHome(home);
    ctx.machine = machineFolder();
    const QString name = args.takeFirst();
    for (const Command &c : commands()) {
        if (name != QLatin1String(c.name))
            continue;
        try {
            return c.run(ctx, args);
        } catch (const VestroniaError &e) {
            printError(e.message());
            return 1;
        } catch (const std::exception &e) {
            printError(QString::fromLocal8Bit(e.what()));
            return 1;
        }
    }
    printError(QStringLiteral("comanda necunoscuta: ") + name);
    printUsage();
    return 2;
}
