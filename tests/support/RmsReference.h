#pragma once
// The RMS levels a reduction should give, computed straight from the
// samples in floating point: runs end at ceil((k + 1) × N × in / out), a
// run without frames holds the frame before it, gains scale linearly.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "mediagraph/PeakReducer.h"

namespace kx {

inline std::vector<uint16_t> ReferenceRms(const PeakReducerSettings& s, const std::vector<int16_t>& pcm)
{
    const uint64_t frames = pcm.size() / s.channels;
    std::vector<uint16_t> out;
    uint64_t start = 0;
    for (uint64_t k = 0; k * s.samplesPerPeak * uint64_t(s.inputRate) < frames * s.outputRate; ++k) {
        const uint64_t end = ((k + 1) * s.samplesPerPeak * uint64_t(s.inputRate) + s.outputRate - 1) / s.outputRate;
        const uint64_t stop = std::min(end, frames);
        for (uint32_t c = 0; c < s.channels; ++c) {
            double sum = 0;
            for (uint64_t f = start; f < stop; ++f)
                sum += double(pcm[f * s.channels + c]) * pcm[f * s.channels + c];
            const double gain = (c == 0 ? s.leftGain : s.rightGain) / 4096.0;
            const double rms = stop > start ? std::sqrt(sum / double(stop - start)) * gain
                                            : std::abs(double(pcm[(start - 1) * s.channels + c])) * gain;
            out.push_back(uint16_t(std::min(std::lround(rms), 65535L)));
        }
        start = stop;
    }
    return out;
}

} // namespace kx
