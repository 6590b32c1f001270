// peaktool build: queue media files and build every missing peak file.
#include "Command.h"
#include "Progress.h"
#include "WaveformFiles.h"
#include "peaks/KXPeakBuildPool.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"

#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QThread>

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE..."));
    line.SetDescription(QStringLiteral(
        "Loads the peak files that exist and builds the missing ones, several files at\n"
        "once (--jobs). Prints one line per file on stdout, in input order:\n"
        "  built FILE PEAKFILE | has-peaks FILE PEAKFILE | failed FILE: REASON |\n"
        "  not-found FILE | collides FILE PEAKFILE | duplicate FILE | stale FILE\n"
        "('collides': an earlier file of this run has the same peak file, and is\n"
        "the only one built; 'stale': the peak file was older than the media and is\n"
        "built again, the line before its result),\n"
        "and one progress bar for all files on stderr when it is a terminal. A FILE of -\n"
        "reads the names from stdin, one a line. --shard K/N keeps the inputs whose\n"
        "name hashes to share K of N, so that N machines given the same list each build\n"
        "their own part. Exit 1 when any file failed or collided."));
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
    line.AddOption(QStringLiteral("jobs"), QStringLiteral("files built at once (default: the processor count)"),
                   QStringLiteral("N"));
    line.AddOption(QStringLiteral("shard"), QStringLiteral("build only share K of N (1 <= K <= N) of the inputs"),
                   QStringLiteral("K/N"));
    line.AddOption(QStringLiteral("from-list"), QStringLiteral("also read input names from a file, one a line (- for stdin)"),
                   QStringLiteral("FILE"));
    line.AddOption(QStringLiteral("format"),
                   QStringLiteral("pek, or dat/json: waveform data for web viewers where the peak file would go"),
                   QStringLiteral("FORMAT"), QStringLiteral("pek"));
    line.AddOption(QStringLiteral("version"), QStringLiteral("waveform data version; 1 builds one channel"),
                   QStringLiteral("V"), QStringLiteral("2"));
    line.AddOption(QStringLiteral("max-memory"),
                   QStringLiteral("memory the peaks kept for --format dat|json may take in all, such as 512M or 2G "
                                  "(default: a quarter of the physical memory)"),
                   QStringLiteral("SIZE"));
}

int Run(CommandLine& line);

// The media framework starts only when a file needs decoding (the builder
// starts it then); WAV files are read directly.
const PeakToolCommand command("build", "build the missing peak files of media files", NeedsNothing, Define, Run);

struct Options {
    uint16_t samplesPerPeak = 100;
    TSPS rate = sps48000;
    TChannels channels = chStereo;
    TBPS bits = bp16;
    uint32_t gain = 4096;
    QString ext;
    QString tempFolder;
    bool progress = true;
    int jobs = 0;
    int shard = 0, shards = 1;  // share index (0-based) and count
    QStringList files;
    std::optional<TWaveformExport> waveform;  // instead of peak files
    int64_t maxMemory = 0;                    // 0: the pool's default
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
        const QString folder = line.Value(QStringLiteral("temp-folder"));
        if (!StatNative(folder).isDir)
            return QStringLiteral("--temp-folder: %1 is not a folder").arg(folder);
        o.tempFolder = AbsoluteNativeName(folder);
    }
    if (line.Value(QStringLiteral("format")) != QLatin1String("pek")) {
        const auto format = ParseWaveformFormat(line.Value(QStringLiteral("format")));
        if (!format)
            return QStringLiteral("--format takes pek, dat or json");
        o.waveform = TWaveformExport{};
        o.waveform->Format = *format;
        o.waveform->MaxValues = MaxWaveformValues;
        if (!line.Int(QStringLiteral("version"), 1, 2, o.waveform->Version))
            return QStringLiteral("--version takes 1 or 2");
        if (o.waveform->Version == 1)
            o.channels = chMono;
    } else if (line.IsSet(QStringLiteral("version"))) {
        return QStringLiteral("--version needs --format dat or json");
    }
    if (!line.Int(QStringLiteral("jobs"), 1, 1024, o.jobs))
        return QStringLiteral("--jobs takes 1 to 1024");
    if (line.IsSet(QStringLiteral("max-memory"))) {
        o.maxMemory = MemoryBudget::ParseSize(line.Value(QStringLiteral("max-memory")));
        if (o.maxMemory <= 0)
            return QStringLiteral("--max-memory takes a size such as 512M or 2G");
    }
    if (line.IsSet(QStringLiteral("shard"))) {
        const QStringList parts = line.Value(QStringLiteral("shard")).split(QLatin1Char('/'));
        bool okK = false, okN = false;
        const int k = parts.size() == 2 ? parts[0].toInt(&okK) : 0;
        const int n = parts.size() == 2 ? parts[1].toInt(&okN) : 0;
        if (!okK || !okN || n < 1 || k < 1 || k > n)
            return QStringLiteral("--shard takes K/N with 1 <= K <= N, such as 2/8");
        o.shard = k - 1;
        o.shards = n;
    }
    o.files = ExpandInputNames(line.Positional());
    if (line.IsSet(QStringLiteral("from-list")) && !ReadNameList(line.Value(QStringLiteral("from-list")), o.files))
        return QStringLiteral("--from-list: cannot read %1").arg(line.Value(QStringLiteral("from-list")));
    // Every machine of a sharded run sees the whole list: none given is fine there.
    if (o.files.isEmpty() && !line.IsSet(QStringLiteral("from-list")))
        return QStringLiteral("no files given");
    if (o.shards > 1) {
        QStringList mine;
        for (const QString& f : o.files)
            if (ShardOf(f, o.shards) == o.shard)
                mine << f;
        o.files = mine;
    }
    return QString();
}

