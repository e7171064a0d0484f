#pragma once
// AddChit: the collection dialog. Document type, series and number (automatic or by
// hand), amount, payer, purpose and date; the live spread of the amount over the
// subscriber's debits as it is typed; "&Memoreaza" records the collection through the
// collections service and reports the document recorded.

#include "collections/collection.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vestronia {

class Database;
struct Session;

class AddChit : public QDialog
{
    Q_OBJECT

public:
    AddChit(Database &db, const Session &session, QWidget *parent = nullptr);

    // Fills the dialog for the subscriber (title, payer, purpose, amount = what he owes)
    // and shows it modally. True when a collection was recorded; recorded() then holds it.
    bool run(qint64 idab);
    void prepare(qint64 idab);
    const RecordedCollection &recorded() const { return m_recorded; }

    // The rows of the live spread shown now (tests).
    int spreadRowCount() const;

private:
    void applyDocumentTypeRule();
    void updateSpread();
    void memoreaza();

    Database &m_db;
    const Session &m_session;
    qint64 m_idab = 0;
    CollectionProposal m_proposal;
    RecordedCollection m_recorded;

    QLabel *m_title;
    QComboBox *m_docJus;
    QLineEdit *m_series;
    QLineEdit *m_number;
    QLineEdit *m_amount;
    QLineEdit *m_payer;
    QLineEdit *m_purpose;
    QDateEdit *m_date;
    QCheckBox *m_autoNr;
    QTableWidget *m_spread;
    QLabel *m_spreadTotal;
    QPushButton *m_memo;
    QPushButton *m_close;
};

} // namespace vestronia
