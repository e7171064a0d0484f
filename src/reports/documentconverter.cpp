// Spreadsheet to PDF through LibreOffice: a warm instance driven by a python3-uno helper
// over a private pipe when the bridge is installed, else one soffice --convert-to per
// document. Limits: one conversion at a time (a request made while one runs is refused
// with a message); paths with tab or line breaks go the cold way.

#include "reports/documentconverter.h"

#include "core/progress.h"
#include "core/session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace vestronia {

namespace {

// The helper: connects to the instance, then converts one "PDF\t<in>\t<out>" line at a
// time, answering "OK" or "ERR <reason>". The PDF is written under a passing name and
// renamed, so a half-written file never carries the final name. End of input ends the
// instance.
const char *const HelperScript = R"PY(
import os, sys, time
try:
    import uno
    from com.sun.star.beans import PropertyValue
except Exception:
    print("NOUNO", flush=True)
    sys.exit(3)

def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p

pipe, deadline = sys.argv[1], time.time() + float(sys.argv[2])
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
ctx = None
while ctx is None:
    try:
        ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
    except Exception:
        if time.time() > deadline:
            print("ERR LibreOffice nu raspunde", flush=True)
            sys.exit(4)
        time.sleep(0.1)
desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
print("READY", flush=True)
for line in sys.stdin:
    parts = line.rstrip("\n").split("\t")
    if len(parts) != 3 or parts[0] != "PDF":
        print("ERR cerere necunoscuta", flush=True)
        continue
    source, target = parts[1], parts[2]
    doc = None
    try:
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(source), "_blank", 0,
                                           (prop("Hidden", True), prop("ReadOnly", True)))
        if doc is None:
            raise RuntimeError("documentul nu se deschide")
        passing = target + ".part"
        doc.storeToURL(uno.systemPathToFileUrl(passing), (prop("FilterName", "calc_pdf_Export"),))
        os.replace(passing, target)
        print("OK", flush=True)
    except Exception as e:
        print("ERR " + str(e).replace("\n", " ")[:300], flush=True)
    finally:
        if doc is not None:
            try:
                doc.close(True)
            except Exception:
                pass
try:
    desktop.terminate()
except Exception:
    pass
)PY";

// A python that has the UNO bridge: LibreOffice's own when it ships one, else the system's.
QStringList pythonCandidates(const QString &soffice)
{
    QStringList out;
    const QString own = QFileInfo(QFileInfo(soffice).canonicalFilePath()).absolutePath() + QStringLiteral("/python");
    if (QFileInfo(own).isExecutable())
        out << own;
    if (QFileInfo(QStringLiteral("/usr/bin/python3")).isExecutable())
        out << QStringLiteral("/usr/bin/python3");
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (!onPath.isEmpty() && !out.contains(onPath))
        out << onPath;
    return out;
}

QString pdfPathOf(const QFileInfo &info)
{
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".pdf");
}

void endProcess(QProcess &p, int graceMs)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.closeWriteChannel();
    if (!p.waitForFinished(graceMs)) {
        p.terminate();
        if (!p.waitForFinished(2000)) {
            p.kill();
            p.waitForFinished(2000);
        }
    }
}

// Waits for one line of the helper, the progress moving (a window's progress lets its
// events run); false when the time runs out or the helper ends.
bool waitLine(QProcess &p, QByteArray &line, const QElapsedTimer &timer, int timeoutMs, Progress &progress)
{
    while (!p.canReadLine()) {
        if (p.state() == QProcess::NotRunning || timer.elapsed() > timeoutMs)
            return false;
        p.waitForReadyRead(50);
        progress.step();
    }
    line = p.readLine().trimmed();
    return true;
}

void stopAtExit()
{
    DocumentConverter::instance().stop();
}

} // namespace

// The instance kept running, its helper and the profile they hold.
struct DocumentConverter::Warm
{
    QProcess office;
    QProcess helper;
    QString profile;
    std::unique_ptr<QLockFile> lock;
    std::unique_ptr<QTemporaryDir> privateProfile;
    bool ready = false;
    QElapsedTimer started;
};

QString libreOfficeProgram()
{
    QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        soffice = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    return soffice;
}

