// The equality index of a dbf column: a bisection over the records themselves when the
// column's numbers follow the record order, else open addressing keyed by the value with
// chains of record numbers threaded through one array. Limits: a text is keyed by its hash
// and checked against the first record of its chain; deleted records may stay listed
// (readers skip them); the ordered form trusts that a record's bytes change only between
// remove() and add().

#include "store/dbfindex.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vestronia::dbfimpl {

namespace {

// A whole number of up to 15 digits, right-aligned the way dBase writes it, read without
// the general parser: the common case of identifiers. Anything else: false.
bool plainInteger(const char *p, int length, double &out)
{
    const char *e = p + length;
    while (p < e && (*p == ' ' || *p == '\0'))
        ++p;
    const bool negative = p < e && *p == '-';
    if (negative)
        ++p;
    const char *digits = p;
    std::uint64_t v = 0;
    while (p < e && static_cast<unsigned>(*p - '0') < 10 && p - digits < 16) {
        v = v * 10 + static_cast<unsigned>(*p - '0');
        ++p;
    }
    if (p == digits || p - digits > 15)
        return false;
    for (const char *q = p; q < e; ++q)
        if (*q != ' ' && *q != '\0')
            return false;
    out = negative && v != 0 ? -double(v) : double(v);
    return true;
}

// Out-of-order records allowed among the first `seen` before the hash form is cheaper:
// each costs a map entry. Judged as the pass goes, so a column that is not ordered (the
// subscriber of each debit, say) is given up within a few thousand records.
std::uint32_t asideLimit(std::uint32_t seen) { return seen / 32 + 256; }

} // namespace

bool EqIndex::valueOf(const char *record, std::uint32_t row, dbf::Key &k) const
{
    if ((m_field.type == 'N' || m_field.type == 'F') && plainInteger(record + m_field.offset, m_field.length, k.number)) {
        k.isText = false;
        return true;
    }
    return dbf::fieldKey(m_field, record, k, m_fileName, row);
}

void EqIndex::build(const char *records, std::uint32_t recordLength, std::uint32_t count)
{
    if (m_field.type != 'C' && buildOrdered(records, recordLength, count))
        return;
    hashBuild(records, recordLength, count);
}

// One pass in file order. A record out of order (or blank, or not a number) is placed at
// the value before it and listed aside; too many of them and the hash form is built instead.
bool EqIndex::buildOrdered(const char *records, std::uint32_t recordLength, std::uint32_t count)
{
    struct Aside
    {
        std::uint32_t row;
        double place;
        bool listed;
        double value;
    };
    std::vector<Aside> aside;
    double last = -INFINITY;
    for (std::uint32_t r = 1; r <= count; ++r) {
        const char *rec = records + size_t(r - 1) * recordLength;
        dbf::Key k;
        const bool has = valueOf(rec, r, k);
        if (has && k.isText)
            return false; // only numbers are bisected
        if (has && !std::isnan(k.number) && k.number >= last) {
            last = k.number;
            continue;
        }
        if (aside.size() >= asideLimit(r))
            return false;
        aside.push_back({r, last, has && *rec != dbf::DeletedFlag, has ? k.number : 0});
    }
    m_ordered = true;
    m_rows = count;
    m_last = last;
    m_aside.reserve(aside.size());
    for (const Aside &a : aside) {
        m_aside.emplace(a.row, a.place);
        if (a.listed)
            m_extra[numberKey(a.value)].push_back(a.row); // rows ascend
    }
    return true;
}

double EqIndex::placeOf(const char *records, std::uint32_t recordLength, std::uint32_t row) const
{
    if (!m_aside.empty()) {
        const auto it = m_aside.find(row);
        if (it != m_aside.end())
            return it->second;
    }
    dbf::Key k;
    // A record not aside holds the number it was placed by (no blank, no text).
    if (!valueOf(records + size_t(row - 1) * recordLength, row, k) || k.isText)
        return NAN;
    return k.number;
}

void EqIndex::findOrdered(double value, const char *records, std::uint32_t recordLength,
                          std::vector<std::uint32_t> &out) const
{
    if (value == 0)
        value = 0; // -0 is 0
    const size_t from = out.size();
    if (!std::isnan(value)) {
        std::uint32_t lo = 1, hi = m_rows + 1; // the first record placed at or after the value
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (placeOf(records, recordLength, mid) < value)
                lo = mid + 1;
            else
                hi = mid;
        }
        for (std::uint32_t r = lo; r <= m_rows && placeOf(records, recordLength, r) == value; ++r)
            if (m_aside.empty() || !m_aside.count(r))
                out.push_back(r);
    }
    const auto it = m_extra.find(numberKey(value));
    if (it == m_extra.end())
        return;
    const size_t middle = out.size();
    out.insert(out.end(), it->second.begin(), it->second.end());
    std::inplace_merge(out.begin() + std::ptrdiff_t(from), out.begin() + std::ptrdiff_t(middle), out.end());
}

