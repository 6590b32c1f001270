#include "BuildGraph.h"

#include <QFile>
#include <QFileInfo>
#include <gst/base/gsttypefindhelper.h>
#include <gst/pbutils/pbutils.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>

#include "KXPeakBuilder.h"
#include "mediagraph/CodecConfig.h"
#include "mediagraph/FilterRegistry.h"
#include "mediagraph/GraphEvents.h"
#include "mediagraph/GraphHelpers.h"
#include "mediagraph/GstPtr.h"
#include "mediagraph/MediaFramework.h"
#include "mediagraph/PeakFilterContract.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// The frames of the decoded stream that reach the filter, counted on its
// streaming thread.
struct DecodedTrim {
    uint64_t skip = 0;
    uint64_t end = UINT64_MAX;
    uint64_t position = 0;
    uint32_t bytesPerFrame = 0;
};

GstPadProbeReturn TrimProbe(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    auto* trim = static_cast<DecodedTrim*>(data);
    if (trim->bytesPerFrame == 0) {
        GstCapsPtr caps(gst_pad_get_current_caps(pad));
        GstAudioInfo audio;
        if (!caps || !gst_audio_info_from_caps(&audio, caps.get()) || GST_AUDIO_INFO_BPF(&audio) <= 0)
            return GST_PAD_PROBE_OK;
        trim->bytesPerFrame = uint32_t(GST_AUDIO_INFO_BPF(&audio));
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const uint64_t start = trim->position;
    const uint64_t stop = start + gst_buffer_get_size(buffer) / trim->bytesPerFrame;
    trim->position = stop;
    const uint64_t from = std::max(start, trim->skip), to = std::min(stop, trim->end);
    if (from >= to)
        return GST_PAD_PROBE_DROP;
    if (from != start || to != stop)
        GST_PAD_PROBE_INFO_DATA(info) =
            gst_audio_buffer_truncate(buffer, gint(trim->bytesPerFrame), gsize(from - start), gsize(to - from));
    return GST_PAD_PROBE_OK;
}

} // namespace

namespace {

// Prerolling stops waiting after this long (a stream that never shows its pads).
constexpr gint64 PrerollLimitNs = 20 * GST_SECOND;
// How long a failed start waits for the error that explains it.
constexpr int ErrorWaitSteps = 50;
constexpr gulong ErrorWaitStepUs = 4000;
// Type finding looks at this much of the file.
constexpr qint64 TypeFindBytes = 256 * 1024;

// Decoders chosen deliberately: mpg123 decodes MP3 faster and lighter than
// the libav decoders that automatic plugging would pick first (unless the
// user ranked MP3 decoders through GST_PLUGIN_FEATURE_RANK); video is
// never decoded, its pads are left unlinked.
// decodebin's answers to "autoplug-select" (the enum is not in a public header).
enum AutoplugSelect : gint { SelectTry = 0, SelectExpose = 1, SelectSkip = 2 };

gint OnAutoplugSelect(GstElement*, GstPad*, GstCaps*, GstElementFactory* factory, gpointer)
{
    const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    const bool decoder = klass && strstr(klass, "Decoder");
    if (decoder && (strstr(klass, "Video") || strstr(klass, "Image")))
        return SelectExpose;
    const gchar* name = GST_OBJECT_NAME(factory);
    if (g_str_has_prefix(name, "avdec_mp3") || g_str_has_prefix(name, "avdec_mp2float") ||
        g_str_has_prefix(name, "avdec_mp1float")) {
        static const bool preferMpg123 = [] {
            GstElementFactory* f = gst_element_factory_find("mpg123audiodec");
            if (f)
                gst_object_unref(f);
            return f != nullptr && !UserRanksMp3Decoders();
        }();
        if (preferMpg123)
            return SelectSkip;
    }
    return SelectTry;
}

} // namespace

void ChooseDecoders(GstElement* decodebin)
{
    g_signal_connect(decodebin, "autoplug-select", G_CALLBACK(OnAutoplugSelect), nullptr);
}

TypeFound FindMediaType(const QString& mediaFile)
{
    QFile f;
    if (!OpenNativeFile(f, mediaFile, QIODevice::ReadOnly))
        return {};
    const QByteArray head = f.read(TypeFindBytes);
    if (head.isEmpty())
        return {};
    const QByteArray ext = EncodeNativeName(QFileInfo(mediaFile).suffix());
    GstCapsPtr caps(gst_type_find_helper_for_data_with_extension(
        nullptr, reinterpret_cast<const guint8*>(head.constData()), gsize(head.size()),
        ext.isEmpty() ? nullptr : ext.constData(), nullptr));
    if (!caps || gst_caps_is_empty(caps.get()))
        return {};
    const GstStructure* s = gst_caps_get_structure(caps.get(), 0);
    TypeFound found;
    found.name = QString::fromUtf8(gst_structure_get_name(s));
    gst_structure_get_int(s, "mpegversion", &found.mpegVersion);
    gboolean system = FALSE;
    gst_structure_get_boolean(s, "systemstream", &system);
    found.systemStream = system;
    return found;
}

