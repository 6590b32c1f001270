#pragma once
// Waveform data at a source's own sample rate, as web waveform viewers'
// generators make it: a pixel every samplesPerPixel frames, the last partial
// pixel kept, one minimum/maximum pair per output channel. A push class with
// no Qt and no GStreamer in it: decoders feed it, writers take its pixels.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kx {

/// Reduces decoded frames to waveform pixels at the source's own rate: a
/// pixel every samplesPerPixel frames, the last partial pixel kept, one
/// minimum/maximum pair per output channel.
class WaveformGenerator
{
public:
    /// Whole pixels, each 2 * OutputChannels() values (minimum, maximum per
    /// channel); false stops the generator.
    using PixelSink = std::function<bool(const int16_t* values, size_t pixels)>;

    /// split: one output channel per input channel; otherwise one holding the
    /// mono mix (the channels' sum divided by their count, truncated).
    WaveformGenerator(int32_t samplesPerPixel, bool split, PixelSink sink);

    /// Channels of the input; the first call sets them, false for 0 or more
    /// than the waveform data can hold.
    bool Init(uint32_t channels);
    /// Interleaved frames; false once the sink refused.
    bool Process(const int16_t* samples, size_t frames);
    /// Hands on the partial last pixel and what is still held.
    bool Done();

    /// Channels of each pixel: the input's when split, else 1 (0 before Init).
    int OutputChannels() const { return outChannels_; }
    /// Frames each pixel covers.
    int32_t SamplesPerPixel() const { return samplesPerPixel_; }
    /// Pixels handed on so far (Done included).
    uint64_t Pixels() const { return pixels_; }

private:
    void Reset();
    // Frames within one pixel into the running extremes.
    void Accumulate(const int16_t* samples, size_t frames);
    bool Emit();
    bool Flush();

    int32_t samplesPerPixel_;
    bool split_;
    PixelSink sink_;
    uint32_t channels_ = 0;
    int outChannels_ = 0;
    int32_t count_ = 0;
    std::vector<int> min_, max_;
    std::vector<int16_t> out_;  // pixels not yet handed on
    uint64_t pixels_ = 0;
    bool failed_ = false;
};

/// Scales a value as the waveform tools do: multiplied, clamped to 16 bits,
/// truncated toward zero.
int16_t ScaleWaveformValue(int16_t v, double scale);
/// The scale that makes the largest magnitude among values fill 16 bits; 1
/// for silence.
double AutoAmplitudeScale(const int16_t* values, size_t count);
/// A 16-bit value at 8 bits: divided by 256, truncated toward zero.
inline int16_t WaveformValueTo8Bits(int16_t v)
{
    return static_cast<int16_t>(v / 256);
}

} // namespace kx
