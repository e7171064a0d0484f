#pragma once
// The analytic/synthetic balance ("Bilant"): one row per subscriber with at least one
// debit of an account, and per calendar year a block of six columns (persons billed,
// balance carried over, debit, collections, deductions, final balance). The figures are
// computed per subscriber and year; the template's own formulas carry the balances from
// block to block and make the totals.

#include "reports/reportoutcome.h"

#include "core/money.h"

#include <QList>
#include <QString>

namespace vestronia {

class Database;
class Progress;

// The most year blocks one sheet holds next to the four fixed columns.
constexpr int MaxBalanceYears = 40;

// One figure line of the balance: a subscriber in a year.
struct BalanceYearFigures
{
    qint64 idab = 0;
    QString rol;
    QString name;
    QString cnp;
    int year = 0;
    qint64 persons = 0;
    Money debit;
    Money collected;
    Money deducted;
};

// Computes the figures, ordered by name, subscriber and year. Throws SqlError.
QList<BalanceYearFigures> computeYearBalance(Database &db, Progress &progress);

// The whole report. A data folder with more years than MaxBalanceYears gets a refusal
// instead of a sheet that cannot hold them.
ReportOutcome yearBalanceReport(Database &db, const QString &tempFolder, const QString &unitName, Progress &progress);

} // namespace vestronia
