#pragma once
// AddExecF: the act entry window ("Urmariri"), for adding and for changing an act. The act
// type and the date stay as last shown from one use to the next, so a run of acts needs
// little typing; changing the type proposes that type's next number.

#include "enforcement/acts.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vestronia {

struct Session;

class AddExecF : public QDialog
{
    Q_OBJECT

public:
    explicit AddExecF(const Session &session, QWidget *parent = nullptr);

    // Fills the window for a new act of the named subscriber with the amounts the
    // subscriber screen shows; the number field gets the proposal of the selected type.
    void prepareAdd(const QString &name, const ActAmounts &amounts);
    // Fills the window from a stored act (row of an Urmarire result).
    void prepareChange(const class ResultSet &acts, int row);
    // Shows the window modally; true when closed through "&Memoreaza".
    bool run();

    // What the window holds (the number as saved, after "&Memoreaza").
    ActDraft draft() const;

private:
    void typeChanged();
    void memoreaza();

    const Session &m_session;
    bool m_filling = false;
    QLabel *m_title;
    QLabel *m_name;
    QLabel *m_debit;
    QLabel *m_penalties;
    QLabel *m_total;
    QComboBox *m_type;
    QLineEdit *m_number;
    QDateEdit *m_date;
    QPushButton *m_memo;
    QPushButton *m_close;
};

} // namespace vestronia
