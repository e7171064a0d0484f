// Times a county-sized register (50,000 subscribers, ten years of monthly debits, about
// 5.7 million debits): generated once into DIR/register by the commune generator, copied
// afresh to DIR/run for every run, then each step in a child process of its own, so that
// its wall time, CPU time and peak memory (the child's own rusage) are that step's alone.
// A step that outlasts --limit is stopped and reported as such.
// Usage: bench_county DIR [--subscribers N] [--years Y] [--moves N] [--limit SECONDS]

#include "countysteps.h"

#include "core/tablecatalogue.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace vestronia;

namespace {

// The day the generator's register stands on, and the month the monthly run then adds.
const char *const Today = "29.11.2024";
const char *const NextMonth = "29.12.2024";

struct Outcome
{
    double wall = 0;
    double cpu = 0;
    long peakMb = 0;
    int exitCode = -1;
    bool stopped = false;
    QStringList notes;
};

double seconds(const struct timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// What a step answered, in one line: "HEADER = values" for the CSV of a command, else
// the last line it wrote.
QString answer(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = f.readAll().trimmed().split('\n');
    QString text = QString::fromLocal8Bit(lines.last().trimmed());
    if (lines.size() == 2 && lines.first().contains(','))
        text = QString::fromLocal8Bit(lines.first().trimmed()) + QStringLiteral(" = ") + text;
    return text.left(90);
}

class Runner
{
public:
    Runner(QString logs, int limitSeconds) : m_logs(std::move(logs)), m_limit(limitSeconds) {}

    // Runs one step as a child with its output in DIR/logs, waits for it (at most the
    // limit, then stops it) and prints its line of the table.
    Outcome run(const QString &name, const QStringList &command)
    {
        QString file;
        for (const QChar c : name)
            file += c.isLetterOrNumber() ? c : QLatin1Char('-');
        const QString base = m_logs + QLatin1Char('/') + file;
        const QByteArray outPath = QFile::encodeName(base + QStringLiteral(".out"));
        const QByteArray errPath = QFile::encodeName(base + QStringLiteral(".err"));
        std::vector<QByteArray> args;
        for (const QString &a : command)
            args.push_back(QFile::encodeName(a));
        std::vector<char *> argv;
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        Outcome o;
        QElapsedTimer t;
        t.start();
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            o.notes << QStringLiteral("cannot start %1").arg(command.first());
            print(name, o);
            return o;
        }
        int status = 0;
        struct rusage usage = {};
        for (;;) {
            const pid_t done = wait4(pid, &status, WNOHANG, &usage);
            if (done == pid)
                break;
            if (!o.stopped && t.elapsed() > qint64(m_limit) * 1000) {
                kill(pid, SIGKILL);
                o.stopped = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        o.wall = double(t.nsecsElapsed()) / 1e9;
        o.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        o.peakMb = usage.ru_maxrss / 1024;
        o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

        QFile out(QFile::decodeName(outPath));
        if (out.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : out.readAll().split('\n'))
                if (line.startsWith("# "))
                    o.notes << QString::fromLocal8Bit(line.mid(2));
        }
        if (o.stopped)
            o.notes.prepend(QStringLiteral("STOPPED after %1 s, unfinished").arg(m_limit));
        else if (o.exitCode != 0)
            o.notes.prepend(QStringLiteral("exit %1: %2").arg(o.exitCode).arg(answer(QFile::decodeName(errPath))));
        else if (o.notes.isEmpty())
            o.notes << answer(QFile::decodeName(outPath));
        if (o.notes.value(0).isEmpty())
            o.notes = QStringList{answer(QFile::decodeName(errPath))};
        print(name, o);
        return o;
    }

private:
    static void print(const QString &name, const Outcome &o)
    {
        std::printf("%-34s %9.2f %9.2f %8ld  %s\n", qPrintable(name), o.wall, o.cpu, o.peakMb,
                    qPrintable(o.notes.value(0)));
        for (int i = 1; i < o.notes.size(); ++i)
            std::printf("%-34s %9s %9s %8s  %s\n", "", "", "", "", qPrintable(o.notes[i]));
        std::fflush(stdout);
    }

    QString m_logs;
    int m_limit;
};

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().trimmed()) : QStringLiteral("?");
}

