// The commune generator: deterministic (a fixed seed gives the same folder), bulk
// inserts in transactions for the register, and the ledger's own monthly run, one year
// at a time, for the debits.

#include "commune.h"

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "ledger/accounts.h"
#include "ledger/monthlydebiting.h"
#include "ledger/subscriptions.h"
#include "store/database.h"
#include "store/datafolder.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <iterator>

namespace vestronia::bench {

namespace {

const char *const Surnames[] = {"POPESCU", "IONESCU", "POPA", "RADU", "DUMITRU", "STAN", "STOICA", "GHEORGHE", "MATEI",
                                "CIOBANU", "RUSU", "MUNTEANU", "CONSTANTIN", "SERBAN", "MOLDOVAN", "LUPU", "MARIN",
                                "TUDOR", "DINU", "BARBU", "NISTOR", "FLOREA", "ENACHE", "DOBRE", "COSTEA", "OPREA",
                                "ILIE", "VASILE", "PETRE", "ZAHARIA", "NEAGU", "BALAN", "MIHAI", "SIMION", "CRACIUN",
                                "FILIP", "ANGHEL", "TOMA", "SAVA", "PAVEL", "MORARU", "VLAD", "SANDU", "OLTEANU",
                                "IORDACHE", "PREDA", "NICOLAE", "BRATU", "UNGUREANU", "CAZACU"};
const char *const FirstNames[] = {"ION", "MARIA", "GHEORGHE", "ELENA", "VASILE", "ANA", "CONSTANTIN", "IOANA", "NICOLAE",
                                  "MIHAELA", "DUMITRU", "ANDREEA", "ALEXANDRU", "CRISTINA", "ADRIAN", "DANIELA",
                                  "MARIUS", "GABRIELA", "FLORIN", "RODICA", "DANIEL", "VIORICA", "STEFAN", "LUMINITA",
                                  "PETRU", "CARMEN", "GABRIEL", "ALINA", "CRISTIAN", "MONICA"};
const char *const Localities[] = {"VESTRONIA", "DEALU MARE", "LUNCA", "PODENI", "VALEA SATULUI", "CRUCEA"};
const char *const Streets[] = {"PRINCIPALA", "MORII", "GARII", "BISERICII", "SCOLII", "LIVEZII", "PADURII", "VIILOR",
                               "PRIMAVERII", "FLORILOR", "PACII", "UNIRII", "LIBERTATII", "TEIULUI", "NUCILOR"};
const char *const FirmWords[] = {"AGRO", "CONSTRUCT", "COM", "TRANS", "SERV", "PROD", "MOB", "FARM", "ALIMENT", "LEMN"};

template<size_t N>
QString pick(QRandomGenerator &r, const char *const (&list)[N])
{
    return QLatin1String(list[r.bounded(int(N))]);
}

// A well-formed personal code for a person born on the given date.
QString personalCode(QRandomGenerator &r, const QDate &birth, bool man)
{
    const int first = birth.year() < 2000 ? (man ? 1 : 2) : (man ? 5 : 6);
    QString code = QString::number(first) + QStringLiteral("%1%2%3")
                                                .arg(birth.year() % 100, 2, 10, QLatin1Char('0'))
                                                .arg(birth.month(), 2, 10, QLatin1Char('0'))
                                                .arg(birth.day(), 2, 10, QLatin1Char('0'))
                   + QStringLiteral("%1").arg(r.bounded(100000), 5, 10, QLatin1Char('0'));
    static const char Weights[] = "279146358279";
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (code.at(i).unicode() - '0') * (Weights[i] - '0');
    const int control = sum % 11 == 10 ? 1 : sum % 11;
    return code + QString::number(control);
}

// Household sizes as a village has them: mostly 1 to 4, a few large families.
int householdSize(QRandomGenerator &r)
{
    static const int Sizes[] = {1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 6, 7, 8, 10};
    return Sizes[r.bounded(int(std::size(Sizes)))];
}

AccountDraft account(const QString &name, const char *amount, int minPersons, int maxPersons, bool fixed, int start)
{
    AccountDraft d;
    d.name = name;
    d.amount = *Money::parse(QLatin1String(amount));
    d.byPersons = true;
    d.minPersons = minPersons;
    d.maxPersons = maxPersons;
    d.fixedPrice = fixed;
    d.periodic = true;
    d.periodMonths = 1;
    d.debitDay = 15;
    d.penalty = Money::fromLei(1);
    d.penaltyPer = QStringLiteral("luna");
    d.penaltyFrom = 30;
    d.penaltyFromUnit = QStringLiteral("ziua");
    d.penaltyCapped = true;
    d.startDay = start;
    return d;
}

} // namespace

Session communeSession(const QString &home)
{
    Session s;
    s.programFolder = home;
    s.localDataFolder = home + QStringLiteral("/Data");
    s.dataFolder = s.localDataFolder;
    s.tempFolder = home + QStringLiteral("/Temp");
    s.machineFolder = home + QStringLiteral("/Machine");
    s.userLabel = QStringLiteral("BENCH - generator");
    return s;
}

CommuneStats generateCommune(const QString &home, const CommuneOptions &o, Progress &progress)
{
    CommuneStats stats;
    QRandomGenerator random(o.seed);
    const Session session = communeSession(home);
    QDir().mkpath(session.dataFolder);
    QDir().mkpath(session.tempFolder);
    createMissingTables(session.dataFolder);
    Database db(session.dataFolder);

    const QDate first(o.today.year() - o.years, o.today.month(), 1);
    const int firstDay = dayNumberOf(first);
    Clock::setToday(first);

    // Accounts: per person for small and middle households, a fixed price for large
    // ones, so that no two apply to one household size; and two one-off charges.
    NullProgress quiet;
    const AccountDraft periodicAccounts[] = {
        account(QStringLiteral("SALUBRIZARE 1-3 PERSOANE"), "9.5", 1, 3, false, firstDay),
        account(QStringLiteral("SALUBRIZARE 4-6 PERSOANE"), "8", 4, 6, false, firstDay),
        account(QStringLiteral("SALUBRIZARE FAMILII NUMEROASE"), "50", 7, 99, true, firstDay)};
    for (const AccountDraft &d : periodicAccounts)
        addAccount(db, session, d, quiet);
    for (const char *name : {"TAXA CONTAINER SUPLIMENTAR", "TAXA DESEURI VOLUMINOASE"}) {
        AccountDraft d = account(QLatin1String(name), "35", 0, 0, true, firstDay);
        d.byPersons = false;
        d.periodic = false;
        addAccount(db, session, d, quiet);
    }
    stats.accounts = 5;
    stats.localities = int(std::size(Localities));

    // Streets: each locality has its own subset.
    QVector<QStringList> streetsOf(stats.localities);
    for (int l = 0; l < stats.localities; ++l) {
        const int n = 6 + random.bounded(9);
        for (int s = 0; s < n; ++s)
            streetsOf[l] << QLatin1String(Streets[(l * 3 + s) % int(std::size(Streets))]);
        streetsOf[l].removeDuplicates();
        stats.streets += int(streetsOf[l].size());
    }

    // Subscribers: most on record from the start, the rest entering month by month.
    {
        ProgressScope scope(progress, QStringLiteral("Abonati..."), o.subscribers);
        Transaction tx(db);
        Statement insert = db.prepare(QStringLiteral(
            "INSERT INTO Abonat (IDAB, NUME, TIPPF, CNP, ROL, LOC, STRADA, NR, DATAIN, DATAOUT, DATASCUT, NRPERS, NRCON, "
            "DATACON, OBS, OBS2) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, ?, ?, ?, ?, '')"));
        // Late entries come before the months left undebited, so that every household is
        // due for each of those months.
        const int span = std::max(1, dayNumberOf(o.today.addMonths(-o.undebitedMonths - 1)) - firstDay);
        for (int i = 1; i <= o.subscribers; ++i) {
            const bool firm = random.bounded(100) < 4;
            const int loc = random.bounded(stats.localities);
            const QStringList &streets = streetsOf[loc];
            const int entry = random.bounded(100) < 90 ? firstDay : firstDay + random.bounded(span);
            QString name;
            QString code;
            int persons;
            if (firm) {
                name = pick(random, FirmWords) + QLatin1Char(' ') + pick(random, Surnames) + QStringLiteral(" SRL");
                persons = 1 + random.bounded(3);
            } else {
                const bool man = random.bounded(2) == 0;
                name = pick(random, Surnames) + QLatin1Char(' ') + pick(random, FirstNames);
                if (random.bounded(3) == 0)
                    name += QLatin1Char(' ') + pick(random, FirstNames);
                code = personalCode(random, QDate(1940, 1, 1).addDays(random.bounded(60 * 365)), man);
                persons = householdSize(random);
            }
            insert.exec({i, name, firm ? QStringLiteral("J") : QStringLiteral("F"), code,
                         QStringLiteral("R%1").arg(i, 6, 10, QLatin1Char('0')), QLatin1String(Localities[loc]),
                         streets.at(random.bounded(int(streets.size()))), QString::number(1 + random.bounded(250)), entry,
                         persons, QStringLiteral("C%1").arg(i), entry,
                         random.bounded(20) == 0 ? QStringLiteral("CONTRACT REINNOIT") : QString()});
            progress.step();
        }
        tx.commit();
        Counters::set(session.sharedSettings(), QStringLiteral("IDAB"), o.subscribers + 1);
    }
    stats.subscribers = o.subscribers;

    // Subscriptions, by the creation rules of the accounts that apply.
    {
        const ResultSet accounts = db.select(QStringLiteral("SELECT * FROM DefCont WHERE PERLUNI>0"));
        const ResultSet subscribers = db.select(QStringLiteral("SELECT IDAB, NRPERS, DATAIN FROM Abonat"));
        Transaction tx(db);
        Statement insert = db.prepare(QStringLiteral(
            "INSERT INTO AbOm (IDSERV, IDAB, IDCON, DENUM, RATA, ZIUAIMP, PERLUNI, PENAL, PENALPE, PENALDELA, "
            "PENALDELAP, MAXSOLD, DATASTART, DATASTOP, LUNAADD) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0)"));
        qint64 next = 1;
        for (int i = 0; i < subscribers.rowCount(); ++i) {
            const int persons = int(subscribers.integer(i, QStringLiteral("NRPERS")));
            for (int a = 0; a < accounts.rowCount(); ++a) {
                const AccountRecord acc = AccountRecord::fromRow(accounts, a);
                if (persons < acc.minPersons || persons > acc.maxPersons)
                    continue;
                insert.exec({next++, subscribers.integer(i, QStringLiteral("IDAB")), acc.id, acc.name,
                             creationAmount(acc, persons).toVariant(), acc.debitDay, acc.periodMonths,
                             acc.penalty.toVariant(), acc.penaltyPer, acc.penaltyFrom, acc.penaltyFromUnit, acc.cap,
                             std::max(int(subscribers.integer(i, QStringLiteral("DATAIN"))), acc.start)});
            }
        }
        tx.commit();
        Counters::set(session.sharedSettings(), QStringLiteral("IDSERV"), next);
        stats.subscriptions = int(next - 1);
    }

    // Debits: the monthly run as if the program had been started once a year, then
    // once more up to the last month that should carry debits.
    const QDate lastDebited = o.today.addMonths(-o.undebitedMonths);
    for (QDate runDay(first.year(), 12, 31); runDay < lastDebited; runDay = runDay.addYears(1)) {
        Clock::setToday(runDay);
        stats.debits += runMonthlyDebiting(db, session, progress).debits;
    }
    if (o.undebitedMonths < o.years * 12) {
        Clock::setToday(lastDebited);
        stats.debits += runMonthlyDebiting(db, session, progress).debits;
    }
    Clock::setToday(o.today);

    // A few households left in the last year and a few are exempted for a while; their
    // history stays.
    {
        Transaction tx(db);
        for (int i = 1; i <= o.subscribers; ++i) {
            const int roll = random.bounded(1000);
            if (roll < o.leaversPerThousand) {
                const int leave = dayNumberOf(o.today) - 1 - random.bounded(300);
                db.exec(QStringLiteral("UPDATE Abonat SET DATAOUT=? WHERE IDAB=?"), {leave, i});
                db.exec(QStringLiteral("UPDATE AbOm SET DATASTOP=? WHERE IDAB=? AND DATASTOP=0"), {leave, i});
                db.exec(QStringLiteral("DELETE FROM Debite WHERE IDAB=? AND IDSERV>0 AND DATADEB>=? AND RATA=SOLD"),
                        {i, leave});
                ++stats.leavers;
            } else if (roll < o.leaversPerThousand + o.exemptedPerThousand) {
                db.exec(QStringLiteral("UPDATE Abonat SET DATASCUT=? WHERE IDAB=?"),
                        {dayNumberOf(o.today) + 30 + random.bounded(300), i});
                ++stats.exempted;
            }
        }
        tx.commit();
    }
    return stats;
}

} // namespace vestronia::bench
