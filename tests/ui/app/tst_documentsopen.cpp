// The documents of a clerk's day as the windows hand them to the desktop: a receipt
// printed after a collection, a PDF receipt without LibreOffice, the cash book and every
// report of the Reports menu are each opened exactly once, and a hand-over that fails is
// told to the clerk instead of passing in silence.

#include "collections/balance.h"
#include "core/profilefile.h"
#include "ledger/ledgerfixture.h"
#include "startup/adminsettings.h"
#include "ui/app/mainwindow.h"
#include "ui/collections/addchit.h"
#include "ui/collections/collectionspanel.h"
#include "ui/collections/regcasaf.h"
#include "ui/register/evidenta.h"
#include "ui/reports/reportactions.h"
#include "ui/shell/perselect.h"
#include "ui/shell/selan.h"
#include "ui/shell/shelltesthelpers.h"

#include <QDateEdit>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

using namespace vestronia;
using namespace vestronia::testing;

class TestDocumentsOpen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void receiptAfterACollectionOpensOnce();
    void pdfReceiptWithoutLibreOfficeOpensTheWorkbook();
    void cashBookPrintOpensOnce();
    void everyReportOfTheMenuOpensOnce();
    void failedHandOverIsToldToTheClerk();

private:
    QStringList opened() const;
    void useOpener(const QByteArray &program);
    static qint64 debtor(LedgerFixture &f);
    static void recordCollection(Evidenta &w, const QString &amount);
    static void acceptPicker(const QString &name);

    QTemporaryDir m_dir;
    QString m_log;
    QString m_script;
};

void TestDocumentsOpen::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_log = m_dir.filePath(QStringLiteral("opened.txt"));
    m_script = m_dir.filePath(QStringLiteral("opener.sh"));
    QFile f(m_script);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(m_log).toUtf8());
    f.close();
    QFile::setPermissions(m_script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestDocumentsOpen::init()
{
    QFile::remove(m_log);
    useOpener(m_script.toLocal8Bit());
}

void TestDocumentsOpen::useOpener(const QByteArray &program)
{
    qputenv("VESTRONIA_OPENER", program);
}

QStringList TestDocumentsOpen::opened() const
{
    QFile f(m_log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

qint64 TestDocumentsOpen::debtor(LedgerFixture &f)
{
    const qint64 idab = f.insertSubscriber(QStringLiteral("POPESCU ION"), 2, day(2020, 1, 1));
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                              "PENALPE, PENALDATA, MAXSOLD) VALUES "
                              "(1, -1, ?, 1, ?, 202404, 'GUNOI 04.2024', 100, 100, 0, 'zi', ?, ''), "
                              "(2, -1, ?, 1, ?, 202405, 'GUNOI 05.2024', 40, 40, 0, 'zi', ?, '')"),
               {idab, day(2024, 4, 5), day(2024, 5, 5), idab, day(2024, 5, 5), day(2024, 6, 5)});
    return idab;
}

// Presses "Adauga Incasare" and saves a receipt ("CHITANTA", printed at once) of amount.
void TestDocumentsOpen::recordCollection(Evidenta &w, const QString &amount)
{
    bool answered = false;
    onModal(QStringLiteral("AddChit"), [&](QWidget *dialog) {
        answered = true;
        dialog->findChild<QLineEdit *>(QStringLiteral("Suma"))->setText(amount);
        dialog->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
    });
    w.findChild<QPushButton *>(QStringLiteral("AddChitB"))->click();
    QVERIFY(answered);
}

// Presses "&Am ales" on the picker named name once it shows (a hidden main window's
// pickers are never active, so only their being shown is waited for).
void TestDocumentsOpen::acceptPicker(const QString &name)
{
    auto *timer = new QTimer;
    const QDeadlineTimer deadline(10000);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, name, deadline] {
        QWidget *w = QApplication::activeModalWidget();
        if ((w && w->objectName() == name && w->isVisible()) || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (w && w->objectName() == name) {
                w->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
                // A refused choice must fail the test, not leave it waiting.
                if (w->isVisible())
                    static_cast<QDialog *>(w)->reject();
            }
        }
    });
    timer->start(10);
}

