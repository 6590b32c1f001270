#include "WaveformGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "WaveformData.h"

namespace kx {

namespace {

// Pixels handed on at a time: a few hundred kilobytes at most.
constexpr size_t BlockPixels = 4096;

// Eight 16-bit lanes, which SSE2 compares at once. Interleaved channels
// whose count divides eight keep to fixed lanes.
typedef int16_t Lanes __attribute__((vector_size(16)));
constexpr size_t LaneCount = 8;

// The even and the odd lanes of two vectors; GCC and Clang name the shuffle differently.
#if defined(__clang__)
#define KX_LANES_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define KX_LANES_SHUFFLE(a, b, ...) __builtin_shuffle(a, b, Lanes{__VA_ARGS__})
#endif

Lanes Load(const int16_t* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

Lanes Filled(int16_t value)
{
    Lanes v;
    for (size_t l = 0; l < LaneCount; ++l)
        v[l] = value;
    return v;
}

// Extremes of `count` interleaved values into lanes; gives the values done.
size_t LaneExtremes(const int16_t* p, size_t count, Lanes& lo, Lanes& hi)
{
    size_t i = 0;
    for (; i + LaneCount <= count; i += LaneCount) {
        const Lanes v = Load(p + i);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    return i;
}

// The stereo mix of eight frames at once: (l + r) / 2 truncated toward zero,
// without leaving 16 bits: the floor of the mean, one up where it is odd and negative.
Lanes StereoMix(const int16_t* p)
{
    const Lanes a = Load(p), b = Load(p + LaneCount);
    const Lanes l = KX_LANES_SHUFFLE(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
    const Lanes r = KX_LANES_SHUFFLE(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
    const Lanes floorMean = (l & r) + ((l ^ r) >> 1);
    return floorMean + ((l ^ r) & 1 & (floorMean < 0));
}

} // namespace

WaveformGenerator::WaveformGenerator(int32_t samplesPerPixel, bool split, PixelSink sink)
    : samplesPerPixel_(std::max<int32_t>(1, samplesPerPixel)), split_(split), sink_(std::move(sink))
{
}

bool WaveformGenerator::Init(uint32_t channels)
{
    if (channels == 0 || channels > uint32_t(MaxWaveformChannels))
        return false;
    if (channels_ != 0)
        return channels == channels_;
    channels_ = channels;
    outChannels_ = split_ ? int(channels) : 1;
    min_.assign(size_t(outChannels_), 0);
    max_.assign(size_t(outChannels_), 0);
    out_.reserve(BlockPixels * 2 * size_t(outChannels_));
    Reset();
    return true;
}

void WaveformGenerator::Reset()
{
    count_ = 0;
    std::fill(min_.begin(), min_.end(), INT16_MAX);
    std::fill(max_.begin(), max_.end(), INT16_MIN);
}

bool WaveformGenerator::Process(const int16_t* samples, size_t frames)
{
    if (failed_ || channels_ == 0)
        return false;
    while (frames > 0) {
        const size_t n = std::min(frames, size_t(samplesPerPixel_ - count_));
        Accumulate(samples, n);
        samples += n * channels_;
        frames -= n;
        count_ += int32_t(n);
        if (count_ == samplesPerPixel_ && !Emit())
            return false;
    }
    return true;
}

void WaveformGenerator::Accumulate(const int16_t* samples, size_t frames)
{
    const size_t channels = channels_;
    size_t done = 0;  // frames
    Lanes lo = Filled(INT16_MAX), hi = Filled(INT16_MIN);
    if ((split_ || channels == 1) && LaneCount % channels == 0) {
        done = LaneExtremes(samples, frames * channels, lo, hi) / channels;
        for (size_t l = 0; l < LaneCount; ++l) {
            min_[l % channels] = std::min<int>(min_[l % channels], lo[l]);
            max_[l % channels] = std::max<int>(max_[l % channels], hi[l]);
        }
    } else if (!split_ && channels == 2) {
        // Each mix takes eight frames.
        for (; done + LaneCount <= frames; done += LaneCount) {
            const Lanes v = StereoMix(samples + 2 * done);
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        for (size_t l = 0; l < LaneCount; ++l) {
            min_[0] = std::min<int>(min_[0], lo[l]);
            max_[0] = std::max<int>(max_[0], hi[l]);
        }
    }
    samples += done * channels;
    for (size_t i = done; i < frames; ++i, samples += channels) {
        if (split_) {
            for (size_t c = 0; c < channels; ++c) {
                const int s = samples[c];
                min_[c] = std::min(min_[c], s);
                max_[c] = std::max(max_[c], s);
            }
        } else {
            int sum = 0;
            for (size_t c = 0; c < channels; ++c)
                sum += samples[c];
            const int s = sum / int(channels);
            min_[0] = std::min(min_[0], s);
            max_[0] = std::max(max_[0], s);
        }
    }
}

bool WaveformGenerator::Emit()
{
    for (int c = 0; c < outChannels_; ++c) {
        out_.push_back(static_cast<int16_t>(min_[size_t(c)]));
        out_.push_back(static_cast<int16_t>(max_[size_t(c)]));
    }
    ++pixels_;
    Reset();
    return out_.size() < BlockPixels * 2 * size_t(outChannels_) || Flush();
}

bool WaveformGenerator::Flush()
{
    if (!out_.empty() && !sink_(out_.data(), out_.size() / size_t(2 * outChannels_)))
        failed_ = true;
    out_.clear();
    return !failed_;
}

bool WaveformGenerator::Done()
{
    if (failed_ || channels_ == 0)
        return false;
    if (count_ > 0 && !Emit())
        return false;
    return Flush();
}

int16_t ScaleWaveformValue(int16_t v, double scale)
{
    const double r = std::clamp(double(v) * scale, double(INT16_MIN), double(INT16_MAX));
    return static_cast<int16_t>(r);
}

double AutoAmplitudeScale(const int16_t* values, size_t count)
{
    int peak = 0;
    for (size_t i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(values[i])));
    return peak == 0 ? 1.0 : double(INT16_MAX) / peak;
}

} // namespace kx
