// Shared string table: reading with bounds across CONTINUE records, adding texts, and
// writing with the splitting rules readers expect (a string's header never split from
// its first character, a repeated option byte where characters go on, runs kept whole).

#include "xls/sharedstrings.h"

#include "xls/xlserror.h"

#include <algorithm>

namespace vestronia::biff {

namespace {

XlsError damaged()
{
    return XlsError(QStringLiteral("tabela de texte (SST) este deteriorata"));
}

// Reads the data of a record and its continuations segment by segment.
class SegmentReader
{
public:
    explicit SegmentReader(const BiffRecord &r)
    {
        m_segments.push_back(r.data);
        for (const std::string &c : r.continues)
            m_segments.push_back(c);
    }
    bool atEnd()
    {
        skipEmpty();
        return m_seg >= m_segments.size();
    }
    std::size_t available() const { return m_seg < m_segments.size() ? m_segments[m_seg].size() - m_pos : 0; }
    bool atSegmentEnd() const { return available() == 0; }
    void nextSegment()
    {
        ++m_seg;
        m_pos = 0;
    }
    // Bytes that may run across segments (no option byte in between).
    std::string bytes(std::size_t n)
    {
        std::string out;
        while (out.size() < n) {
            skipEmpty();
            if (m_seg >= m_segments.size())
                throw damaged();
            const std::size_t take = std::min(n - out.size(), available());
            out.append(m_segments[m_seg], m_pos, take);
            m_pos += take;
        }
        return out;
    }
    std::uint8_t u8() { return std::uint8_t(bytes(1)[0]); }
    std::uint16_t u16()
    {
        const std::string b = bytes(2);
        return get16(b.data());
    }
    std::uint32_t u32()
    {
        const std::string b = bytes(4);
        return get32(b.data());
    }
    const char *here() const { return m_segments[m_seg].data() + m_pos; }
    void advance(std::size_t n) { m_pos += n; }
    std::size_t remainingTotal() const
    {
        std::size_t n = available();
        for (std::size_t s = m_seg + 1; s < m_segments.size(); ++s)
            n += m_segments[s].size();
        return n;
    }

private:
    void skipEmpty()
    {
        while (m_seg < m_segments.size() && m_pos >= m_segments[m_seg].size()) {
            ++m_seg;
            m_pos = 0;
        }
    }
    std::vector<std::string_view> m_segments;
    std::size_t m_seg = 0;
    std::size_t m_pos = 0;
};

} // namespace

void SharedStrings::parse(const BiffRecord &sst)
{
    m_entries.clear();
    m_plainIndex.clear();
    m_indexed = false;
    SegmentReader in(sst);
    if (sst.data.size() < 8)
        throw damaged();
    in.u32(); // total references: recomputed when written
    const std::uint32_t unique = in.u32();
    for (std::uint32_t i = 0; i < unique; ++i) {
        if (in.atEnd())
            break; // some writers overstate the count; the cells are checked against what is here
        if (i >= MaxSharedStrings)
            throw XlsError(QStringLiteral("are prea multe texte"));
        const std::uint16_t cch = in.u16();
        std::uint8_t flags = in.u8();
        std::uint16_t runCount = 0;
        std::uint32_t extSize = 0;
        if (flags & 0x08)
            runCount = in.u16();
        if (flags & 0x04)
            extSize = in.u32();
        SstEntry e;
        e.text.reserve(cch);
        std::size_t left = cch;
        while (left > 0) {
            if (in.atSegmentEnd()) {
                in.nextSegment();
                if (in.available() == 0)
                    throw damaged();
                flags = std::uint8_t((flags & ~0x01) | (in.u8() & 0x01));
                continue;
            }
            const std::size_t width = (flags & 0x01) ? 2 : 1;
            const std::size_t take = std::min(left, in.available() / width);
            if (take == 0)
                throw damaged(); // half a 16-bit character before a boundary
            const char *p = in.here();
            for (std::size_t k = 0; k < take; ++k)
                e.text.push_back(width == 2 ? char16_t(get16(p + 2 * k)) : char16_t(std::uint8_t(p[k])));
            in.advance(take * width);
            left -= take;
        }
        if (std::size_t(runCount) * 4 > in.remainingTotal() || extSize > in.remainingTotal())
            throw damaged();
        e.runs = in.bytes(std::size_t(runCount) * 4);
        e.ext = in.bytes(extSize);
        m_entries.push_back(std::move(e));
    }
}

std::uint32_t SharedStrings::add(std::u16string_view text)
{
    if (!m_indexed) {
        for (std::uint32_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].runs.empty() && m_entries[i].ext.empty())
                m_plainIndex.emplace(m_entries[i].text, i);
        m_indexed = true;
    }
    std::u16string key(text);
    const auto it = m_plainIndex.find(key);
    if (it != m_plainIndex.end())
        return it->second;
    const std::uint32_t index = std::uint32_t(m_entries.size());
    if (index >= 16u * MaxSharedStrings)
        throw XlsError(QStringLiteral("Registrul are prea multe texte."));
    SstEntry e;
    e.text = key;
    m_entries.push_back(std::move(e));
    m_plainIndex.emplace(std::move(key), index);
    return index;
}

