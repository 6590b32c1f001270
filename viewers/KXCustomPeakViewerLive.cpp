// Following a peak stream while its file is being built.
#include "KXCustomPeakViewer.h"

#include <QPointer>

#include "peaks/KXPeakBuilder.h"
#include "peaks/PeakFormat.h"

namespace kx {

void TKXCustomPeakViewer::SetLiveStream(TKXPeakBuilder* builder, int index)
{
    if (!builder) {
        StopLiveStream();
        return;
    }
    QPointer<TKXPeakBuilder> b(builder);
    SetLiveSource(
        [b, index](int64_t from, std::vector<uint8_t>& head, std::vector<uint8_t>& tail, int64_t& total) {
            return b && b->CopyStream(index, from, head, tail, total);
        },
        [b, index] { return b && b->BuildState() == bsBuilding && b->CurrentItemIndex() == index; });
}

void TKXCustomPeakViewer::SetLiveSource(TLiveSource source, std::function<bool()> stillWriting)
{
    StopLiveStream();
    if (!source)
        return;
    // What was shown before stays until the first records arrive.
    liveSource_ = std::move(source);
    liveWriting_ = std::move(stillWriting);
    liveHead_.clear();
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
    liveSource_ = nullptr;
    liveWriting_ = nullptr;
    if (liveTimer_)
        liveTimer_->stop();
}

bool TKXCustomPeakViewer::PullLiveStream()
{
    if (!liveSource_)
        return false;
    const bool live = !liveHead_.empty();
    // Bytes taken so far: the header and whole records.
    const int64_t have = live ? PeakHeaderSize + static_cast<int64_t>(model_.PeakData.size()) : 0;
    std::vector<uint8_t> head, tail;
    int64_t total = 0;
    if (!liveSource_(live ? have : PeakHeaderSize, head, tail, total)) {
        StopLiveStream();
        return false;
    }
    const bool writing = liveWriting_ && liveWriting_();
    if (total < have) {
        // The stream was replaced (a new build): start over with it.
        liveHead_.clear();
        return PullLiveStream();
    }
    const auto h = DecodePeakHeader(head);
    const int recordBytes = h ? PeakRecordSize(*h) : 0;
    if (!h || recordBytes <= 0 ||
        CheckPeakData(head, static_cast<uint64_t>(std::max<int64_t>(total, PeakHeaderSize + 1)),
                      PeakReader::ViewerStream) != PeakCheck::Accepted) {
        // Nothing usable yet; a stream that is no longer written never will be.
        if (!writing && total > 0)
            StopLiveStream();
        return false;
    }
    // Whole records only: a block may still be on its way.
    const int64_t wholeEnd = PeakHeaderSize + (total - PeakHeaderSize) / recordBytes * recordBytes;
    const int64_t from = live ? have : PeakHeaderSize;
    const auto take = static_cast<size_t>(std::max<int64_t>(0, wholeEnd - from));
    const bool headerChanged = head != liveHead_;
    if (take == 0 && !headerChanged) {
        if (!writing && live)
            StopLiveStream();
        return false;
    }
    if (!live)
        model_.PeakData.clear();
    StoreHeader(head);
    liveHead_ = head;
    model_.PeakData.insert(model_.PeakData.end(), tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(take));
    if (!live) {
        // The first records: set up as a load does.
        model_.RebuildPyramid();
        visibleSeconds_ = model_.VisibleSecondsFor(ClientWidth());
        steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
        UpdateScrollRange();
    } else {
        model_.Pyramid.Extend(model_.PeakData);
        UpdateScrollPage(ScrollPos());
    }
    Repaint();
    Q_EMIT peaksChanged();
    return true;
}

} // namespace kx
