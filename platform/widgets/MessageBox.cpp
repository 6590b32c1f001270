#include "MessageBox.h"

#include <QMessageBox>
#include <QStringList>

namespace kx {

namespace {

MessageBoxHook& CurrentHook()
{
    static MessageBoxHook hook;
    return hook;
}

} // namespace

void ShowMessageBox(QWidget* owner, const QString& text)
{
    if (CurrentHook()) {
        CurrentHook()(owner, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
    box.exec();
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = std::move(CurrentHook());
    CurrentHook() = std::move(hook);
    return previous;
}

ScopedMessageCapture::ScopedMessageCapture()
{
    previous_ = SetMessageBoxHook([this](QWidget*, const QString& text) { texts_.append(text); });
}

ScopedMessageCapture::~ScopedMessageCapture()
{
    SetMessageBoxHook(std::move(previous_));
}

} // namespace kx
