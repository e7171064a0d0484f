// Pictures of the report pickers for review: the period picker, the year picker and the
// start day of the statement of account, each grabbed to a PNG.
// Usage: report_picker_shots OUTDIR   (run under a display, e.g. xvfb-run -a)

#include "core/clock.h"
#include "ui/reports/fisasel.h"
#include "ui/shell/perselect.h"
#include "ui/shell/selan.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstdio>

using namespace vestronia;

namespace {
bool save(QWidget *w, const QString &title, const QString &path)
{
    w->setWindowTitle(title);
    w->show();
    w->raise();
    QTest::qWait(300);
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    w->hide();
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = app.arguments().value(1);
    if (out.isEmpty()) {
        std::fprintf(stderr, "Folosire: report_picker_shots OUTDIR\n");
        return 2;
    }
    QDir().mkpath(out);
    bool ok = true;
    PerSelect period;
    period.prepare(QStringLiteral("Borderou Incasari"), Clock::today().addMonths(-6), Clock::today());
    ok &= save(&period, QStringLiteral("Borderou Incasari"), out + QStringLiteral("/perselect.png"));
    SelAn year;
    year.setYears({QStringLiteral("2024"), QStringLiteral("2023"), QStringLiteral("2022")});
    ok &= save(&year, QStringLiteral("Centralizator incasari"), out + QStringLiteral("/selan.png"));
    FisaSel since;
    ok &= save(&since, QStringLiteral("Fisa abonatului"), out + QStringLiteral("/fisasel.png"));
    return ok ? 0 : 1;
}
