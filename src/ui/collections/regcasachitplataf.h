#pragma once
// RegCasaChitPlataF: the entry of a cash-desk line (a payment out or a receipt) of the
// cash book. "&Adauga" records it through the cash book service.

#include <QDate>
#include <QDialog>

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

namespace vestronia {

class Database;
struct Session;

class RegCasaChitPlataF : public QDialog
{
    Q_OBJECT

public:
    RegCasaChitPlataF(Database &db, const Session &session, QWidget *parent = nullptr);

    // Resets the fields for a payment (payment) or a receipt dated day and shows the
    // dialog modally. True when a line was recorded; recordedId() is its IDCHIT.
    bool run(bool payment, const QDate &day);
    void prepare(bool payment, const QDate &day);
    qint64 recordedId() const { return m_recorded; }

private:
    void add();

    Database &m_db;
    const Session &m_session;
    bool m_payment = false;
    qint64 m_recorded = 0;
    QComboBox *m_docJus;
    QLineEdit *m_series;
    QLineEdit *m_number;
    QLineEdit *m_amount;
    QDateEdit *m_date;
    QLineEdit *m_purpose;
    QPushButton *m_memo;
    QPushButton *m_close;
};

} // namespace vestronia
