// Folder and file choosers over QFileDialog, answerable by a test hook. Their captions are
// set in Romanian here: Debian 12 ships no Romanian translation of Qt's own texts, so
// without this the clerk would read "Look in", "Save" and "Cancel".

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

void speakRomanian(QFileDialog &dialog, const QString &accept)
{
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Cauta in:"));
    dialog.setLabelText(QFileDialog::FileName, dialog.fileMode() == QFileDialog::Directory ? QStringLiteral("Dosar:")
                                                                                          : QStringLiteral("Nume fisier:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Tip fisier:"));
    dialog.setLabelText(QFileDialog::Accept, accept);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Renunt"));
}

QString chosen(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
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
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    speakRomanian(dialog, QStringLiteral("Alege"));
    return chosen(dialog);
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
    speakRomanian(dialog, QStringLiteral("Salveaza"));
    return withSuffix(chosen(dialog), suffix);
}

QString chooseOpenFile(QWidget *parent, const QString &title, const QString &filter)
{
    if (hook())
        return hook()(FileDialogKind::OpenFile, title);
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    speakRomanian(dialog, QStringLiteral("Deschide"));
    return chosen(dialog);
}

} // namespace vestronia
