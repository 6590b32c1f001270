// The wave viewer: info panels, layout, display settings, scrolling, mouse and keys.
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

// ---------------------------------------------------------------- TWavViewer

TWavViewer::TWavViewer(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reached with Tab as well as by a click, so the keys work without a mouse.
    setFocusPolicy(Qt::StrongFocus);
    // The top panel spans the width; the left one lies below it.
    topPanel_ = new TMyPanel(this, 1);
    leftPanel_ = new TMyPanel(this, 0);
    scrollBar_ = new HorzScrollBar(this);
    connect(scrollBar_, &HorzScrollBar::positionChanged, this, &TWavViewer::scrollPositionChanged);
    scrollBar_->OnRequest = [this](int code) { ScrollRequest(code); };
    window_ = std::make_unique<MessageWindow>(
        [this](uint32_t msg, uintptr_t wParam, intptr_t lParam) { DeviceMessage(msg, wParam, lParam); });
    device_ = std::make_unique<WaveDevice>();
    setMinimumSize(46, 48);
    QFont f(QStringLiteral("Arial Narrow"));
    f.setPointSize(9);
    setFont(f);
    UpdatePanelMinimums();
    LayoutChildren();
}

TWavViewer::~TWavViewer()
{
    StopPlayTimer();
    CloseMedia();
    device_.reset();
}

int TWavViewer::ClientWidth() const
{
    return width();
}

int TWavViewer::ClientHeight() const
{
    return std::max(0, height() - scrollBar_->Height());
}

void TWavViewer::SetClientWidth(int value)
{
    resize(value, height());
}

void TWavViewer::SetClientHeight(int value)
{
    resize(width(), value + scrollBar_->Height());
}

int TWavViewer::PeakAreaWidth() const
{
    return ClientWidth() - InfoWidth();
}

int TWavViewer::ScrollPos() const
{
    return scrollBar_->State().nPos;
}

int TWavViewer::LaneCount() const
{
    return info_.DataSize != 0 ? info_.Channels : 2;
}

void TWavViewer::LayoutChildren()
{
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    const int top = std::max(topMin_, std::min(infoHeight_, topMax_));
    const int left = std::max(leftMin_, std::min(infoWidth_, leftMax_));
    topPanel_->setGeometry(0, 0, cw, top);
    leftPanel_->setGeometry(0, top, left, std::max(0, ch - top));
    scrollBar_->Layout();
}

void TWavViewer::UpdatePanelMinimums()
{
    leftPanel_->setFont(font());
    topPanel_->setFont(font());
    if (parentWidget()) {
        const QFontMetrics fm(leftPanel_->font());
        leftMin_ = fm.horizontalAdvance(QStringLiteral("0000"));
        topMin_ = fm.height() + 10;
    } else {
        leftMin_ = 32;
        topMin_ = 28;
    }
    infoWidth_ = std::max(infoWidth_, leftMin_);
    infoHeight_ = std::max(infoHeight_, topMin_);
}

void TWavViewer::PanelResized(TMyPanel* panel)
{
    // The peak area keeps at least 20 pixels each way.
    if (panel->Tag() == 0) {
        const int w = panel->width() + 20;
        if (w != minimumWidth())
            setMinimumWidth(w);
    } else {
        const int h = panel->height() + 20 + scrollBar_->Height();
        if (h != minimumHeight())
            setMinimumHeight(h);
    }
}

void TWavViewer::Repaint()
{
    PaintPeaks(true, nullptr);
}

void TWavViewer::RepaintPanel(TMyPanel* panel)
{
    panel->update();
}

// ---------------------------------------------------------------- display setters

void TWavViewer::SetColor(TColor value)
{
    if (value == color_)
        return;
    color_ = value;
    if (!buffer_.isNull())
        Repaint();
}

void TWavViewer::SetBorderColor(TColor value)
{
    if (value == borderColor_)
        return;
    borderColor_ = value;
    RepaintPanel(leftPanel_);
    Repaint();
}

void TWavViewer::SetPeaksColor(TColor value)
{
    if (value == peaksColor_)
        return;
    peaksColor_ = value;
    if (peakData_.Size() > 0)
        Repaint();
}

void TWavViewer::SetPositionColor(TColor value)
{
    if (value == positionColor_)
        return;
    positionColor_ = value;
    const int64_t m = PeakAtMs(position_) - ScrollPos();
    if (peakData_.Size() > 0 && m > 0 && m < ClientWidth())
        Repaint();
}

void TWavViewer::SetMarksColor(TColor value)
{
    if (value == marksColor_)
        return;
    marksColor_ = value;
    RepaintPanel(topPanel_);
}

