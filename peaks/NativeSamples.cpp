#include "NativeSamples.h"
#include "NativePipeline.h"

#include <QSet>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <unistd.h>
#include <algorithm>
#include <bit>
#include <mutex>
#include <optional>
#include <vector>

#include "BuildGraph.h"
#include "Mp3Frames.h"
#include "WavDirect.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/GstPtr.h"
#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// WAV data read at a time: large sequential reads, as the builder's direct path.
constexpr size_t WavBlockBytes = 1 << 20;

const char* const RawFormats[] = {"s8",    "u8",    "s16le", "s16be", "s24le", "s24be",
                                  "s32le", "s32be", "f32le", "f32be", "f64le", "f64be"};

bool DecodeWav(const QString& media, const WavLayout& layout, uint64_t from, const NativeSampleSink& sink,
               QString& error)
{
    ScopedFd file;
    uint64_t size = 0;
    file.fd = OpenNativeRegular(media, size);
    if (file.fd < 0) {
        error = QStringLiteral("cannot be opened");
        return false;
    }
    if (!sink.begin(NativeFormat{layout.rate, layout.channels, layout.Frames()}))
        return false;
    // Blocks no larger than the file: a short file's run is mostly start-up,
    // and touching unused buffer pages costs more than reading it.
    const uint64_t total = layout.Frames();
    const size_t blockFrames =
        size_t(std::clamp<uint64_t>(total, 1, std::max<size_t>(1, WavBlockBytes / layout.blockAlign)));
    // 16-bit samples are read as they are; other widths are converted.
    const bool asIs = layout.kind == WavSampleKind::S16 && std::endian::native == std::endian::little;
    std::vector<uint8_t> in(asIs ? 0 : blockFrames * layout.blockAlign);
    std::vector<int16_t> out(blockFrames * layout.channels);
    for (uint64_t done = std::min(from, total); done < total;) {
        const size_t frames = size_t(std::min<uint64_t>(blockFrames, total - done));
        const size_t bytes = frames * layout.blockAlign;
        uint8_t* to = asIs ? reinterpret_cast<uint8_t*>(out.data()) : in.data();
        if (ReadNativeAt(file.fd, layout.dataOffset + done * layout.blockAlign, to, bytes) != bytes) {
            error = QStringLiteral("ends before its data");
            return false;
        }
        if (layout.kind == WavSampleKind::S24 || layout.kind == WavSampleKind::S32) {
            // Their top 16 bits, rounded down as PCM readers narrow them.
            const size_t width = layout.kind == WavSampleKind::S24 ? 3 : 4;
            for (size_t i = 0; i < frames * layout.channels; ++i)
                out[i] = static_cast<int16_t>(in[i * width + width - 2] | in[i * width + width - 1] << 8);
        } else if (!asIs) {
            ConvertWavToS16(layout, layout.channels, in.data(), frames, out.data());
        }
        if (!sink.take(out.data(), frames))
            return false;
        done += frames;
    }
    return true;
}

std::optional<Mp3DecoderTrim> ReadTrim(const QString& media)
{
    uint64_t size = 0;
    ScopedFd file;
    file.fd = OpenNativeRegular(media, size);
    if (file.fd < 0)
        return std::nullopt;
    return Mp3OnePassTrim(size, [fd = file.fd](uint64_t offset, uint8_t* out, size_t n) {
        return ReadNativeAt(fd, offset, out, n) == n;
    });
}

// The format the decoded samples are converted to.
void SetSampleWidth(GstElement* filter, bool wide)
{
    GstCapsPtr caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, wide ? "S32LE" : "S16LE", "layout",
                                        G_TYPE_STRING, "interleaved", nullptr));
    g_object_set(filter, "caps", caps.get(), nullptr);
}

// What the pipeline's streaming thread shares with the waiting caller.
struct Decode {
    // Held by the probe while it runs and by the caller while it reads what
    // the probe left: the bus orders them too, but through locks of its own.
    mutable std::mutex lock;
    const NativeSampleSink* sink = nullptr;
    GstElement* pipeline = nullptr;
    NativeFormat format;
    bool begun = false;
    bool refused = false;
    uint64_t decoded = 0;  // frames the decoder gave, trimmed ones included
    uint64_t skip = 0, end = UINT64_MAX;
    // After a seek the decoder resumes at its buffers' timestamps, not where
    // the count stood: the count is taken from the next buffer.
    bool seeking = false, resync = false;
    // The decoded frame the stream's first buffer is stamped with: the count
    // starts there, so positions after a seek are taken relative to it.
    std::optional<uint64_t> origin;
    uint64_t next = 0;  // the stream frame the sink takes next
    std::vector<int16_t> silence;
    bool wide = false;  // 32-bit samples
    std::vector<int16_t> narrowed;

