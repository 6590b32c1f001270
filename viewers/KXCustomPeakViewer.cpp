#include "KXCustomPeakViewer.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "PeakFileFill.h"
#include "PeakRender.h"
#include "platform/Exception.h"
#include "platform/widgets/HorzScrollBar.h"
#include "platform/Logging.h"
#include "platform/MemoryStream.h"
#include "platform/QtInput.h"
#include "platform/Round.h"

namespace kx {

TKXCustomPeakViewer::TKXCustomPeakViewer(QWidget* parent)
    : QWidget(parent), scrollBar_(new HorzScrollBar(this)), model_(scrollBar_->State())
{
    setMinimumSize(100, 30);
    resize(400, 150);
    QFont f(QStringLiteral("Arial Narrow"));
    f.setPointSize(9);
    setFont(f);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    model_.BytesPerPeak = static_cast<uint8_t>(sampleBits_ == 8 ? 2 : PeakViewModel::FrameBytes);
    connect(scrollBar_, &HorzScrollBar::positionChanged, this, &TKXCustomPeakViewer::scrollPositionChanged);
    scrollBar_->OnRequest = [this](int code) { ScrollRequest(code); };
    UpdateScrollRange();
}

TKXCustomPeakViewer::~TKXCustomPeakViewer() = default;

// --- properties --------------------------------------------------------------

void TKXCustomPeakViewer::SetBorderColor(TColor value)
{
    if (value == borderColor_)
        return;
    borderColor_ = value;
    Repaint();
}

void TKXCustomPeakViewer::SetColor(TColor value)
{
    if (value == color_)
        return;
    color_ = value;
    if (HasBuffer())
        Repaint();
}

void TKXCustomPeakViewer::SetPeaksColor(TColor value)
{
    if (value == peaksColor_)
        return;
    peaksColor_ = value;
    Repaint();
}

void TKXCustomPeakViewer::SetPositionColor(TColor value)
{
    if (value == positionColor_)
        return;
    positionColor_ = value;
    Repaint();
}

void TKXCustomPeakViewer::SetPeaksFileName(const QString& value)
{
    if (value == peaksFileName_)
        return;
    if (value.isEmpty()) {
        // The screen keeps the old picture until the next repaint.
        StopLoading();
        model_.ClearPeaks();
        peaksFileName_.clear();
        Q_EMIT peaksChanged();
        return;
    }
    const QString before = peaksFileName_;
    if (LoadFromFile(value)) {
        peaksFileName_ = value;
        unsetCursor();
    } else {
        peaksFileName_.clear();
    }
    if (peaksFileName_ != before)
        Q_EMIT peaksChanged();
}

void TKXCustomPeakViewer::SetPeaksFileNameChecked(const QString& value)
{
    SetPeaksFileName(value);
    if (!value.isEmpty() && peaksFileName_ != value)
        throw Exception(QStringLiteral("Cannot load peaks from %1").arg(value));
}

void TKXCustomPeakViewer::SetPlayStepPercent(int value)
{
    if (value == playStepPercent_ || value < 0 || value >= 50)
        return;
    playStepPercent_ = static_cast<uint8_t>(value);
    if (visibleSeconds_ == 0 || value == 0)
        return;
    steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
}

void TKXCustomPeakViewer::SetPlayStepPercentChecked(int value)
{
    if (value < 0 || value >= 50)
        throw Exception("PlayStepPercent must be between 0 and 49");
    SetPlayStepPercent(value);
}

void TKXCustomPeakViewer::SetPeakReduction(TPeakReduction value)
{
    if (value == model_.Reduction || (value != prSkip && value != prMinMax))
        return;
    model_.Reduction = value;
    Repaint();
}

void TKXCustomPeakViewer::SetPeakReductionOrdinal(int value)
{
    if (value != prSkip && value != prMinMax)
        throw Exception("PeakReduction must be prSkip or prMinMax");
    SetPeakReduction(static_cast<TPeakReduction>(value));
}

void TKXCustomPeakViewer::SetTimeScaler(float value)
{
    if (value == model_.TimeScaler || !PeakTimeScalerAccepted(value))
        return;
    model_.TimeScaler = value;
    // The page follows the peaks in view so the whole file can be reached;
    // the first column keeps its peak where the range allows.
    UpdateScrollPage(ScrollPos());
    Repaint();
    Q_EMIT timeScalerChanged(value);
}

void TKXCustomPeakViewer::SetTimeScalerChecked(float value)
{
    SetTimeScaler(value);
    if (TimeScaler() != value)
        throw Exception("TimeScaler must be a number from 0.1 to 1000000");
}

// --- loading -----------------------------------------------------------------

bool TKXCustomPeakViewer::LoadFromFile(const QString& fileName)
{
    // The first picture shows the file's start at the current zoom.
    auto fill = std::make_unique<PeakFileFill>();
    if (!fill->Start(fileName, model_, model_.PeaksInView() + 2))
        return false;
    StopLoading();
    if (fill->Active()) {
        fill_ = std::move(fill);
        if (!fillTimer_) {
            // Idle time reads the rest: a piece per tick keeps input flowing.
            fillTimer_ = new QTimer(this);
            fillTimer_->setInterval(0);
            connect(fillTimer_, &QTimer::timeout, this, [this] { ContinueLoading(); });
        }
        fillTimer_->start();
    }
    AfterLoad();
    setCursor(Qt::PointingHandCursor);
    return true;
}

bool TKXCustomPeakViewer::LoadFromStream(TMemoryStream* stream)
{
    auto load = ReadViewerPeakStream(stream);
    if (!load || !ApplyLoad(std::move(*load)))
        return false;
    setCursor(Qt::PointingHandCursor);
    return true;
}

bool TKXCustomPeakViewer::ApplyLoad(PeakLoad&& load)
{
    if (!ApplyPeakLoad(model_, std::move(load)))
        return false;
    StopLoading();
    AfterLoad();
    return true;
}

void TKXCustomPeakViewer::AfterLoad()
{
    StopLiveStream();
    visibleSeconds_ = model_.VisibleSecondsFor(ClientWidth());
    steps_ = ComputeSteps(steps_, visibleSeconds_, playStepPercent_);
    UpdateScrollRange();
    Repaint();
    Q_EMIT peaksChanged();
}

void TKXCustomPeakViewer::Clear()
{
    StopLiveStream();
    StopLoading();
    model_.ClearPeaks();
    Repaint();
    Q_EMIT peaksChanged();
}

// --- scrolling ---------------------------------------------------------------

int TKXCustomPeakViewer::ScrollPos() const
{
    return scrollBar_->State().nPos;
}

int TKXCustomPeakViewer::ScrollBarHeight() const
{
    return scrollBar_->Height();
}

int TKXCustomPeakViewer::ClientHeight() const
{
    return std::max(0, height() - ScrollBarHeight());
}

void TKXCustomPeakViewer::SetScrollPosition(int pos)
{
    if (pos == ScrollPos())
        return;
    scrollBar_->State().SetPos(pos);
    scrollBar_->Sync();
    Repaint();
}

void TKXCustomPeakViewer::UpdateScrollRange()
{
    model_.ClientWidth = ClientWidth();
    UpdateScrollPage(0);
}

void TKXCustomPeakViewer::UpdateScrollPage(int pos)
{
    SetPeakScrollRange(scrollBar_->State(), model_, pos);
    scrollBar_->Sync();
}

void TKXCustomPeakViewer::DoScroll(int scrollCode)
{
    ScrollState& st = scrollBar_->State();
    int64_t next = st.nPos;
    switch (scrollCode) {
    case SB_LINELEFT: next -= model_.PeakAtMs(int64_t(steps_.LineSeconds) * 1000); break;
    case SB_LINERIGHT: next += model_.PeakAtMs(int64_t(steps_.LineSeconds) * 1000); break;
    case SB_PAGELEFT: next -= model_.PeakAtMs(int64_t(steps_.PageSeconds) * 1000); break;
    case SB_PAGERIGHT: next += model_.PeakAtMs(int64_t(steps_.PageSeconds) * 1000); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: next = st.nTrackPos; break;
    case SB_LEFT: next = st.nMin; break;
    case SB_RIGHT: next = st.nMax; break;
    default: break;
    }
    if (scrollCode == SB_ENDSCROLL || next == st.nPos)
        return;
    st.SetPos(static_cast<int>(std::clamp<int64_t>(next, st.nMin, st.nMax)));
    scrollBar_->Sync();
    Repaint();
}

void TKXCustomPeakViewer::ScrollRequest(int code)
{
    DoScroll(code);
    int pos = (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) ? scrollBar_->State().nTrackPos : 0;
    Fire(OnScroll, this, code, pos);
    Q_EMIT scrolled(code, pos);
}

void TKXCustomPeakViewer::ScrollToSeconds(int64_t seconds)
{
    // The millisecond count is clamped rather than wrapped, so a very late
    // second scrolls to the end instead of back to the start.
    const int64_t s = std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(),
                                          std::numeric_limits<int32_t>::max());
    ScrollToMs(s * 1000);
}

