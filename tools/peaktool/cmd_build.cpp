// peaktool build: queue media files and build every missing peak file.
#include "Command.h"
#include "Progress.h"
#include "WaveformFiles.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/Exception.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE..."));
    line.SetDescription(QStringLiteral(
        "Queues the files, loads the peak files that exist and builds the missing ones\n"
        "one after another. Prints one line per file on stdout:\n"
        "  built FILE PEAKFILE | has-peaks FILE PEAKFILE | failed FILE | not-found FILE\n"
        "and a progress bar on stderr when it is a terminal. A FILE of - reads the\n"
        "names from stdin, one a line. Exit 1 when any file failed."));
    line.AddOption(QStringLiteral("samples-per-peak"), QStringLiteral("frames per peak record, 1..65535"),
                   QStringLiteral("N"), QStringLiteral("100"));
    line.AddOption(QStringLiteral("rate"), QStringLiteral("48000 44100 32000 22050 11025 8000"), QStringLiteral("HZ"),
                   QStringLiteral("48000"));
    line.AddOption(QStringLiteral("channels"), QStringLiteral("peak channels, 1 or 2"), QStringLiteral("N"),
                   QStringLiteral("2"));
    line.AddOption(QStringLiteral("bits"), QStringLiteral("peak value width, 8 or 16"), QStringLiteral("N"),
                   QStringLiteral("16"));
    line.AddOption(QStringLiteral("gain"), QStringLiteral("gain in units of 1/4096 for both channels"),
                   QStringLiteral("G"), QStringLiteral("4096"));
    line.AddOption(QStringLiteral("ext"), QStringLiteral("peak file extension, dot included"), QStringLiteral("EXT"),
                   QStringLiteral(".pek"));
    line.AddOption(QStringLiteral("temp-folder"), QStringLiteral("folder for peak files of media in read-only folders"),
                   QStringLiteral("DIR"));
    line.AddOption(QStringLiteral("no-progress"), QStringLiteral("no progress bar"));
    line.AddOption(QStringLiteral("format"),
                   QStringLiteral("pek, or dat/json: waveform data for web viewers where the peak file would go"),
                   QStringLiteral("FORMAT"), QStringLiteral("pek"));
    line.AddOption(QStringLiteral("version"), QStringLiteral("waveform data version; 1 builds one channel"),
                   QStringLiteral("V"), QStringLiteral("2"));
}

int Run(CommandLine& line);

const PeakToolCommand command("build", "build the missing peak files of media files", NeedsMedia, Define, Run);

struct Options {
    uint16_t samplesPerPeak = 100;
    TSPS rate = sps48000;
    TChannels channels = chStereo;
    TBPS bits = bp16;
    uint32_t gain = 4096;
    QString ext;
    QString tempFolder;
    bool progress = true;
    QStringList files;
    std::optional<TWaveformExport> waveform;  // instead of peak files
};

// Empty when fine, else the usage error.
QString Parse(const CommandLine& line, Options& o)
{
    o.progress = !line.IsSet(QStringLiteral("no-progress"));
    if (!line.Int(QStringLiteral("samples-per-peak"), 1, 65535, o.samplesPerPeak))
        return QStringLiteral("--samples-per-peak takes 1 to 65535");
    const QString rate = line.Value(QStringLiteral("rate"));
    const QList<std::pair<long, TSPS>> rates = {{48000, sps48000}, {44100, sps44100}, {32000, sps32000},
                                                {22050, sps22050}, {11025, sps11025}, {8000, sps8000}};
    bool found = false;
    for (const auto& [hz, sps] : rates)
        if (rate == QString::number(hz)) {
            o.rate = sps;
            found = true;
        }
    if (!found)
        return QStringLiteral("--rate takes 48000, 44100, 32000, 22050, 11025 or 8000");
    const QString channels = line.Value(QStringLiteral("channels"));
    if (channels != QLatin1String("1") && channels != QLatin1String("2"))
        return QStringLiteral("--channels takes 1 or 2");
    o.channels = channels == QLatin1String("1") ? chMono : chStereo;
    const QString bits = line.Value(QStringLiteral("bits"));
    if (bits != QLatin1String("8") && bits != QLatin1String("16"))
        return QStringLiteral("--bits takes 8 or 16");
    o.bits = bits == QLatin1String("8") ? bp8 : bp16;
    if (!line.Int(QStringLiteral("gain"), 0, 65535, o.gain))
        return QStringLiteral("--gain takes 0 to 65535 (4096 is unity)");
    o.ext = line.Value(QStringLiteral("ext"));
    if (!o.ext.startsWith(QLatin1Char('.')) || o.ext.size() < 2)
        return QStringLiteral("--ext takes an extension such as .pek");
    if (line.IsSet(QStringLiteral("temp-folder"))) {
        const QFileInfo folder(line.Value(QStringLiteral("temp-folder")));
        if (!folder.isDir())
            return QStringLiteral("--temp-folder: %1 is not a folder").arg(folder.filePath());
        o.tempFolder = folder.absoluteFilePath();
    }
    if (line.Value(QStringLiteral("format")) != QLatin1String("pek")) {
        const auto format = ParseWaveformFormat(line.Value(QStringLiteral("format")));
        if (!format)
            return QStringLiteral("--format takes pek, dat or json");
        o.waveform = TWaveformExport{};
        o.waveform->Format = *format;
        if (!line.Int(QStringLiteral("version"), 1, 2, o.waveform->Version))
            return QStringLiteral("--version takes 1 or 2");
        if (o.waveform->Version == 1)
            o.channels = chMono;
    } else if (line.IsSet(QStringLiteral("version"))) {
        return QStringLiteral("--version needs --format dat or json");
    }
    o.files = ExpandInputNames(line.Positional());
    return o.files.isEmpty() ? QStringLiteral("no files given") : QString();
}

