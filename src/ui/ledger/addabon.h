#pragma once
// AddAbon: the subscriber edit form, in add mode (a new subscriber never has a leaving
// or exemption date) and change mode (the entry date is fixed; leaving and exemption
// exclude each other). "&Memoreaza" runs the subscriber checks in order and shows the
// first failure as the problem balloon at its field.

#include "ledger/subscribers.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace vestronia {

class AddAbon : public QDialog
{
    Q_OBJECT

public:
    explicit AddAbon(QWidget *parent = nullptr);

    // Add mode with the locality and street lists; modal. True when saved.
    bool runAdd(const QStringList &localities, const QStringList &streets);
    void prepareAdd(const QStringList &localities, const QStringList &streets);
    // Change mode filled from the subscriber; modal. True when saved.
    bool runChange(const SubscriberRecord &subscriber, const QStringList &localities, const QStringList &streets);
    void prepareChange(const SubscriberRecord &subscriber, const QStringList &localities, const QStringList &streets);

    // The checked values, after a successful "&Memoreaza".
    const SubscriberDraft &draft() const { return m_draft; }

private:
    void reset(const QStringList &localities, const QStringList &streets);
    void updateEnabling();
    void memoreaza();
    SubscriberDraft readForm() const;
    void writeBack(const SubscriberDraft &d);

    bool m_changeMode = false;
    SubscriberDraft m_draft;
    QLabel *m_heading;
    QLineEdit *m_name;
    QComboBox *m_type;
    QLineEdit *m_code;
    QLineEdit *m_rol;
    QComboBox *m_locality;
    QComboBox *m_street;
    QLineEdit *m_number;
    QLineEdit *m_persons;
    QDateEdit *m_entry;
    QCheckBox *m_leavingCheck;
    QDateEdit *m_leaving;
    QCheckBox *m_exemptCheck;
    QDateEdit *m_exempt;
    QLineEdit *m_contractNumber;
    QDateEdit *m_contractDate;
    QPlainTextEdit *m_remarks;
};

} // namespace vestronia
