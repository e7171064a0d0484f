#pragma once
// A ledger fixture with what the enforcement tests need: subscribers with a contract and
// open debits (so they owe something today), and the two letter models in the data
// folder as the start-up sequence writes them.

#include "ledger/ledgerfixture.h"

#include "collections/balance.h"
#include "enforcement/acts.h"
#include "enforcement/letters.h"

#include <QFile>

namespace vestronia::testing {

class EnforcementFixture : public LedgerFixture
{
public:
    EnforcementFixture() : LedgerFixture(QDate(2024, 11, 29))
    {
        for (const QString &name : {QStringLiteral("Instiintare.rtf"), QStringLiteral("SomTit.rtf")}) {
            const QString target = session.dataFolder + QLatin1Char('/') + name;
            QFile::copy(QStringLiteral(VESTRONIA_SOURCE_DIR "/resources/letters/") + name, target);
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        }
    }

    // A subscriber with identity fields and a contract.
    qint64 debtor(const QString &name, const QString &locality = QStringLiteral("VESTRONIA"), int leaveDay = 0)
    {
        const qint64 id = insertSubscriber(name, 2, day(2020, 1, 1), leaveDay);
        db->exec(QStringLiteral("UPDATE Abonat SET LOC=?, STRADA='Morii', NR='12A', ROL='R77', CNP='1800101123456', "
                                "NRCON='C-55', DATACON=? WHERE IDAB=?"),
                 {locality, day(2021, 3, 4), id});
        return id;
    }

    // An open debit; a penalty of 1 per day from the given day when penaltyFrom is set.
    void openDebit(qint64 idab, const QString &rest, int debitDay, int penaltyFrom = 0)
    {
        const qint64 id = nextDebitId++;
        db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                                "PENALPE, PENALDATA, MAXSOLD) VALUES (?, 0, ?, 0, ?, ?, 'Salubrizare', ?, ?, ?, 'zi', ?, '-')"),
                 {id, idab, debitDay, monthIndexOfDay(debitDay), Money::parse(rest)->toVariant(),
                  Money::parse(rest)->toVariant(), penaltyFrom ? 1 : 0, penaltyFrom});
    }

    ActAmounts owed(qint64 idab) { return ActAmounts::fromTotals(balanceOf(*db, idab, Clock::todayDayNumber())); }

    static LetterUnit unit()
    {
        return {QStringLiteral("Brasov"), QStringLiteral("Primaria Vestronia"), QStringLiteral("Vestronia")};
    }

    QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    qint64 nextDebitId = 1000;
};

} // namespace vestronia::testing
