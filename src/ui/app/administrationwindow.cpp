// The administration window over the administration settings service. Every refusal
// leaves the stored settings unchanged; in a read-only session nothing here can change
// data (the fields are read-only and every button that writes is disabled).

#include "ui/app/administrationwindow.h"

#include "backup/localbackup.h"
#include "bank/bankimport.h"
#include "core/text.h"
#include "core/workfiles.h"
#include "startup/modelfiles.h"
#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/screenfit.h"
#include "ui/ledger/contlistf.h"
#include "ui/shell/filedialogs.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/shellicons.h"
#include "ui/shell/shellopen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

namespace vestronia {

namespace {

QToolButton *smallButton(QWidget *parent, const QString &name, const char *icon, QStyle::StandardPixmap fallback,
                         const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(themeIcon(icon, fallback));
    b->setToolTip(tip);
    b->setAutoRaise(false);
    return b;
}

QLabel *pathLabel(QWidget *parent, const QString &name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::StyledPanel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(300);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return l;
}

} // namespace

AdministrationWindow::AdministrationWindow(Database &db, Session &session, AdminSettings &settings, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session), m_settings(settings)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Administrare program"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);

    // The unit.
    auto *unitBox = new QGroupBox(QStringLiteral("Unitatea"), this);
    auto *unitForm = new QFormLayout(unitBox);
    m_unit = new QLineEdit(unitBox);
    m_unit->setObjectName(QStringLiteral("UnitateE"));
    m_unit->setMaxLength(120);
    m_locality = new QLineEdit(unitBox);
    m_locality->setObjectName(QStringLiteral("Localit"));
    m_locality->setMaxLength(60);
    m_county = new QComboBox(unitBox);
    m_county->setObjectName(QStringLiteral("JudetC"));
    m_county->addItems(countyNames());
    m_county->setMaxVisibleItems(15);
    unitForm->addRow(QStringLiteral("Denumirea unitatii"), m_unit);
    auto *placeRow = new QHBoxLayout;
    placeRow->addWidget(m_locality, 1);
    placeRow->addSpacing(12);
    placeRow->addWidget(new QLabel(QStringLiteral("Judetul"), unitBox));
    placeRow->addWidget(m_county);
    unitForm->addRow(QStringLiteral("Localitatea"), placeRow);
    layout->addWidget(unitBox);

