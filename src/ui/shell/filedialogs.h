#pragma once
// The file and folder choosers of the shell windows, with one hook so window tests can
// answer them without a dialog.

#include <QString>
#include <functional>

class QWidget;

namespace vestronia {

enum class FileDialogKind { Folder, SaveFile, OpenFile };

// An existing folder; empty when cancelled.
QString chooseFolder(QWidget *parent, const QString &title);
// A file to write; the suffix is added when the name has none. Empty when cancelled.
QString chooseSaveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suffix);
// An existing file; empty when cancelled.
QString chooseOpenFile(QWidget *parent, const QString &title, const QString &filter);

// While set, the choosers show nothing and return what the hook answers (empty =
// cancelled). An empty function removes it.
using FileDialogHook = std::function<QString(FileDialogKind kind, const QString &title)>;
void setFileDialogHook(FileDialogHook hook);

} // namespace vestronia
