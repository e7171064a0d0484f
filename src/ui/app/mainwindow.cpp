// The main window: the toolbar strip with today's date, the status bar with the working
// mode, the administration step with its password, the two drop-down menus, and the
// closing questions that decide whether the data are saved at close. Screens that are
// not part of the program yet show as disabled menu items or a clear notice.

#include "ui/app/mainwindow.h"

#include "backup/localbackup.h"
#include "core/clock.h"
#include "core/session.h"
#include "ledger/monthlydebiting.h"
#include "startup/adminsettings.h"
#include "startup/startupsequence.h"
#include "store/changelog.h"
#include "store/database.h"
#include "ui/shell/contor.h"
#include "ui/reports/reportactions.h"
#include "collections/penaltymaintenance.h"
#include "core/error.h"
#include "reports/opendocument.h"
#include "ui/collections/regcasaf.h"
#include "ui/register/evidenta.h"
#include "ui/bank/extrasbancar.h"
#include "ui/enforcement/actbatchwindow.h"
#include "ui/enforcement/urmariref.h"
#include "ui/ledger/importflow.h"
#include "ui/app/administrationwindow.h"
#include "ui/shell/passwordprompt.h"
#include "ui/app/backupwindow.h"
#include "ui/app/logview.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/mesaj.h"
#include "ui/remote/netf.h"
#include "ui/remote/sugestii.h"
#include "ui/shell/shellicons.h"

#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>


namespace vestronia {

namespace {

// Every picture of the strip at one size, so captions line up.
QIcon stripIcon(const QIcon &icon)
{
    return sizedIcon(icon, 40);
}

} // namespace

MainWindow::MainWindow(Database &db, Session &session, QWidget *parent)
    : QMainWindow(parent), m_db(db), m_session(session), m_form4(new AdministrationWindow(db, session, adminSettings(), this))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(programTitle() + QStringLiteral("  ver.") + programVersionText());
    setWindowIcon(themeIcon("x-office-address-book", QStyle::SP_ComputerIcon));

