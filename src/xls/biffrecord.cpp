// Splitting a BIFF8 stream into records and writing records back. Records keep their
// CONTINUE data separately so that unknown records are written back unchanged.

#include "xls/biffrecord.h"

#include "xls/xlserror.h"

#include <cstring>

namespace vestronia::biff {

std::string BiffRecord::joined() const
{
    std::string all = data;
    for (const std::string &c : continues)
        all += c;
    return all;
}

void BiffRecord::setJoined(const std::string &all)
{
    std::size_t total = data.size();
    for (const std::string &c : continues)
        total += c.size();
    if (all.size() != total)
        throw XlsError(QStringLiteral("o formula si-a schimbat lungimea la mutarea referintelor"));
    std::size_t pos = data.size();
    data = all.substr(0, pos);
    for (std::string &c : continues) {
        c = all.substr(pos, c.size());
        pos += c.size();
    }
}

void putDouble(std::string &out, double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    put32(out, std::uint32_t(bits & 0xFFFFFFFFu));
    put32(out, std::uint32_t(bits >> 32));
}

double getDouble(const char *p)
{
    const std::uint64_t bits = std::uint64_t(get32(p)) | (std::uint64_t(get32(p + 4)) << 32);
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::vector<BiffRecord> splitRecords(std::string_view stream)
{
    std::vector<BiffRecord> records;
    // Some writers pad the stream to a block size with zeros: a zero tail ends the records.
    const std::size_t lastNonZero = stream.find_last_not_of('\0');
    const std::size_t dataEnd = lastNonZero == std::string_view::npos ? 0 : lastNonZero + 1;
    std::size_t pos = 0;
    std::size_t count = 0;
    while (pos < dataEnd) {
        if (stream.size() - pos < 4)
            throw XlsError(QStringLiteral("inregistrare trunchiata la pozitia %1").arg(pos));
        const std::uint16_t id = get16(stream.data() + pos);
        const std::uint16_t length = get16(stream.data() + pos + 2);
        if (stream.size() - pos - 4 < length)
            throw XlsError(QStringLiteral("inregistrare trunchiata la pozitia %1").arg(pos));
        if (++count > MaxRecords)
            throw XlsError(QStringLiteral("are prea multe inregistrari"));
        std::string data(stream.substr(pos + 4, length));
        if (id == RecContinue && !records.empty()) {
            records.back().continues.push_back(std::move(data));
        } else {
            BiffRecord r;
            r.id = id;
            r.data = std::move(data);
            r.offset = pos;
            records.push_back(std::move(r));
        }
        pos += 4 + std::size_t(length);
    }
    return records;
}

void appendRecord(std::string &out, std::uint16_t id, std::string_view data)
{
    put16(out, id);
    put16(out, std::uint16_t(data.size()));
    out.append(data);
}

void appendRecord(std::string &out, const BiffRecord &record)
{
    appendRecord(out, record.id, record.data);
    for (const std::string &c : record.continues)
        appendRecord(out, RecContinue, c);
}

bool isCellTableRecord(std::uint16_t id)
{
    switch (id) {
    case RecRow:
    case RecBlank:
    case RecMulBlank:
    case RecNumber:
    case RecRk:
    case RecMulRk:
    case RecLabelSst:
    case RecLabel:
    case RecRString:
    case RecBoolErr:
    case RecFormula:
    case RecString:
    case RecShrFmla:
    case RecArray:
    case RecTable:
    case RecDbCell:
        return true;
    default:
        return false;
    }
}

} // namespace vestronia::biff
