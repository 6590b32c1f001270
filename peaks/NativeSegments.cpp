#include "NativeSegments.h"

#include <QThread>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <atomic>
#include <memory>

#include "Mp3Frames.h"
#include "NativePipeline.h"
#include "SegmentByteSource.h"
#include "SegmentOverlap.h"
#include "WaveformData.h"
#include "WaveformGenerator.h"
#include "mediagraph/GstPtr.h"
#include "platform/Logging.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Prerolling a segment's pipeline before its seek stops waiting after this long.
constexpr GstClockTime PrerollLimit = 20 * GST_SECOND;

struct Segment {
    uint64_t start = 0, stop = 0;  // frames; the last one runs to the end
    bool last = false;
    uint32_t rate = 0, channels = 0;
    // Counted (MP3): samples are placed by counting them from the first
    // decoded one, at frame `decoded` (negative before the trimmed start),
    // never by their times. A feed decodes the bytes [beginByte, endByte) up
    // to frame decodeEnd; without one (endByte 0) the file is read as one
    // pass reads it. The last segment stops at limit; the frames around the
    // cuts are kept from exactFrom on, for the neighbours to compare.
    bool counted = false;
    uint64_t beginByte = 0, endByte = 0;
    int64_t decodeEnd = 0;
    uint64_t limit = UINT64_MAX;
    uint64_t exactFrom = 0;
    GstElementPtr pipeline;
    std::unique_ptr<WaveformGenerator> generator;
    std::vector<int16_t> pixels;
    // Streaming thread.
    bool armed = false;  // counting: after the seek's flush (at once for the first and counted ones)
    bool wide = false;   // 32-bit samples
    std::vector<int16_t> narrowed;
    uint64_t next = UINT64_MAX;
    int64_t decoded = 0;
    SegmentEdges edges;
    std::atomic<bool> failed = false, reached = false;

    bool Fed() const { return counted && endByte > 0; }

    void End(GstElement* from, bool ok)
    {
        (ok ? reached : failed) = true;
        gst_element_post_message(from, gst_message_new_application(GST_OBJECT(from), gst_structure_new_empty("kx-end")));
    }

    static void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data)
    {
        if (!FitsCountedMp3Segment(element))
            static_cast<Segment*>(data)->End(element, false);
    }

    static GstPadProbeReturn OnData(GstPad* pad, GstPadProbeInfo* info, gpointer data)
    {
        auto* s = static_cast<Segment*>(data);
        if (s->failed || s->reached)
            return GST_PAD_PROBE_DROP;
        if (info->type & (GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH)) {
            s->Event(pad, GST_PAD_PROBE_INFO_EVENT(info));
            return GST_PAD_PROBE_OK;
        }
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!buffer || !s->armed)
            return GST_PAD_PROBE_OK;
        GstMapInfo map;
        if ((!s->counted && !GST_BUFFER_PTS_IS_VALID(buffer)) || !gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            s->End(GST_PAD_PARENT(pad), false);
            return GST_PAD_PROBE_DROP;
        }
        const uint64_t frames = map.size / ((s->wide ? 4 : 2) * size_t(s->channels));
        const int16_t* samples = NarrowSamples(map.data, size_t(frames) * s->channels, s->wide, s->narrowed);
        const bool ok = s->counted ? s->Counted(samples, frames) : s->Timed(samples, frames, GST_BUFFER_PTS(buffer));
        gst_buffer_unmap(buffer, &map);
        if (!ok) {
            s->End(GST_PAD_PARENT(pad), false);
            return GST_PAD_PROBE_DROP;
        }
        // A feed runs to its end, where its samples are counted.
        if (!s->last && !s->Fed() && s->next >= s->stop) {
            s->End(GST_PAD_PARENT(pad), true);
            return GST_PAD_PROBE_DROP;
        }
        return GST_PAD_PROBE_OK;
    }

    void Event(GstPad* pad, GstEvent* event)
    {
        if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
            armed = true;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstAudioInfo audio;
            if (!gst_audio_info_from_caps(&audio, caps) || uint32_t(GST_AUDIO_INFO_RATE(&audio)) != rate ||
                uint32_t(GST_AUDIO_INFO_CHANNELS(&audio)) != channels)
                End(GST_PAD_PARENT(pad), false);
            else
                wide = GST_AUDIO_INFO_FORMAT(&audio) == GST_AUDIO_FORMAT_S32LE;
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && counted) {
            // Every frame of a feed gives its samples, or the count places none right.
            const bool whole = (!Fed() || decoded == decodeEnd) && next != UINT64_MAX && next >= (last ? limit : stop);
            (whole ? reached : failed) = true;
        }
    }

    // Samples are placed by their time in the stream, and must follow on.
    bool Timed(const int16_t* samples, uint64_t frames, GstClockTime pts)
    {
        const uint64_t first = gst_util_uint64_scale_round(pts, rate, GST_SECOND);
        if ((next == UINT64_MAX && first > start) || (next != UINT64_MAX && first != next))
            return false;
        next = first + frames;
        return Take(samples, first, frames);
    }

    // Samples are placed by their count; those before the trimmed start only warm the decoder up.
    bool Counted(const int16_t* samples, uint64_t frames)
    {
        const int64_t at = decoded;
        decoded += int64_t(frames);
        if (decoded <= 0)
            return true;
        const uint64_t skip = at < 0 ? uint64_t(-at) : 0;
        const uint64_t first = uint64_t(at + int64_t(skip));
        if (next == UINT64_MAX && first > start)
            return false;
        next = uint64_t(decoded);
        edges.Take(samples + skip * channels, first, size_t(frames - skip), start, stop, exactFrom, start > 0, !last,
                   channels);
        return Take(samples + skip * channels, first, frames - skip);
    }

    bool Take(const int16_t* samples, uint64_t first, uint64_t frames)
    {
        const uint64_t from = std::max(first, start);
        const uint64_t to = std::min(first + frames, last ? limit : stop);
        return to <= from || generator->Process(samples + (from - first) * channels, size_t(to - from));
    }
};