QString documentProfileFolder(const Session &session)
{
    const QString home = session.programFolder.isEmpty() ? session.tempFolder : session.programFolder;
    return (home.isEmpty() ? QDir::tempPath() : home) + QStringLiteral("/LOProfil");
}

DocumentConverter::DocumentConverter() = default;

DocumentConverter::~DocumentConverter()
{
    stop();
}

DocumentConverter &DocumentConverter::instance()
{
    static DocumentConverter converter;
    static const bool hooked = [] {
        qAddPostRoutine(stopAtExit);
        return true;
    }();
    Q_UNUSED(hooked);
    return converter;
}

bool DocumentConverter::isRunning() const
{
    return m_warm && m_warm->office.state() != QProcess::NotRunning && m_warm->helper.state() != QProcess::NotRunning;
}

void DocumentConverter::stop()
{
    if (!m_warm)
        return;
    // End of input: the helper ends the instance itself; whatever stays is ended here.
    endProcess(m_warm->helper, 5000);
    endProcess(m_warm->office, 5000);
    m_warm.reset();
}

void DocumentConverter::warmUp(const QString &profileFolder)
{
    if (isRunning() || m_warmUnavailable)
        return;
    stop();
    const QString soffice = libreOfficeProgram();
    if (soffice.isEmpty())
        return;
    QStringList pythons = pythonCandidates(soffice);
    if (pythons.isEmpty()) {
        m_warmUnavailable = true;
        return;
    }
    auto warm = std::make_unique<Warm>();
    // Another run of the program on this machine may hold the installation's profile:
    // then this run uses a profile of its own for as long as it lasts.
    QDir().mkpath(profileFolder);
    warm->lock = std::make_unique<QLockFile>(profileFolder + QStringLiteral(".lock"));
    warm->lock->setStaleLockTime(0);
    if (warm->lock->tryLock(0)) {
        warm->profile = profileFolder;
        // Only this run uses the profile now; a lock a killed LibreOffice left would make
        // it refuse the profile.
        QFile::remove(profileFolder + QStringLiteral("/.lock"));
    } else {
        warm->lock.reset();
        warm->privateProfile = std::make_unique<QTemporaryDir>();
        if (!warm->privateProfile->isValid())
            return;
        warm->profile = warm->privateProfile->path();
    }
    static int serial = 0;
    const QString pipe = QStringLiteral("vestronia_%1_%2").arg(QCoreApplication::applicationPid()).arg(++serial);
    warm->office.setProcessChannelMode(QProcess::MergedChannels);
    warm->office.setStandardOutputFile(QProcess::nullDevice());
    warm->office.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--invisible"), QStringLiteral("--norestore"),
                                 QStringLiteral("--nologo"), QStringLiteral("--nodefault"), QStringLiteral("--nolockcheck"),
                                 QStringLiteral("-env:UserInstallation=") +
                                     QUrl::fromLocalFile(QFileInfo(warm->profile).absoluteFilePath()).toString(),
                                 QStringLiteral("--accept=pipe,name=") + pipe + QStringLiteral(";urp;StarOffice.ComponentContext")});
    if (!warm->office.waitForStarted(10000))
        return;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    warm->helper.setProcessEnvironment(env);
    warm->helper.setReadChannel(QProcess::StandardOutput);
    warm->helper.start(pythons.first(), {QStringLiteral("-c"), QString::fromUtf8(HelperScript), pipe,
                                         QString::number(TimeoutMs / 1000)});
    if (!warm->helper.waitForStarted(10000)) {
        endProcess(warm->office, 0);
        m_warmUnavailable = true;
        return;
    }
    warm->started.start();
    m_warm = std::move(warm);
}

