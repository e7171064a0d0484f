// Acts: the no-debt refusal, the snapshot and numbering of an addition, what a change may
// touch, deletion, the list order, the letters written from stored acts, and the batch
// run over every debtor.

#include "enforcementfixture.h"

#include "core/counters.h"
#include "core/progress.h"
#include "enforcement/actbatch.h"

using namespace vestronia;
using namespace vestronia::testing;

class TestActs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void refusesWithoutDebt_data();
    void refusesWithoutDebt();
    void additionCopiesSubscriberAndSetsNumbering_data();
    void additionCopiesSubscriberAndSetsNumbering();
    void changeTouchesOnlyNumberDateAndType();
    void deleteLogsBeforeRemoving();
    void listOrdersByDateThenNumberAsText();
    void letterFillsKeysFromStoredAct();
    void letterTemplateFollowsType();
    void letterRefusesMissingTemplate();
    void batchRecordsEveryDebtorOnce();
    void batchRefusesWhenNobodyOwes();
};

void TestActs::refusesWithoutDebt_data()
{
    QTest::addColumn<QString>("total");
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("advance") << QStringLiteral("-12.5");
}

void TestActs::refusesWithoutDebt()
{
    QFETCH(QString, total);
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("POPESCU ION"));
    const ActAdded r = addAct(*f.db, f.session, idab, {actNoticeType(), QStringLiteral("5"), QDate(2024, 11, 29)},
                              {Money(), Money(), *Money::parse(total)});
    QVERIFY(r.refusal);
    QCOMPARE(r.refusal->title, QStringLiteral("Adaugare Act"));
    QCOMPARE(r.refusal->message, QStringLiteral("\rAcest Abonat NU are datorii!"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Urmarire")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log")), 0);
    QCOMPARE(proposedActNumber(f.session, actNoticeType()), 1);
}

void TestActs::additionCopiesSubscriberAndSetsNumbering_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<qint64>("nextProposal");
    QTest::newRow("number") << QStringLiteral("17") << QStringLiteral("17") << qint64(18);
    QTest::newRow("not a number restarts") << QStringLiteral("a17") << QStringLiteral("A17") << qint64(1);
    QTest::newRow("quotes cleaned") << QStringLiteral(" 3\"1 ") << QStringLiteral("3 1") << qint64(1);
    QTest::newRow("cut to the field") << QStringLiteral("abcdefghijklmnopq") << QStringLiteral("ABCDEFGHIJKLMNOP")
                                      << qint64(1);
}

void TestActs::additionCopiesSubscriberAndSetsNumbering()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(qint64, nextProposal);
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("POPESCU ION"));
    f.openDebit(idab, QStringLiteral("100.5"), day(2024, 9, 5), day(2024, 10, 5));
    f.openDebit(idab, QStringLiteral("20"), day(2024, 10, 5));
    const ActAmounts shown = f.owed(idab);
    QVERIFY(shown.penalties > Money());
    Counters::set(f.session.sharedSettings(), QStringLiteral("IDURM"), 40);

    const ActAdded r = addAct(*f.db, f.session, idab, {actSummonsType(), typed, QDate(2024, 11, 20)}, shown);
    QVERIFY(!r.refusal);
    QCOMPARE(r.idurm, 40);
    QCOMPARE(Counters::peek(f.session.sharedSettings(), QStringLiteral("IDURM")), 41);
    const ResultSet act = actRecord(*f.db, r.idurm);
    QCOMPARE(act.rowCount(), 1);
    QCOMPARE(act.integer(0, QStringLiteral("IDAB")), idab);
    QCOMPARE(act.text(0, QStringLiteral("TIPACT")), actSummonsType());
    QCOMPARE(act.text(0, QStringLiteral("UNR")), stored);
    QCOMPARE(act.integer(0, QStringLiteral("UDATA")), day(2024, 11, 20));
    QCOMPARE(act.text(0, QStringLiteral("NUME")), QStringLiteral("POPESCU ION"));
    QCOMPARE(act.text(0, QStringLiteral("STRADA")), QStringLiteral("Morii"));
    QCOMPARE(act.text(0, QStringLiteral("NR")), QStringLiteral("12A"));
    QCOMPARE(act.text(0, QStringLiteral("CNP")), QStringLiteral("1800101123456"));
    QCOMPARE(act.text(0, QStringLiteral("NRCON")), QStringLiteral("C-55"));
    QCOMPARE(act.integer(0, QStringLiteral("DATACON")), day(2021, 3, 4));
    QCOMPARE(act.money(0, QStringLiteral("DEBIT")), *Money::parse(QStringLiteral("120.5")));
    QCOMPARE(act.money(0, QStringLiteral("PENAL")), shown.penalties);
    QCOMPARE(act.money(0, QStringLiteral("TOTAL")), shown.total);
    // Only the chosen type's numbering moves.
    QCOMPARE(proposedActNumber(f.session, actSummonsType()), nextProposal);
    QCOMPARE(proposedActNumber(f.session, actNoticeType()), 1);
    QCOMPARE(f.logTexts(), QStringList{QStringLiteral("Adaugare Somatie/Titlu executoriu: POPESCU ION=")
                                       + shown.total.toString() + QStringLiteral(" lei.")});
}

