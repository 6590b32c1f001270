#include "SegmentedBuild.h"

#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <algorithm>
#include <chrono>

#include "BuildGraph.h"
#include "PeakFileOutput.h"
#include "PeakFormat.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GstPtr.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Bytes the file source reads at a time, as in the build graph.
constexpr guint SourceBlockBytes = 64 * 1024;
// Prerolling a segment's pipeline stops waiting after this long.
constexpr GstClockTime PrerollLimit = 20 * GST_SECOND;
// Frames around each cut that both neighbours decode and compare: a decoder
// that has not settled after the seek, or samples placed at another frame,
// show there.
constexpr uint64_t OverlapFrames = 4096;
// A run whose segments all hand on nothing for this long gives up (one pass
// then decides what the file is).
constexpr std::chrono::seconds StallLimit{20};

int64_t Time100ns(uint64_t frames, uint32_t rate)
{
    return int64_t((uint128_t)frames * 10000000u / rate);
}

} // namespace

struct SegmentedBuild::Segment {
    enum class State { Waiting, Running, Done, Failed };

    SegmentedBuild* owner = nullptr;
    size_t index = 0;
    SegmentSpan span;
    // Worker thread only.
    GstElement* pipeline = nullptr;
    // Streaming threads only.
    PeakReducer reducer;
    std::atomic<bool> capsKnown{false};
    // Buffers count once the seek's flush has passed (from the start for
    // the first segment).
    std::atomic<bool> armed{false};
    // The first buffer after a seek was passed over.
    bool primed = false;
    bool anchored = false;
    // Stream frame of the next sample.
    uint64_t position = 0;
    bool fed = false;
    std::atomic<bool> ended{false};
    // The frames just before the start (decoded as priming) and the last
    // ones of the segment, each from its first frame on.
    std::vector<int16_t> head;
    uint64_t headFrom = 0;
    std::vector<int16_t> tail;
    uint64_t tailFrom = 0;
    // Worker thread only: the head was compared with the tail before it.
    bool joined = false;
    // Under the owner's mutex.
    State state = State::Waiting;
    std::vector<uint8_t> records;
    uint64_t frames = 0;
    QString failure;
};

// The GStreamer callbacks of a segment's pipeline.
struct SegmentHooks {
    using Segment = SegmentedBuild::Segment;

