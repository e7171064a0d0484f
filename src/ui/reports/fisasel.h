#pragma once
// FisaSel: asks from which day on the statement of account lists debits and payments.
// One date (DataFisa), "&Am ales" and "&Renunt". It starts at 1 January of last year and
// keeps the last day chosen while the program runs.

#include <QDate>
#include <QDialog>

class QDateEdit;

namespace vestronia {

class FisaSel : public QDialog
{
    Q_OBJECT

public:
    explicit FisaSel(QWidget *parent = nullptr);
    bool run(const QString &subscriberName);
    QDate date() const;
    void setDate(const QDate &date);

private:
    QDateEdit *m_date;
};

} // namespace vestronia
