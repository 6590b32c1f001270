#pragma once
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "PeakViewModel.h"
#include "PeakViewSource.h"
#include "RegionEdit.h"
#include "RegionPaint.h"
#include "TimeAxis.h"
#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/Logging.h"
#include "platform/QtProperties.h"
#include "platform/TimeUnits.h"

namespace kx {

class HorzScrollBar;
class PeakFileFill;
class TKXPeakBuilder;
class TMemoryStream;

/// A key-press handler; it may change Key.
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;

/**
 * A control that shows peak data against time, with zoom (TimeScaler),
 * horizontal scrolling measured in peaks, a cursor position, one marked
 * range and a play pointer that follows a player and pages the view.
 * Everything is drawn into a back buffer that reaches the window in one
 * copy; the play pointer is drawn over the copy.
 *
 * Each event `OnX` is also the signal `x` (see Q_SIGNALS); each setting is
 * also a property. A refused property write is reported through error().
 */
class TKXCustomPeakViewer : public QWidget, public DesignState
{
    Q_OBJECT
    ///@{
    /// Settings. Colours read with system colours resolved through the
    /// palette; peakReduction is a TPeakReduction ordinal.
    Q_PROPERTY(bool autoMove READ AutoMove WRITE setAutoMove)
    Q_PROPERTY(QColor borderColor READ BorderColorAsQColor WRITE setBorderColor)
    Q_PROPERTY(QColor color READ ColorAsQColor WRITE setColor)
    Q_PROPERTY(bool paintCursor READ PaintCursor WRITE setPaintCursor)
    Q_PROPERTY(QString peaksFileName READ PeaksFileName WRITE setPeaksFileName NOTIFY peaksChanged)
    Q_PROPERTY(QColor peaksColor READ PeaksColorAsQColor WRITE setPeaksColor)
    Q_PROPERTY(int playStepPercent READ PlayStepPercent WRITE setPlayStepPercent)
    Q_PROPERTY(QColor pointerColor READ PointerColorAsQColor WRITE setPointerColor)
    Q_PROPERTY(QColor positionColor READ PositionColorAsQColor WRITE setPositionColor)
    Q_PROPERTY(int peakReduction READ peakReductionOrdinal WRITE setPeakReduction)
    Q_PROPERTY(float timeScaler READ TimeScaler WRITE setTimeScaler NOTIFY timeScalerChanged)
    Q_PROPERTY(QMenu* popupMenu READ PopupMenu WRITE setPopupMenu)
    Q_PROPERTY(bool showRms READ ShowRms WRITE setShowRms)
    Q_PROPERTY(QColor rmsColor READ RmsColor WRITE setRmsColor)
    Q_PROPERTY(bool regionInsertKey READ RegionInsertKey WRITE setRegionInsertKey)
    Q_PROPERTY(int timeAxisHeight READ TimeAxisHeight WRITE setTimeAxisHeight)
    ///@}
    ///@{
    /// State that changes by itself: mouse, keys, scroll bar, player, loads.
    Q_PROPERTY(qint64 cursorPosition READ Position WRITE setCursorPosition NOTIFY cursorPositionChanged)
    Q_PROPERTY(qint64 playTime READ PlayTime WRITE setPlayTime NOTIFY playTimeChanged)
    Q_PROPERTY(int scrollPosition READ ScrollPos WRITE setScrollPosition NOTIFY scrollPositionChanged)
    Q_PROPERTY(int markStart READ MarkStart NOTIFY markChanged)
    Q_PROPERTY(int markEnd READ MarkEnd NOTIFY markChanged)
    Q_PROPERTY(int durationMs READ DurationMs NOTIFY peaksChanged)
    Q_PROPERTY(qint64 pcmByteCount READ PcmByteCount NOTIFY peaksChanged)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setAutoMove(bool value) { SetAutoMove(value); } ///< Writes autoMove.
    void setPaintCursor(bool value) { SetPaintCursor(value); } ///< Writes paintCursor.
    void setPeakReduction(int value) { setPeakReductionOrdinal(value); } ///< Writes peakReduction.
    void setPopupMenu(QMenu* value) { SetPopupMenu(value); } ///< Writes popupMenu.
    void setCursorPosition(qint64 value) { SetPosition(value); } ///< Writes cursorPosition.
    void setShowRms(bool value) { SetShowRms(value); } ///< Writes showRms.
    void setRegionInsertKey(bool value) { SetRegionInsertKey(value); } ///< Writes regionInsertKey.
    ///@}
public:
    /// An empty viewer of 400 × 150 pixels.
    explicit TKXCustomPeakViewer(QWidget* parent = nullptr);
    ~TKXCustomPeakViewer() override;

