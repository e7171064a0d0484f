// libFuzzer target for the reply-file parser: any bytes as a reply from the server,
// parsed and, when accepted, its attachments extracted into a scratch Temp folder.
// Nothing may be written beside that folder, no attachment may exceed the file, and
// bad input must end in ProtocolError rather than a crash.

#include "backup/commandfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace vestronia;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir scratch;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString reply = scratch.filePath(QStringLiteral("reply.cmd"));
    const QString temp = scratch.filePath(QStringLiteral("Temp"));
    try {
        const CommandFile parsed = parseCommandFile(bytes, bytes.size());
        for (const CommandAttachment &a : parsed.attachments)
            if (a.offset < 0 || a.size < 0 || a.offset + a.size > bytes.size() || !isPlainFileName(a.name))
                std::abort();
        QFile f(reply);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(bytes);
            f.close();
            extractAttachments(reply, parsed, temp);
        }
    } catch (const VestroniaError &) {
    }
    QFile::remove(reply);
    const QStringList beside = QDir(scratch.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (!beside.isEmpty() && beside != QStringList{QStringLiteral("Temp")})
        std::abort();
    QDir(temp).removeRecursively();
    return 0;
}
