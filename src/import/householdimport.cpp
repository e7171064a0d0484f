// The import of households as one transaction, in the phases the progress window shows:
// households, numbering of the heads, subscriptions per account, debits. The amounts,
// penalty terms and debit rows come from the ledger's own rules, so imported debits look
// exactly like those of the monthly run.

#include "import/householdimport.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "core/text.h"
#include "import/agriculturalbackup.h"
#include "import/importerror.h"
#include "ledger/accounts.h"
#include "ledger/debitbatch.h"
#include "ledger/debitrules.h"
#include "ledger/refusal.h"
#include "ledger/subscriptions.h"
#include "store/changelog.h"
#include "store/database.h"

#include <QDate>

#include <algorithm>
#include <vector>

namespace vestronia {

namespace {

const QString ImportTitle = QStringLiteral("Preluare date Reg.Agr.");

const QString InsertSubscriber = QStringLiteral(
    "INSERT INTO Abonat (IDAB, NUME, CNP, ROL, LOC, STRADA, NR, DATAIN, DATAOUT, DATASCUT, NRPERS, OBS) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 0, ?, ?)");
const QString InsertSubscription = QStringLiteral(
    "INSERT INTO AbOm (IDSERV, IDAB, IDCON, DENUM, RATA, ZIUAIMP, PERLUNI, PENAL, PENALPE, PENALDELA, "
    "PENALDELAP, MAXSOLD, DATASTART, DATASTOP, LUNAADD) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
const QString InsertDebit = QStringLiteral(
    "INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, PENALPE, "
    "PENALDATA, MAXSOLD) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

QString notEmptyText()
{
    return QStringLiteral("\rEvidenta abonatilor nu este goala!\rPreluarea din Registrul Agricol se face doar "
                          "intr-o evidenta fara abonati.");
}

// A value from outside cut to the width of its field, so a long street name never makes
// the whole import fail.
QString fitted(const QString &text, const char *field)
{
    const ColumnDef *c = tableDef(TableId::Abonat).column(QLatin1String(field));
    return c ? text.left(c->length) : text;
}

struct NewSubscriber
{
    qint64 idab = 0;
    int persons = 0;
};

// The first identifier after those a table already holds (1 for an empty table).
qint64 nextFree(Database &db, const QString &sql)
{
    return std::max<qint64>(1, db.scalar(sql).toLongLong() + 1);
}

} // namespace

QString householdNumber(const Household &h)
{
    QString nr = h.number;
    if (!h.block.isEmpty())
        nr += QStringLiteral(" BL.") + h.block;
    if (!h.staircase.isEmpty())
        nr += QStringLiteral(" SC.") + h.staircase;
    if (!h.apartment.isEmpty())
        nr += QStringLiteral(" AP.") + h.apartment;
    return nr.trimmed();
}

QString headName(const HouseholdHead &head)
{
    if (head.surname.trimmed().isEmpty())
        return QString();
    QString name = head.surname;
    if (!head.initial.isEmpty())
        name += QLatin1Char(' ') + head.initial + QLatin1Char('.');
    if (!head.firstName.isEmpty())
        name += QLatin1Char(' ') + head.firstName;
    return cleanText(name).toUpper();
}

QVector<int> importDebitDays(int startDay, int stopDay, int debitDay, int periodMonths, int today)
{
    QVector<int> days;
    if (!isDateSet(startDay))
        return days;
    const int period = std::max(1, periodMonths);
    const QDate first = dateOfDayNumber(startDay);
    const QDate firstMonth(first.year(), first.month(), 1);
    // Months are counted from the start month each time, so a debit day clipped in a
    // short month does not drift for the months after it.
    for (int k = 0;; k += period) {
        const int day = debitDayNumber(monthIndexOf(firstMonth.addMonths(k)), debitDay);
        if (k > 0 && day > today)
            break;
        if (isDateSet(stopDay) && day >= stopDay)
            break;
        days.append(day);
    }
    return days;
}

ImportResult importHouseholds(Database &db, const Session &session, const AgriculturalBackup &backup, int startDay,
                              Progress &progress)
{
    requireWriteAccess(session);
    if (!isDateSet(startDay))
        throw ImportError(ImportTitle, QStringLiteral("\rData adaugarii nu este o data valida!"));
    const int year = Clock::today().year();
    const int today = Clock::todayDayNumber();
    const QString settings = session.sharedSettings();
    ImportResult result;

    // The numbering starts at 1: only an empty register may be imported into, or the
    // new subscribers would take the identifiers of the existing ones.
    if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM Abonat")).toLongLong() > 0)
        throw ImportError(ImportTitle, notEmptyText());

    std::vector<Household> households;
    QHash<QString, HouseholdHead> heads;
    {
        // Reading a large backup takes a moment: the window says what is going on.
        ProgressScope scope(progress, QStringLiteral("Preiau gospodariile..."), 2);
        households = backup.households(db, year);
        progress.step();
        if (households.empty())
            throw ImportError(ImportTitle, QStringLiteral("\rNu exista gospodarii pe Tip 1 in anul ")
                                               + QString::number(year) + QStringLiteral(" !"));
        heads = backup.heads(db, year);
        progress.step();
    }
    result.households = int(households.size());

    Transaction tx(db);
    // Again under the transaction: another workstation may have added one meanwhile.
    if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM Abonat")).toLongLong() > 0)
        throw ImportError(ImportTitle, notEmptyText());

    // Households with a named head become subscribers, numbered in the households' order.
    std::vector<std::pair<const Household *, const HouseholdHead *>> kept;
    kept.reserve(households.size());
    {
        ProgressScope scope(progress, QStringLiteral("Preiau gospodariile..."), result.households);
        for (const Household &h : households) {
            const auto head = heads.constFind(h.idid);
            if (head != heads.cend() && !headName(*head).isEmpty())
                kept.push_back({&h, &*head});
            progress.step();
        }
    }
    if (kept.empty())
        throw ImportError(ImportTitle, QStringLiteral("\rNicio gospodarie pe Tip 1 din anul ") + QString::number(year)
                                           + QStringLiteral(" nu are cap de gospodarie!"));

    std::vector<NewSubscriber> subscribers;
    subscribers.reserve(kept.size());
    {
        ProgressScope scope(progress, QStringLiteral("Numerotare Abonati..."), int(kept.size()));
        Statement insert = db.prepare(InsertSubscriber);
        qint64 k = 1;
        for (const auto &[h, head] : kept) {
            insert.exec({k, fitted(headName(*head), "NUME"), fitted(head->cnp, "CNP"), fitted(h->rol, "ROL"),
                         fitted(h->locality, "LOC"), fitted(h->street, "STRADA"), fitted(householdNumber(*h), "NR"),
                         startDay, h->persons, head->deceased ? QStringLiteral("Decedat") : QString()});
            subscribers.push_back({k, h->persons});
            ++k;
            progress.step();
        }
        Counters::set(settings, QStringLiteral("IDAB"), k);
    }
    result.subscribers = int(subscribers.size());

    // A subscription per subscriber and running periodic account. The debits of each are
    // planned here, so LUNAADD is written with the row instead of by a second pass.
    const ResultSet accounts = db.select(
        QStringLiteral("SELECT * FROM DefCont WHERE PERLUNI>0 AND ((DATASTOP=0) OR (DATASTOP>?)) ORDER BY IDCON"),
        {startDay});
    std::vector<SubscriptionTerms> subscriptions;
    qint64 v = nextFree(db, QStringLiteral("SELECT MAX(IDSERV) FROM AbOm"));
    {
        Statement insert = db.prepare(InsertSubscription);
        for (int a = 0; a < accounts.rowCount(); ++a) {
            const AccountRecord account = AccountRecord::fromRow(accounts, a);
            ProgressScope scope(progress, QStringLiteral("Adaug ab.") + account.name, result.subscribers);
            const bool penalised = !account.penalty.isZero();
            // A subscription never runs before its account starts nor after it stops.
            const int start = std::max(startDay, account.start);
            const int stop = isDateSet(account.stop) ? account.stop : 0;
            for (const NewSubscriber &s : subscribers) {
                progress.step();
                if (account.byPersons && (s.persons < account.minPersons || s.persons > account.maxPersons))
                    continue;
                SubscriptionTerms t;
                t.idserv = v++;
                t.idab = s.idab;
                t.idcon = account.id;
                t.name = account.name;
                t.amount = updateAmount(account, s.persons);
                t.debitDay = account.debitDay;
                t.periodMonths = std::max(1, account.periodMonths);
                t.penalty = account.penalty;
                t.penaltyPer = penalised ? account.penaltyPer : QString();
                t.penaltyFrom = penalised ? account.penaltyFrom : 0;
                t.penaltyFromUnit = penalised ? account.penaltyFromUnit : QString();
                t.cap = account.cap;
                t.start = start;
                t.stop = stop;
                const QVector<int> days = importDebitDays(t.start, t.stop, t.debitDay, t.periodMonths, today);
                t.lastMonth = days.isEmpty() ? 0 : monthIndexOfDay(days.last());
                insert.exec({t.idserv, t.idab, t.idcon, t.name, t.amount.toVariant(), t.debitDay, t.periodMonths,
                             t.penalty.toVariant(), t.penaltyPer, t.penaltyFrom, t.penaltyFromUnit, t.cap, t.start,
                             t.stop, t.lastMonth});
                subscriptions.push_back(std::move(t));
            }
            Counters::set(settings, QStringLiteral("IDSERV"), v);
        }
    }
    result.subscriptions = int(subscriptions.size());

    {
        ProgressScope scope(progress, QStringLiteral("Adaug Debitele..."), result.subscriptions);
        Statement insert = db.prepare(InsertDebit);
        qint64 n = nextFree(db, QStringLiteral("SELECT MAX(IDDEB) FROM Debite"));
        for (const SubscriptionTerms &t : subscriptions) {
            for (const int day : importDebitDays(t.start, t.stop, t.debitDay, t.periodMonths, today)) {
                const DebitRow r = makeDebitRow(t, day, monthIndexOfDay(day));
                const QVariant amount = r.amount.toVariant();
                insert.exec({n++, r.idserv, r.idab, r.idcon, r.day, r.month, r.text, amount, amount,
                             r.penalty.toVariant(), r.penaltyPer, r.penaltyDay, r.cap});
                ++result.debits;
            }
            progress.step();
        }
        Counters::set(settings, QStringLiteral("IDDEB"), n);
    }

    addLog(db, session, QStringLiteral("Preluare date din Registrul Agricol."));
    tx.commit();
    return result;
}

} // namespace vestronia
