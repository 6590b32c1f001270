// peaktool import: waveform data (.dat or .json) back to a peak file.
#include "Command.h"
#include "WaveformFiles.h"
#include "peaks/PeakFormat.h"
#include "peaks/WaveformData.h"

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE.dat|FILE.json -o FILE.pek"));
    line.SetDescription(QStringLiteral(
        "Converts binary or JSON waveform data to a peak file where it fits the peak\n"
        "format: a rate of 8000 to 48000 Hz, 1 or 2 channels, at most 65535 samples per\n"
        "pixel. Exit 1 when the data is damaged or does not fit, 2 on bad usage."));
    line.AddOption(QStringLiteral("o,output"), QStringLiteral("the peak file to write (required)"),
                   QStringLiteral("FILE.pek"));
    line.AddOption(QStringLiteral("force"), QStringLiteral("replace a peak file of the wave viewer's layout or "
                                                           "waveform data under FILE.pek"));
}

int Run(CommandLine& line);

const PeakToolCommand command("import", "convert waveform data (.dat or .json) to a peak file", NeedsNothing, Define,
                              Run);

int Run(CommandLine& line)
{
    const QStringList args = line.Positional();
    if (args.size() != 1)
        return line.UsageError(QStringLiteral("expects exactly one waveform data file"));
    const QString input = args[0];
    const QString output = line.Value(QStringLiteral("output"));
    if (output.isEmpty())
        return line.UsageError(QStringLiteral("-o FILE.pek is required"));

    const auto fail = [](const QString& why) {
        Err(QStringLiteral("peaktool import: %1").arg(why));
        return ExitFailed;
    };
    OutputRules rules;
    rules.kind = FileKind::BuilderPeaks;
    rules.force = line.IsSet(QStringLiteral("force"));
    rules.Input(input);
    // The header is judged before the whole file is read: it bounds the size.
    QString error;
    InputFile in;
    if (!in.Open(input, error))
        return fail(error);
    std::vector<uint8_t> bytes(size_t(std::min<uint64_t>(in.Size(), 4096)));
    if (!in.ReadAt(0, bytes.data(), bytes.size()))
        return fail(QStringLiteral("%1: cannot be read").arg(input));
    if (!CheckWaveformSize(bytes, in.Size(), error))
        return fail(QStringLiteral("%1: %2").arg(input, error));
    // Streamed, both forms: memory stays a few blocks whatever the size.
    const auto convert = WaveformDataIsJson(bytes) ? PeaksFromWaveformJsonStreamed : PeaksFromWaveformDatStreamed;
    OutputFile out;
    if (!out.Open(output, rules))
        return fail(QStringLiteral("%1: %2").arg(output, out.ErrorText()));
    bool writeFailed = false;
    const bool ok = convert(
        in.Size(), [&in](uint64_t offset, uint8_t* buffer, size_t size) { return in.ReadAt(offset, buffer, size); },
        [&out, &writeFailed](std::span<const uint8_t> block) {
            writeFailed = !out.Write(block.data(), block.size());
            return !writeFailed;
        },
        error);
    if (!ok)
        return fail(writeFailed ? QStringLiteral("%1: %2").arg(output, out.ErrorText())
                                : QStringLiteral("%1: %2").arg(input, error));
    if (!out.Commit())
        return fail(QStringLiteral("%1: %2").arg(output, out.ErrorText()));
    return ExitOk;
}

} // namespace

} // namespace kx
