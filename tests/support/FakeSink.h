#pragma once
#include <gst/gst.h>

namespace kx {

// An audio sink for players under test: no sound device, but it keeps the
// clock, so positions advance in real time.
inline GstElement* SyncFakeSink()
{
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, nullptr);
    return sink;
}

} // namespace kx
