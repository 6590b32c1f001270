#include "WaveDevice.h"

#include <gst/gst.h>

#include "mediagraph/AudioOutput.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/RiffChunks.h"
#include "platform/NativeName.h"
#include "platform/PostedEvent.h"

namespace kx {

namespace {

bool& ForceFakeSink()
{
    static bool force = false;
    return force;
}

uint32_t NextDeviceId()
{
    static uint32_t next = 0;
    if (++next == 0)
        ++next;
    return next;
}

constexpr uint32_t BusMessage = WM_APP + 1;
constexpr GstClockTime WaitTime = 5 * GST_SECOND;

GstElement* FakeSink(bool sync)
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (sink)
        g_object_set(sink, "sync", sync ? TRUE : FALSE, nullptr);
    return sink;
}

// The system's audio output when one works, else a fake sink that keeps time.
GstElement* AudioSink()
{
    return ForceFakeSink() ? FakeSink(true) : MakeAudioSink();
}

bool SetStateAndWait(GstElement* pipeline, GstState state)
{
    if (gst_element_set_state(pipeline, state) == GST_STATE_CHANGE_FAILURE)
        return false;
    return gst_element_get_state(pipeline, nullptr, nullptr, WaitTime) != GST_STATE_CHANGE_FAILURE;
}

} // namespace

void WaveDevice::SetForceFakeAudioSink(bool on)
{
    ForceFakeSink() = on;
}

WaveDevice::WaveDevice() = default;

WaveDevice::~WaveDevice()
{
    Close();
}

bool WaveDevice::Open(const QString& fileName, MessageWindow* callback)
{
    // The framework's WAV parser would play such a file forever.
    if (pipeline_ || !WavParserHazard(fileName).isEmpty())
        return false;
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(EncodeNativeName(fileName).constData(), &error);
    if (!uri) {
        g_clear_error(&error);
        return false;
    }
    GstElementPtr pipeline(gst_element_factory_make("playbin", nullptr));
    if (!pipeline) {
        g_free(uri);
        return false;
    }
    gst_object_ref_sink(pipeline.get());
    // A video sink must always be set, or probing for one can crash on some files.
    g_object_set(pipeline.get(), "uri", uri, "video-sink", FakeSink(false), "audio-sink", AudioSink(), nullptr);
    g_free(uri);

    auto busWindow = std::make_unique<MessageWindow>([this](uint32_t, uintptr_t, intptr_t) { ProcessBus(); });
    SetNotifyWindow(pipeline.get(), busWindow.get(), BusMessage);
    gint64 duration = -1;
    if (!SetStateAndWait(pipeline.get(), GST_STATE_PAUSED) ||
        !gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) || duration < 0) {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        SetNotifyWindow(pipeline.get(), nullptr, 0);
        return false;
    }
    // Messages of the failed or finished preroll are of no interest.
    FlushEvents(pipeline.get());

    pipeline_ = std::move(pipeline);
    busWindow_ = std::move(busWindow);
    callback_ = callback;
    id_ = NextDeviceId();
    lengthMs_ = static_cast<uint32_t>(duration / GST_MSECOND);
    mode_ = MCI_MODE_STOP;
    notifyPending_ = false;
    atEnd_ = false;
    return true;
}

bool WaveDevice::Close()
{
    if (!pipeline_)
        return false;
    if (notifyPending_)
        Notify(MCI_NOTIFY_ABORTED);
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    SetNotifyWindow(pipeline_.get(), nullptr, 0);
    pipeline_.reset();
    busWindow_.reset();
    id_ = 0;
    lengthMs_ = 0;
    mode_ = MCI_MODE_NOT_READY;
    atEnd_ = false;
    return true;
}

bool WaveDevice::Play(uint32_t fromMs, bool notify)
{
    if (!pipeline_)
        return false;
    ProcessBus();
    if (fromMs > lengthMs_)
        return false;
    if (notifyPending_)
        Notify(notify ? MCI_NOTIFY_SUPERSEDED : MCI_NOTIFY_ABORTED);
    if (!SetStateAndWait(pipeline_.get(), GST_STATE_PAUSED))
        return false;
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    if (!gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME, flags,
                                 static_cast<gint64>(fromMs) * GST_MSECOND))
        return false;
    gst_element_get_state(pipeline_.get(), nullptr, nullptr, WaitTime);
    // An end of the previous play may have been posted before the flush.
    FlushEvents(pipeline_.get());
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    atEnd_ = false;
    mode_ = MCI_MODE_PLAY;
    notifyPending_ = notify;
    return true;
}

bool WaveDevice::Pause()
{
    if (!pipeline_)
        return false;
    ProcessBus();
    if (mode_ == MCI_MODE_PLAY) {
        if (gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
            return false;
        mode_ = MCI_MODE_PAUSE;
    }
    return true;
}

bool WaveDevice::Resume()
{
    if (!pipeline_)
        return false;
    ProcessBus();
    if (mode_ != MCI_MODE_PAUSE)
        return mode_ == MCI_MODE_PLAY;
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    mode_ = MCI_MODE_PLAY;
    return true;
}

bool WaveDevice::Stop()
{
    if (!pipeline_)
        return false;
    ProcessBus();
    if (notifyPending_)
        Notify(MCI_NOTIFY_ABORTED);
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    mode_ = MCI_MODE_STOP;
    return true;
}

bool WaveDevice::StatusPosition(uint32_t& ms)
{
    if (!pipeline_)
        return false;
    ProcessBus();
    ms = atEnd_ ? lengthMs_ : std::min(QueryPositionMs(), lengthMs_);
    return true;
}

bool WaveDevice::StatusMode(uint32_t& mode)
{
    if (!pipeline_)
        return false;
    ProcessBus();
    mode = mode_;
    return true;
}

bool WaveDevice::StatusTimeFormat(uint32_t& format) const
{
    if (!pipeline_)
        return false;
    format = MCI_FORMAT_MILLISECONDS;
    return true;
}

uint32_t WaveDevice::QueryPositionMs() const
{
    gint64 position = 0;
    if (!gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) || position < 0)
        return 0;
    return static_cast<uint32_t>(position / GST_MSECOND);
}

void WaveDevice::ProcessBus()
{
    if (!pipeline_)
        return;
    long code = EC_NONE;
    GstMessagePtr message;
    while (pipeline_ && GetEvent(pipeline_.get(), code, message)) {
        if (code == EC_COMPLETE && mode_ == MCI_MODE_PLAY) {
            EndReached();
        } else if (code == EC_ERRORABORT) {
            mode_ = MCI_MODE_STOP;
            if (notifyPending_)
                Notify(MCI_NOTIFY_FAILURE);
        }
    }
}

void WaveDevice::EndReached()
{
    atEnd_ = true;
    mode_ = MCI_MODE_STOP;
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    if (notifyPending_)
        Notify(MCI_NOTIFY_SUCCESSFUL);
}

void WaveDevice::Notify(uint32_t code)
{
    notifyPending_ = false;
    if (MessageWindow* w = callback_.data())
        w->Post(MM_MCINOTIFY, code, static_cast<intptr_t>(id_));
}

} // namespace kx
