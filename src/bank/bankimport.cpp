// Planning and recording a bank statement import. The plan reads the register, the keys of
// the transfers recorded before and each subscriber's latest collection once; recording
// goes through the collection service (its statements compiled once per statement) inside
// one transaction per statement, so a failure leaves the statement as if never imported.

#include "bank/bankimport.h"

#include "collections/collection.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/profilefile.h"
#include "core/session.h"
#include "core/text.h"
#include "ledger/subscribers.h"
#include "store/changelog.h"
#include "store/database.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace vestronia {

namespace {

const QString Transfer = QStringLiteral("VIRAMENT BANCAR");
// The largest amount a collection takes (the dialog's "Suma": 7 digits and 2 decimals).
const Money MaxTransfer = Money::fromUnits(99999999900LL);

// The letters and digits of a payer or payment text as matching reads it. MT940 cuts both
// into subfields and a cut that falls between two words loses the blank, so where the
// blanks are cannot tell one transfer from another, nor the two formats of one day apart.
QString lettersAndDigits(const QString &text)
{
    QString out;
    for (QChar c : matchingText(text))
        if (c.isLetterOrNumber())
            out += c;
    return out;
}

// The payer as the two formats can agree on it: MT940 holds 54 characters of the name
// (two subfields of 27) where camt.053 gives it whole. The first 40 letters and digits
// fit in those 54 unless the name is mostly blanks.
QString comparablePayer(const QString &payer)
{
    return lettersAndDigits(payer).left(40);
}

bool isBankKey(const QString &k)
{
    return k.size() == 20 && k.startsWith(QLatin1Char('B'));
}

// What recording stores as payer and purpose of a line's collection.
QString storedPayer(const BankLine &l)
{
    return l.entry.payer.isEmpty() ? l.subscriber : l.entry.payer;
}

QString storedPurpose(const BankLine &l, const BankStatement &st)
{
    return l.entry.text.isEmpty() ? Transfer + QLatin1Char(' ') + st.label() : l.entry.text;
}

QString signatureOf(const BankLine &l, const BankStatement &st)
{
    return transferSignature(l.entry.bookingDay, l.entry.amount, storedPayer(l), storedPurpose(l, st));
}

// What tells one subscriber's transfers of a day apart when nothing else does.
QString dailyKey(int day, Money amount, qint64 idab)
{
    return QStringLiteral("%1|%2|%3").arg(day).arg(amount.toFixed(2)).arg(idab);
}

// The bank transfers the data folder holds: the keys of their entries, how many there
// are of each signature, and how many each subscriber has of each day and amount (those
// typed by hand included).
struct KnownTransfers
{
    QSet<QString> keys;
    QHash<QString, int> signatures;
    QHash<QString, int> daily;

    // Signatures are only worked out for transfers booked on the days given (those of
    // the statements at hand): a data folder holds years of them.
    static KnownTransfers load(Database &db, const QSet<int> &days)
    {
        KnownTransfers k;
        const ResultSet r = db.select(
            QStringLiteral("SELECT DOCSERIA, DOCDATA, INCASAT, NUMEPLAT, REPREZ, IDAB FROM Chitante WHERE DOCJUS=?"), {Transfer});
        for (int i = 0; i < r.rowCount(); ++i) {
            const QString key = r.value(i, 0).toString();
            const int day = int(r.value(i, 1).toLongLong());
            const Money amount = Money::fromVariant(r.value(i, 2));
            if (days.contains(day))
                ++k.daily[dailyKey(day, amount, r.value(i, 5).toLongLong())];
            if (!isBankKey(key))
                continue;
            k.keys.insert(key);
            if (days.contains(day))
                ++k.signatures[transferSignature(day, amount, r.value(i, 3).toString(), r.value(i, 4).toString())];
        }
        return k;
    }

