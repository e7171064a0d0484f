// The import of households from backups written by an outside dBase writer: which
// households become subscribers and how, the subscriptions per account, the debits with
// their dates, penalty starts and LUNAADD, the counters, and all-or-nothing on failure.

#include "ledger/ledgerfixture.h"
#include "import/rg3builder.h"

#include "core/counters.h"
#include "core/workfiles.h"
#include "import/agriculturalbackup.h"
#include "import/householdimport.h"
#include "import/importerror.h"

#include <QFile>

using namespace vestronia;
using namespace vestronia::testing;

namespace {
const QDate Today(2026, 12, 9);
const int Year = 2026;
const QJsonObject Deceased{{QStringLiteral("DECEDAT"), QStringLiteral("DA")}};

// The register of the edge cases, the same in both field types.
RegisterSpec edgeCaseRegister(bool numeric)
{
    RegisterSpec r;
    r.numeric = numeric;
    r.addVolume(1, QStringLiteral("VESTRONIA"), 1);
    r.addVolume(2, QStringLiteral("ALBA"), 1);
    r.addVolume(3, QStringLiteral("VESTRONIA"), 2);
    // Block and apartment without staircase; one of three members deceased.
    r.addHousehold(10, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("12"),
                   {{QStringLiteral("BLOC1"), QStringLiteral("A2")}, {QStringLiteral("APART1"), QStringLiteral("5")}});
    r.addMember(10, Year, 1, QStringLiteral("Popescu"), QStringLiteral("Ion"), {{QStringLiteral("INIT"), QStringLiteral("I")},
                                                                               {QStringLiteral("CNP"), QStringLiteral("1700101123456")}});
    r.addMember(10, Year, 2, QStringLiteral("Popescu"), QStringLiteral("Ana"));
    r.addMember(10, Year, 3, QStringLiteral("Popescu"), QStringLiteral("Gheorghe"), Deceased);
    // Every member deceased.
    r.addHousehold(11, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("9"));
    r.addMember(11, Year, 1, QStringLiteral("Marin"), QStringLiteral("Vasile"), Deceased);
    r.addMember(11, Year, 2, QStringLiteral("Marin"), QStringLiteral("Elena"), Deceased);
    // Deceased head with a living member.
    r.addHousehold(12, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("3"));
    r.addMember(12, Year, 1, QStringLiteral("Ionescu"), QStringLiteral("Maria"), Deceased);
    r.addMember(12, Year, 2, QStringLiteral("Ionescu"), QStringLiteral("Petru"));
    // No head row.
    r.addHousehold(13, 1, QStringLiteral("SCOLII"), QStringLiteral("1"));
    r.addMember(13, Year, 2, QStringLiteral("Dobre"), QStringLiteral("Ilie"));
    // Cancelled.
    r.addHousehold(14, 1, QStringLiteral("SCOLII"), QStringLiteral("2"), {{QStringLiteral("ANULAT"), QStringLiteral("DA")}});
    r.addMember(14, Year, 1, QStringLiteral("Stan"), QStringLiteral("Radu"));
    // Register type 2.
    r.addHousehold(15, 3, QStringLiteral("SCOLII"), QStringLiteral("3"));
    r.addMember(15, Year, 1, QStringLiteral("Toma"), QStringLiteral("Dan"));
    // Five members: outside a range of 1 to 4.
    r.addHousehold(16, 2, QStringLiteral("GARII"), QStringLiteral("7"));
    r.addMember(16, Year, 1, QStringLiteral("vasilescu"), QStringLiteral("dan"));
    for (int i = 2; i <= 5; ++i)
        r.addMember(16, Year, i, QStringLiteral("Vasilescu"), QStringLiteral("Copil"));
    // Members recorded for last year only.
    r.addHousehold(17, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("12"));
    r.addMember(17, Year - 1, 1, QStringLiteral("Vechi"), QStringLiteral("Ion"));
    // Staircase only; its head is also listed last year (a different person).
    r.addHousehold(18, 1, QStringLiteral("PRINCIPALA"), QStringLiteral("10"), {{QStringLiteral("SCARA1"), QStringLiteral("B")}});
    r.addMember(18, Year - 1, 1, QStringLiteral("Altul"), QStringLiteral("Nume"));
    r.addMember(18, Year, 1, QStringLiteral("Georgescu"), QStringLiteral("Mihai"));
    return r;
}
} // namespace

class TestHouseholdImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void subscribersFromHouseholds_data();
    void subscribersFromHouseholds();
    void subscriptionsAndDebits();
    void futureStartWritesOneDebitPerSubscription();
    void debitDays_data();
    void debitDays();
    void namesAndNumbers();
    void failureLeavesRegisterEmptyAndRetryWorks();
    void refusals();

private:
    // Unpacks a backup of spec and imports it from startDay into the fixture.
    ImportResult importInto(LedgerFixture &f, const RegisterSpec &spec, int startDay);
};

ImportResult TestHouseholdImport::importInto(LedgerFixture &f, const RegisterSpec &spec, int startDay)
{
    const QString archive = f.dir.filePath(QStringLiteral("reg.rg3"));
    if (!writeRegisterBackup(spec, f.dir.filePath(QStringLiteral("work")), archive))
        throw VestroniaError(QStringLiteral("fixture not written"));
    NullProgress quiet;
    AgriculturalBackup backup(f.session, archive, quiet);
    return importHouseholds(*f.db, f.session, backup, startDay, quiet);
}

void TestHouseholdImport::subscribersFromHouseholds_data()
{
    QTest::addColumn<bool>("numeric");
    QTest::newRow("numeric identifiers, years and types") << true;
    QTest::newRow("character identifiers, years and types") << false;
}

void TestHouseholdImport::subscribersFromHouseholds()
{
    QFETCH(bool, numeric);
    LedgerFixture f(Today);
    const int start = day(2025, 3, 15);
    const ImportResult r = importInto(f, edgeCaseRegister(numeric), start);
    QCOMPARE(r.households, 5); // 10, 12, 13, 16, 18: living members this year, type 1, not cancelled
    QCOMPARE(r.subscribers, 4); // 13 has no head

    const ResultSet a = f.db->select(QStringLiteral(
        "SELECT IDAB, NUME, CNP, ROL, LOC, STRADA, NR, DATAIN, DATAOUT, DATASCUT, NRPERS, OBS FROM Abonat ORDER BY IDAB"));
    QCOMPARE(a.rowCount(), 4);
    // Locality, street, then numbers in numeric order.
    const QStringList names{QStringLiteral("VASILESCU DAN"), QStringLiteral("IONESCU MARIA"),
                            QStringLiteral("GEORGESCU MIHAI"), QStringLiteral("POPESCU I. ION")};
    const QStringList numbers{QStringLiteral("7"), QStringLiteral("3"), QStringLiteral("10 SC.B"),
                              QStringLiteral("12 BL.A2 AP.5")};
    const QList<int> persons{5, 1, 1, 2};
    const QStringList remarks{QString(), QStringLiteral("Decedat"), QString(), QString()};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(a.integer(i, QStringLiteral("IDAB")), i + 1);
        QCOMPARE(a.text(i, QStringLiteral("NUME")), names[i]);
        QCOMPARE(a.text(i, QStringLiteral("NR")), numbers[i]);
        QCOMPARE(a.integer(i, QStringLiteral("NRPERS")), persons[i]);
        QCOMPARE(a.text(i, QStringLiteral("OBS")), remarks[i]);
        QCOMPARE(a.integer(i, QStringLiteral("DATAIN")), start);
        QCOMPARE(a.integer(i, QStringLiteral("DATAOUT")), 0);
        QCOMPARE(a.integer(i, QStringLiteral("DATASCUT")), 0);
    }
    QCOMPARE(a.text(0, QStringLiteral("LOC")), QStringLiteral("ALBA"));
    QCOMPARE(a.text(3, QStringLiteral("LOC")), QStringLiteral("VESTRONIA"));
    QCOMPARE(a.text(3, QStringLiteral("STRADA")), QStringLiteral("PRINCIPALA"));
    QCOMPARE(a.text(3, QStringLiteral("ROL")), QStringLiteral("100"));
    QCOMPARE(a.text(3, QStringLiteral("CNP")), QStringLiteral("1700101123456"));
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDAB")), 5);
    QCOMPARE(f.logTexts().last(), QStringLiteral("Preluare date din Registrul Agricol."));
    // Nothing of the backup stays in the TEMP folder.
    QVERIFY(QDir(f.session.tempFolder).entryList({QStringLiteral("TmpRA*")}, QDir::Dirs).isEmpty());
}

