#pragma once
// PerSelect: the period picker shared by the cash book and the reports. Two dates and
// "&Am ales", which refuses an end before the start.

#include <QDate>
#include <QDialog>

class QDateEdit;
class QPushButton;

namespace vestronia {

class PerSelect : public QDialog
{
    Q_OBJECT

public:
    explicit PerSelect(QWidget *parent = nullptr);

    // Shows the dialog modally with the title as caption and the proposed period. True
    // when a period was chosen; from() and to() then hold it.
    bool run(const QString &title, const QDate &from, const QDate &to);
    void prepare(const QString &title, const QDate &from, const QDate &to);
    QDate from() const;
    QDate to() const;

private:
    void chosen();

    QDateEdit *m_from;
    QDateEdit *m_to;
    QPushButton *m_choose;
};

} // namespace vestronia
