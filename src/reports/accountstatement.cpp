// Statement of account. The running balance counts a debit when it is made and a
// collection by what it took off the debits (its amount without the penalties it paid),
// so the last balance is the sum of the open rests, advances included; the age groups
// and the totals come from the same walk over the open debits as the collections panel.

#include "reports/accountstatement.h"

#include "core/dates.h"
#include "ledger/subscriberpanels.h"
#include "reports/reportframe.h"
#include "store/database.h"

#include <QHash>

#include <algorithm>

namespace vestronia {

namespace {

// At most this many documents are named next to one debit; more are counted.
constexpr int MaxDocumentsPerDebit = 12;

QString documentText(const QString &series, qint64 number)
{
    const QString s = series.trimmed();
    return s.isEmpty() ? QString::number(number) : s + QLatin1Char(' ') + QString::number(number);
}

} // namespace

AccountStatement readAccountStatement(Database &db, qint64 idab, int since, int today)
{
    AccountStatement st;
    st.since = since;
    st.today = today;
    const ResultSet who = db.select(QStringLiteral("SELECT IDAB, NUME, ROL, CNP, LOC, STRADA, NR FROM Abonat WHERE IDAB=?"), {idab});
    if (who.isEmpty())
        return st;
    st.idab = idab;
    st.name = who.text(0, QStringLiteral("NUME"));
    st.rol = who.text(0, QStringLiteral("ROL"));
    st.cnp = who.text(0, QStringLiteral("CNP"));
    QStringList address;
    if (!who.text(0, QStringLiteral("LOC")).isEmpty())
        address << who.text(0, QStringLiteral("LOC"));
    if (!who.text(0, QStringLiteral("STRADA")).isEmpty())
        address << QStringLiteral("str. ") + who.text(0, QStringLiteral("STRADA"));
    if (!who.text(0, QStringLiteral("NR")).isEmpty())
        address << QStringLiteral("nr. ") + who.text(0, QStringLiteral("NR"));
    st.address = address.join(QStringLiteral(", "));

    // What each valid document of the subscriber paid on each debit.
    const ResultSet lines = db.select(
        QStringLiteral("SELECT D.IDDEB, D.IDCHIT, D.RESTANTA, D.PENAL, D.CURENT, C.DOCSERIA, C.DOCNR, C.DOCDATA "
                       "FROM DetChit D JOIN Chitante C ON C.IDCHIT=D.IDCHIT "
                       "WHERE D.IDAB=? AND ((C.ANULAT IS NULL) OR (C.ANULAT<>'X')) ORDER BY C.DOCDATA, C.IDCHIT"),
        {idab});
    QHash<qint64, Money> paidOnDebit;
    QHash<qint64, QStringList> documentsOfDebit;
    QHash<qint64, Money> penaltiesOfDocument;
    for (int i = 0; i < lines.rowCount(); ++i) {
        const qint64 iddeb = lines.integer(i, QStringLiteral("IDDEB"));
        const qint64 idchit = lines.integer(i, QStringLiteral("IDCHIT"));
        const Money part = lines.money(i, QStringLiteral("RESTANTA")) + lines.money(i, QStringLiteral("CURENT"));
        paidOnDebit[iddeb] += part;
        penaltiesOfDocument[idchit] += lines.money(i, QStringLiteral("PENAL"));
        QStringList &docs = documentsOfDebit[iddeb];
        const QString doc = documentText(lines.text(i, QStringLiteral("DOCSERIA")), lines.integer(i, QStringLiteral("DOCNR")))
            + QLatin1Char('/') + dayText(int(lines.integer(i, QStringLiteral("DOCDATA"))));
        if (!docs.contains(doc))
            docs.append(doc);
    }

    // Debits of an account (advances are not debits; they show through the documents).
    const ResultSet debits = db.select(QStringLiteral("SELECT IDDEB, DATADEB, LUNADEB, DENUM, RATA, SOLD FROM Debite "
                                                      "WHERE IDAB=? AND RATA>0 ORDER BY DATADEB, IDDEB"),
                                       {idab});
    struct Event
    {
        int date;
        int order; // debits before documents of the same day
        qint64 id;
        StatementMovement movement;
    };
    std::vector<Event> events;
    for (int i = 0; i < debits.rowCount(); ++i) {
        const qint64 iddeb = debits.integer(i, QStringLiteral("IDDEB"));
        const int date = int(debits.integer(i, QStringLiteral("DATADEB")));
        const Money amount = debits.money(i, QStringLiteral("RATA"));
        if (date < since) {
            st.openingBalance += amount;
            continue;
        }
        StatementDebit d;
        d.iddeb = iddeb;
        d.date = date;
        d.month = int(debits.integer(i, QStringLiteral("LUNADEB")));
        d.text = debits.text(i, QStringLiteral("DENUM"));
        d.amount = amount;
        d.paid = paidOnDebit.value(iddeb);
        QStringList docs = documentsOfDebit.value(iddeb);
        if (docs.size() > MaxDocumentsPerDebit) {
            const qsizetype more = docs.size() - MaxDocumentsPerDebit;
            docs = docs.mid(0, MaxDocumentsPerDebit);
            docs << QStringLiteral("si inca %1").arg(more);
        }
        d.documents = docs.join(QStringLiteral("; "));
        d.rest = debits.money(i, QStringLiteral("SOLD"));
        st.debits.append(d);
        StatementMovement m;
        m.date = date;
        m.text = d.text;
        m.debit = amount;
        events.push_back({date, 0, iddeb, m});
    }

    const ResultSet docs = db.select(QStringLiteral("SELECT IDCHIT, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUMEPLAT, INCASAT, PLATIT "
                                                    "FROM Chitante WHERE IDAB=? AND ((ANULAT IS NULL) OR (ANULAT<>'X')) "
                                                    "ORDER BY DOCDATA, IDCHIT"),
                                    {idab});
    for (int i = 0; i < docs.rowCount(); ++i) {
        const qint64 idchit = docs.integer(i, QStringLiteral("IDCHIT"));
        const int date = int(docs.integer(i, QStringLiteral("DOCDATA")));
        const Money net = docs.money(i, QStringLiteral("INCASAT")) - docs.money(i, QStringLiteral("PLATIT"));
        const Money penalties = penaltiesOfDocument.value(idchit);
        if (date < since) {
            st.openingBalance -= net - penalties;
            continue;
        }
        StatementMovement m;
        m.date = date;
        m.document = docs.text(i, QStringLiteral("DOCJUS")) + QLatin1Char(' ')
            + documentText(docs.text(i, QStringLiteral("DOCSERIA")), docs.integer(i, QStringLiteral("DOCNR")));
        m.text = docs.text(i, QStringLiteral("NUMEPLAT"));
        m.collected = net;
        m.penalties = penalties;
        events.push_back({date, 1, idchit, m});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        if (a.date != b.date)
            return a.date < b.date;
        if (a.order != b.order)
            return a.order < b.order;
        return a.id < b.id;
    });
    Money balance = st.openingBalance;
    for (Event &e : events) {
        balance += e.movement.debit - (e.movement.collected - e.movement.penalties);
        e.movement.balance = balance;
        st.movements.append(e.movement);
    }

