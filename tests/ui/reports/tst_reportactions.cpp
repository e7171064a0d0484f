// The reports as the desktop program starts them: the period and year pickers (refusals
// with the problem balloon, the remembered period), the menu items of the main window,
// and the refusals shown with Mesaj.

#include "core/clock.h"
#include "core/dates.h"
#include "core/session.h"
#include "startup/adminsettings.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "ui/reports/fisasel.h"
#include "ui/reports/reportactions.h"
#include "ui/shell/balloon.h"
#include "ui/app/mainwindow.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/perselect.h"
#include "ui/shell/selan.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace vestronia;

namespace {

struct Fixture
{
    QTemporaryDir dir;
    Session session;
    std::unique_ptr<Database> db;
    QList<MesajCall> messages;

    Fixture()
    {
        Clock::setToday(QDate(2024, 6, 10));
        session.programFolder = dir.path();
        session.localDataFolder = dir.filePath(QStringLiteral("Data"));
        session.dataFolder = session.localDataFolder;
        session.tempFolder = dir.filePath(QStringLiteral("Temp"));
        session.machineFolder = dir.filePath(QStringLiteral("machine"));
        QDir().mkpath(session.dataFolder);
        QDir().mkpath(session.tempFolder);
        createMissingTables(session.dataFolder);
        db = std::make_unique<Database>(session.dataFolder);
        adminSettings() = AdminSettings{};
        adminSettings().unitName = QStringLiteral("Primaria Vestroni");
        setMesajHook([this](const MesajCall &c) {
            messages << c;
            return MesajResult::OK;
        });
    }
    ~Fixture()
    {
        setMesajHook({});
        Clock::reset();
    }
};

// Runs f on the next modal dialog of the given class once it is shown.
template <typename Dialog, typename F>
void whenShown(F f)
{
    QTimer::singleShot(0, [f] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<Dialog *>(w); d && d->isVisible()) {
                f(d);
                return;
            }
        QFAIL("the picker did not show");
    });
}

QPushButton *buttonOf(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class TestReportActions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void periodPickerRefusesAReversedPeriodAndRemembers();
    void yearPickerNeedsAYear();
    void menuItemsProduceTheirDocuments();
    void emptyFollowUpSummaryShowsTheMessage();
    void statementAsksFromWhen();
};

void TestReportActions::periodPickerRefusesAReversedPeriodAndRemembers()
{
    Fixture f;
    QWidget parent;
    ReportActions actions(*f.db, f.session, &parent);
    clearLastProblem();
    bool firstUseIsSixMonths = false;
    bool refusedAndStayed = false;
    whenShown<PerSelect>([&](PerSelect *d) {
        auto *from = d->findChild<QDateEdit *>(QStringLiteral("Data0"));
        auto *to = d->findChild<QDateEdit *>(QStringLiteral("Data1"));
        firstUseIsSixMonths = from->date() == QDate(2023, 12, 10) && to->date() == QDate(2024, 6, 10);
        from->setDate(QDate(2024, 5, 1));
        to->setDate(QDate(2024, 4, 1));
        buttonOf(d, "MemoBut")->click();
        refusedAndStayed = d->isVisible() && lastProblem().text == QLatin1String("Perioada incorecta!") && lastProblem().control == to;
        to->setDate(QDate(2024, 5, 31));
        buttonOf(d, "MemoBut")->click();
    });
    QVERIFY(!actions.collectionList().isEmpty());
    QVERIFY(firstUseIsSixMonths);
    QVERIFY(refusedAndStayed);
    QCOMPARE(actions.periodPicker().windowTitle(), QStringLiteral("Borderou Incasari"));

    // The next report starts at the last period; cancelling makes nothing.
    bool remembered = false;
    whenShown<PerSelect>([&](PerSelect *d) {
        remembered = d->from() == QDate(2024, 5, 1) && d->to() == QDate(2024, 5, 31);
        d->reject();
    });
    QVERIFY(actions.followUpSummary(FollowUpKind::Notices).isEmpty());
    QVERIFY(remembered);
    QVERIFY(f.messages.isEmpty());
}

void TestReportActions::yearPickerNeedsAYear()
{
    Fixture f;
    SelAn picker;
    picker.setYears({});
    clearLastProblem();
    bool refused = false;
    whenShown<SelAn>([&](SelAn *d) {
        buttonOf(d, "MemoBut")->click();
        refused = d->isVisible() && lastProblem().text == QLatin1String("Nu ati ales niciun an!");
        buttonOf(d, "CloseBut")->click();
    });
    QVERIFY(!picker.run(QStringLiteral("Centralizator incasari")));
    QVERIFY(refused);

    picker.setYears({QStringLiteral("2024"), QStringLiteral("2023")});
    whenShown<SelAn>([](SelAn *d) { buttonOf(d, "MemoBut")->click(); });
    QVERIFY(picker.run(QStringLiteral("Centralizator incasari")));
    QCOMPARE(picker.year(), QStringLiteral("2024"));
}

