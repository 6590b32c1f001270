#include "PeakReducer.h"

#include <algorithm>
#include <cstring>

namespace kx {

namespace {

// Eight 16-bit lanes: SSE2 has max/min for these, and with stereo the lanes
// alternate between the two channels.
typedef int16_t Lanes __attribute__((vector_size(16)));
constexpr size_t LaneCount = 8;

int32_t ApplyGain(int16_t value, uint16_t gain)
{
    // Truncates toward zero so that positive and negative swings scale alike.
    const int32_t scaled = int32_t(value) * int32_t(gain) / 4096;
    return std::clamp(scaled, -32768, 32767);
}

} // namespace

bool PeakReducer::Init(const PeakReducerSettings& s, uint64_t firstRecord)
{
    if (s.inputRate == 0 || s.outputRate == 0 || (s.channels != 1 && s.channels != 2) ||
        (s.bitsPerSample != 8 && s.bitsPerSample != 16) || s.samplesPerPeak == 0)
        return false;
    settings_ = s;
    recordSize_ = int(s.channels * (s.bitsPerSample == 8 ? 2 : 4));
    framesIn_ = RunStart(firstRecord);
    records_ = firstRecord;
    runEnd_ = RunEnd(firstRecord);
    pending_.clear();
    for (int c = 0; c < 2; ++c) {
        max_[c] = INT16_MIN;
        min_[c] = INT16_MAX;
        last_[c] = 0;
    }
    return true;
}

uint64_t PeakReducer::RunEnd(uint64_t k) const
{
    // First input frame whose time reaches output sample (k + 1) × N.
    const uint64_t n = settings_.samplesPerPeak;
    if (settings_.inputRate == settings_.outputRate)
        return (k + 1) * n;
    // 64 bits hold the product for any track shorter than about 90 years.
    if (k < (uint64_t(1) << 30)) {
        const uint64_t num = (k + 1) * n * settings_.inputRate;
        return (num + settings_.outputRate - 1) / settings_.outputRate;
    }
    const uint128_t num = (uint128_t)(k + 1) * n * settings_.inputRate;
    return uint64_t((num + settings_.outputRate - 1) / settings_.outputRate);
}

void PeakReducer::Process(const int16_t* samples, size_t frames)
{
    while (frames > 0) {
        const size_t n = size_t(std::min<uint64_t>(frames, runEnd_ - framesIn_));
        Accumulate(samples, n);
        samples += n * settings_.channels;
        frames -= n;
        framesIn_ += n;
        // Records without frames of their own (above the input rate) are
        // closed with the one before them, so that input cut at a record
        // boundary leaves none of them to the next piece.
        while (framesIn_ == runEnd_)
            Emit();
    }
}

void PeakReducer::Accumulate(const int16_t* samples, size_t frames)
{
    const size_t count = frames * settings_.channels;
    size_t i = 0;
    if (count >= LaneCount * 2) {
        Lanes hi, lo;
        std::memcpy(&hi, samples, sizeof hi);
        lo = hi;
        for (i = LaneCount; i + LaneCount <= count; i += LaneCount) {
            Lanes v;
            std::memcpy(&v, samples + i, sizeof v);
            hi = hi > v ? hi : v;
            lo = lo < v ? lo : v;
        }
        // Fold the lanes; with stereo the even lanes are the first channel
        // and the odd ones the second, since every chunk starts on a frame.
        // Once per call, so plain code costs nothing measurable.
        for (size_t l = 2; l < LaneCount; ++l) {
            hi[l % 2] = std::max(hi[l % 2], hi[l]);
            lo[l % 2] = std::min(lo[l % 2], lo[l]);
        }
        if (settings_.channels == 2) {
            max_[0] = std::max(max_[0], hi[0]);
            max_[1] = std::max(max_[1], hi[1]);
            min_[0] = std::min(min_[0], lo[0]);
            min_[1] = std::min(min_[1], lo[1]);
        } else {
            max_[0] = std::max({max_[0], hi[0], hi[1]});
            min_[0] = std::min({min_[0], lo[0], lo[1]});
        }
    }
    for (; i < count; ++i) {
        const size_t c = settings_.channels == 2 ? (i & 1) : 0;
        max_[c] = std::max(max_[c], samples[i]);
        min_[c] = std::min(min_[c], samples[i]);
    }
    if (frames > 0)
        for (uint32_t c = 0; c < settings_.channels; ++c)
            last_[c] = samples[count - settings_.channels + c];
}

void PeakReducer::Emit()
{
    const uint16_t gains[2] = {settings_.leftGain, settings_.rightGain};
    const size_t at = pending_.size();
    pending_.resize(at + size_t(recordSize_));
    uint8_t* out = pending_.data() + at;
    for (uint32_t c = 0; c < settings_.channels; ++c) {
        // Above the input rate a span can fall between two input frames: it
        // then holds the level of the frame before it.
        if (max_[c] < min_[c])
            max_[c] = min_[c] = last_[c];
        const int32_t values[2] = {ApplyGain(max_[c], gains[c]), ApplyGain(min_[c], gains[c])};
        for (int32_t v : values) {
            if (settings_.bitsPerSample == 8) {
                *out++ = uint8_t((v >> 8) + 128);
            } else {
                const auto u = uint16_t(v + 32768);
                *out++ = uint8_t(u);
                *out++ = uint8_t(u >> 8);
            }
        }
        max_[c] = INT16_MIN;
        min_[c] = INT16_MAX;
    }
    ++records_;
    runEnd_ = RunEnd(records_);
}

void PeakReducer::Done()
{
    // Every run that starts before the end of the input becomes a record, so
    // the count is ceil(frames × output rate / (input rate × N)), as for a
    // resampled stream.
    const uint128_t end = (uint128_t)framesIn_ * settings_.outputRate;
    while ((uint128_t)records_ * settings_.samplesPerPeak * settings_.inputRate < end)
        Emit();
}

void PeakReducer::TakeRecords(std::vector<uint8_t>& out)
{
    out.insert(out.end(), pending_.begin(), pending_.end());
    pending_.clear();
}

} // namespace kx
