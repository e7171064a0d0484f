// Collection entry: numbering, the dialog's refusals and the recording in the order the
// rows appear in the tables (debit rests, the document, its lines), as one transaction.
// Identifiers of the lines are taken as one block so a long list costs one counter write.

#include "collections/collection.h"

#include "collections/balance.h"
#include "collections/identifiers.h"
#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/profilefile.h"
#include "core/session.h"
#include "core/text.h"
#include "ledger/subscriberpanels.h"
#include "ledger/subscribers.h"
#include "store/changelog.h"
#include "store/database.h"

#include <algorithm>

namespace vestronia {

namespace {

const QString Receipt = QStringLiteral("CHITANTA");
const QString Transfer = QStringLiteral("VIRAMENT BANCAR");
const QString WriteOff = QStringLiteral("BORDEROU SCADERE");
const QString Card = QStringLiteral("PLATA CU CARD");
const QString Const = QStringLiteral("CONST");
const QString FutureDate = QStringLiteral("Data documentului este dupa data de azi!");

// The counter (automatic) and the Local.set key (manual) of a numbered document type.
QString counterKey(const QString &docType)
{
    if (docType == Receipt)
        return QStringLiteral("CHITNR");
    if (docType == WriteOff)
        return QStringLiteral("NCNR");
    if (docType == Card)
        return QStringLiteral("CARDNR");
    return {};
}

// The largest amount the "Suma" field takes: 7 integer digits and 2 decimals.
const Money MaxAmount = Money::fromUnits(99999999900LL);

// The subscriber's documents are entered in date order, cancelled ones included, except a
// cancelled one dated after today (written by a workstation whose clock ran ahead): it
// stays in the books marked cancelled and would refuse every collection until that day.
const QString CountingDocument = QStringLiteral("(ANULAT IS NULL OR ANULAT<>'X' OR DOCDATA<=?)");
const QString LastDocumentSql = QStringLiteral("SELECT DOCDATA FROM Chitante WHERE IDAB=? AND ") + CountingDocument +
                                QStringLiteral(" ORDER BY DOCDATA DESC, IDCHIT DESC LIMIT 1");

int firstDay(const ResultSet &r)
{
    return r.isEmpty() ? 0 : int(r.value(0, 0).toLongLong());
}

int lastDocumentDay(Database &db, qint64 idab, int today)
{
    return firstDay(db.select(LastDocumentSql, {idab, today}));
}

// The refusals, with the subscriber's last document day asked of lastDay(idab, today).
template <typename LastDay>
MaybeRefusal checkDraft(CollectionDraft &d, LastDay lastDay)
{
    d.series = cleanText(d.series).toUpper();
    d.payer = cleanText(d.payer).toUpper();
    d.purpose = cleanText(d.purpose).toUpper();
    // A document dated after today (a typo in the year) would stay the newest and refuse
    // every later collection of the subscriber.
    if (d.day > Clock::todayDayNumber())
        return Refusal::atField(QStringLiteral("DocData"), FutureDate);
    if (d.day < lastDay(d.idab, Clock::todayDayNumber()))
        return Refusal::atField(QStringLiteral("DocData"), QStringLiteral("Aveti Chitanta eliberata dupa aceasta data!"));
    d.amount = d.amount.roundedToCents();
    if (d.amount <= Money() || d.amount > MaxAmount)
        return Refusal::atField(QStringLiteral("Suma"), QStringLiteral("Nu ati scris Suma!"));
    if (!collectionDocumentTypes().contains(d.docType))
        return Refusal::atField(QStringLiteral("DocJus"), QStringLiteral("Tip de document necunoscut!"));
    if (d.number < 0 || d.number > 9999999999LL)
        return Refusal::atField(QStringLiteral("DocNr"), QStringLiteral("Numar de document incorect!"));
    return std::nullopt;
}

QString titleOf(const SubscriberRecord &s)
{
    return s.name + QStringLiteral(" C.N.P. ") + s.code;
}

} // namespace

int latestDocumentDay(Database &db, qint64 idab, int today)
{
    return lastDocumentDay(db, idab, today);
}

QHash<qint64, int> latestDocumentDays(Database &db, int today)
{
    QHash<qint64, int> out;
    const ResultSet r = db.select(
        QStringLiteral("SELECT IDAB, MAX(DOCDATA) FROM Chitante WHERE ") + CountingDocument + QStringLiteral(" GROUP BY IDAB"),
        {today});
    for (int i = 0; i < r.rowCount(); ++i)
        out.insert(r.value(i, 0).toLongLong(), int(r.value(i, 1).toLongLong()));
    return out;
}

QStringList collectionDocumentTypes()
{
    return {Receipt, Transfer, WriteOff, Card};
}

bool documentTypeIsNumbered(const QString &docType)
{
    return !counterKey(docType).isEmpty();
}

bool documentTypePrintsAtOnce(const QString &docType)
{
    return docType == Receipt || docType == Card;
}

NumberProposal proposeNumber(const Session &session, const QString &docType, bool automatic)
{
    NumberProposal p;
    const QString key = counterKey(docType);
    if (key.isEmpty())
        return p;
    p.setsNumber = true;
    p.setsSeries = docType == Receipt;
    if (automatic) {
        p.number = Counters::peek(session.sharedSettings(), key);
        if (p.setsSeries)
            p.series = ProfileFile::readText(session.sharedSettings(), Const, QStringLiteral("CHITSERIA"));
    } else {
        p.number = ProfileFile::readNumber(session.localSettings(), Const, key);
        if (p.setsSeries)
            p.series = ProfileFile::readText(session.localSettings(), Const, QStringLiteral("CHITSERIA"));
    }
    return p;
}

CollectionProposal proposeCollection(Database &db, qint64 idab, int today)
{
    const SubscriberRecord s = readSubscriber(db, idab);
    CollectionProposal p;
    p.title = titleOf(s);
    p.payer = p.title;
    p.purpose = QStringLiteral("incasare debite ") + p.title;
    p.amount = balanceOf(db, idab, today).total;
    p.lastDay = lastDocumentDay(db, idab, today);
    return p;
}

MaybeRefusal checkCollectionDraft(Database &db, CollectionDraft &d)
{
    return checkDraft(d, [&db](qint64 idab, int today) { return lastDocumentDay(db, idab, today); });
}

std::vector<AllocationRow> previewAllocation(Database &db, qint64 idab, Money amount, int today)
{
    return allocateAmount(openDebitsOf(db, idab), idab, amount.roundedToCents(), today);
}

CollectionOutcome recordCollection(Database &db, const Session &session, CollectionDraft d)
{
    CollectionRecorder recorder(db, session);
    return recorder.record(std::move(d));
}

struct CollectionRecorder::Statements
{
    Statement lastDocument;
    Statement archiveRest; // a debit's rest before the collection
    Statement setRest;
    Statement archiveNew; // the advance this collection creates did not exist before
    Statement newAdvance;
    Statement document;
    Statement line;
};

CollectionRecorder::CollectionRecorder(Database &db, const Session &session)
    : m_db(db)
    , m_session(session)
    , m_sql(new Statements{
          db.prepare(LastDocumentSql),
          db.prepare(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) SELECT ?, IDDEB, IDAB, SOLD FROM Debite "
                                    "WHERE IDDEB=?")),
          db.prepare(QStringLiteral("UPDATE Debite SET SOLD=? WHERE IDDEB=?")),
          db.prepare(QStringLiteral("INSERT INTO DebiteArh (IDCHIT, IDDEB, IDAB, SOLD) VALUES (?, ?, 0, 0)")),
          db.prepare(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, "
                                    "PENAL, PENALPE, PENALDATA, MAXSOLD) VALUES (?, -1, ?, -1, ?, ?, ?, ?, ?, 0, '-', 0, '')")),
          db.prepare(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, ANULAT, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, CNP, "
                                    "ROL, STRADA, NR, NUMEPLAT, INCASAT, PLATIT, REPREZ) "
                                    "VALUES (?, ?, '', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?)")),
          db.prepare(QStringLiteral("INSERT INTO DetChit (IDCHIT, IDAB, IDDCHIT, IDDEB, IDSERV, DENUM, "
                                    "RESTANTA, PENAL, CURENT) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"))})
{
}

