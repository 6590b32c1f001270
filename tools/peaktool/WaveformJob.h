#pragma once
// What `peaktool waveform` is asked to do, read from its options, which are
// those of the web waveform tools with the same meanings and defaults.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "peaks/NativeSamples.h"

namespace kx {

class CommandLine;
struct PictureLayout;

enum class WaveformInput { Media, Dat, Json, Peaks };
enum class WaveformOutput { Dat, Json, Png, Svg, Wav };

// An RGBA colour, 0xRRGGBBAA.
using Rgba = uint32_t;

struct PictureColors {
    Rgba border, background, waveform, axisLabels;
};
// The two colour schemes: "audacity" and "audition".
std::optional<PictureColors> ColorScheme(const QString& name);
// "rrggbb" or "rrggbbaa" in hexadecimal.
std::optional<Rgba> ParseRgba(const QString& text);

struct WaveformJob {
    QString input;   // "-": stdin
    QString output;  // "-": stdout
    WaveformInput inputKind = WaveformInput::Media;
    WaveformOutput outputKind = WaveformOutput::Dat;
    std::optional<RawSampleFormat> raw;

    // Source frames a pixel; 0 with zoomAuto: the whole span in the width.
    int32_t zoom = 256;
    bool zoomAuto = false;
    bool zoomGiven = false;
    double pixelsPerSecond = 0;  // above 0: zoom = rate / pps
    int bits = 16;
    double start = 0;  // seconds
    double end = 0;    // seconds; 0: the end
    int width = 800;
    int height = 250;
    PictureColors colors{};
    bool bars = false;
    int barWidth = 8;
    int barGap = 4;
    bool roundedBars = false;
    bool axisLabels = true;
    double amplitudeScale = 1;  // 0: automatic
    int compression = -1;       // PNG: -1 default, 0..9
    bool splitChannels = false;

    bool Picture() const { return outputKind == WaveformOutput::Png || outputKind == WaveformOutput::Svg; }
    // The zoom for a source of this rate (and frames, 0 when unknown, for
    // the automatic zoom); 0 when it cannot be told.
    int32_t ZoomFor(uint32_t rate, uint64_t frames) const;
};

// Reads the options into job; ExitOk, or the usage error already reported.
int ReadWaveformJob(const CommandLine& line, WaveformJob& job);
// Whether the options ask for a PNG picture (drawn by peaktool-draw).
bool WaveformWantsPng(const CommandLine& line);
// Whether the input needs the media framework: not for waveform data, peak
// files and the WAV files read straight from the file, which start faster without it.
bool WaveformNeedsDecoding(const CommandLine& line);

// Encodes a laid-out picture as PNG; empty on failure. Only peaktool-draw has one.
using PngEncoder = std::function<QByteArray(const PictureLayout&, int compression)>;
// Runs the command; the exit status.
int RunWaveform(const CommandLine& line, const PngEncoder& png);

} // namespace kx
