#include "WaveformView.h"

#include <QGuiApplication>
#include <QPalette>
#include <QQuickWindow>
#include <QSGImageNode>
#include <QSGRectangleNode>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <limits>
#include <memory>

#include "QuickPaths.h"
#include "peaks/KXPeakBuilder.h"
#include "viewers/PeakFileFill.h"
#include "platform/Exception.h"
#include "platform/MemoryStream.h"
#include "platform/Round.h"
#include "platform/widgets/Color.h"
#include "viewers/TimeAxis.h"

namespace kx {

WaveformView::WaveformView(QQuickItem* parent) : QQuickItem(parent)
{
    setFlag(ItemHasContents);
    setAcceptedMouseButtons(Qt::LeftButton);
    // For the cursor over regions' grab zones.
    setAcceptHoverEvents(true);
    // The widget viewers' defaults.
    style_.Color = ToQColor(clSilver);
    style_.MarkColor = ToQColor(0xA4A0A0);
    style_.PeaksColor = ToQColor(clNavy);
    style_.BorderColor = ToQColor(128);
    style_.PositionColor = ToQColor(clGreen);
    pointerColor_ = ToQColor(clBlack);
    model_.BytesPerPeak = PeakViewModel::FrameBytes;
    liveTimer_.setInterval(PeakLiveFollow::IntervalMs);
    connect(&liveTimer_, &QTimer::timeout, this, &WaveformView::PullLive);
}

WaveformView::~WaveformView() = default;

// --- settings ------------------------------------------------------------------

void WaveformView::SetColor(QColor& field, const QColor& value)
{
    if (value == field)
        return;
    field = value;
    Redraw();
    Q_EMIT colorsChanged();
}

void WaveformView::setPointerColor(const QColor& value)
{
    if (value == pointerColor_)
        return;
    pointerColor_ = value;
    update();
    Q_EMIT colorsChanged();
}

void WaveformView::setAutoMove(bool value)
{
    if (value == autoMove_)
        return;
    autoMove_ = value;
    Q_EMIT autoMoveChanged();
}

void WaveformView::setShowRms(bool value)
{
    if (value == style_.ShowRms)
        return;
    style_.ShowRms = value;
    Redraw();
    Q_EMIT showRmsChanged();
}

QColor WaveformView::rmsColor() const
{
    return style_.RmsColor.isValid() ? style_.RmsColor : RmsShadeOf(style_.PeaksColor);
}

void WaveformView::setPaintCursor(bool value)
{
    if (value == style_.PaintCursor)
        return;
    style_.PaintCursor = value;
    Redraw();
    Q_EMIT paintCursorChanged();
}

void WaveformView::SetTimeAxisHeight(int value)
{
    if (value < 0 || value > TimeAxisMaxHeight)
        throw Exception(QStringLiteral("TimeAxisHeight must be between 0 and %1").arg(TimeAxisMaxHeight));
    if (value == timeAxisHeight_)
        return;
    timeAxisHeight_ = value;
    Redraw();
    Q_EMIT timeAxisHeightChanged();
}

void WaveformView::SetPlayStepPercent(int value)
{
    if (value < 0 || value >= 50)
        throw Exception("PlayStepPercent must be between 0 and 49");
    if (value == playStepPercent_)
        return;
    playStepPercent_ = value;
    if (visibleSeconds_ != 0 && value != 0)
        steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
    Q_EMIT playStepPercentChanged();
}

void WaveformView::SetPeakReduction(int value)
{
    if (value != prSkip && value != prMinMax)
        throw Exception("PeakReduction must be prSkip or prMinMax");
    if (value == model_.Reduction)
        return;
    model_.Reduction = static_cast<TPeakReduction>(value);
    Redraw();
    Q_EMIT peakReductionChanged();
}

void WaveformView::SetTimeScaler(float value)
{
    if (!PeakTimeScalerAccepted(value))
        throw Exception("TimeScaler must be a number from 0.1 to 1000000");
    if (value == model_.TimeScaler)
        return;
    model_.TimeScaler = value;
    // The first column keeps its peak where the new page allows.
    SetScroll(scroll_.nPos, true);
    Redraw();
    Q_EMIT timeScalerChanged(value);
}

// --- sources -------------------------------------------------------------------

void WaveformView::SetSource(const QString& value)
{
    const QString path = LocalPath(value);
    if (value.isEmpty()) {
        if (source_.isEmpty())
            return;
        source_.clear();
        clear();
        Q_EMIT sourceChanged();
        return;
    }
    if (!LoadFile(path)) {
        const bool had = !source_.isEmpty();
        source_.clear();
        if (had)
            Q_EMIT sourceChanged();
        throw Exception(QStringLiteral("Cannot load peaks from %1").arg(value));
    }
    if (value != source_) {
        source_ = value;
        Q_EMIT sourceChanged();
    }
}

bool WaveformView::LoadFromStream(TMemoryStream* stream)
{
    auto load = ReadViewerPeakStream(stream);
    return load && ApplyLoad(std::move(*load));
}

bool WaveformView::loadStream(QObject* builder, int index)
{
    auto* b = qobject_cast<TKXPeakBuilder*>(builder);
    TMemoryStream* stream = nullptr;
    return b && b->GetStreamByIndex(index, stream) && LoadFromStream(stream);
}

bool WaveformView::LoadFile(const QString& path)
{
    // Read whole at once, with the RMS levels of a current side file.
    PeakFileFill fill;
    if (!fill.Start(path, model_))
        return false;
    fill.Finish(model_);
    stopLiveStream();
    AfterFirstRecords();
    Q_EMIT peaksChanged();
    return true;
}

bool WaveformView::ApplyLoad(PeakLoad&& load)
{
    if (!ApplyPeakLoad(model_, std::move(load)))
        return false;
    stopLiveStream();
    AfterFirstRecords();
    Q_EMIT peaksChanged();
    return true;
}

void WaveformView::AfterFirstRecords()
{
    visibleSeconds_ = model_.VisibleSecondsFor(static_cast<int>(width()));
    steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
    SetScroll(0, true);
    MovePointer(false);
    Redraw();
}

void WaveformView::clear()
{
    stopLiveStream();
    model_.ClearPeaks();
    SetScroll(0, true);
    MovePointer(false);
    Redraw();
    Q_EMIT peaksChanged();
}

QObject* WaveformView::builder() const
{
    return builder_.data();
}

void WaveformView::SetBuilder(QObject* value)
{
    auto* b = qobject_cast<TKXPeakBuilder*>(value);
    if (value && !b)
        throw Exception(QStringLiteral("builder must be a PeakBuilder"));
    if (b == builder_)
        return;
    for (auto& link : builderLinks_)
        disconnect(link);
    builder_ = b;
    if (b) {
        builderLinks_[0] = connect(b, &TKXPeakBuilder::peakComplete, this, &WaveformView::BuilderReported);
        builderLinks_[1] = connect(b, &TKXPeakBuilder::peakNew, this, &WaveformView::BuilderReported);
        builderLinks_[2] = connect(b, &TKXPeakBuilder::buildStateChanged, this, &WaveformView::FollowRunningBuild);
        FollowRunningBuild();
    }
    Q_EMIT builderChanged();
}

void WaveformView::BuilderReported(int index)
{
    if (fileIndex_ < 0 || index == fileIndex_)
        loadStream(builder_, index);
}

void WaveformView::FollowRunningBuild()
{
    if (!live_ || !builder_ || builder_->BuildState() != bsBuilding)
        return;
    const int index = builder_->CurrentItemIndex();
    if (index >= 0 && (fileIndex_ < 0 || index == fileIndex_))
        setLiveStream(builder_, index);
}

void WaveformView::setFileIndex(int value)
{
    if (value == fileIndex_)
        return;
    fileIndex_ = value;
    Q_EMIT fileIndexChanged();
}

void WaveformView::setLive(bool value)
{
    if (value == live_)
        return;
    live_ = value;
    FollowRunningBuild();
    Q_EMIT liveChanged();
}

void WaveformView::setLiveStream(QObject* builder, int index)
{
    auto* b = qobject_cast<TKXPeakBuilder*>(builder);
    const bool was = follow_.Active();
    if (!b) {
        stopLiveStream();
        return;
    }
    // What was shown before stays until the first records arrive.
    auto [source, writing] = PeakLiveFollow::OfBuilder(b, index);
    follow_.Start(std::move(source), std::move(writing));
    liveTimer_.start();
    if (!was)
        Q_EMIT liveStreamChanged();
    PullLive();
}

void WaveformView::stopLiveStream()
{
    liveTimer_.stop();
    if (!follow_.Active())
        return;
    follow_.Stop();
    Q_EMIT liveStreamChanged();
}

void WaveformView::PullLive()
{
    switch (follow_.Pull(model_)) {
    case PeakLiveFollow::Pulled::Nothing:
        return;
    case PeakLiveFollow::Pulled::Stopped:
        liveTimer_.stop();
        Q_EMIT liveStreamChanged();
        return;
    case PeakLiveFollow::Pulled::First:
        AfterFirstRecords();
        break;
    case PeakLiveFollow::Pulled::More:
        SetScroll(scroll_.nPos, true);
        Redraw();
        break;
    }
    Q_EMIT peaksChanged();
}

// --- scrolling, marks, cursor, pointer -------------------------------------------

void WaveformView::SetScroll(int pos, bool range)
{
    const int before = scroll_.nPos;
    const int maxBefore = scroll_.MaxPos();
    if (range) {
        model_.ClientWidth = static_cast<int>(width());
        SetPeakScrollRange(scroll_, model_, pos);
    } else {
        scroll_.SetPos(pos);
    }
    if (scroll_.MaxPos() != maxBefore)
        Q_EMIT scrollRangeChanged();
    if (scroll_.nPos != before) {
        Redraw();
        MovePointer(false);
        Q_EMIT scrollPositionChanged(scroll_.nPos);
    }
}

void WaveformView::setScrollPosition(int position)
{
    SetScroll(position, false);
}

void WaveformView::scrollToSeconds(qint64 seconds)
{
    // Clamped rather than wrapped, so a very late second scrolls to the end.
    const int64_t s = std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(),
                                          std::numeric_limits<int32_t>::max());
    const int64_t peak = model_.PeakAtMs(s * 1000);
    SetScroll(static_cast<int>(std::clamp<int64_t>(peak, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max())),
              false);
}