void TestActs::changeTouchesOnlyNumberDateAndType()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("IONESCU ANA"));
    f.openDebit(idab, QStringLiteral("80"), day(2024, 10, 5));
    const ActAdded r = addAct(*f.db, f.session, idab, {actNoticeType(), QStringLiteral("7"), QDate(2024, 11, 1)}, f.owed(idab));
    QVERIFY(!r.refusal);
    // The subscriber moves and pays meanwhile: the act keeps the day of issue.
    f.db->exec(QStringLiteral("UPDATE Abonat SET STRADA='Noua' WHERE IDAB=?"), {idab});
    f.db->exec(QStringLiteral("UPDATE Debite SET SOLD=0 WHERE IDAB=?"), {idab});

    QVERIFY(!changeAct(*f.db, f.session, r.idurm, {actSummonsType(), QStringLiteral("x9"), QDate(2024, 11, 3)}));
    const ResultSet act = actRecord(*f.db, r.idurm);
    QCOMPARE(act.text(0, QStringLiteral("TIPACT")), actSummonsType());
    QCOMPARE(act.text(0, QStringLiteral("UNR")), QStringLiteral("X9"));
    QCOMPARE(act.integer(0, QStringLiteral("UDATA")), day(2024, 11, 3));
    QCOMPARE(act.text(0, QStringLiteral("STRADA")), QStringLiteral("Morii"));
    QCOMPARE(act.money(0, QStringLiteral("TOTAL")), Money::fromLei(80));
    QCOMPARE(proposedActNumber(f.session, actNoticeType()), 8);
    QCOMPARE(proposedActNumber(f.session, actSummonsType()), 1);
    QCOMPARE(f.logTexts().last(), QStringLiteral("Modificare Somatie/Titlu executoriu: IONESCU ANA=80.00 lei."));

    const MaybeRefusal gone = changeAct(*f.db, f.session, 999, {actNoticeType(), QStringLiteral("1"), QDate(2024, 11, 3)});
    QVERIFY(gone);
    const MaybeRefusal badType = changeAct(*f.db, f.session, r.idurm, {QStringLiteral("Somatie"), QStringLiteral("1"), QDate(2024, 1, 1)});
    QVERIFY(badType);
    QCOMPARE(badType->field, QStringLiteral("TipAct"));
}

void TestActs::deleteLogsBeforeRemoving()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("IONESCU ANA"));
    f.openDebit(idab, QStringLiteral("80.4"), day(2024, 10, 5));
    const ActAdded r = addAct(*f.db, f.session, idab, {actNoticeType(), QStringLiteral("7"), QDate(2024, 11, 1)}, f.owed(idab));
    QVERIFY(!deleteAct(*f.db, f.session, r.idurm));
    QCOMPARE(actsOf(*f.db, idab).rowCount(), 0);
    QCOMPARE(f.logTexts().last(), QStringLiteral("Stergere Instiintare de plata: IONESCU ANA=80.4 lei."));
    QVERIFY(deleteAct(*f.db, f.session, r.idurm));
    // Deleting never touches the numbering.
    QCOMPARE(proposedActNumber(f.session, actNoticeType()), 8);

    Session readOnly = f.session;
    readOnly.readOnly = true;
    QVERIFY_THROWS_EXCEPTION(VestroniaError, deleteAct(*f.db, readOnly, 1));
}

void TestActs::listOrdersByDateThenNumberAsText()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("A"));
    f.openDebit(idab, QStringLiteral("10"), day(2024, 10, 5));
    const ActAmounts owed = f.owed(idab);
    for (const auto &[number, date] : {std::pair{QStringLiteral("9"), QDate(2024, 11, 2)},
                                       std::pair{QStringLiteral("10"), QDate(2024, 11, 2)},
                                       std::pair{QStringLiteral("1"), QDate(2024, 11, 3)},
                                       std::pair{QStringLiteral("50"), QDate(2024, 10, 30)}})
        QVERIFY(!addAct(*f.db, f.session, idab, {actNoticeType(), number, date}, owed).refusal);
    const ResultSet list = actsOf(*f.db, idab);
    QStringList numbers;
    for (int i = 0; i < list.rowCount(); ++i)
        numbers << list.text(i, QStringLiteral("UNR"));
    QCOMPARE(numbers, (QStringList{QStringLiteral("50"), QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("1")}));
}