    void Stop(GstElement* from)
    {
        refused = true;
        gst_element_post_message(from, gst_message_new_application(GST_OBJECT(from), gst_structure_new_empty("kx-stop")));
    }

    // Hands the buffer's frames from the next one the sink expects on, within
    // [skip, end) of the decoded frames; a decoder that resumed past it after a
    // seek leaves silence in between, so that the sink's frames stay in place.
    bool Hand(const int16_t* samples, size_t frames)
    {
        const uint64_t at = skip + next;
        const uint64_t first = std::max(decoded, at);
        const uint64_t last = std::min(decoded + frames, end);
        if (last <= first)
            return true;
        if (first > at) {
            silence.assign(size_t(first - at) * format.channels, 0);
            if (!sink->take(silence.data(), size_t(first - at)))
                return false;
        }
        next = last - skip;
        return sink->take(samples + (first - decoded) * format.channels, size_t(last - first));
    }

    static void OnPadAdded(GstElement*, GstPad* pad, GstElement* convert)
    {
        GstPadPtr sinkPad(gst_element_get_static_pad(convert, "sink"));
        if (gst_pad_is_linked(sinkPad.get()) || !PadCarriesAudio(pad))
            return;
        GstCapsPtr caps(gst_pad_get_current_caps(pad));
        GstAudioInfo audio;
        if (caps && gst_audio_info_from_caps(&audio, caps.get()) && GST_AUDIO_INFO_IS_INTEGER(&audio) &&
            GST_AUDIO_INFO_DEPTH(&audio) > 16)
            if (GstElementPtr width{gst_bin_get_by_name(GST_BIN(GST_ELEMENT_PARENT(convert)), "width")})
                SetSampleWidth(width.get(), true);
        gst_pad_link(pad, sinkPad.get());
    }

    static void OnNoMorePads(GstElement* decodebin, GstElement* convert)
    {
        GstPadPtr sinkPad(gst_element_get_static_pad(convert, "sink"));
        if (!gst_pad_is_linked(sinkPad.get()))
            GST_ELEMENT_ERROR(decodebin, STREAM, WRONG_TYPE, ("The file has no audio."), (nullptr));
    }

    // What the probe left, for the caller between preroll and play or after the end.
    struct Seen {
        NativeFormat format;
        std::optional<uint64_t> origin;
        bool refused = false, begun = false;
    };
    Seen Snapshot() const
    {
        std::lock_guard guard(lock);
        return {format, origin, refused, begun};
    }

    static GstPadProbeReturn OnData(GstPad* pad, GstPadProbeInfo* info, gpointer data)
    {
        auto* d = static_cast<Decode*>(data);
        std::lock_guard guard(d->lock);
        if (d->refused)
            return GST_PAD_PROBE_DROP;
        if (GstEvent* event = (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) ? GST_PAD_PROBE_INFO_EVENT(info)
                                                                                  : nullptr) {
            if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT && d->seeking)
                d->resync = true;
            if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                GstCaps* caps = nullptr;
                gst_event_parse_caps(event, &caps);
                GstAudioInfo audio;
                if (!gst_audio_info_from_caps(&audio, caps))
                    return GST_PAD_PROBE_OK;
                const NativeFormat now{uint32_t(GST_AUDIO_INFO_RATE(&audio)), uint32_t(GST_AUDIO_INFO_CHANNELS(&audio)),
                                       0};
                if (d->begun && (now.rate != d->format.rate || now.channels != d->format.channels)) {
                    GST_ELEMENT_ERROR(GST_PAD_PARENT(pad), STREAM, FORMAT, ("The audio format changes midway."),
                                      (nullptr));
                    return GST_PAD_PROBE_DROP;
                }
                d->format.rate = now.rate;
                d->format.channels = now.channels;
                d->wide = GST_AUDIO_INFO_FORMAT(&audio) == GST_AUDIO_FORMAT_S32LE;
            }
            return GST_PAD_PROBE_OK;
        }
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (!buffer || d->format.channels == 0)
            return GST_PAD_PROBE_OK;
        if (!d->begun) {
            d->begun = true;
            gint64 ns = -1;
            if (gst_pad_peer_query_duration(pad, GST_FORMAT_TIME, &ns) && ns > 0)
                d->format.frames = gst_util_uint64_scale_round(uint64_t(ns), d->format.rate, GST_SECOND);
            if (d->end != UINT64_MAX && d->format.frames > 0)
                d->format.frames = d->end - d->skip;
            if (!d->sink->begin(d->format)) {
                d->Stop(GST_PAD_PARENT(pad));
                return GST_PAD_PROBE_DROP;
            }
        }
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
            return GST_PAD_PROBE_OK;
        const size_t frames = map.size / ((d->wide ? 4 : 2) * size_t(d->format.channels));
        const int16_t* samples = NarrowSamples(map.data, frames * d->format.channels, d->wide, d->narrowed);
        if (d->resync && GST_BUFFER_PTS_IS_VALID(buffer)) {
            d->resync = false;
            const uint64_t at = gst_util_uint64_scale_round(GST_BUFFER_PTS(buffer), d->format.rate, GST_SECOND);
            if (!d->origin)
                d->origin = at;
            d->decoded = at - std::min(at, *d->origin);
        }
        const bool ok = d->Hand(samples, frames);
        d->decoded += frames;
        gst_buffer_unmap(buffer, &map);
        if (!ok) {
            d->Stop(GST_PAD_PARENT(pad));
            return GST_PAD_PROBE_DROP;
        }
        return GST_PAD_PROBE_OK;
    }
};

