// Load and save rules of the administration settings, the administrator password and the
// two folder settings. Every value is read from and written to its settings file at
// once; nothing is cached apart from the struct the window edits.

#include "startup/adminsettings.h"

#include "backup/codeazastr.h"
#include "backup/localbackup.h"
#include "core/counters.h"
#include "core/profilefile.h"
#include "core/tablecatalogue.h"
#include "core/text.h"
#include "core/workfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace vestronia {

namespace {

const QString Const = QStringLiteral("CONST");
const QString Machine = QString::number(ProductNumber);

// The form a value takes once it has been through a settings file: surrounding blanks
// and one pair of surrounding quotes go, and characters without a code page 1250 form
// come back as '?'. The password comparison is made on this form, so an encoding that
// happens to start with a blank or a quote still matches what was stored.
QString storedForm(const QString &value)
{
    QString v = value.trimmed();
    if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
        v = v.mid(1, v.size() - 2);
    return fromCp1250(toCp1250(v));
}

bool tryBackupFolder(const QString &folder)
{
    return QDir().mkpath(folder) && canWriteInFolder(folder);
}

} // namespace

bool AdminSettings::automaticBackupFolderExists() const
{
    const QString f = backupFolder.trimmed();
    return f.size() >= 2 && QFileInfo(f).isDir();
}

AdminSettings &adminSettings()
{
    static AdminSettings settings;
    return settings;
}

const QStringList &countyNames()
{
    static const QStringList names = {
        QStringLiteral("ALBA"),      QStringLiteral("ARAD"),           QStringLiteral("ARGES"),
        QStringLiteral("BACAU"),     QStringLiteral("BIHOR"),          QStringLiteral("BISTRITA-NASAUD"),
        QStringLiteral("BOTOSANI"),  QStringLiteral("BRASOV"),         QStringLiteral("BRAILA"),
        QStringLiteral("BUZAU"),     QStringLiteral("CARAS-SEVERIN"),  QStringLiteral("CALARASI"),
        QStringLiteral("CLUJ"),      QStringLiteral("CONSTANTA"),      QStringLiteral("COVASNA"),
        QStringLiteral("DAMBOVITA"), QStringLiteral("DOLJ"),           QStringLiteral("GALATI"),
        QStringLiteral("GIURGIU"),   QStringLiteral("GORJ"),           QStringLiteral("HARGHITA"),
        QStringLiteral("HUNEDOARA"), QStringLiteral("IALOMITA"),       QStringLiteral("IASI"),
        QStringLiteral("ILFOV"),     QStringLiteral("MARAMURES"),      QStringLiteral("MEHEDINTI"),
        QStringLiteral("MURES"),     QStringLiteral("NEAMT"),          QStringLiteral("OLT"),
        QStringLiteral("PRAHOVA"),   QStringLiteral("SATU-MARE"),      QStringLiteral("SALAJ"),
        QStringLiteral("SIBIU"),     QStringLiteral("SUCEAVA"),        QStringLiteral("TELEORMAN"),
        QStringLiteral("TIMIS"),     QStringLiteral("TULCEA"),         QStringLiteral("VASLUI"),
        QStringLiteral("VALCEA"),    QStringLiteral("VRANCEA"),        QStringLiteral("BUCURESTI"),
    };
    return names;
}

QStringList defaultBackupFolderCandidates()
{
    QStringList out;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty())
        out << QDir(documents).filePath(QStringLiteral("Salvari_Date"));
    const QString home = QDir::homePath();
    if (!home.isEmpty() && !out.contains(QDir(home).filePath(QStringLiteral("Salvari_Date"))))
        out << QDir(home).filePath(QStringLiteral("Salvari_Date"));
    return out;
}

void loadAdminSettings(const Session &session, AdminSettings &settings, const QStringList &backupCandidates)
{
    const QString machine = session.machineSettings();
    QString backup = ProfileFile::readText(machine, Machine, QStringLiteral("CALESALVARI"));
    if (backup.isEmpty()) {
        backup = QStringLiteral("-");
        for (const QString &candidate : backupCandidates) {
            if (tryBackupFolder(candidate)) {
                backup = QDir::toNativeSeparators(candidate);
                try {
                    ProfileFile::writeText(machine, Machine, QStringLiteral("CALESALVARI"), backup);
                } catch (const FileError &) {
                    // A machine settings file that cannot be written only means the
                    // default is worked out again at the next start.
                }
                break;
            }
        }
    }
    settings.backupFolder = backup;

    const QString server = ProfileFile::readText(session.localSettings(), Const, QStringLiteral("SERVER"));
    settings.serverPath = server.isEmpty() ? QStringLiteral("-") : server;

    const QString shared = session.sharedSettings();
    settings.locality = ProfileFile::readText(shared, Const, QStringLiteral("LOCALIT"));
    const qint64 county = ProfileFile::readNumber(shared, Const, QStringLiteral("JUDET"));
    settings.county = county >= 0 && county < countyNames().size() ? int(county) : 0;
    settings.unitName = ProfileFile::readText(shared, Const, QStringLiteral("UNITATE"));
    settings.receiptPdf = ProfileFile::readText(shared, Const, QStringLiteral("CHITPDF")) == QLatin1String("DA");
}

