// Penalty re-dating on the large commune: the clerk's command (one UPDATE computing each
// start through an SQL function) against the former loop of one UPDATE ... WHERE IDDEB=?
// per debit, one plain UPDATE over the same rows, and one UPDATE of every debit. Each step
// runs in its own child process, so its peak memory is its own.
// Usage: bench_store_redate [--subscribers N] [--keep DIR] (build in Release)

#include "commune.h"

#include "collections/penaltymaintenance.h"
#include "core/error.h"
#include "core/progress.h"
#include "ledger/debitrules.h"
#include "store/database.h"

#include "benchclock.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vestronia;

using vestronia::bench::cpuMs;

namespace {

// Runs `work` in a child process and prints its wall and CPU time and peak memory.
bool step(const char *what, const std::function<qint64()> &work)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        int rc = 0;
        try {
            const double cpu0 = cpuMs();
            QElapsedTimer t;
            t.start();
            const qint64 rows = work();
            const double wall = double(t.nsecsElapsed()) / 1e9;
            struct rusage u;
            getrusage(RUSAGE_SELF, &u);
            std::printf("%-52s %8lld rows %8.2f s wall %8.2f s CPU %6ld MB peak\n", what, static_cast<long long>(rows), wall,
                        (cpuMs() - cpu0) / 1e3, u.ru_maxrss / 1024);
        } catch (const VestroniaError &e) {
            std::printf("%s: %s\n", what, qPrintable(e.message()));
            rc = 1;
        }
        std::fflush(stdout);
        _exit(rc);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A fresh copy of the commune for each step, so every step changes the same rows.
void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(it.filePath());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else if (!QFile::copy(it.filePath(), target))
            throw VestroniaError(QStringLiteral("copy failed: ") + it.filePath());
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::CommuneOptions o;
    o.subscribers = 1000;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--subscribers"))
            o.subscribers = args.value(++i).toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args.value(++i);
    }
    QTemporaryDir temp;
    const QString home = keep.isEmpty() ? temp.path() : keep;
    try {
        const bool reuse = !keep.isEmpty() && QDir(home).exists(QStringLiteral("Data"));
        if (!reuse) {
            NullProgress quiet;
            QElapsedTimer t;
            t.start();
            const bench::CommuneStats s = bench::generateCommune(home, o, quiet);
            std::printf("commune: %d subscribers, %lld debits written in %.1f s\n", s.subscribers, s.debits,
                        double(t.nsecsElapsed()) / 1e9);
        }
        QTemporaryDir scratch;
        const QString copy = scratch.filePath(QStringLiteral("step"));
        auto fresh = [&] {
            QDir(copy).removeRecursively();
            copyTree(home, copy);
            return bench::communeSession(copy);
        };
        Session session = fresh();
        bool ok = step("redatePenaltyStarts (one UPDATE, SQL function)", [&] {
            Database db(session.dataFolder);
            NullProgress quiet;
            return redatePenaltyStarts(db, session, quiet);
        });
        session = fresh();
        ok = step("former loop: one UPDATE ... WHERE IDDEB=? each", [&] {
            Database db(session.dataFolder);
            Transaction tx(db);
            const ResultSet rows = db.select(QStringLiteral("SELECT IDDEB, DATADEB FROM Debite WHERE IDCON>0"));
            Statement update = db.prepare(QStringLiteral("UPDATE Debite SET PENALDATA=?, PENALPE='luna' WHERE IDDEB=?"));
            for (int i = 0; i < rows.rowCount(); ++i)
                update.exec({addMonthsToDay(int(rows.integer(i, QStringLiteral("DATADEB"))), 1),
                             rows.integer(i, QStringLiteral("IDDEB"))});
            tx.commit();
            return qint64(rows.rowCount());
        }) && ok;
        session = fresh();
        ok = step("one UPDATE over the same rows", [&] {
            Database db(session.dataFolder);
            return db.exec(QStringLiteral("UPDATE Debite SET PENALDATA=DATADEB+31, PENALPE='luna' WHERE IDCON>0"));
        }) && ok;
        session = fresh();
        ok = step("UPDATE Debite SET PENALDATA=PENALDATA+1", [&] {
            Database db(session.dataFolder);
            return db.exec(QStringLiteral("UPDATE Debite SET PENALDATA=PENALDATA+1"));
        }) && ok;
        return ok ? 0 : 1;
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
}
