/**
 * kxpeaksink: reduces decoded audio to peak records.
 *
 * Every samples-per-peak frames of each channel, counted at the output rate,
 * become one (maximum, minimum) pair in unsigned mid-scale form; a partial
 * last run is a record of its own. The records go to the "peaks" signal on
 * the streaming thread (with "rms", the RMS of every record goes to the "rms"
 * signal just before) and, given a location, into a peak file: written under
 * a unique temporary name beside it, header last, and put in place only at an
 * end of stream that no error preceded, never over an input, a read-only file
 * or a file of another kind. Progress goes out as "kxpeaks" element messages.
 *
 *   gst-launch-1.0 filesrc location=a.flac ! decodebin ! audioconvert ! \
 *       audioresample ! kxpeaksink location=a.pek
 */
#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>
#include <gst/gst.h>

#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "kxaudio/Version.h"
#include "mediagraph/AtomicPeakFile.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/PeakReducer.h"
#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

GST_DEBUG_CATEGORY_STATIC(kx_peak_sink_debug);
#define GST_CAT_DEFAULT kx_peak_sink_debug

namespace {

using namespace kx;

constexpr guint DefaultSamplesPerPeak = 100;
constexpr guint DefaultRate = 48000;
constexpr guint DefaultChannels = 2;
constexpr guint DefaultBits = 16;
constexpr guint UnityGain = 4096;

enum {
    PROP_0,
    PROP_LOCATION,
    PROP_SAMPLES_PER_PEAK,
    PROP_RATE,
    PROP_CHANNELS,
    PROP_BITS,
    PROP_LEFT_GAIN,
    PROP_RIGHT_GAIN,
    PROP_FORCE,
    PROP_INPUTS,
    PROP_POST_MESSAGES,
    PROP_STREAMING,
    PROP_RMS,
};

enum { SIGNAL_PEAKS, SIGNAL_REMOVE_COMMITTED, SIGNAL_RMS, SIGNAL_COUNT };
guint sinkSignals[SIGNAL_COUNT];

// The element's settings and the run in progress. Settings change only
// while the element is not streaming.
class SinkState
{
public:
    std::mutex mutex;
    bool streaming = false;
    PeakReducerSettings settings;
    QString location;
    bool force = false;
    QStringList inputs;
    std::atomic<bool> postMessages{true};

    // Streaming side.
    bool Start(GstBaseSink* sink);
    bool SetInput(uint32_t rate, uint32_t channels);
    GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer);
    // Ends the stream: the last records, and the peak file put in place.
    // False when the file could not be written (FileError tells why).
    bool Finish(GstBaseSink* sink);
    QString FileError() const { return file_.ErrorText(); }
    void Stop();
    bool RemoveCommitted();

private:
    void Deliver(GstBaseSink* sink, bool all);
    bool WriteHeader(int64_t duration100ns);
    // Media time of the frames fed in the current input format.
    int64_t DecodedTime() const;
    int64_t QueryDuration(GstBaseSink* sink) const;

    PeakReducer reducer_;
    bool inputKnown_ = false;
    bool headerDone_ = false;
    // Media time covered by the input formats before the current one.
    int64_t earlierTime_ = 0;
    AtomicPeakFile file_;
    uint64_t recordBytes_ = 0;
    bool writeFailed_ = false;
    std::vector<uint8_t> block_;
    std::vector<uint16_t> rmsBlock_;
};

bool SinkState::Start(GstBaseSink* sink)
{
    std::lock_guard lock(mutex);
    streaming = true;
    inputKnown_ = false;
    headerDone_ = false;
    earlierTime_ = 0;
    recordBytes_ = 0;
    writeFailed_ = false;
    block_.clear();
    rmsBlock_.clear();
    if (location.isEmpty())
        return true;
    OutputRules rules = AtomicPeakFile::Rules();
    rules.force = force;
    for (const QString& input : inputs)
        rules.Input(input);
    if (!file_.Open(location, rules)) {
        GST_ELEMENT_ERROR(sink, RESOURCE, OPEN_WRITE, ("%s", qPrintable(file_.ErrorText())), (nullptr));
        return false;
    }
    return true;
}