AdminNumbers readAdminNumbers(const Session &session)
{
    AdminNumbers n;
    const QString shared = session.sharedSettings();
    n.receiptSeries = ProfileFile::readText(shared, Const, QStringLiteral("CHITSERIA"));
    n.receiptNumber = Counters::peek(shared, QStringLiteral("CHITNR"));
    n.noteNumber = Counters::peek(shared, QStringLiteral("NCNR"));
    return n;
}

void saveAdminSettings(const Session &session, const AdminSettings &settings, const AdminNumbers &edited,
                       const AdminNumbers &shownAtOpening)
{
    const QString shared = session.sharedSettings();
    ProfileFile::writeText(shared, Const, QStringLiteral("LOCALIT"), cleanText(settings.locality));
    ProfileFile::writeNumber(shared, Const, QStringLiteral("JUDET"), settings.county);
    ProfileFile::writeText(shared, Const, QStringLiteral("UNITATE"), cleanText(settings.unitName));
    ProfileFile::writeText(shared, Const, QStringLiteral("CHITSERIA"), edited.receiptSeries);
    if (edited.receiptNumber != shownAtOpening.receiptNumber)
        Counters::set(shared, QStringLiteral("CHITNR"), edited.receiptNumber);
    if (edited.noteNumber != shownAtOpening.noteNumber)
        Counters::set(shared, QStringLiteral("NCNR"), edited.noteNumber);
    ProfileFile::writeText(shared, Const, QStringLiteral("CHITPDF"),
                           settings.receiptPdf ? QStringLiteral("DA") : QStringLiteral("NU"));
}

bool administratorPasswordSet(const Session &session)
{
    return !ProfileFile::readText(session.sharedSettings(), QStringLiteral("INIT"), QStringLiteral("WIN")).isEmpty();
}

bool administratorPasswordMatches(const Session &session, const QString &typed)
{
    if (typed.isEmpty())
        return false;
    const QString stored = ProfileFile::readText(session.sharedSettings(), QStringLiteral("INIT"), QStringLiteral("WIN"));
    if (stored.isEmpty())
        return false;
    return storedForm(codeazaStr(typed)) == storedForm(stored);
}

void setAdministratorPassword(const Session &session, const QString &password)
{
    ProfileFile::writeText(session.sharedSettings(), QStringLiteral("INIT"), QStringLiteral("WIN"),
                           password.isEmpty() ? QString() : codeazaStr(password));
}

ServerFolderCheck checkServerFolder(const Session &session, const QString &folder)
{
    if (isDataFolderPath(session, folder))
        return ServerFolderCheck::IsDataFolder;
    for (const QString &name : tableFileNames())
        if (!fileExistsNoCase(folder, name))
            return ServerFolderCheck::Incomplete;
    return ServerFolderCheck::Accepted;
}

void setServerFolder(const Session &session, AdminSettings &settings, const QString &folder)
{
    ProfileFile::writeText(session.localSettings(), Const, QStringLiteral("SERVER"), folder);
    settings.serverPath = folder.isEmpty() ? QStringLiteral("-") : folder;
}

bool canWriteInFolder(const QString &folder)
{
    QFile test(QDir(folder).filePath(QStringLiteral("test.txt")));
    if (!test.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const bool written = test.write("test") == 4;
    test.close();
    return test.remove() && written;
}

void setBackupFolder(const Session &session, AdminSettings &settings, const QString &folder)
{
    ProfileFile::writeText(session.machineSettings(), Machine, QStringLiteral("CALESALVARI"), folder);
    settings.backupFolder = folder;
}

QString withoutTrailingSeparator(const QString &folder)
{
    QString f = folder;
    while (f.size() > 1 && (f.endsWith(QLatin1Char('/')) || f.endsWith(QLatin1Char('\\'))))
        f.chop(1);
    return f;
}

} // namespace vestronia