    // Documents.
    auto *docBox = new QGroupBox(QStringLiteral("Documente"), this);
    auto *docForm = new QFormLayout(docBox);
    m_series = new QLineEdit(docBox);
    m_series->setObjectName(QStringLiteral("DocSeria"));
    m_series->setMaxLength(20);
    m_series->setMaximumWidth(170);
    auto *digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,10}")), this);
    m_receiptNr = new QLineEdit(docBox);
    m_receiptNr->setObjectName(QStringLiteral("DocNr"));
    m_receiptNr->setValidator(digits);
    m_receiptNr->setMaximumWidth(110);
    m_noteNr = new QLineEdit(docBox);
    m_noteNr->setObjectName(QStringLiteral("NCNr"));
    m_noteNr->setValidator(digits);
    m_noteNr->setMaximumWidth(110);
    auto *seriesRow = new QHBoxLayout;
    seriesRow->addWidget(m_series);
    seriesRow->addSpacing(12);
    seriesRow->addWidget(new QLabel(QStringLiteral("Numarul"), docBox));
    seriesRow->addWidget(m_receiptNr);
    seriesRow->addStretch(1);
    docForm->addRow(QStringLiteral("Urmeaza Chitanta Seria"), seriesRow);
    docForm->addRow(QStringLiteral("Nota Contabila nr."), m_noteNr);
    m_pdf = new QCheckBox(QStringLiteral("Listeaza Chitanta in format PDF"), docBox);
    m_pdf->setObjectName(QStringLiteral("ChitPDF"));
    docForm->addRow(QString(), m_pdf);
    m_iban = new QLineEdit(docBox);
    m_iban->setObjectName(QStringLiteral("ContIBAN"));
    m_iban->setMaxLength(42);
    docForm->addRow(QStringLiteral("Contul IBAN al serviciului"), m_iban);
    layout->addWidget(docBox);

    // Folders.
    auto *pathBox = new QGroupBox(QStringLiteral("Cai de lucru"), this);
    auto *pathGrid = new QGridLayout(pathBox);
    m_server = pathLabel(pathBox, QStringLiteral("CaleServer"));
    m_backup = pathLabel(pathBox, QStringLiteral("CaleSalvari"));
    m_serverChoose = smallButton(pathBox, QStringLiteral("ServerB"), "folder-open", QStyle::SP_DirOpenIcon,
                                 QStringLiteral("Modificare cale server."));
    m_serverClear = smallButton(pathBox, QStringLiteral("ServerStergeB"), "edit-delete", QStyle::SP_DialogResetButton,
                                QStringLiteral("Stergere cale server. Lucru local."));
    m_backupChoose = smallButton(pathBox, QStringLiteral("SalvariB"), "folder-open", QStyle::SP_DirOpenIcon,
                                 QStringLiteral("Modificare cale salvari automate."));
    m_backupClear = smallButton(pathBox, QStringLiteral("SalvariStergeB"), "edit-delete", QStyle::SP_DialogResetButton,
                                QStringLiteral("Stergere cale salvari automate."));
    pathGrid->addWidget(new QLabel(QStringLiteral("Cale Server :"), pathBox), 0, 0);
    pathGrid->addWidget(m_server, 0, 1);
    pathGrid->addWidget(m_serverChoose, 0, 2);
    pathGrid->addWidget(m_serverClear, 0, 3);
    pathGrid->addWidget(new QLabel(QStringLiteral("Cale Salvari :"), pathBox), 1, 0);
    pathGrid->addWidget(m_backup, 1, 1);
    pathGrid->addWidget(m_backupChoose, 1, 2);
    pathGrid->addWidget(m_backupClear, 1, 3);
    layout->addWidget(pathBox);

    // Password.
    auto *passBox = new QGroupBox(QStringLiteral("Parola de administrator"), this);
    auto *passRow = new QHBoxLayout(passBox);
    m_password1 = new QLineEdit(passBox);
    m_password1->setObjectName(QStringLiteral("Edit1"));
    m_password2 = new QLineEdit(passBox);
    m_password2->setObjectName(QStringLiteral("Edit2"));
    for (QLineEdit *e : {m_password1, m_password2}) {
        e->setEchoMode(QLineEdit::Password);
        e->setMaxLength(32);
    }
    m_changePassword = makeButton(QStringLiteral("&Schimba parola"), QStringLiteral("SchimbaB"));
    passRow->addWidget(new QLabel(QStringLiteral("Parola noua"), passBox));
    passRow->addWidget(m_password1, 1);
    passRow->addSpacing(8);
    passRow->addWidget(new QLabel(QStringLiteral("Inca odata"), passBox));
    passRow->addWidget(m_password2, 1);
    passRow->addSpacing(8);
    passRow->addWidget(m_changePassword);
    layout->addWidget(passBox);

    // Bottom row.
    m_accounts = makeButton(QStringLiteral("Definire Conturi"), QStringLiteral("ConturiB"));
    m_models = new QToolButton(this);
    m_models->setObjectName(QStringLiteral("ModeleB"));
    m_models->setText(QStringLiteral("Modele de Listare"));
    m_models->setPopupMode(QToolButton::InstantPopup);
    m_models->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_models->setMinimumHeight(m_accounts->sizeHint().height());
    auto *menu = new QMenu(m_models);
    menu->setObjectName(QStringLiteral("ModeleMenu"));
    const std::pair<QString, Model> groups[] = {
        {QStringLiteral("Model Chitanta"), Model::Chitanta},
        {QStringLiteral("Model Instiintare de plata"), Model::Instiintare},
        {QStringLiteral("Model Somatie/Titlu executoriu"), Model::SomTit},
    };
    for (const auto &[title, model] : groups) {
        QMenu *sub = menu->addMenu(title);
        const Model m = model;
        QAction *edit = sub->addAction(QStringLiteral("Modifica Modelul"), this, [this, m] { editModel(m); });
        QAction *restore = sub->addAction(QStringLiteral("Refa Modelul initial"), this, [this, m] { restoreModel(m); });
        m_editActions << edit;
        m_restoreActions << restore;
    }
    m_models->setMenu(menu);
    m_save = makeButton(QStringLiteral("&Memoreaza"), QStringLiteral("MemoreazaB"));
    m_save->setIcon(themeIcon("document-save", QStyle::SP_DialogSaveButton));
    m_cancel = makeButton(QStringLiteral("&Renunt"), QStringLiteral("RenuntB"));
    m_cancel->setIcon(themeIcon("window-close", QStyle::SP_DialogCancelButton));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_accounts);
    bottom->addWidget(m_models);
    bottom->addStretch(1);
    bottom->addWidget(m_save);
    bottom->addWidget(m_cancel);
    layout->addSpacing(4);
    layout->addLayout(bottom);

    connect(m_save, &QPushButton::clicked, this, &AdministrationWindow::save);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_changePassword, &QPushButton::clicked, this, &AdministrationWindow::changePassword);
    connect(m_serverChoose, &QToolButton::clicked, this, &AdministrationWindow::chooseServerFolder);
    connect(m_serverClear, &QToolButton::clicked, this, &AdministrationWindow::clearServerFolder);
    connect(m_backupChoose, &QToolButton::clicked, this, &AdministrationWindow::chooseBackupFolder);
    connect(m_backupClear, &QToolButton::clicked, this, &AdministrationWindow::clearBackupFolder);
    connect(m_accounts, &QPushButton::clicked, this, &AdministrationWindow::openAccountList);
    // Enter moves to the next field, the county list included; in the second password
    // field it changes the password.
    installEnterNavigation(this, {m_password2});
    connect(m_password2, &QLineEdit::returnPressed, this, &AdministrationWindow::changePassword);

    reloadFields();
    resize(640, sizeHint().height());
}

