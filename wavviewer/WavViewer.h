#pragma once
#include <QBasicTimer>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/MemoryStream.h"
#include "wavviewer/WavFile.h"

namespace kx {

class HorzScrollBar;
class MessageWindow;
class TWavViewer;
class WaveDevice;

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBorderStyle { bsNone, bsSingle };
using TBevelWidth = int;
using TBorderWidth = int;

using TBuildingPeaksProc =
    std::function<void(QObject* Sender, int BytesRead, float PercentDone, bool& BreakProcess)>;
using TMouseProc = std::function<void(QObject* Sender, bool LeftButton, int X, int Y)>;
using TPlayingProc = std::function<void(QObject* Sender, int TimerId, int PlayingPos)>;

// An info panel of the wave viewer: Tag 0 is the channel panel on the left,
// Tag 1 the time-mark panel on top.
class TMyPanel : public QWidget
{
public:
    TMyPanel(TWavViewer* viewer, int tag);

    int Tag() const { return tag_; }
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TBevelCut BevelInner() const { return bevelInner_; }
    TBevelCut BevelOuter() const { return bevelOuter_; }
    TBevelWidth BevelWidth() const { return bevelWidth_; }
    TBorderWidth BorderWidth() const { return borderWidth_; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBevels(TBevelCut inner, TBevelCut outer, TBevelWidth width, TBorderWidth border, TBorderStyle style);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void PaintBevel(QPainter& p, QRect& r, TBevelCut cut) const;

    TWavViewer* viewer_;
    int tag_;
    TColor color_ = clBtnFace;
    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvRaised;
    TBevelWidth bevelWidth_ = 2;
    TBorderWidth borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
};

// One time mark of the top panel: its panel column and the time it names.
struct TimeMark {
    int X;
    int64_t Ms;
    QString Label;
};

// Shows one 8- or 16-bit PCM WAV file as one peak record per pixel column,
// with a channel panel, a time-mark panel and a horizontal scroll bar, and
// plays it with a moving play pointer.
class TWavViewer : public QWidget, public DesignState
{
public:
    explicit TWavViewer(QWidget* parent = nullptr);
    ~TWavViewer() override;

    // --- file and peaks
    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& value);
    const QString& PeaksFileExt() const { return peaksFileExt_; }
    void SetPeaksFileExt(const QString& value);
    bool SavePeaks() const { return savePeaks_; }
    void SetSavePeaks(bool value) { savePeaks_ = value; }

    bool ReadHeader();
    bool BuildPeaks();
    bool SavePeaksToFile(const QString& PeakFileName);
    // As above; force also replaces a peak file of the builder's layout or
    // waveform data, which are kept otherwise.
    bool SavePeaksToFile(const QString& PeakFileName, bool force);
    // Why the last SavePeaksToFile failed, the file named; empty after a success.
    const QString& SaveError() const { return saveError_; }

    // The records of the loaded file (max, min per channel).
    TMemoryStream& PeakData() { return peakData_; }
    const TMemoryStream& PeakData() const { return peakData_; }
    uint8_t BlockAlign() const { return info_.BlockAlign; }
    uint8_t Channels() const { return info_.Channels; }
    int32_t SampleRate() const { return info_.SampleRate; }
    uint32_t DataSize() const { return info_.DataSize; }

    TBuildingPeaksProc OnBuildingPeaks;
    TBuildingPeaksProc OnReadBytes; // kept for the form; never raised

    // --- display
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor value);
    TColor PeaksColor() const { return peaksColor_; }
    void SetPeaksColor(TColor value);
    TColor PositionColor() const { return positionColor_; }
    void SetPositionColor(TColor value);
    TColor MarksColor() const { return marksColor_; }
    void SetMarksColor(TColor value);
    uint8_t MarksInterval() const { return marksInterval_; }
    void SetMarksInterval(uint8_t value);
    uint8_t SecondsToShow() const { return secondsToShow_; }
    void SetSecondsToShow(uint8_t value);
    uint8_t SmallChangeSeconds() const { return smallChangeSeconds_; }
    void SetSmallChangeSeconds(uint8_t value);
    uint8_t LargeChangeSeconds() const { return largeChangeSeconds_; }
    void SetLargeChangeSeconds(uint8_t value);
    int InfoWidth() const;
    void SetInfoWidth(int value);
    int InfoHeight() const;
    void SetInfoHeight(int value);
    TColor InfoBackColor() const;
    void SetInfoBackColor(TColor value);
    TBevelCut InfoBevelInner() const;
    void SetInfoBevelInner(TBevelCut value);
    TBevelCut InfoBevelOuter() const;
    void SetInfoBevelOuter(TBevelCut value);
    TBevelWidth InfoBevelWidth() const;
    void SetInfoBevelWidth(TBevelWidth value);
    TBorderWidth InfoBorderWidth() const;
    void SetInfoBorderWidth(TBorderWidth value);
    TBorderStyle InfoBorderStyle() const;
    void SetInfoBorderStyle(TBorderStyle value);

