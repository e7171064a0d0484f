#pragma once
// AdministrationWindow: the administration window. Unit data, receipt series and next document
// numbers, PDF receipts, the network data folder, the automatic-backup folder, the
// administrator password, the account definitions and the editable document models.
// Created once per run; its fields keep what was typed until the next start, while
// adminSettings() (what other screens read) changes only when the user saves.

#include "startup/adminsettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace vestronia {

class ContListF;
class Database;

class AdministrationWindow : public QDialog
{
    Q_OBJECT

public:
    AdministrationWindow(Database &db, Session &session, AdminSettings &settings, QWidget *parent = nullptr);

    // Empties the password fields, shows the series and the peeked document numbers
    // (remembering them), puts the cursor into the unit name and shows the window modally.
    void run();
    // The opening steps without the modal loop.
    void prepare();
    // Fills the fields from the settings (after they were loaded at start).
    void reloadFields();
    // Set when a change of the network folder requires the program to end now.
    bool endProgramRequested() const { return m_endProgram; }

    // The model files the models menu works on, by group.
    enum class Model { Chitanta, Instiintare, SomTit };
    QString modelPath(Model model) const;
    // The account list, created at its first opening and kept for the run.
    ContListF *accountList() const { return m_accountList; }

public Q_SLOTS:
    void save();
    void changePassword();
    void chooseServerFolder();
    void clearServerFolder();
    void chooseBackupFolder();
    void clearBackupFolder();
    // "Definire Conturi": the account list in administration mode.
    void openAccountList();
    void editModel(Model model);
    void restoreModel(Model model);

private:
    void applyAccess();
    QPushButton *makeButton(const QString &text, const QString &name);

    Database &m_db;
    Session &m_session;
    AdminSettings &m_settings;
    AdminNumbers m_shown;
    bool m_endProgram = false;

    QLineEdit *m_unit;
    QLineEdit *m_locality;
    QComboBox *m_county;
    QLineEdit *m_series;
    QLineEdit *m_receiptNr;
    QLineEdit *m_noteNr;
    QCheckBox *m_pdf;
    QLineEdit *m_iban; // the service's bank account, checked against imported statements
    QLabel *m_server;
    QLabel *m_backup;
    QToolButton *m_serverChoose;
    QToolButton *m_serverClear;
    QToolButton *m_backupChoose;
    QToolButton *m_backupClear;
    QLineEdit *m_password1;
    QLineEdit *m_password2;
    QPushButton *m_changePassword;
    QPushButton *m_accounts;
    QToolButton *m_models;
    QPushButton *m_save;
    QPushButton *m_cancel;
    QList<QAction *> m_restoreActions;
    QList<QAction *> m_editActions;
    ContListF *m_accountList = nullptr;
};

} // namespace vestronia
