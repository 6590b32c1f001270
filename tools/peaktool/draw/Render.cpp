// peaktool render, the drawing: the peak viewer draws the file offscreen.
#include "Command.h"
#include "Drawing.h"
#include "peaks/PeakFormat.h"
#include "peaks/RmsFile.h"
#include "platform/LittleEndian.h"
#include "platform/MemoryStream.h"
#include "platform/NativeName.h"
#include "platform/OutputFile.h"
#include "viewers/KXAudioPeakViewer.h"

#include <QBuffer>
#include <QColor>
#include <algorithm>
#include <array>
#include <optional>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

namespace kx {

namespace {

bool ParseInt(const QString& text, qint64 low, qint64 high, qint64& out)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    out = v;
    return true;
}

// Colours of --colors; empty fields keep the viewer's.
bool ParseColors(const QString& text, std::array<std::optional<TColor>, 3>& out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() > 3)
        return false;
    for (int i = 0; i < parts.size(); ++i) {
        const QString name = parts[i].trimmed();
        if (name.isEmpty())
            continue;
        const QColor c = QColor::fromString(name);
        if (!c.isValid())
            return false;
        out[static_cast<size_t>(i)] = TColor(c.red() | c.green() << 8 | c.blue() << 16);
    }
    return true;
}

// The peaks of every channel folded into one: per record the highest and
// lowest value over the channels, with the header of a one-channel track of
// the same length.
std::vector<uint8_t> MergeChannels(const PeakViewModel& m)
{
    std::vector<uint8_t> out(PeakHeaderSize);
    TPeakHeader h;
    h.BytesPerPeak = m.BytesPerPeak;
    h.Channels = 1;
    h.SamplesPerSecond = m.SamplesPerSecond;
    h.SamplesPerPeak = m.SamplesPerPeak;
    h.PcmByteCount = static_cast<uint32_t>(m.PcmByteCount / m.Channels);
    EncodePeakHeader(h, out.data());
    const int64_t records = static_cast<int64_t>(m.PeakData.size()) / m.RecordBytes();
    out.reserve(out.size() + static_cast<size_t>(records * m.BytesPerPeak));
    for (int64_t r = 0; r < records; ++r) {
        uint32_t hi = 0, lo = UINT32_MAX;
        for (int ch = 0; ch < m.Channels; ++ch) {
            uint32_t a = 0, b = 0;
            m.ReadPair(r, ch, a, b);
            hi = std::max({hi, a, b});
            lo = std::min({lo, a, b});
        }
        if (m.BytesPerPeak == 4) {
            uint8_t v[4];
            WriteU16LE(v, static_cast<uint16_t>(hi));
            WriteU16LE(v + 2, static_cast<uint16_t>(lo));
            out.insert(out.end(), v, v + 4);
        } else if (m.BytesPerPeak == 2) {
            out.push_back(static_cast<uint8_t>(hi));
            out.push_back(static_cast<uint8_t>(lo));
        } else {
            out.push_back(static_cast<uint8_t>(hi));
        }
    }
    return out;
}

// Why a peak file has no RMS levels to draw.
QString RmsMissing(const QString& input, bool merged)
{
    if (merged)
        return QStringLiteral("its levels are per channel and the channels are merged");
    std::vector<uint8_t> bytes;
    if (ReadPeakFile(input, PeakReader::ViewerFile, bytes) != PeakCheck::Accepted)
        return QStringLiteral("the peak file changed");
    const auto header = DecodePeakHeader(bytes);
    const int record = header ? PeakRecordSize(*header) : 0;
    QString why = QStringLiteral("no matching RMS file");
    if (header && record > 0)
        ReadRmsFor(input, *header, static_cast<int64_t>(bytes.size() - PeakHeaderSize) / record, &why);
    return QStringLiteral("%1 (%2)").arg(why, RmsFileFor(input));
}

