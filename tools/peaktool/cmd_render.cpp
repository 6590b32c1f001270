// peaktool render FILE.pek -o OUT.png: draws a peak file through the peak viewer;
// with --spectrogram MEDIA, the media's spectrogram through the spectrogram viewer.
// The drawing itself is in draw/Render.cpp, run by peaktool-draw.
#include "Command.h"

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE.pek -o OUT.png | --spectrogram MEDIA -o OUT.png"));
    line.SetDescription(QStringLiteral(
        "Draws the peaks, grid, marked range and cursor line of the file offscreen.\n"
        "The zoom comes from one of --scaler, --pixels-per-second or --end-seconds.\n"
        "With --rms, the RMS levels of the side file FILE.pek.rms (when it is not older\n"
        "than the peak file and matches it) are drawn as a lighter band inside the peaks.\n"
        "With --spectrogram, draws the spectrogram of MEDIA (or of a spectrogram file)\n"
        "instead: 256 log-spaced bands from 20 Hz to Nyquist, one column per 1024\n"
        "frames, -100 to 0 dBFS from dark to bright; the whole file fills the width\n"
        "unless --pixels-per-second or --end-seconds is given.\n"
        "Exit 0 on success, 1 when the file is refused or the image cannot be\n"
        "written, 2 on bad usage."));
    line.AddOption(QStringLiteral("o,output"), QStringLiteral("image to write, - for stdout (required)"),
                   QStringLiteral("OUT.png"));
    line.AddOption(QStringLiteral("width"), QStringLiteral("client width in pixels"), QStringLiteral("W"),
                   QStringLiteral("800"));
    line.AddOption(QStringLiteral("height"), QStringLiteral("client height in pixels"), QStringLiteral("H"),
                   QStringLiteral("200"));
    line.AddOption(QStringLiteral("scaler"), QStringLiteral("peaks per pixel column, 0.1 or more"), QStringLiteral("TS"),
                   QStringLiteral("1"));
    line.AddOption(QStringLiteral("pixels-per-second"), QStringLiteral("columns for one second of audio"),
                   QStringLiteral("P"));
    line.AddOption(QStringLiteral("start-seconds"), QStringLiteral("second shown in the first column"),
                   QStringLiteral("S"), QStringLiteral("0"));
    line.AddOption(QStringLiteral("end-seconds"),
                   QStringLiteral("second shown in the last column: the span from the start fills the width"),
                   QStringLiteral("E"));
    line.AddOption(QStringLiteral("reduction"),
                   QStringLiteral("minmax: each column shows the extremes of all its records; skip: its first"),
                   QStringLiteral("minmax|skip"), QStringLiteral("minmax"));
    line.AddOption(QStringLiteral("colors"),
                   QStringLiteral("waveform, background and grid colours (names or #rrggbb; empty keeps one)"),
                   QStringLiteral("W,B,G"));
    line.AddOption(QStringLiteral("split-channels"), QStringLiteral("each channel in its own band (the default)"));
    line.AddOption(QStringLiteral("merge-channels"), QStringLiteral("all channels in one band over the height"));
    line.AddOption(QStringLiteral("mark"), QStringLiteral("marked range in milliseconds"), QStringLiteral("A:B"));
    line.AddOption(QStringLiteral("cursor"), QStringLiteral("draw the cursor position line at MS milliseconds"),
                   QStringLiteral("MS"));
    line.AddOption(QStringLiteral("rms"),
                   QStringLiteral("draw the RMS levels of FILE.pek.rms as a lighter band inside the peaks; "
                                  "without a current side file the peaks are drawn alone, with a note on stderr"));
    line.AddOption(QStringLiteral("spectrogram"),
                   QStringLiteral("draw the spectrogram of MEDIA (media or a spectrogram file) instead of peaks"),
                   QStringLiteral("MEDIA"));
    line.AddOption(QStringLiteral("linear-frequency"),
                   QStringLiteral("with --spectrogram: rows evenly in Hz rather than by log-spaced band"));
}

// Analysing media needs the media framework; peaks do not.
unsigned Needs(const CommandLine& line)
{
    return NeedsGui | (line.IsSet(QStringLiteral("spectrogram")) ? NeedsMedia : 0u);
}

const PeakToolCommand command("render", "draw a peak file or a media file's spectrogram into a PNG image", NeedsGui,
                              Define, nullptr, Needs);

} // namespace

} // namespace kx
