#pragma once
// SetDebit: the small amount dialog shared by the subscription amount change and the
// debit operations. A title, a debit date (editable or not) and an amount that keeps
// what it last held between uses.

#include "core/money.h"

#include <QDate>
#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vestronia {

class SetDebit : public QDialog
{
    Q_OBJECT

public:
    explicit SetDebit(QWidget *parent = nullptr);

    // Shows the dialog modally with the title text; the date gets the focus when it may
    // be edited, the amount otherwise. True when closed through "&Memoreaza".
    bool run(const QString &title, bool dateEditable);
    // The same without running a loop (tests drive the buttons themselves).
    void prepare(const QString &title, bool dateEditable);

    void setDate(const QDate &date);
    QDate date() const;
    void setAmount(Money amount);
    Money amount() const;

private:
    void memoreaza();

    QLabel *m_descr;
    QDateEdit *m_date;
    QLineEdit *m_amount;
    QPushButton *m_memo;
    QPushButton *m_close;
};

} // namespace vestronia
