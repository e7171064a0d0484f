#pragma once
// AddCont: the creation form of an account. Its checks run in a fixed order and the
// first failure is shown as the problem balloon at its field (or, for an account that
// would overlap another, as a message); the form then stays open with what was typed.

#include "ledger/accounts.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace vestronia {

class Database;

class AddCont : public QDialog
{
    Q_OBJECT

public:
    explicit AddCont(Database &db, QWidget *parent = nullptr);

    // Resets the fields a new account starts from and shows the form modally. True when
    // it closed through "&Memoreaza" with every check passed; draft() then holds it.
    bool runNew();
    void prepareNew();
    const AccountDraft &draft() const { return m_draft; }

private:
    void updateEnabling();
    void memoreaza();
    AccountDraft readForm() const;

    Database &m_db;
    AccountDraft m_draft;
    QLineEdit *m_name;
    QLineEdit *m_amount;
    QRadioButton *m_forAll;
    QRadioButton *m_byPersons;
    QLineEdit *m_min;
    QLineEdit *m_max;
    QRadioButton *m_fixed;
    QRadioButton *m_perPerson;
    QRadioButton *m_manual;
    QRadioButton *m_periodic;
    QLineEdit *m_period;
    QSpinBox *m_day;
    QWidget *m_startPanel;
    QDateEdit *m_start;
    QLineEdit *m_penalty;
    QComboBox *m_penaltyPer;
    QComboBox *m_penaltyFromUnit;
    QLineEdit *m_penaltyFrom;
    QCheckBox *m_cap;
};

} // namespace vestronia