MediaSubtype FindSubtype(const QString& mediaFile)
{
    const TypeFound t = FindMediaType(mediaFile);
    return t.name.isEmpty() ? MediaSubtype::Other : SubtypeOf(t.name, t.mpegVersion, t.systemStream);
}

QString PeakFolderProblem(const QString& peakFile)
{
    const QString folder = QFileInfo(peakFile).absolutePath();
    if (access(EncodeNativeName(folder).constData(), W_OK) == 0)
        return QStringLiteral("peak file name %1 refused").arg(peakFile);
    return QStringLiteral("cannot write peak files in %1: %2")
        .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
}

TBuildGraph::TBuildGraph(TKXPeakBuilder& builder, const QString& mediaFile, const QString& peakFile)
    : builder_(builder), manager_(builder.graphManager_), mediaFile_(mediaFile), peakFile_(peakFile)
{
}

TBuildGraph::~TBuildGraph()
{
    Teardown();
}

void TBuildGraph::Teardown()
{
    if (filterPin_) {
        gst_object_unref(filterPin_);
        filterPin_ = nullptr;
    }
    source_ = nullptr;
    if (!manager_)
        return;
    // Stopping joins the streaming threads before anything is removed.
    gst_element_set_state(manager_, GST_STATE_NULL);
    for (;;) {
        GstIterator* it = gst_bin_iterate_elements(GST_BIN(manager_));
        GValue item = G_VALUE_INIT;
        GstElement* first = nullptr;
        if (gst_iterator_next(it, &item) == GST_ITERATOR_OK)
            first = GST_ELEMENT(gst_object_ref(g_value_get_object(&item)));
        g_value_unset(&item);
        gst_iterator_free(it);
        if (!first)
            break;
        gst_element_set_state(first, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(manager_), first);
        gst_object_unref(first);
    }
    // Messages of this graph must not reach the next one's handling.
    FlushEvents(manager_);
}

bool TBuildGraph::Fail(const QString& why)
{
    failure_ = why;
    // Stopped first: the streaming thread may be finishing the peak file.
    if (manager_)
        gst_element_set_state(manager_, GST_STATE_NULL);
    RemoveCommittedPeakFile();
    Teardown();
    return false;
}

void TBuildGraph::RemoveCommittedPeakFile()
{
    if (!manager_)
        return;
    GstElementPtr filter(gst_bin_get_by_name(GST_BIN(manager_), "Pre Filter"));
    if (PeakFilter::IFileSink* sink = PeakFilter::QueryFileSink(filter.get()))
        sink->RemoveCommitted();
}

