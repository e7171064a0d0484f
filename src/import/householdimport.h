#pragma once
// Creating the subscriber register from an unpacked agricultural-register backup: one
// subscriber per household, a subscription to every periodic account running after the
// start date, and their debits from the start date up to today.
//
// All or nothing: the whole import is one transaction, so an error at any point leaves
// the register as empty as it was and the import can be offered again.

#include "core/progress.h"

#include <QString>
#include <QVector>

namespace vestronia {

class AgriculturalBackup;
class Database;
struct Household;
struct HouseholdHead;
struct Session;

struct ImportResult
{
    int households = 0;    // households read from the backup
    int subscribers = 0;   // subscribers written (households with a named head)
    int subscriptions = 0; // AbOm rows written
    qint64 debits = 0;     // Debite rows written
};

// Imports the households of the current year into an empty register, starting on the
// given day (a day number). Progress phases "Preiau gospodariile...", "Numerotare
// Abonati...", "Adaug ab." + account name and "Adaug Debitele...". Writes the change-log
// entry "Preluare date din Registrul Agricol.". Each counter (IDAB, IDSERV, IDDEB) is
// set to the next free number at the end of its phase.
// Throws ImportError when the register is not empty, when the backup has no household of
// type 1 for the year ("Preluare date Reg.Agr." / "\rNu exista gospodarii pe Tip 1 in anul
// <year> !") or none with a named head; VestroniaError (SqlError, FileError) when
// reading or writing fails. Nothing is written when it throws.
ImportResult importHouseholds(Database &db, const Session &session, const AgriculturalBackup &backup, int startDay,
                              Progress &progress);

// The street number of a household: NR1, then " BL." block, " SC." staircase and " AP."
// apartment for those present, trimmed.
QString householdNumber(const Household &household);
// The subscriber name of a head: surname, " " initial "." and " " first name for those
// present, cleaned and in upper case. Empty when the surname is.
QString headName(const HouseholdHead &head);

// The debit days of an imported subscription: the debit day of the start month, then
// every period, as long as the day is not after today; the first one is written even
// when it lies after today. None on or after a stop day (0 = none).
QVector<int> importDebitDays(int startDay, int stopDay, int debitDay, int periodMonths, int today);

} // namespace vestronia