GstElement* MakeRawParser(const RawSampleFormat& raw)
{
    GstElement* parse = gst_element_factory_make("rawaudioparse", nullptr);
    if (!parse)
        return nullptr;
    g_object_set(parse, "use-sink-caps", FALSE, "sample-rate", int(raw.rate), "num-channels", int(raw.channels),
                 nullptr);
    gst_util_set_object_arg(G_OBJECT(parse), "format", "pcm");
    gst_util_set_object_arg(G_OBJECT(parse), "pcm-format", raw.format.toLatin1().constData());
    return parse;
}

} // namespace

const int16_t* NarrowSamples(const uint8_t* data, size_t count, bool wide, std::vector<int16_t>& scratch)
{
    if (!wide)
        return reinterpret_cast<const int16_t*>(data);
    scratch.resize(count);
    for (size_t i = 0; i < count; ++i)
        scratch[i] = static_cast<int16_t>(static_cast<int32_t>(ReadU32LE(data + 4 * i)) >> 16);
    return scratch.data();
}

GstElement* MakeNativePipeline(const QString& media, const std::optional<RawSampleFormat>& raw, GstElement*& sinkOut,
                               QString& error, GstElement* given)
{
    const bool stdinput = media == QLatin1String("-");
    GstElementPtr pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    GstElement* source = given ? given : gst_element_factory_make(stdinput ? "fdsrc" : "filesrc", nullptr);
    GstElement* decode = raw ? MakeRawParser(*raw) : gst_element_factory_make("decodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* fakesink = gst_element_factory_make("fakesink", nullptr);
    if (!source || !decode || !convert || !filter || !fakesink) {
        for (GstElement* e : {source, decode, convert, filter, fakesink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        error = QStringLiteral("missing GStreamer elements");
        return nullptr;
    }
    if (!given && stdinput)
        g_object_set(source, "fd", 0, nullptr);
    else if (!given)
        g_object_set(source, "location", EncodeNativeName(media).constData(), "blocksize", SourceBlockBytes, nullptr);
    // Samples as the decoder gives them: no dithering in the conversion to 16 bits.
    g_object_set(convert, "dithering", 0, "noise-shaping", 0, nullptr);
    // Integer samples wider than 16 bits come as 32 bits and are narrowed
    // here, as PCM readers narrow them; the rest as the converter rounds them.
    gst_object_set_name(GST_OBJECT(filter), "width");
    const bool wideRaw = raw && (raw->format.startsWith(QLatin1String("s24")) || raw->format.startsWith(QLatin1String("s32")));
    SetSampleWidth(filter, wideRaw);
    g_object_set(fakesink, "sync", FALSE, "enable-last-sample", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, decode, convert, filter, fakesink, nullptr);
    bool linked = gst_element_link(source, decode) && gst_element_link_many(convert, filter, fakesink, nullptr);
    if (raw) {
        linked = linked && gst_element_link(decode, convert);
    } else {
        ChooseDecoders(decode);
        g_signal_connect(decode, "pad-added", G_CALLBACK(Decode::OnPadAdded), convert);
        g_signal_connect(decode, "no-more-pads", G_CALLBACK(Decode::OnNoMorePads), convert);
    }
    if (!linked) {
        error = QStringLiteral("cannot connect the decoder");
        return nullptr;
    }
    gst_pipeline_use_clock(GST_PIPELINE(pipeline.get()), nullptr);
    sinkOut = fakesink;
    return pipeline.release();
}

namespace {

// Whether a seek in this prerolled pipeline lands on the frame asked for, by
// the elements decodebin chose: FLAC and MP3 files and Ogg Vorbis do. Other
// containers stamp their frames too coarsely (Matroska's milliseconds) or
// resume elsewhere than their timestamps say (AAC in MP4 or MPEG-TS here):
// those are decoded from their start.
bool SeeksToTheFrame(GstElement* pipeline)
{
    QSet<QByteArray> used;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        if (GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item))))
            used.insert(QByteArray(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory))));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    for (const char* container : {"qtdemux", "matroskademux", "tsdemux", "mpegpsdemux", "avidemux", "asfdemux",
                                  "aacparse", "rmdemux"})
        if (used.contains(container))
            return false;
    return used.contains("flacparse") || used.contains("mpegaudioparse") ||
           (used.contains("oggdemux") && used.contains("vorbisdec"));
}

