#include "CodecConfig.h"

#include <dlfcn.h>

namespace kx {

namespace {

void* g_library = nullptr;
uint16_t g_demuxSet = 0;
uint16_t g_decoderSet = 0;

using CheckFn = uint32_t (*)(uint16_t*, uint16_t*);
using SetupFn = uint32_t (*)(int32_t, GstElement*, uint8_t);
using ResolutionFn = uint32_t (*)(int32_t, uint8_t, GstElement*);

template <typename F>
F Export(const char* name)
{
    if (!g_library)
        return nullptr;
    return reinterpret_cast<F>(dlsym(g_library, name));
}

// An outside library must not take the program down with it.
template <typename F, typename... A>
uint32_t CallExport(const char* name, A... args)
{
    F fn = Export<F>(name);
    if (!fn)
        return 0;
    try {
        return fn(args...);
    } catch (...) {
        return 0;
    }
}

void FillSets()
{
    CallExport<CheckFn>("_CheckFiltersPresent", &g_demuxSet, &g_decoderSet);
}

} // namespace

namespace CodecConfig {

bool Load(const QString& path)
{
    Unload();
    const QByteArray name = path.isEmpty() ? QByteArray("libmpgconf.so") : path.toLocal8Bit();
    g_library = dlopen(name.constData(), RTLD_NOW | RTLD_LOCAL);
    return g_library != nullptr;
}

void Unload()
{
    if (g_library)
        dlclose(g_library);
    g_library = nullptr;
}

bool Loaded()
{
    return g_library != nullptr;
}

uint32_t CheckFiltersPresent(uint16_t* demuxSet, uint16_t* decoderSet)
{
    return CallExport<CheckFn>("_CheckFiltersPresent", demuxSet, decoderSet);
}

uint32_t SetupDemux(int32_t kind, GstElement* demux, uint8_t flag)
{
    return CallExport<SetupFn>("_SetupDemux", kind, demux, flag);
}

uint32_t SetResolution(int32_t kind, uint8_t value, GstElement* filter)
{
    return CallExport<ResolutionFn>("_SetResolution", kind, value, filter);
}

TFilterSets DemuxSet()
{
    return TFilterSets::FromBits(g_demuxSet);
}

TFilterSets DecoderSet()
{
    return TFilterSets::FromBits(g_decoderSet);
}

void FillSetsIfDemuxEmpty()
{
    if (g_demuxSet == 0)
        FillSets();
}

void FillSetsIfDecoderEmpty()
{
    if (g_decoderSet == 0)
        FillSets();
}

void ResetSets()
{
    g_demuxSet = 0;
    g_decoderSet = 0;
}

} // namespace CodecConfig

} // namespace kx
