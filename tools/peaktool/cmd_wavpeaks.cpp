// peaktool wavpeaks FILE.wav: the wave viewer's extraction without a window.
// The viewer is a widget: the extraction is in draw/WavPeaks.cpp, run by peaktool-draw.
#include "Command.h"

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE.wav"));
    line.SetDescription(QStringLiteral(
        "Reads the WAV as the wave viewer does, one record per pixel column of a\n"
        "peak area W pixels wide showing S seconds, and writes the viewer's peak\n"
        "file to OUT (default: FILE with the .pek extension; - for stdout).\n"
        "A progress bar goes to stderr when it is a terminal. Exit 0 when the peak\n"
        "file was written, 1 when not, 2 on bad usage."));
    line.AddOption(QStringLiteral("seconds"), QStringLiteral("seconds shown, 1..255"), QStringLiteral("S"),
                   QStringLiteral("30"));
    line.AddOption(QStringLiteral("width"), QStringLiteral("peak area width in pixels, 20..100000"), QStringLiteral("W"),
                   QStringLiteral("400"));
    line.AddOption(QStringLiteral("o,output"), QStringLiteral("peak file to write, - for stdout"), QStringLiteral("OUT"));
    line.AddOption(QStringLiteral("force"), QStringLiteral("replace a peak file of the builder's layout or waveform "
                                                           "data under OUT"));
}

const PeakToolCommand command("wavpeaks", "reduce a PCM WAV to the wave viewer's peak file", NeedsGui, Define, nullptr);

} // namespace

} // namespace kx