// Prerolls the pipeline and seeks it to the frame the sink takes first. A
// stream that cannot seek is decoded from its start instead (the frames
// before are dropped as they come); false only when prerolling fails.
bool SeekPaused(GstElement* pipeline, GstBus* bus, const Decode& d, QString& error)
{
    // A sink that refused while prerolling (the probe's stop message) never
    // lets the pipeline preroll: the caller finds it refused.
    const auto prerolled = [&] {
        GstMessagePtr message(gst_bus_timed_pop_filtered(
            bus, GST_CLOCK_TIME_NONE,
            GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
        if (GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_ERROR)
            return true;
        error = ErrorText(message.get());
        return false;
    };
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // The real reason comes first on the bus.
        GstMessagePtr message(gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR));
        error = message ? ErrorText(message.get()) : QStringLiteral("cannot start decoding");
        return false;
    }
    if (!prerolled())
        return false;
    // The preroll told the probe the decoder's rate.
    const Decode::Seen seen = d.Snapshot();
    if (seen.refused || seen.format.rate == 0 || !SeeksToTheFrame(pipeline))
        return true;
    // Rounded up: the decoder clips its first buffer to the seek time and
    // drops whole frames rounded down, so a time rounded down would keep the
    // frame before (and stamp it as this one).
    const uint64_t ns =
        gst_util_uint64_scale_ceil(seen.origin.value_or(0) + d.skip + d.next, GST_SECOND, seen.format.rate);
    if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                 gint64(ns)))
        return true;
    return prerolled();
}

bool DecodeInPipeline(const QString& media, const std::optional<RawSampleFormat>& raw, uint64_t from,
                      const NativeSampleSink& sink, QString& error)
{
    const bool stdinput = media == QLatin1String("-");
    GstElement* fakesink = nullptr;
    GstElementPtr pipeline(MakeNativePipeline(media, raw, fakesink, error));
    if (!pipeline)
        return false;
    Decode d;
    d.sink = &sink;
    d.pipeline = pipeline.get();
    if (!raw && !stdinput)
        if (const auto trim = ReadTrim(media)) {
            d.skip = trim->skip;
            d.end = trim->end;
        }
    GstPadPtr pad(gst_element_get_static_pad(fakesink, "sink"));
    gst_pad_add_probe(pad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      Decode::OnData, &d, nullptr);
    GstBusPtr bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline.get())));
    // Standard input cannot seek: its frames before `from` are dropped.
    d.next = from;
    d.seeking = from > 0 && !stdinput;
    bool ok = false;
    if (d.seeking && !SeekPaused(pipeline.get(), bus.get(), d, error)) {
        // Prerolling failed: its reason is taken.
    } else if (d.Snapshot().refused) {
        // The sink refused while prerolling and keeps its own reason.
    } else if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        // The real reason comes first on the bus.
        GstMessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        error = message ? ErrorText(message.get()) : QStringLiteral("cannot start decoding");
    } else {
        GstMessagePtr message(gst_bus_timed_pop_filtered(
            bus.get(), GST_CLOCK_TIME_NONE,
            GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
        const Decode::Seen seen = d.Snapshot();
        ok = true;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            error = ErrorText(message.get());
            ok = false;
        } else if (seen.refused) {
            ok = false;
        } else if (!seen.begun) {
            // An empty stream still has a format for the output's header.
            if (seen.format.channels == 0) {
                error = QStringLiteral("no audio was decoded");
                ok = false;
            } else {
                ok = sink.begin(seen.format);
            }
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return ok;
}

} // namespace

bool IsRawSampleFormat(const QString& name)
{
    return std::any_of(std::begin(RawFormats), std::end(RawFormats),
                       [&](const char* f) { return name == QLatin1String(f); });
}

bool DecodeNativeSamples(const QString& media, const std::optional<RawSampleFormat>& raw,
                         const NativeSampleSink& sink, QString& error)
{
    WavLayout layout;
    if (!raw && media != QLatin1String("-") && ReadWavLayout(media, layout))
        return DecodeWav(media, layout, 0, sink, error);
    return DecodeInPipeline(media, raw, 0, sink, error);
}

bool DecodeNativeSamplesFrom(const QString& media, uint64_t from, const NativeSampleSink& sink, QString& error)
{
    WavLayout layout;
    if (media != QLatin1String("-") && ReadWavLayout(media, layout))
        return DecodeWav(media, layout, from, sink, error);
    return DecodeInPipeline(media, std::nullopt, from, sink, error);
}

} // namespace kx
