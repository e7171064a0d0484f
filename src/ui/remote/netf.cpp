// The remote backup window: login with the e-mail check, code check, password by e-mail
// and change, send, list, delete and load of backups on the server. Each action runs
// one exchange while the progress section shows its steps; the sections are disabled
// meanwhile so an action cannot start inside another.

#include "ui/remote/netf.h"

#include "backup/localbackup.h"
#include "core/text.h"
#include "ui/remote/editpassf.h"
#include "ui/shell/balloon.h"
#include "ui/shell/contor.h"
#include "ui/shell/mesaj.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vestronia {

// The progress section as the exchange's progress.
class NetF::PanelProgress final : public Progress
{
public:
    PanelProgress(QWidget *panel, QLabel *descr, QProgressBar *bar, NetF *window)
        : m_panel(panel), m_descr(descr), m_bar(bar), m_window(window)
    {
    }
    void setText(const QString &text) override
    {
        m_descr->setText(text);
        QApplication::processEvents();
    }
    void setTotal(int total) override { m_bar->setMaximum(qMax(1, total)); }
    void start() override
    {
        m_bar->setValue(0);
        if (!m_panel->isVisible()) {
            m_panel->show();
            m_window->setMask(m_window->mask());
        }
        QApplication::processEvents();
    }
    void step() override { m_bar->setValue(qMin(m_bar->maximum(), m_bar->value() + 1)); }
    void finish() override {}
    void hide()
    {
        m_panel->hide();
        m_window->setMask(m_window->mask());
    }

private:
    QWidget *m_panel;
    QLabel *m_descr;
    QProgressBar *m_bar;
    NetF *m_window;
};

