#pragma once
// The equality index of one column of a dbf table's snapshot: from a value to the ascending
// record numbers that hold it. Used by the "dbf" module's planner.

#include "store/dbfcodec.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vestronia::dbfimpl {

using dbf::Field;

// Equality index of one column, in one of two forms chosen when it is built:
// - Ordered: a numeric column whose values do not decrease with the record number (record
//   identifiers nearly always) is searched by bisection over the records' own bytes. It
//   costs no memory per record and its building reads each record once, in file order.
//   The few records out of order at the building, and those changed or appended out of
//   order since, are kept aside: their place in the order (the value they are bisected by)
//   and, when listed, their value in a small map.
// - Hash: otherwise, an open-addressing hash table from a value to the chain of its record
//   numbers (ascending), the chains threaded through one array indexed by record number.
//   About 4 bytes per record plus 16 per distinct value and free slots. A number is its own
//   key; a text is keyed by its hash and checked against the bytes of the first record of
//   the chain.
// Deleted records may stay listed; readers skip them. Either form answers exactly the
// records whose field holds the value (text compared byte for byte, numbers as numbers
// with -0 equal to 0).
class EqIndex
{
public:
    EqIndex(const Field &field, const std::string &fileName) : m_field(field), m_fileName(fileName) {}
    EqIndex(const EqIndex &) = delete;
    EqIndex &operator=(const EqIndex &) = delete;

    // Lists the live records 1..count, choosing the form. Call once, on a new index.
    void build(const char *records, std::uint32_t recordLength, std::uint32_t count);

    // Whether the ordered form was chosen (for tests and measurements).
    bool ordered() const { return m_ordered; }

    // Lists a record (its field already holds the value).
    void add(const char *records, std::uint32_t recordLength, std::uint32_t row);

    // Unlists a record; call it while its field still holds the listed value.
    void remove(const char *records, std::uint32_t recordLength, std::uint32_t row);

    // The records holding a number / a text (code-page bytes), ascending.
    void findNumber(double value, const char *records, std::uint32_t recordLength, std::vector<std::uint32_t> &out) const
    {
        if (m_ordered) {
            findOrdered(value, records, recordLength, out);
            return;
        }
        Probe p;
        p.isText = false;
        p.key = numberKey(value);
        collect(p, records, recordLength, out);
    }
    void findText(std::string_view bytes, const char *records, std::uint32_t recordLength,
                  std::vector<std::uint32_t> &out) const
    {
        if (m_ordered)
            return; // only numeric columns are ordered: no record holds a text
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
    // The field's value; false when it has none (blank).
    bool valueOf(const char *record, std::uint32_t row, dbf::Key &k) const;

    void hashAdd(const char *records, std::uint32_t recordLength, std::uint32_t row);
    void hashAdd(const char *records, std::uint32_t recordLength, std::uint32_t row, const Probe &p);
    // Lists the live records 1..rows into an empty hash.
    void hashBuild(const char *records, std::uint32_t recordLength, std::uint32_t rows);
    void hashRemove(const char *records, std::uint32_t recordLength, std::uint32_t row);

    // The ordered form. Every record 1..m_rows has a place in the order: the value it held
    // when it joined the order, which is its field's value unless the record is in m_aside.
    // Listed are the records not aside (through the bisection) and those in m_extra.
    bool buildOrdered(const char *records, std::uint32_t recordLength, std::uint32_t count);
    double placeOf(const char *records, std::uint32_t recordLength, std::uint32_t row) const;
    void findOrdered(double value, const char *records, std::uint32_t recordLength,
                     std::vector<std::uint32_t> &out) const;
    void orderedAdd(const char *records, std::uint32_t recordLength, std::uint32_t row);
    void orderedRemove(const char *records, std::uint32_t recordLength, std::uint32_t row);
    void listExtra(double value, std::uint32_t row);
    void unlistExtra(double value, std::uint32_t row);
    void becomeHash(const char *records, std::uint32_t recordLength);

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

    bool m_ordered = false;
    std::uint32_t m_rows = 0;           // records placed in the order: 1..m_rows
    double m_last = 0;                  // the place of record m_rows
    std::unordered_map<std::uint32_t, double> m_aside; // record -> its place, field not bisected
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> m_extra; // value key -> aside records listed, ascending
};

} // namespace vestronia::dbfimpl
