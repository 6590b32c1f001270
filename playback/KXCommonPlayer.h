#pragma once
#include <QFrame>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <functional>

#include "PlayerTypes.h"
#include "mediagraph/FilterSet.h"
#include "platform/widgets/Color.h"
#include "platform/DesignState.h"
#include "platform/Events.h"
#include "platform/Logging.h"
#include "platform/QtProperties.h"
#include "platform/TimeUnits.h"

class QLabel;
typedef struct _GstElement GstElement;

namespace kx {

class MessageWindow;

/// Text for a debugging log.
using TDebugTextEvent = std::function<void(QObject* Sender, const QString& Text)>;
/// Full-screen mode began on Form.
using TOnFullScreenEvent = std::function<void(QObject* Sender, QWidget* Form)>;
/// A mark was set (Mark true) or cleared at Position.
using TOnMarkEvent = std::function<void(QObject* Sender, bool Mark, double Position)>;
/// The playing position moved.
using TOnPositionChangeEvent = std::function<void(QObject* Sender, double Position)>;
/// A character key; the handler may change or clear it.
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
/// The video renderer was connected or disconnected.
using TOnRendererConnectedEvent = std::function<void(QObject* Sender, bool Connected)>;

/// Colour controls of the video renderer.
enum TColorControlKind { ccBrightness, ccContrast, ccHue, ccSaturation };
/// One colour control: its value and range in the panel's own units.
struct TColorControl {
    bool Changed = false; ///< set since the last reset
    float Value = 0;      ///< current value
    float Default = 0;    ///< value after a reset
    float Max = 0;        ///< upper bound
    float Min = 0;        ///< lower bound
};

/// The outcome of a Volume write: what is stored and what reaches the graph.
struct TVolumeResult {
    bool Accepted = false; ///< the write is taken
    int Stored = 0;        ///< what Volume() gives afterwards
    bool SetDevice = false; ///< the graph's volume is set
    int DeviceVolume = 0;  ///< to this, in hundredths of a dB
    bool SetGains = false; ///< the post filter's gain is set
    uint16_t Gain = 0;     ///< both channels, 4096 is unity
};

/// Base of a video-capable player panel: a black panel showing the video of
/// a media graph through the renderer's video overlay, with a full-screen
/// form, zoom modes, colour controls, an optional audio gain filter and the
/// transport operations a concrete player implements.
///
/// Every event is also the signal of the same name without "On", emitted
/// right after the handler on the panel's (GUI) thread. Concrete players
/// raise the marks, position and renderer events through the Report*
/// functions so that handler and signal both hear them.
class TKXCommonPlayer : public QFrame, public DesignState
{
    Q_OBJECT
    /// AddToRot(): the graph is in the graph registry.
    Q_PROPERTY(bool addToRot READ AddToRot WRITE setAddToRot)
    /// Color(), system colours resolved.
    Q_PROPERTY(QColor color READ ColorAsQColor WRITE setColor)
    /// Ends by itself when Escape is pressed on the full-screen form.
    Q_PROPERTY(bool fullScreenMode READ FullScreenMode WRITE setFullScreenMode NOTIFY fullScreenModeChanged)
    /// ColorControlSupport(): the renderer has colour controls.
    Q_PROPERTY(bool colorControlSupport READ ColorControlSupport)
    /// PreventSreenSaver(), kept for the owner.
    Q_PROPERTY(bool preventSreenSaver READ PreventSreenSaver WRITE setPreventSreenSaver)
    /// SkinnedApp(): the colour survives palette changes.
    Q_PROPERTY(bool skinnedApp READ SkinnedApp WRITE setSkinnedApp)
    /// Volume(): hundredths of a dB, as VolumeRule takes it.
    Q_PROPERTY(int volume READ Volume WRITE setVolume)
    /// State() as a TPlayerState ordinal.
    Q_PROPERTY(int state READ stateOrdinal NOTIFY stateChange)
    /// A TFilterSet ordinal; an invalid one is refused through error().
    Q_PROPERTY(int codecSet READ CodecSet WRITE setCodecSet)
    /// CodecSetValid(): the chosen codec set is installed.
    Q_PROPERTY(bool codecSetValid READ CodecSetValid)
    /// 0..255; a value the decoder refuses is reported through error().
    Q_PROPERTY(int resolution READ Resolution WRITE setResolution)
    /// ZoomMode(): video placement 0..5.
    Q_PROPERTY(int zoomMode READ ZoomMode WRITE setZoomMode)
    /// 100-ns units.
    Q_PROPERTY(qint64 frameTime READ FrameTime)
    /// KeepColorValues(): colour values survive a reset.
    Q_PROPERTY(bool keepColorValues READ KeepColorValues WRITE setKeepColorValues)
    /// The brightness control, clamped to -100..100.
    Q_PROPERTY(float brightness READ brightness WRITE setBrightness)
    /// The contrast control, clamped to 0..2.
    Q_PROPERTY(float contrast READ contrast WRITE setContrast)
    /// The hue control, clamped to -180..180.
    Q_PROPERTY(float hue READ hue WRITE setHue)
    /// The saturation control, clamped to 0..2.
    Q_PROPERTY(float saturation READ saturation WRITE setSaturation)
    /// AudioPostFilterOn(): the gain filter is in the graph.
    Q_PROPERTY(bool audioPostFilter READ AudioPostFilterOn WRITE setAudioPostFilter)
    /// PostFilterGain(): 4096 is unity.
    Q_PROPERTY(int postFilterGain READ PostFilterGain)
    /// ColorKey(): the renderer's colour key.
    Q_PROPERTY(QColor colorKey READ ColorKeyAsQColor NOTIFY colorKeyChanged)
    /// DisplayConnected(): the video is shown.
    Q_PROPERTY(bool displayConnected READ DisplayConnected)
    /// 100-ns units, from the concrete player.
    Q_PROPERTY(qint64 duration READ Duration)
    /// 100-ns units, from the concrete player.
    Q_PROPERTY(qint64 position READ Position)
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setAddToRot(bool value) { SetAddToRot(value); } ///< Writes addToRot.
    void setFullScreenMode(bool value) { SetFullScreenMode(value); } ///< Writes fullScreenMode.
    void setPreventSreenSaver(bool value) { SetPreventSreenSaver(value); } ///< Writes preventSreenSaver.
    void setSkinnedApp(bool value) { SetSkinnedApp(value); } ///< Writes skinnedApp.
    void setVolume(int value) { SetVolume(value); } ///< Writes volume.
    void setZoomMode(int value) { SetZoomMode(value); } ///< Writes zoomMode.
    void setKeepColorValues(bool value) { SetKeepColorValues(value); } ///< Writes keepColorValues.
    void setAudioPostFilter(bool value) { SetAudioPostFilter(value); } ///< Writes audioPostFilter.
    ///@}
public:
    /// A panel without a graph; owner is its parent widget.
    explicit TKXCommonPlayer(QWidget* owner = nullptr);
    ~TKXCommonPlayer() override;

