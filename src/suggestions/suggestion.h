#pragma once
// The suggestions book without its window: the checks of the form in their order, the
// query sent to the web service, the request and the remembered contact data.

#include "core/session.h"

#include <QString>

namespace vestronia {

struct SuggestionForm
{
    QString nume;
    QString comuna;
    QString telefon; // telefon_fax
    QString mail;
    QString produs;
};

enum class SuggestionField { None, Nume, Telefon, Mail, Produs };

struct SuggestionCheck
{
    SuggestionField field = SuggestionField::None; // where the balloon points
    QString message;                               // "Nume incorect!", ...
    QString query;                                 // encoded, when every check passed
    bool ok() const { return field == SuggestionField::None; }
};

// Runs the checks in order; cleans nume and telefon in the form as the window does (the
// telephone keeps what was typed, only cleaned). On success the query is ready.
SuggestionCheck checkSuggestion(SuggestionForm &form);

// The query of the request: the five keys, cleaned, blanks as '+', and the characters
// that would end or split a field ('%', '&', '+', '#', '=' and line breaks) or are not
// ASCII percent-encoded inside each value.
QString suggestionQuery(const SuggestionForm &form, const QString &suggestion);

// Sends the query to http://<ServerWeb>/sugestii.php; true when the answer contains
// "SUCCES" (delivered). No host, no answer or another answer: false.
bool sendSuggestion(const Session &session, const QString &query, int timeoutMs = 30000);

// Machine settings file, section "88": SugestieNume, SugestieComuna, Telefon_fax, Mail.
SuggestionForm rememberedSuggestionContact(const Session &session);
// Stores the four contact fields; throws FileError.
void rememberSuggestionContact(const Session &session, const SuggestionForm &form);

} // namespace vestronia
