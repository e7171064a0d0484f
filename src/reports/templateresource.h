#pragma once
// The spreadsheet templates the program carries as resources (type "MODEL"): "Rap1",
// "BordInc", "Bilant", "CenIns", "ChitAn", "RegCasa" and "ModelChitanta".

#include <QString>
#include <QStringList>

namespace vestronia {

// Resource path of a template (":/MODEL/Rap1.xls"), names and types matched without
// regard to case; empty when the program has no such resource.
QString templateResourcePath(const QString &name, const QString &type = QStringLiteral("MODEL"));
// Names of the spreadsheet templates carried by the program.
QStringList templateResourceNames();
// Writes a template resource byte for byte to path, replacing any file of that name.
// Returns true; throws FileError when the resource is missing or the file cannot be
// written. For the start-up code: writeTemplateResource("ModelChitanta", dataFolder +
// "/ModelChitanta.xls").
bool writeTemplateResource(const QString &name, const QString &path, const QString &type = QStringLiteral("MODEL"));

} // namespace vestronia