void TestHouseholdImport::subscriptionsAndDebits()
{
    LedgerFixture f(Today);
    AccountDraft all = LedgerFixture::periodic(QStringLiteral("SALUBRIZARE"), QStringLiteral("10"));
    all.debitDay = 10;
    all.penalty = *Money::parse(QStringLiteral("0.1"));
    all.penaltyFromUnit = QStringLiteral("luna");
    all.penaltyFrom = 1;
    const qint64 idAll = f.insertAccount(all);
    AccountDraft perPerson = LedgerFixture::periodic(QStringLiteral("GUNOI PERSOANA"), QStringLiteral("2.5"), 1, 4);
    perPerson.periodMonths = 3;
    f.insertAccount(perPerson);
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("OPRIT INAINTE"), QStringLiteral("3")), day(2025, 1, 1));
    AccountDraft oneOff = LedgerFixture::periodic(QStringLiteral("TAXA"), QStringLiteral("4"));
    oneOff.periodic = false;
    f.insertAccount(oneOff);
    AccountDraft later = LedgerFixture::periodic(QStringLiteral("INCEPE MAI TARZIU"), QStringLiteral("1"));
    later.debitDay = 20;
    later.startDay = day(2026, 6, 1);
    f.insertAccount(later);
    AccountDraft stopping = LedgerFixture::periodic(QStringLiteral("SE OPRESTE"), QStringLiteral("1"));
    stopping.debitDay = 1;
    f.insertAccount(stopping, day(2025, 6, 15));

    const ImportResult r = importInto(f, edgeCaseRegister(true), day(2025, 3, 15));
    QCOMPARE(r.subscriptions, 4 + 3 + 4 + 4);
    QCOMPARE(r.debits, 4 * 21 + 3 * 8 + 4 * 6 + 4 * 4);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm")), 15);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), r.debits);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDSERV")), 16);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDDEB")), r.debits + 1);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(DISTINCT IDDEB) FROM Debite")), r.debits);
    QCOMPARE(f.count(QStringLiteral("SELECT MIN(IDSERV) FROM AbOm")), 1);

    // Every account: start date, stop, LUNAADD = month of the last debit written.
    const ResultSet s = f.db->select(QStringLiteral(
        "SELECT IDSERV, IDAB, IDCON, DENUM, RATA, PENALPE, PENALDELA, PENALDELAP, DATASTART, DATASTOP, LUNAADD "
        "FROM AbOm ORDER BY IDSERV"));
    QCOMPARE(s.integer(0, QStringLiteral("IDCON")), idAll);
    QCOMPARE(s.money(0, QStringLiteral("RATA")).toString(), QStringLiteral("10"));
    QCOMPARE(s.text(0, QStringLiteral("PENALDELAP")), QStringLiteral("luna"));
    QCOMPARE(s.integer(0, QStringLiteral("DATASTART")), day(2025, 3, 15));
    QCOMPARE(s.integer(0, QStringLiteral("DATASTOP")), 0);
    QCOMPARE(s.integer(0, QStringLiteral("LUNAADD")), 202611); // 10.12.2026 is after today
    // Per-person: the household of five (IDAB 1) gets none; the amount is per person.
    QCOMPARE(s.integer(4, QStringLiteral("IDAB")), 2);
    QCOMPARE(s.money(6, QStringLiteral("RATA")).toString(), QStringLiteral("5"));
    QCOMPARE(s.integer(6, QStringLiteral("LUNAADD")), 202612); // 05.12.2026 is not after today
    QCOMPARE(s.text(4, QStringLiteral("PENALPE")), QString()); // no penalty: terms blank
    QCOMPARE(s.integer(4, QStringLiteral("PENALDELA")), 0);
    // An account starting after the start date starts its subscriptions with it.
    QCOMPARE(s.integer(7, QStringLiteral("DATASTART")), day(2026, 6, 1));
    // An account stopping later keeps its stop day on the subscriptions and no debit
    // after it.
    QCOMPARE(s.integer(11, QStringLiteral("DATASTOP")), day(2025, 6, 15));
    QCOMPARE(s.integer(11, QStringLiteral("LUNAADD")), 202506);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE IDSERV=12 AND DATADEB>=?"), {day(2025, 6, 15)}), 0);

    // The debits of one subscription: from the 10th of the start month, monthly.
    QList<int> expected;
    for (int m = 202503; m <= 202611; m = nextMonthIndex(m))
        expected << m;
    QCOMPARE(f.debitMonths(1), expected);
    const ResultSet d = f.db->select(
        QStringLiteral("SELECT IDDEB, IDAB, DATADEB, DENUM, RATA, SOLD, PENALDATA FROM Debite WHERE IDSERV=1 ORDER BY DATADEB"));
    QCOMPARE(d.integer(0, QStringLiteral("DATADEB")), day(2025, 3, 10));
    QCOMPARE(d.integer(0, QStringLiteral("PENALDATA")), day(2025, 4, 10));
    QCOMPARE(d.text(0, QStringLiteral("DENUM")), QStringLiteral("SALUBRIZARE - 03.2025"));
    QCOMPARE(d.money(0, QStringLiteral("SOLD")).toString(), QStringLiteral("10"));
    QCOMPARE(d.integer(0, QStringLiteral("IDDEB")), 1);
    QCOMPARE(d.integer(0, QStringLiteral("IDAB")), 1);
    // Quarterly debits of the per-person account.
    QCOMPARE(f.debitMonths(5), (QList<int>{202503, 202506, 202509, 202512, 202603, 202606, 202609, 202612}));
}

