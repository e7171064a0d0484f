// Pictures of the "Extras bancar" window for review: a statement on a small commune just
// opened (matched, parked and ignored entries, a parked one being assigned through the
// filter fields), and the same after recording.
// Usage: bank_screenshots OUTDIR   (run under a display, e.g. xvfb-run -a)

#include "commune.h"

#include "bank/bankimport.h"
#include "core/clock.h"
#include "core/error.h"
#include "store/database.h"
#include "ui/bank/extrasbancar.h"
#include "ui/shell/mesaj.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

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

QString entry(int n, const char *amount, const char *direction, const char *currency, const QString &payer, const QString &text)
{
    return QStringLiteral("<Ntry><Amt Ccy=\"%1\">%2</Amt><CdtDbtInd>%3</CdtDbtInd><Sts>BOOK</Sts>"
                          "<BookgDt><Dt>2024-11-28</Dt></BookgDt><AcctSvcrRef>SHOT-%4</AcctSvcrRef><NtryDtls><TxDtls>"
                          "<RltdPties><Dbtr><Nm>%5</Nm></Dbtr></RltdPties><RmtInf><Ustrd>%6</Ustrd></RmtInf>"
                          "</TxDtls></NtryDtls></Ntry>\n")
        .arg(QLatin1String(currency), QLatin1String(amount), QLatin1String(direction))
        .arg(n)
        .arg(payer, text);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = app.arguments().value(1, QStringLiteral("screenshots"));
    QDir().mkpath(out);
    QTemporaryDir temp;
    try {
        bench::CommuneOptions o;
        o.subscribers = 300;
        o.years = 2;
        NullProgress quiet;
        bench::generateCommune(temp.path(), o, quiet);
        const Session session = bench::communeSession(temp.path());
        Database db(session.dataFolder);
        setServiceIban(session, QStringLiteral("RO49AAAA1B31007593840000"));
        const ResultSet s = db.select(QStringLiteral("SELECT NUME, CNP, NRCON, ROL FROM Abonat WHERE CNP<>'' ORDER BY IDAB"));
        auto field = [&s](int row, const char *name) { return s.text(row, QLatin1String(name)); };
        QString x = QStringLiteral("<?xml version=\"1.0\"?><Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.08\">"
                                   "<BkToCstmrStmt><GrpHdr><MsgId>M1</MsgId></GrpHdr><Stmt><Id>EXT-20241128</Id>"
                                   "<ElctrncSeqNb>231</ElctrncSeqNb><Acct><Id><IBAN>RO49AAAA1B31007593840000</IBAN></Id></Acct>\n");
        x += entry(1, "150.00", "CRDT", "RON", field(0, "NUME"), QStringLiteral("SALUBRIZARE CNP ") + field(0, "CNP"));
        x += entry(2, "75.50", "CRDT", "RON", QStringLiteral("FIRMA PLATITOARE SRL"), QStringLiteral("TAXA GUNOI CONTRACT NR. ") + field(1, "NRCON"));
        x += entry(3, "60.00", "CRDT", "RON", field(2, "NUME"), QStringLiteral("ROL ") + field(2, "ROL"));
        x += entry(4, "120.00", "DBIT", "RON", QStringLiteral("FURNIZOR CARBURANT SA"), QStringLiteral("FACTURA 7781"));
        x += entry(5, "90.00", "CRDT", "RON", field(3, "NUME"), QStringLiteral("TAXA SALUBRIZARE 2024"));
        x += entry(6, "45.00", "CRDT", "RON", QStringLiteral("POPESCU"), QStringLiteral("PLATA GUNOI"));
        x += entry(7, "20.00", "CRDT", "EUR", QStringLiteral("IONESCU MARIA"), QStringLiteral("TAXA"));
        x += entry(8, "33.00", "CRDT", "RON", QStringLiteral("PLATITOR NECUNOSCUT"), QStringLiteral("SALUBRIZARE"));
        x += entry(9, "210.00", "CRDT", "RON", field(4, "NUME"), QStringLiteral("PLATA CNP ") + field(4, "CNP"));
        x += QStringLiteral("</Stmt></BkToCstmrStmt></Document>\n");
        const QString file = temp.filePath(QStringLiteral("extras.xml"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(x.toUtf8()) < 0)
            throw VestroniaError(QStringLiteral("cannot write the statement"));
        f.close();

        ExtrasBancar w(db, session);
        w.resize(1360, 700);
        w.show();
        w.loadFile(file);
        // The first parked entry with the payer's name in the filter, as Enter leaves it.
        auto *lines = w.findChild<QTableWidget *>(QStringLiteral("IntrariG"));
        QTest::keyClick(lines, Qt::Key_Return);
        save(&w, out + QStringLiteral("/extras-bancar.png"));

        setMesajHook([](const MesajCall &c) { return c.buttons == MesajButtons::DaNu ? MesajResult::Da : MesajResult::OK; });
        w.setProgress(&quiet);
        w.findChild<QPushButton *>(QStringLiteral("InregistreazaB"))->click();
        save(&w, out + QStringLiteral("/extras-bancar-inregistrat.png"));
        setMesajHook({});
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
