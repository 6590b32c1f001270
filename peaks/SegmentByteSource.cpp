#include "SegmentByteSource.h"

#include <QFile>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <algorithm>
#include <cstring>
#include <memory>

#include "mediagraph/GstPtr.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// The only MP3 decoder whose samples after a cut are known to be those of
// one pass (the builder prefers it too).
constexpr const char* CountedDecoder = "mpg123audiodec";
// As the file source of the build graph reads.
constexpr uint64_t BlockBytes = 64 * 1024;

struct ByteRange {
    QFile file;
    uint64_t at = 0;
    uint64_t end = 0;
};

void OnNeedData(GstAppSrc* src, guint, gpointer data)
{
    auto* range = static_cast<ByteRange*>(data);
    const uint64_t n = std::min(BlockBytes, range->end - range->at);
    if (n == 0) {
        gst_app_src_end_of_stream(src);
        return;
    }
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, gsize(n), nullptr);
    GstMapInfo map;
    qint64 got = -1;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        got = range->file.read(reinterpret_cast<char*>(map.data), qint64(n));
        gst_buffer_unmap(buffer, &map);
    }
    if (got != qint64(n)) {
        // What is missing ends the stream short, and the segment's count fails it.
        gst_buffer_unref(buffer);
        range->at = range->end;
        gst_app_src_end_of_stream(src);
        return;
    }
    GST_BUFFER_OFFSET(buffer) = range->at;
    range->at += n;
    gst_app_src_push_buffer(src, buffer);
}

} // namespace

GstElement* MakeByteRangeSource(const QString& mediaFile, uint64_t begin, uint64_t end, GstCaps* caps)
{
    auto range = std::make_unique<ByteRange>();
    if (!OpenNativeFile(range->file, mediaFile, QIODevice::ReadOnly) || !range->file.seek(qint64(begin)))
        return nullptr;
    range->at = begin;
    range->end = std::max(begin, end);
    GstElement* src = gst_element_factory_make("appsrc", nullptr);
    if (!src)
        return nullptr;
    g_object_set(src, "format", GST_FORMAT_BYTES, "stream-type", GST_APP_STREAM_TYPE_STREAM, "caps", caps, "size",
                 gint64(range->end - begin), nullptr);
    GstAppSrcCallbacks callbacks = {};
    callbacks.need_data = OnNeedData;
    ByteRange* data = range.release();
    // The element owns the range: it goes when the element does, after its
    // streaming thread has stopped.
    g_object_set_data_full(G_OBJECT(src), "kx-byte-range", data,
                           [](gpointer p) { delete static_cast<ByteRange*>(p); });
    gst_app_src_set_callbacks(GST_APP_SRC(src), &callbacks, data, nullptr);
    return src;
}

GstElement* MakeMp3FrameSource(const QString& mediaFile, uint64_t begin, uint64_t end)
{
    GstCapsPtr mpeg(gst_caps_new_simple("audio/mpeg", "mpegversion", G_TYPE_INT, 1, "layer", G_TYPE_INT, 3, nullptr));
    return MakeByteRangeSource(mediaFile, begin, end, mpeg.get());
}

bool FitsCountedMp3Segment(GstElement* element)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    return !klass || !std::strstr(klass, "Decoder") || std::strcmp(GST_OBJECT_NAME(factory), CountedDecoder) == 0;
}

} // namespace kx