void TestHouseholdImport::futureStartWritesOneDebitPerSubscription()
{
    LedgerFixture f(Today);
    AccountDraft a = LedgerFixture::periodic(QStringLiteral("SALUBRIZARE"), QStringLiteral("10"));
    a.debitDay = 10;
    f.insertAccount(a);
    const ImportResult r = importInto(f, edgeCaseRegister(false), day(2027, 2, 1));
    QCOMPARE(r.subscriptions, 4);
    QCOMPARE(r.debits, 4);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite WHERE DATADEB=? AND LUNADEB=202702"), {day(2027, 2, 10)}), 4);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm WHERE LUNAADD=202702")), 4);
}

void TestHouseholdImport::debitDays_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("debitDay");
    QTest::addColumn<int>("period");
    QTest::addColumn<QList<int>>("days");
    // Today is 10.06.2024.
    QTest::newRow("debit day before the start day still in the start month")
        << day(2024, 4, 20) << 0 << 5 << 1 << QList<int>{day(2024, 4, 5), day(2024, 5, 5), day(2024, 6, 5)};
    QTest::newRow("today's own debit day is written") << day(2024, 5, 1) << 0 << 10 << 1
                                                      << QList<int>{day(2024, 5, 10), day(2024, 6, 10)};
    QTest::newRow("period of two months over a year end")
        << day(2023, 11, 3) << 0 << 1 << 2 << QList<int>{day(2023, 11, 1), day(2024, 1, 1), day(2024, 3, 1), day(2024, 5, 1)};
    QTest::newRow("day 31 clipped in short months without drifting")
        << day(2024, 1, 1) << 0 << 31 << 1
        << QList<int>{day(2024, 1, 31), day(2024, 2, 29), day(2024, 3, 31), day(2024, 4, 30), day(2024, 5, 31)};
    QTest::newRow("future start: one debit") << day(2025, 1, 1) << 0 << 5 << 1 << QList<int>{day(2025, 1, 5)};
    QTest::newRow("stop day ends the debits") << day(2024, 1, 1) << day(2024, 3, 5) << 5 << 1
                                             << QList<int>{day(2024, 1, 5), day(2024, 2, 5)};
    QTest::newRow("no start date, no debits") << 0 << 0 << 5 << 1 << QList<int>{};
}

