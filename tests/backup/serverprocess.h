#pragma once
// Starts vestronia-server for a test on free ports (the server picks them and writes
// them to a file) and always stops it. The binary is $VESTRONIA_SERVER, else looked for
// in the build tree above the test program.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

class ServerProcess
{
public:
    static QString binary()
    {
        const QString env = qEnvironmentVariable("VESTRONIA_SERVER");
        if (!env.isEmpty())
            return env;
        QDir dir(QCoreApplication::applicationDirPath());
        for (int up = 0; up < 5; ++up) {
            const QString candidate = dir.filePath(QStringLiteral("tools/server/vestronia-server"));
            if (QFileInfo(candidate).isExecutable())
                return candidate;
            if (!dir.cdUp())
                break;
        }
        return {};
    }

    ~ServerProcess() { stop(); }

    // Starts on dataDir; false when the binary is missing or the server did not come up.
    bool start(const QString &dataDir, const QStringList &extra = {})
    {
        const QString exe = binary();
        if (exe.isEmpty())
            return false;
        m_dataDir = dataDir;
        const QString portFile = dataDir + QStringLiteral("/ports.txt");
        QFile::remove(portFile);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(exe, QStringList{QStringLiteral("--data"), dataDir, QStringLiteral("--listen"),
                                         QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QStringLiteral("0"),
                                         QStringLiteral("--http-port"), QStringLiteral("0"), QStringLiteral("--port-file"),
                                         portFile, QStringLiteral("--hash"), QStringLiteral("min")}
                                 + extra);
        if (!m_process.waitForStarted(10000))
            return false;
        // A loaded machine (the sanitizer build beside other tests) can take seconds to start it.
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(portFile) && waited.elapsed() < 30000
               && m_process.state() == QProcess::Running)
            QThread::msleep(25);
        QFile f(portFile);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> ports = f.readAll().trimmed().split(' ');
        if (ports.size() != 2)
            return false;
        backupPort = quint16(ports[0].toUInt());
        httpPort = quint16(ports[1].toUInt());
        return backupPort != 0 && httpPort != 0;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Runs the server's own administration command on the same data folder.
    int admin(const QStringList &args, QString *output = nullptr)
    {
        QProcess p;
        p.start(binary(), QStringList{QStringLiteral("--data"), m_dataDir, QStringLiteral("--hash"), QStringLiteral("min")} + args);
        p.waitForFinished(10000);
        if (output)
            *output = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    }

    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }

    // Resident memory of the server process in KiB (Linux), 0 when unknown.
    qint64 residentKiB() const
    {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid()));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        return 0;
    }

    // How many mails the outbox holds.
    int mailCount() const
    {
        return int(QDir(m_dataDir + QStringLiteral("/outbox")).entryList({QStringLiteral("*.eml")}, QDir::Files).size());
    }

    // The newest mail of the outbox.
    QString lastMail() const
    {
        QDir outbox(m_dataDir + QStringLiteral("/outbox"));
        const QStringList mails = outbox.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
        if (mails.isEmpty())
            return {};
        QFile f(outbox.filePath(mails.last()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    quint16 backupPort = 0;
    quint16 httpPort = 0;

private:
    QProcess m_process;
    QString m_dataDir;
};
