#pragma once
// The printed cash book for a period from the "RegCasa" template: the year-to-date sums,
// the balance before the period, and one block per day with its lines, each block
// carrying the previous block's final balance.

#include <QString>

namespace vestronia {

class Database;
class Progress;
struct Session;

// Builds the book for the days from..to (day numbers, from <= to) and saves it in the
// TEMP folder. Returns the workbook's path; the caller opens it. Throws
// XlsError/FileError when the template or the result fails.
QString printCashBook(Database &db, const Session &session, int from, int to, Progress &progress);

} // namespace vestronia
