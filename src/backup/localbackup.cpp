// Save, automatic save and restore of the data folder over the archive codec. Files are
// copied, never opened by the database engine. A save copies under the folder's writer
// lock (a journal left behind played first), so the copy is one state of the folder; a
// restore replaces the files only while no other workstation is attached, under a mark
// that lets the next start undo it if it dies part-way.

#include "backup/localbackup.h"

#include "backup/archive.h"
#include "backup/restoremark.h"
#include "core/clock.h"
#include "core/tablecatalogue.h"
#include "core/workfiles.h"
#include "store/database.h"
#include "store/dbferror.h"
#include "store/fileops.h"
#include "store/folderlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <memory>
#include <vector>

namespace vestronia {

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Removes a working folder when the operation ends, however it ends.
class FolderGuard
{
public:
    explicit FolderGuard(QString path) : m_path(std::move(path)) {}
    ~FolderGuard() { deleteFolder(m_path); }
    FolderGuard(const FolderGuard &) = delete;
    FolderGuard &operator=(const FolderGuard &) = delete;

private:
    QString m_path;
};

class FileGuard
{
public:
    explicit FileGuard(QString path) : m_path(std::move(path)) {}
    ~FileGuard() { QFile::remove(m_path); }
    FileGuard(const FileGuard &) = delete;
    FileGuard &operator=(const FileGuard &) = delete;

private:
    QString m_path;
};

class FinishGuard
{
public:
    explicit FinishGuard(Progress &progress) : m_progress(progress) {}
    ~FinishGuard() { m_progress.finish(); }
    FinishGuard(const FinishGuard &) = delete;
    FinishGuard &operator=(const FinishGuard &) = delete;

private:
    Progress &m_progress;
};

// Puts the file from at path to, replacing what is there in one step when both are on
// one file system; across file systems the copy is written beside the target and renamed
// over it, so the target is never half written.
void putInPlace(const QString &from, const QString &to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return;
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Nu pot citi fisierul %1: %2").arg(native(from), in.errorString()));
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(native(to), out.errorString()));
    QByteArray buffer;
    while (!(buffer = in.read(64 * 1024)).isEmpty())
        if (out.write(buffer) != buffer.size())
            throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(native(to), out.errorString()));
    if (in.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("Nu pot citi fisierul %1: %2").arg(native(from), in.errorString()));
    if (!out.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(native(to), out.errorString()));
    in.close();
    QFile::remove(from);
}

// Clears the production-index flag of a dBase copy and removes its ".mdx" beside it: the
// index file is not packed, and a table that claims one would not open without it.
void cleanTableCopy(const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name);
    QFile table(path);
    if (!table.open(QIODevice::ReadWrite))
        throw FileError(QStringLiteral("Nu pot deschide copia %1: %2").arg(native(path), table.errorString()));
    if (table.size() > 28) {
        if (!table.seek(28) || table.write("\0", 1) != 1)
            throw FileError(QStringLiteral("Nu pot scrie copia %1: %2").arg(native(path), table.errorString()));
    }
    table.close();
    const QString mdx = QFileInfo(name).completeBaseName() + QStringLiteral(".mdx");
    if (fileExistsNoCase(folder, mdx))
        QFile::remove(findFileNoCase(folder, mdx));
}

// Copies the data folder's packable files into a fresh working folder and cleans the
// tables. Returns the working folder.
QString prepareCopy(const Session &session, Progress &progress)
{
    const QString work = newWorkFolder(session.tempFolder, QStringLiteral("SaveRA"));
    if (work.isEmpty())
        throw FileError(QStringLiteral("Nu pot crea un dosar de lucru in %1.").arg(native(session.tempFolder)));
    // The copy is taken while no commit writes, so the tables and the settings file in it
    // are one state of the folder (a journal left behind is played back first). The writer
    // lock, not the read range: readers go on meanwhile.
    std::unique_ptr<FolderLock> lock;
    if (QFileInfo::exists(QDir(session.dataFolder).filePath(QLatin1String(FolderLock::LockFileName)))) {
        lock = std::make_unique<FolderLock>(session.dataFolder);
        try {
            lock->lockWriter();
        } catch (const DbfError &e) {
            deleteFolder(work);
            throw FileError(e.message());
        }
    }
    const QStringList files = archiveFileList(session.dataFolder);
    progress.setText(QStringLiteral("Pregatesc datele..."));
    progress.setTotal(int(files.size()));
    progress.start();
    for (const QString &name : files) {
        const QString from = QDir(session.dataFolder).filePath(name);
        const QString to = QDir(work).filePath(name);
        if (!QFile::copy(from, to)) {
            deleteFolder(work);
            throw FileError(QStringLiteral("Nu pot copia fisierul %1.").arg(native(from)));
        }
        progress.step();
    }
    try {
        for (const QString &name : files)
            if (name.endsWith(QLatin1String(".DBF"), Qt::CaseInsensitive))
                cleanTableCopy(work, name);
    } catch (...) {
        deleteFolder(work);
        throw;
    }
    return work;
}

