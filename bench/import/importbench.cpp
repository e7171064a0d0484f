// Times the import of a commune of 10,000 households (three members each, one periodic
// account, five years of monthly debits = 600,000 debits) from a ".rg3" backup: unpacking
// and checks, then each phase of the import as the progress reports it.
// Usage: bench_import [households]

#include "backup/archive.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "import/agriculturalbackup.h"
#include "import/householdimport.h"
#include "registergenerator.h"
#include "store/database.h"
#include "store/dbftable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace vestronia;
using vestronia::bench::writeRegister;

namespace {

// Records when each phase starts and how many steps it made, so the figures show the bar
// moving through the whole import.
class TimingProgress final : public Progress
{
public:
    explicit TimingProgress(QElapsedTimer &clock) : m_clock(clock) {}
    void setText(const QString &text) override { m_text = text; }
    void setTotal(int total) override { m_total = total; }
    void start() override
    {
        m_started = m_clock.nsecsElapsed();
        m_steps = 0;
    }
    void step() override { ++m_steps; }
    void finish() override
    {
        if (m_started < 0)
            return;
        std::printf("  %-28s %8d/%-8d steps %8.3f s\n", m_text.toUtf8().constData(), m_steps, m_total,
                    double(m_clock.nsecsElapsed() - m_started) / 1e9);
        m_started = -1;
    }

private:
    QElapsedTimer &m_clock;
    QString m_text;
    int m_total = 0;
    int m_steps = 0;
    qint64 m_started = -1;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int households = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 10000;
    const QDate today(2026, 12, 9);
    Clock::setToday(today);

    QTemporaryDir dir;
    Session session;
    session.programFolder = dir.path();
    session.localDataFolder = dir.path() + QStringLiteral("/Data");
    session.dataFolder = session.localDataFolder;
    session.tempFolder = dir.path() + QStringLiteral("/Temp");
    session.machineFolder = dir.path() + QStringLiteral("/Machine");
    session.userLabel = QStringLiteral("BENCH - import");
    QDir().mkpath(session.dataFolder);
    QDir().mkpath(session.tempFolder);
    for (const TableDef &t : tableCatalogue())
        createTable(session.dataFolder + QLatin1Char('/') + QLatin1String(t.fileName), t.columns);

    QElapsedTimer clock;
    clock.start();
    writeRegister(dir.path() + QStringLiteral("/ra"), households, today.year());
    NullProgress quiet;
    const QString archive = dir.path() + QStringLiteral("/register.rg3");
    writeArchive(dir.path() + QStringLiteral("/ra"), archive, quiet);
    std::printf("generated %d households and the backup in %.2f s\n", households, double(clock.elapsed()) / 1000);

    Database db(session.dataFolder);
    db.exec(QStringLiteral("INSERT INTO DefCont (IDCON, DENUM, RATA, PEPERS, PERLUNI, ZIUAIMP, PENAL, PENALPE, PENALDELA, "
                           "PENALDELAP, MAXSOLD, DATASTART, DATASTOP) VALUES (1, 'SALUBRIZARE', 7.5, '-', 1, 1, 0.1, "
                           "'luna', 30, 'ziua', '-', ?, 0)"),
            {dayNumberOf(QDate(2020, 1, 1))});

    TimingProgress progress(clock);
    clock.restart();
    const AgriculturalBackup backup(session, archive, progress);
    const ImportResult r = importHouseholds(db, session, backup, dayNumberOf(QDate(2022, 1, 1)), progress);
    const double total = double(clock.nsecsElapsed()) / 1e9;
    std::printf("import: %d households, %d subscribers, %d subscriptions, %lld debits in %.2f s (target: under 10 s)\n",
                r.households, r.subscribers, r.subscriptions, static_cast<long long>(r.debits), total);
    return 0;
}
