// vestronia: the desktop program. One copy per user; the start-up window runs the
// start-up sequence one timer tick after it shows, then the main window opens and the
// program ends when it closes.

#include "core/error.h"
#include "core/session.h"
#include "startup/installation.h"
#include "startup/singlecopy.h"
#include "startup/startupsequence.h"
#include "store/database.h"
#include "store/folderlock.h"
#include "ui/shell/contor.h"
#include "ui/app/mainwindow.h"
#include "ui/shell/mesaj.h"
#include "ui/app/startwindow.h"
#include "vestronia_version.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <cstdio>
#include <cstring>

using namespace vestronia;

namespace {

// While another workstation writes, the clerk sees who is waiting and for how long,
// instead of a window that does not answer.
void showWriterWaits()
{
    setWriterWaitHandler([](bool waiting, int elapsedMs) {
        static bool ours = false;
        Contor &contor = Contor::instance();
        if (waiting) {
            if (!contor.isVisible()) {
                contor.setText(QStringLiteral("Alt calculator scrie in date... asteptati"));
                contor.setTotal(100);
                contor.start();
                ours = true;
            }
            if (ours)
                contor.setPosition(std::min(100, elapsedMs * 100 / std::max(1, writerWaitMilliseconds())));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        } else if (ours) {
            contor.finish();
            ours = false;
        }
    });
}

} // namespace

int main(int argc, char **argv)
{
    // Answered before the window system is touched, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vestronia %s\n", VESTRONIA_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(programTitle());
    // No application display name: the desktop would append it to every window title,
    // cutting the pickers' short titles; the main window's title names the program.
    // Qt's own dialogs (file choosers, colour and print dialogs) speak Romanian when the
    // translations are installed; without them they stay in English.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Romanian, QLocale::Romania), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/MODEL/ico1.ico")));

    QStringList args = app.arguments().mid(1);
    QString home;
    if (args.size() >= 2 && args.first() == QLatin1String("--home")) {
        args.removeFirst();
        home = args.takeFirst();
    }

    StartupOptions options;
    options.programFolder = installationHome(home);
    options.machineFolder = machineFolder();
    options.backupFile = args.value(0);
    options.programPath = QApplication::applicationFilePath();
    options.registerFileType = true;

    showWriterWaits();
    SingleCopy single(options.programFolder);
    if (!single.claim())
        return 0;

    Session &session = currentSession();
    StartWindow start;
    int exitCode = 0;
    QObject::connect(&single, &SingleCopy::raiseRequested, &start, [] {
        if (QWidget *w = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow()) {
            w->showNormal();
            w->raise();
            w->activateWindow();
        }
    });

    // The sequence runs once, from the first tick after the window has painted.
    QTimer::singleShot(0, &start, [&] {
        StartupSequence sequence(session, options, start);
        try {
            switch (sequence.run()) {
            case StartupOutcome::HandedToUpdate:
                QApplication::exit(0);
                return;
            case StartupOutcome::Abort:
                shutdownCleanup(session);
                QApplication::exit(1);
                return;
            case StartupOutcome::Ready:
                break;
            }
            std::unique_ptr<Database> db = sequence.takeDatabase();
            start.hide();
            if (locksAreLocalOnly(session.dataFolder))
                mesaj(QStringLiteral("Dosarul de date"),
                      QStringLiteral("Dosarul de date ") + session.dataFolder +
                          QStringLiteral(" este pe o unitate de retea care nu arata blocarile celorlalte calculatoare."
                                         "\rLucrati pe el de pe un singur calculator: doua calculatoare care scriu in "
                                         "acelasi timp si-ar strica datele."),
                      MesajButtons::OK, MesajKind::Atentie);
            MainWindow mainWindow(*db, session);
            mainWindow.setWindowTitle(programTitle() + QStringLiteral("  ver.") + programVersionText());
            mainWindow.run();
        } catch (const VestroniaError &e) {
            mesaj(QStringLiteral("Eroare"), e.message(), MesajButtons::OK, MesajKind::Eroare);
            exitCode = 1;
        }
        shutdownCleanup(session);
        QApplication::exit(exitCode);
    });
    start.show();
    return app.exec();
}