bool Launch(Segment& s, const QString& media)
{
    QString error;
    GstElement* fakesink = nullptr;
    GstElement* source = nullptr;
    if (s.Fed() && !(source = MakeMp3FrameSource(media, s.beginByte, s.endByte)))
        return false;
    s.pipeline.reset(MakeNativePipeline(media, std::nullopt, fakesink, error, source));
    if (!s.pipeline)
        return false;
    if (s.counted)
        g_signal_connect(s.pipeline.get(), "deep-element-added", G_CALLBACK(Segment::OnElementAdded), &s);
    GstPadPtr pad(gst_element_get_static_pad(fakesink, "sink"));
    gst_pad_add_probe(pad.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      Segment::OnData, &s, nullptr);
    // Counted segments never seek: they decode their own frames from the first.
    s.armed = s.start == 0 || s.counted;
    if (s.armed)
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
    const bool eos = GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    const bool ok = !s.failed && (s.counted ? s.reached.load() : s.last ? eos : s.reached.load());
    return ok && s.generator->Done();
}

// FLAC, or what may be MP3: other files are not probed (a long file of
// another kind would be read whole for nothing).
bool MayBeCut(const QString& media)
{
    uint64_t size = 0;
    const int fd = OpenNativeRegular(media, size);
    uint8_t magic[4] = {};
    const bool read = fd >= 0 && ReadNativeAt(fd, 0, magic, 4) == 4;
    if (fd >= 0)
        ::close(fd);
    return read && (std::memcmp(magic, "fLaC", 4) == 0 || std::memcmp(magic, "ID3", 3) == 0 ||
                    ParseMp3FrameHeader(magic).has_value());
}

// Where segments start: on pixel boundaries, so that each makes whole pixels of its own.
std::vector<uint64_t> PixelCuts(uint64_t frames, int32_t zoom, const SegmentPolicy& policy, int parallel)
{
    const uint64_t count = policy.segmentFrames > 0 ? (frames + policy.segmentFrames - 1) / policy.segmentFrames
                                                    : uint64_t(parallel);
    std::vector<uint64_t> cuts{0};
    for (uint64_t k = 1; k < count; ++k) {
        const uint64_t at = policy.segmentFrames > 0 ? k * policy.segmentFrames : frames * k / uint64_t(parallel);
        const uint64_t cut = at / uint64_t(zoom) * uint64_t(zoom);
        if (cut > cuts.back() && cut < frames)
            cuts.push_back(cut);
    }
    return cuts;
}

