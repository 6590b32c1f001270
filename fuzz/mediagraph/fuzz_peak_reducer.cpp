// Arbitrary PCM and settings through the peak reducer, in pieces of arbitrary
// size, compared record by record with a plain reduction written from the
// rules: runs end at the first input frame whose time reaches each output
// span, an empty span holds the frame before it, gains truncate toward zero.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mediagraph/PeakReducer.h"

using namespace kx;

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint32_t Take(int bytes)
    {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint32_t(at < size ? data[at++] : 0) << (8 * i);
        return v;
    }
};

uint64_t RunEndRef(const PeakReducerSettings& s, uint64_t k)
{
    const uint128_t num = (uint128_t)(k + 1) * s.samplesPerPeak * s.inputRate;
    return uint64_t((num + s.outputRate - 1) / s.outputRate);
}

int32_t Gain(int32_t v, uint16_t gain)
{
    return std::clamp(v * int32_t(gain) / 4096, -32768, 32767);
}

std::vector<uint8_t> Reference(const PeakReducerSettings& s, const std::vector<int16_t>& pcm, uint64_t frames)
{
    std::vector<uint8_t> out;
    const uint128_t end = (uint128_t)frames * s.outputRate;
    uint64_t start = 0;
    for (uint64_t k = 0; (uint128_t)k * s.samplesPerPeak * s.inputRate < end; ++k) {
        const uint64_t stop = std::min(RunEndRef(s, k), frames);
        for (uint32_t c = 0; c < s.channels; ++c) {
            int32_t hi = INT32_MIN, lo = INT32_MAX;
            for (uint64_t f = start; f < stop; ++f) {
                hi = std::max<int32_t>(hi, pcm[f * s.channels + c]);
                lo = std::min<int32_t>(lo, pcm[f * s.channels + c]);
            }
            if (start >= stop)
                hi = lo = start > 0 ? pcm[(start - 1) * s.channels + c] : 0;
            const uint16_t gain = c == 0 ? s.leftGain : s.rightGain;
            for (int32_t v : {Gain(hi, gain), Gain(lo, gain)}) {
                if (s.bitsPerSample == 8) {
                    out.push_back(uint8_t((v >> 8) + 128));
                } else {
                    out.push_back(uint8_t(v + 32768));
                    out.push_back(uint8_t((v + 32768) >> 8));
                }
            }
        }
        start = std::max(start, stop);
    }
    return out;
}

// The RMS levels from exact integer sums of squares, through the stored
// rounding: the reducer's vector sums must give the same.
std::vector<uint16_t> ReferenceRms(const PeakReducerSettings& s, const std::vector<int16_t>& pcm, uint64_t frames)
{
    std::vector<uint16_t> out;
    const uint128_t end = (uint128_t)frames * s.outputRate;
    uint64_t start = 0;
    for (uint64_t k = 0; (uint128_t)k * s.samplesPerPeak * s.inputRate < end; ++k) {
        const uint64_t stop = std::min(RunEndRef(s, k), frames);
        for (uint32_t c = 0; c < s.channels; ++c) {
            uint64_t sum = 0;
            for (uint64_t f = start; f < stop; ++f)
                sum += uint64_t(int32_t(pcm[f * s.channels + c]) * pcm[f * s.channels + c]);
            if (start >= stop) {
                const int32_t last = start > 0 ? pcm[(start - 1) * s.channels + c] : 0;
                sum = uint64_t(last * last);
            }
            const double gain = double(c == 0 ? s.leftGain : s.rightGain) / 4096.0;
            out.push_back(RmsValue(double(sum) * gain * gain, std::max<uint64_t>(stop > start ? stop - start : 0, 1)));
        }
        start = std::max(start, stop);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    PeakReducerSettings s;
    // Rates are mostly small so that runs end inside short inputs; the top
    // bit of the selector lets any 32-bit value through.
    const auto rate = [&in] {
        const uint32_t pick = in.Take(1);
        return pick & 0x80 ? in.Take(4) : pick * 1000 + in.Take(1);
    };
    s.inputRate = rate();
    s.outputRate = rate();
    s.channels = in.Take(1) % 4;
    s.bitsPerSample = (in.Take(1) % 3) * 8;
    s.leftGain = uint16_t(in.Take(2));
    s.rightGain = uint16_t(in.Take(2));
    s.samplesPerPeak = uint16_t(in.Take(2));
    const uint32_t pieceSeed = in.Take(1);
    s.rms = (pieceSeed & 0x80) != 0;

    PeakReducer reducer;
    const bool valid = s.inputRate > 0 && s.outputRate > 0 && (s.channels == 1 || s.channels == 2) &&
                       (s.bitsPerSample == 8 || s.bitsPerSample == 16) && s.samplesPerPeak > 0;
    if (reducer.Init(s) != valid)
        __builtin_trap();
    if (!valid)
        return 0;

    std::vector<int16_t> pcm((size - in.at) / 2);
    if (!pcm.empty())
        std::memcpy(pcm.data(), data + in.at, pcm.size() * 2);
    const uint64_t frames = pcm.size() / s.channels;
    // Settings that ask for more records than a few per input byte would
    // only measure memory: the element never sees such rate pairs.
    const uint128_t expected = ((uint128_t)frames * s.outputRate + (uint128_t)s.samplesPerPeak * s.inputRate - 1) /
                               ((uint128_t)s.samplesPerPeak * s.inputRate);
    if (expected > 4096 + 8 * (uint128_t)size)
        return 0;

    std::vector<uint8_t> got;
    std::vector<uint16_t> rms;
    uint64_t fed = 0;
    uint32_t seed = pieceSeed | 1;
    while (fed < frames) {
        seed = seed * 1103515245u + 12345u;
        const uint64_t piece = std::min<uint64_t>(frames - fed, seed >> 28);
        reducer.Process(pcm.data() + fed * s.channels, size_t(piece));
        fed += piece;
        if (seed & 0x100) {
            reducer.TakeRecords(got);
            reducer.TakeRms(rms);
        }
    }
    reducer.Done();
    reducer.TakeRecords(got);
    reducer.TakeRms(rms);
    if (rms != (s.rms ? ReferenceRms(s, pcm, frames) : std::vector<uint16_t>{}))
        __builtin_trap();

    if (got != Reference(s, pcm, frames) || reducer.RecordCount() != expected ||
        got.size() != expected * uint64_t(reducer.RecordSize()) || reducer.FramesIn() != frames)
        __builtin_trap();
    return 0;
}
