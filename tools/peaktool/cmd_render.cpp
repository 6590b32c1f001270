// peaktool render FILE.pek -o OUT.png: draws a peak file through the peak viewer.
#include "Command.h"
#include "peaks/PeakFormat.h"
#include "viewers/KXAudioPeakViewer.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE.pek -o OUT.png"));
    line.SetDescription(QStringLiteral(
        "Draws the peaks, grid, marked range and cursor line of the file offscreen.\n"
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
    line.AddOption(QStringLiteral("start-seconds"), QStringLiteral("second shown in the first column"),
                   QStringLiteral("S"), QStringLiteral("0"));
    line.AddOption(QStringLiteral("mark"), QStringLiteral("marked range in milliseconds"), QStringLiteral("A:B"));
    line.AddOption(QStringLiteral("cursor"), QStringLiteral("draw the cursor position line at MS milliseconds"),
                   QStringLiteral("MS"));
}

int Run(CommandLine& line);

const PeakToolCommand command("render", "draw a peak file into a PNG image as the peak viewer shows it", NeedsGui,
                              Define, Run);

bool ParseInt(const QString& text, qint64 low, qint64 high, qint64& out)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    out = v;
    return true;
}

int Run(CommandLine& line)
{
    qint64 width = 800, height = 200, start = 0, cursor = -1, markA = 0, markB = 0;
    double scaler = 1.0;
    const bool mark = line.IsSet(QStringLiteral("mark"));
    if (!line.Int(QStringLiteral("width"), 100, 16384, width))
        return line.UsageError(QStringLiteral("--width takes 100 to 16384"));
    if (!line.Int(QStringLiteral("height"), 8, 16384, height))
        return line.UsageError(QStringLiteral("--height takes 8 to 16384"));
    if (line.IsSet(QStringLiteral("scaler"))) {
        bool ok = false;
        scaler = line.Value(QStringLiteral("scaler")).toDouble(&ok);
        if (!ok || !(scaler >= 0.1) || scaler > 1e6)
            return line.UsageError(QStringLiteral("--scaler takes a number of 0.1 or more"));
    }
    if (!line.Int(QStringLiteral("start-seconds"), 0, INT32_MAX, start))
        return line.UsageError(QStringLiteral("--start-seconds takes a whole number of seconds"));
    if (mark) {
        const QStringList parts = line.Value(QStringLiteral("mark")).split(QLatin1Char(':'));
        if (parts.size() != 2 || !ParseInt(parts[0], 0, INT32_MAX, markA) || !ParseInt(parts[1], 0, INT32_MAX, markB))
            return line.UsageError(QStringLiteral("--mark takes START:END in milliseconds"));
    }
    if (!line.Int(QStringLiteral("cursor"), 0, INT32_MAX, cursor))
        return line.UsageError(QStringLiteral("--cursor takes milliseconds"));
    const QStringList inputs = line.Positional();
    if (inputs.size() > 1)
        return line.UsageError(QStringLiteral("expects one peak file"));
    const QString input = inputs.value(0);
    const QString output = line.Value(QStringLiteral("output"));
    if (input.isEmpty() || output.isEmpty())
        return line.UsageError(QStringLiteral("expects a peak file and -o OUT.png"));

    TKXAudioPeakViewer viewer;
    viewer.setAttribute(Qt::WA_DontShowOnScreen);
    viewer.resize(static_cast<int>(width), static_cast<int>(height) + viewer.ScrollBarHeight());
    viewer.show();
    if (!viewer.LoadFromFile(input)) {
        std::vector<uint8_t> unused;
        const PeakCheck why = ReadPeakFile(input, PeakReader::ViewerFile, unused);
        Err(QStringLiteral("peaktool render: %1: refused: %2").arg(input, PeakCheckText(why)));
        return ExitFailed;
    }
    viewer.SetTimeScaler(static_cast<float>(scaler));
    viewer.ScrollToSeconds(start);
    if (mark && !viewer.SetMark(static_cast<int>(markA), static_cast<int>(markB))) {
        Err(QStringLiteral("peaktool render: the mark %1:%2 is refused for this file").arg(markA).arg(markB));
        return ExitFailed;
    }
    if (cursor >= 0) {
        viewer.SetPaintCursor(true);
        viewer.SetPosition(cursor);
    }

    QImage image(viewer.ClientWidth(), viewer.ClientHeight(), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        viewer.PaintPeaks(true, &painter);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!image.save(&buffer, "PNG") || !WriteOutput(output, png, error)) {
        Err(QStringLiteral("peaktool render: %1").arg(error.isEmpty() ? QStringLiteral("the image cannot be encoded") : error));
        return ExitFailed;
    }
    if (IsStdStream(output))
        return ExitOk;
    Out(QStringLiteral("%1: %2 x %3, %4 peaks, %5 ms")
            .arg(QFileInfo(output).fileName())
            .arg(image.width())
            .arg(image.height())
            .arg(viewer.Model().PeakCount())
            .arg(viewer.DurationMs()));
    return ExitOk;
}

} // namespace

} // namespace kx
