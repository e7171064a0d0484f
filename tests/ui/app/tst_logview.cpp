// The change-log window: its columns, the entries in identifier order, opened on the
// newest one.

#include "core/clock.h"
#include "core/session.h"
#include "store/changelog.h"
#include "store/database.h"
#include "store/datafolder.h"
#include "ui/app/logview.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestLogView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensOnTheNewestEntry();
    void emptyLogShowsAnEmptyGrid();
};

void TestLogView::opensOnTheNewestEntry()
{
    QTemporaryDir dir;
    Session session;
    session.programFolder = dir.path();
    session.dataFolder = session.localDataFolder = dir.filePath(QStringLiteral("Data"));
    session.userLabel = QStringLiteral("statie1 - ana");
    QDir().mkpath(session.dataFolder);
    createMissingTables(session.dataFolder);
    Database db(session.dataFolder);
    Clock::setToday(QDate(2025, 3, 5));
    for (int i = 1; i <= 60; ++i)
        addLog(db, session, QStringLiteral("Adaugare Abonat: NUMAR %1").arg(i));
    Clock::reset();

    LogView view(db);
    view.prepare();
    QCOMPARE(view.windowTitle(), QStringLiteral("Istoric modificari date"));
    QCOMPARE(view.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Ultimele actiuni facute in program"));
    auto *grid = view.findChild<QTableWidget *>(QStringLiteral("DBGrid1"));
    QStringList headers;
    for (int c = 0; c < grid->columnCount(); ++c)
        headers << grid->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList{QStringLiteral("Data"), QStringLiteral("Ora"), QStringLiteral("Actiunea"), QStringLiteral("Operator")}));
    QCOMPARE(grid->rowCount(), 60);
    QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("Adaugare Abonat: NUMAR 1"));
    QCOMPARE(grid->item(59, 0)->text(), QStringLiteral("05.03.2025"));
    QCOMPARE(grid->item(59, 3)->text(), QStringLiteral("statie1 - ana"));
    QCOMPARE(grid->currentRow(), 59);
    QCOMPARE(grid->item(grid->currentRow(), 2)->text(), QStringLiteral("Adaugare Abonat: NUMAR 60"));
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestLogView::emptyLogShowsAnEmptyGrid()
{
    QTemporaryDir dir;
    createMissingTables(dir.path());
    Database db(dir.path());
    LogView view(db);
    view.prepare();
    QCOMPARE(view.findChild<QTableWidget *>(QStringLiteral("DBGrid1"))->rowCount(), 0);
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
