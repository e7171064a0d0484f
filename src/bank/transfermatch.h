#pragma once
// Which subscriber a bank transfer pays for, decided from the register alone: a personal
// or company code of a subscriber in the payment text, then a contract or roll number
// written as such, then the payer's name equal to exactly one active subscriber's. An
// ambiguous or unknown transfer is parked, never guessed. Pure: no data access.

#include "bank/bankstatement.h"

#include <QHash>
#include <QString>
#include <vector>

namespace vestronia {

class ResultSet;

// What matching needs of one Abonat row.
struct RegisterEntry
{
    qint64 idab = 0;
    QString name;
    QString code;     // CNP (or CUI)
    QString rol;
    QString contract; // NRCON
    bool active = true;
};

// The register prepared for matching: each code, contract, roll number and active name
// with the subscribers that carry it.
class MatchRegister
{
public:
    explicit MatchRegister(const std::vector<RegisterEntry> &subscribers);
    // From "SELECT IDAB, NUME, CNP, ROL, NRCON, DATAIN, DATAOUT FROM Abonat"; active as the
    // register screen counts it on the given day.
    static MatchRegister fromRows(const ResultSet &rows, int today);

    QList<qint64> byCode(const QString &code) const { return m_codes.value(code); }
    QList<qint64> byContract(const QString &contract) const { return m_contracts.value(contract); }
    QList<qint64> byRol(const QString &rol) const { return m_rols.value(rol); }
    QList<qint64> byActiveName(const QString &name) const { return m_names.value(name); }
    QString nameOf(qint64 idab) const { return m_display.value(idab); }

private:
    QHash<QString, QList<qint64>> m_codes, m_contracts, m_rols, m_names;
    QHash<qint64, QString> m_display;
};

enum class MatchReason { None, Code, Contract, Rol, Name };
QString matchReasonText(MatchReason reason); // "cod", "contract", "rol", "nume"

struct TransferMatch
{
    qint64 idab = 0;          // 0 when parked
    MatchReason reason = MatchReason::None;
    QString parkReason;       // why it is parked; empty when matched
};

// A name or text as compared: CleanText, upper case, accents and cedillas dropped.
QString matchingText(const QString &text);
// A personal/company code as compared: digits only, without a leading "RO".
QString matchingCode(const QString &code);

TransferMatch matchTransfer(const BankEntry &entry, const MatchRegister &reg);

} // namespace vestronia
