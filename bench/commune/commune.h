#pragma once
// A large commune for benchmarks and load tests: localities and streets, subscribers
// (households and firms) with valid personal codes, the usual periodic accounts (per
// person by household size, a fixed price for large households) and one-off accounts,
// their subscriptions, and years of monthly debits written by the real monthly run.
//
// Later generators (collections, follow-up acts) start from the folder this one writes.

#include "core/progress.h"
#include "core/session.h"

#include <QDate>
#include <QString>

namespace vestronia::bench {

struct CommuneOptions
{
    int subscribers = 10000;
    int years = 10;
    // Months up to "today" left without debits, so that a benchmark can time the run
    // that writes them.
    int undebitedMonths = 0;
    QDate today = QDate(2024, 11, 29);
    quint32 seed = 20241129;
    // Per thousand subscribers: households that left in the last year and households
    // exempted for the coming months (both marked after the debits are written).
    int leaversPerThousand = 25;
    int exemptedPerThousand = 15;
};

struct CommuneStats
{
    int localities = 0;
    int streets = 0;
    int subscribers = 0;
    int accounts = 0;
    int subscriptions = 0;
    qint64 debits = 0;
    int leavers = 0;
    int exempted = 0;
};

// A session on home (program folder), its data folder home/Data and TEMP home/Temp.
Session communeSession(const QString &home);

// Writes the commune into home (which should be empty). Leaves Clock at options.today.
// Throws VestroniaError on any failure.
CommuneStats generateCommune(const QString &home, const CommuneOptions &options, Progress &progress);

} // namespace vestronia::bench
