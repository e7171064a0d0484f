#pragma once
// SelDataS: the single-date picker. One date (LaData, today when the form is made), the
// prompt "Alegeti data adaugarii", "&Am ales" and "&Renunt"; the caller gives the caption.

#include <QDate>
#include <QDialog>

class QDateEdit;

namespace vestronia {

class SelDataS : public QDialog
{
    Q_OBJECT

public:
    explicit SelDataS(QWidget *parent = nullptr);

    // Shows the picker modally with the caption; true when "&Am ales" was pressed.
    bool run(const QString &caption);
    QDate date() const;
    void setDate(const QDate &date);

private:
    QDateEdit *m_date;
};

} // namespace vestronia
