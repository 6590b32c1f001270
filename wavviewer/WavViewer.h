#pragma once
#include <QBasicTimer>
#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/Logging.h"
#include "platform/MemoryStream.h"
#include "platform/QtProperties.h"
#include "platform/TimeUnits.h"
#include "wavviewer/MyPanel.h"
#include "wavviewer/WavFile.h"

namespace kx {

class HorzScrollBar;
class MessageWindow;
class WaveDevice;

/// Progress of BuildPeaks; clearing BreakProcess (true on entry) stops it.
using TBuildingPeaksProc =
    std::function<void(QObject* Sender, int BytesRead, float PercentDone, bool& BreakProcess)>;
/// A button press in the peak area, in client coordinates.
using TMouseProc = std::function<void(QObject* Sender, bool LeftButton, int X, int Y)>;
/// A tick of the play timer with the device's play position.
using TPlayingProc = std::function<void(QObject* Sender, int TimerId, int PlayingPos)>;

/// One time mark of the top panel: its panel column and the time it names.
struct TimeMark {
    int X;         ///< panel column
    int64_t Ms;    ///< time in milliseconds
    QString Label; ///< the time as shown
};

/**
 * Shows one 8- or 16-bit PCM WAV file as one peak record per pixel column,
 * with a channel panel, a time-mark panel and a horizontal scroll bar, and
 * plays it with a moving play pointer.
 *
 * Each event `OnX` is also the signal `x` (see Q_SIGNALS); each setting is
 * also a property. A refused property write is reported through error().
 * Every event, the play timer's included, is raised on the viewer's thread.
 */
class TWavViewer : public QWidget, public DesignState
{
    Q_OBJECT
    ///@{
    /// Settings. Colours read with system colours resolved through the
    /// palette; infoBevelInner and infoBevelOuter are TBevelCut ordinals,
    /// infoBorderStyle a TBorderStyle ordinal.
    Q_PROPERTY(QString fileName READ FileName WRITE setFileName NOTIFY fileNameChanged)
    Q_PROPERTY(QString peaksFileExt READ PeaksFileExt WRITE setPeaksFileExt)
    Q_PROPERTY(bool savePeaks READ SavePeaks WRITE setSavePeaks)
    Q_PROPERTY(QColor color READ ColorAsQColor WRITE setColor)
    Q_PROPERTY(QColor borderColor READ BorderColorAsQColor WRITE setBorderColor)
    Q_PROPERTY(QColor peaksColor READ PeaksColorAsQColor WRITE setPeaksColor)
    Q_PROPERTY(QColor positionColor READ PositionColorAsQColor WRITE setPositionColor)
    Q_PROPERTY(QColor marksColor READ MarksColorAsQColor WRITE setMarksColor)
    Q_PROPERTY(int marksInterval READ MarksInterval WRITE setMarksInterval)
    Q_PROPERTY(int secondsToShow READ SecondsToShow WRITE setSecondsToShow NOTIFY secondsToShowChanged)
    Q_PROPERTY(int smallChangeSeconds READ SmallChangeSeconds WRITE setSmallChangeSeconds)
    Q_PROPERTY(int largeChangeSeconds READ LargeChangeSeconds WRITE setLargeChangeSeconds)
    Q_PROPERTY(int infoWidth READ InfoWidth WRITE setInfoWidth)
    Q_PROPERTY(int infoHeight READ InfoHeight WRITE setInfoHeight)
    Q_PROPERTY(QColor infoBackColor READ InfoBackColorAsQColor WRITE setInfoBackColor)
    Q_PROPERTY(int infoBevelInner READ infoBevelInnerOrdinal WRITE setInfoBevelInner)
    Q_PROPERTY(int infoBevelOuter READ infoBevelOuterOrdinal WRITE setInfoBevelOuter)
    Q_PROPERTY(int infoBevelWidth READ InfoBevelWidth WRITE setInfoBevelWidth)
    Q_PROPERTY(int infoBorderWidth READ InfoBorderWidth WRITE setInfoBorderWidth)
    Q_PROPERTY(int infoBorderStyle READ infoBorderStyleOrdinal WRITE setInfoBorderStyle)
    Q_PROPERTY(int clientWidth READ ClientWidth WRITE setClientWidth)
    Q_PROPERTY(int clientHeight READ ClientHeight WRITE setClientHeight)
    Q_PROPERTY(bool autoLoop READ AutoLoop WRITE setAutoLoop)
    Q_PROPERTY(int playingInterval READ PlayingInterval WRITE setPlayingInterval)
    Q_PROPERTY(QColor pointerColor READ PointerColorAsQColor WRITE setPointerColor)
    ///@}
    ///@{
    /// State that changes by itself: mouse, keys, scroll bar, playback, builds.
    Q_PROPERTY(int cursorPosition READ Position WRITE setCursorPosition NOTIFY cursorPositionChanged)
    Q_PROPERTY(int scrollPosition READ ScrollPos WRITE setScrollPosition NOTIFY scrollPositionChanged)
    Q_PROPERTY(int playPosition READ PlayPosition NOTIFY playPositionChanged)
    Q_PROPERTY(qint64 peakCount READ PeakCount NOTIFY peaksChanged)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setPeaksFileExt(const QString& value) { SetPeaksFileExt(value); } ///< Writes peaksFileExt.
    void setSavePeaks(bool value) { SetSavePeaks(value); } ///< Writes savePeaks.
    void setInfoWidth(int value) { SetInfoWidth(value); } ///< Writes infoWidth.
    void setInfoHeight(int value) { SetInfoHeight(value); } ///< Writes infoHeight.
    void setInfoBevelInner(int value) { setInfoBevelInnerOrdinal(value); } ///< Writes infoBevelInner.
    void setInfoBevelOuter(int value) { setInfoBevelOuterOrdinal(value); } ///< Writes infoBevelOuter.
    void setInfoBevelWidth(int value) { SetInfoBevelWidth(value); } ///< Writes infoBevelWidth.
    void setInfoBorderWidth(int value) { SetInfoBorderWidth(value); } ///< Writes infoBorderWidth.
    void setInfoBorderStyle(int value) { setInfoBorderStyleOrdinal(value); } ///< Writes infoBorderStyle.
    void setClientWidth(int value) { SetClientWidth(value); } ///< Writes clientWidth.
    void setClientHeight(int value) { SetClientHeight(value); } ///< Writes clientHeight.
    void setAutoLoop(bool value) { SetAutoLoop(value); } ///< Writes autoLoop.
    void setPlayingInterval(int value) { SetPlayingInterval(value); } ///< Writes playingInterval.
    void setCursorPosition(int value) { SetPosition(value); } ///< Writes cursorPosition.
    void setScrollPosition(int value) { SetScrollPosition(value); } ///< Writes scrollPosition.
    ///@}
public:
    /// An empty viewer with its two panels and scroll bar.
    explicit TWavViewer(QWidget* parent = nullptr);
    ~TWavViewer() override;