PdfConversion DocumentConverter::toPdf(const QString &workbookPath, const QString &profileFolder, Progress &progress,
                                       int timeoutMs)
{
    PdfConversion out;
    QElapsedTimer timer;
    timer.start();
    if (libreOfficeProgram().isEmpty()) {
        out.libreOfficeMissing = true;
        out.error = QStringLiteral("LibreOffice nu este instalat: documentul se deschide ca foaie de calcul.");
        return out;
    }
    const QFileInfo info(workbookPath);
    if (!info.isFile()) {
        out.error = QStringLiteral("Documentul ") + QDir::toNativeSeparators(workbookPath) + QStringLiteral(" nu exista.");
        return out;
    }
    if (m_busy) {
        out.error = QStringLiteral("Un alt document PDF este in lucru: documentul se deschide ca foaie de calcul.");
        return out;
    }
    m_busy = true;
    const QString pdf = pdfPathOf(info);
    QFile::remove(pdf);
    ProgressScope scope(progress, QStringLiteral("Creez documentul PDF..."), timeoutMs / 50 + 1);

    const bool plainPath = !info.absoluteFilePath().contains(QLatin1Char('\t')) && !info.absoluteFilePath().contains(QLatin1Char('\n'));
    if (plainPath)
        warmUp(profileFolder);
    if (plainPath && m_warm) {
        QByteArray line;
        bool ok = true;
        if (!m_warm->ready) {
            // Starting LibreOffice counts against this conversion's time.
            ok = waitLine(m_warm->helper, line, timer, timeoutMs, progress) && line == "READY";
            if (line == "NOUNO")
                m_warmUnavailable = true;
            m_warm->ready = ok;
        }
        if (ok) {
            m_warm->helper.write("PDF\t" + info.absoluteFilePath().toUtf8() + '\t' + pdf.toUtf8() + '\n');
            ok = waitLine(m_warm->helper, line, timer, timeoutMs, progress);
            if (ok && line == "OK" && QFileInfo(pdf).size() > 0) {
                out.pdfPath = pdf;
                out.warm = true;
            } else if (ok) {
                out.error = QStringLiteral("LibreOffice nu a putut crea documentul PDF: ") +
                            QString::fromUtf8(line.startsWith("ERR ") ? line.mid(4) : line);
            }
        }
        if (!ok) {
            // Hung, ended or without the bridge: the instance goes; a hang is reported,
            // a helper that could not work leaves the job to the one-off conversion.
            const bool hung = timer.elapsed() > timeoutMs;
            stop();
            if (hung) {
                out.error = QStringLiteral("LibreOffice nu a terminat documentul PDF in %1 secunde.").arg(timeoutMs / 1000);
                out.elapsedMs = timer.elapsed();
                m_busy = false;
                return out;
            }
            m_warmUnavailable = true;
        }
        if (ok) {
            out.elapsedMs = timer.elapsed();
            m_busy = false;
            return out;
        }
    }

    // One LibreOffice for this document.
    std::unique_ptr<QTemporaryDir> privateProfile;
    QString profile = profileFolder;
    QLockFile lock(profileFolder + QStringLiteral(".lock"));
    QDir().mkpath(profileFolder);
    if (lock.tryLock(0)) {
        QFile::remove(profileFolder + QStringLiteral("/.lock"));
    } else {
        privateProfile = std::make_unique<QTemporaryDir>();
        profile = privateProfile->path();
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(libreOfficeProgram(),
            {QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nolockcheck"),
             QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(QFileInfo(profile).absoluteFilePath()).toString(),
             QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"), info.absolutePath(),
             info.absoluteFilePath()});
    if (!p.waitForStarted(10000)) {
        out.error = QStringLiteral("LibreOffice nu a putut fi pornit.");
    } else {
        while (p.state() != QProcess::NotRunning) {
            if (p.waitForFinished(50))
                break;
            progress.step();
            p.readAll(); // a full pipe must never stall it
            if (timer.elapsed() > timeoutMs) {
                p.kill();
                p.waitForFinished(5000);
                out.error = QStringLiteral("LibreOffice nu a terminat documentul PDF in %1 secunde.").arg(timeoutMs / 1000);
                break;
            }
        }
        if (out.error.isEmpty()) {
            if (QFileInfo(pdf).isFile() && QFileInfo(pdf).size() > 0)
                out.pdfPath = pdf;
            else
                out.error = QStringLiteral("LibreOffice nu a putut crea documentul PDF.");
        }
    }
    out.elapsedMs = timer.elapsed();
    m_busy = false;
    return out;
}

} // namespace vestronia
