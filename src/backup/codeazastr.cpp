// The password scrambling: random insertions and exchanges driven by a generator seeded
// with the byte sum of the text. Positions in the comments count from 1, as the stored
// encodings were made.

#include "backup/codeazastr.h"

#include "core/text.h"

namespace vestronia {

quint32 CodeazaRandom::next(quint32 n)
{
    m_state = m_state * 134775813u + 1u;
    return quint32((quint64(m_state) * n) >> 32);
}

QByteArray codeazaStr(const QByteArray &text)
{
    quint32 sum = 0;
    for (const char c : text)
        sum += quint8(c);
    CodeazaRandom random(sum);
    QByteArray s = text;

    // Insert k random characters (32..181), the position drawn before the character.
    const quint32 k = random.next(30) + 6;
    for (quint32 n = 0; n < k; ++n) {
        const quint32 p = random.next(quint32(s.size())) + 1;
        const char c = char(random.next(150) + 32);
        s.insert(qsizetype(p) - 1, c);
    }
    const quint32 m = random.next(50) + 50;
    s.prepend(' ');
    // m exchanges of characters i and j (2..length-1); character 1 is the scratch cell
    // and keeps a copy of the old character i.
    const quint32 span = quint32(s.size()) - 2;
    for (quint32 n = 0; n < m; ++n) {
        const qsizetype i = qsizetype(random.next(span)) + 2;
        const qsizetype j = qsizetype(random.next(span)) + 2;
        s[0] = s[i - 1];
        s[i - 1] = s[j - 1];
        s[j - 1] = s[0];
    }
    return s;
}

QString codeazaStr(const QString &text)
{
    return fromCp1250(codeazaStr(toCp1250(text)));
}

} // namespace vestronia
