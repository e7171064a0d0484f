// libFuzzer target for the letter engine: the input splits at its first NUL byte into a
// template and a list of key/value pairs (separated by NUL bytes), which are filled in
// memory. Whatever the input, the engine must return within its bounds, and a template
// without "\pard" must come back as its own lines plus the closing brace.

#include "enforcement/rtfreplace.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace vestronia::rtf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t cut = input.find('\0');
    const std::string_view templ = input.substr(0, cut);
    Replacements replacements;
    if (cut != std::string_view::npos) {
        std::string_view rest = input.substr(cut + 1);
        int pairs = 0;
        while (!rest.empty() && pairs++ < 64) {
            const std::size_t k = rest.find('\0');
            const std::string_view key = rest.substr(0, k);
            rest = k == std::string_view::npos ? std::string_view() : rest.substr(k + 1);
            const std::size_t v = rest.find('\0');
            const std::string_view value = rest.substr(0, v);
            rest = v == std::string_view::npos ? std::string_view() : rest.substr(v + 1);
            replacements.add(std::string(key), prepareValue(value));
        }
    }
    try {
        const std::string out = fillTemplate(templ, replacements);
        if (templ.find("\\pard") == std::string_view::npos) {
            std::string expected;
            for (const std::string &line : splitLines(templ))
                expected += line + "\r\n";
            expected += "}\r\n";
            if (out != expected)
                std::abort();
        }
        // Upper-casing never breaks an escape: what it gives is stable.
        const std::string once = upperPrepared(prepareValue(templ.substr(0, 256)));
        if (upperPrepared(once) != once)
            std::abort();
    } catch (const RtfError &) {
    }
    return 0;
}