    // --- settings

    /// Whether the play pointer pages the view when it nears the right edge.
    bool AutoMove() const { return autoMove_; }
    /// Plain store.
    void SetAutoMove(bool value) { autoMove_ = value; }
    /// Colour of the frame and the channel lines.
    TColor BorderColor() const { return borderColor_; }
    /// Repaints when changed.
    void SetBorderColor(TColor value);
    /// As SetBorderColor(TColor).
    void SetBorderColor(const QColor& value) { SetBorderColor(FromQColor(value)); }
    /// BorderColor as painted.
    QColor BorderColorAsQColor() const { return ToQColor(borderColor_, palette()); }
    /// Background colour of the peak area.
    TColor Color() const { return color_; }
    /// Repaints when changed and a back buffer exists.
    void SetColor(TColor value);
    /// As SetColor(TColor).
    void SetColor(const QColor& value) { SetColor(FromQColor(value)); }
    /// Color as painted.
    QColor ColorAsQColor() const { return ToQColor(color_, palette()); }
    /// Whether the cursor position line is drawn.
    bool PaintCursor() const { return paintCursor_; }
    /// Plain store, no repaint.
    void SetPaintCursor(bool value) { paintCursor_ = value; }
    /// The peak file last loaded through SetPeaksFileName.
    QString PeaksFileName() const { return peaksFileName_; }
    /// Loads the named peak file; empty forgets the peaks. A file that
    /// cannot be loaded leaves the name empty and the picture as it was.
    void SetPeaksFileName(const QString& value);
    /// Colour of the peaks.
    TColor PeaksColor() const { return peaksColor_; }
    /// Repaints when changed.
    void SetPeaksColor(TColor value);
    /// As SetPeaksColor(TColor).
    void SetPeaksColor(const QColor& value) { SetPeaksColor(FromQColor(value)); }
    /// PeaksColor as painted.
    QColor PeaksColorAsQColor() const { return ToQColor(peaksColor_, palette()); }
    /// Percent of the width kept ahead of the play pointer when it pages (0 to 49).
    uint8_t PlayStepPercent() const { return playStepPercent_; }
    /// Values outside 0 to 49 are ignored.
    void SetPlayStepPercent(int value);
    /// Colour of the play pointer.
    TColor PointerColor() const { return pointerColor_; }
    /// Plain store.
    void SetPointerColor(TColor value) { pointerColor_ = value; }
    /// As SetPointerColor(TColor).
    void SetPointerColor(const QColor& value) { SetPointerColor(FromQColor(value)); }
    /// PointerColor as painted.
    QColor PointerColorAsQColor() const { return ToQColor(pointerColor_, palette()); }
    /// Colour of the cursor position line.
    TColor PositionColor() const { return positionColor_; }
    /// Repaints when changed.
    void SetPositionColor(TColor value);
    /// As SetPositionColor(TColor).
    void SetPositionColor(const QColor& value) { SetPositionColor(FromQColor(value)); }
    /// PositionColor as painted.
    QColor PositionColorAsQColor() const { return ToQColor(positionColor_, palette()); }
    /// prSkip draws each column's first record, prMinMax the extremes of all
    /// records the column covers.
    TPeakReduction PeakReduction() const { return model_.Reduction; }
    /// Unknown values are ignored; repaints when changed.
    void SetPeakReduction(TPeakReduction value);
    /// Peaks per pixel column (zoom).
    float TimeScaler() const { return model_.TimeScaler; }
    /// Values that are not finite or lie outside 0.1 to 1e6 are ignored.
    void SetTimeScaler(float value);
    /// The menu shown on a context-menu request (none by default).
    QMenu* PopupMenu() const { return popupMenu_; }
    /// Not owned; forgotten when the menu is destroyed.
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    /// Height in pixels of the time axis strip below the peaks; 0 (the
    /// default) shows none.
    int TimeAxisHeight() const { return timeAxisHeight_; }
    /// Values outside 0 to MaxTimeAxisHeight are ignored; repaints when changed.
    void SetTimeAxisHeight(int value);
    /// The tallest time axis strip.
    static constexpr int MaxTimeAxisHeight = TimeAxisMaxHeight;

