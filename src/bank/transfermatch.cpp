// Matching a transfer to a subscriber: codes, then contract or roll numbers written as
// such ("CONTRACT NR. 45/2020", "ROL 123"), then the payer's exact name. Whenever a step
// finds more than one subscriber it parks the transfer instead of going on to a weaker one.

#include "bank/transfermatch.h"

#include "core/text.h"
#include "store/database.h"

#include <QRegularExpression>
#include <QSet>

namespace vestronia {

namespace {

// A code shorter than this is too likely to be some other number in the text.
constexpr int MinCodeDigits = 6;

void add(QHash<QString, QList<qint64>> &map, const QString &key, qint64 idab)
{
    if (key.isEmpty())
        return;
    QList<qint64> &ids = map[key];
    if (!ids.contains(idab))
        ids << idab;
}

QString compactToken(QString t)
{
    t.remove(QLatin1Char(' '));
    while (!t.isEmpty() && (t.endsWith(QLatin1Char('.')) || t.endsWith(QLatin1Char('/')) || t.endsWith(QLatin1Char('-'))
                            || t.endsWith(QLatin1Char(','))))
        t.chop(1);
    return t;
}

QString parkText(int count, const QString &what)
{
    return QStringLiteral("%1 gasit la %2 abonati").arg(what).arg(count);
}

} // namespace

QString matchingText(const QString &text)
{
    const QString d = cleanText(text).toUpper().normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(d.size());
    for (QChar c : d)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out;
}

QString matchingCode(const QString &code)
{
    QString t = code.toUpper();
    t.remove(QLatin1Char(' '));
    if (t.startsWith(QLatin1String("RO")))
        t = t.mid(2);
    for (QChar c : t)
        if (!c.isDigit())
            return {};
    return t;
}

QString matchReasonText(MatchReason reason)
{
    switch (reason) {
    case MatchReason::Code:
        return QStringLiteral("cod");
    case MatchReason::Contract:
        return QStringLiteral("contract");
    case MatchReason::Rol:
        return QStringLiteral("rol");
    case MatchReason::Name:
        return QStringLiteral("nume");
    case MatchReason::None:
        break;
    }
    return {};
}

MatchRegister::MatchRegister(const std::vector<RegisterEntry> &subscribers)
{
    for (const RegisterEntry &s : subscribers) {
        m_display.insert(s.idab, s.name);
        const QString code = matchingCode(s.code);
        if (code.size() >= MinCodeDigits)
            add(m_codes, code, s.idab);
        add(m_contracts, compactToken(matchingText(s.contract)), s.idab);
        add(m_rols, compactToken(matchingText(s.rol)), s.idab);
        if (s.active)
            add(m_names, matchingText(s.name), s.idab);
    }
}

MatchRegister MatchRegister::fromRows(const ResultSet &rows, int today)
{
    std::vector<RegisterEntry> list;
    list.reserve(size_t(rows.rowCount()));
    const int cId = rows.columnIndex(QStringLiteral("IDAB")), cName = rows.columnIndex(QStringLiteral("NUME")),
              cCode = rows.columnIndex(QStringLiteral("CNP")), cRol = rows.columnIndex(QStringLiteral("ROL")),
              cCon = rows.columnIndex(QStringLiteral("NRCON")), cIn = rows.columnIndex(QStringLiteral("DATAIN")),
              cOut = rows.columnIndex(QStringLiteral("DATAOUT"));
    for (int i = 0; i < rows.rowCount(); ++i) {
        RegisterEntry e;
        e.idab = rows.value(i, cId).toLongLong();
        e.name = rows.value(i, cName).toString();
        e.code = rows.value(i, cCode).toString();
        e.rol = rows.value(i, cRol).toString();
        e.contract = rows.value(i, cCon).toString();
        const int in = int(rows.value(i, cIn).toLongLong()), out = int(rows.value(i, cOut).toLongLong());
        // Active as the register screen counts it: entered, and not left before today.
        e.active = in >= 1000 && (out < 1000 || out >= today);
        list.push_back(std::move(e));
    }
    return MatchRegister(list);
}

TransferMatch matchTransfer(const BankEntry &entry, const MatchRegister &reg)
{
    TransferMatch m;
    const QString text = matchingText(entry.text);

    // 1. Codes: every whole run of digits (an "RO" before it is allowed) long enough to be one.
    static const QRegularExpression digits(QStringLiteral("(?<![0-9])([0-9]{6,13})(?![0-9])"));
    QSet<qint64> byCode;
    for (auto it = digits.globalMatch(text); it.hasNext();)
        for (qint64 id : reg.byCode(it.next().captured(1)))
            byCode.insert(id);
    if (byCode.size() == 1) {
        m.idab = *byCode.begin();
        m.reason = MatchReason::Code;
        return m;
    }
    if (byCode.size() > 1) {
        m.parkReason = QStringLiteral("Textul contine codurile a %1 abonati").arg(byCode.size());
        return m;
    }

    // 2. Contract or roll number, written after its word.
    static const QRegularExpression contract(
        QStringLiteral("\\b(?:CONTRACT(?:UL)?|CONTR|CTR)\\b\\.?\\s*(?:(?:NR|NUMAR(?:UL)?)\\b\\.?\\s*)?[:.]?\\s*([A-Z0-9][A-Z0-9/\\-.]*)"));
    static const QRegularExpression rol(
        QStringLiteral("\\bROL(?:UL)?\\b\\.?\\s*(?:(?:NR|NUMAR(?:UL)?)\\b\\.?\\s*)?[:.]?\\s*([A-Z0-9][A-Z0-9/\\-.]*)"));
    QSet<qint64> byNumber;
    bool viaContract = false;
    for (auto it = contract.globalMatch(text); it.hasNext();)
        for (qint64 id : reg.byContract(compactToken(it.next().captured(1)))) {
            byNumber.insert(id);
            viaContract = true;
        }
    for (auto it = rol.globalMatch(text); it.hasNext();)
        for (qint64 id : reg.byRol(compactToken(it.next().captured(1))))
            byNumber.insert(id);
    if (byNumber.size() == 1) {
        m.idab = *byNumber.begin();
        m.reason = viaContract ? MatchReason::Contract : MatchReason::Rol;
        return m;
    }
    if (byNumber.size() > 1) {
        m.parkReason = parkText(int(byNumber.size()), QStringLiteral("Contractul sau rolul din text"));
        return m;
    }

    // 3. The payer's name, equal to exactly one active subscriber's.
    const QString payer = matchingText(entry.payer);
    if (!payer.isEmpty()) {
        const QList<qint64> ids = reg.byActiveName(payer);
        if (ids.size() == 1) {
            m.idab = ids.front();
            m.reason = MatchReason::Name;
            return m;
        }
        if (ids.size() > 1) {
            m.parkReason = parkText(int(ids.size()), QStringLiteral("Numele platitorului"));
            return m;
        }
    }
    m.parkReason = QStringLiteral("Niciun abonat nu se potriveste");
    return m;
}

} // namespace vestronia