    auto *strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("Bara"));
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 4, 10, 4);
    row->setSpacing(2);
    setCentralWidget(strip);

    m_out = addButton(QStringLiteral("OutB"), QStringLiteral("Iesire"), QStringLiteral("Inchide programul."),
                      themeIcon("application-exit", QStyle::SP_DialogCloseButton));
    m_admin = addButton(QStringLiteral("MButAdm"), QStringLiteral("Administrare"), QStringLiteral("Administrare program."),
                        themeIcon("changes-prevent", QStyle::SP_DialogApplyButton));
    m_evidenta = addButton(QStringLiteral("MBut1"), QStringLiteral("Evidenta"), QStringLiteral("Evidenta ajutoare."),
                           themeIcon("x-office-address-book", QStyle::SP_FileDialogDetailedView));
    m_cashBook = addButton(QStringLiteral("MBut2"), QStringLiteral("Registru de casa"), QStringLiteral("Evidenta ajutoare."),
                           themeIcon("accessories-calculator", QStyle::SP_FileDialogListView));
    m_reports = addButton(QStringLiteral("MBut3"), QStringLiteral("Rapoarte"), QStringLiteral("Rapoarte diverse."),
                          themeIcon("x-office-spreadsheet", QStyle::SP_FileDialogContentsView));
    m_utilities = addButton(QStringLiteral("MBut4"), QStringLiteral("Utilitare"),
                            QStringLiteral("Operatii cu datele. Sugestii. Explicatii. Legislatie."),
                            themeIcon("applications-utilities", QStyle::SP_DriveHDIcon));
    m_reports->setMenu(buildReportsMenu());
    m_reports->setPopupMode(QToolButton::InstantPopup);
    m_utilities->setMenu(buildUtilitiesMenu());
    m_utilities->setPopupMode(QToolButton::InstantPopup);
    // The penalty maintenance: operator tools, created hidden and never shown.
    m_penaltyFreeze = new QToolButton(this);
    m_penaltyFreeze->setObjectName(QStringLiteral("PenalB"));
    m_penaltyFreeze->setText(QStringLiteral("Penalitati 2023"));
    m_penaltyFreeze->setVisible(false);
    m_penaltyRedate = new QToolButton(this);
    m_penaltyRedate->setObjectName(QStringLiteral("RefaB"));
    m_penaltyRedate->setText(QStringLiteral("Refa"));
    m_penaltyRedate->setVisible(false);

    // Order on the strip: the working buttons, then administration and exit at the end.
    for (QToolButton *b : {m_evidenta, m_cashBook, m_reports, m_utilities})
        row->addWidget(b);
    row->addStretch(1);
    m_today = new QLabel(strip);
    m_today->setObjectName(QStringLiteral("DataAzi"));
    QFont big = m_today->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.35);
    m_today->setFont(big);
    m_today->setAlignment(Qt::AlignCenter);
    m_today->setMinimumWidth(130);
    m_today->setFrameShape(QFrame::StyledPanel);
    m_today->setFrameShadow(QFrame::Sunken);
    m_today->setContentsMargins(8, 4, 8, 4);
    row->addWidget(m_today);
    row->addSpacing(14);
    row->addWidget(m_admin);
    row->addWidget(m_out);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    auto *panel0 = new QLabel(QStringLiteral("ESC - Iesire din program"), status);
    panel0->setObjectName(QStringLiteral("Panel0"));
    panel0->setMinimumWidth(200);
    m_modeText = new QLabel(m_session.workingModeText(), status);
    m_modeText->setObjectName(QStringLiteral("Panel1"));
    status->addWidget(panel0);
    status->addWidget(m_modeText, 1);
    setStatusBar(status);

    // The remote backup, from the backup window: its button, and the copy of a backup
    // just saved when the user also wants it on the server.
    auto remotePlace = [] { return adminSettings().locality + QLatin1Char('/') + countyNames().value(adminSettings().county); };
    BackupWindow::setRemoteBackup(
        [this, remotePlace](const QString &saved) {
            NetF net(m_session, remotePlace(), this);
            net.run(saved);
        },
        [this, remotePlace](QWidget *owner) {
            NetF net(m_session, remotePlace(), owner ? owner : this);
            return net.run();
        });

    // One height for every button, so captions line up whether or not a button has a
    // drop-down arrow.
    int height = 0;
    for (QToolButton *b : {m_out, m_admin, m_evidenta, m_cashBook, m_reports, m_utilities})
        height = qMax(height, b->sizeHint().height());
    for (QToolButton *b : {m_out, m_admin, m_evidenta, m_cashBook, m_reports, m_utilities})
        b->setFixedHeight(height);
    for (QToolButton *b : {m_evidenta, m_cashBook, m_reports, m_utilities})
        b->setVisible(false);

    connect(m_out, &QToolButton::clicked, this, &QWidget::close);
    connect(m_admin, &QToolButton::clicked, this, &MainWindow::administrare);
    connect(m_evidenta, &QToolButton::clicked, this, &MainWindow::openEvidenta);
    connect(m_cashBook, &QToolButton::clicked, this, &MainWindow::openCashBook);
    connect(m_penaltyFreeze, &QToolButton::clicked, this, &MainWindow::freezePenalties);
    connect(m_penaltyRedate, &QToolButton::clicked, this, &MainWindow::redatePenaltyStarts);
    installEnterNavigation(this); // Enter on a focused button presses it
}

MainWindow::~MainWindow() = default;