int64_t TWavViewer::MarksIntervalLimit() const
{
    // The widest interval is what the view shows, in seconds.
    const int64_t limit = MsAtPixel(PeakAreaWidth()) / 1000;
    return limit < 2 ? ClientWidth() / 5 : limit;
}

void TWavViewer::SetMarksInterval(uint8_t value)
{
    const int64_t limit = MarksIntervalLimit();
    if (value < 2 || value > limit) {
        if (Designing())
            ShowMessageBox(this, QCoreApplication::translate("TWavViewer", "Marks interval must be between 2 and %1").arg(limit));
        return;
    }
    if (value == marksInterval_)
        return;
    marksInterval_ = value;
    RepaintPanel(topPanel_);
}

void TWavViewer::SetSecondsToShow(uint8_t value)
{
    // No density can be derived from an empty view.
    if (value == secondsToShow_ || value == 0)
        return;
    secondsToShow_ = value;
    smallChangeSeconds_ = std::min(smallChangeSeconds_, value);
    largeChangeSeconds_ = std::min(largeChangeSeconds_, value);
    RepaintPanel(topPanel_);
    UpdateScrollRange();
    Repaint();
    Q_EMIT secondsToShowChanged(value);
}

void TWavViewer::SetSmallChangeSeconds(uint8_t value)
{
    if (value == 0 || value == smallChangeSeconds_ || value >= largeChangeSeconds_ || value >= secondsToShow_)
        return;
    smallChangeSeconds_ = value;
}

void TWavViewer::SetLargeChangeSeconds(uint8_t value)
{
    if (value == 0 || value == largeChangeSeconds_ || value <= smallChangeSeconds_ || value >= secondsToShow_)
        return;
    largeChangeSeconds_ = value;
}

int TWavViewer::InfoWidth() const
{
    return leftPanel_->width();
}

void TWavViewer::SetInfoWidth(int value)
{
    if (value == InfoWidth())
        return;
    infoWidth_ = value;
    LayoutChildren();
    infoWidth_ = leftPanel_->width();
    UpdateScrollRange();
    Repaint();
}

int TWavViewer::InfoHeight() const
{
    return topPanel_->height();
}

void TWavViewer::SetInfoHeight(int value)
{
    if (value == InfoHeight())
        return;
    infoHeight_ = value;
    LayoutChildren();
    infoHeight_ = topPanel_->height();
    Repaint();
}

TColor TWavViewer::InfoBackColor() const
{
    return leftPanel_->Color();
}

void TWavViewer::SetInfoBackColor(TColor value)
{
    if (value == leftPanel_->Color())
        return;
    leftPanel_->SetColor(value);
    topPanel_->SetColor(value);
}

TBevelCut TWavViewer::InfoBevelInner() const { return leftPanel_->BevelInner(); }
TBevelCut TWavViewer::InfoBevelOuter() const { return leftPanel_->BevelOuter(); }
TBevelWidth TWavViewer::InfoBevelWidth() const { return leftPanel_->BevelWidth(); }
TBorderWidth TWavViewer::InfoBorderWidth() const { return leftPanel_->BorderWidth(); }
TBorderStyle TWavViewer::InfoBorderStyle() const { return leftPanel_->BorderStyle(); }

void TWavViewer::SetInfoBevelInner(TBevelCut value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(value, p->BevelOuter(), p->BevelWidth(), p->BorderWidth(), p->BorderStyle());
}

void TWavViewer::SetInfoBevelOuter(TBevelCut value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), value, p->BevelWidth(), p->BorderWidth(), p->BorderStyle());
}

void TWavViewer::SetInfoBevelWidth(TBevelWidth value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), p->BevelOuter(), value, p->BorderWidth(), p->BorderStyle());
}

void TWavViewer::SetInfoBorderWidth(TBorderWidth value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), p->BevelOuter(), p->BevelWidth(), value, p->BorderStyle());
}

void TWavViewer::SetInfoBorderStyle(TBorderStyle value)
{
    for (TMyPanel* p : {leftPanel_, topPanel_})
        p->SetBevels(p->BevelInner(), p->BevelOuter(), p->BevelWidth(), p->BorderWidth(), value);
}

void TWavViewer::SetPosition(int ms)
{
    if (ms == position_)
        return;
    const int before = position_;
    position_ = ms;
    Repaint();
    NotifyPosition(before);
}

void TWavViewer::NotifyPosition(int before)
{
    if (position_ != before)
        Q_EMIT cursorPositionChanged(position_);
}

// ---------------------------------------------------------------- scrolling

