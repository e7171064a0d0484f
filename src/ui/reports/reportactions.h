#pragma once
// The reports as the user starts them: from the main window's reports menu (the six
// items) and from the "Fisa abonatului" button of the collections panel. Each asks for
// what it needs with its picker, runs the report under the progress window, shows a
// refusal or an error with Mesaj, and opens the document.

#include "reports/summaries.h"

#include <QObject>

#include <optional>

class QWidget;

namespace vestronia {

class Database;
struct Session;
class PerSelect;
class SelAn;

class ReportActions : public QObject
{
    Q_OBJECT

public:
    ReportActions(Database &db, Session &session, QWidget *parentWindow);

    // The pickers (created once and kept). The period picker starts at the last period
    // the reports asked for, the last six months the first time.
    PerSelect &periodPicker();
    SelAn &yearPicker();

    // Menu items. Each returns the document it opened, empty when none was made.
    QString subscriberList();                 // Rap1
    QString collectionList();                 // BorderouIncasari1
    QString yearBalance();                    // Bilantanaliticsintetic1
    QString followUpSummary(FollowUpKind k);  // CenIns, CenSom
    QString collectionsByYear();              // Centralizatorincasaripeani1
    // "Fisa abonatului" of a subscriber: asks from which day on.
    QString accountStatement(qint64 idab);

private:
    // The period picker with the reports' last period; nothing when cancelled.
    std::optional<ReportPeriod> askPeriod(const QString &title);
    template <typename F>
    QString run(const QString &title, F &&report);

    Database &m_db;
    Session &m_session;
    QWidget *m_parent;
    PerSelect *m_period = nullptr;
    SelAn *m_year = nullptr;
};

} // namespace vestronia
