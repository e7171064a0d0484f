#pragma once
// EditPassF: the new-password dialog of the remote backup account.

#include <QDialog>

class QLineEdit;

namespace vestronia {

class EditPassF : public QDialog
{
    Q_OBJECT

public:
    explicit EditPassF(QWidget *parent = nullptr);
    // Modal; the new password (upper case, cleaned) or empty when cancelled.
    QString ask();

private:
    void memoreaza();
    QLineEdit *m_passN;
};

// Turns what is typed into upper case as it is typed.
void forceUpperCase(QLineEdit *edit);

} // namespace vestronia
