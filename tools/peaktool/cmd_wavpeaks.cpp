// peaktool wavpeaks FILE.wav: the wave viewer's extraction without a window.
#include "Command.h"
#include "Progress.h"
#include "platform/MessageBox.h"
#include "wavviewer/WavViewer.h"

#include <QFile>
#include <QTemporaryDir>

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
}

int Run(CommandLine& line);

const PeakToolCommand command("wavpeaks", "reduce a PCM WAV to the wave viewer's peak file", NeedsGui, Define, Run);

int Run(CommandLine& line)
{
    int seconds = 30;
    int width = 400;
    if (!line.Int(QStringLiteral("seconds"), 1, 255, seconds))
        return line.UsageError(QStringLiteral("--seconds takes 1 to 255"));
    if (!line.Int(QStringLiteral("width"), 20, 100000, width))
        return line.UsageError(QStringLiteral("--width takes 20 to 100000"));
    const QStringList inputs = line.Positional();
    if (inputs.size() != 1)
        return line.UsageError(inputs.isEmpty() ? QStringLiteral("expects a WAV file")
                                                : QStringLiteral("unexpected argument '%1'").arg(inputs[1]));
    const QString input = inputs[0];
    const QString output = line.Value(QStringLiteral("output"));

    // The viewer's messages become lines on stderr.
    const MessageBoxHook previous = SetMessageBoxHook([&input](QWidget*, const QString& text) {
        Err(QStringLiteral("peaktool wavpeaks: %1: %2").arg(input, text));
    });
    ProgressBar bar(true);
    TWavViewer viewer;
    viewer.SetSecondsToShow(static_cast<uint8_t>(seconds));
    viewer.resize(viewer.InfoWidth() + width, 200);
    viewer.SetSavePeaks(false);
    viewer.OnBuildingPeaks = [&bar](QObject*, int, float percentDone, bool&) {
        bar.Show(static_cast<int>(percentDone * 100.0f));
    };

    bool written = false;
    viewer.SetFileName(input);
    if (viewer.FileName() == input && viewer.BuildPeaks()) {
        bar.Clear();
        if (IsStdStream(output)) {
            // The viewer writes files only: go through one and copy it out.
            QTemporaryDir scratch;
            const QString file = scratch.filePath(QStringLiteral("peaks.pek"));
            QFile peaks(file);
            QString error;
            written = scratch.isValid() && viewer.SavePeaksToFile(file) && peaks.open(QIODevice::ReadOnly) &&
                      WriteOutput(output, peaks.readAll(), error);
            if (!error.isEmpty())
                Err(QStringLiteral("peaktool wavpeaks: %1").arg(error));
        } else {
            written = viewer.SavePeaksToFile(output);
            if (written)
                Out(QStringLiteral("Records: %1").arg(viewer.PeakCount()));
        }
    }
    SetMessageBoxHook(previous);
    return written ? ExitOk : ExitFailed;
}

} // namespace

} // namespace kx
