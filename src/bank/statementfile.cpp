// Opens a statement file: a bounded read from disk, the format told from its first bytes
// (XML for camt.053, a ':20:' field or a SWIFT envelope for MT940), and the account
// helpers both formats share.

#include "bank/bankstatement.h"

#include <QFile>

namespace vestronia {

QString BankStatement::label() const
{
    QString l = id.isEmpty() ? QStringLiteral("fara numar") : id;
    if (!sequence.isEmpty())
        l += QStringLiteral(" / ") + sequence;
    return l;
}

QString normalizedAccount(const QString &account)
{
    QString out;
    for (QChar c : account)
        if (!c.isSpace())
            out += c.toUpper();
    return out;
}

bool isValidIban(const QString &text)
{
    const QString iban = normalizedAccount(text);
    if (iban.size() < 15 || iban.size() > 34)
        return false;
    for (int i = 0; i < iban.size(); ++i) {
        const QChar c = iban[i];
        const bool letter = c >= QLatin1Char('A') && c <= QLatin1Char('Z');
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if ((i < 2 && !letter) || (i >= 2 && i < 4 && !digit) || (!letter && !digit))
            return false;
    }
    // Country and check digits move to the end; letters count as 10..35; the number mod 97 is 1.
    const QString moved = iban.mid(4) + iban.left(4);
    int rest = 0;
    for (QChar c : moved) {
        const int v = c.isDigit() ? c.digitValue() : c.unicode() - 'A' + 10;
        rest = v >= 10 ? (rest * 100 + v) % 97 : (rest * 10 + v) % 97;
    }
    return rest == 1;
}

std::vector<BankStatement> readStatementBytes(const QByteArray &bytes)
{
    qsizetype i = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    if (i >= bytes.size())
        throw BankFileError(QStringLiteral("Fisierul extrasului este gol."));
    if (bytes[i] == '<')
        return readCamt053(bytes);
    if (bytes[i] == ':' || bytes[i] == '{')
        return readMt940(bytes);
    throw BankFileError(QStringLiteral("Fisierul nu este un extras de cont camt.053 sau MT940."));
}

std::vector<BankStatement> readStatementFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw BankFileError(QStringLiteral("Nu pot deschide extrasul %1: %2").arg(path, f.errorString()));
    if (f.size() > MaxStatementFileBytes)
        throw BankFileError(QStringLiteral("Fisierul extrasului este prea mare (peste 32 MB)."));
    const QByteArray bytes = f.read(MaxStatementFileBytes + 1);
    if (bytes.size() > MaxStatementFileBytes)
        throw BankFileError(QStringLiteral("Fisierul extrasului este prea mare (peste 32 MB)."));
    return readStatementBytes(bytes);
}

} // namespace vestronia
