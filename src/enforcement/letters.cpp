// The letters of enforcement acts over the RTF engine: keys from the stored act (the
// snapshot of the day of issue) and the unit settings, one file per letter or one file
// for a whole batch.

#include "enforcement/letters.h"

#include "core/dates.h"
#include "core/money.h"
#include "core/session.h"
#include "core/text.h"
#include "core/workfiles.h"
#include "enforcement/rtfreplace.h"
#include "store/database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vestronia {

QString letterTemplateName(const QString &actType)
{
    return actType == QStringLiteral("Instiintare de plata") ? QStringLiteral("Instiintare.rtf")
                                                             : QStringLiteral("SomTit.rtf");
}

QString letterTemplatePath(const Session &session, const QString &actType)
{
    return findFileNoCase(session.dataFolder, letterTemplateName(actType));
}

std::string rtfValue(const QString &value)
{
    std::string out;
    QString run;
    auto flush = [&] {
        if (!run.isEmpty()) {
            const QByteArray bytes = toCp1250(run);
            out += rtf::prepareValue(std::string_view(bytes.constData(), std::size_t(bytes.size())));
            run.clear();
        }
    };
    for (const QChar c : value) {
        if (c.unicode() < 0x80 || fitsCp1250(QString(c))) {
            run += c;
            continue;
        }
        flush();
        // RTF takes a signed 16-bit code; "?" is what a reader without Unicode shows.
        out += "\\u" + std::to_string(static_cast<qint16>(c.unicode())) + "?";
    }
    flush();
    return out;
}

std::vector<std::pair<QString, QString>> actLetterKeys(const ResultSet &act, int row, const LetterUnit &unit)
{
    auto text = [&](const char *field) { return act.text(row, QLatin1String(field)); };
    // A contract without a date prints as dots, not as the first day of the calendar.
    const int contractDay = int(act.integer(row, QStringLiteral("DATACON")));
    const QVariant actDay = act.value(row, QStringLiteral("UDATA"));
    const int udata = actDay.isValid() ? actDay.toInt() : 0;
    return {
        {QStringLiteral("[JUDET]"), unit.county},
        {QStringLiteral("[UNITATE]"), unit.unit},
        {QStringLiteral("[UDATA]"), isDateSet(udata) ? dayText(udata) : QString()},
        {QStringLiteral("[UNR]"), text("UNR")},
        {QStringLiteral("[LOCALIT]"), unit.locality},
        {QStringLiteral("[NUME]"), text("NUME")},
        {QStringLiteral("[LOC]"), text("LOC")},
        {QStringLiteral("[STRADA]"), text("STRADA")},
        {QStringLiteral("[NR]"), text("NR")},
        {QStringLiteral("[CNP]"), text("CNP")},
        {QStringLiteral("[NRCON]"), text("NRCON")},
        {QStringLiteral("[DATACON]"), isDateSet(contractDay) ? dayText(contractDay) : QString()},
        {QStringLiteral("[DEBIT]"), act.money(row, QStringLiteral("DEBIT")).toString()},
        {QStringLiteral("[PEN]"), act.money(row, QStringLiteral("PENAL")).toString()},
        {QStringLiteral("[TOTAL]"), act.money(row, QStringLiteral("TOTAL")).toString()},
    };
}

void writeLetters(const QString &templatePath, const QString &outPath, const ResultSet &acts,
                  const std::vector<int> &rows, const LetterUnit &unit)
{
    if (outPath.isEmpty())
        throw LetterError(QStringLiteral("Nu gasesc un nume liber pentru scrisoare in dosarul TEMP!"));
    rtf::RtfReplace engine;
    engine.setSource(QFile::encodeName(templatePath).toStdString());
    engine.setDestination(QFile::encodeName(outPath).toStdString());
    if (!engine.startDocument())
        throw LetterError(QStringLiteral("Modelul scrisorii %1 lipseste, este gol sau nu poate fi citit!\r"
                                         "Refaceti modelul initial din Administrare.")
                              .arg(QDir::toNativeSeparators(templatePath)));
    try {
        bool first = true;
        for (int row : rows) {
            for (const auto &[key, value] : actLetterKeys(acts, row, unit))
                engine.addPreparedReplacement(key.toStdString(), rtfValue(value));
            engine.writeBody(1, !first);
            first = false;
        }
        engine.endDocument();
    } catch (const rtf::RtfError &e) {
        QFile::remove(outPath);
        throw LetterError(QString::fromUtf8(e.what()));
    }
}

QString writeActLetter(Database &db, const Session &session, qint64 idurm, const LetterUnit &unit, const QString &outPath)
{
    const ResultSet act = db.select(QStringLiteral("SELECT * FROM Urmarire WHERE IDURM=?"), {idurm});
    if (act.isEmpty())
        throw VestroniaError(QStringLiteral("\rActul %1 nu mai exista!").arg(idurm));
    const QString path = outPath.isEmpty() ? newWorkFile(session.tempFolder, QStringLiteral("Executare"), QStringLiteral(".rtf"))
                                           : outPath;
    writeLetters(letterTemplatePath(session, act.text(0, QStringLiteral("TIPACT"))), path, act, {0}, unit);
    return path;
}

} // namespace vestronia
