// The control-digit rules of the personal numeric code and of the fiscal code. They say
// whether a code is well formed, not whether it was ever issued.

#include "ledger/idcheck.h"

#include <QDate>

namespace vestronia {

namespace {
int digitAt(const QString &text, int i)
{
    return text.at(i).unicode() - '0';
}

bool allDigits(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    }
    return true;
}
} // namespace

bool isValidCNP(const QString &code)
{
    if (code.size() != 13 || !allDigits(code))
        return false;
    const int sex = digitAt(code, 0);
    if (sex != 1 && sex != 2 && sex != 5 && sex != 6 && sex != 9)
        return false;
    const int yy = digitAt(code, 1) * 10 + digitAt(code, 2);
    const int mm = digitAt(code, 3) * 10 + digitAt(code, 4);
    const int dd = digitAt(code, 5) * 10 + digitAt(code, 6);
    const int year = (sex == 1 || sex == 2) ? 1900 + yy : 2000 + yy;
    if (!QDate(year, mm, dd).isValid())
        return false;
    static const char Weights[] = "279146358279";
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += digitAt(code, i) * (Weights[i] - '0');
    int control = sum % 11;
    if (control == 10)
        control = 1;
    return control == digitAt(code, 12);
}

bool isValidCUI(const QString &input)
{
    QString code = input.toUpper();
    code.remove(QLatin1Char(' '));
    if (code.size() < 3)
        return false;
    int first = 0;
    while (first < code.size() && (code.at(first).unicode() < '0' || code.at(first).unicode() > '9'))
        ++first;
    code = code.mid(first);
    if (!allDigits(code) || code.size() < 3 || code.size() > 10)
        return false;
    code = code.rightJustified(10, QLatin1Char('0'));
    static const char Weights[] = "753217532";
    int sum = 0;
    for (int i = 0; i < 9; ++i)
        sum += digitAt(code, i) * (Weights[i] - '0');
    int control = sum * 10 % 11;
    if (control == 10)
        control = 0;
    return control == digitAt(code, 9);
}

} // namespace vestronia
