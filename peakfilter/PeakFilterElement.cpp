// The peak filter: a sink element that reduces decoded audio to peak records,
// hands them to the builder's callback and optionally writes the peak file.
// The factory wraps it in a bin behind an audioconvert, which brings any raw
// audio to signed 16-bit at the requested channel count.
#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>
#include <gst/gst.h>

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "PeakFilterElement.h"
#include "mediagraph/AtomicPeakFile.h"
#include "mediagraph/PeakReducer.h"
#include "mediagraph/FilterRegistry.h"
#include "mediagraph/GraphEvents.h"
#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

GST_DEBUG_CATEGORY_STATIC(kx_peak_sink_debug);
#define GST_CAT_DEFAULT kx_peak_sink_debug

namespace {

using namespace PeakFilter;


class FilterState final : public IConfiguration, public IPeaks, public IFileSink
{
public:
    // Configuration: refused once the element has started.
    HResult SetGains(uint32_t left, uint32_t right) override
    {
        return Set([&] {
            settings_.leftGain = uint16_t(left);
            settings_.rightGain = uint16_t(right);
        });
    }
    HResult SetMode(uint32_t mode) override { return mode == 1 ? Set([] {}) : E_INVALIDARG; }
    HResult SetSampleRate(uint32_t hz) override
    {
        return hz == 0 ? E_INVALIDARG : Set([&] { settings_.outputRate = hz; });
    }
    HResult SetChannels(uint32_t channels) override
    {
        return channels != 1 && channels != 2 ? E_INVALIDARG : Set([&] { settings_.channels = channels; });
    }
    HResult SetBitsPerSample(uint32_t bits) override
    {
        return bits != 8 && bits != 16 ? E_INVALIDARG : Set([&] { settings_.bitsPerSample = bits; });
    }
    HResult SetFreeOutputFormat(uint32_t) override { return Set([] {}); }
    HResult SetDelays(uint32_t a, uint32_t b, uint32_t c) override
    {
        return (a | b | c) != 0 ? E_INVALIDARG : Set([] {});
    }
    HResult SetWindow(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override
    {
        return (a | b | c | d) != 0 ? E_INVALIDARG : Set([] {});
    }
    HResult SetPostProcessing(uint32_t) override { return Set([] {}); }
    HResult SetSamplesPerPeak(uint32_t frames) override
    {
        frames &= 0xFFFF;
        return frames == 0 ? E_INVALIDARG : Set([&] { settings_.samplesPerPeak = uint16_t(frames); });
    }
    HResult SetCallback(void* context, PeakCallback callback) override
    {
        return Set([&] {
            context_ = context;
            callback_ = callback;
        });
    }
    HResult SetFileName(const QString& fileName) override
    {
        if (fileName.isEmpty())
            return E_INVALIDARG;
        if (StatNative(fileName).isDir ||
            access(EncodeNativeName(QFileInfo(fileName).absolutePath()).constData(), W_OK) != 0)
            return E_FAIL;
        return Set([&] { fileName_ = fileName; });
    }
    HResult SetOutputRules(const OutputRules& rules) override
    {
        return Set([&] { rules_ = rules; });
    }
    HResult RemoveCommitted() override
    {
        std::lock_guard lock(mutex_);
        return file_.RemoveCommitted() ? S_OK : S_FALSE;
    }

    // Streaming side.
    bool Start(GstElement* self);
    bool SetInput(uint32_t rate, uint32_t channels);
    GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer);
    // Ends the stream: the last records, and the peak file put in place.
    // False when the file could not be written (FileError tells why).
    bool Finish(GstBaseSink* sink);
    QString FileError() const;
    void Stop();

    uint32_t Channels() const { return settings_.channels; }

private:
    template <typename F>
    HResult Set(F&& apply)
    {
        std::lock_guard lock(mutex_);
        if (started_)
            return VFW_E_WRONG_STATE;
        apply();
        return S_OK;
    }
    void Deliver(bool all);
    bool WriteHeader(int64_t duration100ns);
    // Media time of the frames fed in the current input format.
    int64_t DecodedTime() const;
    int64_t QueryDuration(GstBaseSink* sink) const;

