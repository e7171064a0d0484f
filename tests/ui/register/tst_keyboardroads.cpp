// The clerk's roads at the keyboard, with key events only: Enter field by field and on the
// last field or a focused button, the focus frame from the first key, a typed day the month
// lacks, Tab out of the grids and the mnemonics of the register screen, its fit on a
// 1366x768 screen, and the roads that add a subscriber, record a collection, record a
// cash-desk entry and choose a report period; the file choosers' Romanian captions.

#include "ledger/ledgerfixture.h"
#include "ui/collections/regcasaf.h"
#include "ui/register/evidenta.h"
#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/filedialogs.h"
#include "ui/shell/formbuttons.h"
#include "ui/shell/perselect.h"
#include "ui/shell/shelltesthelpers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QPlainTextEdit>
#include <QVBoxLayout>

using namespace vestronia;
using namespace vestronia::testing;

class TestKeyboardRoads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void enterMovesThenSavesAndPressesFocusedButtons();
    void typedDayIsKeptUntilTheMonth();
    void periodPickerTakesATyped31December();
    void registerGridsLetTabOutAndButtonsHaveMnemonics();
    void registerFitsA1366x768Screen();
    void addSubscriberByKeys();
    void recordCollectionByKeys();
    void recordCashDeskEntryByKeys();
    void fileChoosersSpeakRomanian();

private:
    static QWidget *focused() { return QApplication::focusWidget(); }
    // The named field that holds the focus (the line edit inside a list or date field
    // counts as its field).
    static QString focusName()
    {
        QWidget *f = focused();
        while (f && f->objectName().isEmpty())
            f = f->parentWidget();
        return f ? f->objectName() : QString();
    }
    static void enter() { QTest::keyClick(focused(), Qt::Key_Return); }
    static void type(const QString &text) { QTest::keyClicks(focused(), text); }
    static bool focusFrameShown(QWidget *w) { return w->window()->testAttribute(Qt::WA_KeyboardFocusChange); }
};

void TestKeyboardRoads::initTestCase()
{
    // Receipts printed during the roads are handed to a command that does nothing.
    qputenv("VESTRONIA_OPENER", "true");
}

