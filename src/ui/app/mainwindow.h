#pragma once
// MainWindow: the main window, a toolbar across the top of the screen from which every screen
// is reached. Until the administration step is passed only "Administrare" and "Iesire"
// are visible. A session opened with an empty password is read-only for the whole run
// (Session::readOnly): every window reads that flag and keeps its changing buttons off.

#include <QMainWindow>

class QEventLoop;
class QLabel;
class QMenu;
class QToolButton;

namespace vestronia {

class Database;
class AdministrationWindow;
class Evidenta;
class RegCasaF;
struct Session;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(Database &db, Session &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opening the main window, once per run: writes "Pornire program", runs the monthly
    // debiting, shows the window modally, writes "Inchidere Program." and runs the
    // automatic save when the closing question asked for it. Returns when it has closed.
    void run();
    // The steps before the window shows (width, date, log entry, debiting).
    void prepare();
    // The steps after it closed.
    void finish();

    // Set by the closing questions: save the data at close.
    bool saveAtClose() const { return m_saveAtClose; }
    AdministrationWindow &administrationWindow() { return *m_form4; }

public Q_SLOTS:
    // "Administrare": the administration step, then the administration window.
    void administrare();
    // "Evidenta": the unit-name check, then the subscriber screen.
    void openEvidenta();
    void openCashBook();
    // The two hidden maintenance buttons: the penalty freeze and "Refa".
    void freezePenalties();
    void redatePenaltyStarts();
    void openBackupWindow();
    void openSuggestions();
    void openLogView();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void unlock();
    void openAdministration();
    // The subscriber screen itself, after the unit-name check.
    void showEvidenta();
    void stretchToScreen();
    void writeLog(const QString &text);
    QToolButton *addButton(const QString &name, const QString &caption, const QString &tip, const QIcon &icon);
    QMenu *buildReportsMenu();
    QMenu *buildUtilitiesMenu();

    Database &m_db;
    Session &m_session;
    AdministrationWindow *m_form4;
    bool m_saveAtClose = false;
    bool m_closeWithoutQuestion = false;
    bool m_closed = false;
    QEventLoop *m_loop = nullptr;

    QToolButton *m_out;
    QToolButton *m_admin;
    QToolButton *m_evidenta;
    QToolButton *m_cashBook;
    QToolButton *m_penaltyFreeze;
    QToolButton *m_penaltyRedate;
    Evidenta *m_evidentaScreen = nullptr;
    RegCasaF *m_cashBookWindow = nullptr;
    QToolButton *m_reports;
    QToolButton *m_utilities;
    QLabel *m_today;
    QLabel *m_modeText;
};

} // namespace vestronia
