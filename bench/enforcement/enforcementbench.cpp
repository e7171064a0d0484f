// Times "Urmariri in masa" on a generated commune: 10,000 subscribers with years of
// monthly debits, of whom about 3,000 still owe (the others' debits are marked paid),
// one notice each with its letter in one file. Also times printing one letter.
// Usage: bench_enforcement [--subscribers N] [--years Y] [--keep DIR]   (Release build)

#include "commune.h"

#include "core/clock.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "enforcement/actbatch.h"
#include "enforcement/acts.h"
#include "enforcement/letters.h"
#include "store/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace vestronia;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::CommuneOptions o;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--subscribers"))
            o.subscribers = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--years"))
            o.years = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args[i + 1];
    }
    QTemporaryDir tmp;
    const QString home = keep.isEmpty() ? tmp.path() : keep;
    try {
        TerminalProgress progress;
        QElapsedTimer t;
        if (!QFileInfo::exists(home + QStringLiteral("/Data/Abonat.dbf"))) {
            QDir().mkpath(home);
            t.start();
            const bench::CommuneStats s = bench::generateCommune(home, o, progress);
            std::printf("commune: %d subscribers, %lld debits, generated in %.1f s\n", s.subscribers,
                        static_cast<long long>(s.debits), double(t.elapsed()) / 1000.0);
        }
        Clock::setToday(o.today);
        const Session session = bench::communeSession(home);
        QFile::copy(QStringLiteral(VESTRONIA_SOURCE_DIR "/resources/letters/Instiintare.rtf"),
                    session.dataFolder + QStringLiteral("/Instiintare.rtf"));
        Database db(session.dataFolder);
        // Seven in ten households have paid everything: about 3,000 debtors remain.
        db.exec(QStringLiteral("UPDATE Debite SET SOLD=0 WHERE IDAB % 10 < 7"));
        db.exec(QStringLiteral("DELETE FROM Urmarire"));
        const qint64 debtors = db.scalar(QStringLiteral("SELECT COUNT(DISTINCT D.IDAB) FROM Debite D JOIN Abonat A ON A.IDAB=D.IDAB "
                                                        "WHERE D.SOLD>0 AND (A.DATAOUT IS NULL OR A.DATAOUT<1000)"))
                                   .toLongLong();
        const LetterUnit unit{QStringLiteral("ALBA"), QStringLiteral("Primaria Vestronia"), QStringLiteral("Vestronia")};
        const QString out = session.tempFolder + QStringLiteral("/batch.rtf");
        QDir().mkpath(session.tempFolder);

        t.start();
        const ActBatchOutcome r = runActBatch(db, session, {actNoticeType(), o.today, Money(), {}}, unit, progress, out);
        const double batchMs = double(t.nsecsElapsed()) / 1e6;
        if (r.refusal) {
            std::fprintf(stderr, "refused: %s\n", qPrintable(r.refusal->message));
            return 1;
        }
        std::printf("batch: %d acts (about %lld debtors), numbers %lld-%lld, letter file %.1f MB, %.0f ms (target < 10000 ms)\n",
                    r.acts, static_cast<long long>(debtors), static_cast<long long>(r.firstNumber),
                    static_cast<long long>(r.lastNumber), double(QFileInfo(out).size()) / 1e6, batchMs);

        const qint64 idurm = db.scalar(QStringLiteral("SELECT MIN(IDURM) FROM Urmarire")).toLongLong();
        t.start();
        writeActLetter(db, session, idurm, unit, session.tempFolder + QStringLiteral("/one.rtf"));
        std::printf("one letter: %.1f ms\n", double(t.nsecsElapsed()) / 1e6);
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
