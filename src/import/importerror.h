#pragma once
// What the import answers when it will not (or cannot) go on: the title and text of the
// message the window shows (error kind, OK); the command line prints both.

#include "core/error.h"

#include <QString>

namespace vestronia {

class ImportError : public VestroniaError
{
public:
    ImportError(QString title, QString text) : VestroniaError(std::move(text)), m_title(std::move(title)) {}
    const QString &title() const { return m_title; }

private:
    QString m_title;
};

} // namespace vestronia