void TestDocumentsOpen::receiptAfterACollectionOpensOnce()
{
    LedgerFixture f;
    const qint64 idab = debtor(f);
    MesajRecorder messages;
    Evidenta w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const int passes = w.collectionsPanel()->totalsPasses();
    recordCollection(w, QStringLiteral("50"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante WHERE IDAB=?"), {idab}), qint64(1));
    const QStringList docs = opened();
    QCOMPARE(docs.size(), 1);
    QVERIFY2(docs[0].endsWith(QLatin1String(".xls")) && QFileInfo(docs[0]).isFile(), qPrintable(docs[0]));
    QVERIFY2(messages.calls.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));
    // Both panels re-read once: one totals pass, the new document in the grid, the rest lowered.
    QCOMPARE(w.collectionsPanel()->totalsPasses() - passes, 1);
    QCOMPARE(w.findChild<QTableView *>(QStringLiteral("SMDBGrid4"))->model()->rowCount(), 1);
    QCOMPARE(w.findChild<QLabel *>(QStringLiteral("TotalL"))->text(), QStringLiteral("90"));

    // "Listeaza Document" prints it again: a second document, opened once more.
    w.findChild<QTableView *>(QStringLiteral("SMDBGrid4"))->setCurrentIndex(
        w.findChild<QTableView *>(QStringLiteral("SMDBGrid4"))->model()->index(0, 0));
    w.findChild<QPushButton *>(QStringLiteral("ListChitB"))->click();
    QCOMPARE(opened().size(), 2);
    QVERIFY(opened()[1] != docs[0]);
}

void TestDocumentsOpen::pdfReceiptWithoutLibreOfficeOpensTheWorkbook()
{
    LedgerFixture f;
    debtor(f);
    ProfileFile::writeText(f.session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("CHITPDF"), QStringLiteral("DA"));
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir empty;
    qputenv("PATH", QFile::encodeName(empty.path()));
    MesajRecorder messages;
    {
        Evidenta w(*f.db, f.session);
        w.prepare();
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        recordCollection(w, QStringLiteral("40"));
    }
    qputenv("PATH", path);
    const QStringList docs = opened();
    QCOMPARE(docs.size(), 1);
    QVERIFY2(docs[0].endsWith(QLatin1String(".xls")) && QFileInfo(docs[0]).isFile(), qPrintable(docs[0]));
    QCOMPARE(messages.calls.size(), 1);
    QCOMPARE(messages.calls[0].title, QStringLiteral("Chitanta"));
    QVERIFY2(messages.calls[0].text.contains(QStringLiteral("LibreOffice")), qPrintable(messages.calls[0].text));
}

void TestDocumentsOpen::cashBookPrintOpensOnce()
{
    LedgerFixture f;
    MesajRecorder messages;
    RegCasaF w(*f.db, f.session);
    w.prepare();
    acceptPicker(QStringLiteral("PerSelect"));
    w.printBook();
    const QStringList docs = opened();
    QCOMPARE(docs.size(), 1);
    QVERIFY2(QFileInfo(docs[0]).isFile(), qPrintable(docs[0]));
    QVERIFY2(messages.calls.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));
}

void TestDocumentsOpen::everyReportOfTheMenuOpensOnce()
{
    LedgerFixture f;
    const qint64 idab = debtor(f);
    adminSettings() = AdminSettings{};
    adminSettings().unitName = QStringLiteral("Primaria Vestroni");
    f.db->exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, DOCJUS, DOCNR, DOCDATA, NUME, INCASAT, PLATIT) "
                              "VALUES (1, ?, 'CHITANTA', 5, ?, 'POPESCU ION', 20, 0)"),
               {idab, day(2024, 3, 1)});
    f.db->exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDAB, IDCON, DATADEB, LUNADEB, RATA, SOLD) VALUES (3, ?, 1, ?, 202402, 20, 0)"),
               {idab, day(2024, 2, 5)});
    f.db->exec(QStringLiteral("INSERT INTO DetChit (IDDCHIT, IDCHIT, IDDEB, IDAB, RESTANTA, PENAL, CURENT) VALUES (1, 1, 3, ?, 0, 0, 20)"),
               {idab});
    MesajRecorder messages;
    MainWindow w(*f.db, f.session);
    QMenu *menu = w.findChild<QToolButton *>(QStringLiteral("MBut3"))->menu();
    QVERIFY(menu);
    int expected = 0;
    const QList<std::pair<const char *, const char *>> items = {{"Rap1", nullptr},
                                                                {"BorderouIncasari1", "PerSelect"},
                                                                {"Bilantanaliticsintetic1", nullptr},
                                                                {"Centralizatorincasaripeani1", "SelAn"}};
    for (const auto &[name, picker] : items) {
        QAction *action = menu->findChild<QAction *>(QLatin1String(name));
        QVERIFY2(action && action->isEnabled(), name);
        if (picker)
            acceptPicker(QLatin1String(picker));
        action->trigger();
        ++expected;
        QCOMPARE(opened().size(), expected);
        QVERIFY2(QFileInfo(opened().last()).isFile(), name);
    }
    QVERIFY2(messages.calls.isEmpty(), qPrintable(messages.texts().join(QLatin1Char('|'))));
}

void TestDocumentsOpen::failedHandOverIsToldToTheClerk()
{
    // No program takes the document: it is written, and the clerk is told where it is.
    useOpener("false");
    LedgerFixture f;
    debtor(f);
    MesajRecorder messages;
    Evidenta w(*f.db, f.session);
    w.prepare();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    recordCollection(w, QStringLiteral("50"));
    QCOMPARE(f.count(QStringLiteral("SELECT COUNT(*) FROM Chitante")), qint64(1));
    QCOMPARE(messages.calls.size(), 1);
    QVERIFY2(messages.calls[0].text.contains(QStringLiteral("nu poate fi deschis")), qPrintable(messages.calls[0].text));
    QVERIFY(messages.calls[0].text.contains(QStringLiteral(".xls")));

    RegCasaF book(*f.db, f.session);
    book.prepare();
    acceptPicker(QStringLiteral("PerSelect"));
    book.printBook();
    QCOMPARE(messages.calls.size(), 2);
    QVERIFY(messages.calls[1].text.contains(QStringLiteral("nu poate fi deschis")));

    ReportActions reports(*f.db, f.session, &w);
    const QString list = reports.subscriberList();
    QVERIFY(QFileInfo(list).isFile());
    QCOMPARE(messages.calls.size(), 3);
    QCOMPARE(messages.calls[2].title, QStringLiteral("Lista Abonati"));
    QVERIFY(messages.calls[2].text.contains(QDir::toNativeSeparators(list)));
}

QTEST_MAIN(TestDocumentsOpen)
#include "tst_documentsopen.moc"
