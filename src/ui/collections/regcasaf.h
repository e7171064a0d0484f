#pragma once
// RegCasaF: the cash register book window. One day at a time (the day's lines, the
// balance carried, what came in and went out, the final balance), the cash-desk lines
// added and deleted here, and the printed book for a period.

#include <QDialog>

#include <functional>

class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;

namespace vestronia {

class Database;
class PerSelect;
class RegCasaChitPlataF;
class ResultGridModel;
struct Session;

class RegCasaF : public QDialog
{
    Q_OBJECT

public:
    RegCasaF(Database &db, const Session &session, QWidget *parent = nullptr);

    void run();
    // Shows the day of LaData without running a loop.
    void prepare();
    // Recomputes the day view. A request during a pass causes exactly one more pass.
    void refreshDay();
    int dayPasses() const { return m_passes; }
    void setDayPassHook(std::function<void()> hook) { m_passHook = std::move(hook); }

    RegCasaChitPlataF *entryDialog() const { return m_entry; }
    PerSelect *periodDialog() const { return m_period; }

    void addLine(bool payment);
    void deleteLine();
    void printBook();

private:
    void runDayPass();
    void updateButtons();

    Database &m_db;
    const Session &m_session;
    bool m_refreshing = false;
    int m_requests = 0;
    int m_passes = 0;
    std::function<void()> m_passHook;

    QDateEdit *m_day;
    ResultGridModel *m_model;
    QTableView *m_grid;
    QLabel *m_previous;
    QLabel *m_final;
    QLabel *m_in;
    QLabel *m_out;
    QPushButton *m_addPayment;
    QPushButton *m_addReceipt;
    QPushButton *m_delete;
    QPushButton *m_list;
    RegCasaChitPlataF *m_entry;
    PerSelect *m_period;
};

} // namespace vestronia