bool SinkState::SetInput(uint32_t rate, uint32_t channels)
{
    if (channels != settings.channels)
        return false;
    // A format change mid-stream starts the run count afresh but keeps records.
    if (inputKnown_ && reducer_.Settings().inputRate == rate)
        return true;
    PeakReducerSettings s = settings;
    s.inputRate = rate;
    if (inputKnown_) {
        reducer_.Done();
        earlierTime_ += DecodedTime();
    }
    std::vector<uint8_t> keep;
    std::vector<uint16_t> keepRms;
    reducer_.TakeRecords(keep);
    reducer_.TakeRms(keepRms);
    if (!reducer_.Init(s))
        return false;
    block_.insert(block_.end(), keep.begin(), keep.end());
    rmsBlock_.insert(rmsBlock_.end(), keepRms.begin(), keepRms.end());
    inputKnown_ = true;
    return true;
}

int64_t SinkState::QueryDuration(GstBaseSink* sink) const
{
    gint64 ns = -1;
    if (!gst_pad_peer_query_duration(GST_BASE_SINK_PAD(sink), GST_FORMAT_TIME, &ns) || ns < 0)
        return 0;
    return ns / 100;
}

int64_t SinkState::DecodedTime() const
{
    return int64_t((uint128_t)reducer_.FramesIn() * 10000000u / reducer_.Settings().inputRate);
}

bool SinkState::WriteHeader(int64_t duration100ns)
{
    if (!file_.IsOpen())
        return true;
    // "PEAK", bytes per channel and record, channels, rate, decoded length at
    // the output format, frames per record.
    uint8_t bytes[16] = {'P', 'E', 'A', 'K'};
    const uint32_t bytesPerSample = settings.bitsPerSample / 8;
    bytes[4] = uint8_t(2 * bytesPerSample);
    bytes[5] = uint8_t(settings.channels);
    WriteU32LE(bytes + 6, settings.outputRate);
    const auto pcm = (uint128_t)settings.outputRate * settings.channels * bytesPerSample *
                     uint64_t(std::max<int64_t>(duration100ns, 0)) / 10000000u;
    WriteU32LE(bytes + 10, uint32_t(uint64_t(pcm) & 0xFFFFFFFFu));
    WriteU16LE(bytes + 14, settings.samplesPerPeak);
    return file_.WriteAt(0, bytes, sizeof bytes);
}

void SinkState::Deliver(GstBaseSink* sink, bool all)
{
    reducer_.TakeRecords(block_);
    reducer_.TakeRms(rmsBlock_);
    if (!all && block_.size() < PeakDeliveryBytes)
        return;
    const uint64_t frames = reducer_.FramesIn();
    const uint32_t rate = reducer_.Settings().inputRate;
    const auto ns = uint64_t((uint128_t)frames * GST_SECOND / rate) + uint64_t(earlierTime_) * 100;
    if (!block_.empty()) {
        if (file_.IsOpen() && !writeFailed_)
            writeFailed_ = !file_.Write(block_.data(), block_.size());
        recordBytes_ += block_.size();
        // The levels of these records first, so that a listener of both
        // never holds records without their levels.
        if (!rmsBlock_.empty())
            g_signal_emit(sink, sinkSignals[SIGNAL_RMS], 0, static_cast<gpointer>(rmsBlock_.data()),
                          guint(rmsBlock_.size()));
        g_signal_emit(sink, sinkSignals[SIGNAL_PEAKS], 0, static_cast<gpointer>(block_.data()), guint(block_.size()),
                      guint64(ns));
    }
    // The last message says the stream is done, with or without new records.
    if (postMessages) {
        const int recordSize = 2 * int(settings.bitsPerSample / 8) * int(settings.channels);
        GstStructure* s = gst_structure_new("kxpeaks", "records", G_TYPE_UINT64, guint64(recordBytes_ / recordSize),
                                            "stream-time", G_TYPE_UINT64, guint64(ns), "done", G_TYPE_BOOLEAN,
                                            gboolean(all), nullptr);
        gst_element_post_message(GST_ELEMENT(sink), gst_message_new_element(GST_OBJECT(sink), s));
    }
    block_.clear();
    rmsBlock_.clear();
}

