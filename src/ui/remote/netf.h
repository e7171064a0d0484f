#pragma once
// NetF: the remote backup window. Five sections shown by a mask (login, code, account,
// actions, list) and a progress section; every action is one exchange of the remote
// client services, whose outcome the window shows.

#include "backup/remoteclient.h"
#include "core/session.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QWidget;

namespace vestronia {

class NetF : public QDialog
{
    Q_OBJECT

public:
    // place: Administration locality + "/" + county, sent with the login.
    NetF(const Session &session, QString place, QWidget *parent = nullptr);
    ~NetF() override;

    // Opens the window modally; with an archive, it is sent as soon as the login
    // succeeds. True when the data were replaced by a fetched backup (the program must
    // end then).
    bool run(const QString &archive = {});
    // What opening does before the window shows: the remembered account, the login
    // section alone.
    void prepare(const QString &archive = {});

    // Shows the sections of a five-character mask ('0' hides) in the order login, code,
    // account, actions, list; the window's height follows and it is centred.
    void setMask(const QString &mask);
    QString mask() const;

    // Asks for the note of a backup; replaced by tests. False: cancelled.
    std::function<bool(QString &note)> askNote;
    // Overrides the address look-up (tests).
    std::optional<ServerAddress> fixedServer;

public Q_SLOTS:
    void login();
    void checkCode();
    void sendPassword();
    void changePassword();
    void saveBackup();
    void loadList();
    void deleteBackup();
    void loadBackup();
    void backToActions();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    RemoteClient client();
    // Shows the transport error ("Transmitere date") when the exchange failed; shows the
    // server's messages otherwise. True when a reply was read.
    bool handled(const RemoteReply &reply);
    void showAccount(const RemoteReply &reply);
    bool refuseExpired(const QString &title, const QString &text);
    void fillList();
    QString stocPath() const;
    qint64 selectedId() const;
    void setBusy(bool busy);

    class PanelProgress;

    Session m_session;
    QString m_place;
    QString m_archive;
    QString m_email;
    QString m_password;
    bool m_replaced = false;
    bool m_stop = false;
    double m_nowServer = 0;
    std::unique_ptr<PanelProgress> m_progress;
    QList<StockRow> m_rows;

    QWidget *m_panels[5] = {};
    QWidget *m_panel3;
    QLineEdit *m_emailEdit;
    QLineEdit *m_pass;
    QCheckBox *m_memo;
    QPushButton *m_loginB;
    QPushButton *m_sendPassB;
    QLineEdit *m_cod;
    QPushButton *m_checkCodB;
    QLabel *m_emailL;
    QLabel *m_dataInL;
    QLabel *m_dataExpL;
    QLabel *m_eroTxt;
    QPushButton *m_passChangeB;
    QPushButton *m_saveBut;
    QPushButton *m_loadBut;
    QTableWidget *m_grid;
    QPushButton *m_loadSB;
    QPushButton *m_delSB;
    QPushButton *m_backBut;
    QLabel *m_descr;
    QProgressBar *m_bar;
};

} // namespace vestronia