QToolButton *MainWindow::addButton(const QString &name, const QString &caption, const QString &tip, const QIcon &icon)
{
    auto *b = new QToolButton(centralWidget());
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(tip);
    b->setIcon(stripIcon(icon));
    b->setIconSize(QSize(40, 40));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setMinimumWidth(104);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QMenu *MainWindow::buildReportsMenu()
{
    auto *menu = new QMenu(m_reports);
    menu->setObjectName(QStringLiteral("RapoarteMenu"));
    // The reports: each item asks what it needs, runs its report and opens the document.
    auto *reports = new ReportActions(m_db, m_session, this);
    const auto item = [](QMenu *m, const QString &text, const QString &name, auto slot) {
        QAction *a = m->addAction(text, slot);
        a->setObjectName(name);
        return a;
    };
    item(menu, QStringLiteral("Lista Abonati - Numar de persoane"), QStringLiteral("Rap1"), [reports] { reports->subscriberList(); });
    item(menu, QStringLiteral("Borderou Incasari"), QStringLiteral("BorderouIncasari1"), [reports] { reports->collectionList(); });
    item(menu, QStringLiteral("Bilant analitic/sintetic"), QStringLiteral("Bilantanaliticsintetic1"), [reports] { reports->yearBalance(); });
    QMenu *follow = menu->addMenu(QStringLiteral("Centralizator Urmariri"));
    follow->setObjectName(QStringLiteral("CentralizatorUrmariri"));
    item(follow, QStringLiteral("Centralizator Instiintari de plata"), QStringLiteral("CenIns"),
         [reports] { reports->followUpSummary(FollowUpKind::Notices); });
    item(follow, QStringLiteral("Centralizator Somatii/Titluri executorii"), QStringLiteral("CenSom"),
         [reports] { reports->followUpSummary(FollowUpKind::Summons); });
    item(menu, QStringLiteral("Centralizator incasari pe ani"), QStringLiteral("Centralizatorincasaripeani1"),
         [reports] { reports->collectionsByYear(); });
    return menu;
}

QMenu *MainWindow::buildUtilitiesMenu()
{
    auto *menu = new QMenu(m_utilities);
    menu->setObjectName(QStringLiteral("UtilitareMenu"));
    QAction *backup = menu->addAction(themeIcon("media-floppy", QStyle::SP_DriveFDIcon),
                                      QStringLiteral("Salvare / Incarcare baza de date"), this, &MainWindow::openBackupWindow);
    backup->setObjectName(QStringLiteral("SalvareIncarcare"));
    QAction *batch = menu->addAction(QStringLiteral("Urmariri in masa"), this, [this] {
        ActBatchWindow window(m_db, m_session, this);
        window.prepare();
        window.exec();
    });
    batch->setObjectName(QStringLiteral("UrmaririMasa"));
    QAction *bank = menu->addAction(QStringLiteral("Extras bancar"), this, [this] {
        ExtrasBancar window(m_db, m_session, this);
        window.exec();
    });
    bank->setObjectName(QStringLiteral("ExtrasBancarMenu"));
    QAction *suggestions = menu->addAction(themeIcon("mail-send", QStyle::SP_MessageBoxInformation),
                                           QStringLiteral("Condica de sugestii"), this, &MainWindow::openSuggestions);
    suggestions->setObjectName(QStringLiteral("CondicaSugestii"));
    QAction *log = menu->addAction(themeIcon("document-open-recent", QStyle::SP_FileDialogInfoView),
                                   QStringLiteral("Istoricul modificarii datelor"), this, &MainWindow::openLogView);
    log->setObjectName(QStringLiteral("IstoricModificari"));
    return menu;
}

void MainWindow::stretchToScreen()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int frame = frameGeometry().width() - geometry().width();
    resize(area.width() - qMax(0, frame), sizeHint().height());
    move(area.topLeft());
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    stretchToScreen();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !(windowState() & Qt::WindowMinimized))
        stretchToScreen();
}