    /// Whether the RMS levels of the peak file's side file ("<peak file>.rms",
    /// when current) are drawn as a lighter band inside the peaks; off by
    /// default. Without such levels the picture is as with it off.
    bool ShowRms() const { return showRms_; }
    /// Repaints when changed.
    void SetShowRms(bool value);
    /// Colour of the RMS band: until one is set, the peaks' colour halfway
    /// to white.
    QColor RmsColor() const;
    /// An invalid colour is refused; repaints when changed.
    void SetRmsColor(const QColor& value);

    // --- operations

    /// Loads a peak file; false when it cannot be read or is refused. The
    /// first picture is drawn from the file's start; the rest of a long file
    /// (and its RMS levels) is read while the event loop runs, drawn as it
    /// arrives (see Loading).
    bool LoadFromFile(const QString& fileName);
    /// Whether a peak file is still being read; what is not read yet draws
    /// flat, while counts and the scroll range are the whole file's already.
    bool Loading() const;
    /// Reads the rest of a file still being loaded at once and repaints.
    void FinishLoading();
    /// Reads from position 0; a null stream gives false.
    bool LoadFromStream(TMemoryStream* stream);
    /// Forgets the loaded peaks and repaints.
    virtual void Clear();
    /// Moves the play pointer; time in 100 ns units.
    void SetPlayTime(int64_t time);
    /// Moves the play pointer to a typed time.
    void SetPlayTime(MediaTime time) { SetPlayTime(static_cast<int64_t>(time.count())); }
    /// The time last given to SetPlayTime, in 100 ns units (0 at start).
    int64_t PlayTime() const { return playTime_; }
    /// PlayTime as a typed time.
    MediaTime PlayMediaTime() const { return MediaTime(playTime_); }
    /// Scrolls so that the given second is the first column.
    void ScrollToSeconds(int64_t seconds);
    /// Scrolls so that the given time (to the millisecond) is the first column.
    void ScrollToTime(MediaTime time);
    /// Sets the marked range in milliseconds (0, 0 clears it); false when refused.
    bool SetMark(int startMs, int endMs);
    /// SetMark with typed times, truncated to the millisecond.
    bool SetMark(MediaTime start, MediaTime end);
    /// Milliseconds shown at client column x.
    int64_t TimeAtPixel(int x) const { return model_.TimeAtPixel(x); }
    /// The time shown at client column x.
    MediaTime MediaTimeAtPixel(int x) const { return std::chrono::milliseconds(TimeAtPixel(x)); }
    /// Duration of the loaded audio in milliseconds.
    int DurationMs() const { return static_cast<int>(model_.DurationMs()); }
    /// Duration of the loaded audio.
    MediaTime DurationTime() const { return std::chrono::milliseconds(model_.DurationMs()); }
    /// The header's PCM byte length (0 when nothing is loaded).
    int64_t PcmByteCount() const { return model_.PcmByteCount; }
    /// Places the cursor position (ms) from code, as a click would; repaints
    /// when it changes.
    void SetPosition(int64_t ms);
    /// Places the cursor position, truncated to the millisecond.
    void SetPosition(MediaTime time) { SetPosition(static_cast<int64_t>(ToMilliseconds(time).count())); }

    // --- labelled regions and points: none unless added

