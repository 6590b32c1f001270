#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <vector>

namespace kx {

// The whole content of a file; empty when it cannot be read.
QByteArray ReadFileContents(const QString& path);
std::vector<uint8_t> ReadFileBytes(const QString& path);

// Media made by the tests themselves: WAVs written in code, other formats
// encoded with GStreamer at test time.
namespace TestMedia {

struct WavFormat {
    uint32_t rate = 44100;
    uint16_t channels = 2;
    uint16_t bits = 16;
    int64_t frames = 44100;
};

// Sample value of a channel at a frame, in -1..1.
using Signal = std::function<double(int64_t frame, int channel)>;

// A sine of the given frequency and amplitude on every channel.
Signal Sine(double frequency, double amplitude, uint32_t rate);

// Uniform 16-bit noise, the same for a seed on every run.
std::vector<int16_t> Noise16(size_t count, uint32_t seed);

// Interleaved PCM bytes for the format (8-bit unsigned, 16-bit signed LE).
std::vector<uint8_t> Pcm(const WavFormat& format, const Signal& signal);
// A canonical 44-byte-header PCM WAV.
std::vector<uint8_t> WavBytes(const WavFormat& format, const Signal& signal);
bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes);
bool WriteWav(const QString& path, const WavFormat& format, const Signal& signal);

// Runs a gst-launch style pipeline to its end (for example
// "audiotestsrc num-buffers=20 ! flacenc ! filesink location=x.flac");
// false on error or when it takes longer than the time-out.
bool RunPipeline(const QString& description, int timeoutMs = 30000);

// Encodes a WAV file into `out` through `encoder` (gst-launch elements after
// the converter, muxer included: "flacenc", "avenc_aac ! mp4mux"); false on error.
bool EncodeWav(const QString& wav, const QString& encoder, const QString& out);

// Encodes a short tone (seconds long) into the file; the format follows from
// the extension: .flac .mp3 .ogg .mpg .avi .wav; false when the encoder is missing.
bool EncodeTone(const QString& path, double seconds, uint32_t rate = 44100, int channels = 2);

// A video-only file (no audio stream).
bool EncodeVideoOnly(const QString& path, double seconds);

} // namespace TestMedia

} // namespace kx
