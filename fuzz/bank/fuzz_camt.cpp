// libFuzzer target for the camt.053 reader: whatever the bytes, it returns statements within
// the readers' bounds or refuses the file with BankFileError; nothing else may escape.

#include "statementbounds.h"

#include <cstdint>

using namespace vestronia;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 256 * 1024)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        checkStatementBounds(readCamt053(bytes));
    } catch (const BankFileError &) {
    }
    return 0;
}
