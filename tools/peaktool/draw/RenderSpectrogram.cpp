// peaktool render --spectrogram, the drawing: the spectrogram viewer draws
// the media's (or a spectrogram file's) columns offscreen.
#include "Command.h"
#include "Drawing.h"
#include "platform/OutputFile.h"
#include "spectrogram/KXSpectrogramViewer.h"
#include "spectrogram/SpectrogramAnalysis.h"
#include "spectrogram/SpectrogramFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <cmath>

namespace kx {

int RenderSpectrogram(CommandLine& line)
{
    for (const char* name : {"scaler", "reduction", "colors", "split-channels", "merge-channels", "mark"})
        if (line.IsSet(QLatin1String(name)))
            return line.UsageError(QStringLiteral("--%1 does not apply to --spectrogram").arg(QLatin1String(name)));
    qint64 width = 800, height = 200, start = 0, cursor = -1;
    if (!line.Int(QStringLiteral("width"), 100, 16384, width))
        return line.UsageError(QStringLiteral("--width takes 100 to 16384"));
    if (!line.Int(QStringLiteral("height"), 8, 16384, height))
        return line.UsageError(QStringLiteral("--height takes 8 to 16384"));
    if (!line.Int(QStringLiteral("start-seconds"), 0, INT32_MAX, start))
        return line.UsageError(QStringLiteral("--start-seconds takes a whole number of seconds"));
    if (!line.Int(QStringLiteral("cursor"), 0, INT32_MAX, cursor))
        return line.UsageError(QStringLiteral("--cursor takes milliseconds"));
    const bool byPixels = line.IsSet(QStringLiteral("pixels-per-second"));
    const bool byEnd = line.IsSet(QStringLiteral("end-seconds"));
    if (byPixels && byEnd)
        return line.UsageError(QStringLiteral("--pixels-per-second and --end-seconds exclude each other"));
    double pixelsPerSecond = 0, endSeconds = 0;
    bool ok = true;
    if (byPixels) {
        pixelsPerSecond = line.Value(QStringLiteral("pixels-per-second")).toDouble(&ok);
        if (!ok || !(pixelsPerSecond > 0) || pixelsPerSecond > 1e6)
            return line.UsageError(QStringLiteral("--pixels-per-second takes a positive number"));
    }
    if (byEnd) {
        endSeconds = line.Value(QStringLiteral("end-seconds")).toDouble(&ok);
        if (!ok || !(endSeconds > double(start)) || endSeconds > INT32_MAX)
            return line.UsageError(QStringLiteral("--end-seconds takes a second after --start-seconds"));
    }
    const QString input = line.Value(QStringLiteral("spectrogram"));
    const QString output = line.Value(QStringLiteral("output"));
    if (!line.Positional().isEmpty())
        return line.UsageError(QStringLiteral("--spectrogram takes the media; no other file is expected"));
    if (input.isEmpty() || output.isEmpty())
        return line.UsageError(QStringLiteral("expects --spectrogram MEDIA and -o OUT.png"));

    OutputRules rules;
    rules.kind = FileKind::Picture;
    rules.Input(input);
    // Refused outputs are known before the media is analysed.
    if (const QString why = OutputRefusal(output, rules); !why.isEmpty()) {
        Err(QStringLiteral("peaktool render: %1: %2").arg(output, why));
        return ExitFailed;
    }
    SpectrogramData data;
    QString error;
    const bool isFile = KindOfFile(input) == FileKind::Spectrogram;
    if (!(isFile ? ReadSpectrogramFile(input, data, error) : AnalyseMedia(input, data, error))) {
        Err(QStringLiteral("peaktool render: %1: %2").arg(input, error));
        return ExitFailed;
    }
    TKXSpectrogramViewer viewer;
    viewer.setAttribute(Qt::WA_DontShowOnScreen);
    viewer.resize(int(width), int(height));
    viewer.SetLogarithmicFrequency(!line.IsSet(QStringLiteral("linear-frequency")));
    viewer.SetSpectrogram(std::move(data));
    const double duration = viewer.DurationSeconds();
    const double span = byPixels ? double(width) / pixelsPerSecond : (byEnd ? endSeconds : duration) - double(start);
    viewer.SetSecondsPerPixel(span > 0 ? span / double(width) : 1.0 / double(width));
    viewer.SetStartSeconds(double(start));
    if (cursor >= 0)
        viewer.SetPlayTime(cursor * 10000);
    else
        viewer.SetPointerColor(Qt::transparent);

    const QImage image = viewer.Picture();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG") || !WriteOutputFile(output, rules, {png}, error)) {
        Err(QStringLiteral("peaktool render: %1")
                .arg(error.isEmpty() ? QStringLiteral("the image cannot be encoded") : error));
        return ExitFailed;
    }
    if (IsStdStream(output))
        return ExitOk;
    Out(QStringLiteral("%1: %2 x %3, %4 columns, %5 ms")
            .arg(QFileInfo(output).fileName())
            .arg(image.width())
            .arg(image.height())
            .arg(viewer.Pyramid().Base().Columns())
            .arg(std::llround(duration * 1000)));
    return ExitOk;
}

} // namespace kx
