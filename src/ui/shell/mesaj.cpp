// mesaj(): shows the message dialog modally, or lets a test hook answer.

#include "ui/shell/mesaj.h"

#include "ui/shell/erori.h"

#include <QApplication>

namespace vestronia {

namespace {
MesajHook &hook()
{
    static MesajHook h;
    return h;
}
} // namespace

void setMesajHook(MesajHook h)
{
    hook() = std::move(h);
}

int mesaj(const QString &title, const QString &text, int buttons, int kind)
{
    if ((buttons & (MesajButtons::Da | MesajButtons::Nu | MesajButtons::OK | MesajButtons::Renunt)) == 0)
        return MesajResult::Renunt;
    if (hook())
        return hook()(MesajCall{title, text, buttons, kind});
    Erori dialog(QApplication::activeWindow());
    dialog.setMessage(title, text, buttons, kind);
    return dialog.exec();
}

} // namespace vestronia
