#include "ChannelFold.h"

#include <gst/audio/audio.h>

namespace kx {

namespace {

// The converter mixes positioned layouts itself and, in GStreamer 1.22, up to
// eight unpositioned channels; past that it fails to negotiate.
constexpr int ConverterUnpositionedLimit = 8;

struct FoldTarget {
    int configuredFor = 0;
};

// What the elements after the converter take: one count, or two.
int DownstreamChannels(GstElement* convert)
{
    int channels = 2;
    GstPad* src = gst_element_get_static_pad(convert, "src");
    if (!src)
        return channels;
    if (GstCaps* caps = gst_pad_peer_query_caps(src, nullptr)) {
        int fixed = 0;
        if (!gst_caps_is_empty(caps) && !gst_caps_is_any(caps) &&
            gst_structure_get_int(gst_caps_get_structure(caps, 0), "channels", &fixed) && fixed > 0)
            channels = fixed;
        gst_caps_unref(caps);
    }
    gst_object_unref(src);
    return channels;
}

void SetMatrix(GstElement* convert, const std::vector<std::vector<float>>& rows)
{
    GValue matrix = G_VALUE_INIT;
    gst_value_array_init(&matrix, guint(rows.size()));
    for (const auto& gains : rows) {
        GValue row = G_VALUE_INIT;
        gst_value_array_init(&row, guint(gains.size()));
        for (float g : gains) {
            GValue v = G_VALUE_INIT;
            g_value_init(&v, G_TYPE_FLOAT);
            g_value_set_float(&v, g);
            gst_value_array_append_and_take_value(&row, &v);
        }
        gst_value_array_append_and_take_value(&matrix, &row);
    }
    g_object_set_property(G_OBJECT(convert), "mix-matrix", &matrix);
    g_value_unset(&matrix);
}

// Sets the matrix when fixed caps that need it pass, before the converter
// answers for them or configures itself from them.
GstPadProbeReturn WatchCaps(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    GstCaps* caps = nullptr;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS)
            gst_event_parse_caps(event, &caps);
    } else if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM) {
        GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
        if (GST_QUERY_TYPE(query) == GST_QUERY_ACCEPT_CAPS)
            gst_query_parse_accept_caps(query, &caps);
    }
    GstAudioInfo audio;
    if (!caps || !gst_caps_is_fixed(caps) || !gst_audio_info_from_caps(&audio, caps))
        return GST_PAD_PROBE_OK;
    auto* target = static_cast<FoldTarget*>(data);
    const int channels = GST_AUDIO_INFO_CHANNELS(&audio);
    if (!GST_AUDIO_INFO_IS_UNPOSITIONED(&audio) || channels <= ConverterUnpositionedLimit ||
        channels == target->configuredFor)
        return GST_PAD_PROBE_OK;
    GstObject* convert = gst_pad_get_parent(pad);
    if (convert) {
        SetMatrix(GST_ELEMENT(convert), UnpositionedFoldMatrix(channels, DownstreamChannels(GST_ELEMENT(convert))));
        target->configuredFor = channels;
        gst_object_unref(convert);
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

std::vector<std::vector<float>> UnpositionedFoldMatrix(int inChannels, int outChannels)
{
    std::vector<std::vector<float>> rows(size_t(outChannels), std::vector<float>(size_t(inChannels), 0.0f));
    for (int o = 0; o < outChannels; ++o) {
        int count = 0;
        for (int c = o; c < inChannels; c += outChannels)
            ++count;
        for (int c = o; c < inChannels; c += outChannels)
            rows[size_t(o)][size_t(c)] = 1.0f / float(count);
    }
    return rows;
}

void FoldUnpositionedChannels(GstElement* convert)
{
    GstPad* sink = gst_element_get_static_pad(convert, "sink");
    if (!sink)
        return;
    gst_pad_add_probe(sink, GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM),
                      WatchCaps, new FoldTarget{},
                      [](gpointer data) { delete static_cast<FoldTarget*>(data); });
    gst_object_unref(sink);
}

} // namespace kx
