// Reads SWIFT MT940 customer statements byte by byte: the optional block envelope, the
// fields :20: :25: :28C: :60F: :61: :86: :62F:, and the structured :86: subfields
// (?20-?29 and ?60-?63 payment text, ?32/?33 payer). A statement without its closing
// balance, whose lines do not lead from the opening to the closing balance, or a line that
// does not read, refuses the whole file.

#include "bank/bankstatement.h"
#include "core/text.h"

#include <QDate>
#include <QStringDecoder>

#include <map>

namespace vestronia {

namespace {

// A :86: subfield of this length or more was cut by the bank in the middle of the text;
// a shorter one ended where the payer's text paused.
constexpr int FullSubfieldLength = 27;
constexpr int MaxFieldLines = 100;
// A statement line and its information field per entry, and a few header fields per
// statement: anything beyond this is not a statement and would only eat memory.
constexpr int MaxFields = 3 * MaxStatementEntries;

[[noreturn]] void damaged(int line, const QString &detail)
{
    throw BankFileError(QStringLiteral("Extrasul MT940 este deteriorat si nu a fost citit: linia %1: %2").arg(line).arg(detail));
}

struct Field
{
    QString tag;
    QString value; // lines joined with '\n'
    int line = 0;
    int lines = 1;
};

bool isDigits(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// YYMMDD; years below 80 are this century.
QDate shortDate(QStringView s)
{
    if (s.size() != 6 || !isDigits(s))
        return {};
    const int yy = s.left(2).toInt();
    return QDate(yy < 80 ? 2000 + yy : 1900 + yy, s.mid(2, 2).toInt(), s.mid(4, 2).toInt());
}

int dayNumber(const QDate &d)
{
    return int(QDate(1899, 12, 30).daysTo(d));
}

std::optional<Money> swiftAmount(QStringView s)
{
    // 15d: digits with one decimal comma, which the standard requires.
    const qsizetype comma = s.indexOf(QLatin1Char(','));
    if (s.isEmpty() || s.size() > 15 || comma < 1 || s.count(QLatin1Char(',')) != 1 || s.size() - comma - 1 > 5)
        return std::nullopt;
    if (!isDigits(s.left(comma)) || (comma + 1 < s.size() && !isDigits(s.mid(comma + 1))))
        return std::nullopt;
    QString t = s.toString();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    return Money::parse(t);
}

// A balance field (:60F: :62F:): C or D, YYMMDD, currency, amount; signed, or nothing.
std::optional<Money> balanceOf(const QString &value)
{
    const QString v = value.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (v.size() < 12 || (v[0] != QLatin1Char('C') && v[0] != QLatin1Char('D')) || !shortDate(QStringView(v).mid(1, 6)).isValid())
        return std::nullopt;
    const std::optional<Money> amount = swiftAmount(QStringView(v).mid(10));
    if (!amount)
        return std::nullopt;
    return v[0] == QLatin1Char('D') ? -*amount : *amount;
}

// Subfields cut at their width join directly (a word may run on); shorter ones with a blank.
QString joinChunks(const std::vector<QString> &chunks)
{
    QString out;
    QString previous;
    for (const QString &c : chunks) {
        if (!out.isEmpty() && previous.size() < FullSubfieldLength)
            out += QLatin1Char(' ');
        out += c;
        previous = c;
    }
    return out.simplified().left(MaxStatementTextLength);
}

// The :86: field: structured ("166?00...?20...") or free text.
void readInformation(const QString &value, BankEntry &e)
{
    QString joined = value;
    joined.remove(QLatin1Char('\n'));
    const bool structured = joined.size() >= 6 && isDigits(QStringView(joined).left(3)) && joined[3] == QLatin1Char('?')
                            && isDigits(QStringView(joined).mid(4, 2));
    if (!structured) {
        e.text = value.simplified().left(MaxStatementTextLength);
        return;
    }
    std::map<int, QString> sub;
    qsizetype i = 3;
    while (i < joined.size()) {
        // Each subfield: '?' two digits, then text up to the next '?'.
        if (joined[i] != QLatin1Char('?') || i + 2 >= joined.size() || !isDigits(QStringView(joined).mid(i + 1, 2)))
            break;
        const int code = QStringView(joined).mid(i + 1, 2).toInt();
        // A '?' not followed by two digits is the payer's own text, not a new subfield.
        qsizetype end = joined.indexOf(QLatin1Char('?'), i + 3);
        while (end >= 0 && (end + 2 >= joined.size() || !isDigits(QStringView(joined).mid(end + 1, 2))))
            end = joined.indexOf(QLatin1Char('?'), end + 1);
        if (end < 0)
            end = joined.size();
        sub[code] += joined.mid(i + 3, end - i - 3);
        i = end;
    }
    std::vector<QString> text, payer;
    for (int code = 20; code <= 29; ++code)
        if (sub.count(code))
            text.push_back(sub[code]);
    for (int code = 60; code <= 63; ++code)
        if (sub.count(code))
            text.push_back(sub[code]);
    for (int code = 32; code <= 33; ++code)
        if (sub.count(code))
            payer.push_back(sub[code]);
    e.text = joinChunks(text);
    e.payer = joinChunks(payer);
}

// :61: 6!n[4!n]2a[1!a]15d1!a3!c16x[//16x] and on the next line [34x].
BankEntry readStatementLine(const Field &f, const QString &currency)
{
    const QString first = f.value.section(QLatin1Char('\n'), 0, 0);
    const QString more = f.value.section(QLatin1Char('\n'), 1).simplified();
    QStringView s(first);
    BankEntry e;
    const QDate value = shortDate(s.left(6));
    if (!value.isValid())
        damaged(f.line, QStringLiteral("data valutei din :61: nu se poate citi"));
    qsizetype p = 6;
    QDate booking = value;
    if (s.size() >= p + 4 && isDigits(s.mid(p, 4))) {
        // The entry date has no year: the one of the value date, or the next or previous
        // one when the two straddle a new year.
        const int month = s.mid(p, 2).toInt(), dayOfMonth = s.mid(p + 2, 2).toInt();
        int year = value.year();
        if (month == 1 && value.month() == 12)
            ++year;
        else if (month == 12 && value.month() == 1)
            --year;
        booking = QDate(year, month, dayOfMonth);
        if (!booking.isValid())
            damaged(f.line, QStringLiteral("data inregistrarii din :61: nu se poate citi"));
        p += 4;
    }
    if (s.mid(p).startsWith(QLatin1String("RC")) || s.mid(p).startsWith(QLatin1String("RD"))) {
        e.reversal = true;
        e.credit = s[p + 1] == QLatin1Char('D'); // the reversal of a debit brings money in
        p += 2;
    } else if (s.mid(p).startsWith(QLatin1Char('C')) || s.mid(p).startsWith(QLatin1Char('D'))) {
        e.credit = s[p] == QLatin1Char('C');
        p += 1;
    } else {
        damaged(f.line, QStringLiteral("semnul debit/credit din :61: lipseste"));
    }
    if (p < s.size() && s[p].isLetter())
        ++p; // funds code, the third letter of the currency
    qsizetype amountEnd = p;
    while (amountEnd < s.size() && (s[amountEnd].isDigit() || s[amountEnd] == QLatin1Char(',')))
        ++amountEnd;
    const std::optional<Money> amount = swiftAmount(s.mid(p, amountEnd - p));
    if (!amount)
        damaged(f.line, QStringLiteral("suma din :61: nu se poate citi"));
    p = amountEnd;
    if (s.size() < p + 4 || !QStringLiteral("NFS").contains(s[p]))
        damaged(f.line, QStringLiteral("tipul tranzactiei din :61: lipseste"));
    p += 4;
    const QStringView refs = s.mid(p);
    const qsizetype slashes = refs.indexOf(QLatin1String("//"));
    const QString ownerRef = (slashes < 0 ? refs : refs.left(slashes)).trimmed().toString();
    const QString bankRef = slashes < 0 ? QString() : refs.mid(slashes + 2).trimmed().toString();
    auto usable = [](const QString &r) { return !r.isEmpty() && r.compare(QLatin1String("NONREF"), Qt::CaseInsensitive) != 0; };
    e.amount = *amount;
    e.bookingDay = dayNumber(booking);
    e.currency = currency;
    // Only the bank's own reference is unique; the owner's reference is the payer's and
    // may repeat, so it only helps to tell entries apart by their content.
    if (usable(bankRef))
        e.reference = bankRef.left(35);
    if (usable(ownerRef))
        e.text = ownerRef;
    if (!more.isEmpty())
        e.text = (e.text.isEmpty() ? more : e.text + QLatin1Char(' ') + more).left(MaxStatementTextLength);
    return e;
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromCp1250(bytes);
}

} // namespace

std::vector<BankStatement> readMt940(const QByteArray &bytes)
{
    if (bytes.size() > MaxStatementFileBytes)
        throw BankFileError(QStringLiteral("Fisierul extrasului este prea mare (peste 32 MB)."));
    if (bytes.contains('\0'))
        throw BankFileError(QStringLiteral("Fisierul nu este un extras MT940 (contine date binare)."));
    const QString all = decode(bytes);

    // Fields in order, envelope lines dropped. Lines are taken one at a time: a file of
    // millions of tiny lines must not become millions of strings at once.
    std::vector<Field> fields;
    // A message header ({1:...) with no statement after it: the file was cut there.
    bool headerWithoutStatement = false;
    qsizetype start = 0;
    for (int n = 0; start <= all.size(); ++n) {
        qsizetype stop = all.indexOf(QLatin1Char('\n'), start);
        if (stop < 0)
            stop = all.size();
        QString line = all.mid(start, stop - start);
        start = stop + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('{')) && !line.startsWith(QLatin1String("{5:")))
            headerWithoutStatement = true; // any block but the trailer opens a message
        if (line.startsWith(QLatin1Char('{'))) {
            const qsizetype body = line.indexOf(QLatin1String("{4:"));
            if (body < 0)
                continue;
            line = line.mid(body + 3);
        }
        if (line.startsWith(QLatin1Char('-')) && line.mid(1).trimmed().remove(QLatin1Char('}')).isEmpty()) {
            if (fields.size() >= size_t(MaxFields))
                damaged(n + 1, QStringLiteral("prea multe campuri"));
            fields.push_back({QStringLiteral("-"), {}, n + 1, 1});
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype close = line.indexOf(QLatin1Char(':'), 1);
        if (line.startsWith(QLatin1Char(':')) && close > 1 && close <= 4) {
            if (fields.size() >= size_t(MaxFields))
                damaged(n + 1, QStringLiteral("prea multe campuri"));
            if (line.startsWith(QLatin1String(":20:")))
                headerWithoutStatement = false;
            fields.push_back({line.mid(1, close - 1), line.mid(close + 1), n + 1, 1});
            continue;
        }
        if (fields.empty() || fields.back().tag == QLatin1String("-"))
            damaged(n + 1, QStringLiteral("text in afara oricarui camp"));
        if (++fields.back().lines > MaxFieldLines)
            damaged(n + 1, QStringLiteral("camp prea lung"));
        fields.back().value += QLatin1Char('\n') + line.left(MaxStatementTextLength);
    }

