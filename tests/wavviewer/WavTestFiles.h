#pragma once
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/LittleEndian.h"

namespace kx {

// RIFF files assembled chunk by chunk, so that odd layouts are easy to make.
namespace WavTest {

inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body, bool pad = true)
{
    std::vector<uint8_t> c(8);
    std::memcpy(c.data(), id, 4);
    WriteU32LE(c.data() + 4, static_cast<uint32_t>(body.size()));
    c.insert(c.end(), body.begin(), body.end());
    if (pad && body.size() % 2)
        c.push_back(0);
    return c;
}

inline std::vector<uint8_t> Fmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t blockAlign = 0,
                                uint16_t tag = 1, size_t extra = 0)
{
    if (!blockAlign)
        blockAlign = static_cast<uint16_t>(channels * bits / 8);
    std::vector<uint8_t> b(16 + extra);
    WriteU16LE(b.data(), tag);
    WriteU16LE(b.data() + 2, channels);
    WriteU32LE(b.data() + 4, rate);
    WriteU32LE(b.data() + 8, rate * blockAlign);
    WriteU16LE(b.data() + 12, blockAlign);
    WriteU16LE(b.data() + 14, bits);
    return Chunk("fmt ", b);
}

inline std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>>& chunks)
{
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    for (const auto& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return Chunk("RIFF", body, false);
}

// Random sample bytes; a few values are pinned at the extremes so that
// both ends of the range are exercised.
inline std::vector<uint8_t> Noise(size_t bytes, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(bytes);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Records computed the plain way: per channel max and min of the unsigned
// samples, starting one below mid-scale, the last run possibly partial.
inline std::vector<uint8_t> ExpectedRecords(const std::vector<uint8_t>& pcm, int channels, int bits,
                                            uint32_t framesPerPeak)
{
    const size_t width = static_cast<size_t>(bits / 8);
    const size_t frameBytes = width * static_cast<size_t>(channels);
    const size_t frames = pcm.size() / frameBytes;
    const uint32_t start = bits == 16 ? 32767 : 127;
    std::vector<uint8_t> out;
    for (size_t first = 0; first < frames; first += framesPerPeak) {
        const size_t end = std::min(frames, first + framesPerPeak);
        for (int ch = 0; ch < channels; ++ch) {
            uint32_t mx = start;
            uint32_t mn = start;
            for (size_t f = first; f < end; ++f) {
                const uint8_t* p = pcm.data() + f * frameBytes + static_cast<size_t>(ch) * width;
                const uint32_t v = bits == 16 ? static_cast<uint32_t>(ReadS16LE(p) + 32768) : p[0];
                mx = std::max(mx, v);
                mn = std::min(mn, v);
            }
            for (uint32_t v : {mx, mn}) {
                out.push_back(static_cast<uint8_t>(v));
                if (bits == 16)
                    out.push_back(static_cast<uint8_t>(v >> 8));
            }
        }
    }
    return out;
}

} // namespace WavTest

} // namespace kx
