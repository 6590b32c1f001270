#include "Progress.h"

#include <QByteArray>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "Command.h"

namespace kx {

namespace {

ProgressBar* active = nullptr;

} // namespace

ProgressBar::ProgressBar(bool wanted) : on_(wanted && !IsQuiet() && isatty(STDERR_FILENO) == 1)
{
    if (on_)
        active = this;
}

ProgressBar::~ProgressBar()
{
    Clear();
    if (active == this)
        active = nullptr;
}

void ProgressBar::Show(int percent, const QString& text)
{
    if (!on_)
        return;
    percent = std::clamp(percent, 0, 100);
    if (percent == lastPercent_ && text == lastText_ && dirty_)
        return;
    lastPercent_ = percent;
    lastText_ = text;
    constexpr int Width = 30;
    const int filled = percent * Width / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%  %s\033[K", QByteArray(filled, '#').constData(),
                 QByteArray(Width - filled, '.').constData(), percent, text.toUtf8().constData());
    std::fflush(stderr);
    dirty_ = true;
}

void ProgressBar::Clear()
{
    if (on_ && dirty_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    dirty_ = false;
}

void ProgressBar::ClearActive()
{
    if (active)
        active->Clear();
}

} // namespace kx