    std::mutex mutex_;
    bool started_ = false;
    PeakReducerSettings settings_;
    void* context_ = nullptr;
    PeakCallback callback_ = nullptr;
    QString fileName_;
    OutputRules rules_ = AtomicPeakFile::Rules();

    PeakReducer reducer_;
    bool inputKnown_ = false;
    bool headerDone_ = false;
    int64_t headerDuration_ = 0;
    // Media time covered by the input formats before the current one.
    int64_t earlierTime_ = 0;
    AtomicPeakFile file_;
    uint64_t recordBytes_ = 0;
    bool writeFailed_ = false;
    std::vector<uint8_t> block_;
};

bool FilterState::Start(GstElement* self)
{
    std::lock_guard lock(mutex_);
    started_ = true;
    inputKnown_ = false;
    headerDone_ = false;
    earlierTime_ = 0;
    recordBytes_ = 0;
    writeFailed_ = false;
    block_.clear();
    if (fileName_.isEmpty())
        return true;
    if (!file_.Open(fileName_, rules_)) {
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_WRITE, ("%s", qPrintable(file_.ErrorText())), (nullptr));
        return false;
    }
    return true;
}

bool FilterState::SetInput(uint32_t rate, uint32_t channels)
{
    if (channels != settings_.channels)
        return false;
    // A format change mid-stream starts the run count afresh but keeps records.
    if (inputKnown_ && reducer_.Settings().inputRate == rate)
        return true;
    PeakReducerSettings s = settings_;
    s.inputRate = rate;
    if (inputKnown_) {
        reducer_.Done();
        earlierTime_ += DecodedTime();
    }
    std::vector<uint8_t> keep;
    reducer_.TakeRecords(keep);
    if (!reducer_.Init(s))
        return false;
    block_.insert(block_.end(), keep.begin(), keep.end());
    inputKnown_ = true;
    return true;
}

int64_t FilterState::QueryDuration(GstBaseSink* sink) const
{
    gint64 ns = -1;
    if (!gst_pad_peer_query_duration(GST_BASE_SINK_PAD(sink), GST_FORMAT_TIME, &ns) || ns < 0)
        return 0;
    return ns / 100;
}

int64_t FilterState::DecodedTime() const
{
    return int64_t((uint128_t)reducer_.FramesIn() * 10000000u / reducer_.Settings().inputRate);
}

bool FilterState::WriteHeader(int64_t duration100ns)
{
    if (!file_.IsOpen())
        return true;
    // The filter owns its file layout: "PEAK", bytes per channel and record,
    // channels, rate, decoded length at the output format, frames per record.
    uint8_t bytes[16] = {'P', 'E', 'A', 'K'};
    const uint32_t bytesPerSample = settings_.bitsPerSample / 8;
    bytes[4] = uint8_t(2 * bytesPerSample);
    bytes[5] = uint8_t(settings_.channels);
    WriteU32LE(bytes + 6, settings_.outputRate);
    const auto pcm = (uint128_t)settings_.outputRate * settings_.channels * bytesPerSample *
                     uint64_t(std::max<int64_t>(duration100ns, 0)) / 10000000u;
    WriteU32LE(bytes + 10, uint32_t(uint64_t(pcm) & 0xFFFFFFFFu));
    WriteU16LE(bytes + 14, settings_.samplesPerPeak);
    return file_.WriteAt(0, bytes, sizeof bytes);
}

void FilterState::Deliver(bool all)
{
    reducer_.TakeRecords(block_);
    if (block_.empty() || (!all && block_.size() < PeakDeliveryBytes))
        return;
    const uint64_t frames = reducer_.FramesIn();
    const uint32_t rate = reducer_.Settings().inputRate;
    const auto time = int64_t((uint128_t)frames * 10000000u / rate);
    if (file_.IsOpen() && !writeFailed_) {
        writeFailed_ = !file_.Write(block_.data(), block_.size());
        recordBytes_ += block_.size();
    }
    if (callback_)
        callback_(context_, int32_t(block_.size()), block_.data(), uint32_t(uint64_t(time) & 0xFFFFFFFFu),
                  uint32_t(uint64_t(time) >> 32));
    block_.clear();
}

