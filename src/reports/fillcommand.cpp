// The fill command of the command-line tool: a template of the administrator's own,
// filled by the same report writer as the program's reports, saved to a new file.

#include "reports/fillcommand.h"

#include "core/error.h"
#include "reports/reportwriter.h"
#include "store/database.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace vestronia {

const char *fillCommandUsage()
{
    return "fill SABLON.xls --sql \"SELECT ...\" [--set CHEIE=TEXT] [--num CHEIE=NUMAR] [--sheet N] IESIRE.xls";
}

namespace {

int usage(const QString &problem)
{
    std::fprintf(stderr, "vestronia-cli: %s\nfolosire: vestronia-cli %s\n", problem.toLocal8Bit().constData(),
                 fillCommandUsage());
    return 2;
}

} // namespace

int runFillCommand(const QStringList &args, Database &db)
{
    QStringList positional;
    QStringList queries;
    QList<std::pair<QString, QVariant>> keys;
    int sheet = 1;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool takesValue = a == QLatin1String("--sql") || a == QLatin1String("--set") || a == QLatin1String("--num")
            || a == QLatin1String("--sheet");
        if (takesValue && i + 1 >= args.size())
            return usage(QStringLiteral("lipseste valoarea pentru ") + a);
        if (a == QLatin1String("--sql")) {
            queries << args[++i];
        } else if (a == QLatin1String("--set") || a == QLatin1String("--num")) {
            const QString pair = args[++i];
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            if (eq <= 0)
                return usage(QStringLiteral("cheia trebuie scrisa CHEIE=VALOARE: ") + pair);
            const QString key = pair.left(eq);
            const QString value = pair.mid(eq + 1);
            if (a == QLatin1String("--num")) {
                bool ok = false;
                const double number = value.toDouble(&ok);
                if (!ok)
                    return usage(QStringLiteral("valoarea nu este un numar: ") + value);
                keys.append({key, QVariant(number)});
            } else {
                keys.append({key, QVariant(value)});
            }
        } else if (a == QLatin1String("--sheet")) {
            bool ok = false;
            sheet = args[++i].toInt(&ok);
            if (!ok || sheet < 1)
                return usage(QStringLiteral("numarul foii este gresit: ") + args[i]);
        } else if (a.startsWith(QLatin1String("--"))) {
            return usage(QStringLiteral("optiune necunoscuta: ") + a);
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2)
        return usage(QStringLiteral("trebuie date sablonul si fisierul de iesire"));
    const QString templatePath = positional[0];
    const QString outPath = QFileInfo(positional[1]).absoluteFilePath();
    if (!QFileInfo(templatePath).isFile())
        throw FileError(QStringLiteral("Sablonul %1 nu exista.").arg(QDir::toNativeSeparators(templatePath)));
    if (QFileInfo::exists(outPath))
        throw FileError(QStringLiteral("Fisierul %1 exista deja si nu va fi suprascris.").arg(QDir::toNativeSeparators(outPath)));

    // Run every query first, so a wrong statement leaves nothing half done.
    std::vector<ResultSet> results;
    for (const QString &sql : queries)
        results.push_back(db.select(sql));

    QTemporaryDir scratch;
    ReportWriter writer(scratch.path());
    writer.openTemplate(templatePath);
    writer.workbook().setActiveSheet(sheet);
    for (const auto &[key, value] : keys)
        writer.replaceKey(key, value);
    int filled = 0;
    for (const ResultSet &r : results) {
        if (writer.fillRows(r) == 0)
            std::fprintf(stderr, "vestronia-cli: sablonul nu mai are un rand marcat #DBF; interogarea a ramas nefolosita\n");
        else
            filled += r.rowCount();
    }
    writer.workbook().saveAs(outPath);
    std::fprintf(stderr, "%s: %d randuri completate\n", QDir::toNativeSeparators(outPath).toLocal8Bit().constData(), filled);
    return 0;
}

} // namespace vestronia
