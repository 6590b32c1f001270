#include "PeakFilterContract.h"

#include <gst/gst.h>

namespace kx {

namespace PeakFilter {

namespace {

template <typename Interface>
Interface* Lookup(GstElement* filter, const char* key)
{
    return filter ? static_cast<Interface*>(g_object_get_data(G_OBJECT(filter), key)) : nullptr;
}

} // namespace

IConfiguration* QueryConfiguration(GstElement* filter) { return Lookup<IConfiguration>(filter, ConfigurationKey); }
IPeaks* QueryPeaks(GstElement* filter) { return Lookup<IPeaks>(filter, PeaksKey); }
IFileSink* QueryFileSink(GstElement* filter) { return Lookup<IFileSink>(filter, FileSinkKey); }

} // namespace PeakFilter

} // namespace kx
