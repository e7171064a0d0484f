// Until the full main window is in place: a window that names the working mode.

#include "ui/mainwindowrunner.h"

#include "core/session.h"
#include "store/changelog.h"
#include "store/database.h"

#include <QDialog>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>

namespace vestronia {

void runMainWindow(Database &db, Session &session)
{
    addLog(db, session, QStringLiteral("Pornire program"));
    QDialog window;
    window.setObjectName(QStringLiteral("Form3"));
    window.setWindowTitle(programTitle() + QStringLiteral("  ver.") + programVersionText());
    auto *layout = new QVBoxLayout(&window);
    auto *mode = new QLabel(session.workingModeText(), &window);
    mode->setObjectName(QStringLiteral("StatusBar1"));
    layout->addWidget(mode);
    window.exec();
    addLog(db, session, QStringLiteral("Inchidere Program."));
}

} // namespace vestronia
