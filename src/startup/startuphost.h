#pragma once
// What the start-up sequence needs from its surroundings: the start-up window, or the
// terminal of the command-line tool.

#include "core/progress.h"

#include <QString>

namespace vestronia {

// Kinds of a message, as the message dialog numbers them.
enum MessageKind { MessageWarning = 0, MessageError = 1, MessageInformation = 2, MessageConfirmation = 3 };

class StartupHost
{
public:
    virtual ~StartupHost() = default;
    // The status line of the start-up window.
    virtual void setStatus(const QString &text) = 0;
    // A message with an OK button; returns when the user has read it.
    virtual void message(const QString &title, const QString &text, MessageKind kind) = 0;
    virtual Progress &progress() = 0;
};

} // namespace vestronia
