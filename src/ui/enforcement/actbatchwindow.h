#pragma once
// The "Urmariri in masa" window: one act of the chosen type for every debtor who owes at
// least a threshold (optionally in one locality), and one letter file with every letter,
// opened through the shell. Shows how many acts were made and their number range.

#include <QDialog>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vestronia {

class Database;
class Progress;
struct Session;

class ActBatchWindow : public QDialog
{
    Q_OBJECT

public:
    ActBatchWindow(Database &db, const Session &session, QWidget *parent = nullptr);

    // Fills the locality list and the proposal of the first number.
    void prepare();
    // The progress the run steps (the progress window unless a test sets another).
    void setProgress(Progress *progress) { m_progress = progress; }
    // The letter file of the last run (tests).
    const QString &lastLetter() const { return m_lastLetter; }

private:
    void generate();
    void showNextNumber();

    Database &m_db;
    const Session &m_session;
    Progress *m_progress = nullptr;
    QString m_lastLetter;
    QComboBox *m_type;
    QDateEdit *m_date;
    QLineEdit *m_minTotal;
    QComboBox *m_locality;
    QLabel *m_next;
    QLabel *m_result;
    QPushButton *m_generate;
    QPushButton *m_close;
};

} // namespace vestronia
