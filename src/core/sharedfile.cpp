// The default way settings files change: a lock file beside them for the
// read-modify-write, and an atomic, synced replacement.

#include "core/sharedfile.h"

#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <atomic>

namespace vestronia::SharedFile {

namespace {

class DefaultBackend final : public Backend
{
public:
    std::optional<QByteArray> read(const QString &path) override { return readFile(path); }
    void update(const QString &path, const Change &change) override { updateWithLockFile(path, change); }
};

DefaultBackend g_default;
std::atomic<Backend *> g_backend{nullptr};

} // namespace

Backend &backend()
{
    Backend *b = g_backend.load();
    return b ? *b : g_default;
}

void setBackend(Backend *b)
{
    g_backend.store(b);
}

std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (file.size() > MaxFileSize)
        throw FileError(QStringLiteral("Fisierul %1 este prea mare pentru un fisier de setari.").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Nu pot citi fisierul %1: %2").arg(path, file.errorString()));
    QByteArray bytes = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("Nu pot citi fisierul %1: %2").arg(path, file.errorString()));
    return bytes;
}

void replaceFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // A network share may not allow the rename trick; then write in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(path, file.errorString()));
    if (file.write(content) != content.size() || !file.commit())
        throw FileError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(path, file.errorString()));
}

void updateWithLockFile(const QString &path, const Change &change)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QLockFile lock(path + QStringLiteral(".lck"));
    // A workstation that died holding the lock must not block the others for long.
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(15000))
        throw FileError(QStringLiteral("Fisierul %1 este blocat de alt calculator. Incercati din nou.").arg(path));
    const std::optional<QByteArray> current = readFile(path);
    if (const std::optional<QByteArray> next = change(current))
        replaceFile(path, *next);
}

} // namespace vestronia::SharedFile