    // Both take the converter as their data: only GStreamer's threads and
    // objects are involved in the linking.
    static void OnPadAdded(GstElement*, GstPad* pad, GstElement* convert)
    {
        GstPadPtr sink(gst_element_get_static_pad(convert, "sink"));
        if (gst_pad_is_linked(sink.get()))
            return;
        GstCapsPtr caps(gst_pad_get_current_caps(pad));
        if (!caps)
            caps.reset(gst_pad_query_caps(pad, nullptr));
        if (!caps || gst_caps_is_empty(caps.get()) ||
            !g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "audio/"))
            return;
        gst_pad_link(pad, sink.get());
    }

    static void OnNoMorePads(GstElement* decodebin, GstElement* convert)
    {
        GstPadPtr sink(gst_element_get_static_pad(convert, "sink"));
        if (!gst_pad_is_linked(sink.get()))
            GST_ELEMENT_ERROR(decodebin, STREAM, WRONG_TYPE, ("The file has no audio."), (nullptr));
    }

    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer data)
    {
        auto* s = static_cast<Segment*>(data);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            s->owner->Fail(*s, ErrorText(message));
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    static GstPadProbeReturn OnData(GstPad*, GstPadProbeInfo* info, gpointer data)
    {
        auto* s = static_cast<Segment*>(data);
        if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
            Buffer(*s, GST_PAD_PROBE_INFO_BUFFER(info));
        else if (GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info))
            Event(*s, event);
        return GST_PAD_PROBE_OK;
    }

    static void Event(Segment& s, GstEvent* event)
    {
        switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_FLUSH_STOP:
            s.armed = true;
            break;
        case GST_EVENT_CAPS: {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstAudioInfo info;
            const PeakReducerSettings& settings = s.reducer.Settings();
            if (!gst_audio_info_from_caps(&info, caps) || GST_AUDIO_INFO_FORMAT(&info) != GST_AUDIO_FORMAT_S16LE ||
                uint32_t(GST_AUDIO_INFO_RATE(&info)) != settings.inputRate ||
                uint32_t(GST_AUDIO_INFO_CHANNELS(&info)) != settings.channels)
                s.owner->Fail(s, QStringLiteral("the decoded format differs from the header"));
            else
                s.capsKnown = true;
            break;
        }
        case GST_EVENT_EOS:
            if (!s.armed || s.ended)
                break;
            if (!s.span.last)
                s.owner->Fail(s, QStringLiteral("the stream ended before the segment did"));
            else if (!s.fed && s.index > 0)
                s.owner->Fail(s, QStringLiteral("nothing decoded after the seek"));
            else
                s.owner->Finish(s);
            break;
        default:
            break;
        }
    }

    static void Buffer(Segment& s, GstBuffer* buffer)
    {
        if (!s.armed || s.ended)
            return;
        const PeakReducerSettings& settings = s.reducer.Settings();
        if (!s.capsKnown)
            return s.owner->Fail(s, QStringLiteral("samples before their format"));
        if (!GST_BUFFER_PTS_IS_VALID(buffer))
            return s.owner->Fail(s, QStringLiteral("samples without a time"));
        const uint64_t at = gst_util_uint64_scale_int_round(GST_BUFFER_PTS(buffer), int(settings.inputRate), GST_SECOND);
        const size_t frames = gst_buffer_get_size(buffer) / (2 * size_t(settings.channels));
        if (s.index > 0 && !s.primed) {
            // The decoder may have cut this buffer at the seek position, and
            // rounded its time with it: it is not counted from, and must lie
            // wholly before the segment.
            s.primed = true;
            if (at + frames >= s.span.startFrame)
                s.owner->Fail(s, QStringLiteral("the seek landed too late"));
            return;
        }
        if (!s.anchored) {
            s.anchored = true;
            s.position = at;
            // Whole-stream frames count from the first decoded one.
            if (s.index == 0 && at != 0)
                return s.owner->Fail(s, QStringLiteral("the stream does not start at time 0"));
        }
        if (at != s.position)
            return s.owner->Fail(s, QStringLiteral("the decoded samples do not follow on"));
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
            return s.owner->Fail(s, QStringLiteral("unreadable samples"));
        s.owner->Take(s, reinterpret_cast<const int16_t*>(map.data), at, frames);
        gst_buffer_unmap(buffer, &map);
        s.position += frames;
    }
};

SegmentedBuild::SegmentedBuild(const QString& mediaFile, const SegmentableStream& stream,
                               std::vector<SegmentSpan> plan, const Settings& settings)
    : mediaFile_(mediaFile), stream_(stream), settings_(settings)
{
    settings_.peaks.inputRate = stream.rate;
    settings_.parallel = std::max(settings_.parallel, 1);
    for (size_t i = 0; i < plan.size(); ++i) {
        auto segment = std::make_unique<Segment>();
        segment->owner = this;
        segment->index = i;
        segment->span = plan[i];
        segments_.push_back(std::move(segment));
    }
}

SegmentedBuild::~SegmentedBuild()
{
    Stop();
}

QString SegmentedBuild::FailureText() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

int64_t SegmentedBuild::Duration100ns() const
{
    return stream_.rate ? Time100ns(stream_.frames, stream_.rate) : 0;
}

bool SegmentedBuild::Open()
{
    for (auto& s : segments_) {
        if (!s->reducer.Init(settings_.peaks, s->span.firstRecord)) {
            failure_ = QStringLiteral("unusable peak settings");
            return false;
        }
    }
    if (segments_.empty() || !segments_.back()->span.last) {
        failure_ = QStringLiteral("no segments");
        return false;
    }
    if (!settings_.peakFile.isEmpty()) {
        output_ = std::make_unique<PeakFileOutput>();
        if (!output_->Open(settings_.peakFile)) {
            failure_ = output_->ErrorText();
            Close(false);
            return false;
        }
    }
    return true;
}

