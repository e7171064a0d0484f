#pragma once
// Checks of the identity codes a subscriber may carry: the personal numeric code of a
// natural person and the fiscal code of a firm. Pure functions, no data access.

#include <QString>

namespace vestronia {

// Personal numeric code: 13 digits; first digit 1, 2, 5, 6 or 9; digits 2-7 a real
// calendar date (19yy for a first digit 1 or 2, 20yy otherwise); the 13th digit the
// weighted control digit.
bool isValidCNP(const QString &code);

// Fiscal code: blanks and a leading non-digit prefix ("RO") are ignored; 3 to 10
// digits whose last is the weighted control digit.
bool isValidCUI(const QString &code);

} // namespace vestronia