    // Whether the line's transfer is in the books: under its own key; recorded from a
    // statement that gave it no reference; or, having none itself, recorded from one that
    // gave a reference. Without a reference an entry cannot be told from another of the
    // same day, amount, payer and text: as many of them as the books hold are those, the
    // ones beyond are new. Two entries that both carry references are the same only when
    // the references are.
    bool knows(const BankLine &l) const
    {
        if (keys.contains(l.key) || (!l.keyWithoutReference.isEmpty() && keys.contains(l.keyWithoutReference)))
            return true;
        return l.entry.reference.isEmpty() && !l.signature.isEmpty() && l.signatureRepeat < signatures.value(l.signature);
    }
};

QString lateNote(int day, int latest)
{
    return QStringLiteral("Data %1 este inaintea ultimei incasari a abonatului (%2)").arg(dayText(day), dayText(latest));
}

// The statement's sequence number as a document number, when it is one.
qint64 documentNumberOf(const BankStatement &s)
{
    const QString head = s.sequence.section(QLatin1Char('/'), 0, 0).trimmed();
    bool ok = false;
    const qint64 n = head.toLongLong(&ok);
    return ok && head.size() <= 10 && n >= 0 ? n : 0;
}

void sortByBooking(std::vector<BankLine *> &lines)
{
    std::stable_sort(lines.begin(), lines.end(), [](const BankLine *a, const BankLine *b) {
        return a->entry.bookingDay < b->entry.bookingDay;
    });
}

} // namespace

QString bankOutcomeText(BankOutcome outcome)
{
    switch (outcome) {
    case BankOutcome::ToRecord:
        return QStringLiteral("de inregistrat");
    case BankOutcome::Recorded:
        return QStringLiteral("inregistrat");
    case BankOutcome::Parked:
        return QStringLiteral("in asteptare");
    case BankOutcome::Ignored:
        return QStringLiteral("ignorat");
    case BankOutcome::AlreadyRecorded:
        return QStringLiteral("deja inregistrat");
    case BankOutcome::Dropped:
        return QStringLiteral("renuntat");
    }
    return {};
}

QString bankTransferDocType()
{
    return Transfer;
}

QString bankEntryKey(const QString &account, const BankEntry &e, int repeatWithinDay)
{
    QString source;
    if (!e.reference.isEmpty())
        source = QStringLiteral("R|") + normalizedAccount(account) + QLatin1Char('|') + e.reference;
    else
        source = QStringLiteral("F|%1|%2|%3|%4|%5|%6")
                     .arg(normalizedAccount(account))
                     .arg(e.bookingDay)
                     .arg(e.amount.toFixed(2), lettersAndDigits(e.text), comparablePayer(e.payer))
                     .arg(repeatWithinDay);
    const QByteArray hash = QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Sha256);
    // 19 base-32 digits: 95 bits of the hash.
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QString key = QStringLiteral("B");
    quint64 bits = 0;
    int have = 0, pos = 0;
    while (key.size() < 20) {
        if (have < 5) {
            bits = (bits << 8) | quint8(hash[pos++]);
            have += 8;
        }
        key += QLatin1Char(alphabet[(bits >> (have - 5)) & 31]);
        have -= 5;
    }
    return key;
}

QString transferSignature(int day, Money amount, const QString &payer, const QString &text)
{
    // What the collection keeps is cut at 120 characters; what is kept of a long text
    // depends on where the blanks fell before the cut.
    auto stored = [](const QString &t) { return cleanText(t).toUpper().left(120); };
    return QStringLiteral("%1|%2|%3|%4")
        .arg(day)
        .arg(amount.toFixed(2), comparablePayer(stored(payer)), lettersAndDigits(stored(text)).left(60));
}

QString serviceIban(const Session &session)
{
    return normalizedAccount(ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("IBAN")));
}

void setServiceIban(const Session &session, const QString &iban)
{
    ProfileFile::writeText(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("IBAN"), normalizedAccount(iban));
}

