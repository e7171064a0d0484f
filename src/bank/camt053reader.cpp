// Reads ISO 20022 camt.053 bank-to-customer statements (.001.02 to .001.08) with
// QXmlStreamReader: every statement and account of the file, each entry and each of its
// transactions. No DTD, bounded depth, entry count and text; anything cut or malformed
// refuses the whole file, so a half-read statement is never recorded.

#include "bank/bankstatement.h"

#include <QDate>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace vestronia {

namespace {

constexpr int MaxDepth = 64;
constexpr int MaxTransactionsPerEntry = 10000;

struct CamtTransaction
{
    QString acctSvcrRef;
    QString txId;
    QString amount;      // TxDtls/Amt or AmtDtls/TxAmt/Amt
    QString amountCcy;
    QString debtor;
    QString ultimateDebtor;
    QString text;        // unstructured and structured remittance information
    QString additional;  // AddtlTxInf
};

struct Entry
{
    QString amount;
    QString currency;
    QString creditDebit;
    QString status;
    QString bookingDate;
    QString valueDate;
    QString acctSvcrRef;
    QString reversal;
    QString additional;
    std::vector<CamtTransaction> transactions;
};

[[noreturn]] void damaged(const QString &detail)
{
    throw BankFileError(QStringLiteral("Extrasul camt.053 este deteriorat si nu a fost citit: ") + detail);
}

void appendText(QString &to, const QString &text)
{
    const QString t = text.simplified();
    if (t.isEmpty() || to.size() >= MaxStatementTextLength)
        return;
    if (!to.isEmpty())
        to += QLatin1Char(' ');
    to += t;
    to.truncate(MaxStatementTextLength);
}

std::optional<Money> parseAmount(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,13}(\\.[0-9]{1,5})?$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return Money::parse(text);
}

int parseDay(const QString &text)
{
    const QDate d = QDate::fromString(text.left(10), Qt::ISODate);
    if (!d.isValid() || d.year() < 1990 || d.year() > 2200)
        return 0;
    return int(QDate(1899, 12, 30).daysTo(d));
}

BankEntry baseEntry(const Entry &e, int number)
{
    BankEntry b;
    const std::optional<Money> amount = parseAmount(e.amount);
    if (!amount)
        damaged(QStringLiteral("intrarea %1 are suma \"%2\"").arg(number).arg(e.amount.left(40)));
    b.amount = *amount;
    if (e.creditDebit != QLatin1String("CRDT") && e.creditDebit != QLatin1String("DBIT"))
        damaged(QStringLiteral("intrarea %1 nu spune daca este incasare sau plata").arg(number));
    b.credit = e.creditDebit == QLatin1String("CRDT");
    b.booked = e.status.isEmpty() || e.status == QLatin1String("BOOK");
    b.reversal = e.reversal == QLatin1String("true") || e.reversal == QLatin1String("1");
    b.currency = e.currency.toUpper();
    b.bookingDay = parseDay(e.bookingDate.isEmpty() ? e.valueDate : e.bookingDate);
    if (b.bookingDay == 0)
        damaged(QStringLiteral("intrarea %1 nu are o data de inregistrare").arg(number));
    return b;
}

QString payerOf(const CamtTransaction &t)
{
    return t.debtor.isEmpty() ? t.ultimateDebtor : t.debtor;
}

QString textOf(const CamtTransaction &t, const Entry &e)
{
    if (!t.text.isEmpty())
        return t.text;
    if (!t.additional.isEmpty())
        return t.additional;
    return e.additional;
}