    /// Filled in by a linked transport bar: a state change.
    TOnStateChangeEvent StateHook;
    /// Filled in by a linked transport bar: enable its buttons.
    std::function<void()> EnableHook;
    /// Filled in by a linked transport bar: disable its buttons.
    std::function<void()> DisableHook;
    /// Filled in by a linked transport bar: its speed is back to 0.
    std::function<void()> SpeedResetHook;
    /// Filled in by a linked transport bar: a played selection ended.
    std::function<void()> SelectionEndedHook;
    /// Filled in by a linked transport bar: put a button down or up.
    std::function<void(int Index, bool Down)> ButtonDownHook;
    /// Filled in by a linked transport bar: the play-selection button.
    std::function<void(bool Down)> SelectionDownHook;
    /// Forgets the bar's hooks (unlinking).
    void ClearHooks();

    /// Whether the graph is entered in the process-wide graph registry.
    bool AddToRot() const { return addToRot_; }
    /// Registers or revokes a graph that exists.
    virtual void SetAddToRot(bool value);
    /// The panel's background.
    TColor Color() const { return skinColor_; }
    /// Color() with system colours resolved.
    QColor ColorAsQColor() const { return ToQColor(skinColor_); }
    /// Paints the background in this colour.
    void SetColor(TColor value);
    /// SetColor from a Qt colour.
    void SetColor(const QColor& value) { SetColor(FromQColor(value)); }
    /// Whether the video fills the screen on the full-screen form.
    bool FullScreenMode() const { return fullScreen_; }
    /// Enters or leaves full-screen mode; ignored without a graph.
    void SetFullScreenMode(bool value);
    /// The renderer offers the colour controls.
    bool ColorControlSupport() const { return colorControlSupport_; }
    /// Kept for the owner; the panel does not act on it.
    bool PreventSreenSaver() const { return preventScreenSaver_; }
    /// Sets PreventSreenSaver.
    void SetPreventSreenSaver(bool value) { preventScreenSaver_ = value; }
    /// The background colour is restored after a palette change.
    bool SkinnedApp() const { return skinnedApp_; }
    /// Sets SkinnedApp.
    void SetSkinnedApp(bool value) { skinnedApp_ = value; }
    /// Hundredths of a dB; positive values amplify through the post filter.
    int Volume() const { return volume_; }
    /// Stores what VolumeRule accepts and applies it to the graph.
    void SetVolume(int value);
    /// The transport state the concrete player reported last.
    TPlayerState State() const { return state_; }
    /// The MPEG codec set in use (a TFilterSet ordinal).
    int CodecSet() const { return codecSet_; }
    /// The chosen codec set is installed.
    bool CodecSetValid() const { return codecSetValid_; }
    /// Chooses a codec set (ChooseCodecSet); throws "Invalid mpeg codec set".
    virtual void SetCodecSet(int value);
    /// The decoder's output resolution step.
    uint8_t Resolution() const { return resolution_; }
    /// Throws "Could not set resolution" when the decoder refuses it.
    virtual void SetResolution(uint8_t value);
    /// Video placement 0..5 (0 fills the panel).
    int ZoomMode() const { return zoomMode_; }
    /// Places the video again; values outside 0..255 are ignored.
    void SetZoomMode(int value);
    /// Resizes and places the video again (a hidden panel gets no resize event).
    void SetWidth(int value);
    /// Resizes and places the video again (a hidden panel gets no resize event).
    void SetHeight(int value);
    /// Length of a video frame in 100-ns units.
    int64_t FrameTime() const { return frameTime_; }
    /// FrameTime() as a typed time.
    MediaTime FrameMediaTime() const { return MediaTime(frameTime_); }
    /// Colour values survive a reset of the controls.
    bool KeepColorValues() const { return keepColorValues_; }
    /// Sets KeepColorValues.
    void SetKeepColorValues(bool value) { keepColorValues_ = value; }
    /// One colour control.
    const TColorControl& ColorControl(TColorControlKind kind) const { return colorControls_[kind]; }
    /// Clamps to the control's range and applies it to the graph's colour balance.
    void SetColorControl(TColorControlKind kind, float value);
    /// The audio post filter (gain above unity) is on.
    bool AudioPostFilterOn() const { return postFilterOn_; }
    /// The post filter's gain, 4096 is unity.
    uint16_t PostFilterGain() const { return postFilterGain_; }
    /// The renderer's colour key.
    TColor ColorKey() const { return colorKey_; }
    /// ColorKey() as a Qt colour.
    QColor ColorKeyAsQColor() const { return ToQColor(colorKey_); }
    /// The video is shown.
    bool DisplayConnected() const { return displayConnected_; }
    /// The form that shows the video in full-screen mode.
    QWidget* FullScreenForm() const { return fullScreenForm_; }
    /// The time label on the full-screen form.
    QLabel* TimePanel() const { return timePanel_; }
    /// The concrete player's graph; null without media.
    GstElement* Graph() const { return graph_; }
    /// The graph registry's cookie while the graph is registered.
    uint32_t RotCookie() const { return rotCookie_; }
    /// The area the video is placed in.
    QRect VideoRect() const { return videoRect_; }
    /// Where the video is drawn inside its window, after the last placement.
    QRect RenderRect() const { return renderRect_; }