bool TBuildGraph::Build()
{
    Teardown();
    KX_ASSERT(manager_ != nullptr, "KXPeakBuilder");
    failure_.clear();
    linked_ = false;

    if (!StatNative(mediaFile_).isFile)
        return Fail(QStringLiteral("no such file"));
    source_ = gst_element_factory_make("filesrc", "Source");
    if (!source_)
        return Fail(QStringLiteral("no file source"));
    // Automatic plugging reads the file in push mode; the default 4 KiB
    // blocks make a parser such as the WAV one about half again slower.
    g_object_set(source_, "location", EncodeNativeName(mediaFile_).constData(), "blocksize", guint(SourceBlockBytes),
                 nullptr);
    gst_bin_add(GST_BIN(manager_), source_);
    GstPadPtr sourcePin(FindPin(source_, PINDIR_OUTPUT, MajorType::Stream));
    if (!sourcePin)
        sourcePin.reset(FindPin(source_, PINDIR_OUTPUT, MajorType::Audio));
    if (!sourcePin)
        return Fail(QStringLiteral("the source has no output"));

    // Codec selection: filters come from the class registry and are kept
    // only when chosen.
    mediaType_ = FindMediaType(mediaFile_);
    subtype_ = mediaType_.name.isEmpty()
                   ? MediaSubtype::Other
                   : SubtypeOf(mediaType_.name, mediaType_.mpegVersion, mediaType_.systemStream);
    std::map<QString, GstElementPtr> created;
    const CanCreateFilter canCreate = [&created](const CodecFilter& f) {
        GstElement* e = CreateFilter(f.classId, f.label);
        if (e)
            created[f.classId].reset(e);
        return e != nullptr;
    };
    choice_ = SelectCodecs(subtype_, builder_.MpegCodecSet(), CodecConfig::DemuxSet(), CodecConfig::DecoderSet(),
                           canCreate);
    if (choice_.hasDemux && created.count(choice_.demux.classId)) {
        GstElement* demux = created[choice_.demux.classId].release();
        gst_object_set_name(GST_OBJECT(demux), "Demux");
        gst_bin_add(GST_BIN(manager_), demux);
        if (choice_.setupKind != 0)
            CodecConfig::SetupDemux(choice_.setupKind, demux, 0);
        if (choice_.setCaches) {
            if (auto* cache = static_cast<IAviSplitterCache*>(g_object_get_data(G_OBJECT(demux), AviSplitterCacheKey))) {
                const int32_t video = builder_.VRMVideoCache() & 0xFF;
                const int32_t audio = builder_.VRMAudioCache() & 0xFF;
                cache->SetCaches(&video, &audio);
            }
        }
    }
    if (choice_.hasDecoder && created.count(choice_.decoder.classId)) {
        GstElement* decoder = created[choice_.decoder.classId].release();
        gst_object_set_name(GST_OBJECT(decoder), "Decoder");
        gst_bin_add(GST_BIN(manager_), decoder);
    }

    GstElement* filter = CreateFilter(PeakFilter::ClassId, QStringLiteral("Pre Filter"));
    if (filter) {
        gst_object_set_name(GST_OBJECT(filter), "Pre Filter");
        gst_bin_add(GST_BIN(manager_), filter);
        gst_object_unref(filter);  // the manager holds it now
    }
    PeakFilter::IConfiguration* config = PeakFilter::QueryConfiguration(filter);
    PeakFilter::IPeaks* peaks = PeakFilter::QueryPeaks(filter);
    if (!config || !peaks)
        return Fail(QStringLiteral("no peak filter"));

    // The contract's order.
    config->SetGains(builder_.LeftGain(), builder_.RightGain());
    config->SetMode(1);
    config->SetSampleRate(builder_.SampleRate());
    config->SetChannels(builder_.ChannelCount());
    config->SetBitsPerSample(builder_.BitsPerSample());
    config->SetFreeOutputFormat(builder_.FreeOutputFormat() ? 1 : 0);
    config->SetDelays(0, 0, 0);
    config->SetWindow(0, 0, 0, 0);
    peaks->SetPostProcessing(builder_.PostProcessing() ? 1 : 0);
    peaks->SetSamplesPerPeak(builder_.SamplesPerPeak());
    peaks->SetCallback(&builder_, &TKXPeakBuilder::PeakCallback);
    if (builder_.buildRms_) {
        PeakFilter::IRmsLevels* levels = PeakFilter::QueryRmsLevels(filter);
        if (!levels || levels->SetRmsCallback(&builder_, &TKXPeakBuilder::RmsCallback) != PeakFilter::S_OK)
            return Fail(QStringLiteral("the peak filter computes no RMS levels"));
    }
    if (builder_.SaveToPeakFiles()) {
        PeakFilter::IFileSink* sink = PeakFilter::QueryFileSink(filter);
        if (!sink || sink->SetFileName(peakFile_) != PeakFilter::S_OK ||
            sink->SetOutputRules(builder_.ForceReplace(), {mediaFile_}) != PeakFilter::S_OK)
            return Fail(PeakFolderProblem(peakFile_));
    }

    filterPin_ = FindPin(filter, PINDIR_INPUT, MajorType::Audio);
    KX_ASSERT(filterPin_ != nullptr, "KXPeakBuilder");
    if (trimSkip_ > 0 || trimEnd_ != UINT64_MAX)
        gst_pad_add_probe(filterPin_, GST_PAD_PROBE_TYPE_BUFFER, TrimProbe, new DecodedTrim{trimSkip_, trimEnd_},
                          [](gpointer p) { delete static_cast<DecodedTrim*>(p); });

    // Blocks arrive as fast as the decoder delivers them.
    gst_pipeline_use_clock(GST_PIPELINE(manager_), nullptr);
    if (!Connect(sourcePin.get()))
        return Fail(failure_.isEmpty() ? QStringLiteral("cannot connect") : failure_);
    return true;
}