    /// The regions and points drawn over the peaks.
    const PeakRegionSet& RegionSet() const { return regions_; }
    /// Adds a region (an id in use or none gets a new one); returns its id,
    /// or empty when its times are refused. Raises regionAdded.
    QString AddRegion(const PeakRegion& region);
    /// Adds a point as AddRegion does; raises pointAdded. (The effect
    /// viewer's AddPoint adds envelope points.)
    QString AddTimePoint(const PeakPoint& point);
    /// Replaces the region of the same id; raises regionChanged when it differs.
    bool UpdateRegion(const PeakRegion& region);
    /// Replaces the point of the same id; raises pointChanged when it differs.
    bool UpdateTimePoint(const PeakPoint& point);
    /// Removes a region; raises regionRemoved. False when there is none of that id.
    bool RemoveRegion(const QString& id);
    /// Removes a point; raises pointRemoved. False when there is none of that id.
    bool RemoveTimePoint(const QString& id);
    /// Removes every region and point (each raising its removal).
    void ClearRegions();
    /// Replaces all regions and points by those of peaks.js JSON (removals
    /// and additions raised). Refused input, with the reason in `error`,
    /// leaves them as they were.
    bool LoadRegionsJson(QByteArrayView json, QString* error = nullptr);
    /// LoadRegionsJson from a file.
    bool LoadRegionsFile(const QString& fileName, QString* error = nullptr);
    /// The regions and points as peaks.js JSON, unknown fields included.
    QByteArray RegionsJson() const;
    /// Writes RegionsJson through the output path: never over the peak file,
    /// media, a read-only file or a file of another kind.
    bool SaveRegionsFile(const QString& fileName, QString* error = nullptr) const;
    /// The region last clicked or added from the mark; empty for none.
    QString SelectedRegion() const { return selectedRegion_; }
    /// The point last clicked; empty for none.
    QString SelectedPoint() const { return selectedPoint_; }
    /// Adds an editable region over the marked range and selects it; empty
    /// when no range is marked.
    QString AddRegionFromMark();
    /// Whether the Insert key calls AddRegionFromMark (off by default).
    bool RegionInsertKey() const { return regionInsertKey_; }
    /// Plain store.
    void SetRegionInsertKey(bool value) { regionInsertKey_ = value; }

    /// A source of a peak stream that is being written: it copies the
    /// stream's header (Head, up to 16 bytes) and its bytes from `from` on
    /// (Tail) with the stream's valid length (Total); false when the stream
    /// is gone.
    using TLiveSource = PeakLiveFollow::Source;
    /// How often a live stream is pulled.
    static constexpr int LiveIntervalMs = PeakLiveFollow::IntervalMs;
    /// Follows a peak stream while it is being written. The viewer pulls
    /// every LiveIntervalMs and repaints only when records arrived, so the
    /// picture fills in a few times a second. Any other load, Clear and
    /// StopLiveStream end it; it also ends by itself once the stream stops
    /// growing after its build.
    void SetLiveSource(TLiveSource source, std::function<bool()> stillWriting = {});
    /// Follows the builder's stream of queued file `index`.
    void SetLiveStream(TKXPeakBuilder* builder, int index);
    /// Ends following a live stream; the peaks taken so far stay.
    void StopLiveStream();
    /// Whether a live stream is followed.
    bool LiveStream() const { return live_.Active(); }
    /// One pull of the live stream (the timer's tick); true when it brought
    /// something new.
    bool PullLiveStream();

    /// Redraws the back buffer; copies it to Target, or to the window when
    /// Target is null, when CopyToScreen is set.
    virtual void PaintPeaks(bool copyToScreen, TCanvas* target);
    /// Sets the cursor position from a client x coordinate.
    virtual void SetPositionAt(int x);
    /// Applies one scroll-bar request code.
    virtual void DoScroll(int scrollCode);

    // --- state the demo and tests read