    // The user's position in milliseconds: the marker and where Play starts.
    int Position() const { return position_; }
    void SetPosition(int ms);
    bool FollowPlay() const { return followPlay_; }
    int PointerX() const { return pointerX_; }

    TPaintProc OnPaint;
    TPaintProc OnPaintHorzInfo; // Sender is the left panel
    TPaintProc OnPaintVertInfo; // Sender is the top panel
    TMouseProc OnButtonDown;
    TScrollProc OnScroll;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    std::function<void(QObject* Sender, QChar& Key)> OnKeyPress;
    TNotifyEvent OnEnter; // the viewer took the keyboard focus
    TNotifyEvent OnExit;  // the viewer lost it

    TMyPanel* LeftPanel() const { return leftPanel_; }
    TMyPanel* TopPanel() const { return topPanel_; }
    HorzScrollBar* ScrollBar() const { return scrollBar_; }
    int ClientWidth() const;
    void SetClientWidth(int value);
    // The client area ends above the scroll bar.
    int ClientHeight() const;
    void SetClientHeight(int value);
    // Width of the peak area, W.
    int PeakAreaWidth() const;
    int ScrollPos() const;

    virtual void SetPositionAt(int X);
    virtual void DoScroll(int ScrollCode);
    virtual void PaintChannelInfo(TCanvas& Canvas);
    virtual void PaintTimeMarks(TCanvas& Canvas);
    virtual void PaintPeaks(bool CopyToScreen, TCanvas* Target);

    void UpdateScrollRange();
    void SetScrollPosition(int P);

    // Marks the top panel draws, in panel columns.
    std::vector<TimeMark> TimeMarks() const;
    // Rows of the channel panel's zero lines, in panel coordinates.
    std::vector<int> ChannelLines() const;
    // The back buffer as last drawn (null before the first resize).
    const QImage& BackBuffer() const { return buffer_; }

    // Conversions between stored values, records, milliseconds and columns.
    int64_t ValueCount() const;
    int64_t PeakAtValueIndex(int64_t V) const;
    int64_t PeakCount() const;
    int64_t ValueIndexAtMs(int64_t Ms) const;
    int64_t PeakAtMs(int64_t Ms) const;
    int64_t FrameAtValueIndex(int64_t V) const;
    int64_t MsAtValueIndex(int64_t V) const;
    int64_t ValueIndexAtPixel(int64_t P) const;
    int64_t MsAtPixel(int64_t P) const;

    // --- playback
    bool AutoLoop() const { return autoLoop_; }
    void SetAutoLoop(bool value) { autoLoop_ = value; }
    int PlayingInterval() const { return playingInterval_; }
    void SetPlayingInterval(int value);
    TColor PointerColor() const { return pointerColor_; }
    void SetPointerColor(TColor value) { pointerColor_ = value; }
    TPlayingProc OnPlaying;

    void Play(bool FromPosition, uint32_t From);
    void PauseResume();
    void Stop();
    int PlayPosition() const;
    int PlayMode() const;
    void OpenMedia();
    void CloseMedia();
    bool MediaOpen() const { return mediaOpen_; }
    bool PlayRequested() const { return playRequested_; }
    bool PlayTimerActive() const { return playTimer_.isActive(); }
    int TimeFormat() const;
    int64_t DeviceToMs(int64_t V) const;
    int64_t MsToDevice(int64_t Ms) const;
    int64_t PlayLength() const;
    virtual void UpdatePointer();

    // Identifier the play timer's ticks carry.
    static constexpr int PlayTimerId = 1;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
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
};

} // namespace kx