    /// Puts the colour controls back to their defaults (values unless kept).
    virtual bool ResetColorControls();
    /// Reports text through OnDebugText.
    virtual void DebugText(const QString& text);
    /// Inserts or removes the audio post filter.
    virtual void SetAudioPostFilter(bool on);

    /// Saves the current picture to a file.
    virtual void CaptureToFile(const QString& fileName) = 0;
    /// Goes to the end of the media.
    virtual void GoToEnd() = 0;
    /// Goes to the start of the media.
    virtual void GoToStart() = 0;
    /// Stops.
    virtual void Stop() = 0;
    /// Pauses.
    virtual void Pause() = 0;
    /// Plays.
    virtual void Play() = 0;
    /// Plays the marked selection, or stops doing so.
    virtual void PlaySelection(bool active) = 0;
    /// Media length in 100-ns units.
    virtual int64_t Duration() = 0;
    /// Plays at a speed step.
    virtual void SetSpeed(TSpeedType speed) = 0;
    /// Media position in 100-ns units.
    virtual int64_t Position() = 0;
    /// Sets or clears the mark in at a fraction of the length (may move it).
    virtual void SetMarkIn(bool down, double& fraction) = 0;
    /// Sets or clears the mark out at a fraction of the length (may move it).
    virtual void SetMarkOut(bool down, double& fraction) = 0;
    /// A selection is marked.
    virtual bool HasSelection() = 0;
    /// Steps back.
    virtual void StepBack() = 0;
    /// Steps forward.
    virtual void StepForward() = 0;

