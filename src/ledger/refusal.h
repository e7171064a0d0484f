#pragma once
// What a ledger service answers when it will not do what it was asked: the text to show
// and where to show it. Services never ask the user; windows turn a refusal into the
// problem balloon (at the named control) or the message dialog (with the title).

#include "core/error.h"
#include "core/session.h"

#include <QString>

#include <optional>

namespace vestronia {

struct Refusal
{
    QString message;
    // objectName of the input control whose value is wrong; the window points the
    // problem balloon at it. Empty for a refusal shown as a message.
    QString field;
    // Title of the error message when the refusal is not about one field.
    QString title;

    static Refusal atField(const QString &field, const QString &message) { return {message, field, {}}; }
    static Refusal asMessage(const QString &title, const QString &message) { return {message, {}, title}; }
};

using MaybeRefusal = std::optional<Refusal>;

// Every service that changes data calls this first: a read-only session's windows
// disable their buttons, and this keeps any other caller from slipping through.
inline void requireWriteAccess(const Session &session)
{
    if (!session.canModify())
        throw VestroniaError(QStringLiteral("Nu aveti dreptul sa modificati datele!"));
}

} // namespace vestronia