void EqIndex::listExtra(double value, std::uint32_t row)
{
    std::vector<std::uint32_t> &rows = m_extra[numberKey(value)];
    const auto at = std::lower_bound(rows.begin(), rows.end(), row);
    if (at == rows.end() || *at != row)
        rows.insert(at, row);
}

void EqIndex::orderedAdd(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    dbf::Key k;
    const bool has = valueOf(records + size_t(row - 1) * recordLength, row, k);
    if (has && k.isText) { // only numbers are bisected
        m_rows = std::max(m_rows, row);
        becomeHash(records, recordLength);
        return;
    }
    if (row > m_rows) {
        // Records never added (deleted, or blank) are placed but not listed.
        for (std::uint32_t r = m_rows + 1; r < row; ++r)
            m_aside.emplace(r, m_last);
        m_rows = row;
        if (has && !std::isnan(k.number) && k.number >= m_last) {
            m_last = k.number;
            return;
        }
        m_aside.emplace(row, m_last);
        if (has)
            listExtra(k.number, row);
        return;
    }
    const auto it = m_aside.find(row);
    if (it == m_aside.end())
        return; // listed already
    if (has && k.number == it->second) {
        unlistExtra(k.number, row);
        m_aside.erase(it); // back at its place
        return;
    }
    if (has)
        listExtra(k.number, row);
}

void EqIndex::orderedRemove(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    if (row == 0 || row > m_rows)
        return;
    dbf::Key k;
    const bool has = valueOf(records + size_t(row - 1) * recordLength, row, k) && !k.isText;
    const auto it = m_aside.find(row);
    if (it == m_aside.end()) {
        // Listed by its place, which is its value: it keeps the place, not the listing.
        m_aside.emplace(row, has ? k.number : placeOf(records, recordLength, row));
        return;
    }
    if (has)
        unlistExtra(k.number, row);
}

void EqIndex::unlistExtra(double value, std::uint32_t row)
{
    const auto e = m_extra.find(numberKey(value));
    if (e == m_extra.end())
        return;
    const auto at = std::lower_bound(e->second.begin(), e->second.end(), row);
    if (at != e->second.end() && *at == row)
        e->second.erase(at);
    if (e->second.empty())
        m_extra.erase(e);
}

// Too many records came out of order since the building (a work table filled at random,
// say): the hash form costs less. Every record up to the last added is listed again.
void EqIndex::becomeHash(const char *records, std::uint32_t recordLength)
{
    const std::uint32_t rows = m_rows;
    m_ordered = false;
    m_rows = 0;
    m_aside = {};
    m_extra = {};
    hashBuild(records, recordLength, rows);
}

void EqIndex::add(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    if (!m_ordered) {
        hashAdd(records, recordLength, row);
        return;
    }
    orderedAdd(records, recordLength, row);
    if (m_ordered && m_aside.size() > std::max<size_t>(4096, m_rows / 16))
        becomeHash(records, recordLength);
}

void EqIndex::remove(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    if (m_ordered)
        orderedRemove(records, recordLength, row);
    else
        hashRemove(records, recordLength, row);
}

void EqIndex::hashAdd(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    Probe p;
    if (!keyOf(records + size_t(row - 1) * recordLength, row, p))
        return;
    hashAdd(records, recordLength, row, p);
}

void EqIndex::hashBuild(const char *records, std::uint32_t recordLength, std::uint32_t rows)
{
    m_next.assign(size_t(rows) + 1, 0); // once, not grown and copied record by record
    // The keys of a batch first, their slots asked of the memory ahead of the insertions:
    // a table of many values does not fit the cache, and waiting for each slot in turn
    // costs more than reading the records.
    constexpr std::uint32_t Batch = 16;
    Probe probes[Batch];
    std::uint32_t rowsOf[Batch];
    for (std::uint32_t first = 1; first <= rows; first += Batch) {
        const std::uint32_t last = std::min<std::uint64_t>(std::uint64_t(first) + Batch - 1, rows);
        std::uint32_t n = 0;
        for (std::uint32_t r = first; r <= last; ++r) {
            const char *rec = records + size_t(r - 1) * recordLength;
            if (*rec == dbf::DeletedFlag || !keyOf(rec, r, probes[n]))
                continue;
            if (!m_slots.empty())
                __builtin_prefetch(&m_slots[mix(probes[n].key) & (m_slots.size() - 1)]);
            rowsOf[n++] = r;
        }
        for (std::uint32_t i = 0; i < n; ++i)
            hashAdd(records, recordLength, rowsOf[i], probes[i]);
    }
}