    // --- file and peaks

    /// The WAV file shown.
    const QString& FileName() const { return fileName_; }
    /// Reads the new file's header; a file that is not a PCM WAV is refused
    /// with a message and the previous file stays. Empty closes everything.
    void SetFileName(const QString& value);
    /// Extension of the peak files written (".pek").
    const QString& PeaksFileExt() const { return peaksFileExt_; }
    /// A "." is put in front when missing; longer values are cut to 4 characters.
    void SetPeaksFileExt(const QString& value);
    /// Whether BuildPeaks writes the peak file.
    bool SavePeaks() const { return savePeaks_; }
    /// Plain store.
    void SetSavePeaks(bool value) { savePeaks_ = value; }

    /// Reads the header of FileName; false (with a message) when refused.
    bool ReadHeader();
    /// Reduces the file to one record per column of SecondsToShow.
    bool BuildPeaks();
    /// Writes the records to a peak file (empty: beside the WAV).
    bool SavePeaksToFile(const QString& PeakFileName);
    /// As above; force also replaces a peak file of the builder's layout or
    /// waveform data, which are kept otherwise.
    bool SavePeaksToFile(const QString& PeakFileName, bool force);
    /// Why the last SavePeaksToFile failed, the file named; empty after a success.
    const QString& SaveError() const { return saveError_; }

