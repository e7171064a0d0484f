#pragma once
// A collection from a subscriber: what the collection dialog proposes, the document
// numbering of each document type, the two refusals of the dialog and the recording of
// the document with its allocation lines, the debits' previous rests and the new rests,
// all in one transaction.

#include "collections/allocation.h"
#include "core/money.h"
#include "ledger/refusal.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

namespace vestronia {

class Database;
struct Session;

// The document types of the dialog's list, in its order.
QStringList collectionDocumentTypes(); // "CHITANTA", "VIRAMENT BANCAR", "BORDEROU SCADERE", "PLATA CU CARD"
// Whether a document type has numbering (and the "Numerotare automata" box).
bool documentTypeIsNumbered(const QString &docType);
// Whether a document of that type is printed as soon as it is recorded.
bool documentTypePrintsAtOnce(const QString &docType);

// Series and number the dialog shows for a document type. Automatic numbering peeks the
// counter without taking it; manual numbering reads the workstation's last proposal.
// "VIRAMENT BANCAR" has none: keepSeries/keepNumber say the dialog leaves its fields.
struct NumberProposal
{
    QString series;
    qint64 number = 0;
    bool setsSeries = false; // only receipts carry a series
    bool setsNumber = false;
};
NumberProposal proposeNumber(const Session &session, const QString &docType, bool automatic);

// The day of the subscriber's latest document, which a new collection may not precede
// (0 without one): cancelled documents count, except one dated after today.
int latestDocumentDay(Database &db, qint64 idab, int today);
// The same for every subscriber that has a document, by IDAB.
QHash<qint64, int> latestDocumentDays(Database &db, int today);

// What the dialog shows when it opens for a subscriber.
struct CollectionProposal
{
    QString title;     // NUME + " C.N.P. " + CNP
    QString payer;     // the title
    QString purpose;   // "incasare debite " + title
    Money amount;      // the total owed today
    int lastDay = 0;   // DOCDATA of his most recent document; 0 without one
};
CollectionProposal proposeCollection(Database &db, qint64 idab, int today);

struct CollectionDraft
{
    qint64 idab = 0;
    QString docType = QStringLiteral("CHITANTA");
    bool automaticNumber = true;
    QString series;
    qint64 number = 0;
    Money amount;
    int day = 0;        // DOCDATA
    QString payer;
    QString purpose;
    QString title;      // for the change-log entry; proposed when empty
};

// The refusals, in the dialog's order: a date after today or before the subscriber's
// last document ("DocData"), an amount not above 0 or beyond the field ("Suma"), an
// unknown document type ("DocJus"), a number out of range ("DocNr"). Cleans series,
// payer and purpose. Every road that records a collection goes through it.
MaybeRefusal checkCollectionDraft(Database &db, CollectionDraft &draft);

struct RecordedCollection
{
    qint64 idchit = 0;
    QString docType;
    QString series;
    qint64 number = 0;
    Money amount;
    bool printNow = false;
};

// Checks the draft, takes the document number (or stores the next manual proposal),
// allocates the amount and writes Debite, DebiteArh, Chitante, DetChit and the change
// log inside one transaction. A refusal changes nothing. Throws SqlError/FileError; then
// nothing is kept either. The one road for every collection (the dialog, the command
// line, a bank statement): each refusal of checkCollectionDraft applies to all of them.
struct CollectionOutcome
{
    MaybeRefusal refusal;
    RecordedCollection recorded;
};
CollectionOutcome recordCollection(Database &db, const Session &session, CollectionDraft draft);

// recordCollection for many collections in a row (a bank statement, inside the caller's
// transaction): the same checks, rows, counters and change-log entry for each, with its
// statements compiled once instead of for every collection. Lives no longer than db.
class CollectionRecorder
{
public:
    CollectionRecorder(Database &db, const Session &session);
    ~CollectionRecorder();
    CollectionRecorder(const CollectionRecorder &) = delete;
    CollectionRecorder &operator=(const CollectionRecorder &) = delete;

    CollectionOutcome record(CollectionDraft draft);

private:
    struct Statements;
    Database &m_db;
    const Session &m_session;
    std::unique_ptr<Statements> m_sql;
};

// The spread the dialog shows before saving: the same computation, nothing written.
std::vector<AllocationRow> previewAllocation(Database &db, qint64 idab, Money amount, int today);

} // namespace vestronia
