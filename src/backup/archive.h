#pragma once
// The backup archive (".vrn"): the files of one folder, each as one zlib stream.
//
// Layout, little-endian, no signature and no checksum of its own:
//   offset  size  field
//   0       4     N      number of entries (signed)
//   then N entries, each:
//           4     L      length of the name in bytes (signed)
//           L     name   file name without folder, code page 1250, no terminator
//           4     S      size of the file before compression (signed)
//           ...   data   one complete zlib stream (header, deflate data, Adler-32) of the
//                        S bytes, level 9; its compressed length is not stored, the next
//                        entry starts right after the end of the stream
//
// An archive comes from outside (a stick, the remote server, an e-mail), so the reader
// trusts nothing in it: a name must be a plain file name, sizes are bounded, inflation
// stops at the declared size and a stream that ends early or goes on too long fails its
// entry. Nothing is ever written outside the target folder.

#include "core/error.h"
#include "core/progress.h"

#include <QString>
#include <QStringList>

class QIODevice;

namespace vestronia {

class ArchiveError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

namespace ArchiveLimits {
// Far above a real data folder (nine tables, a settings file, three models), low enough
// that a forged archive cannot fill a disk or make the reader loop for long.
constexpr qint32 MaxEntries = 10000;
constexpr qint32 MaxNameLength = 255;
constexpr qint64 MaxEntrySize = qint64(1) << 30;      // 1 GiB per file
constexpr qint64 MaxTotalSize = qint64(4) << 30;      // 4 GiB for the whole archive
constexpr int MaxResyncs = 64;                         // damaged entries skipped over
} // namespace ArchiveLimits

// Whether an entry name is a plain file name that stays inside the target folder: not
// empty, no "/" or "\", no drive (":"), not "." or "..", no control characters.
bool isPlainEntryName(const QString &name);

// The name a file is stored under: the file's own name when code page 1250 holds it and
// it is a plain name; otherwise the nearest such name: the comma-below letters folded to
// their cedilla twins (ș ț Ș Ț to ş ţ Ş Ţ, what Windows keyboards of the time typed),
// any other character the page lacks, and path or control characters, replaced by "_",
// and the name shortened (extension kept) to MaxNameLength bytes.
QString archiveEntryName(const QString &fileName);

// The files an archive of this folder holds, in order: the regular files directly in
// it (no subfolders, no symbolic links) whose size is not 0, by name ignoring case.
// Names only, without folder.
QStringList archiveFileList(const QString &folder);

// Packs archiveFileList(sourceFolder) into archivePath, written through a temporary file
// and renamed into place, so a failure never leaves a half archive under that name.
// When the folder has no file to pack nothing is written and 0 is returned; otherwise
// the number of entries. Sets the progress total to N and steps once per file; it does
// not set the text nor finish (the caller owns the progress window).
// Throws ArchiveError when a file cannot be read, changed size while packed or is larger
// than MaxEntrySize, and FileError when the archive cannot be written.
// No file is left out for its name: one the archive cannot hold is stored under
// archiveEntryName() (made unique among the entries with "~1", "~2" before the
// extension), and renamed, when given, receives one line "old name -> stored name" for
// each such file, so the caller can tell the user.
int writeArchive(const QString &sourceFolder, const QString &archivePath, Progress &progress,
                 QStringList *renamed = nullptr);

// Unpacks every entry of the archive into targetFolder (created when missing; existing
// files of the same name are replaced). True only when every entry was unpacked. A bad
// entry fails the result; the entries after it are still unpacked: when the end of its
// stream is unknown (damaged data) the reader looks for the next entry's header after
// it, on a device that can seek. A file that was not unpacked whole is not left behind, and an
// existing file of that name keeps its old content.
// Sets the progress total to N and steps once per entry; no text, no finish.
// When error is given it receives the reason of the first failure (for logs and the
// command line; the windows show their own fixed message); unreadable receives the name
// of every entry that could not be unpacked ("Fisierul N din salvare" when even its name
// is lost).
bool readArchive(const QString &archivePath, const QString &targetFolder, Progress &progress,
                 QString *error = nullptr, QStringList *unreadable = nullptr);
// The same over an open device (a buffer in tests and fuzzing).
bool readArchive(QIODevice &archive, const QString &targetFolder, Progress &progress,
                 QString *error = nullptr, QStringList *unreadable = nullptr);

// Whether every entry of the archive reads whole, without writing anything.
bool archiveReadsWhole(const QString &archivePath, QStringList *unreadable = nullptr);

} // namespace vestronia
