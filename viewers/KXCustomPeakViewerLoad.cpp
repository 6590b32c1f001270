// Reading a long peak file while the event loop runs, and the RMS band.
#include "KXCustomPeakViewer.h"

#include "PeakFileFill.h"
#include "PeakRender.h"
#include "platform/Exception.h"

namespace kx {

bool TKXCustomPeakViewer::Loading() const
{
    return fill_ && fill_->Active();
}

void TKXCustomPeakViewer::StopLoading()
{
    if (fillTimer_)
        fillTimer_->stop();
    fill_.reset();
}

void TKXCustomPeakViewer::ContinueLoading()
{
    if (!fill_) {
        StopLoading();
        return;
    }
    const int64_t before = model_.Pyramid.Records();
    const PeakFileFill::Step step = fill_->Next(model_);
    if (!fill_->Active())
        StopLoading();
    if (step == PeakFileFill::Step::Cut) {
        // Fewer peaks than announced: the range shrinks to what was read.
        UpdateScrollPage(ScrollPos());
        Repaint();
        Q_EMIT peaksChanged();
        return;
    }
    // Redrawn only when the view shows records that just arrived or the
    // levels of its band came.
    const int64_t first = model_.PeakAtColumn(0);
    const int64_t last = model_.PeakAtColumn(ClientWidth()) + 1;
    const bool arrived = first < model_.Pyramid.Records() && last >= before;
    const bool band = step == PeakFileFill::Step::Done && showRms_ && !model_.Rms.Empty();
    if (arrived || band)
        Repaint();
}

void TKXCustomPeakViewer::FinishLoading()
{
    if (!fill_)
        return;
    const PeakFileFill::Step step = fill_->Finish(model_);
    StopLoading();
    if (step == PeakFileFill::Step::Cut) {
        UpdateScrollPage(ScrollPos());
        Q_EMIT peaksChanged();
    }
    Repaint();
}

void TKXCustomPeakViewer::SetShowRms(bool value)
{
    if (value == showRms_)
        return;
    showRms_ = value;
    Repaint();
}

QColor TKXCustomPeakViewer::RmsColor() const
{
    return rmsColor_.isValid() ? rmsColor_ : RmsShadeOf(PeaksColorAsQColor());
}

void TKXCustomPeakViewer::SetRmsColor(const QColor& value)
{
    if (!value.isValid() || value == rmsColor_)
        return;
    rmsColor_ = value;
    Repaint();
}

void TKXCustomPeakViewer::SetRmsColorChecked(const QColor& value)
{
    if (!value.isValid())
        throw Exception("rmsColor must be a valid colour");
    SetRmsColor(value);
}

} // namespace kx
