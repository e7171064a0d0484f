#pragma once
// The subscriber list of the register screen: reading it in a chosen order, and the
// filter of its ABONATI panel applied to the rows already read (so typing in the name
// filter never re-reads the table).

#include <QString>

#include <vector>

namespace vestronia {

class Database;
class ResultSet;

struct SubscriberFilter
{
    QString name;      // prefix of NUME; blank = any
    bool activeOnly = false;
    QString locality;  // exact LOC; empty = any
    QString street;    // exact STRADA; empty = any
    QString number;    // exact NR; blank = any
    QString type;      // "F" or "J"; empty = any
    int today = 0;     // day number the "active" test compares with

    bool isEmpty() const;
};

// Indexes of the rows of an Abonat result that pass the filter, in the result's order.
// A subscriber is active when DATAIN is a real date and DATAOUT is none or not before
// today.
std::vector<int> filterSubscribers(const ResultSet &rows, const SubscriberFilter &filter);

// The stored field a column sorts by: display twins map to their day-number field and
// "Oprit" (INACTIV) to DATAOUT. Empty for a name that is not a column of Abonat.
QString subscriberSortField(const QString &columnField);

// Every subscriber ordered by the given stored field (NUME when empty or unknown).
ResultSet listSubscribers(Database &db, const QString &orderField);

} // namespace vestronia
