// The wave viewer's playback through the wave device, with its play pointer.
#include "WavViewer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

#include "platform/widgets/HorzScrollBar.h"
#include "platform/Logging.h"
#include "platform/LittleEndian.h"
#include "platform/widgets/MessageBox.h"
#include "platform/PostedEvent.h"
#include "platform/QtInput.h"
#include "platform/Round.h"
#include "wavviewer/WaveDevice.h"

namespace kx {

namespace {

QString MediaNotOpenText()
{
    return QCoreApplication::translate("TWavViewer", "Media can not be open");
}

} // namespace

// ---------------------------------------------------------------- playback

void TWavViewer::SetPlayingInterval(int value)
{
    if (value == playingInterval_)
        return;
    playingInterval_ = value;
    if (PlayMode() == 2) {
        StopPlayTimer();
        StartPlayTimer();
    }
}

void TWavViewer::StartPlayTimer()
{
    playTimer_.start(std::max(1, playingInterval_), this);
}

void TWavViewer::StopPlayTimer()
{
    playTimer_.stop();
}

int TWavViewer::TimeFormat() const
{
    uint32_t format = 0;
    if (!mediaOpen_ || !device_->StatusTimeFormat(format))
        return 0;
    return static_cast<int>(format > 7 ? format - 7 : format);
}

int64_t TWavViewer::DeviceToMs(int64_t V) const
{
    if (info_.SampleRate <= 0 || info_.BlockAlign == 0)
        return V;
    switch (TimeFormat()) {
    case 0: return V;
    case 1: return Round(static_cast<double>(V) / (double(info_.BlockAlign) * info_.SampleRate) * 1000.0);
    default: return Round(static_cast<double>(V) / info_.SampleRate * 1000.0);
    }
}

int64_t TWavViewer::MsToDevice(int64_t Ms) const
{
    switch (TimeFormat()) {
    case 0: return Ms;
    case 1: return Round(static_cast<double>(Ms) / 1000.0 * info_.SampleRate * info_.BlockAlign);
    default: return Round(static_cast<double>(Ms) / 1000.0 * info_.SampleRate);
    }
}

int64_t TWavViewer::PlayLength() const
{
    if (info_.SampleRate <= 0 || info_.BlockAlign == 0)
        return 0;
    return MsToDevice(Round(static_cast<double>(info_.DataSize) / (double(info_.BlockAlign) * info_.SampleRate) * 1000.0));
}

int TWavViewer::PlayPosition() const
{
    uint32_t position = 0;
    if (!mediaOpen_ || !device_->StatusPosition(position))
        return 0;
    return static_cast<int>(std::min<uint32_t>(position, INT_MAX));
}

int TWavViewer::PlayMode() const
{
    uint32_t mode = 0;
    if (!mediaOpen_ || !device_->StatusMode(mode) || mode < MCI_MODE_NOT_READY)
        return 0;
    const int m = static_cast<int>(mode - MCI_MODE_NOT_READY);
    return m > 4 ? m - 2 : m;
}

void TWavViewer::OpenMedia()
{
    if (mediaOpen_)
        return;
    if (!device_->Open(fileName_, window_.get())) {
        ShowMessageBox(this, MediaNotOpenText());
        return;
    }
    mediaOpen_ = true;
    Repaint();
}

void TWavViewer::CloseMedia()
{
    if (!mediaOpen_)
        return;
    if (device_->Close())
        mediaOpen_ = false;
    NotifyPlayPosition(PlayPosition());
}

void TWavViewer::Play(bool FromPosition, uint32_t From)
{
    if (!mediaOpen_)
        OpenMedia();
    else if (PlayMode() == 2)
        return;
    if (!mediaOpen_)
        return;
    int64_t start = From;
    if (FromPosition) {
        // Keys can move the position before the start; play from the start then.
        start = MsToDevice(std::max(0, position_));
        followPlay_ = true;
    }
    const int w = PeakAreaWidth();
    const auto v0 = static_cast<uint64_t>(MsToDevice(MsAtPixel(ScrollPos())));
    const uint64_t v1 = v0 + static_cast<uint64_t>(MsToDevice(MsAtPixel(w)));
    const auto s0 = static_cast<uint64_t>(start);
    if (s0 < v0 || s0 > v1) {
        const ScrollState& s = scrollBar_->State();
        const int64_t centred = PeakAtMs(DeviceToMs(start)) - w / 2;
        SetScrollPosition(static_cast<int>(std::min<int64_t>(centred, int64_t(s.nMax) - int64_t(s.nPage))));
    }
    if (!device_->Play(static_cast<uint32_t>(std::clamp<int64_t>(start, 0, UINT32_MAX)), true))
        return;
    playRequested_ = true;
    StartPlayTimer();
}

void TWavViewer::PauseResume()
{
    if (!mediaOpen_)
        return;
    switch (PlayMode()) {
    case 2:
        playRequested_ = false;
        device_->Pause();
        StopPlayTimer();
        break;
    case 3:
        playRequested_ = true;
        device_->Resume();
        StartPlayTimer();
        break;
    default: break;
    }
}

void TWavViewer::Stop()
{
    if (!mediaOpen_)
        return;
    playRequested_ = false;
    device_->Stop();
    StopPlayTimer();
    Repaint();
    NotifyPlayPosition(PlayPosition());
}

void TWavViewer::NotifyPlayPosition(int position)
{
    if (position == notifiedPlayPos_)
        return;
    notifiedPlayPos_ = position;
    Q_EMIT playPositionChanged(position);
}

void TWavViewer::UpdatePointer()
{
    const int position = PlayPosition();
    // The device may end a few units short of the computed length: a device
    // that no longer plays has ended too.
    if (position >= PlayLength() || PlayMode() != 2) {
        StopPlayTimer();
        return;
    }
    const int x0 = InfoWidth();
    const int y0 = InfoHeight();
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    if (pointerX_ > 0)
        update(QRect(pointerX_, y0, 1, ch - y0));
    const int64_t x = x0 + PeakAtMs(DeviceToMs(position)) - ScrollPos();
    pointerX_ = static_cast<int>(std::clamp<int64_t>(x, INT_MIN, INT_MAX));
    if (x >= cw && followPlay_) {
        ScrollState& s = scrollBar_->State();
        const int64_t page = PeakAtMs(int64_t(largeChangeSeconds_) * 1000);
        const int64_t next = std::min<int64_t>(s.nMax, std::max<int64_t>(s.nPos + page, s.nPos + 10));
        s.SetPos(static_cast<int>(next));
        scrollBar_->Sync();
        RepaintPanel(topPanel_);
        Repaint();
    } else if (x > x0 && x < cw) {
        update(QRect(pointerX_, y0, 1, ch - y0));
    } else {
        pointerX_ = 0;
    }
}

void TWavViewer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != playTimer_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    UpdatePointer();
    const int position = PlayPosition();
    Fire(OnPlaying, this, PlayTimerId, position);
    Q_EMIT playing(PlayTimerId, position);
    NotifyPlayPosition(position);
}

void TWavViewer::DeviceMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    Q_UNUSED(wParam);
    if (msg != MM_MCINOTIFY)
        return;
    // Notifications of a device closed since (another file) must not restart anything.
    if (!mediaOpen_ || static_cast<uint32_t>(lParam) != device_->Id())
        return;
    if (autoLoop_ && playRequested_)
        Play(true, 0);
}

} // namespace kx
