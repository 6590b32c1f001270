// peaktool wavpeaks, the extraction: the wave viewer reads the WAV without a window.
#include "Command.h"
#include "Drawing.h"
#include "Progress.h"
#include "platform/NativeName.h"
#include "platform/OutputFile.h"
#include "platform/widgets/MessageBox.h"
#include "wavviewer/WavFile.h"
#include "wavviewer/WavViewer.h"

#include <QFileInfo>
#include <cerrno>
#include <memory>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

namespace {

// The peaks one run may hold: far more than any display needs, and the
// extraction keeps them all in memory.
constexpr uint64_t MaxPeakBytes = uint64_t(64) << 20;

// Why the viewer would refuse the input (it only ever says "Invalid file"),
// or empty when it can be read.
QString InputProblem(const QString& input, WavInfo& info)
{
    const QByteArray name = EncodeNativeName(input);
    struct stat st {};
    if (stat(name.constData(), &st) != 0)
        return errno == ENOENT ? QStringLiteral("no such file") : QString::fromLocal8Bit(std::strerror(errno));
    // Checked before opening: opening a FIFO waits for a writer forever.
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a regular file");
    if (access(name.constData(), R_OK) != 0)
        return QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    FileByteReader reader(input);
    if (!reader.IsOpen())
        return QStringLiteral("cannot be opened");
    const WavCheck check = ReadWavHeader(reader, info);
    return check == WavCheck::Ok ? QString() : QString::fromLatin1(WavCheckText(check));
}

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
    const auto fail = [&input](const QString& why) {
        Err(QStringLiteral("peaktool wavpeaks: %1: %2").arg(input, why));
        return ExitFailed;
    };
    WavInfo info;
    const QString problem = InputProblem(input, info);
    if (!problem.isEmpty())
        return fail(problem);

    // The viewer's messages become lines on stderr.
    const MessageBoxHook previous = SetMessageBoxHook([&input](QWidget*, const QString& text) {
        Err(QStringLiteral("peaktool wavpeaks: %1: %2").arg(input, text));
    });
    const std::shared_ptr<void> restore(nullptr, [&previous](void*) { SetMessageBoxHook(previous); });
    ProgressBar bar(true);
    TWavViewer viewer;
    viewer.SetSecondsToShow(static_cast<uint8_t>(seconds));
    viewer.resize(viewer.InfoWidth() + width, 200);
    viewer.SetSavePeaks(false);

    // Judged before the extraction, and again when the file is written.
    const QString target = output.isEmpty() ? ReplaceExtension(input, viewer.PeaksFileExt()) : output;
    const bool force = line.IsSet(QStringLiteral("force"));
    OutputRules rules;
    rules.kind = FileKind::WaveViewerPeaks;
    rules.force = force;
    rules.Input(input);
    if (const QString refusal = OutputRefusal(target, rules); !refusal.isEmpty())
        return fail(QStringLiteral("the peak file %1 %2; name another with -o").arg(target, refusal));
    // One record per run of frames, for the samples actually in the file.
    const auto available = uint64_t(std::max<qint64>(StatNative(input).size - qint64(info.DataOffset), 0));
    const uint64_t frames = std::min<uint64_t>(info.DataSize, available) / std::max<uint8_t>(info.BlockAlign, 1);
    const uint32_t framesPerPeak = FramesPerPeakFor(seconds, info.SampleRate, width, info.BlockAlign);
    const uint64_t peakBytes = (frames / framesPerPeak + 1) * 2 * info.BlockAlign;
    if (peakBytes > MaxPeakBytes)
        return fail(QStringLiteral("its peaks would take %1 MiB, more than %2 MiB; show more --seconds or fewer "
                                   "pixels (--width)")
                        .arg(peakBytes >> 20)
                        .arg(MaxPeakBytes >> 20));
    viewer.OnBuildingPeaks = [&bar](QObject*, int, float percentDone, bool&) {
        bar.Show(static_cast<int>(percentDone * 100.0f));
    };

    bool written = false;
    viewer.SetFileName(input);
    if (viewer.FileName() == input && viewer.BuildPeaks()) {
        bar.Clear();
        // The viewer's own message says less than its reason.
        SetMessageBoxHook([](QWidget*, const QString&) {});
        written = viewer.SavePeaksToFile(target, force);
        if (!written)
            Err(QStringLiteral("peaktool wavpeaks: %1").arg(viewer.SaveError()));
        else if (!IsStdStream(target))
            Out(QStringLiteral("Records: %1").arg(viewer.PeakCount()));
    }
    return written ? ExitOk : ExitFailed;
}

const DrawingRunner runner("wavpeaks", Run);

} // namespace

} // namespace kx
