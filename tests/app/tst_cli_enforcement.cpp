// The enforcement commands end to end: acts added, refused, changed, listed and deleted,
// and every letter the program writes read back by LibreOffice, which must find the
// act's data where the keys stood, no key left, and the summons on two pages.

#include "app/clirun.h"
#include "core/profilefile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestCliEnforcement : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void actsAreAddedRefusedAndListed();
    void changeAndDelete();
    void lettersReadByLibreOffice();
    void batchWritesOneLetterPerDebtor();

private:
    using Result = CliResult;
    Result cli(const QStringList &args);
    // The letter converted by LibreOffice: its text and its page count.
    QString letterText(const QString &rtf, int *pages);

    QTemporaryDir m_dir;
    QString m_home;
};

TestCliEnforcement::Result TestCliEnforcement::cli(const QStringList &args)
{
    return runCli(m_dir.filePath(QStringLiteral("machine")), QStringList{QStringLiteral("--home"), m_home, QStringLiteral("--today"), QStringLiteral("29.11.2024")} + args, 120000);
}

QString TestCliEnforcement::letterText(const QString &rtf, int *pages)
{
    const QString outDir = m_dir.filePath(QStringLiteral("lo"));
    QDir().mkpath(outDir);
    const QString profile = QStringLiteral("-env:UserInstallation=file://") + outDir + QStringLiteral("/profile");
    for (const QString &filter : {QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("pdf")}) {
        QProcess p;
        p.start(QStringLiteral("soffice"), {QStringLiteral("--headless"), QStringLiteral("--norestore"), profile,
                                            QStringLiteral("--convert-to"), filter, QStringLiteral("--outdir"), outDir, rtf});
        if (!p.waitForFinished(180000) || p.exitCode() != 0)
            return {};
    }
    const QString base = outDir + QLatin1Char('/') + QFileInfo(rtf).completeBaseName();
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {base + QStringLiteral(".pdf")});
    info.waitForFinished(60000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(info.readAllStandardOutput()));
    *pages = m.hasMatch() ? m.captured(1).toInt() : -1;
    QFile txt(base + QStringLiteral(".txt"));
    return txt.open(QIODevice::ReadOnly) ? QString::fromUtf8(txt.readAll()) : QString();
}

void TestCliEnforcement::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_home = m_dir.filePath(QStringLiteral("H"));
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(), "LibreOffice is needed (scripts/install-deps.sh)");
    const Result start = cli({QStringLiteral("startup")});
    QVERIFY2(start.exitCode == 0, qPrintable(start.err));
    const QString shared = m_home + QStringLiteral("/Data/Vestrona.set");
    vestronia::ProfileFile::writeText(shared, QStringLiteral("CONST"), QStringLiteral("UNITATE"), QStringLiteral("Primaria Vestronia"));
    vestronia::ProfileFile::writeText(shared, QStringLiteral("CONST"), QStringLiteral("LOCALIT"), QStringLiteral("Vestronia"));
    // Two debtors (one with the letters that need escapes), one who owes nothing.
    const Result ins = cli({QStringLiteral("sql"),
                            QStringLiteral("INSERT INTO Abonat (IDAB, NUME, TIPPF, LOC, STRADA, NR, CNP, NRCON, DATACON, DATAIN) VALUES "
                                           "(1, '\u015eTEFAN \u0162ICU', 'F', 'Deal', 'Morii', '12A', '1800101123456', 'C-55', 44259, 43831), "
                                           "(2, 'ILIE ANA', 'F', 'Sat', 'Mare', '3', '2800101123456', 'C-56', 44260, 43831), "
                                           "(3, 'RADU VASILE', 'F', 'Sat', 'Mica', '9', '', '', 0, 43831)")});
    QVERIFY2(ins.exitCode == 0, qPrintable(ins.err));
    const Result deb = cli({QStringLiteral("sql"),
                            QStringLiteral("INSERT INTO Debite (IDDEB, IDSERV, IDAB, IDCON, DATADEB, LUNADEB, DENUM, RATA, SOLD, PENAL, "
                                           "PENALPE, PENALDATA, MAXSOLD) VALUES "
                                           "(1, 0, 1, 0, 45540, 202409, 'Salubrizare', 150.5, 150.5, 0, 'zi', 0, '-'), "
                                           "(2, 0, 2, 0, 45540, 202409, 'Salubrizare', 80, 80, 0, 'zi', 0, '-')")});
    QVERIFY2(deb.exitCode == 0, qPrintable(deb.err));
}