void TKXCustomPeakViewer::ScrollToTime(MediaTime time)
{
    ScrollToMs(ToMilliseconds(time).count());
}

void TKXCustomPeakViewer::ScrollToMs(int64_t given)
{
    const int64_t ms = std::clamp<int64_t>(given, std::numeric_limits<int32_t>::min(),
                                           std::numeric_limits<int32_t>::max());
    const int64_t peak = model_.PeakAtMs(ms);
    SetScrollPosition(static_cast<int>(std::clamp<int64_t>(peak, std::numeric_limits<int>::min(),
                                                           std::numeric_limits<int>::max())));
}

// --- marks, cursor, pointer ----------------------------------------------------

bool TKXCustomPeakViewer::SetMark(int startMs, int endMs)
{
    if (!PeakMarkAccepted(model_, startMs, endMs))
        return false;
    const bool changed = startMs != markStart_ || endMs != markEnd_;
    markStart_ = startMs;
    markEnd_ = endMs;
    Repaint();
    if (changed)
        Q_EMIT markChanged();
    return true;
}

bool TKXCustomPeakViewer::SetMark(MediaTime start, MediaTime end)
{
    // Beyond the int range a time can only be refused: pass a value SetMark refuses.
    auto ms = [](MediaTime t) {
        return static_cast<int>(std::clamp<int64_t>(ToMilliseconds(t).count(), -1, std::numeric_limits<int>::max()));
    };
    return SetMark(ms(start), ms(end));
}

