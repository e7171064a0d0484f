// The import of the agricultural register from the command line: the same service as
// the subscriber screen, with the answers of its questions given as arguments.

#include "app/cli/cli.h"

#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "core/terminalprogress.h"
#include "import/agriculturalbackup.h"
#include "import/householdimport.h"
#include "import/importerror.h"
#include "store/database.h"

#include <QFileInfo>

namespace vestronia::cli {

namespace {

const QString ImportUsage = QStringLiteral("import FISIER.rg3 --start zz.LL.aaaa");

// import FILE.rg3 --start dd.MM.yyyy: prints the counts as CSV when the register was made.
int commandImport(const CliContext &ctx, const QStringList &arguments)
{
    QStringList args = arguments;
    const Options options(args, {QStringLiteral("start")});
    if (!options.ok() || args.size() != 1 || !options.has(QStringLiteral("start")))
        return usage(ImportUsage);
    const std::optional<QDate> start = parseDateText(options.value(QStringLiteral("start")));
    if (!start) {
        printError(QStringLiteral("Data de inceput nu este o data zz.LL.aaaa: ") + options.value(QStringLiteral("start")));
        return 2;
    }
    const Session session = ctx.session();
    TerminalProgress progress;
    try {
        Database db(session.dataFolder);
        const AgriculturalBackup backup(session, QFileInfo(args.first()).absoluteFilePath(), progress);
        const ImportResult r = importHouseholds(db, session, backup, dayNumberOf(*start), progress);
        printCsvRow({QStringLiteral("GOSPODARII"), QStringLiteral("ABONATI"), QStringLiteral("ABONAMENTE"),
                     QStringLiteral("DEBITE")},
                    {QString::number(r.households), QString::number(r.subscribers), QString::number(r.subscriptions),
                     QString::number(r.debits)});
        std::fprintf(stderr, "%s\n",
                     QStringLiteral("Preluare date Reg.Agricol: Abonatii au fost adaugati cu succes!").toLocal8Bit().constData());
        return 0;
    } catch (const ImportError &e) {
        printError(e.title() + QStringLiteral(": ") + flatMessage(e.message()));
    } catch (const VestroniaError &e) {
        printError(QStringLiteral("Preluare date Reg.Agr.: ") + flatMessage(e.message()));
    }
    return 1;
}

const Registrar registrar({
    {QStringLiteral("import"),
     QStringLiteral("import FISIER.rg3 --start zz.LL.aaaa   creeaza abonatii dintr-o salvare a Registrului Agricol"),
     commandImport},
});

} // namespace

} // namespace vestronia::cli
