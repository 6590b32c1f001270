#pragma once
#include <QString>

namespace kx {

// The one progress bar of peaktool's long commands: one line on stderr,
// redrawn in place, drawn only when stderr is a terminal and the user did
// not ask for quiet, so that pipes and logs never see it.
class ProgressBar
{
public:
    // wanted: the command's own choice (not quiet, no --no-progress).
    explicit ProgressBar(bool wanted);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool Drawing() const { return on_; }
    // percent: overall 0..100; text: what is being worked on.
    void Show(int percent, const QString& text = {});
    // Erases the bar; the next Show draws it again.
    void Clear();
    // Clears the bar being drawn, if any: called before any other line is printed.
    static void ClearActive();

private:
    bool on_;
    bool dirty_ = false;
    int lastPercent_ = -1;
    QString lastText_;
};

} // namespace kx
