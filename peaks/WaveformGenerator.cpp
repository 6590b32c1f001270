#include "WaveformGenerator.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "WaveformData.h"

namespace kx {

namespace {

// Pixels handed on at a time: a few hundred kilobytes at most.
constexpr size_t BlockPixels = 4096;

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
    const size_t channels = channels_;
    for (size_t i = 0; i < frames; ++i, samples += channels) {
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
        if (++count_ == samplesPerPixel_ && !Emit())
            return false;
    }
    return true;
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
