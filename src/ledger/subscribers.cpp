// The subscriber register's operations and the edit form's checks. The cascades follow
// a fixed order so that an error part-way leaves subscriptions and debits consistent
// with what was already done.

#include "ledger/subscribers.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/text.h"
#include "ledger/accounts.h"
#include "ledger/idcheck.h"
#include "ledger/monthlydebiting.h"
#include "ledger/subscriptions.h"
#include "store/changelog.h"
#include "store/database.h"

namespace vestronia {

namespace {
QString typeLetter(const SubscriberDraft &d)
{
    return d.legalPerson ? QStringLiteral("J") : QStringLiteral("F");
}
} // namespace

QString SubscriberRecord::remarks() const
{
    return joinRemarks(obs, obs2);
}

SubscriberRecord SubscriberRecord::fromRow(const ResultSet &rows, int row)
{
    SubscriberRecord r;
    r.id = rows.integer(row, QStringLiteral("IDAB"));
    r.type = rows.text(row, QStringLiteral("TIPPF"));
    r.name = rows.text(row, QStringLiteral("NUME"));
    r.rol = rows.text(row, QStringLiteral("ROL"));
    r.code = rows.text(row, QStringLiteral("CNP"));
    r.locality = rows.text(row, QStringLiteral("LOC"));
    r.street = rows.text(row, QStringLiteral("STRADA"));
    r.number = rows.text(row, QStringLiteral("NR"));
    r.entryDay = int(rows.integer(row, QStringLiteral("DATAIN")));
    r.leaveDay = int(rows.integer(row, QStringLiteral("DATAOUT")));
    r.exemptDay = int(rows.integer(row, QStringLiteral("DATASCUT")));
    r.persons = int(rows.integer(row, QStringLiteral("NRPERS")));
    r.contractNumber = rows.text(row, QStringLiteral("NRCON"));
    r.contractDay = int(rows.integer(row, QStringLiteral("DATACON")));
    r.obs = rows.text(row, QStringLiteral("OBS"));
    r.obs2 = rows.text(row, QStringLiteral("OBS2"));
    return r;
}

SubscriberRecord readSubscriber(Database &db, qint64 idab)
{
    const ResultSet rows = db.select(QStringLiteral("SELECT * FROM Abonat WHERE IDAB=?"), {idab});
    if (rows.isEmpty())
        throw VestroniaError(QStringLiteral("Abonatul %1 nu mai exista.").arg(idab));
    return SubscriberRecord::fromRow(rows, 0);
}

SubscriberDraft SubscriberDraft::fromRecord(const SubscriberRecord &r)
{
    SubscriberDraft d;
    d.name = r.name;
    // Only "F" is a natural person; an old row without a type opens as a firm.
    d.legalPerson = r.type != QLatin1String("F");
    d.code = r.code;
    d.rol = r.rol;
    d.locality = r.locality;
    d.street = r.street;
    d.number = r.number;
    d.entryDay = r.entryDay;
    d.exempt = r.exemptDay > 0;
    d.exemptDay = r.exemptDay;
    d.leaving = r.leaveDay > 100;
    d.leaveDay = r.leaveDay;
    d.persons = r.persons;
    d.contractNumber = r.contractNumber;
    d.contractDay = r.contractDay;
    d.remarks = r.remarks();
    return d;
}

MaybeRefusal checkSubscriberDraft(SubscriberDraft &d)
{
    d.rol = cleanText(d.rol).toUpper();
    d.name = cleanText(d.name).toUpper();
    d.contractNumber = cleanText(d.contractNumber);
    d.code = cleanText(d.code);
    if (d.name.size() <= 1)
        return Refusal::atField(QStringLiteral("Nume"), QStringLiteral("Nu ati scris numele si prenumele!"));
    if (!d.code.isEmpty()) {
        if (!d.legalPerson && !isValidCNP(d.code))
            return Refusal::atField(QStringLiteral("CNPCUI"), QStringLiteral("CNP incorect!"));
        if (d.legalPerson && !isValidCUI(d.code))
            return Refusal::atField(QStringLiteral("CNPCUI"), QStringLiteral("Cod fiscal incorect!"));
    }
    d.locality = cleanText(d.locality).toUpper();
    if (d.locality.size() <= 1)
        return Refusal::atField(QStringLiteral("Loc"), QStringLiteral("Nu ati scris Localitatea!"));
    d.street = cleanText(d.street).toUpper();
    d.number = cleanText(d.number).toUpper();
    if (d.leaving && d.entryDay >= d.leaveDay)
        return Refusal::atField(QStringLiteral("DataOut"), QStringLiteral("Data Prescrierii incorecta!"));
    if (d.exempt && d.entryDay >= d.exemptDay)
        return Refusal::atField(QStringLiteral("DataScut"), QStringLiteral("Data Scutirii incorecta!"));
    return std::nullopt;
}

qint64 addSubscriber(Database &db, const Session &session, const SubscriberDraft &d)
{
    requireWriteAccess(session);
    // The household, its number, its subscriptions and their catch-up debits are one
    // change: a failure leaves nothing, so trying again never doubles the household.
    Transaction tx(db);
    const qint64 id = Counters::take(session.sharedSettings(), QStringLiteral("IDAB"));
    const auto [obs, obs2] = splitRemarks(cleanText(d.remarks));
    db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, TIPPF, CNP, ROL, LOC, STRADA, NR, DATAIN, DATAOUT, "
                           "DATASCUT, NRPERS, NRCON, DATACON, OBS, OBS2) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, ?, ?, ?, ?, ?)"),
            {id, d.name, typeLetter(d), d.code, d.rol, d.locality, d.street, d.number, d.entryDay, d.persons,
             d.contractNumber, d.contractDay, obs, obs2});
    addLog(db, session, QStringLiteral("Adaugare Abonat: ") + d.name);
    syncSubscriptions(db, session, id, d.persons, d.entryDay);
    const ResultSet subs =
        db.select(QStringLiteral("SELECT IDSERV FROM AbOm WHERE IDAB=? ORDER BY DATASTOP, DENUM, IDSERV"), {id});
    for (int i = 0; i < subs.rowCount(); ++i)
        catchUpSubscription(db, session, subs.integer(i, QStringLiteral("IDSERV")));
    tx.commit();
    return id;
}

