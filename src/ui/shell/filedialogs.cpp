// Folder and file choosers over QFileDialog, answerable by a test hook.

#include "ui/shell/filedialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace vestronia {

namespace {
FileDialogHook &hook()
{
    static FileDialogHook h;
    return h;
}

QString withSuffix(const QString &path, const QString &suffix)
{
    if (path.isEmpty() || suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + suffix;
}
} // namespace

void setFileDialogHook(FileDialogHook h)
{
    hook() = std::move(h);
}

QString chooseFolder(QWidget *parent, const QString &title)
{
    if (hook())
        return hook()(FileDialogKind::Folder, title);
    return QFileDialog::getExistingDirectory(parent, title);
}

QString chooseSaveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suffix)
{
    if (hook())
        return withSuffix(hook()(FileDialogKind::SaveFile, title), suffix);
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    // The overwrite question is the window's own, with the program's words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return withSuffix(dialog.selectedFiles().first(), suffix);
}

QString chooseOpenFile(QWidget *parent, const QString &title, const QString &filter)
{
    if (hook())
        return hook()(FileDialogKind::OpenFile, title);
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

} // namespace vestronia
