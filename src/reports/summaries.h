#pragma once
// The two summaries: the follow-up acts of one type issued in a period ("CenIns") and
// the collections of one calendar year spread over the years of the debits they paid
// ("ChitAn", one column per debit year).

#include "reports/reportoutcome.h"

#include <QString>
#include <QStringList>

namespace vestronia {

class Database;
class Progress;

enum class FollowUpKind { Notices, Summons };

// "Centralizator Instiintari" / "Centralizator Somatii/Titluri".
QString followUpReportName(FollowUpKind kind);
// The act type stored in TIPACT: "Instiintare de plata" / "Somatie/Titlu executoriu".
QString followUpActType(FollowUpKind kind);

// Acts of the type dated in the period (both ends included), by date and number. With no
// act the outcome carries the report name as title and "\rNu exista niciun act in
// perioada selectata!".
ReportOutcome followUpSummaryReport(Database &db, const QString &tempFolder, const QString &unitName,
                                    FollowUpKind kind, const ReportPeriod &period);

// The years the year picker offers, newest first: those of debits paid at least in part.
QStringList collectionYearsOffered(Database &db);

// The most debit-year columns one sheet of the collections summary holds.
constexpr int MaxCollectionYearColumns = 200;

// The collections of calendar year `year`, per subscriber name and address as written on
// the documents, one column per debit year. A data folder whose collections of the year
// paid debits of more than MaxCollectionYearColumns years gets a refusal.
ReportOutcome collectionsByYearReport(Database &db, const QString &tempFolder, int year, Progress &progress);

} // namespace vestronia