// Where the dBase format puts the ceiling: record lengths as the program creates the
// tables, and how many subscriber-years of monthly debits fit under the 2 GiB many
// dBase tools stop at and under the 4 GiB of 32-bit file offsets.
void printCeiling(double debitsPerSubscriberYear)
{
    std::printf("\nRecord length (bytes, deletion flag included) and records under 2 GiB:\n");
    for (const TableDef &t : tableCatalogue()) {
        int length = 1;
        for (const ColumnDef &c : t.columns)
            length += c.length;
        const qint64 header = 32 + 32 * qint64(t.columns.size()) + 1;
        std::printf("  %-14s %5d  %6.1f M\n", t.fileName, length,
                    double((qint64(1) << 31) - 1 - header) / length / 1e6);
    }
    const TableDef &debits = tableDef(TableId::Debite);
    int record = 1;
    for (const ColumnDef &c : debits.columns)
        record += c.length;
    const qint64 header = 32 + 32 * qint64(debits.columns.size()) + 1;
    const double twoGb = double((qint64(1) << 31) - 1 - header) / record;
    const double fourGb = double((qint64(1) << 32) - 1 - header) / record;
    std::printf("Debite.dbf: %.1f M records under 2 GiB, %.1f M under 4 GiB; at %.1f debits per subscriber "
                "and year that is %.0f / %.0f thousand subscriber-years (e.g. %.0f subscribers for 10 years "
                "under 2 GiB)\n",
                twoGb / 1e6, fourGb / 1e6, debitsPerSubscriberYear, twoGb / debitsPerSubscriberYear / 1e3,
                fourGb / debitsPerSubscriberYear / 1e3, twoGb / debitsPerSubscriberYear / 10);
}