void SharedStrings::write(std::string &out, const std::vector<const SstEntry *> &entries, std::uint32_t totalRefs)
{
    const std::size_t sstStart = out.size();
    std::vector<std::string> records(1);
    std::string *cur = &records.back();
    put32(*cur, totalRefs);
    put32(*cur, std::uint32_t(entries.size()));
    auto room = [&] { return MaxRecordData - cur->size(); };
    auto newRecord = [&] {
        records.emplace_back();
        cur = &records.back();
    };

    // Strings per EXTSST bucket: at least 8, and at most 128 buckets.
    const std::size_t perBucket = std::max<std::size_t>(8, (entries.size() + 127) / 128);
    struct BucketStart
    {
        std::size_t record;
        std::size_t offset;
    };
    std::vector<BucketStart> buckets;

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SstEntry &e = *entries[i];
        const bool wide = std::any_of(e.text.begin(), e.text.end(), [](char16_t c) { return c > 0xFF; });
        const std::size_t width = wide ? 2 : 1;
        const std::size_t runCount = std::min<std::size_t>(e.runs.size() / 4, 0xFFFF);
        const std::size_t header = 3 + (runCount ? 2 : 0) + (e.ext.empty() ? 0 : 4);
        const std::size_t cch = std::min<std::size_t>(e.text.size(), 0xFFFF);
        if (room() < header + (cch ? width : 0))
            newRecord();
        if (i % perBucket == 0)
            buckets.push_back({records.size() - 1, cur->size()});
        put16(*cur, std::uint16_t(cch));
        put8(*cur, std::uint8_t((wide ? 0x01 : 0) | (runCount ? 0x08 : 0) | (e.ext.empty() ? 0 : 0x04)));
        if (runCount)
            put16(*cur, std::uint16_t(runCount));
        if (!e.ext.empty())
            put32(*cur, std::uint32_t(e.ext.size()));
        std::size_t pos = 0;
        while (pos < cch) {
            std::size_t fit = room() / width;
            if (fit == 0) {
                newRecord();
                put8(*cur, wide ? 0x01 : 0x00);
                fit = room() / width;
            }
            const std::size_t take = std::min(fit, cch - pos);
            for (std::size_t k = 0; k < take; ++k) {
                const char16_t c = e.text[pos + k];
                if (wide)
                    put16(*cur, std::uint16_t(c));
                else
                    put8(*cur, std::uint8_t(c));
            }
            pos += take;
        }
        for (std::size_t r = 0; r < runCount; ++r) {
            if (room() < 4)
                newRecord();
            cur->append(e.runs, r * 4, 4);
        }
        std::size_t extPos = 0;
        while (extPos < e.ext.size()) {
            if (room() == 0)
                newRecord();
            const std::size_t take = std::min(room(), e.ext.size() - extPos);
            cur->append(e.ext, extPos, take);
            extPos += take;
        }
    }

    std::vector<std::size_t> recordStart;
    std::size_t pos = sstStart;
    for (std::size_t r = 0; r < records.size(); ++r) {
        recordStart.push_back(pos);
        appendRecord(out, r == 0 ? RecSst : RecContinue, records[r]);
        pos += 4 + records[r].size();
    }

    std::string ext;
    put16(ext, std::uint16_t(perBucket));
    for (const BucketStart &b : buckets) {
        put32(ext, std::uint32_t(recordStart[b.record] + 4 + b.offset));
        put16(ext, std::uint16_t(4 + b.offset));
        put16(ext, 0);
    }
    appendRecord(out, RecExtSst, ext);
}

std::u16string readUnicodeString16(std::string_view data, std::size_t &pos)
{
    if (data.size() < pos + 3)
        throw XlsError(QStringLiteral("text trunchiat"));
    const std::size_t cch = get16(data.data() + pos);
    const std::uint8_t flags = std::uint8_t(data[pos + 2]);
    pos += 3;
    std::size_t runs = 0, ext = 0;
    if (flags & 0x08) {
        if (data.size() < pos + 2)
            throw XlsError(QStringLiteral("text trunchiat"));
        runs = get16(data.data() + pos);
        pos += 2;
    }
    if (flags & 0x04) {
        if (data.size() < pos + 4)
            throw XlsError(QStringLiteral("text trunchiat"));
        ext = get32(data.data() + pos);
        pos += 4;
    }
    const std::size_t width = (flags & 0x01) ? 2 : 1;
    if ((data.size() - pos) / width < cch)
        throw XlsError(QStringLiteral("text trunchiat"));
    std::u16string text;
    text.reserve(cch);
    for (std::size_t k = 0; k < cch; ++k)
        text.push_back(width == 2 ? char16_t(get16(data.data() + pos + 2 * k))
                                  : char16_t(std::uint8_t(data[pos + k])));
    pos += cch * width;
    const std::size_t tail = runs * 4 + ext;
    pos = std::min(data.size(), pos + tail);
    return text;
}

std::u16string readUnicodeString8(std::string_view data, std::size_t &pos)
{
    if (data.size() < pos + 2)
        throw XlsError(QStringLiteral("text trunchiat"));
    const std::size_t cch = std::uint8_t(data[pos]);
    const std::uint8_t flags = std::uint8_t(data[pos + 1]);
    pos += 2;
    const std::size_t width = (flags & 0x01) ? 2 : 1;
    if ((data.size() - pos) / width < cch)
        throw XlsError(QStringLiteral("text trunchiat"));
    std::u16string text;
    for (std::size_t k = 0; k < cch; ++k)
        text.push_back(width == 2 ? char16_t(get16(data.data() + pos + 2 * k))
                                  : char16_t(std::uint8_t(data[pos + k])));
    pos += cch * width;
    return text;
}

void putUnicodeString16(std::string &out, std::u16string_view text)
{
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    const std::size_t cch = std::min<std::size_t>(text.size(), 0xFFFF);
    put16(out, std::uint16_t(cch));
    put8(out, wide ? 0x01 : 0x00);
    for (std::size_t k = 0; k < cch; ++k) {
        if (wide)
            put16(out, std::uint16_t(text[k]));
        else
            put8(out, std::uint8_t(text[k]));
    }
}

} // namespace vestronia::biff
