// The suggestions book form over the suggestions services.

#include "ui/remote/sugestii.h"

#include "suggestions/suggestion.h"
#include "ui/remote/editpassf.h"
#include "ui/shell/balloon.h"
#include "ui/shell/contor.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"
#include "ui/shell/mesaj.h"
#include "core/error.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

Sugestii::Sugestii(const Session &session, QWidget *parent) : QDialog(parent), m_session(session)
{
    setObjectName(QStringLiteral("Sugestii"));
    setWindowTitle(QStringLiteral("Trimitere sugestie"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    auto field = [this, grid](const QString &name, const QString &label, int max, int row) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(max);
        auto *l = new QLabel(label, this);
        l->setBuddy(e);
        grid->addWidget(l, row, 0);
        grid->addWidget(e, row, 1);
        return e;
    };
    m_nume = field(QStringLiteral("nume"), QStringLiteral("Numele dvs."), 60, 0);
    m_comuna = field(QStringLiteral("comuna"), QStringLiteral("Localitate / Judet"), 60, 1);
    m_telefon = field(QStringLiteral("telefon_fax"), QStringLiteral("Telefon"), 10, 2);
    grid->addWidget(new QLabel(QStringLiteral("exemplu. 0722222777"), this), 2, 2);
    m_mail = field(QStringLiteral("mail"), QStringLiteral("Email"), 60, 3);
    forceUpperCase(m_comuna);
    forceUpperCase(m_telefon);
    m_nume->setMinimumWidth(300);
    m_label4 = new QLabel(QStringLiteral("Sugestia dvs."), this);
    m_label4->setObjectName(QStringLiteral("Label4"));
    m_produs = new QPlainTextEdit(this);
    m_produs->setObjectName(QStringLiteral("produs"));
    m_produs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_produs->setMinimumHeight(140);
    layout->addLayout(grid);
    layout->addWidget(m_label4);
    layout->addWidget(m_produs);
    const FormButtons buttons = makeFormButtons(this, QStringLiteral("&Trimite sugestia"));
    layout->addLayout(buttons.row);
    connect(buttons.memo, &QPushButton::clicked, this, &Sugestii::trimite);
    connect(buttons.close, &QPushButton::clicked, this, &QDialog::reject);
    installEnterNavigation(this);
}

bool Sugestii::run(const QString &place)
{
    m_sent = false;
    m_delivered = false;
    setWindowTitle(QStringLiteral("Trimitere sugestie"));
    m_label4->setText(QStringLiteral("Sugestia dvs."));
    const SuggestionForm remembered = rememberedSuggestionContact(m_session);
    m_telefon->setText(remembered.telefon);
    m_mail->setText(remembered.mail);
    m_nume->setText(remembered.nume);
    m_comuna->setText(remembered.comuna.trimmed().isEmpty() ? place.toUpper() : remembered.comuna);
    m_nume->setFocus();
    exec();
    if (!m_sent)
        return false;
    if (m_delivered) {
        SuggestionForm form{m_nume->text(), m_comuna->text(), m_telefon->text(), m_mail->text(), QString()};
        try {
            rememberSuggestionContact(m_session, form);
        } catch (const VestroniaError &) {
            // The suggestion arrived; only the convenience of the next opening is lost.
        }
        m_produs->clear();
        mesaj(QStringLiteral("Transmitere Sugestie"),
              QStringLiteral("Mesajul a fost transmis!\rRaspunsul il veti primi in curand in emailul dvs. sau la "
                             "telefon.\rVa multumim!"),
              MesajButtons::OK, MesajKind::Informatie);
    } else {
        mesaj(QStringLiteral("Transmitere Sugestie"),
              QStringLiteral("Mesajul nu poate fi transmis!\rVerificati daca aveti internet sau daca nu ati "
                             "restrictionat accesul la internet al programului!"),
              MesajButtons::OK, MesajKind::Eroare);
    }
    return m_delivered;
}

void Sugestii::trimite()
{
    SuggestionForm form{m_nume->text(), m_comuna->text(), m_telefon->text(), m_mail->text(), m_produs->toPlainText()};
    const SuggestionCheck check = checkSuggestion(form);
    m_nume->setText(form.nume);
    m_telefon->setText(form.telefon);
    if (!check.ok()) {
        QWidget *at = check.field == SuggestionField::Nume      ? static_cast<QWidget *>(m_nume)
                      : check.field == SuggestionField::Telefon ? static_cast<QWidget *>(m_telefon)
                      : check.field == SuggestionField::Mail    ? static_cast<QWidget *>(m_mail)
                                                                : static_cast<QWidget *>(m_produs);
        showProblem(at, check.message);
        return;
    }
    Contor &progress = Contor::instance();
    progress.setText(QStringLiteral("Transmit mesajul..."));
    progress.setTotal(2);
    progress.start();
    progress.step();
    m_sent = true;
    m_delivered = sendSuggestion(m_session, check.query);
    progress.step();
    QApplication::processEvents();
    progress.finish();
    accept();
}

} // namespace vestronia