    /// The records of the loaded file (max, min per channel).
    TMemoryStream& PeakData() { return peakData_; }
    /// The records of the loaded file (max, min per channel).
    const TMemoryStream& PeakData() const { return peakData_; }
    /// Bytes of one sample frame.
    uint8_t BlockAlign() const { return info_.BlockAlign; }
    /// Channels of the file.
    uint8_t Channels() const { return info_.Channels; }
    /// Frames per second of the file.
    int32_t SampleRate() const { return info_.SampleRate; }
    /// Bytes of sample data.
    uint32_t DataSize() const { return info_.DataSize; }
    /// Length of the file's sample data.
    MediaTime DurationTime() const;

    /// Raised after every buffer read by BuildPeaks.
    TBuildingPeaksProc OnBuildingPeaks;
    /// Kept for the form; never raised.
    TBuildingPeaksProc OnReadBytes;

    // --- display

    /// Background of the peak area.
    TColor Color() const { return color_; }
    /// Repaints when changed and a back buffer exists.
    void SetColor(TColor value);
    /// As SetColor(TColor).
    void SetColor(const QColor& value) { SetColor(FromQColor(value)); }
    /// Color as painted.
    QColor ColorAsQColor() const { return ToQColor(color_, palette()); }
    /// Colour of the frame and the lane lines.
    TColor BorderColor() const { return borderColor_; }
    /// Repaints the left panel and the peaks when changed.
    void SetBorderColor(TColor value);
    /// As SetBorderColor(TColor).
    void SetBorderColor(const QColor& value) { SetBorderColor(FromQColor(value)); }
    /// BorderColor as painted.
    QColor BorderColorAsQColor() const { return ToQColor(borderColor_, palette()); }
    /// Colour of the peaks.
    TColor PeaksColor() const { return peaksColor_; }
    /// Repaints when changed and peaks exist.
    void SetPeaksColor(TColor value);
    /// As SetPeaksColor(TColor).
    void SetPeaksColor(const QColor& value) { SetPeaksColor(FromQColor(value)); }
    /// PeaksColor as painted.
    QColor PeaksColorAsQColor() const { return ToQColor(peaksColor_, palette()); }
    /// Colour of the position marker.
    TColor PositionColor() const { return positionColor_; }
    /// Repaints when changed and the marker is in view.
    void SetPositionColor(TColor value);
    /// As SetPositionColor(TColor).
    void SetPositionColor(const QColor& value) { SetPositionColor(FromQColor(value)); }
    /// PositionColor as painted.
    QColor PositionColorAsQColor() const { return ToQColor(positionColor_, palette()); }
    /// Colour of the time marks.
    TColor MarksColor() const { return marksColor_; }
    /// Repaints the top panel when changed.
    void SetMarksColor(TColor value);
    /// As SetMarksColor(TColor).
    void SetMarksColor(const QColor& value) { SetMarksColor(FromQColor(value)); }
    /// MarksColor as painted.
    QColor MarksColorAsQColor() const { return ToQColor(marksColor_, palette()); }
    /// Seconds between time marks.
    uint8_t MarksInterval() const { return marksInterval_; }
    /// Ignored outside 2 to MarksIntervalLimit() (with a message while designing).
    void SetMarksInterval(uint8_t value);
    /// The widest marks interval the view takes, in seconds.
    int64_t MarksIntervalLimit() const;
    /// Seconds of audio across the peak area.
    uint8_t SecondsToShow() const { return secondsToShow_; }
    /// 0 is ignored; lowers the change steps to at most the new value.
    void SetSecondsToShow(uint8_t value);
    /// Seconds per scroll line.
    uint8_t SmallChangeSeconds() const { return smallChangeSeconds_; }
    /// Ignored unless 0 < value < LargeChangeSeconds and < SecondsToShow.
    void SetSmallChangeSeconds(uint8_t value);
    /// Seconds per scroll page.
    uint8_t LargeChangeSeconds() const { return largeChangeSeconds_; }
    /// Ignored unless SmallChangeSeconds < value < SecondsToShow.
    void SetLargeChangeSeconds(uint8_t value);
    /// Width of the left panel.
    int InfoWidth() const;
    /// Within the panel's limits; updates the scroll range.
    void SetInfoWidth(int value);
    /// Height of the top panel.
    int InfoHeight() const;
    /// Within the panel's limits.
    void SetInfoHeight(int value);
    /// Background of both panels.
    TColor InfoBackColor() const;
    /// Sets both panels.
    void SetInfoBackColor(TColor value);
    /// As SetInfoBackColor(TColor).
    void SetInfoBackColor(const QColor& value) { SetInfoBackColor(FromQColor(value)); }
    /// InfoBackColor as painted.
    QColor InfoBackColorAsQColor() const { return ToQColor(InfoBackColor(), palette()); }
    /// Inner bevel of both panels.
    TBevelCut InfoBevelInner() const;
    /// Sets both panels.
    void SetInfoBevelInner(TBevelCut value);
    /// Outer bevel of both panels.
    TBevelCut InfoBevelOuter() const;
    /// Sets both panels.
    void SetInfoBevelOuter(TBevelCut value);
    /// Bevel width of both panels.
    TBevelWidth InfoBevelWidth() const;
    /// Sets both panels.
    void SetInfoBevelWidth(TBevelWidth value);
    /// Border width of both panels.
    TBorderWidth InfoBorderWidth() const;
    /// Sets both panels.
    void SetInfoBorderWidth(TBorderWidth value);
    /// Border style of both panels.
    TBorderStyle InfoBorderStyle() const;
    /// Sets both panels.
    void SetInfoBorderStyle(TBorderStyle value);

