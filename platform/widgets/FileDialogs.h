#pragma once
#include <QString>
#include <functional>

class QWidget;

namespace kx {

/// "Name(*.x)|*.x|Other|*.y" pairs as a Qt filter list ("Name (*.x);;Other (*.y)"); patterns
/// after the bar join those in the name, so "(*.bmp)|*.BMP" matches both spellings.
QString QtFileFilter(const QString& pipeFilter);

/// Open and save dialogs go through one hook so that tests answer them
/// instead of a person. The hook gives the chosen name, or empty for cancel.
enum class FileDialogKind { Open, Save };
/// What a component asks of an open or save dialog.
struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;  ///< open or save
    QString title;       ///< the dialog's caption
    QString filter;      ///< pipe form, as the components store it
    int filterIndex = 1; ///< 1-based, as stored
    QString fileName;    ///< initial name
};
/// Answers a dialog in place of a person: the chosen name, or empty for cancel.
using FileDialogHook = std::function<QString(QWidget* parent, const FileDialogRequest& request)>;

/// Runs the dialog (or the hook); empty when cancelled.
QString ExecuteFileDialog(QWidget* parent, const FileDialogRequest& request);
/// Installs a hook and gives back the previous one; an empty hook restores the real dialogs.
FileDialogHook SetFileDialogHook(FileDialogHook hook);

} // namespace kx
