#pragma once
// Mesaj: the one message dialog of the program (window Erori). Every window tells the
// user about refusals, errors and questions through it.
//
//   if (mesaj(QStringLiteral("Atentionare"), text, MesajButtons::DaNu, MesajKind::Atentie)
//       == MesajResult::Da) ...
//
// In the texts "\r" (or "\r\n") is a line break, as the program's messages are written.

#include <QString>
#include <functional>

namespace vestronia {

// Selector bits of the buttons, combined with |.
namespace MesajButtons {
constexpr int Da = 1;
constexpr int Nu = 2;
constexpr int OK = 4;
constexpr int Renunt = 8;
constexpr int DaNu = Da | Nu;
} // namespace MesajButtons

namespace MesajKind {
constexpr int Atentie = 0;    // warning
constexpr int Eroare = 1;     // error, with a beep (any number not listed here)
constexpr int Informatie = 2; // information
constexpr int Confirmare = 3; // question
} // namespace MesajKind

// What mesaj returns: the button pressed. Esc or closing the window gives Renunt.
namespace MesajResult {
constexpr int OK = 1;
constexpr int Renunt = 2;
constexpr int Da = 6;
constexpr int Nu = 7;
} // namespace MesajResult

// Shows the dialog modally and returns the result of the button pressed. When the
// selector selects no button nothing is shown and the result is Renunt.
int mesaj(const QString &title, const QString &text, int buttons, int kind);

// One call of mesaj, as a test sees it.
struct MesajCall
{
    QString title;
    QString text;
    int buttons = 0;
    int kind = 0;
};

// For tests of the windows: while a hook is set, mesaj shows nothing and returns what the
// hook answers (the hook sees every call, so it can also record them). An empty function
// removes the hook.
using MesajHook = std::function<int(const MesajCall &)>;
void setMesajHook(MesajHook hook);

} // namespace vestronia