void TestCliEnforcement::actsAreAddedRefusedAndListed()
{
    const Result none = cli({QStringLiteral("act"), QStringLiteral("add"), QStringLiteral("3"), QStringLiteral("Instiintare de plata"),
                             QStringLiteral("1"), QStringLiteral("29.11.2024")});
    QCOMPARE(none.exitCode, 1);
    QVERIFY2(none.err.contains(QStringLiteral("Adaugare Act: Acest Abonat NU are datorii!")), qPrintable(none.err));

    const Result badType = cli({QStringLiteral("act"), QStringLiteral("add"), QStringLiteral("1"), QStringLiteral("Somatie"),
                                QStringLiteral("1"), QStringLiteral("29.11.2024")});
    QCOMPARE(badType.exitCode, 1);

    const Result add = cli({QStringLiteral("act"), QStringLiteral("add"), QStringLiteral("1"), QStringLiteral("Instiintare de plata"),
                            QStringLiteral("17"), QStringLiteral("20.11.2024")});
    QVERIFY2(add.exitCode == 0, qPrintable(add.err));
    QCOMPARE(add.out, QStringLiteral("IDURM,DEBIT,PENAL,TOTAL\n1,150.50,0.00,150.50\n"));
    const QString shared = m_home + QStringLiteral("/Data/Vestrona.set");
    QCOMPARE(vestronia::ProfileFile::readNumber(shared, QStringLiteral("INDEX"), QStringLiteral("Instiintare de plata")), 18);

    const Result summons = cli({QStringLiteral("act"), QStringLiteral("add"), QStringLiteral("1"),
                                QStringLiteral("Somatie/Titlu executoriu"), QStringLiteral("4"), QStringLiteral("21.11.2024")});
    QVERIFY2(summons.exitCode == 0, qPrintable(summons.err));

    const Result list = cli({QStringLiteral("acts"), QStringLiteral("1")});
    QCOMPARE(list.exitCode, 0);
    const QStringList lines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("IDURM,IDAB,TIPACT,UNR,UDATA,NUME,LOC,STRADA,NR,ROL,CNP,NRCON,DATACON,DEBIT,PENAL,TOTAL"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("1,1,Instiintare de plata,17,20.11.2024,\u015eTEFAN \u0162ICU,Deal,Morii,12A,,1800101123456,C-55,44259,150.50,0.00,150.50")),
             qPrintable(lines[1]));
    QVERIFY(lines[2].startsWith(QStringLiteral("2,1,Somatie/Titlu executoriu,4,21.11.2024,")));
    const Result log = cli({QStringLiteral("sql"), QStringLiteral("SELECT ACTIUNE FROM Log WHERE ACTIUNE LIKE 'Adaugare%'")});
    QVERIFY(log.out.contains(QStringLiteral("Adaugare Instiintare de plata: \u015eTEFAN \u0162ICU=150.5 lei.")));
}

void TestCliEnforcement::changeAndDelete()
{
    const Result add = cli({QStringLiteral("act"), QStringLiteral("add"), QStringLiteral("2"), QStringLiteral("Instiintare de plata"),
                            QStringLiteral("40"), QStringLiteral("20.11.2024")});
    QVERIFY2(add.exitCode == 0, qPrintable(add.err));
    const QString idurm = add.out.split(QLatin1Char('\n')).value(1).section(QLatin1Char(','), 0, 0);
    QCOMPARE(cli({QStringLiteral("act"), QStringLiteral("change"), idurm, QStringLiteral("Somatie/Titlu executoriu"),
                  QStringLiteral("41"), QStringLiteral("22.11.2024")})
                 .exitCode,
             0);
    const Result list = cli({QStringLiteral("acts"), QStringLiteral("2")});
    QVERIFY2(list.out.contains(idurm + QStringLiteral(",2,Somatie/Titlu executoriu,41,22.11.2024,ILIE ANA")), qPrintable(list.out));
    QCOMPARE(cli({QStringLiteral("act"), QStringLiteral("delete"), idurm}).exitCode, 0);
    QCOMPARE(cli({QStringLiteral("acts"), QStringLiteral("2")}).out.count(QLatin1Char('\n')), 1);
    QCOMPARE(cli({QStringLiteral("act"), QStringLiteral("delete"), idurm}).exitCode, 1);
    QCOMPARE(cli({QStringLiteral("act"), QStringLiteral("delete")}).exitCode, 2);
}