// One entry becomes one transfer, or one per transaction when it holds several whose
// amounts add up to the entry's.
void finishEntry(const Entry &e, int number, BankStatement &statement)
{
    BankEntry b = baseEntry(e, number);
    if (e.transactions.size() <= 1) {
        const CamtTransaction t = e.transactions.empty() ? CamtTransaction{} : e.transactions.front();
        b.reference = !e.acctSvcrRef.isEmpty() ? e.acctSvcrRef : t.acctSvcrRef;
        b.payer = payerOf(t);
        b.text = textOf(t, e);
        statement.entries.push_back(b);
        return;
    }
    Money sum;
    bool split = true;
    std::vector<Money> amounts;
    for (const CamtTransaction &t : e.transactions) {
        const std::optional<Money> a = parseAmount(t.amount);
        if (!a || (!t.amountCcy.isEmpty() && t.amountCcy.toUpper() != b.currency)) {
            split = false;
            break;
        }
        amounts.push_back(*a);
        sum += *a;
    }
    if (!split || sum != b.amount) {
        // The details do not add up: keep the entry whole and let the clerk decide.
        b.reference = e.acctSvcrRef;
        for (const CamtTransaction &t : e.transactions) {
            appendText(b.payer, payerOf(t));
            appendText(b.text, textOf(t, e));
        }
        b.problem = QStringLiteral("Tranzactiile intrarii nu insumeaza suma ei");
        statement.entries.push_back(b);
        return;
    }
    for (size_t i = 0; i < e.transactions.size(); ++i) {
        const CamtTransaction &t = e.transactions[i];
        BankEntry part = b;
        part.amount = amounts[i];
        if (!t.acctSvcrRef.isEmpty())
            part.reference = t.acctSvcrRef;
        else if (!e.acctSvcrRef.isEmpty())
            part.reference = e.acctSvcrRef + QLatin1Char('/') + QString::number(i + 1);
        part.payer = payerOf(t);
        part.text = textOf(t, e);
        statement.entries.push_back(part);
    }
}

bool isCamt053Namespace(const QString &ns)
{
    static const QRegularExpression form(QStringLiteral("^urn:iso:std:iso:20022:tech:xsd:camt\\.053\\.001\\.0([2-8])$"));
    return form.match(ns).hasMatch();
}

} // namespace

