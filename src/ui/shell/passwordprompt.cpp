// The password prompt: one masked field, "&Verifica" confirms, "&Inchide" or Esc closes.

#include "ui/shell/passwordprompt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

PasswordPrompt::PasswordPrompt(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Autentificare"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(8);
    auto *label = new QLabel(QStringLiteral("Introduceti parola"), this);
    label->setObjectName(QStringLiteral("Label1"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("Edit1"));
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setMinimumWidth(240);
    label->setBuddy(m_edit);

    auto *verifica = new QPushButton(QStringLiteral("&Verifica"), this);
    verifica->setObjectName(QStringLiteral("VerificaB"));
    verifica->setDefault(true);
    auto *inchide = new QPushButton(QStringLiteral("&Inchide"), this);
    inchide->setObjectName(QStringLiteral("InchideB"));
    inchide->setAutoDefault(false);
    connect(verifica, &QPushButton::clicked, this, &QDialog::accept);
    connect(inchide, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_edit, &QLineEdit::returnPressed, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(verifica);
    buttons->addWidget(inchide);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

QString PasswordPrompt::password() const
{
    return m_edit->text();
}

void PasswordPrompt::showEvent(QShowEvent *event)
{
    m_edit->clear();
    m_edit->setFocus();
    QDialog::showEvent(event);
}

bool inputQuery2(QString &text, QWidget *parent)
{
    PasswordPrompt prompt(parent);
    if (prompt.exec() != QDialog::Accepted)
        return false;
    text = prompt.password();
    return true;
}

} // namespace vestronia
