#pragma once
// Writers of what `peaktool waveform` makes, all through the one output path:
// waveform data written as its pixels come (the header's length last) and
// the decoded audio as a WAV file.
#include <cstdint>
#include <vector>

#include "peaks/WaveformData.h"
#include "platform/OutputFile.h"

namespace kx {

// Waveform data written into an open output. A seekable file gets each block
// of pixels as it is made and its header once the length is known; a stream
// (stdout, a FIFO) cannot be gone back on, so its pixels are held until the
// end. An automatic amplitude scale needs the loudest value first and holds
// them too.
class WaveformDataWriter
{
public:
    struct Settings {
        WaveformFormat format = WaveformFormat::Dat;
        int bits = 16;
        int32_t sampleRate = 0;
        int32_t samplesPerPixel = 0;
        int channels = 1;
        double amplitudeScale = 1;  // 0: automatic
    };
    WaveformDataWriter(OutputFile& out, const Settings& settings);

    bool Pixels(const int16_t* values, size_t pixels);
    // Writes what is held and the header; false on a write error (the
    // output's ErrorText says why) or a length the format cannot hold.
    bool Finish();
    uint64_t Length() const { return length_; }

private:
    bool Hold() const { return out_.IsDirect() || settings_.amplitudeScale == 0; }
    bool Encode(const int16_t* values, size_t count, double scale);
    bool WriteHeader(bool placeholder);

    OutputFile& out_;
    Settings settings_;
    uint64_t length_ = 0;
    bool started_ = false;
    bool firstValue_ = true;
    size_t headerBytes_ = 0;
    std::vector<int16_t> held_;
    std::vector<uint8_t> bytes_;
};

// The decoded audio as a 16-bit PCM WAV file: the sizes are filled in at the
// end, or left at their largest on a stream, as streaming writers do.
class WavAudioWriter
{
public:
    explicit WavAudioWriter(OutputFile& out) : out_(out) {}
    bool Begin(uint32_t rate, uint32_t channels);
    bool Frames(const int16_t* samples, size_t frames);
    bool Finish();

private:
    OutputFile& out_;
    uint32_t channels_ = 0;
    uint64_t dataBytes_ = 0;
};

} // namespace kx
