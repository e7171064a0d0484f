#pragma once
// Sugestii: the suggestions book form. Checks the fields in order (balloon at the first
// wrong one), sends the suggestion to the web service and tells whether it arrived; the
// contact data are remembered on the computer once a suggestion is delivered.

#include "core/session.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace vestronia {

class Sugestii : public QDialog
{
    Q_OBJECT

public:
    explicit Sugestii(const Session &session, QWidget *parent = nullptr);
    // Opens the form modally (place: Administration locality + " / " + county, used when
    // no place is remembered); shows the closing message. True when delivered.
    bool run(const QString &place);

    bool sent() const { return m_sent; }
    bool delivered() const { return m_delivered; }

public Q_SLOTS:
    void trimite();

private:
    Session m_session;
    bool m_sent = false;
    bool m_delivered = false;
    QLineEdit *m_nume;
    QLineEdit *m_comuna;
    QLineEdit *m_telefon;
    QLineEdit *m_mail;
    QPlainTextEdit *m_produs;
    QLabel *m_label4;
};

} // namespace vestronia
