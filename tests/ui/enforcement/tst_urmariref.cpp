// The follow-up windows wired to their services: the no-debt refusal, the entry window's
// proposals and titles, change by double click, delete after the question with the
// buttons that follow the list, printing, and the batch window's outcome line.

#include "enforcement/enforcementfixture.h"

#include "core/counters.h"
#include "core/progress.h"
#include "ui/enforcement/actbatchwindow.h"
#include "ui/enforcement/addexecf.h"
#include "ui/enforcement/urmariref.h"
#include "ui/shell/mesaj.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

using namespace vestronia;
using namespace vestronia::testing;

namespace {

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no %s", name);
    return c;
}

QPushButton *button(QWidget *w, const char *name)
{
    return child<QPushButton>(w, name);
}

} // namespace

class TestUrmarireF : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { setMesajHook({}); }
    void refusesWithoutDebtAndFollowsList();
    void addChangeDeleteAndPrint();
    void batchWindowShowsRange();
};

void TestUrmarireF::refusesWithoutDebtAndFollowsList()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("FARA DATORII"));
    QList<MesajCall> calls;
    setMesajHook([&](const MesajCall &c) { calls << c; return MesajResult::OK; });
    UrmarireF w(*f.db, f.session);
    w.prepare(idab, QStringLiteral("FARA DATORII"), f.owed(idab));
    QCOMPARE(child<QLabel>(&w, "NumeL")->text(), QStringLiteral("FARA DATORII"));
    QVERIFY(button(&w, "AddBut")->isEnabled());
    for (const char *b : {"EditBut", "DelBut", "ListBut"})
        QVERIFY2(!button(&w, b)->isEnabled(), b);
    bool entryShown = false;
    QTimer::singleShot(0, &w, [&] { entryShown = w.entryWindow()->isVisible(); w.entryWindow()->reject(); });
    button(&w, "AddBut")->click();
    QCoreApplication::processEvents();
    QVERIFY(!entryShown);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].title, QStringLiteral("Adaugare Act"));
    QCOMPARE(calls[0].text, QStringLiteral("\rAcest Abonat NU are datorii!"));
    QCOMPARE(calls[0].kind, MesajKind::Eroare);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Urmarire")), 0);
}

