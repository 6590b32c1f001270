#include "NativeSegments.h"

#include <QThread>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <atomic>
#include <memory>

#include "NativePipeline.h"
#include "SegmentPlan.h"
#include "WaveformData.h"
#include "WaveformGenerator.h"
#include "mediagraph/GstPtr.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Prerolling a segment's pipeline before its seek stops waiting after this long.
constexpr GstClockTime PrerollLimit = 20 * GST_SECOND;

struct Segment {
    uint64_t start = 0, stop = 0;  // frames; the last one runs to the end
    bool last = false;
    uint32_t rate = 0, channels = 0;
    GstElementPtr pipeline;
    std::unique_ptr<WaveformGenerator> generator;
    std::vector<int16_t> pixels;
    // Streaming thread.
    bool armed = false;  // counting: after the seek's flush (at once for the first)
    bool wide = false;   // 32-bit samples
    std::vector<int16_t> narrowed;
    uint64_t next = UINT64_MAX;
    std::atomic<bool> failed = false, reached = false;

    void End(GstPad* pad, bool ok)
    {
        (ok ? reached : failed) = true;
        GstElement* from = GST_PAD_PARENT(pad);
        gst_element_post_message(from, gst_message_new_application(GST_OBJECT(from), gst_structure_new_empty("kx-end")));
    }

    static GstPadProbeReturn OnData(GstPad* pad, GstPadProbeInfo* info, gpointer data)
    {
        auto* s = static_cast<Segment*>(data);
        if (s->failed || s->reached)
            return GST_PAD_PROBE_DROP;
        if (info->type & (GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH)) {
            GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
                s->armed = true;
            } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                GstAudioInfo audio;
                if (!gst_audio_info_from_caps(&audio, caps) || uint32_t(GST_AUDIO_INFO_RATE(&audio)) != s->rate ||
                    uint32_t(GST_AUDIO_INFO_CHANNELS(&audio)) != s->channels)
                    s->End(pad, false);
                else
                    s->wide = GST_AUDIO_INFO_FORMAT(&audio) == GST_AUDIO_FORMAT_S32LE;
            }
            return GST_PAD_PROBE_OK;
        }
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!buffer || !s->armed)
            return GST_PAD_PROBE_OK;
        if (!GST_BUFFER_PTS_IS_VALID(buffer)) {
            s->End(pad, false);
            return GST_PAD_PROBE_DROP;
        }
        // Samples are placed by their time in the stream, and must follow on.
        const uint64_t first = gst_util_uint64_scale_round(GST_BUFFER_PTS(buffer), s->rate, GST_SECOND);
        if ((s->next == UINT64_MAX && first > s->start) || (s->next != UINT64_MAX && first != s->next)) {
            s->End(pad, false);
            return GST_PAD_PROBE_DROP;
        }
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            s->End(pad, false);
            return GST_PAD_PROBE_DROP;
        }
        const uint64_t frames = map.size / ((s->wide ? 4 : 2) * size_t(s->channels));
        const int16_t* samples = NarrowSamples(map.data, size_t(frames) * s->channels, s->wide, s->narrowed);
        s->next = first + frames;
        const uint64_t from = std::max(first, s->start);
        const uint64_t to = s->last ? s->next : std::min(s->next, s->stop);
        if (to > from)
            s->generator->Process(samples + (from - first) * s->channels, size_t(to - from));
        gst_buffer_unmap(buffer, &map);
        if (!s->last && s->next >= s->stop) {
            s->End(pad, true);
            return GST_PAD_PROBE_DROP;
        }
        return GST_PAD_PROBE_OK;
    }
};