void TestKeyboardRoads::enterMovesThenSavesAndPressesFocusedButtons()
{
    QDialog form;
    auto *first = new QLineEdit(&form);
    auto *check = new QCheckBox(QStringLiteral("Bifa"), &form);
    auto *last = new QLineEdit(&form);
    const FormButtons row = makeFormButtons(&form);
    auto *layout = new QVBoxLayout(&form);
    layout->addWidget(first);
    layout->addWidget(check);
    layout->addWidget(last);
    layout->addLayout(row.row);
    installEnterNavigation(&form);
    int saved = 0;
    int closed = 0;
    QObject::connect(row.memo, &QPushButton::clicked, &form, [&] { ++saved; });
    QObject::connect(row.close, &QPushButton::clicked, &form, [&] { ++closed; });
    first->setFocus();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(focused(), first);
    QVERIFY2(focusFrameShown(first), "the focus frame shows before the first key");
    enter();
    QCOMPARE(focused(), check); // a check box is a field: Enter moves on
    enter();
    QCOMPARE(focused(), last);
    QCOMPARE(saved, 0);
    enter(); // the last field: Enter does what "&Memoreaza" says
    QCOMPARE(saved, 1);
    QCOMPARE(focused(), last);
    row.close->setFocus();
    enter();
    QCOMPARE(closed, 1);
    row.memo->setFocus();
    QTest::keyClick(row.memo, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(saved, 2);
}

void TestKeyboardRoads::typedDayIsKeptUntilTheMonth()
{
    QDialog form;
    auto *before = new QLineEdit(&form);
    auto *date = new QDateEdit(QDate(2026, 11, 30), &form);
    date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    auto *after = new QLineEdit(&form);
    auto *layout = new QVBoxLayout(&form);
    layout->addWidget(before);
    layout->addWidget(date);
    layout->addWidget(after);
    installEnterNavigation(&form);
    before->setFocus();
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    enter();
    QCOMPARE(focused(), date);
    type(QStringLiteral("3112"));
    QCOMPARE(date->date(), QDate(2026, 12, 31));
    type(QStringLiteral("2027"));
    QCOMPARE(date->date(), QDate(2027, 12, 31));

    // A month that lacks the day too: a balloon says so, nothing changes quietly.
    date->setDate(QDate(2026, 11, 30));
    before->setFocus();
    enter();
    clearLastProblem();
    type(QStringLiteral("31"));
    type(QStringLiteral("02"));
    QCOMPARE(lastProblem().control.data(), date);
    QVERIFY(lastProblem().text.contains(QStringLiteral("31")));
    QCOMPARE(date->date().month(), 2);

    // The day kept through a one-digit month given back by Enter.
    date->setDate(QDate(2026, 11, 30));
    before->setFocus();
    enter();
    type(QStringLiteral("311"));
    enter();
    QCOMPARE(date->date(), QDate(2026, 1, 31));
    QCOMPARE(focused(), after);
}

void TestKeyboardRoads::periodPickerTakesATyped31December()
{
    PerSelect picker;
    QCOMPARE(picker.findChild<QPushButton *>(QStringLiteral("CloseBut"))->text(), QStringLiteral("&Renunt"));
    QCOMPARE(picker.findChild<QPushButton *>(QStringLiteral("MemoBut"))->text(), QStringLiteral("&Am ales"));
    QCOMPARE(picker.findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("Perioada"));
    QCOMPARE(picker.findChild<QLabel *>(QStringLiteral("Label3"))->text(), QStringLiteral("Alegeti perioada dorita"));
    QStringList captions;
    for (QLabel *l : picker.findChildren<QLabel *>())
        captions << l->text();
    QVERIFY(captions.contains(QStringLiteral("de la")));
    QVERIFY(captions.contains(QStringLiteral("pana la")));

    QStringList road;
    bool active = false;
    onModal(QStringLiteral("PerSelect"), [&](QWidget *w) {
        active = QTest::qWaitForWindowActive(w);
        road << focusName();
        type(QStringLiteral("01122026"));
        enter();
        road << focusName();
        type(QStringLiteral("3112"));
        enter(); // the last field: "&Am ales"
    });
    QVERIFY(picker.run(QStringLiteral("Borderou Incasari"), QDate(2026, 6, 1), QDate(2026, 11, 30)));
    QVERIFY(active);
    QCOMPARE(road, (QStringList{QStringLiteral("Data0"), QStringLiteral("Data1")}));
    QCOMPARE(picker.windowTitle(), QStringLiteral("Borderou Incasari"));
    QCOMPARE(picker.from(), QDate(2026, 12, 1));
    QCOMPARE(picker.to(), QDate(2026, 12, 31));

    // Esc closes without a period.
    onModal(QStringLiteral("PerSelect"), [](QWidget *w) {
        if (QTest::qWaitForWindowActive(w))
            QTest::keyClick(focused(), Qt::Key_Escape);
        else
            static_cast<QDialog *>(w)->reject();
    });
    QVERIFY(!picker.run(QStringLiteral("Borderou Incasari"), QDate(2026, 6, 1), QDate(2026, 11, 30)));
}

void TestKeyboardRoads::registerGridsLetTabOutAndButtonsHaveMnemonics()
{
    LedgerFixture f;
    f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    Evidenta w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(focusName(), QStringLiteral("NumeP"));
    QVERIFY(focusFrameShown(&w));
    for (const char *name : {"SMDBGrid1", "SMDBGrid2", "SMDBGrid3", "SMDBGrid4"}) {
        auto *grid = w.findChild<QTableView *>(QLatin1String(name));
        QVERIFY2(grid, name);
        grid->setFocus(Qt::TabFocusReason);
        QCOMPARE(focused(), grid);
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY2(focused() != grid, name);
        grid->setFocus(Qt::TabFocusReason);
        QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY2(focused() != grid, name);
    }
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("ExecutareB"))->text().remove(QLatin1Char('&')),
             QStringLiteral("Executare silita"));
    QSet<QChar> keys;
    for (QPushButton *b : w.findChildren<QPushButton *>()) {
        if (b->window() != &w)
            continue;
        const QString text = b->text();
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
        const QChar key = text.at(at + 1).toUpper();
        QVERIFY2(!keys.contains(key), qPrintable(text));
        keys.insert(key);
    }
    QVERIFY(keys.size() >= 10);
}