void TestCliEnforcement::lettersReadByLibreOffice()
{
    const QString notice = m_dir.filePath(QStringLiteral("notice.rtf"));
    const Result n = cli({QStringLiteral("letter"), QStringLiteral("1"), notice});
    QVERIFY2(n.exitCode == 0, qPrintable(n.err));
    int pages = 0;
    const QString text = letterText(notice, &pages);
    QVERIFY2(!text.isEmpty(), "LibreOffice could not read the letter");
    QCOMPARE(pages, 1);
    for (const QString &expected : {QStringLiteral("JUDEŢUL ALBA"), QStringLiteral("PRIMARIA VESTRONIA"),
                                    QStringLiteral("Nr. 17 / 20.11.2024"), QStringLiteral("PRIMARIA VESTRONIA, Sat Vestronia"),
                                    QStringLiteral("debitorului: \u015eTEFAN \u0162ICU"),
                                    QStringLiteral("ROMÂNIA, Deal, str. Morii nr. 12A"), QStringLiteral("C.U.I. 1800101123456."),
                                    QStringLiteral("Contract: C-55 / 04.03.2021"), QStringLiteral("150.5")})
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" missing in:\n") + text));
    // No key of the table is left.
    const QRegularExpression key(QStringLiteral("\\[(JUDET|UNITATE|UDATA|UNR|LOCALIT|NUME|LOC|STRADA|NR|CNP|NRCON|DATACON|"
                                                "DEBIT|PEN|TOTAL)\\]"),
                                 QRegularExpression::CaseInsensitiveOption);
    QVERIFY2(!key.match(text).hasMatch(), qPrintable(key.match(text).captured()));

    const QString summons = m_dir.filePath(QStringLiteral("summons.rtf"));
    QCOMPARE(cli({QStringLiteral("letter"), QStringLiteral("2"), summons}).exitCode, 0);
    const QString stext = letterText(summons, &pages);
    QCOMPARE(pages, 2);
    QVERIFY(stext.contains(QStringLiteral("Nr. 4 / 21.11.2024")));
    QVERIFY(stext.contains(QStringLiteral("TITLU EXECUTORIU")));
    QVERIFY(stext.contains(QStringLiteral("[DATA]")));
    QVERIFY(!key.match(stext).hasMatch());
    QCOMPARE(cli({QStringLiteral("letter"), QStringLiteral("99"), summons}).exitCode, 1);
}

void TestCliEnforcement::batchWritesOneLetterPerDebtor()
{
    // The numbers follow the last act added (40, in changeAndDelete).
    const QString out = m_dir.filePath(QStringLiteral("batch.rtf"));
    const Result none = cli({QStringLiteral("acts"), QStringLiteral("batch"), QStringLiteral("Instiintare de plata"),
                             QStringLiteral("29.11.2024"), QStringLiteral("--min-total"), QStringLiteral("1000"), out});
    QCOMPARE(none.exitCode, 1);
    QVERIFY(!QFile::exists(out));
    const Result r = cli({QStringLiteral("acts"), QStringLiteral("batch"), QStringLiteral("Instiintare de plata"),
                          QStringLiteral("29.11.2024"), QStringLiteral("--min-total"), QStringLiteral("50"), out});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("ACTE,DE_LA,PANA_LA,TOTAL\n2,41,42,230.50\n"));
    int pages = 0;
    const QString text = letterText(out, &pages);
    QCOMPARE(pages, 2);
    QVERIFY(text.contains(QStringLiteral("Nr. 41 / 29.11.2024")));
    QVERIFY(text.contains(QStringLiteral("Nr. 42 / 29.11.2024")));
    QVERIFY(text.contains(QStringLiteral("ILIE ANA")));
    QCOMPARE(vestronia::ProfileFile::readNumber(m_home + QStringLiteral("/Data/Vestrona.set"), QStringLiteral("INDEX"),
                                                QStringLiteral("Instiintare de plata")),
             43);
}

QTEST_GUILESS_MAIN(TestCliEnforcement)
#include "tst_cli_enforcement.moc"
