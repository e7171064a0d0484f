// The restore mark: written and flushed before the first file of the data folder moves,
// removed once every new file is on the disk. Every step of a restore goes through
// store/fileops, so the kill tests reach each one. The mark is a plain file of at most
// 4 MiB with percent-encoded names; a name with a slash, "." / "..", or the name of the
// lock file or of the mark itself is refused, and the old files' folder must be a DataBAK.

#include "backup/restoremark.h"

#include "backup/archive.h"
#include "backup/localbackup.h"
#include "core/progress.h"
#include "store/dbferror.h"
#include "store/fileops.h"
#include "store/folderlock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vestronia {

namespace {

constexpr qint64 MaxMarkBytes = 4 * 1024 * 1024;
constexpr char Magic[] = "VESTRONIA-RESTORE 1";
// Suffix of a copy being written beside its target when a move crosses file systems.
const QString PartSuffix = QStringLiteral("~rst");

std::string encoded(const QString &path)
{
    const QByteArray b = QFile::encodeName(path);
    return std::string(b.constData(), size_t(b.size()));
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray line(const char *key, const QString &value)
{
    return QByteArray(key) + ' ' + QFile::encodeName(value).toPercentEncoding() + '\n';
}

bool sameName(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// A file of the data folder a restore moves: never the lock file or the mark, and the
// journal only among the old files (an archive brings none).
bool validName(const QString &name, bool old)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && !sameName(name, FolderLock::LockFileName) &&
           !sameName(name, restoremark::FileName) && (old || !sameName(name, FolderLock::JournalFileName));
}

// The folder the old files went to, as a restore names it: an absolute, clean path to a
// folder called DataBAK. Anything else would let the mark pull files out of any folder of
// the disk into the data folder.
bool validBackupFolder(const QString &path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path &&
           QFileInfo(path).fileName() == QLatin1String("DataBAK");
}

// Reads the mark file: a plain file only (not a link, a pipe or a device, which could
// block or never end), at most limit bytes. False when it is not such a file.
bool readPlainFile(const QString &path, qint64 limit, QByteArray &out)
{
    const int fd = ::open(encoded(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit;
    out.clear();
    if (ok) {
        out.resize(qsizetype(st.st_size));
        qsizetype have = 0;
        while (have < out.size()) {
            const ssize_t got = ::read(fd, out.data() + have, size_t(out.size() - have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            have += got;
        }
        out.truncate(have);
    }
    ::close(fd);
    return ok;
}

// Writes bytes at the end of a file and flushes it.
QString appendSynced(const QString &path, const QByteArray &bytes, bool create)
{
    // Never through a link planted at the mark's name: it would write outside the folder.
    const int fd =
        ::open(encoded(path).c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT | O_TRUNC : 0), 0666);
    if (fd < 0)
        return QStringLiteral("Nu pot scrie %1: %2").arg(native(path), lastError());
    struct stat st;
    const off_t at = ::fstat(fd, &st) == 0 ? st.st_size : 0;
    const bool ok = fileops::writeAll(fd, bytes.constData(), size_t(bytes.size()), at) && fileops::fsyncFile(fd) == 0;
    const QString why = ok ? QString() : QStringLiteral("Nu pot scrie %1: %2").arg(native(path), lastError());
    if (ok && create)
        fileops::adoptFolderAccess(fd, encoded(QFileInfo(path).absolutePath()));
    ::close(fd);
    return why;
}

bool existsPlain(const QString &path)
{
    struct stat st;
    return ::lstat(encoded(path).c_str(), &st) == 0;
}

// Adds one problem to the text for the clerk; past a few, only how many more there are,
// so a mark naming thousands of files never makes a message of megabytes.
void addTrouble(QString &trouble, int &count, const QString &what)
{
    constexpr int Shown = 8;
    if (++count <= Shown)
        trouble += QLatin1Char(' ') + what;
}

QString troubleText(const QString &trouble, int count)
{
    constexpr int Shown = 8;
    if (count <= Shown)
        return trouble.trimmed();
    return QString(trouble + QStringLiteral(" Si inca %1 probleme.").arg(count - Shown)).trimmed();
}

// Removes a file; one that is not there is fine.
bool removeIfThere(const QString &path)
{
    return fileops::unlinkFile(encoded(path).c_str()) == 0 || errno == ENOENT;
}

} // namespace

namespace restoremark {

QString pathIn(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QLatin1String(FileName));
}

QString thisHost()
{
    return QSysInfo::machineHostName();
}

QString moveFile(const QString &from, const QString &to)
{
    if (fileops::renameFile(encoded(from).c_str(), encoded(to).c_str()) == 0)
        return {};
    if (errno != EXDEV)
        return QStringLiteral("Nu pot muta %1 in %2: %3").arg(native(from), native(to), lastError());
    const QString part = to + PartSuffix;
    QString why = copyFile(from, part);
    if (why.isEmpty() && fileops::renameFile(encoded(part).c_str(), encoded(to).c_str()) != 0)
        why = QStringLiteral("Nu pot muta %1 in %2: %3").arg(native(from), native(to), lastError());
    if (why.isEmpty() && !fileops::syncFolder(encoded(QFileInfo(to).absolutePath())))
        why = QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(QFileInfo(to).absolutePath()));
    if (!why.isEmpty()) {
        removeIfThere(part);
        return why;
    }
    if (!removeIfThere(from))
        return QStringLiteral("Nu pot sterge %1: %2").arg(native(from), lastError());
    return {};
}

QString copyFile(const QString &from, const QString &to)
{
    const int in = ::open(encoded(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return QStringLiteral("Nu pot citi %1: %2").arg(native(from), lastError());
    const int out = ::open(encoded(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        const QString why = QStringLiteral("Nu pot scrie %1: %2").arg(native(to), lastError());
        ::close(in);
        return why;
    }
    QString why;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    off_t at = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            why = QStringLiteral("Nu pot citi %1: %2").arg(native(from), lastError());
            break;
        }
        if (got == 0)
            break;
        if (!fileops::writeAll(out, buffer.constData(), size_t(got), at)) {
            why = QStringLiteral("Nu pot scrie %1: %2").arg(native(to), lastError());
            break;
        }
        at += got;
    }
    if (why.isEmpty() && fileops::fsyncFile(out) != 0)
        why = QStringLiteral("Nu pot scrie pe disc %1: %2").arg(native(to), lastError());
    if (why.isEmpty())
        fileops::adoptFolderAccess(out, encoded(QFileInfo(to).absolutePath()));
    ::close(in);
    ::close(out);
    return why;
}

QString write(const QString &dataFolder, const RestoreMark &mark)
{
    QByteArray text = QByteArray(Magic) + '\n';
    text += line("host", mark.host);
    text += line("archive", mark.archive);
    text += line("backup", mark.backup);
    for (const QString &n : mark.oldNames)
        text += line("old", n);
    for (const QString &n : mark.newNames)
        text += line("new", n);
    for (const QString &n : mark.emptyNames)
        text += line("empty", n);
    text += "end\n";
    // Room left for an undo's "back" line for every old file.
    if (text.size() > MaxMarkBytes / 2)
        return QStringLiteral("Prea multe fisiere de restaurat.");
    QString why = appendSynced(pathIn(dataFolder), text, true);
    if (why.isEmpty() && !fileops::syncFolder(encoded(dataFolder)))
        why = QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(dataFolder));
    return why;
}

QString markCopying(const QString &dataFolder)
{
    return appendSynced(pathIn(dataFolder), "\ncopying\n", false);
}

QString markDone(const QString &dataFolder)
{
    return appendSynced(pathIn(dataFolder), "\ndone\n", false);
}

bool read(const QString &dataFolder, RestoreMark &mark, QString *why)
{
    mark = RestoreMark();
    const QString path = pathIn(dataFolder);
    QByteArray text;
    if (!readPlainFile(path, MaxMarkBytes, text)) {
        if (why)
            *why = QStringLiteral("Fisierul %1 nu poate fi citit.").arg(native(path));
        return false;
    }
    const QList<QByteArray> lines = text.split('\n');
    auto bad = [&](const QString &reason) {
        if (why)
            *why = QStringLiteral("Fisierul %1 este deteriorat: %2").arg(native(path), reason);
        return false;
    };
    if (lines.isEmpty() || lines.first() != Magic) {
        // Cut before its first line was whole: nothing had moved yet.
        if (QByteArray(Magic).startsWith(lines.value(0)) && lines.size() <= 2)
            return true;
        return bad(QStringLiteral("nu este o marca de restaurare."));
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &l = lines[i];
        if (l.isEmpty())
            continue;
        if (mark.complete) {
            const bool whole = i + 1 < lines.size(); // ended by its newline
            if (l == "done" && whole)
                mark.done = true;
            else if (l == "copying" && whole)
                mark.copying = true;
            else if (l == "completing" && whole)
                mark.completing = true;
            else if (l.startsWith("back ") && whole) {
                const QString name = QFile::decodeName(QByteArray::fromPercentEncoding(l.mid(5)));
                mark.backNames << name; // a name that is no old file is never looked up
            }
            continue;
        }
        if (l == "end") {
            // Only a line ended by its newline counts.
            mark.complete = i + 1 < lines.size();
            continue;
        }
        if (i + 1 == lines.size())
            break; // the last line without its newline: the mark was cut there
        const qsizetype space = l.indexOf(' ');
        if (space <= 0)
            return bad(QStringLiteral("randul %1.").arg(i + 1));
        const QByteArray key = l.left(space);
        const QString value = QFile::decodeName(QByteArray::fromPercentEncoding(l.mid(space + 1)));
        if (key == "host")
            mark.host = value;
        else if (key == "archive")
            mark.archive = value;
        else if (key == "backup")
            mark.backup = value;
        else if (key == "old" || key == "new" || key == "empty") {
            if (!validName(value, key == "old"))
                return bad(QStringLiteral("numele %1.").arg(value));
            (key == "old" ? mark.oldNames : key == "new" ? mark.newNames : mark.emptyNames) << value;
        } else {
            return bad(QStringLiteral("randul %1.").arg(i + 1));
        }
    }
    if (mark.complete && !validBackupFolder(mark.backup))
        return bad(QStringLiteral("dosarul cu datele vechi %1 nu este un dosar DataBAK.").arg(native(mark.backup)));
    return true;
}

QString remove(const QString &dataFolder)
{
    if (!removeIfThere(pathIn(dataFolder)))
        return QStringLiteral("Nu pot sterge %1: %2").arg(native(pathIn(dataFolder)), lastError());
    if (!fileops::syncFolder(encoded(dataFolder)))
        return QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(dataFolder));
    return {};
}

QString undo(const QString &dataFolder, const RestoreMark &mark, bool *lost)
{
    const QDir data(dataFolder);
    const QDir bak(mark.backup);
    if (lost)
        *lost = false;
    // Once new files were coming in, every old file is in DataBAK or lost: without it there
    // is nothing to put back. Before that, an old file not in DataBAK never left the folder.
    if (mark.copying && mark.backNames.isEmpty() && !mark.oldNames.isEmpty() && !QFileInfo(mark.backup).isDir()) {
        if (lost)
            *lost = true;
        return QStringLiteral("Dosarul cu datele vechi %1 nu exista.").arg(native(mark.backup));
    }
    // Sets, not lists: a mark names up to tens of thousands of files.
    const QSet<QString> oldSet(mark.oldNames.cbegin(), mark.oldNames.cend());
    const QSet<QString> newSet(mark.newNames.cbegin(), mark.newNames.cend());
    const QSet<QString> backSet(mark.backNames.cbegin(), mark.backNames.cend());
    QString trouble;
    int troubles = 0;
    // The new files go first: a name both old and new then gets its old file back below.
    for (const QString &name : mark.newNames)
        if (!oldSet.contains(name) && !removeIfThere(data.filePath(name)))
            addTrouble(trouble, troubles, QStringLiteral("Fisierul nou %1 nu a putut fi sters.").arg(name));
    for (const QString &name : mark.oldNames) {
        removeIfThere(data.filePath(name) + PartSuffix);
        if (!existsPlain(bak.filePath(name))) {
            // Not in DataBAK: never moved (nothing new had come in yet), or already put back
            // by an undo cut part-way. A journal may have been played and removed meanwhile.
            const bool inPlace = existsPlain(data.filePath(name)) &&
                                 (!mark.copying || backSet.contains(name) || !newSet.contains(name));
            if (!inPlace && name != QLatin1String(FolderLock::JournalFileName)) {
                addTrouble(trouble, troubles,
                           QStringLiteral("Fisierul vechi %1 lipseste din %2.").arg(name, native(mark.backup)));
                if (lost)
                    *lost = true;
            }
            continue;
        }
        // Said before the move, so an undo cut after it knows the file in the folder is the old one.
        QString why = appendSynced(pathIn(dataFolder), QByteArray("\n") + line("back", name), false);
        if (why.isEmpty())
            why = moveFile(bak.filePath(name), data.filePath(name));
        if (!why.isEmpty())
            addTrouble(trouble, troubles, why);
    }
    for (const QString &name : mark.emptyNames) {
        const QString path = data.filePath(name);
        if (existsPlain(path))
            continue;
        const int fd = ::open(encoded(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            addTrouble(trouble, troubles, QStringLiteral("Fisierul gol %1 nu a putut fi refacut.").arg(name));
            continue;
        }
        fileops::adoptFolderAccess(fd, encoded(dataFolder));
        ::close(fd);
    }
    if (!fileops::syncFolder(encoded(dataFolder)) ||
        (!mark.oldNames.isEmpty() && QFileInfo(mark.backup).isDir() && !fileops::syncFolder(encoded(mark.backup))))
        addTrouble(trouble, troubles, QStringLiteral("Dosarele nu au putut fi scrise pe disc."));
    return troubleText(trouble, troubles);
}

// Puts the archive's files in place of whatever the folder holds of the restore, when the
// old files cannot be put back: the clerk asked for the archive, and it is one whole state.
// The mark says so first, so a later start never mixes the old files back in. Old files put
// back by an undo cut part-way go to DataBAK again. Empty on success, else why not.
QString completeFromArchive(const QString &dataFolder, const RestoreMark &mark)
{
    QTemporaryDir unpacked;
    NullProgress none;
    QString why;
    QStringList unreadable;
    if (!unpacked.isValid() || !readArchive(mark.archive, unpacked.path(), none, &why, &unreadable) || !unreadable.isEmpty())
        return QStringLiteral("Salvarea %1 nu mai poate fi citita (%2). Puneti salvarea la loc si porniti programul din "
                              "nou: restaurarea va fi terminata din ea.")
            .arg(native(mark.archive), why.isEmpty() ? unreadable.join(QStringLiteral(", ")) : why);
    QStringList have = archiveFileList(unpacked.path());
    QStringList want = mark.newNames;
    have.sort();
    want.sort();
    if (have != want)
        return QStringLiteral("Salvarea %1 nu mai are fisierele restaurate.").arg(native(mark.archive));
    if (!mark.completing) {
        why = appendSynced(pathIn(dataFolder), "\ncompleting\n", false);
        if (!why.isEmpty())
            return why;
    }
    const QDir data(dataFolder);
    const QDir bak(mark.backup);
    const QSet<QString> newSet(mark.newNames.cbegin(), mark.newNames.cend());
    for (const QString &name : mark.oldNames) {
        if (newSet.contains(name) || !existsPlain(data.filePath(name)))
            continue;
        if (name == QLatin1String(FolderLock::JournalFileName)) {
            if (!removeIfThere(data.filePath(name)))
                return QStringLiteral("Nu pot sterge %1: %2").arg(native(data.filePath(name)), lastError());
            continue;
        }
        if (!QDir().mkpath(mark.backup))
            return QStringLiteral("Nu pot crea dosarul %1.").arg(native(mark.backup));
        why = moveFile(data.filePath(name), bak.filePath(name));
        if (!why.isEmpty())
            return why;
    }
    for (const QString &name : mark.newNames) {
        const QString target = data.filePath(name);
        if (!removeIfThere(target))
            return QStringLiteral("Nu pot sterge %1: %2").arg(native(target), lastError());
        why = copyFile(QDir(unpacked.path()).filePath(name), target);
        if (!why.isEmpty())
            return why;
    }
    if (!fileops::syncFolder(encoded(dataFolder)))
        return QStringLiteral("Nu pot scrie pe disc dosarul %1.").arg(native(dataFolder));
    return {};
}

} // namespace restoremark

QString settleInterruptedRestore(const QString &dataFolder)
{
    const QString markPath = restoremark::pathIn(dataFolder);
    if (!existsPlain(markPath))
        return {};
    const QString title = QStringLiteral("Restaurare date");
    // Taken as a restore takes it: nobody else attached, the writer lock, and a journal is
    // left alone (one that belongs to the old files comes back with them).
    std::unique_ptr<FolderLock> lock;
    try {
        lock = std::make_unique<FolderLock>(dataFolder);
        QElapsedTimer waited;
        waited.start();
        while (!lock->tryExclusive()) {
            if (!existsPlain(markPath))
                return {}; // another workstation settled it meanwhile
            if (waited.elapsed() > writerWaitMilliseconds())
                throw BackupError(title,
                                  QStringLiteral("O restaurare a datelor nu s-a terminat, iar dosarul de date este folosit "
                                                 "de alt calculator.\rInchideti programul pe celelalte calculatoare si "
                                                 "porniti-l din nou."));
            QThread::msleep(50);
        }
        lock->lockWriter(false);
    } catch (const DbfError &e) {
        throw BackupError(title, QStringLiteral("O restaurare a datelor nu s-a terminat si nu poate fi verificata acum."),
                          e.message());
    }
    if (!existsPlain(markPath))
        return {};
    RestoreMark mark;
    QString why;
    if (!restoremark::read(dataFolder, mark, &why))
        throw BackupError(title, QStringLiteral("O restaurare a datelor nu s-a terminat, iar marca ei nu poate fi citita."),
                          why);
    QString message;
    if (!mark.complete) {
        // Cut while the mark was written: no file had moved yet.
        message = QStringLiteral("O restaurare a datelor a fost intrerupta inainte sa schimbe vreun fisier; datele sunt cum "
                                 "erau inainte.");
    } else if (mark.host != restoremark::thisHost()) {
        throw BackupError(title,
                          QStringLiteral("Restaurarea din %1, pornita pe calculatorul %2, nu s-a terminat.\rPorniti "
                                         "programul pe calculatorul %2: acolo sunt datele vechi, in %3.")
                              .arg(native(mark.archive), mark.host, native(mark.backup)));
    } else {
        // Every new file in place and on the disk: only the journal and the counters are left.
        auto finishWithNewFiles = [&]() {
            const QString journal = QDir(dataFolder).filePath(QLatin1String(FolderLock::JournalFileName));
            if (!removeIfThere(journal))
                throw BackupError(title, QStringLiteral("Restaurarea din %1 nu s-a terminat.").arg(native(mark.archive)),
                                  QStringLiteral("Jurnalul %1 nu poate fi sters.").arg(native(journal)));
            for (const QString &name : mark.oldNames + mark.newNames) {
                const QByteArray n = QFile::encodeName(name);
                try {
                    lock->bump(std::string(n.constData(), size_t(n.size())), true);
                } catch (const DbfError &) {
                    // Readers still see the new files by their size and time.
                }
            }
        };
        bool lost = false;
        const QString trouble = mark.done || mark.completing ? QString() : restoremark::undo(dataFolder, mark, &lost);
        if (mark.done) {
            finishWithNewFiles();
            message = QStringLiteral("Restaurarea din %1 a fost intrerupta dupa ce toate fisierele erau la locul lor; "
                                     "am terminat-o acum. Datele sunt cele din salvare.")
                          .arg(native(mark.archive));
        } else if (trouble.isEmpty() && !mark.completing) {
            message = QStringLiteral("Restaurarea din %1 nu s-a terminat; datele au fost puse inapoi cum erau inainte.")
                          .arg(native(mark.archive));
        } else {
            // An old file is gone for good (or a start already chose the archive): the old
            // data cannot come back whole, the archive is the one whole state left. Any other
            // trouble (a full disk, a folder refused) is told, and the next start tries again.
            const QString failed = QStringLiteral("Restaurarea din %1 nu s-a terminat, iar datele vechi nu au putut fi "
                                                  "puse inapoi din %2.")
                                       .arg(native(mark.archive), native(mark.backup));
            if (!mark.completing && !lost)
                throw BackupError(title, failed, trouble);
            const QString why2 = restoremark::completeFromArchive(dataFolder, mark);
            if (!why2.isEmpty())
                throw BackupError(title, failed, QString(trouble + QLatin1Char(' ') + why2).trimmed());
            finishWithNewFiles();
            message = QStringLiteral("Restaurarea din %1 nu s-a terminat, iar datele vechi nu mai puteau fi puse inapoi "
                                     "(%2); am terminat restaurarea. Datele sunt cele din salvare.")
                          .arg(native(mark.archive), trouble.isEmpty() ? native(mark.backup) : trouble);
        }
    }
    why = restoremark::remove(dataFolder);
    if (!why.isEmpty())
        throw BackupError(title, message, why);
    return message;
}

} // namespace vestronia