void TestKeyboardRoads::registerFitsA1366x768Screen()
{
    LedgerFixture f;
    for (int i = 0; i < 30; ++i)
        f.insertSubscriber(QStringLiteral("ABONAT %1").arg(i, 2, 10, QLatin1Char('0')), 1, day(2020, 1, 1));
    Evidenta w(*f.db, f.session);
    w.prepare();
    w.fitTo(QRect(0, 0, 1366, 768));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_COMPARE(w.size(), QSize(1366, 768));
    auto *subscribers = w.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
    const int rowHeight = subscribers->verticalHeader()->defaultSectionSize();
    QVERIFY2(subscribers->viewport()->height() / rowHeight >= 12,
             qPrintable(QString::number(subscribers->viewport()->height() / rowHeight)));
    // Every collection column inside the grid, the last one included, with no scroll bar.
    auto *collections = w.findChild<QTableView *>(QStringLiteral("SMDBGrid4"));
    QHeaderView *header = collections->horizontalHeader();
    QTRY_COMPARE(collections->horizontalScrollBar()->maximum(), 0);
    const int lastColumn = header->count() - 1;
    QVERIFY(header->sectionViewportPosition(lastColumn) + header->fontMetrics().horizontalAdvance(QStringLiteral("Reprezentand"))
            <= collections->viewport()->width());
}

void TestKeyboardRoads::addSubscriberByKeys()
{
    LedgerFixture f;
    f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    Evidenta w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QStringList road;
    bool active = false;
    onModal(QStringLiteral("AddAbon"), [&](QWidget *form) {
        active = QTest::qWaitForWindowActive(form);
        road << focusName();
        type(QStringLiteral("ionescu maria"));
        enter(); // type of person
        enter(); // code
        enter(); // ROL
        enter(); // persons
        road << focusName();
        type(QStringLiteral("2"));
        enter();
        road << focusName();
        type(QStringLiteral("dealu"));
        // On to the observations, a memo where Enter starts a new line; Tab leaves it.
        for (int i = 0; i < 12 && !qobject_cast<QPlainTextEdit *>(focused()); ++i)
            enter();
        road << focusName();
        QTest::keyClick(focused(), Qt::Key_Tab);
        road << focusName();
        enter();
    });
    w.findChild<QPushButton *>(QStringLiteral("AddAbonB"))->setFocus(Qt::TabFocusReason);
    enter(); // on the focused "&Adauga Abonat"
    QVERIFY(active);
    QCOMPARE(road, (QStringList{QStringLiteral("Nume"), QStringLiteral("NrPers"), QStringLiteral("Loc"), QStringLiteral("Obs"),
                                QStringLiteral("MemoBut")}));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Abonat WHERE NUME='IONESCU MARIA' AND LOC='DEALU' AND NRPERS=2")),
             qint64(1));
}