    /// Duration() as a typed time.
    MediaTime DurationTime() { return MediaTime(Duration()); }
    /// Position() as a typed time.
    MediaTime PositionTime() { return MediaTime(Position()); }

    /// Debugging text.
    TDebugTextEvent OnDebugText;
    /// Full-screen mode began.
    TOnFullScreenEvent OnStartFullScreen;
    /// Full-screen mode ended.
    TNotifyEvent OnEndFullScreen;
    /// A key went down on the panel or the full-screen form.
    TKeyEvent OnKeyDown;
    /// A character key on the panel.
    TKeyPressEvent OnKeyPress;
    /// The mark in was set or cleared.
    TOnMarkEvent OnMarkIn;
    /// The mark out was set or cleared.
    TOnMarkEvent OnMarkOut;
    /// The playing position moved.
    TOnPositionChangeEvent OnPositionChange;
    /// The renderer was connected or disconnected.
    TOnRendererConnectedEvent OnRendererConnected;
    /// The transport state changed.
    TOnStateChangeEvent OnStateChange;
    /// The renderer's colour key changed.
    TNotifyEvent OnColorKeyChanged;

    /// The codec set chosen for a request given the available decoders;
    /// throws "Invalid mpeg codec set". Returns false when the request is ignored.
    static bool ChooseCodecSet(int requested, TFilterSets available, int& chosen, bool& valid);
    /// Normalised output rectangle of a zoom mode (full-screen with a mixer).
    static QRectF ZoomOutputRect(int mode);
    /// Window layout of a zoom mode for a w x h area.
    static QRect ZoomWindowRect(int mode, int w, int h);
    /// What a Volume write of value does, given a graph and the post filter.
    static TVolumeResult VolumeRule(int value, bool hasGraph, bool postFilterOn);

    /// State() as its ordinal, for the property system.
    int stateOrdinal() const { return int(state_); }
    /// The colour controls' values, for the property system.
    float brightness() const { return colorControls_[ccBrightness].Value; }
    /// Sets the brightness control (clamped).
    void setBrightness(float value) { SetColorControl(ccBrightness, value); }
    /// The contrast control's value.
    float contrast() const { return colorControls_[ccContrast].Value; }
    /// Sets the contrast control (clamped).
    void setContrast(float value) { SetColorControl(ccContrast, value); }
    /// The hue control's value.
    float hue() const { return colorControls_[ccHue].Value; }
    /// Sets the hue control (clamped).
    void setHue(float value) { SetColorControl(ccHue, value); }
    /// The saturation control's value.
    float saturation() const { return colorControls_[ccSaturation].Value; }
    /// Sets the saturation control (clamped).
    void setSaturation(float value) { SetColorControl(ccSaturation, value); }
    /// The colour property's writer.
    void setColor(const QColor& value) { SetColor(value); }
    /// The codecSet property's writer: a refusal goes to error().
    KX_PROPERTY_WRITER(int, setCodecSet, SetCodecSet, lcPlayback)
    /// The resolution property's writer: a refusal goes to error().
    KX_PROPERTY_WRITER(int, setResolution, SetResolutionChecked, lcPlayback)

Q_SIGNALS:
    /// OnDebugText.
    void debugText(const QString& text);
    /// OnStartFullScreen.
    void startFullScreen(QWidget* form);
    /// OnEndFullScreen.
    void endFullScreen();
    /// OnKeyDown, with the key as the handler left it.
    void keyDown(quint16 key, kx::TShiftState shift);
    /// OnKeyPress, with the character as the handler left it.
    void keyPress(QChar key);
    /// OnMarkIn.
    void markIn(bool mark, double position);
    /// OnMarkOut.
    void markOut(bool mark, double position);
    /// OnPositionChange.
    void positionChange(double position);
    /// OnRendererConnected.
    void rendererConnected(bool connected);
    /// OnStateChange.
    void stateChange(kx::TPlayerState state);
    /// OnColorKeyChanged.
    void colorKeyChanged();
    /// FullScreenMode() changed.
    void fullScreenModeChanged(bool fullScreen);
    /// A property write was refused, with the reason.
    void error(const QString& message);

protected:
    /// For descendants: the graph they built.
    void SetGraph(GstElement* graph);
    /// For descendants: the graph's renderer and its kind (1..3 overlay kinds).
    void SetRenderer(GstElement* renderer, uint8_t kind);
    /// For descendants: the graph's video decoder.
    void SetDecoder(GstElement* decoder) { decoder_ = decoder; }
    /// The renderer kind SetRenderer was given.
    uint8_t RendererKind() const { return rendererKind_; }
    /// The hidden window that receives the graph's notifications.
    MessageWindow* HiddenWindow() const { return window_; }
    /// Stores the state and tells the owner and a linked bar.
    void ChangeState(TPlayerState state);
    /// OnMarkIn and its signal.
    void ReportMarkIn(bool mark, double position);
    /// OnMarkOut and its signal.
    void ReportMarkOut(bool mark, double position);
    /// OnPositionChange and its signal.
    void ReportPositionChange(double position);
    /// OnRendererConnected and its signal.
    void ReportRendererConnected(bool connected);
    /// A new element by class identifier, reporting failures through DebugText.
    GstElement* CreateFilterByClass(const QString& classId, const QString& name);
    /// Shows the video in owner's window within rect.
    void AttachVideoWindow(QWidget* owner, const QRect& rect);
    /// Shows (flag true) or hides the video.
    void ConnectDisplay(bool flag);
    /// Places the video for the zoom mode.
    void PlaceVideo();
    /// Reads the renderer's colour key; reports a change.
    void ReadColorKey();
    /// The hidden window's messages.
    virtual void WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