    /// Client column of the play pointer as last drawn; 0 when none is drawn.
    int PointerX() const { return pointerX_; }
    /// The cursor position in milliseconds.
    int64_t Position() const { return position_; }
    /// The cursor position as a typed time.
    MediaTime PositionTime() const { return std::chrono::milliseconds(position_); }
    /// Start of the marked range in milliseconds.
    int MarkStart() const { return markStart_; }
    /// End of the marked range in milliseconds.
    int MarkEnd() const { return markEnd_; }
    /// Start of the marked range.
    MediaTime MarkStartTime() const { return std::chrono::milliseconds(markStart_); }
    /// End of the marked range.
    MediaTime MarkEndTime() const { return std::chrono::milliseconds(markEnd_); }
    /// Fill colour of the marked range (fixed).
    TColor MarkColor() const { return markColor_; }
    /// Seconds across the client width at TimeScaler 1.
    uint8_t VisibleSeconds() const { return visibleSeconds_; }
    /// Seconds per scroll page.
    uint8_t PageSeconds() const { return steps_.PageSeconds; }
    /// Seconds per scroll line.
    uint8_t LineSeconds() const { return steps_.LineSeconds; }
    /// Scroll position: the peak index of the first column.
    int ScrollPos() const;
    /// The loaded data and its conversions.
    const PeakViewModel& Model() const { return model_; }
    /// The horizontal scroll bar.
    HorzScrollBar* ScrollBar() const { return scrollBar_; }
    /// Height of the scroll bar in pixels.
    int ScrollBarHeight() const;
    /// Width of the client area.
    int ClientWidth() const { return width(); }
    /// Height of the client area (above the scroll bar).
    int ClientHeight() const;
    /// Height the channel bands share: the client area above the time axis.
    int BandHeight() const { return std::max(0, ClientHeight() - timeAxisHeight_); }
    /// Whether the back buffer exists.
    bool HasBuffer() const { return !buffer_.isNull(); }
    /// The back buffer as last drawn.
    const QImage& BufferImage() const { return buffer_; }
    /// What the window shows: the buffer with the play pointer over it.
    QImage WindowImage() const;

    // --- events; each is also the signal of the same name without "On"

    /// Called at the end of every buffer redraw.
    TPaintProc OnPaint;
    /// Called after each horizontal scroll request.
    TScrollProc OnScroll;
    /// The mouse entered the control.
    TNotifyEvent OnEnter;
    /// The mouse left the control.
    TNotifyEvent OnExit;
    /// A mouse button was pressed.
    TMouseEvent OnMouseDown;
    /// A mouse button was released.
    TMouseEvent OnMouseUp;
    /// The mouse moved over the control.
    TMouseMoveEvent OnMouseMove;
    /// A double click with the left button.
    TNotifyEvent OnDblClick;
    /// A key was pressed.
    TKeyEvent OnKeyDown;
    /// A key press produced a character.
    TKeyPressEvent OnKeyPress;
    /// A key was released.
    TKeyEvent OnKeyUp;

    // --- property writers: as the setters, a refusal reported through error()

