#pragma once
// BackupWindow: the backup window. Save a copy of the data, load an earlier copy in place of the
// current data, or go to the remote backup.

#include "core/session.h"

#include <QDialog>
#include <functional>

class QPushButton;

namespace vestronia {

class Database;

class BackupWindow : public QDialog
{
    Q_OBJECT

public:
    BackupWindow(Database &db, Session &session, QWidget *parent = nullptr);

    // Shows the window modally; true when the current data were replaced (the program
    // must then end).
    bool run();
    bool dataReplaced() const { return m_replaced; }

    // What a saved copy is handed to when the user also wants it on the remote server,
    // and what opens the remote backup window. While unset, the question is not asked and
    // the remote button is disabled.
    using RemoteCopyHandler = std::function<void(const QString &savedFile)>;
    using RemoteWindowOpener = std::function<bool(QWidget *parent)>; // true: data replaced
    static void setRemoteBackup(RemoteCopyHandler copy, RemoteWindowOpener window);

public Q_SLOTS:
    void saveCopy();
    void loadEarlier();
    void remoteBackup();

private:
    void applyAccess();

    Database &m_db;
    Session &m_session;
    bool m_replaced = false;
    QPushButton *m_save;
    QPushButton *m_load;
    QPushButton *m_remote;
};

} // namespace vestronia
