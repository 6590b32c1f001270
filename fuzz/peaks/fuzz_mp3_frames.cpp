// Arbitrary bytes as an MP3 file to the frame walker and the segment feeds
// planned from its index: nothing may crash, an index must describe the
// file it came from, and every feed must lie inside it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "peaks/Mp3Frames.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 4)
        (void)ParseMp3FrameHeader(data);
    const Mp3Scan scan = ScanMp3(std::span<const uint8_t>(data, size));
    if (!scan.index)
        return 0;
    const Mp3FrameIndex& index = *scan.index;
    const uint64_t frames = index.FrameCount();
    if (frames == 0 || index.offsets.back() > size || index.samplesPerFrame == 0)
        __builtin_trap();
    for (size_t i = 1; i < index.offsets.size(); ++i)
        if (index.offsets[i] <= index.offsets[i - 1])
            __builtin_trap();
    if (index.skip + index.length > frames * index.samplesPerFrame)
        __builtin_trap();
    // Cuts at a few places of the trimmed stream, the last running to the end.
    for (uint64_t parts : {2u, 3u, 7u}) {
        const uint64_t step = index.length / parts;
        for (uint64_t k = 0; k < parts && step > 0; ++k) {
            const bool last = k + 1 == parts;
            const auto feed = PlanMp3Feed(index, k * step, last ? index.length : (k + 1) * step, last);
            if (feed && (feed->beginByte >= feed->endByte || feed->endByte > index.offsets.back() ||
                         feed->frames == 0 || feed->frames > frames))
                __builtin_trap();
        }
    }
    return 0;
}