std::vector<BankStatement> readCamt053(const QByteArray &bytes)
{
    if (bytes.size() > MaxStatementFileBytes)
        throw BankFileError(QStringLiteral("Fisierul extrasului este prea mare (peste 32 MB)."));
    QXmlStreamReader xml(bytes);
    std::vector<BankStatement> statements;
    QStringList path;          // local names from the root
    QString text;              // text of the innermost element
    int stmtDepth = -1, entryDepth = -1, txDepth = -1;
    Entry entry;
    int entryCount = 0;
    int transactionCount = 0; // over the whole file: each may become a transfer of its own
    bool rootSeen = false;

    // The path below an element at the given depth, joined with '/'.
    auto below = [&path](int depth) { return path.mid(depth + 1).join(QLatin1Char('/')); };

    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        switch (token) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            damaged(QStringLiteral("contine declaratii de document (DTD), care nu sunt primite"));
        case QXmlStreamReader::StartElement: {
            const QString name = xml.name().toString();
            if (!rootSeen) {
                rootSeen = true;
                if (name != QLatin1String("Document") || !isCamt053Namespace(xml.namespaceUri().toString()))
                    throw BankFileError(QStringLiteral("Fisierul nu este un extras camt.053 (versiunile 02 - 08)."));
            }
            if (path.size() >= MaxDepth)
                damaged(QStringLiteral("elemente imbricate prea adanc"));
            path << name;
            text.clear();
            const int depth = int(path.size()) - 1;
            if (name == QLatin1String("Stmt") && depth == 2 && path[1] == QLatin1String("BkToCstmrStmt")) {
                if (statements.size() >= size_t(MaxStatementsPerFile))
                    damaged(QStringLiteral("are prea multe extrase"));
                stmtDepth = depth;
                statements.emplace_back();
                statements.back().format = QStringLiteral("camt.053");
            } else if (name == QLatin1String("Ntry") && stmtDepth >= 0 && depth == stmtDepth + 1) {
                if (++entryCount > MaxStatementEntries)
                    damaged(QStringLiteral("are prea multe intrari"));
                entryDepth = depth;
                entry = Entry{};
            } else if (name == QLatin1String("TxDtls") && entryDepth >= 0 && below(entryDepth) == QLatin1String("NtryDtls/TxDtls")) {
                if (entry.transactions.size() >= size_t(MaxTransactionsPerEntry))
                    damaged(QStringLiteral("o intrare are prea multe tranzactii"));
                if (++transactionCount > MaxStatementEntries)
                    damaged(QStringLiteral("are prea multe tranzactii"));
                txDepth = depth;
                entry.transactions.emplace_back();
            } else if (name == QLatin1String("Amt") && entryDepth >= 0) {
                const QString ccy = xml.attributes().value(QStringLiteral("Ccy")).toString();
                if (txDepth >= 0) {
                    const QString rel = below(txDepth);
                    if (rel == QLatin1String("Amt") || rel == QLatin1String("AmtDtls/TxAmt/Amt"))
                        entry.transactions.back().amountCcy = ccy;
                } else if (depth == entryDepth + 1) {
                    entry.currency = ccy;
                }
            }
            break;
        }
        case QXmlStreamReader::Characters:
            if (text.size() < MaxStatementTextLength)
                text += xml.text().left(MaxStatementTextLength - text.size());
            break;
        case QXmlStreamReader::EndElement: {
            const int depth = int(path.size()) - 1;
            const QString value = text.trimmed();
            if (txDepth >= 0 && depth > txDepth) {
                CamtTransaction &t = entry.transactions.back();
                const QString rel = below(txDepth);
                if (rel == QLatin1String("Refs/AcctSvcrRef"))
                    t.acctSvcrRef = value;
                else if (rel == QLatin1String("Refs/TxId"))
                    t.txId = value;
                else if (rel == QLatin1String("Amt") || (rel == QLatin1String("AmtDtls/TxAmt/Amt") && t.amount.isEmpty()))
                    t.amount = value;
                else if (rel == QLatin1String("RltdPties/Dbtr/Nm") || rel == QLatin1String("RltdPties/Dbtr/Pty/Nm"))
                    t.debtor = value.simplified();
                else if (rel == QLatin1String("RltdPties/UltmtDbtr/Nm") || rel == QLatin1String("RltdPties/UltmtDbtr/Pty/Nm"))
                    t.ultimateDebtor = value.simplified();
                else if (rel == QLatin1String("RmtInf/Ustrd") || rel == QLatin1String("RmtInf/Strd/CdtrRefInf/Ref")
                         || rel == QLatin1String("RmtInf/Strd/AddtlRmtInf"))
                    appendText(t.text, value);
                else if (rel == QLatin1String("AddtlTxInf"))
                    appendText(t.additional, value);
            } else if (entryDepth >= 0 && depth > entryDepth && txDepth < 0) {
                const QString rel = below(entryDepth);
                if (rel == QLatin1String("Amt"))
                    entry.amount = value;
                else if (rel == QLatin1String("CdtDbtInd"))
                    entry.creditDebit = value;
                else if (rel == QLatin1String("Sts") || rel == QLatin1String("Sts/Cd"))
                    entry.status = value;
                else if (rel == QLatin1String("BookgDt/Dt") || rel == QLatin1String("BookgDt/DtTm"))
                    entry.bookingDate = value;
                else if (rel == QLatin1String("ValDt/Dt") || rel == QLatin1String("ValDt/DtTm"))
                    entry.valueDate = value;
                else if (rel == QLatin1String("AcctSvcrRef"))
                    entry.acctSvcrRef = value;
                else if (rel == QLatin1String("RvslInd"))
                    entry.reversal = value;
                else if (rel == QLatin1String("AddtlNtryInf"))
                    appendText(entry.additional, value);
            } else if (stmtDepth >= 0 && depth > stmtDepth && entryDepth < 0) {
                BankStatement &s = statements.back();
                const QString rel = below(stmtDepth);
                if (rel == QLatin1String("Id"))
                    s.id = value.left(35);
                else if (rel == QLatin1String("ElctrncSeqNb") || (rel == QLatin1String("LglSeqNb") && s.sequence.isEmpty()))
                    s.sequence = value.left(18);
                else if (rel == QLatin1String("Acct/Id/IBAN") || (rel == QLatin1String("Acct/Id/Othr/Id") && s.account.isEmpty()))
                    s.account = normalizedAccount(value).left(34);
                else if (rel == QLatin1String("Acct/Ccy"))
                    s.currency = value.toUpper().left(3);
            }
            if (depth == txDepth)
                txDepth = -1;
            else if (depth == entryDepth) {
                finishEntry(entry, entryCount, statements.back());
                entryDepth = -1;
            } else if (depth == stmtDepth) {
                if (statements.back().account.isEmpty())
                    damaged(QStringLiteral("un extras nu are contul"));
                stmtDepth = -1;
            }
            path.removeLast();
            text.clear();
            break;
        }
        default:
            break;
        }
    }
    if (xml.hasError()) {
        if (!rootSeen)
            throw BankFileError(QStringLiteral("Fisierul nu este un extras camt.053 (versiunile 02 - 08)."));
        damaged(QStringLiteral("%1 (linia %2)").arg(xml.errorString()).arg(xml.lineNumber()));
    }
    if (statements.empty())
        damaged(QStringLiteral("nu contine niciun extras"));
    return statements;
}

} // namespace vestronia