void TKXCustomPeakViewer::SetPositionAt(int x)
{
    const auto next = static_cast<int32_t>(model_.MsAtColumn(x));
    const int64_t before = position_;
    const auto oldLow = static_cast<int32_t>(position_);
    position_ = next;
    if (next < 0 || next != oldLow)
        Repaint();
    NotifyPosition(before);
}

void TKXCustomPeakViewer::SetPosition(int64_t ms)
{
    if (ms == position_)
        return;
    const int64_t before = position_;
    position_ = ms;
    Repaint();
    NotifyPosition(before);
}

void TKXCustomPeakViewer::NotifyPosition(int64_t before)
{
    if (position_ != before)
        Q_EMIT cursorPositionChanged(position_);
}

void TKXCustomPeakViewer::SetPlayTime(int64_t time)
{
    const bool changed = time != playTime_;
    playTime_ = time;
    MovePlayPointer(time);
    if (changed)
        Q_EMIT playTimeChanged(time);
}

void TKXCustomPeakViewer::MovePlayPointer(int64_t time)
{
    const int64_t ms = time / 10000;
    if (ms == model_.DurationMs())
        return;
    if (pointerX_ > 0)
        UpdatePointerColumn(pointerX_);
    const auto ms32 = static_cast<int32_t>(ms);
    pointerX_ = static_cast<int>(std::clamp<int64_t>(model_.ColumnAtMs(ms32), -1, int64_t(1) << 30));
    const auto page =
        autoMove_ ? PlayPagePosition(model_, scrollBar_->State(), steps_, playStepPercent_, ClientWidth(), pointerX_)
                  : std::nullopt;
    if (page) {
        scrollBar_->State().SetPos(*page);
        scrollBar_->Sync();
        Repaint();
        return;
    }
    if (pointerX_ <= 0 || pointerX_ >= ClientWidth()) {
        pointerX_ = 0;
        return;
    }
    UpdatePointerColumn(pointerX_);
}

