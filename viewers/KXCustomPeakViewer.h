#pragma once
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "PeakViewModel.h"
#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"

namespace kx {

class HorzScrollBar;
class TKXPeakBuilder;
class TMemoryStream;

using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;

// A control that shows peak data against time, with zoom (TimeScaler),
// horizontal scrolling measured in peaks, a cursor position, one marked
// range and a play pointer that follows a player and pages the view.
// Everything is drawn into a back buffer that reaches the window in one
// copy; the play pointer is drawn over the copy.
class TKXCustomPeakViewer : public QWidget, public DesignState
{
    Q_OBJECT
public:
    explicit TKXCustomPeakViewer(QWidget* parent = nullptr);
    ~TKXCustomPeakViewer() override;

    // Properties.
    bool AutoMove() const { return autoMove_; }
    void SetAutoMove(bool value) { autoMove_ = value; }
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor value);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    bool PaintCursor() const { return paintCursor_; }
    void SetPaintCursor(bool value) { paintCursor_ = value; }
    QString PeaksFileName() const { return peaksFileName_; }
    void SetPeaksFileName(const QString& value);
    TColor PeaksColor() const { return peaksColor_; }
    void SetPeaksColor(TColor value);
    uint8_t PlayStepPercent() const { return playStepPercent_; }
    void SetPlayStepPercent(int value);
    TColor PointerColor() const { return pointerColor_; }
    void SetPointerColor(TColor value) { pointerColor_ = value; }
    TColor PositionColor() const { return positionColor_; }
    void SetPositionColor(TColor value);
    // prSkip draws each column's first record, prMinMax the extremes of all
    // records the column covers.
    TPeakReduction PeakReduction() const { return model_.Reduction; }
    void SetPeakReduction(TPeakReduction value);
    float TimeScaler() const { return model_.TimeScaler; }
    void SetTimeScaler(float value);
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

    // Operations.
    bool LoadFromFile(const QString& fileName);
    // Reads from position 0; a null stream gives false.
    bool LoadFromStream(TMemoryStream* stream);
    // Forgets the loaded peaks and repaints.
    virtual void Clear();
    // Moves the play pointer; time in 100 ns units.
    void SetPlayTime(int64_t time);
    void ScrollToSeconds(int64_t seconds);
    bool SetMark(int startMs, int endMs);
    int64_t TimeAtPixel(int x) const { return model_.TimeAtPixel(x); }
    int DurationMs() const { return static_cast<int>(model_.DurationMs()); }
    int64_t PcmByteCount() const { return model_.PcmByteCount; }
    // Places the cursor position (ms) from code, as a click would; repaints
    // when it changes.
    void SetPosition(int64_t ms);

    // Following a peak stream while it is being written. A source copies the
    // stream's header (Head, up to 16 bytes) and its bytes from `from` on
    // (Tail) with the stream's valid length (Total); false when the stream
    // is gone. The viewer pulls every LiveIntervalMs and repaints only when
    // records arrived, so the picture fills in a few times a second. Any
    // other load, Clear and StopLiveStream end it; it also ends by itself
    // once the stream stops growing after its build.
    using TLiveSource = std::function<bool(int64_t from, std::vector<uint8_t>& Head, std::vector<uint8_t>& Tail,
                                           int64_t& Total)>;
    static constexpr int LiveIntervalMs = 250;
    void SetLiveSource(TLiveSource source, std::function<bool()> stillWriting = {});
    // Follows the builder's stream of queued file `index`.
    void SetLiveStream(TKXPeakBuilder* builder, int index);
    void StopLiveStream();
    bool LiveStream() const { return static_cast<bool>(liveSource_); }
    // One pull of the live stream (the timer's tick); true when it brought
    // something new.
    bool PullLiveStream();

    // Redraws the back buffer; copies it to Target, or to the window when
    // Target is null, when CopyToScreen is set.
    virtual void PaintPeaks(bool copyToScreen, TCanvas* target);
    // Sets the cursor position from a client x coordinate.
    virtual void SetPositionAt(int x);
    // Applies one scroll-bar request code.
    virtual void DoScroll(int scrollCode);

    // State the demo and tests read.
    int PointerX() const { return pointerX_; }
    int64_t Position() const { return position_; }
    int MarkStart() const { return markStart_; }
    int MarkEnd() const { return markEnd_; }
    TColor MarkColor() const { return markColor_; }
    uint8_t VisibleSeconds() const { return visibleSeconds_; }
    uint8_t PageSeconds() const { return steps_.PageSeconds; }
    uint8_t LineSeconds() const { return steps_.LineSeconds; }
    int ScrollPos() const;
    const PeakViewModel& Model() const { return model_; }
    HorzScrollBar* ScrollBar() const { return scrollBar_; }
    int ScrollBarHeight() const;
    int ClientWidth() const { return width(); }
    int ClientHeight() const;
    bool HasBuffer() const { return !buffer_.isNull(); }
    // The back buffer as last drawn.
    const QImage& BufferImage() const { return buffer_; }
    // What the window shows: the buffer with the play pointer over it.
    QImage WindowImage() const;

    // Events.
    TPaintProc OnPaint;
    TScrollProc OnScroll;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;

protected:
    // Mouse messages in client coordinates; subclasses extend them and call
    // the base handler.
    virtual void LButtonDown(int x, int y, TShiftState shift);
    virtual void LButtonUp(int x, int y, TShiftState shift);
    virtual void LButtonDblClk(int x, int y, TShiftState shift);
    virtual void MouseMoved(int x, int y, TShiftState shift);
    virtual void MouseEntered();
    virtual void MouseLeft();

    void Repaint() { PaintPeaks(true, nullptr); }
    void SetScrollPosition(int pos);
    void UpdateScrollRange();
    // Range and page for the loaded peaks at the current scaler, then the
    // position clamped into them.
    void UpdateScrollPage(int pos);
    bool PeakDataEmpty() const { return model_.PeakData.empty(); }
    PeakViewModel& MutableModel() { return model_; }

    // The device pixel ratio the back buffer is drawn at: the window's.
    virtual double BufferRatio() const;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool ApplyLoad(std::span<const uint8_t> header, std::vector<uint8_t>&& records);
    void ScrollRequest(int code);
    void StoreHeader(std::span<const uint8_t> header);
    void RebuildBuffer();
    void DrawPointer(QPainter& painter) const;
    void UpdatePointerColumn(int x);

    HorzScrollBar* scrollBar_;
    PeakViewModel model_;
    QImage buffer_;
    QPointer<QMenu> popupMenu_;

    bool autoMove_ = true;
    int sampleBits_ = 16;
    TColor borderColor_ = 128;
    TColor color_ = clSilver;
    QString peaksFileName_;
    int pointerX_ = 0;
    TColor peaksColor_ = clNavy;
    TColor pointerColor_ = clBlack;
    TColor positionColor_ = clGreen;
    uint8_t visibleSeconds_ = 30;
    int markEnd_ = 0;
    int markStart_ = 0;
    TColor markColor_ = 0xA4A0A0;
    int64_t position_ = 0;
    PeakSteps steps_;
    bool paintCursor_ = false;
    uint8_t playStepPercent_ = 0;

    TLiveSource liveSource_;
    std::function<bool()> liveWriting_;
    QTimer* liveTimer_ = nullptr;
    std::vector<uint8_t> liveHead_;
};

} // namespace kx