bool Launch(Segment& s, const QString& media)
{
    QString error;
    GstElement* fakesink = nullptr;
    s.pipeline.reset(MakeNativePipeline(media, std::nullopt, fakesink, error));
    if (!s.pipeline)
        return false;
    GstPadPtr pad(gst_element_get_static_pad(fakesink, "sink"));
    gst_pad_add_probe(pad.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      Segment::OnData, &s, nullptr);
    s.armed = s.start == 0;
    if (s.start == 0)
        return gst_element_set_state(s.pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    if (gst_element_set_state(s.pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(s.pipeline.get(), nullptr, nullptr, PrerollLimit) != GST_STATE_CHANGE_SUCCESS)
        return false;
    const gint64 at = gint64(gst_util_uint64_scale_int(s.start, GST_SECOND, int(s.rate)));
    return gst_element_seek_simple(s.pipeline.get(), GST_FORMAT_TIME,
                                   GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), at) &&
           gst_element_set_state(s.pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
}

// Whether the segment ran to its end: its stop, or the end of the stream for the last.
bool Wait(Segment& s)
{
    GstBusPtr bus(gst_pipeline_get_bus(GST_PIPELINE(s.pipeline.get())));
    GstMessagePtr message(gst_bus_timed_pop_filtered(
        bus.get(), GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
    const bool ok = !s.failed && (s.last ? GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS : s.reached.load());
    return ok && s.generator->Done();
}

} // namespace

std::optional<SegmentedPixels> SegmentedWaveformPixels(const QString& media,
                                                       const std::function<int32_t(uint32_t, uint64_t)>& zoomFor,
                                                       bool split, uint64_t maxBytes)
{
    // Only FLAC is cut here: other files are not probed (an MP3 file would be read whole).
    {
        uint64_t size = 0;
        const int fd = OpenNativeRegular(media, size);
        uint8_t magic[4] = {};
        const bool flac = fd >= 0 && ReadNativeAt(fd, 0, magic, 4) == 4 && std::memcmp(magic, "fLaC", 4) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!flac)
            return std::nullopt;
    }
    const SegmentableStream stream = ProbeSegmentable(media);
    const SegmentPolicy policy = DefaultSegmentPolicy();
    const int parallel = SegmentParallelism(policy, QThread::idealThreadCount());
    if (stream.codec != SegmentableCodec::Flac || parallel < 2 || stream.rate == 0 || stream.channels == 0 ||
        stream.channels > uint32_t(MaxWaveformChannels) || double(stream.frames) < policy.minSeconds * stream.rate)
        return std::nullopt;
    SegmentedPixels out;
    out.format = NativeFormat{stream.rate, stream.channels, stream.frames};
    out.zoom = zoomFor(stream.rate, stream.frames);
    out.channels = split ? int(stream.channels) : 1;
    if (out.zoom <= 0)
        return std::nullopt;
    const uint64_t pixels = stream.frames / uint64_t(out.zoom) + 1;
    if (pixels * uint64_t(4 * out.channels) > maxBytes)
        return std::nullopt;

    // Cuts on pixel boundaries: each segment makes whole pixels of its own.
    std::vector<std::unique_ptr<Segment>> segments;
    for (int k = 0; k < parallel; ++k) {
        auto s = std::make_unique<Segment>();
        s->start = stream.frames * uint64_t(k) / uint64_t(parallel) / uint64_t(out.zoom) * uint64_t(out.zoom);
        s->stop = stream.frames * uint64_t(k + 1) / uint64_t(parallel) / uint64_t(out.zoom) * uint64_t(out.zoom);
        s->last = k == parallel - 1;
        s->rate = stream.rate;
        s->channels = stream.channels;
        Segment* raw = s.get();
        s->generator = std::make_unique<WaveformGenerator>(out.zoom, split, [raw](const int16_t* v, size_t n) {
            raw->pixels.insert(raw->pixels.end(), v, v + n * 2 * size_t(raw->generator->OutputChannels()));
            return true;
        });
        s->generator->Init(stream.channels);
        if (!s->last && s->stop <= s->start)
            return std::nullopt;
        segments.push_back(std::move(s));
    }
    bool ok = true;
    for (auto& s : segments)
        ok = ok && Launch(*s, media);
    // A segment that reached its stop would decode on into the next one's frames: stopped at once.
    for (auto& s : segments) {
        ok = ok && Wait(*s);
        if (s->pipeline)
            gst_element_set_state(s->pipeline.get(), GST_STATE_NULL);
    }
    for (auto& s : segments)
        if (s->pipeline)
            gst_element_set_state(s->pipeline.get(), GST_STATE_NULL);
    if (!ok)
        return std::nullopt;
    for (auto& s : segments)
        out.values.insert(out.values.end(), s->pixels.begin(), s->pixels.end());
    return out;
}

} // namespace kx
