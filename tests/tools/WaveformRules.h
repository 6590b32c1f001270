#pragma once
// The published data rules of the web waveform tools, written out plainly
// for the tests to compare peaktool waveform with.
#include <QString>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/support/TestMedia.h"

namespace kx::rules {

// Pixels of zoom frames (the last partial one kept): per output channel a
// minimum and a maximum, of each channel (split) or of their truncated mean;
// then scaled (clamped, truncated) and, at 8 bits, divided by 256.
inline std::vector<int16_t> Waveform(const std::vector<int16_t>& pcm, int channels, int zoom, bool split, int bits = 16,
                                     double scale = 1)
{
    const int outs = split ? channels : 1;
    const size_t frames = pcm.size() / size_t(channels);
    std::vector<int16_t> out;
    for (size_t first = 0; first < frames; first += size_t(zoom)) {
        for (int o = 0; o < outs; ++o) {
            int lo = 32767, hi = -32768;
            for (size_t f = first; f < std::min(frames, first + size_t(zoom)); ++f) {
                int s = 0;
                if (split) {
                    s = pcm[f * size_t(channels) + size_t(o)];
                } else {
                    for (int c = 0; c < channels; ++c)
                        s += pcm[f * size_t(channels) + size_t(c)];
                    s /= channels;
                }
                lo = std::min(lo, s);
                hi = std::max(hi, s);
            }
            for (int v : {lo, hi}) {
                double x = std::clamp(v * scale, -32768.0, 32767.0);
                int w = int(x);
                if (bits == 8)
                    w /= 256;
                out.push_back(int16_t(w));
            }
        }
    }
    return out;
}

// 16-bit samples as WriteWav stores the signal.
inline std::vector<int16_t> Samples(const TestMedia::WavFormat& format, const TestMedia::Signal& signal)
{
    const std::vector<uint8_t> bytes = TestMedia::Pcm(format, signal);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return pcm;
}

} // namespace kx::rules