    /// Writes borderColor.
    void setBorderColor(const QColor& value) { SetBorderColor(value); }
    /// Writes color.
    void setColor(const QColor& value) { SetColor(value); }
    /// Writes peaksColor.
    void setPeaksColor(const QColor& value) { SetPeaksColor(value); }
    /// Writes pointerColor.
    void setPointerColor(const QColor& value) { SetPointerColor(value); }
    /// Writes positionColor.
    void setPositionColor(const QColor& value) { SetPositionColor(value); }
    /// Writes peaksFileName; a file that cannot be loaded is reported.
    KX_PROPERTY_WRITER(const QString&, setPeaksFileName, SetPeaksFileNameChecked, lcViewers)
    /// Writes playStepPercent; values outside 0 to 49 are reported.
    KX_PROPERTY_WRITER(int, setPlayStepPercent, SetPlayStepPercentChecked, lcViewers)
    /// Writes timeScaler; values SetTimeScaler ignores are reported.
    KX_PROPERTY_WRITER(float, setTimeScaler, SetTimeScalerChecked, lcViewers)
    /// Writes timeAxisHeight; values outside 0 to MaxTimeAxisHeight are reported.
    KX_PROPERTY_WRITER(int, setTimeAxisHeight, SetTimeAxisHeightChecked, lcViewers)
    /// Writes rmsColor; an invalid colour is reported.
    KX_PROPERTY_WRITER(const QColor&, setRmsColor, SetRmsColorChecked, lcViewers)
    /// Reads peakReduction.
    int peakReductionOrdinal() const { return int(PeakReduction()); }
    /// Writes peakReduction; unknown ordinals are reported.
    KX_PROPERTY_WRITER(int, setPeakReductionOrdinal, SetPeakReductionOrdinal, lcViewers)

public Q_SLOTS:
    /// Moves the play pointer (100 ns units); a player's time signal connects
    /// here to make the viewer follow it.
    void setPlayTime(qint64 time) { SetPlayTime(static_cast<int64_t>(time)); }
    /// Scrolls so that peak `position` is the first column (clamped to the range).
    void setScrollPosition(int position) { SetScrollPosition(position); }

Q_SIGNALS:
    /// OnPaint: the back buffer's painter, valid only during the call. Connect
    /// directly (Qt::DirectConnection, the default on the viewer's thread); a
    /// queued connection cannot carry it.
    void paint(QPainter& canvas);
    /// OnScroll, with the position the handler left (a slot cannot change it).
    /// Named so because QWidget::scroll(int, int) exists.
    void scrolled(int scrollCode, int scrollPos);
    /// OnEnter: the mouse entered the control.
    void enter();
    /// OnExit: the mouse left the control.
    void exit();
    /// OnMouseDown, in client coordinates.
    void mouseDown(kx::TMouseButton button, kx::TShiftState shift, int x, int y);
    /// OnMouseUp, in client coordinates.
    void mouseUp(kx::TMouseButton button, kx::TShiftState shift, int x, int y);
    /// OnMouseMove, in client coordinates.
    void mouseMove(kx::TShiftState shift, int x, int y);
    /// OnDblClick.
    void dblClick();
    /// OnKeyDown, with the key as the handler left it (a slot cannot change it).
    void keyDown(quint16 key, kx::TShiftState shift);
    /// OnKeyPress, with the character as the handler left it (a slot cannot change it).
    void keyPress(QChar key);
    /// OnKeyUp, with the key as the handler left it (a slot cannot change it).
    void keyUp(quint16 key, kx::TShiftState shift);
    /// A property write was refused.
    void error(const QString& message);
    /// The cursor position moved (ms): a click, an arrow key or SetPosition.
    void cursorPositionChanged(qint64 ms);
    /// The first column shows another peak: scroll bar, paging, zoom or load.
    void scrollPositionChanged(int position);
    /// SetPlayTime was given another time (100 ns units).
    void playTimeChanged(qint64 time);
    /// The zoom changed.
    void timeScalerChanged(float value);
    /// The marked range changed.
    void markChanged();
    /// Peaks were loaded, arrived from a live stream or were forgotten, or
    /// PeaksFileName changed.
    void peaksChanged();
    /// A region was added (by code, a load or the Insert key).
    void regionAdded(const QString& id);
    /// A region's times or other fields changed (by code, a drag or a nudge).
    void regionChanged(const QString& id);
    /// A region was removed (by code, a load or the Delete key).
    void regionRemoved(const QString& id);
    /// A region was clicked (pressed and released without moving it).
    void regionClicked(const QString& id);
    /// A point was added.
    void pointAdded(const QString& id);
    /// A point's time or other fields changed.
    void pointChanged(const QString& id);
    /// A point was removed.
    void pointRemoved(const QString& id);
    /// A point was clicked.
    void pointClicked(const QString& id);

protected:
    /// Left button pressed at a client point; subclasses extend it and call
    /// the base handler.
    virtual void LButtonDown(int x, int y, TShiftState shift);
    /// Left button released.
    virtual void LButtonUp(int x, int y, TShiftState shift);
    /// Left button double-clicked.
    virtual void LButtonDblClk(int x, int y, TShiftState shift);
    /// The mouse moved.
    virtual void MouseMoved(int x, int y, TShiftState shift);
    /// The mouse entered the control.
    virtual void MouseEntered();
    /// The mouse left the control.
    virtual void MouseLeft();