void SegmentedBuild::Close(bool commit)
{
    if (output_ && !commit)
        output_->Abort();
    output_.reset();
}

bool SegmentedBuild::Start(Finished finished)
{
    if (!Open())
        return false;
    stop_ = false;
    worker_ = std::thread([this, finished = std::move(finished)] {
        const bool ok = Join();
        if (!stop_ && finished)
            finished(ok);
    });
    return true;
}

bool SegmentedBuild::Run()
{
    return Open() && Join();
}

void SegmentedBuild::Pause()
{
    std::lock_guard lock(mutex_);
    paused_ = true;
    wake_.notify_all();
}

void SegmentedBuild::Resume()
{
    std::lock_guard lock(mutex_);
    paused_ = false;
    wake_.notify_all();
}

void SegmentedBuild::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    HaltAll();
    // Interrupted: an unfinished peak file must never look complete.
    Close(false);
}

bool SegmentedBuild::Launch(Segment& s)
{
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* decodebin = gst_element_factory_make("decodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!pipeline || !source || !decodebin || !convert || !filter || !sink) {
        for (GstElement* e : {pipeline, source, decodebin, convert, filter, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        Fail(s, QStringLiteral("missing GStreamer elements"));
        return false;
    }
    s.pipeline = GST_ELEMENT(gst_object_ref_sink(pipeline));
    g_object_set(source, "location", EncodeNativeName(mediaFile_).constData(), "blocksize", SourceBlockBytes, nullptr);
    // What the peak filter's own converter does, to the format it takes.
    g_object_set(convert, "dithering", 0, "noise-shaping", 0, nullptr);
    GstCapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "channels", G_TYPE_INT, int(settings_.peaks.channels),
                                        nullptr));
    g_object_set(filter, "caps", caps.get(), nullptr);
    g_object_set(sink, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
    ChooseDecoders(decodebin);
    g_signal_connect(decodebin, "pad-added", G_CALLBACK(SegmentHooks::OnPadAdded), convert);
    g_signal_connect(decodebin, "no-more-pads", G_CALLBACK(SegmentHooks::OnNoMorePads), convert);
    gst_bin_add_many(GST_BIN(pipeline), source, decodebin, convert, filter, sink, nullptr);
    if (!gst_element_link(source, decodebin) || !gst_element_link_many(convert, filter, sink, nullptr)) {
        Fail(s, QStringLiteral("cannot connect"));
        return false;
    }
    GstPadPtr pad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_add_probe(pad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                 GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      SegmentHooks::OnData, &s, nullptr);
    GstBusPtr bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline)));
    gst_bus_set_sync_handler(bus.get(), SegmentHooks::OnMessage, &s, nullptr);
    gst_pipeline_use_clock(GST_PIPELINE(pipeline), nullptr);
    {
        std::lock_guard lock(mutex_);
        s.state = Segment::State::Running;
    }
    s.armed = s.index == 0;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        Fail(s, QStringLiteral("cannot start decoding"));
        return false;
    }
    if (s.index > 0) {
        if (gst_element_get_state(pipeline, nullptr, nullptr, PrerollLimit) != GST_STATE_CHANGE_SUCCESS) {
            Fail(s, QStringLiteral("cannot start decoding"));
            return false;
        }
        // From a second before the segment: the frames before it prime the
        // decoder and are cut off by their position. A second past its end
        // lets the pipeline end by itself; the last one decodes to the end.
        const uint32_t rate = stream_.rate;
        const uint64_t from = s.span.startFrame > rate ? s.span.startFrame - rate : 0;
        const GstClockTime start = gst_util_uint64_scale_int(from, GST_SECOND, int(rate));
        const GstClockTime stop = gst_util_uint64_scale_int(s.span.stopFrame + rate, GST_SECOND, int(rate));
        if (!gst_element_seek(pipeline, 1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                              GST_SEEK_TYPE_SET, GstClockTimeDiff(start), s.span.last ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET,
                              s.span.last ? GstClockTimeDiff(-1) : GstClockTimeDiff(stop))) {
            Fail(s, QStringLiteral("cannot seek"));
            return false;
        }
    }
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        Fail(s, QStringLiteral("cannot start decoding"));
        return false;
    }
    return true;
}

