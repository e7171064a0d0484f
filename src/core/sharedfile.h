#pragma once
// How settings files are read and changed. A change is one read-modify-write that no
// other process can interleave with, and that either replaces the whole file or leaves
// it as it was. The default keeps a lock file beside the settings file; the storage
// engine installs its own, so that a change of a settings file of the data folder made
// during a write transaction (a counter taken while a collection is recorded) is
// committed or rolled back with the tables.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace vestronia::SharedFile {

// The most a settings file may hold; a bigger one is refused rather than read.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

// Gets the current content (nullopt: no file) and returns the new one (nullopt: leave
// the file as it is).
using Change = std::function<std::optional<QByteArray>(const std::optional<QByteArray> &current)>;

class Backend
{
public:
    virtual ~Backend() = default;
    // The content, nullopt when there is no such file. Throws FileError when the file
    // exists but cannot be read (or is too big): a read that fails is never an empty file.
    virtual std::optional<QByteArray> read(const QString &path) = 0;
    // Gives `change` the current content and stores what it returns, atomically. Throws
    // FileError (from the read, the lock or the write; then the file is unchanged) or
    // whatever `change` throws.
    virtual void update(const QString &path, const Change &change) = 0;
};

Backend &backend();
// Installs a backend for the whole process; nullptr puts the default back.
void setBackend(Backend *backend);

// What the default does, for backends that pass some files on to it.
std::optional<QByteArray> readFile(const QString &path);
// Writes a temporary file beside `path`, syncs it and renames it over `path`.
void replaceFile(const QString &path, const QByteArray &content);
void updateWithLockFile(const QString &path, const Change &change);

} // namespace vestronia::SharedFile