void changeSubscriber(Database &db, const Session &session, qint64 idab, const SubscriberDraft &d)
{
    requireWriteAccess(session);
    Transaction tx(db);
    const SubscriberRecord old = readSubscriber(db, idab);
    const int today = Clock::todayDayNumber();

    if (d.leaving) {
        db.exec(QStringLiteral("UPDATE AbOm SET DATASTOP=? WHERE IDAB=? AND PERLUNI>0 AND DATASTOP=0"),
                {d.leaveDay, idab});
        db.exec(QStringLiteral("DELETE FROM Debite WHERE IDAB=? AND IDSERV>0 AND DATADEB>=? AND RATA=SOLD"),
                {idab, d.leaveDay});
    } else {
        // Restarts exactly the subscriptions the earlier leaving stopped.
        db.exec(QStringLiteral("UPDATE AbOm SET DATASTOP=0 WHERE IDAB=? AND PERLUNI>0 AND DATASTOP>100 AND DATASTOP=?"),
                {idab, old.leaveDay});
    }

    if (d.persons != old.persons) {
        addLog(db, session,
               QStringLiteral("Modifiare numar persoane abonat ") + old.name + QStringLiteral(": de la ")
                   + QString::number(old.persons) + QStringLiteral(" la ") + QString::number(d.persons));
        const ResultSet first = db.select(
            QStringLiteral("SELECT A.IDSERV, B.PEPERS, B.MINPERS, B.MAXPERS, B.RATA FROM AbOm A JOIN DefCont B "
                           "ON A.IDCON=B.IDCON WHERE A.IDAB=? AND A.DATASTOP=0 ORDER BY A.DATASTOP, A.DENUM, A.IDSERV"),
            {idab});
        if (!first.isEmpty() && first.text(0, QStringLiteral("PEPERS")) == QLatin1String("X")) {
            const qint64 idserv = first.integer(0, QStringLiteral("IDSERV"));
            if (d.persons < first.integer(0, QStringLiteral("MINPERS"))
                || d.persons > first.integer(0, QStringLiteral("MAXPERS"))) {
                db.exec(QStringLiteral("UPDATE AbOm SET DATASTOP=? WHERE IDSERV=?"), {today, idserv});
                // Subscriptions that stopped before their first debit leave nothing to keep.
                db.exec(QStringLiteral("DELETE FROM AbOm WHERE DATASTOP>0 AND LUNAADD=0"));
            } else {
                db.exec(QStringLiteral("UPDATE AbOm SET RATA=? WHERE IDSERV=?"),
                        {(first.money(0, QStringLiteral("RATA")) * d.persons).toVariant(), idserv});
            }
        }
        // The old subscription already carries this month's debit: the new ones start
        // next month.
        const QList<qint64> created = syncSubscriptions(db, session, idab, d.persons, today);
        for (const qint64 idserv : created)
            db.exec(QStringLiteral("UPDATE AbOm SET LUNAADD=? WHERE IDSERV=?"), {monthIndexOf(Clock::today()), idserv});
    }

    const auto [obs, obs2] = splitRemarks(cleanText(d.remarks));
    db.exec(QStringLiteral("UPDATE Abonat SET NUME=?, TIPPF=?, CNP=?, ROL=?, LOC=?, STRADA=?, NR=?, DATASCUT=?, "
                           "DATAOUT=?, NRPERS=?, NRCON=?, DATACON=?, OBS=?, OBS2=? WHERE IDAB=?"),
            {d.name, typeLetter(d), d.code, d.rol, d.locality, d.street, d.number, d.exempt ? d.exemptDay : 0,
             d.leaving ? d.leaveDay : 0, d.persons, d.contractNumber, d.contractDay, obs, obs2, idab});
    addLog(db, session, QStringLiteral("Modificare Abonat: ") + d.name);
    tx.commit();
}