QPushButton *AdministrationWindow::makeButton(const QString &text, const QString &name)
{
    auto *b = new QPushButton(text, this);
    b->setObjectName(name);
    // Enter in a field must not press a button behind the user's back.
    b->setAutoDefault(false);
    return b;
}

void AdministrationWindow::reloadFields()
{
    m_unit->setText(m_settings.unitName);
    m_locality->setText(m_settings.locality);
    m_county->setCurrentIndex(qBound(0, m_settings.county, int(countyNames().size()) - 1));
    m_pdf->setChecked(m_settings.receiptPdf);
    m_server->setText(m_settings.serverPath);
    m_backup->setText(m_settings.backupFolder);
}

void AdministrationWindow::applyAccess()
{
    const bool canModify = m_session.canModify();
    for (QLineEdit *e : {m_unit, m_locality, m_series, m_receiptNr, m_noteNr, m_iban, m_password1, m_password2})
        e->setReadOnly(!canModify);
    m_county->setEnabled(canModify);
    m_pdf->setEnabled(canModify);
    for (QWidget *w : std::initializer_list<QWidget *>{m_save, m_changePassword, m_serverChoose, m_serverClear,
                                                        m_backupChoose, m_backupClear})
        w->setEnabled(canModify);
    for (QAction *a : m_restoreActions)
        a->setEnabled(canModify);
    for (QAction *a : m_editActions)
        a->setEnabled(canModify);
}

