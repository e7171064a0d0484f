// The start-up sequence from the folders to the working mode, and the clean-up after
// the main window closed. The order of the steps is the order other workstations and
// older data folders expect: tables exist before the log is trimmed, models before the
// upgrade that may refresh them, packing before the counters are re-synchronised.

#include "startup/startupsequence.h"

#include "backup/archive.h"
#include "backup/localbackup.h"
#include "backup/restoremark.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/profilefile.h"
#include "core/workfiles.h"
#include "startup/filetype.h"
#include "startup/modelfiles.h"
#include "startup/schemaupgrade.h"
#include "store/changelog.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "store/fileops.h"

#include "startup/adminsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace vestronia {

namespace {
const QString Section88 = QString::number(ProductNumber);
// The note left in a restore folder whose changes could not be saved back.
const QString KeptNote = QStringLiteral("NESALVAT.txt");
}

StartupSequence::StartupSequence(Session &session, StartupOptions options, StartupHost &host)
    : m_session(session), m_options(std::move(options)), m_host(host)
{
}

StartupSequence::~StartupSequence() = default;

Database &StartupSequence::database()
{
    return *m_db;
}

std::unique_ptr<Database> StartupSequence::takeDatabase()
{
    return std::move(m_db);
}

void StartupSequence::settleFolders()
{
    m_session.userLabel = workstationUserLabel();
    m_session.programFolder = QDir::cleanPath(QDir(m_options.programFolder).absolutePath());
    m_session.machineFolder = QDir::cleanPath(QDir(m_options.machineFolder).absolutePath());
    m_session.localDataFolder = m_session.programFolder + QStringLiteral("/Data");
    m_session.dataFolder = m_session.localDataFolder;
    m_session.tempFolder = m_session.programFolder + QStringLiteral("/Temp");
    m_session.openedBackup.clear();

    QDir dir;
    for (const QString &folder : {m_session.programFolder, m_session.temporarFolder(), m_session.dataFolder,
                                  m_session.tempFolder, m_session.machineFolder})
        if (!dir.mkpath(folder))
            throw FileError(QStringLiteral("Nu pot crea dosarul %1.").arg(folder));
    // A large change's undo log spills there, not to the system's temporary folder.
    fileops::setScratchFolder(QFile::encodeName(m_session.tempFolder).toStdString());

    ProfileFile::writeText(m_session.machineSettings(), Section88, QStringLiteral("CALE"), m_session.programFolder);
    ProfileFile::writeText(m_session.machineSettings(), Section88, QStringLiteral("VER"), programVersionText());
}

bool StartupSequence::settleUnfinishedRestore(const QString &dataFolder)
{
    try {
        const QString told = settleInterruptedRestore(dataFolder);
        if (!told.isEmpty())
            m_host.message(QStringLiteral("Restaurare date"), told, MessageWarning);
        return true;
    } catch (const BackupError &e) {
        m_host.message(e.title(), e.detail().isEmpty() ? e.message() : e.message() + QLatin1Char('\r') + e.detail(),
                       MessageError);
        return false;
    }
}

bool StartupSequence::handOverToPendingUpdate()
{
    const QFileInfo update(m_session.programFolder + QStringLiteral("/UpVestrona"));
    if (!update.isFile() || !update.isExecutable())
        return false;
    return QProcess::startDetached(update.absoluteFilePath(), {m_options.programPath}, m_session.programFolder);
}

StartupOutcome StartupSequence::openBackupFromCommandLine()
{
    QString restoreFolder;
    for (int n = 0; n <= 50 && restoreFolder.isEmpty(); ++n) {
        const QString candidate = m_session.programFolder + QStringLiteral("/SAV") + QString::number(n);
        // A folder holding changes that were never saved back is the user's only copy.
        if (isKeptRestoreFolder(candidate))
            continue;
        if (QFileInfo::exists(candidate))
            deleteFolder(candidate);
        if (!QFileInfo::exists(candidate) && QDir().mkpath(candidate))
            restoreFolder = candidate;
    }
    if (restoreFolder.isEmpty()) {
        m_host.message(QStringLiteral("Deschidere Salvare"),
                       QStringLiteral("\nNu pot scrie in ") + m_session.programFolder + QStringLiteral(" !"), MessageError);
        return StartupOutcome::Abort;
    }
    m_session.openedBackup = QFileInfo(m_options.backupFile).absoluteFilePath();
    m_session.programFolder = restoreFolder;
    m_session.dataFolder = restoreFolder + QStringLiteral("/Data");
    QDir().mkpath(m_session.dataFolder);
    m_host.setStatus(QStringLiteral("Deschid baza de date..."));
    QStringList unreadable;
    if (!readArchive(m_session.openedBackup, m_session.dataFolder, m_host.progress(), nullptr, &unreadable)) {
        // A damaged archive must not silently become an empty data folder.
        if (archiveFileList(m_session.dataFolder).isEmpty()) {
            m_host.message(QStringLiteral("Deschidere Salvare"),
                           QStringLiteral("\nSalvarea ") + m_session.openedBackup + QStringLiteral(" nu poate fi deschisa!"),
                           MessageError);
            return StartupOutcome::Abort;
        }
        // One damaged entry does not make the rest unreadable: work on what was read, and
        // the archive itself stays as it is (the save at close goes beside it).
        m_host.message(QStringLiteral("Deschidere Salvare"),
                       QStringLiteral("\nSalvarea ") + m_session.openedBackup
                           + QStringLiteral(" este deteriorata. Nu am putut citi:\n") + unreadable.join(QStringLiteral(", "))
                           + QStringLiteral("\nCelelalte fisiere sunt deschise; salvarea ramane neschimbata."),
                       MessageWarning);
    }
    QDir::setCurrent(restoreFolder);
    return StartupOutcome::Ready;
}