bool sameFolder(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    auto norm = [](const QString &p) { return QDir::cleanPath(QDir(p).absolutePath()); };
    if (norm(a).compare(norm(b), Qt::CaseInsensitive) == 0)
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

// Moves the data folder's files to DataBAK and copies the unpacked files in. A restore
// mark, flushed to the disk before the first file moves, names both lists, so a restore
// killed part-way is put back at the next start; a failure here puts it back at once. A
// journal left behind belongs to the old files: it is played on them, or goes to DataBAK
// with them. Returns an empty text on success, else the reason.
QString replaceDataFolder(const Session &session, const QString &archivePath, const QString &unpacked,
                          FolderReplacement &hold)
{
    const QString data = session.dataFolder;
    const QString bak = QDir(session.programFolder).filePath(QStringLiteral("DataBAK"));
    if (!QDir().mkpath(bak))
        return QStringLiteral("Nu pot crea dosarul %1.").arg(native(bak));
    // The previous backup of the data goes first: it makes room for the current one, and
    // nothing of it may be taken for an old file if this restore is undone.
    const QFileInfoList oldBak = QDir(bak).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : oldBak)
        if (fileops::unlinkFile(QFile::encodeName(info.absoluteFilePath()).constData()) != 0)
            return QStringLiteral("Nu pot sterge %1.").arg(native(info.absoluteFilePath()));
    if (!fileops::syncFolder(std::string(QFile::encodeName(bak).constData())))
        return QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(bak));

    RestoreMark mark;
    mark.host = restoremark::thisHost();
    mark.archive = archivePath;
    mark.backup = QDir(bak).absolutePath();
    mark.oldNames = archiveFileList(data);
    mark.newNames = archiveFileList(unpacked);
    if (QFileInfo::exists(QDir(data).filePath(QLatin1String(FolderLock::JournalFileName))))
        mark.oldNames << QLatin1String(FolderLock::JournalFileName);
    for (const QString &name : std::as_const(mark.newNames)) {
        const QFileInfo existing(QDir(data).filePath(name));
        if (existing.isSymLink() || existing.isDir())
            return QStringLiteral("Nu pot inlocui %1.").arg(native(existing.filePath()));
        if (existing.isFile() && existing.size() == 0)
            mark.emptyNames << name;
    }
    QString why = restoremark::write(data, mark);
    if (!why.isEmpty()) {
        restoremark::remove(data);
        return why;
    }
    auto undone = [&](const QString &reason) -> QString {
        const QString trouble = restoremark::undo(data, mark);
        if (!trouble.isEmpty()) // the mark stays: the next start tries again
            return reason + QLatin1Char(' ') + trouble;
        restoremark::remove(data);
        return reason;
    };

    try {
        hold.setJournalAside(bak);
    } catch (const DbfError &e) {
        return undone(e.message());
    }
    for (const QString &name : std::as_const(mark.oldNames)) {
        if (name == QLatin1String(FolderLock::JournalFileName))
            continue; // set aside (or played) above
        why = restoremark::moveFile(QDir(data).filePath(name), QDir(bak).filePath(name));
        if (!why.isEmpty())
            return undone(why);
    }
    // The moves are on the disk before the mark says so.
    if (!fileops::syncFolder(std::string(QFile::encodeName(data).constData())) ||
        !fileops::syncFolder(std::string(QFile::encodeName(bak).constData())))
        return undone(QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(bak)));
    why = restoremark::markCopying(data);
    if (!why.isEmpty())
        return undone(why);
    mark.copying = true;
    for (const QString &name : std::as_const(mark.newNames)) {
        const QString target = QDir(data).filePath(name);
        if (mark.emptyNames.contains(name) && fileops::unlinkFile(QFile::encodeName(target).constData()) != 0)
            return undone(QStringLiteral("Nu pot inlocui %1.").arg(native(target)));
        // Flushed to the disk: the restore is reported done only once the new tables
        // would survive a power cut.
        why = restoremark::copyFile(QDir(unpacked).filePath(name), target);
        if (!why.isEmpty())
            return undone(why);
    }
    if (!fileops::syncFolder(std::string(QFile::encodeName(data).constData())) ||
        !fileops::syncFolder(std::string(QFile::encodeName(bak).constData())))
        return undone(QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(data)));
    why = restoremark::markDone(data);
    if (!why.isEmpty())
        return undone(why);
    return {};
}

} // namespace

bool isDataFolderPath(const Session &session, const QString &folder)
{
    return sameFolder(folder, session.dataFolder) || sameFolder(folder, session.localDataFolder);
}

