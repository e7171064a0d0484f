#pragma once
// The one exception family of the program. Domain and format layers throw a subclass
// whose message is ready to show a clerk (Romanian) or names file, record and field.

#include <QByteArray>
#include <QString>
#include <exception>

namespace vestronia {

class VestroniaError : public std::exception
{
public:
    explicit VestroniaError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A settings file or folder that cannot be read or written.
class FileError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

} // namespace vestronia