// MP3: the bytes each segment decodes and where its first sample lies, as the segmented build cuts them.
bool PlanFeed(Segment& s, const Mp3FrameIndex& index, uint64_t frames)
{
    s.counted = true;
    if (s.last)
        s.limit = frames;
    if (Mp3SegmentReadsFile(index, s.start))
        return true;
    const auto feed = PlanMp3Feed(index, s.start, s.stop, s.last);
    if (!feed)
        return false;
    s.beginByte = feed->beginByte;
    s.endByte = feed->endByte;
    s.decoded = feed->firstSample;
    s.decodeEnd = feed->firstSample + int64_t(feed->frames * index.samplesPerFrame);
    s.exactFrom = feed->exactFrom;
    return true;
}

} // namespace

std::optional<SegmentedPixels> SegmentedWaveformPixels(const QString& media,
                                                       const std::function<int32_t(uint32_t, uint64_t)>& zoomFor,
                                                       bool split, uint64_t maxBytes, const SegmentPolicy& policy)
{
    const int parallel = SegmentParallelism(policy, QThread::idealThreadCount());
    if (parallel < 2 || !MayBeCut(media))
        return std::nullopt;
    const SegmentableStream stream = ProbeSegmentable(media);
    const bool mp3 = stream.codec == SegmentableCodec::Mp3 && stream.mp3;
    if ((stream.codec != SegmentableCodec::Flac && !mp3) || stream.rate == 0 || stream.channels == 0 ||
        stream.channels > uint32_t(MaxWaveformChannels) || double(stream.frames) < policy.minSeconds * stream.rate)
        return std::nullopt;
    SegmentedPixels out;
    out.format = NativeFormat{stream.rate, stream.channels, stream.frames};
    out.zoom = zoomFor(stream.rate, stream.frames);
    out.channels = split ? int(stream.channels) : 1;
    if (out.zoom <= 0)
        return std::nullopt;
    // One pass goes by the parser's estimate of an MP3 file's length, not by the count.
    if (mp3 && zoomFor(stream.rate, 0) != out.zoom)
        return std::nullopt;
    const uint64_t pixels = stream.frames / uint64_t(out.zoom) + 1;
    if (pixels * uint64_t(4 * out.channels) > maxBytes)
        return std::nullopt;
    const std::vector<uint64_t> cuts = PixelCuts(stream.frames, out.zoom, policy, parallel);
    if (cuts.size() < 2)
        return std::nullopt;

    std::vector<std::unique_ptr<Segment>> segments;
    for (size_t k = 0; k < cuts.size(); ++k) {
        auto s = std::make_unique<Segment>();
        s->start = cuts[k];
        s->last = k + 1 == cuts.size();
        s->stop = s->last ? stream.frames : cuts[k + 1];
        s->rate = stream.rate;
        s->channels = stream.channels;
        if (mp3 && !PlanFeed(*s, *stream.mp3, stream.frames))
            return std::nullopt;
        Segment* raw = s.get();
        s->generator = std::make_unique<WaveformGenerator>(out.zoom, split, [raw](const int16_t* v, size_t n) {
            raw->pixels.insert(raw->pixels.end(), v, v + n * 2 * size_t(raw->generator->OutputChannels()));
            return true;
        });
        s->generator->Init(stream.channels);
        segments.push_back(std::move(s));
    }
    // `parallel` segments at a time, each stopped as soon as it is done: one
    // that reached its stop would decode on into the next one's frames.
    bool ok = true;
    size_t launched = 0;
    for (size_t k = 0; k < segments.size() && ok; ++k) {
        for (; ok && launched < segments.size() && launched < k + size_t(parallel); ++launched)
            ok = Launch(*segments[launched], media);
        ok = ok && Wait(*segments[k]);
        if (segments[k]->pipeline)
            gst_element_set_state(segments[k]->pipeline.get(), GST_STATE_NULL);
        // The frames both decoded before the cut agree.
        if (ok && k > 0 && mp3)
            ok = EdgesJoin(segments[k - 1]->edges, segments[k]->edges, segments[k]->start, stream.channels);
    }
    for (auto& s : segments)
        if (s->pipeline)
            gst_element_set_state(s->pipeline.get(), GST_STATE_NULL);
    if (!ok) {
        qCDebug(lcPeaks) << "waveform segments of" << media << "in doubt: one pass";
        return std::nullopt;
    }
    for (auto& s : segments)
        out.values.insert(out.values.end(), s->pixels.begin(), s->pixels.end());
    out.segments = int(segments.size());
    qCDebug(lcPeaks) << "waveform of" << media << "in" << out.segments << "segments";
    return out;
}

} // namespace kx
