// The backup window over the local backup services: it asks the questions, shows the
// progress window and the outcome. The archive work itself never needs this window.

#include "ui/app/backupwindow.h"
#include "ui/shell/screenfit.h"

#include "backup/localbackup.h"
#include "store/database.h"
#include "ui/shell/contor.h"
#include "ui/shell/filedialogs.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/shellicons.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

namespace {

struct Remote
{
    BackupWindow::RemoteCopyHandler copy;
    BackupWindow::RemoteWindowOpener window;
};

Remote &remote()
{
    static Remote r;
    return r;
}

QString archiveFilter()
{
    return QStringLiteral("Salvare ") + programTitle() + QStringLiteral(" (*.vrn)");
}

QPushButton *bigButton(QWidget *parent, const QString &text, const QString &name, const char *icon,
                       QStyle::StandardPixmap fallback)
{
    auto *b = new QPushButton(sizedIcon(themeIcon(icon, fallback), 32), text, parent);
    b->setObjectName(name);
    b->setIconSize(QSize(32, 32));
    b->setMinimumHeight(52);
    b->setAutoDefault(false);
    b->setStyleSheet(QStringLiteral("text-align: left; padding-left: 14px;"));
    return b;
}

} // namespace

void BackupWindow::setRemoteBackup(RemoteCopyHandler copy, RemoteWindowOpener window)
{
    remote() = Remote{std::move(copy), std::move(window)};
}

BackupWindow::BackupWindow(Database &db, Session &session, QWidget *parent) : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Copie - inlocuieste baza de date"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 18);
    layout->setSpacing(10);
    m_save = bigButton(this, QStringLiteral("Salveaza o copie a datelor"), QStringLiteral("SalveazaB"), "document-save",
                       QStyle::SP_DialogSaveButton);
    m_load = bigButton(this, QStringLiteral("Incarca o salvare anterioara"), QStringLiteral("IncarcaB"), "document-open",
                       QStyle::SP_DialogOpenButton);
    m_remote = bigButton(this, QStringLiteral("Copie / Recupereaza date la Distanta"), QStringLiteral("DistantaB"),
                         "network-server", QStyle::SP_DriveNetIcon);
    layout->addWidget(m_save);
    layout->addWidget(m_load);
    layout->addWidget(m_remote);
    auto *hint = new QLabel(m_session.workingModeText(), this);
    hint->setObjectName(QStringLiteral("ModLucru"));
    hint->setAlignment(Qt::AlignCenter);
    hint->setStyleSheet(QStringLiteral("color: palette(mid);"));
    layout->addWidget(hint);

    connect(m_save, &QPushButton::clicked, this, &BackupWindow::saveCopy);
    connect(m_load, &QPushButton::clicked, this, &BackupWindow::loadEarlier);
    connect(m_remote, &QPushButton::clicked, this, &BackupWindow::remoteBackup);
    setFixedWidth(400);
    applyAccess();
}

void BackupWindow::applyAccess()
{
    // Loading replaces the data: not while working on an opened backup, nor in a session
    // without the right to change data.
    m_load->setEnabled(m_session.openedBackup.isEmpty() && m_session.canModify());
    m_remote->setEnabled(bool(remote().window));
}

bool BackupWindow::run()
{
    m_replaced = false;
    applyAccess();
    fitToScreen(this);
    exec();
    return m_replaced;
}

void BackupWindow::saveCopy()
{
    const QString path = chooseSaveFile(this, QStringLiteral("Unde salvam datele ?"), archiveFilter(), QStringLiteral("vrn"));
    if (path.isEmpty())
        return;
    const QString folder = QFileInfo(path).absolutePath();
    if (isDataFolderPath(m_session, folder)) {
        mesaj(QStringLiteral("Salvare date"), QStringLiteral("\rNu puteti salva aici!"), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    if (QFileInfo::exists(path)
        && mesaj(QStringLiteral("Atentionare"),
                 QStringLiteral("\rVreti sa inlocuiti salvarea ") + QDir::toNativeSeparators(path) + QLatin1Char('?'),
                 MesajButtons::DaNu, MesajKind::Atentie)
               != MesajResult::Da)
        return;

    hide();
    QStringList renamed;
    try {
        packDataFolder(m_session, path, Contor::instance(), &renamed);
    } catch (const BackupError &e) {
        done(QDialog::Rejected);
        mesaj(e.title(), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    } catch (const VestroniaError &e) {
        done(QDialog::Rejected);
        mesaj(QStringLiteral("Salvare date"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    done(QDialog::Accepted);
    mesaj(QStringLiteral("Informatie"), QStringLiteral("\rSalvare incheiata cu succes !"), MesajButtons::OK,
          MesajKind::Informatie);
    // No file was left out; those whose names the archive cannot hold are named here.
    if (!renamed.isEmpty())
        mesaj(QStringLiteral("Salvare date"),
              QStringLiteral("Unele fisiere au in salvare alt nume, pe care salvarea il poate pastra:\r")
                  + renamed.join(QLatin1Char('\r')),
              MesajButtons::OK, MesajKind::Informatie);
    if (remote().copy
        && mesaj(QStringLiteral("Copie la Distanta"), QStringLiteral("\rDoriti sa transmiteti salvarea si pe Server?"),
                 MesajButtons::DaNu, MesajKind::Confirmare)
               == MesajResult::Da)
        remote().copy(path);
}

void BackupWindow::loadEarlier()
{
    if (!m_session.canModify() || !m_session.openedBackup.isEmpty())
        return;
    if (mesaj(QStringLiteral("Incarcare date"),
              QStringLiteral("Prin preluarea datelor dintr-o salvare anterioara,\rse sterg datele curente si sunt "
                             "inlocuite cu cele din salvare!\rContinuam operatiunea?"),
              MesajButtons::DaNu, MesajKind::Atentie)
        != MesajResult::Da)
        return;
    const QString path = chooseOpenFile(this, QStringLiteral("Indicati o salvare ") + programTitle() + QLatin1Char('!'),
                                        archiveFilter());
    if (path.isEmpty())
        return;
    hide();
    try {
        restoreFromArchive(m_session, path, Contor::instance());
        m_replaced = true;
        reattachDataTables(m_db);
        mesaj(QStringLiteral("Informatie"),
              QStringLiteral("Restaurare incheiata cu succes !\r\nVa rog sa porniti programul din nou !"), MesajButtons::OK,
              MesajKind::Informatie);
    } catch (const BackupError &e) {
        mesaj(e.title(), e.message(), MesajButtons::OK, MesajKind::Eroare);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Restaurare date"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    done(m_replaced ? QDialog::Accepted : QDialog::Rejected);
}

void BackupWindow::remoteBackup()
{
    if (!remote().window)
        return;
    hide();
    if (remote().window(parentWidget()))
        m_replaced = true;
    done(m_replaced ? QDialog::Accepted : QDialog::Rejected);
}

} // namespace vestronia
