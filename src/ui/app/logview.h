#pragma once
// LogView: the read-only window of the change log, newest entry selected.

#include <QDialog>

class QTableWidget;

namespace vestronia {

class Database;

class LogView : public QDialog
{
    Q_OBJECT

public:
    explicit LogView(Database &db, QWidget *parent = nullptr);
    // Reads the log, positions on the newest entry and shows the window modally.
    void run();
    // The reading and positioning without the modal loop.
    void prepare();

private:
    Database &m_db;
    QTableWidget *m_grid;
};

} // namespace vestronia
