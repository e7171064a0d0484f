#pragma once
// The ledger fixture plus short ways to put debits and collections into the data folder
// for the collections tests.

#include "ledger/ledgerfixture.h"

#include "core/money.h"

namespace vestronia::testing {

inline Money lei(const char *text)
{
    return *Money::parse(QString::fromLatin1(text));
}

class CollectionsFixture : public LedgerFixture
{
public:
    using LedgerFixture::LedgerFixture;

    // A debit row as the monthly run or a manual debit leaves it.
    qint64 insertDebit(qint64 idab, const char *rest, int date, int penaltyStart = 0, const char *percent = "0",
                       const QString &unit = QStringLiteral("zi"), const QString &cap = QString(), qint64 idcon = 1,
                       qint64 idserv = -1, const char *amount = nullptr, const QString &name = QStringLiteral("DEBIT"))
    {
        const qint64 id = nextDebitId++;
        db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                                "PENALPE, PENALDATA, MAXSOLD) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {id, idserv, idab, idcon, date, monthIndexOfDay(date), name, QVariant::fromValue(lei(amount ? amount : rest)),
                  QVariant::fromValue(lei(rest)), QVariant::fromValue(lei(percent)), unit, penaltyStart, cap});
        return id;
    }

    Money sold(qint64 iddeb)
    {
        return Money::fromVariant(db->scalar(QStringLiteral("SELECT SOLD FROM Debite WHERE IDDEB=?"), {iddeb}));
    }

    int today() const { return Clock::todayDayNumber(); }

    qint64 nextDebitId = 1000;
};

} // namespace vestronia::testing