bool WaveformView::setMark(int startMs, int endMs)
{
    if (!PeakMarkAccepted(model_, startMs, endMs))
        return false;
    if (startMs == markStart_ && endMs == markEnd_)
        return true;
    markStart_ = startMs;
    markEnd_ = endMs;
    Redraw();
    Q_EMIT markChanged();
    return true;
}

void WaveformView::setCursorPosition(qint64 ms)
{
    if (ms == position_)
        return;
    position_ = ms;
    Redraw();
    Q_EMIT cursorPositionChanged(ms);
}

void WaveformView::setPlayTime(qint64 time)
{
    if (time == playTime_)
        return;
    playTime_ = time;
    MovePointer(autoMove_);
    Q_EMIT playTimeChanged(time);
}

void WaveformView::MovePointer(bool page)
{
    const int before = pointerX_;
    const int64_t ms = playTime_ / 10000;
    const int w = static_cast<int>(width());
    int64_t x = model_.Empty() ? 0 : std::clamp<int64_t>(model_.ColumnAtMs(static_cast<int32_t>(ms)), -1, 1 << 30);
    if (page && !model_.Empty() && ms != model_.DurationMs()) {
        const auto next = PlayPagePosition(model_, scroll_, steps_, playStepPercent_, w, x);
        if (next && *next != scroll_.nPos) {
            // Paging moves the pointer along with it.
            SetScroll(*next, false);
            return;
        }
    }
    pointerX_ = (x <= 0 || x >= w) ? 0 : static_cast<int>(x);
    if (pointerX_ != before) {
        update();
        Q_EMIT pointerXChanged();
    }
}