namespace {

QPushButton *button(QWidget *parent, const QString &text, const QString &name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QWidget *panel(QWidget *parent, const QString &name)
{
    auto *p = new QWidget(parent);
    p->setObjectName(name);
    return p;
}

} // namespace

NetF::NetF(const Session &session, QString place, QWidget *parent)
    : QDialog(parent), m_session(session), m_place(std::move(place))
{
    setObjectName(QStringLiteral("NetF"));
    setWindowTitle(QStringLiteral("Copie / Recupereaza date la Distanta"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Login.
    QWidget *p2 = panel(this, QStringLiteral("Panel2"));
    auto *g2 = new QGridLayout(p2);
    m_emailEdit = new QLineEdit(p2);
    m_emailEdit->setObjectName(QStringLiteral("Email"));
    m_emailEdit->setMaxLength(100);
    m_emailEdit->setMinimumWidth(280);
    m_pass = new QLineEdit(p2);
    m_pass->setObjectName(QStringLiteral("Pass"));
    m_pass->setMaxLength(40);
    m_pass->setEchoMode(QLineEdit::Password);
    forceUpperCase(m_pass);
    m_memo = new QCheckBox(QStringLiteral("Memoreaza-mi datele"), p2);
    m_memo->setObjectName(QStringLiteral("MemoCheck"));
    m_loginB = button(p2, QStringLiteral("Conectare la cont"), QStringLiteral("LoginB"));
    m_sendPassB = button(p2, QStringLiteral("Trimte-mi parola pe email !"), QStringLiteral("SendPassB"));
    m_sendPassB->hide();
    g2->addWidget(new QLabel(QStringLiteral("E-mail"), p2), 0, 0);
    g2->addWidget(m_emailEdit, 0, 1);
    g2->addWidget(new QLabel(QStringLiteral("Parola"), p2), 1, 0);
    g2->addWidget(m_pass, 1, 1);
    g2->addWidget(m_memo, 2, 1);
    g2->addWidget(m_loginB, 3, 1);
    g2->addWidget(m_sendPassB, 4, 1);

    // Verification code.
    QWidget *p1 = panel(this, QStringLiteral("Panel1"));
    auto *g1 = new QGridLayout(p1);
    auto *sent = new QLabel(QStringLiteral("V-am trimis pe E-mail un cod de verificare!"), p1);
    sent->setStyleSheet(QStringLiteral("font-weight: bold;"));
    m_cod = new QLineEdit(p1);
    m_cod->setObjectName(QStringLiteral("CodConf"));
    m_cod->setMaxLength(8);
    m_cod->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,8}")), m_cod));
    m_checkCodB = button(p1, QStringLiteral("Verifica Codul din e-mail"), QStringLiteral("CheckCodB"));
    g1->addWidget(sent, 0, 0, 1, 2);
    g1->addWidget(new QLabel(QStringLiteral("Cod de verificare primit pe e-mail"), p1), 1, 0);
    g1->addWidget(m_cod, 1, 1);
    g1->addWidget(m_checkCodB, 2, 1);

    // Account.
    QWidget *p4 = panel(this, QStringLiteral("Panel4"));
    auto *g4 = new QGridLayout(p4);
    auto *title = new QLabel(QStringLiteral("Contul dvs."), p4);
    title->setStyleSheet(QStringLiteral("font-weight: bold;"));
    m_emailL = new QLabel(p4);
    m_emailL->setObjectName(QStringLiteral("EmailL"));
    m_dataInL = new QLabel(p4);
    m_dataInL->setObjectName(QStringLiteral("DataInL"));
    m_dataExpL = new QLabel(p4);
    m_dataExpL->setObjectName(QStringLiteral("DataExpL"));
    m_eroTxt = new QLabel(QStringLiteral("Contul dvs. a expirat!   Pentru prelungire, contactati-ne la numarul 0700000000."), p4);
    m_eroTxt->setObjectName(QStringLiteral("EroTxt"));
    m_eroTxt->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    m_eroTxt->setWordWrap(true);
    m_eroTxt->hide();
    m_passChangeB = button(p4, QStringLiteral("Schimba Parola"), QStringLiteral("PassChangeB"));
    g4->addWidget(title, 0, 0, 1, 2);
    g4->addWidget(new QLabel(QStringLiteral("E-mail"), p4), 1, 0);
    g4->addWidget(m_emailL, 1, 1);
    g4->addWidget(new QLabel(QStringLiteral("Parola"), p4), 2, 0);
    g4->addWidget(new QLabel(QStringLiteral("XXXXXXX"), p4), 2, 1);
    g4->addWidget(m_passChangeB, 2, 2);
    g4->addWidget(new QLabel(QStringLiteral("Data crearii"), p4), 3, 0);
    g4->addWidget(m_dataInL, 3, 1);
    g4->addWidget(new QLabel(QStringLiteral("Data Expirarii"), p4), 4, 0);
    g4->addWidget(m_dataExpL, 4, 1);
    g4->addWidget(m_eroTxt, 5, 0, 1, 3);

    // Actions.
    QWidget *p5 = panel(this, QStringLiteral("Panel5"));
    auto *l5 = new QVBoxLayout(p5);
    m_saveBut = button(p5, QStringLiteral("Salveaza o copie a datelor"), QStringLiteral("SaveBut"));
    m_loadBut = button(p5, QStringLiteral("Incarca o salvare anterioara"), QStringLiteral("LoadBut"));
    m_saveBut->setMinimumHeight(40);
    m_loadBut->setMinimumHeight(40);
    l5->addWidget(m_saveBut);
    l5->addWidget(m_loadBut);

    // List of backups.
    QWidget *p6 = panel(this, QStringLiteral("Panel6"));
    auto *l6 = new QVBoxLayout(p6);
    m_grid = new QTableWidget(0, 3, p6);
    m_grid->setObjectName(QStringLiteral("Grid"));
    m_grid->setHorizontalHeaderLabels({QStringLiteral("Data"), QStringLiteral("Ora"), QStringLiteral("Observatii")});
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->verticalHeader()->hide();
    m_grid->setMinimumSize(420, 180);
    auto *row6 = new QHBoxLayout;
    m_loadSB = button(p6, QStringLiteral("Incarca datele in program"), QStringLiteral("LoadSB"));
    m_delSB = button(p6, QStringLiteral("Sterge salvarea"), QStringLiteral("DelSB"));
    m_backBut = button(p6, QStringLiteral("Inapoi"), QStringLiteral("BackBut"));
    row6->addWidget(m_loadSB);
    row6->addWidget(m_delSB);
    row6->addStretch(1);
    row6->addWidget(m_backBut);
    l6->addWidget(m_grid);
    l6->addLayout(row6);

    // Progress.
    m_panel3 = panel(this, QStringLiteral("Panel3"));
    auto *l3 = new QVBoxLayout(m_panel3);
    m_descr = new QLabel(m_panel3);
    m_descr->setObjectName(QStringLiteral("Descr"));
    m_bar = new QProgressBar(m_panel3);
    m_bar->setObjectName(QStringLiteral("Bar1"));
    m_bar->setTextVisible(false);
    l3->addWidget(m_descr);
    l3->addWidget(m_bar);
    m_panel3->hide();

    m_panels[0] = p2;
    m_panels[1] = p1;
    m_panels[2] = p4;
    m_panels[3] = p5;
    m_panels[4] = p6;
    for (QWidget *p : m_panels)
        layout->addWidget(p);
    layout->addWidget(m_panel3);
    m_progress = std::make_unique<PanelProgress>(m_panel3, m_descr, m_bar, this);

    askNote = [this](QString &note) {
        bool ok = false;
        note = QInputDialog::getText(this, QStringLiteral("Transmitere salvare"), QStringLiteral("Observatii"),
                                     QLineEdit::Normal, QString(), &ok);
        return ok;
    };

    connect(m_loginB, &QPushButton::clicked, this, &NetF::login);
    connect(m_sendPassB, &QPushButton::clicked, this, &NetF::sendPassword);
    connect(m_checkCodB, &QPushButton::clicked, this, &NetF::checkCode);
    connect(m_passChangeB, &QPushButton::clicked, this, &NetF::changePassword);
    connect(m_saveBut, &QPushButton::clicked, this, &NetF::saveBackup);
    connect(m_loadBut, &QPushButton::clicked, this, &NetF::loadList);
    connect(m_delSB, &QPushButton::clicked, this, &NetF::deleteBackup);
    connect(m_loadSB, &QPushButton::clicked, this, &NetF::loadBackup);
    connect(m_backBut, &QPushButton::clicked, this, &NetF::backToActions);
    connect(m_emailEdit, &QLineEdit::returnPressed, m_pass, qOverload<>(&QWidget::setFocus));
    connect(m_pass, &QLineEdit::returnPressed, this, &NetF::login);
}

NetF::~NetF() = default;

void NetF::setMask(const QString &mask)
{
    for (int i = 0; i < 5; ++i)
        m_panels[i]->setVisible(i < mask.size() && mask.at(i) != QLatin1Char('0'));
    adjustSize();
    if (QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

QString NetF::mask() const
{
    QString m;
    for (QWidget *p : m_panels)
        m += p->isVisibleTo(this) ? QLatin1Char('1') : QLatin1Char('0');
    return m;
}

bool NetF::run(const QString &archive)
{
    prepare(archive);
    exec();
    return m_replaced;
}

void NetF::prepare(const QString &archive)
{
    m_archive = archive;
    m_replaced = false;
    m_stop = false;
    const RememberedAccount account = loadRememberedAccount(m_session);
    m_memo->setChecked(account.remember);
    m_emailEdit->setText(account.remember ? account.email : QString());
    m_pass->setText(account.remember ? account.password : QString());
    m_sendPassB->hide();
    m_eroTxt->hide();
    setMask(QStringLiteral("10000"));
    m_emailEdit->setFocus();
}

void NetF::closeEvent(QCloseEvent *event)
{
    m_stop = true;
    QDialog::closeEvent(event);
}

void NetF::reject()
{
    m_stop = true;
    QDialog::reject();
}

RemoteClient NetF::client()
{
    RemoteClient c(m_session, m_email, m_password, m_place);
    if (fixedServer)
        c.setServer(*fixedServer);
    c.setProgress(m_progress.get());
    c.setStopFlag([this] { return m_stop; });
    return c;
}

void NetF::setBusy(bool busy)
{
    for (QWidget *p : m_panels)
        p->setEnabled(!busy);
    if (!busy)
        m_progress->hide();
}

bool NetF::handled(const RemoteReply &reply)
{
    setBusy(false);
    if (!reply.ok) {
        mesaj(QStringLiteral("Transmitere date"), QStringLiteral("\r") + reply.error, MesajButtons::OK, MesajKind::Eroare);
        return false;
    }
    for (const QString &m : reply.messages)
        mesaj(QStringLiteral("Mesaj de la Server"), QStringLiteral("\r") + m, MesajButtons::OK, MesajKind::Informatie);
    if (reply.wrongPassword)
        m_sendPassB->show();
    return true;
}

void NetF::showAccount(const RemoteReply &reply)
{
    m_dataInL->setText(reply.dataIn);
    m_dataExpL->setText(reply.dataExp);
    m_nowServer = reply.nowServer;
    m_emailL->setText(m_email);
}

void NetF::login()
{
    const QString email = cleanText(m_emailEdit->text());
    m_emailEdit->setText(email);
    if (!isValidEmail(email)) {
        showProblem(m_emailEdit, QStringLiteral("Email incorect!!"));
        return;
    }
    const QString pass = cleanText(m_pass->text());
    m_pass->setText(pass);
    if (pass.isEmpty()) {
        showProblem(m_pass, QStringLiteral("Lipseste parola!!"));
        return;
    }
    try {
        storeRememberedAccount(m_session, {m_memo->isChecked(), email, pass});
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Conectare la server"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    m_email = email;
    m_password = pass;
    setBusy(true);
    const RemoteReply reply = client().info();
    if (!handled(reply))
        return;
    m_cod->setText(QStringLiteral("0"));
    m_eroTxt->hide();
    if (reply.wrongPassword) {
        m_sendPassB->show();
        mesaj(QStringLiteral("Conectare la server"), QStringLiteral("\rParola este incorecta!"), MesajButtons::OK,
              MesajKind::Eroare);
        return;
    }
    m_sendPassB->hide();
    showAccount(reply);
    if (reply.needsConfirmation) {
        setMask(QStringLiteral("01100"));
        m_cod->setFocus();
        m_cod->selectAll();
        return;
    }
    setMask(QStringLiteral("00110"));
    if (reply.expired()) {
        m_eroTxt->show();
        setMask(mask());
    } else if (!m_archive.isEmpty()) {
        saveBackup();
    }
}

void NetF::checkCode()
{
    const QString text = m_cod->text().trimmed();
    if (text.size() > 6 || text.isEmpty()) {
        showProblem(m_cod, QStringLiteral("Cod incorect!"));
        return;
    }
    setBusy(true);
    const RemoteReply reply = client().checkCode(text.toLongLong());
    if (!handled(reply))
        return;
    if (reply.needsConfirmation) {
        mesaj(QStringLiteral("Verificare Cod"), QStringLiteral("\rCodul introdus este incorect!"), MesajButtons::OK,
              MesajKind::Eroare);
        return;
    }
    showAccount(reply);
    setMask(QStringLiteral("00110"));
    if (reply.expired()) {
        m_eroTxt->show();
        setMask(mask());
    }
}

void NetF::sendPassword()
{
    m_sendPassB->hide();
    const QString email = cleanText(m_emailEdit->text());
    if (!isValidEmail(email)) {
        showProblem(m_emailEdit, QStringLiteral("Email incorect!!"));
        return;
    }
    m_email = email;
    m_password = cleanText(m_pass->text()).isEmpty() ? QStringLiteral("-") : cleanText(m_pass->text());
    setBusy(true);
    handled(client().emailPassword());
    m_sendPassB->hide();
}

void NetF::changePassword()
{
    EditPassF dialog(this);
    const QString fresh = dialog.ask();
    if (fresh.isEmpty())
        return;
    setBusy(true);
    RemoteClient c = client();
    const RemoteReply reply = c.setPassword(fresh);
    // A refused change (too short, say) keeps the old password here too.
    if (!handled(reply) || reply.wrongPassword || passwordChangeRefused(reply))
        return;
    m_password = fresh;
    m_pass->setText(fresh);
    if (m_memo->isChecked())
        storeRememberedAccount(m_session, {true, m_email, fresh});
}

bool NetF::refuseExpired(const QString &title, const QString &text)
{
    if (!m_eroTxt->isVisibleTo(this))
        return false;
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
    return true;
}

void NetF::saveBackup()
{
    const QString title = QStringLiteral("Salvare pe server");
    if (refuseExpired(title, QStringLiteral("\rContul dvs a expirat!\rCititi mesajul scris cu rosu!")))
        return;
    RemoteClient c = client();
    const QString srv = c.srvPath();
    const QString failed = QStringLiteral("\rSalvarea nu s-a facut!");
    if (QFile::exists(srv) && !QFile::remove(srv)) {
        mesaj(title, failed, MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    QString note;
    if (!m_archive.isEmpty()) {
        note = QStringLiteral("Salvare la inchiderea programului.");
        if (!QFile::copy(m_archive, srv)) {
            mesaj(title, failed, MesajButtons::OK, MesajKind::Eroare);
            return;
        }
    } else {
        if (!askNote(note))
            return;
        note = RemoteClient::backupNote(note);
        try {
            packDataFolder(m_session, srv, Contor::instance());
        } catch (const VestroniaError &) {
            mesaj(title, failed, MesajButtons::OK, MesajKind::Eroare);
            return;
        }
    }
    setBusy(true);
    const RemoteReply reply = c.putFile(srv, note);
    QFile::remove(srv);
    if (!handled(reply)) {
        mesaj(title, failed, MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_descr->setText(QStringLiteral("Terminat."));
    if (!m_archive.isEmpty())
        accept();
}

QString NetF::stocPath() const
{
    return m_session.tempFolder + QStringLiteral("/Stoc.dbf");
}

void NetF::fillList()
{
    m_rows.clear();
    try {
        if (QFile::exists(stocPath()))
            m_rows = readStock(stocPath());
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Incarcare date"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    m_grid->setRowCount(int(m_rows.size()));
    for (int i = 0; i < m_rows.size(); ++i) {
        m_grid->setItem(i, 0, new QTableWidgetItem(m_rows[i].dateText()));
        m_grid->setItem(i, 1, new QTableWidgetItem(m_rows[i].timeText()));
        m_grid->setItem(i, 2, new QTableWidgetItem(m_rows[i].obs));
    }
    m_grid->resizeColumnsToContents();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    if (!m_rows.isEmpty())
        m_grid->selectRow(int(m_rows.size()) - 1);
    m_loadSB->setEnabled(!m_rows.isEmpty());
    m_delSB->setEnabled(!m_rows.isEmpty());
}

qint64 NetF::selectedId() const
{
    const int row = m_grid->currentRow();
    return row >= 0 && row < m_rows.size() ? m_rows[row].id : 0;
}

void NetF::loadList()
{
    setBusy(true);
    const RemoteReply reply = client().getStock();
    if (!handled(reply) || reply.wrongPassword)
        return;
    setMask(QStringLiteral("00101"));
    fillList();
}

void NetF::backToActions()
{
    m_grid->setRowCount(0);
    m_rows.clear();
    QFile::remove(stocPath());
    setMask(QStringLiteral("00110"));
}

void NetF::deleteBackup()
{
    const QString title = QStringLiteral("Stergere Salvare");
    if (refuseExpired(title, QStringLiteral("\rContul dvs a expirat!\rCititi textul scris cu rosu!")))
        return;
    const qint64 id = selectedId();
    if (id <= 0)
        return;
    if (mesaj(title, QStringLiteral("\rDoriti sa stergeti salvarea selectata?"), MesajButtons::DaNu, MesajKind::Atentie)
        != MesajResult::Da)
        return;
    setBusy(true);
    const RemoteReply reply = client().deleteBackup(id);
    if (!handled(reply) || reply.wrongPassword)
        return;
    try {
        deleteStockRow(stocPath(), id);
    } catch (const VestroniaError &) {
        QFile::remove(stocPath());
    }
    fillList();
}

void NetF::loadBackup()
{
    const QString title = QStringLiteral("Incarcare date");
    if (refuseExpired(title, QStringLiteral("\rContul dvs a expirat!\rCititi textul scris cu rosu!")))
        return;
    const qint64 id = selectedId();
    if (id <= 0)
        return;
    if (mesaj(title, QStringLiteral("\rDoriti sa inlocuim datele cu cele din Salvarea selectata?"), MesajButtons::DaNu,
              MesajKind::Atentie)
        != MesajResult::Da)
        return;
    setBusy(true);
    const RemoteReply reply = client().getFile(id);
    if (!handled(reply) || reply.wrongPassword)
        return;
    const QString file = m_session.tempFolder + QLatin1Char('/') + QString::number(id);
    if (!QFile::exists(file))
        return; // the server said why, in its message
    backToActions();
    try {
        restoreFromArchive(m_session, file, Contor::instance());
        m_replaced = true;
    } catch (const BackupError &e) {
        mesaj(e.title(), e.message(), MesajButtons::OK, MesajKind::Eroare);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Restaurare date"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    QFile::remove(file);
    if (m_replaced) {
        mesaj(QStringLiteral("Informatie"),
              QStringLiteral("Restaurare incheiata cu succes !\r\nVa rog sa porniti programul din nou !"), MesajButtons::OK,
              MesajKind::Informatie);
        accept();
    }
}

} // namespace vestronia