BankImport planBankImport(Database &db, const Session &session, std::vector<BankStatement> statements)
{
    BankImport import;
    import.statements = std::move(statements);
    const int today = Clock::todayDayNumber();
    const MatchRegister reg = MatchRegister::fromRows(
        db.select(QStringLiteral("SELECT IDAB, NUME, CNP, ROL, NRCON, DATAIN, DATAOUT FROM Abonat")), today);
    QSet<int> days;
    for (const BankStatement &st : import.statements)
        for (const BankEntry &e : st.entries)
            days.insert(e.bookingDay);
    const KnownTransfers known = KnownTransfers::load(db, days);
    // The collection service's own rule, so a transfer is parked exactly when it would refuse it.
    QHash<qint64, int> latest = latestDocumentDays(db, today);
    const QString iban = serviceIban(session);
    QSet<QString> inFile;
    QHash<QString, int> inFileSignatures; // of the statements before, lines that may be recorded

    for (int s = 0; s < int(import.statements.size()); ++s) {
        const BankStatement &st = import.statements[size_t(s)];
        if (!iban.isEmpty() && normalizedAccount(st.account) != iban && !import.foreignAccounts.contains(st.account))
            import.foreignAccounts << st.account;
        QHash<QString, int> repeats;    // identical entries without a reference, per day
        QHash<QString, int> allRepeats; // identical entries with or without one
        QHash<QString, int> signatureRepeats;
        // Per subscriber, day and amount: the transfers of the books this statement accounts for.
        QHash<QString, int> explained;
        const size_t first = import.lines.size();
        for (int i = 0; i < int(st.entries.size()); ++i) {
            BankLine line;
            line.statement = s;
            line.position = i + 1;
            line.entry = st.entries[size_t(i)];
            if (line.entry.currency.isEmpty())
                line.entry.currency = st.currency;
            const BankEntry &e = line.entry;
            if (!e.credit)
                line.note = QStringLiteral("Plata din cont");
            else if (e.reversal)
                line.note = QStringLiteral("Stornare");
            else if (!e.booked)
                line.note = QStringLiteral("Neinregistrata inca de banca");
            else if (e.currency != QLatin1String("RON"))
                line.note = QStringLiteral("Alta moneda: ") + (e.currency.isEmpty() ? QStringLiteral("necunoscuta") : e.currency);
            const QString same = QStringLiteral("%1|%2|%3|%4|%5")
                                     .arg(e.bookingDay)
                                     .arg(e.credit)
                                     .arg(e.amount.toFixed(2), lettersAndDigits(e.text), comparablePayer(e.payer));
            // Only entries that could be recorded count among the repeats: the other
            // format of the day may not list a pending or reversed one at all.
            const bool counts = line.note.isEmpty();
            const int repeatAll = counts ? allRepeats[same]++ : allRepeats.value(same);
            if (e.reference.isEmpty()) {
                line.key = bankEntryKey(st.account, e, counts ? repeats[same]++ : repeats.value(same));
            } else {
                line.key = bankEntryKey(st.account, e, 0);
                BankEntry bare = e;
                bare.reference.clear();
                line.keyWithoutReference = bankEntryKey(st.account, bare, repeatAll);
            }
            TransferMatch m;
            if (line.note.isEmpty()) {
                // The payer recorded for a transfer without one is the subscriber's name.
                m = matchTransfer(e, reg);
                BankLine probe;
                probe.entry = e;
                probe.subscriber = reg.nameOf(m.idab);
                line.signature = signatureOf(probe, st);
                line.signatureRepeat = signatureRepeats[line.signature]++;
            }
            if (!line.note.isEmpty()) {
                line.outcome = BankOutcome::Ignored;
            } else if (known.knows(line)) {
                line.outcome = BankOutcome::AlreadyRecorded;
                line.note = QStringLiteral("Inregistrat anterior");
                if (m.idab)
                    ++explained[dailyKey(e.bookingDay, e.amount, m.idab)];
            } else if (inFile.contains(line.key)
                       || (!line.keyWithoutReference.isEmpty() && inFile.contains(line.keyWithoutReference))
                       || (e.reference.isEmpty() && line.signatureRepeat < inFileSignatures.value(line.signature))) {
                line.outcome = BankOutcome::AlreadyRecorded;
                line.note = QStringLiteral("Repetat intr-un extras anterior din fisier");
            } else if (!e.problem.isEmpty()) {
                line.outcome = BankOutcome::Parked;
                line.note = e.problem;
            } else if (e.amount <= Money() || e.amount > MaxTransfer) {
                line.outcome = BankOutcome::Parked;
                line.note = QStringLiteral("Suma nu poate fi inregistrata ca incasare");
            } else if (e.amount.units() % 100 != 0) {
                // A collection is kept in bani; rounding a bank's fraction of a ban would record
                // a sum the statement does not hold.
                line.outcome = BankOutcome::Parked;
                line.note = QStringLiteral("Suma are mai mult de doua zecimale");
            } else if (e.bookingDay > today) {
                line.outcome = BankOutcome::Parked;
                line.note = QStringLiteral("Data %1 este dupa data de azi").arg(dayText(e.bookingDay));
            } else {
                line.idab = m.idab;
                line.reason = m.reason;
                line.subscriber = reg.nameOf(m.idab);
                line.outcome = m.idab ? BankOutcome::ToRecord : BankOutcome::Parked;
                line.note = m.parkReason;
            }
            // An ignored entry (pending, reversed, another currency) may come again booked
            // under the same reference; only one that could be recorded hides its repeats.
            if (line.outcome != BankOutcome::Ignored)
                inFile.insert(line.key);
            import.lines.push_back(std::move(line));
        }
        for (size_t i = first; i < import.lines.size(); ++i)
            if (import.lines[i].outcome == BankOutcome::ToRecord || import.lines[i].outcome == BankOutcome::Parked)
                ++inFileSignatures[import.lines[i].signature];
        // A subscriber's transfer of a day and amount in the books that no entry of the
        // statement was recognised as (typed by hand, or given in the other format in other
        // words) may be the one at hand: parked for the clerk rather than recorded twice.
        for (size_t i = first; i < import.lines.size(); ++i) {
            BankLine &l = import.lines[i];
            if (l.outcome != BankOutcome::ToRecord)
                continue;
            const QString k = dailyKey(l.entry.bookingDay, l.entry.amount, l.idab);
            if (explained[k]++ < known.daily.value(k)) {
                l.outcome = BankOutcome::Parked;
                l.note = QStringLiteral("Posibil inregistrat deja: abonatul are un virament bancar de %1 lei din %2")
                             .arg(l.entry.amount.toString(), dayText(l.entry.bookingDay));
            }
        }
        // Collections of one subscriber go in date order; one dated before his latest is parked.
        std::vector<BankLine *> matched;
        for (size_t i = first; i < import.lines.size(); ++i)
            if (import.lines[i].outcome == BankOutcome::ToRecord)
                matched.push_back(&import.lines[i]);
        sortByBooking(matched);
        for (BankLine *l : matched) {
            int &last = latest[l->idab];
            if (l->entry.bookingDay < last) {
                l->outcome = BankOutcome::Parked;
                l->note = lateNote(l->entry.bookingDay, last);
            } else {
                last = l->entry.bookingDay;
            }
        }
    }
    return import;
}

