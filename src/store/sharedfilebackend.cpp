// Settings files of a data folder under the folder's protocol: inside a write transaction
// their new content is staged and committed with the tables; outside one each change takes
// the writer lock for its read-modify-write. Limits: one writing connection per thread.

#include "store/database.h"

#include "core/sharedfile.h"
#include "store/fileops.h"
#include "store/folderlock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vestronia {

std::vector<Database *> &Database::activeWriters()
{
    thread_local std::vector<Database *> writers;
    return writers;
}

namespace {

QString folderOfPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absolutePath());
}

} // namespace

// The connection of this thread that is writing in the folder of `path`, if any.
Database *Database::writerFor(const QString &path)
{
    const QString folder = folderOfPath(path);
    for (Database *db : activeWriters())
        if (db->m_folder && QDir::cleanPath(QFileInfo(db->m_dataFolder).absoluteFilePath()) == folder)
            return db;
    return nullptr;
}

namespace {

// Settings files change under the data folder's protocol: inside a write transaction of
// their folder they are staged and committed with the tables; outside one, the change
// takes the folder's writer lock for its read-modify-write and replaces the file.
class FolderFileBackend final : public SharedFile::Backend
{
public:
    std::optional<QByteArray> read(const QString &path) override
    {
        if (Database *db = Database::writerFor(path))
            if (const QByteArray *staged = db->stagedFile(path))
                return *staged;
        return SharedFile::readFile(path);
    }

    void update(const QString &path, const SharedFile::Change &change) override
    {
        if (Database *db = Database::writerFor(path)) {
            const QByteArray *staged = db->stagedFile(path);
            const std::optional<QByteArray> current = staged ? std::optional<QByteArray>(*staged)
                                                             : SharedFile::readFile(path);
            if (const std::optional<QByteArray> next = change(current))
                db->stageFile(path, *next);
            return;
        }
        const QString folder = folderOfPath(path);
        if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) {
            SharedFile::updateWithLockFile(path, change);
            return;
        }
        FolderLock lock(folder);
        lock.lockWriter();
        struct Unlock
        {
            FolderLock &l;
            ~Unlock() { l.unlockWriter(); }
        } unlock{lock};
        const std::optional<QByteArray> current = SharedFile::readFile(path);
        if (const std::optional<QByteArray> next = change(current)) {
            SharedFile::replaceFile(path, *next);
            fileops::adoptFolderAccess(std::string(QFile::encodeName(path).constData()));
            const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
            lock.bump(std::string(name.constData(), size_t(name.size())), true);
        }
    }
};

} // namespace

void Database::installSharedFileBackend()
{
    static FolderFileBackend backend;
    SharedFile::setBackend(&backend);
}

const QByteArray *Database::stagedFile(const QString &path) const
{
    const auto it = m_staged.find(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    return it == m_staged.end() ? nullptr : &it->second;
}

void Database::stageFile(const QString &path, const QByteArray &content)
{
    m_staged[QDir::cleanPath(QFileInfo(path).absoluteFilePath())] = content;
}

} // namespace vestronia