GstFlowReturn FilterState::Render(GstBaseSink* sink, GstBuffer* buffer)
{
    if (!inputKnown_)
        return GST_FLOW_NOT_NEGOTIATED;
    if (!headerDone_) {
        headerDuration_ = QueryDuration(sink);
        if (!WriteHeader(headerDuration_)) {
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
    Deliver(false);
    if (writeFailed_) {
        GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("%s", qPrintable(file_.ErrorText())), (nullptr));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

bool FilterState::Finish(GstBaseSink* sink)
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
        headerDuration_ = QueryDuration(sink);
        headerDone_ = true;
        if (!WriteHeader(headerDuration_)) {
            file_.Abandon();
            return false;
        }
    }
    if (inputKnown_)
        Deliver(true);
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
    const int recordSize = 2 * int(settings_.bitsPerSample / 8) * int(settings_.channels);
    return file_.Commit(int64_t(recordBytes_ / uint64_t(recordSize)));
}

QString FilterState::FileError() const
{
    return file_.ErrorText();
}

void FilterState::Stop()
{
    std::lock_guard lock(mutex_);
    // Anything still open was interrupted: it must never look complete.
    file_.Abandon();
    started_ = false;
}

} // namespace

// The element.
struct KxPeakSink {
    GstBaseSink parent;
    FilterState* state;
};
struct KxPeakSinkClass {
    GstBaseSinkClass parent_class;
};

G_DEFINE_TYPE(KxPeakSink, kx_peak_sink, GST_TYPE_BASE_SINK)

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, "
                    "rate=(int)[1, 2147483647], channels=(int)[1, 2]"));

static void kx_peak_sink_finalize(GObject* object)
{
    delete reinterpret_cast<KxPeakSink*>(object)->state;
    G_OBJECT_CLASS(kx_peak_sink_parent_class)->finalize(object);
}

static GstCaps* kx_peak_sink_get_caps(GstBaseSink* sink, GstCaps* filter)
{
    auto* self = reinterpret_cast<KxPeakSink*>(sink);
    GstCaps* caps = gst_static_pad_template_get_caps(&sink_template);
    caps = gst_caps_make_writable(caps);
    gst_caps_set_simple(caps, "channels", G_TYPE_INT, int(self->state->Channels()), nullptr);
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

static gboolean kx_peak_sink_set_caps(GstBaseSink* sink, GstCaps* caps)
{
    auto* self = reinterpret_cast<KxPeakSink*>(sink);
    GstAudioInfo info;
    if (!gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_FORMAT(&info) != GST_AUDIO_FORMAT_S16LE) {
        GST_WARNING_OBJECT(sink, "refusing caps %" GST_PTR_FORMAT, static_cast<void*>(caps));
        return FALSE;
    }
    GST_INFO_OBJECT(sink, "input %d Hz, %d channels", GST_AUDIO_INFO_RATE(&info), GST_AUDIO_INFO_CHANNELS(&info));
    return self->state->SetInput(uint32_t(GST_AUDIO_INFO_RATE(&info)), uint32_t(GST_AUDIO_INFO_CHANNELS(&info)));
}

static gboolean kx_peak_sink_start(GstBaseSink* sink)
{
    return reinterpret_cast<KxPeakSink*>(sink)->state->Start(GST_ELEMENT(sink));
}

static gboolean kx_peak_sink_stop(GstBaseSink* sink)
{
    reinterpret_cast<KxPeakSink*>(sink)->state->Stop();
    return TRUE;
}

static GstFlowReturn kx_peak_sink_render(GstBaseSink* sink, GstBuffer* buffer)
{
    return reinterpret_cast<KxPeakSink*>(sink)->state->Render(sink, buffer);
}

static gboolean kx_peak_sink_event(GstBaseSink* sink, GstEvent* event)
{
    // The last run and the file are finished before end of stream is
    // reported, so a completed build always finds its peak file in place.
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS)
        GST_INFO_OBJECT(sink, "end of stream: finishing the last record and the peak file");
    FilterState* state = reinterpret_cast<KxPeakSink*>(sink)->state;
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && !state->Finish(sink))
        GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("%s", qPrintable(state->FileError())), (nullptr));
    return GST_BASE_SINK_CLASS(kx_peak_sink_parent_class)->event(sink, event);
}

