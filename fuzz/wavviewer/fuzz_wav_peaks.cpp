// Any bytes as a WAV: the header reader and, when it accepts, the extraction
// of the bytes that follow, with a density taken from the input.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/MemoryStream.h"
#include "wavviewer/WavFile.h"

using namespace kx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryByteReader reader(std::span<const uint8_t>(data, size));
    WavInfo info;
    if (ReadWavHeader(reader, info) != WavCheck::Ok)
        return 0;
    if (info.DataOffset > size)
        __builtin_trap();
    const int seconds = size > 0 ? data[size - 1] : 0;
    const uint32_t framesPerPeak = FramesPerPeakFor(seconds, info.SampleRate, 20 + static_cast<int>(size % 300),
                                                    info.BlockAlign);
    TMemoryStream out;
    WavPeakExtractor extractor(info, framesPerPeak, out);
    const size_t available = size - static_cast<size_t>(info.DataOffset);
    const size_t bytes = available < info.DataSize ? available : info.DataSize;
    // Uneven pieces, as short reads would deliver them.
    const size_t piece = 1 + size % 7;
    for (size_t at = 0; at < bytes; at += piece)
        extractor.Process(data + info.DataOffset + at, at + piece <= bytes ? piece : bytes - at);
    extractor.Finish();
    const size_t frames = bytes / info.BlockAlign;
    const size_t records = (frames + framesPerPeak - 1) / framesPerPeak;
    if (extractor.Records() != records || static_cast<size_t>(out.Size()) != records * 2u * info.BlockAlign)
        __builtin_trap();
    return 0;
}
