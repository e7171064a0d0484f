#pragma once
// SelData: the deactivation dialog of an active periodic account. It says the account
// can no longer be changed, only deactivated, and asks for the day.

#include <QDate>
#include <QDialog>

class QDateEdit;
class QLabel;

namespace vestronia {

class SelData : public QDialog
{
    Q_OBJECT

public:
    explicit SelData(QWidget *parent = nullptr);

    // Shows the dialog for the named account. True when "Dezactivare cont" was pressed.
    bool run(const QString &accountName);
    void prepare(const QString &accountName);
    QDate date() const;

private:
    QLabel *m_heading;
    QDateEdit *m_date;
};

} // namespace vestronia