void assignLine(Database &db, BankImport &import, int index, qint64 idab)
{
    BankLine &l = import.lines.at(size_t(index));
    if (l.outcome != BankOutcome::Parked && l.outcome != BankOutcome::Dropped && l.outcome != BankOutcome::ToRecord)
        return;
    const SubscriberRecord s = readSubscriber(db, idab);
    l.idab = idab;
    l.subscriber = s.name;
    l.reason = MatchReason::None;
    if (!l.signature.isEmpty())
        l.signature = signatureOf(l, import.statements.at(size_t(l.statement)));
    int last = latestDocumentDay(db, idab, Clock::todayDayNumber());
    for (const BankLine &other : import.lines)
        if (&other != &l && other.idab == idab && other.outcome == BankOutcome::Recorded)
            last = std::max(last, other.entry.bookingDay);
    if (l.entry.bookingDay < last) {
        l.outcome = BankOutcome::Parked;
        l.note = lateNote(l.entry.bookingDay, last);
        return;
    }
    l.outcome = BankOutcome::ToRecord;
    l.note = QStringLiteral("Atribuit de operator");
}

void dropLine(BankImport &import, int index)
{
    BankLine &l = import.lines.at(size_t(index));
    if (l.outcome == BankOutcome::Parked || l.outcome == BankOutcome::ToRecord) {
        l.outcome = BankOutcome::Dropped;
        l.note = QStringLiteral("Renuntat de operator");
    }
}

