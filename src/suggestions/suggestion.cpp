// Suggestions book services: checks, query encoding, the HTTP request and the contact
// data remembered on the computer.

#include "suggestions/suggestion.h"

#include "backup/remoteclient.h"
#include "core/profilefile.h"
#include "core/text.h"

namespace vestronia {

namespace {

const QString Section88 = QStringLiteral("88");

// Characters of a value that the query itself gives a meaning to.
QString escapeValue(const QString &value)
{
    QString out;
    const QByteArray utf8 = value.toUtf8();
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '%' || c == '&' || c == '+' || c == '#' || c == '=' || c == '\r' || c == '\n' || c >= 0x80 || c < 0x20)
            out += QStringLiteral("%%1").arg(int(c), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QLatin1Char(char(c));
    }
    return out;
}

} // namespace

QString suggestionQuery(const SuggestionForm &form, const QString &suggestion)
{
    QString query = QStringLiteral("nume=") + escapeValue(form.nume) + QStringLiteral("&comuna=") + escapeValue(form.comuna)
                    + QStringLiteral("&telefon_fax=") + escapeValue(form.telefon) + QStringLiteral("&mail=")
                    + escapeValue(form.mail) + QStringLiteral("&produs=") + suggestion;
    query = cleanText(query);
    query.replace(QLatin1Char(' '), QLatin1Char('+'));
    query.replace(QLatin1Char('@'), QStringLiteral("%40"));
    query.replace(QLatin1Char('/'), QStringLiteral("%2F"));
    query.replace(QLatin1Char('"'), QStringLiteral("%22"));
    query.replace(QLatin1Char('{'), QStringLiteral("%7B"));
    query.replace(QLatin1Char('}'), QStringLiteral("%7D"));
    return query;
}

SuggestionCheck checkSuggestion(SuggestionForm &form)
{
    SuggestionCheck check;
    form.nume = cleanText(form.nume);
    if (form.nume.size() <= 2) {
        check.field = SuggestionField::Nume;
        check.message = QStringLiteral("Nume incorect!");
        return check;
    }
    form.telefon = cleanText(form.telefon);
    QString digits;
    for (QChar c : form.telefon)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    static const QStringList prefixes{QStringLiteral("07"), QStringLiteral("03"), QStringLiteral("02"), QStringLiteral("01")};
    if (digits.size() != 10 || !prefixes.contains(digits.left(2))) {
        check.field = SuggestionField::Telefon;
        check.message = QStringLiteral("Telefon incorect!");
        return check;
    }
    if (!isValidEmail(form.mail)) {
        check.field = SuggestionField::Mail;
        check.message = QStringLiteral("Email incorect!");
        return check;
    }
    const QString product = programTitle();
    const QString suggestion = product + QStringLiteral(": ") + escapeValue(cleanText(form.produs)) + QStringLiteral("%0D%0A");
    // Measured on the text itself: its escapes must not make a short text long enough.
    if (product.size() + 2 + cleanText(form.produs).size() + 6 < product.size() + 10) {
        check.field = SuggestionField::Produs;
        check.message = QStringLiteral("Sugestia dvs este prea scurta!");
        return check;
    }
    check.query = suggestionQuery(form, suggestion);
    return check;
}

bool sendSuggestion(const Session &session, const QString &query, int timeoutMs)
{
    const QString base = webBaseUrl(session);
    if (base.isEmpty())
        return false;
    const std::optional<QByteArray> answer =
        httpGet(base + QStringLiteral("/sugestii.php?") + query, 64 * 1024, timeoutMs, tlsSettings(session).pinnedSha256);
    return answer && answer->contains("SUCCES");
}

SuggestionForm rememberedSuggestionContact(const Session &session)
{
    const QString file = session.machineSettings();
    SuggestionForm f;
    f.nume = ProfileFile::readText(file, Section88, QStringLiteral("SugestieNume"));
    f.comuna = ProfileFile::readText(file, Section88, QStringLiteral("SugestieComuna"));
    f.telefon = ProfileFile::readText(file, Section88, QStringLiteral("Telefon_fax"));
    f.mail = ProfileFile::readText(file, Section88, QStringLiteral("Mail"));
    return f;
}

void rememberSuggestionContact(const Session &session, const SuggestionForm &form)
{
    const QString file = session.machineSettings();
    ProfileFile::writeText(file, Section88, QStringLiteral("SugestieNume"), form.nume);
    ProfileFile::writeText(file, Section88, QStringLiteral("SugestieComuna"), form.comuna);
    ProfileFile::writeText(file, Section88, QStringLiteral("Telefon_fax"), form.telefon);
    ProfileFile::writeText(file, Section88, QStringLiteral("Mail"), form.mail);
}

} // namespace vestronia