    // Today's figures: the panel's walk, with each uncovered rest put in its age group.
    const ResultSet open = openDebitsOf(db, idab);
    st.totals = computeBalanceTotals(open, today);
    const AdvanceCoverage cover = coverWithAdvances(open);
    for (int i = 0; i < cover.uncovered.size(); ++i) {
        const Money uncovered = cover.uncovered[i];
        if (uncovered <= Money())
            continue;
        const int start = int(open.integer(i, QStringLiteral("PENALDATA")));
        if (!isDateSet(start) || today < start) {
            st.ages.notDue += uncovered;
            continue;
        }
        const int days = today - start + 1;
        if (days <= 30)
            st.ages.upTo30 += uncovered;
        else if (days <= 90)
            st.ages.upTo90 += uncovered;
        else if (days <= 365)
            st.ages.upTo365 += uncovered;
        else
            st.ages.over365 += uncovered;
    }
    return st;
}

ReportOutcome accountStatementReport(Database &db, const QString &tempFolder, const QString &unitName, qint64 idab,
                                     int since, int today)
{
    const AccountStatement st = readAccountStatement(db, idab, since, today);
    if (st.idab == 0)
        return {{}, QStringLiteral("Fisa abonatului"), QStringLiteral("\rAbonatul nu exista!")};

    ResultSet debitRows;
    debitRows.setColumns({QStringLiteral("DATADEB"), QStringLiteral("LUNA"), QStringLiteral("DENUM"), QStringLiteral("RATA"),
                          QStringLiteral("ACHITAT"), QStringLiteral("DOCUMENTE"), QStringLiteral("SOLD")},
                         {QStringLiteral("DATE"), QStringLiteral("CHAR(7)"), QStringLiteral("CHAR(60)"),
                          QStringLiteral("DECIMAL(10,2)"), QStringLiteral("DECIMAL(10,2)"), QStringLiteral("CHAR(254)"),
                          QStringLiteral("DECIMAL(10,2)")});
    for (const StatementDebit &d : st.debits)
        debitRows.appendRow({d.date, monthText(d.month), d.text, QVariant::fromValue(d.amount), QVariant::fromValue(d.paid),
                             d.documents, QVariant::fromValue(d.rest)});
    ResultSet movementRows;
    movementRows.setColumns({QStringLiteral("DATA"), QStringLiteral("DOCUMENT"), QStringLiteral("EXPLICATIE"),
                             QStringLiteral("DEBIT"), QStringLiteral("INCASAT"), QStringLiteral("PENAL"), QStringLiteral("SOLD")},
                            {QStringLiteral("DATE"), QStringLiteral("CHAR(60)"), QStringLiteral("CHAR(120)"),
                             QStringLiteral("DECIMAL(10,2)"), QStringLiteral("DECIMAL(10,2)"), QStringLiteral("DECIMAL(10,2)"),
                             QStringLiteral("CHAR(16)")});
    // The balance is written as text so that a balance of 0 still shows.
    for (const StatementMovement &m : st.movements)
        movementRows.appendRow({m.date, m.document, m.text, QVariant::fromValue(m.debit), QVariant::fromValue(m.collected),
                                QVariant::fromValue(m.penalties), m.balance.toFixed(2)});

    ReportFrame frame(tempFolder, QStringLiteral("Fisa"), QStringLiteral("Fisa"));
    ReportWriter &w = frame.writer();
    // Rows first, so that no text of the data can pose as a marker or a key.
    const int debitRow = w.fillRows(debitRows);
    if (st.debits.isEmpty() && debitRow > 0)
        w.deleteRows(debitRow, 1);
    const int movementRow = w.fillRows(movementRows);
    if (st.movements.isEmpty() && movementRow > 0)
        w.deleteRows(movementRow, 1);

    w.replaceKey(QStringLiteral("[UNITATE]"), unitName);
    w.replaceKey(QStringLiteral("[DATA]"), QString(QStringLiteral("la data de ") + dayText(today)));
    w.replaceKey(QStringLiteral("[NUME]"), st.name);
    w.replaceKey(QStringLiteral("[ROL]"), st.rol);
    w.replaceKey(QStringLiteral("[CNP]"), st.cnp);
    w.replaceKey(QStringLiteral("[ADRESA]"), st.address);
    w.replaceKey(QStringLiteral("[PERIOADA]"), QString(QStringLiteral("Debite si plati incepand cu ") + dayText(since)));
    // A long name or address wraps inside its header cells.
    for (int r = 1; r < (debitRow > 0 ? debitRow : 10); ++r)
        w.fitRowHeight(r);
    const auto number = [](Money m) { return QVariant::fromValue(m); };
    w.replaceKey(QStringLiteral("[SOLDANTERIOR]"), number(st.openingBalance));
    w.replaceKey(QStringLiteral("[NESCADENT]"), number(st.ages.notDue));
    w.replaceKey(QStringLiteral("[R30]"), number(st.ages.upTo30));
    w.replaceKey(QStringLiteral("[R90]"), number(st.ages.upTo90));
    w.replaceKey(QStringLiteral("[R365]"), number(st.ages.upTo365));
    w.replaceKey(QStringLiteral("[RPESTE]"), number(st.ages.over365));
    w.replaceKey(QStringLiteral("[DEBIT]"), number(st.totals.rest));
    w.replaceKey(QStringLiteral("[PENALITATI]"), number(st.totals.penalties));
    w.replaceKey(QStringLiteral("[AVANS]"), number(st.totals.advance));
    w.replaceKey(QStringLiteral("[TOTAL]"), number(st.totals.total));
    return {frame.finish(), {}, {}};
}

} // namespace vestronia
