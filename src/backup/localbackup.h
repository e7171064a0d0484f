#pragma once
// Local backup and restore of the data folder, without windows: packing the data folder
// into a ".vrn" archive (save a copy, automatic save at close, remote backup), replacing
// the data folder by an archive's contents, and unpacking an archive opened from the
// command line. The windows ask the questions and show the messages; these functions
// report a refusal by throwing BackupError, whose title and text are the message to show.

#include "core/error.h"
#include "core/progress.h"
#include "core/session.h"

#include <QDate>
#include <QString>

namespace vestronia {

class Database;

// A refusal or failure with the message a window shows (error kind, OK). detail(), when
// not empty, says what went wrong underneath (for the command line and logs).
class BackupError : public VestroniaError
{
public:
    BackupError(QString title, QString text, QString detail = {})
        : VestroniaError(text), m_title(std::move(title)), m_detail(std::move(detail))
    {
    }
    const QString &title() const { return m_title; }
    const QString &detail() const { return m_detail; }

private:
    QString m_title;
    QString m_detail;
};

// Whether folder is the data folder or the local data folder (compared without regard
// to case, and also after resolving links). Saving a copy there is refused.
bool isDataFolderPath(const Session &session, const QString &folder);

// Copies the data folder's regular non-empty files into a working folder, clears the
// production-index byte (offset 28) of every ".DBF" copy and drops its ".mdx", packs the
// copy and puts the archive at archivePath, replacing an existing file only once the new
// archive is complete. Progress texts "Pregatesc datele..." then "Salvez datele...";
// finishes the progress. The working folder is always removed.
// Throws BackupError("Salvare", "\rNu pot scrie pe harddisk!!") when the data folder has
// nothing to pack, FileError when no working folder can be made or a file cannot be
// written, ArchiveError when a data file cannot be read.
// renamed, when given, receives "old name -> stored name" for every file stored under
// another name because the archive cannot hold its own (see archiveEntryName).
void packDataFolder(const Session &session, const QString &archivePath, Progress &progress,
                    QStringList *renamed = nullptr);

// Replaces the data folder by the contents of the archive; returns when the data were
// replaced. The archive is unpacked into a working folder first ("Desfac baza de date...");
// only a complete unpacking with at least one non-empty file goes on: the old DataBAK
// files (program folder + "/DataBAK") are deleted, the data folder's regular non-empty
// files are moved there and the unpacked files copied in. A restore mark (restoremark.h)
// stands in the data folder from before the first file moves until every new file is on
// the disk. If moving or copying fails part-way, the new files are removed and the old
// ones moved back; if the process dies, the next start does it; so the data folder is
// never left half old, half new. The files are replaced only while no other workstation
// is attached (this thread's own connections step aside and attach again to the new
// files); a journal left by a dead writer is played on the old files or moved to DataBAK
// with them, and no journal stays beside the new ones. The working folder is always
// removed; the progress is finished.
// Throws BackupError("Incarcare date", "\rNu pot scrie pe harddisk!") when no working
// folder can be made, BackupError("Restaurare date", "\rDatele sunt folosite si pe alt
// calculator!...") while another workstation is attached, BackupError("Restaurare date",
// "Restaurare esuata!") otherwise.
void restoreFromArchive(const Session &session, const QString &archivePath, Progress &progress);

// The file name of an automatic save: folder + "/" + yyyyMMdd + "_" + n + ".vrn" with the
// first n = 0, 1, 2, ... for which no such file exists.
QString automaticSaveName(const QString &folder, const QDate &day);

// The automatic save at close. In backup working mode the archive goes back into the
// opened backup file, unless that file no longer reads whole (it was opened with
// damaged entries): overwriting it would lose the files that could not be read, so it
// stays untouched and the archive goes beside it (sideSaveName). Otherwise into
// automaticSaveName(backupFolder, today), the folder created when missing. Returns the
// path written; renamed as for packDataFolder.
// Throws BackupError("Salvare date", "\rEroare la salvare! Nu am putut salva.").
QString automaticSave(const Session &session, const QString &backupFolder, Progress &progress,
                      QStringList *renamed = nullptr);

// A free name beside an archive: its folder + its base name + "_" + n + ".vrn", with the
// first n = 1, 2, ... for which no such file exists.
QString sideSaveName(const QString &archivePath);

// Unpacks an archive opened from the command line into the restore folder's data folder
// ("Deschid baza de date..."). True when every entry was unpacked; error receives the
// reason otherwise and unreadable the files that could not be unpacked (the others are
// unpacked all the same). Finishes the progress.
bool openBackupInto(const QString &archivePath, const QString &dataFolder, Progress &progress,
                    QString *error = nullptr, QStringList *unreadable = nullptr);

// Attaches every catalogue table again to the file the data folder holds now: a restore
// may bring a table whose file name differs only in case from the one attached before,
// and the old file has moved to DataBAK.
void reattachDataTables(Database &db);

} // namespace vestronia
