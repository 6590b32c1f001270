#include "KXCommonPlayer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>
#include <gst/gst.h>
#include <gst/video/colorbalance.h>

#include "KXAudioPlayer.h"
#include "mediagraph/CodecConfig.h"
#include "mediagraph/FilterRegistry.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/MediaFramework.h"
#include "platform/Exception.h"
#include "platform/widgets/MessageBox.h"
#include "platform/PostedEvent.h"
#include "platform/QtInput.h"

namespace kx {

namespace {

constexpr uint32_t kGraphNotify = WM_APP + 1;

const char* BalanceLabel(TColorControlKind kind)
{
    switch (kind) {
    case ccBrightness: return "BRIGHTNESS";
    case ccContrast: return "CONTRAST";
    case ccHue: return "HUE";
    case ccSaturation: return "SATURATION";
    }
    return "";
}

} // namespace

TKXCommonPlayer::TKXCommonPlayer(QWidget* owner) : QFrame(owner)
{
    if (!gst_is_initialized() && !gst_init_check(nullptr, nullptr, nullptr))
        throw Exception("Could not initialise Com");
    InitMediaFramework();
    state_ = psClosed;
    codecSet_ = Moonlight;
    codecSetValid_ = true;
    preventScreenSaver_ = true;

    if (VersionClass() < 2) {
        ShowMessageBox(this, QCoreApplication::translate("TKXCommonPlayer", "Win2k or XP required"));
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    } else if (!MediaFrameworkPresent()) {
        ShowMessageBox(this, QCoreApplication::translate("TKXCommonPlayer", "DirectX 8.1 or later is required"));
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }

    window_ = new MessageWindow([this](uint32_t msg, uintptr_t w, intptr_t l) { WindowProc(msg, w, l); }, this);
    displayOwner_ = this;
    setFrameShape(QFrame::NoFrame);
    SetColor(clBlack);
    if (owner)
        setGeometry(10, 10, 512, 288);
    else
        resize(512, 288);
    videoRect_ = QRect(0, 0, width(), height());

    fullScreenForm_ = new QWidget(this, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    fullScreenForm_->setAutoFillBackground(true);
    QPalette formPalette = fullScreenForm_->palette();
    formPalette.setColor(QPalette::Window, Qt::black);
    fullScreenForm_->setPalette(formPalette);
    fullScreenForm_->installEventFilter(this);

    timePanel_ = new QLabel(QStringLiteral("00:00:00:00"), fullScreenForm_);
    timePanel_->setAutoFillBackground(true);
    QPalette timePalette = timePanel_->palette();
    timePalette.setColor(QPalette::WindowText, ToQColor(clLime));
    timePanel_->setPalette(timePalette);
    QFont font = timePanel_->font();
    font.setPointSize(20);
    timePanel_->setFont(font);
    timePanel_->setGeometry(fullScreenForm_->width() - kTimePanelWidth, 20, kTimePanelWidth, 40);
    timePanel_->setVisible(false);

    autoShow_ = true;
    frameTime_ = 400000;
    CodecConfig::FillSetsIfDecoderEmpty();
    ResetColorControls();
}

TKXCommonPlayer::~TKXCommonPlayer()
{
    destroying_ = true;
    SetGraph(nullptr);
    delete window_;
    window_ = nullptr;
    if (postFilter_)
        gst_object_unref(postFilter_);
    postFilter_ = nullptr;
}

void TKXCommonPlayer::ClearHooks()
{
    StateHook = nullptr;
    EnableHook = nullptr;
    DisableHook = nullptr;
    SpeedResetHook = nullptr;
    SelectionEndedHook = nullptr;
    ButtonDownHook = nullptr;
    SelectionDownHook = nullptr;
}

void TKXCommonPlayer::DebugText(const QString& text)
{
    if (destroying_)
        return;
    Fire(OnDebugText, this, text);
    Q_EMIT debugText(text);
}

GstElement* TKXCommonPlayer::CreateFilterByClass(const QString& classId, const QString& name)
{
    try {
        GstElement* filter = CreateFilter(classId, name);
        if (!filter)
            DebugText(name + QStringLiteral(" not created"));
        return filter;
    } catch (...) {
        DebugText(QStringLiteral("Exception while creating ") + name);
        return nullptr;
    }
}

void TKXCommonPlayer::SetAddToRot(bool value)
{
    if (value == addToRot_)
        return;
    addToRot_ = value;
    if (Designing() || !graph_)
        return;
    RegisterGraph(graph_, value, rotCookie_);
    if (!value)
        rotCookie_ = 0;
}

bool TKXCommonPlayer::ResetColorControls()
{
    colorControlSupport_ = rendererKind_ == 3;
    const float defaults[4][3] = {{0, -100, 100}, {1, 0, 2}, {0, -180, 180}, {1, 0, 2}};
    for (int i = 0; i < 4; ++i) {
        TColorControl& c = colorControls_[i];
        c.Changed = false;
        c.Default = defaults[i][0];
        c.Min = defaults[i][1];
        c.Max = defaults[i][2];
        if (!keepColorValues_)
            c.Value = c.Default;
    }
    return true;
}

void TKXCommonPlayer::SetColorControl(TColorControlKind kind, float value)
{
    TColorControl& c = colorControls_[kind];
    value = std::clamp(value, c.Min, c.Max);
    if (value == c.Value)
        return;
    c.Value = value;
    c.Changed = true;
    ApplyColorControl(kind);
}

void TKXCommonPlayer::ApplyColorControl(TColorControlKind kind)
{
    if (!graph_ || !GST_IS_COLOR_BALANCE(graph_))
        return;
    GstColorBalance* balance = GST_COLOR_BALANCE(graph_);
    const TColorControl& c = colorControls_[kind];
    for (const GList* l = gst_color_balance_list_channels(balance); l; l = l->next) {
        auto* channel = static_cast<GstColorBalanceChannel*>(l->data);
        if (!channel->label)
            continue;
        gchar* label = g_ascii_strup(channel->label, -1);
        const bool match = g_strrstr(label, BalanceLabel(kind)) != nullptr;
        g_free(label);
        if (!match)
            continue;
        const double t = (c.Value - c.Min) / (c.Max - c.Min);
        const double v = channel->min_value + t * (channel->max_value - channel->min_value);
        gst_color_balance_set_value(balance, channel, static_cast<gint>(std::lround(v)));
        return;
    }
}

bool TKXCommonPlayer::ChooseCodecSet(int requested, TFilterSets available, int& chosen, bool& valid)
{
    // Each family falls back to the nearest one that is installed.
    auto firstAvailable = [&](std::initializer_list<TFilterSet> order) {
        for (TFilterSet s : order) {
            if (available.Contains(s)) {
                chosen = s;
                valid = true;
                return;
            }
        }
        chosen = Default;
        valid = false;
    };
    switch (requested) {
    case Default:
        chosen = Default;
        valid = false;
        return true;
    case Moonlight: firstAvailable({Moonlight, Elecard}); return true;
    case Elecard: firstAvailable({Elecard, Moonlight}); return true;
    case DScaler: firstAvailable({DScaler, FFDShow, Elecard, Moonlight}); return true;
    case FFDShow: firstAvailable({FFDShow, Elecard, Moonlight}); return true;
    case VRMMedia:
        if (!available.Contains(VRMMedia))
            return false;
        chosen = VRMMedia;
        valid = true;
        return true;
    case Custom: return false;
    case Test:
        chosen = Test;
        valid = true;
        return true;
    default: throw Exception("Invalid mpeg codec set");
    }
}

void TKXCommonPlayer::SetCodecSet(int value)
{
    if (value == codecSet_)
        return;
    int chosen = codecSet_;
    bool valid = codecSetValid_;
    if (!ChooseCodecSet(value, CodecConfig::DecoderSet(), chosen, valid))
        return;
    codecSet_ = chosen;
    codecSetValid_ = valid;
    if (chosen == Default)
        resolution_ = 0;
}

void TKXCommonPlayer::SetResolutionChecked(int value)
{
    if (value < 0 || value > 255)
        throw Exception(QStringLiteral("Resolution must be between 0 and 255"));
    SetResolution(static_cast<uint8_t>(value));
}

void TKXCommonPlayer::SetResolution(uint8_t value)
{
    if (value == resolution_ || (codecSet_ != Moonlight && codecSet_ != Elecard))
        return;
    if (decoder_ && CodecConfig::SetResolution(codecSet_, value, decoder_) == 0)
        throw Exception("Could not set resolution");
    resolution_ = value;
}

TVolumeResult TKXCommonPlayer::VolumeRule(int value, bool hasGraph, bool postFilterOn)
{
    TVolumeResult r;
    const bool attenuation = value >= -10000 && value <= 0;
    if (!hasGraph) {
        r.Accepted = postFilterOn ? (value >= -9999 && value <= 800) : attenuation;
        r.Stored = value;
        return r;
    }
    if (!postFilterOn) {
        r.Accepted = true;
        r.Stored = attenuation ? value : 0;
        r.SetDevice = true;
        r.DeviceVolume = r.Stored;
        return r;
    }
    if (attenuation) {
        r = {true, value, true, value, true, 4096};
    } else if (value >= 1 && value <= 2400) {
        // 150 (1.5 dB) is unity; 2400 would overflow the 16-bit gain by one.
        int gain = value * 4096 / 150;
        if (value == 2400)
            gain -= 1;
        r = {true, value, true, 0, true, static_cast<uint16_t>(gain)};
    }
    return r;
}

void TKXCommonPlayer::SetVolume(int value)
{
    if (value == volume_)
        return;
    const TVolumeResult r = VolumeRule(value, graph_ != nullptr, postFilterOn_);
    if (!r.Accepted)
        return;
    volume_ = r.Stored;
    if (r.SetDevice)
        ApplyDeviceVolume(r.DeviceVolume);
    if (r.SetGains)
        ApplyGains(r.Gain);
}

void TKXCommonPlayer::ApplyDeviceVolume(int volume)
{
    if (HasProperty(graph_, "volume"))
        g_object_set(graph_, "volume", TKXCommonAudioPlayer::LinearVolume(volume), nullptr);
}

void TKXCommonPlayer::ApplyGains(uint16_t gain)
{
    postFilterGain_ = gain;
    if (postFilter_)
        g_object_set(postFilter_, "amplification", static_cast<float>(gain) / 4096.0f, nullptr);
}

void TKXCommonPlayer::SetAudioPostFilter(bool on)
{
    if (on == postFilterOn_)
        return;
    postFilterOn_ = on;
    if (Designing())
        return;
    if (on) {
        GstElement* filter = gst_element_factory_make("audioamplify", "Audio Post Filter");
        if (!filter) {
            DebugText(QStringLiteral("Audio Post Filter not created"));
            return;
        }
        postFilter_ = GST_ELEMENT(gst_object_ref_sink(filter));
        // Hard clipping: gains above unity must not wrap around.
        gst_util_set_object_arg(G_OBJECT(postFilter_), "clipping-method", "clip");
        ApplyGains(postFilterGain_);
        if (HasProperty(graph_, "audio-filter"))
            g_object_set(graph_, "audio-filter", postFilter_, nullptr);
    } else {
        if (HasProperty(graph_, "audio-filter"))
            g_object_set(graph_, "audio-filter", nullptr, nullptr);
        if (postFilter_)
            gst_object_unref(postFilter_);
        postFilter_ = nullptr;
        postFilterGain_ = 4096;
    }
}

void TKXCommonPlayer::SetGraph(GstElement* graph)
{
    if (graph_) {
        gst_element_set_state(graph_, GST_STATE_NULL);
        if (rotCookie_ > 0)
            RegisterGraph(graph_, false, rotCookie_);
        rotCookie_ = 0;
        SetNotifyWindow(graph_, nullptr, 0);
        gst_object_unref(graph_);
        graph_ = nullptr;
        renderer_ = nullptr;
        decoder_ = nullptr;
    }
    if (!graph)
        return;
    graph_ = GST_ELEMENT(gst_object_ref_sink(graph));
    SetNotifyWindow(graph_, window_, kGraphNotify);
    if (addToRot_ && !Designing())
        RegisterGraph(graph_, true, rotCookie_);
    if (postFilter_ && HasProperty(graph_, "audio-filter"))
        g_object_set(graph_, "audio-filter", postFilter_, nullptr);
}

void TKXCommonPlayer::SetRenderer(GstElement* renderer, uint8_t kind)
{
    // The graph holds the renderer; it lives as long as the graph does.
    renderer_ = renderer;
    rendererKind_ = kind;
    timePanel_->setVisible(kind == 1);
    ResetColorControls();
}

void TKXCommonPlayer::ChangeState(TPlayerState state)
{
    if (state == state_)
        return;
    state_ = state;
    if (destroying_)
        return;
    Fire(OnStateChange, this, state);
    Q_EMIT stateChange(state);
    Fire(StateHook, this, state);
}

void TKXCommonPlayer::ReportMarkIn(bool mark, double position)
{
    Fire(OnMarkIn, this, mark, position);
    Q_EMIT markIn(mark, position);
}

void TKXCommonPlayer::ReportMarkOut(bool mark, double position)
{
    Fire(OnMarkOut, this, mark, position);
    Q_EMIT markOut(mark, position);
}

void TKXCommonPlayer::ReportPositionChange(double position)
{
    Fire(OnPositionChange, this, position);
    Q_EMIT positionChange(position);
}

void TKXCommonPlayer::ReportRendererConnected(bool connected)
{
    Fire(OnRendererConnected, this, connected);
    Q_EMIT rendererConnected(connected);
}

void TKXCommonPlayer::FireKeyDown(uint16_t key, TShiftState shift)
{
    Fire(OnKeyDown, this, key, shift);
    Q_EMIT keyDown(key, shift);
}

void TKXCommonPlayer::keyPressEvent(QKeyEvent* event)
{
    FireKeyDown(VirtualKeyFromQt(event->key()), ShiftStateFromQt(event->modifiers()));
    if (!event->text().isEmpty()) {
        QChar c = event->text().at(0);
        Fire(OnKeyPress, this, c);
        Q_EMIT keyPress(c);
    }
    QFrame::keyPressEvent(event);
}

void TKXCommonPlayer::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    SizeChanged();
}

void TKXCommonPlayer::SizeChanged()
{
    videoRect_ = QRect(0, 0, width(), height());
    if (graph_ && rendererKind_ >= 1 && rendererKind_ <= 3)
        PlaceVideo();
}

void TKXCommonPlayer::SetWidth(int value)
{
    if (value == width())
        return;
    resize(value, height());
    SizeChanged();
}

void TKXCommonPlayer::SetHeight(int value)
{
    if (value == height())
        return;
    resize(width(), value);
    SizeChanged();
}

void TKXCommonPlayer::SetColor(TColor value)
{
    skinColor_ = value;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, ToQColor(value));
    setPalette(p);
}

void TKXCommonPlayer::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && skinnedApp_ &&
        palette().color(QPalette::Window) != ToQColor(skinColor_))
        SetColor(skinColor_);
}

} // namespace kx
