// Pictures of the collections windows for review: Evidenta with debits and collections,
// AddChit with its live spread, SetDebit, RegCasaF, RegCasaChitPlataF and PerSelect,
// each grabbed to a PNG, and a receipt PDF (rendered to PNG by the script).
// Usage: collections_screenshots OUTDIR   (run under a display, e.g. xvfb-run -a)

#include "commune.h"

#include "collections/cashbook.h"
#include "collections/collection.h"
#include "documents/receipt.h"
#include "core/clock.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "store/database.h"
#include "ui/collections/addchit.h"
#include "ui/collections/collectionspanel.h"
#include "ui/collections/regcasachitplataf.h"
#include "ui/collections/regcasaf.h"
#include "ui/register/evidenta.h"
#include "ui/shell/setdebit.h"
#include "ui/shell/perselect.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
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
        const int today = Clock::todayDayNumber();
        const qint64 idab = db.scalar(QStringLiteral("SELECT MIN(IDAB) FROM Abonat")).toLongLong();
        for (const int lei : {40, 25}) {
            CollectionDraft d;
            d.idab = idab;
            d.amount = Money::fromLei(lei);
            d.day = today;
            recordCollection(db, session, d);
        }
        CashEntry e;
        e.payment = true;
        e.docType = QStringLiteral("DISPOZITIE PLATA");
        e.amount = Money::fromLei(30);
        e.day = today;
        e.purpose = QStringLiteral("depunere la banca");
        addCashEntry(db, session, e);

        Evidenta screen(db, session);
        screen.prepare();
        screen.selectSubscriber(idab);
        screen.fitTo(QGuiApplication::primaryScreen()->availableGeometry());
        save(&screen, out + QStringLiteral("/evidenta.png"));

        AddChit *chit = screen.collectionsPanel()->collectionDialog();
        chit->prepare(idab);
        chit->findChild<QLineEdit *>(QStringLiteral("Suma"))->setText(QStringLiteral("120"));
        save(chit, out + QStringLiteral("/addchit.png"));
        chit->hide();

        SetDebit *set = screen.setDebitDialog();
        set->prepare(QStringLiteral("Modificare Debit"), false);
        save(set, out + QStringLiteral("/setdebit.png"));
        set->hide();
        screen.hide();

        RegCasaF book(db, session);
        book.prepare();
        save(&book, out + QStringLiteral("/regcasaf.png"));
        book.entryDialog()->prepare(true, Clock::today());
        save(book.entryDialog(), out + QStringLiteral("/regcasachitplataf.png"));
        book.entryDialog()->hide();
        book.periodDialog()->prepare(QStringLiteral("Registru de casa"), Clock::today().addMonths(-1), Clock::today());
        save(book.periodDialog(), out + QStringLiteral("/perselect.png"));

        const qint64 idchit = db.scalar(QStringLiteral("SELECT MAX(IDCHIT) FROM Chitante WHERE IDAB=?"), {idab}).toLongLong();
        const ReceiptOutcome r = printReceipt(db, session, idchit, ReceiptFormat::Pdf, quiet);
        if (!r.pdfPath.isEmpty()) {
            QFile::remove(out + QStringLiteral("/chitanta.pdf"));
            QFile::copy(r.pdfPath, out + QStringLiteral("/chitanta.pdf"));
            std::printf("wrote %s/chitanta.pdf (%lld ms)\n", qPrintable(out), static_cast<long long>(r.pdfMs));
        }
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