BankRecordSummary recordBankImport(Database &db, const Session &session, BankImport &import, Progress &progress)
{
    BankRecordSummary summary;
    int total = 0;
    for (const BankLine &l : import.lines)
        total += l.outcome == BankOutcome::ToRecord ? 1 : 0;
    if (total == 0)
        return summary;
    ProgressScope scope(progress, QStringLiteral("Inregistrez extrasul bancar..."), total);
    for (int s = 0; s < int(import.statements.size()); ++s) {
        const BankStatement &st = import.statements[size_t(s)];
        std::vector<BankLine *> todo;
        for (BankLine &l : import.lines)
            if (l.statement == s && l.outcome == BankOutcome::ToRecord)
                todo.push_back(&l);
        if (todo.empty())
            continue;
        sortByBooking(todo);
        std::vector<BankLine> before;
        for (BankLine *l : todo)
            before.push_back(*l);
        BankRecordSummary part;
        try {
            Transaction tx(db);
            CollectionRecorder recorder(db, session);
            Statement subscriberRow = db.prepare(QStringLiteral("SELECT IDAB FROM Abonat WHERE IDAB=?"));
            // Read inside the transaction: another workstation may have recorded them meanwhile.
            QSet<int> days;
            for (const BankLine *l : todo)
                days.insert(l->entry.bookingDay);
            KnownTransfers known = KnownTransfers::load(db, days);
            const qint64 number = documentNumberOf(st);
            for (BankLine *l : todo) {
                progress.step();
                if (known.knows(*l)) {
                    l->outcome = BankOutcome::AlreadyRecorded;
                    l->note = QStringLiteral("Inregistrat anterior");
                    continue;
                }
                // Deleted meanwhile on another workstation: the collection service would
                // throw, and with it the whole statement at every try.
                if (subscriberRow.select({l->idab}).isEmpty()) {
                    l->outcome = BankOutcome::Parked;
                    l->note = QStringLiteral("Abonatul nu mai exista in registru");
                    ++part.parked;
                    continue;
                }
                CollectionDraft d;
                d.idab = l->idab;
                d.docType = Transfer;
                d.automaticNumber = false;
                d.series = l->key;
                d.number = number;
                d.amount = l->entry.amount;
                d.day = l->entry.bookingDay;
                d.payer = storedPayer(*l);
                d.purpose = storedPurpose(*l, st);
                const CollectionOutcome out = recorder.record(d);
                if (out.refusal) {
                    l->outcome = BankOutcome::Parked;
                    l->note = out.refusal->message;
                    ++part.parked;
                    continue;
                }
                l->outcome = BankOutcome::Recorded;
                l->idchit = out.recorded.idchit;
                l->note.clear();
                known.keys.insert(l->key);
                ++part.recorded;
                part.sum += out.recorded.amount;
            }
            if (part.recorded > 0) {
                addLog(db, session,
                       QStringLiteral("Extras bancar %1, cont %2: %3 viramente = %4 lei")
                           .arg(st.label(), st.account)
                           .arg(part.recorded)
                           .arg(part.sum.toString()));
                tx.commit();
            }
        } catch (...) {
            for (size_t i = 0; i < todo.size(); ++i)
                *todo[i] = before[i];
            throw;
        }
        summary.recorded += part.recorded;
        summary.parked += part.parked;
        summary.sum += part.sum;
    }
    return summary;
}

} // namespace vestronia
