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

class QLabel;
typedef struct _GstElement GstElement;

namespace kx {

class MessageWindow;

using TDebugTextEvent = std::function<void(QObject* Sender, const QString& Text)>;
using TOnFullScreenEvent = std::function<void(QObject* Sender, QWidget* Form)>;
using TOnMarkEvent = std::function<void(QObject* Sender, bool Mark, double Position)>;
using TOnPositionChangeEvent = std::function<void(QObject* Sender, double Position)>;
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
using TOnRendererConnectedEvent = std::function<void(QObject* Sender, bool Connected)>;

// Colour controls of the video renderer.
enum TColorControlKind { ccBrightness, ccContrast, ccHue, ccSaturation };
struct TColorControl {
    bool Changed = false;
    float Value = 0;
    float Default = 0;
    float Max = 0;
    float Min = 0;
};

// The outcome of a Volume write: what is stored and what reaches the graph.
struct TVolumeResult {
    bool Accepted = false;
    int Stored = 0;
    bool SetDevice = false;
    int DeviceVolume = 0;
    bool SetGains = false;
    uint16_t Gain = 0; // both channels, 4096 is unity
};

// Base of a video-capable player panel: a black panel showing the video of
// a media graph through the renderer's video overlay, with a full-screen
// form, zoom modes, colour controls, an optional audio gain filter and the
// transport operations a concrete player implements.
class TKXCommonPlayer : public QFrame, public DesignState
{
public:
    explicit TKXCommonPlayer(QWidget* owner = nullptr);
    ~TKXCommonPlayer() override;

    // Hooks filled in by a linked transport bar.
    TOnStateChangeEvent StateHook;
    std::function<void()> EnableHook;
    std::function<void()> DisableHook;
    std::function<void()> SpeedResetHook;
    std::function<void()> SelectionEndedHook;
    std::function<void(int Index, bool Down)> ButtonDownHook;
    std::function<void(bool Down)> SelectionDownHook;
    void ClearHooks();

    bool AddToRot() const { return addToRot_; }
    virtual void SetAddToRot(bool value);
    TColor Color() const { return skinColor_; }
    void SetColor(TColor value);
    bool FullScreenMode() const { return fullScreen_; }
    void SetFullScreenMode(bool value);
    bool ColorControlSupport() const { return colorControlSupport_; }
    bool PreventSreenSaver() const { return preventScreenSaver_; }
    void SetPreventSreenSaver(bool value) { preventScreenSaver_ = value; }
    bool SkinnedApp() const { return skinnedApp_; }
    void SetSkinnedApp(bool value) { skinnedApp_ = value; }
    // Hundredths of a dB; positive values amplify through the post filter.
    int Volume() const { return volume_; }
    void SetVolume(int value);
    TPlayerState State() const { return state_; }
    int CodecSet() const { return codecSet_; }
    bool CodecSetValid() const { return codecSetValid_; }
    virtual void SetCodecSet(int value);
    uint8_t Resolution() const { return resolution_; }
    virtual void SetResolution(uint8_t value);
    // Video placement 0..5 (0 fills the panel).
    int ZoomMode() const { return zoomMode_; }
    void SetZoomMode(int value);
    // Resize and place the video again (a hidden panel gets no resize event).
    void SetWidth(int value);
    void SetHeight(int value);
    int64_t FrameTime() const { return frameTime_; }
    bool KeepColorValues() const { return keepColorValues_; }
    void SetKeepColorValues(bool value) { keepColorValues_ = value; }
    const TColorControl& ColorControl(TColorControlKind kind) const { return colorControls_[kind]; }
    // Clamps to the control's range and applies it to the graph's colour balance.
    void SetColorControl(TColorControlKind kind, float value);
    bool AudioPostFilterOn() const { return postFilterOn_; }
    uint16_t PostFilterGain() const { return postFilterGain_; }
    TColor ColorKey() const { return colorKey_; }
    bool DisplayConnected() const { return displayConnected_; }
    QWidget* FullScreenForm() const { return fullScreenForm_; }
    QLabel* TimePanel() const { return timePanel_; }
    GstElement* Graph() const { return graph_; }
    uint32_t RotCookie() const { return rotCookie_; }
    QRect VideoRect() const { return videoRect_; }
    // Where the video is drawn inside its window, after the last placement.
    QRect RenderRect() const { return renderRect_; }

    virtual bool ResetColorControls();
    virtual void DebugText(const QString& text);
    virtual void SetAudioPostFilter(bool on);

    // Transport and marking, implemented by a concrete player.
    virtual void CaptureToFile(const QString& fileName) = 0;
    virtual void GoToEnd() = 0;
    virtual void GoToStart() = 0;
    virtual void Stop() = 0;
    virtual void Pause() = 0;
    virtual void Play() = 0;
    virtual void PlaySelection(bool active) = 0;
    virtual int64_t Duration() = 0;
    virtual void SetSpeed(TSpeedType speed) = 0;
    virtual int64_t Position() = 0;
    virtual void SetMarkIn(bool down, double& fraction) = 0;
    virtual void SetMarkOut(bool down, double& fraction) = 0;
    virtual bool HasSelection() = 0;
    virtual void StepBack() = 0;
    virtual void StepForward() = 0;

    TDebugTextEvent OnDebugText;
    TOnFullScreenEvent OnStartFullScreen;
    TNotifyEvent OnEndFullScreen;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TOnMarkEvent OnMarkIn;
    TOnMarkEvent OnMarkOut;
    TOnPositionChangeEvent OnPositionChange;
    TOnRendererConnectedEvent OnRendererConnected;
    TOnStateChangeEvent OnStateChange;
    TNotifyEvent OnColorKeyChanged;

    // The codec set chosen for a request given the available decoders;
    // throws "Invalid mpeg codec set". Returns false when the request is ignored.
    static bool ChooseCodecSet(int requested, TFilterSets available, int& chosen, bool& valid);
    // Normalised output rectangle of a zoom mode (full-screen with a mixer).
    static QRectF ZoomOutputRect(int mode);
    // Window layout of a zoom mode for a w x h area.
    static QRect ZoomWindowRect(int mode, int w, int h);
    static TVolumeResult VolumeRule(int value, bool hasGraph, bool postFilterOn);

protected:
    // For descendants: the graph they built, its renderer and decoder.
    void SetGraph(GstElement* graph);
    void SetRenderer(GstElement* renderer, uint8_t kind);
    void SetDecoder(GstElement* decoder) { decoder_ = decoder; }
    uint8_t RendererKind() const { return rendererKind_; }
    MessageWindow* HiddenWindow() const { return window_; }
    // Stores the state and tells the owner and a linked bar.
    void ChangeState(TPlayerState state);
    // A new element by class identifier, reporting failures through DebugText.
    GstElement* CreateFilterByClass(const QString& classId, const QString& name);
    void AttachVideoWindow(QWidget* owner, const QRect& rect);
    void ConnectDisplay(bool flag);
    void PlaceVideo();
    void ReadColorKey();
    virtual void WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

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