int usage()
{
    std::fprintf(stderr, "Usage: bench_county DIR [--subscribers N] [--years Y] [--moves N] [--limit SECONDS]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--step")
        return bench::runStep(argc, argv);
    QCoreApplication app(argc, argv);
    QString dir;
    int subscribers = 50000;
    int years = 10;
    int moves = 200;
    int limit = 900;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--subscribers"))
            subscribers = args.value(++i).toInt();
        else if (a == QLatin1String("--years"))
            years = args.value(++i).toInt();
        else if (a == QLatin1String("--moves"))
            moves = args.value(++i).toInt();
        else if (a == QLatin1String("--limit"))
            limit = args.value(++i).toInt();
        else if (a.startsWith(QLatin1String("--")) || !dir.isEmpty())
            return usage();
        else
            dir = QFileInfo(a).absoluteFilePath();
    }
    if (dir.isEmpty() || subscribers < 2 || years < 1 || moves < 1 || limit < 1)
        return usage();

    const QString self = QCoreApplication::applicationFilePath();
    const QString cli = QStringLiteral(VESTRONIA_CLI_PATH);
    const QString generator = QStringLiteral(COMMUNE_GENERATE_PATH);
    const QString registerHome = dir + QStringLiteral("/register");
    const QString ready = dir + QStringLiteral("/register.ready");
    const QString work = dir + QStringLiteral("/run");
    const QString logs = dir + QStringLiteral("/logs");
    QDir().mkpath(logs);
    Runner runner(logs, limit);
    auto cliOn = [&](const QString &home, const char *today, const QStringList &command) {
        qputenv("VESTRONIA_MACHINE_DIR", QFile::encodeName(home + QStringLiteral("/Machine")));
        return QStringList{cli, QStringLiteral("--home"), home, QStringLiteral("--today"), QLatin1String(today)}
               + command;
    };

    std::printf("County register in %s: %d subscribers, %d years; load average %s\n", qPrintable(dir), subscribers,
                years, qPrintable(loadAverage()));
    std::printf("%-34s %9s %9s %8s  %s\n", "step", "wall s", "CPU s", "peak MB", "note");

    // The register is made once (the generator, then one start-up that sets up the
    // installation and does its first weekly packing) and reused while its marker names
    // the same size.
    const QByteArray wanted = QByteArray::number(subscribers) + ' ' + QByteArray::number(years);
    QFile marker(ready);
    const bool reuse = marker.open(QIODevice::ReadOnly) && marker.readAll().trimmed() == wanted;
    marker.close();
    if (!reuse) {
        QFile::remove(ready);
        QDir(registerHome).removeRecursively();
        const QStringList generate{generator,
                                   registerHome,
                                   QStringLiteral("--subscribers"),
                                   QString::number(subscribers),
                                   QStringLiteral("--years"),
                                   QString::number(years),
                                   QStringLiteral("--today"),
                                   QLatin1String(Today)};
        if (runner.run(QStringLiteral("generate the register (once)"), generate).exitCode != 0)
            return 1;
        // The first start of the week also packs every table.
        const QStringList startup = cliOn(registerHome, Today, {QStringLiteral("startup")});
        if (runner.run(QStringLiteral("first start-up (once, packs)"), startup).exitCode != 0)
            return 1;
        if (!marker.open(QIODevice::WriteOnly) || marker.write(wanted + '\n') < 0 || !marker.flush())
            return 1;
        marker.close();
    }

    // Every run starts from the same register: the steps below write into it.
    QDir(work).removeRecursively();
    std::error_code error;
    std::filesystem::copy(QFile::encodeName(registerHome).toStdString(), QFile::encodeName(work).toStdString(),
                          std::filesystem::copy_options::recursive, error);
    if (error) {
        std::fprintf(stderr, "cannot copy the register to %s: %s\n", qPrintable(work), error.message().c_str());
        return 1;
    }
    // The copy is written out before the first step: a clerk's register lies on the disk,
    // and the first commit would otherwise wait for a gigabyte of the copy to be flushed.
    ::sync();
    const qint64 debitsSize = QFileInfo(work + QStringLiteral("/Data/Debite.dbf")).size();
    std::printf("%-34s %9s %9s %8s  Debite.dbf %.0f MB\n", "(copy of the register)", "", "", "",
                double(debitsSize) / 1e6);

    runner.run(QStringLiteral("start-up, nothing to debit"), cliOn(work, Today, {QStringLiteral("startup")}));
    runner.run(QStringLiteral("balance 1 (cold process)"),
               cliOn(work, Today, {QStringLiteral("balance"), QStringLiteral("1")}));
    qputenv("VESTRONIA_MACHINE_DIR", QFile::encodeName(work + QStringLiteral("/Machine")));
    runner.run(QStringLiteral("Evidenta: open, %1 moves").arg(moves),
               {self, QStringLiteral("--step"), QStringLiteral("evidenta"), work, QString::number(moves)});
    runner.run(QStringLiteral("collect 1 50 (cold process)"),
               cliOn(work, Today, {QStringLiteral("collect"), QStringLiteral("1"), QStringLiteral("50")}));
    runner.run(QStringLiteral("monthly run, a new month"),
               {self, QStringLiteral("--step"), QStringLiteral("monthly"), work, QLatin1String(NextMonth)});
    runner.run(QStringLiteral("yearly balance report (bilant)"),
               cliOn(work, NextMonth,
                     {QStringLiteral("report"), QStringLiteral("bilant"), work + QStringLiteral("/Temp/bilant.xls")}));
    // Last: a re-dating stopped at the limit leaves a hot journal behind.
    runner.run(QStringLiteral("penalty re-dating"), cliOn(work, NextMonth, {QStringLiteral("penalty-redate")}));

    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    const double record = [] {
        int n = 1;
        for (const ColumnDef &c : tableDef(TableId::Debite).columns)
            n += c.length;
        return double(n);
    }();
    const double debitRows = double(debitsSize) / record;
    printCeiling(debitRows / subscribers / years);
    return 0;
}