void SegmentedBuild::Halt(Segment& s)
{
    if (!s.pipeline)
        return;
    // Joins the streaming threads; none may be waiting on the mutex held here.
    gst_element_set_state(s.pipeline, GST_STATE_NULL);
    gst_object_unref(s.pipeline);
    s.pipeline = nullptr;
}

void SegmentedBuild::HaltAll()
{
    for (auto& s : segments_)
        Halt(*s);
}

namespace {

// Appends the frames of [from, to) that the buffer holds to a capture that
// starts at `at`.
void Capture(std::vector<int16_t>& capture, uint64_t& at, const int16_t* samples, uint64_t first, size_t frames,
             uint64_t from, uint64_t to, uint32_t channels)
{
    from = std::max(from, first);
    to = std::min<uint64_t>(to, first + frames);
    if (to <= from)
        return;
    if (capture.empty())
        at = from;
    const int16_t* p = samples + (from - first) * channels;
    capture.insert(capture.end(), p, p + (to - from) * channels);
}

} // namespace

bool SegmentedBuild::Joins(const Segment& before, const Segment& after) const
{
    const uint32_t channels = settings_.peaks.channels;
    const uint64_t cut = after.span.startFrame;
    const uint64_t from = std::max(before.tailFrom, after.headFrom);
    if (before.tail.empty() || after.head.empty() || before.tailFrom + before.tail.size() / channels != cut ||
        after.headFrom + after.head.size() / channels != cut || from >= cut)
        return false;
    return std::equal(before.tail.end() - std::ptrdiff_t((cut - from) * channels), before.tail.end(),
                      after.head.end() - std::ptrdiff_t((cut - from) * channels));
}

void SegmentedBuild::Take(Segment& s, const int16_t* samples, uint64_t first, size_t frames)
{
    const uint32_t channels = settings_.peaks.channels;
    const uint64_t start = s.span.startFrame;
    if (s.index > 0)
        Capture(s.head, s.headFrom, samples, first, frames, start > OverlapFrames ? start - OverlapFrames : 0, start,
                channels);
    if (!s.span.last) {
        const uint64_t stop = s.span.stopFrame;
        Capture(s.tail, s.tailFrom, samples, first, frames, std::max(start, stop > OverlapFrames ? stop - OverlapFrames : 0),
                stop, channels);
    }
    const uint64_t from = std::max(first, s.span.startFrame);
    const uint64_t to = s.span.last ? first + frames : std::min<uint64_t>(first + frames, s.span.stopFrame);
    if (to > from) {
        if (!s.fed && from != s.span.startFrame)
            return Fail(s, QStringLiteral("the decoded samples miss the segment's start"));
        s.reducer.Process(samples + (from - first) * settings_.peaks.channels, size_t(to - from));
        s.fed = true;
    }
    if (!s.span.last && first + frames >= s.span.stopFrame) {
        s.ended = true;
        Finish(s);
    } else if (s.reducer.PendingBytes() >= PeakDeliveryBytes) {
        Publish(s);
    }
}

void SegmentedBuild::Publish(Segment& s)
{
    std::lock_guard lock(mutex_);
    if (s.state != Segment::State::Running)
        return;
    s.reducer.TakeRecords(s.records);
    s.frames = s.reducer.FramesIn();
    ++activity_;
    wake_.notify_all();
}

void SegmentedBuild::Finish(Segment& s)
{
    if (s.span.last)
        s.reducer.Done();
    s.ended = true;
    std::lock_guard lock(mutex_);
    if (s.state != Segment::State::Running)
        return;
    s.reducer.TakeRecords(s.records);
    s.frames = s.reducer.FramesIn();
    s.state = Segment::State::Done;
    ++activity_;
    wake_.notify_all();
}

void SegmentedBuild::Fail(Segment& s, const QString& why)
{
    s.ended = true;
    std::lock_guard lock(mutex_);
    if (s.state == Segment::State::Done || s.state == Segment::State::Failed)
        return;
    s.state = Segment::State::Failed;
    s.failure = QStringLiteral("segment %1: %2").arg(s.index).arg(why);
    wake_.notify_all();
}