int Run(CommandLine& line)
{
    Options o;
    const QString error = Parse(line, o);
    if (!error.isEmpty())
        return line.UsageError(error);

    TKXPeakBuildPool pool;
    if (o.jobs > 0)
        pool.SetJobs(o.jobs);
    if (o.maxMemory > 0)
        pool.SetMemoryBudget(o.maxMemory);
    QString settingsError;
    pool.Configure = [&](TKXPeakBuilder& builder) {
        try {
            builder.SetSaveToPeakFiles(!o.waveform);
            // Peak files that exist are only checked: a rerun over a large
            // library reads no records. Waveform data is made from the stream.
            builder.SetLoadPeakData(bool(o.waveform));
            // Nor are built records kept: they go to the peak file alone.
            builder.SetKeepStreams(bool(o.waveform));
            builder.SetRebuildStale(true);
            builder.SetSamplesPerPeak(o.samplesPerPeak);
            builder.SetOutputSamplesPerSecond(o.rate);
            builder.SetOutputChannels(o.channels);
            builder.SetOutputBPS(o.bits);
            builder.SetGains(o.gain | o.gain << 16);
            builder.SetPeakExtension(o.ext);
            if (!o.tempFolder.isEmpty())
                builder.SetTempFolder(o.tempFolder);
        } catch (const Exception& e) {
            settingsError = e.Message();
        }
    };
    {
        // Settings are checked once, before any file.
        TKXPeakBuilder probe;
        pool.Configure(probe);
        if (!settingsError.isEmpty()) {
            Err(QStringLiteral("peaktool build: %1").arg(settingsError));
            return ExitFailed;
        }
    }

    ProgressBar bar(o.progress);
    int failures = 0;
    // Quiet runs keep the failures, as errors.
    const auto failure = [](const char* what, const QString& file, const QString& detail = {}) {
        if (IsQuiet())
            Err(QStringLiteral("peaktool build: %1: %2%3").arg(file, QLatin1String(what), detail));
        else
            Out(QStringLiteral("%1\t%2%3").arg(QLatin1String(what), file, detail));
    };
    const auto note = [](const char* what, const QString& file) {
        if (!IsQuiet())
            Out(QStringLiteral("%1\t%2").arg(QLatin1String(what), file));
    };

    // Media that name one peak file (a.wav and a.flac side by side) would load
    // or overwrite each other's peaks: only the first of them is built, and
    // every input gets its line.
    QStringList absolute;
    {
        TKXPeakBuilder probe;
        pool.Configure(probe);
        QHash<QString, QString> peakOwners;
        for (const QString& f : o.files) {
            const QString media = AbsoluteNativeName(f);
            const QString peak = probe.PeakFilenameFor(media);
            const auto owner = peakOwners.constFind(peak);
            if (owner != peakOwners.cend()) {
                if (SameFileName(*owner, media)) {
                    note("duplicate", media);
                } else if (StatNative(media).exists) {
                    ++failures;
                    failure("collides", media, QLatin1Char('\t') + peak);
                } else {
                    absolute << media;
                }
                continue;
            }
            peakOwners.insert(peak, media);
            absolute << media;
        }
    }
    // Waveform data is written where the peak file would go, while the
    // builder still holds the stream; failures count.
    std::vector<QString> written(size_t(absolute.size()));
    std::vector<QString> why(size_t(absolute.size()));
    pool.OnFileFinished = [&](int index, const QString&, TKXPeakBuildPool::Outcome outcome, const QString& peak,
                              TKXPeakBuilder& builder) {
        const bool haveStream =
            outcome == TKXPeakBuildPool::Outcome::Built || outcome == TKXPeakBuildPool::Outcome::HasPeaks;
        if (!haveStream)
            return;
        QString error;
        written[size_t(index)] = o.waveform ? WriteBuiltWaveform(builder, 0, peak, o.ext, *o.waveform, error) : peak;
        why[size_t(index)] = error;
    };
    pool.OnFileResult = [&](int index, const QString& file, TKXPeakBuildPool::Outcome outcome, const QString&) {
        const QString absolute = AbsoluteNativeName(file);
        switch (outcome) {
        case TKXPeakBuildPool::Outcome::NotFound:
            ++failures;
            failure("not-found", absolute);
            return;
        case TKXPeakBuildPool::Outcome::Failed: {
            ++failures;
            const QString cause = pool.FailureOf(index);
            failure("failed", absolute, QStringLiteral(": ") + (cause.isEmpty() ? QStringLiteral("unknown cause") : cause));
            return;
        }
        case TKXPeakBuildPool::Outcome::Built:
            if (pool.WasStale(index))
                note("stale", absolute);
            break;
        case TKXPeakBuildPool::Outcome::HasPeaks:
            break;
        }
        if (written[size_t(index)].isEmpty()) {
            ++failures;
            Err(QStringLiteral("peaktool build: %1").arg(why[size_t(index)]));
            failure("failed", absolute);
            return;
        }
        Out(QStringLiteral("%1\t%2\t%3")
                .arg(QLatin1String(outcome == TKXPeakBuildPool::Outcome::Built ? "built" : "has-peaks"), absolute,
                     written[size_t(index)]));
    };
    pool.OnProgress = [&](int percent, int done, int total) {
        bar.Show(percent, QStringLiteral("file %1/%2").arg(std::min(done + 1, total)).arg(total));
    };

    QEventLoop loop;
    bool finished = false;
    pool.OnFinished = [&] {
        finished = true;
        loop.quit();
    };
    pool.Start(absolute);
    if (!finished)
        loop.exec();
    bar.Clear();
    return failures > 0 ? ExitFailed : ExitOk;
}

} // namespace

} // namespace kx