void AdministrationWindow::prepare()
{
    m_endProgram = false;
    m_password1->clear();
    m_password2->clear();
    try {
        m_shown = readAdminNumbers(m_session);
        m_iban->setText(serviceIban(m_session));
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Administrare program"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    m_series->setText(m_shown.receiptSeries);
    m_receiptNr->setText(QString::number(m_shown.receiptNumber));
    m_noteNr->setText(QString::number(m_shown.noteNumber));
    m_server->setText(m_settings.serverPath);
    m_backup->setText(m_settings.backupFolder);
    applyAccess();
    m_unit->setFocus();
}

void AdministrationWindow::run()
{
    prepare();
    fitToScreen(this);
    exec();
}

void AdministrationWindow::save()
{
    if (!m_session.canModify())
        return;
    AdminNumbers edited;
    edited.receiptSeries = m_series->text();
    bool ok = false;
    edited.receiptNumber = m_receiptNr->text().toLongLong(&ok);
    if (!ok || edited.receiptNumber < 1) {
        showProblem(m_receiptNr, QStringLiteral("Scrieti numarul urmatoarei chitante!"));
        return;
    }
    edited.noteNumber = m_noteNr->text().toLongLong(&ok);
    if (!ok || edited.noteNumber < 1) {
        showProblem(m_noteNr, QStringLiteral("Scrieti numarul urmatoarei note contabile!"));
        return;
    }
    if (!m_iban->text().trimmed().isEmpty() && !isValidIban(m_iban->text())) {
        showProblem(m_iban, QStringLiteral("Contul IBAN nu este corect!"));
        return;
    }
    AdminSettings updated = m_settings;
    updated.unitName = m_unit->text();
    updated.locality = m_locality->text();
    updated.county = m_county->currentIndex();
    updated.receiptPdf = m_pdf->isChecked();
    try {
        saveAdminSettings(m_session, updated, edited, m_shown);
        setServiceIban(m_session, m_iban->text());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Administrare program"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    // What other screens read is what was stored.
    updated.unitName = cleanText(updated.unitName);
    updated.locality = cleanText(updated.locality);
    m_settings = updated;
    m_unit->setText(m_settings.unitName);
    m_locality->setText(m_settings.locality);
    accept();
}

void AdministrationWindow::changePassword()
{
    if (!m_session.canModify())
        return;
    const QString a = m_password1->text();
    const QString b = m_password2->text();
    if (a != b) {
        mesaj(QStringLiteral("Eroare la completare"), QStringLiteral("Nu ati scris parola noua la fel in cele doua casute !"),
              MesajButtons::OK, MesajKind::Eroare);
        QApplication::beep();
        return;
    }
    try {
        if (!a.isEmpty()) {
            setAdministratorPassword(m_session, a);
            mesaj(QStringLiteral("Confirmare"), QStringLiteral("Parola a fost schimbata cu succes!"), MesajButtons::OK,
                  MesajKind::Informatie);
            m_password1->clear();
            m_password2->clear();
            return;
        }
        if (mesaj(QStringLiteral("Eroare la completare"),
                  QStringLiteral("ATENTIE !\r\nDoriti sa dezactivati parola de administrator?"), MesajButtons::DaNu,
                  MesajKind::Atentie)
            == MesajResult::Da)
            setAdministratorPassword(m_session, QString());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Eroare la completare"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

void AdministrationWindow::chooseServerFolder()
{
    if (!m_session.canModify())
        return;
    QString folder = chooseFolder(this, QStringLiteral("Indicati baza de date din retea"));
    if (folder.isEmpty())
        return;
    folder = QDir::toNativeSeparators(withoutTrailingSeparator(folder));
    switch (checkServerFolder(m_session, folder)) {
    case ServerFolderCheck::IsDataFolder:
        mesaj(QStringLiteral("Selectare Cale salvari"), QStringLiteral("Nu puteti salva aici!"), MesajButtons::OK,
              MesajKind::Eroare);
        return;
    case ServerFolderCheck::Incomplete:
        mesaj(QStringLiteral("Conectare server"),
              QStringLiteral("Baza de date ") + folder + QStringLiteral("\rNU este corecta!\rVerificati ce-ati ales!"),
              MesajButtons::OK, MesajKind::Eroare);
        return;
    case ServerFolderCheck::Accepted:
        break;
    }
    try {
        setServerFolder(m_session, m_settings, folder);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Conectare server"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_server->setText(m_settings.serverPath);
    mesaj(QStringLiteral("Conectat la server"), QStringLiteral("Conectarea la server a reusit!\rPorniti programul din nou !"),
          MesajButtons::OK, MesajKind::Informatie);
    m_endProgram = true;
    reject();
}

void AdministrationWindow::clearServerFolder()
{
    if (!m_session.canModify())
        return;
    if (m_server->text().size() < 2) {
        showProblem(m_server, QStringLiteral("Nu aveti ce sterge."));
        return;
    }
    if (mesaj(QStringLiteral("Stergere cale server"), QStringLiteral("\rDoriti sa va deconectati de la server?"),
              MesajButtons::DaNu, MesajKind::Confirmare)
        != MesajResult::Da)
        return;
    try {
        setServerFolder(m_session, m_settings, QString());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Stergere cale server"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_server->setText(m_settings.serverPath);
    mesaj(QStringLiteral("Deconectat de la server"),
          QStringLiteral("\rSunteti deconectat de la server!\rPorniti programul din nou !"), MesajButtons::OK,
          MesajKind::Informatie);
    m_endProgram = true;
    reject();
}

void AdministrationWindow::chooseBackupFolder()
{
    if (!m_session.canModify())
        return;
    if (m_session.dataFolder != m_session.localDataFolder) {
        mesaj(QStringLiteral("Salvare Automata"), QStringLiteral("Numai Serverul poate salva automat!"), MesajButtons::OK,
              MesajKind::Eroare);
        return;
    }
    QString folder = chooseFolder(this, QStringLiteral("Indicati calea salvarilor automate"));
    if (folder.isEmpty())
        return;
    folder = QDir::toNativeSeparators(withoutTrailingSeparator(folder));
    if (!canWriteInFolder(folder)) {
        mesaj(QStringLiteral("Stabilire cale salvari"),
              QStringLiteral("Nu pot scrie in ") + folder + QStringLiteral(" !\rAlegeti alta cale, unde sa pot scrie!"),
              MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    try {
        setBackupFolder(m_session, m_settings, folder);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Stabilire cale salvari"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_backup->setText(m_settings.backupFolder);
    mesaj(QStringLiteral("Salvari automate"), QStringLiteral("Calea pentru Salvari Automate este acum \r") + folder + QLatin1Char('.'),
          MesajButtons::OK, MesajKind::Informatie);
}

void AdministrationWindow::clearBackupFolder()
{
    if (!m_session.canModify())
        return;
    if (m_backup->text().trimmed().size() < 2) {
        showProblem(m_backup, QStringLiteral("Salvarea automata este deja dezactivata."));
        return;
    }
    if (mesaj(QStringLiteral("Stergere cale salvari"), QStringLiteral("Doriti sa dezactivati salvarea automata?"),
              MesajButtons::DaNu, MesajKind::Confirmare)
        != MesajResult::Da)
        return;
    try {
        setBackupFolder(m_session, m_settings, QStringLiteral("-"));
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Stergere cale salvari"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_backup->setText(m_settings.backupFolder);
    mesaj(QStringLiteral("Salvare Automata"), QStringLiteral("Salvarea automata a fost dezactivata!"), MesajButtons::OK,
          MesajKind::Informatie);
}

void AdministrationWindow::openAccountList()
{
    // Administration mode; the list reads the session's rights itself.
    // One list for the run: it keeps its place and its creation form keeps its values.
    if (!m_accountList)
        m_accountList = new ContListF(m_db, m_session, this);
    m_accountList->runAdministration();
}

QString AdministrationWindow::modelPath(Model model) const
{
    // Found without regard to case, as the start-up finds them: a data folder copied from
    // Windows may hold "MODELCHITANTA.XLS".
    QString name = QStringLiteral("SomTit.rtf");
    switch (model) {
    case Model::Chitanta:
        name = QStringLiteral("ModelChitanta.xls");
        break;
    case Model::Instiintare:
        name = QStringLiteral("Instiintare.rtf");
        break;
    case Model::SomTit:
        break;
    }
    return findFileNoCase(m_session.dataFolder, name);
}

void AdministrationWindow::editModel(Model model)
{
    if (!m_session.canModify())
        return;
    const QString path = modelPath(model);
    if (QFileInfo(path).isFile())
        openWithShell(path);
}

void AdministrationWindow::restoreModel(Model model)
{
    if (!m_session.canModify())
        return;
    if (mesaj(QStringLiteral("Restabilire Model"), QStringLiteral("\rDoriti sa restabiliti modelul initial?"),
              MesajButtons::DaNu, MesajKind::Confirmare)
        != MesajResult::Da)
        return;
    const QString path = modelPath(model);
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        mesaj(QStringLiteral("Restabilire Model"), QStringLiteral("\rModelul este deschis sau nu poate fi sters!"),
              MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    try {
        writeModelFiles(m_session);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Restabilire Model"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    openWithShell(path);
}

} // namespace vestronia