int Run(CommandLine& line)
{
    if (line.IsSet(QStringLiteral("spectrogram")))
        return RenderSpectrogram(line);
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
    double pixelsPerSecond = 0, endSeconds = 0;
    const bool byPixels = line.IsSet(QStringLiteral("pixels-per-second"));
    const bool byEnd = line.IsSet(QStringLiteral("end-seconds"));
    if (int(byPixels) + int(byEnd) + int(line.IsSet(QStringLiteral("scaler"))) > 1)
        return line.UsageError(QStringLiteral("--scaler, --pixels-per-second and --end-seconds exclude each other"));
    if (byPixels) {
        bool ok = false;
        pixelsPerSecond = line.Value(QStringLiteral("pixels-per-second")).toDouble(&ok);
        if (!ok || !(pixelsPerSecond > 0) || pixelsPerSecond > 1e6)
            return line.UsageError(QStringLiteral("--pixels-per-second takes a positive number"));
    }
    if (byEnd) {
        bool ok = false;
        endSeconds = line.Value(QStringLiteral("end-seconds")).toDouble(&ok);
        if (!ok || !(endSeconds > double(start)) || endSeconds > INT32_MAX)
            return line.UsageError(QStringLiteral("--end-seconds takes a second after --start-seconds"));
    }
    const QString reduction = line.Value(QStringLiteral("reduction"));
    if (reduction != QLatin1String("minmax") && reduction != QLatin1String("skip"))
        return line.UsageError(QStringLiteral("--reduction takes minmax or skip"));
    std::array<std::optional<TColor>, 3> colors;
    if (line.IsSet(QStringLiteral("colors")) && !ParseColors(line.Value(QStringLiteral("colors")), colors))
        return line.UsageError(QStringLiteral("--colors takes up to three colours, WAVEFORM,BACKGROUND,GRID"));
    const bool merge = line.IsSet(QStringLiteral("merge-channels"));
    if (merge && line.IsSet(QStringLiteral("split-channels")))
        return line.UsageError(QStringLiteral("--split-channels and --merge-channels exclude each other"));
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

    // The viewer holds the whole file to draw it; past this it is refused
    // rather than take the memory (a sparse file costs nothing on disk).
    constexpr qint64 MaxRenderBytes = qint64(256) << 20;
    if (StatNative(input).size > MaxRenderBytes) {
        Err(QStringLiteral("peaktool render: %1: %2 MiB of peaks, more than the %3 MiB it draws from")
                .arg(input)
                .arg(StatNative(input).size >> 20)
                .arg(MaxRenderBytes >> 20));
        return ExitFailed;
    }

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
    viewer.FinishLoading();
    if (merge && viewer.Model().Channels > 1) {
        const std::vector<uint8_t> mono = MergeChannels(viewer.Model());
        TMemoryStream stream;
        stream.Write(mono.data(), static_cast<int64_t>(mono.size()));
        if (!viewer.LoadFromStream(&stream)) {
            Err(QStringLiteral("peaktool render: %1: the channels cannot be merged").arg(input));
            return ExitFailed;
        }
    }
    if (line.IsSet(QStringLiteral("rms"))) {
        // A missing or stale side file costs the band, not the picture.
        if (viewer.Model().Rms.Empty())
            Err(QStringLiteral("peaktool render: %1: drawn without RMS: %2").arg(input, RmsMissing(input, merge)));
        viewer.SetShowRms(true);
    }
    // Peaks a second of audio, from the header.
    const double peaksPerSecond = double(viewer.Model().SamplesPerSecond) / viewer.Model().SamplesPerPeak;
    if (byPixels)
        scaler = peaksPerSecond / pixelsPerSecond;
    else if (byEnd)
        scaler = peaksPerSecond * (endSeconds - double(start)) / double(width);
    if (!(scaler >= 0.1) || scaler > 1e6) {
        Err(QStringLiteral("peaktool render: that zoom needs %1 peaks a column; it must lie in 0.1 to 1000000")
                .arg(scaler));
        return ExitUsage;
    }
    viewer.SetPeakReduction(reduction == QLatin1String("skip") ? prSkip : prMinMax);
    if (colors[0])
        viewer.SetPeaksColor(*colors[0]);
    if (colors[1])
        viewer.SetColor(*colors[1]);
    if (colors[2])
        viewer.SetBorderColor(*colors[2]);
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
    OutputRules rules;
    rules.kind = FileKind::Picture;
    rules.Input(input);
    if (!image.save(&buffer, "PNG") || !WriteOutputFile(output, rules, {png}, error)) {
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

const DrawingRunner runner("render", Run);

} // namespace

} // namespace kx
