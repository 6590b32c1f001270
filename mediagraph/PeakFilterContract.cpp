#include "PeakFilterContract.h"

#include <gst/gst.h>

#include <QFileInfo>
#include <mutex>
#include <unistd.h>
#include <vector>

#include "ChannelFold.h"
#include "FilterRegistry.h"
#include "platform/NativeName.h"

namespace kx {

namespace PeakFilter {

namespace {

// Where the bin keeps its interfaces.
constexpr const char* AdapterKey = "kx-peak-filter";

// The interfaces over the element's properties and signals. Settings
// are refused once the element streams, as the contract says.
class Adapter final : public IConfiguration, public IPeaks, public IFileSink, public IRmsLevels
{
public:
    // Holds its own reference: the bin lets go of its children before its data.
    explicit Adapter(GstElement* sink) : sink_(GST_ELEMENT(gst_object_ref(sink))) {}
    ~Adapter() override
    {
        for (gulong handler : {handler_, rmsHandler_})
            if (handler != 0)
                g_signal_handler_disconnect(sink_, handler);
        gst_object_unref(sink_);
    }

    HResult SetGains(uint32_t left, uint32_t right) override
    {
        return Set("left-gain", guint(left & 0xFFFF), "right-gain", guint(right & 0xFFFF));
    }
    HResult SetMode(uint32_t mode) override { return mode == 1 ? Set() : E_INVALIDARG; }
    HResult SetSampleRate(uint32_t hz) override
    {
        return hz == 0 || hz > uint32_t(G_MAXINT) ? E_INVALIDARG : Set("rate", guint(hz));
    }
    HResult SetChannels(uint32_t channels) override
    {
        return channels != 1 && channels != 2 ? E_INVALIDARG : Set("channels", guint(channels));
    }
    HResult SetBitsPerSample(uint32_t bits) override
    {
        return bits != 8 && bits != 16 ? E_INVALIDARG : Set("bits", guint(bits));
    }
    HResult SetFreeOutputFormat(uint32_t) override { return Set(); }
    HResult SetDelays(uint32_t a, uint32_t b, uint32_t c) override { return (a | b | c) != 0 ? E_INVALIDARG : Set(); }
    HResult SetWindow(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override
    {
        return (a | b | c | d) != 0 ? E_INVALIDARG : Set();
    }
    HResult SetPostProcessing(uint32_t) override { return Set(); }
    HResult SetSamplesPerPeak(uint32_t frames) override
    {
        frames &= 0xFFFF;
        return frames == 0 ? E_INVALIDARG : Set("samples-per-peak", guint(frames));
    }
    HResult SetCallback(void* context, PeakCallback callback) override
    {
        if (Streaming())
            return VFW_E_WRONG_STATE;
        std::lock_guard lock(mutex_);
        context_ = context;
        callback_ = callback;
        if (handler_ == 0)
            handler_ = g_signal_connect(sink_, "peaks", G_CALLBACK(&Adapter::OnPeaks), this);
        return S_OK;
    }
    HResult SetRmsCallback(void* context, RmsCallback callback) override
    {
        if (Set("rms", gboolean(callback != nullptr)) != S_OK)
            return VFW_E_WRONG_STATE;
        std::lock_guard lock(mutex_);
        rmsContext_ = context;
        rmsCallback_ = callback;
        if (rmsHandler_ == 0)
            rmsHandler_ = g_signal_connect(sink_, "rms", G_CALLBACK(&Adapter::OnRms), this);
        return S_OK;
    }
    HResult SetFileName(const QString& fileName) override
    {
        if (fileName.isEmpty())
            return E_INVALIDARG;
        if (StatNative(fileName).isDir ||
            access(EncodeNativeName(QFileInfo(fileName).absolutePath()).constData(), W_OK) != 0)
            return E_FAIL;
        return Set("location", EncodeNativeName(fileName).constData());
    }
    HResult SetOutputRules(bool force, const QStringList& inputs) override
    {
        std::vector<QByteArray> bytes;
        std::vector<const gchar*> names;
        for (const QString& input : inputs)
            bytes.push_back(EncodeNativeName(input));
        for (const QByteArray& b : bytes)
            names.push_back(b.constData());
        names.push_back(nullptr);
        return Set("force", gboolean(force), "inputs", names.data());
    }
    HResult RemoveCommitted() override
    {
        gboolean removed = FALSE;
        g_signal_emit_by_name(sink_, "remove-committed", &removed);
        return removed ? S_OK : S_FALSE;
    }

private:
    bool Streaming() const
    {
        gboolean streaming = FALSE;
        g_object_get(sink_, "streaming", &streaming, nullptr);
        return streaming;
    }
    // g_object_set of name/value pairs, unless the element streams.
    template <typename... Pairs>
    HResult Set(Pairs... pairs)
    {
        if (Streaming())
            return VFW_E_WRONG_STATE;
        if constexpr (sizeof...(Pairs) > 0)
            g_object_set(sink_, pairs..., nullptr);
        return S_OK;
    }
    static void OnPeaks(GstElement*, gpointer data, guint size, guint64 ns, Adapter* self)
    {
        void* context = nullptr;
        PeakCallback callback = nullptr;
        {
            std::lock_guard lock(self->mutex_);
            context = self->context_;
            callback = self->callback_;
        }
        const uint64_t time = ns / 100;
        if (callback)
            callback(context, int32_t(size), static_cast<const uint8_t*>(data), uint32_t(time & 0xFFFFFFFFu),
                     uint32_t(time >> 32));
    }

    static void OnRms(GstElement*, gpointer data, guint count, Adapter* self)
    {
        void* context = nullptr;
        RmsCallback callback = nullptr;
        {
            std::lock_guard lock(self->mutex_);
            context = self->rmsContext_;
            callback = self->rmsCallback_;
        }
        if (callback)
            callback(context, int32_t(count), static_cast<const uint16_t*>(data));
    }

    GstElement* sink_;
    std::mutex mutex_;
    void* rmsContext_ = nullptr;
    RmsCallback rmsCallback_ = nullptr;
    gulong rmsHandler_ = 0;
    void* context_ = nullptr;
    PeakCallback callback_ = nullptr;
    gulong handler_ = 0;
};

Adapter* AdapterOf(GstElement* filter)
{
    return filter ? static_cast<Adapter*>(g_object_get_data(G_OBJECT(filter), AdapterKey)) : nullptr;
}

// Loading the library offers the filter to the builder.
const bool registeredOnLoad = [] {
    FilterRegistry::Register(ClassId, Make);
    return true;
}();

} // namespace

IConfiguration* QueryConfiguration(GstElement* filter) { return AdapterOf(filter); }
IPeaks* QueryPeaks(GstElement* filter) { return AdapterOf(filter); }
IFileSink* QueryFileSink(GstElement* filter) { return AdapterOf(filter); }
IRmsLevels* QueryRmsLevels(GstElement* filter) { return AdapterOf(filter); }

GstElement* Make(const QString& label)
{
    GstElement* bin = gst_bin_new(label.toUtf8().constData());
    GstElement* convert = gst_element_factory_make("audioconvert", "convert");
    GstElement* sink = gst_element_factory_make(FactoryName, "peaks");
    if (!bin || !convert || !sink) {
        for (GstElement* e : {bin, convert, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return nullptr;
    }
    // Plain truncation keeps the extremes of the decoded samples; the
    // builder follows the records through the signal, not the bus.
    g_object_set(convert, "dithering", 0, "noise-shaping", 0, nullptr);
    FoldUnpositionedChannels(convert);
    g_object_set(sink, "post-messages", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
    gst_element_link(convert, sink);
    GstPad* target = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    g_object_set_data_full(G_OBJECT(bin), AdapterKey, new Adapter(sink),
                           [](gpointer adapter) { delete static_cast<Adapter*>(adapter); });
    return bin;
}

void Register()
{
    (void)registeredOnLoad;
    if (!FilterRegistry::Registered(ClassId))
        FilterRegistry::Register(ClassId, Make);
}

} // namespace PeakFilter

} // namespace kx