    /// The user's position in milliseconds: the marker and where Play starts.
    int Position() const { return position_; }
    /// Repaints when changed.
    void SetPosition(int ms);
    /// Sets the position, truncated to the millisecond.
    void SetPosition(MediaTime time);
    /// The position as a typed time.
    MediaTime PositionTime() const { return std::chrono::milliseconds(position_); }
    /// Whether the view pages with the play pointer.
    bool FollowPlay() const { return followPlay_; }
    /// Client column of the play pointer; 0 when none.
    int PointerX() const { return pointerX_; }

    /// Raised after each window paint.
    TPaintProc OnPaint;
    /// Raised after the left panel is painted; Sender is the left panel.
    TPaintProc OnPaintHorzInfo;
    /// Raised after the top panel is painted; Sender is the top panel.
    TPaintProc OnPaintVertInfo;
    /// Raised on left and right button presses in the peak area.
    TMouseProc OnButtonDown;
    /// Raised after each horizontal scroll request.
    TScrollProc OnScroll;
    /// A key was pressed.
    TKeyEvent OnKeyDown;
    /// A key was released.
    TKeyEvent OnKeyUp;
    /// A key press produced a character.
    std::function<void(QObject* Sender, QChar& Key)> OnKeyPress;
    /// The viewer took the keyboard focus.
    TNotifyEvent OnEnter;
    /// The viewer lost the keyboard focus.
    TNotifyEvent OnExit;

    /// The channel panel.
    TMyPanel* LeftPanel() const { return leftPanel_; }
    /// The time-mark panel.
    TMyPanel* TopPanel() const { return topPanel_; }
    /// The horizontal scroll bar.
    HorzScrollBar* ScrollBar() const { return scrollBar_; }
    /// Width of the client area.
    int ClientWidth() const;
    /// Resizes the viewer.
    void SetClientWidth(int value);
    /// The client area ends above the scroll bar.
    int ClientHeight() const;
    /// Resizes the viewer.
    void SetClientHeight(int value);
    /// Width of the peak area, W.
    int PeakAreaWidth() const;
    /// Scroll position: the record shown in the first column of the peak area.
    int ScrollPos() const;

    /// Sets the position from a client column.
    virtual void SetPositionAt(int X);
    /// Applies one scroll-bar request code.
    virtual void DoScroll(int ScrollCode);
    /// Draws the channel panel's lines and labels.
    virtual void PaintChannelInfo(TCanvas& Canvas);
    /// Draws the time marks of the top panel.
    virtual void PaintTimeMarks(TCanvas& Canvas);
    /// Redraws the back buffer; copies it to Target, or to the window when
    /// Target is null, when CopyToScreen is set.
    virtual void PaintPeaks(bool CopyToScreen, TCanvas* Target);

    /// Range and page for the records; position 0; stops the play timer.
    void UpdateScrollRange();
    /// Scrolls to a record and repaints.
    void SetScrollPosition(int P);

