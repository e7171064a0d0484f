// Pictures of the import as a clerk sees it on a fresh installation: the question, the
// date picker, the progress window while the debits are written, the final message and
// Evidenta afterwards. Usage: import_screenshots OUTDIR [households]
// (run under a display, e.g. xvfb-run; the backup is generated first)

#include "registergenerator.h"

#include "backup/archive.h"
#include "core/clock.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "ui/register/evidenta.h"
#include "ui/ledger/importflow.h"
#include "ui/shell/contor.h"
#include "ui/shell/filedialogs.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace vestronia;

namespace {

QString g_out;

void grabTo(QWidget *w, const QString &name)
{
    const QString path = g_out + QLatin1Char('/') + name;
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
}

// Watches the modal windows and the progress window as the import goes through them.
void watch()
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [] {
        static bool question = false, picker = false, progress = false, done = false;
        Contor &contor = Contor::instance();
        if (!progress && contor.isVisible() && contor.text().startsWith(QLatin1String("Adaug Debitele"))
            && contor.position() >= 40) {
            progress = true;
            grabTo(&contor, QStringLiteral("import-3-progress.png"));
        }
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal->objectName() == QLatin1String("SelDataS") && !picker) {
            picker = true;
            const QDate today = Clock::today();
            modal->findChild<QDateEdit *>(QStringLiteral("LaData"))->setDate(QDate(today.year() - 5, today.month(), 1));
            QTest::qWait(100);
            grabTo(modal, QStringLiteral("import-2-picker.png"));
            modal->findChild<QPushButton *>(QStringLiteral("MemoBut"))->click();
        } else if (modal->objectName() == QLatin1String("Erori") && (!question || !done)) {
            // The flag first: waiting below runs this watcher again.
            const bool first = !question;
            (first ? question : done) = true;
            QTest::qWait(100);
            grabTo(modal, first ? QStringLiteral("import-1-question.png") : QStringLiteral("import-4-message.png"));
            modal->findChild<QPushButton *>(first ? QStringLiteral("BE1") : QStringLiteral("BE4"))->click();
        }
    });
    timer->start(20);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "Folosire: import_screenshots OUTDIR [gospodarii]\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    const int households = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 3000;

    QTemporaryDir dir;
    Session &session = currentSession();
    session.programFolder = dir.path();
    session.localDataFolder = dir.path() + QStringLiteral("/Data");
    session.dataFolder = session.localDataFolder;
    session.tempFolder = dir.path() + QStringLiteral("/Temp");
    session.machineFolder = dir.path() + QStringLiteral("/Machine");
    session.userLabel = QStringLiteral("PRIMARIE - casier");
    QDir().mkpath(session.dataFolder);
    QDir().mkpath(session.tempFolder);
    for (const TableDef &t : tableCatalogue())
        createTable(session.dataFolder + QLatin1Char('/') + QLatin1String(t.fileName), t.columns);
    bench::writeRegister(dir.path() + QStringLiteral("/ra"), households, Clock::today().year());
    NullProgress quiet;
    const QString archive = dir.path() + QStringLiteral("/Registru.rg3");
    writeArchive(dir.path() + QStringLiteral("/ra"), archive, quiet);

    Database db(session.dataFolder);
    db.exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PEPERS, PERLUNI, ZIUAIMP, PENAL, PENALPE, PENALDELA, "
                           "PENALDELAP, MAXSOLD, DATASTART, DATASTOP) VALUES (1, 'SALUBRIZARE', 7.5, '-', 1, 10, 0.1, "
                           "'luna', 30, 'ziua', '-', 40000, 0)"));

    setFileDialogHook([archive](FileDialogKind, const QString &) { return archive; });
    Evidenta::setEmptyRegisterHandler([&db, &session](Evidenta &screen) { runImportFlow(db, session, &screen); });
    watch();
    Evidenta screen(db, session);
    screen.resize(1340, 740);
    screen.show();
    screen.prepare();
    QTest::qWait(400);
    grabTo(&screen, QStringLiteral("import-5-evidenta.png"));
    return 0;
}
