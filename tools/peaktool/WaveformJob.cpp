#include "WaveformJob.h"

#include <QFileInfo>
#include <cmath>

#include "Command.h"
#include "peaks/WavDirect.h"

namespace kx {

namespace {

QString Lower(const QString& s)
{
    return s.toLower();
}

std::optional<WaveformInput> InputKind(const QString& ext)
{
    const QString e = Lower(ext);
    if (e == QLatin1String("dat"))
        return WaveformInput::Dat;
    if (e == QLatin1String("json"))
        return WaveformInput::Json;
    if (e == QLatin1String("pek"))
        return WaveformInput::Peaks;
    return WaveformInput::Media;
}

std::optional<WaveformOutput> OutputKind(const QString& ext)
{
    const QString e = Lower(ext);
    if (e == QLatin1String("dat"))
        return WaveformOutput::Dat;
    if (e == QLatin1String("json"))
        return WaveformOutput::Json;
    if (e == QLatin1String("png"))
        return WaveformOutput::Png;
    if (e == QLatin1String("svg"))
        return WaveformOutput::Svg;
    if (e == QLatin1String("wav"))
        return WaveformOutput::Wav;
    return std::nullopt;
}

bool Number(const CommandLine& line, const QString& name, double low, double high, double& out)
{
    if (!line.IsSet(name))
        return true;
    bool ok = false;
    const double v = line.Value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < low || v > high)
        return false;
    out = v;
    return true;
}

} // namespace

std::optional<PictureColors> ColorScheme(const QString& name)
{
    if (name == QLatin1String("audacity"))
        return PictureColors{0x000000ff, 0xffffffff, 0x3f77bfff, 0x000000ff};
    if (name == QLatin1String("audition"))
        return PictureColors{0x5e5e5eff, 0x0b0d28ff, 0x3fe07fff, 0xc8c8c8ff};
    return std::nullopt;
}

std::optional<Rgba> ParseRgba(const QString& text)
{
    if (text.size() != 6 && text.size() != 8)
        return std::nullopt;
    bool ok = false;
    const uint32_t v = text.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return text.size() == 6 ? (v << 8 | 0xff) : v;
}

int32_t WaveformJob::ZoomFor(uint32_t rate, uint64_t frames) const
{
    if (pixelsPerSecond > 0)
        return std::max<int32_t>(1, int32_t(rate / pixelsPerSecond));
    if (zoomAuto) {
        // The whole span, or the whole file, in the waveform's columns.
        const int columns = std::max(1, width - (Picture() && axisLabels ? 2 : 0));
        uint64_t span = 0;
        if (end > start)
            span = uint64_t((end - start) * rate);
        else if (frames > 0)
            span = frames - std::min<uint64_t>(frames, uint64_t(start * rate));
        if (span == 0)
            return 0;
        return int32_t(std::clamp<uint64_t>((span + uint64_t(columns) - 1) / uint64_t(columns), 1, INT32_MAX));
    }
    if (!zoomGiven && end > start) {
        // --end with --width: the span fits the width.
        return std::max<int32_t>(1, int32_t(uint64_t((end - start) * rate) / uint64_t(width)));
    }
    return zoom;
}

bool WaveformWantsPng(const CommandLine& line)
{
    const QString format = line.IsSet(QStringLiteral("output-format"))
                               ? line.Value(QStringLiteral("output-format"))
                               : QFileInfo(line.Value(QStringLiteral("output-filename"))).suffix();
    return Lower(format) == QLatin1String("png");
}

bool WaveformNeedsDecoding(const CommandLine& line)
{
    const QString input = line.Value(QStringLiteral("input-filename"));
    const QString format = line.IsSet(QStringLiteral("input-format")) ? line.Value(QStringLiteral("input-format"))
                                                                       : QFileInfo(input).suffix();
    if (Lower(format) == QLatin1String("raw") || input == QLatin1String("-"))
        return true;
    if (InputKind(format) != WaveformInput::Media)
        return false;
    WavLayout layout;
    return !ReadWavLayout(input, layout);
}