    /// Marks the top panel draws, in panel columns.
    std::vector<TimeMark> TimeMarks() const;
    /// Rows of the channel panel's zero lines, in panel coordinates.
    std::vector<int> ChannelLines() const;
    /// The back buffer as last drawn (null before the first resize).
    const QImage& BackBuffer() const { return buffer_; }

    // Conversions between stored values, records, milliseconds and columns.

    /// Values held in PeakData.
    int64_t ValueCount() const;
    /// Record of a value index.
    int64_t PeakAtValueIndex(int64_t V) const;
    /// Records held in PeakData.
    int64_t PeakCount() const;
    /// Value index at a time.
    int64_t ValueIndexAtMs(int64_t Ms) const;
    /// Record at a time.
    int64_t PeakAtMs(int64_t Ms) const;
    /// Sample frame of a value index.
    int64_t FrameAtValueIndex(int64_t V) const;
    /// Time of a value index.
    int64_t MsAtValueIndex(int64_t V) const;
    /// Value index at a scroll-relative column.
    int64_t ValueIndexAtPixel(int64_t P) const;
    /// Time at a scroll-relative column.
    int64_t MsAtPixel(int64_t P) const;

    // --- playback

    /// A completed playback restarts at Position.
    bool AutoLoop() const { return autoLoop_; }
    /// Plain store.
    void SetAutoLoop(bool value) { autoLoop_ = value; }
    /// Milliseconds between play timer ticks.
    int PlayingInterval() const { return playingInterval_; }
    /// Restarts a running play timer with the new interval.
    void SetPlayingInterval(int value);
    /// Colour of the play pointer.
    TColor PointerColor() const { return pointerColor_; }
    /// Plain store.
    void SetPointerColor(TColor value) { pointerColor_ = value; }
    /// As SetPointerColor(TColor).
    void SetPointerColor(const QColor& value) { SetPointerColor(FromQColor(value)); }
    /// PointerColor as painted.
    QColor PointerColorAsQColor() const { return ToQColor(pointerColor_, palette()); }
    /// Raised on each tick of the play timer (the viewer's thread).
    TPlayingProc OnPlaying;

    /// Opens the device when needed and plays to the end: from Position when
    /// FromPosition is set, else from device time From.
    void Play(bool FromPosition, uint32_t From);
    /// Plays from a typed time (to the millisecond).
    void Play(MediaTime from);
    /// Pauses a playing device, resumes a paused one.
    void PauseResume();
    /// Stops playing.
    void Stop();
    /// The device's position in its time units (ms); 0 when not open.
    int PlayPosition() const;
    /// The device's position as a typed time.
    MediaTime PlayPositionTime() const;
    /// 0 not ready or closed, 1 stopped, 2 playing, 3 paused, ...
    int PlayMode() const;
    /// Opens the device on FileName (with a message when it cannot).
    void OpenMedia();
    /// Closes the device.
    void CloseMedia();
    /// Whether the device is open.
    bool MediaOpen() const { return mediaOpen_; }
    /// Playback was started or resumed and not stopped or paused since.
    bool PlayRequested() const { return playRequested_; }
    /// Whether the play timer runs.
    bool PlayTimerActive() const { return playTimer_.isActive(); }
    /// The device's time format (0 milliseconds).
    int TimeFormat() const;
    /// Device time to milliseconds.
    int64_t DeviceToMs(int64_t V) const;
    /// Milliseconds to device time.
    int64_t MsToDevice(int64_t Ms) const;
    /// Length of the file in device time.
    int64_t PlayLength() const;
    /// Moves the play pointer to the device's position; pages when it runs
    /// off the right edge.
    virtual void UpdatePointer();

    /// Identifier the play timer's ticks carry.
    static constexpr int PlayTimerId = 1;

    // --- property writers: as the setters, a refusal reported through error()

