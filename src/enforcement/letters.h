#pragma once
// Letters of enforcement acts: the template chosen by the act type, the fifteen keys
// filled from the stored act and the unit's settings, written to a work file of the TEMP
// folder ("Executare<n>.rtf") for the shell to open.

#include "core/error.h"

#include <QString>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

namespace vestronia {

class Database;
class ResultSet;
struct Session;

namespace rtf {
class RtfReplace;
}

// A letter that cannot be written: template missing or unreadable, no free work file,
// output not writable.
class LetterError : public VestroniaError
{
public:
    using VestroniaError::VestroniaError;
};

// The unit's data every letter carries (administration settings).
struct LetterUnit
{
    QString county;   // county name
    QString unit;     // unit name
    QString locality; // unit's locality
};

// "Instiintare.rtf" for "Instiintare de plata", "SomTit.rtf" for any other type.
QString letterTemplateName(const QString &actType);
// The template of the data folder for the type, whatever case its name has on disk.
QString letterTemplatePath(const Session &session, const QString &actType);

// A value as RTF text: code page 1250 bytes made safe (braces, backslash, the two
// escaped bytes), and every character outside code page 1250 as a Unicode escape.
std::string rtfValue(const QString &value);

// The fifteen keys of one act row, in the order the letters take them.
std::vector<std::pair<QString, QString>> actLetterKeys(const ResultSet &act, int row, const LetterUnit &unit);

// Writes the letter of act idurm to outPath (a new work file "Executare" when empty) and
// returns its path. Throws LetterError, or VestroniaError when the act does not exist.
QString writeActLetter(Database &db, const Session &session, qint64 idurm, const LetterUnit &unit,
                       const QString &outPath = {});

// Writes several acts of one type into one file, each letter starting on a new page.
// rows are indexes into acts. Throws LetterError.
void writeLetters(const QString &templatePath, const QString &outPath, const ResultSet &acts,
                  const std::vector<int> &rows, const LetterUnit &unit);

} // namespace vestronia