bool hasCollections(Database &db, qint64 idab)
{
    return db.scalar(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=?"), {idab}).toLongLong() > 0;
}

void deleteSubscriber(Database &db, const Session &session, qint64 idab)
{
    requireWriteAccess(session);
    Transaction tx(db);
    const SubscriberRecord r = readSubscriber(db, idab);
    addLog(db, session, QStringLiteral("Stergere Abonat: ") + r.name);
    addLog(db, session, QStringLiteral("Stergere Chitante Abonat: ") + r.name);
    for (const char *table : {"Abonat", "AbOm", "Debite", "DebiteArh", "Chitante", "DetChit", "Urmarire"})
        db.exec(QStringLiteral("DELETE FROM %1 WHERE IDAB=?").arg(QLatin1String(table)), {idab});
    tx.commit();
}

QStringList distinctSubscriberValues(Database &db, const QString &field)
{
    // The column name comes from this fixed list, never from what a user typed.
    if (field != QLatin1String("LOC") && field != QLatin1String("STRADA"))
        return {};
    const ResultSet rows =
        db.select(QStringLiteral("SELECT DISTINCT %1 AS V FROM Abonat ORDER BY %1").arg(field));
    QStringList values;
    for (int i = 0; i < rows.rowCount(); ++i) {
        const QString v = rows.text(i, QStringLiteral("V"));
        if (!v.trimmed().isEmpty())
            values.append(v);
    }
    return values;
}

} // namespace vestronia