void TestHouseholdImport::debitDays()
{
    QFETCH(int, start);
    QFETCH(int, stop);
    QFETCH(int, debitDay);
    QFETCH(int, period);
    QFETCH(QList<int>, days);
    QCOMPARE(QList<int>(importDebitDays(start, stop, debitDay, period, day(2024, 6, 10))), days);
}

void TestHouseholdImport::namesAndNumbers()
{
    HouseholdHead head;
    head.surname = QStringLiteral("  Pop\"escu  ");
    head.firstName = QStringLiteral("Ştefan   Ion");
    QCOMPARE(headName(head), QStringLiteral("POP ESCU ŞTEFAN ION"));
    head.surname = QStringLiteral("   ");
    QCOMPARE(headName(head), QString());

    Household h;
    h.block = QStringLiteral("C");
    h.apartment = QStringLiteral("3");
    QCOMPARE(householdNumber(h), QStringLiteral("BL.C AP.3")); // no number: trimmed

    // Number texts of either field type meet as one key.
    QCOMPARE(foreignKey(QVariant(12.0)), foreignKey(QVariant(QStringLiteral(" 012"))));
    QVERIFY(!isDaMark(QVariant()));
}

void TestHouseholdImport::failureLeavesRegisterEmptyAndRetryWorks()
{
    LedgerFixture f(Today);
    f.insertAccount(LedgerFixture::periodic(QStringLiteral("SALUBRIZARE"), QStringLiteral("10")));
    // Its penalty would start on a day the debit's field cannot hold: the import fails in
    // its last phase, after subscribers and subscriptions were written.
    AccountDraft broken = LedgerFixture::periodic(QStringLiteral("PENALIZARE IMPOSIBILA"), QStringLiteral("1"));
    broken.penalty = *Money::parse(QStringLiteral("1"));
    broken.penaltyFrom = 999999;
    const qint64 idBroken = f.insertAccount(broken);
    const int logBefore = int(f.logTexts().size());
    bool failed = false;
    try {
        importInto(f, edgeCaseRegister(true), day(2025, 3, 15));
    } catch (const VestroniaError &) {
        failed = true;
    }
    QVERIFY(failed);
    f.reopen();
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM AbOm")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), 0);
    QCOMPARE(int(f.logTexts().size()), logBefore);

    // The register is still empty, so the import can simply be run again.
    f.db->exec(QStringLiteral("DELETE FROM DefCont WHERE IDCON=?"), {idBroken});
    const ImportResult r = importInto(f, edgeCaseRegister(true), day(2025, 3, 15));
    QCOMPARE(r.subscribers, 4);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Debite")), r.debits);
    QCOMPARE(f.count(QStringLiteral("SELECT MIN(IDAB) FROM Abonat")), 1);
}

void TestHouseholdImport::refusals()
{
    // No household of type 1 this year: the message names the year, nothing is written.
    {
        LedgerFixture f(Today);
        RegisterSpec r;
        r.addVolume(1, QStringLiteral("VESTRONIA"), 2);
        r.addHousehold(1, 1, QStringLiteral("A"), QStringLiteral("1"));
        r.addMember(1, Year, 1, QStringLiteral("Pop"), QStringLiteral("Ion"));
        try {
            importInto(f, r, day(2025, 3, 15));
            QFAIL("imported a register without households of type 1");
        } catch (const ImportError &e) {
            QCOMPARE(e.title(), QStringLiteral("Preluare date Reg.Agr."));
            QCOMPARE(e.message(), QStringLiteral("\rNu exista gospodarii pe Tip 1 in anul 2026 !"));
        }
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log")), 0);
    }
    // A register that already has subscribers is never imported into.
    {
        LedgerFixture f(Today);
        f.insertSubscriber(QStringLiteral("EXISTENT"), 1, day(2024, 1, 1));
        try {
            importInto(f, edgeCaseRegister(true), day(2025, 3, 15));
            QFAIL("imported into a register with subscribers");
        } catch (const ImportError &e) {
            QVERIFY(e.message().contains(QStringLiteral("nu este goala")));
        }
        QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat")), 1);
    }
}

QTEST_GUILESS_MAIN(TestHouseholdImport)
#include "tst_householdimport.moc"
