#pragma once
// The ABONATI panel of the register screen: the filters, the subscriber list and its
// order, the count and remarks, and "Adauga/Modifica/Sterge Abonat" and "Executare
// silita". It tells the screen through subscriberMoved which subscriber is selected.

#include "ledger/subscribers.h"

#include <QGroupBox>

#include <functional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace vestronia {

class AddAbon;
class Database;
class ResultGridModel;
struct Session;

class SubscribersPanel : public QGroupBox
{
    Q_OBJECT

public:
    SubscribersPanel(Database &db, const Session &session, QWidget *parent);

    // Fills the filter lists and reads the register, keeping the filters and order the
    // clerk left; onEmptyRegister runs when the register is empty (then it is read again).
    void prepare(const std::function<void()> &onEmptyRegister);
    void clear();

    // IDAB of the selected subscriber; -1 when the list is empty.
    qint64 currentSubscriberId() const;
    SubscriberRecord currentSubscriber() const;
    int shownSubscriberCount() const;
    bool selectSubscriber(qint64 idab);
    // Re-reads the list (keeping order and filter) and selects idab, or the first row.
    void reloadSubscribers(qint64 positionOn);

    // Whether the selected subscriber has documents: deleting him then asks once more.
    void setHasDocuments(bool has) { m_hasDocuments = has; }
    void setOnExecutare(std::function<void(qint64)> handler);

    QHBoxLayout *buttonRow() const { return m_subscriberButtons; }
    QTableView *grid() const { return m_subscriberGrid; }
    AddAbon *subscriberForm() const { return m_addAbon; }
    int filterPasses() const { return m_filterPasses; }
    void setFilterPassHook(std::function<void()> hook) { m_filterPassHook = std::move(hook); }

Q_SIGNALS:
    // The selected row moved (or the list was re-read): idab, -1 when none.
    void subscriberMoved(qint64 idab);

private:
    void applyFilter();
    void runFilterPass();
    void showFilteredRows(qint64 positionOn, bool first);
    void rowMoved();
    void sortByColumn(int section);
    void fillFilterLists(const QString &keepLocality);
    QStringList distinct(const QString &field);
    void addSubscriberClicked();
    void editSubscriberClicked();
    void deleteSubscriberClicked();

    Database &m_db;
    const Session &m_session;
    QString m_order = QStringLiteral("NUME");
    bool m_suppressFilter = false;
    bool m_filtering = false;
    int m_filterRequests = 0;
    int m_filterPasses = 0;
    std::function<void()> m_filterPassHook;
    bool m_positioning = false;
    bool m_hasDocuments = false;
    std::function<void(qint64)> m_onExecutare;

    QLineEdit *m_nameFilter;
    QComboBox *m_localityFilter;
    QComboBox *m_streetFilter;
    QLineEdit *m_numberFilter;
    QComboBox *m_typeFilter;
    QCheckBox *m_activeOnly;
    QLabel *m_count;
    QLineEdit *m_remarks;
    QPushButton *m_add;
    QPushButton *m_edit;
    QPushButton *m_delete;
    QPushButton *m_executare;
    QHBoxLayout *m_subscriberButtons;
    ResultGridModel *m_subscribers;
    QTableView *m_subscriberGrid;
    AddAbon *m_addAbon;
};

} // namespace vestronia
