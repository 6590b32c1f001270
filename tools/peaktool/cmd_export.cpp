// peaktool export: a peak file as waveform data for web waveform viewers.
#include "Command.h"
#include "WaveformFiles.h"
#include "peaks/PeakFormat.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE.pek"));
    line.SetDescription(QStringLiteral(
        "Writes the peaks as signed minimum/maximum pairs in the binary (.dat) or JSON\n"
        "waveform data format that web waveform viewers read. Exit 1 when the peak file\n"
        "cannot be read or the options do not fit it, 2 on bad usage."));
    line.AddOption(QStringLiteral("format"), QStringLiteral("dat or json (required)"), QStringLiteral("FORMAT"));
    line.AddOption(QStringLiteral("version"), QStringLiteral("2 keeps the channels; 1 holds their mono mix"),
                   QStringLiteral("V"), QStringLiteral("2"));
    line.AddOption(QStringLiteral("bits"), QStringLiteral("value width, 8 or 16 (default: the peak file's)"),
                   QStringLiteral("N"));
    line.AddOption(QStringLiteral("samples-per-pixel"),
                   QStringLiteral("coarser pixels holding the extremes of the records they cover; a multiple "
                                  "of the file's samples per peak"),
                   QStringLiteral("N"));
    line.AddOption(QStringLiteral("start"), QStringLiteral("start of the span to keep, in seconds"),
                   QStringLiteral("SECONDS"), QStringLiteral("0"));
    line.AddOption(QStringLiteral("end"), QStringLiteral("end of the span to keep, in seconds (default: the end)"),
                   QStringLiteral("SECONDS"));
    line.AddOption(QStringLiteral("o,output"),
                   QStringLiteral("file to write, - for stdout (default: FILE with the format's extension)"),
                   QStringLiteral("OUT"));
    line.AddOption(QStringLiteral("force"),
                   QStringLiteral("replace a peak file or waveform data of the other format under OUT"));
}

int Run(CommandLine& line);

const PeakToolCommand command("export", "write a peak file as waveform data (.dat or .json) for web viewers",
                              NeedsNothing, Define, Run);

// A time option in seconds, 0 or more; false when given and not one.
bool Seconds(const CommandLine& line, const QString& name, double& out)
{
    if (!line.IsSet(name))
        return true;
    bool ok = false;
    const double v = line.Value(name).toDouble(&ok);
    if (!ok || !(v >= 0) || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

int Run(CommandLine& line)
{
    const QStringList args = line.Positional();
    if (args.size() != 1)
        return line.UsageError(QStringLiteral("expects exactly one peak file"));
    const QString input = args[0];
    TWaveformExport how;
    if (!line.IsSet(QStringLiteral("format")))
        return line.UsageError(QStringLiteral("--format is required"));
    const auto format = ParseWaveformFormat(line.Value(QStringLiteral("format")));
    if (!format)
        return line.UsageError(QStringLiteral("--format takes dat or json"));
    how.Format = *format;
    how.MaxValues = MaxWaveformValues;
    if (!line.Int(QStringLiteral("version"), 1, 2, how.Version))
        return line.UsageError(QStringLiteral("--version takes 1 or 2"));
    if (!line.Int(QStringLiteral("bits"), 8, 16, how.Bits) || (how.Bits != 0 && how.Bits != 8 && how.Bits != 16))
        return line.UsageError(QStringLiteral("--bits takes 8 or 16"));
    if (!line.Int(QStringLiteral("samples-per-pixel"), 1, INT32_MAX, how.SamplesPerPixel))
        return line.UsageError(QStringLiteral("--samples-per-pixel takes a positive whole number"));
    if (!Seconds(line, QStringLiteral("start"), how.StartSeconds) ||
        !Seconds(line, QStringLiteral("end"), how.EndSeconds))
        return line.UsageError(QStringLiteral("--start and --end take a time in seconds, 0 or more"));
    if (line.IsSet(QStringLiteral("end")) && how.EndSeconds <= how.StartSeconds)
        return line.UsageError(QStringLiteral("--end must lie after --start"));
    QString output = line.Value(QStringLiteral("output"));
    if (output.isEmpty()) {
        const QFileInfo info(input);
        output = info.dir().filePath(info.completeBaseName() + WaveformExtension(how.Format));
    }

    // Streamed from the file to the output: memory stays the same at any size.
    QString error;
    InputFile in;
    if (!in.Open(input, error)) {
        Err(QStringLiteral("peaktool export: %1").arg(error));
        return ExitFailed;
    }
    OutputRules rules;
    rules.kind = WaveformKind(how.Format);
    rules.force = line.IsSet(QStringLiteral("force"));
    rules.Input(input);
    const ExportPeakReader read = [&in](uint64_t offset, uint8_t* buffer, size_t size) {
        return in.ReadAt(offset, buffer, size);
    };
    if (!ExportToFile(in.Size(), read, input, output, how, rules, error)) {
        Err(QStringLiteral("peaktool export: %1").arg(error));
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace

} // namespace kx
