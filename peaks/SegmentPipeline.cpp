// The pipelines of a segmented build: one per segment, decoding from an
// accurate seek, with every decoded sample placed by its stream position.
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <algorithm>
#include <cstring>

#include "BuildGraph.h"
#include "SegmentByteSource.h"
#include "SegmentedBuildSegment.h"
#include "mediagraph/ChannelFold.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/GstPtr.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Prerolling a segment's pipeline stops waiting after this long.
constexpr GstClockTime PrerollLimit = 20 * GST_SECOND;

} // namespace

// The GStreamer callbacks of a segment's pipeline.
struct SegmentHooks {
    using Segment = SegmentedBuild::Segment;

    // Both take the converter as their data: only GStreamer's threads and
    // objects are involved in the linking.
    static void OnPadAdded(GstElement*, GstPad* pad, GstElement* convert)
    {
        GstPadPtr sink(gst_element_get_static_pad(convert, "sink"));
        if (!gst_pad_is_linked(sink.get()) && PadCarriesAudio(pad))
            gst_pad_link(pad, sink.get());
    }

    static void OnNoMorePads(GstElement* decodebin, GstElement* convert)
    {
        GstPadPtr sink(gst_element_get_static_pad(convert, "sink"));
        if (!gst_pad_is_linked(sink.get()))
            GST_ELEMENT_ERROR(decodebin, STREAM, WRONG_TYPE, ("The file has no audio."), (nullptr));
    }

    // Counted segments: samples match one pass only from the decoder whose
    // warm-up was measured.
    static void OnElementAdded(GstBin*, GstElement* element, gpointer data)
    {
        auto* s = static_cast<Segment*>(data);
        if (!FitsCountedMp3Segment(element))
            s->owner->Fail(*s, QStringLiteral("decoded by %1")
                                   .arg(QString::fromUtf8(GST_OBJECT_NAME(gst_element_get_factory(element)))));
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
            if (s.counted) {
                // Every frame of a feed gives its samples, or the count places none right.
                if (s.endByte > 0 && s.decoded != s.decodeEnd)
                    s.owner->Fail(s, QStringLiteral("the decoder gave %1 samples for %2")
                                         .arg(s.decoded - s.decodeFirst)
                                         .arg(s.decodeEnd - s.decodeFirst));
                else if (s.position < (s.span.last ? s.limit : s.span.stopFrame))
                    s.owner->Fail(s, QStringLiteral("the stream ended before the segment did"));
                else
                    s.owner->Finish(s);
                break;
            }
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
        const size_t frames = gst_buffer_get_size(buffer) / (2 * size_t(settings.channels));
        if (s.counted)
            return Counted(s, buffer, frames);
        if (!GST_BUFFER_PTS_IS_VALID(buffer))
            return s.owner->Fail(s, QStringLiteral("samples without a time"));
        const uint64_t at = gst_util_uint64_scale_int_round(GST_BUFFER_PTS(buffer), int(settings.inputRate), GST_SECOND);
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

    static void Counted(Segment& s, GstBuffer* buffer, size_t frames)
    {
        const int64_t at = s.decoded;
        s.decoded += int64_t(frames);
        if (s.decoded <= 0)
            return;
        // Frames before the trimmed start are warm-up only.
        const size_t skip = at < 0 ? size_t(-at) : 0;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
            return s.owner->Fail(s, QStringLiteral("unreadable samples"));
        const auto* samples = reinterpret_cast<const int16_t*>(map.data) + skip * s.reducer.Settings().channels;
        s.position = uint64_t(s.decoded);
        s.owner->Take(s, samples, uint64_t(at + int64_t(skip)), frames - skip);
        gst_buffer_unmap(buffer, &map);
    }
};

bool SegmentedBuild::Launch(Segment& s)
{
    GstElement* pipeline = gst_pipeline_new(nullptr);
    // A segment with a feed decodes its own bytes; the others read the file.
    const bool feed = s.counted && s.endByte > 0;
    GstElement* source = nullptr;
    if (feed) {
        source = MakeMp3FrameSource(mediaFile_, s.beginByte, s.endByte);
    } else {
        source = gst_element_factory_make("filesrc", nullptr);
    }
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
    if (!feed)
        g_object_set(source, "location", EncodeNativeName(mediaFile_).constData(), "blocksize", SourceBlockBytes,
                     nullptr);
    // What the peak filter's own converter does, to the format it takes.
    g_object_set(convert, "dithering", 0, "noise-shaping", 0, nullptr);
    FoldUnpositionedChannels(convert);
    GstCapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "channels", G_TYPE_INT, int(settings_.peaks.channels),
                                        nullptr));
    g_object_set(filter, "caps", caps.get(), nullptr);
    g_object_set(sink, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
    ChooseDecoders(decodebin);
    g_signal_connect(decodebin, "pad-added", G_CALLBACK(SegmentHooks::OnPadAdded), convert);
    g_signal_connect(decodebin, "no-more-pads", G_CALLBACK(SegmentHooks::OnNoMorePads), convert);
    if (s.counted)
        g_signal_connect(decodebin, "element-added", G_CALLBACK(SegmentHooks::OnElementAdded), &s);
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
    // Only a seek's flush starts the counting of the others.
    s.armed = s.index == 0 || s.counted;
    s.decoded = s.decodeFirst;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        Fail(s, QStringLiteral("cannot start decoding"));
        return false;
    }
    if (s.index > 0 && !s.counted) {
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

void SegmentedBuild::Take(Segment& s, const int16_t* samples, uint64_t first, size_t frames)
{
    s.edges.Take(samples, first, frames, s.span.startFrame, s.span.stopFrame, s.exactFrom, s.index > 0, !s.span.last,
                 settings_.peaks.channels);
    const uint64_t from = std::max(first, s.span.startFrame);
    const uint64_t to = std::min<uint64_t>(first + frames, s.span.last ? s.limit : s.span.stopFrame);
    if (to > from) {
        if (!s.fed && from != s.span.startFrame)
            return Fail(s, QStringLiteral("the decoded samples miss the segment's start"));
        s.reducer.Process(samples + (from - first) * settings_.peaks.channels, size_t(to - from));
        s.fed = true;
    }
    // A feed runs to its end, where its samples are counted.
    const bool feed = s.counted && s.endByte > 0;
    if (!s.span.last && !feed && first + frames >= s.span.stopFrame) {
        s.ended = true;
        Finish(s);
    } else if (s.reducer.PendingBytes() >= PeakDeliveryBytes) {
        Publish(s);
    }
}

} // namespace kx