void TestKeyboardRoads::recordCollectionByKeys()
{
    LedgerFixture f;
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    f.insertSubscriber(QStringLiteral("ZAMFIR LEFTER"), 1, day(2020, 1, 1));
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                              "PENALPE, PENALDATA, MAXSOLD) VALUES (1, -1, ?, 1, ?, 202405, 'GUNOI 05.2024', 40, 40, 0, "
                              "'zi', ?, '')"),
               {idab, day(2024, 5, 1), day(2024, 7, 1)});
    MesajRecorder messages;
    Evidenta w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    type(QStringLiteral("pope")); // find the subscriber
    QCOMPARE(w.shownSubscriberCount(), 1);
    QStringList road;
    bool active = false;
    bool frame = false;
    onModal(QStringLiteral("AddChit"), [&](QWidget *dialog) {
        active = QTest::qWaitForWindowActive(dialog);
        frame = focusFrameShown(dialog);
        road << focusName();
        for (int i = 0; i < 6 && focusName() != QLatin1String("Suma"); ++i)
            enter();
        road << focusName();
        type(QStringLiteral("25"));
        enter();
        road << focusName();
        enter();
        road << focusName();
        enter(); // the last field: "&Memoreaza"
    });
    // Tab from the name filter out of the grid and along the buttons to "Adauga &Incasare".
    for (int i = 0; i < 30 && focusName() != QLatin1String("AddChitB"); ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    QCOMPARE(focusName(), QStringLiteral("AddChitB"));
    enter();
    QVERIFY(active);
    QVERIFY(frame);
    QCOMPARE(road, (QStringList{QStringLiteral("DocJus"), QStringLiteral("Suma"), QStringLiteral("Platitor"),
                                QStringLiteral("Reprez")}));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=? AND INCASAT=25 AND DOCJUS='CHITANTA'"),
                     {idab}),
             qint64(1));
    QCOMPARE(w.findChild<QTableView *>(QStringLiteral("SMDBGrid4"))->model()->rowCount(), 1);

    // Enter on the focused button opens the dialog just the same; Esc closes it unsaved.
    w.activateWindow(); // the receipt's progress window took the activation
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *add = w.findChild<QPushButton *>(QStringLiteral("AddChitB"));
    add->setFocus(Qt::TabFocusReason);
    QCOMPARE(focused(), add);
    bool opened = false;
    onModal(QStringLiteral("AddChit"), [&](QWidget *dialog) {
        opened = true;
        if (QTest::qWaitForWindowActive(dialog))
            QTest::keyClick(focused(), Qt::Key_Escape);
        else
            static_cast<QDialog *>(dialog)->reject();
    });
    enter();
    QVERIFY(opened);
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(1));
}

void TestKeyboardRoads::recordCashDeskEntryByKeys()
{
    LedgerFixture f;
    RegCasaF w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto *add = w.findChild<QPushButton *>(QStringLiteral("AddIB"));
    add->setFocus(Qt::TabFocusReason);
    QStringList road;
    bool active = false;
    onModal(QStringLiteral("RegCasaChitPlataF"), [&](QWidget *dialog) {
        active = QTest::qWaitForWindowActive(dialog);
        road << focusName();
        type(QStringLiteral("DISPOZITIE"));
        for (int i = 0; i < 6 && focusName() != QLatin1String("Suma"); ++i)
            enter();
        road << focusName();
        QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier);
        type(QStringLiteral("12.50"));
        for (int i = 0; i < 4 && focusName() != QLatin1String("Reprez"); ++i)
            enter();
        road << focusName();
        type(QStringLiteral("taxa"));
        enter(); // the last field: "&Adauga"
    });
    enter(); // on the focused "Adauga Incasare"
    QVERIFY(active);
    QCOMPARE(road, (QStringList{QStringLiteral("DocJus"), QStringLiteral("Suma"), QStringLiteral("Reprez")}));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=-1 AND INCASAT=12.5")), qint64(1));
}

void TestKeyboardRoads::fileChoosersSpeakRomanian()
{
    QStringList labels;
    onModal(QStringLiteral("QFileDialog"), [&](QWidget *w) {
        auto *dialog = static_cast<QFileDialog *>(w);
        for (QFileDialog::DialogLabel l : {QFileDialog::FileName, QFileDialog::Accept, QFileDialog::Reject})
            labels << dialog->labelText(l);
        dialog->reject();
    });
    QVERIFY(chooseOpenFile(nullptr, QStringLiteral("Alegeti extrasul"), QStringLiteral("Extrase (*.xml)")).isEmpty());
    QCOMPARE(labels, (QStringList{QStringLiteral("Nume fisier:"), QStringLiteral("Deschide"), QStringLiteral("Renunt")}));
}

QTEST_MAIN(TestKeyboardRoads)
#include "tst_keyboardroads.moc"