CollectionRecorder::~CollectionRecorder() = default;

CollectionOutcome CollectionRecorder::record(CollectionDraft d)
{
    Database &db = m_db;
    const Session &session = m_session;
    Statements &sql = *m_sql;
    requireWriteAccess(session);
    CollectionOutcome outcome;
    Transaction tx(db);
    // Read inside the transaction: the rests are current, so no concurrent change is lost.
    const SubscriberRecord s = readSubscriber(db, d.idab);
    if (d.title.isEmpty())
        d.title = titleOf(s);
    auto lastDay = [&sql](qint64 idab, int today) { return firstDay(sql.lastDocument.select({idab, today})); };
    if (MaybeRefusal r = checkDraft(d, lastDay)) {
        outcome.refusal = r;
        return outcome;
    }
    const QString settings = session.sharedSettings();
    const QString key = counterKey(d.docType);
    if (!key.isEmpty() && d.automaticNumber) {
        d.number = Counters::take(settings, key);
        if (d.docType == Receipt)
            d.series = ProfileFile::readText(settings, Const, QStringLiteral("CHITSERIA"));
    }
    const int today = Clock::todayDayNumber();

    std::vector<AllocationRow> rows = rowsToRecord(allocateAmount(openDebitsOf(db, d.idab), d.idab, d.amount, today));
    const qint64 idchit = takeFreeId(db, settings, QStringLiteral("IDCHIT"), QStringLiteral("Chitante"), QStringLiteral("IDCHIT"));

    for (AllocationRow &r : rows) {
        if (r.iddeb > 0) {
            sql.archiveRest.exec({idchit, r.iddeb});
            sql.setRest.exec({QVariant::fromValue(r.sold), r.iddeb});
        } else {
            r.iddeb = takeFreeId(db, settings, QStringLiteral("IDDEB"), QStringLiteral("Debite"), QStringLiteral("IDDEB"));
            sql.archiveNew.exec({idchit, r.iddeb});
            sql.newAdvance.exec({r.iddeb, d.idab, today, monthIndexOfDay(today), r.denum, QVariant::fromValue(r.rata),
                                 QVariant::fromValue(r.sold)});
        }
    }

    sql.document.exec({idchit, d.idab, d.docType, d.series, d.number, d.day, s.name, s.code, s.rol, s.street, s.number,
                       d.payer.left(120), QVariant::fromValue(d.amount), d.purpose.left(120)});

    // Advances first, then the debits by date; rows of one date keep their panel order.
    std::stable_sort(rows.begin(), rows.end(), [](const AllocationRow &a, const AllocationRow &b) {
        if (a.tipavans != b.tipavans)
            return a.tipavans == 'D';
        return a.datadeb < b.datadeb;
    });
    if (!rows.empty()) {
        qint64 iddchit = takeFreeIdBlock(db, settings, QStringLiteral("IDDCHIT"), QStringLiteral("DetChit"),
                                           QStringLiteral("IDDCHIT"), qint64(rows.size()));
        for (const AllocationRow &r : rows)
            sql.line.exec({idchit, d.idab, iddchit++, r.iddeb, r.idserv, r.denum, QVariant::fromValue(r.resti),
                           QVariant::fromValue(r.penali), QVariant::fromValue(r.curenti)});
    }

    addLog(db, session,
           QStringLiteral("Eliberat ") + d.docType + QStringLiteral(" nr.") + QString::number(d.number) + QStringLiteral(" = ") +
               d.amount.toString() + QStringLiteral(" lei, ") + d.title);
    tx.commit();
    // The workstation's own proposal of the next manual number lies outside the
    // transaction: it moves on only once the document is in the books.
    if (!key.isEmpty() && !d.automaticNumber) {
        if (d.docType == Receipt)
            ProfileFile::writeText(session.localSettings(), Const, QStringLiteral("CHITSERIA"), d.series);
        ProfileFile::writeNumber(session.localSettings(), Const, key, d.number + 1);
    }

    outcome.recorded = {idchit, d.docType, d.series, d.number, d.amount, documentTypePrintsAtOnce(d.docType)};
    return outcome;
}

} // namespace vestronia
