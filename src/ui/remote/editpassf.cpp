// The new-password dialog: one masked upper-case field; an empty one is refused.

#include "ui/remote/editpassf.h"

#include "core/text.h"
#include "ui/shell/balloon.h"
#include "ui/shell/formbuttons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

void forceUpperCase(QLineEdit *edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString &text) {
        const QString upper = text.toUpper();
        if (upper != text) {
            const int pos = edit->cursorPosition();
            edit->setText(upper);
            edit->setCursorPosition(pos);
        }
    });
}

EditPassF::EditPassF(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EditPassF"));
    setWindowTitle(QStringLiteral("Schimbare parola"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("Parola noua"), this);
    m_passN = new QLineEdit(this);
    m_passN->setObjectName(QStringLiteral("PassN"));
    m_passN->setMaxLength(40);
    m_passN->setEchoMode(QLineEdit::Password);
    m_passN->setMinimumWidth(240);
    forceUpperCase(m_passN);
    label->setBuddy(m_passN);
    layout->addWidget(label);
    layout->addWidget(m_passN);
    const FormButtons buttons = makeFormButtons(this);
    layout->addLayout(buttons.row);
    connect(buttons.memo, &QPushButton::clicked, this, &EditPassF::memoreaza);
    connect(buttons.close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_passN, &QLineEdit::returnPressed, this, &EditPassF::memoreaza);
}

void EditPassF::memoreaza()
{
    if (cleanText(m_passN->text()).isEmpty()) {
        showProblem(m_passN, QStringLiteral("Nu ati scris nicio parola!"));
        return;
    }
    accept();
}

QString EditPassF::ask()
{
    m_passN->clear();
    m_passN->setFocus();
    if (exec() != QDialog::Accepted)
        return {};
    return cleanText(m_passN->text()).toUpper();
}

} // namespace vestronia
