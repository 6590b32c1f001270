// Following a peak stream while its file is being built.
#include "KXCustomPeakViewer.h"

#include "peaks/KXPeakBuilder.h"

namespace kx {

void TKXCustomPeakViewer::SetLiveStream(TKXPeakBuilder* builder, int index)
{
    if (!builder) {
        StopLiveStream();
        return;
    }
    auto [source, writing] = PeakLiveFollow::OfBuilder(builder, index);
    SetLiveSource(std::move(source), std::move(writing));
}

void TKXCustomPeakViewer::SetLiveSource(TLiveSource source, std::function<bool()> stillWriting)
{
    StopLiveStream();
    if (!source)
        return;
    // The stream replaces the peaks: a file still being read stops here.
    StopLoading();
    // What was shown before stays until the first records arrive.
    live_.Start(std::move(source), std::move(stillWriting));
    if (!liveTimer_) {
        liveTimer_ = new QTimer(this);
        liveTimer_->setInterval(LiveIntervalMs);
        connect(liveTimer_, &QTimer::timeout, this, [this] { PullLiveStream(); });
    }
    liveTimer_->start();
    PullLiveStream();
}

void TKXCustomPeakViewer::StopLiveStream()
{
    live_.Stop();
    if (liveTimer_)
        liveTimer_->stop();
}

bool TKXCustomPeakViewer::PullLiveStream()
{
    switch (live_.Pull(model_)) {
    case PeakLiveFollow::Pulled::Nothing:
        return false;
    case PeakLiveFollow::Pulled::Stopped:
        StopLiveStream();
        return false;
    case PeakLiveFollow::Pulled::First:
        // The first records: set up as a load does.
        visibleSeconds_ = model_.VisibleSecondsFor(ClientWidth());
        steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
        UpdateScrollRange();
        break;
    case PeakLiveFollow::Pulled::More:
        UpdateScrollPage(ScrollPos());
        break;
    }
    Repaint();
    Q_EMIT peaksChanged();
    return true;
}

} // namespace kx