bool TBuildGraph::Connect(GstPad* sourcePin)
{
    // WAV goes straight to its parser, which pulls large blocks from the file
    // in its own thread, and a queue lets the reduction run in another: on
    // two cores a 10-minute file then builds in about 45 ms instead of 57.
    // Compressed media gain nothing from the queue (decoding dominates), so
    // they keep the automatic plugging alone.
    if (mediaType_.name == QLatin1String("audio/x-wav")) {
        GstElement* parser = gst_element_factory_make("wavparse", "Parser");
        GstElement* queue = gst_element_factory_make("queue", "Handoff");
        if (parser && queue) {
            // At most 4 MiB of audio wait between the two threads.
            g_object_set(queue, "max-size-buffers", 0u, "max-size-time", guint64(0), "max-size-bytes", 4u << 20,
                         nullptr);
            gst_bin_add_many(GST_BIN(manager_), parser, queue, nullptr);
            GstPadPtr in(gst_element_get_static_pad(parser, "sink"));
            GstPadPtr out(gst_element_get_static_pad(queue, "src"));
            if (gst_pad_link(sourcePin, in.get()) != GST_PAD_LINK_OK || !gst_element_link(parser, queue))
                return false;
            linked_ = gst_pad_link(out.get(), filterPin_) == GST_PAD_LINK_OK;
            return Preroll();
        }
        for (GstElement* e : {parser, queue})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
    }
    GstElement* decodebin = gst_element_factory_make("decodebin", "Decodebin");
    if (!decodebin)
        return false;
    ChooseDecoders(decodebin);
    g_signal_connect(decodebin, "pad-added", G_CALLBACK(OnPadAdded), this);
    g_signal_connect(decodebin, "no-more-pads", G_CALLBACK(OnNoMorePads), this);
    gst_bin_add(GST_BIN(manager_), decodebin);
    GstPadPtr sink(gst_element_get_static_pad(decodebin, "sink"));
    if (gst_pad_link(sourcePin, sink.get()) != GST_PAD_LINK_OK)
        return false;
    return Preroll();
}

bool TBuildGraph::Preroll()
{
    if (gst_element_set_state(manager_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE && !linked_)
        failure_ = BusFailure(QStringLiteral("cannot start decoding"));
    const gint64 deadline = g_get_monotonic_time() + PrerollLimitNs / 1000;
    while (failure_.isEmpty()) {
        const GstStateChangeReturn r = gst_element_get_state(manager_, nullptr, nullptr, 20 * GST_MSECOND);
        if (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL)
            break;
        if (r == GST_STATE_CHANGE_FAILURE)
            failure_ = BusFailure(QStringLiteral("cannot start decoding"));
        else if (GstMessagePtr error{PopEvent(manager_, GST_MESSAGE_ERROR)})
            failure_ = BusFailure(ErrorText(error.get()), error.get());
        if (failure_.isEmpty() && g_get_monotonic_time() > deadline)
            failure_ = QStringLiteral("no audio found in time");
    }
    if (failure_.isEmpty() && !linked_)
        failure_ = QStringLiteral("no audio");
    return failure_.isEmpty();
}

QString TBuildGraph::BusFailure(const QString& fallback, GstMessage* error)
{
    // A missing plug-in says what to install; decoding then fails with a
    // generic error, and a failed state change with nothing useful at all.
    static std::once_flag once;
    std::call_once(once, [] { gst_pb_utils_init(); });
    // A bin marks its state change failed before the error that caused it
    // reaches the pipeline's bus: give the message a moment to arrive.
    GstMessagePtr first;
    for (int i = 0; i < ErrorWaitSteps && !error && !first; ++i) {
        first.reset(PopEvent(manager_, GST_MESSAGE_ERROR));
        if (!first)
            g_usleep(ErrorWaitStepUs);
    }
    QString missing;
    while (GstMessagePtr m{PopEvent(manager_, GST_MESSAGE_ELEMENT)}) {
        if (missing.isEmpty() && gst_is_missing_plugin_message(m.get())) {
            gchar* what = gst_missing_plugin_message_get_description(m.get());
            missing = QStringLiteral("missing GStreamer plug-in: %1").arg(QString::fromUtf8(what ? what : "?"));
            g_free(what);
        }
    }
    if (!missing.isEmpty())
        return missing;
    if (error)
        return fallback.isEmpty() ? QStringLiteral("decoding error") : fallback;
    if (first) {
        const QString text = ErrorText(first.get());
        if (!text.isEmpty())
            return text;
    }
    return fallback;
}

void TBuildGraph::OnPadAdded(GstElement*, GstPad* pad, TBuildGraph* self)
{
    if (self->linked_ || !PadCarriesAudio(pad))
        return;
    if (gst_pad_link(pad, self->filterPin_) == GST_PAD_LINK_OK)
        self->linked_ = true;
}

void TBuildGraph::OnNoMorePads(GstElement* decodebin, TBuildGraph* self)
{
    if (!self->linked_)
        GST_ELEMENT_ERROR(decodebin, STREAM, WRONG_TYPE, ("The file has no audio."), (nullptr));
}

} // namespace kx