    std::vector<BankStatement> statements;
    enum class Stage { None, Header, Lines, Closed } stage = Stage::None;
    int entryCount = 0;
    Money running; // opening balance plus the statement lines so far
    bool lastIsLine = false;
    for (const Field &f : fields) {
        const QString &tag = f.tag;
        if (tag == QLatin1String("20")) {
            if (stage != Stage::None && stage != Stage::Closed)
                damaged(f.line, QStringLiteral("extrasul anterior nu are soldul final (:62F:)"));
            if (statements.size() >= size_t(MaxStatementsPerFile))
                damaged(f.line, QStringLiteral("prea multe extrase"));
            statements.emplace_back();
            statements.back().format = QStringLiteral("MT940");
            statements.back().id = f.value.simplified().left(35);
            stage = Stage::Header;
        } else if (tag == QLatin1String("-")) {
            if (stage != Stage::None && stage != Stage::Closed)
                damaged(f.line, QStringLiteral("extrasul se incheie fara soldul final (:62F:)"));
        } else if (stage == Stage::None || stage == Stage::Closed) {
            damaged(f.line, QStringLiteral("campul :%1: apare in afara unui extras").arg(tag.left(4)));
        } else if (tag == QLatin1String("25")) {
            statements.back().account = normalizedAccount(f.value.section(QLatin1Char('\n'), 0, 0)).left(35);
        } else if (tag == QLatin1String("28C") || tag == QLatin1String("28")) {
            statements.back().sequence = f.value.simplified().left(18);
        } else if (tag == QLatin1String("60F") || tag == QLatin1String("60M")) {
            const std::optional<Money> opening = balanceOf(f.value);
            if (!opening)
                damaged(f.line, QStringLiteral("soldul initial (:60F:) nu se poate citi"));
            running = *opening;
            statements.back().currency = f.value.trimmed().mid(7, 3).toUpper();
            stage = Stage::Lines;
        } else if (tag == QLatin1String("61")) {
            if (stage != Stage::Lines)
                damaged(f.line, QStringLiteral("tranzactie inaintea soldului initial (:60F:)"));
            if (++entryCount > MaxStatementEntries)
                damaged(f.line, QStringLiteral("prea multe tranzactii"));
            statements.back().entries.push_back(readStatementLine(f, statements.back().currency));
            const BankEntry &added = statements.back().entries.back();
            std::int64_t sum = 0;
            if (added.credit ? __builtin_add_overflow(running.units(), added.amount.units(), &sum)
                             : __builtin_sub_overflow(running.units(), added.amount.units(), &sum))
                damaged(f.line, QStringLiteral("sumele depasesc orice sold posibil"));
            running = Money::fromUnits(sum);
            lastIsLine = true;
            continue;
        } else if (tag == QLatin1String("86")) {
            if (lastIsLine) {
                BankEntry &e = statements.back().entries.back();
                const QString ownerRef = e.text;
                readInformation(f.value, e);
                if (!ownerRef.isEmpty() && !e.text.contains(ownerRef))
                    e.text = QString(e.text + QLatin1Char(' ') + ownerRef).simplified().left(MaxStatementTextLength);
            }
        } else if (tag == QLatin1String("62F") || tag == QLatin1String("62M")) {
            if (stage != Stage::Lines)
                damaged(f.line, QStringLiteral("soldul final (:62F:) inaintea soldului initial"));
            if (statements.back().account.isEmpty())
                damaged(f.line, QStringLiteral("extrasul nu are contul (:25:)"));
            // The bank's own check: a cut or altered amount anywhere shows here.
            const std::optional<Money> closing = balanceOf(f.value);
            if (!closing)
                damaged(f.line, QStringLiteral("soldul final (:62F:) nu se poate citi"));
            if (*closing != running)
                damaged(f.line, QStringLiteral("soldul final %1 nu corespunde soldului initial si tranzactiilor (%2)")
                                    .arg(closing->toFixed(2), running.toFixed(2)));
            stage = Stage::Closed;
        }
        lastIsLine = false;
    }
    if (statements.empty())
        throw BankFileError(QStringLiteral("Fisierul nu este un extras MT940 (lipseste campul :20:)."));
    if (headerWithoutStatement)
        throw BankFileError(
            QStringLiteral("Extrasul MT940 este deteriorat si nu a fost citit: fisierul se termina in antetul unui mesaj."));
    if (stage != Stage::Closed)
        throw BankFileError(
            QStringLiteral("Extrasul MT940 este deteriorat si nu a fost citit: fisierul se termina fara soldul final (:62F:)."));
    return statements;
}

} // namespace vestronia