void TestActs::letterFillsKeysFromStoredAct()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("POPESCU {ION}"));
    f.db->exec(QStringLiteral("UPDATE Abonat SET NRCON=NULL, DATACON=0 WHERE IDAB=?"), {idab});
    f.openDebit(idab, QStringLiteral("123.5"), day(2024, 10, 5));
    const ActAdded r = addAct(*f.db, f.session, idab, {actNoticeType(), QStringLiteral("31"), QDate(2024, 11, 20)}, f.owed(idab));
    LetterUnit unit = EnforcementFixture::unit();
    unit.unit = QStringLiteral("Primaria \u015eiria \u0218"); // S cedilla is in 1250, S comma below is not
    const QString path = writeActLetter(*f.db, f.session, r.idurm, unit);
    QVERIFY(QFileInfo(path).fileName().startsWith(QStringLiteral("Executare")));
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(f.session.tempFolder).absoluteFilePath());
    const QByteArray rtf = f.readFile(path);
    QVERIFY(rtf.startsWith("{\\rtf1"));
    QVERIFY(rtf.endsWith("}\r\n"));
    QVERIFY(rtf.contains("JUDE\\'deUL BRASOV"));
    QVERIFY(rtf.contains("PRIMARIA \\'aaIRIA \\u536?"));
    QVERIFY(rtf.contains("Nr. 31 / 20.11.2024"));
    QVERIFY(rtf.contains("debitorului: POPESCU (ION)"));
    QVERIFY(rtf.contains("ROM\\'c2NIA, VESTRONIA, str. Morii nr. 12A"));
    QVERIFY(rtf.contains("Contract: .......... / .........."));
    QVERIFY(rtf.contains("[Debit]") == false);
    QVERIFY(rtf.contains("123.5\\cell"));
    QVERIFY(!rtf.contains("[Nume]") && !rtf.contains("[UNR]"));
    QCOMPARE(rtf.count("{") - rtf.count("\\{"), rtf.count("}") - rtf.count("\\}"));

    // The letter shows the day of issue, whatever changed in the register since.
    f.db->exec(QStringLiteral("UPDATE Abonat SET NUME='ALTUL' WHERE IDAB=?"), {idab});
    const QString again = writeActLetter(*f.db, f.session, r.idurm, unit);
    QVERIFY(f.readFile(again).contains("POPESCU (ION)"));
}

void TestActs::letterTemplateFollowsType()
{
    QCOMPARE(letterTemplateName(actNoticeType()), QStringLiteral("Instiintare.rtf"));
    QCOMPARE(letterTemplateName(actSummonsType()), QStringLiteral("SomTit.rtf"));
    QCOMPARE(letterTemplateName(QStringLiteral("Alt tip")), QStringLiteral("SomTit.rtf"));
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("B"));
    f.openDebit(idab, QStringLiteral("5"), day(2024, 10, 5));
    const ActAdded r = addAct(*f.db, f.session, idab, {actSummonsType(), QStringLiteral("2"), QDate(2024, 11, 20)}, f.owed(idab));
    const QByteArray rtf = f.readFile(writeActLetter(*f.db, f.session, r.idurm, EnforcementFixture::unit()));
    QVERIFY(rtf.contains("\\page"));
    QVERIFY(rtf.contains("TITLU EXECUTORIU"));
    QVERIFY(rtf.contains("[DATA]"));
}

void TestActs::letterRefusesMissingTemplate()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("B"));
    f.openDebit(idab, QStringLiteral("5"), day(2024, 10, 5));
    const ActAdded r = addAct(*f.db, f.session, idab, {actNoticeType(), QStringLiteral("2"), QDate(2024, 11, 20)}, f.owed(idab));
    QVERIFY(QFile::remove(f.session.dataFolder + QStringLiteral("/Instiintare.rtf")));
    const QString out = f.session.tempFolder + QStringLiteral("/x.rtf");
    QVERIFY_THROWS_EXCEPTION(LetterError, writeActLetter(*f.db, f.session, r.idurm, EnforcementFixture::unit(), out));
    QVERIFY(!QFile::exists(out));
}

