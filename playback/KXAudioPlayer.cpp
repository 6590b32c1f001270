#include "KXAudioPlayer.h"

#include <QTimer>
#include <cmath>
#include <gst/gst.h>

#include "mediagraph/AudioOutput.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/RiffChunks.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"
#include "platform/PostedEvent.h"

namespace kx {

namespace {

// The graph notification message of the hidden window.
constexpr uint32_t kGraphNotify = WM_APP + 1;
// How long loading waits for a file to preroll before calling it unplayable.
constexpr GstClockTime kRenderTimeout = 20 * GST_SECOND;
constexpr GstClockTime kSettleTimeout = 5 * GST_SECOND;
// playbin flags: audio and software volume only; video is never decoded.
constexpr guint kPlayFlagAudio = 0x2;
constexpr guint kPlayFlagSoftVolume = 0x10;

bool Running(TPlayerState s)
{
    return s == psPlay || s == psFF || s == psFR;
}

} // namespace

TKXCommonAudioPlayer::TKXCommonAudioPlayer(QObject* owner) : QObject(owner)
{
    InitMediaFramework();
    speed_ = 0;
    window_ = new MessageWindow([this](uint32_t msg, uintptr_t w, intptr_t l) { WindowProc(msg, w, l); }, this);
}

TKXCommonAudioPlayer::~TKXCommonAudioPlayer()
{
    destroying_ = true;
    TKXCommonAudioPlayer::ClearMedia();
    if (timer_)
        timer_->disconnect(this);
    delete window_;
    window_ = nullptr;
}

double TKXCommonAudioPlayer::RateOfSpeed(int speed)
{
    switch (speed) {
    case -4: return 0.0625;
    case -3: return 0.125;
    case -2: return 0.25;
    case -1: return 0.5;
    case 0:
    case 1: return 1.0;
    case 2: return 2.0;
    case 3: return 4.0;
    case 4: return 8.0;
    default: return 0.0;
    }
}

double TKXCommonAudioPlayer::LinearVolume(int volume)
{
    if (volume <= -10000)
        return 0.0;
    if (volume >= 0)
        return 1.0;
    return std::pow(10.0, volume / 2000.0);
}

int TKXCommonAudioPlayer::ClampVolume(int value)
{
    if (value > -300)
        return 0;
    if (value < -5000)
        return -5000;
    return value;
}

void TKXCommonAudioPlayer::SetVolume(int value)
{
    if (value == volume_)
        return;
    // Reaches the graph at the next Play.
    volume_ = ClampVolume(value);
}

void TKXCommonAudioPlayer::SetUpdateInterval(int value)
{
    if (value == updateInterval_)
        return;
    updateInterval_ = value;
    if (Designing())
        return;
    if (value <= 0) {
        delete timer_;
        timer_ = nullptr;
        return;
    }
    if (!timer_) {
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_->setInterval(value);
        // A timer that appears while the media runs starts at once, so that
        // updates do not wait for the next transport call.
        if (Running(state_) && graph_)
            timer_->start();
        return;
    }
    timer_->setInterval(value); // restarts a running timer with the new period
}

void TKXCommonAudioPlayer::SetPreservePitch(bool value)
{
    if (value == preservePitch_)
        return;
    preservePitch_ = value;
    if (graph_)
        RebuildAudioChain();
}

void TKXCommonAudioPlayer::ApplyAudioFilter()
{
    // scaletempo stretches the audio to the segment's rate, so the output
    // runs at normal speed and pitch; at rate 1 it passes buffers through.
    GstElement* filter = preservePitch_ ? gst_element_factory_make("scaletempo", nullptr) : nullptr;
    g_object_set(graph_, "audio-filter", filter, nullptr);
}

void TKXCommonAudioPlayer::RebuildAudioChain()
{
    // The audio chain takes a new filter only when it is built again: go
    // down and come back to the same place, rate and run state.
    GstState current = GST_STATE_NULL;
    GstState pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(graph_, &current, &pending, 0);
    const GstState target = pending == GST_STATE_VOID_PENDING ? current : pending;
    int64_t position = 0;
    const bool loaded = target >= GST_STATE_PAUSED && QueryPosition(position);
    gst_element_set_state(graph_, GST_STATE_NULL);
    ApplyAudioFilter();
    if (target < GST_STATE_PAUSED)
        return;
    if (gst_element_set_state(graph_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(graph_, nullptr, nullptr, kRenderTimeout) == GST_STATE_CHANGE_FAILURE) {
        SetState(psError);
        speed_ = 0;
        TimerSwitch(false);
        return;
    }
    if (loaded && (position != 0 || rate_ != 1.0)) {
        const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        gst_element_seek(graph_, rate_, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, position * 100,
                         GST_SEEK_TYPE_NONE, -1);
        Settle();
    }
    if (target == GST_STATE_PLAYING)
        gst_element_set_state(graph_, GST_STATE_PLAYING);
}

bool TKXCommonAudioPlayer::TimerActive() const
{
    return timer_ && timer_->isActive();
}

void TKXCommonAudioPlayer::TimerSwitch(bool on)
{
    if (!timer_)
        return;
    if (!on)
        ReportTime(Position());
    if (on) {
        if (!timer_->isActive())
            timer_->start();
    } else {
        timer_->stop();
    }
}

void TKXCommonAudioPlayer::Tick()
{
    if (!graph_)
        return;
    int64_t position = 0;
    if (QueryPosition(position))
        ReportTime(position);
}

void TKXCommonAudioPlayer::ReportTime(int64_t time)
{
    Fire(OnTimeUpdate, this, time);
    Q_EMIT timeUpdate(time);
}

void TKXCommonAudioPlayer::SetState(TPlayerState state)
{
    if (state == state_)
        return;
    state_ = state;
    // The owner may be half gone while we are destroyed.
    if (destroying_)
        return;
    Fire(OnStateChange, this, state);
    Q_EMIT stateChange(state);
}

void TKXCommonAudioPlayer::SetDuration(int64_t duration)
{
    if (duration == duration_)
        return;
    duration_ = duration;
    if (!destroying_)
        Q_EMIT durationChanged(duration);
}

void TKXCommonAudioPlayer::ReportComplete()
{
    Fire(OnComplete, this);
    Q_EMIT complete();
}

void TKXCommonAudioPlayer::ReportMediaLoaded()
{
    Fire(OnMediaLoaded, this);
    Q_EMIT mediaLoaded();
}

void TKXCommonAudioPlayer::CreateGraph()
{
    if (graph_)
        return;
    GstElement* bin = gst_element_factory_make("playbin", nullptr);
    if (!bin) {
        SetState(psError);
        return;
    }
    graph_ = GST_ELEMENT(gst_object_ref_sink(bin));
    rate_ = 1.0;
    // playbin crashes while probing video sinks unless one is set.
    GstElement* videoSink = gst_element_factory_make("fakesink", nullptr);
    if (videoSink) {
        g_object_set(videoSink, "sync", TRUE, nullptr);
        g_object_set(graph_, "video-sink", videoSink, nullptr);
    }
    // Without a factory, the system's output or a silent sink that keeps time.
    if (GstElement* audioSink = sinkFactory_ ? sinkFactory_() : MakeAudioSink())
        g_object_set(graph_, "audio-sink", audioSink, nullptr);
    g_object_set(graph_, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    ApplyAudioFilter();
    SetNotifyWindow(graph_, window_, kGraphNotify);
    if (addToRot_)
        RegisterGraph(graph_, true, rotCookie_);
    SetState(psClosed);
}

void TKXCommonAudioPlayer::ClearMedia()
{
    if (graph_) {
        gst_element_set_state(graph_, GST_STATE_NULL);
        if (rotCookie_ != 0) {
            RegisterGraph(graph_, false, rotCookie_);
            rotCookie_ = 0;
        }
        SetNotifyWindow(graph_, nullptr, 0);
        gst_object_unref(graph_);
        graph_ = nullptr;
        speed_ = 0;
        rate_ = 1.0;
        if (timer_)
            timer_->stop();
        if (!destroying_) {
            Fire(OnMediaCleared, this);
            Q_EMIT mediaCleared();
        }
    }
    SetState(psClosed);
    SetDuration(0);
}

bool TKXCommonAudioPlayer::RenderFile(const QString& fileName)
{
    if (!graph_)
        return false;
    // The framework's WAV parser would play such a file forever.
    const QString hazard = WavParserHazard(fileName);
    if (!hazard.isEmpty()) {
        qCWarning(lcPlayback) << "cannot play" << fileName << ":" << hazard;
        return false;
    }
    // From the name's own bytes: a URI made from the text would escape the
    // UTF-8 of the characters Qt put in for bytes it could not read.
    gchar* uri = gst_filename_to_uri(EncodeNativeName(AbsoluteNativeName(fileName)).constData(), nullptr);
    if (!uri)
        return false;
    g_object_set(graph_, "uri", uri, nullptr);
    g_free(uri);
    if (gst_element_set_state(graph_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(graph_, GST_STATE_NULL);
        return false;
    }
    GstState current = GST_STATE_NULL;
    const GstStateChangeReturn r = gst_element_get_state(graph_, &current, nullptr, kRenderTimeout);
    if (r == GST_STATE_CHANGE_FAILURE || current != GST_STATE_PAUSED) {
        // Drops the half-built chain; the bus is flushed on the way down.
        gst_element_set_state(graph_, GST_STATE_NULL);
        return false;
    }
    const int64_t duration = QueryDuration();
    SetDuration(duration != 0 ? duration : EstimateDuration());
    return true;
}

int64_t TKXCommonAudioPlayer::QueryDuration() const
{
    gint64 duration = 0;
    if (!graph_ || !gst_element_query_duration(graph_, GST_FORMAT_TIME, &duration) || duration <= 0)
        return 0;
    return duration / 100;
}

int64_t TKXCommonAudioPlayer::EstimateDuration() const
{
    // Streams without a length header (MP3 without a Xing frame) know their
    // duration only once playing; until then size over bitrate is the best guess.
    gint64 bytes = 0;
    if (!gst_element_query_duration(graph_, GST_FORMAT_BYTES, &bytes) || bytes <= 0)
        return 0;
    GstTagList* tags = nullptr;
    g_signal_emit_by_name(graph_, "get-audio-tags", 0, &tags);
    if (!tags)
        return 0;
    guint bitrate = 0;
    if (!gst_tag_list_get_uint(tags, GST_TAG_BITRATE, &bitrate) || bitrate == 0)
        gst_tag_list_get_uint(tags, GST_TAG_NOMINAL_BITRATE, &bitrate);
    gst_tag_list_unref(tags);
    if (bitrate == 0)
        return 0;
    return static_cast<int64_t>(static_cast<double>(bytes) * 8.0 / bitrate * kUnitsPerSecond);
}

bool TKXCommonAudioPlayer::ControlStop()
{
    // Stopped means prerolled and paused, so that positions can still be set.
    return gst_element_set_state(graph_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
}

bool TKXCommonAudioPlayer::SeekTo(int64_t position)
{
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(graph_, rate_, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, position * 100,
                          GST_SEEK_TYPE_NONE, -1))
        return false;
    Settle();
    return true;
}

void TKXCommonAudioPlayer::Settle()
{
    // A flushing seek prerolls again; waiting for that makes positions read
    // right after a seek reliable, as callers of a seek expect.
    gst_element_get_state(graph_, nullptr, nullptr, kSettleTimeout);
}

bool TKXCommonAudioPlayer::ApplyRate(double rate)
{
    int64_t position = 0;
    if (!QueryPosition(position))
        position = 0;
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek(graph_, rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, position * 100,
                          GST_SEEK_TYPE_NONE, -1))
        return false;
    Settle();
    rate_ = rate;
    return true;
}

bool TKXCommonAudioPlayer::QueryPosition(int64_t& position) const
{
    gint64 ns = 0;
    if (!graph_ || !gst_element_query_position(graph_, GST_FORMAT_TIME, &ns) || ns < 0)
        return false;
    position = ns / 100;
    return true;
}

int64_t TKXCommonAudioPlayer::Position() const
{
    int64_t position = 0;
    QueryPosition(position);
    return position;
}

void TKXCommonAudioPlayer::SetPosition(int64_t value)
{
    if (!graph_ || value < 0 || value >= duration_)
        return;
    SeekTo(value);
    speed_ = 0;
}

void TKXCommonAudioPlayer::Play()
{
    if (!graph_)
        return;
    g_object_set(graph_, "volume", LinearVolume(volume_), nullptr);
    // Speed 0 means the normal rate: a rate left by SetSpeed is undone here.
    if (rate_ != 1.0)
        ApplyRate(1.0);
    const bool ok = gst_element_set_state(graph_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    SetState(ok ? psPlay : psError);
    speed_ = 0;
    TimerSwitch(true);
}

void TKXCommonAudioPlayer::Pause()
{
    if (!graph_)
        return;
    const bool ok = gst_element_set_state(graph_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    SetState(ok ? psPause : psError);
    speed_ = 0;
    TimerSwitch(false);
}

void TKXCommonAudioPlayer::Stop()
{
    if (!graph_)
        return;
    if (ControlStop()) {
        SeekTo(0);
        SetState(psStop);
    } else {
        SetState(psError);
    }
    speed_ = 0;
    TimerSwitch(false);
}

void TKXCommonAudioPlayer::GoToStart()
{
    if (!graph_)
        return;
    SetState(ControlStop() ? psStop : psError);
    SeekTo(0);
    speed_ = 0;
    TimerSwitch(false);
}

void TKXCommonAudioPlayer::GoToEnd()
{
    if (!graph_)
        return;
    SetState(ControlStop() ? psStop : psError);
    SeekTo(duration_);
    ReportComplete();
    speed_ = 0;
    TimerSwitch(false);
}

void TKXCommonAudioPlayer::SetSpeed(TSpeedType speed)
{
    if (!graph_)
        return;
    const double rate = RateOfSpeed(speed);
    if (rate == 0.0 || !ApplyRate(rate))
        return;
    if (speed < 0) {
        gst_element_set_state(graph_, GST_STATE_PLAYING);
        SetState(psFR);
    } else if (speed == 0) {
        gst_element_set_state(graph_, GST_STATE_PAUSED);
        SetState(psPause);
    } else {
        gst_element_set_state(graph_, GST_STATE_PLAYING);
        SetState(psFF);
    }
    TimerSwitch(speed != 0);
    speed_ = speed;
}

void TKXCommonAudioPlayer::StepBack()
{
    if (!graph_)
        return;
    int64_t current = 0;
    if (!QueryPosition(current))
        return;
    current -= kStep;
    if (current < 0)
        current = 0;
    SeekTo(current);
    speed_ = 0;
    TimerSwitch(false);
}

void TKXCommonAudioPlayer::StepForward()
{
    if (!graph_)
        return;
    int64_t current = 0;
    if (!QueryPosition(current))
        return;
    const int64_t next = current + kStep;
    if (next < duration_ - kStep) {
        SeekTo(next);
    } else {
        // Playback ends here: say so before the completion, as at the end
        // of the media, or owners keep showing it as playing.
        SetState(ControlStop() ? psStop : psError);
        ReportComplete();
    }
    speed_ = 0;
    TimerSwitch(false);
}

void TKXCommonAudioPlayer::WindowProc(uint32_t msg, uintptr_t, intptr_t)
{
    if (msg != kGraphNotify || !graph_)
        return;
    long code = EC_NONE;
    GstMessagePtr message;
    if (!GetEvent(graph_, code, message))
        return;
    if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_DURATION_CHANGED) {
        if (const int64_t d = QueryDuration())
            SetDuration(d);
    }
    if (code == EC_COMPLETE) {
        Stop();
        ReportComplete();
    } else if (code == EC_ERRORABORT && Running(state_)) {
        // A stream error ends playback for good; the player must not keep
        // claiming to play.
        gst_element_set_state(graph_, GST_STATE_PAUSED);
        SetState(psError);
        speed_ = 0;
        TimerSwitch(false);
    }
}

TKXAudioFilePlayer::TKXAudioFilePlayer(QObject* owner) : TKXCommonAudioPlayer(owner) {}

TKXAudioFilePlayer::~TKXAudioFilePlayer() = default;

void TKXAudioFilePlayer::ClearMedia()
{
    SetFileName(QString());
    TKXCommonAudioPlayer::ClearMedia();
}

void TKXAudioFilePlayer::SetFileName(const QString& fileName)
{
    if (fileName == fileName_)
        return;
    fileName_ = fileName;
    if (!destroying_)
        Q_EMIT fileNameChanged(fileName);
}

void TKXAudioFilePlayer::Play()
{
    TKXCommonAudioPlayer::Play();
}

bool TKXAudioFilePlayer::LoadMedia(const QString& fileName)
{
    ClearMedia();
    CreateGraph();
    if (!Graph())
        return false;
    if (fileName.isEmpty() || !StatNative(fileName).isFile)
        return false;
    if (!RenderFile(fileName)) {
        SetState(psError);
        SetDuration(0);
        return false;
    }
    // Duration is known before the state change, so state handlers can read it.
    SetState(psStop);
    SetFileName(fileName);
    ReportMediaLoaded();
    return true;
}

} // namespace kx
