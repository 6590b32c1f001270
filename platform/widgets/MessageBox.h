#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace kx {

/// Every message box of the components goes through one hook: by default a
/// QMessageBox with an empty title and an OK button, owned by the control.
/// Tests and command-line tools replace it so that nothing blocks.
using MessageBoxHook = std::function<void(QWidget* owner, const QString& text)>;

/// Shows text through the current hook; returns when it is dismissed.
void ShowMessageBox(QWidget* owner, const QString& text);

/// Installs a hook and gives back the one it replaces; an empty hook restores
/// the default dialog.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

/// Replaces the hook for a scope and collects the texts shown.
class ScopedMessageCapture
{
public:
    ScopedMessageCapture();
    ~ScopedMessageCapture();
    ScopedMessageCapture(const ScopedMessageCapture&) = delete;
    ScopedMessageCapture& operator=(const ScopedMessageCapture&) = delete;

    /// The texts shown since this object was made, oldest first.
    const QStringList& Texts() const { return texts_; }

private:
    MessageBoxHook previous_;
    QStringList texts_;
};

} // namespace kx
