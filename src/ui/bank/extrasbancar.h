#pragma once
// ExtrasBancar: the "Extras bancar" window. Opens a camt.053 or MT940 statement, shows
// every entry with its proposed subscriber and the reason (parked ones highlighted), lets
// the clerk assign a parked transfer to a subscriber found with the usual filter fields or
// drop one, and records the rest with one button, after a warning when the statement is
// for another account than the service's.
//
// Keyboard: Enter on a parked entry goes to the name filter (filled with the payer), Enter
// moves through the filters to the subscriber list, Enter there assigns and comes back to
// the next parked entry; Enter on any other entry moves down; Del drops; Esc closes.

#include "bank/bankimport.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vestronia {

class Database;
class Progress;
class ResultSet;
struct Session;

class ExtrasBancar : public QDialog
{
    Q_OBJECT

public:
    ExtrasBancar(Database &db, const Session &session, QWidget *parent = nullptr);
    ~ExtrasBancar() override;

    // Reads and plans a statement file; a refusal is shown as an error message and leaves
    // the window empty. True when the file was read.
    bool loadFile(const QString &path);
    // The progress recording steps (the progress window unless a test sets another).
    void setProgress(Progress *progress) { m_progress = progress; }
    const BankImport &plan() const { return m_import; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseFile();
    void showLines();
    void showLine(int row);
    void refilter();
    void startAssigning();
    void assignCurrent();
    void dropCurrent();
    void record();
    void moveToNextParked(int from);
    void updateSummary();
    int currentLine() const;

    Database &m_db;
    const Session &m_session;
    Progress *m_progress = nullptr;
    BankImport m_import;
    std::unique_ptr<ResultSet> m_register; // every subscriber, by name
    std::vector<int> m_visible;            // register rows the filters let through

    QLabel *m_file;
    QLabel *m_accountWarning;
    QTableWidget *m_lines;
    QLineEdit *m_name;
    QComboBox *m_locality;
    QComboBox *m_street;
    QLineEdit *m_number;
    QTableWidget *m_subscribers;
    QLabel *m_summary;
    QPushButton *m_open;
    QPushButton *m_assign;
    QPushButton *m_drop;
    QPushButton *m_record;
    QPushButton *m_close;
};

} // namespace vestronia
