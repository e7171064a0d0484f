#pragma once
// The equality index of one column of a dbf table's snapshot: a compact hash from a value
// to the ascending record numbers that hold it. Used by the "dbf" module's planner.

#include "store/dbfcodec.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::dbfimpl {

using dbf::Field;

// Equality index of one column: an open-addressing hash table from a value to the chain
// of its record numbers (ascending), the chains threaded through one array indexed by
// record number. About 4 bytes per record plus 16 per distinct value and free slots, so
// a unique column of a million debits costs some 40 MB, not a node per value. A number
// is its own key; a text is keyed by its hash and checked against the bytes of the
// first record of the chain. Deleted records may stay listed; readers skip them.
class EqIndex
{
public:
    EqIndex(const Field &field, const std::string &fileName) : m_field(field), m_fileName(fileName) {}

    // Lists a record (its field already holds the value).
    void add(const char *records, std::uint32_t recordLength, std::uint32_t row);

    // Unlists a record; call it while its field still holds the listed value.
    void remove(const char *records, std::uint32_t recordLength, std::uint32_t row);

    // The records holding a number / a text (code-page bytes), ascending.
    void findNumber(double value, const char *records, std::uint32_t recordLength, std::vector<std::uint32_t> &out) const
    {
        Probe p;
        p.isText = false;
        p.key = numberKey(value);
        collect(p, records, recordLength, out);
    }
    void findText(std::string_view bytes, const char *records, std::uint32_t recordLength,
                  std::vector<std::uint32_t> &out) const
    {
        Probe p;
        p.isText = true;
        p.bytes = bytes;
        p.key = textHash(bytes);
        collect(p, records, recordLength, out);
    }

private:
    // head 0 marks a slot without records: free (tail 0) or emptied (tail Removed), which
    // keeps the probe sequences of the slots after it intact.
    struct Slot
    {
        std::uint64_t key = 0;
        std::uint32_t head = 0;
        std::uint32_t tail = 0;
    };
    struct Probe
    {
        bool isText = false;
        std::uint64_t key = 0;
        std::string_view bytes;
    };
    static constexpr std::uint32_t Removed = 1;
    static constexpr size_t NotFound = size_t(-1);

    static std::uint64_t numberKey(double d)
    {
        if (d == 0)
            d = 0; // one key for -0.0 and 0.0
        std::uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        return u;
    }
    static std::uint64_t textHash(std::string_view bytes)
    {
        std::uint64_t h = 1469598103934665603ULL; // FNV-1a
        for (char c : bytes)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        return h;
    }
    static size_t mix(std::uint64_t x)
    {
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        x ^= x >> 33;
        return size_t(x);
    }

    bool keyOf(const char *record, std::uint32_t row, Probe &p) const;

    bool matches(const Slot &s, const Probe &p, const char *records, std::uint32_t recordLength) const;

    // The slot of the key; for an insertion the slot to fill when the key is new.
    size_t find(const Probe &p, const char *records, std::uint32_t recordLength, bool forInsert) const;

    void collect(const Probe &p, const char *records, std::uint32_t recordLength, std::vector<std::uint32_t> &out) const;

    // Doubles the table (and drops emptied slots); keys are unique, so no comparisons.
    void grow();

    Field m_field;
    std::string m_fileName;
    std::vector<Slot> m_slots;          // power-of-two size
    size_t m_used = 0;                  // slots not free (with records or emptied)
    std::vector<std::uint32_t> m_next;  // next record of the same value, 0 = end
};

} // namespace vestronia::dbfimpl