void EqIndex::hashAdd(const char *records, std::uint32_t recordLength, std::uint32_t row, const Probe &p)
{
    if (m_next.size() <= row)
        m_next.resize(std::max<size_t>(row + 1, m_next.size() + m_next.size() / 2));
    m_next[row] = 0;
    if ((m_used + 1) * 10 > m_slots.size() * 7)
        grow();
    const size_t at = find(p, records, recordLength, true);
    Slot &s = m_slots[at];
    if (s.head == 0) {
        if (s.tail == 0)
            ++m_used; // a free slot, not a reused removed one
        s.key = p.key;
        s.head = s.tail = row;
        return;
    }
    if (row > s.tail) { // appends arrive in order
        m_next[s.tail] = row;
        s.tail = row;
        return;
    }
    std::uint32_t prev = 0, cur = s.head;
    while (cur != 0 && cur < row) {
        prev = cur;
        cur = m_next[cur];
    }
    if (cur == row)
        return;
    m_next[row] = cur;
    if (prev == 0)
        s.head = row;
    else
        m_next[prev] = row;
}

void EqIndex::hashRemove(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    Probe p;
    if (m_slots.empty() || !keyOf(records + size_t(row - 1) * recordLength, row, p))
        return;
    const size_t at = find(p, records, recordLength, false);
    if (at == NotFound)
        return;
    Slot &s = m_slots[at];
    std::uint32_t prev = 0, cur = s.head;
    while (cur != 0 && cur != row) {
        prev = cur;
        cur = m_next[cur];
    }
    if (cur == 0)
        return;
    if (prev == 0)
        s.head = m_next[row];
    else
        m_next[prev] = m_next[row];
    if (s.tail == row)
        s.tail = prev;
    m_next[row] = 0;
    if (s.head == 0)
        s.tail = Removed;
}

bool EqIndex::keyOf(const char *record, std::uint32_t row, Probe &p) const
{
    dbf::Key k;
    if (!valueOf(record, row, k))
        return false;
    p.isText = k.isText;
    p.bytes = k.bytes;
    p.key = k.isText ? textHash(k.bytes) : numberKey(k.number);
    return true;
}

bool EqIndex::matches(const Slot &s, const Probe &p, const char *records, std::uint32_t recordLength) const
{
    if (s.key != p.key)
        return false;
    if (!p.isText)
        return true;
    dbf::Key k;
    return dbf::fieldKey(m_field, records + size_t(s.head - 1) * recordLength, k, m_fileName, s.head) &&
           k.bytes == p.bytes;
}

size_t EqIndex::find(const Probe &p, const char *records, std::uint32_t recordLength, bool forInsert) const
{
    const size_t mask = m_slots.size() - 1;
    size_t reusable = NotFound;
    for (size_t i = mix(p.key) & mask;; i = (i + 1) & mask) {
        const Slot &s = m_slots[i];
        if (s.head == 0 && s.tail == 0)
            return forInsert ? (reusable != NotFound ? reusable : i) : NotFound;
        if (s.head == 0) {
            if (reusable == NotFound)
                reusable = i;
            continue;
        }
        if (matches(s, p, records, recordLength))
            return i;
    }
}

void EqIndex::collect(const Probe &p, const char *records, std::uint32_t recordLength, std::vector<std::uint32_t> &out) const
{
    if (m_slots.empty())
        return;
    const size_t at = find(p, records, recordLength, false);
    if (at == NotFound)
        return;
    for (std::uint32_t r = m_slots[at].head; r != 0; r = m_next[r])
        out.push_back(r);
}

void EqIndex::grow()
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(std::max<size_t>(64, old.size() * 2), Slot{});
    m_used = 0;
    const size_t mask = m_slots.size() - 1;
    for (const Slot &s : old) {
        if (s.head == 0)
            continue;
        size_t i = mix(s.key) & mask;
        while (m_slots[i].head != 0)
            i = (i + 1) & mask;
        m_slots[i] = s;
        ++m_used;
    }
}

} // namespace vestronia::dbfimpl