void TestActs::batchRecordsEveryDebtorOnce()
{
    EnforcementFixture f;
    const qint64 a = f.debtor(QStringLiteral("ANA"));
    const qint64 b = f.debtor(QStringLiteral("BOGDAN"), QStringLiteral("SATU MIC"));
    const qint64 c = f.debtor(QStringLiteral("CRISTI"));
    const qint64 gone = f.debtor(QStringLiteral("DAN"), QStringLiteral("VESTRONIA"), day(2024, 5, 1));
    const qint64 paidAhead = f.debtor(QStringLiteral("ELENA"));
    f.openDebit(a, QStringLiteral("50"), day(2024, 9, 5));
    f.openDebit(b, QStringLiteral("30"), day(2024, 9, 5), day(2024, 10, 1));
    f.openDebit(c, QStringLiteral("5"), day(2024, 9, 5));
    f.openDebit(gone, QStringLiteral("90"), day(2024, 3, 5));
    f.openDebit(paidAhead, QStringLiteral("-20"), day(2024, 8, 5));
    f.openDebit(paidAhead, QStringLiteral("15"), day(2024, 9, 5));
    Counters::set(f.session.sharedSettings(), actNoticeType(), 120);
    const qint64 logsBefore = f.count(QStringLiteral("SELECT COUNT(*) FROM Log"));

    NullProgress progress;
    const ActBatchOutcome out = runActBatch(*f.db, f.session, {actNoticeType(), QDate(2024, 11, 29), Money::fromLei(10), {}},
                                            EnforcementFixture::unit(), progress);
    QVERIFY(!out.refusal);
    QCOMPARE(out.acts, 2);
    QCOMPARE(out.firstNumber, 120);
    QCOMPARE(out.lastNumber, 121);
    QCOMPARE(proposedActNumber(f.session, actNoticeType()), 122);
    const ResultSet acts = f.db->select(QStringLiteral("SELECT IDAB, UNR, TOTAL FROM Urmarire ORDER BY UNR"));
    QCOMPARE(acts.rowCount(), 2);
    QCOMPARE(acts.integer(0, QStringLiteral("IDAB")), a);
    QCOMPARE(acts.text(0, QStringLiteral("UNR")), QStringLiteral("120"));
    QCOMPARE(acts.integer(1, QStringLiteral("IDAB")), b);
    QCOMPARE(acts.money(1, QStringLiteral("TOTAL")), f.owed(b).total);
    QCOMPARE(out.total, Money::fromLei(50) + f.owed(b).total);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log")), logsBefore + 1);
    QVERIFY(f.logTexts().last().startsWith(QStringLiteral("Urmariri in masa Instiintare de plata: 2 acte, nr. 120-121")));
    const QByteArray rtf = f.readFile(out.letterPath);
    QCOMPARE(rtf.count("\\page"), 1);
    QVERIFY(rtf.contains("debitorului: ANA") && rtf.contains("debitorului: BOGDAN"));

    // One locality only.
    const ActBatchOutcome local = runActBatch(*f.db, f.session, {actNoticeType(), QDate(2024, 11, 29), Money(), QStringLiteral("satu mic")},
                                              EnforcementFixture::unit(), progress);
    QCOMPARE(local.acts, 1);
    QCOMPARE(local.firstNumber, 122);
}

void TestActs::batchRefusesWhenNobodyOwes()
{
    EnforcementFixture f;
    f.openDebit(f.debtor(QStringLiteral("ANA")), QStringLiteral("5"), day(2024, 9, 5));
    NullProgress progress;
    const ActBatchOutcome out = runActBatch(*f.db, f.session, {actSummonsType(), QDate(2024, 11, 29), Money::fromLei(6), {}},
                                            EnforcementFixture::unit(), progress);
    QVERIFY(out.refusal);
    QCOMPARE(out.refusal->message, QStringLiteral("\rNici un abonat nu are datorii de cel putin 6 lei!"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Urmarire")), 0);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Log")), 0);
    QVERIFY(out.letterPath.isEmpty());
    QCOMPARE(proposedActNumber(f.session, actSummonsType()), 1);

    // A letter that cannot be written leaves nothing recorded.
    QVERIFY(QFile::remove(f.session.dataFolder + QStringLiteral("/SomTit.rtf")));
    QVERIFY_THROWS_EXCEPTION(LetterError, runActBatch(*f.db, f.session, {actSummonsType(), QDate(2024, 11, 29), Money(), {}},
                                                      EnforcementFixture::unit(), progress));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Urmarire")), 0);
    QCOMPARE(proposedActNumber(f.session, actSummonsType()), 1);
}

QTEST_GUILESS_MAIN(TestActs)
#include "tst_acts.moc"
