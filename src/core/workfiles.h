#pragma once
// Working files and folders in the TEMP folder, folder removal, and file lookup that
// ignores case (a data folder copied from Windows may spell "LOG.DBF" or "Log.dbf").

#include <QString>

namespace vestronia {

// The first of folder/<name><n><extension>, n = 0..9999, that does not exist or could be
// deleted; the folder is created first. A name whose document may still be open (a
// LibreOffice lock file ".~lock.<file>#" beside it) is skipped and left alone, and so is
// every <name><n> a document of this run has used, whatever its extension: a receipt's
// PDF is made beside its workbook under the same name, so reusing the workbook's name
// would overwrite the PDF a viewer still shows. Empty when none works.
QString newWorkFile(const QString &tempFolder, const QString &name, const QString &extension);
// newWorkFile for a document the user will see (or one made from it under the same name
// with another extension): its name is never handed out again in this run.
QString newDocumentFile(const QString &tempFolder, const QString &name, const QString &extension);
// The first of folder/<name><n>, n = 0..49, that could be (re)created empty. Empty when
// none works.
QString newWorkFolder(const QString &tempFolder, const QString &name);
// Records that a document was handed to the shell "open", so no later work file takes
// its name (with any extension) in this run. Thread-safe.
void noteHandedToShell(const QString &path);
bool wasHandedToShell(const QString &path);
// Deletes a folder with everything in it; true when it is gone.
bool deleteFolder(const QString &path);
// folder/name if a file of that name exists there in any case, else folder/name as given.
QString findFileNoCase(const QString &folder, const QString &name);
// Whether folder holds a file of that name, in any case.
bool fileExistsNoCase(const QString &folder, const QString &name);

} // namespace vestronia