void SegmentedBuild::Deliver(uint64_t frames, bool all)
{
    if (block_.empty() || (!all && block_.size() < PeakDeliveryBytes))
        return;
    const int64_t time = Time100ns(frames, settings_.peaks.inputRate);
    if (output_)
        output_->Append(block_.data(), block_.size());
    if (settings_.callback)
        settings_.callback(settings_.context, int32_t(block_.size()), block_.data(),
                           uint32_t(uint64_t(time) & 0xFFFFFFFFu), uint32_t(uint64_t(time) >> 32));
    block_.clear();
}

bool SegmentedBuild::Join()
{
    const size_t count = segments_.size();
    size_t next = 0;
    size_t current = 0;
    int running = 0;
    bool paused = false;
    uint64_t frames = 0;
    QString failure;
    while (current < count && failure.isEmpty()) {
        while (!paused && running < settings_.parallel && next < count) {
            Launch(*segments_[next++]);
            ++running;
        }
        std::vector<Segment*> done;
        bool currentDone = false;
        bool pause = paused;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [&] {
                const Segment& c = *segments_[current];
                if (stop_ || paused_ != paused)
                    return true;
                if (paused_)
                    return false;
                return !c.records.empty() || c.state != Segment::State::Running ||
                       std::any_of(segments_.begin(), segments_.end(), [](const auto& s) {
                           return s->state == Segment::State::Failed ||
                                  (s->pipeline && s->state == Segment::State::Done);
                       });
            };
            // Running segments that hand on nothing for this long have stalled.
            const uint64_t seen = activity_;
            if (!wake_.wait_for(lock, StallLimit, ready) && activity_ == seen && !paused_) {
                failure = QStringLiteral("decoding made no progress");
                break;
            }
            if (stop_)
                break;
            pause = paused_;
            for (auto& s : segments_) {
                if (s->state == Segment::State::Failed && failure.isEmpty())
                    failure = s->failure;
                if (s->state == Segment::State::Done && s->pipeline)
                    done.push_back(s.get());
            }
            if (paused_ == paused && !paused) {
                Segment& c = *segments_[current];
                // Its first records follow its head, which is complete by then.
                if (current > 0 && !c.joined && (!c.records.empty() || c.state == Segment::State::Done)) {
                    c.joined = true;
                    if (!Joins(*segments_[current - 1], c)) {
                        failure = QStringLiteral("segment %1 does not decode alike across its start").arg(current);
                        break;
                    }
                }
                block_.insert(block_.end(), c.records.begin(), c.records.end());
                c.records.clear();
                frames = std::max(frames, c.frames);
                currentDone = c.state == Segment::State::Done;
            }
        }
        if (!failure.isEmpty())
            break;
        if (paused != pause) {
            paused = pause;
            for (auto& s : segments_)
                if (s->pipeline)
                    gst_element_set_state(s->pipeline, paused ? GST_STATE_PAUSED : GST_STATE_PLAYING);
        }
        for (Segment* s : done) {
            Halt(*s);
            --running;
        }
        Deliver(frames, false);
        if (currentDone)
            ++current;
    }
    HaltAll();
    if (stop_ || current < count) {
        std::lock_guard lock(mutex_);
        failure_ = failure.isEmpty() ? QStringLiteral("stopped") : failure;
        Close(false);
        return false;
    }
    Deliver(frames, true);
    if (!output_)
        return true;
    uint8_t header[PeakHeaderSize];
    EncodePeakHeader(MakePeakHeader(settings_.peaks.outputRate, settings_.peaks.channels,
                                    settings_.peaks.bitsPerSample, settings_.peaks.samplesPerPeak,
                                    Time100ns(frames, settings_.peaks.inputRate)),
                     header);
    const bool ok = output_->Commit(header);
    if (!ok) {
        std::lock_guard lock(mutex_);
        failure_ = output_->ErrorText();
    }
    output_.reset();
    return ok;
}

} // namespace kx
