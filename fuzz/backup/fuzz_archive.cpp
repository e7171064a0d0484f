// libFuzzer target for the backup archive reader: any bytes as a ".vrn" archive, unpacked
// into a scratch folder. Whatever the input, nothing may appear beside that folder, no
// file may outgrow the bounds, and the reader must return rather than throw or crash.

#include "backup/archive.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace vestronia;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir scratch;
    const QString target = scratch.filePath(QStringLiteral("target"));
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    NullProgress progress;
    QString error;
    readArchive(buffer, target, progress, &error);

    // Only the target folder may exist in the scratch folder, and only files in it.
    const QStringList beside = QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (beside != QStringList{QStringLiteral("target")} && !beside.isEmpty())
        std::abort();
    const QFileInfoList inside = QDir(target).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : inside) {
        if (!info.isFile() || info.size() > ArchiveLimits::MaxEntrySize)
            std::abort();
    }
    QDir(target).removeRecursively();
    return 0;
}