GstFlowReturn SinkState::Render(GstBaseSink* sink, GstBuffer* buffer)
{
    if (!inputKnown_)
        return GST_FLOW_NOT_NEGOTIATED;
    if (!headerDone_) {
        if (!WriteHeader(QueryDuration(sink))) {
            GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("%s", qPrintable(file_.ErrorText())), (nullptr));
            return GST_FLOW_ERROR;
        }
        headerDone_ = true;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_FLOW_ERROR;
    const size_t frameBytes = 2 * size_t(reducer_.Settings().channels);
    reducer_.Process(reinterpret_cast<const int16_t*>(map.data), map.size / frameBytes);
    gst_buffer_unmap(buffer, &map);
    Deliver(sink, false);
    if (writeFailed_) {
        GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("%s", qPrintable(file_.ErrorText())), (nullptr));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

bool SinkState::Finish(GstBaseSink* sink)
{
    // An element upstream failed and then ended the stream: what arrived is
    // not the whole track, so it must never become a peak file.
    if (file_.IsOpen() && ErrorPosted(GST_ELEMENT(sink))) {
        file_.Abandon();
        return true;
    }
    if (inputKnown_)
        reducer_.Done();
    if (!headerDone_) {
        headerDone_ = true;
        if (!WriteHeader(QueryDuration(sink))) {
            file_.Abandon();
            return false;
        }
    }
    if (inputKnown_)
        Deliver(sink, true);
    if (!file_.IsOpen())
        return true;
    // The header ends with the length actually decoded (a compressed file's
    // duration is often only an estimate when decoding starts).
    if (inputKnown_ && !WriteHeader(earlierTime_ + DecodedTime())) {
        file_.Abandon();
        return false;
    }
    if (writeFailed_) {
        file_.Abandon();
        return false;
    }
    const int recordSize = 2 * int(settings.bitsPerSample / 8) * int(settings.channels);
    return file_.Commit(int64_t(recordBytes_ / uint64_t(recordSize)));
}

void SinkState::Stop()
{
    std::lock_guard lock(mutex);
    // Anything still open was interrupted: it must never look complete.
    file_.Abandon();
    streaming = false;
}

bool SinkState::RemoveCommitted()
{
    std::lock_guard lock(mutex);
    return file_.RemoveCommitted();
}

} // namespace

// The element.
struct KxPeakSink {
    GstBaseSink parent;
    SinkState* state;
};
struct KxPeakSinkClass {
    GstBaseSinkClass parent_class;
    gboolean (*remove_committed)(KxPeakSink* sink);
};

G_DEFINE_TYPE(KxPeakSink, kx_peak_sink, GST_TYPE_BASE_SINK)

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, "
                    "rate=(int)[1, 2147483647], channels=(int)[1, 2]"));

static SinkState* StateOf(gpointer object)
{
    return reinterpret_cast<KxPeakSink*>(object)->state;
}

static void kx_peak_sink_finalize(GObject* object)
{
    delete StateOf(object);
    G_OBJECT_CLASS(kx_peak_sink_parent_class)->finalize(object);
}