bool StartupSequence::chooseNetworkFolder()
{
    const QString local = m_session.localSettings();
    if (!QFileInfo::exists(local))
        ProfileFile::writeText(local, QStringLiteral("CONST"), QStringLiteral("SERVER"),
                               ProfileFile::readText(m_session.machineSettings(), Section88, QStringLiteral("SERVER")));
    const QString server = ProfileFile::readText(local, QStringLiteral("CONST"), QStringLiteral("SERVER"));
    if (server.isEmpty())
        return true;
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(server));
    // A restore killed there moved tables away: settled first, or it looks incomplete.
    if (QFileInfo(folder).isDir() && !settleUnfinishedRestore(folder))
        return false;
    if (QFileInfo(folder).isDir() && missingTables(folder).isEmpty()) {
        m_session.dataFolder = folder;
        return true;
    }
    m_host.message(QStringLiteral("Conectare server"),
                   QStringLiteral("Baza de date ") + server + QStringLiteral("\nNU este accesibila sau este incompleta!") +
                       QStringLiteral("\nVerificati conexiunea si baza si reporniti programul!"),
                   MessageError);
    return true;
}

void StartupSequence::weeklyPacking()
{
    const QString settings = m_session.sharedSettings();
    const int week = weekNumberOf(Clock::now());
    if (week == int(ProfileFile::readReal(settings, QStringLiteral("CONST"), QStringLiteral("LASTPACK"))))
        return;
    // Stored first: a table held open elsewhere is not tried again before next week.
    ProfileFile::writeNumber(settings, QStringLiteral("CONST"), QStringLiteral("LASTPACK"), week);
    // Packing rewrites the files; the connection is closed around it.
    m_db.reset();
    try {
        packDataTables(m_session.dataFolder, m_host.progress());
    } catch (const VestroniaError &e) {
        m_host.message(QStringLiteral("Compactare tabele"), e.message(), MessageError);
    }
    m_db = std::make_unique<Database>(m_session.dataFolder);
}

StartupOutcome StartupSequence::run()
{
    // The shared settings file is written before any connection exists (the version,
    // then the administration settings): those writes take the folder's writer lock like
    // every other, or one could undo a counter another workstation takes meanwhile.
    Database::installSharedFileBackend();
    settleFolders();
    // A restore that died part-way is settled before anything reads or writes the folder.
    if (!settleUnfinishedRestore(m_session.dataFolder))
        return StartupOutcome::Abort;
    ProfileFile::writeText(m_session.sharedSettings(), Section88, QStringLiteral("VER"), programVersionText());
    if (handOverToPendingUpdate())
        return StartupOutcome::HandedToUpdate;

    const bool backupGiven = !m_options.backupFile.isEmpty() && QFileInfo(m_options.backupFile).isFile();
    if (!backupGiven && m_options.registerFileType)
        registerBackupFileType(m_session);

    if (backupGiven && QFileInfo(m_options.backupFile).suffix().compare(QLatin1String("vrn"), Qt::CaseInsensitive) == 0) {
        const StartupOutcome outcome = openBackupFromCommandLine();
        if (outcome != StartupOutcome::Ready)
            return outcome;
    } else {
        if (!chooseNetworkFolder())
            return StartupOutcome::Abort;
    }

    if (m_options.backupFolderCandidates)
        loadAdminSettings(m_session, adminSettings(), *m_options.backupFolderCandidates);
    else
        loadAdminSettings(m_session, adminSettings());

    m_host.setStatus(QStringLiteral("Verific baza de date ..."));
    createMissingTables(m_session.dataFolder);
    m_db = std::make_unique<Database>(m_session.dataFolder);
    trimLog(*m_db);
    writeModelFiles(m_session);
    upgradeSchema(*m_db, m_session);
    weeklyPacking();
    m_host.setStatus(m_session.workingModeText());
    syncCountersFromTables(*m_db, m_session.sharedSettings());
    return StartupOutcome::Ready;
}

void shutdownCleanup(const Session &session)
{
    deleteFolder(session.tempFolder);
    // TEMPORAR of the installation home, which the restore folder of a backup replaced.
    deleteFolder(QFileInfo(session.localDataFolder).path() + QStringLiteral("/TEMPORAR"));
    if (session.isBackupMode() && !isKeptRestoreFolder(session.programFolder))
        deleteFolder(session.programFolder);
}

QString keepRestoreFolder(const Session &session)
{
    if (!session.isBackupMode())
        return {};
    QFile note(QDir(session.programFolder).filePath(KeptNote));
    if (note.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString text = QStringLiteral("Modificarile facute in salvarea ") + session.openedBackup
                             + QStringLiteral(" nu au putut fi salvate inapoi.\r\nDatele sunt in dosarul Data de aici.\r\n");
        note.write(text.toUtf8());
    }
    return session.programFolder;
}

bool isKeptRestoreFolder(const QString &folder)
{
    return QFileInfo::exists(QDir(folder).filePath(KeptNote));
}

} // namespace vestronia