void TestReportActions::menuItemsProduceTheirDocuments()
{
    Fixture f;
    f.db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, ROL, NRPERS, DATAOUT) VALUES (1, 'POPESCU ION', 'R1', 2, 0)"));
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, IDCON, DATADEB, LUNADEB, RATA, SOLD) VALUES (1, 1, 1, ?, 202402, 20, 0)"),
               {dayNumberOf(QDate(2024, 2, 5))});
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, DOCNR, DOCDATA, NUME, INCASAT, PLATIT) "
                              "VALUES (1, 1, 'CHITANTA', 5, ?, 'POPESCU ION', 20, 0)"),
               {dayNumberOf(QDate(2024, 3, 1))});
    f.db->exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, IDAB, RESTANTA, PENAL, CURENT) VALUES (1, 1, 1, 1, 0, 0, 20)"));

    MainWindow w(*f.db, f.session);
    QMenu *menu = w.findChild<QToolButton *>(QStringLiteral("MBut3"))->menu();
    QVERIFY(menu);
    const auto action = [&](const char *name) { return menu->findChild<QAction *>(QLatin1String(name)); };
    for (const char *name : {"Rap1", "BorderouIncasari1", "Bilantanaliticsintetic1", "CenIns", "CenSom",
                             "Centralizatorincasaripeani1"}) {
        QVERIFY2(action(name), name);
        QVERIFY2(action(name)->isEnabled(), name);
    }
    const auto outputs = [&] {
        return QDir(f.session.tempFolder).entryList({QStringLiteral("XLSTmp*.xls")}, QDir::Files).size();
    };
    action("Rap1")->trigger();
    QCOMPARE(outputs(), 1);
    whenShown<PerSelect>([](PerSelect *d) { buttonOf(d, "MemoBut")->click(); });
    action("BorderouIncasari1")->trigger();
    QCOMPARE(outputs(), 2);
    action("Bilantanaliticsintetic1")->trigger();
    QCOMPARE(outputs(), 3);
    whenShown<SelAn>([](SelAn *d) {
        QCOMPARE(d->findChild<QComboBox *>(QStringLiteral("AnulC"))->currentText(), QStringLiteral("2024"));
        buttonOf(d, "MemoBut")->click();
    });
    action("Centralizatorincasaripeani1")->trigger();
    QCOMPARE(outputs(), 4);
    QVERIFY2(f.messages.isEmpty(), qPrintable(f.messages.value(0).text));
    // The progress window is down again after the reports that use it.
    QVERIFY(!w.findChild<QWidget *>(QStringLiteral("Contor")) || !w.findChild<QWidget *>(QStringLiteral("Contor"))->isVisible());
}

void TestReportActions::emptyFollowUpSummaryShowsTheMessage()
{
    Fixture f;
    QWidget parent;
    ReportActions actions(*f.db, f.session, &parent);
    whenShown<PerSelect>([](PerSelect *d) { buttonOf(d, "MemoBut")->click(); });
    QVERIFY(actions.followUpSummary(FollowUpKind::Summons).isEmpty());
    QCOMPARE(f.messages.size(), 1);
    QCOMPARE(f.messages[0].title, QStringLiteral("Centralizator Somatii/Titluri"));
    QCOMPARE(f.messages[0].text, QStringLiteral("\rNu exista niciun act in perioada selectata!"));
    QCOMPARE(f.messages[0].kind, MesajKind::Eroare);
    // Cancelling the picker makes nothing and says nothing.
    whenShown<PerSelect>([](PerSelect *d) { d->reject(); });
    QVERIFY(actions.followUpSummary(FollowUpKind::Notices).isEmpty());
    QCOMPARE(f.messages.size(), 1);
}

void TestReportActions::statementAsksFromWhen()
{
    Fixture f;
    f.db->exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, ROL) VALUES (3, 'ALBU ANA', 'R3')"));
    QWidget parent;
    ReportActions actions(*f.db, f.session, &parent);
    whenShown<FisaSel>([](FisaSel *d) {
        QCOMPARE(d->findChild<QDateEdit *>(QStringLiteral("DataFisa"))->date(), QDate(2023, 1, 1));
        buttonOf(d, "MemoBut")->click();
    });
    const QString path = actions.accountStatement(3);
    QVERIFY(QFileInfo::exists(path));
    QVERIFY(f.messages.isEmpty());
}

QTEST_MAIN(TestReportActions)
#include "tst_reportactions.moc"