    /// Places the video for the new size.
    void resizeEvent(QResizeEvent* event) override;
    /// A skinned panel keeps its colour through palette changes.
    void changeEvent(QEvent* event) override;
    /// OnKeyDown and OnKeyPress with their signals.
    void keyPressEvent(QKeyEvent* event) override;
    /// Keys and size of the full-screen form.
    bool eventFilter(QObject* watched, QEvent* event) override;

    /// Set while destroyed: no events reach an owner that is half gone.
    bool destroying_ = false;

private:
    static constexpr int kTimePanelWidth = 180;
    GstElement* OverlayElement() const;
    bool RendererLinked() const;
    bool SetOwnerWindow(QWidget* window, bool& notConnected);
    void SetRenderRectangle(const QRect& rect);
    void ApplyDeviceVolume(int volume);
    void ApplyGains(uint16_t gain);
    void ApplyColorControl(TColorControlKind kind);
    void PlaceFullScreenWindow();
    void SizeChanged();
    void FormKeyDown(uint16_t key, TShiftState shift);
    void FireKeyDown(uint16_t key, TShiftState shift);
    // Range checks the property system's int before the uint8_t setter sees it.
    void SetResolutionChecked(int value);

    bool addToRot_ = false;
    TColor skinColor_ = clBlack;
    TColorControl colorControls_[4];
    bool keepColorValues_ = false;
    int zoomMode_ = 0;
    GstElement* postFilter_ = nullptr;
    bool postFilterOn_ = false;
    uint16_t postFilterGain_ = 4096;
    bool colorControlSupport_ = false;
    QPointer<QWidget> displayOwner_;
    QRect videoRect_;
    QRect renderRect_;
    bool displayConnected_ = false;
    bool autoShow_ = true;
    QWidget* fullScreenForm_ = nullptr;
    QLabel* timePanel_ = nullptr;
    TColor colorKey_ = 0;
    GstElement* renderer_ = nullptr;
    uint8_t rendererKind_ = 0;
    GstElement* decoder_ = nullptr;
    int codecSet_ = 1;
    bool codecSetValid_ = true;
    MessageWindow* window_ = nullptr;
    TPlayerState state_ = psClosed;
    int64_t frameTime_ = 400000;
    GstElement* graph_ = nullptr;
    uint32_t rotCookie_ = 0;
    uint8_t resolution_ = 0;
    int volume_ = 0;
    bool fullScreen_ = false;
    bool preventScreenSaver_ = true;
    bool skinnedApp_ = false;
};

} // namespace kx