int ReadWaveformJob(const CommandLine& line, WaveformJob& job)
{
    if (!line.Positional().isEmpty())
        return line.UsageError(QStringLiteral("takes its files as -i IN and -o OUT"));
    job.input = line.Value(QStringLiteral("input-filename"));
    job.output = line.Value(QStringLiteral("output-filename"));
    if (job.input.isEmpty() || job.output.isEmpty())
        return line.UsageError(QStringLiteral("needs -i INPUT and -o OUTPUT"));

    const QString inFormat = line.IsSet(QStringLiteral("input-format")) ? line.Value(QStringLiteral("input-format"))
                                                                         : QFileInfo(job.input).suffix();
    if (line.IsSet(QStringLiteral("input-format")) && Lower(inFormat) == QLatin1String("raw")) {
        RawSampleFormat raw;
        raw.format = line.Value(QStringLiteral("raw-format"));
        if (!line.Int(QStringLiteral("raw-samplerate"), 1, 768000, raw.rate) || raw.rate == 0)
            return line.UsageError(QStringLiteral("raw input needs --raw-samplerate of 1 to 768000"));
        if (!line.Int(QStringLiteral("raw-channels"), 1, 24, raw.channels) || raw.channels == 0)
            return line.UsageError(QStringLiteral("raw input needs --raw-channels of 1 to 24"));
        if (!IsRawSampleFormat(raw.format))
            return line.UsageError(QStringLiteral("--raw-format takes s8, u8, s16le, s16be, s24le, s24be, s32le, "
                                                  "s32be, f32le, f32be, f64le or f64be"));
        job.raw = raw;
    } else if (job.input == QLatin1String("-") && !line.IsSet(QStringLiteral("input-format"))) {
        return line.UsageError(QStringLiteral("reading stdin needs --input-format"));
    }
    job.inputKind = job.raw ? WaveformInput::Media : *InputKind(inFormat);

    const QString outFormat = line.IsSet(QStringLiteral("output-format")) ? line.Value(QStringLiteral("output-format"))
                                                                           : QFileInfo(job.output).suffix();
    const auto out = OutputKind(outFormat);
    if (!out)
        return line.UsageError(job.output == QLatin1String("-") && !line.IsSet(QStringLiteral("output-format"))
                                   ? QStringLiteral("writing stdout needs --output-format")
                                   : QStringLiteral("cannot write '%1': the output format is dat, json, png, svg or wav")
                                         .arg(outFormat));
    job.outputKind = *out;
    // The name tells the kind of file to whoever opens it later.
    if (job.output != QLatin1String("-") && line.IsSet(QStringLiteral("output-format")) &&
        OutputKind(QFileInfo(job.output).suffix()) && OutputKind(QFileInfo(job.output).suffix()) != out)
        return line.UsageError(QStringLiteral("the output name %1 says another format than --output-format %2")
                                   .arg(job.output, outFormat));
    if (job.inputKind != WaveformInput::Media && job.outputKind == WaveformOutput::Wav)
        return line.UsageError(QStringLiteral("audio can only be written from media"));

    const QString zoom = line.Value(QStringLiteral("zoom"));
    job.zoomGiven = line.IsSet(QStringLiteral("zoom"));
    if (zoom == QLatin1String("auto")) {
        job.zoomAuto = true;
    } else if (!line.Int(QStringLiteral("zoom"), 1, INT32_MAX, job.zoom)) {
        return line.UsageError(QStringLiteral("--zoom takes a whole number of 1 or more, or auto"));
    }
    if (line.IsSet(QStringLiteral("pixels-per-second"))) {
        if (job.zoomGiven)
            return line.UsageError(QStringLiteral("--zoom and --pixels-per-second exclude each other"));
        if (!Number(line, QStringLiteral("pixels-per-second"), 1e-6, 1e9, job.pixelsPerSecond))
            return line.UsageError(QStringLiteral("--pixels-per-second takes a positive number"));
    }
    if (!line.Int(QStringLiteral("bits"), 8, 16, job.bits) || (job.bits != 8 && job.bits != 16))
        return line.UsageError(QStringLiteral("--bits takes 8 or 16"));
    if (!Number(line, QStringLiteral("start"), 0, 1e9, job.start) || !Number(line, QStringLiteral("end"), 0, 1e9, job.end))
        return line.UsageError(QStringLiteral("--start and --end take a time in seconds, 0 or more"));
    if (job.end != 0 && job.end <= job.start)
        return line.UsageError(QStringLiteral("--end must lie after --start"));
    if (!line.Int(QStringLiteral("width"), 1, 32767, job.width))
        return line.UsageError(QStringLiteral("--width takes 1 to 32767"));
    if (!line.Int(QStringLiteral("height"), 1, 32767, job.height))
        return line.UsageError(QStringLiteral("--height takes 1 to 32767"));

    const auto scheme = ColorScheme(line.Value(QStringLiteral("colors")));
    if (!scheme)
        return line.UsageError(QStringLiteral("--colors takes audacity or audition"));
    job.colors = *scheme;
    const std::pair<const char*, Rgba*> colors[] = {{"border-color", &job.colors.border},
                                                    {"background-color", &job.colors.background},
                                                    {"waveform-color", &job.colors.waveform},
                                                    {"axis-label-color", &job.colors.axisLabels}};
    for (const auto& [name, to] : colors) {
        const QString option = QLatin1String(name);
        if (!line.IsSet(option))
            continue;
        const auto c = ParseRgba(line.Value(option));
        if (!c)
            return line.UsageError(QStringLiteral("--%1 takes rrggbb or rrggbbaa in hexadecimal").arg(option));
        *to = *c;
    }
    const QString style = line.Value(QStringLiteral("waveform-style"));
    if (style != QLatin1String("normal") && style != QLatin1String("bars"))
        return line.UsageError(QStringLiteral("--waveform-style takes normal or bars"));
    job.bars = style == QLatin1String("bars");
    if (!line.Int(QStringLiteral("bar-width"), 1, 32767, job.barWidth))
        return line.UsageError(QStringLiteral("--bar-width takes 1 or more"));
    if (!line.Int(QStringLiteral("bar-gap"), 0, 32767, job.barGap))
        return line.UsageError(QStringLiteral("--bar-gap takes 0 or more"));
    const QString barStyle = line.Value(QStringLiteral("bar-style"));
    if (barStyle != QLatin1String("square") && barStyle != QLatin1String("rounded"))
        return line.UsageError(QStringLiteral("--bar-style takes square or rounded"));
    job.roundedBars = barStyle == QLatin1String("rounded");
    if (line.IsSet(QStringLiteral("with-axis-labels")) && line.IsSet(QStringLiteral("no-axis-labels")))
        return line.UsageError(QStringLiteral("--with-axis-labels and --no-axis-labels exclude each other"));
    job.axisLabels = !line.IsSet(QStringLiteral("no-axis-labels"));
    const QString scale = line.Value(QStringLiteral("amplitude-scale"));
    if (scale == QLatin1String("auto"))
        job.amplitudeScale = 0;
    else if (!Number(line, QStringLiteral("amplitude-scale"), 1e-9, 1e9, job.amplitudeScale))
        return line.UsageError(QStringLiteral("--amplitude-scale takes a positive number or auto"));
    if (!line.Int(QStringLiteral("compression"), -1, 9, job.compression))
        return line.UsageError(QStringLiteral("--compression takes -1 to 9"));
    job.splitChannels = line.IsSet(QStringLiteral("split-channels"));
    return ExitOk;
}

} // namespace kx
