#include "OverviewLink.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "peaks/PeakFormat.h"

namespace kx {

TKXCustomPeakViewer::TLiveSource PeaksOfViewer(TKXCustomPeakViewer* viewer)
{
    QPointer<TKXCustomPeakViewer> v(viewer);
    return [v](int64_t from, std::vector<uint8_t>& head, std::vector<uint8_t>& tail, int64_t& total) {
        if (!v)
            return false;
        const PeakViewModel& m = v->Model();
        TPeakHeader h;
        h.BytesPerPeak = m.BytesPerPeak;
        h.Channels = static_cast<uint8_t>(m.Channels);
        h.SamplesPerSecond = m.SamplesPerSecond;
        h.PcmByteCount = static_cast<uint32_t>(
            std::clamp<int64_t>(m.PcmByteCount, 0, std::numeric_limits<uint32_t>::max()));
        h.SamplesPerPeak = m.SamplesPerPeak;
        head.resize(PeakHeaderSize);
        EncodePeakHeader(h, head.data());
        const auto size = static_cast<int64_t>(m.PeakData.size());
        const int64_t offset = std::clamp<int64_t>(from - PeakHeaderSize, 0, size);
        tail.assign(m.PeakData.begin() + static_cast<std::ptrdiff_t>(offset), m.PeakData.end());
        total = PeakHeaderSize + size;
        return true;
    };
}

void CopyViewerPeaks(TKXCustomPeakViewer* from, TKXCustomPeakViewer* to)
{
    if (!from || !to || from == to)
        return;
    if (from->Model().Empty()) {
        to->Clear();
        return;
    }
    // While both follow, the copy takes new records on its own timer.
    if (from->LiveStream() && to->LiveStream())
        return;
    QPointer<TKXCustomPeakViewer> f(from);
    to->SetLiveSource(PeaksOfViewer(from), [f] { return f && f->LiveStream(); });
}

OverviewLink* LinkOverview(TKXCustomPeakViewer* overview, TKXCustomPeakViewer* zoom)
{
    if (!overview || !zoom || overview == zoom)
        return nullptr;
    return new OverviewLink(overview, zoom);
}

OverviewLink::OverviewLink(TKXCustomPeakViewer* overview, TKXCustomPeakViewer* zoom)
    : QObject(zoom), overview_(overview), zoom_(zoom)
{
    using V = TKXCustomPeakViewer;
    connect(zoom, &V::peaksChanged, this, &OverviewLink::FollowPeaks);
    connect(zoom, &V::scrollPositionChanged, this, &OverviewLink::RedrawOverview);
    connect(zoom, &V::timeScalerChanged, this, &OverviewLink::RedrawOverview);
    connect(overview, &V::peaksChanged, this, &OverviewLink::OverviewPeaksChanged);
    connect(overview, &V::paint, this, &OverviewLink::DrawHighlight);
    connect(overview, &V::mouseDown, this,
            [this](TMouseButton button, TShiftState, int x, int) { Press(button, x); });
    connect(overview, &V::mouseMove, this, [this](TShiftState shift, int x, int) { Drag(shift, x); });
    connect(overview, &V::mouseUp, this, [this](TMouseButton button, TShiftState, int, int) {
        if (button == mbLeft)
            dragging_ = false;
    });
    // Play position and marks go both ways; each setter stops at an equal value.
    // A viewer given its own time again would still page: only a new time goes across.
    connect(zoom, &V::playTimeChanged, this, [this](qint64 t) {
        if (overview_ && overview_->PlayTime() != t)
            overview_->SetPlayTime(t);
    });
    connect(overview, &V::playTimeChanged, this, [this](qint64 t) {
        if (zoom_ && zoom_->PlayTime() != t)
            zoom_->SetPlayTime(t);
    });
    connect(zoom, &V::markChanged, this, [this] {
        if (overview_ && zoom_)
            overview_->SetMark(zoom_->MarkStart(), zoom_->MarkEnd());
    });
    connect(overview, &V::markChanged, this, [this] {
        if (overview_ && zoom_)
            zoom_->SetMark(overview_->MarkStart(), overview_->MarkEnd());
    });
    connect(overview, &QObject::destroyed, this, [this] {
        // Its members are gone already: nothing of it may be called.
        overview_ = nullptr;
        Unlink();
        deleteLater();
    });
    overview->installEventFilter(this);
    zoom->installEventFilter(this);
    FollowPeaks();
}

OverviewLink::~OverviewLink()
{
    // As the zoom view's child this may go while the zoom view is half
    // destroyed: it is not touched (connections and filters go with this).
    zoom_.clear();
    Unlink();
}

void OverviewLink::Unlink()
{
    if (zoom_)
        disconnect(zoom_, nullptr, this, nullptr);
    TKXCustomPeakViewer* overview = overview_;
    overview_ = nullptr;
    zoom_ = nullptr;
    if (!overview)
        return;
    disconnect(overview, nullptr, this, nullptr);
    // Without the box now.
    overview->PaintPeaks(true, nullptr);
}

void OverviewLink::FollowPeaks()
{
    if (overview_ && zoom_)
        CopyViewerPeaks(zoom_, overview_);
}

void OverviewLink::OverviewPeaksChanged()
{
    if (!overview_ || !zoom_)
        return;
    FitOverview();
    // A mark or play time refused while the overview was empty now fits.
    overview_->SetMark(zoom_->MarkStart(), zoom_->MarkEnd());
    overview_->SetPlayTime(zoom_->PlayTime());
    RedrawOverview();
}

void OverviewLink::FitOverview()
{
    const int width = overview_->ClientWidth();
    const int64_t peaks = overview_->Model().PeakCount();
    if (width <= 0 || peaks <= 0)
        return;
    // The whole file across the width; SetTimeScaler ignores what it cannot take.
    const float scaler = std::clamp(float(double(peaks) / double(width)), 0.1f, 1e6f);
    overview_->SetTimeScaler(scaler);
    overview_->setScrollPosition(0);
}

void OverviewLink::RedrawOverview()
{
    if (!overview_)
        return;
    overview_->PaintPeaks(true, nullptr);
    // The redraw covers the play pointer; the whole file is in view, so it comes back.
    overview_->SetPlayTime(overview_->PlayTime());
}

void OverviewLink::SetHighlightColor(const QColor& color)
{
    if (color == highlightColor_)
        return;
    highlightColor_ = color;
    RedrawOverview();
}

double OverviewLink::OverviewPeakAt(double x) const
{
    return double(overview_->ScrollPos()) + x * double(overview_->TimeScaler());
}

QRectF OverviewLink::Highlight() const
{
    if (!overview_ || !zoom_ || overview_->Model().Empty() || zoom_->Model().Empty())
        return {};
    const double scaler = overview_->TimeScaler();
    const double first = zoom_->ScrollPos();
    const double last = first + double(zoom_->Model().PeaksInView());
    double left = (first - overview_->ScrollPos()) / scaler;
    double right = (last - overview_->ScrollPos()) / scaler;
    left = std::clamp(left, 0.0, double(overview_->ClientWidth()));
    right = std::clamp(right, left, double(overview_->ClientWidth()));
    // Always wide enough to see and to grab.
    if (right - left < 3)
        right = left + 3;
    return QRectF(left, 0, right - left, overview_->ClientHeight());
}

void OverviewLink::DrawHighlight(QPainter& painter) const
{
    const QRectF box = Highlight();
    if (box.isEmpty())
        return;
    painter.save();
    painter.fillRect(box, highlightColor_);
    QColor line = highlightColor_;
    line.setAlpha(255);
    painter.setPen(QPen(line, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.restore();
}

void OverviewLink::Press(TMouseButton button, int x)
{
    if (button != mbLeft || !overview_ || !zoom_)
        return;
    const QRectF box = Highlight();
    if (box.isEmpty())
        return;
    dragging_ = true;
    // Inside the box it is dragged by that point; elsewhere the range centres on it.
    if (x >= box.left() && x < box.right())
        grab_ = OverviewPeakAt(x) - zoom_->ScrollPos();
    else
        grab_ = double(zoom_->Model().PeaksInView()) / 2;
    ScrollZoomTo(x);
}

void OverviewLink::Drag(TShiftState shift, int x)
{
    if (!dragging_)
        return;
    if (!shift.Contains(ssLeft)) {
        // The release happened elsewhere.
        dragging_ = false;
        return;
    }
    ScrollZoomTo(x);
}

void OverviewLink::ScrollZoomTo(int x)
{
    if (!overview_ || !zoom_)
        return;
    const double start = std::round(OverviewPeakAt(x) - grab_);
    zoom_->setScrollPosition(static_cast<int>(std::clamp(start, 0.0, double(std::numeric_limits<int>::max()))));
}

bool OverviewLink::eventFilter(QObject* watched, QEvent* event)
{
    // Seen before the viewer's own handler: act once it has its new width.
    if (event->type() == QEvent::Resize && (watched == overview_ || watched == zoom_)) {
        QMetaObject::invokeMethod(
            this,
            [this, fit = watched == overview_] {
                if (!overview_ || !zoom_)
                    return;
                if (fit)
                    FitOverview();
                RedrawOverview();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kx
