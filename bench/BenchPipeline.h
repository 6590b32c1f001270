#pragma once
// Runs a gst-launch description to its end: how the benchmarks make media.
#include <gst/gst.h>

#include <QString>

#include "mediagraph/GstPtr.h"

namespace kx {

// True when the pipeline reached the end of its stream without an error.
inline bool RunPipelineToEnd(const QString& description)
{
    GError* error = nullptr;
    GstElementPtr pipeline(gst_parse_launch(description.toUtf8().constData(), &error));
    if (error) {
        g_error_free(error);
        return false;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    GstMessagePtr msg(gst_bus_timed_pop_filtered(bus.get(), GST_CLOCK_TIME_NONE,
                                                 GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return msg && GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_EOS;
}

} // namespace kx