    /// Writes fileName; a file that is not a PCM WAV is reported.
    KX_PROPERTY_WRITER(const QString&, setFileName, SetFileNameChecked, lcWavViewer)
    /// Writes color.
    void setColor(const QColor& value) { SetColor(value); }
    /// Writes borderColor.
    void setBorderColor(const QColor& value) { SetBorderColor(value); }
    /// Writes peaksColor.
    void setPeaksColor(const QColor& value) { SetPeaksColor(value); }
    /// Writes positionColor.
    void setPositionColor(const QColor& value) { SetPositionColor(value); }
    /// Writes marksColor.
    void setMarksColor(const QColor& value) { SetMarksColor(value); }
    /// Writes infoBackColor.
    void setInfoBackColor(const QColor& value) { SetInfoBackColor(value); }
    /// Writes pointerColor.
    void setPointerColor(const QColor& value) { SetPointerColor(value); }
    /// Writes marksInterval; values outside 2 to MarksIntervalLimit() are reported.
    KX_PROPERTY_WRITER(int, setMarksInterval, SetMarksIntervalChecked, lcWavViewer)
    /// Writes secondsToShow; values outside 1 to 255 are reported.
    KX_PROPERTY_WRITER(int, setSecondsToShow, SetSecondsToShowChecked, lcWavViewer)
    /// Writes smallChangeSeconds; values the setter ignores are reported.
    KX_PROPERTY_WRITER(int, setSmallChangeSeconds, SetSmallChangeSecondsChecked, lcWavViewer)
    /// Writes largeChangeSeconds; values the setter ignores are reported.
    KX_PROPERTY_WRITER(int, setLargeChangeSeconds, SetLargeChangeSecondsChecked, lcWavViewer)
    /// Reads infoBevelInner.
    int infoBevelInnerOrdinal() const { return int(InfoBevelInner()); }
    /// Writes infoBevelInner; unknown ordinals are reported.
    KX_PROPERTY_WRITER(int, setInfoBevelInnerOrdinal, SetInfoBevelInnerOrdinal, lcWavViewer)
    /// Reads infoBevelOuter.
    int infoBevelOuterOrdinal() const { return int(InfoBevelOuter()); }
    /// Writes infoBevelOuter; unknown ordinals are reported.
    KX_PROPERTY_WRITER(int, setInfoBevelOuterOrdinal, SetInfoBevelOuterOrdinal, lcWavViewer)
    /// Reads infoBorderStyle.
    int infoBorderStyleOrdinal() const { return int(InfoBorderStyle()); }
    /// Writes infoBorderStyle; unknown ordinals are reported.
    KX_PROPERTY_WRITER(int, setInfoBorderStyleOrdinal, SetInfoBorderStyleOrdinal, lcWavViewer)

Q_SIGNALS:
    /// OnBuildingPeaks. The break flag is left out: only the handler can stop a build.
    void buildingPeaks(int bytesRead, float percentDone);
    /// OnReadBytes; never emitted, as the event is never raised.
    void readBytes(int bytesRead, float percentDone);
    /// OnPaint: the window's painter, valid only during the call. Connect
    /// directly (Qt::DirectConnection, the default on the viewer's thread); a
    /// queued connection cannot carry it.
    void paint(QPainter& canvas);
    /// OnPaintHorzInfo: the left panel and its painter; direct connections only, as paint().
    void paintHorzInfo(QWidget* panel, QPainter& canvas);
    /// OnPaintVertInfo: the top panel and its painter; direct connections only, as paint().
    void paintVertInfo(QWidget* panel, QPainter& canvas);
    /// OnButtonDown, in client coordinates.
    void buttonDown(bool leftButton, int x, int y);
    /// OnScroll, with the position the handler left (a slot cannot change it).
    /// Named so because QWidget::scroll(int, int) exists.
    void scrolled(int scrollCode, int scrollPos);
    /// OnKeyDown, with the key as the handler left it (a slot cannot change it).
    void keyDown(quint16 key, kx::TShiftState shift);
    /// OnKeyUp, with the key as the handler left it (a slot cannot change it).
    void keyUp(quint16 key, kx::TShiftState shift);
    /// OnKeyPress, with the character as the handler left it (a slot cannot change it).
    void keyPress(QChar key);
    /// OnEnter: the viewer took the keyboard focus.
    void enter();
    /// OnExit: the viewer lost the keyboard focus.
    void exit();
    /// OnPlaying: a play timer tick with the device's position.
    void playing(int timerId, int playingPos);
    /// A property write was refused.
    void error(const QString& message);
    /// Another file was taken or the file was closed.
    void fileNameChanged(const QString& fileName);
    /// Records were built, or dropped with their file.
    void peaksChanged();
    /// The zoom changed.
    void secondsToShowChanged(int seconds);
    /// The position moved (ms): a click, an arrow key or SetPosition.
    void cursorPositionChanged(int ms);
    /// The first column shows another record: scroll bar, paging or range.
    void scrollPositionChanged(int position);
    /// The play position moved, seen at a play timer tick or a stop.
    void playPositionChanged(int position);

protected:
    /// Copies the buffer and draws the play pointer over it.
    void paintEvent(QPaintEvent* event) override;
    /// Makes a new buffer and lays out the panels.
    void resizeEvent(QResizeEvent* event) override;
    /// Sets the position; raises OnButtonDown.
    void mousePressEvent(QMouseEvent* event) override;
    /// Steps the position with the arrow keys; raises the key handlers.
    void keyPressEvent(QKeyEvent* event) override;
    /// Raises the key-up handler.
    void keyReleaseEvent(QKeyEvent* event) override;
    /// Raises OnEnter.
    void focusInEvent(QFocusEvent* event) override;
    /// Raises OnExit.
    void focusOutEvent(QFocusEvent* event) override;
    /// The play timer's tick.
    void timerEvent(QTimerEvent* event) override;
    /// Font and palette changes.
    void changeEvent(QEvent* event) override;

private:
    friend class TMyPanel;
    void LayoutChildren();
    // The back buffer at the window's device pixel ratio.
    void RebuildBuffer();
    // A client rectangle in the back buffer's device pixels.
    QRectF DeviceRect(const QRect& r) const;
    void UpdatePanelMinimums();
    void PanelResized(TMyPanel* panel);
    void Repaint();
    void RepaintPanel(TMyPanel* panel);
    void StartPlayTimer();
    void StopPlayTimer();
    void DeviceMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    void ScrollRequest(int code);
    bool Extract(FileByteReader& reader, const WavInfo& info);
    int LaneCount() const;
    // cursorPositionChanged when the position is other than `before`.
    void NotifyPosition(int before);
    // playPositionChanged when the device's position moved since last told.
    void NotifyPlayPosition(int position);
    // Property writers' setters: refuse what the plain setters ignore.
    void SetFileNameChecked(const QString& value);
    void SetMarksIntervalChecked(int value);
    void SetSecondsToShowChecked(int value);
    void SetSmallChangeSecondsChecked(int value);
    void SetLargeChangeSecondsChecked(int value);
    void SetInfoBevelInnerOrdinal(int value);
    void SetInfoBevelOuterOrdinal(int value);
    void SetInfoBorderStyleOrdinal(int value);