    /// Redraws the buffer and shows it.
    void Repaint() { PaintPeaks(true, nullptr); }
    /// Scrolls to a peak index and repaints.
    void SetScrollPosition(int pos);
    /// Range and page for the loaded peaks, position 0.
    void UpdateScrollRange();
    /// Range and page for the loaded peaks at the current scaler, then the
    /// position clamped into them.
    void UpdateScrollPage(int pos);
    /// Whether no peaks are loaded.
    bool PeakDataEmpty() const { return model_.PeakData.empty(); }
    /// The model, for subclasses.
    PeakViewModel& MutableModel() { return model_; }

    /// The device pixel ratio the back buffer is drawn at: the window's.
    virtual double BufferRatio() const;
    /// Redraws at a new pixel ratio when the window changes screens.
    bool event(QEvent* event) override;
    /// Copies the buffer and draws the play pointer over it.
    void paintEvent(QPaintEvent* event) override;
    /// Makes a new buffer and scroll range.
    void resizeEvent(QResizeEvent* event) override;
    /// Raises the mouse-down handlers.
    void mousePressEvent(QMouseEvent* event) override;
    /// Raises the mouse-up handlers.
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// Raises the double-click handlers.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    /// Raises the mouse-move handlers.
    void mouseMoveEvent(QMouseEvent* event) override;
    /// Steps the cursor position with the arrow keys; raises the key handlers.
    void keyPressEvent(QKeyEvent* event) override;
    /// Raises the key-up handler.
    void keyReleaseEvent(QKeyEvent* event) override;
    /// Raises OnEnter.
    void enterEvent(QEnterEvent* event) override;
    /// Raises OnExit.
    void leaveEvent(QEvent* event) override;
    /// Shows PopupMenu.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool ApplyLoad(PeakLoad&& load);
    void ScrollRequest(int code);
    void RebuildBuffer();
    void DrawPointer(QPainter& painter) const;
    void UpdatePointerColumn(int x);
    void MovePlayPointer(int64_t time);
    // The mouse handlers and their signals.
    void RaiseMouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void RaiseMouseUp(TMouseButton button, TShiftState shift, int x, int y);
    void ScrollToMs(int64_t ms);
    // cursorPositionChanged when the position is other than `before`.
    void NotifyPosition(int64_t before);
    // Property writers' setters: refuse what the plain setters ignore.
    void SetPeaksFileNameChecked(const QString& value);
    void SetPlayStepPercentChecked(int value);
    void SetTimeScalerChecked(float value);
    void SetPeakReductionOrdinal(int value);
    // A load's regions replace the held ones, removals and additions raised.
    void ReplaceRegions(PeakRegionSet&& set);
    // Regions: the mouse and keys edit them (KXCustomPeakViewerRegions.cpp).
    // The mouse handlers return true when an editable item took the press.
    bool RegionMouseDown(int x);
    void RegionMouseMove(int x);
    void RegionMouseUp(int x);
    bool RegionKey(uint16_t key, TShiftState shift);
    bool SetRegionTimes(const QString& id, double start, double end);
    bool SetPointTime(const QString& id, double time);
    void NudgeSelected(int64_t records);
    void MoveRegionItem(const RegionHit& item, const RegionTimes& times);
    void ShowRegionCursor(int x);
    void Select(const QString& region, const QString& point);
    void PaintRegionOverlay();
    void SetTimeAxisHeightChecked(int value);
    void DrawAxisStrip();

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
    int64_t playTime_ = 0;
    // The position scrollPositionChanged last reported.

    PeakLiveFollow live_;
    QTimer* liveTimer_ = nullptr;

    // A long peak file read a piece at a time, and the RMS band.
    void ContinueLoading();
    void StopLoading();
    void AfterLoad();
    void SetRmsColorChecked(const QColor& value);
    std::unique_ptr<PeakFileFill> fill_;
    QTimer* fillTimer_ = nullptr;
    bool showRms_ = false;
    QColor rmsColor_;  // invalid: follows the peaks' colour
    PeakRegionSet regions_;
    std::optional<RegionPress> press_;
    QString selectedRegion_, selectedPoint_;
    bool regionInsertKey_ = false;
    RegionLabelCache labelCache_;
    // The cursor set before one over a grab zone replaced it (empty when unset).
    std::optional<std::optional<QCursor>> cursorBeforeRegion_;
    int timeAxisHeight_ = 0;
};

} // namespace kx
