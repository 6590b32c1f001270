// Arbitrary bytes as a WAV file to the direct reduction's chunk reader, its
// sample conversion and the check that keeps stalling files from the decode
// graph: nothing may crash or read past the data, and an accepted layout lies
// whole inside the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "peaks/WavDirect.h"

using namespace kx;

namespace {

struct Memory {
    const uint8_t* data;
    size_t size;
};

size_t ReadAt(void* context, uint64_t offset, uint8_t* buffer, size_t size)
{
    const auto* m = static_cast<const Memory*>(context);
    if (offset >= m->size)
        return 0;
    const size_t n = size_t(std::min<uint64_t>(size, m->size - offset));
    std::memcpy(buffer, m->data + offset, n);
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Memory m{data, size};
    WavLayout layout;
    if (ParseWavLayout(&ReadAt, &m, size, layout)) {
        if (layout.dataOffset + layout.dataBytes > size || layout.blockAlign == 0 ||
            layout.dataBytes % layout.blockAlign != 0 || layout.channels < 1 ||
            layout.blockAlign != layout.channels * layout.BytesPerSample() || layout.rate == 0)
            __builtin_trap();
        (void)layout.Duration100ns();
        const size_t frames = size_t(std::min<uint64_t>(layout.Frames(), 64));
        for (uint32_t out : {1u, 2u}) {
            if (!DirectWavSupports(layout, out))
                continue;
            std::vector<int16_t> samples(frames * out);
            ConvertWavToS16(layout, out, data + layout.dataOffset, frames, samples.data());
        }
    }
    (void)WavParserHazard(&ReadAt, &m, size);
    return 0;
}