static void kx_peak_sink_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    SinkState* s = StateOf(object);
    std::lock_guard lock(s->mutex);
    if (s->streaming && id != PROP_POST_MESSAGES) {
        GST_WARNING_OBJECT(object, "%s cannot change while streaming", pspec->name);
        return;
    }
    switch (id) {
    case PROP_LOCATION: {
        const gchar* name = g_value_get_string(value);
        s->location = name ? DecodeNativeName(QByteArrayView(name)) : QString();
        break;
    }
    case PROP_SAMPLES_PER_PEAK: s->settings.samplesPerPeak = uint16_t(g_value_get_uint(value)); break;
    case PROP_RATE: s->settings.outputRate = g_value_get_uint(value); break;
    case PROP_CHANNELS: s->settings.channels = g_value_get_uint(value); break;
    case PROP_BITS: {
        const guint bits = g_value_get_uint(value);
        if (bits != 8 && bits != 16)
            GST_WARNING_OBJECT(object, "bits must be 8 or 16, not %u", bits);
        else
            s->settings.bitsPerSample = bits;
        break;
    }
    case PROP_LEFT_GAIN: s->settings.leftGain = uint16_t(g_value_get_uint(value)); break;
    case PROP_RIGHT_GAIN: s->settings.rightGain = uint16_t(g_value_get_uint(value)); break;
    case PROP_FORCE: s->force = g_value_get_boolean(value); break;
    case PROP_INPUTS: {
        s->inputs.clear();
        if (const auto* names = static_cast<const gchar* const*>(g_value_get_boxed(value)))
            for (; *names; ++names)
                s->inputs << DecodeNativeName(QByteArrayView(*names));
        break;
    }
    case PROP_POST_MESSAGES: s->postMessages = bool(g_value_get_boolean(value)); break;
    case PROP_RMS: s->settings.rms = g_value_get_boolean(value); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
}

static void kx_peak_sink_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    SinkState* s = StateOf(object);
    std::lock_guard lock(s->mutex);
    switch (id) {
    case PROP_LOCATION:
        g_value_set_string(value, s->location.isEmpty() ? nullptr : EncodeNativeName(s->location).constData());
        break;
    case PROP_SAMPLES_PER_PEAK: g_value_set_uint(value, s->settings.samplesPerPeak); break;
    case PROP_RATE: g_value_set_uint(value, s->settings.outputRate); break;
    case PROP_CHANNELS: g_value_set_uint(value, s->settings.channels); break;
    case PROP_BITS: g_value_set_uint(value, s->settings.bitsPerSample); break;
    case PROP_LEFT_GAIN: g_value_set_uint(value, s->settings.leftGain); break;
    case PROP_RIGHT_GAIN: g_value_set_uint(value, s->settings.rightGain); break;
    case PROP_FORCE: g_value_set_boolean(value, s->force); break;
    case PROP_INPUTS: {
        std::vector<QByteArray> bytes;
        std::vector<gchar*> names;
        for (const QString& n : s->inputs)
            bytes.push_back(EncodeNativeName(n));
        for (QByteArray& b : bytes)
            names.push_back(b.data());
        names.push_back(nullptr);
        g_value_set_boxed(value, names.data());
        break;
    }
    case PROP_POST_MESSAGES: g_value_set_boolean(value, s->postMessages.load()); break;
    case PROP_STREAMING: g_value_set_boolean(value, s->streaming); break;
    case PROP_RMS: g_value_set_boolean(value, s->settings.rms); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
}

static GstCaps* kx_peak_sink_get_caps(GstBaseSink* sink, GstCaps* filter)
{
    guint channels = DefaultChannels;
    {
        SinkState* s = StateOf(sink);
        std::lock_guard lock(s->mutex);
        channels = s->settings.channels;
    }
    GstCaps* caps = gst_caps_make_writable(gst_static_pad_template_get_caps(&sink_template));
    gst_caps_set_simple(caps, "channels", G_TYPE_INT, int(channels), nullptr);
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

static gboolean kx_peak_sink_set_caps(GstBaseSink* sink, GstCaps* caps)
{
    GstAudioInfo info;
    if (!gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_FORMAT(&info) != GST_AUDIO_FORMAT_S16LE) {
        GST_WARNING_OBJECT(sink, "refusing caps %" GST_PTR_FORMAT, static_cast<void*>(caps));
        return FALSE;
    }
    GST_INFO_OBJECT(sink, "input %d Hz, %d channels", GST_AUDIO_INFO_RATE(&info), GST_AUDIO_INFO_CHANNELS(&info));
    return StateOf(sink)->SetInput(uint32_t(GST_AUDIO_INFO_RATE(&info)), uint32_t(GST_AUDIO_INFO_CHANNELS(&info)));
}

static gboolean kx_peak_sink_start(GstBaseSink* sink)
{
    return StateOf(sink)->Start(sink);
}

static gboolean kx_peak_sink_stop(GstBaseSink* sink)
{
    StateOf(sink)->Stop();
    return TRUE;
}

static GstFlowReturn kx_peak_sink_render(GstBaseSink* sink, GstBuffer* buffer)
{
    return StateOf(sink)->Render(sink, buffer);
}

static gboolean kx_peak_sink_event(GstBaseSink* sink, GstEvent* event)
{
    // The last run and the file are finished before end of stream is
    // reported, so a completed run always finds its peak file in place.
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        GST_INFO_OBJECT(sink, "end of stream: finishing the last record and the peak file");
        if (!StateOf(sink)->Finish(sink))
            GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("%s", qPrintable(StateOf(sink)->FileError())), (nullptr));
    }
    return GST_BASE_SINK_CLASS(kx_peak_sink_parent_class)->event(sink, event);
}

