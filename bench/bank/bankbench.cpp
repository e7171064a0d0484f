// Times a statement of 5,000 transfers against the large commune (10,000 subscribers, ten
// years of debits): reading the camt.053 file, matching every transfer (by code, contract
// and name), recording the matched ones in one transaction, and planning the same file
// again (everything already recorded).
// Usage: bench_bank [--transfers N] [--keep DIR]   (build in Release; DIR keeps the commune)

#include "commune.h"

#include "bank/bankimport.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "store/database.h"

#include "benchclock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>


using namespace vestronia;

using vestronia::bench::cpuMs;

namespace {

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Processor time of this process (user + system) in milliseconds: on a shared machine the
// wall clock also counts the time other processes held the processors.

QString xmlText(QString t)
{
    return t.replace(QLatin1Char('&'), QLatin1String("&amp;")).replace(QLatin1Char('<'), QLatin1String("&lt;"));
}

// A statement of n credits for n different subscribers, a quarter of each kind: the
// personal code in the text, a contract number, the payer's name only, and a firm's
// contract; amounts 20 to 219 lei.
QByteArray statementFor(const ResultSet &subscribers, int n, const QDate &day, qint64 run)
{
    QString x = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt>"
                               "<GrpHdr><MsgId>BENCH</MsgId></GrpHdr><Stmt><Id>BENCH-%1</Id><ElctrncSeqNb>1</ElctrncSeqNb>"
                               "<Acct><Id><IBAN>RO49AAAA1B31007593840000</IBAN></Id><Ccy>RON</Ccy></Acct>\n")
                    .arg(day.toString(QStringLiteral("yyyyMMdd")));
    const QString date = day.toString(Qt::ISODate);
    for (int i = 0; i < n && i < subscribers.rowCount(); ++i) {
        const int row = int((qint64(i) * 7919) % subscribers.rowCount()); // spread over the register
        const QString name = subscribers.text(row, QStringLiteral("NUME"));
        const QString code = subscribers.text(row, QStringLiteral("CNP"));
        const QString contract = subscribers.text(row, QStringLiteral("NRCON"));
        QString payer = name, text;
        switch (i % 4) {
        case 0:
            text = code.isEmpty() ? QStringLiteral("CONTRACT NR. ") + contract : QStringLiteral("SALUBRIZARE CNP ") + code;
            payer = QStringLiteral("PLATITOR ") + QString::number(i);
            break;
        case 1:
        case 3:
            text = QStringLiteral("TAXA GUNOI CONTRACT NR. ") + contract;
            break;
        default:
            text = QStringLiteral("TAXA SALUBRIZARE");
            break;
        }
        x += QStringLiteral("<Ntry><Amt Ccy=\"RON\">%1.00</Amt><CdtDbtInd>CRDT</CdtDbtInd><Sts>BOOK</Sts>"
                            "<BookgDt><Dt>%2</Dt></BookgDt><AcctSvcrRef>B%7-%3</AcctSvcrRef><NtryDtls><TxDtls>"
                            "<RltdPties><Dbtr><Nm>%4</Nm></Dbtr></RltdPties><RmtInf><Ustrd>%5</Ustrd></RmtInf>"
                            "</TxDtls></NtryDtls></Ntry>\n")
                 .arg(20 + i % 200)
                 .arg(date)
                 .arg(i)
                 .arg(xmlText(payer), xmlText(text))
                 .arg(run);
    }
    x += QStringLiteral("</Stmt></BkToCstmrStmt></Document>\n");
    return x.toUtf8();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::CommuneOptions o;
    int transfers = 5000;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--transfers"))
            transfers = args.value(++i).toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args.value(++i);
    }
    QTemporaryDir temp;
    const QString home = keep.isEmpty() ? temp.path() : keep;
    try {
        TerminalProgress progress;
        QElapsedTimer t;
        if (!QFileInfo::exists(home + QStringLiteral("/Data/Abonat.dbf"))) {
            t.start();
            const bench::CommuneStats s = bench::generateCommune(home, o, progress);
            std::printf("commune: %d subscribers, %lld debits written in %.1f s\n", s.subscribers, s.debits, ms(t) / 1000.0);
        }
        Clock::setToday(o.today);
        const Session session = bench::communeSession(home);
        Database db(session.dataFolder);
        const ResultSet subscribers = db.select(QStringLiteral("SELECT IDAB, NUME, CNP, NRCON FROM Abonat ORDER BY IDAB"));
        const QString file = home + QStringLiteral("/extras-bench.xml");
        {
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly) || f.write(statementFor(subscribers, transfers, o.today, QDateTime::currentMSecsSinceEpoch())) < 0)
                throw VestroniaError(QStringLiteral("cannot write ") + file);
        }
        std::printf("statement: %d transfers, %lld bytes\n", transfers, static_cast<long long>(QFileInfo(file).size()));

        QElapsedTimer total;
        total.start();
        const double cpu0 = cpuMs();
        t.start();
        std::vector<BankStatement> statements = readStatementFile(file);
        const double readMs = ms(t), cpu1 = cpuMs();
        t.restart();
        BankImport plan = planBankImport(db, session, std::move(statements));
        const double planMs = ms(t), cpu2 = cpuMs();
        int byReason[5] = {0, 0, 0, 0, 0}, parked = 0;
        for (const BankLine &l : plan.lines) {
            if (l.outcome == BankOutcome::ToRecord)
                ++byReason[int(l.reason)];
            parked += l.outcome == BankOutcome::Parked ? 1 : 0;
        }
        NullProgress quiet;
        t.restart();
        const BankRecordSummary done = recordBankImport(db, session, plan, quiet);
        const double recordMs = ms(t), cpu3 = cpuMs();
        const double totalMs = ms(total);
        std::printf("%-40s %9s %9s\n", "", "wall", "cpu");
        std::printf("%-40s %6.0f ms %6.0f ms\n", "read camt.053", readMs, cpu1 - cpu0);
        std::printf("%-40s %6.0f ms %6.0f ms  (code %d, contract %d, name %d, parked %d)\n", "match against the register", planMs,
                    cpu2 - cpu1, byReason[int(MatchReason::Code)], byReason[int(MatchReason::Contract)],
                    byReason[int(MatchReason::Name)], parked);
        std::printf("%-40s %6.0f ms %6.0f ms  (%d collections, %s lei, %.2f ms cpu each)\n", "record in one transaction",
                    recordMs, cpu3 - cpu2, done.recorded, qPrintable(done.sum.toFixed(2)),
                    (cpu3 - cpu2) / std::max(1, done.recorded));
        std::printf("%-40s %6.0f ms %6.0f ms  %s\n", "read + match + record", totalMs, cpu3 - cpu0,
                    cpu3 - cpu0 < 10000 ? "(under 10 s of processor time)" : "(OVER 10 s of processor time)");

        t.restart();
        BankImport again = planBankImport(db, session, readStatementFile(file));
        int known = 0;
        for (const BankLine &l : again.lines)
            known += l.outcome == BankOutcome::AlreadyRecorded ? 1 : 0;
        std::printf("%-48s %9.0f ms  (%d already recorded)\n", "same file again: read + match", ms(t), known);
        if (known != done.recorded)
            throw VestroniaError(QStringLiteral("a recorded transfer was not recognised"));
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
