#pragma once
// PasswordPrompt: the password prompt of the administration step. The field shows "*" for every
// character and is emptied each time the prompt opens.

#include <QDialog>

class QLineEdit;

namespace vestronia {

class PasswordPrompt : public QDialog
{
    Q_OBJECT

public:
    explicit PasswordPrompt(QWidget *parent = nullptr);
    QString password() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *m_edit;
};

// Shows the prompt modally. True when confirmed ("&Verifica" or Enter), with the typed
// text in text; false when closed ("&Inchide" or Esc).
bool inputQuery2(QString &text, QWidget *parent = nullptr);

} // namespace vestronia