void TestUrmarireF::addChangeDeleteAndPrint()
{
    EnforcementFixture f;
    const qint64 idab = f.debtor(QStringLiteral("POPESCU ION"));
    f.openDebit(idab, QStringLiteral("75.25"), day(2024, 9, 5));
    Counters::set(f.session.sharedSettings(), actSummonsType(), 30);
    UrmarireF w(*f.db, f.session);
    w.prepare(idab, QStringLiteral("POPESCU ION"), f.owed(idab));
    AddExecF *e = w.entryWindow();

    // Adding: the title, the amounts shown, the proposal of each type.
    QString title, debit, proposedNotice, proposedSummons;
    QTimer::singleShot(0, e, [&] {
        title = child<QLabel>(e, "Label2")->text();
        debit = child<QLabel>(e, "DebitL")->text();
        proposedNotice = child<QLineEdit>(e, "UNr")->text();
        child<QComboBox>(e, "TipAct")->setCurrentIndex(1);
        proposedSummons = child<QLineEdit>(e, "UNr")->text();
        child<QLineEdit>(e, "UNr")->setText(QStringLiteral("30\"b"));
        child<QDateEdit>(e, "UData")->setDate(QDate(2024, 11, 25));
        button(e, "MemoBut")->click();
    });
    button(&w, "AddBut")->click();
    QCOMPARE(title, QStringLiteral("Adaugare Urmarire"));
    QCOMPARE(debit, QStringLiteral("75.25"));
    QCOMPARE(proposedNotice, QStringLiteral("1"));
    QCOMPARE(proposedSummons, QStringLiteral("30"));
    QCOMPARE(w.actCount(), 1);
    const ResultSet act = actRecord(*f.db, w.currentAct());
    QCOMPARE(act.text(0, QStringLiteral("UNR")), QStringLiteral("30 B"));
    QCOMPARE(act.text(0, QStringLiteral("TIPACT")), actSummonsType());
    for (const char *b : {"EditBut", "DelBut", "ListBut"})
        QVERIFY2(button(&w, b)->isEnabled(), b);

    // The next addition proposes the type and date of the last one.
    QString keptType;
    QDate keptDate;
    QTimer::singleShot(0, e, [&] {
        keptType = child<QComboBox>(e, "TipAct")->currentText();
        keptDate = child<QDateEdit>(e, "UData")->date();
        e->reject();
    });
    button(&w, "AddBut")->click();
    QCOMPARE(keptType, actSummonsType());
    QCOMPARE(keptDate, QDate(2024, 11, 25));
    QCOMPARE(w.actCount(), 1);

    // Changing by double click: the stored number, not a proposal, until the type changes.
    QString changeTitle, shownNumber, shownTotal, afterTypeChange;
    QTimer::singleShot(0, e, [&] {
        changeTitle = child<QLabel>(e, "Label2")->text();
        shownNumber = child<QLineEdit>(e, "UNr")->text();
        shownTotal = child<QLabel>(e, "TotalL")->text();
        child<QComboBox>(e, "TipAct")->setCurrentIndex(0);
        afterTypeChange = child<QLineEdit>(e, "UNr")->text();
        button(e, "MemoBut")->click();
    });
    QTableView *grid = child<QTableView>(&w, "Grid1");
    Q_EMIT grid->doubleClicked(grid->currentIndex());
    QCOMPARE(changeTitle, QStringLiteral("Modificare Urmarire"));
    QCOMPARE(shownNumber, QStringLiteral("30 B"));
    QCOMPARE(shownTotal, QStringLiteral("75.25"));
    QCOMPARE(afterTypeChange, QStringLiteral("1"));
    QCOMPARE(actRecord(*f.db, w.currentAct()).text(0, QStringLiteral("TIPACT")), actNoticeType());
    QCOMPARE(f.logTexts().last(), QStringLiteral("Modificare Instiintare de plata: POPESCU ION=75.25 lei."));

    // Printing writes a letter into TEMP (the opener of the tests only records it).
    button(&w, "ListBut")->click();
    QVERIFY(QFileInfo::exists(w.lastLetter()));
    QVERIFY(f.readFile(w.lastLetter()).contains("POPESCU ION"));

    // Deleting asks first; "Nu" keeps the act.
    QList<MesajCall> calls;
    int answer = MesajResult::Nu;
    setMesajHook([&](const MesajCall &c) { calls << c; return answer; });
    button(&w, "DelBut")->click();
    QCOMPARE(w.actCount(), 1);
    QCOMPARE(calls.last().title, QStringLiteral("Stergere Act"));
    QCOMPARE(calls.last().text, QStringLiteral("\rDoriti sa stergeti Actul selectat?"));
    QCOMPARE(calls.last().buttons, MesajButtons::DaNu);
    answer = MesajResult::Da;
    button(&w, "DelBut")->click();
    QCOMPARE(w.actCount(), 0);
    for (const char *b : {"EditBut", "DelBut", "ListBut"})
        QVERIFY2(!button(&w, b)->isEnabled(), b);
}

void TestUrmarireF::batchWindowShowsRange()
{
    EnforcementFixture f;
    f.openDebit(f.debtor(QStringLiteral("ANA")), QStringLiteral("40"), day(2024, 9, 5));
    f.openDebit(f.debtor(QStringLiteral("ION"), QStringLiteral("DEAL")), QStringLiteral("60"), day(2024, 9, 5));
    f.openDebit(f.debtor(QStringLiteral("MIC")), QStringLiteral("2"), day(2024, 9, 5));
    Counters::set(f.session.sharedSettings(), actNoticeType(), 7);
    ActBatchWindow w(*f.db, f.session);
    NullProgress progress;
    w.setProgress(&progress);
    w.prepare();
    QCOMPARE(child<QLabel>(&w, "NrUrmL")->text(), QStringLiteral("7"));
    QCOMPARE(child<QComboBox>(&w, "LocC")->count(), 3);
    child<QLineEdit>(&w, "MinTotal")->setText(QStringLiteral("10"));
    button(&w, "GenBut")->click();
    QCOMPARE(child<QLabel>(&w, "RezultatL")->text(),
             QStringLiteral("Au fost emise 2 acte \"Instiintare de plata\", numerele 7 - 8, in total 100.00 lei."));
    QCOMPARE(child<QLabel>(&w, "NrUrmL")->text(), QStringLiteral("9"));
    QVERIFY(QFileInfo::exists(w.lastLetter()));

    // Nobody left above the threshold in that locality: a message, nothing recorded.
    QList<MesajCall> calls;
    setMesajHook([&](const MesajCall &c) { calls << c; return MesajResult::OK; });
    child<QComboBox>(&w, "LocC")->setCurrentText(QStringLiteral("DEAL"));
    child<QLineEdit>(&w, "MinTotal")->setText(QStringLiteral("100"));
    button(&w, "GenBut")->click();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].title, QStringLiteral("Urmariri in masa"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Urmarire")), 2);
}

QTEST_MAIN(TestUrmarireF)
#include "tst_urmariref.moc"