static GstStateChangeReturn kx_peak_sink_change_state(GstElement* element, GstStateChange transition)
{
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(kx_peak_sink_parent_class)->change_state(element, transition);
    // Stopped (not just torn down): the streaming thread has ended, so an
    // unfinished peak file goes now rather than at the next teardown.
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        StateOf(element)->Stop();
    return result;
}

static gboolean kx_peak_sink_remove_committed(KxPeakSink* sink)
{
    return sink->state->RemoveCommitted();
}

static void kx_peak_sink_class_init(KxPeakSinkClass* klass)
{
    auto* gobject_class = G_OBJECT_CLASS(klass);
    auto* element_class = GST_ELEMENT_CLASS(klass);
    auto* base_class = GST_BASE_SINK_CLASS(klass);
    gobject_class->finalize = kx_peak_sink_finalize;
    gobject_class->set_property = kx_peak_sink_set_property;
    gobject_class->get_property = kx_peak_sink_get_property;

    const auto flags = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
    g_object_class_install_property(
        gobject_class, PROP_LOCATION,
        g_param_spec_string("location", "Location",
                            "Peak file to write: header last, put in place at an end of stream no error preceded, "
                            "never over an input, a read-only file or a file of another kind (none: no file)",
                            nullptr, flags));
    g_object_class_install_property(
        gobject_class, PROP_SAMPLES_PER_PEAK,
        g_param_spec_uint("samples-per-peak", "Samples per peak", "Frames at the output rate reduced to one record", 1,
                          65535, DefaultSamplesPerPeak, flags));
    g_object_class_install_property(
        gobject_class, PROP_RATE,
        g_param_spec_uint("rate", "Rate", "Output rate in Hz: the rate at which runs of frames are counted", 1,
                          G_MAXINT, DefaultRate, flags));
    g_object_class_install_property(gobject_class, PROP_CHANNELS,
                                    g_param_spec_uint("channels", "Channels",
                                                      "Channels of the records (the input is negotiated to these)", 1,
                                                      2, DefaultChannels, flags));
    g_object_class_install_property(gobject_class, PROP_BITS,
                                    g_param_spec_uint("bits", "Bits", "Width of a peak value: 8 or 16", 8, 16,
                                                      DefaultBits, flags));
    g_object_class_install_property(gobject_class, PROP_LEFT_GAIN,
                                    g_param_spec_uint("left-gain", "Left gain",
                                                      "Gain of the first channel in 1/4096 (saturating)", 0, 65535,
                                                      UnityGain, flags));
    g_object_class_install_property(gobject_class, PROP_RIGHT_GAIN,
                                    g_param_spec_uint("right-gain", "Right gain",
                                                      "Gain of the second channel in 1/4096 (saturating)", 0, 65535,
                                                      UnityGain, flags));
    g_object_class_install_property(
        gobject_class, PROP_FORCE,
        g_param_spec_boolean("force", "Force",
                             "Replace a peak file of the wave viewer's layout or waveform data under location", FALSE,
                             flags));
    g_object_class_install_property(
        gobject_class, PROP_INPUTS,
        g_param_spec_boxed("inputs", "Inputs", "Files the peak file must never replace, whatever name leads to them",
                           G_TYPE_STRV, flags));
    g_object_class_install_property(
        gobject_class, PROP_POST_MESSAGES,
        g_param_spec_boolean("post-messages", "Post messages",
                             "Post a \"kxpeaks\" element message for every block of records (records, stream-time, "
                             "done)",
                             TRUE, GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING)));
    g_object_class_install_property(gobject_class, PROP_STREAMING,
                                    g_param_spec_boolean("streaming", "Streaming",
                                                         "Between start and stop: settings are fixed", FALSE,
                                                         GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobject_class, PROP_RMS,
        g_param_spec_boolean("rms", "RMS",
                             "Also compute the RMS of every record, per channel in 16-bit units after the gains, "
                             "and emit it through the \"rms\" signal",
                             FALSE, flags));

    // "peaks" (data, size, stream-time): whole records, emitted on the streaming thread.
    sinkSignals[SIGNAL_PEAKS] = g_signal_new("peaks", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr, nullptr,
                                         nullptr, G_TYPE_NONE, 3, G_TYPE_POINTER, G_TYPE_UINT, G_TYPE_UINT64);
    // "rms" (values, count): uint16 RMS levels, channels in order, of the
    // records the next "peaks" emission carries (with the "rms" property).
    sinkSignals[SIGNAL_RMS] = g_signal_new("rms", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr, nullptr,
                                           nullptr, G_TYPE_NONE, 2, G_TYPE_POINTER, G_TYPE_UINT);
    // "remove-committed": removes the peak file this element put in place,
    // while it is still that file (a graph that fails after its end of stream).
    klass->remove_committed = kx_peak_sink_remove_committed;
    sinkSignals[SIGNAL_REMOVE_COMMITTED] =
        g_signal_new("remove-committed", G_TYPE_FROM_CLASS(klass), GSignalFlags(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
                     G_STRUCT_OFFSET(KxPeakSinkClass, remove_committed), nullptr, nullptr, nullptr, G_TYPE_BOOLEAN, 0);

    element_class->change_state = GST_DEBUG_FUNCPTR(kx_peak_sink_change_state);
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_set_static_metadata(element_class, "Peak reducer", "Sink/Analyzer/Audio",
                                          "Reduces audio to peak records and writes the peak file", "kxaudio");
    base_class->get_caps = GST_DEBUG_FUNCPTR(kx_peak_sink_get_caps);
    base_class->set_caps = GST_DEBUG_FUNCPTR(kx_peak_sink_set_caps);
    base_class->start = GST_DEBUG_FUNCPTR(kx_peak_sink_start);
    base_class->stop = GST_DEBUG_FUNCPTR(kx_peak_sink_stop);
    base_class->render = GST_DEBUG_FUNCPTR(kx_peak_sink_render);
    base_class->event = GST_DEBUG_FUNCPTR(kx_peak_sink_event);
}

static void kx_peak_sink_init(KxPeakSink* self)
{
    self->state = new SinkState;
    self->state->settings.outputRate = DefaultRate;
    self->state->settings.channels = DefaultChannels;
    self->state->settings.bitsPerSample = DefaultBits;
    self->state->settings.samplesPerPeak = DefaultSamplesPerPeak;
    self->state->settings.leftGain = UnityGain;
    self->state->settings.rightGain = UnityGain;
    auto* sink = GST_BASE_SINK(self);
    // Records arrive as fast as the decoder delivers them.
    gst_base_sink_set_sync(sink, FALSE);
    gst_base_sink_set_qos_enabled(sink, FALSE);
    gst_base_sink_set_last_sample_enabled(sink, FALSE);
}

static gboolean plugin_init(GstPlugin* plugin)
{
    GST_DEBUG_CATEGORY_INIT(kx_peak_sink_debug, "kxpeaksink", 0, "peak reducer");
    return gst_element_register(plugin, "kxpeaksink", GST_RANK_NONE, kx_peak_sink_get_type());
}

// GStreamer's plugin description names the package it comes from.
#define PACKAGE "kxaudio"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, kxpeaks, "Peak records of audio for waveform views",
                  plugin_init, KXAUDIO_VERSION_STRING, "MIT", "kxaudio", "https://kxaudio.invalid/")
