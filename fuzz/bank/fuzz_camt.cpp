// libFuzzer target for the camt.053 reader: whatever the bytes, it returns statements whose
// entries keep within the reader's bounds (positive day, amount not negative, texts cut)
// or refuses the file with BankFileError; nothing else may escape.

#include "bank/bankstatement.h"

#include <cstdint>
#include <cstdlib>

using namespace vestronia;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 256 * 1024)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const std::vector<BankStatement> statements = readCamt053(bytes);
        if (statements.empty())
            std::abort();
        for (const BankStatement &s : statements) {
            if (s.entries.size() > size_t(MaxStatementEntries))
                std::abort();
            for (const BankEntry &e : s.entries) {
                if (e.bookingDay <= 0 || e.amount.isNegative() || e.text.size() > MaxStatementTextLength
                    || e.payer.size() > MaxStatementTextLength || e.reference.size() > MaxStatementTextLength)
                    std::abort();
            }
        }
    } catch (const BankFileError &) {
    }
    return 0;
}