    // Fields in the order of the component's declaration.
    bool followPlay_ = false;
    bool autoLoop_ = false;
    TColor borderColor_ = clMaroon;
    QString fileName_;
    uint8_t largeChangeSeconds_ = 40;
    TColor marksColor_ = clBlack;
    uint8_t marksInterval_ = 7;
    TColor peaksColor_ = clBlue;
    TColor pointerColor_ = clBlack;
    TColor positionColor_ = clGreen;
    uint8_t smallChangeSeconds_ = 10;
    uint8_t secondsToShow_ = 30;
    int position_ = 0;
    int playingInterval_ = 100;
    QString saveError_;
    bool savePeaks_ = true;
    bool playRequested_ = false;
    TMyPanel* leftPanel_ = nullptr;
    TMyPanel* topPanel_ = nullptr;
    bool mediaOpen_ = false;
    QImage buffer_;
    int pointerX_ = 0;
    QString peaksFileExt_ = QStringLiteral(".pek");
    QBasicTimer playTimer_;
    std::unique_ptr<WaveDevice> device_;
    TMemoryStream peakData_;
    WavInfo info_;

    TColor color_ = clYellow;
    bool bufferDirty_ = true;
    int leftMin_ = 32, leftMax_ = 1 << 20; // left panel width limits
    int topMin_ = 28, topMax_ = 1 << 20;   // top panel height limits
    int infoWidth_ = 26;                   // wanted panel sizes, applied within the limits
    int infoHeight_ = 28;
    HorzScrollBar* scrollBar_ = nullptr;
    std::unique_ptr<MessageWindow> window_;
    // The positions the NOTIFY signals last reported.
    int notifiedPlayPos_ = 0;
};

} // namespace kx