void MainWindow::writeLog(const QString &text)
{
    try {
        addLog(m_db, m_session, text);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Istoric modificari date"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void MainWindow::prepare()
{
    m_today->setText(Clock::today().toString(QStringLiteral("dd.MM.yyyy")));
    m_modeText->setText(m_session.workingModeText());
    writeLog(QStringLiteral("Pornire program"));
    // Every due subscription gets its debits before the window shows.
    try {
        runMonthlyDebiting(m_db, m_session, Contor::instance());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Debitare lunara"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void MainWindow::run()
{
    prepare();
    m_closed = false;
    setWindowModality(Qt::ApplicationModal);
    show();
    stretchToScreen();
    QEventLoop loop;
    m_loop = &loop;
    if (!m_closed)
        loop.exec();
    m_loop = nullptr;
    finish();
}

void MainWindow::finish()
{
    writeLog(QStringLiteral("Inchidere Program."));
    if (!m_saveAtClose)
        return;
    try {
        QStringList renamed;
        const QString written = automaticSave(m_session, adminSettings().backupFolder, Contor::instance(), &renamed);
        if (!renamed.isEmpty())
            mesaj(QStringLiteral("Salvare date"),
                  QStringLiteral("Unele fisiere au in salvare alt nume, pe care salvarea il poate pastra:\r")
                      + renamed.join(QLatin1Char('\r')),
                  MesajButtons::OK, MesajKind::Informatie);
        if (m_session.isBackupMode() && written != m_session.openedBackup)
            mesaj(QStringLiteral("Salvare date"),
                  QStringLiteral("Salvarea ") + m_session.openedBackup
                      + QStringLiteral(" este deteriorata si a ramas neschimbata.\rModificarile sunt salvate in ") + written
                      + QLatin1Char('.'),
                  MesajButtons::OK, MesajKind::Informatie);
    } catch (const BackupError &e) {
        // The restore folder holds the only copy of the changes: it stays, and the user
        // learns where.
        const QString kept = keepRestoreFolder(m_session);
        mesaj(e.title(),
              kept.isEmpty() ? e.message()
                             : e.message() + QStringLiteral("\rModificarile au ramas in dosarul ")
                                   + QDir::toNativeSeparators(kept) + QLatin1Char('.'),
              MesajButtons::OK, MesajKind::Eroare);
    }
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    auto accept = [this, event] {
        event->accept();
        m_closed = true;
        if (m_loop)
            m_loop->quit();
    };
    m_saveAtClose = false;
    if (m_closeWithoutQuestion || m_evidenta->isHidden()) {
        accept();
        return;
    }
    // Working on an opened backup: the changes go back into that file only if wanted.
    // Asked in a read-only session too: the debits of the monthly run at opening are
    // changes of their own.
    if (m_session.isBackupMode()) {
        const int r = mesaj(QStringLiteral("Salvare modificari"), QStringLiteral("Doriti sa pastrati modificarile facute?"),
                            MesajButtons::DaNu, MesajKind::Confirmare);
        if (r == MesajResult::Da || r == MesajResult::Nu) {
            m_saveAtClose = r == MesajResult::Da;
            accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (!m_session.isBackupMode() && m_session.dataFolder == m_session.localDataFolder
        && adminSettings().automaticBackupFolderExists()) {
        const int r = mesaj(QStringLiteral("Salvare Automata"), QStringLiteral("\rDoriti sa facem o copie la datele de azi?"),
                            MesajButtons::DaNu, MesajKind::Confirmare);
        if (r == MesajResult::Da || r == MesajResult::Nu) {
            m_saveAtClose = r == MesajResult::Da;
            accept();
        } else {
            event->ignore();
        }
        return;
    }
    if (mesaj(QStringLiteral("Inchidere program"), QStringLiteral("\rDoriti sa inchideti programul?"), MesajButtons::DaNu,
              MesajKind::Confirmare)
        == MesajResult::Da)
        accept();
    else
        event->ignore();
}

void MainWindow::unlock()
{
    m_session.administratorUnlocked = true;
    m_admin->setIcon(stripIcon(themeIcon("changes-allow", QStyle::SP_DialogOkButton)));
    for (QToolButton *b : {m_evidenta, m_cashBook, m_reports, m_utilities})
        b->setVisible(true);
}

void MainWindow::administrare()
{
    if (m_session.administratorUnlocked) {
        openAdministration();
        return;
    }
    if (!administratorPasswordSet(m_session)) {
        mesaj(QStringLiteral("Administrare"), QStringLiteral("\r    ATENTIE!\r\nNu aveti nici o parola!"), MesajButtons::OK,
              MesajKind::Atentie);
        unlock();
        return;
    }
    QString typed;
    if (!inputQuery2(typed, this))
        return;
    if (typed.isEmpty()) {
        // No password typed while one is set: the screens open, but nothing may change.
        m_session.readOnly = true;
        unlock();
        mesaj(QStringLiteral("Bine ati venit!"), QStringLiteral("Nu aveti dreptul sa modificati datele!"), MesajButtons::OK,
              MesajKind::Atentie);
        return;
    }
    if (administratorPasswordMatches(m_session, typed))
        unlock();
    else
        mesaj(QStringLiteral("Greseala!"), QStringLiteral("PAROLA INCORECTA !"), MesajButtons::OK, MesajKind::Eroare);
}

void MainWindow::openAdministration()
{
    m_form4->run();
    if (m_form4->endProgramRequested()) {
        m_closeWithoutQuestion = true;
        close();
    }
}

void MainWindow::openEvidenta()
{
    m_evidenta->setEnabled(false);
    if (adminSettings().unitName.trimmed().isEmpty()
        && mesaj(QStringLiteral("Atentionare"),
                 QStringLiteral("Nu ati completat denumirea unitatii la ") + m_admin->text()
                     + QStringLiteral("!\rDoriti sa o completati acum?"),
                 MesajButtons::DaNu, MesajKind::Atentie)
               == MesajResult::Da)
        openAdministration();
    if (!m_closed)
        showEvidenta();
    m_evidenta->setEnabled(true);
}

void MainWindow::showEvidenta()
{
    // An empty register is offered the import of the agricultural register.
    Evidenta::setEmptyRegisterHandler([this](Evidenta &screen) { runImportFlow(m_db, m_session, &screen); });
    // One screen for the run: it keeps its filters and order between openings.
    if (!m_evidentaScreen) {
        m_evidentaScreen = new Evidenta(m_db, m_session, this);
        m_evidentaScreen->setOnExecutare(
            [this](qint64 idab) { showUrmarire(m_evidentaScreen, m_db, m_session, idab); });
        // "Fisa abonatului": the statement of account of the selected subscriber.
        m_evidentaScreen->setOnFisa([this](qint64 idab) {
            if (auto *reports = findChild<ReportActions *>())
                reports->accountStatement(idab);
        });
    }
    m_evidentaScreen->run();
}

void MainWindow::openCashBook()
{
    if (!m_cashBookWindow)
        m_cashBookWindow = new RegCasaF(m_db, m_session, this);
    m_cashBookWindow->run();
}

void MainWindow::freezePenalties()
{
    try {
        const FreezeOutcome r = vestronia::freezePenalties(m_db, m_session, Contor::instance());
        if (!openDocument(r.listPath))
            mesaj(QStringLiteral("Penalitati 2023"), cannotOpenMessage(r.listPath), MesajButtons::OK, MesajKind::Eroare);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Penalitati 2023"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void MainWindow::redatePenaltyStarts()
{
    try {
        vestronia::redatePenaltyStarts(m_db, m_session, Contor::instance());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Refa"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void MainWindow::openSuggestions()
{
    static QPointer<Sugestii> form;
    if (!form)
        form = new Sugestii(m_session, this);
    form->run(adminSettings().locality + QStringLiteral(" / ") + countyNames().value(adminSettings().county));
}

void MainWindow::openBackupWindow()
{
    BackupWindow window(m_db, m_session, this);
    if (window.run()) {
        // The data were replaced: the program must start again, without questions.
        m_evidenta->setVisible(false);
        close();
    }
}

void MainWindow::openLogView()
{
    LogView view(m_db, this);
    view.run();
}

} // namespace vestronia
