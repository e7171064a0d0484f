// The reports menu and the statement of account in the desktop program. Errors of the
// engine or the files stop the report with Mesaj and leave no progress window up.

#include "ui/reports/reportactions.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "reports/accountstatement.h"
#include "reports/listreports.h"
#include "reports/opendocument.h"
#include "reports/yearbalance.h"
#include "startup/adminsettings.h"
#include "store/database.h"
#include "ui/reports/fisasel.h"
#include "ui/shell/contor.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/perselect.h"
#include "ui/shell/selan.h"

#include <QCoreApplication>
#include <QWidget>

namespace vestronia {

namespace {

// The period the reports asked for last; the first time the last six months.
struct LastPeriod
{
    QDate from = Clock::today().addMonths(-6);
    QDate to = Clock::today();
};

LastPeriod &lastPeriod()
{
    static LastPeriod period;
    return period;
}

} // namespace

ReportActions::ReportActions(Database &db, Session &session, QWidget *parentWindow)
    : QObject(parentWindow), m_db(db), m_session(session), m_parent(parentWindow)
{
}

PerSelect &ReportActions::periodPicker()
{
    if (!m_period)
        m_period = new PerSelect(m_parent);
    return *m_period;
}

SelAn &ReportActions::yearPicker()
{
    if (!m_year)
        m_year = new SelAn(m_parent);
    return *m_year;
}

std::optional<ReportPeriod> ReportActions::askPeriod(const QString &title)
{
    if (!periodPicker().run(title, lastPeriod().from, lastPeriod().to))
        return std::nullopt;
    lastPeriod() = {periodPicker().from(), periodPicker().to()};
    return ReportPeriod{dayNumberOf(periodPicker().from()), dayNumberOf(periodPicker().to())};
}

template <typename F>
QString ReportActions::run(const QString &title, F &&report)
{
    ReportOutcome out;
    try {
        QCoreApplication::processEvents();
        out = report();
    } catch (const VestroniaError &e) {
        Contor::instance().finish();
        mesaj(title, e.message(), MesajButtons::OK, MesajKind::Eroare);
        return {};
    }
    Contor::instance().finish();
    if (!out.ok()) {
        mesaj(out.title.isEmpty() ? title : out.title, out.refusal, MesajButtons::OK, MesajKind::Eroare);
        return {};
    }
    if (!openDocument(out.path))
        mesaj(out.title.isEmpty() ? title : out.title, cannotOpenMessage(out.path), MesajButtons::OK, MesajKind::Eroare);
    return out.path;
}

QString ReportActions::subscriberList()
{
    return run(QStringLiteral("Lista Abonati"),
               [&] { return subscriberListReport(m_db, m_session.tempFolder, Clock::todayDayNumber()); });
}

QString ReportActions::collectionList()
{
    const QString title = QStringLiteral("Borderou Incasari");
    const std::optional<ReportPeriod> period = askPeriod(title);
    if (!period)
        return {};
    return run(title, [&] { return collectionListReport(m_db, m_session.tempFolder, adminSettings().unitName, *period); });
}

QString ReportActions::yearBalance()
{
    return run(QStringLiteral("Bilant analitic/sintetic"), [&] {
        return yearBalanceReport(m_db, m_session.tempFolder, adminSettings().unitName, Contor::instance());
    });
}

QString ReportActions::followUpSummary(FollowUpKind kind)
{
    const QString name = followUpReportName(kind);
    const std::optional<ReportPeriod> period = askPeriod(name);
    if (!period)
        return {};
    return run(name, [&] { return followUpSummaryReport(m_db, m_session.tempFolder, adminSettings().unitName, kind, *period); });
}

QString ReportActions::collectionsByYear()
{
    const QString title = QStringLiteral("Centralizator incasari");
    QStringList years;
    try {
        years = collectionYearsOffered(m_db);
    } catch (const VestroniaError &e) {
        mesaj(title, e.message(), MesajButtons::OK, MesajKind::Eroare);
        return {};
    }
    yearPicker().setYears(years);
    if (!yearPicker().run(title))
        return {};
    const int year = yearPicker().year().toInt();
    return run(title, [&] { return collectionsByYearReport(m_db, m_session.tempFolder, year, Contor::instance()); });
}

QString ReportActions::accountStatement(qint64 idab)
{
    const QString title = QStringLiteral("Fisa abonatului");
    QString name;
    try {
        name = m_db.scalar(QStringLiteral("SELECT NUME FROM Abonat WHERE IDAB=?"), {idab}).toString();
    } catch (const VestroniaError &e) {
        mesaj(title, e.message(), MesajButtons::OK, MesajKind::Eroare);
        return {};
    }
    FisaSel picker(m_parent);
    if (!picker.run(name))
        return {};
    const int since = dayNumberOf(picker.date());
    return run(title, [&] {
        return accountStatementReport(m_db, m_session.tempFolder, adminSettings().unitName, idab, since,
                                      Clock::todayDayNumber());
    });
}

} // namespace vestronia