int Run(CommandLine& line)
{
    Options o;
    const QString error = Parse(line, o);
    if (!error.isEmpty())
        return line.UsageError(error);

    TKXPeakBuilder builder;
    try {
        builder.SetSaveToPeakFiles(!o.waveform);
        builder.SetSamplesPerPeak(o.samplesPerPeak);
        builder.SetOutputSamplesPerSecond(o.rate);
        builder.SetOutputChannels(o.channels);
        builder.SetOutputBPS(o.bits);
        builder.SetGains(o.gain | o.gain << 16);
        builder.SetPeakExtension(o.ext);
        if (!o.tempFolder.isEmpty())
            builder.SetTempFolder(o.tempFolder);
    } catch (const Exception& e) {
        Err(QStringLiteral("peaktool build: %1").arg(e.Message()));
        return ExitFailed;
    }

    ProgressBar bar(o.progress);
    int failures = 0;
    int total = 0;
    int done = 0;
    // Quiet runs keep the failures, as errors.
    const auto failure = [](const char* what, const QString& file) {
        if (IsQuiet())
            Err(QStringLiteral("peaktool build: %1: %2").arg(file, QLatin1String(what)));
        else
            Out(QStringLiteral("%1\t%2").arg(QLatin1String(what), file));
    };
    builder.OnFileNotExist = [&](QObject*, const QString& file) {
        ++failures;
        failure("not-found", file);
    };
    // Waveform data is written where the peak file would go; failures count.
    const auto result = [&](const char* what, int index, const QString& file, const QString& peak) {
        QString name = peak, why;
        if (o.waveform && (name = WriteBuiltWaveform(builder, index, peak, o.ext, *o.waveform, why)).isEmpty()) {
            ++failures;
            Err(QStringLiteral("peaktool build: %1").arg(why));
            failure("failed", file);
            return;
        }
        Out(QStringLiteral("%1\t%2\t%3").arg(QLatin1String(what), file, name));
    };
    builder.OnPeakNew = [&](QObject*, int index, const QString& file, const QString& peak) {
        result("has-peaks", index, file, peak);
    };
    builder.OnPeakFailed = [&](QObject*, int, const QString& file, const QString&) {
        ++failures;
        ++done;
        failure("failed", file);
    };
    builder.OnPeakComplete = [&](QObject*, int index, const QString& file, const QString& peak) {
        ++done;
        result("built", index, file, peak);
    };
    builder.OnProgress = [&](QObject*, int progress, int item, int, bool&) {
        if (item < 0 || item >= builder.FileCount() || progress < 0 || total <= 0)
            return;
        const int filePercent = std::min(progress, 100);
        const int number = std::min(done + 1, total);
        bar.Show(((number - 1) * 100 + filePercent) / total,
                 QStringLiteral("file %1/%2 %3%  %4")
                     .arg(number)
                     .arg(total)
                     .arg(filePercent, 3)
                     .arg(QFileInfo(builder.Files()[item]).fileName()));
    };

    for (const QString& f : o.files)
        builder.AppendFilename(QFileInfo(f).absoluteFilePath());
    builder.FindNextMissing();
    total = builder.MissingCount();
    if (total > 0 && builder.StartBuild()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (builder.BuildState() != bsBuilding)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
    }
    bar.Clear();
    return failures > 0 ? ExitFailed : ExitOk;
}

} // namespace

} // namespace kx
