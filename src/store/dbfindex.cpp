// The equality index of a dbf column: open addressing keyed by the value, chains of record
// numbers threaded through one array. Limits: a text is keyed by its hash and checked against
// the first record of its chain; deleted records may stay listed (readers skip them).

#include "store/dbfindex.h"

#include <algorithm>
#include <cstring>

namespace vestronia::dbfimpl {

void EqIndex::add(const char *records, std::uint32_t recordLength, std::uint32_t row)
{
    Probe p;
    if (!keyOf(records + size_t(row - 1) * recordLength, row, p))
        return;
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

void EqIndex::remove(const char *records, std::uint32_t recordLength, std::uint32_t row)
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
    if (!dbf::fieldKey(m_field, record, k, m_fileName, row))
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
