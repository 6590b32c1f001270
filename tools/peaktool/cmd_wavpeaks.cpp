// peaktool wavpeaks FILE.wav: the wave viewer's extraction without a window.
#include "Command.h"
#include "platform/MessageBox.h"
#include "wavviewer/WavViewer.h"

#include <cstdio>

namespace kx {

namespace {

int Run(const QStringList& args);

const PeakToolCommand command("wavpeaks", "reduce a PCM WAV to the wave viewer's peak file",
                              "usage: peaktool wavpeaks FILE.wav [--seconds S] [--width W] [-o OUT]\n"
                              "Reads the WAV as the wave viewer does, one record per pixel column of a\n"
                              "peak area W pixels wide showing S seconds (defaults 30 and 400), and writes\n"
                              "the viewer's peak file to OUT (default: FILE with the .pek extension).\n"
                              "Progress goes to stderr. Exit 0 when the peak file was written, 1 when not,\n"
                              "2 on bad usage.\n",
                              Run);

void Progress(float fraction)
{
    const int width = 40;
    const int filled = std::clamp(static_cast<int>(fraction * width), 0, width);
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), ' ').c_str(),
                 std::clamp(static_cast<int>(fraction * 100.0f), 0, 100));
}

int Run(const QStringList& args)
{
    if (WantsHelp(command, args))
        return ExitOk;
    QString input;
    QString output;
    int seconds = 30;
    int width = 400;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](int& into, int lo, int hi) {
            bool ok = false;
            into = i + 1 < args.size() ? args[++i].toInt(&ok) : 0;
            return ok && into >= lo && into <= hi;
        };
        if (a == QLatin1String("--seconds")) {
            if (!value(seconds, 1, 255))
                return UsageError(command, QStringLiteral("--seconds takes 1 to 255"));
        } else if (a == QLatin1String("--width")) {
            if (!value(width, 20, 100000))
                return UsageError(command, QStringLiteral("--width takes 20 to 100000"));
        } else if (a == QLatin1String("-o")) {
            if (i + 1 >= args.size())
                return UsageError(command, QStringLiteral("-o needs a file name"));
            output = args[++i];
        } else if (a.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            return UsageError(command, QStringLiteral("unexpected argument '%1'").arg(a));
        } else {
            input = a;
        }
    }
    if (input.isEmpty())
        return UsageError(command, QStringLiteral("expects a WAV file"));

    // The viewer's messages become lines on stderr.
    const MessageBoxHook previous = SetMessageBoxHook([&input](QWidget*, const QString& text) {
        std::fprintf(stderr, "\npeaktool wavpeaks: %s: %s\n", qPrintable(input), qPrintable(text));
    });
    TWavViewer viewer;
    viewer.SetSecondsToShow(static_cast<uint8_t>(seconds));
    viewer.resize(viewer.InfoWidth() + width, 200);
    viewer.SetSavePeaks(false);
    viewer.OnBuildingPeaks = [](QObject*, int, float percentDone, bool&) { Progress(percentDone); };

    bool written = false;
    viewer.SetFileName(input);
    if (viewer.FileName() == input && viewer.BuildPeaks()) {
        std::fprintf(stderr, "\n");
        written = viewer.SavePeaksToFile(output);
        if (written)
            Out(QStringLiteral("Records: %1").arg(viewer.PeakCount()));
    }
    SetMessageBoxHook(previous);
    return written ? ExitOk : ExitFailed;
}

} // namespace

} // namespace kx
