#pragma once
// The model files the user may edit: the receipt workbook and the two letters in the
// data folder, and the backup file icon in the program folder. Written from the
// program's resources when missing.

#include <QString>

namespace vestronia {

struct Session;

// Writes every missing model file; returns the paths written. Throws FileError when a
// file cannot be written.
QStringList writeModelFiles(const Session &session);
// Writes one model over the existing file ("Refa Modelul initial"): "Instiintare.rtf",
// "SomTit.rtf" or "ModelChitanta.xls". Throws FileError.
void restoreModelFile(const Session &session, const QString &fileName);

} // namespace vestronia