void TWavViewer::UpdateScrollRange()
{
    const int max = peakData_.Size() > 0 ? static_cast<int>(std::clamp<int64_t>(PeakCount(), 0, INT_MAX)) : 0;
    const unsigned page = static_cast<unsigned>(std::max(0, std::min(max, PeakAreaWidth())));
    scrollBar_->State().SetInfo(0, max, page, 0);
    scrollBar_->Sync();
    RepaintPanel(leftPanel_);
    StopPlayTimer();
}

void TWavViewer::SetScrollPosition(int P)
{
    if (P == ScrollPos())
        return;
    scrollBar_->State().SetPos(P);
    scrollBar_->Sync();
    RepaintPanel(topPanel_);
    Repaint();
}

void TWavViewer::DoScroll(int ScrollCode)
{
    ScrollState& s = scrollBar_->State();
    const int64_t line = PeakAtMs(int64_t(smallChangeSeconds_) * 1000);
    const int64_t page = PeakAtMs(int64_t(largeChangeSeconds_) * 1000);
    int64_t p = s.nPos;
    switch (ScrollCode) {
    case SB_LINELEFT: p = s.nPos - line; break;
    case SB_LINERIGHT: p = s.nPos + line; break;
    case SB_PAGELEFT: p = s.nPos - page; break;
    case SB_PAGERIGHT: p = s.nPos + page; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: p = s.nTrackPos; break;
    case SB_LEFT: p = s.nMin; break;
    case SB_RIGHT: p = s.nMax; break;
    default: return;
    }
    if (p == s.nPos)
        return;
    s.SetPos(static_cast<int>(std::min<int64_t>(s.nMax, std::max<int64_t>(s.nMin, p))));
    scrollBar_->Sync();
    Repaint();
    const int64_t c = PeakAtMs(DeviceToMs(PlayPosition()));
    const int pos = s.nPos;
    followPlay_ = c >= pos && pos + PeakAreaWidth() >= c;
    RepaintPanel(topPanel_);
}

void TWavViewer::ScrollRequest(int code)
{
    DoScroll(code);
    int scrollPos = (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) ? scrollBar_->State().nTrackPos : 0;
    Fire(OnScroll, this, code, scrollPos);
    Q_EMIT scrolled(code, scrollPos);
}

// ---------------------------------------------------------------- mouse and keys

void TWavViewer::SetPositionAt(int X)
{
    const int ms = static_cast<int>(MsAtPixel(int64_t(ScrollPos()) + X - InfoWidth()));
    if (ms == position_)
        return;
    const int before = position_;
    position_ = ms;
    Repaint();
    NotifyPosition(before);
}

void TWavViewer::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (Designing())
            return;
        SetPositionAt(at.x());
        setFocus(Qt::MouseFocusReason);
        Fire(OnButtonDown, this, true, at.x(), at.y());
        Q_EMIT buttonDown(true, at.x(), at.y());
    } else if (event->button() == Qt::RightButton) {
        Fire(OnButtonDown, this, false, at.x(), at.y());
        Q_EMIT buttonDown(false, at.x(), at.y());
    }
}

void TWavViewer::keyPressEvent(QKeyEvent* event)
{
    if (Designing()) {
        QWidget::keyPressEvent(event);
        return;
    }
    uint16_t key = VirtualKeyFromQt(event->key());
    const int64_t c = PeakAtMs(position_);
    const int s = ScrollPos();
    if (key == VK_RIGHT || key == VK_LEFT) {
        if (s < c && c < s + PeakAreaWidth()) {
            const int before = position_;
            position_ += key == VK_RIGHT ? 40 : -40;
            bufferDirty_ = true;
            update();
            NotifyPosition(before);
        }
    } else {
        QWidget::keyPressEvent(event);
    }
    const TShiftState shift = ShiftStateFromQt(event->modifiers());
    Fire(OnKeyDown, this, key, shift);
    Q_EMIT keyDown(key, shift);
    if (!event->text().isEmpty()) {
        QChar ch = event->text().at(0);
        Fire(OnKeyPress, this, ch);
        Q_EMIT keyPress(ch);
    }
}

void TWavViewer::keyReleaseEvent(QKeyEvent* event)
{
    uint16_t key = VirtualKeyFromQt(event->key());
    const TShiftState shift = ShiftStateFromQt(event->modifiers());
    Fire(OnKeyUp, this, key, shift);
    Q_EMIT keyUp(key, shift);
    QWidget::keyReleaseEvent(event);
}

void TWavViewer::focusInEvent(QFocusEvent* event)
{
    Fire(OnEnter, this);
    Q_EMIT enter();
    QWidget::focusInEvent(event);
}

void TWavViewer::focusOutEvent(QFocusEvent* event)
{
    Fire(OnExit, this);
    Q_EMIT exit();
    QWidget::focusOutEvent(event);
}

} // namespace kx