static GstStateChangeReturn kx_peak_sink_change_state(GstElement* element, GstStateChange transition)
{
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(kx_peak_sink_parent_class)->change_state(element, transition);
    // Stopped (not just torn down): the streaming thread has ended, so an
    // unfinished peak file goes now rather than at the next teardown.
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        reinterpret_cast<KxPeakSink*>(element)->state->Stop();
    return result;
}

static void kx_peak_sink_class_init(KxPeakSinkClass* klass)
{
    auto* gobject_class = G_OBJECT_CLASS(klass);
    auto* element_class = GST_ELEMENT_CLASS(klass);
    auto* base_class = GST_BASE_SINK_CLASS(klass);
    gobject_class->finalize = kx_peak_sink_finalize;
    element_class->change_state = GST_DEBUG_FUNCPTR(kx_peak_sink_change_state);
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_set_static_metadata(element_class, "Peak reducer", "Sink/Analyzer/Audio",
                                          "Reduces audio to peak records", "kxaudio");
    base_class->get_caps = GST_DEBUG_FUNCPTR(kx_peak_sink_get_caps);
    base_class->set_caps = GST_DEBUG_FUNCPTR(kx_peak_sink_set_caps);
    base_class->start = GST_DEBUG_FUNCPTR(kx_peak_sink_start);
    base_class->stop = GST_DEBUG_FUNCPTR(kx_peak_sink_stop);
    base_class->render = GST_DEBUG_FUNCPTR(kx_peak_sink_render);
    base_class->event = GST_DEBUG_FUNCPTR(kx_peak_sink_event);
}

// The builder finds the interfaces through object data (see the contract).
static void Offer(GObject* object, FilterState* state)
{
    g_object_set_data(object, PeakFilter::ConfigurationKey, static_cast<PeakFilter::IConfiguration*>(state));
    g_object_set_data(object, PeakFilter::PeaksKey, static_cast<PeakFilter::IPeaks*>(state));
    g_object_set_data(object, PeakFilter::FileSinkKey, static_cast<PeakFilter::IFileSink*>(state));
}

static void kx_peak_sink_init(KxPeakSink* self)
{
    self->state = new FilterState;
    auto* sink = GST_BASE_SINK(self);
    gst_base_sink_set_sync(sink, FALSE);
    gst_base_sink_set_qos_enabled(sink, FALSE);
    gst_base_sink_set_last_sample_enabled(sink, FALSE);
    Offer(G_OBJECT(self), self->state);
}

namespace PeakFilter {

namespace {

void RegisterElement()
{
    static std::once_flag once;
    std::call_once(once, [] {
        GST_DEBUG_CATEGORY_INIT(kx_peak_sink_debug, "kxpeaksink", 0, "peak filter");
        gst_element_register(nullptr, "kxpeaksink", GST_RANK_NONE, kx_peak_sink_get_type());
    });
}

} // namespace

GstElement* Make(const QString& label)
{
    RegisterElement();
    GstElement* bin = gst_bin_new(label.toUtf8().constData());
    GstElement* convert = gst_element_factory_make("audioconvert", "convert");
    GstElement* sink = gst_element_factory_make("kxpeaksink", "peaks");
    if (!bin || !convert || !sink) {
        for (GstElement* e : {bin, convert, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return nullptr;
    }
    // Plain truncation keeps the extremes of the decoded samples.
    g_object_set(convert, "dithering", 0, "noise-shaping", 0, nullptr);
    gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
    gst_element_link(convert, sink);
    GstPad* target = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    Offer(G_OBJECT(bin), reinterpret_cast<KxPeakSink*>(sink)->state);
    return bin;
}


void Register()
{
    RegisterElement();
    if (!FilterRegistry::Registered(ClassId))
        FilterRegistry::Register(ClassId, Make);
}

} // namespace PeakFilter

// Programs that build peaks refer to this (see PeakFilterAnchor.cpp) so that
// this object, and with it the registration below, is part of them.
extern "C" const int kx_peak_filter_anchor = 1;

namespace {

// Loading the library offers the filter to the builder.
const bool registeredOnLoad = [] {
    FilterRegistry::Register(PeakFilter::ClassId, PeakFilter::Make);
    return true;
}();

} // namespace

} // namespace kx