void packDataFolder(const Session &session, const QString &archivePath, Progress &progress, QStringList *renamed)
{
    FinishGuard finish(progress);
    if (archiveFileList(session.dataFolder).isEmpty())
        throw BackupError(QStringLiteral("Salvare"), QStringLiteral("\rNu pot scrie pe harddisk!!"),
                          QStringLiteral("Dosarul de date %1 nu are niciun fisier de salvat.").arg(native(session.dataFolder)));
    const QString work = prepareCopy(session, progress);
    FolderGuard removeWork(work);
    const QString archiveWork = newWorkFile(session.tempFolder, QStringLiteral("SaveTmp"), QStringLiteral(".tmp"));
    if (archiveWork.isEmpty())
        throw FileError(QStringLiteral("Nu pot crea un fisier de lucru in %1.").arg(native(session.tempFolder)));
    FileGuard removeArchiveWork(archiveWork);
    progress.setText(QStringLiteral("Salvez datele..."));
    if (writeArchive(work, archiveWork, progress, renamed) == 0)
        throw BackupError(QStringLiteral("Salvare"), QStringLiteral("\rNu pot scrie pe harddisk!!"));
    putInPlace(archiveWork, archivePath);
}

void restoreFromArchive(const Session &session, const QString &archivePath, Progress &progress)
{
    FinishGuard finish(progress);
    const QString work = newWorkFolder(session.tempFolder, QStringLiteral("GMT"));
    if (work.isEmpty())
        throw BackupError(QStringLiteral("Incarcare date"), QStringLiteral("\rNu pot scrie pe harddisk!"));
    FolderGuard removeWork(work);
    progress.setText(QStringLiteral("Desfac baza de date..."));
    QString reason;
    QStringList unreadable;
    const bool unpacked = readArchive(archivePath, work, progress, &reason, &unreadable);
    if (!unreadable.isEmpty())
        reason += QStringLiteral(" Nu pot fi citite: ") + unreadable.join(QStringLiteral(", ")) + QLatin1Char('.');
    if (unpacked && archiveFileList(work).isEmpty())
        reason = QStringLiteral("Salvarea nu contine niciun fisier.");
    if (!unpacked || !reason.isEmpty())
        throw BackupError(QStringLiteral("Restaurare date"), QStringLiteral("Restaurare esuata!"), reason);
    // Nobody else may be attached while the files are replaced: a change committed
    // elsewhere meanwhile would land in the old files only.
    std::unique_ptr<FolderReplacement> hold;
    try {
        hold = std::make_unique<FolderReplacement>(session.dataFolder);
    } catch (const DbfError &e) {
        throw BackupError(QStringLiteral("Restaurare date"),
                          QStringLiteral("\rDatele sunt folosite si pe alt calculator!\rInchideti programul pe celelalte "
                                         "calculatoare si incercati din nou."),
                          e.message());
    }
    const QStringList oldFiles = archiveFileList(session.dataFolder);
    reason = replaceDataFolder(session, archivePath, work, *hold);
    if (!reason.isEmpty())
        throw BackupError(QStringLiteral("Restaurare date"), QStringLiteral("Restaurare esuata!"), reason);
    // Every new file is in place and on the disk. What is left (the journal, the
    // counters, the mark) the next start finishes if this process dies now.
    try {
        hold->finish(oldFiles + archiveFileList(session.dataFolder));
    } catch (const DbfError &) {
        // The old journal stays beside the new files: the mark makes the next start
        // remove it before anyone reads them.
        return;
    }
    // A mark left behind (its removal failed) is finished by the next start; the files
    // are the archive's already, so the restore is not reported failed.
    restoremark::remove(session.dataFolder);
}

QString automaticSaveName(const QString &folder, const QDate &day)
{
    const QString stem = QDir(folder).filePath(day.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('_'));
    for (int n = 0;; ++n) {
        const QString candidate = stem + QString::number(n) + QStringLiteral(".vrn");
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

QString sideSaveName(const QString &archivePath)
{
    const QFileInfo info(archivePath);
    const QString stem = info.dir().filePath(info.completeBaseName() + QLatin1Char('_'));
    for (int n = 1;; ++n) {
        const QString candidate = stem + QString::number(n) + QStringLiteral(".vrn");
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

QString automaticSave(const Session &session, const QString &backupFolder, Progress &progress, QStringList *renamed)
{
    const BackupError failed(QStringLiteral("Salvare date"), QStringLiteral("\rEroare la salvare! Nu am putut salva."));
    QString target;
    if (session.isBackupMode()) {
        target = session.openedBackup;
        if (QFileInfo::exists(target) && !archiveReadsWhole(target))
            target = sideSaveName(target);
    } else {
        if (!QDir().mkpath(backupFolder))
            throw BackupError(failed.title(), failed.message(), QStringLiteral("Nu pot crea dosarul %1.").arg(native(backupFolder)));
        target = automaticSaveName(backupFolder, Clock::today());
    }
    try {
        packDataFolder(session, target, progress, renamed);
    } catch (const BackupError &e) {
        throw BackupError(failed.title(), failed.message(), e.detail().isEmpty() ? e.message() : e.detail());
    } catch (const VestroniaError &e) {
        throw BackupError(failed.title(), failed.message(), e.message());
    }
    return target;
}

bool openBackupInto(const QString &archivePath, const QString &dataFolder, Progress &progress, QString *error,
                    QStringList *unreadable)
{
    FinishGuard finish(progress);
    progress.setText(QStringLiteral("Deschid baza de date..."));
    return readArchive(archivePath, dataFolder, progress, error, unreadable);
}

void reattachDataTables(Database &db)
{
    db.reattachDataTables();
}

} // namespace vestronia
