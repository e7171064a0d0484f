#pragma once
// Subscribers (Abonat): the checks of the edit form, and adding, changing and deleting a
// subscriber with every cascade into subscriptions and debits, in the order that keeps
// the books right (a leaving stops subscriptions before removing their later debits; a
// new household size stops the old range subscription before adding the new one).

#include "core/progress.h"
#include "ledger/refusal.h"

#include <QString>
#include <QStringList>

namespace vestronia {

class Database;
class ResultSet;
struct Session;

// One Abonat row.
struct SubscriberRecord
{
    qint64 id = 0;
    QString type;  // TIPPF: "F", "J" (an old row may hold nothing)
    QString name;
    QString rol;
    QString code;  // CNP
    QString locality;
    QString street;
    QString number;
    int entryDay = 0;  // DATAIN
    int leaveDay = 0;  // DATAOUT
    int exemptDay = 0; // DATASCUT
    int persons = 0;
    QString contractNumber;
    int contractDay = 0;
    QString obs;
    QString obs2;

    QString remarks() const;
    static SubscriberRecord fromRow(const ResultSet &rows, int row);
};

SubscriberRecord readSubscriber(Database &db, qint64 idab);

// What the edit form holds when "&Memoreaza" is pressed.
struct SubscriberDraft
{
    QString name;
    bool legalPerson = false; // "JURIDICA"; otherwise "FIZICA"
    QString code;
    QString rol;
    QString locality;
    QString street;
    QString number;
    int persons = 0;
    int entryDay = 0;
    bool leaving = false;     // "Scos din evidenta la data de"
    int leaveDay = 0;
    bool exempt = false;      // "Scutit pana la data de"
    int exemptDay = 0;
    QString contractNumber;
    int contractDay = 0;
    QString remarks;          // up to 400 characters

    // The form's values for an existing subscriber (change mode).
    static SubscriberDraft fromRecord(const SubscriberRecord &r);
};

// The edit form's checks in order, stopping at the first failure; the cleaned texts are
// written back into the draft whatever the outcome. field is the control's objectName.
MaybeRefusal checkSubscriberDraft(SubscriberDraft &draft);

// Adds a checked subscriber: the row, the change-log entry, a subscription to every
// periodic account that applies, and their debits from the entry day up to today.
// Returns the new IDAB.
qint64 addSubscriber(Database &db, const Session &session, const SubscriberDraft &draft);

// Saves a checked change of subscriber idab with its cascades: leaving (stop running
// subscriptions, remove later unpaid automatic debits), re-activation (restart what the
// leaving stopped), a new number of persons (stop the range subscription that no longer
// applies, add the newly applying ones, first debited next month).
void changeSubscriber(Database &db, const Session &session, qint64 idab, const SubscriberDraft &draft);

bool hasCollections(Database &db, qint64 idab);

// Deletes the subscriber and every row of it in the other tables.
void deleteSubscriber(Database &db, const Session &session, qint64 idab);

// The distinct non-blank values of LOC or STRADA, sorted (the filter and form lists).
QStringList distinctSubscriberValues(Database &db, const QString &field);

} // namespace vestronia
