#pragma once
#include <gst/gst.h>
#include <memory>

namespace kx {

/// Owning handles for GStreamer objects, released with the right unref.
struct GstObjectUnref {
    /// Drops one reference; null is ignored.
    void operator()(gpointer p) const { if (p) gst_object_unref(p); }
};
/// Releases mini objects (messages, caps, buffers, queries).
struct GstMiniObjectUnref {
    /// Drops one reference; null is ignored.
    ///@{
    void operator()(GstMiniObject* p) const { if (p) gst_mini_object_unref(p); }
    void operator()(GstMessage* p) const { if (p) gst_message_unref(p); }
    void operator()(GstCaps* p) const { if (p) gst_caps_unref(p); }
    void operator()(GstBuffer* p) const { if (p) gst_buffer_unref(p); }
    void operator()(GstQuery* p) const { if (p) gst_query_unref(p); }
    ///@}
};

/// Holds one reference to a GstObject.
template <typename T>
using GstPtr = std::unique_ptr<T, GstObjectUnref>;
/// Holders of one reference each.
///@{
using GstElementPtr = GstPtr<GstElement>;
using GstPadPtr = GstPtr<GstPad>;
using GstBusPtr = GstPtr<GstBus>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMiniObjectUnref>;
using GstCapsPtr = std::unique_ptr<GstCaps, GstMiniObjectUnref>;
///@}

} // namespace kx
