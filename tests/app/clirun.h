#pragma once
// Runs the built vestronia-cli as a process, the way every command-line test does: with
// its own machine settings folder, so nothing touches the real user's settings.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct CliResult
{
    int exitCode;
    QString out;
    QString err;
};

// exitCode -1 and err "timeout" when the command does not end within timeoutMs.
inline CliResult runCli(const QString &machineFolder, const QStringList &args, int timeoutMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VESTRONIA_MACHINE_DIR"), machineFolder);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VESTRONIA_CLI), args);
    if (!p.waitForFinished(timeoutMs))
        return {-1, {}, QStringLiteral("timeout")};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
