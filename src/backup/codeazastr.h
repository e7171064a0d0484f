#pragma once
// CodeazaStr: the one-way scrambling under which the administrator password is kept in
// the shared settings file. It reproduces, byte for byte, the encoding that data folders
// already hold, so a password set by an earlier installation still opens this one. The
// stored value is never decoded: the typed password is encoded and the two compared.

#include <QByteArray>
#include <QString>

namespace vestronia {

// The platform's linear congruential generator that the encoding depends on.
class CodeazaRandom
{
public:
    explicit CodeazaRandom(quint32 seed) : m_state(seed) {}
    // state := state * 134775813 + 1 (mod 2^32); the result is the upper 32 bits of
    // state * n, a number from 0 to n - 1 (0 when n is 0).
    quint32 next(quint32 n);
    quint32 state() const { return m_state; }

private:
    quint32 m_state;
};

// The encoding of single-byte text (code page 1250). Deterministic; the result is
// (input length + k + 1) bytes long, k from 6 to 35.
QByteArray codeazaStr(const QByteArray &text);
// The same for a typed text: encoded in code page 1250, scrambled, decoded back.
QString codeazaStr(const QString &text);

} // namespace vestronia
