// peaktool render FILE.pek -o OUT.png: draws a peak file through the peak viewer.
#include "Command.h"
#include "peaks/PeakFormat.h"
#include "viewers/KXAudioPeakViewer.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace kx {

namespace {

int Run(const QStringList& args);

const PeakToolCommand command(
    "render", "draw a peak file into a PNG image as the peak viewer shows it",
    "usage: peaktool render FILE.pek -o OUT.png [options]\n"
    "Draws the peaks, grid, marked range and cursor line of the file offscreen.\n"
    "  -o, --output OUT.png   image to write (required)\n"
    "  --width W              client width in pixels (default 800)\n"
    "  --height H             client height in pixels (default 200)\n"
    "  --scaler TS            peaks per pixel column, 0.1 or more (default 1)\n"
    "  --start-seconds S      second shown in the first column (default 0)\n"
    "  --mark A:B             marked range in milliseconds\n"
    "  --cursor MS            draw the cursor position line at MS milliseconds\n"
    "Exit 0 on success, 1 when the file is refused or the image cannot be\n"
    "written, 2 on bad usage.\n",
    Run);

bool ParseInt(const QString& text, qint64 low, qint64 high, qint64& out)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    out = v;
    return true;
}

int Run(const QStringList& args)
{
    if (WantsHelp(command, args))
        return ExitOk;
    QString input, output;
    qint64 width = 800, height = 200, start = 0, cursor = -1, markA = 0, markB = 0;
    double scaler = 1.0;
    bool mark = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool takesValue = a == QLatin1String("-o") || a == QLatin1String("--output") ||
                                a.startsWith(QLatin1String("--"));
        if (takesValue) {
            if (i + 1 >= args.size())
                return UsageError(command, QStringLiteral("%1 needs a value").arg(a));
            const QString value = args[++i];
            if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
                output = value;
            } else if (a == QLatin1String("--width")) {
                if (!ParseInt(value, 100, 16384, width))
                    return UsageError(command, QStringLiteral("--width takes 100 to 16384"));
            } else if (a == QLatin1String("--height")) {
                if (!ParseInt(value, 8, 16384, height))
                    return UsageError(command, QStringLiteral("--height takes 8 to 16384"));
            } else if (a == QLatin1String("--scaler")) {
                bool ok = false;
                scaler = value.toDouble(&ok);
                if (!ok || !(scaler >= 0.1) || scaler > 1e6)
                    return UsageError(command, QStringLiteral("--scaler takes a number of 0.1 or more"));
            } else if (a == QLatin1String("--start-seconds")) {
                if (!ParseInt(value, 0, INT32_MAX, start))
                    return UsageError(command, QStringLiteral("--start-seconds takes a whole number of seconds"));
            } else if (a == QLatin1String("--mark")) {
                const QStringList parts = value.split(QLatin1Char(':'));
                if (parts.size() != 2 || !ParseInt(parts[0], 0, INT32_MAX, markA) ||
                    !ParseInt(parts[1], 0, INT32_MAX, markB))
                    return UsageError(command, QStringLiteral("--mark takes START:END in milliseconds"));
                mark = true;
            } else if (a == QLatin1String("--cursor")) {
                if (!ParseInt(value, 0, INT32_MAX, cursor))
                    return UsageError(command, QStringLiteral("--cursor takes milliseconds"));
            } else {
                return UsageError(command, QStringLiteral("unknown option %1").arg(a));
            }
        } else if (input.isEmpty()) {
            input = a;
        } else {
            return UsageError(command, QStringLiteral("expects one peak file"));
        }
    }
    if (input.isEmpty() || output.isEmpty())
        return UsageError(command, QStringLiteral("expects a peak file and -o OUT.png"));

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
    if (!image.save(output, "PNG")) {
        Err(QStringLiteral("peaktool render: %1: cannot be written").arg(output));
        return ExitFailed;
    }
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