void TKXCustomPeakViewer::UpdatePointerColumn(int x)
{
    update(QRect(x, 0, 1, ClientHeight()));
}

// --- painting ----------------------------------------------------------------

void TKXCustomPeakViewer::PaintPeaks(bool copyToScreen, TCanvas* target)
{
    if (buffer_.isNull())
        return;
    // Unshared before drawing: the peaks are written straight into its pixels.
    buffer_.detach();
    PeakRenderStyle style;
    const QPalette& pal = palette();
    style.Color = ToQColor(color_, pal);
    style.MarkColor = ToQColor(markColor_, pal);
    style.PeaksColor = ToQColor(peaksColor_, pal);
    style.BorderColor = ToQColor(borderColor_, pal);
    style.PositionColor = ToQColor(positionColor_, pal);
    style.PaintCursor = paintCursor_;
    style.Position = position_;
    style.MarkStart = markStart_;
    style.MarkEnd = markEnd_;
    style.ShowRms = showRms_;
    style.RmsColor = RmsColor();
    if (!regions_.Empty())
        style.Underlay = [this](QImage& image, double ratio) {
            PaintRegionFills(image, ratio, model_, regions_, selectedRegion_, ClientWidth());
        };
    RenderPeaks(buffer_, model_, style, ClientWidth(), BandHeight());
    PaintRegionOverlay();
    DrawAxisStrip();
    // The copy below covers any pointer line on the window.
    pointerX_ = 0;
    QPainter painter(&buffer_);
    painter.setPen(QPen(style.BorderColor, 2));
    painter.setBrush(Qt::NoBrush);
    Fire(OnPaint, this, painter);
    Q_EMIT paint(painter);
    painter.end();
    if (!copyToScreen)
        return;
    if (target)
        target->drawImage(0, 0, buffer_);
    else
        update();
}

void TKXCustomPeakViewer::DrawPointer(QPainter& painter) const
{
    if (pointerX_ <= 0)
        return;
    // Not-XOR with the pointer colour, as the line is drawn on the window.
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    const QColor c = ToQColor(pointerColor_, palette());
    const int h = ClientHeight();
    // One device pixel wide at any pixel ratio.
    if (h - 2 > 2)
        painter.fillRect(QRectF(pointerX_, 2, 1.0 / buffer_.devicePixelRatio(), h - 4), c);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

QImage TKXCustomPeakViewer::WindowImage() const
{
    QImage image = buffer_.copy();
    if (!image.isNull()) {
        QPainter p(&image);
        DrawPointer(p);
    }
    return image;
}

void TKXCustomPeakViewer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (buffer_.isNull()) {
        p.fillRect(rect(), ToQColor(color_, palette()));
        return;
    }
    if (buffer_.devicePixelRatio() != BufferRatio()) {
        RebuildBuffer();
        PaintPeaks(false, nullptr);
    }
    p.drawImage(0, 0, buffer_);
    DrawPointer(p);
}

double TKXCustomPeakViewer::BufferRatio() const
{
    return devicePixelRatioF();
}

void TKXCustomPeakViewer::RebuildBuffer()
{
    // Device pixels of the window's screen, so lines stay one device pixel.
    const double ratio = BufferRatio();
    const int w = std::max(1, width());
    const int h = std::max(1, ClientHeight());
    buffer_ = QImage(static_cast<int>(Round(w * ratio)), static_cast<int>(Round(h * ratio)), QImage::Format_RGB32);
    buffer_.setDevicePixelRatio(ratio);
    buffer_.fill(Qt::black);
}

bool TKXCustomPeakViewer::event(QEvent* event)
{
    // Moved to a screen of another pixel ratio: redraw at the new one.
    if (event->type() == QEvent::ScreenChangeInternal && !buffer_.isNull() &&
        buffer_.devicePixelRatio() != BufferRatio()) {
        RebuildBuffer();
        Repaint();
    }
    return QWidget::event(event);
}

void TKXCustomPeakViewer::resizeEvent(QResizeEvent* event)
{
    RebuildBuffer();
    scrollBar_->Layout();
    QWidget::resizeEvent(event);
    UpdateScrollRange();
    Repaint();
}

} // namespace kx
