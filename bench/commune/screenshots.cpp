// Pictures of the ledger windows for review: Evidenta on a generated commune, the
// subscriber form, the accounts list and the account form, each grabbed to a PNG.
// Usage: ledger_screenshots OUTDIR [--home DIR] [--subscribers N]
// (run under a display, e.g. xvfb-run -a; without --home a commune is generated first)

#include "commune.h"

#include "core/clock.h"
#include "core/error.h"
#include "core/terminalprogress.h"
#include "store/database.h"
#include "ui/ledger/addabon.h"
#include "ui/ledger/addcont.h"
#include "ui/ledger/contlistf.h"
#include "ui/register/evidenta.h"
#include "ledger/subscribers.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
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
    const QStringList args = app.arguments();
    QString out;
    QString home;
    bench::CommuneOptions o;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--home"))
            home = args.value(++i);
        else if (args[i] == QLatin1String("--subscribers"))
            o.subscribers = args.value(++i).toInt();
        else
            out = args[i];
    }
    if (out.isEmpty()) {
        std::fprintf(stderr, "Folosire: ledger_screenshots OUTDIR [--home DIR] [--subscribers N]\n");
        return 2;
    }
    QDir().mkpath(out);
    QTemporaryDir temp;
    try {
        if (home.isEmpty()) {
            home = temp.path();
            TerminalProgress progress;
            bench::generateCommune(home, o, progress);
        }
        Clock::setToday(o.today);
        const Session session = bench::communeSession(home);
        Database db(session.dataFolder);

        Evidenta screen(db, session);
        screen.prepare();
        screen.fitTo(QGuiApplication::primaryScreen()->availableGeometry());
        auto *grid = screen.findChild<QTableView *>(QStringLiteral("SMDBGrid1"));
        grid->setCurrentIndex(grid->model()->index(grid->model()->rowCount() / 3, 1));
        bool ok = save(&screen, out + QStringLiteral("/evidenta.png"));

        AddAbon form(&screen);
        form.prepareChange(screen.currentSubscriber(), distinctSubscriberValues(db, QStringLiteral("LOC")),
                           distinctSubscriberValues(db, QStringLiteral("STRADA")));
        ok = save(&form, out + QStringLiteral("/addabon.png")) && ok;
        form.hide();
        screen.hide();

        ContListF list(db, session);
        list.prepareAdministration();
        ok = save(&list, out + QStringLiteral("/contlistf.png")) && ok;

        AddCont *account = list.creationForm();
        account->prepareNew();
        account->findChild<QLineEdit *>(QStringLiteral("Denum"))->setText(QStringLiteral("SALUBRIZARE AGENTI ECONOMICI"));
        account->findChild<QLineEdit *>(QStringLiteral("Rata"))->setText(QStringLiteral("120"));
        account->findChild<QRadioButton *>(QStringLiteral("PretFix"))->setChecked(true);
        account->findChild<QRadioButton *>(QStringLiteral("PerLuniCheck"))->setChecked(true);
        account->findChild<QLineEdit *>(QStringLiteral("PerLuni"))->setText(QStringLiteral("1"));
        account->findChild<QSpinBox *>(QStringLiteral("ZiuaImp"))->setValue(15);
        account->findChild<QLineEdit *>(QStringLiteral("Penal"))->setText(QStringLiteral("1"));
        account->findChild<QLineEdit *>(QStringLiteral("PenalDeLa"))->setText(QStringLiteral("30"));
        ok = save(account, out + QStringLiteral("/addcont.png")) && ok;
        return ok ? 0 : 1;
    } catch (const VestroniaError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
}
