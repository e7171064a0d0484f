// Pictures of the enforcement windows for review: the follow-up list of a subscriber
// with a few acts, the entry window while adding, and the batch window after a run.
// Usage: enforcement_screenshots OUTDIR   (run under a display, e.g. xvfb-run -a)
// Also writes OUTDIR/notice.rtf and OUTDIR/summons.rtf, the letters of two acts.

#include "core/clock.h"
#include "core/counters.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/progress.h"
#include "core/session.h"
#include "core/tablecatalogue.h"
#include "collections/balance.h"
#include "enforcement/acts.h"
#include "enforcement/letters.h"
#include "startup/adminsettings.h"
#include "store/database.h"
#include "store/dbftable.h"
#include "ui/enforcement/actbatchwindow.h"
#include "ui/enforcement/addexecf.h"
#include "ui/enforcement/urmariref.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace vestronia;

namespace {

bool save(QWidget *w, const QString &path)
{
    w->show();
    w->raise();
    QTest::qWait(300);
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

int day(int y, int m, int d)
{
    return dayNumberOf(QDate(y, m, d));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = app.arguments().value(1);
    if (out.isEmpty()) {
        std::fprintf(stderr, "Folosire: enforcement_screenshots OUTDIR\n");
        return 2;
    }
    QDir().mkpath(out);
    QTemporaryDir home;
    Session session;
    session.programFolder = home.path();
    session.localDataFolder = home.path() + QStringLiteral("/Data");
    session.dataFolder = session.localDataFolder;
    session.tempFolder = home.path() + QStringLiteral("/Temp");
    session.machineFolder = home.path() + QStringLiteral("/Machine");
    session.userLabel = QStringLiteral("GHISEU1 - ana");
    Clock::setToday(QDate(2024, 11, 29));
    QDir().mkpath(session.dataFolder);
    QDir().mkpath(session.tempFolder);
    try {
        for (const TableDef &t : tableCatalogue())
            createTable(session.dataFolder + QLatin1Char('/') + QLatin1String(t.fileName), t.columns);
        for (const QString &name : {QStringLiteral("Instiintare.rtf"), QStringLiteral("SomTit.rtf")}) {
            QFile::copy(QStringLiteral(VESTRONIA_SOURCE_DIR "/resources/letters/") + name, session.dataFolder + QLatin1Char('/') + name);
            QFile::setPermissions(session.dataFolder + QLatin1Char('/') + name, QFile::ReadOwner | QFile::WriteOwner);
        }
        adminSettings().unitName = QStringLiteral("Primaria Comunei Vestronia");
        adminSettings().locality = QStringLiteral("Vestronia");
        adminSettings().county = 7;
        Database db(session.dataFolder);
        const QStringList names = {QStringLiteral("\u015eTEFANESCU ION"), QStringLiteral("POPA MARIA"), QStringLiteral("RADU VASILE"),
                                   QStringLiteral("SC AGRO {NORD} SRL"), QStringLiteral("ILIE ANA")};
        for (int i = 0; i < names.size(); ++i) {
            db.exec(QStringLiteral("INSERT INTO Abonat (IDAB, NUME, TIPPF, LOC, STRADA, NR, CNP, NRCON, DATACON, DATAIN, NRPERS) "
                                   "VALUES (?, ?, 'F', ?, 'Morii', ?, '1800101123456', ?, ?, ?, 3)"),
                    {i + 1, names[i], i % 2 ? QStringLiteral("DEAL") : QStringLiteral("VESTRONIA"), QString::number(10 + i),
                     QStringLiteral("C-%1").arg(100 + i), day(2021, 3, 4), day(2020, 1, 1)});
            for (int m = 0; m < 4 + i; ++m)
                db.exec(QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                                       "PENALPE, PENALDATA, MAXSOLD) VALUES (?, 0, ?, 0, ?, ?, 'Salubrizare', 25.5, 25.5, 0.1, 'zi', ?, '-')"),
                        {(i + 1) * 100 + m, i + 1, day(2024, 1 + m, 5), 202401 + m, day(2024, 2 + m, 5)});
        }
        const ActAmounts owed = ActAmounts::fromTotals(balanceOf(db, 1, Clock::todayDayNumber()));
        addAct(db, session, 1, {actNoticeType(), QStringLiteral("112"), QDate(2024, 6, 3)}, owed);
        addAct(db, session, 1, {actNoticeType(), QStringLiteral("157"), QDate(2024, 9, 2)}, owed);
        const ActAdded summons = addAct(db, session, 1, {actSummonsType(), QStringLiteral("41"), QDate(2024, 11, 20)}, owed);
        writeActLetter(db, session, 1, {countyNames().value(7), adminSettings().unitName, adminSettings().locality},
                       out + QStringLiteral("/notice.rtf"));
        writeActLetter(db, session, summons.idurm, {countyNames().value(7), adminSettings().unitName, adminSettings().locality},
                       out + QStringLiteral("/summons.rtf"));

        UrmarireF list(db, session);
        list.prepare(1, names[0], owed);
        save(&list, out + QStringLiteral("/urmariref.png"));
        AddExecF *entry = list.entryWindow();
        entry->prepareAdd(names[0], owed);
        save(entry, out + QStringLiteral("/addexecf.png"));
        entry->hide();
        list.hide();

        ActBatchWindow batch(db, session);
        NullProgress progress;
        batch.setProgress(&progress);
        batch.prepare();
        batch.findChild<QLineEdit *>(QStringLiteral("MinTotal"))->setText(QStringLiteral("50"));
        qputenv("VESTRONIA_OPENER", "true");
        batch.findChild<QPushButton *>(QStringLiteral("GenBut"))->click();
        save(&batch, out + QStringLiteral("/urmaririmasa.png"));
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
