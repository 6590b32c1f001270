#include "PeakReducer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Sums of squares of eight samples at a time, exact: pmaddwd squares the
// 16-bit lanes and adds neighbours, at most 2^31, exact as unsigned 32 bits.
// Stereo is first regrouped as four frames' first channel, then their second.
// The 32-bit sums go into 64-bit ones at once, so no run can overflow them.
class SquareSums
{
public:
    explicit SquareSums(bool stereo) : stereo_(stereo) {}
    void Add(__m128i v)
    {
        if (stereo_) {
            v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
            v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
            v = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 1, 2, 0));
        }
        const __m128i squares = _mm_madd_epi16(v, v);
        const __m128i zero = _mm_setzero_si128();
        a_ = _mm_add_epi64(a_, _mm_unpacklo_epi32(squares, zero));
        b_ = _mm_add_epi64(b_, _mm_unpackhi_epi32(squares, zero));
    }
    // Into the per-channel sums (mono: both halves are the one channel).
    void Fold(uint64_t squares[2]) const
    {
        uint64_t a[2], b[2];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a), a_);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b), b_);
        squares[0] += a[0] + a[1];
        squares[stereo_ ? 1 : 0] += b[0] + b[1];
    }

private:
    bool stereo_;
    __m128i a_ = _mm_setzero_si128();
    __m128i b_ = _mm_setzero_si128();
};
#endif

} // namespace

uint16_t RmsValue(double sumSquares, uint64_t n)
{
    if (n == 0 || !(sumSquares > 0))
        return 0;
    const double v = std::sqrt(sumSquares / double(n));
    return v >= 65535.0 ? uint16_t(65535) : uint16_t(std::lround(v));
}

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
    runStart_ = framesIn_;
    pending_.clear();
    rmsPending_.clear();
    for (int c = 0; c < 2; ++c) {
        max_[c] = INT16_MIN;
        min_[c] = INT16_MAX;
        last_[c] = 0;
        squares_[c] = 0;
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
        if (settings_.rms)
            Accumulate<true>(samples, n);
        else
            Accumulate<false>(samples, n);
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

template <bool Rms>
void PeakReducer::Accumulate(const int16_t* samples, size_t frames)
{
    const size_t count = frames * settings_.channels;
    size_t i = 0;
    if (count >= LaneCount * 2) {
        Lanes hi, lo;
        std::memcpy(&hi, samples, sizeof hi);
        lo = hi;
#if defined(__SSE2__)
        SquareSums sums(settings_.channels == 2);
        if constexpr (Rms)
            sums.Add(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples)));
#endif
        for (i = LaneCount; i + LaneCount <= count; i += LaneCount) {
            Lanes v;
            std::memcpy(&v, samples + i, sizeof v);
            hi = hi > v ? hi : v;
            lo = lo < v ? lo : v;
#if defined(__SSE2__)
            if constexpr (Rms)
                sums.Add(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i)));
#endif
        }
        if constexpr (Rms) {
#if defined(__SSE2__)
            sums.Fold(squares_);
#else
            for (size_t j = 0; j < i; ++j)
                squares_[settings_.channels == 2 ? (j & 1) : 0] += uint64_t(int32_t(samples[j]) * samples[j]);
#endif
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
        if constexpr (Rms)
            squares_[c] += uint64_t(int32_t(samples[i]) * samples[i]);
    }
    if (frames > 0)
        for (uint32_t c = 0; c < settings_.channels; ++c)
            last_[c] = samples[count - settings_.channels + c];
}

void PeakReducer::EmitRms(const uint16_t gains[2])
{
    const uint64_t n = framesIn_ - runStart_;
    for (uint32_t c = 0; c < settings_.channels; ++c) {
        const double gain = double(gains[c]) / 4096.0;
        // A run without frames of its own holds the frame before it, as its extremes do.
        const double squares = n > 0 ? double(squares_[c]) : double(int32_t(last_[c]) * last_[c]);
        rmsPending_.push_back(RmsValue(squares * gain * gain, std::max<uint64_t>(n, 1)));
        squares_[c] = 0;
    }
    runStart_ = framesIn_;
}

void PeakReducer::Emit()
{
    const uint16_t gains[2] = {settings_.leftGain, settings_.rightGain};
    if (settings_.rms)
        EmitRms(gains);
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

void PeakReducer::TakeRms(std::vector<uint16_t>& out)
{
    out.insert(out.end(), rmsPending_.begin(), rmsPending_.end());
    rmsPending_.clear();
}

void PeakReducer::TakeRecords(std::vector<uint8_t>& out)
{
    out.insert(out.end(), pending_.begin(), pending_.end());
    pending_.clear();
}

} // namespace kx