// --- drawing -------------------------------------------------------------------

void WaveformView::Redraw()
{
    dirty_ = true;
    update();
}

void WaveformView::geometryChange(const QRectF& now, const QRectF& before)
{
    QQuickItem::geometryChange(now, before);
    if (now.size() == before.size())
        return;
    // Items are usually sized after their source is set: the paging steps
    // follow the width (the widgets, sized first, take them at the load).
    if (!model_.Empty()) {
        visibleSeconds_ = model_.VisibleSecondsFor(static_cast<int>(width()));
        steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
    }
    SetScroll(scroll_.nPos, true);
    MovePointer(false);
    Redraw();
}

void WaveformView::itemChange(ItemChange change, const ItemChangeData& value)
{
    if (change == ItemDevicePixelRatioHasChanged || change == ItemSceneChange)
        Redraw();
    QQuickItem::itemChange(change, value);
}

namespace {

// The picture and the pointer; the node holds the picture's texture, so it
// goes with the node on the scene graph's own thread.
struct PictureNode : QSGNode {
    std::unique_ptr<QSGTexture> texture;
};

} // namespace

QSGNode* WaveformView::updatePaintNode(QSGNode* old, UpdatePaintNodeData*)
{
    const int w = static_cast<int>(width()), h = static_cast<int>(height());
    if (w <= 0 || h <= 0 || !window()) {
        delete old;
        buffer_ = QImage();
        return nullptr;
    }
    auto* root = static_cast<PictureNode*>(old);
    if (!root) {
        root = new PictureNode;
        QSGImageNode* image = window()->createImageNode();
        root->appendChildNode(image);
        root->appendChildNode(window()->createRectangleNode());
        dirty_ = true;
    }
    auto* image = static_cast<QSGImageNode*>(root->firstChild());
    auto* pointer = static_cast<QSGRectangleNode*>(root->lastChild());
    // Device pixels of the window's screen, so lines stay one device pixel.
    const double ratio = window()->effectiveDevicePixelRatio();
    const int dw = static_cast<int>(Round(w * ratio)), dh = static_cast<int>(Round(h * ratio));
    if (dirty_ || buffer_.width() != dw || buffer_.height() != dh || buffer_.devicePixelRatio() != ratio) {
        buffer_ = QImage(dw, dh, QImage::Format_RGB32);
        buffer_.setDevicePixelRatio(ratio);
        PeakRenderStyle style = style_;
        style.Position = position_;
        style.MarkStart = markStart_;
        style.MarkEnd = markEnd_;
        style.RmsColor = rmsColor();
        // The bands share the height above the time axis, as in the widgets.
        const int bands = std::max(0, h - timeAxisHeight_);
        // Regions as the widgets layer them: fills under the peaks, lines and
        // labels over them above the time axis, the axis over everything.
        SetRegionUnderlay(style, w);
        RenderPeaks(buffer_, model_, style, w, bands);
        PaintRegionOverlay(w, bands);
        if (timeAxisHeight_ > 0) {
            const TimeAxisStyle axis{style.Color, style.BorderColor,
                                     QGuiApplication::palette().color(QPalette::WindowText), QGuiApplication::font()};
            DrawTimeAxis(buffer_, bands, h - bands, TimeAxisViewOf(model_), axis);
        }
        std::unique_ptr<QSGTexture> texture(window()->createTextureFromImage(buffer_));
        image->setTexture(texture.get());
        root->texture = std::move(texture);
        dirty_ = false;
    }
    image->setRect(QRectF(0, 0, dw / ratio, dh / ratio));
    // One device pixel wide, inside the frame, as the widgets draw it.
    if (pointerX_ > 0 && h - 2 > 2)
        pointer->setRect(QRectF(pointerX_, 2, 1.0 / ratio, h - 4));
    else
        pointer->setRect(QRectF());
    pointer->setColor(pointerColor_);
    return root;
}

// --- input ---------------------------------------------------------------------

void WaveformView::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0 || model_.Empty()) {
        event->ignore();
        return;
    }
    const int64_t step = model_.PeakAtMs(int64_t(steps_.LineSeconds) * 1000);
    const int64_t next = int64_t(scroll_.nPos) - notches * step;
    setScrollPosition(static_cast<int>(std::clamp<int64_t>(next, scroll_.nMin, scroll_.nMax)));
    event->accept();
}

} // namespace kx
