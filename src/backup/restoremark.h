#pragma once
// The mark a restore leaves in the data folder while it replaces the files
// (Vestronia.rst): what is restored, where the old files went, which names are old and
// which new. A mark found at start means the restore died part-way; settling it puts the
// old files back (or finishes the restore when every new file was already in place).

#include <QString>
#include <QStringList>

namespace vestronia {

struct RestoreMark
{
    QString host;        // the workstation that restores: DataBAK is on its disk
    QString archive;     // the archive being restored, for the clerk's message
    QString backup;      // the folder the old files move to (DataBAK)
    QStringList oldNames; // files of the data folder moved to backup (a journal included)
    QStringList newNames; // files copied in from the archive
    QStringList emptyNames; // empty files of the data folder that a new file replaces
    bool complete = false; // the whole mark was written ("end")
    bool copying = false;  // every old file had moved to backup before the first new file came in
    QStringList backNames; // old files an undo began to put back ("back" lines)
    bool completing = false; // the old files could not be put back: the archive is put in instead
    bool done = false;     // every new file is in place and on the disk
};

namespace restoremark {

constexpr const char *FileName = "Vestronia.rst";

QString pathIn(const QString &dataFolder);
// This machine's name, as the mark records it.
QString thisHost();

// Writes the mark and flushes it and the folder to the disk. Empty on success, else why not.
QString write(const QString &dataFolder, const RestoreMark &mark);
// Adds "copying" to the mark and flushes it: every old file is in the backup folder now,
// so from here on one missing there is lost, never "not moved yet".
QString markCopying(const QString &dataFolder);
// Adds "done" to the mark and flushes it. Empty on success, else why not.
QString markDone(const QString &dataFolder);
// Reads the mark; false with why when it cannot be read or names a file outside the folders.
bool read(const QString &dataFolder, RestoreMark &mark, QString *why);
// Removes the mark and flushes the folder. Empty on success, else why not.
QString remove(const QString &dataFolder);

// Moves a file through the fault-injectable file operations: one rename when both
// folders are on one file system, else a copy flushed to the disk beside the target,
// renamed over it, and only then the source removed; so a file found at `to` is whole.
QString moveFile(const QString &from, const QString &to);
// Copies a file over `to` and flushes it to the disk; it takes the target folder's group
// and mode like every file the program creates there. Empty on success, else why not.
QString copyFile(const QString &from, const QString &to);

// Puts the old files back from mark.backup and removes the new ones; the mark stays.
// Safe to repeat after a kill part-way: before each old file moves back the mark says so
// ("back NAME"). An old file found neither in mark.backup nor (never moved, or put back
// already) in the data folder is reported, never passed over. Empty on success, else what
// stayed wrong; lost (when given) says whether an old file is gone for good.
QString undo(const QString &dataFolder, const RestoreMark &mark, bool *lost = nullptr);

} // namespace restoremark

// Settles a restore of dataFolder that did not finish (a mark is there): undoes it, or
// completes it when the mark says every new file was in place, or when the old files can
// no longer be put back (missing from DataBAK) and the archive still reads whole. Takes the folder as a
// restore does (nobody else attached, the writer lock). Returns the message for the
// clerk, empty when there was nothing to settle. Throws BackupError when it cannot be
// settled here (another workstation restored, the folder is in use, a file cannot move).
QString settleInterruptedRestore(const QString &dataFolder);

} // namespace vestronia
