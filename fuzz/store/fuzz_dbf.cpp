// libFuzzer target for the dBase byte layer: any bytes as a whole .DBF file (header,
// descriptors, records), every field of every record decoded and re-encoded, and the
// bytes as a value written into fields of each type. Only DbfError may come out.

#include "store/dbfcodec.h"

#include <cstdint>
#include <cstring>
#include <string>

using namespace vestronia;

namespace {

void decodeRecords(const dbf::Header &h, const unsigned char *data)
{
    std::string scratch;
    std::string copy(h.recordLength, ' ');
    // The header checks promise that every counted record lies inside the input.
    const std::uint32_t records = h.recordCount < 200 ? h.recordCount : 200;
    for (std::uint32_t r = 0; r < records; ++r) {
        const char *rec = reinterpret_cast<const char *>(data) + h.headerLength + std::size_t(r) * h.recordLength;
        std::memcpy(copy.data(), rec, h.recordLength);
        for (const dbf::Field &f : h.fields) {
            try {
                const dbf::Value v = dbf::decodeField(f, rec, scratch, "fuzz.dbf", r + 1);
                dbf::Key key;
                dbf::fieldKey(f, rec, key, "fuzz.dbf", r + 1);
                if (h.writable()) {
                    // What we read back must be writable into its own field.
                    const std::string keep(v.text);
                    dbf::Value again = v;
                    again.text = keep;
                    dbf::encodeField(f, again, copy.data(), "fuzz.dbf");
                }
            } catch (const DbfError &) {
            }
        }
    }
}

void encodeBytesAsValue(const unsigned char *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size < 64 ? size : 64);
    static const dbf::Field fields[] = {
        {"C", 'C', 10, 0, 1}, {"N", 'N', 10, 2, 1}, {"I", 'N', 6, 0, 1}, {"D", 'D', 8, 0, 1}, {"L", 'L', 1, 0, 1}};
    std::string rec(16, ' ');
    for (const dbf::Field &f : fields) {
        try {
            dbf::encodeField(f, dbf::Value::ofText(text), rec.data(), "fuzz.dbf");
        } catch (const DbfError &) {
        }
        if (size >= 8) {
            double d;
            std::memcpy(&d, data, sizeof d);
            try {
                dbf::encodeField(f, dbf::Value::ofReal(d), rec.data(), "fuzz.dbf");
            } catch (const DbfError &) {
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    try {
        const dbf::Header h = dbf::parseHeader(data, size, size, "fuzz.dbf");
        decodeRecords(h, data);
    } catch (const DbfError &) {
    }
    encodeBytesAsValue(data, size);
    return 0;
}
