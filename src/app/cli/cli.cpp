// vestronia-cli: the start-up sequence and the services of the program without windows,
// for administrators, scripts and tests. Prints errors in clear text and exits non-zero.

#include "app/cli/cli.h"

#include "backup/localbackup.h"
#include "backup/restoremark.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "startup/installation.h"
#include "store/fileops.h"
#include "store/folderlock.h"
#include "vestronia_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

// The version the programs show and store is the project's version.
static_assert(VESTRONIA_VERSION_TEN_THOUSANDTHS == vestronia::ProgramVersionTenThousandths);

namespace vestronia::cli {

Session CliContext::session() const
{
    Session s = sessionForInstallation(home, machine);
    // A large change's undo log spills into the installation's Temp folder, as in the
    // window program, not into the system's temporary folder.
    if (QFileInfo(s.tempFolder).isDir())
        fileops::setScratchFolder(QFile::encodeName(s.tempFolder).toStdString());
    return s;
}

std::vector<Command> &commands()
{
    static std::vector<Command> list;
    return list;
}

Registrar::Registrar(std::vector<Command> list)
{
    for (Command &c : list)
        commands().push_back(std::move(c));
}

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

void printError(const QString &text)
{
    std::fprintf(stderr, "vestronia-cli: %s\n", text.toLocal8Bit().constData());
}

QString flatMessage(const QString &text)
{
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return flat.simplified();
}

int pdfNotMade(const QString &workbook, const QString &target)
{
    const QFileInfo t(target);
    const QString sheet = t.absolutePath() + QLatin1Char('/') + t.completeBaseName() + QStringLiteral(".xls");
    QString text = QStringLiteral("Documentul PDF nu a putut fi facut: LibreOffice (soffice) lipseste sau a esuat.");
    QFile::remove(sheet);
    if (QFileInfo(workbook).isFile() && QFile::copy(workbook, sheet))
        text += QStringLiteral(" Foaia de calcul este in ") + QDir::toNativeSeparators(sheet);
    printError(text);
    return 1;
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

void printCsv(const ResultSet &rows)
{
    out() << rows.columns().join(QLatin1Char(',')) << '\n';
    const QStringList &types = rows.declaredTypes();
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < rows.columnCount(); ++c)
            fields << csvField(rows.value(r, c), types.value(c));
        out() << fields.join(QLatin1Char(',')) << '\n';
    }
    out().flush();
}

void printCsvRow(const QStringList &header, const QStringList &values)
{
    QStringList fields;
    for (const QString &v : values)
        fields << csvField(v);
    out() << header.join(QLatin1Char(',')) << '\n' << fields.join(QLatin1Char(',')) << '\n';
    out().flush();
}

Options::Options(QStringList &args, const QStringList &names, const QStringList &flags)
{
    QStringList rest;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            rest << a;
            continue;
        }
        const QString name = a.mid(2);
        if (flags.contains(name)) {
            m_names << name;
            m_values << QString();
        } else if (names.contains(name)) {
            if (i + 1 >= args.size()) {
                m_error = QStringLiteral("optiunea %1 cere o valoare").arg(a);
                break;
            }
            m_names << name;
            m_values << args[++i];
        } else {
            m_error = QStringLiteral("optiune necunoscuta: ") + a;
            break;
        }
    }
    args = rest;
}

bool Options::has(const QString &name) const
{
    return m_names.contains(name);
}

QString Options::value(const QString &name) const
{
    const int i = int(m_names.indexOf(name));
    return i < 0 ? QString() : m_values[i];
}

int usage(const QString &text)
{
    printError(QStringLiteral("folosire: vestronia-cli ") + text);
    return 2;
}

namespace {

void printUsage()
{
    std::fprintf(stderr, "folosire: vestronia-cli [--home DOSAR] [--today zz.ll.aaaa] COMANDA ...\ncomenzi:\n");
    for (const Command &c : commands())
        std::fprintf(stderr, "  %s\n", c.usage.toLocal8Bit().constData());
}

} // namespace

} // namespace vestronia::cli

int main(int argc, char **argv)
{
    using namespace vestronia;
    using namespace vestronia::cli;
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
        } else if (option == QLatin1String("--version")) {
            std::printf("vestronia-cli %s\n", VESTRONIA_VERSION);
            return 0;
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
    // A wait for another workstation is said once, so a script's log shows why it paused.
    setWriterWaitHandler([](bool waiting, int) {
        static bool told = false;
        if (waiting && !told)
            std::fprintf(stderr, "Alt calculator scrie in date... astept.\n");
        told = waiting;
    });
    ctx.home = installationHome(home);
    ctx.machine = machineFolder();
    const QString name = args.takeFirst();
    for (const Command &c : commands()) {
        if (name != c.name)
            continue;
        try {
            // A restore that died part-way is settled before any command reads the folder.
            try {
                // The network folder first: a restore killed there moved tables away, and
                // the session would take the local folder for it.
                const QString network = configuredNetworkFolder(ctx.home);
                for (const QString &folder : {network, ctx.session().dataFolder}) {
                    const QString told = folder.isEmpty() ? QString() : settleInterruptedRestore(folder);
                    if (!told.isEmpty())
                        printError(flatMessage(told));
                }
            } catch (const BackupError &e) {
                printError(flatMessage(e.message()) + (e.detail().isEmpty() ? QString() : QLatin1Char(' ') + flatMessage(e.detail())));
                return 1;
            }
            return c.run(ctx, args);
        } catch (const VestroniaError &e) {
            printError(flatMessage(e.message()));
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
