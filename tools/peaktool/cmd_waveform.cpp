// peaktool waveform: any media, waveform data or a peak file to waveform
// data, a picture or the decoded audio, with the options of the web waveform
// tools. PNG pictures are drawn by peaktool-draw (draw/WaveformPng.cpp).
#include "Command.h"
#include "WaveformJob.h"

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.KeepShortH();
    line.SetSynopsis(QStringLiteral("-i INPUT -o OUTPUT [options]"));
    line.SetDescription(QStringLiteral(
        "Makes waveform data (.dat, .json), a picture (.png, .svg) or the decoded audio (.wav)\n"
        "from any media GStreamer decodes, from waveform data (.dat, .json) or a peak file\n"
        "(.pek). Data is made at the media's own sample rate: a pixel every --zoom frames, the\n"
        "last partial one kept, one minimum/maximum pair per channel with --split-channels,\n"
        "else of the mono mix. Formats follow from the names' extensions. Here -h is the\n"
        "height: help is --help. Exit 1 when the input cannot be read or the output written,\n"
        "2 on bad usage."));
    const auto add = [&](const char* names, const char* text, const char* value = nullptr, const char* def = nullptr) {
        line.AddOption(QLatin1String(names), QLatin1String(text), value ? QLatin1String(value) : QString(),
                       def ? QLatin1String(def) : QString());
    };
    add("i,input-filename", "media, .dat, .json or .pek to read; - for stdin (with --input-format)", "IN");
    add("o,output-filename", ".dat, .json, .png, .svg or .wav to write; - for stdout (with --output-format)", "OUT");
    add("input-format", "the input's format when its name does not tell: a media extension, dat, json, pek or raw",
        "FORMAT");
    add("output-format", "dat, json, png, svg or wav when the name does not tell", "FORMAT");
    add("z,zoom", "source frames a pixel, or auto: the whole file (or --start..--end) in the width", "N|auto", "256");
    add("pixels-per-second", "pixels a second of audio (zoom = rate / this)", "N");
    add("b,bits", "data values of 8 or 16 bits", "8|16", "16");
    add("s,start", "start of the picture, in seconds", "SECONDS", "0");
    add("e,end", "end of the picture, in seconds; for data, with --width it sets the zoom (0: the end)", "SECONDS",
        "0");
    add("w,width", "picture width in pixels; for data, the width --end fits the span in", "W", "800");
    add("h,height", "picture height in pixels", "H", "250");
    add("c,colors", "colour scheme of pictures: audacity or audition", "SCHEME", "audacity");
    add("border-color", "border and tick colour", "rrggbb[aa]");
    add("background-color", "background colour; aa 00 is transparent", "rrggbb[aa]");
    add("waveform-color", "waveform colour", "rrggbb[aa]");
    add("axis-label-color", "time label colour", "rrggbb[aa]");
    add("waveform-style", "normal or bars", "STYLE", "normal");
    add("bar-width", "bar width in pixels", "N", "8");
    add("bar-gap", "pixels between bars", "N", "4");
    add("bar-style", "square or rounded", "STYLE", "square");
    add("with-axis-labels", "draw the border, time ticks and labels (the default)");
    add("no-axis-labels", "draw the waveform only, over the whole picture");
    add("amplitude-scale", "multiply values by N; auto: the loudest value in view fills the height", "N|auto", "1");
    add("compression", "PNG compression level, 0 to 9; -1 the default", "N", "-1");
    add("split-channels", "one channel of data, or one band of the picture, per input channel");
    add("raw-samplerate", "raw input: frames a second", "HZ");
    add("raw-channels", "raw input: channels", "N");
    add("raw-format", "raw input: s8, u8, s16le, s16be, s24le, s24be, s32le, s32be, f32le, f32be, f64le or f64be",
        "FORMAT");
}

int Run(CommandLine& line)
{
    return RunWaveform(line, nullptr);
}

unsigned Needs(const CommandLine& line)
{
    return (WaveformNeedsDecoding(line) ? NeedsMedia : NeedsNothing) | (WaveformWantsPng(line) ? NeedsGui : NeedsNothing);
}

const PeakToolCommand command("waveform",
                              "media to waveform data (.dat, .json), a picture (.png, .svg) or audio (.wav)",
                              NeedsMedia, Define, Run, Needs);

} // namespace

} // namespace kx
