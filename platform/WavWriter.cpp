#include "WavWriter.h"

#include <cstring>

#include "LittleEndian.h"

namespace kx {

std::vector<uint8_t> MakeWavBytes(uint32_t rate, uint16_t channels, uint16_t bitsPerSample,
                                  std::span<const uint8_t> pcm)
{
    std::vector<uint8_t> out(44 + pcm.size());
    const auto blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    std::memcpy(out.data(), "RIFF", 4);
    WriteU32LE(&out[4], static_cast<uint32_t>(36 + pcm.size()));
    std::memcpy(&out[8], "WAVEfmt ", 8);
    WriteU32LE(&out[16], 16);
    WriteU16LE(&out[20], 1);
    WriteU16LE(&out[22], channels);
    WriteU32LE(&out[24], rate);
    WriteU32LE(&out[28], rate * blockAlign);
    WriteU16LE(&out[32], blockAlign);
    WriteU16LE(&out[34], bitsPerSample);
    std::memcpy(&out[36], "data", 4);
    WriteU32LE(&out[40], static_cast<uint32_t>(pcm.size()));
    if (!pcm.empty())
        std::memcpy(out.data() + 44, pcm.data(), pcm.size());
    return out;
}

} // namespace kx
